// CoarsestSolve.h - the exact solve on the coarsest level of the pyramid.
//
// The coarsest level has a single interior line: its interior row when it has more columns
// than rows, else its interior column. The couplings across that line vanish, so the line's
// tridiagonal system is all of A u = f there and one elimination solves it exactly. Every
// backend runs SolveCoarsestLine and differs only in how it reaches the rows of its grids.
#pragma once

#include "kernels/Kernels.h"

namespace gw {

/// Solves the system of the single interior line: n unknowns, the right side in
/// lines.pRhs[0..n) and the couplings along the line in pCouplings[0..n] (pCouplings[k]
/// couples unknowns k - 1 and k; the first and the last couple into the border ring). The
/// diagonal is 1 - pCouplings[k + 1] - pCouplings[k]. Leaves the solution in lines.pSol[0..n)
/// and uses lines.pDiag and lines.pFactor as scratch; pCouplings may not lie in the line
/// vectors. Throws EngineError (FirstPivotZero, LaterPivotZero) on a zero pivot.
void SolveCoarsestSystem(const float* pCouplings, const LineVectors& lines, int n);

/// The interior line of a coarsest level of nRows x nCols points, solved into its u, which the
/// caller has cleared. fRow(r) and uRow(r) give row r of f and u (u's for writing);
/// couplings(bRow) the couplings along the interior row (bRow) or the interior column, as
/// row 1 of Bh or of the transposed Bv holds them. Each row pointer is used before the next
/// row of the same grid is asked for. Throws like SolveCoarsestSystem.
template <class CouplingsFn, class FRowFn, class URowFn>
void SolveCoarsestLine(int nRows, int nCols, CouplingsFn&& couplings, FRowFn&& fRow, URowFn&& uRow,
                       const LineVectors& lines)
{
    const bool bRow = nCols > nRows;
    const int n = (bRow ? nCols : nRows) - 2;
    if (bRow) {
        const float* pF = fRow(1);
        for (int k = 0; k < n; ++k)
            lines.pRhs[k] = pF[k + 1];
    } else {
        for (int k = 0; k < n; ++k)
            lines.pRhs[k] = fRow(k + 1)[1];
    }
    SolveCoarsestSystem(couplings(bRow), lines, n);
    if (bRow) {
        float* pU = uRow(1);
        for (int k = 0; k < n; ++k)
            pU[k + 1] = lines.pSol[k];
    } else {
        for (int k = 0; k < n; ++k)
            uRow(k + 1)[1] = lines.pSol[k];
    }
}

/// u := the exact solution of A u = f on a coarsest level in RAM; clears u first (border
/// included). pColumnCouplings: the vertical couplings down interior column 1 (Nr floats, as
/// row 1 of the transposed Bv holds them), read only when the level has one interior column.
/// Reports nothing. Throws like SolveCoarsestSystem.
void SolveCoarsest(const LevelGrids& grids, const float* pColumnCouplings,
                   const LineVectors& lines);

/// SolveCoarsest for the transposed Bv of the straightforward kernels.
void SolveCoarsest(const LevelGrids& grids, const LineVectors& lines);

} // namespace gw
