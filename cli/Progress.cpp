// Progress.cpp - progress bar on a terminal and the interrupt flag.
#include "Progress.h"

#include <csignal>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace gw::cli {

namespace {

constexpr int kBarWidth = 40;

volatile std::sig_atomic_t gInterrupted = 0;

struct ProgressBarState
{
    std::FILE* pStream = nullptr; ///< null: the bar is off
    std::string label;
    int nLastPercent = -1;
    bool bDrawn = false;
};

ProgressBarState gBar;
// The lanes of a batch and their writers report from several threads.
std::mutex gBarMutex;

extern "C" void OnInterrupt(int)
{
    gInterrupted = 1;
}

void Draw(int nPercent)
{
    char szBar[kBarWidth + 1];
    const int nFilled = nPercent * kBarWidth / 100;
    std::memset(szBar, '#', static_cast<std::size_t>(nFilled));
    std::memset(szBar + nFilled, '.', static_cast<std::size_t>(kBarWidth - nFilled));
    szBar[kBarWidth] = '\0';
    std::fprintf(gBar.pStream, "\r%s [%s] %3d%%\x1b[K",
                 gBar.label.empty() ? "gladewick" : gBar.label.c_str(), szBar, nPercent);
    std::fflush(gBar.pStream);
    gBar.bDrawn = true;
}

} // namespace



void StartProgressBar(bool bEnable, std::FILE* pStream)
{
    const std::lock_guard<std::mutex> lock(gBarMutex);
    gBar = ProgressBarState();
    if (bEnable && pStream != nullptr && isatty(fileno(pStream)) != 0) {
        gBar.pStream = pStream;
    }
}



void ClearProgressLine()
{
    const std::lock_guard<std::mutex> lock(gBarMutex);
    if (gBar.pStream != nullptr && gBar.bDrawn) {
        std::fputs("\r\x1b[K", gBar.pStream);
        std::fflush(gBar.pStream);
        gBar.bDrawn = false;
        gBar.nLastPercent = -1;
    }
}



void Report(const std::string& message)
{
    ClearProgressLine();
    std::fprintf(stderr, "gladewick: %s\n", message.c_str());
}



void SetProgressLabel(const std::string& label)
{
    const std::lock_guard<std::mutex> lock(gBarMutex);
    gBar.label = label;
    gBar.nLastPercent = -1;
}



int ReportProgressToTerminal(int nPercent)
{
    const std::lock_guard<std::mutex> lock(gBarMutex);
    if (gBar.pStream != nullptr) {
        const int nClamped = nPercent < 0 ? 0 : (nPercent > 100 ? 100 : nPercent);
        if (nClamped != gBar.nLastPercent) {
            gBar.nLastPercent = nClamped;
            Draw(nClamped);
        }
    }
    return gInterrupted != 0 ? 0 : 1;
}



void ShowBatchProgress(const std::string& label, int nPercent)
{
    const std::lock_guard<std::mutex> lock(gBarMutex);
    gBar.label = label;
    if (gBar.pStream != nullptr) {
        gBar.nLastPercent = nPercent;
        Draw(nPercent);
    }
}



int StopOnInterrupt(int) noexcept
{
    return gInterrupted != 0 ? 0 : 1;
}



void FinishProgressBar(bool bCompleted)
{
    const std::lock_guard<std::mutex> lock(gBarMutex);
    if (gBar.pStream != nullptr && gBar.bDrawn) {
        if (bCompleted) {
            Draw(100);
        }
        std::fputc('\n', gBar.pStream);
        std::fflush(gBar.pStream);
    }
    gBar = ProgressBarState();
}



void InstallInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}



bool WasInterrupted() noexcept
{
    return gInterrupted != 0;
}

} // namespace gw::cli
