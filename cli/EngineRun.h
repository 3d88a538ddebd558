// EngineRun.h - runs the illumination engine on an image as the plug-in's
// whole-image run does.
#pragma once

#include "ImageFile.h"
#include "Options.h"

#include <cstdint>
#include <utility>

namespace gw::cli {

/// The normalisation bounds that the plug-in hands the engine for these
/// samples: the smallest sample, counted from 1.0 down, and the largest,
/// counted from 0.0 up (for samples in [0, 1] simply their minimum and maximum).
std::pair<float, float> InputBounds(const FloatImage& image) noexcept;

/// Bytes that an engine for nRows x nCols pixels holds in its in-RAM grid
/// pyramid: four grids per level, the work grid and four line vectors.
std::uint64_t EngineGridBytes(int nRows, int nCols) noexcept;

/// Makes an engine for the image, sets it up from the options in the plug-in's
/// order and runs it synchronously on the image's samples, which then hold the
/// result (on the engine's normalised [0, 1] scale). pfnProgress may be null.
/// Returns false when the run was stopped through the callback. Throws
/// gw::EngineError, std::bad_alloc, or CUsageError for an output range that
/// the engine refuses.
bool LiftShadows(FloatImage& image, const Options& options, int (*pfnProgress)(int));

} // namespace gw::cli
