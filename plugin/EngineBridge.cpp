// EngineBridge.cpp - the seam between the host's pixels and the illumination
// engine: the host's 8- or 16-bit samples become interleaved floats in
// m_pImagePlanes, the whole-image engine runs on them on its worker thread
// while the host polls, and the result goes back into the host's destination
// buffer, blended with the selection mask.
//
// Host samples: the sample of row r, column c, plane p of the processed area
// is element r x rowBytes / sampleBytes + c x P + p of inData (outData for the
// destination). Read as floats, 8-bit samples are divided by 255 and 16-bit
// samples by 32768 (the host's white); written back, floats in [0, 1] become
// the integer part of 255 x v (8-bit) or the nearest integer to 32768 x v
// (16-bit), so white stays white at both depths.
//
// The dialog's preview: ProcessPreviewBuffer samples the zoomed and panned view
// of m_pImagePlanes, runs the preview engine on it and fills the dialog's 8-bit
// preview buffer (CopyPreview for the processed view, FillPreviewBuffer for the
// unprocessed one). An enlarged view is scaled with the output range of the
// whole-image view, which the reference engine finds, so that panning and
// zooming do not change the tonal scaling.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

#include "FailureInjection.h"
#include "FilterProcessing.h"
#include "Guard.h"
#include "LogScope.h"
#include "PluginGlobals.h"
#include "engine/CImageEngine.h"
#include "ui/FilterUI.h"

using gw::plugin::GuardTruth;

namespace {

constexpr int kEngineReserve = -2;
constexpr int kEngineReserveFast = 0;
constexpr float kScale8 = 255.0f;
constexpr float kRead16 = 32768.0f;
constexpr double kWrite16 = 32768.0;

/// Bytes of one host sample: the record's inPlaneBytes when it is set (1 or 2),
/// else what the image mode implies.
int SampleBytes(const FilterRecord& record) noexcept
{
    if (record.inPlaneBytes == 1 || record.inPlaneBytes == 2)
        return record.inPlaneBytes;
    return (record.imageMode == plugInModeGray16 || record.imageMode == plugInModeRGB48) ? 2 : 1;
}

/// Checks that rows of nRowBytes hold the area's pixels; throws for a host
/// buffer that could not hold them.
std::ptrdiff_t RowStride(std::int32_t nRowBytes, const ImageBuffer& image, int nSampleBytes)
{
    const std::int64_t nNeeded = static_cast<std::int64_t>(image.m_nWidth) * image.m_nPlanes * nSampleBytes;
    if (nRowBytes < nNeeded)
        throw std::invalid_argument("host rows are shorter than the filter area");
    return nRowBytes / nSampleBytes;
}

float ReadSample(const void* pData, std::ptrdiff_t nIndex, bool bDeep) noexcept
{
    if (bDeep)
        return static_cast<float>(static_cast<const std::uint16_t*>(pData)[nIndex]) / kRead16;
    return static_cast<float>(static_cast<const std::uint8_t*>(pData)[nIndex]) / kScale8;
}

/// Stores v, at most 1 (a value that is not below 1, or not a number, is 1)
/// and at least 0: 8-bit truncated, 16-bit rounded to the nearest integer.
void WriteSample(void* pData, std::ptrdiff_t nIndex, float v, bool bDeep) noexcept
{
    if (!(v < 1.0f))
        v = 1.0f;
    if (v < 0.0f)
        v = 0.0f;
    if (bDeep)
        static_cast<std::uint16_t*>(pData)[nIndex] =
            static_cast<std::uint16_t>(std::floor(kWrite16 * static_cast<double>(v) + 0.5));
    else
        static_cast<std::uint8_t*>(pData)[nIndex] = static_cast<std::uint8_t>(kScale8 * v);
}

/// A host sample as an 8-bit preview value: 8-bit samples as they are, 16-bit
/// samples scaled to 15 bits and shifted right by 7 (at most 255).
std::uint8_t PreviewSample(const void* pData, std::ptrdiff_t nIndex, bool bDeep) noexcept
{
    if (!bDeep)
        return static_cast<const std::uint8_t*>(pData)[nIndex];
    const double s = static_cast<const std::uint16_t*>(pData)[nIndex];
    const int n = static_cast<int>(s / 32768.0 * 32767.0 + 0.5) >> 7;
    return static_cast<std::uint8_t>(n < 255 ? n : 255);
}

void CopySample(const FilterRecord& record, std::ptrdiff_t nIn, std::ptrdiff_t nOut, bool bDeep) noexcept
{
    if (bDeep)
        static_cast<std::uint16_t*>(record.outData)[nOut] = static_cast<const std::uint16_t*>(record.inData)[nIn];
    else
        static_cast<std::uint8_t*>(record.outData)[nOut] = static_cast<const std::uint8_t*>(record.inData)[nIn];
}

/// The engines' progress callback: forwards to the one filter-processing object.
int OnEngineProgress(int nPercent)
{
    return gFilterProcessing != nullptr && gFilterProcessing->ReportEngineProgress(nPercent) ? 1 : 0;
}

} // namespace

