// EngineRun.cpp - the tool's one contact with the engine.
#include "EngineRun.h"

#include "CImageEngine.h"

#include <algorithm>
#include <array>

namespace gw::cli {

std::pair<float, float> InputBounds(const FloatImage& image) noexcept
{
    // Lanes of their own, combined at the end: the compiler makes vector code of
    // it. The smallest and the largest of a set do not depend on the order.
    constexpr std::size_t kLanes = 16;
    std::array<float, kLanes> mins;
    std::array<float, kLanes> maxs;
    mins.fill(1.0f);
    maxs.fill(0.0f);
    const float* pSamples = image.m_samples.data();
    const std::size_t nCount = image.m_samples.size();
    std::size_t i = 0;
    for (; i + kLanes <= nCount; i += kLanes) {
        for (std::size_t j = 0; j < kLanes; ++j) {
            const float fSample = pSamples[i + j];
            mins[j] = fSample < mins[j] ? fSample : mins[j];
            maxs[j] = maxs[j] < fSample ? fSample : maxs[j];
        }
    }
    for (std::size_t j = 0; i < nCount; ++i, ++j) {
        mins[j] = std::min(mins[j], pSamples[i]);
        maxs[j] = std::max(maxs[j], pSamples[i]);
    }
    return {*std::min_element(mins.begin(), mins.end()),
            *std::max_element(maxs.begin(), maxs.end())};
}



namespace {

int ReserveFor(const Options& options) noexcept
{
    // Grids in RAM without a budget (paged only when an allocation fails), paged
    // from the start, or the policy of the plug-in's whole-image engine.
    return options.m_memory == MemoryMode::Paged ? gw::kReservePaged
         : options.m_memory == MemoryMode::Ram   ? gw::kReserveInRam
                                                 : gw::WholeImageReserve(options.m_bFastMode);
}

} // namespace



CKeptEngine::CKeptEngine() noexcept = default;

CKeptEngine::~CKeptEngine() = default;



bool CKeptEngine::Fits(const FloatImage& image, const Options& options) const noexcept
{
    return m_pEngine && m_nRows == image.m_nHeight && m_nCols == image.m_nWidth
        && m_nChannels == image.m_nChannels && m_nReserve == ReserveFor(options);
}



void CKeptEngine::Release() noexcept
{
    m_pEngine.reset();
}



void CKeptEngine::Prepare(const ImageShape& shape, const Options& options, int (*pfnProgress)(int))
{
    Release();
    const int nReserve = ReserveFor(options);
    auto pEngine = std::make_unique<CImageEngine>(shape.m_nChannels == 3 ? 1 : 0, shape.m_nHeight,
                                                  shape.m_nWidth, nReserve, pfnProgress);
    pEngine->Grids().MakePages(options.m_bFastMode);
    m_pEngine = std::move(pEngine);
    m_nRows = shape.m_nHeight;
    m_nCols = shape.m_nWidth;
    m_nChannels = shape.m_nChannels;
    m_nReserve = nReserve;
    m_pfnProgress = pfnProgress;
}



bool LiftShadows(FloatImage& image, const Options& options, int (*pfnProgress)(int),
                 CKeptEngine* pKept)
{
    const bool bColor = image.m_nChannels == 3;
    const int nReserve = ReserveFor(options);
    std::unique_ptr<CImageEngine> pEngine;
    if (pKept != nullptr) {
        if (pKept->Fits(image, options) && pKept->m_pfnProgress == pfnProgress)
            pEngine = std::move(pKept->m_pEngine);
        // Another size: its grids go before the new engine's are taken.
        pKept->Release();
    }
    if (!pEngine) {
        pEngine = std::make_unique<CImageEngine>(bColor ? 1 : 0, image.m_nHeight, image.m_nWidth,
                                                 nReserve, pfnProgress);
    }
    CImageEngine& engine = *pEngine;

    gw::ApplyEngineValues(engine, EngineValuesOf(options));
    engine.SetThreadCount(options.m_nEngineThreads);
    if (options.m_bOutputRange && !engine.SetOutputRange(options.m_fOutLow, options.m_fOutHigh)) {
        throw CUsageError("the engine refuses the output range");
    }
    if (!options.m_bOutputRange) {
        // A kept engine still holds the range its last run estimated.
        engine.SetOutputRange(-1.0f, 1.0f);
    }

    float fLo = 0.0f;
    float fHi = 0.0f;
    switch (options.m_boundsMode) {
    case BoundsMode::Data:
        std::tie(fLo, fHi) = InputBounds(image);
        break;
    case BoundsMode::Auto:
        break;
    case BoundsMode::Fixed:
        fLo = options.m_fBoundsLow;
        fHi = options.m_fBoundsHigh;
        break;
    }
    engine.Run(image.m_samples.data(), fLo, fHi);
    if (engine.IsAborted())
        return false;
    if (pKept != nullptr) {
        pKept->m_pEngine = std::move(pEngine);
        pKept->m_nRows = image.m_nHeight;
        pKept->m_nCols = image.m_nWidth;
        pKept->m_nChannels = image.m_nChannels;
        pKept->m_nReserve = nReserve;
        pKept->m_pfnProgress = pfnProgress;
    }
    return true;
}

} // namespace gw::cli
