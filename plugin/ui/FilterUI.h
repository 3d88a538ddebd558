// FilterUI.h - CFilter_UI, the filter dialog and preview object, owned by
// CFilter_Processing as m_pUI and made anew by the about and prepare selectors.
//
// The dialog (template 101, GWPluginUIProc) edits the owner's parameters in
// place and asks for a new preview through UpdateDisplay after every change;
// the preview is painted straight onto the dialog inside the area of a hidden
// placeholder, through the host's displayPixels. The about box is template 103
// with GWPluginAboutProc. Everything runs on the host's thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ImageBuffer.h"
#include "hostapi/HostApi.h"

class CFilter_Processing;

/// What changed since the last preview; 0 means everything (a new preview).
enum : std::uint32_t
{
    UPDATE_ZOOM = 0x01,
    UPDATE_PAN = 0x02,
    UPDATE_FILL_LIGHT = 0x04,
    UPDATE_AMOUNT = 0x08,
    UPDATE_EPSILON = 0x10,
    UPDATE_THERMAL = 0x20,
    UPDATE_SPEED = 0x40,
    UPDATE_AUTOSCALE = 0x80
};

static_assert(sizeof(POINT{}.x) == 4 && sizeof(RECT{}.left) == 4, "geometry is 32-bit signed");

/// Width of a rectangle whose right edge is inclusive.
constexpr std::int32_t XSize(const RECT& rect) noexcept
{
    return rect.right - rect.left + 1;
}

/// Height of a rectangle whose bottom edge is inclusive.
constexpr std::int32_t YSize(const RECT& rect) noexcept
{
    return rect.bottom - rect.top + 1;
}

class CFilter_UI
{
public:
    explicit CFilter_UI(CFilter_Processing& owner) noexcept;
    virtual ~CFilter_UI();
    CFilter_UI(const CFilter_UI&) = delete;
    CFilter_UI& operator=(const CFilter_UI&) = delete;

    /// Runs the filter dialog; bShow false closes it at once as if OK were
    /// pressed. Returns 0 for OK, -128 (user cancelled) for any other ending.
    virtual OSErr DoUI(bool bShow);
    /// Shows the about box; always 0.
    virtual OSErr DoAbout();
    /// Takes the maximum preview area from the placeholder control, sets the
    /// fitting zoom (zoom = fit) and prepares a zeroed preview buffer.
    virtual void InitPreview();
    /// Recomputes m_rectPreview from the zoom, keeping the centre on a zoom change.
    virtual void CalculatePreviewRect();
    /// Paints the frame and the buffer through the host's displayPixels.
    virtual void PaintPreview();

    /// Marks a preview rectangle (inclusive edges) for repainting, frame included.
    void InvalidatePreview(std::int32_t nLeft, std::int32_t nTop, std::int32_t nRight,
                           std::int32_t nBottom, bool bErase);
    void InvalidatePreview(const RECT& rect, bool bErase)
    {
        InvalidatePreview(rect.left, rect.top, rect.right, rect.bottom, bErase);
    }
    /// The one way a change reaches the screen: geometry if the zoom changed,
    /// a new preview for the changes in nUpdateMask (0 = everything), invalidation.
    void UpdateDisplay(std::uint32_t nUpdateMask);
    void ZoomIn();
    void ZoomOut();
    /// Writes the zoom label ("%3d%%").
    void ShowZoomLabel();
    /// Loads the controls from the owner's current parameters.
    void SetDefaults();
    // The pan drag; points are in dialog client coordinates.
    void OnMouseDown(POINT point);
    void OnMouseMove(POINT point);
    void OnMouseUp(POINT point);
    /// The animated switch between the unprocessed and the processed preview,
    /// about one second long whatever a frame costs.
    void Fade(bool bIn);

    // Preview geometry. Rectangles are in dialog client coordinates with
    // inclusive right and bottom edges (see XSize, YSize).
    HWND m_hWnd = nullptr;        ///< the dialog's window while it is open
    float m_fZoom = 0.0f;         ///< display pixels per image pixel
    float m_fPreviousZoom = 0.0f; ///< the zoom before the last zoom step
    float m_fFitZoom = 0.0f;      ///< the zoom at which the whole area fits; the smallest allowed
    POINT m_ptOrigin{};           ///< image column (x) and row (y) at the preview's top left
    RECT m_rectMaxPreview{};      ///< the largest area the preview may take
    RECT m_rectPreview{};         ///< the area the preview takes now
    RECT m_rectOldPreview{};      ///< the area before the last recomputation
    /// The pixels shown: 8-bit, m_nPlanes bytes a pixel, rows of m_nWidth
    /// pixels one after another; m_nWidth and m_nHeight are the size shown.
    ImageBuffer m_previewBuffer;
    std::uint8_t m_bAnimate = 1; ///< the Animate check box
    /// The failure value (-108 or -50) of the first failure reported while the
    /// dialog was open; noErr when there was none.
    OSErr m_nFailure = noErr;
    /// The dialog runs hidden, as a played-back action's does: it is made
    /// and initialised like the shown one, never made visible, and not modal.
    bool m_bSuppressed = false;
    // Whether "A&fter" is selected is the owner's m_bAfterShown.

    /// The filter-processing object whose parameters the dialog edits.
    CFilter_Processing& Owner() const noexcept { return m_owner; }

private:
    void ShowPreviewFrame(float fBlend);
    OSErr RunSuppressed(HWND hOwner);

    CFilter_Processing& m_owner;
    // The pan drag: it is not tied to mouse capture, so it ends when the
    // button goes up inside the preview or the pointer leaves it.
    bool m_bDragging = false;
    POINT m_ptLastDrag{};
};

/// Moves a dialog over its owner (or the desktop): centred horizontally,
/// shifted left by a caption button's width, a third of the way down, and
/// kept on the screen.
void PlaceDialogOverParent(HWND hDialog);
/// Opens GW-User-Manual.pdf beside the installed plug-in; failures are shown
/// in message boxes on hOwner.
void OpenUserManual(HWND hOwner);

extern "C" {
/// Procedure of the filter dialog (exported; "_GWPluginUIProc@16" on x86).
/// The dialog's object is the lParam of WM_INITDIALOG.
INT_PTR CALLBACK GWPluginUIProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam) noexcept;
/// Procedure of the about box (exported; "_GWPluginAboutProc@16" on x86).
INT_PTR CALLBACK GWPluginAboutProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
}
