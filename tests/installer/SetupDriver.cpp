// SetupDriver.cpp - runs the setup program interactively as a person would:
// Next, Install, Finish (with "Start Plugferry" left ticked), then works the
// Plugferry dialog that the setup started, printing what it sees.
//
// Usage: SetupDriver.exe SETUP.EXE SETUP-SHOT.bmp PLUGFERRY-SHOT.bmp
//   Exits 0 when the setup ran through and Plugferry's OK closed it, else 1.
// Usage: SetupDriver.exe --run PROGRAM.EXE ARGUMENTS
//   Runs a program with ARGUMENTS as its command line, unquoted (the setup's
//   /D= takes the rest of the line as it stands), and exits with its exit code.
#include "DialogDriver.h"
#include "GladewickVersion.h"

#include <cstdio>
#include <string>

namespace {

/// The first visible top-level window whose caption is exactly caption.
HWND WaitForWindow(const std::string& caption, DWORD nTimeoutMs)
{
    const DWORD nStart = GetTickCount();
    while (GetTickCount() - nStart < nTimeoutMs) {
        const HWND hWnd = FindWindowA(nullptr, caption.c_str());
        if (hWnd != nullptr && IsWindowVisible(hWnd)) {
            return hWnd;
        }
        Sleep(200);
    }
    return nullptr;
}

/// The setup's pages, up to its last one, whose button 1 reads "Finish".
bool WalkToLastPage(HWND hSetup)
{
    const DWORD nStart = GetTickCount();
    std::string last;
    while (GetTickCount() - nStart < 120000) {
        const std::string text = gwtest::WindowText(GetDlgItem(hSetup, IDOK));
        if (text != last) {
            std::printf("setup page, button: %s\n", text.c_str());
            last = text;
        }
        if (text.find("Finish") != std::string::npos) {
            return true;
        }
        gwtest::ClickButton(hSetup, IDOK); // disabled while the files are put in place
        Sleep(700);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 4 && std::string(argv[1]) == "--run") {
        try {
            const gwtest::CProgramRun run(argv[2], argv[3]);
            DWORD nExitCode = 1;
            if (!run.WaitForExit(300000, &nExitCode)) {
                std::printf("%s did not end\n", argv[2]);
                return 1;
            }
            return static_cast<int>(nExitCode);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: SetupDriver.exe SETUP.EXE SETUP-SHOT.bmp PLUGFERRY-SHOT.bmp\n");
        return 2;
    }
    try {
        const gwtest::CProgramRun run(argv[1], "");
        const HWND hSetup = WaitForWindow("Gladewick Pro " GW_VERSION_TEXT " Setup", 30000);
        if (hSetup == nullptr || !WalkToLastPage(hSetup)) {
            std::printf("the setup did not reach its last page\n");
            return 1;
        }
        std::printf("screenshot of the last page: %s\n",
                    gwtest::SaveScreenshot(hSetup, argv[2]) ? "saved" : "FAILED");
        gwtest::ClickButton(hSetup, IDOK);

        const HWND hPlugferry = WaitForWindow("Install Gladewick Pro plugin file", 30000);
        if (hPlugferry == nullptr) {
            std::printf("the setup did not start Plugferry\n");
            return 1;
        }
        Sleep(500);
        const gwtest::DialogView view = gwtest::ReadDialog(hPlugferry);
        std::printf("Plugferry: %s\nlocation: %s\nlist (%zu entries):\n", view.caption.c_str(),
                    view.location.c_str(), view.list.size());
        for (const std::string& item : view.list) {
            std::printf("  %s\n", item.c_str());
        }
        std::printf("screenshot of Plugferry: %s\n",
                    gwtest::SaveScreenshot(hPlugferry, argv[3]) ? "saved" : "FAILED");
        std::printf("click OK\n");
        gwtest::ClickButton(hPlugferry, IDOK);
        const DWORD nStart = GetTickCount();
        while (IsWindow(hPlugferry) && GetTickCount() - nStart < 20000) {
            Sleep(200);
        }
        if (IsWindow(hPlugferry)) {
            std::printf("Plugferry stayed open\n");
            return 1;
        }
        std::printf("Plugferry closed\n");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
