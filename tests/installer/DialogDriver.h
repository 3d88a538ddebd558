// DialogDriver.h - drives Plugferry as a person would: starts the program,
// finds its windows, reads the list and labels, clicks buttons, holds the Alt
// key and answers message boxes, all through ordinary window messages and input.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace gwtest {

/// What a person sees in the installer's main dialog.
struct DialogView
{
    std::string caption;
    std::string locationLabel; ///< label above the location
    std::string location;      ///< the product location box
    std::string instructions;
    std::vector<std::string> list;
    bool bOkEnabled = false;
    bool bAddEnabled = false;
};

/// A message box: caption, text and the ids of its buttons.
struct MessageBoxView
{
    HWND hWnd = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons;
};

/// One run of a dialog program. The destructor ends a program that is still
/// running, so a failed test never leaves a window behind.
class CProgramRun
{
public:
    /// Starts pExe with the argument string args (may be empty); throws
    /// std::runtime_error if the program cannot be started.
    CProgramRun(const std::string& exe, const std::string& args);
    ~CProgramRun();
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    /// The installer's main dialog (the window holding the target list), once it
    /// is visible; null after nTimeoutMs.
    HWND WaitForDialog(DWORD nTimeoutMs = 30000) const;
    /// A visible dialog window of the program other than the main dialog (a
    /// message box, the about box, the folder browser); null after nTimeoutMs.
    HWND WaitForOtherWindow(DWORD nTimeoutMs = 10000) const;
    /// Waits for a message box and reads it; hWnd is null after nTimeoutMs.
    MessageBoxView WaitForMessageBox(DWORD nTimeoutMs = 10000) const;
    /// True if the program ended within nTimeoutMs; its exit code in *pExitCode.
    bool WaitForExit(DWORD nTimeoutMs, DWORD* pExitCode) const;
    /// True while no other window than the main dialog is shown and the program runs.
    bool IsRunning() const;

private:
    PROCESS_INFORMATION m_process{};
};

/// Reads the main dialog's controls.
DialogView ReadDialog(HWND hDlg);
/// A wide text in the system's code page.
std::string Narrow(const wchar_t* pText);
/// The text of a window (caption or control text).
std::string WindowText(HWND hWnd);
/// Clicks a button of a dialog (nId) as the mouse would; false if it is missing or disabled.
bool ClickButton(HWND hDlg, int nId);
/// Clicks a message box's button and waits until the box has gone.
bool Answer(const MessageBoxView& box, int nButtonId);
/// Presses (bDown true) or releases the Alt key through the system's input queue.
void HoldAlt(bool bDown);
/// Chooses an item of a window's system menu by command id.
void SystemCommand(HWND hWnd, WPARAM nCommand);
/// Saves what the screen shows of hWnd as a 24-bit BMP file; false on failure.
bool SaveScreenshot(HWND hWnd, const std::string& path);
/// A Windows path for a path of the machine running Wine (drive Z: is its root).
std::string WindowsPath(const std::string& unixPath);

} // namespace gwtest
