// Guard.cpp - the failure handler sequence shared by every guarded operation.
#include "Guard.h"

#include <windows.h>

#include <cstdio>

#include "FilterProcessing.h"
#include "PluginGlobals.h"
#include "ui/FilterUI.h"

namespace gw::plugin {

const char* FailureText(const GuardSite& site, FailureKind kind, char* pBuffer,
                        unsigned nSize) noexcept
{
    if (kind == FailureKind::Other)
        return site.m_pOtherText;
    std::snprintf(pBuffer, nSize,
                  "Could not complete the Gladewick command because there is not enough "
                  "memory (RAM).\nCode %03d.",
                  site.m_nCode);
    return pBuffer;
}

void ReportFailure(const GuardSite& site, FailureKind kind) noexcept
{
    const bool bMemory = kind == FailureKind::Memory;
    if (gLog.IsOn()) {
        const char* pEntry = bMemory ? site.m_pMemoryLog : site.m_pOtherLog;
        if (pEntry != nullptr)
            gLog.Info(pEntry, kLogError);
        if (site.m_pExitTag != nullptr)
            gLog.Exit(site.m_pExitTag, kLogTrace);
    }

    char szText[160];
    MessageBoxA(nullptr, FailureText(site, kind, szText, sizeof(szText)),
                bMemory ? site.m_pMemoryCaption : site.m_pOtherCaption, MB_OK | MB_ICONERROR);

    if (site.m_bClosesDialog && gFilterProcessing != nullptr && gFilterProcessing->m_pUI
        && gFilterProcessing->m_pUI->m_hWnd != nullptr)
    {
        // The first failure decides how a suppressed dialog ends the filter.
        CFilter_UI& ui = *gFilterProcessing->m_pUI;
        if (ui.m_nFailure == noErr)
            ui.m_nFailure = bMemory ? memFullErr : paramErr;
        SendMessageA(ui.m_hWnd, WM_CLOSE, 0, 0);
    }
}

} // namespace gw::plugin
