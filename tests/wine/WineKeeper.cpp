// WineKeeper.cpp - holds a test run's Wine prefix open from its first program to
// its last.
//
// Debian's wineserver ends the moment the last program of its prefix exits, and a
// program that connects while it ends fails before its first instruction
// ("recvmsg: Connection reset by peer"); tests started one after another, two at a
// time, meet that now and then. The helper processes the server's first program
// brings up (services, the desktop window's explorer) keep that program's standard
// handles, so a test whose output pipe they hold seems to run on until the server
// ends. This program is that first program, started with no handle worth holding:
// it brings up the desktop, makes the ready file, and stays while the keep file
// exists (a few hours at most, should nobody remove it).
//
// Usage: WineKeeper.exe KEEP_FILE READY_FILE   (Windows paths)
#include <windows.h>

namespace {

constexpr DWORD kPollMilliseconds = 500;
constexpr DWORD kMaxPolls = 4 * 3600 * 1000 / kPollMilliseconds;

bool FileExists(const char* pPath) noexcept
{
    return GetFileAttributesA(pPath) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const char* pKeepFile = argv[1];
    const char* pReadyFile = argv[2];

    // The desktop's process is started by the first program that asks for the desktop.
    if (GetDesktopWindow() == nullptr)
        return 1;
    HANDLE hReady = CreateFileA(pReadyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hReady == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(hReady);

    for (DWORD nPoll = 0; nPoll < kMaxPolls && FileExists(pKeepFile); ++nPoll)
        Sleep(kPollMilliseconds);
    return 0;
}
