// KernelsGrid.cpp - residual, copy and clear.
#include "kernels/KernelsGrid.h"

#include "kernels/LineSystem.h"

#include <algorithm>

namespace gw {

void ResidualRow(const float* pUUp, const float* pU, const float* pUDown, const float* pF,
                 const float* pBh, ConstLine bvUp, ConstLine bvDown, int nCols,
                 float* pOut) noexcept
{
    pOut[0] = 0.0f;
    for (int c = 1; c <= nCols - 2; ++c) {
        line::PointResidual(pF[c], pU[c], pBh[c - 1], pU[c - 1], pBh[c], pU[c + 1], bvUp[c],
                            pUUp[c], bvDown[c], pUDown[c], pOut[c]);
    }
    pOut[nCols - 1] = 0.0f;
}



void Residual(const GridView& work, const LevelGrids& grids) noexcept
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    std::fill_n(work.Row(0), nc, 0.0f);
    for (int r = 1; r <= nr - 2; ++r) {
        ResidualRow(grids.u.Row(r - 1), grids.u.Row(r), grids.u.Row(r + 1), grids.f.Row(r),
                    grids.bh.Row(r), grids.bv.ConstColumn(r - 1), grids.bv.ConstColumn(r), nc,
                    work.Row(r));
    }
    std::fill_n(work.Row(nr - 1), nc, 0.0f);
}



void CopyGrid(const GridView& destination, const GridView& source) noexcept
{
    for (int r = 0; r < destination.nRows; ++r)
        std::copy_n(source.Row(r), destination.nCols, destination.Row(r));
}



void ZeroGrid(const GridView& grid) noexcept
{
    if (grid.nStride == grid.nCols) {
        std::fill_n(grid.pData, static_cast<std::ptrdiff_t>(grid.nRows) * grid.nCols, 0.0f);
        return;
    }
    for (int r = 0; r < grid.nRows; ++r)
        std::fill_n(grid.Row(r), grid.nCols, 0.0f);
}

} // namespace gw
