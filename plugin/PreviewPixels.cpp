// PreviewPixels.cpp - the dialog's 8-bit preview buffer: CopyPreview fills it
// with the processed view, FillPreviewBuffer with the unprocessed one.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "FailureInjection.h"
#include "FilterProcessing.h"
#include "HostSamples.h"
#include "LogScope.h"
#include "PluginGlobals.h"
#include "ui/FilterUI.h"

/// The preview buffer's pixels for the current preview size; throws when the
/// buffer cannot hold them.
std::uint8_t* CFilter_Processing::PreviewPixels() const
{
    const ImageBuffer& preview = m_pUI->m_previewBuffer;
    const std::int64_t nNeeded = static_cast<std::int64_t>(preview.m_nWidth) * preview.m_nHeight
                               * std::max(m_image.m_nPlanes, 0);
    if (!preview.m_imageBuffer || preview.m_nWidth < 0 || preview.m_nHeight < 0
        || nNeeded > preview.m_nImageBytes)
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
    const std::uint8_t* pMask = pRecord != nullptr && pRecord->haveMask
                                     && m_image.m_nMaskWidth >= m_image.m_nWidth
                                     && m_image.m_nMaskHeight >= m_image.m_nHeight
                                  ? m_image.m_maskBuffer.get()
                                  : nullptr;
    if (pMask != nullptr)
        FillPreviewBuffer();
    std::uint8_t* pOut = PreviewPixels();
    const std::int32_t nPlanes = m_image.m_nPlanes;
    const float* pView = m_pPreviewPlanes.get();
    // A value above 1 (or not a number) shows as white; the log records the
    // first of a preview.
    bool bInvalidLogged = false;
    for (std::int32_t i = 0; i < preview.m_nHeight; ++i) {
        for (std::int32_t j = 0; j < preview.m_nWidth; ++j) {
            const PreviewSource source = SourceOf(i, j);
            float f = fBlend;
            if (pMask != nullptr) {
                const int m =
                    pMask[static_cast<std::ptrdiff_t>(source.m_nRow) * m_image.m_nMaskRowBytes
                          + source.m_nColumn];
                if (m == 0)
                    continue;
                if (m < 255)
                    f = static_cast<float>(m) * fBlend / 255.0f;
            }
            const std::size_t nPixel = static_cast<std::size_t>(i) * preview.m_nWidth + j;
            const float* pSource =
                m_pImagePlanes.get()
                + (static_cast<std::size_t>(source.m_nRow) * m_image.m_nWidth + source.m_nColumn)
                      * nPlanes;
            for (std::int32_t p = 0; p < nPlanes; ++p) {
                float v = pView[nPixel * nPlanes + p];
                if (f < 1.0f)
                    v = f * v + (1.0f - f) * pSource[p];
                if (!(v <= 1.0f)) {
                    if (!bInvalidLogged && gLog.IsOn()) {
                        char text[96];
                        std::snprintf(text, sizeof text,
                                      "GW engine returned invalid pixel value: %f\n",
                                      static_cast<double>(v));
                        gLog.Assert(false, text, kLogError);
                    }
                    bInvalidLogged = true;
                    v = 1.0f;
                }
                if (v < 0.0f)
                    v = 0.0f;
                pOut[nPixel * nPlanes + p] = static_cast<std::uint8_t>(gw::plugin::kScale8 * v);
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
    if (!preview.m_imageBuffer || pRecord == nullptr || pRecord->inData == nullptr
        || !(m_fPreviewZoom > 0.0f) || m_image.m_nWidth <= 0 || m_image.m_nHeight <= 0)
        return;
    std::uint8_t* pOut = PreviewPixels();
    const int nSampleBytes = gw::plugin::SampleBytes(*pRecord);
    const bool bDeep = nSampleBytes == 2;
    const std::ptrdiff_t nStride =
        gw::plugin::RowStride(pRecord->inRowBytes, m_image, nSampleBytes);
    const std::int32_t nPlanes = m_image.m_nPlanes;
    for (std::int32_t i = 0; i < preview.m_nHeight; ++i) {
        for (std::int32_t j = 0; j < preview.m_nWidth; ++j) {
            const PreviewSource source = SourceOf(i, j);
            const std::ptrdiff_t nIn =
                source.m_nRow * nStride + static_cast<std::ptrdiff_t>(source.m_nColumn) * nPlanes;
            const std::size_t nPixel = static_cast<std::size_t>(i) * preview.m_nWidth + j;
            for (std::int32_t p = 0; p < nPlanes; ++p)
                pOut[nPixel * nPlanes + p] =
                    gw::plugin::PreviewSample(pRecord->inData, nIn + p, bDeep);
        }
    }
}
