// AboutBox.cpp - the about box, its placement, and opening the user manual.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "FilterProcessing.h"
#include "GladewickVersion.h"
#include "LogScope.h"
#include "MachineFault.h"
#include "PluginGlobals.h"
#include "ui/DialogIds.h"
#include "ui/FilterUI.h"

namespace {

constexpr const char kProductName[] = "Gladewick Pro";
constexpr int kVersionMajor = GW_VERSION_MAJOR;
constexpr int kVersionMinor = GW_VERSION_MINOR;
constexpr int kVersionRevision = GW_VERSION_REVISION;
constexpr const char kBuildLabel[] = "234 R";
constexpr const char kWebsite[] = "https://www.gladewick.example/";
constexpr const char kManualName[] = "\\GW-User-Manual.pdf";
// ShellExecute's results below this value are errors.
constexpr INT_PTR kShellErrorLimit = 32;

INT_PTR OpenWithShell(HWND hOwner, const char* pTarget) noexcept
{
    return reinterpret_cast<INT_PTR>(
        ShellExecuteA(hOwner, "open", pTarget, nullptr, nullptr, SW_SHOWNORMAL));
}

void OnAboutInit(HWND hDialog)
{
    PlaceDialogOverParent(hDialog);
    char text[64];
    std::snprintf(text, sizeof text, "About %s", kProductName);
    SetWindowTextA(hDialog, text);
    SetDlgItemTextA(hDialog, IDC_ABOUT_PRODUCT, kProductName);
    std::snprintf(text, sizeof text, "Version %d.%d.%d", kVersionMajor, kVersionMinor,
                  kVersionRevision);
    SetDlgItemTextA(hDialog, IDC_ABOUT_VERSION, text);
    std::snprintf(text, sizeof text, "Build %s", kBuildLabel);
    SetDlgItemTextA(hDialog, IDC_ABOUT_BUILD, text);
}

void OnAboutCommand(HWND hDialog, WORD nId, WORD nCode)
{
    if ((nId == IDOK || nId == IDCANCEL) && nCode == BN_CLICKED) {
        EndDialog(hDialog, nId);
    } else if (nId == IDC_ABOUT_WEBSITE) {
        const INT_PTR nResult = OpenWithShell(hDialog, kWebsite);
        if (nResult < kShellErrorLimit) {
            char text[64];
            std::snprintf(text, sizeof text, "An error occurred, code: %d.",
                          static_cast<int>(nResult));
            MessageBoxA(hDialog, text, "Error", MB_ICONSTOP);
        }
    }
}

} // namespace

OSErr CFilter_UI::DoAbout()
{
    CLogScope scope("DoAbout");
    DialogBoxParamA(gPluginInstance, MAKEINTRESOURCEA(IDD_ABOUT_BOX), nullptr, GWPluginAboutProc,
                    0);
    return noErr;
}

INT_PTR CALLBACK GWPluginAboutProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM /*lParam*/)
{
    gw::plugin::CFaultBarrier barrier;
    CLogScope scope("GWPluginAboutProc");
    if (nMessage == WM_INITDIALOG)
        OnAboutInit(hWnd);
    else if (nMessage == WM_COMMAND)
        OnAboutCommand(hWnd, LOWORD(wParam), HIWORD(wParam));
    return 0;
}

void PlaceDialogOverParent(HWND hDialog)
{
    HWND hParent = GetParent(hDialog);
    if (hParent == nullptr)
        hParent = GetDesktopWindow();
    RECT parent{};
    GetClientRect(hParent, &parent);
    MapWindowPoints(hParent, nullptr, reinterpret_cast<POINT*>(&parent), 2);

    int nShift = GetSystemMetrics(SM_CXSIZE);
    if ((GetWindowLongPtrA(hDialog, GWL_STYLE) & WS_SYSMENU) == 0)
        nShift -= nShift / 3;
    RECT dialog{};
    GetWindowRect(hDialog, &dialog);
    const int nWidth = dialog.right - dialog.left;
    const int nHeight = dialog.bottom - dialog.top;
    const int nScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int nScreenHeight = GetSystemMetrics(SM_CYSCREEN);

    int x = std::max<int>(parent.right - parent.left - nWidth, 0) / 2 + parent.left - nShift;
    if (x + nWidth > nScreenWidth)
        x = std::max(0, nScreenWidth - nWidth);
    int y = std::max<int>(parent.bottom - parent.top - nHeight, 0) / 3 + parent.top;
    if (y + nHeight > nScreenHeight)
        y = std::max(0, nScreenHeight - nHeight);
    SetWindowPos(hDialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void OpenUserManual(HWND hOwner)
{
    // The manual is installed beside the plug-in file the settings record.
    const char* pRecorded = gProductSettings.m_szPathname;
    std::string path(pRecorded, strnlen(pRecorded, sizeof gProductSettings.m_szPathname));
    const std::size_t nSlash = path.rfind('\\');
    if (nSlash == std::string::npos) {
        MessageBoxA(hOwner, "Unable to locate help file", "Error", MB_ICONSTOP);
        return;
    }
    path.replace(nSlash, std::string::npos, kManualName);

    const INT_PTR nResult = OpenWithShell(hOwner, path.c_str());
    if (nResult == SE_ERR_NOASSOC) {
        MessageBoxA(hOwner,
                    "Adobe Acrobat Reader must be installed in order to view the user manual.\n"
                    "A free PDF reader can be found through https://www.gladewick.example/manual.",
                    "Unable to open GW-User-Manual.pdf", MB_ICONSTOP);
    } else if (nResult < kShellErrorLimit) {
        char text[64];
        std::snprintf(text, sizeof text, "An error occurred, code: %d. ",
                      static_cast<int>(nResult));
        MessageBoxA(hOwner, text, "Error", MB_ICONSTOP);
    }
}
