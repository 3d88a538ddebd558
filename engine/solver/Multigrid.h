// Multigrid.h - the illumination solver's schedule and the verbs it asks of a backend.
//
// The schedule (RunFullMultigrid) is written once. It never touches a grid itself: every step is
// a verb of a CSolverBackend, which owns the grids of one pyramid and the kernels that work on
// them. The backends (solver/RamBackend.h for the straightforward and the parallel kernels,
// paged/PagedBackend.h for grids in temporary files) compute each verb with the same arithmetic
// in the same order, so a schedule run gives the same bits on every backend.
//
// Levels count from 1 (the coarsest, whose smaller extent has a single interior line) to
// nLevels (the image). Each level holds couplings Bh and Bv, a right-hand side f and a
// solution u; one work grid of the finest size serves every level. Sweeping verbs (Couplings,
// Relax, RelaxRightSide) report progress through the backend's hook and return early on a
// stop; the schedule checks the stop between verbs. Verbs throw EngineError on a zero pivot,
// CPagedGridError on a failed temporary file and std::bad_alloc.
#pragma once

#include "Kernels.h"

namespace gw {

/// The level table of the solver ends here; a larger pyramid would need an image of more than
/// 2^30 pixels on its shorter side.
constexpr int kMaxLevels = 31;

/// The steps of the schedule on the grids of one pyramid.
class CSolverBackend
{
public:
    virtual ~CSolverBackend() = default;

    /// Bh and Bv of level nLevel from its f.
    virtual void Couplings(int nLevel) = 0;
    /// One zebra line sweep of u on level nLevel against f.
    virtual void Relax(int nLevel) = 0;
    /// The same sweep with the roles swapped: f is relaxed in place against u.
    virtual void RelaxRightSide(int nLevel) = 0;
    /// f of nLevel := restriction of f of nLevel + 1.
    virtual void RestrictRightSide(int nLevel) = 0;
    /// f of nLevel - 1 := restriction of the residual f - A u of nLevel (through the work grid).
    virtual void RestrictResidual(int nLevel) = 0;
    /// u of nLevel := 0.
    virtual void ZeroSolution(int nLevel) = 0;
    /// u of nLevel := prolongation of u of nLevel - 1.
    virtual void ProlongSolution(int nLevel) = 0;
    /// f of nLevel := prolongation of u of nLevel - 1.
    virtual void ProlongIntoRightSide(int nLevel) = 0;
    /// u of nLevel += prolongation of u of nLevel - 1 (through the work grid).
    virtual void AddCorrection(int nLevel) = 0;
    /// u of level 1 := the exact solution of A u = f there (solver/CoarsestSolve.h).
    virtual void SolveCoarsest() = 0;
    /// u of nLevel := f of nLevel.
    virtual void CopyRightSideToSolution(int nLevel) = 0;
    /// f of nLevel := u of nLevel.
    virtual void CopySolutionToRightSide(int nLevel) = 0;
};

/// What one solve does: the pyramid's depth and the user's choices that shape the schedule.
struct MultigridRun
{
    int nLevels = 0;          ///< 1..kMaxLevels
    bool bFastMode = false;   ///< stop one level short: the finest level gets no cycle
    bool bSingleSweep = false; ///< one relaxation sweep of the image instead of a solve
};

/// Runs the schedule on the backend's grids, with f of the finest level holding the image.
/// Leaves the illumination in f of the finest level. progress is the run's hook: the schedule
/// reports its own units and checks for a stop through it, and returns at once on a stop.
void RunFullMultigrid(CSolverBackend& backend, const MultigridRun& run, ProgressHook progress);

} // namespace gw
