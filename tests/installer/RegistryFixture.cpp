// RegistryFixture.cpp - fixtures in the private prefix's registry and drive C:.
#include "RegistryFixture.h"

#include "HostDetection.h"
#include "ProductSettings.h"
#include "RegistryView.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace gwtest {

void ClearHostRegistry()
{
    // The installer reads both registry views of the machine's keys: both are cleared.
    for (HKEY hRoot : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (REGSAM nView : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            for (const char* pKey :
                 {"SOFTWARE\\Adobe", "SOFTWARE\\Jasc", "SOFTWARE\\Microsoft\\Picture It!",
                  "SOFTWARE\\Corvane Technologies"})
            {
                DeleteRegistryTree(hRoot, pKey, nView);
            }
        }
    }
    DeleteRegistryTree(HKEY_CLASSES_ROOT, "Microsoft.Picture.It.Document.7");
}

void SetRegistryText(HKEY hRoot, const std::string& key, const char* pName,
                     const std::string& value)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(CreateRegistryKey(hRoot, key.c_str(), &hKey), ERROR_SUCCESS) << key;
    const LONG nResult =
        RegSetValueExA(hKey, pName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(hKey);
    ASSERT_EQ(nResult, ERROR_SUCCESS) << key;
}

void SetProductLocation(const std::string& pathname)
{
    ProductSettings settings{};
    std::strcpy(settings.m_szDescription, "Gladewick Pro filter plug-in");
    ASSERT_LT(pathname.size(), sizeof(settings.m_szPathname));
    std::strcpy(settings.m_szPathname, pathname.c_str());
    settings.m_nProductRevision = 8;
    ASSERT_EQ(WriteProductSettings(plugferry::kVendorName, plugferry::kProductName, &settings),
              ERROR_SUCCESS);
}

std::string MakeScratchFolder(const std::string& name)
{
    char szTemp[MAX_PATH] = {};
    GetTempPathA(sizeof(szTemp), szTemp);
    const std::string folder = std::string(szTemp) + "gwinst\\" + name;
    RemoveScratchFolder(folder);
    return MakeFolder(folder);
}

void RemoveScratchFolder(const std::string& folder)
{
    std::error_code error;
    // Read-only files would stop the removal.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(folder, error);
}

std::string MakeFolder(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    EXPECT_TRUE(std::filesystem::is_directory(path)) << path;
    return path;
}

void WriteTextFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary);
    out << contents;
    EXPECT_TRUE(out.good()) << path;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "<missing>";
    }
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace gwtest
