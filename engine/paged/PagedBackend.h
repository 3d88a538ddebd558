// PagedBackend.h - the schedule on paged grids (grids in temporary files).
//
// Each verb calls the paged kernel of the same name (KernelsPaged.h), which computes the same
// row functions on the same values as the in-RAM kernels, so a paged solve has the bits of an
// in-RAM one. The workspace's buffers and pool are the engine's, kept from solve to solve.
#pragma once

#include "kernels/Kernels.h"
#include "solver/Multigrid.h"

class CGridMemory;

namespace gw {

class CPagedWorkspace;

/// RunFullMultigrid on the paged pyramid of grids, on the paged kernels and the threads of the
/// workspace's pool. Throws like the schedule, CPagedGridError on a failed temporary file, and
/// std::bad_alloc.
void RunMultigridPaged(CGridMemory& grids, CPagedWorkspace& workspace, const CouplingParams& params,
                       const MultigridRun& run, ProgressHook progress);

} // namespace gw
