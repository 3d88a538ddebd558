// FilterUI.cpp - the preview of the filter dialog: geometry, zoom steps, pan
// drag, invalidation and painting. The dialog procedure is FilterDialog.cpp,
// the about box AboutBox.cpp.
#include "ui/FilterUI.h"

#include "FilterProcessing.h"
#include "HostHandles.h"
#include "LogScope.h"
#include "PluginGlobals.h"
#include "ui/DialogIds.h"
#include "ui/PreviewGeometry.h"

namespace {

// Rectangles handed to the window system take in the frame and turn the
// inclusive edges into exclusive ones.
constexpr std::int32_t kFrameInflation = 2;

void AssertUI(bool bCondition, const char* pText) noexcept
{
    if (gLog.IsOn())
        gLog.Assert(bCondition, pText, kLogError);
}

std::int32_t ProcessedWidth(const CFilter_Processing& owner) noexcept
{
    return owner.m_image.m_nWidth;
}

std::int32_t ProcessedHeight(const CFilter_Processing& owner) noexcept
{
    return owner.m_image.m_nHeight;
}

} // namespace

CFilter_UI::CFilter_UI(CFilter_Processing& owner) noexcept : m_owner(owner) {}

CFilter_UI::~CFilter_UI() = default;

void CFilter_UI::InitPreview()
{
    CLogScope scope("InitPreview");
    AssertUI(m_hWnd != nullptr, "InitPreview: m_hWnd\n");
    AssertUI(gFilterRecord != nullptr, "InitPreview: gFilterRecord\n");
    AssertUI(gFilterRecord == nullptr || gFilterRecord->inData != nullptr,
             "InitPreview: gFilterRecord->inData\n");

    // The placeholder's window rectangle, both corners in client coordinates,
    // taken as inclusive: the preview may be one pixel larger than the control.
    RECT area{};
    if (HWND hPlaceholder = GetDlgItem(m_hWnd, IDC_PREVIEW_AREA)) {
        GetWindowRect(hPlaceholder, &area);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&area), 2);
    }
    m_rectMaxPreview = area;

    m_fFitZoom =
        gw::ui::FitZoom(m_rectMaxPreview, ProcessedWidth(m_owner), ProcessedHeight(m_owner));
    m_fZoom = m_fFitZoom;
    m_fPreviousZoom = m_fFitZoom;

    m_previewBuffer.Release();
    if (gFilterRecord != nullptr)
        m_previewBuffer.AllocatePixels(XSize(m_rectMaxPreview), YSize(m_rectMaxPreview),
                                       *gFilterRecord);

    LogFormatted(kLogInfo, "Maximum Preview Rectangle: (%d, %d) (%d, %d)\n",
                 static_cast<int>(area.left), static_cast<int>(area.top),
                 static_cast<int>(area.right), static_cast<int>(area.bottom));
    LogFormatted(kLogInfo, "Image Fitting Zoom: %f\n", static_cast<double>(m_fFitZoom));
}

void CFilter_UI::CalculatePreviewRect()
{
    CLogScope scope("CalculatePreviewRect");
    AssertUI(m_hWnd != nullptr, "CalculatePreviewRect: m_hWnd != NULL");
    AssertUI(gFilterRecord != nullptr, "CalculatePreviewRect: gFilterRecord != NULL");
    AssertUI(gFilterRecord == nullptr || gFilterRecord->inData != nullptr,
             "CalculatePreviewRect: gFilterRecord->inData != NULL");

    m_rectOldPreview = m_rectPreview;
    const std::int32_t nWidth = ProcessedWidth(m_owner);
    const std::int32_t nHeight = ProcessedHeight(m_owner);
    LogFormatted(kLogInfo, "Size of input image after applying the zoom: (%dx, %dy)\n",
                 static_cast<int>(static_cast<float>(nWidth) * m_fZoom),
                 static_cast<int>(static_cast<float>(nHeight) * m_fZoom));
    m_rectPreview = gw::ui::PreviewRect(m_rectMaxPreview, nWidth, nHeight, m_fZoom);
    LogFormatted(kLogInfo, "Preview Rectangle: (%dx, %dy) (%dx, %dy)\n",
                 static_cast<int>(m_rectPreview.left), static_cast<int>(m_rectPreview.top),
                 static_cast<int>(m_rectPreview.right), static_cast<int>(m_rectPreview.bottom));

    if (IsRectEmpty(&m_rectOldPreview))
        m_rectOldPreview = m_rectPreview;
    if (m_fZoom != m_fPreviousZoom) {
        m_ptOrigin = gw::ui::KeepCentre(m_rectOldPreview, m_rectPreview, m_ptOrigin,
                                        m_fPreviousZoom, m_fZoom);
        LogFormatted(kLogInfo, "Preview origin moved to: (%dx, %dy)\n",
                     static_cast<int>(m_ptOrigin.x), static_cast<int>(m_ptOrigin.y));
    }
}

