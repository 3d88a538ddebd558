// InstallerTest.cpp - the installer program, run and driven through its windows.
#include "DialogDriver.h"
#include "RegistryFixture.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using gwtest::CProgramRun;
using gwtest::SetRegistryText;

constexpr const char* kPluginBytes = "MZ stand-in for the installed plug-in";
constexpr const char* kMissingSettingsText =
    "There was a problem reading the installation configuration.\n\n"
    "Please reinstall Gladewick Pro to retry this operation";

const std::string& PlugferryExe()
{
    static const std::string path = gwtest::WindowsPath(GW_PLUGFERRY_EXE);
    return path;
}

// Without a window manager under Xvfb, captions and frames show in the
// screenshots only if Wine draws them itself.
const bool gWineDrawsFrames = [] {
    SetRegistryText(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Decorated", "N");
    return true;
}();

std::string Artefact(const std::string& name)
{
    return gwtest::WindowsPath(GW_ARTEFACT_DIR) + "\\" + name;
}

class InstallerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gwtest::ClearHostRegistry();
        m_scratch = gwtest::MakeScratchFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        // The installed file has a name of its own; copies are always "Gladewick.8bf".
        m_source = gwtest::MakeFolder(m_scratch + "\\Program Files\\Gladewick") + "\\GW-Filter.8bf";
        gwtest::WriteTextFile(m_source, kPluginBytes);
    }
    void TearDown() override
    {
        gwtest::ClearHostRegistry();
        gwtest::RemoveScratchFolder(m_scratch);
    }

    /// Registers Photoshop version nVersion under hRoot with the plug-in folder
    /// dir; returns the folder as registered (with its trailing backslash).
    std::string AddPhotoshop(HKEY hRoot, int nVersion, const std::string& dir)
    {
        SetRegistryText(
            hRoot, "SOFTWARE\\Adobe\\Photoshop\\" + std::to_string(nVersion) + ".0\\PluginPath",
            nullptr, dir + "\\");
        return dir + "\\";
    }
    std::string Target(const std::string& folder) const
    {
        const bool bSeparator = !folder.empty() && folder.back() == '\\';
        return folder + (bSeparator ? "" : "\\") + "Gladewick.8bf";
    }

    std::string m_scratch;
    std::string m_source;
};

TEST_F(InstallerTest, ShowsSortedFoldersWithDuplicatesAndTheProductLocation)
{
    gwtest::SetProductLocation(m_source);
    const std::string zeta =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 8, gwtest::MakeFolder(m_scratch + "\\zeta"));
    AddPhotoshop(HKEY_CURRENT_USER, 8, m_scratch + "\\zeta");
    const std::string alpha =
        AddPhotoshop(HKEY_CURRENT_USER, 9, gwtest::MakeFolder(m_scratch + "\\alpha"));

    CProgramRun run(PlugferryExe(), "");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    const gwtest::DialogView view = gwtest::ReadDialog(hDlg);
    EXPECT_EQ(view.caption, "Install Gladewick Pro plugin file");
    EXPECT_EQ(view.locationLabel, "Gladewick Pro is installed at the following location:");
    EXPECT_EQ(view.location, m_source);
    EXPECT_EQ(view.instructions,
              "Installation has detected the following image processing applications on your "
              "system.\nClick OK to copy Gladewick Pro to the following directories.\nClick Add to "
              "specify additional places to copy Gladewick Pro.");
    EXPECT_EQ(view.list, (std::vector<std::string>{alpha, zeta, zeta}));
    EXPECT_TRUE(view.bOkEnabled);
    EXPECT_TRUE(view.bAddEnabled);
    EXPECT_TRUE(gwtest::SaveScreenshot(hDlg, Artefact("install-dialog.bmp")));

    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDCANCEL));
    DWORD nExitCode = 0;
    ASSERT_TRUE(run.WaitForExit(10000, &nExitCode));
    EXPECT_EQ(nExitCode, 1u);
    EXPECT_FALSE(gwtest::FileExists(Target(zeta)));
}

