// DialogDriver.cpp - window search, reading and clicking for the installer tests.
#include "DialogDriver.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace gwtest {
namespace {

constexpr int kTargetListId = 1000;
constexpr DWORD kPollMs = 50;

struct WindowSearch
{
    DWORD nProcessId;
    bool bMainDialog; // the window holding the target list, or any other one
    HWND hFound = nullptr;
};

bool IsDialogWindow(HWND hWnd)
{
    char szClass[64] = {};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    return std::strcmp(szClass, "#32770") == 0;
}

BOOL CALLBACK FindWindowOfProcess(HWND hWnd, LPARAM lParam)
{
    auto* pSearch = reinterpret_cast<WindowSearch*>(lParam);
    DWORD nProcessId = 0;
    GetWindowThreadProcessId(hWnd, &nProcessId);
    if (nProcessId != pSearch->nProcessId || !IsWindowVisible(hWnd) || !IsDialogWindow(hWnd)) {
        return TRUE;
    }
    const bool bMain = GetDlgItem(hWnd, kTargetListId) != nullptr;
    if (bMain == pSearch->bMainDialog) {
        pSearch->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindProcessWindow(DWORD nProcessId, bool bMainDialog)
{
    WindowSearch search{nProcessId, bMainDialog};
    EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

template <class Probe>
auto Poll(DWORD nTimeoutMs, Probe probe)
{
    const DWORD nStart = GetTickCount();
    for (;;) {
        auto result = probe();
        if (result || GetTickCount() - nStart >= nTimeoutMs) {
            return result;
        }
        Sleep(kPollMs);
    }
}

BOOL CALLBACK CollectBoxChild(HWND hWnd, LPARAM lParam)
{
    auto* pBox = reinterpret_cast<MessageBoxView*>(lParam);
    char szClass[64] = {};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (_stricmp(szClass, "Button") == 0) {
        pBox->buttons.push_back(GetDlgCtrlID(hWnd));
    } else if (_stricmp(szClass, "Static") == 0) {
        const std::string text = WindowText(hWnd);
        if (!text.empty()) {
            pBox->text = text;
        }
    }
    return TRUE;
}

} // namespace

std::string Narrow(const wchar_t* pText)
{
    const int nSize = WideCharToMultiByte(CP_ACP, 0, pText, -1, nullptr, 0, nullptr, nullptr);
    if (nSize <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(nSize), '\0');
    WideCharToMultiByte(CP_ACP, 0, pText, -1, text.data(), nSize, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(nSize) - 1);
    return text;
}

CProgramRun::CProgramRun(const std::string& exe, const std::string& args)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!args.empty()) {
        commandLine += " " + args;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &m_process))
    {
        throw std::runtime_error("cannot start " + exe);
    }
}

CProgramRun::~CProgramRun()
{
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.hProcess, 99);
        WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

HWND CProgramRun::WaitForDialog(DWORD nTimeoutMs) const
{
    return Poll(nTimeoutMs, [&] { return FindProcessWindow(m_process.dwProcessId, true); });
}

HWND CProgramRun::WaitForOtherWindow(DWORD nTimeoutMs) const
{
    return Poll(nTimeoutMs, [&] { return FindProcessWindow(m_process.dwProcessId, false); });
}

MessageBoxView CProgramRun::WaitForMessageBox(DWORD nTimeoutMs) const
{
    MessageBoxView box;
    box.hWnd = WaitForOtherWindow(nTimeoutMs);

    if (box.hWnd != nullptr) {
        // Give the box a moment to finish its start before reading it.
        Sleep(200);
        box.caption = WindowText(box.hWnd);
        EnumChildWindows(box.hWnd, CollectBoxChild, reinterpret_cast<LPARAM>(&box));
    }
    return box;
}

