// CoarsestSolve.cpp - the exact solve of the coarsest level's single interior line.
#include "solver/CoarsestSolve.h"

#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"

namespace gw {

void SolveCoarsestSystem(const float* pCouplings, const LineVectors& lines, int n)
{
    for (int k = 0; k < n; ++k)
        lines.pDiag[k] = 1.0f - pCouplings[k + 1] - pCouplings[k];
    SolveTridiagonal(pCouplings, lines.pDiag, pCouplings + 1, lines.pRhs, lines.pSol, lines.pFactor,
                     n);
}



void SolveCoarsest(const LevelGrids& grids, const float* pColumnCouplings, const LineVectors& lines)
{
    ZeroGrid(grids.u);
    SolveCoarsestLine(
        grids.Rows(), grids.Cols(),
        [&](bool bRow) { return bRow ? grids.bh.Row(1) : pColumnCouplings; },
        [&](int r) { return grids.f.Row(r); }, [&](int r) { return grids.u.Row(r); }, lines);
}



void SolveCoarsest(const LevelGrids& grids, const LineVectors& lines)
{
    SolveCoarsest(grids, grids.bv.Row(1), lines);
}

} // namespace gw
