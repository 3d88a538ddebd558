// SolverFast.cpp - the illumination solver's schedule on the parallel kernels.
//
// RunMultigridFast runs exactly the schedule of RunMultigrid (Solver.cpp), step for
// step, with each kernel replaced by its parallel counterpart, which gives the same
// bits; the coarsest solve is a single line and stays on the calling thread.
#include "CImageEngine.h"
#include "SolverViews.h"
#include "EngineError.h"
#include "parallel/ParallelKernels.h"
#include "paged/KernelsPaged.h"
#include "kernels/KernelsRelax.h"

#include <algorithm>
#include <new>

namespace {

using gw::GridView;
using gw::LevelGrids;

using gw::ViewOf;

} // namespace



void CImageEngine::SetThreadCount(int nThreads) noexcept
{
    const int nNew = nThreads < 0 ? 0 : nThreads;
    if (nNew != m_nThreadCount)
        m_pKernels.reset();
    m_nThreadCount = nNew;
}



void CImageEngine::SetReferencePath(bool bReference) noexcept
{
    m_bReferencePath = bReference;
}



gw::CParallelKernels* CImageEngine::FastKernels() noexcept
{
    if (m_bReferencePath || !m_grids.HasGrids())
        return nullptr;
    if (!m_pKernels) {
        const int nLevels = m_grids.Levels();
        const int nMaxLine = std::max(m_grids.LevelRows(nLevels), m_grids.LevelCols(nLevels));
        const int nThreads = m_nThreadCount > 0 ? m_nThreadCount : gw::CWorkerPool::DefaultThreads();
        try {
            m_pKernels = std::make_shared<gw::CParallelKernels>(nThreads, nMaxLine);
        } catch (const std::bad_alloc&) {
            // Without room for the lane vectors the straightforward path does the work.
            return nullptr;
        }
    }
    return m_pKernels.get();
}



void CImageEngine::EndWorkerThreads() noexcept
{
    if (m_pKernels)
        m_pKernels->Pool().StopWorkers();
    if (m_pPagedWorkspace)
        m_pPagedWorkspace->Pool().StopWorkers();
}



void CImageEngine::RunMultigridFast(gw::CParallelKernels& kernels, bool bSingleSweep)
{
    const int nLevels = m_grids.Levels();
    const gw::CouplingParams params{m_fRadius, m_fThermal, m_fEpsilon};
    const gw::ProgressHook progress{
        [](void* pEngine, float fUnits) { return static_cast<CImageEngine*>(pEngine)->ReportProgress(fUnits); },
        this};
    const GridView work = ViewOf(m_grids.Work());
    const LevelGrids top = gw::FastLevelOf(m_grids, nLevels);

    if (!m_bFastMode || nLevels == 1)
        kernels.ComputeCouplings(top, nLevels, nLevels, params, progress);
    if (ReportProgress(0.0f))
        return;

    if (bSingleSweep) {
        kernels.CopyGrid(top.u, top.f);
        if (ReportProgress(1.0f))
            return;
        const LevelGrids swapped{top.bh, top.bv, top.u, top.f};
        kernels.RelaxLines(swapped, nLevels, nLevels, progress);
        ReportProgress(0.0f);
        return;
    }

    for (int l = nLevels - 1; l >= 1; --l) {
        const LevelGrids level = gw::FastLevelOf(m_grids, l);
        kernels.Restrict(level.f, gw::FastLevelOf(m_grids, l + 1).f);
        kernels.ComputeCouplings(level, l, nLevels, params, progress);
    }
    if (ReportProgress(0.0f))
        return;

    kernels.SolveCoarsest(gw::FastLevelOf(m_grids, 1));

    for (int j = 2; j <= nLevels; ++j) {
        if (m_bFastMode && j == nLevels) {
            kernels.Prolong(top.f, gw::FastLevelOf(m_grids, nLevels - 1).u);
            ReportProgress(1.0f);
            return;
        }
        kernels.Prolong(gw::FastLevelOf(m_grids, j).u, gw::FastLevelOf(m_grids, j - 1).u);

        for (int k = j; k >= 2; --k) {
            const LevelGrids level = gw::FastLevelOf(m_grids, k);
            const LevelGrids coarser = gw::FastLevelOf(m_grids, k - 1);
            kernels.RelaxLines(level, k, nLevels, progress);
            if (ReportProgress(0.0f))
                return;
            kernels.Residual(work, level);
            kernels.Restrict(coarser.f, work.Corner(level.Rows(), level.Cols()));
            if (ReportProgress(0.0f))
                return;
            kernels.ZeroGrid(coarser.u);
        }

        kernels.SolveCoarsest(gw::FastLevelOf(m_grids, 1));
        if (ReportProgress(0.0f))
            return;

        for (int k = 2; k <= j; ++k) {
            const LevelGrids level = gw::FastLevelOf(m_grids, k);
            kernels.AddCorrection(level.u, gw::FastLevelOf(m_grids, k - 1).u, work);
            kernels.RelaxLines(level, k, nLevels, progress);
            if (ReportProgress(0.0f))
                return;
        }
        if (ReportProgress(0.0f))
            return;
    }

    kernels.CopyGrid(top.f, top.u);
    ReportProgress(1.0f);
}