TEST_F(InstallerTest, MissingSettingsAreReportedAndDisableOkAndAddUnlessRemoving)
{
    for (const char* pArgs : {"", "remove"}) {
        SCOPED_TRACE(pArgs);
        CProgramRun run(PlugferryExe(), pArgs);
        const gwtest::MessageBoxView box = run.WaitForMessageBox(30000);
        ASSERT_NE(box.hWnd, nullptr);
        EXPECT_EQ(box.caption, "Gladewick Pro");
        EXPECT_EQ(box.text, kMissingSettingsText);
        ASSERT_TRUE(gwtest::Answer(box, IDOK));

        const HWND hDlg = run.WaitForDialog();
        ASSERT_NE(hDlg, nullptr);
        const gwtest::DialogView view = gwtest::ReadDialog(hDlg);
        EXPECT_EQ(view.location, "COULD NOT FIND VALID INSTALLATION OF Gladewick Pro");
        const bool bRemove = *pArgs != '\0';
        EXPECT_EQ(view.bOkEnabled, bRemove);
        EXPECT_EQ(view.bAddEnabled, bRemove);
        if (!bRemove) {
            EXPECT_TRUE(gwtest::SaveScreenshot(hDlg, Artefact("missing-settings.bmp")));
        }
    }
}

TEST_F(InstallerTest, CopiesIntoEveryFolderAndReportsOneFailureOnce)
{
    gwtest::SetProductLocation(m_source);
    const std::string first =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 7, gwtest::MakeFolder(m_scratch + "\\one"));
    const std::string second =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 8, gwtest::MakeFolder(m_scratch + "\\two"));
    const std::string locked =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 9, gwtest::MakeFolder(m_scratch + "\\locked"));
    // A folder where the plug-in file cannot be written: a folder of that name
    // is in the way. (A read-only file or folder would do on Windows, but Wine
    // running as root writes through both.)
    gwtest::MakeFolder(Target(locked));
    gwtest::WriteTextFile(Target(locked) + "\\kept.txt", "old");

    CProgramRun run(PlugferryExe(), "");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDOK));
    const gwtest::MessageBoxView box = run.WaitForMessageBox();
    ASSERT_NE(box.hWnd, nullptr);
    EXPECT_EQ(box.caption, "Copy Failed");
    EXPECT_EQ(box.text, "The copy failed. Please check file and directory permissions or copy the "
                        "plugin file manually.");
    EXPECT_TRUE(gwtest::SaveScreenshot(box.hWnd, Artefact("copy-failed.bmp")));
    ASSERT_TRUE(gwtest::Answer(box, IDOK));

    EXPECT_EQ(gwtest::ReadTextFile(Target(first)), kPluginBytes);
    EXPECT_EQ(gwtest::ReadTextFile(Target(second)), kPluginBytes);
    EXPECT_EQ(gwtest::ReadTextFile(Target(locked) + "\\kept.txt"), "old");
    // One message for all failures, and the dialog stays for another try.
    Sleep(500);
    EXPECT_TRUE(run.IsRunning());
    EXPECT_EQ(gwtest::ReadDialog(hDlg).list.size(), 3u);

    gwtest::RemoveScratchFolder(Target(locked));
    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDOK));
    DWORD nExitCode = 0;
    ASSERT_TRUE(run.WaitForExit(10000, &nExitCode));
    EXPECT_EQ(nExitCode, 0u);
    EXPECT_EQ(gwtest::ReadTextFile(Target(locked)), kPluginBytes);
}

