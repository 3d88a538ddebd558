// Progress.h - the progress bar of the command-line tool and its stop request.
//
// The engine reports progress through a plain function pointer, so the bar is
// one per process. It draws on standard error only when that is a terminal.
// An interrupt (Ctrl-C) does not kill the tool: the next progress report asks
// the engine to stop, and the tool exits without writing anything.
#pragma once

#include <cstdio>
#include <string>

namespace gw::cli {

/// Shows the bar from now on when bEnable is set and pStream is a terminal.
void StartProgressBar(bool bEnable, std::FILE* pStream = stderr);

/// The text before the bar from now on ("3/40 IMG_0042.jpg"); empty for none.
void SetProgressLabel(const std::string& label);

/// Wipes a drawn bar so that a message can take its line; the next report
/// draws it again.
void ClearProgressLine();

/// The engine's progress callback: draws the percentage and answers 0 (stop)
/// once an interrupt has arrived, else 1.
int ReportProgressToTerminal(int nPercent);

/// Ends the bar's line, if one was drawn; a completed run shows 100 % first.
void FinishProgressBar(bool bCompleted);

/// From now on SIGINT and SIGTERM request a stop instead of ending the process.
void InstallInterruptHandler();

/// An interrupt has arrived since InstallInterruptHandler.
bool WasInterrupted() noexcept;

} // namespace gw::cli
