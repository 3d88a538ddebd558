// WindowWatcher.h - a thread that finds every dialog window the plug-in shows
// in this process, reports it and closes it the way a person would.
//
// A message box (a dialog whose only controls are buttons and static texts) is
// reported with its caption and text, read from the real window, and dismissed
// with its default button. Any other dialog is reported by caption and then
// handled as the caller chose: OK, Cancel, or left alone. The watcher also ends
// the process when a run exceeds its time limit, so a plug-in that waits
// forever cannot hang a test.
#pragma once

#include "Trace.h"

#include <atomic>
#include <string>
#include <vector>
#include <chrono>
#include <future>
#include <thread>

namespace gw::host {

enum class DialogAction
{
    Ok,
    Cancel,
    Leave,
};

class CWindowWatcher
{
public:
    /// Starts watching. nDialogDelayMs: how long another dialog stays open before
    /// the action; nTimeoutSeconds: limit for the whole run (0 = none);
    /// keepCaptions: dialogs that a scenario drives, left alone whatever they hold.
    CWindowWatcher(CTrace& trace, DialogAction action, int nDialogDelayMs, int nTimeoutSeconds,
                   std::vector<std::string> keepCaptions = {});
    CWindowWatcher(const CWindowWatcher&) = delete;
    CWindowWatcher& operator=(const CWindowWatcher&) = delete;
    /// Stops and joins the thread.
    ~CWindowWatcher();

    /// Message boxes seen so far.
    int MessageBoxCount() const noexcept { return m_nMessageBoxes.load(); }

private:
    void Run(std::stop_token stop);
    void WarmUp();

    CTrace& m_trace;
    DialogAction m_action;
    std::chrono::milliseconds m_dialogDelay;
    std::chrono::seconds m_timeout;
    std::vector<std::string> m_keepCaptions;
    std::atomic<int> m_nMessageBoxes{0};
    std::promise<void> m_ready;
    std::jthread m_thread;
};

} // namespace gw::host