bool CFilter_Processing::InitializeImageEngine()
{
    return GuardTruth(gw::plugin::kSiteInitializeImageEngine, [&] {
        if (gLog.IsOn())
        {
            gLog.Enter("InitializeImageEngine", kLogTrace);
            gLog.Assert(m_pUI != nullptr, "InitializeImageEngine: m_pUI != NULL", kLogError);
            if (m_pUI)
            {
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
        if (gLog.IsOn())
            gLog.Exit("InitializeImageEngine", kLogTrace);
        return true;
    });
}

/// Converts the source pixels of the processed area to m_pImagePlanes and
/// records their range; false when a progress report asks to stop.
bool CFilter_Processing::ConvertSourceRows()
{
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
    for (int r = 0; r < nHeight; ++r)
    {
        const std::ptrdiff_t nRow = r * nStride;
        for (int i = 0; i < nWidth * nPlanes; ++i)
        {
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
    if (gLog.IsOn())
        gLog.Exit("ProcessImage", kLogTrace);
    m_pEngine->Log().FlushRing();
    // A run that failed must not be written back as if it had succeeded: its
    // failure goes to the caller's handler.
    if (std::exception_ptr pFailure = m_pEngine->TakeRunFailure())
        std::rethrow_exception(pFailure);
    return true;
}

/// Makes the whole-image engine if needed, sets its parameters and starts its
/// worker; false when a stop is requested or a run is still going.
bool CFilter_Processing::StartWholeImageRun()
{
    if (gLog.IsOn())
        gLog.Enter("ProcessImage", kLogTrace);
    gw::plugin::InjectFailure("ProcessImage");
    const int nRows = m_image.m_nHeight;
    const int nCols = m_image.m_nWidth;
    const int bColor = m_image.m_nPlanes == 3 ? 1 : 0;
    // An engine is made for one size; a later invocation on another image
    // needs a new one.
    if (m_pEngine && (m_pEngine->Rows() != nRows || m_pEngine->Cols() != nCols ||
                      (m_pEngine->Channels() == 3) != (bColor == 1)))
    {
        if (m_pEngine->GetProgress() < 100)
            return false;
        m_pEngine.reset();
    }
    if (!m_pEngine)
        m_pEngine = std::make_unique<CImageEngine>(
            bColor, nRows, nCols, m_bFastMode ? kEngineReserveFast : kEngineReserve, &OnEngineProgress);
    if (gStopRequested == 1)
        return false;
    if (m_pEngine->GetProgress() < 100)
        return false;

    m_pEngine->SetAmount(m_fAmount);
    m_pEngine->SetEpsilon(m_fEpsilon);
    m_pEngine->SetThermal(m_fThermal);
    m_pEngine->SetFastMode(m_bFastMode ? 1 : 0);
    m_pEngine->SetFinalScaling(m_bFinalScaling ? 1 : 0);
    m_pEngine->SetRadius(m_fRadius);
    // The engine kept for the next image of this size still holds the range
    // that the last run estimated (or a stopped run left); every image's run
    // finds its own.
    m_pEngine->SetOutputRange(-1.0f, 1.0f);
    m_pEngine->StartRun(m_pImagePlanes.get(), m_fInputMin, m_fInputMax);
    gImageCollected = false;
    return true;
}

void CFilter_Processing::WriteResult()
{
    gw::plugin::InjectFailure("WriteResult");
    const FilterRecord& record = *gFilterRecord;
    const int nWidth = m_image.m_nWidth;
    const int nHeight = m_image.m_nHeight;
    const int nPlanes = m_image.m_nPlanes;
    const std::size_t nFloats = static_cast<std::size_t>(nWidth > 0 ? nWidth : 0) *
                                (nHeight > 0 ? nHeight : 0) * (nPlanes > 0 ? nPlanes : 0);
    if (nFloats == 0 || !m_pImagePlanes || record.inData == nullptr || record.outData == nullptr)
        return;

    const int nSampleBytes = SampleBytes(record);
    const bool bDeep = nSampleBytes == 2;
    const std::ptrdiff_t nInStride = RowStride(record.inRowBytes, m_image, nSampleBytes);
    const std::ptrdiff_t nOutStride = RowStride(record.outRowBytes, m_image, nSampleBytes);
    // The mask copy is there when the host gave a selection with its mask data.
    const bool bMaskFits = m_image.m_nMaskWidth >= nWidth && m_image.m_nMaskHeight >= nHeight;
    const std::uint8_t* pMask =
        record.haveMask && bMaskFits ? m_image.m_maskBuffer.get() : nullptr;
    const float* pPlanes = m_pImagePlanes.get();

    for (int r = 0; r < nHeight; ++r)
    {
        for (int c = 0; c < nWidth; ++c)
        {
            const std::ptrdiff_t nIn = r * nInStride + static_cast<std::ptrdiff_t>(c) * nPlanes;
            const std::ptrdiff_t nOut = r * nOutStride + static_cast<std::ptrdiff_t>(c) * nPlanes;
            const int nMask =
                pMask != nullptr
                    ? pMask[static_cast<std::ptrdiff_t>(r) * m_image.m_nMaskRowBytes + c]
                    : 255;
            const float* pPixel = pPlanes + (static_cast<std::size_t>(r) * nWidth + c) * nPlanes;
            for (int p = 0; p < nPlanes; ++p)
            {
                if (nMask == 0)
                {
                    CopySample(record, nIn + p, nOut + p, bDeep);
                    continue;
                }
                float v = pPixel[p];
                if (nMask < 255)
                {
                    const float a = static_cast<float>(nMask) / 255.0f;
                    v = v * a + (1.0f - a) * ReadSample(record.inData, nIn + p, bDeep);
                }
                WriteSample(record.outData, nOut + p, v, bDeep);
            }
        }
    }
}


/// Preview planes for the largest preview. The preview engines, the kept range
/// and the reference view belong to the image converted before; they go with it.
void CFilter_Processing::AllocatePreviewPlanes()
{
    m_pPreviewEngine.reset();
    m_pReferenceEngine.reset();
    m_fOutLow = -1.0f;
    m_nPreviewSamples = 0;
    std::int32_t nWidth = 0;
    std::int32_t nHeight = 0;
    if (m_pUI)
    {
        nWidth = std::max(XSize(m_pUI->m_rectMaxPreview), 0);
        nHeight = std::max(YSize(m_pUI->m_rectMaxPreview), 0);
    }
    m_pPreviewPlanes.reset();
    m_pPreviewSource.reset();
    m_nPreviewCapacity = 0;
    ReservePreviewPlanes(static_cast<std::size_t>(nWidth) * nHeight * std::max(m_image.m_nPlanes, 0));
}

/// Makes room for nFloats samples in m_pPreviewPlanes (and m_pPreviewSource,
/// until the reference view is fixed).
void CFilter_Processing::ReservePreviewPlanes(std::size_t nFloats)
{
    if (m_pPreviewPlanes && m_nPreviewCapacity >= nFloats)
        return;
    m_pPreviewPlanes = std::make_unique<float[]>(nFloats);
    if (!m_pReferenceEngine)
        m_pPreviewSource = std::make_unique<float[]>(nFloats);
    m_nPreviewCapacity = nFloats;
}

namespace {

void LogFormatted(std::uint32_t nLevel, const char* pFormat, ...) noexcept
    __attribute__((format(printf, 2, 3)));

void LogFormatted(std::uint32_t nLevel, const char* pFormat, ...) noexcept
{
    if (!gLog.IsOn())
        return;
    char text[256];
    va_list args;
    va_start(args, pFormat);
    std::vsnprintf(text, sizeof text, pFormat, args);
    va_end(args);
    gLog.Info(text, nLevel);
}

} // namespace

void CFilter_Processing::LogUpdateMask(std::uint32_t nUpdateMask) const noexcept
{
    if (!gLog.IsOn())
        return;
    const CFilter_UI& ui = *m_pUI;
    if (nUpdateMask & UPDATE_ZOOM)
        LogFormatted(kLogInfo, "Zoom factor changed to: %f", static_cast<double>(ui.m_fZoom));
    if (nUpdateMask & UPDATE_PAN)
        LogFormatted(kLogInfo, "Panning to (%dx, %dy) with zoom: %f", static_cast<int>(ui.m_ptOrigin.x),
                     static_cast<int>(ui.m_ptOrigin.y), static_cast<double>(ui.m_fZoom));
    if (nUpdateMask & UPDATE_FILL_LIGHT)
        LogFormatted(kLogInfo, "Calling engine with radius: %f", static_cast<double>(m_fRadius));
    if (nUpdateMask & UPDATE_AMOUNT)
        LogFormatted(kLogInfo, "Calling engine with amount: %f", static_cast<double>(m_fAmount));
    if (nUpdateMask & UPDATE_EPSILON)
        LogFormatted(kLogInfo, "Calling engine with epsilon: %f", static_cast<double>(m_fEpsilon));
    if (nUpdateMask & UPDATE_THERMAL)
        LogFormatted(kLogInfo, "Calling engine with thermal: %f", static_cast<double>(m_fThermal));
    if (nUpdateMask & UPDATE_SPEED)
        LogFormatted(kLogInfo, "Calling engine with fast mode %s", m_bFastMode ? "TRUE" : "FALSE");
    if (nUpdateMask & UPDATE_AUTOSCALE)
        LogFormatted(kLogInfo, "Calling engine with final Scaling %s", m_bFinalScaling ? "ON" : "OFF");
}

/// The parameters in the order of the whole-image run, with the given radius.
void CFilter_Processing::SetEngineParameters(CImageEngine& engine, float fRadius) const
{
    engine.SetAmount(m_fAmount);
    engine.SetEpsilon(m_fEpsilon);
    engine.SetThermal(m_fThermal);
    engine.SetFastMode(m_bFastMode ? 1 : 0);
    engine.SetFinalScaling(m_bFinalScaling ? 1 : 0);
    engine.SetRadius(fRadius);
}

bool CFilter_Processing::ProcessPreviewBuffer(std::uint32_t nUpdateMask)
{
    return GuardTruth(gw::plugin::kSiteProcessPreviewBuffer, [&] {
        if (gLog.IsOn())
        {
            gLog.Enter("ProcessPreviewBuffer", kLogTrace);
            gLog.Assert(m_pUI != nullptr, "ProcessPreviewBuffer: NULL m_pUI", kLogError);
            gLog.Assert(!m_pUI || m_pUI->m_hWnd != nullptr, "ProcessPreviewBuffer: NULL m_pUI->m_hWnd",
                        kLogError);
        }
        gw::plugin::InjectFailure("ProcessPreviewBuffer");
        if (!m_pUI)
            return false; // no dialog, nothing to show the preview in
        LogFormatted(kLogInfo, "Update Mask: %8.8X", static_cast<unsigned>(nUpdateMask));
        UpdateDerivedValues();
        LogUpdateMask(nUpdateMask);

        const bool bRan = GuardTruth(gw::plugin::kSitePreviewEngine, [&] {
            RunPreviewEngine(nUpdateMask);
            return true;
        });
        if (!bRan)
            return false;

        if (m_bAfterShown)
            CopyPreview(1.0f);
        else
            FillPreviewBuffer();
        if (gLog.IsOn())
            gLog.Exit("ProcessPreviewBuffer", kLogTrace);
        return true;
    });
}

/// The source pixel of preview pixel (i, j): nearest neighbour at the preview
/// zoom from the origin, kept inside the processed area.
CFilter_Processing::PreviewSource CFilter_Processing::SourceOf(std::int32_t i, std::int32_t j) const noexcept
{
    const POINT& origin = m_pUI->m_ptOrigin;
    std::int32_t y = static_cast<std::int32_t>(static_cast<float>(i) / m_fPreviewZoom) + origin.y;
    std::int32_t x = static_cast<std::int32_t>(static_cast<float>(j) / m_fPreviewZoom) + origin.x;
    y = std::clamp(y, 0, m_image.m_nHeight - 1);
    x = std::clamp(x, 0, m_image.m_nWidth - 1);
    return {y, x};
}

void CFilter_Processing::RunPreviewEngine(std::uint32_t nUpdateMask)
{
    CFilter_UI& ui = *m_pUI;
    ImageBuffer& preview = ui.m_previewBuffer;
    const std::int32_t nWidth = m_image.m_nWidth;
    const std::int32_t nHeight = m_image.m_nHeight;
    const std::int32_t nPlanes = m_image.m_nPlanes;
    if (nWidth <= 0 || nHeight <= 0 || (nPlanes != 1 && nPlanes != 3) || !m_pImagePlanes)
        throw std::logic_error("no image to preview");
    const bool bColor = nPlanes == 3;

    // Geometry: on a new preview or a zoom change, or when there is no preview
    // engine yet to pan with.
    if (nUpdateMask == 0 || (nUpdateMask & UPDATE_ZOOM) || !m_pPreviewEngine || !(m_fPreviewZoom > 0.0f))
    {
        const std::int32_t nMaxWidth = XSize(ui.m_rectMaxPreview);
        const std::int32_t nMaxHeight = YSize(ui.m_rectMaxPreview);
        if (nMaxWidth <= 0 || nMaxHeight <= 0)
            throw std::logic_error("no preview area");
        double dFit = std::min(static_cast<double>(nMaxWidth) / nWidth,
                               static_cast<double>(nMaxHeight) / nHeight);
        const float fFit = static_cast<float>(dFit < 1.0 ? dFit : 1.0);
        m_fPreviewZoom = ui.m_fZoom < fFit ? fFit : ui.m_fZoom;
        // A very long and narrow image still gets one row or column.
        preview.m_nWidth = std::clamp(
            static_cast<std::int32_t>(static_cast<float>(nWidth) * m_fPreviewZoom), 1, nMaxWidth);
        preview.m_nHeight = std::clamp(
            static_cast<std::int32_t>(static_cast<float>(nHeight) * m_fPreviewZoom), 1, nMaxHeight);

        POINT& origin = ui.m_ptOrigin;
        origin.y = std::min<LONG>(
            origin.y, nHeight - static_cast<std::int32_t>(static_cast<float>(preview.m_nHeight) / m_fPreviewZoom));
        origin.x = std::min<LONG>(
            origin.x, nWidth - static_cast<std::int32_t>(static_cast<float>(preview.m_nWidth) / m_fPreviewZoom));
        origin.y = std::max<LONG>(origin.y, 0);
        origin.x = std::max<LONG>(origin.x, 0);

        m_pPreviewEngine.reset();
        m_pPreviewEngine = std::make_unique<CImageEngine>(bColor ? 1 : 0, preview.m_nHeight, preview.m_nWidth,
                                                          kEngineReserve, &OnEngineProgress);
        if (!(m_fOutLow < 0.0f))
            m_pPreviewEngine->SetOutputRange(m_fOutLow, m_fOutHigh);
    }
    const std::int32_t nViewWidth = preview.m_nWidth;
    const std::int32_t nViewHeight = preview.m_nHeight;
    SetEngineParameters(*m_pPreviewEngine, m_fRadius / m_fPreviewZoom);

    // Sample the view.
    const std::size_t nSamples = static_cast<std::size_t>(nViewWidth) * nViewHeight * nPlanes;
    ReservePreviewPlanes(nSamples);
    float* pView = m_pPreviewPlanes.get();
    for (std::int32_t i = 0; i < nViewHeight; ++i)
    {
        for (std::int32_t j = 0; j < nViewWidth; ++j)
        {
            const PreviewSource source = SourceOf(i, j);
            const float* pFrom =
                m_pImagePlanes.get() + (static_cast<std::size_t>(source.m_nRow) * nWidth + source.m_nColumn) * nPlanes;
            std::copy(pFrom, pFrom + nPlanes, pView + (static_cast<std::size_t>(i) * nViewWidth + j) * nPlanes);
        }
    }

    // The first preview is the whole-image view: keep it for the reference.
    if (!m_pReferenceEngine)
    {
        m_pReferenceEngine = std::make_unique<CImageEngine>(bColor ? 1 : 0, nViewHeight, nViewWidth, kEngineReserve,
                                                            nullptr);
        m_nPreviewSamples = static_cast<std::int32_t>(nSamples);
        std::copy(pView, pView + nSamples, m_pPreviewSource.get());
    }

    if (nUpdateMask & UPDATE_FILL_LIGHT)
    {
        if (m_fPreviewZoom > ui.m_fFitZoom)
        {
            SetEngineParameters(*m_pReferenceEngine, m_fRadius / ui.m_fFitZoom);
            m_pReferenceEngine->SetOutputRange(-1.0f, 1.0f);
            std::vector<float> reference(m_pPreviewSource.get(), m_pPreviewSource.get() + m_nPreviewSamples);
            m_pReferenceEngine->Run(reference.data(), m_fInputMin, m_fInputMax);
            m_pReferenceEngine->GetOutputRange(m_fOutLow, m_fOutHigh);
            m_pPreviewEngine->SetOutputRange(m_fOutLow, m_fOutHigh);
        }
        else
        {
            m_pPreviewEngine->SetOutputRange(-1.0f, 1.0f);
            m_fOutLow = -1.0f;
        }
    }

    m_pPreviewEngine->Run(pView, m_fInputMin, m_fInputMax);
    if (!(m_fOutLow >= 0.0f))
        m_pPreviewEngine->GetOutputRange(m_fOutLow, m_fOutHigh);
}

/// The preview buffer's pixels for the current preview size; throws when the
/// buffer cannot hold them.
std::uint8_t* CFilter_Processing::PreviewPixels() const
{
    const ImageBuffer& preview = m_pUI->m_previewBuffer;
    const std::int64_t nNeeded =
        static_cast<std::int64_t>(preview.m_nWidth) * preview.m_nHeight * std::max(m_image.m_nPlanes, 0);
    if (!preview.m_imageBuffer || preview.m_nWidth < 0 || preview.m_nHeight < 0 || nNeeded > preview.m_nImageBytes)
        throw std::length_error("the preview buffer is smaller than the preview");
    return preview.m_imageBuffer.get();
}

bool CFilter_Processing::CopyPreview(float fBlend)
{
    CLogScope scope("CopyPreview");
    gw::plugin::InjectFailure("CopyPreview");
    if (!m_pUI)
        return false;
    const ImageBuffer& preview = m_pUI->m_previewBuffer;
    LogFormatted(kLogInfo, "Copying preview of size (%dx, %dy)", static_cast<int>(preview.m_nWidth),
                 static_cast<int>(preview.m_nHeight));
    if (!m_pPreviewEngine || !m_pPreviewPlanes || !m_pImagePlanes || !(m_fPreviewZoom > 0.0f))
        return false; // nothing processed yet
    const FilterRecord* pRecord = gFilterRecord;
    const std::uint8_t* pMask = pRecord != nullptr && pRecord->haveMask &&
                                        m_image.m_nMaskWidth >= m_image.m_nWidth &&
                                        m_image.m_nMaskHeight >= m_image.m_nHeight
                                    ? m_image.m_maskBuffer.get()
                                    : nullptr;
    if (pMask != nullptr)
        FillPreviewBuffer();
    std::uint8_t* pOut = PreviewPixels();
    const std::int32_t nPlanes = m_image.m_nPlanes;
    const float* pView = m_pPreviewPlanes.get();
    for (std::int32_t i = 0; i < preview.m_nHeight; ++i)
    {
        for (std::int32_t j = 0; j < preview.m_nWidth; ++j)
        {
            const PreviewSource source = SourceOf(i, j);
            float f = fBlend;
            if (pMask != nullptr)
            {
                const int m = pMask[static_cast<std::ptrdiff_t>(source.m_nRow) * m_image.m_nMaskRowBytes +
                                    source.m_nColumn];
                if (m == 0)
                    continue;
                if (m < 255)
                    f = static_cast<float>(m) * fBlend / 255.0f;
            }
            const std::size_t nPixel = static_cast<std::size_t>(i) * preview.m_nWidth + j;
            const float* pSource = m_pImagePlanes.get() +
                                   (static_cast<std::size_t>(source.m_nRow) * m_image.m_nWidth + source.m_nColumn) *
                                       nPlanes;
            for (std::int32_t p = 0; p < nPlanes; ++p)
            {
                float v = pView[nPixel * nPlanes + p];
                if (f < 1.0f)
                    v = f * v + (1.0f - f) * pSource[p];
                if (!(v <= 1.0f))
                {
                    if (gLog.IsOn())
                    {
                        char text[96];
                        std::snprintf(text, sizeof text, "GW engine returned invalid pixel value: %f\n",
                                      static_cast<double>(v));
                        gLog.Assert(false, text, kLogError);
                        throw std::runtime_error("Gladewick Exception");
                    }
                    v = 1.0f;
                }
                if (v < 0.0f)
                    v = 0.0f;
                pOut[nPixel * nPlanes + p] = static_cast<std::uint8_t>(kScale8 * v);
            }
        }
    }
    return true;
}

void CFilter_Processing::FillPreviewBuffer()
{
    CLogScope scope("FillPreviewBuffer");
    gw::plugin::InjectFailure("FillPreviewBuffer");
    if (!m_pUI)
        return;
    const ImageBuffer& preview = m_pUI->m_previewBuffer;
    if (gLog.IsOn())
        gLog.Assert(preview.m_imageBuffer != nullptr,
                    "FillPreviewBuffer: m_pUI->m_previewBuffer.m_imageBuffer != NULL", kLogError);
    LogFormatted(kLogInfo, "Image Size: (%dx, %dy)\n", static_cast<int>(preview.m_nWidth),
                 static_cast<int>(preview.m_nHeight));
    const FilterRecord* pRecord = gFilterRecord;
    if (!preview.m_imageBuffer || pRecord == nullptr || pRecord->inData == nullptr || !(m_fPreviewZoom > 0.0f) ||
        m_image.m_nWidth <= 0 || m_image.m_nHeight <= 0)
        return;
    std::uint8_t* pOut = PreviewPixels();
    const int nSampleBytes = SampleBytes(*pRecord);
    const bool bDeep = nSampleBytes == 2;
    const std::ptrdiff_t nStride = RowStride(pRecord->inRowBytes, m_image, nSampleBytes);
    const std::int32_t nPlanes = m_image.m_nPlanes;
    for (std::int32_t i = 0; i < preview.m_nHeight; ++i)
    {
        for (std::int32_t j = 0; j < preview.m_nWidth; ++j)
        {
            const PreviewSource source = SourceOf(i, j);
            const std::ptrdiff_t nIn = source.m_nRow * nStride + static_cast<std::ptrdiff_t>(source.m_nColumn) * nPlanes;
            const std::size_t nPixel = static_cast<std::size_t>(i) * preview.m_nWidth + j;
            for (std::int32_t p = 0; p < nPlanes; ++p)
                pOut[nPixel * nPlanes + p] = PreviewSample(pRecord->inData, nIn + p, bDeep);
        }
    }
}
