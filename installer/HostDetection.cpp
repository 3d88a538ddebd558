// HostDetection.cpp - where the image editors keep their plug-in folders.
//
// Every editor registers itself under a key of its own, one subkey per installed
// version. A folder counts only if it exists; anything missing or unreadable on
// the way is skipped without a word.
#include "HostDetection.h"

#include "ProductSettings.h"
#include "resource.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>

namespace plugferry {
namespace {

/// Registry values are read into buffers of the system's longest path.
constexpr DWORD kValueBufferSize = MAX_PATH;

struct KeyCloser
{
    void operator()(HKEY hKey) const noexcept { RegCloseKey(hKey); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

/// nView: 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY, given again for every key on
/// the way down.
UniqueKey OpenKey(HKEY hParent, const char* pSubKey, REGSAM nView = 0) noexcept
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(hParent, pSubKey, 0, KEY_READ | nView, &hKey) != ERROR_SUCCESS) {
        return UniqueKey();
    }
    return UniqueKey(hKey);
}

/// A text value (pName null: the default value) that fits, with its
/// terminating zero, into the value buffer.
std::optional<std::string> ReadText(HKEY hKey, const char* pName)
{
    char buffer[kValueBufferSize];
    DWORD nSize = sizeof(buffer);
    if (RegQueryValueExA(hKey, pName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &nSize)
        != ERROR_SUCCESS)
    {
        return std::nullopt;
    }
    const char* pEnd = static_cast<const char*>(std::memchr(buffer, '\0', nSize));
    if (pEnd == nullptr) {
        // Stored without its terminating zero: only usable if a zero still fits.
        if (nSize >= sizeof(buffer)) {
            return std::nullopt;
        }
        pEnd = buffer + nSize;
    }
    return std::string(static_cast<const char*>(buffer), pEnd);
}

/// The shell's path-exists test (files and folders alike); a path beyond the
/// system's limit cannot be used by the copy either.
bool PathExists(const std::string& path) noexcept
{
    return !path.empty() && path.size() < MAX_PATH && PathFileExistsA(path.c_str()) != FALSE;
}

/// The names of all subkeys, read by index before any of them is opened.
std::vector<std::string> SubkeyNames(HKEY hKey)
{
    DWORD nCount = 0;
    DWORD nLongest = 0;
    std::vector<std::string> names;
    if (RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &nCount, &nLongest, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr)
        != ERROR_SUCCESS)
    {
        return names;
    }
    std::vector<char> buffer(nLongest + 1);
    for (DWORD i = 0; i < nCount; ++i) {
        DWORD nLength = static_cast<DWORD>(buffer.size());
        if (RegEnumKeyExA(hKey, i, buffer.data(), &nLength, nullptr, nullptr, nullptr, nullptr)
            == ERROR_SUCCESS)
        {
            names.emplace_back(buffer.data(), nLength);
        }
    }
    return names;
}

// One version of an editor: its subkey, the registry view it was found in, and
// the folder list to add to.
using VersionReader = void (*)(HKEY hVersion, REGSAM nView, const std::string& name,
                               std::vector<std::string>& folders);

/// Photoshop and Photoshop Elements: "PluginPath" names the plug-in folder,
/// whose "Filters" subfolder is preferred. The path normally ends with a
/// backslash, so no separator is put in between.
void ReadAdobeVersion(HKEY hVersion, REGSAM nView, const std::string&,
                      std::vector<std::string>& folders)
{
    const UniqueKey hPath = OpenKey(hVersion, "PluginPath", nView);
    if (!hPath) {
        return;
    }
    const std::optional<std::string> path = ReadText(hPath.get(), nullptr);
    if (!path) {
        return;
    }
    if (const std::string filters = *path + "Filters"; PathExists(filters)) {
        folders.push_back(filters);
    } else if (PathExists(*path)) {
        folders.push_back(*path);
    }
}

/// Paint Shop: only the subkeys named "Paint Shop..." (exactly these ten
/// characters) belong to the editor.
void ReadJascVersion(HKEY hVersion, REGSAM nView, const std::string& name,
                     std::vector<std::string>& folders)
{
    constexpr const char kPrefix[] = "Paint Shop";
    if (name.compare(0, sizeof(kPrefix) - 1, kPrefix) != 0) {
        return;
    }
    const UniqueKey hDir = OpenKey(hVersion, "FileLocations\\PlugIns\\0", nView);
    if (!hDir) {
        return;
    }
    if (const std::optional<std::string> dir = ReadText(hDir.get(), "Dir"); dir && PathExists(*dir))
    {
        folders.push_back(*dir);
    }
}

void ReadPictureItVersion(HKEY hVersion, REGSAM, const std::string&,
                          std::vector<std::string>& folders)
{
    if (const std::optional<std::string> dir = ReadText(hVersion, "PluginDir");
        dir && PathExists(*dir)) {
        folders.push_back(*dir);
    }
}

struct HostPlace
{
    const char* pKey;
    VersionReader pReadVersion;
};

constexpr HostPlace kHostPlaces[] = {
    {"SOFTWARE\\Adobe\\Photoshop", ReadAdobeVersion},
    {"SOFTWARE\\Adobe\\Photoshop Elements", ReadAdobeVersion},
    {"SOFTWARE\\Jasc", ReadJascVersion},
    {"SOFTWARE\\Microsoft\\Picture It!", ReadPictureItVersion},
};

void ReadHost(HKEY hRoot, REGSAM nView, const HostPlace& place, std::vector<std::string>& folders)
{
    const UniqueKey hHost = OpenKey(hRoot, place.pKey, nView);
    if (!hHost) {
        return;
    }
    for (const std::string& name : SubkeyNames(hHost.get())) {
        if (const UniqueKey hVersion = OpenKey(hHost.get(), name.c_str(), nView)) {
            place.pReadVersion(hVersion.get(), nView, name, folders);
        }
    }
}

/// The hosts of one root key (and view), each folder tagged with bitness.
void ReadRoot(HKEY hRoot, REGSAM nView, Bitness bitness, std::vector<HostFolder>& found)
{
    std::vector<std::string> folders;
    for (const HostPlace& place : kHostPlaces) {
        ReadHost(hRoot, nView, place, folders);
    }
    for (std::string& folder : folders) {
        found.push_back(HostFolder{std::move(folder), bitness});
    }
}

/// The registry view holding the settings of programs of the given bitness;
/// 0 (the only view) on 32-bit Windows.
REGSAM ViewOf(Bitness bitness) noexcept
{
    if (!HasTwoRegistryViews()) {
        return 0;
    }
    return bitness == Bitness::X64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

/// Picture It! 7 documents: their icon sits in the program's folder, beside
/// its "Plug-Ins" folder.
void ReadPictureItDocumentClass(std::vector<std::string>& folders)
{
    const UniqueKey hIcon =
        OpenKey(HKEY_CLASSES_ROOT, "Microsoft.Picture.It.Document.7\\DefaultIcon");
    if (!hIcon) {
        return;
    }
    const std::optional<std::string> icon = ReadText(hIcon.get(), nullptr);
    if (!icon) {
        return;
    }
    const std::size_t nSlash = icon->rfind('\\');
    if (nSlash == std::string::npos) {
        return;
    }
    if (const std::string dir = icon->substr(0, nSlash) + "\\Plug-Ins"; PathExists(dir)) {
        folders.push_back(dir);
    }
}

void ReportMissingSettings(HWND hDlg, bool bRemoveMode)
{
    char szText[512];
    std::snprintf(szText, sizeof(szText),
                  "There was a problem reading the installation configuration.\n\n"
                  "Please reinstall %s to retry this operation",
                  kProductName);
    MessageBoxA(hDlg, szText, kProductName, MB_OK | MB_ICONSTOP);
    std::snprintf(szText, sizeof(szText), "COULD NOT FIND VALID INSTALLATION OF %s", kProductName);
    SetDlgItemTextA(hDlg, IDC_LOCATION, szText);
    if (!bRemoveMode) {
        EnableWindow(GetDlgItem(hDlg, IDOK), FALSE);
        EnableWindow(GetDlgItem(hDlg, IDC_ADD), FALSE);
    }
}

} // namespace

bool HasTwoRegistryViews() noexcept
{
#ifdef _WIN64
    return true;
#else
    BOOL bWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64;
#endif
}

std::vector<HostFolder> FindHostFolders()
{
    std::vector<HostFolder> found;
    if (HasTwoRegistryViews()) {
        ReadRoot(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, Bitness::X64, found);
        ReadRoot(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, Bitness::X86, found);
    } else {
        ReadRoot(HKEY_LOCAL_MACHINE, 0, Bitness::X86, found);
    }
    ReadRoot(HKEY_CURRENT_USER, 0, Bitness::Unknown, found);
    std::vector<std::string> documents;
    ReadPictureItDocumentClass(documents);
    for (std::string& folder : documents) {
        found.push_back(HostFolder{std::move(folder), Bitness::Unknown});
    }
    return found;
}

std::vector<std::string> FindHostPluginFolders()
{
    std::vector<std::string> folders;
    for (HostFolder& found : FindHostFolders()) {
        folders.push_back(std::move(found.folder));
    }
    return folders;
}

std::string InstalledPluginFor(Bitness bitness, const std::string& productLocation)
{
    if (bitness == Bitness::Unknown) {
        return productLocation;
    }
    char szSubKey[256];
    std::snprintf(szSubKey, sizeof(szSubKey), "SOFTWARE\\%s\\%s", kVendorName, kProductName);
    const UniqueKey hKey = OpenKey(HKEY_LOCAL_MACHINE, szSubKey, ViewOf(bitness));
    if (!hKey) {
        return std::string();
    }
    char szPathname[sizeof(ProductSettings::m_szPathname)];
    DWORD nSize = sizeof(szPathname);
    DWORD nType = 0;
    if (RegQueryValueExA(hKey.get(), "Pathname", nullptr, &nType,
                         reinterpret_cast<BYTE*>(szPathname), &nSize)
            != ERROR_SUCCESS
        || nType != REG_SZ || nSize == 0)
    {
        return std::string();
    }
    szPathname[std::min<DWORD>(nSize, sizeof(szPathname) - 1)] = '\0';
    return szPathname;
}

void AddTarget(HWND hList, const std::string& folder, Bitness bitness) noexcept
{
    const LRESULT nIndex =
        SendMessageA(hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    if (nIndex >= 0) {
        SendMessageA(hList, LB_SETITEMDATA, static_cast<WPARAM>(nIndex),
                     static_cast<LPARAM>(bitness));
    }
}

std::string DetectPluginFolders(HWND hDlg, bool bRemoveMode)
{
    const HWND hList = GetDlgItem(hDlg, IDC_TARGET_LIST);
    for (const HostFolder& found : FindHostFolders()) {
        AddTarget(hList, found.folder, found.bitness);
    }

    // The settings record is large; it lives on the heap, not on the stack.
    auto pSettings = std::make_unique<ProductSettings>();
    std::string location;
    if (ReadProductSettings(kVendorName, kProductName, pSettings.get()) != ERROR_SUCCESS) {
        ReportMissingSettings(hDlg, bRemoveMode);
    } else {
        location = pSettings->m_szPathname;
        SetDlgItemTextA(hDlg, IDC_LOCATION, location.c_str());
    }

    SetListExtent(hList);
    return location;
}

void SetListExtent(HWND hList) noexcept
{
    const HDC hDC = GetDC(hList);
    if (hDC == nullptr) {
        return;
    }
    const HGDIOBJ hOldFont =
        SelectObject(hDC, reinterpret_cast<HGDIOBJ>(SendMessageA(hList, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(hDC, &metrics);

    LONG nWidest = 0;
    const LRESULT nCount = SendMessageA(hList, LB_GETCOUNT, 0, 0);
    std::string text;
    for (LRESULT i = 0; i < nCount; ++i) {
        const LRESULT nLength = SendMessageA(hList, LB_GETTEXTLEN, i, 0);
        if (nLength == LB_ERR) {
            continue;
        }
        text.assign(static_cast<std::size_t>(nLength) + 1, '\0');
        SendMessageA(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        SIZE size{};
        GetTextExtentPoint32A(hDC, text.c_str(), static_cast<int>(nLength), &size);
        nWidest = std::max(nWidest, size.cx + metrics.tmAveCharWidth);
    }

    SelectObject(hDC, hOldFont);
    ReleaseDC(hList, hDC);
    SendMessageA(hList, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(nWidest), 0);
}

std::string JoinPath(const std::string& folder, const char* pName)
{
    std::string path = folder + "\\" + pName;
    return path.size() < MAX_PATH ? path : std::string();
}

} // namespace plugferry
