// KernelsLanesPortable.cpp - the lane group kernels in portable code.
//
// The same groups and layouts as the AVX2 bodies, built from the scalar row functions and the
// lane elimination of LaneSolve.h, so they give the same bits on any target.
#include "lanes/KernelsLanes.h"

#include "kernels/KernelsCoupling.h"
#include "kernels/KernelsGrid.h"
#include "lanes/LaneSolve.h"

namespace gw::lanes::portable {

static_assert(lanesolve::kLanes == kGroupLines);

bool SolveColumnGroups(const LevelGrids& grids, int c0, int nGroups, float* pG, float* pX) noexcept
{
    const int n = grids.Rows() - 2;
    if (n <= 0)
        return true;
    const std::ptrdiff_t nGroupFloats = static_cast<std::ptrdiff_t>(kGroupLines) * n;
    // Every group solved before any is stored, so that a zero pivot leaves u unchanged.
    for (int g = 0; g < nGroups; ++g) {
        lanesolve::LaneLines operands;
        for (int j = 0; j < kGroupLines; ++j) {
            const int c = c0 + 2 * (kGroupLines * g + j);
            operands.acrossFirst[j] = grids.bh.ConstColumn(c - 1);
            operands.acrossSecond[j] = grids.bh.ConstColumn(c);
            operands.along[j] = grids.bv.ConstColumn(c);
            operands.f[j] = grids.f.ConstColumn(c);
            operands.uFirst[j] = grids.u.ConstColumn(c - 1);
            operands.uSecond[j] = grids.u.ConstColumn(c + 1);
        }
        if (!lanesolve::SolveLaneLines<line::Along::Column>(operands, pG + g * nGroupFloats,
                                                            pX + g * nGroupFloats, n))
            return false;
    }
    for (int g = 0; g < nGroups; ++g) {
        const float* pSolution = pX + g * nGroupFloats;
        for (int k = 0; k < n; ++k) {
            float* pU = grids.u.Row(k + 1) + c0 + 2 * kGroupLines * g;
            for (int j = 0; j < kGroupLines; ++j)
                pU[2 * j] = pSolution[static_cast<std::ptrdiff_t>(k) * kGroupLines + j];
        }
    }
    return true;
}



bool SolveRowGroup(const LevelGrids& grids, int r0, float* pG, float* pX) noexcept
{
    lanesolve::LaneLines operands;
    for (int j = 0; j < kGroupLines; ++j) {
        const int r = r0 + 2 * j;
        operands.along[j] = ConstLine{grids.bh.Row(r), 1};
        operands.acrossFirst[j] = ConstLine{grids.bv.Row(r - 1), 1};
        operands.acrossSecond[j] = ConstLine{grids.bv.Row(r), 1};
        operands.f[j] = ConstLine{grids.f.Row(r), 1};
        operands.uFirst[j] = ConstLine{grids.u.Row(r - 1), 1};
        operands.uSecond[j] = ConstLine{grids.u.Row(r + 1), 1};
    }
    return lanesolve::SolveLaneLines<line::Along::Row>(operands, pG, pX, grids.Cols() - 2);
}



void StoreRowGroup(const GridView& u, int r0, const float* pX, int n) noexcept
{
    for (int j = 0; j < kGroupLines; ++j) {
        float* pU = u.Row(r0 + 2 * j) + 1;
        for (int k = 0; k < n; ++k)
            pU[k] = pX[static_cast<std::ptrdiff_t>(k) * kGroupLines + j];
    }
}



void CouplingRowContiguous(const float* pF, const float* pFDown, int nCols, float fScaledRadius,
                           const CouplingParams& params, float* pBh, float* pBv) noexcept
{
    CouplingRow(pF, pFDown, nCols, fScaledRadius, params, pBh, Line{pBv, 1});
}



void ResidualRowContiguous(const float* pUUp, const float* pU, const float* pUDown, const float* pF,
                           const float* pBh, const float* pBvUp, const float* pBvDown, int nCols,
                           float* pOut) noexcept
{
    ResidualRow(pUUp, pU, pUDown, pF, pBh, ConstLine{pBvUp, 1}, ConstLine{pBvDown, 1}, nCols, pOut);
}



void TransposeBlock(const float* pIn, std::ptrdiff_t nInStride, int nRows, int nCols, float* pOut,
                    std::ptrdiff_t nOutStride) noexcept
{
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c)
            pOut[static_cast<std::ptrdiff_t>(c) * nOutStride + r] =
                pIn[static_cast<std::ptrdiff_t>(r) * nInStride + c];
    }
}

} // namespace gw::lanes::portable
