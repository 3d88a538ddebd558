// HostServices.h - the callbacks and suites gwhost offers a plug-in besides
// pixels, handles and descriptors: progress, abort, displayPixels (painted for
// real into the device context), the basic suite and the UI hooks suite.
//
// Host callbacks carry no context pointer, so the services of the one running
// filter session are reached through a process-wide pointer set by Activate().
#pragma once

#include "Trace.h"
#include "hostapi/HostApi.h"

#include <atomic>
#include <cstdint>

namespace gw::host {

class CHostServices
{
public:
    CHostServices(CTrace& trace, intptr_t hMainWindow);
    CHostServices(const CHostServices&) = delete;
    CHostServices& operator=(const CHostServices&) = delete;
    ~CHostServices();

    /// Makes this object the receiver of every callback below.
    void Activate() noexcept;

    /// Whether the UI hooks suite is offered through AcquireSuite.
    void OfferUIHooks(bool bOffer) noexcept { m_bOfferUIHooks = bOffer; }
    /// From now on abortProc answers "cancel".
    void RequestAbort() noexcept { m_bAbort = true; }

    SPBasicSuite* BasicSuite() noexcept { return &m_basic; }
    PSUIHooksSuite1* UIHooksSuite() noexcept { return &m_uiHooks; }

    static Boolean TestAbort();
    static void Progress(int32 nDone, int32 nTotal);
    static void ProcessEvent(void* pEvent);
    static OSErr DisplayPixels(const PSPixelMap* pSource, const VRect* pRect, int32 nDstRow,
                               int32 nDstCol, void* pPlatformContext);

    int ProgressCalls() const noexcept { return m_nProgressCalls; }
    int DisplayCalls() const noexcept { return m_nDisplayCalls; }
    int SuitesHeld() const noexcept { return m_nSuitesHeld; }

private:
    static SPErr AcquireSuite(const char* pName, int32 nVersion, const void** ppSuite);
    static SPErr ReleaseSuite(const char* pName, int32 nVersion);
    static SPBoolean IsEqual(const char* p1, const char* p2);
    static SPErr AllocateBlock(size_t nSize, void** ppBlock);
    static SPErr FreeBlock(void* pBlock);
    static SPErr ReallocateBlock(void* pBlock, size_t nSize, void** ppBlock);
    static SPErr Undefined();
    static intptr_t MainAppWindow();
    static SPErr SetCursor(const char* pName);
    static uint32 TickCount();
    static SPErr GetPluginName(void* pRef, ASZString* pName);

    CTrace& m_trace;
    intptr_t m_hMainWindow;
    SPBasicSuite m_basic{};
    PSUIHooksSuite1 m_uiHooks{};
    bool m_bOfferUIHooks = true;
    std::atomic<bool> m_bAbort{false};
    int m_nProgressCalls = 0;
    int m_nDisplayCalls = 0;
    int m_nSuitesHeld = 0;
};

} // namespace gw::host
