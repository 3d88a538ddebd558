// EngineSettings.cpp - the user's settings as engine values, and the size of
// the grid pyramid.
#include "settings/EngineSettings.h"

#include "CImageEngine.h"
#include "PortableMath.h"
#include "memory/CGridMemory.h"

#include <algorithm>

namespace gw {

namespace {

float ThermalFromSetting(int nThermal) noexcept
{
    return static_cast<float>(nThermal) / 100.0f;
}

float EpsilonFromSetting(int nEpsilon) noexcept
{
    return static_cast<float>(PortablePow(10.0, nEpsilon * 0.08 - 12.0));
}

} // namespace



float AmountFromPercent(int nAmount) noexcept
{
    return static_cast<float>(nAmount) / 100.0f;
}



float RadiusFromFillLight(int nFillLight) noexcept
{
    const double dRadius = PortablePow(10.0, (nFillLight * 6.75 + 325.0) / 250.0) / 2000.0;
    const float fRadius = static_cast<float>(dRadius);
    return fRadius < 0.01f ? 0.01f : fRadius;
}



EngineValues EngineValuesFor(const UserSettings& settings) noexcept
{
    EngineValues values;
    values.fAmount = AmountFromPercent(settings.nAmount);
    values.fRadius = RadiusFromFillLight(settings.nFillLight);
    values.fThermal = ThermalFromSetting(settings.nThermal);
    values.fEpsilon = EpsilonFromSetting(settings.nEpsilon);
    values.bFastMode = settings.bFastMode;
    values.bFinalScaling = settings.bFinalScaling;
    return values;
}



void ApplyEngineValues(CImageEngine& engine, const EngineValues& values) noexcept
{
    engine.SetAmount(values.fAmount);
    engine.SetEpsilon(values.fEpsilon);
    engine.SetThermal(values.fThermal);
    engine.SetFastMode(values.bFastMode ? 1 : 0);
    engine.SetFinalScaling(values.bFinalScaling ? 1 : 0);
    engine.SetRadius(values.fRadius);
}



int PyramidLevels(int nRows, int nCols) noexcept
{
    if (nRows < 1 || nCols < 1)
        return 0;
    std::int64_t n = static_cast<std::int64_t>(std::min(nRows, nCols)) + 2;
    int nLevels = 1;
    while (n > 3) {
        n = CoarserExtent(n);
        ++nLevels;
    }
    return nLevels;
}



std::uint64_t PyramidBytes(int nRows, int nCols) noexcept
{
    const int nLevels = PyramidLevels(nRows, nCols);
    if (nLevels == 0)
        return 0;
    constexpr std::uint64_t kFloat = 4;
    constexpr std::uint64_t kGridsPerLevel = 4;
    constexpr std::uint64_t kLineVectors = CGridMemory::kLineVectors;
    std::int64_t nLevelRows = static_cast<std::int64_t>(nRows) + 2;
    std::int64_t nLevelCols = static_cast<std::int64_t>(nCols) + 2;
    const auto nFinest = static_cast<std::uint64_t>(nLevelRows * nLevelCols);
    const auto nMaxDim = static_cast<std::uint64_t>(std::max(nLevelRows, nLevelCols));
    std::uint64_t nBytes = nFinest * kFloat + kLineVectors * nMaxDim * kFloat;
    for (int k = nLevels; k >= 1; --k) {
        nBytes += kGridsPerLevel * static_cast<std::uint64_t>(nLevelRows * nLevelCols) * kFloat;
        nLevelRows = CoarserExtent(nLevelRows);
        nLevelCols = CoarserExtent(nLevelCols);
    }
    return nBytes;
}

} // namespace gw
