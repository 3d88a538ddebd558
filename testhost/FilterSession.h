// FilterSession.h - one filter invocation as a host performs it: the record,
// the selector sequence, and the source, destination and mask buffers for the
// rectangles and planes the plug-in requests.
#pragma once

#include "PluginModule.h"
#include "Trace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gw::host {

/// What the command line asks of "gwhost apply".
struct ApplyOptions
{
    std::string plugin;
    std::string input;
    std::string output;
    std::string mask;         ///< PGM selection mask, 255 = selected; empty = none
    std::optional<int> nMode; ///< image mode to announce instead of the image's own
    // Optional services a minimal host withholds.
    bool bSPBasic = true;
    bool bUIHooks = true;
    bool bProgress = true;
    bool bAbortProc = true;
    bool bDescriptors = true;
    bool bHandleProcs = true;
    bool bDisplay = true;
    bool bWindow = true;
    int nHandleProcsCount = 8;
    // Scripting playback.
    int nPlayInfo = 1; ///< plugInDialogDisplay
    std::optional<std::int32_t> nAmount;
    std::optional<std::int32_t> nFillLight;
    std::optional<bool> bSpeed;
    std::optional<bool> bAutoScale;
    // Sequence: numbers are selectors, "loop" the continue loop. Empty = the usual one.
    std::vector<std::string> sequence;
    int nCancelAfter = -1; ///< continue calls before the host cancels; -1 = never
    int nMaxContinue = 100000;
    /// Further images (input, output) filtered one after the other by the same
    /// loaded module, as an editor applies the filter to several documents.
    std::vector<std::pair<std::string, std::string>> further;
};

/// Exit codes of gwhost.
enum ExitCode : int
{
    kExitOk = 0,              ///< the host protocol ran; plug-in results are printed
    kExitHostError = 1,       ///< bad arguments or files, module not usable
    kExitPluginViolation = 2, ///< the plug-in broke the protocol (bad request, overrun, bad handle)
    kExitTimeout = 3,
    kExitCrash = 4, ///< an exception nobody handled (reported, then the process ends)
};

/// Runs "apply"; returns an ExitCode. Reports on stdout, stderr and the trace.
int RunApply(const ApplyOptions& options, CTrace& trace);

/// Loads the module, finds its PiPL, parses it and checks that this host can run
/// the filter (kind, interface version, entry point of this architecture).
/// Throws PluginLoadError or PiplError.
PluginEntryProc FindFilterEntry(const CPluginModule& module, std::vector<std::uint8_t>* pFici);

} // namespace gw::host
