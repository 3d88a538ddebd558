// KernelsCoupling.cpp - couplings of the solver's operator, per level.
#include "kernels/KernelsCoupling.h"

#include <cmath>

namespace gw {

float Coupling(float a, float b, float fScaledRadius, const CouplingParams& params) noexcept
{
    float fCoupling;
    CouplingOf(
        a, b, fScaledRadius, params, [](float q, float& g) { g = std::sqrt(q); }, fCoupling);
    return fCoupling;
}



float ScaledRadius(float fRadius, int nLevel, int nLevels) noexcept
{
    float fScale = 1.0f;
    for (int k = nLevel; k < nLevels; ++k)
        fScale *= 2.0f;
    return fScale * fRadius;
}



float CouplingWeight(int nLevel, int nLevels) noexcept
{
    float fUnit = 4.0f;
    for (int k = nLevel; k < nLevels; ++k)
        fUnit *= 0.25f;
    return fUnit;
}



void CouplingRow(const float* pF, const float* pFDown, int nCols, float fScaledRadius,
                 const CouplingParams& params, float* pBh, Line bvColumn) noexcept
{
    for (int c = 1; c <= nCols - 2; ++c) {
        pBh[c] = Coupling(pF[c], pF[c + 1], fScaledRadius, params);
        bvColumn[c] = Coupling(pF[c], pFDown[c], fScaledRadius, params);
    }
}



void ComputeCouplings(const LevelGrids& grids, int nLevel, int nLevels,
                      const CouplingParams& params, ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    const float fScaledRadius = ScaledRadius(params.fRadius, nLevel, nLevels);
    const float fUnit = CouplingWeight(nLevel, nLevels);

    for (int r = 1; r <= nr - 2; ++r) {
        CouplingRow(grids.f.Row(r), grids.f.Row(r + 1), nc, fScaledRadius, params, grids.bh.Row(r),
                    grids.bv.Column(r));
        if (progress(fUnit / static_cast<float>(nr)))
            return;
    }

    ClearCouplingRing(grids.bh, grids.bv, true);
}



void ClearCouplingRing(const GridView& bh, const GridView& bv, bool bTransposedBv) noexcept
{
    const auto bhAt = [&](int r, int c) -> float& { return bh.At(r, c); };
    if (bTransposedBv)
        ClearCouplingRing(bh.nRows, bh.nCols, bhAt,
                          [&](int r, int c) -> float& { return bv.At(c, r); });
    else
        ClearCouplingRing(bh.nRows, bh.nCols, bhAt,
                          [&](int r, int c) -> float& { return bv.At(r, c); });
}

} // namespace gw
