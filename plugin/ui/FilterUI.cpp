// FilterUI.cpp - see FilterUI.h.
#include "ui/FilterUI.h"

#include "FailureInjection.h"
#include "FilterProcessing.h"
#include "LogScope.h"
#include "MachineFault.h"
#include "PluginGlobals.h"

CFilter_UI::CFilter_UI(CFilter_Processing& owner) noexcept : m_owner(owner)
{
}

CFilter_UI::~CFilter_UI() = default;

OSErr CFilter_UI::DoUI(bool /*bShow*/)
{
    CLogScope scope("DoUI");
    gw::plugin::InjectFailure("DoUI");
    // The dialog converts the image while it starts; with no dialog yet the
    // conversion runs here and the dialog counts as accepted. A failed
    // conversion ends the dialog as cancelled.
    return m_owner.InitializeImageEngine() ? noErr : userCanceledErr;
}

OSErr CFilter_UI::DoAbout()
{
    CLogScope scope("DoAbout");
    return noErr;
}

INT_PTR CALLBACK GWPluginUIProc(HWND hWnd, UINT /*nMessage*/, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    gw::plugin::CFaultBarrier barrier;
    if (gFilterProcessing != nullptr && gFilterProcessing->m_pUI)
        gFilterProcessing->m_pUI->m_hWnd = hWnd;
    return 0;
}

INT_PTR CALLBACK GWPluginAboutProc(HWND /*hWnd*/, UINT /*nMessage*/, WPARAM /*wParam*/,
                                   LPARAM /*lParam*/)
{
    gw::plugin::CFaultBarrier barrier;
    CLogScope scope("GWPluginAboutProc");
    return 0;
}
