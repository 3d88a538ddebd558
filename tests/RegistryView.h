// RegistryView.h - registry fixtures name the view they write.
//
// The code under test opens its keys without a view flag, so it sees the view of
// its own bitness; the fixtures say so explicitly rather than rely on the same
// default, which a 64-bit test reading a 32-bit program's keys would not share.
#pragma once

#include <windows.h>

namespace gwtest {

// The view a program of this build's bitness reads by default.
inline constexpr REGSAM kOwnRegistryView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// Deletes a key and everything under it in one view (this build's unless named); a
// missing key is no error.
inline void DeleteRegistryTree(HKEY hRoot, const char* pKey,
                               REGSAM nView = kOwnRegistryView) noexcept
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(hRoot, pKey, 0, KEY_ALL_ACCESS | nView, &hKey) == ERROR_SUCCESS) {
        RegDeleteTreeA(hKey, nullptr);
        RegCloseKey(hKey);
    }
    RegDeleteKeyExA(hRoot, pKey, nView, 0);
}

// Creates (or opens) a key in this build's view.
inline LONG CreateRegistryKey(HKEY hRoot, const char* pKey, HKEY* phKey) noexcept
{
    return RegCreateKeyExA(hRoot, pKey, 0, nullptr, 0, KEY_ALL_ACCESS | kOwnRegistryView, nullptr,
                           phKey, nullptr);
}

} // namespace gwtest