TEST_F(InstallerTest, TargetBeyondThePathLimitFailsAndIsNeverCut)
{
    gwtest::SetProductLocation(m_source);
    // Folder fits, folder + "\Gladewick.8bf" does not.
    constexpr std::size_t kFolderLength = MAX_PATH - 10;
    std::string deep = m_scratch;
    while (deep.size() + 1 < kFolderLength) {
        deep.push_back('\\');
        deep.append(std::min<std::size_t>(40, kFolderLength - deep.size()), 'd');
    }
    gwtest::MakeFolder(deep);
    ASSERT_LT(deep.size() + 1, static_cast<std::size_t>(MAX_PATH));
    SetRegistryText(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Jasc\\Paint Shop Pro 9\\FileLocations\\PlugIns\\0", "Dir", deep);
    const std::string fine = gwtest::MakeFolder(m_scratch + "\\fine");
    SetRegistryText(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Jasc\\Paint Shop Pro 8\\FileLocations\\PlugIns\\0", "Dir", fine);

    CProgramRun run(PlugferryExe(), "");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    ASSERT_EQ(gwtest::ReadDialog(hDlg).list.size(), 2u);
    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDOK));
    const gwtest::MessageBoxView box = run.WaitForMessageBox();
    EXPECT_EQ(box.caption, "Copy Failed");
    ASSERT_TRUE(gwtest::Answer(box, IDOK));
    EXPECT_EQ(gwtest::ReadTextFile(Target(fine)), kPluginBytes);
    // Nothing was written under a shortened name.
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    const HANDLE hFind = FindFirstFileA((deep + "\\*").c_str(), &found);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    do {
        if (found.cFileName[0] != '.') {
            names.push_back(found.cFileName);
        }
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
    EXPECT_TRUE(names.empty()) << names.front();
}

TEST_F(InstallerTest, RemoveTreatsAMissingFileAsRemoved)
{
    gwtest::SetProductLocation(m_source);
    const std::string twice =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 8, gwtest::MakeFolder(m_scratch + "\\twice"));
    AddPhotoshop(HKEY_CURRENT_USER, 8, m_scratch + "\\twice");
    const std::string never =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 9, gwtest::MakeFolder(m_scratch + "\\never"));
    gwtest::WriteTextFile(Target(twice), kPluginBytes);
    gwtest::WriteTextFile(twice + "Other.8bf", "kept");

    CProgramRun run(PlugferryExe(), "remove");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    const gwtest::DialogView view = gwtest::ReadDialog(hDlg);
    EXPECT_EQ(view.caption, "Remove Gladewick Pro plugin file");
    EXPECT_EQ(view.instructions,
              "Installation has detected the following image processing applications on your "
              "system.\nClick OK to REMOVE Gladewick Pro from the following directories.\nClick "
              "Add to specify additional places from which remove Gladewick Pro.");
    EXPECT_EQ(view.list.size(), 3u);
    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDOK));
    DWORD nExitCode = 0;
    ASSERT_TRUE(run.WaitForExit(10000, &nExitCode));
    EXPECT_EQ(nExitCode, 0u);
    EXPECT_FALSE(gwtest::FileExists(Target(twice)));
    EXPECT_FALSE(gwtest::FileExists(Target(never)));
    EXPECT_EQ(gwtest::ReadTextFile(twice + "Other.8bf"), "kept");
}

TEST_F(InstallerTest, FailedDeleteIsReportedOnceAndTheDialogStays)
{
    gwtest::SetProductLocation(m_source);
    const std::string plain =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 8, gwtest::MakeFolder(m_scratch + "\\plain"));
    const std::string stuck =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 9, gwtest::MakeFolder(m_scratch + "\\stuck"));
    gwtest::WriteTextFile(Target(plain), kPluginBytes);
    // A folder by the plug-in's name is not a file that can be deleted.
    gwtest::MakeFolder(Target(stuck));

    CProgramRun run(PlugferryExe(), "remove");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDOK));
    const gwtest::MessageBoxView box = run.WaitForMessageBox();
    ASSERT_NE(box.hWnd, nullptr);
    EXPECT_EQ(box.caption, "Delete Failed");
    EXPECT_EQ(box.text, "One or more delete operations failed. Please check file and directory "
                        "permissions or delete the plugin file manually.");
    ASSERT_TRUE(gwtest::Answer(box, IDOK));
    EXPECT_FALSE(gwtest::FileExists(Target(plain)));
    Sleep(500);
    EXPECT_TRUE(run.IsRunning());
    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDCANCEL));
    DWORD nExitCode = 0;
    ASSERT_TRUE(run.WaitForExit(10000, &nExitCode));
    EXPECT_EQ(nExitCode, 1u);
}

TEST_F(InstallerTest, OnlyTheWholeArgumentRemoveSelectsRemoveMode)
{
    gwtest::SetProductLocation(m_source);
    const struct
    {
        const char* pArgs;
        const char* pCaption;
    } cases[] = {
        {"REMOVE", "Remove Gladewick Pro plugin file"},
        {"remove now", "Install Gladewick Pro plugin file"},
    };
    for (const auto& c : cases) {
        CProgramRun run(PlugferryExe(), c.pArgs);
        const HWND hDlg = run.WaitForDialog();
        ASSERT_NE(hDlg, nullptr);
        EXPECT_EQ(gwtest::WindowText(hDlg), c.pCaption) << c.pArgs;
        gwtest::ClickButton(hDlg, IDCANCEL);
        DWORD nExitCode = 0;
        EXPECT_TRUE(run.WaitForExit(10000, &nExitCode));
    }
}

