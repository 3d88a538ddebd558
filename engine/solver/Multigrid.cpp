// Multigrid.cpp - the illumination solver: full multigrid over a grid pyramid.
//
// The illumination is the solution u of the screened, edge-aware diffusion A u = f, where f is
// the value channel of the image and A is assembled from couplings that fall off across edges
// and in the dark (KernelsCoupling.h). The pyramid runs from level 1 (coarsest; its smaller
// extent has a single interior line, so it is solved exactly) to level L (the image). The
// schedule is full multigrid with one V-cycle per level and one line-relaxation sweep before and
// after each coarse correction; there is no iteration to convergence.
#include "solver/Multigrid.h"

namespace gw {

namespace {

// One V-cycle from level nTop down to level 1 and back, on a u that already holds the start
// value of nTop. Returns false on a stop.
bool VCycle(CSolverBackend& backend, int nTop, ProgressHook progress)
{
    // Descent: smooth, then carry the residual down as the next level's right-hand side,
    // whose correction starts from zero.
    for (int k = nTop; k >= 2; --k) {
        backend.Relax(k);
        if (progress(0.0f))
            return false;
        backend.RestrictResidual(k);
        if (progress(0.0f))
            return false;
        backend.ZeroSolution(k - 1);
    }

    backend.SolveCoarsest();
    if (progress(0.0f))
        return false;

    // Ascent: add each coarse correction to the finer solution and smooth again.
    for (int k = 2; k <= nTop; ++k) {
        backend.AddCorrection(k);
        backend.Relax(k);
        if (progress(0.0f))
            return false;
    }
    return !progress(0.0f);
}

} // namespace



void RunFullMultigrid(CSolverBackend& backend, const MultigridRun& run, ProgressHook progress)
{
    const int nLevels = run.nLevels;

    // Fast mode never works on the finest level, so it skips its couplings. A pyramid of one
    // level is the exception: its coarse solve needs them, and whatever an earlier run left there
    // belongs to another image.
    if (!run.bFastMode || nLevels == 1)
        backend.Couplings(nLevels);
    if (progress(0.0f))
        return;

    if (run.bSingleSweep) {
        // One sweep that starts from the image and relaxes towards it, in place in f: the solution
        // grid holds the image as the right side and f plays the unknown.
        backend.CopyRightSideToSolution(nLevels);
        if (progress(1.0f))
            return;
        backend.RelaxRightSide(nLevels);
        progress(0.0f);
        return;
    }

    // First descent: the image restricted to every level, and each level's couplings from it.
    // The couplings stay fixed from here on; the coarser right-hand sides are later overwritten
    // by restricted residuals.
    for (int l = nLevels - 1; l >= 1; --l) {
        backend.RestrictRightSide(l);
        backend.Couplings(l);
    }
    if (progress(0.0f))
        return;

    backend.SolveCoarsest();

    // Full multigrid: each finer level starts from the prolonged solution of the level below and
    // gets one V-cycle down to level 1 and back. Fast mode ends with the prolonged solution of
    // the level below the image as the illumination.
    for (int j = 2; j <= nLevels; ++j) {
        if (run.bFastMode && j == nLevels) {
            backend.ProlongIntoRightSide(nLevels);
            progress(1.0f);
            return;
        }
        backend.ProlongSolution(j);
        if (!VCycle(backend, j, progress))
            return;
    }

    backend.CopySolutionToRightSide(nLevels);
    progress(1.0f);
}

} // namespace gw
