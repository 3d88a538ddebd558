// FilterUI.h - CFilter_UI, the filter dialog and preview object, owned by
// CFilter_Processing as m_pUI and made anew by the about and prepare selectors.
//
// For now the dialog accepts at once, as if OK were pressed, and the about box
// shows nothing; the window handle stays null.
#pragma once

#include <windows.h>

#include "hostapi/HostApi.h"

class CFilter_Processing;

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

    HWND m_hWnd = nullptr; ///< the dialog's window while it is open

private:
    CFilter_Processing& m_owner;
};

extern "C" {
/// Procedure of the filter dialog (exported; "_GWPluginUIProc@16" on x86).
INT_PTR CALLBACK GWPluginUIProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
/// Procedure of the about box (exported; "_GWPluginAboutProc@16" on x86).
INT_PTR CALLBACK GWPluginAboutProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
}