TEST_F(InstallerTest, AltOnOkAsksBeforeDeleting)
{
    gwtest::SetProductLocation(m_source);
    const std::string folder =
        AddPhotoshop(HKEY_LOCAL_MACHINE, 8, gwtest::MakeFolder(m_scratch + "\\ps"));
    gwtest::WriteTextFile(Target(folder), "installed");

    CProgramRun run(PlugferryExe(), "");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    for (const int nAnswer : {IDNO, IDYES}) {
        gwtest::HoldAlt(true);
        ASSERT_TRUE(gwtest::ClickButton(hDlg, IDOK));
        const gwtest::MessageBoxView box = run.WaitForMessageBox();
        ASSERT_NE(box.hWnd, nullptr);
        EXPECT_EQ(box.caption, "Gladewick Pro");
        EXPECT_EQ(box.text, "Holding the Alt key requests DELETE of installed Gladewick Pro plugin "
                            "files.\n\nIs this what you want to do?");
        ASSERT_TRUE(gwtest::Answer(box, nAnswer));
        gwtest::HoldAlt(false);
        if (nAnswer == IDNO) {
            // Nothing done, the dialog stays.
            Sleep(500);
            EXPECT_TRUE(run.IsRunning());
            EXPECT_EQ(gwtest::ReadTextFile(Target(folder)), "installed");
        }
    }
    DWORD nExitCode = 0;
    ASSERT_TRUE(run.WaitForExit(10000, &nExitCode));
    EXPECT_EQ(nExitCode, 0u);
    EXPECT_FALSE(gwtest::FileExists(Target(folder)));
}

TEST_F(InstallerTest, EmptyListClosesAtOnce)
{
    gwtest::SetProductLocation(m_source);
    CProgramRun run(PlugferryExe(), "");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    EXPECT_TRUE(gwtest::ReadDialog(hDlg).list.empty());
    ASSERT_TRUE(gwtest::ClickButton(hDlg, IDOK));
    DWORD nExitCode = 0;
    ASSERT_TRUE(run.WaitForExit(10000, &nExitCode));
    EXPECT_EQ(nExitCode, 0u);
}

TEST_F(InstallerTest, AboutItemOfTheSystemMenuShowsTheVersion)
{
    gwtest::SetProductLocation(m_source);
    CProgramRun run(PlugferryExe(), "");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    gwtest::SystemCommand(hDlg, 0x10);
    const HWND hAbout = run.WaitForOtherWindow();
    ASSERT_NE(hAbout, nullptr);
    Sleep(200);
    EXPECT_EQ(gwtest::WindowText(hAbout), "About Plugferry");
    EXPECT_EQ(gwtest::WindowText(GetDlgItem(hAbout, 1006)), "Gladewick Pro Version 2.1");
    EXPECT_TRUE(gwtest::SaveScreenshot(hAbout, Artefact("about.bmp")));
    ASSERT_TRUE(gwtest::ClickButton(hAbout, IDOK));
    Sleep(500);
    EXPECT_TRUE(run.IsRunning());
}

TEST_F(InstallerTest, FolderChosenInTheBrowserJoinsTheList)
{
    gwtest::SetProductLocation(m_source);
    CProgramRun run(PlugferryExe(), "");
    const HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    const HWND hList = GetDlgItem(hDlg, 1000);
    EXPECT_EQ(SendMessageA(hList, LB_GETHORIZONTALEXTENT, 0, 0), 0);

    // Cancelled, the browser changes nothing.
    ASSERT_TRUE(gwtest::ClickButton(hDlg, 1002));
    HWND hBrowser = run.WaitForOtherWindow();
    ASSERT_NE(hBrowser, nullptr);
    Sleep(500);
    EXPECT_TRUE(gwtest::SaveScreenshot(hBrowser, Artefact("folder-browser.bmp")));
    ASSERT_TRUE(gwtest::ClickButton(hBrowser, IDCANCEL));
    Sleep(500);
    EXPECT_TRUE(run.IsRunning());
    EXPECT_TRUE(gwtest::ReadDialog(hDlg).list.empty());

    // The browser opens on the desktop; a person takes it as it is.
    ASSERT_TRUE(gwtest::ClickButton(hDlg, 1002));
    hBrowser = run.WaitForOtherWindow();
    ASSERT_NE(hBrowser, nullptr);
    Sleep(500);
    ASSERT_TRUE(gwtest::ClickButton(hBrowser, IDOK));
    char szDesktop[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, szDesktop), S_OK);
    for (int i = 0; i < 40 && gwtest::ReadDialog(hDlg).list.empty(); ++i) {
        Sleep(100);
    }
    EXPECT_EQ(gwtest::ReadDialog(hDlg).list, (std::vector<std::string>{szDesktop}));
    // Wide enough to scroll to the end of the new entry.
    EXPECT_GT(SendMessageA(hList, LB_GETHORIZONTALEXTENT, 0, 0), 0);
}

} // namespace
