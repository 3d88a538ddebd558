// ProductSettingsTest.cpp - the settings key in the real registry (a private Wine
// prefix in the tests' runs). Each test makes and removes its own key.
#include "ProductSettings.h"
#include "RegistryView.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char* kVendor = "Gladewick Test Vendor";
constexpr const char* kKeyPath = "SOFTWARE\\Gladewick Test Vendor";

class ProductSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_product = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        gwtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKeyPath);
        std::memset(&m_settings, 0x5A, sizeof(m_settings));
        m_settings.m_nDiagnostics = 0;
        m_settings.m_nProductRevision = 8;
    }
    void TearDown() override
    {
        if (m_hKey != nullptr) {
            RegCloseKey(m_hKey);
        }
        gwtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kKeyPath);
    }

    // Creates the fixture key and returns it (closed by TearDown).
    HKEY Fixture()
    {
        const std::string path = std::string(kKeyPath) + "\\" + m_product;
        EXPECT_EQ(gwtest::CreateRegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), &m_hKey),
                  ERROR_SUCCESS);
        return m_hKey;
    }
    void SetText(const char* pName, const std::string& text)
    {
        ASSERT_EQ(RegSetValueExA(m_hKey, pName, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
    }
    void SetNumber(const char* pName, DWORD nValue)
    {
        ASSERT_EQ(RegSetValueExA(m_hKey, pName, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&nValue), sizeof(nValue)),
                  ERROR_SUCCESS);
    }
    LONG Read() { return ReadProductSettings(kVendor, m_product.c_str(), &m_settings); }

    std::string m_product;
    HKEY m_hKey = nullptr;
    ProductSettings m_settings;
};

