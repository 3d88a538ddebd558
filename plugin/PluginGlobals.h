// PluginGlobals.h - the module-wide state of the plug-in: one set per loaded
// module, made at attach and cleared at detach (PluginMain.cpp defines them).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "DiagnosticLog.h"
#include "ProductSettings.h"
#include "hostapi/HostApi.h"

class CFilter_Processing;

/// The plug-in module's own handle; dialog resources are loaded from it.
extern HINSTANCE gPluginInstance;
/// The one filter-processing object, from attach to detach (null if it could not be made).
extern CFilter_Processing* gFilterProcessing;
/// The record the host passed with the current PluginMain call.
extern FilterRecord* gFilterRecord;
/// The host's UI hooks suite, acquired at prepare; null when the host has none.
extern const PSUIHooksSuite1* gUIHooksSuite;
/// 1 once the finish selector ran: running engines are asked to stop. Read by
/// the engine's worker thread, hence atomic (a plain 32-bit store and load).
extern std::atomic<std::int32_t> gStopRequested;
/// The finished whole-image run has been collected.
extern bool gImageCollected;
/// The plug-in's diagnostic log; on exactly when its output flags are non-zero.
extern CDiagnosticLog gLog;
/// Product settings read from the registry at attach.
extern ProductSettings gProductSettings;

/// Log levels the plug-in writes at.
inline constexpr std::uint32_t kLogError = CDiagnosticLog::kLevelError;
inline constexpr std::uint32_t kLogTrace = CDiagnosticLog::kLevelTrace;
inline constexpr std::uint32_t kLogInfo = CDiagnosticLog::kLevelInfo;
inline constexpr std::uint32_t kLogAll = CDiagnosticLog::kLevelAll;

/// Writes an information entry when the log is on.
inline void LogInfo(const char* pText, std::uint32_t nLevel = kLogInfo) noexcept
{
    if (gLog.IsOn())
        gLog.Info(pText, nLevel);
}

/// Writes an information entry of printf-formatted text (at most 255
/// characters) when the log is on.
void LogFormatted(std::uint32_t nLevel, const char* pFormat, ...) noexcept
    __attribute__((format(printf, 2, 3)));
