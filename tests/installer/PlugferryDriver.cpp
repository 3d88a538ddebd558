// PlugferryDriver.cpp - runs the installer and works its dialog as a person
// would, printing what it sees.
//
// Usage: PlugferryDriver.exe [--screenshot FILE.bmp] [--press ok|cancel] [--alt]
//                            [--answer yes|no] PLUGFERRY.EXE [ARGUMENTS...]
//   Prints the dialog's caption, labels and list; --press clicks OK (holding Alt
//   with --alt) or Cancel; message boxes are printed and answered (yes/no
//   questions with --answer, default no). After a failure message the dialog
//   stays open and is then cancelled. Exits with the installer's exit code, or 2
//   if the installer could not be driven.
#include "DialogDriver.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Options
{
    std::string screenshot;
    std::string press;
    std::string answer = "no";
    bool bAlt = false;
    std::string exe;
    std::string args;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string name = argv[i];
        if (name == "--alt") {
            options.bAlt = true;
        } else if (i + 1 < argc && name == "--screenshot") {
            options.screenshot = argv[++i];
        } else if (i + 1 < argc && name == "--press") {
            options.press = argv[++i];
        } else if (i + 1 < argc && name == "--answer") {
            options.answer = argv[++i];
        } else {
            return false;
        }
    }
    if (i >= argc) {
        return false;
    }
    // A path of the machine running Wine is given its drive Z: name.
    options.exe = argv[i][0] == '/' ? gwtest::WindowsPath(argv[i]) : std::string(argv[i]);
    ++i;
    for (; i < argc; ++i) {
        if (!options.args.empty()) {
            options.args += ' ';
        }
        options.args.append(argv[i]);
    }
    return true;
}

void PrintBox(const gwtest::MessageBoxView& box)
{
    std::string text = box.text;
    for (std::size_t nPos = 0; (nPos = text.find('\n', nPos)) != std::string::npos;) {
        text.replace(nPos, 1, "\\n");
    }
    std::printf("message box \"%s\": \"%s\"\n", box.caption.c_str(), text.c_str());
}

/// Answers a box: Yes or No for a question, else its only button.
void AnswerBox(const gwtest::MessageBoxView& box, const std::string& answer)
{
    int nButton = IDOK;
    for (int nId : box.buttons) {
        if (nId == IDYES || nId == IDNO) {
            nButton = answer == "yes" ? IDYES : IDNO;
        }
    }
    std::printf("  answered %s\n", nButton == IDYES ? "Yes" : nButton == IDNO ? "No" : "OK");
    gwtest::Answer(box, nButton);
}

void PrintDialog(const gwtest::DialogView& view)
{
    std::printf("caption: %s\n", view.caption.c_str());
    std::printf("label: %s\n", view.locationLabel.c_str());
    std::printf("location: %s\n", view.location.c_str());
    std::printf("OK %s, Add... %s\n", view.bOkEnabled ? "enabled" : "disabled",
                view.bAddEnabled ? "enabled" : "disabled");
    std::printf("list (%zu entries):\n", view.list.size());
    for (const std::string& item : view.list) {
        std::printf("  %s\n", item.c_str());
    }
}

/// Message boxes and the program's end after a click; true if it ended, false
/// if the dialog is still there a few seconds after the last box.
bool FollowClick(const gwtest::CProgramRun& run, const Options& options, DWORD* pExitCode)
{
    constexpr DWORD kSettleMs = 5000;
    DWORD nSince = GetTickCount();
    while (GetTickCount() - nSince < kSettleMs) {
        if (run.WaitForExit(200, pExitCode)) {
            return true;
        }
        const gwtest::MessageBoxView box = run.WaitForMessageBox(200);
        if (box.hWnd == nullptr) {
            continue;
        }
        PrintBox(box);
        AnswerBox(box, options.answer);
        if (options.bAlt) {
            gwtest::HoldAlt(false);
        }
        nSince = GetTickCount();
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Whatever is printed must be there even if the driver is stopped.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: PlugferryDriver.exe [--screenshot FILE.bmp] [--press ok|cancel] "
                     "[--alt] [--answer yes|no] PLUGFERRY.EXE [ARGUMENTS...]\n");
        return 2;
    }
    try {
        const gwtest::CProgramRun run(options.exe, options.args);
        HWND hDlg = nullptr;
        // A message box may come before the dialog shows (missing settings).
        while ((hDlg = run.WaitForDialog(500)) == nullptr) {
            const gwtest::MessageBoxView box = run.WaitForMessageBox(500);
            if (box.hWnd != nullptr) {
                PrintBox(box);
                AnswerBox(box, options.answer);
            }
            DWORD nExitCode = 0;
            if (run.WaitForExit(0, &nExitCode)) {
                std::printf("installer ended before its dialog showed (exit code %lu)\n",
                            nExitCode);
                return 2;
            }
        }
        Sleep(300);
        PrintDialog(gwtest::ReadDialog(hDlg));
        if (!options.screenshot.empty()) {
            std::printf("screenshot %s: %s\n", options.screenshot.c_str(),
                        gwtest::SaveScreenshot(hDlg, options.screenshot) ? "saved" : "FAILED");
        }

        const int nButton = options.press == "ok" ? IDOK : IDCANCEL;
        if (nButton == IDOK && options.bAlt) {
            gwtest::HoldAlt(true);
        }
        std::printf("click %s%s\n", nButton == IDOK ? "OK" : "Cancel",
                    nButton == IDOK && options.bAlt ? " with Alt held" : "");
        if (!gwtest::ClickButton(hDlg, nButton)) {
            std::printf("  the button is disabled\n");
        }
        DWORD nExitCode = 0;
        if (!FollowClick(run, options, &nExitCode)) {
            std::printf("dialog still open; click Cancel\n");
            gwtest::ClickButton(hDlg, IDCANCEL);
            if (!run.WaitForExit(10000, &nExitCode)) {
                std::printf("installer did not end\n");
                return 2;
            }
        }
        std::printf("installer exit code: %lu\n", nExitCode);
        return static_cast<int>(nExitCode);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