bool CProgramRun::WaitForExit(DWORD nTimeoutMs, DWORD* pExitCode) const
{
    if (WaitForSingleObject(m_process.hProcess, nTimeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    GetExitCodeProcess(m_process.hProcess, pExitCode);
    return true;
}

bool CProgramRun::IsRunning() const
{
    return WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT
        && FindProcessWindow(m_process.dwProcessId, false) == nullptr;
}

std::string WindowText(HWND hWnd)
{
    const LRESULT nLength = SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(nLength) + 1, L'\0');
    SendMessageW(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return Narrow(text.c_str());
}

DialogView ReadDialog(HWND hDlg)
{
    DialogView view;
    view.caption = WindowText(hDlg);
    view.locationLabel = WindowText(GetDlgItem(hDlg, 1004));
    view.location = WindowText(GetDlgItem(hDlg, 1003));
    view.instructions = WindowText(GetDlgItem(hDlg, 1005));
    view.bOkEnabled = IsWindowEnabled(GetDlgItem(hDlg, IDOK)) != FALSE;
    view.bAddEnabled = IsWindowEnabled(GetDlgItem(hDlg, 1002)) != FALSE;
    const HWND hList = GetDlgItem(hDlg, kTargetListId);
    const LRESULT nCount = SendMessageA(hList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < nCount; ++i) {
        // Wide messages: the ANSI form of LB_GETTEXT sent to another process
        // overruns the caller's buffer under Wine. The buffer has room to spare.
        const LRESULT nLength = SendMessageW(hList, LB_GETTEXTLEN, i, 0);
        std::wstring item(2 * static_cast<std::size_t>(nLength) + 16, L'\0');
        SendMessageW(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        view.list.push_back(Narrow(item.c_str()));
    }
    return view;
}

bool ClickButton(HWND hDlg, int nId)
{
    const HWND hButton = GetDlgItem(hDlg, nId);
    if (hButton == nullptr || !IsWindowEnabled(hButton)) {
        return false;
    }
    // Posted, not sent: the click may open a modal box that this driver must
    // then find and answer.
    return PostMessageA(hButton, BM_CLICK, 0, 0) != FALSE;
}

bool Answer(const MessageBoxView& box, int nButtonId)
{
    if (!ClickButton(box.hWnd, nButtonId)) {
        return false;
    }
    return Poll(10000, [&] { return !IsWindow(box.hWnd) || !IsWindowVisible(box.hWnd); });
}

void HoldAlt(bool bDown)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_MENU;
    input.ki.dwFlags = bDown ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
    Sleep(200);
}

void SystemCommand(HWND hWnd, WPARAM nCommand)
{
    PostMessageA(hWnd, WM_SYSCOMMAND, nCommand, 0);
}

bool SaveScreenshot(HWND hWnd, const std::string& path)
{
    RECT rect{};
    if (!GetWindowRect(hWnd, &rect)) {
        return false;
    }
    // Whatever the program has not painted yet is painted now.
    RedrawWindow(hWnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
    const int nWidth = rect.right - rect.left;
    const int nHeight = rect.bottom - rect.top;
    const int nStride = (nWidth * 3 + 3) & ~3;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = nHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    const HDC hScreen = GetDC(nullptr);
    const HDC hMemory = CreateCompatibleDC(hScreen);
    void* pBits = nullptr;
    const HBITMAP hBitmap = CreateDIBSection(hScreen, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    bool bSaved = false;
    if (hMemory != nullptr && hBitmap != nullptr) {
        const HGDIOBJ hOld = SelectObject(hMemory, hBitmap);
        BitBlt(hMemory, 0, 0, nWidth, nHeight, hScreen, rect.left, rect.top, SRCCOPY);
        SelectObject(hMemory, hOld);
        GdiFlush();

        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + static_cast<DWORD>(nStride * nHeight);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&file), sizeof(file));
        out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
        out.write(static_cast<const char*>(pBits), static_cast<std::streamsize>(nStride) * nHeight);
        bSaved = out.good();
    }
    if (hBitmap != nullptr) {
        DeleteObject(hBitmap);
    }
    if (hMemory != nullptr) {
        DeleteDC(hMemory);
    }
    ReleaseDC(nullptr, hScreen);
    return bSaved;
}

std::string WindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

} // namespace gwtest
