// SolverPaged.cpp - the multigrid schedule of the illumination solver on paged grids.
//
// Step for step the schedule of RunMultigrid (Solver.cpp), with the paged kernels in place of
// the in-RAM ones, so both strategies give the same bits. A change to one schedule belongs in
// the other as well; the engine tests compare the two.
#include "CImageEngine.h"
#include "EngineError.h"
#include "paged/KernelsPaged.h"

#include <algorithm>

namespace {

gw::PagedLevel PagedLevelOf(CGridMemory& grids, int nLevel) noexcept
{
    return gw::PagedLevel{&grids.PagedHorizontalCoupling(nLevel), &grids.PagedVerticalCoupling(nLevel),
                          &grids.PagedRightHandSide(nLevel), &grids.PagedSolution(nLevel)};
}

} // namespace



void CImageEngine::RunMultigridPaged(bool bSingleSweep)
{
    const int nLevels = m_grids.Levels();
    const gw::CouplingParams params{m_fRadius, m_fThermal, m_fEpsilon};
    const gw::ProgressHook progress{
        [](void* pEngine, float fUnits) { return static_cast<CImageEngine*>(pEngine)->ReportProgress(fUnits); },
        this};
    const gw::LineVectors lines{m_grids.LineVector(CGridMemory::kLineDiagonal),
                                m_grids.LineVector(CGridMemory::kLineRightSide),
                                m_grids.LineVector(CGridMemory::kLineSolution),
                                m_grids.LineVector(CGridMemory::kLineFactors)};
    CPagedGrid& work = m_grids.PagedWork();
    const gw::PagedLevel top = PagedLevelOf(m_grids, nLevels);
    // The reference path solves every line on this thread; otherwise the lines of a group are
    // shared out like the in-RAM path's. Either way each line gets the same arithmetic.
    const int nThreads =
        m_bReferencePath ? 1 : (m_nThreadCount > 0 ? m_nThreadCount : gw::CWorkerPool::DefaultThreads());
    if (!m_pPagedWorkspace || m_pPagedWorkspace->Pool().Threads() != nThreads)
    {
        m_pPagedWorkspace.reset();
        m_pPagedWorkspace = std::make_shared<gw::CPagedWorkspace>(nThreads, std::max(top.Rows(), top.Cols()));
    }
    gw::CPagedWorkspace& workspace = *m_pPagedWorkspace;
    workspace.SetTuning(m_pagedTuning);

    if (!m_bFastMode || nLevels == 1)
        gw::ComputeCouplingsPaged(top, nLevels, nLevels, params, workspace, progress);
    if (ReportProgress(0.0f))
        return;

    if (bSingleSweep)
    {
        gw::CopyGridPaged(*top.u, *top.f, workspace);
        if (ReportProgress(1.0f))
            return;
        const gw::PagedLevel swapped{top.bh, top.bv, top.u, top.f};
        gw::RelaxLinesPaged(swapped, workspace, nLevels, nLevels, progress);
        ReportProgress(0.0f);
        return;
    }

    for (int l = nLevels - 1; l >= 1; --l)
    {
        const gw::PagedLevel level = PagedLevelOf(m_grids, l);
        const gw::PagedLevel finer = PagedLevelOf(m_grids, l + 1);
        gw::RestrictPaged(*level.f, *finer.f, finer.Rows(), finer.Cols(), workspace);
        gw::ComputeCouplingsPaged(level, l, nLevels, params, workspace, progress);
    }
    if (ReportProgress(0.0f))
        return;

    gw::SolveCoarsestPaged(PagedLevelOf(m_grids, 1), lines, workspace);

    for (int j = 2; j <= nLevels; ++j)
    {
        if (m_bFastMode && j == nLevels)
        {
            gw::ProlongPaged(*top.f, *PagedLevelOf(m_grids, nLevels - 1).u, workspace);
            ReportProgress(1.0f);
            return;
        }
        gw::ProlongPaged(*PagedLevelOf(m_grids, j).u, *PagedLevelOf(m_grids, j - 1).u, workspace);

        for (int k = j; k >= 2; --k)
        {
            const gw::PagedLevel level = PagedLevelOf(m_grids, k);
            const gw::PagedLevel coarser = PagedLevelOf(m_grids, k - 1);
            gw::RelaxLinesPaged(level, workspace, k, nLevels, progress);
            if (ReportProgress(0.0f))
                return;
            gw::ResidualPaged(work, level, workspace);
            gw::RestrictPaged(*coarser.f, work, level.Rows(), level.Cols(), workspace);
            if (ReportProgress(0.0f))
                return;
            gw::FillPaged(*coarser.u, 0.0f, workspace);
        }

        gw::SolveCoarsestPaged(PagedLevelOf(m_grids, 1), lines, workspace);
        if (ReportProgress(0.0f))
            return;

        for (int k = 2; k <= j; ++k)
        {
            const gw::PagedLevel level = PagedLevelOf(m_grids, k);
            gw::AddCorrectionPaged(*level.u, *PagedLevelOf(m_grids, k - 1).u, workspace);
            gw::RelaxLinesPaged(level, workspace, k, nLevels, progress);
            if (ReportProgress(0.0f))
                return;
        }
        if (ReportProgress(0.0f))
            return;
    }

    gw::CopyGridPaged(*top.f, *top.u, workspace);
    ReportProgress(1.0f);
}
