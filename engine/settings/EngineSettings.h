// EngineSettings.h - the user's settings as engine values, the memory policies
// of the engines, and the size of an engine's grid pyramid.
//
// The filter dialog and the command-line tool offer the same settings: Amount
// and Fill Light in percent, Speed (the fast mode) and AutoScale (the final
// scaling), plus the thermal and epsilon settings, which the dialog keeps at
// fixed values. Everything that turns them into the numbers an engine takes is
// here, so that both give the same bits on the same samples.
//
// Portable: no Windows header.
#pragma once

#include <cstdint>

class CImageEngine;

namespace gw {

/// The settings' defaults; thermal and epsilon are fixed at theirs.
inline constexpr int kDefaultAmount = 60;
inline constexpr int kDefaultFillLight = 37;
inline constexpr int kThermalSetting = 40;
inline constexpr int kEpsilonSetting = 100;

/// Engine amount of an Amount setting in percent: n / 100.
float AmountFromPercent(int nAmount) noexcept;

/// Engine radius of a Fill Light setting: 10^((n * 6.75 + 325) / 250) / 2000 in
/// double precision, at least 0.01.
float RadiusFromFillLight(int nFillLight) noexcept;

/// Engine thermal of a thermal setting: n / 100.
float ThermalFromSetting(int nThermal) noexcept;

/// Engine epsilon of an epsilon setting: 10^(n * 0.08 - 12).
float EpsilonFromSetting(int nEpsilon) noexcept;

/// The settings as the user makes them.
struct UserSettings
{
    int nAmount = kDefaultAmount;       ///< percent, 0..100
    int nFillLight = kDefaultFillLight; ///< 0..100
    int nThermal = kThermalSetting;
    int nEpsilon = kEpsilonSetting;
    bool bFastMode = false;             ///< Speed
    bool bFinalScaling = true;          ///< AutoScale
};

/// The values an engine is given for a run.
struct EngineValues
{
    float fAmount = 0.0f;
    float fRadius = 0.0f;
    float fThermal = 0.0f;
    float fEpsilon = 0.0f;
    bool bFastMode = false;
    bool bFinalScaling = true;
};

/// The engine values of the settings.
EngineValues EngineValuesFor(const UserSettings& settings) noexcept;

/// Sets the values on the engine, in the order of the whole-image run:
/// amount, epsilon, thermal, fast mode, final scaling, radius.
void ApplyEngineValues(CImageEngine& engine, const EngineValues& values) noexcept;

/// Memory policies of an engine (the nReserve of CImageEngine and of
/// CGridMemory::AllocateGrids).
inline constexpr int kReserveInRam = 0;              ///< in RAM, no limit
inline constexpr int kReservePaged = -1;             ///< paged from the start
inline constexpr int kReserveInRamWithFallback = -2; ///< in RAM, paged when it fails

/// The policy of the whole-image engine: kReserveInRam in fast mode, else
/// kReserveInRamWithFallback. Preview engines always take the latter.
constexpr int WholeImageReserve(bool bFastMode) noexcept
{
    return bFastMode ? kReserveInRam : kReserveInRamWithFallback;
}

/// Points of the next coarser level of a pyramid along an extent of nExtent
/// points (64-bit, so that an extent near INT_MAX cannot overflow).
constexpr std::int64_t CoarserExtent(std::int64_t nExtent) noexcept
{
    return nExtent / 2 + 1;
}

/// Number of pyramid levels for an image of nRows x nCols pixels: 1 plus the
/// number of coarsenings that bring min(nRows, nCols) + 2 down to 3. Sizes
/// below 1 give 0.
int PyramidLevels(int nRows, int nCols) noexcept;

/// Bytes that the in-RAM grid pyramid of an engine for nRows x nCols pixels
/// holds: four grids per level, the work grid of the finest level and four
/// line vectors of the larger finest extent, 4 bytes a float.
std::uint64_t PyramidBytes(int nRows, int nCols) noexcept;

} // namespace gw
