// The watcher reads message boxes from the real window and dismisses them;
// other dialogs are reported and closed with the chosen button.
#include "WindowWatcher.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace gw::host {
namespace {

std::vector<std::string> ReadLines(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string TracePath(const char* pName)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + pName;
}

TEST(WindowWatcherTest, MessageBoxIsReadAndDismissed)
{
    const std::string path = TracePath("gw_watcher_msgbox.txt");
    {
        CTrace trace;
        trace.Open(path);
        CWindowWatcher watcher(trace, DialogAction::Leave, 0, 60);
        // Returns only once the watcher has pressed the default button.
        const int nButton = MessageBoxW(nullptr, L"Something failed.\nCode 001.",
                                        L"Gladewick \"Test\"", MB_OK | MB_ICONERROR);
        EXPECT_EQ(nButton, IDOK);
        const int nChoice = MessageBoxW(nullptr, L"Again?", L"Question", MB_YESNO | MB_DEFBUTTON2);
        EXPECT_EQ(nChoice, IDNO) << "the default button is the one pressed";
        EXPECT_EQ(watcher.MessageBoxCount(), 2);
    }
    const auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "msgbox \"Gladewick \\\"Test\\\"\" \"Something failed.\\nCode 001.\"");
    EXPECT_EQ(lines[1], "msgbox \"Question\" \"Again?\"");
    std::remove(path.c_str());
}

INT_PTR CALLBACK EditDialogProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM)
{
    if (nMessage == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hWnd, LOWORD(wParam));
        return TRUE;
    }
    return nMessage == WM_INITDIALOG;
}

// A dialog with an edit field is not a message box: it gets the chosen action.
INT_PTR ShowEditDialog()
{
    // In-memory template: DLGTEMPLATE, menu, class, title, then each item on a DWORD boundary.
    std::vector<WORD> words(64, 0);
    auto* pDialog = reinterpret_cast<DLGTEMPLATE*>(words.data());
    pDialog->style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME;
    pDialog->cdit = 1;
    pDialog->cx = 120;
    pDialog->cy = 60;
    std::size_t n = sizeof(DLGTEMPLATE) / sizeof(WORD) + 2; // no menu, default class
    for (const wchar_t* p = L"Filter";; ++p) {
        words[n++] = static_cast<WORD>(*p);
        if (!*p) {
            break;
        }
    }
    n = (n + 1) & ~std::size_t{1};
    auto* pItem = reinterpret_cast<DLGITEMTEMPLATE*>(words.data() + n);
    pItem->style = WS_CHILD | WS_VISIBLE | WS_BORDER;
    pItem->x = 10;
    pItem->y = 10;
    pItem->cx = 60;
    pItem->cy = 12;
    pItem->id = 100;
    n += sizeof(DLGITEMTEMPLATE) / sizeof(WORD);
    words[n++] = 0xFFFF;
    words[n++] = 0x0081; // edit control
    words[n++] = 0;      // no text
    words[n++] = 0;      // no creation data
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), pDialog, nullptr, EditDialogProc, 0);
}

TEST(WindowWatcherTest, OtherDialogsGetTheChosenAction)
{
    const std::string path = TracePath("gw_watcher_dialog.txt");
    {
        CTrace trace;
        trace.Open(path);
        CWindowWatcher watcher(trace, DialogAction::Cancel, 100, 60);
        EXPECT_EQ(ShowEditDialog(), IDCANCEL);
        EXPECT_EQ(watcher.MessageBoxCount(), 0);
    }
    const auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "dialog \"Filter\" action cancel");
    std::remove(path.c_str());
}

} // namespace
} // namespace gw::host
