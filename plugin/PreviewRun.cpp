// PreviewRun.cpp - the dialog's preview: ProcessPreviewBuffer samples the
// zoomed and panned view of m_pImagePlanes and runs the preview engine on it.
// An enlarged view is scaled with the output range of the whole-image view,
// which the reference engine finds, so that panning and zooming do not change
// the tonal scaling.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "FailureInjection.h"
#include "FilterProcessing.h"
#include "Guard.h"
#include "LogScope.h"
#include "PluginGlobals.h"
#include "engine/CImageEngine.h"
#include "engine/settings/EngineSettings.h"
#include "ui/FilterUI.h"

using gw::plugin::GuardTruth;

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
    if (m_pUI) {
        nWidth = std::max(XSize(m_pUI->m_rectMaxPreview), 0);
        nHeight = std::max(YSize(m_pUI->m_rectMaxPreview), 0);
    }
    m_pPreviewPlanes.reset();
    m_pPreviewSource.reset();
    m_nPreviewCapacity = 0;
    ReservePreviewPlanes(static_cast<std::size_t>(nWidth) * nHeight
                         * std::max(m_image.m_nPlanes, 0));
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

void CFilter_Processing::LogUpdateMask(std::uint32_t nUpdateMask) const noexcept
{
    if (!gLog.IsOn())
        return;
    const CFilter_UI& ui = *m_pUI;
    if (nUpdateMask & UPDATE_ZOOM)
        LogFormatted(kLogInfo, "Zoom factor changed to: %f", static_cast<double>(ui.m_fZoom));
    if (nUpdateMask & UPDATE_PAN)
        LogFormatted(kLogInfo, "Panning to (%dx, %dy) with zoom: %f",
                     static_cast<int>(ui.m_ptOrigin.x), static_cast<int>(ui.m_ptOrigin.y),
                     static_cast<double>(ui.m_fZoom));
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
        LogFormatted(kLogInfo, "Calling engine with final Scaling %s",
                     m_bFinalScaling ? "ON" : "OFF");
}

/// The derived values in the order of the whole-image run, with the given radius.
void CFilter_Processing::SetEngineParameters(CImageEngine& engine, float fRadius) const noexcept
{
    gw::EngineValues values;
    values.fAmount = m_fAmount;
    values.fRadius = fRadius;
    values.fThermal = m_fThermal;
    values.fEpsilon = m_fEpsilon;
    values.bFastMode = m_bFastMode;
    values.bFinalScaling = m_bFinalScaling;
    gw::ApplyEngineValues(engine, values);
}

bool CFilter_Processing::ProcessPreviewBuffer(std::uint32_t nUpdateMask)
{
    return GuardTruth(gw::plugin::kSiteProcessPreviewBuffer, [&] {
        CLogScope scope("ProcessPreviewBuffer");
        if (gLog.IsOn()) {
            gLog.Assert(m_pUI != nullptr, "ProcessPreviewBuffer: NULL m_pUI", kLogError);
            gLog.Assert(!m_pUI || m_pUI->m_hWnd != nullptr,
                        "ProcessPreviewBuffer: NULL m_pUI->m_hWnd", kLogError);
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
        if (!bRan) {
            scope.ExitWrittenByHandler(); // the preview engine's handler wrote it
            return false;
        }

        if (m_bAfterShown)
            CopyPreview(1.0f);
        else
            FillPreviewBuffer();
        return true;
    });
}

/// The source pixel of preview pixel (i, j): nearest neighbour at the preview
/// zoom from the origin, kept inside the processed area.
CFilter_Processing::PreviewSource CFilter_Processing::SourceOf(std::int32_t i,
                                                               std::int32_t j) const noexcept
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
    if (nUpdateMask == 0 || (nUpdateMask & UPDATE_ZOOM) || !m_pPreviewEngine
        || !(m_fPreviewZoom > 0.0f))
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
        origin.y = std::min<LONG>(origin.y,
                                  nHeight
                                      - static_cast<std::int32_t>(
                                          static_cast<float>(preview.m_nHeight) / m_fPreviewZoom));
        origin.x = std::min<LONG>(
            origin.x,
            nWidth
                - static_cast<std::int32_t>(static_cast<float>(preview.m_nWidth) / m_fPreviewZoom));
        origin.y = std::max<LONG>(origin.y, 0);
        origin.x = std::max<LONG>(origin.x, 0);

        m_pPreviewEngine.reset();
        m_pPreviewEngine =
            std::make_unique<CImageEngine>(bColor ? 1 : 0, preview.m_nHeight, preview.m_nWidth,
                                           gw::kReserveInRamWithFallback, &OnEngineProgress);
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
    for (std::int32_t i = 0; i < nViewHeight; ++i) {
        for (std::int32_t j = 0; j < nViewWidth; ++j) {
            const PreviewSource source = SourceOf(i, j);
            const float* pFrom =
                m_pImagePlanes.get()
                + (static_cast<std::size_t>(source.m_nRow) * nWidth + source.m_nColumn) * nPlanes;
            std::copy(pFrom, pFrom + nPlanes,
                      pView + (static_cast<std::size_t>(i) * nViewWidth + j) * nPlanes);
        }
    }

    // The first preview is the whole-image view: keep it for the reference.
    if (!m_pReferenceEngine) {
        m_pReferenceEngine = std::make_unique<CImageEngine>(bColor ? 1 : 0, nViewHeight, nViewWidth,
                                                            gw::kReserveInRamWithFallback, nullptr);
        m_nPreviewSamples = static_cast<std::int32_t>(nSamples);
        std::copy(pView, pView + nSamples, m_pPreviewSource.get());
    }

    if (nUpdateMask & UPDATE_FILL_LIGHT) {
        if (m_fPreviewZoom > ui.m_fFitZoom) {
            SetEngineParameters(*m_pReferenceEngine, m_fRadius / ui.m_fFitZoom);
            m_pReferenceEngine->SetOutputRange(-1.0f, 1.0f);
            std::vector<float> reference(m_pPreviewSource.get(),
                                         m_pPreviewSource.get() + m_nPreviewSamples);
            m_pReferenceEngine->Run(reference.data(), m_fInputMin, m_fInputMax);
            m_pReferenceEngine->GetOutputRange(m_fOutLow, m_fOutHigh);
            m_pPreviewEngine->SetOutputRange(m_fOutLow, m_fOutHigh);
        } else {
            m_pPreviewEngine->SetOutputRange(-1.0f, 1.0f);
            m_fOutLow = -1.0f;
        }
    }

    m_pPreviewEngine->Run(pView, m_fInputMin, m_fInputMax);
    if (!(m_fOutLow >= 0.0f))
        m_pPreviewEngine->GetOutputRange(m_fOutLow, m_fOutHigh);
}
