// EngineRun.h - runs the illumination engine on an image as the plug-in's
// whole-image run does.
#pragma once

#include "ImageFile.h"
#include "Options.h"

#include <cstdint>
#include <memory>
#include <utility>

class CImageEngine;

namespace gw::cli {

/// The normalisation bounds that the plug-in hands the engine for these
/// samples: the smallest sample, counted from 1.0 down, and the largest,
/// counted from 0.0 up (for samples in [0, 1] simply their minimum and maximum).
std::pair<float, float> InputBounds(const FloatImage& image) noexcept;

/// The engine of the last image, kept for the next one of the same size, colour
/// and memory policy: its grids are allocated and their pages already made, so
/// the next run does not pay for them again.
class CKeptEngine
{
public:
    CKeptEngine() noexcept;
    ~CKeptEngine();
    CKeptEngine(const CKeptEngine&) = delete;
    CKeptEngine& operator=(const CKeptEngine&) = delete;

    /// True when the kept engine can run this image with these options.
    bool Fits(const FloatImage& image, const Options& options) const noexcept;
    /// Frees the kept engine and makes a fresh one for an image of this shape,
    /// with its grids' pages made, so that its first run does not make them; a
    /// thread can do that while the image is still being decoded. LiftShadows then
    /// takes it for the image when it fits, as it would a kept engine: it has not
    /// run, so it gives a fresh engine's bits. Throws std::bad_alloc, gw::EngineError.
    void Prepare(const ImageShape& shape, const Options& options, int (*pfnProgress)(int));
    /// Frees the kept engine (its grids).
    void Release() noexcept;

private:
    friend bool LiftShadows(FloatImage&, const Options&, int (*)(int), CKeptEngine*);
    std::unique_ptr<CImageEngine> m_pEngine;
    int m_nRows = 0;
    int m_nCols = 0;
    int m_nChannels = 0;
    int m_nReserve = 0;
    int (*m_pfnProgress)(int) = nullptr;
};

/// Makes an engine for the image (or takes pKept's when it fits), sets it up
/// from the options in the plug-in's order and runs it synchronously on the
/// image's samples, which then hold the result (on the engine's normalised
/// [0, 1] scale). A kept engine gives the bits a fresh one would: every setting
/// is made again and the output range is estimated anew unless given. With
/// pKept, the engine is kept there after a completed run and dropped after a
/// failed or stopped one. pfnProgress may be null. Returns false when the run
/// was stopped through the callback. Throws gw::EngineError, std::bad_alloc, or
/// CUsageError for an output range that the engine refuses.
bool LiftShadows(FloatImage& image, const Options& options, int (*pfnProgress)(int),
                 CKeptEngine* pKept = nullptr);

} // namespace gw::cli
