// Deployment.cpp - see Deployment.h.
#include "Deployment.h"

#include "ProductSettings.h"

#include <memory>
#include <type_traits>

namespace plugferry {
namespace {

struct KeyCloser
{
    void operator()(HKEY hKey) const noexcept { RegCloseKey(hKey); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

std::string RecordKeyName()
{
    return std::string("SOFTWARE\\") + kVendorName + "\\" + kProductName + "\\Installed Copies";
}

REGSAM RecordView() noexcept
{
    return HasTwoRegistryViews() ? KEY_WOW64_64KEY : 0;
}

UniqueKey OpenRecord(bool bCreate) noexcept
{
    HKEY hKey = nullptr;
    const std::string name = RecordKeyName();
    const LONG nResult =
        bCreate ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, 0,
                                  KEY_READ | KEY_WRITE | RecordView(), nullptr, &hKey, nullptr)
                : RegOpenKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0,
                                KEY_READ | KEY_WRITE | RecordView(), &hKey);
    return nResult == ERROR_SUCCESS ? UniqueKey(hKey) : UniqueKey();
}

std::string ErrorText(DWORD nError)
{
    char* pText = nullptr;
    const DWORD nLength = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, nError, 0, reinterpret_cast<char*>(&pText), 0, nullptr);
    std::string text = nLength > 0 ? std::string(pText, nLength) : std::string();
    LocalFree(pText);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return "error " + std::to_string(nError) + (text.empty() ? "" : ": " + text);
}

const char* BitnessName(Bitness bitness) noexcept
{
    switch (bitness) {
    case Bitness::X64:
        return "64-bit";
    case Bitness::X86:
        return "32-bit";
    case Bitness::Unknown:
        break;
    }
    return "per-user";
}

} // namespace

void RecordCopy(const std::string& target, const std::string& source) noexcept
{
    if (const UniqueKey hKey = OpenRecord(true)) {
        RegSetValueExA(hKey.get(), target.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(source.c_str()),
                       static_cast<DWORD>(source.size() + 1));
    }
}

void ForgetCopy(const std::string& target) noexcept
{
    if (const UniqueKey hKey = OpenRecord(false)) {
        RegDeleteValueA(hKey.get(), target.c_str());
    }
}

std::vector<std::string> RecordedCopies()
{
    std::vector<std::string> copies;
    const UniqueKey hKey = OpenRecord(false);
    if (!hKey) {
        return copies;
    }
    DWORD nCount = 0;
    DWORD nLongest = 0;
    if (RegQueryInfoKeyA(hKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nCount,
                         &nLongest, nullptr, nullptr, nullptr)
        != ERROR_SUCCESS)
    {
        return copies;
    }
    std::vector<char> name(nLongest + 1);
    for (DWORD i = 0; i < nCount; ++i) {
        DWORD nLength = static_cast<DWORD>(name.size());
        if (RegEnumValueA(hKey.get(), i, name.data(), &nLength, nullptr, nullptr, nullptr, nullptr)
            == ERROR_SUCCESS)
        {
            copies.emplace_back(name.data(), nLength);
        }
    }
    return copies;
}

bool CopyInto(const std::string& folder, const std::string& source, DWORD* pError)
{
    // A target beyond the path limit fails on its own; it is never cut.
    const std::string target = JoinPath(folder, kPluginFileName);
    if (target.empty()) {
        *pError = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (source.empty()) {
        *pError = ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        *pError = GetLastError();
        return false;
    }
    RecordCopy(target, source);
    return true;
}

bool RemoveCopy(const std::string& target, DWORD* pError)
{
    if (!DeleteFileA(target.c_str())) {
        const DWORD nError = GetLastError();
        // A file that is not there is as good as removed.
        if (nError != ERROR_FILE_NOT_FOUND && nError != ERROR_PATH_NOT_FOUND) {
            *pError = nError;
            return false;
        }
    }
    ForgetCopy(target);
    return true;
}

int DeployToAllHosts(std::FILE* report)
{
    auto pSettings = std::make_unique<ProductSettings>();
    if (ReadProductSettings(kVendorName, kProductName, pSettings.get()) != ERROR_SUCCESS) {
        std::fprintf(report, "FAILED: the product settings cannot be read; nothing copied\n");
        return 1;
    }
    const std::string location = pSettings->m_szPathname;
    int nFailures = 0;
    for (const HostFolder& found : FindHostFolders()) {
        const std::string source = InstalledPluginFor(found.bitness, location);
        DWORD nError = 0;
        if (CopyInto(found.folder, source, &nError)) {
            std::fprintf(report, "copied %s (%s editor) from %s\n", found.folder.c_str(),
                         BitnessName(found.bitness), source.c_str());
        } else {
            ++nFailures;
            std::fprintf(report, "FAILED to copy into %s (%s editor): %s\n", found.folder.c_str(),
                         BitnessName(found.bitness), ErrorText(nError).c_str());
        }
    }
    return nFailures;
}

int RemoveRecordedCopies(std::FILE* report)
{
    int nFailures = 0;
    for (const std::string& target : RecordedCopies()) {
        DWORD nError = 0;
        if (RemoveCopy(target, &nError)) {
            std::fprintf(report, "removed %s\n", target.c_str());
        } else {
            ++nFailures;
            std::fprintf(report, "FAILED to remove %s: %s\n", target.c_str(),
                         ErrorText(nError).c_str());
        }
    }
    return nFailures;
}

} // namespace plugferry
