// RamBackend.h - the schedule's verbs on in-RAM grids, over either set of in-RAM kernels.
//
// One backend serves the reference path and the parallel path: CRamBackend takes the kernels
// as a type. CReferenceKernels puts the straightforward kernels (KernelsCoupling.h,
// KernelsGrid.h, KernelsTransfer.h, KernelsRelax.h) behind the member names of
// CParallelKernels (KernelsFast.h), so each verb is written once for both. The parallel
// kernels read Bv row-major; the backend hands each set the view of the grids it reads.
#pragma once

#include "Kernels.h"
#include "solver/Multigrid.h"

#include <vector>

class CGridMemory;

namespace gw {

class CParallelKernels;

/// The straightforward single-threaded kernels, with the line vectors their line solves use.
class CReferenceKernels
{
public:
    explicit CReferenceKernels(const LineVectors& lines) noexcept : m_lines(lines) {}

    const LineVectors& Lines() const noexcept { return m_lines; }

    void ComputeCouplings(const LevelGrids& grids, int nLevel, int nLevels,
                          const CouplingParams& params, ProgressHook progress);
    void RelaxLines(const LevelGrids& grids, int nLevel, int nLevels, ProgressHook progress);
    void Residual(const GridView& work, const LevelGrids& grids);
    void Restrict(const GridView& coarse, const GridView& fine);
    void Prolong(const GridView& fine, const GridView& coarse);
    void AddCorrection(const GridView& fineU, const GridView& coarseU, const GridView& work);
    void CopyGrid(const GridView& destination, const GridView& source);
    void ZeroGrid(const GridView& grid);

private:
    LineVectors m_lines;
};

/// The verbs of the schedule on the engine's in-RAM pyramid, computed by Kernels
/// (CReferenceKernels or CParallelKernels). Holds references only: grids and kernels must
/// outlive it. Sweeps report through progress.
template <class Kernels>
class CRamBackend final : public CSolverBackend
{
public:
    /// Throws std::bad_alloc (the parallel kernels' coarsest line needs a vector of its own).
    CRamBackend(CGridMemory& grids, Kernels& kernels, const CouplingParams& params,
                ProgressHook progress);

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
    // The grids of a level as Kernels reads them.
    LevelGrids Level(int nLevel) const noexcept;

    CGridMemory& m_grids;
    Kernels& m_kernels;
    CouplingParams m_params;
    ProgressHook m_progress;
    int m_nLevels = 0;
    GridView m_work;
    LineVectors m_lines;
    std::vector<float> m_columnCouplings; // the coarsest column's couplings, for row-major Bv
};

using CReferenceBackend = CRamBackend<CReferenceKernels>;
using CParallelBackend = CRamBackend<CParallelKernels>;

extern template class CRamBackend<CReferenceKernels>;
extern template class CRamBackend<CParallelKernels>;

} // namespace gw
