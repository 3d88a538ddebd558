// PlatformWin.cpp - Windows bodies of the platform services.
#include "Platform.h"

#include <windows.h>

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
    return status.ullAvailPhys < status.ullAvailVirtual ? status.ullAvailPhys : status.ullAvailVirtual;
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

} // namespace gw::platform
