// Platform.h - the few operating-system services the portable code needs.
//
// The engine and the log formatting never include <windows.h>; they call these
// functions instead. PlatformWin.cpp and PlatformPosix.cpp hold the two bodies,
// chosen by CMake. A platform without a body fails to link.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace gw::platform {

/// Milliseconds since an arbitrary fixed point, wrapping at 2^32
/// (the system tick count on Windows, a monotonic clock elsewhere).
std::uint32_t TickCountMs() noexcept;

/// Sends a text to the debugger output (OutputDebugStringA on Windows,
/// standard error elsewhere when GW_DEBUG_OUTPUT is set in the environment).
void DebugOutput(const char* pText) noexcept;

/// Physical memory currently available to the process, in bytes.
std::uint64_t AvailablePhysicalMemory() noexcept;

/// Folder where temporary files belong (ends without a separator).
std::string TempDirectory();

} // namespace gw::platform
