// PreviewGeometry.h - the arithmetic of the preview: fitting zoom, the area
// the preview takes, zoom steps, keeping the centre while zooming, panning,
// and the zoom label. No window calls here, so every rule can be checked on
// plain numbers.
//
// Rectangles have inclusive right and bottom edges (XSize, YSize). Float to
// integer conversions truncate toward zero.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

namespace gw::ui {

/// The zoom steps offered by "+" and "-", smallest first.
inline constexpr float kZoomSteps[18] = {0.01f, 0.03f, 0.06f, 0.13f, 0.25f, 0.33f,
                                         0.5f,  0.66f, 0.75f, 1.0f,  2.0f,  3.0f,
                                         4.0f,  5.0f,  6.0f,  7.0f,  8.0f,  9.0f};
inline constexpr float kMaxZoom = 9.0f;

constexpr std::int32_t Width(const RECT& rect) noexcept
{
    return rect.right - rect.left + 1;
}

constexpr std::int32_t Height(const RECT& rect) noexcept
{
    return rect.bottom - rect.top + 1;
}

/// The zoom at which the whole processed area fits the maximum preview area,
/// never above 1 (the preview does not magnify to fit). An empty area fits at 1.
inline float FitZoom(const RECT& maxPreview, std::int32_t nWidth, std::int32_t nHeight) noexcept
{
    if (nWidth <= 0 || nHeight <= 0)
        return 1.0f;
    double fit = std::min(static_cast<double>(Width(maxPreview)) / nWidth,
                          static_cast<double>(Height(maxPreview)) / nHeight);
    if (fit > 1.0)
        fit = 1.0;
    return static_cast<float>(fit);
}

/// The area the preview takes at a zoom: the zoomed image, centred in the
/// maximum area and never larger than it.
inline RECT PreviewRect(const RECT& maxPreview, std::int32_t nWidth, std::int32_t nHeight,
                        float fZoom) noexcept
{
    const auto nZoomedWidth = static_cast<std::int32_t>(static_cast<float>(nWidth) * fZoom);
    const auto nZoomedHeight = static_cast<std::int32_t>(static_cast<float>(nHeight) * fZoom);
    const std::int32_t nMaxWidth = Width(maxPreview);
    const std::int32_t nMaxHeight = Height(maxPreview);
    RECT rect;
    rect.left = maxPreview.left + nMaxWidth / 2 - std::min(nMaxWidth / 2, nZoomedWidth / 2);
    rect.top = maxPreview.top + nMaxHeight / 2 - std::min(nMaxHeight / 2, nZoomedHeight / 2);
    rect.right = rect.left + std::min(nMaxWidth, nZoomedWidth) - 1;
    rect.bottom = rect.top + std::min(nMaxHeight, nZoomedHeight) - 1;
    return rect;
}

/// The next larger step: the first of the steps below the largest that
/// exceeds the zoom, else the largest.
inline float ZoomInStep(float fZoom) noexcept
{
    for (std::size_t i = 0; i + 1 < std::size(kZoomSteps); ++i) {
        if (kZoomSteps[i] > fZoom)
            return kZoomSteps[i];
    }
    return kMaxZoom;
}

/// The next smaller step, scanning down from the largest; the caller raises a
/// result below the fitting zoom to the fitting zoom.
inline float ZoomOutStep(float fZoom, float fFitZoom) noexcept
{
    std::size_t i = std::size(kZoomSteps) - 1;
    while (i > 0 && !(kZoomSteps[i] < fZoom || kZoomSteps[i] < fFitZoom))
        --i;
    return kZoomSteps[i];
}

/// The origin that keeps the image point at the centre of the old area at the
/// centre of the new one when the zoom changes (no upper bound applied here).
inline POINT KeepCentre(const RECT& oldRect, const RECT& newRect, POINT origin, float fPreviousZoom,
                        float fZoom) noexcept
{
    const auto nCentreX =
        static_cast<std::int32_t>(static_cast<float>(Width(oldRect) / 2) / fPreviousZoom)
        + origin.x;
    const auto nCentreY =
        static_cast<std::int32_t>(static_cast<float>(Height(oldRect) / 2) / fPreviousZoom)
        + origin.y;
    POINT moved;
    moved.x = std::max<std::int32_t>(
        0, nCentreX - static_cast<std::int32_t>(static_cast<float>(Width(newRect) / 2) / fZoom));
    moved.y = std::max<std::int32_t>(
        0, nCentreY - static_cast<std::int32_t>(static_cast<float>(Height(newRect) / 2) / fZoom));
    return moved;
}

/// One step of a pan drag: the origin moves against the mouse by the distance
/// in image pixels (each step truncated on its own), kept inside the image.
inline POINT PanStep(POINT origin, POINT last, POINT point, float fZoom, std::int32_t nWidth,
                     std::int32_t nHeight, std::int32_t nShownWidth,
                     std::int32_t nShownHeight) noexcept
{
    origin.x += static_cast<std::int32_t>(static_cast<float>(last.x - point.x) / fZoom);
    origin.y += static_cast<std::int32_t>(static_cast<float>(last.y - point.y) / fZoom);
    origin.x = std::max<std::int32_t>(origin.x, 0);
    origin.y = std::max<std::int32_t>(origin.y, 0);
    origin.x = std::min<std::int32_t>(
        origin.x, nWidth - static_cast<std::int32_t>(static_cast<float>(nShownWidth) / fZoom));
    origin.y = std::min<std::int32_t>(
        origin.y, nHeight - static_cast<std::int32_t>(static_cast<float>(nShownHeight) / fZoom));
    return origin;
}

/// The zoom label, a percentage three digits wide ("900%", " 25%").
inline void FormatZoomLabel(float fZoom, char (&text)[16]) noexcept
{
    std::snprintf(text, sizeof text, "%3d%%", static_cast<int>(static_cast<double>(fZoom) * 100.0));
}

} // namespace gw::ui
