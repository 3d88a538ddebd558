// Progress.h - the progress bar of the command-line tool and its stop request.
//
// The engine reports progress through a plain function pointer, so the bar is
// one per process; it may be called from several threads. It draws on standard error only when that is a terminal.
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

/// Prints "gladewick: MESSAGE" on standard error, on a line of its own.
void Report(const std::string& message);

/// The engine's progress callback: draws the percentage and answers 0 (stop)
/// once an interrupt has arrived, else 1.
int ReportProgressToTerminal(int nPercent);

/// Draws the bar of a batch whose lanes run side by side: the label and the
/// share of its photos done, instead of one engine's percentage.
void ShowBatchProgress(const std::string& label, int nPercent);

/// An engine's progress callback that draws nothing: answers 0 (stop) once an
/// interrupt has arrived, else 1.
int StopOnInterrupt(int nPercent) noexcept;

/// Ends the bar's line, if one was drawn; a completed run shows 100 % first.
void FinishProgressBar(bool bCompleted);

/// From now on SIGINT and SIGTERM request a stop instead of ending the process.
void InstallInterruptHandler();

/// An interrupt has arrived since InstallInterruptHandler.
bool WasInterrupted() noexcept;

} // namespace gw::cli
