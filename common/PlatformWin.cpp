// PlatformWin.cpp - Windows bodies of the platform services.
#include "Platform.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace gw::platform {

std::uint32_t TickCountMs() noexcept
{
    return static_cast<std::uint32_t>(GetTickCount());
}

void DebugOutput(const char* pText) noexcept
{
    if (pText != nullptr) {
        OutputDebugStringA(pText);
    }
}

std::uint64_t AvailablePhysicalMemory() noexcept
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) {
        return 0;
    }
    // A 32-bit process cannot use more than its free address space.
    return status.ullAvailPhys < status.ullAvailVirtual ? status.ullAvailPhys
                                                        : status.ullAvailVirtual;
}

std::FILE* OpenCommittedFile(const char* pPath) noexcept
{
    return pPath != nullptr ? std::fopen(pPath, "w+c") : nullptr;
}

std::string TempDirectory()
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD nLength = GetTempPathA(sizeof(buffer), buffer);
    if (nLength == 0 || nLength > MAX_PATH) {
        return ".";
    }
    std::string dir(buffer, nLength);
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) {
        dir.pop_back();
    }
    return dir;
}

namespace {

std::string SystemMessage(DWORD nError)
{
    char buffer[512] = {};
    const DWORD nLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                         nullptr, nError, 0, buffer, sizeof(buffer), nullptr);
    std::string text(buffer, nLength);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "system error " + std::to_string(nError) : text;
}

std::string Utf8(const wchar_t* pText)
{
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, pText, -1, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 1) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pText, -1, text.data(), nBytes, nullptr, nullptr);
    text.pop_back(); // the terminating zero
    return text;
}

} // namespace

std::FILE* OpenTemporaryFile(std::string& reason)
{
    // Wide calls: a user profile folder whose name the ANSI code page cannot
    // spell must still work.
    wchar_t dir[MAX_PATH + 1] = {};
    const DWORD nLength = GetTempPathW(MAX_PATH + 1, dir);
    if (nLength == 0 || nLength > MAX_PATH) {
        reason = "cannot find the temporary folder: " + SystemMessage(GetLastError());
        return nullptr;
    }
    // GetTempFileNameW creates the file under a unique name; it is then reopened
    // delete-on-close, so the name goes with the last handle.
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempFileNameW(dir, L"gwp", 0, name) == 0) {
        reason = "cannot create a file in \"" + Utf8(dir) + "\": " + SystemMessage(GetLastError());
        return nullptr;
    }
    const HANDLE hFile =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        reason = "cannot open \"" + Utf8(name) + "\": " + SystemMessage(GetLastError());
        DeleteFileW(name);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        reason = "cannot open a stream on \"" + Utf8(name) + "\"";
        CloseHandle(hFile);
        return nullptr;
    }
    std::FILE* pFile = _fdopen(fd, "w+b");
    if (pFile == nullptr) {
        reason = "cannot open a stream on \"" + Utf8(name) + "\"";
        _close(fd); // closes the handle, which deletes the file
        return nullptr;
    }
    std::setvbuf(pFile, nullptr, _IONBF, 0);
    return pFile;
}

bool SeekFile(std::FILE* pFile, std::uint64_t nOffset) noexcept
{
    if (nOffset > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    return _fseeki64(pFile, static_cast<__int64>(nOffset), SEEK_SET) == 0;
}

namespace {

// errno for a failed file transfer, so callers report it like a C library failure.
int ErrnoOf(DWORD nError) noexcept
{
    switch (nError) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

// Largest transfer of one call; ReadFile and WriteFile count in 32 bits.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

OVERLAPPED At(std::uint64_t nOffset) noexcept
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(nOffset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(nOffset >> 32);
    return at;
}

} // namespace

bool ReadFileAt(std::FILE* pFile, std::uint64_t nOffset, void* pBuffer, std::size_t nBytes,
                std::size_t& nRead) noexcept
{
    const auto hFile = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(pFile)));
    auto* pOut = static_cast<unsigned char*>(pBuffer);
    nRead = 0;
    while (nBytes > 0) {
        const DWORD nAsk = static_cast<DWORD>(nBytes < kMaxTransfer ? nBytes : kMaxTransfer);
        OVERLAPPED at = At(nOffset);
        DWORD nDone = 0;
        if (!ReadFile(hFile, pOut, nAsk, &nDone, &at)) {
            const DWORD nError = GetLastError();
            if (nError == ERROR_HANDLE_EOF)
                return true; // the end of the file
            errno = ErrnoOf(nError);
            return false;
        }
        if (nDone == 0)
            return true;
        nRead += nDone;
        pOut += nDone;
        nOffset += nDone;
        nBytes -= nDone;
    }
    return true;
}



bool WriteFileAt(std::FILE* pFile, std::uint64_t nOffset, const void* pBuffer,
                 std::size_t nBytes) noexcept
{
    const auto hFile = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(pFile)));
    const auto* pIn = static_cast<const unsigned char*>(pBuffer);
    while (nBytes > 0) {
        const DWORD nAsk = static_cast<DWORD>(nBytes < kMaxTransfer ? nBytes : kMaxTransfer);
        OVERLAPPED at = At(nOffset);
        DWORD nDone = 0;
        if (!WriteFile(hFile, pIn, nAsk, &nDone, &at)) {
            errno = ErrnoOf(GetLastError());
            return false;
        }
        if (nDone == 0) {
            errno = ENOSPC;
            return false;
        }
        pIn += nDone;
        nOffset += nDone;
        nBytes -= nDone;
    }
    return true;
}

void* AllocateZeroedBlock(std::size_t nBytes) noexcept
{
    if (nBytes == 0)
        return nullptr;
    return VirtualAlloc(nullptr, nBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}



void FreeZeroedBlock(void* pBlock, std::size_t /*nBytes*/) noexcept
{
    if (pBlock != nullptr)
        VirtualFree(pBlock, 0, MEM_RELEASE);
}



void MakePages(void* pBlock, std::size_t nBytes) noexcept
{
    if (pBlock == nullptr)
        return;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t nPage = info.dwPageSize != 0 ? info.dwPageSize : 4096;
    // A write per page makes it; writing back what it holds changes nothing.
    auto* pBytes = static_cast<volatile unsigned char*>(pBlock);
    for (std::size_t i = 0; i < nBytes; i += nPage)
        pBytes[i] = pBytes[i];
}

} // namespace gw::platform
