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

#include "kernels/Kernels.h"

namespace gw {

/// The level table of the solver ends here; a larger pyramid would need an image of more than
/// 2^30 pixels on its shorter side.
constexpr int kMaxLevels = 31;

/// The steps of the schedule on the grids of one pyramid. Each verb but SolveCoarsest works on
/// level l; "the prolongation" is that of u of level l - 1, and the verbs that restrict a
/// residual or add a correction pass through the work grid.
class CSolverBackend
{
public:
    virtual ~CSolverBackend() = default;

    virtual void Couplings(int l) = 0;               ///< Bh and Bv from f
    virtual void Relax(int l) = 0;                   ///< one zebra line sweep of u against f
    virtual void RelaxRightSide(int l) = 0;          ///< the same sweep of f against u, in f
    virtual void RestrictRightSide(int l) = 0;       ///< f := restriction of f of level l + 1
    virtual void RestrictResidual(int l) = 0;        ///< f of l - 1 := restriction of f - A u
    virtual void ZeroSolution(int l) = 0;            ///< u := 0
    virtual void ProlongSolution(int l) = 0;         ///< u := the prolongation
    virtual void ProlongIntoRightSide(int l) = 0;    ///< f := the prolongation
    virtual void AddCorrection(int l) = 0;           ///< u += the prolongation
    virtual void CopyRightSideToSolution(int l) = 0; ///< u := f
    virtual void CopySolutionToRightSide(int l) = 0; ///< f := u
    /// u of level 1 := the exact solution of A u = f there (solver/CoarsestSolve.h).
    virtual void SolveCoarsest() = 0;
};

/// What one solve does: the pyramid's depth and the user's choices that shape the schedule.
struct MultigridRun
{
    int nLevels = 0;           ///< 1..kMaxLevels
    bool bFastMode = false;    ///< stop one level short: the finest level gets no cycle
    bool bSingleSweep = false; ///< one relaxation sweep of the image instead of a solve
};

/// Runs the schedule on the backend's grids, with f of the finest level holding the image.
/// Leaves the illumination in f of the finest level. progress is the run's hook: the schedule
/// reports its own units and checks for a stop through it, and returns at once on a stop.
void RunFullMultigrid(CSolverBackend& backend, const MultigridRun& run, ProgressHook progress);

} // namespace gw
