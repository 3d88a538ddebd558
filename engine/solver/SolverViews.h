// SolverViews.h - the kernels' views of an engine's in-RAM grid pyramid.
//
// Shared by the in-RAM backends of the schedule (solver/RamBackend.h), so the straightforward
// and the parallel kernels get the same grids of a level.
#pragma once

#include "kernels/Kernels.h"
#include "memory/CGridMemory.h"

namespace gw {

inline GridView ViewOf(CMatrix& matrix) noexcept
{
    return GridView::Of(matrix.Data(), matrix.Rows(), matrix.Cols());
}

/// The four solver grids of level nLevel.
inline LevelGrids LevelOf(CGridMemory& grids, int nLevel) noexcept
{
    return LevelGrids{ViewOf(grids.HorizontalCoupling(nLevel)),
                      ViewOf(grids.VerticalCoupling(nLevel)), ViewOf(grids.RightHandSide(nLevel)),
                      ViewOf(grids.Solution(nLevel))};
}

/// The same grids for the parallel kernels, which read Bv row-major: the vertical coupling
/// matrix's storage seen with the shape of the level.
inline LevelGrids RowMajorLevelOf(CGridMemory& grids, int nLevel) noexcept
{
    CMatrix& vertical = grids.VerticalCoupling(nLevel);
    return LevelGrids{ViewOf(grids.HorizontalCoupling(nLevel)),
                      GridView::Of(vertical.Data(), vertical.Cols(), vertical.Rows()),
                      ViewOf(grids.RightHandSide(nLevel)), ViewOf(grids.Solution(nLevel))};
}

/// The line vectors of the exact line solves.
inline LineVectors LinesOf(CGridMemory& grids) noexcept
{
    return LineVectors{
        grids.LineVector(CGridMemory::kLineDiagonal), grids.LineVector(CGridMemory::kLineRightSide),
        grids.LineVector(CGridMemory::kLineSolution), grids.LineVector(CGridMemory::kLineFactors)};
}

} // namespace gw
