// PagedBackend.cpp - the schedule's verbs on paged grids.
#include "paged/PagedBackend.h"

#include "paged/KernelsPaged.h"
#include "memory/CGridMemory.h"
#include "solver/CoarsestSolve.h"
#include "solver/SolverViews.h"

namespace gw {

namespace {

// The verbs on the engine's paged pyramid; the work grid is paged as well.
class CPagedBackend final : public CSolverBackend
{
public:
    CPagedBackend(CGridMemory& grids, CPagedWorkspace& workspace, const CouplingParams& params,
                  ProgressHook progress) noexcept
        : m_grids(grids)
        , m_workspace(workspace)
        , m_params(params)
        , m_progress(progress)
        , m_nLevels(grids.Levels())
        , m_work(grids.PagedWork())
        , m_lines(LinesOf(grids))
    {}

    void Couplings(int l) override
    {
        ComputeCouplingsPaged(Level(l), l, m_nLevels, m_params, m_workspace, m_progress);
    }
    void Relax(int l) override { RelaxLinesPaged(Level(l), m_workspace, l, m_nLevels, m_progress); }
    void RelaxRightSide(int l) override
    {
        const PagedLevel level = Level(l);
        const PagedLevel swapped{level.bh, level.bv, level.u, level.f};
        RelaxLinesPaged(swapped, m_workspace, l, m_nLevels, m_progress);
    }
    void RestrictRightSide(int l) override
    {
        const PagedLevel finer = Level(l + 1);
        RestrictPaged(*Level(l).f, *finer.f, finer.Rows(), finer.Cols(), m_workspace);
    }
    void RestrictResidual(int l) override
    {
        const PagedLevel level = Level(l);
        ResidualPaged(m_work, level, m_workspace);
        RestrictPaged(*Level(l - 1).f, m_work, level.Rows(), level.Cols(), m_workspace);
    }
    void ZeroSolution(int l) override { FillPaged(*Level(l).u, 0.0f, m_workspace); }
    void ProlongSolution(int l) override
    {
        ProlongPaged(*Level(l).u, *Level(l - 1).u, m_workspace);
    }
    void ProlongIntoRightSide(int l) override
    {
        ProlongPaged(*Level(l).f, *Level(l - 1).u, m_workspace);
    }
    void AddCorrection(int l) override
    {
        AddCorrectionPaged(*Level(l).u, *Level(l - 1).u, m_workspace);
    }
    void SolveCoarsest() override;
    void CopyRightSideToSolution(int l) override
    {
        CopyGridPaged(*Level(l).u, *Level(l).f, m_workspace);
    }
    void CopySolutionToRightSide(int l) override
    {
        CopyGridPaged(*Level(l).f, *Level(l).u, m_workspace);
    }

private:
    PagedLevel Level(int l) const noexcept
    {
        return PagedLevel{&m_grids.PagedHorizontalCoupling(l), &m_grids.PagedVerticalCoupling(l),
                          &m_grids.PagedRightHandSide(l), &m_grids.PagedSolution(l)};
    }

    CGridMemory& m_grids;
    CPagedWorkspace& m_workspace;
    CouplingParams m_params;
    ProgressHook m_progress;
    int m_nLevels = 0;
    CPagedGrid& m_work;
    LineVectors m_lines;
};



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

} // namespace



void RunMultigridPaged(CGridMemory& grids, CPagedWorkspace& workspace, const CouplingParams& params,
                       const MultigridRun& run, ProgressHook progress)
{
    CPagedBackend backend(grids, workspace, params, progress);
    RunFullMultigrid(backend, run, progress);
}

} // namespace gw
