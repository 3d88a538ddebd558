// WindowWatcher.cpp - finds, reports and dismisses the plug-in's dialogs.
#include "WindowWatcher.h"

#include "WinText.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace gw::host {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr UINT kTextTimeoutMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;

// Text of a window of any thread of this process, without waiting forever on a busy owner.
std::string WindowText(HWND hWnd)
{
    wchar_t buffer[4096];
    DWORD_PTR nResult = 0;
    if (!SendMessageTimeoutW(hWnd, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &nResult))
    {
        return {};
    }
    return Utf8(std::wstring(buffer, std::min<std::size_t>(nResult, std::size(buffer) - 1)));
}

std::wstring ClassName(HWND hWnd)
{
    wchar_t name[64];
    const int n = GetClassNameW(hWnd, name, static_cast<int>(std::size(name)));
    return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

BOOL CALLBACK CollectTopLevel(HWND hWnd, LPARAM lParam)
{
    DWORD nProcess = 0;
    GetWindowThreadProcessId(hWnd, &nProcess);
    if (nProcess == GetCurrentProcessId() && IsWindowVisible(hWnd) && ClassName(hWnd) == L"#32770")
    {
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    }
    return TRUE;
}

BOOL CALLBACK CollectChildren(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

struct DialogInfo
{
    bool bMessageBox = false;
    std::string text;
};

// A message box has only buttons and static controls; its text is the static
// control with the message box text identifier, else the first static with text.
DialogInfo Inspect(HWND hWnd)
{
    std::vector<HWND> children;
    EnumChildWindows(hWnd, CollectChildren, reinterpret_cast<LPARAM>(&children));
    DialogInfo info;
    info.bMessageBox = !children.empty();
    HWND hText = nullptr;
    for (HWND hChild : children) {
        const std::wstring name = ClassName(hChild);
        if (_wcsicmp(name.c_str(), L"Button") == 0) {
            continue;
        }
        if (_wcsicmp(name.c_str(), L"Static") != 0) {
            info.bMessageBox = false;
            continue;
        }
        const LONG_PTR nStyle = GetWindowLongPtrW(hChild, GWL_STYLE);
        if ((nStyle & SS_TYPEMASK) == SS_ICON || (nStyle & SS_TYPEMASK) == SS_BITMAP) {
            continue;
        }
        if (GetDlgCtrlID(hChild) == kMessageBoxTextId || (!hText && !WindowText(hChild).empty())) {
            hText = hChild;
        }
    }
    if (hText) {
        info.text = WindowText(hText);
    }
    return info;
}

// Presses a button of the dialog as a click would.
void Press(HWND hWnd, int nId)
{
    PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hWnd, nId)));
}

// The button a press of Enter would choose: the visible default push button,
// else the dialog's default identifier, else the first visible button. (Message
// box templates may hold hidden buttons for the unused choices.)
int DefaultButton(HWND hWnd)
{
    std::vector<HWND> children;
    EnumChildWindows(hWnd, CollectChildren, reinterpret_cast<LPARAM>(&children));
    int nFirst = 0;
    for (HWND hChild : children) {
        if (_wcsicmp(ClassName(hChild).c_str(), L"Button") != 0 || !IsWindowVisible(hChild)) {
            continue;
        }
        const LONG_PTR nType = GetWindowLongPtrW(hChild, GWL_STYLE) & BS_TYPEMASK;
        if (nType == BS_DEFPUSHBUTTON) {
            return GetDlgCtrlID(hChild);
        }
        if (!nFirst && (nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON)) {
            nFirst = GetDlgCtrlID(hChild);
        }
    }
    DWORD_PTR nResult = 0;
    if (SendMessageTimeoutW(hWnd, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &nResult)
        && HIWORD(nResult) == DC_HASDEFID)
    {
        return LOWORD(nResult);
    }
    return nFirst ? nFirst : IDCANCEL;
}

} // namespace

