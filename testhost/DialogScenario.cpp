// DialogScenario.cpp - see DialogScenario.h.
#include "DialogScenario.h"

#include "WinText.h"

#include <windows.h>

#include <commctrl.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <stdexcept>

namespace gw::host {

namespace {

constexpr auto kWaitLimit = std::chrono::seconds(120);
constexpr UINT kSendTimeoutMs = 60000;
constexpr const char kDefaultCaption[] = "Gladewick Pro";

const std::map<std::string, int>& ControlNames()
{
    static const std::map<std::string, int> names = {
        {"ok", IDOK},
        {"cancel", IDCANCEL},
        {"amount", 1001},
        {"amount-slider", 1002},
        {"fill-light-slider", 1006},
        {"defaults", 1007},
        {"fill-light", 1008},
        {"preview-area", 1014},
        {"zoom-out", 1018},
        {"zoom-in", 1019},
        {"zoom-label", 1020},
        {"before", 1039},
        {"after", 1040},
        {"animate", 1041},
        {"autoscale", 1042},
        {"speed", 1047},
        {"version", 1048},
        {"build", 1049},
        {"help", 1051},
        {"website", 1057},
        {"quality", 1059},
        {"product", 1064},
    };
    return names;
}

int ParseNumber(const std::string& text)
{
    int value = 0;
    const auto [pEnd, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || pEnd != text.data() + text.size())
        throw std::runtime_error("\"" + text + "\" is not a whole number");
    return value;
}

int ControlId(const std::string& name)
{
    const auto found = ControlNames().find(name);
    return found != ControlNames().end() ? found->second : ParseNumber(name);
}

// The number of words each step takes (minimum, maximum), checked when the script is read.
struct StepShape
{
    std::size_t nMin;
    std::size_t nMax;
};

const std::map<std::string, StepShape>& Steps()
{
    static const std::map<std::string, StepShape> steps = {
        {"wait-dialog", {1, 2}}, {"slider", {3, 4}},  {"type", {3, 3}},    {"clear", {2, 2}},
        {"click", {2, 2}},       {"drag", {5, 6}},    {"mouse", {4, 4}},   {"capture", {2, 2}},
        {"text", {2, 2}},        {"enabled", {2, 2}}, {"checked", {2, 2}}, {"position", {2, 2}},
        {"rect", {2, 2}},        {"window", {1, 1}},  {"mark", {2, 2}},    {"sleep", {2, 2}},
        {"sync", {1, 1}},
    };
    return steps;
}

struct FindDialog
{
    std::wstring caption;
    HWND hFound = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND hWnd, LPARAM lParam)
{
    auto& find = *reinterpret_cast<FindDialog*>(lParam);
    DWORD nProcess = 0;
    GetWindowThreadProcessId(hWnd, &nProcess);
    wchar_t name[16];
    if (nProcess != GetCurrentProcessId() || !IsWindowVisible(hWnd)
        || GetClassNameW(hWnd, name, static_cast<int>(std::size(name))) == 0
        || std::wstring(name) != L"#32770")
    {
        return TRUE;
    }
    wchar_t text[256];
    DWORD_PTR nLength = 0;
    if (SendMessageTimeoutW(hWnd, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 2000, &nLength)
        && std::wstring(text, nLength) == find.caption)
    {
        find.hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

class StepError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The dialog being driven and the steps that act on it.
class Driver
{
public:
    Driver(CTrace& trace, std::stop_token stop) : m_trace(trace), m_stop(stop) {}

    void Step(const std::vector<std::string>& words);
    HWND Dialog() const noexcept { return m_hDialog; }

private:
    LRESULT Send(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    HWND Control(const std::string& name);
    void Report(const std::string& record) { m_trace.Write(record); }
    void WaitDialog(const std::string& caption);
    void Slider(const std::string& name, int nValue, bool bTrackOnly);
    void Type(const std::string& name, const std::string& text, bool bClear);
    void Click(const std::string& name);
    void Mouse(UINT nMessage, int x, int y, bool bButtonHeld);
    void Capture(const std::string& path);
    void Sync();

    CTrace& m_trace;
    std::stop_token m_stop;
    HWND m_hDialog = nullptr;
};

LRESULT Driver::Send(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR nResult = 0;
    if (!SendMessageTimeoutW(hWnd, nMessage, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &nResult))
    {
        if (!IsWindow(hWnd))
            throw StepError("the window is gone");
        throw StepError("the dialog did not answer within " + std::to_string(kSendTimeoutMs / 1000)
                        + " s");
    }
    return static_cast<LRESULT>(nResult);
}

HWND Driver::Control(const std::string& name)
{
    if (!m_hDialog || !IsWindow(m_hDialog))
        throw StepError("no dialog (wait-dialog first, or it has closed)");
    HWND hControl = GetDlgItem(m_hDialog, ControlId(name));
    if (!hControl)
        throw StepError("the dialog has no control " + name);
    return hControl;
}

void Driver::WaitDialog(const std::string& caption)
{
    FindDialog find{Wide(caption)};
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (!find.hFound) {
        if (m_stop.stop_requested() || std::chrono::steady_clock::now() > deadline)
            throw StepError("no dialog \"" + caption + "\" appeared");
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&find));
        if (!find.hFound)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_hDialog = find.hFound;
    Sync();
}

void Driver::Sync()
{
    Send(m_hDialog, WM_NULL, 0, 0);
    RedrawWindow(m_hDialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Send(m_hDialog, WM_NULL, 0, 0);
}

void Driver::Slider(const std::string& name, int nValue, bool bTrackOnly)
{
    HWND hSlider = Control(name);
    const auto lSlider = reinterpret_cast<LPARAM>(hSlider);
    // What a trackbar tells its parent while its thumb is dragged and released.
    Send(hSlider, TBM_SETPOS, TRUE, nValue);
    Send(m_hDialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, nValue), lSlider);
    if (bTrackOnly)
        return;
    Send(m_hDialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, nValue), lSlider);
    Send(m_hDialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), lSlider);
}

void Driver::Type(const std::string& name, const std::string& text, bool bClear)
{
    HWND hEdit = Control(name);
    Send(m_hDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hEdit), TRUE);
    Send(hEdit, EM_SETSEL, 0, -1);
    if (bClear) {
        Send(hEdit, WM_CHAR, VK_BACK, 1);
        return;
    }
    for (const char c : text)
        Send(hEdit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void Driver::Click(const std::string& name)
{
    HWND hButton = Control(name);
    if (!IsWindowEnabled(hButton)) {
        Report("refused " + std::to_string(GetDlgCtrlID(hButton)) + " disabled");
        return;
    }
    // A click may end the dialog or open a message box that the watcher
    // answers; either way the call returns.
    Send(hButton, BM_CLICK, 0, 0);
}

void Driver::Mouse(UINT nMessage, int x, int y, bool bButtonHeld)
{
    if (!m_hDialog || !IsWindow(m_hDialog))
        throw StepError("no dialog");
    Send(m_hDialog, nMessage, bButtonHeld ? MK_LBUTTON : 0, MAKELPARAM(x, y));
}

void Driver::Capture(const std::string& path)
{
    if (!m_hDialog || !IsWindow(m_hDialog))
        throw StepError("no dialog");
    Sync();
    RECT rect{};
    GetWindowRect(m_hDialog, &rect);
    const int nWidth = rect.right - rect.left;
    const int nHeight = rect.bottom - rect.top;
    HDC hWindowDC = GetWindowDC(m_hDialog);
    HDC hMemoryDC = CreateCompatibleDC(hWindowDC);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = nHeight; // bottom-up, as the file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hWindowDC, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    bool bDone = false;
    if (hMemoryDC && hBitmap) {
        HGDIOBJ hOld = SelectObject(hMemoryDC, hBitmap);
        bDone = BitBlt(hMemoryDC, 0, 0, nWidth, nHeight, hWindowDC, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(hMemoryDC, hOld);
    }
    const std::size_t nStride = (static_cast<std::size_t>(nWidth) * 3 + 3) & ~std::size_t{3};
    const std::size_t nImageBytes = nStride * static_cast<std::size_t>(nHeight);
    if (bDone) {
        std::ofstream file(std::filesystem::path(Wide(path)), std::ios::binary);
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        header.bfSize = static_cast<DWORD>(header.bfOffBits + nImageBytes);
        info.bmiHeader.biSizeImage = static_cast<DWORD>(nImageBytes);
        file.write(reinterpret_cast<const char*>(&header), sizeof header);
        file.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        file.write(static_cast<const char*>(pBits), static_cast<std::streamsize>(nImageBytes));
        bDone = static_cast<bool>(file);
    }
    if (hBitmap)
        DeleteObject(hBitmap);
    if (hMemoryDC)
        DeleteDC(hMemoryDC);
    ReleaseDC(m_hDialog, hWindowDC);
    if (!bDone)
        throw StepError("cannot capture the dialog into " + path);
    Report("captured " + Quote(path) + " " + std::to_string(nWidth) + " "
           + std::to_string(nHeight));
}

void Driver::Step(const std::vector<std::string>& words)
{
    const std::string& verb = words[0];
    auto number = [&](std::size_t i) { return ParseNumber(words[i]); };
    if (verb == "wait-dialog")
        WaitDialog(words.size() > 1 ? words[1] : kDefaultCaption);
    else if (verb == "slider")
        Slider(words[1], number(2), words.size() > 3 && words[3] == "track");
    else if (verb == "type")
        Type(words[1], words[2], false);
    else if (verb == "clear")
        Type(words[1], {}, true);
    else if (verb == "click")
        Click(words[1]);
    else if (verb == "drag") {
        const int x0 = number(1), y0 = number(2), x1 = number(3), y1 = number(4);
        const int nSteps = words.size() > 5 ? std::max(1, number(5)) : 1;
        Mouse(WM_LBUTTONDOWN, x0, y0, true);
        for (int i = 1; i <= nSteps; ++i)
            Mouse(WM_MOUSEMOVE, x0 + (x1 - x0) * i / nSteps, y0 + (y1 - y0) * i / nSteps, true);
        Mouse(WM_LBUTTONUP, x1, y1, false);
    } else if (verb == "mouse") {
        const std::string& kind = words[1];
        const UINT nMessage = kind == "down" ? WM_LBUTTONDOWN
                            : kind == "up"   ? WM_LBUTTONUP
                            : kind == "move" ? WM_MOUSEMOVE
                                             : throw StepError("mouse down, move or up");
        Mouse(nMessage, number(2), number(3), kind != "up");
    } else if (verb == "capture")
        Capture(words[1]);
    else if (verb == "text") {
        HWND hControl = Control(words[1]);
        wchar_t text[512];
        const int n = GetWindowTextW(hControl, text, static_cast<int>(std::size(text)));
        Report("text " + std::to_string(GetDlgCtrlID(hControl)) + " "
               + Quote(Utf8(std::wstring(text, static_cast<std::size_t>(std::max(n, 0))))));
    } else if (verb == "enabled") {
        HWND hControl = Control(words[1]);
        Report("enabled " + std::to_string(GetDlgCtrlID(hControl)) + " "
               + (IsWindowEnabled(hControl) ? "1" : "0"));
    } else if (verb == "checked") {
        HWND hControl = Control(words[1]);
        Report("checked " + std::to_string(GetDlgCtrlID(hControl)) + " "
               + std::to_string(Send(hControl, BM_GETCHECK, 0, 0)));
    } else if (verb == "position") {
        HWND hControl = Control(words[1]);
        Report("position " + std::to_string(GetDlgCtrlID(hControl)) + " "
               + std::to_string(Send(hControl, TBM_GETPOS, 0, 0)));
    } else if (verb == "rect") {
        HWND hControl = Control(words[1]);
        RECT rect{};
        GetWindowRect(hControl, &rect);
        MapWindowPoints(nullptr, m_hDialog, reinterpret_cast<POINT*>(&rect), 2);
        Report("rect " + std::to_string(GetDlgCtrlID(hControl)) + " " + std::to_string(rect.left)
               + " " + std::to_string(rect.top) + " " + std::to_string(rect.right) + " "
               + std::to_string(rect.bottom));
    } else if (verb == "window") {
        if (!m_hDialog || !IsWindow(m_hDialog))
            throw StepError("no dialog");
        RECT rect{};
        GetWindowRect(m_hDialog, &rect);
        Report("window " + std::to_string(rect.left) + " " + std::to_string(rect.top) + " "
               + std::to_string(rect.right) + " " + std::to_string(rect.bottom) + " screen "
               + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " "
               + std::to_string(GetSystemMetrics(SM_CYSCREEN)) + " captionbutton "
               + std::to_string(GetSystemMetrics(SM_CXSIZE)));
    } else if (verb == "mark")
        Report("mark " + Quote(words[1]));
    else if (verb == "sleep")
        std::this_thread::sleep_for(std::chrono::milliseconds(number(1)));
    else if (verb == "sync")
        Sync();
}

} // namespace

std::vector<std::string> SplitScenarioLine(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        std::string word;
        if (line[i] == '"') {
            const std::size_t nEnd = line.find('"', i + 1);
            if (nEnd == std::string::npos)
                throw std::runtime_error("unterminated quote in \"" + line + "\"");
            word = line.substr(i + 1, nEnd - i - 1);
            i = nEnd + 1;
        } else {
            const std::size_t nEnd = line.find_first_of(" \t\r", i);
            word = line.substr(i, nEnd == std::string::npos ? std::string::npos : nEnd - i);
            i = nEnd == std::string::npos ? line.size() : nEnd;
        }
        words.push_back(std::move(word));
    }
    return words;
}

CDialogScenario::CDialogScenario(CTrace& trace, const std::string& path) : m_trace(trace)
{
    std::ifstream file(std::filesystem::path(Wide(path)));
    if (!file)
        throw std::runtime_error("cannot read the scenario " + path);
    std::string line;
    for (int nLine = 1; std::getline(file, line); ++nLine) {
        const std::string where = path + ":" + std::to_string(nLine) + ": ";
        std::vector<std::string> words;
        try {
            words = SplitScenarioLine(line);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(where + e.what());
        }
        if (words.empty())
            continue;
        const auto shape = Steps().find(words[0]);
        if (shape == Steps().end())
            throw std::runtime_error(where + "unknown step \"" + words[0] + "\"");
        if (words.size() < shape->second.nMin || words.size() > shape->second.nMax)
            throw std::runtime_error(where + "wrong number of words for \"" + words[0] + "\"");
        if (words[0] == "wait-dialog")
            m_captions.push_back(words.size() > 1 ? words[1] : kDefaultCaption);
        m_steps.push_back(std::move(words));
    }
}

namespace {

BOOL CALLBACK IgnoreWindow(HWND, LPARAM)
{
    return TRUE;
}

} // namespace

void CDialogScenario::Start()
{
    // The thread makes its first window-system calls (which set up its
    // message queue and may load system libraries) before Start returns, that
    // is before the plug-in is loaded: under Wine such a first call can wait
    // for the loader lock that the plug-in's load holds.
    std::promise<void> ready;
    std::future<void> isReady = ready.get_future();
    m_thread = std::jthread([this, &ready](std::stop_token stop) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        EnumWindows(IgnoreWindow, 0);
        ready.set_value();
        Run(stop);
    });
    isReady.wait();
}

CDialogScenario::~CDialogScenario()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

void CDialogScenario::Run(std::stop_token stop)
{
    Driver driver(m_trace, stop);
    for (const auto& words : m_steps) {
        std::string text;
        for (const std::string& word : words)
            text += (text.empty() ? "" : " ")
                  + (word.find(' ') != std::string::npos || word.empty() ? Quote(word) : word);
        m_trace.Write("scenario " + text);
        try {
            driver.Step(words);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "gwhost: scenario step \"%s\" failed: %s\n", text.c_str(),
                         e.what());
            m_trace.Write("scenario error " + Quote(text + ": " + e.what()));
            if (driver.Dialog() && IsWindow(driver.Dialog()))
                PostMessageW(driver.Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
    }
    m_trace.Write("scenario end");
}

} // namespace gw::host
