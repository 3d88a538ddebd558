// KernelsRelax.cpp - tridiagonal line solver and zebra line relaxation.
#include "kernels/KernelsRelax.h"

#include "EngineError.h"
#include "kernels/KernelsGrid.h"
#include "kernels/LineSystem.h"

namespace gw {

void SolveTridiagonal(const float* a, const float* b, const float* c, const float* d, float* x,
                      float* g, int n)
{
    if (n <= 0)
        return;
    if (b[0] == 0.0f)
        throw EngineError(EngineError::Kind::FirstPivotZero);
    line::Elimination<float> elimination;
    elimination.First(b[0], d[0]);
    x[0] = elimination.x;
    for (int j = 1; j < n; ++j) {
        elimination.Factor(c[j - 1], g[j]);
        elimination.Pivot(a[j], b[j], g[j]);
        if (elimination.beta == 0.0f)
            throw EngineError(EngineError::Kind::LaterPivotZero);
        elimination.Forward(a[j], d[j]);
        x[j] = elimination.x;
    }
    for (int j = n - 2; j >= 0; --j)
        line::BackSubstitute(x[j], g[j + 1], x[j + 1]);
}



void ColumnLineSystem(ConstLine bhLeft, ConstLine bhMid, const float* pBvRow, ConstLine fCol,
                      ConstLine uLeft, ConstLine uRight, int n, float* pDiag, float* pRhs) noexcept
{
    for (int k = 0; k < n; ++k) {
        const int r = k + 1;
        line::LineElement<line::Along::Column>(bhLeft[r], bhMid[r], pBvRow[r - 1], pBvRow[r],
                                               fCol[r], uLeft[r], uRight[r], pDiag[k], pRhs[k]);
    }
}



void RowLineSystem(const float* pBh, ConstLine bvUp, ConstLine bvDown, const float* pF,
                   const float* pUUp, const float* pUDown, int n, float* pDiag,
                   float* pRhs) noexcept
{
    for (int k = 0; k < n; ++k) {
        const int c = k + 1;
        line::LineElement<line::Along::Row>(pBh[c - 1], pBh[c], bvUp[c], bvDown[c], pF[c], pUUp[c],
                                            pUDown[c], pDiag[k], pRhs[k]);
    }
}



void SolveColumnLine(ConstLine bhLeft, ConstLine bhMid, const float* pBvRow, ConstLine fCol,
                     ConstLine uLeft, ConstLine uRight, Line uCol, int n, const LineVectors& lines)
{
    ColumnLineSystem(bhLeft, bhMid, pBvRow, fCol, uLeft, uRight, n, lines.pDiag, lines.pRhs);
    SolveTridiagonal(pBvRow, lines.pDiag, pBvRow + 1, lines.pRhs, lines.pSol, lines.pFactor, n);
    for (int k = 0; k < n; ++k)
        uCol[k + 1] = lines.pSol[k];
}



void SolveRowLine(const float* pBh, ConstLine bvUp, ConstLine bvDown, const float* pF,
                  const float* pUUp, const float* pUDown, float* pURow, int n,
                  const LineVectors& lines)
{
    RowLineSystem(pBh, bvUp, bvDown, pF, pUUp, pUDown, n, lines.pDiag, lines.pRhs);
    SolveTridiagonal(pBh, lines.pDiag, pBh + 1, lines.pRhs, pURow + 1, lines.pFactor, n);
}



float SweepWeight(int nLevel, int nLevels) noexcept
{
    float fWeight = 8.0f / static_cast<float>(2 * (nLevels + 1 - nLevel));
    for (int k = nLevel; k < nLevels; ++k)
        fWeight *= 0.25f;
    return fWeight;
}



SweepLineUnits SweepUnits(int nRows, int nCols, int nLevel, int nLevels) noexcept
{
    const float fWeight = SweepWeight(nLevel, nLevels);
    return SweepLineUnits{fWeight / static_cast<float>(4 * nCols),
                          fWeight / static_cast<float>(4 * nRows)};
}



void RelaxLines(const LevelGrids& grids, const LineVectors& lines, int nLevel, int nLevels,
                ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    const SweepLineUnits units = SweepUnits(nr, nc, nLevel, nLevels);
    const GridView& bh = grids.bh;
    const GridView& bv = grids.bv;
    const GridView& u = grids.u;

    // Column lines, odd columns first, then even ones.
    const bool bGoOn = ForZebraLines(nc - 2, units.fColumn, progress, [&](int c) {
        SolveColumnLine(bh.ConstColumn(c - 1), bh.ConstColumn(c), bv.Row(c), grids.f.ConstColumn(c),
                        u.ConstColumn(c - 1), u.ConstColumn(c + 1), u.Column(c), nr - 2, lines);
    });
    if (!bGoOn)
        return;

    // Row lines, odd rows first, then even ones; each solves straight into its row of u.
    ForZebraLines(nr - 2, units.fRow, progress, [&](int r) {
        SolveRowLine(bh.Row(r), bv.ConstColumn(r - 1), bv.ConstColumn(r), grids.f.Row(r),
                     u.Row(r - 1), u.Row(r + 1), u.Row(r), nc - 2, lines);
    });
}

} // namespace gw
