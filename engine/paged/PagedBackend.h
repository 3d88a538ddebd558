// PagedBackend.h - the schedule's verbs on paged grids (grids in temporary files).
//
// Each verb calls the paged kernel of the same name (KernelsPaged.h), which computes the same
// row functions on the same values as the in-RAM kernels, so a paged solve has the bits of an
// in-RAM one. The workspace's buffers and pool are the engine's, kept from solve to solve.
#pragma once

#include "KernelsPaged.h"
#include "solver/Multigrid.h"

class CGridMemory;

namespace gw {

/// The verbs of the schedule on the engine's paged pyramid. Holds references only: grids and
/// workspace must outlive it. Sweeps report through progress.
class CPagedBackend final : public CSolverBackend
{
public:
    CPagedBackend(CGridMemory& grids, CPagedWorkspace& workspace, const CouplingParams& params,
                  ProgressHook progress) noexcept;

    void Couplings(int nLevel) override;
    void Relax(int nLevel) override;
    void RelaxRightSide(int nLevel) override;
    void RestrictRightSide(int nLevel) override;
    void RestrictResidual(int nLevel) override;
    void ZeroSolution(int nLevel) override;
    void ProlongSolution(int nLevel) override;
    void ProlongIntoRightSide(int nLevel) override;
    void AddCorrection(int nLevel) override;
    void SolveCoarsest() override;
    void CopyRightSideToSolution(int nLevel) override;
    void CopySolutionToRightSide(int nLevel) override;

private:
    PagedLevel Level(int nLevel) const noexcept;

    CGridMemory& m_grids;
    CPagedWorkspace& m_workspace;
    CouplingParams m_params;
    ProgressHook m_progress;
    int m_nLevels = 0;
    LineVectors m_lines;
};

} // namespace gw
