// ProductSettings.cpp - the product settings key, through the Win32 registry API.
#include "ProductSettings.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

namespace {

constexpr std::size_t kKeyNameSize = 256;

struct KeyCloser
{
    void operator()(HKEY hKey) const noexcept { RegCloseKey(hKey); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

bool IsEmpty(const char* pText) noexcept
{
    return pText == nullptr || *pText == '\0';
}

/// A text value read straight into its field: always left terminated.
template <std::size_t N>
LONG QueryText(HKEY hKey, const char* pName, char (&szField)[N]) noexcept
{
    DWORD nSize = N;
    const LONG nResult =
        RegQueryValueExA(hKey, pName, nullptr, nullptr, reinterpret_cast<BYTE*>(szField), &nSize);
    if (nResult == ERROR_MORE_DATA) {
        szField[N - 1] = '\0';
    } else if (nResult == ERROR_SUCCESS) {
        // A value stored without its own terminating zero must not run on into
        // whatever the field held before.
        szField[nSize < N ? nSize : N - 1] = '\0';
    }
    return nResult;
}

LONG QueryNumber(HKEY hKey, const char* pName, std::uint32_t* pValue) noexcept
{
    DWORD nSize = sizeof(*pValue);
    return RegQueryValueExA(hKey, pName, nullptr, nullptr, reinterpret_cast<BYTE*>(pValue), &nSize);
}

template <std::size_t N>
LONG SetText(HKEY hKey, const char* pName, const char (&szField)[N]) noexcept
{
    const DWORD nSize = static_cast<DWORD>(std::strlen(szField) + 1);
    return RegSetValueExA(hKey, pName, 0, REG_SZ, reinterpret_cast<const BYTE*>(szField), nSize);
}

LONG SetNumber(HKEY hKey, const char* pName, std::uint32_t nValue) noexcept
{
    const DWORD dwValue = nValue;
    return RegSetValueExA(hKey, pName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                          sizeof(dwValue));
}

template <std::size_t N>
bool IsTerminated(const char (&szField)[N]) noexcept
{
    return std::memchr(szField, '\0', N) != nullptr;
}

} // namespace

LONG OpenSettingsKey(const char* pVendor, const char* pProduct, bool bCreate, HKEY* phKey)
{
    if (IsEmpty(pVendor) || IsEmpty(pProduct) || phKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    char szKey[kKeyNameSize];
    const int nLength = std::snprintf(szKey, sizeof(szKey), "SOFTWARE\\%s\\%s", pVendor, pProduct);
    // A cut name would open some other key.
    if (nLength < 0 || static_cast<std::size_t>(nLength) >= sizeof(szKey)) {
        return ERROR_INVALID_PARAMETER;
    }
    return bCreate ? RegCreateKeyA(HKEY_LOCAL_MACHINE, szKey, phKey)
                   : RegOpenKeyA(HKEY_LOCAL_MACHINE, szKey, phKey);
}

LONG ReadProductSettings(const char* pVendor, const char* pProduct, ProductSettings* pSettings)
{
    if (pSettings == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY hRawKey = nullptr;
    LONG nResult = OpenSettingsKey(pVendor, pProduct, false, &hRawKey);
    if (nResult != ERROR_SUCCESS) {
        return nResult;
    }
    const UniqueKey hKey(hRawKey);

    if ((nResult = QueryNumber(hKey.get(), "Product Revision", &pSettings->m_nProductRevision))
        != ERROR_SUCCESS)
    {
        return nResult;
    }
    if ((nResult = QueryText(hKey.get(), "Description", pSettings->m_szDescription))
        != ERROR_SUCCESS) {
        return nResult;
    }
    if ((nResult = QueryText(hKey.get(), "Pathname", pSettings->m_szPathname)) != ERROR_SUCCESS) {
        return nResult;
    }
    if ((nResult = QueryNumber(hKey.get(), "Diagnostics", &pSettings->m_nDiagnostics))
        != ERROR_SUCCESS) {
        return nResult;
    }
    return QueryText(hKey.get(), "Website", pSettings->m_szWebsite);
}

LONG WriteProductSettings(const char* pVendor, const char* pProduct,
                          const ProductSettings* pSettings)
{
    if (pSettings == nullptr || !IsTerminated(pSettings->m_szDescription)
        || !IsTerminated(pSettings->m_szPathname) || !IsTerminated(pSettings->m_szWebsite))
    {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY hRawKey = nullptr;
    LONG nResult = OpenSettingsKey(pVendor, pProduct, true, &hRawKey);
    if (nResult != ERROR_SUCCESS) {
        return nResult;
    }
    const UniqueKey hKey(hRawKey);

    if ((nResult = SetText(hKey.get(), "Description", pSettings->m_szDescription)) != ERROR_SUCCESS)
    {
        return nResult;
    }
    if ((nResult = SetText(hKey.get(), "Pathname", pSettings->m_szPathname)) != ERROR_SUCCESS) {
        return nResult;
    }
    if ((nResult = SetNumber(hKey.get(), "Product Revision", pSettings->m_nProductRevision))
        != ERROR_SUCCESS)
    {
        return nResult;
    }
    if ((nResult = SetNumber(hKey.get(), "Diagnostics", pSettings->m_nDiagnostics))
        != ERROR_SUCCESS) {
        return nResult;
    }
    return SetText(hKey.get(), "Website", pSettings->m_szWebsite);
}
