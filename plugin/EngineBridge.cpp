// EngineBridge.cpp - the seam between the host's pixels and the illumination
// engine: the host's 8- or 16-bit samples become interleaved floats in
// m_pImagePlanes, the whole-image engine runs on them on its worker thread
// while the host polls, and the result goes back into the host's destination
// buffer, blended with the selection mask.
//
// Host samples: the sample of row r, column c, plane p of the processed area
// is element r x rowBytes / sampleBytes + c x P + p of inData (outData for the
// destination). Read as floats, 8-bit samples are divided by 255 and 16-bit
// samples by 32767; written back, floats are multiplied by 255 or 32640.
//
// The dialog's preview (ProcessPreviewBuffer) is served once the dialog exists.
#include <cstdint>
#include <exception>
#include <stdexcept>

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
constexpr float kRead16 = 32767.0f;
constexpr float kWrite16 = 32640.0f; // 255 x 128

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
/// and at least 0, truncated.
void WriteSample(void* pData, std::ptrdiff_t nIndex, float v, bool bDeep) noexcept
{
    if (!(v < 1.0f))
        v = 1.0f;
    if (v < 0.0f)
        v = 0.0f;
    if (bDeep)
        static_cast<std::uint16_t*>(pData)[nIndex] = static_cast<std::uint16_t>(kWrite16 * v);
    else
        static_cast<std::uint8_t*>(pData)[nIndex] = static_cast<std::uint8_t>(kScale8 * v);
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
        }
        gw::plugin::InjectFailure("InitializeImageEngine");
        ReportEngineProgress(0);
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

bool CFilter_Processing::ProcessPreviewBuffer(std::uint32_t /*nUpdateMask*/)
{
    return GuardTruth(gw::plugin::kSiteProcessPreviewBuffer, [&] {
        CLogScope scope("ProcessPreviewBuffer");
        gw::plugin::InjectFailure("ProcessPreviewBuffer");
        UpdateDerivedValues();
        return true;
    });
}
