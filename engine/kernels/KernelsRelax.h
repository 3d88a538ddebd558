// KernelsRelax.h - exact line solves: the smoother (the coarsest level: solver/CoarsestSolve.h).
//
// The smoother is an alternating zebra line Gauss-Seidel sweep: every odd, then every even
// interior column is solved exactly against the newest values of its neighbours, then the rows
// in the same order. Lines of one colour are independent of each other. Line systems are
// tridiagonal and, for ordinary input, diagonally dominant (every diagonal at least 1).
#pragma once

#include "kernels/Kernels.h"

namespace gw {

/// Solves one tridiagonal system of n unknowns by elimination without pivoting: sub-diagonal
/// a (a[0] unused), diagonal b, super-diagonal c (c[n-1] unused), right side d, solution x,
/// elimination factors g (n floats of scratch). x may not alias a, b, c, d or g.
/// Throws EngineError (FirstPivotZero) when b[0] is exactly 0 and (LaterPivotZero) when a later
/// pivot is exactly 0; x is then partly written.
void SolveTridiagonal(const float* a, const float* b, const float* c, const float* d, float* x,
                      float* g, int n);

/// Row function of the column pass: the system of interior column c (n = Nr - 2 unknowns, the
/// grid rows 1..n) into pDiag and pRhs. Lines are indexed by grid row: bhLeft and bhMid are
/// columns c - 1 and c of Bh, pBvRow row c of the transposed Bv, fCol column c of f, uLeft and
/// uRight columns c - 1 and c + 1 of u. The sub- and super-diagonals are pBvRow and pBvRow + 1.
void ColumnLineSystem(ConstLine bhLeft, ConstLine bhMid, const float* pBvRow, ConstLine fCol,
                      ConstLine uLeft, ConstLine uRight, int n, float* pDiag, float* pRhs) noexcept;

/// Row function of the row pass: the system of interior row r (n = Nc - 2 unknowns, the grid
/// columns 1..n) into pDiag and pRhs. pBh, pF are row r of Bh and f, pUUp and pUDown rows r - 1
/// and r + 1 of u, bvUp and bvDown columns r - 1 and r of the transposed Bv (indexed by column).
/// The sub- and super-diagonals are pBh and pBh + 1; the solution goes to row r of u from column 1.
void RowLineSystem(const float* pBh, ConstLine bvUp, ConstLine bvDown, const float* pF,
                   const float* pUUp, const float* pUDown, int n, float* pDiag,
                   float* pRhs) noexcept;

/// Solves the column line of ColumnLineSystem's operands exactly and writes its solution to
/// grid rows 1..n of uCol (column c of u). Throws EngineError on a zero pivot, uCol unchanged.
void SolveColumnLine(ConstLine bhLeft, ConstLine bhMid, const float* pBvRow, ConstLine fCol,
                     ConstLine uLeft, ConstLine uRight, Line uCol, int n, const LineVectors& lines);

/// Solves the row line of RowLineSystem's operands exactly, straight into grid columns 1..n of
/// pURow (row r of u). Throws EngineError on a zero pivot, the row then partly written.
void SolveRowLine(const float* pBh, ConstLine bvUp, ConstLine bvDown, const float* pF,
                  const float* pUUp, const float* pUDown, float* pURow, int n,
                  const LineVectors& lines);

/// Progress units of one sweep on level nLevel of nLevels: about 2 on the finest, falling by a
/// factor of four (and a little more) per coarser level. Every path's sweep reports these.
float SweepWeight(int nLevel, int nLevels) noexcept;

/// Progress units of each line of a sweep's column pass and of its row pass on a level of
/// nRows x nCols: a quarter of SweepWeight over the level's columns or rows.
struct SweepLineUnits
{
    float fColumn;
    float fRow;
};
SweepLineUnits SweepUnits(int nRows, int nCols, int nLevel, int nLevels) noexcept;

/// Runs solve(l) for the lines 1, 3, 5, ... and then 2, 4, ... up to nLast, reporting fUnits
/// after each; answers false as soon as the report asks to stop. With an empty solve it is
/// the progress of a direction whose lines were solved elsewhere.
template <class Solve>
bool ForZebraLines(int nLast, float fUnits, ProgressHook progress, Solve&& solve)
{
    for (int nFirst = 1; nFirst <= 2; ++nFirst) {
        for (int l = nFirst; l <= nLast; l += 2) {
            solve(l);
            if (progress(fUnits))
                return false;
        }
    }
    return true;
}

/// One alternating zebra line sweep on level nLevel of nLevels: updates the interior of u in
/// place against f; the border ring is neither read for the result nor written. Reports
/// progress after every line and returns at once on a stop (lines already solved keep their new
/// values). Throws EngineError on a zero pivot.
void RelaxLines(const LevelGrids& grids, const LineVectors& lines, int nLevel, int nLevels,
                ProgressHook progress);

} // namespace gw
