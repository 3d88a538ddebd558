// RamBackend.h - the schedule on the engine's in-RAM grids, over either set of in-RAM kernels.
//
// One backend serves the reference path and the parallel path: it takes the kernels as a type.
// The straightforward kernels (kernels/) stand behind the member names of CParallelKernels
// (parallel/ParallelKernels.h), so each verb is written once for both. The parallel kernels
// read Bv row-major, the straightforward ones transposed; the backend hands each set the view
// of the grids it reads.
#pragma once

#include "kernels/Kernels.h"
#include "solver/Multigrid.h"

class CGridMemory;

namespace gw {

class CParallelKernels;

/// RunFullMultigrid on the in-RAM pyramid of grids: on the parallel kernels when pKernels is
/// not null (their pool's threads), else on the straightforward kernels and the calling thread
/// alone. Both give the same bits. Throws like the schedule, and std::bad_alloc.
void RunMultigridInRam(CGridMemory& grids, CParallelKernels* pKernels, const CouplingParams& params,
                       const MultigridRun& run, ProgressHook progress);

} // namespace gw
