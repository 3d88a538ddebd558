// FilterProcessing.cpp - construction, derived values and the start,
// continue and finish selectors of CFilter_Processing.
#include "FilterProcessing.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "FailureInjection.h"
#include "Guard.h"
#include "LogScope.h"
#include "PluginGlobals.h"
#include "engine/CImageEngine.h"
#include "engine/settings/EngineSettings.h"
#include "ui/FilterUI.h"

namespace {

constexpr DWORD kPollSleepMs = 100;

/// Requests planes 0 (grey) or 0 to 2 (RGB) by image mode; false for any other mode.
bool ChoosePlanes(std::int16_t nImageMode, std::int16_t* pnLoPlane,
                  std::int16_t* pnHiPlane) noexcept
{
    switch (nImageMode) {
    case plugInModeGrayScale:
    case plugInModeGray16:
        *pnLoPlane = 0;
        *pnHiPlane = 0;
        return true;
    case plugInModeRGBColor:
    case plugInModeRGB48:
        *pnLoPlane = 0;
        *pnHiPlane = 2;
        return true;
    default:
        return false;
    }
}

constexpr Rect16 kEmptyRect = {0, 0, 0, 0};
constexpr gw::UserSettings kDefaultSettings{};

/// Leaves a worker that could not be stopped what it runs on: its engine and
/// planes are never freed, and the module is pinned so its code stays mapped.
void AbandonToWorker(std::unique_ptr<CImageEngine> pEngine,
                     std::unique_ptr<float[]> pPlanes) noexcept
{
    HMODULE hModule = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&AbandonToWorker), &hModule);
    (void)pEngine.release();
    (void)pPlanes.release();
    LogInfo("A whole-image worker did not stop; its engine is left to it");
}


} // namespace

CFilter_Processing::CFilter_Processing()
    : m_fAmount(0.60f)
    , m_nAmount(kDefaultSettings.nAmount)
    , m_fRadius(0.0f)
    , m_nFillLight(kDefaultSettings.nFillLight)
    , m_fThermal(0.40f)
    , m_nThermal(kDefaultSettings.nThermal)
    , m_fEpsilon(0.0001f)
    , m_nEpsilon(kDefaultSettings.nEpsilon)
    , m_fOutLow(-1.0f)
    , m_fOutHigh(1.0f)
    , m_fInputMin(0.0f)
    , m_fInputMax(0.0f)
    , m_bShowDialog(true)
    , m_bAfterShown(true)
    , m_bFastMode(false)
    , m_bFinalScaling(true)
    , m_nProgress(0)
    , m_nState(kStateIdle)
    , m_nPreviewSamples(0)
    , m_fPreviewZoom(0.0f)
{
    UpdateDerivedValues();
}