TEST_F(ProductSettingsTest, MissingKeyLeavesTheDefaults)
{
    EXPECT_EQ(Read(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_settings.m_nDiagnostics, 0u);
    EXPECT_EQ(m_settings.m_nProductRevision, 8u);
}

TEST_F(ProductSettingsTest, ReadingStopsAtTheFirstMissingValue)
{
    Fixture();
    SetNumber("Product Revision", 12);
    SetText("Description", "Shadow lifter");
    SetText("Pathname", "C:\\Program Files\\Gladewick\\Gladewick.8bf");
    SetNumber("Diagnostics", 6);
    // No "Website": everything before it is read.
    EXPECT_EQ(Read(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_settings.m_nProductRevision, 12u);
    EXPECT_STREQ(m_settings.m_szDescription, "Shadow lifter");
    EXPECT_STREQ(m_settings.m_szPathname, "C:\\Program Files\\Gladewick\\Gladewick.8bf");
    EXPECT_EQ(m_settings.m_nDiagnostics, 6u);
    EXPECT_EQ(m_settings.m_szWebsite[0], 0x5A);
}

TEST_F(ProductSettingsTest, MissingRevisionReadsNothing)
{
    Fixture();
    SetText("Description", "d");
    SetText("Pathname", "p");
    SetNumber("Diagnostics", 7);
    SetText("Website", "w");
    EXPECT_EQ(Read(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_settings.m_nDiagnostics, 0u);
    EXPECT_EQ(m_settings.m_nProductRevision, 8u);
    EXPECT_EQ(m_settings.m_szDescription[0], 0x5A);
}

TEST_F(ProductSettingsTest, OverlongDescriptionEndsReadingWithATerminatedField)
{
    Fixture();
    SetNumber("Product Revision", 9);
    SetText("Description", std::string(1500, 'd'));
    SetText("Pathname", "p");
    EXPECT_EQ(Read(), ERROR_MORE_DATA);
    EXPECT_EQ(m_settings.m_nProductRevision, 9u);
    EXPECT_EQ(m_settings.m_szDescription[sizeof(m_settings.m_szDescription) - 1], '\0');
    EXPECT_LT(std::strlen(m_settings.m_szDescription), sizeof(m_settings.m_szDescription));
    EXPECT_EQ(m_settings.m_szPathname[0], 0x5A);
}

TEST_F(ProductSettingsTest, UnterminatedBinaryValueIsReadAsATerminatedText)
{
    Fixture();
    SetNumber("Product Revision", 9);
    const char bytes[3] = {'a', 'b', 'c'};
    ASSERT_EQ(RegSetValueExA(m_hKey, "Description", 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(bytes), sizeof(bytes)),
              ERROR_SUCCESS);
    Read();
    EXPECT_STREQ(m_settings.m_szDescription, "abc");
}

TEST_F(ProductSettingsTest, BadNamesAreRefusedWithoutRegistryAccess)
{
    HKEY hKey = reinterpret_cast<HKEY>(0x1234);
    EXPECT_EQ(OpenSettingsKey("", "Product", true, &hKey), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(OpenSettingsKey(kVendor, nullptr, true, &hKey), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(hKey, reinterpret_cast<HKEY>(0x1234));
    EXPECT_EQ(ReadProductSettings(nullptr, "Product", &m_settings), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WriteProductSettings(kVendor, "", &m_settings), ERROR_INVALID_PARAMETER);
    // A key name that would not fit is refused rather than cut to some other key.
    const std::string longName(260, 'n');
    EXPECT_EQ(OpenSettingsKey(kVendor, longName.c_str(), true, &hKey), ERROR_INVALID_PARAMETER);
    HKEY hVendor = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kKeyPath, &hVendor), ERROR_FILE_NOT_FOUND);
}

TEST_F(ProductSettingsTest, WriteThenReadRoundTrips)
{
    ProductSettings written{};
    std::strcpy(written.m_szDescription, "Shadow lifter");
    std::strcpy(written.m_szPathname, "C:\\Plug\\Gladewick.8bf");
    std::strcpy(written.m_szWebsite, "https://example.invalid/");
    written.m_nDiagnostics = 0xFFFFFFFFu;
    written.m_nProductRevision = 21;
    ASSERT_EQ(WriteProductSettings(kVendor, m_product.c_str(), &written), ERROR_SUCCESS);

    ASSERT_EQ(Read(), ERROR_SUCCESS);
    EXPECT_STREQ(m_settings.m_szDescription, written.m_szDescription);
    EXPECT_STREQ(m_settings.m_szPathname, written.m_szPathname);
    EXPECT_STREQ(m_settings.m_szWebsite, written.m_szWebsite);
    EXPECT_EQ(m_settings.m_nDiagnostics, written.m_nDiagnostics);
    EXPECT_EQ(m_settings.m_nProductRevision, written.m_nProductRevision);

    // The stored types are those other readers expect.
    HKEY hKey = nullptr;
    ASSERT_EQ(OpenSettingsKey(kVendor, m_product.c_str(), false, &hKey), ERROR_SUCCESS);
    DWORD nType = 0;
    DWORD nSize = 0;
    EXPECT_EQ(RegQueryValueExA(hKey, "Diagnostics", nullptr, &nType, nullptr, &nSize),
              ERROR_SUCCESS);
    EXPECT_EQ(nType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(RegQueryValueExA(hKey, "Pathname", nullptr, &nType, nullptr, &nSize), ERROR_SUCCESS);
    EXPECT_EQ(nType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(nSize, std::strlen(written.m_szPathname) + 1);
    RegCloseKey(hKey);
}

TEST_F(ProductSettingsTest, UnterminatedFieldIsNotWritten)
{
    ProductSettings written{};
    std::memset(written.m_szWebsite, 'w', sizeof(written.m_szWebsite));
    EXPECT_EQ(WriteProductSettings(kVendor, m_product.c_str(), &written), ERROR_INVALID_PARAMETER);
    HKEY hVendor = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kKeyPath, &hVendor), ERROR_FILE_NOT_FOUND);
}

} // namespace
