// Guard.h - the failure handlers of the plug-in's operations, written once.
//
// Every operation that can fail under memory pressure runs its body through
// GuardResult (operations that return a host result code) or GuardTruth
// (operations that return a truth value). These are the only places in the
// plug-in that catch: an allocation failure (std::bad_alloc), any other
// exception, and a machine fault raised by the plug-in's own code inside the
// body (MachineFault.h). Each handler logs, shows the numbered message box of
// its site, closes an open filter dialog where the site says so, and returns
// the failure value. The sites are the rows of one table, kGuardSites.
#pragma once

#include <new>

#include "MachineFault.h"
#include "hostapi/HostApi.h"

namespace gw::plugin {

/// One row of the failure table: what the handlers of an operation write and show.
struct GuardSite
{
    int m_nCode;                  ///< the three-digit code ending every text
    const char* m_pExitTag;       ///< exit tag the handlers write, or null
    const char* m_pMemoryLog;     ///< information entry (level 1) for an allocation failure
    const char* m_pOtherLog;      ///< information entry for anything else, or null for none
    const char* m_pOtherText;     ///< message box text for anything else
    const char* m_pMemoryCaption; ///< message box caption for an allocation failure
    const char* m_pOtherCaption;  ///< message box caption for anything else
    bool m_bClosesDialog;         ///< sends an open filter dialog a close request
};

inline constexpr GuardSite kGuardSites[] = {
    {1, nullptr, "Memory Exception in PluginMain", "Exception caught in PluginMain",
     "Exception caught in ProgressAbort.\nCode 001.", "Gladewick Plugin", "Gladewick", false},
    {3, "DoContinue", "Memory Exception in DoContinue", "Exception caught in DoContinue",
     "Exception caught in DoContinue.\nCode 003.", "Gladewick Pro", "Gladewick Pro", true},
    {4, "InitializeImageEngine", "Memory Exception in InitializeImageEngine",
     "Exception caught allocating image engine",
     "Exception caught allocating image engine.\nCode 004.", "Gladewick Engine", "Gladewick Engine",
     true},
    {5, "InitializeImageEngine", "Memory Exception in InitializeImageEngine",
     "Exception caught initializing image engine",
     "Exception caught initializing image engine.\nCode 005.", "Gladewick Pro", "Gladewick Pro",
     true},
    {6, "ProcessPreviewBuffer", "Memory Exception in ProcessPreviewBuffer", nullptr,
     "Exception caught in image engine processing preview.\nCode 006.", "Gladewick Engine",
     "Gladewick Engine", true},
    {12, "ProcessPreviewBuffer", "Memory Exception in ProcessPreviewBuffer",
     "Exception caught processing preview", "Exception caught processing preview.\nCode 012.",
     "Gladewick Pro", "Gladewick Pro", true},
    {12, nullptr, "Memory Exception in ProcessPreviewBuffer", "Exception caught processing preview",
     "Exception caught processing preview.\nCode 012.", "Gladewick Pro", "Gladewick Pro", true},
    {20, nullptr, "Memory Exception in ~CFilter_Processing",
     "Exception caught in ~CFilter_Processing",
     "Exception caught in ~CFilter_Processing.\nCode 020.", "Gladewick Plugin", "Gladewick Plugin",
     true},
};

inline constexpr const GuardSite& kSitePluginMain = kGuardSites[0];
inline constexpr const GuardSite& kSiteDoContinue = kGuardSites[1];
inline constexpr const GuardSite& kSiteProcessImage = kGuardSites[2];
inline constexpr const GuardSite& kSiteInitializeImageEngine = kGuardSites[3];
inline constexpr const GuardSite& kSitePreviewEngine = kGuardSites[4];
inline constexpr const GuardSite& kSiteProcessPreviewBuffer = kGuardSites[5];
/// The preview calls the dialog makes itself (Before/After, fade, zoom, pan):
/// reported as preview failures, without an operation's exit tag.
inline constexpr const GuardSite& kSiteDialogPreview = kGuardSites[6];
inline constexpr const GuardSite& kSiteDestruction = kGuardSites[7];

enum class FailureKind
{
    Memory, ///< std::bad_alloc
    Other   ///< any other exception or a machine fault
};

/// The handler sequence: log entry (level 1), exit tag if the site has one,
/// message box (no owner, error icon), close request to an open dialog.
void ReportFailure(const GuardSite& site, FailureKind kind) noexcept;

/// The message box text of a site, as the user sees it.
/// pBuffer must hold at least 128 characters.
const char* FailureText(const GuardSite& site, FailureKind kind, char* pBuffer,
                        unsigned nSize) noexcept;

/// Pushes a machine-fault guard for one scope.
class CFaultGuard
{
public:
    explicit CFaultGuard(FaultJump* pJump) noexcept : m_bPushed(PushFaultGuard(pJump)) {}
    ~CFaultGuard()
    {
        if (m_bPushed)
            PopFaultEntry();
    }
    CFaultGuard(const CFaultGuard&) = delete;
    CFaultGuard& operator=(const CFaultGuard&) = delete;

private:
    bool m_bPushed;
};

/// Runs body (returning OSErr) under the handlers of site: -108 for an
/// allocation failure, -50 for any other exception or a machine fault.
template <class Body>
OSErr GuardResult(const GuardSite& site, Body&& body) noexcept
{
    FaultJump jump;
    if (__builtin_setjmp(jump.m_apSlots) != 0) {
        ReportFailure(site, FailureKind::Other);
        return paramErr;
    }
    try {
        CFaultGuard guard(&jump);
        return body();
    } catch (const std::bad_alloc&) {
        ReportFailure(site, FailureKind::Memory);
        return memFullErr;
    } catch (...) {
        ReportFailure(site, FailureKind::Other);
        return paramErr;
    }
}

/// Runs body (returning bool) under the handlers of site; false on any failure.
template <class Body>
bool GuardTruth(const GuardSite& site, Body&& body) noexcept
{
    FaultJump jump;
    if (__builtin_setjmp(jump.m_apSlots) != 0) {
        ReportFailure(site, FailureKind::Other);
        return false;
    }
    try {
        CFaultGuard guard(&jump);
        return body();
    } catch (const std::bad_alloc&) {
        ReportFailure(site, FailureKind::Memory);
        return false;
    } catch (...) {
        ReportFailure(site, FailureKind::Other);
        return false;
    }
}

} // namespace gw::plugin