CFilter_Processing::~CFilter_Processing()
{
    gw::plugin::GuardTruth(gw::plugin::kSiteDestruction, [&] {
        gw::plugin::InjectFailure("~CFilter_Processing");
        // An engine whose worker still runs is not destroyed: that would wait
        // for the worker (at module detach, under the loader lock).
        if (m_pEngine && m_pEngine->HasLiveWorker()) {
            m_pEngine->CancelRun(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
            if (m_pEngine->HasLiveWorker())
                AbandonToWorker(std::move(m_pEngine), std::move(m_pImagePlanes));
        }
        m_pImagePlanes.reset();
        m_pPreviewPlanes.reset();
        m_pPreviewSource.reset();
        m_pUI.reset();
        m_pEngine.reset();
        m_pPreviewEngine.reset();
        m_pReferenceEngine.reset();
        m_image.Release();
        return true;
    });
}

void CFilter_Processing::UpdateDerivedValues() noexcept
{
    gw::UserSettings settings;
    settings.nAmount = m_nAmount;
    settings.nFillLight = m_nFillLight;
    settings.nThermal = m_nThermal;
    settings.nEpsilon = m_nEpsilon;
    const gw::EngineValues values = gw::EngineValuesFor(settings);
    m_fAmount = values.fAmount;
    m_fRadius = values.fRadius;
    m_fThermal = values.fThermal;
    m_fEpsilon = values.fEpsilon;
}

int CFilter_Processing::OnEngineProgress(int nPercent) noexcept
{
    return gFilterProcessing != nullptr && gFilterProcessing->ReportEngineProgress(nPercent) ? 1
                                                                                             : 0;
}

bool CFilter_Processing::ReportEngineProgress(std::int32_t nPercent) noexcept
{
    m_nProgress.store(nPercent, std::memory_order_relaxed);
    return gStopRequested.load() != 1;
}

OSErr CFilter_Processing::DoStart()
{
    CLogScope scope("DoStart");
    gw::plugin::InjectFailure("DoStart");
    // A host that keeps the module loaded runs the next invocation here; the
    // stop request of the previous finish must not stop its engines.
    gStopRequested = 0;
    OSErr nResult = ReadScriptingParameters();

    FilterRecord& record = *gFilterRecord;
    if (!ChoosePlanes(record.imageMode, &record.inLoPlane, &record.inHiPlane))
        return filterBadMode;
    record.inRect = record.filterRect;
    if (record.haveMask)
        record.maskRect = record.filterRect;
    m_nState = kStateGUI;
    return nResult;
}

OSErr CFilter_Processing::DoContinue()
{
    CLogScope scope("DoContinue");
    gw::plugin::InjectFailure("DoContinue");
    OSErr nResult = ReadScriptingParameters();

    switch (m_nState) {
    case kStateGUI:
        return ContinueInGUI(nResult);
    case kStateWaiting:
        return ContinueWaiting();
    case kStateWriting:
        return ContinueWriting(nResult);
    case kStateDone:
        LogInfo("DONE");
        return nResult;
    default:
        return nResult;
    }
}

OSErr CFilter_Processing::ContinueInGUI(OSErr nResult)
{
    LogInfo("GUI");
    FilterRecord& record = *gFilterRecord;
    // Nothing of an earlier invocation (its mask in particular) carries over.
    m_image.Clear();
    if (record.inData != nullptr)
        m_image.SetDimensions(record.filterRect.right - record.filterRect.left,
                              record.filterRect.bottom - record.filterRect.top, record);
    if (record.haveMask && record.maskData != nullptr)
        CopySelectionMask();

    if (!m_pUI)
        throw std::logic_error("no dialog object: the prepare selector did not run");
    nResult = m_pUI->DoUI(m_bShowDialog);
    if (nResult == userCanceledErr) {
        LogInfo("User cancelled the dialog");
        return userCanceledErr;
    }
    // A suppressed dialog whose start failed (reported already): the filter
    // ends with that failure and the image stays as it was.
    if (nResult != noErr)
        return nResult;
    if (!ProcessImage(true))
        nResult = filterBadParameters;
    m_nState = kStateWaiting;
    return nResult;
}

void CFilter_Processing::CopySelectionMask()
{
    const FilterRecord& record = *gFilterRecord;
    const std::int32_t nWidth = record.filterRect.right - record.filterRect.left;
    const std::int32_t nHeight = record.filterRect.bottom - record.filterRect.top;
    if (nWidth <= 0 || nHeight <= 0)
        return;
    // Rows shorter than the area would make the copy read past the host's mask.
    if (record.maskRowBytes < nWidth)
        throw std::invalid_argument("mask rows shorter than the filter area");
    std::uint8_t* pMask = m_image.AllocateMask(nWidth, nHeight, record.maskRowBytes);
    if (pMask == nullptr)
        throw std::bad_alloc();
    std::memcpy(pMask, record.maskData, static_cast<std::size_t>(m_image.m_nMaskBytes));
}

OSErr CFilter_Processing::ContinueWaiting()
{
    FilterRecord& record = *gFilterRecord;
    if (!ProcessImage(false)) {
        if (record.progressProc != nullptr)
            record.progressProc(m_nProgress.load(std::memory_order_relaxed), 100);
        Sleep(kPollSleepMs);
        return noErr;
    }
    m_nState = kStateWriting;
    if (!ChoosePlanes(record.imageMode, &record.outLoPlane, &record.outHiPlane))
        return filterBadMode;
    record.outRect = record.filterRect;
    if (record.haveMask)
        record.maskRect = record.filterRect;
    return noErr;
}

OSErr CFilter_Processing::ContinueWriting(OSErr nResult)
{
    LogInfo("WRITING");
    WriteResult();
    FilterRecord& record = *gFilterRecord;
    record.inRect = kEmptyRect;
    record.outRect = kEmptyRect;
    if (record.haveMask)
        record.maskRect = kEmptyRect;
    m_nState = kStateDone;
    return nResult;
}

OSErr CFilter_Processing::DoFinish()
{
    CLogScope scope("DoFinish");
    gw::plugin::InjectFailure("DoFinish");
    ReadScriptingParameters();
    gStopRequested = 1;
    CancelWholeImageRun(CImageEngine::kCancelWait, CImageEngine::kAbandonPause);
    return WriteScriptingParameters();
}


void CFilter_Processing::CancelWholeImageRun(std::chrono::milliseconds waitFor,
                                             std::chrono::milliseconds pauseAfter)
{
    // A stopped run ends its tags here; it is never collected.
    m_pRunLogScope.reset();
    if (!m_pEngine)
        return;
    m_pEngine->CancelRun(waitFor, pauseAfter);
    if (m_pEngine->HasLiveWorker())
        AbandonToWorker(std::move(m_pEngine), std::move(m_pImagePlanes));
}
