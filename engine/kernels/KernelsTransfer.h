// KernelsTransfer.h - moving grids between neighbouring levels.
//
// Point i of a coarse level lies on point 2i of the next finer one (the border points 0
// coincide). Restriction averages a fine grid down with half weight on the centre; prolongation
// interpolates a coarse grid up bilinearly. Both keep constants constant on the interior and
// leave the border ring at 0.
#pragma once

#include "kernels/Kernels.h"

namespace gw {

/// coarse := half-weighted restriction of fine (coarse is level l, fine level l + 1, so each
/// coarse extent is fine / 2 + 1). Interior stencil: 0.125 x (down + up + left + right) + 0.5 x
/// centre. Where a fine extent is even, the last coarse row or column lies next to the fine
/// border; there the border neighbour is left out and its weight goes to the centre (0.625, and
/// 0.75 in the corner). Writes every element of coarse (border 0); reads fine only. Not in place.
void Restrict(const GridView& coarse, const GridView& fine) noexcept;

/// Row function of Restrict: coarse interior row i from fine rows 2i - 1 (pUp), 2i (pMid) and
/// 2i + 1 (pDown). pDown is ignored when bOneSidedBottom (an even fine row count and i the last
/// interior coarse row). Writes all nCoarseCols elements of pCoarse (ends 0).
void RestrictRow(const float* pUp, const float* pMid, const float* pDown, bool bOneSidedBottom,
                 int nFineCols, float* pCoarse, int nCoarseCols) noexcept;

/// fine := bilinear prolongation of coarse (fine is level l, coarse level l - 1). Injection at
/// even points, midpoints between them, and the first interior line (and, for an odd extent, the
/// last) copied from its neighbour, so that a constant stays constant. Border ring 0. Writes every
/// element of fine; reads coarse only. Not in place.
void Prolong(const GridView& fine, const GridView& coarse) noexcept;

/// Which coarse rows make fine row r (of nFineRows): the row lies on coarse row *pUp when
/// *pDown is -1, else midway between coarse rows *pUp and *pDown. Both are -1 for a border row.
void ProlongRowSources(int r, int nFineRows, int* pUp, int* pDown) noexcept;

/// Row function of Prolong: one fine row from coarse row pUp alone (pDown null: injection
/// row) or from the midpoints of coarse rows pUp and pDown. Writes all nFineCols elements.
void ProlongRow(const float* pUp, const float* pDown, int nCoarseCols, float* pFine,
                int nFineCols) noexcept;

/// Row r of Prolong(coarse) into fine: the sources of ProlongRowSources, or zeros for a border row.
/// Row function of Restrict over whole grids: interior coarse row i from the fine rows
/// 2i - 1 .. 2i + 1 (one-sided at the bottom when the fine level has an even number of rows).
void RestrictGridRow(const GridView& coarse, const GridView& fine, int i) noexcept;

void ProlongGridRow(const GridView& fine, const GridView& coarse, int r) noexcept;

/// Row function of AddCorrection: row r of w := the prolongation of coarseU, then row r of
/// fineU += row r of w.
void AddCorrectionRow(const GridView& fineU, const GridView& coarseU, const GridView& w,
                      int r) noexcept;

/// W := Prolong(coarse u); fineU += W over every element (the border adds W's zeros).
/// W must have at least the fine extents; its contents are overwritten.
void AddCorrection(const GridView& fineU, const GridView& coarseU, const GridView& work) noexcept;

} // namespace gw
