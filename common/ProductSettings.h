// ProductSettings.h - the product's machine-wide settings, one registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\<vendor>\<product>, read and written as one record.
//
// Windows only. The operations return Windows error codes (0 = success).
#pragma once

#include <cstdint>

#include <windows.h>

/// The settings record. Text fields are zero-terminated.
struct ProductSettings
{
    char m_szDescription[1024];       ///< "Description" (REG_SZ)
    char m_szPathname[1024];          ///< "Pathname" (REG_SZ): the installed plug-in file
    std::uint32_t m_nDiagnostics;     ///< "Diagnostics" (REG_DWORD): log level mask, 0 = off
    std::uint32_t m_nProductRevision; ///< "Product Revision" (REG_DWORD)
    char m_szWebsite[1024];           ///< "Website" (REG_SZ)
};

/// Opens (bCreate false, RegOpenKeyA) or creates (bCreate true, RegCreateKeyA) the
/// settings key under HKEY_LOCAL_MACHINE. A null or empty name, a null phKey or a
/// key name longer than 255 characters gives ERROR_INVALID_PARAMETER without
/// touching the registry. On success the caller closes *phKey with RegCloseKey.
LONG OpenSettingsKey(const char* pVendor, const char* pProduct, bool bCreate, HKEY* phKey);

/// Reads "Product Revision", "Description", "Pathname", "Diagnostics" and "Website",
/// in that order, straight into the record. The first failing value ends the
/// reading and its code is returned (fields read before it keep their new values,
/// the rest keep theirs). A text longer than its field gives ERROR_MORE_DATA and
/// leaves the field terminated at its last byte. Returns 2 when the key is missing.
LONG ReadProductSettings(const char* pVendor, const char* pProduct, ProductSettings* pSettings);

/// Creates or opens the key and sets "Description", "Pathname", "Product Revision",
/// "Diagnostics" and "Website", in that order; the first failure ends the writing.
/// A text field without its terminating zero gives ERROR_INVALID_PARAMETER before
/// anything is written.
LONG WriteProductSettings(const char* pVendor, const char* pProduct,
                          const ProductSettings* pSettings);
