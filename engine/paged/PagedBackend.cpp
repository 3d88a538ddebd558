// PagedBackend.cpp - the schedule's verbs on paged grids.
#include "paged/PagedBackend.h"

#include "memory/CGridMemory.h"
#include "solver/CoarsestSolve.h"
#include "solver/SolverViews.h"

namespace gw {

CPagedBackend::CPagedBackend(CGridMemory& grids, CPagedWorkspace& workspace,
                             const CouplingParams& params, ProgressHook progress) noexcept
    : m_grids(grids), m_workspace(workspace), m_params(params), m_progress(progress),
      m_nLevels(grids.Levels()), m_lines(LinesOf(grids))
{
}



PagedLevel CPagedBackend::Level(int nLevel) const noexcept
{
    return PagedLevel{&m_grids.PagedHorizontalCoupling(nLevel),
                      &m_grids.PagedVerticalCoupling(nLevel), &m_grids.PagedRightHandSide(nLevel),
                      &m_grids.PagedSolution(nLevel)};
}



void CPagedBackend::Couplings(int nLevel)
{
    ComputeCouplingsPaged(Level(nLevel), nLevel, m_nLevels, m_params, m_workspace, m_progress);
}



void CPagedBackend::Relax(int nLevel)
{
    RelaxLinesPaged(Level(nLevel), m_workspace, nLevel, m_nLevels, m_progress);
}



void CPagedBackend::RelaxRightSide(int nLevel)
{
    const PagedLevel level = Level(nLevel);
    const PagedLevel swapped{level.bh, level.bv, level.u, level.f};
    RelaxLinesPaged(swapped, m_workspace, nLevel, m_nLevels, m_progress);
}



void CPagedBackend::RestrictRightSide(int nLevel)
{
    const PagedLevel finer = Level(nLevel + 1);
    RestrictPaged(*Level(nLevel).f, *finer.f, finer.Rows(), finer.Cols(), m_workspace);
}



void CPagedBackend::RestrictResidual(int nLevel)
{
    const PagedLevel level = Level(nLevel);
    CPagedGrid& work = m_grids.PagedWork();
    ResidualPaged(work, level, m_workspace);
    RestrictPaged(*Level(nLevel - 1).f, work, level.Rows(), level.Cols(), m_workspace);
}



void CPagedBackend::ZeroSolution(int nLevel)
{
    FillPaged(*Level(nLevel).u, 0.0f, m_workspace);
}



void CPagedBackend::ProlongSolution(int nLevel)
{
    ProlongPaged(*Level(nLevel).u, *Level(nLevel - 1).u, m_workspace);
}



void CPagedBackend::ProlongIntoRightSide(int nLevel)
{
    ProlongPaged(*Level(nLevel).f, *Level(nLevel - 1).u, m_workspace);
}



void CPagedBackend::AddCorrection(int nLevel)
{
    AddCorrectionPaged(*Level(nLevel).u, *Level(nLevel - 1).u, m_workspace);
}



void CPagedBackend::SolveCoarsest()
{
    // The line is reached through the grids' row caches, each grid a row at a time.
    const PagedLevel level = Level(1);
    FillPaged(*level.u, 0.0f, m_workspace);
    SolveCoarsestLine(
        level.Rows(), level.Cols(),
        [&](bool bRow) { return bRow ? level.bh->GetRow(1) : level.bv->GetRow(1); },
        [&](int r) { return level.f->GetRow(r); }, [&](int r) { return level.u->GetRow(r); },
        m_lines);
}



void CPagedBackend::CopyRightSideToSolution(int nLevel)
{
    const PagedLevel level = Level(nLevel);
    CopyGridPaged(*level.u, *level.f, m_workspace);
}



void CPagedBackend::CopySolutionToRightSide(int nLevel)
{
    const PagedLevel level = Level(nLevel);
    CopyGridPaged(*level.f, *level.u, m_workspace);
}

} // namespace gw