void CFilter_UI::PaintPreview()
{
    CLogScope scope("PaintPreview");
    AssertUI(m_hWnd != nullptr, "PaintPreview: m_hWnd != NULL");
    AssertUI(m_previewBuffer.m_imageBuffer != nullptr,
             "PaintPreview: m_previewBuffer.m_imageBuffer != NULL");
    if (m_hWnd == nullptr)
        return;

    PAINTSTRUCT paint{};
    HDC hDC = BeginPaint(m_hWnd, &paint);
    if (hDC == nullptr)
        return;
    const RECT frame{m_rectPreview.left - kFrameInflation, m_rectPreview.top - kFrameInflation,
                     m_rectPreview.right + kFrameInflation, m_rectPreview.bottom + kFrameInflation};
    FrameRect(hDC, &frame, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    // Nothing to show before the first preview, or without a host that displays.
    if (m_previewBuffer.m_imageBuffer != nullptr && gFilterRecord != nullptr
        && gFilterRecord->displayPixels != nullptr && XSize(m_rectPreview) > 0
        && YSize(m_rectPreview) > 0)
    {
        const bool bColour = gFilterRecord->imageMode == plugInModeRGBColor
                          || gFilterRecord->imageMode == plugInModeRGB48;
        PSPixelMap map{};
        map.version = 1;
        map.bounds.top = 0;
        map.bounds.left = 0;
        map.bounds.bottom = YSize(m_rectPreview) - 1;
        map.bounds.right = XSize(m_rectPreview) - 1;
        map.imageMode = bColour ? plugInModeRGBColor : plugInModeGrayScale;
        map.colBytes = bColour ? 3 : 1;
        map.rowBytes = map.colBytes * XSize(m_rectPreview);
        map.planeBytes = 1;
        map.baseAddr = m_previewBuffer.m_imageBuffer.get();
        // The drawn size never exceeds the buffer: the bounds leave out the
        // last row and column, and the buffer holds the maximum area.
        gFilterRecord->displayPixels(&map, &map.bounds, m_rectPreview.top, m_rectPreview.left, hDC);
    }
    EndPaint(m_hWnd, &paint);
}

void CFilter_UI::InvalidatePreview(std::int32_t nLeft, std::int32_t nTop, std::int32_t nRight,
                                   std::int32_t nBottom, bool bErase)
{
    const RECT rect{nLeft - kFrameInflation, nTop - kFrameInflation, nRight + kFrameInflation,
                    nBottom + kFrameInflation};
    LogFormatted(kLogInfo, "Preview Rectangle: (%dx, %dy) (%dx, %dy)\n",
                 static_cast<int>(rect.left), static_cast<int>(rect.top),
                 static_cast<int>(rect.right), static_cast<int>(rect.bottom));
    if (m_hWnd != nullptr)
        InvalidateRect(m_hWnd, &rect, bErase ? TRUE : FALSE);
}

void CFilter_UI::UpdateDisplay(std::uint32_t nUpdateMask)
{
    CLogScope scope("UpdateDisplay");
    LogFormatted(kLogInfo, "UpdateMask: %8.8X", static_cast<unsigned>(nUpdateMask));
    const bool bZoom = (nUpdateMask & UPDATE_ZOOM) != 0;
    if (bZoom || nUpdateMask == 0) {
        CalculatePreviewRect();
        EnableWindow(GetDlgItem(m_hWnd, IDC_ZOOM_OUT), m_fZoom > m_fFitZoom);
        EnableWindow(GetDlgItem(m_hWnd, IDC_ZOOM_IN), m_fZoom < gw::ui::kMaxZoom);
    }
    // A failed preview was reported (and the dialog closed) by the bridge.
    if (!m_owner.ProcessPreviewBuffer(nUpdateMask))
        return;

    if (bZoom) {
        const bool bGrew = m_rectOldPreview.left >= m_rectPreview.left
                        && m_rectOldPreview.top >= m_rectPreview.top
                        && m_rectOldPreview.right <= m_rectPreview.right
                        && m_rectOldPreview.bottom <= m_rectPreview.bottom;
        InvalidatePreview(m_rectOldPreview, true);
        if (bGrew)
            InvalidatePreview(m_rectPreview, false);
    } else {
        InvalidatePreview(m_rectPreview, false);
    }
}

void CFilter_UI::ZoomIn()
{
    m_fPreviousZoom = m_fZoom;
    m_fZoom = gw::ui::ZoomInStep(m_fZoom);
    UpdateDisplay(UPDATE_ZOOM);
    ShowZoomLabel();
}

void CFilter_UI::ZoomOut()
{
    m_fPreviousZoom = m_fZoom;
    m_fZoom = gw::ui::ZoomOutStep(m_fZoom, m_fFitZoom);
    if (m_fZoom < m_fFitZoom) {
        m_fZoom = m_fFitZoom;
        m_ptOrigin = POINT{0, 0};
    }
    UpdateDisplay(UPDATE_ZOOM);
    ShowZoomLabel();
}

void CFilter_UI::ShowZoomLabel()
{
    char text[16];
    gw::ui::FormatZoomLabel(m_fZoom, text);
    SetDlgItemTextA(m_hWnd, IDC_ZOOM_LABEL, text);
}

void CFilter_UI::OnMouseDown(POINT point)
{
    if (!PtInRect(&m_rectPreview, point))
        return;
    // The drag shows the unprocessed pixels, which need no engine run.
    m_owner.FillPreviewBuffer();
    InvalidatePreview(m_rectPreview, false);
    m_bDragging = true;
    m_ptLastDrag = point;
    gw::plugin::SetHostCursor(m_fZoom == m_fFitZoom ? kPICursorHand : kPICursorGrab);
}

void CFilter_UI::OnMouseMove(POINT point)
{
    const bool bInside = PtInRect(&m_rectPreview, point) != FALSE;
    if (!bInside)
        gw::plugin::SetHostCursor(kPICursorArrow);
    else if (m_bDragging && m_fZoom != m_fFitZoom)
        gw::plugin::SetHostCursor(kPICursorGrab);
    else
        gw::plugin::SetHostCursor(kPICursorHand);
    if (!m_bDragging)
        return;

    if (!bInside) {
        // Leaving the preview ends the drag; the engine runs for the new view.
        m_bDragging = false;
        m_ptLastDrag = POINT{0, 0};
        UpdateDisplay(UPDATE_PAN);
        return;
    }
    if (m_fZoom == m_fFitZoom)
        return; // the whole image is shown: nothing to pan
    m_ptOrigin = gw::ui::PanStep(m_ptOrigin, m_ptLastDrag, point, m_fZoom, ProcessedWidth(m_owner),
                                 ProcessedHeight(m_owner), m_previewBuffer.m_nWidth,
                                 m_previewBuffer.m_nHeight);
    m_owner.FillPreviewBuffer();
    InvalidatePreview(m_rectPreview, false);
    m_ptLastDrag = point;
    PaintPreview();
}

void CFilter_UI::OnMouseUp(POINT point)
{
    if (!PtInRect(&m_rectPreview, point))
        return;
    gw::plugin::SetHostCursor(kPICursorHand);
    UpdateDisplay(UPDATE_PAN);
    m_bDragging = false;
    m_ptLastDrag = POINT{0, 0};
}
