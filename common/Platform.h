// Platform.h - the few operating-system services the portable code needs.
//
// The engine and the log formatting never include <windows.h>; they call these
// functions instead. PlatformWin.cpp and PlatformPosix.cpp hold the two bodies,
// chosen by CMake. A platform without a body fails to link.
#pragma once

#include <cstddef>
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

/// Creates or empties the file at pPath and opens it for reading and writing,
/// with flushed writes committed to disk where the C library supports that
/// (mode "w+c" on Windows, "w+" elsewhere). Returns null on failure; the
/// caller closes the stream with fclose.
std::FILE* OpenCommittedFile(const char* pPath) noexcept;

/// Folder where temporary files belong (ends without a separator).
std::string TempDirectory();

/// Creates a new, empty file in TempDirectory() and opens it for binary update
/// ("w+b", unbuffered). The file has no name that outlives the stream: it is unlinked
/// at once on POSIX and opened delete-on-close on Windows, so it disappears when the
/// stream is closed or the process ends. Returns null on failure and then puts a short
/// reason (folder and system message) into `reason`.
std::FILE* OpenTemporaryFile(std::string& reason);

/// Moves the position of `pFile` to the absolute byte offset `nOffset`, beyond 2 GB
/// as well. Returns false on failure.
bool SeekFile(std::FILE* pFile, std::uint64_t nOffset) noexcept;

/// Positioned transfers on an unbuffered stream's file (OpenTemporaryFile): nBytes
/// at the absolute byte offset nOffset, beyond 2 GB as well, in as few system calls
/// as the system allows, whatever the stream's position (which they may move).
/// A read stops early only at the end of the file and puts the bytes it read into
/// nRead; a write moves every byte. Both return false on failure, with the reason in
/// errno.
bool ReadFileAt(std::FILE* pFile, std::uint64_t nOffset, void* pBuffer, std::size_t nBytes,
                std::size_t& nRead) noexcept;
bool WriteFileAt(std::FILE* pFile, std::uint64_t nOffset, const void* pBuffer,
                 std::size_t nBytes) noexcept;

/// A zero-filled block of nBytes (> 0) straight from the system, page-aligned,
/// its pages made on first touch. Returns null on failure. Free it with
/// FreeZeroedBlock and the same size.
void* AllocateZeroedBlock(std::size_t nBytes) noexcept;
void FreeZeroedBlock(void* pBlock, std::size_t nBytes) noexcept;

/// Makes the pages of the nBytes at pBlock, a block of AllocateZeroedBlock, now
/// rather than on their first touch, without changing what they hold, so that
/// the code that writes them first does not stop for each page. Nothing else may
/// use the block meanwhile. Best effort: where the system cannot, the pages are
/// still made on first touch.
void MakePages(void* pBlock, std::size_t nBytes) noexcept;

} // namespace gw::platform
