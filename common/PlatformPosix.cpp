// PlatformPosix.cpp - POSIX bodies of the platform services.
#include "Platform.h"

#include <chrono>
#include <cstdlib>
#include <unistd.h>

namespace gw::platform {

std::uint32_t TickCountMs() noexcept
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

void DebugOutput(const char* pText) noexcept
{
    static const bool bEnabled = std::getenv("GW_DEBUG_OUTPUT") != nullptr;
    if (bEnabled && pText != nullptr) {
        std::fputs(pText, stderr);
    }
}

std::uint64_t AvailablePhysicalMemory() noexcept
{
    const long nPages = sysconf(_SC_AVPHYS_PAGES);
    const long nPageSize = sysconf(_SC_PAGESIZE);
    if (nPages <= 0 || nPageSize <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(nPages) * static_cast<std::uint64_t>(nPageSize);
}

std::string TempDirectory()
{
    const char* pDir = std::getenv("TMPDIR");
    std::string dir = (pDir != nullptr && *pDir != '\0') ? pDir : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    return dir;
}

} // namespace gw::platform
