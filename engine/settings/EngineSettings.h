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

/// The settings as the user makes them, with their defaults. The dialog keeps
/// the thermal and epsilon settings at theirs.
struct UserSettings
{
    int nAmount = 60;          ///< percent, 0..100
    int nFillLight = 37;       ///< 0..100
    int nThermal = 40;         ///< engine thermal n / 100
    int nEpsilon = 100;        ///< engine epsilon 10^(n * 0.08 - 12)
    bool bFastMode = false;    ///< Speed
    bool bFinalScaling = true; ///< AutoScale
};

/// The engine amount of an Amount setting in percent is n / 100; the engine
/// radius of a Fill Light setting is 10^((n * 6.75 + 325) / 250) / 2000 in
/// double precision, at least 0.01.
float AmountFromPercent(int nAmount) noexcept;
float RadiusFromFillLight(int nFillLight) noexcept;

/// The values an engine is given for a run (see the setters of CImageEngine).
struct EngineValues
{
    float fAmount = 0.0f;      ///< blend strength; the engine caps it at 1
    float fRadius = 0.0f;      ///< illumination radius; the engine caps it at 20
    float fThermal = 0.0f;     ///< offset of the local intensity in the couplings
    float fEpsilon = 0.0f;     ///< regularisation under the couplings' square root
    bool bFastMode = false;    ///< no pre-smoothing, no solve on the finest level
    bool bFinalScaling = true; ///< stretch the result over [0, 1]
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
