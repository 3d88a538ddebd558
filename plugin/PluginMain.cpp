// PluginMain.cpp - module attach and detach, the exported entry point and the
// flat dispatch of the host's selectors.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <new>

#include "FailureInjection.h"
#include "FilterProcessing.h"
#include "Guard.h"
#include "HostHandles.h"
#include "LogScope.h"
#include "MachineFault.h"
#include "PluginGlobals.h"
#include "engine/CImageEngine.h"
#include "ui/FilterUI.h"

HINSTANCE gPluginInstance = nullptr;
CFilter_Processing* gFilterProcessing = nullptr;
FilterRecord* gFilterRecord = nullptr;
const PSUIHooksSuite1* gUIHooksSuite = nullptr;
std::atomic<std::int32_t> gStopRequested{0};
bool gImageCollected = false;
CDiagnosticLog gLog;
ProductSettings gProductSettings = {};

void LogFormatted(std::uint32_t nLevel, const char* pFormat, ...) noexcept
{
    if (!gLog.IsOn())
        return;
    char text[256];
    va_list args;
    va_start(args, pFormat);
    std::vsnprintf(text, sizeof text, pFormat, args);
    va_end(args);
    gLog.Info(text, nLevel);
}

namespace {

constexpr char kVendorName[] = "Corvane Technologies";
constexpr char kProductName[] = "Gladewick Pro";
constexpr char kLogFileName[] = "GWPluginLog.xml";
constexpr std::uint32_t kDefaultProductRevision = 8;
constexpr std::uint32_t kAllOutputs = 0xFFFFFFFFu;

OSErr DoAbout(const AboutRecord* /*pRecord*/)
{
    CLogScope scope("DoAbout");
    gw::plugin::InjectFailure("DoAbout");
    gFilterProcessing->m_pUI = std::make_unique<CFilter_UI>(*gFilterProcessing);
    gFilterProcessing->m_pUI->DoAbout();
    return noErr;
}

OSErr DoParameters()
{
    CLogScope scope("DoParameters");
    gw::plugin::InjectFailure("DoParameters");
    return gFilterProcessing->ReadScriptingParameters();
}

OSErr DoPrepare()
{
    CLogScope scope("DoPrepare");
    gw::plugin::InjectFailure("DoPrepare");
    const OSErr nResult = gFilterProcessing->ReadScriptingParameters();
    // Working memory comes from the process heap, none from the host.
    gFilterRecord->maxSpace = 0;
    gFilterRecord->bufferSpace = 0;
    gFilterProcessing->m_pUI = std::make_unique<CFilter_UI>(*gFilterProcessing);
    return nResult;
}

/// Runs the handler of one selector. The about selector passes an AboutRecord,
/// the others a FilterRecord.
OSErr DispatchSelector(int16 nSelector, void* pRecord)
{
    gw::plugin::InjectFailure("PluginMain");
    if (nSelector < filterSelectorAbout || nSelector > filterSelectorFinish)
        return noErr;
    if (gFilterProcessing == nullptr)
        throw std::bad_alloc(); // the object could not be made at attach
    if (pRecord == nullptr)
        return paramErr;

    switch (nSelector) {
    case filterSelectorAbout:
        return DoAbout(static_cast<const AboutRecord*>(pRecord));
    case filterSelectorParameters:
        return DoParameters();
    case filterSelectorPrepare: {
        const OSErr nResult = DoPrepare();
        gUIHooksSuite = gw::plugin::AcquireUIHooksSuite(*gFilterRecord);
        return nResult;
    }
    case filterSelectorStart:
        return gFilterProcessing->DoStart();
    case filterSelectorContinue:
        return gw::plugin::GuardResult(gw::plugin::kSiteDoContinue,
                                       [] { return gFilterProcessing->DoContinue(); });
    case filterSelectorFinish:
        return gFilterProcessing->DoFinish();
    default:
        return noErr;
    }
}

void OnProcessAttach(HINSTANCE hInstance) noexcept
{
    gProductSettings = {};
    gProductSettings.m_nDiagnostics = 0;
    gProductSettings.m_nProductRevision = kDefaultProductRevision;
    gPluginInstance = hInstance;
    gw::plugin::LoadFailureInjection();
    gw::plugin::InstallMachineFaultHandler(hInstance);
    gFilterProcessing = new (std::nothrow) CFilter_Processing();

    ReadProductSettings(kVendorName, kProductName, &gProductSettings);
    if (gProductSettings.m_nDiagnostics != 0) {
        try {
            gLog.Open(kLogFileName, gProductSettings.m_nDiagnostics, kAllOutputs);
        } catch (...) {
            // A log that cannot be made leaves the plug-in running without it.
            gLog.Close();
        }
    }
}

/// bProcessEnding: the whole process is ending (rather than the module being
/// unloaded); its other threads are already gone, possibly in the middle of a
/// heap call, so nothing is freed then: the system reclaims it all.
void OnProcessDetach(bool bProcessEnding) noexcept
{
    if (gFilterProcessing != nullptr && gFilterProcessing->m_pEngine) {
        CDiagnosticLog& engineLog = gFilterProcessing->m_pEngine->Log();
        engineLog.Write("Plugin Processing complete\n", kLogAll);
        engineLog.FlushRing();
    }
    if (!bProcessEnding)
        delete gFilterProcessing;
    gFilterProcessing = nullptr;
    gPluginInstance = nullptr;
    gw::plugin::RemoveMachineFaultHandler();
}

} // namespace

extern "C" void PluginMain(int16 nSelector, void* pRecord, intptr_t* /*pData*/, int16* pResult)
{
    // Anything below the host's call is ours; a guard pushed earlier on this
    // thread (a host calling back into us from a callback) must not catch it.
    gw::plugin::CFaultBarrier barrier;
    // The about selector's record is not a filter record; no handler may read it as one.
    gFilterRecord =
        nSelector == filterSelectorAbout ? nullptr : static_cast<FilterRecord*>(pRecord);
    const OSErr nResult = gw::plugin::GuardResult(
        gw::plugin::kSitePluginMain, [&] { return DispatchSelector(nSelector, pRecord); });
    if (pResult != nullptr)
        *pResult = nResult;
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD nReason, LPVOID pReserved)
{
    switch (nReason) {
    case DLL_PROCESS_ATTACH:
        OnProcessAttach(hInstance);
        break;
    case DLL_PROCESS_DETACH:
        OnProcessDetach(pReserved != nullptr);
        break;
    default:
        break;
    }
    return TRUE;
}
