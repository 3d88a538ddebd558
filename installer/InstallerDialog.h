// InstallerDialog.h - the installer's main dialog: shows the target folders and
// copies the plug-in file into them, or removes it from them.
#pragma once

#include <string>

#include <windows.h>

namespace plugferry {

class CInstallerDialog
{
public:
    /// bRemoveMode: OK deletes the plug-in file instead of copying it.
    CInstallerDialog(HINSTANCE hInstance, bool bRemoveMode) noexcept;

    /// Runs the dialog modally; returns IDOK after a successful OK, IDCANCEL
    /// after Cancel, -1 if the dialog could not be made.
    INT_PTR Run() noexcept;

private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT nMessage, WPARAM wParam,
                                       LPARAM lParam) noexcept;

    void OnInitDialog(HWND hDlg);
    void OnCommand(WORD nId);
    bool OnSysCommand(WPARAM nCommand);
    bool OnPaint();
    void OnOK();
    void OnAdd();

    /// Copies or deletes the plug-in file in every listed folder; true if all
    /// of them succeeded (or the list is empty).
    bool TransferAll(bool bDelete);

    HINSTANCE m_hInstance;
    bool m_bRemoveMode;
    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    std::string m_productLocation;
};

/// True when the command line selects remove mode: exactly "remove", any case.
bool IsRemoveCommand(const char* pCommandLine) noexcept;

} // namespace plugferry
