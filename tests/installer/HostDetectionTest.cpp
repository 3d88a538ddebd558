// HostDetectionTest.cpp - which registered plug-in folders the installer finds.
#include "HostDetection.h"
#include "RegistryFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using gwtest::SetRegistryText;
using Folders = std::vector<std::string>;

class HostDetectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gwtest::ClearHostRegistry();
        m_scratch = gwtest::MakeScratchFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override
    {
        gwtest::ClearHostRegistry();
        gwtest::RemoveScratchFolder(m_scratch);
    }
    std::string Folder(const std::string& relative)
    {
        return gwtest::MakeFolder(m_scratch + "\\" + relative);
    }

    std::string m_scratch;
};

TEST_F(HostDetectionTest, PhotoshopPrefersItsFiltersSubfolder)
{
    const std::string withFilters = Folder("PS8\\Plug-Ins") + "\\";
    Folder("PS8\\Plug-Ins\\Filters");
    const std::string withoutFilters = Folder("PS9\\Plug-Ins") + "\\";
    SetRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Photoshop\\8.0\\PluginPath", nullptr,
                    withFilters);
    SetRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Photoshop\\9.0\\PluginPath", nullptr,
                    withoutFilters);
    // Neither the folder nor a "PluginPath" key: skipped without a word.
    SetRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Photoshop\\7.0\\PluginPath", nullptr,
                    m_scratch + "\\gone\\");
    SetRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Photoshop\\6.0", "Other", "x");
    SetRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Photoshop Elements\\3.0\\PluginPath",
                    nullptr, withoutFilters);

    EXPECT_EQ(plugferry::FindHostPluginFolders(),
              (Folders{withFilters + "Filters", withoutFilters, withoutFilters}));
}

TEST_F(HostDetectionTest, SameHostUnderBothRootsIsListedTwiceMachineFirst)
{
    const std::string machine = Folder("machine") + "\\";
    const std::string user = Folder("user") + "\\";
    SetRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Adobe\\Photoshop\\8.0\\PluginPath", nullptr,
                    user);
    SetRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Photoshop\\8.0\\PluginPath", nullptr,
                    machine);
    SetRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Adobe\\Photoshop\\9.0\\PluginPath", nullptr,
                    machine);
    EXPECT_EQ(plugferry::FindHostPluginFolders(), (Folders{machine, user, machine}));
}

TEST_F(HostDetectionTest, PaintShopSubkeysMustBeginWithTheExactName)
{
    const char* const names[] = {"Paint Shop Pro 9", "Paint shop Pro", "PaintShop Pro",
                                 "Paint ShopX", "Animation Shop 3"};
    for (const char* pName : names) {
        SetRegistryText(HKEY_LOCAL_MACHINE,
                        std::string("SOFTWARE\\Jasc\\") + pName + "\\FileLocations\\PlugIns\\0",
                        "Dir", Folder(pName));
    }
    EXPECT_EQ(plugferry::FindHostPluginFolders(),
              (Folders{m_scratch + "\\Paint Shop Pro 9", m_scratch + "\\Paint ShopX"}));
}

TEST_F(HostDetectionTest, PictureItVersionAndDocumentClass)
{
    SetRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Picture It!\\10.0", "PluginDir",
                    Folder("PI10\\Plugins"));
    SetRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Picture It!\\9.0", "PluginDir",
                    m_scratch + "\\missing");
    Folder("PI7\\Plug-Ins");
    SetRegistryText(HKEY_CLASSES_ROOT, "Microsoft.Picture.It.Document.7\\DefaultIcon", nullptr,
                    m_scratch + "\\PI7\\PictureIt.exe,1");
    EXPECT_EQ(plugferry::FindHostPluginFolders(),
              (Folders{m_scratch + "\\PI10\\Plugins", m_scratch + "\\PI7\\Plug-Ins"}));

    // An icon path without a folder names no plug-in folder.
    SetRegistryText(HKEY_CLASSES_ROOT, "Microsoft.Picture.It.Document.7\\DefaultIcon", nullptr,
                    "PictureIt.exe,1");
    EXPECT_EQ(plugferry::FindHostPluginFolders(), (Folders{m_scratch + "\\PI10\\Plugins"}));
}

TEST_F(HostDetectionTest, ValuesLongerThanAPathBufferAreSkipped)
{
    // An existing folder, named by a value that does not fit into 260 bytes.
    const std::string padded = Folder("long") + std::string(300, '\\');
    SetRegistryText(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Jasc\\Paint Shop Pro 9\\FileLocations\\PlugIns\\0", "Dir", padded);
    const std::string fits = Folder("fits");
    SetRegistryText(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Jasc\\Paint Shop Pro 8\\FileLocations\\PlugIns\\0", "Dir", fits);
    EXPECT_EQ(plugferry::FindHostPluginFolders(), (Folders{fits}));
}

TEST_F(HostDetectionTest, JoinPathNeverCutsAPath)
{
    EXPECT_EQ(plugferry::JoinPath("C:\\Hosts\\Filters", "Gladewick.8bf"),
              "C:\\Hosts\\Filters\\Gladewick.8bf");
    const std::string folder(MAX_PATH - 15, 'f');
    EXPECT_EQ(plugferry::JoinPath(folder, "Gladewick.8bf").size(), MAX_PATH - 1u);
    EXPECT_EQ(plugferry::JoinPath(folder + "g", "Gladewick.8bf"), "");
}

} // namespace
