// WholeImageRun.cpp - the whole-image run: the host's 8- or 16-bit samples
// become interleaved floats in m_pImagePlanes, the whole-image engine runs on
// them on its worker thread while the host polls, and the result goes back
// into the host's destination buffer, blended with the selection mask.
#include <cstdint>
#include <exception>
#include <memory>

#include "FailureInjection.h"
#include "FilterProcessing.h"
#include "Guard.h"
#include "HostSamples.h"
#include "LogScope.h"
#include "PluginGlobals.h"
#include "engine/CImageEngine.h"
#include "engine/settings/EngineSettings.h"
#include "ui/FilterUI.h"

using gw::plugin::GuardTruth;

bool CFilter_Processing::InitializeImageEngine()
{
    return GuardTruth(gw::plugin::kSiteInitializeImageEngine, [&] {
        CLogScope scope("InitializeImageEngine");
        if (gLog.IsOn()) {
            gLog.Assert(m_pUI != nullptr, "InitializeImageEngine: m_pUI != NULL", kLogError);
            if (m_pUI) {
                gLog.Assert(XSize(m_pUI->m_rectMaxPreview) > 0,
                            "InitializeImageEngine: XSize(m_pUI->m_rectMaxPreview) > 0", kLogError);
                gLog.Assert(YSize(m_pUI->m_rectMaxPreview) > 0,
                            "InitializeImageEngine: YSize(m_pUI->m_rectMaxPreview) > 0", kLogError);
            }
        }
        gw::plugin::InjectFailure("InitializeImageEngine");
        ReportEngineProgress(0);
        AllocatePreviewPlanes();
        if (!ConvertSourceRows())
            return false;
        if (!ReportEngineProgress(0))
            return false;
        ReportEngineProgress(0);
        return true;
    });
}

/// Converts the source pixels of the processed area to m_pImagePlanes and
/// records their range; false when a progress report asks to stop.
bool CFilter_Processing::ConvertSourceRows()
{
    using namespace gw::plugin;
    const FilterRecord& record = *gFilterRecord;
    const int nWidth = m_image.m_nWidth > 0 ? m_image.m_nWidth : 0;
    const int nHeight = m_image.m_nHeight > 0 ? m_image.m_nHeight : 0;
    const int nPlanes = m_image.m_nPlanes > 0 ? m_image.m_nPlanes : 0;
    const std::size_t nFloats = static_cast<std::size_t>(nWidth) * nHeight * nPlanes;
    m_pImagePlanes = std::make_unique<float[]>(nFloats);
    m_fInputMin = 1.0f;
    m_fInputMax = 0.0f;
    if (nFloats == 0 || record.inData == nullptr)
        return true;

    const int nSampleBytes = SampleBytes(record);
    const bool bDeep = nSampleBytes == 2;
    const std::ptrdiff_t nStride = RowStride(record.inRowBytes, m_image, nSampleBytes);
    float* pOut = m_pImagePlanes.get();
    for (int r = 0; r < nHeight; ++r) {
        const std::ptrdiff_t nRow = r * nStride;
        for (int i = 0; i < nWidth * nPlanes; ++i) {
            const float v = ReadSample(record.inData, nRow + i, bDeep);
            if (v < m_fInputMin)
                m_fInputMin = v;
            if (v > m_fInputMax)
                m_fInputMax = v;
            *pOut++ = v;
        }
        if (!ReportEngineProgress(r * 100 / nHeight))
            return false;
    }
    return true;
}

bool CFilter_Processing::ProcessImage(bool bStart)
{
    if (bStart)
        return GuardTruth(gw::plugin::kSiteProcessImage, [&] { return StartWholeImageRun(); });

    // Poll. A run that could not be started counts as finished.
    if (!m_pEngine)
        return true;
    if (m_pEngine->GetProgress() < 100)
        return false;
    if (gImageCollected)
        return true;
    gImageCollected = true;
    m_pRunLogScope.reset();
    m_pEngine->Log().FlushRing();
    // A run that failed must not be written back as if it had succeeded: its
    // failure goes to the caller's handler.
    if (std::exception_ptr pFailure = m_pEngine->TakeRunFailure())
        std::rethrow_exception(pFailure);
    return true;
}

