// KernelsGrid.h - whole-grid operations of the solver: residual, copy and clear.
#pragma once

#include "kernels/Kernels.h"

namespace gw {

/// W := f - A u on the interior of a level, 0 on its border ring. Reads u, f, Bh, Bv of the
/// level; writes the top-left Nr x Nc corner of work only (work may be larger, as the finest
/// work grid is on coarser levels).
void Residual(const GridView& work, const LevelGrids& grids) noexcept;

/// Row function of Residual for interior row r: pUUp, pU, pUDown are rows r - 1, r, r + 1 of u,
/// pF and pBh row r of f and Bh, bvUp and bvDown columns r - 1 and r of the transposed Bv
/// (indexed by column). Writes all nCols elements of pOut (ends 0).
void ResidualRow(const float* pUUp, const float* pU, const float* pUDown, const float* pF,
                 const float* pBh, ConstLine bvUp, ConstLine bvDown, int nCols,
                 float* pOut) noexcept;

/// Copies every element of source into destination (the same extents, border included).
void CopyGrid(const GridView& destination, const GridView& source) noexcept;

/// Sets every element of the grid to 0.
void ZeroGrid(const GridView& grid) noexcept;

} // namespace gw