CWindowWatcher::CWindowWatcher(CTrace& trace, DialogAction action, int nDialogDelayMs,
                               int nTimeoutSeconds, std::vector<std::string> keepCaptions)
    : m_trace(trace)
    , m_action(action)
    , m_dialogDelay(nDialogDelayMs)
    , m_timeout(nTimeoutSeconds)
    , m_keepCaptions(std::move(keepCaptions))
{
    std::future<void> ready = m_ready.get_future();
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    // No module may be loaded before the thread has made its first window calls (see WarmUp).
    ready.wait_for(std::chrono::seconds(30));
}

CWindowWatcher::~CWindowWatcher()
{
    m_thread.request_stop();
}

// The first window calls of a thread set up its window state and may load
// system libraries, which takes the loader lock. Done while a plug-in's attach
// code holds that lock, this was seen to deadlock under Wine; so the thread
// makes each call it will use once, on a window of its own, before any module
// is loaded.
void CWindowWatcher::WarmUp()
{
    HWND hWnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (hWnd) {
        WindowText(hWnd);
        ClassName(hWnd);
        IsWindowVisible(hWnd);
        std::vector<HWND> dialogs;
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&dialogs));
        EnumChildWindows(hWnd, CollectChildren, reinterpret_cast<LPARAM>(&dialogs));
        DestroyWindow(hWnd);
    }
    m_ready.set_value();
}

void CWindowWatcher::Run(std::stop_token stop)
{
    WarmUp();
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::map<HWND, Clock::time_point> seen;            // dialogs already reported, by first sight
    std::vector<std::pair<HWND, std::string>> claimed; // windows left to the scenario
    while (!stop.stop_requested()) {
        if (m_timeout.count() > 0 && Clock::now() - start > m_timeout) {
            const std::string text = "the run exceeded its time limit of "
                                   + std::to_string(m_timeout.count())
                                   + " s; gwhost ends the process";
            std::fprintf(stderr, "gwhost: %s\n", text.c_str());
            m_trace.Write("hosterror " + Quote(text));
            TerminateProcess(GetCurrentProcess(), 3);
        }

        std::vector<HWND> dialogs;
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&dialogs));
        for (auto it = seen.begin(); it != seen.end();) {
            it = IsWindow(it->first) ? std::next(it) : seen.erase(it);
        }
        for (HWND hWnd : dialogs) {
            const auto found = seen.find(hWnd);
            if (found == seen.end()) {
                const std::string caption = WindowText(hWnd);
                // A window of a kept caption is the scenario's, unless the
                // scenario's window of that caption is still open: then it is a
                // message box of that dialog (same caption), answered here.
                const bool bClaimedOpen =
                    std::any_of(claimed.begin(), claimed.end(), [&](const auto& entry) {
                        return entry.second == caption && IsWindow(entry.first);
                    });
                if (!bClaimedOpen
                    && std::find(m_keepCaptions.begin(), m_keepCaptions.end(), caption)
                           != m_keepCaptions.end())
                {
                    m_trace.Write("dialog " + Quote(caption) + " action scenario");
                    seen.emplace(hWnd, Clock::time_point::max());
                    claimed.emplace_back(hWnd, caption);
                    continue;
                }
                const DialogInfo info = Inspect(hWnd);
                if (info.bMessageBox) {
                    ++m_nMessageBoxes;
                    std::fprintf(stderr, "gwhost: message box \"%s\": %s\n", caption.c_str(),
                                 info.text.c_str());
                    m_trace.Write("msgbox " + Quote(caption) + " " + Quote(info.text));
                    Press(hWnd, DefaultButton(hWnd));
                }
                seen.emplace(hWnd, info.bMessageBox ? Clock::time_point::max() : Clock::now());
                if (!info.bMessageBox) {
                    static constexpr const char* kActions[] = {"ok", "cancel", "leave"};
                    m_trace.Write("dialog " + Quote(caption) + " action "
                                  + kActions[static_cast<int>(m_action)]);
                }
            } else if (found->second != Clock::time_point::max()
                       && Clock::now() - found->second >= m_dialogDelay)
            {
                if (m_action != DialogAction::Leave) {
                    Press(hWnd, m_action == DialogAction::Ok ? IDOK : IDCANCEL);
                }
                found->second = Clock::time_point::max();
            }
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

} // namespace gw::host