/// Makes the whole-image engine if needed, sets its parameters and starts its
/// worker; false when a stop is requested or a run is still going. The run's
/// exit tag follows when its result is collected, or at once when no run starts.
bool CFilter_Processing::StartWholeImageRun()
{
    auto pScope = std::make_unique<CLogScope>("ProcessImage");
    gw::plugin::InjectFailure("ProcessImage");
    const int nRows = m_image.m_nHeight;
    const int nCols = m_image.m_nWidth;
    const int bColor = m_image.m_nPlanes == 3 ? 1 : 0;
    // An engine is made for one size; a later invocation on another image
    // needs a new one.
    if (m_pEngine
        && (m_pEngine->Rows() != nRows || m_pEngine->Cols() != nCols
            || (m_pEngine->Channels() == 3) != (bColor == 1)))
    {
        if (m_pEngine->GetProgress() < 100)
            return false;
        m_pEngine.reset();
    }
    if (!m_pEngine)
        m_pEngine = std::make_unique<CImageEngine>(
            bColor, nRows, nCols, gw::WholeImageReserve(m_bFastMode), &OnEngineProgress);
    if (gStopRequested == 1)
        return false;
    if (m_pEngine->GetProgress() < 100)
        return false;

    SetEngineParameters(*m_pEngine, m_fRadius);
    // The engine kept for the next image of this size still holds the range
    // that the last run estimated (or a stopped run left); every image's run
    // finds its own.
    m_pEngine->SetOutputRange(-1.0f, 1.0f);
    m_pEngine->StartRun(m_pImagePlanes.get(), m_fInputMin, m_fInputMax);
    gImageCollected = false;
    m_pRunLogScope = std::move(pScope);
    return true;
}

void CFilter_Processing::WriteResult()
{
    using namespace gw::plugin;
    InjectFailure("WriteResult");
    const FilterRecord& record = *gFilterRecord;
    const int nWidth = m_image.m_nWidth;
    const int nHeight = m_image.m_nHeight;
    const int nPlanes = m_image.m_nPlanes;
    const std::size_t nFloats = static_cast<std::size_t>(nWidth > 0 ? nWidth : 0)
                              * (nHeight > 0 ? nHeight : 0) * (nPlanes > 0 ? nPlanes : 0);
    if (nFloats == 0 || !m_pImagePlanes || record.inData == nullptr || record.outData == nullptr)
        return;

    const int nSampleBytes = SampleBytes(record);
    const bool bDeep = nSampleBytes == 2;
    const std::ptrdiff_t nInStride = RowStride(record.inRowBytes, m_image, nSampleBytes);
    const std::ptrdiff_t nOutStride = RowStride(record.outRowBytes, m_image, nSampleBytes);
    // The mask copy is there when the host gave a selection with its mask data.
    const bool bMaskFits = m_image.m_nMaskWidth >= nWidth && m_image.m_nMaskHeight >= nHeight;
    const std::uint8_t* pMask = record.haveMask && bMaskFits ? m_image.m_maskBuffer.get() : nullptr;
    const float* pPlanes = m_pImagePlanes.get();

    for (int r = 0; r < nHeight; ++r) {
        for (int c = 0; c < nWidth; ++c) {
            const std::ptrdiff_t nIn = r * nInStride + static_cast<std::ptrdiff_t>(c) * nPlanes;
            const std::ptrdiff_t nOut = r * nOutStride + static_cast<std::ptrdiff_t>(c) * nPlanes;
            const int nMask =
                pMask != nullptr
                    ? pMask[static_cast<std::ptrdiff_t>(r) * m_image.m_nMaskRowBytes + c]
                    : 255;
            const float* pPixel = pPlanes + (static_cast<std::size_t>(r) * nWidth + c) * nPlanes;
            for (int p = 0; p < nPlanes; ++p) {
                if (nMask == 0) {
                    CopySample(record, nIn + p, nOut + p, bDeep);
                    continue;
                }
                float v = pPixel[p];
                if (nMask < 255) {
                    const float a = static_cast<float>(nMask) / 255.0f;
                    v = v * a + (1.0f - a) * ReadSample(record.inData, nIn + p, bDeep);
                }
                WriteSample(record.outData, nOut + p, v, bDeep);
            }
        }
    }
}
