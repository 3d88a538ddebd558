// FilterDialog.cpp - the modal filter dialog: DoUI, the dialog procedure, the
// controls' handlers and the Before/After fade.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>

#include "FailureInjection.h"
#include "FilterProcessing.h"
#include "Guard.h"
#include "LogScope.h"
#include "MachineFault.h"
#include "PluginGlobals.h"
#include "engine/settings/EngineSettings.h"
#include "ui/DialogIds.h"
#include "ui/FilterUI.h"

namespace {

constexpr int kMinValue = 0;
constexpr int kMaxValue = 100;
constexpr gw::UserSettings kDefaultSettings{};
constexpr const char kDialogCaption[] = "Gladewick Pro";
// The end-of-tracking notification of a trackbar (TB_ENDTRACK) as a bit.
constexpr WORD kEndTrackBit = 0x8;
// A trackbar's style bit that makes the down arrow move left (TBS_DOWNISLEFT).
constexpr LONG_PTR kDownIsLeft = 0x0400;

void AssertUI(bool bCondition, const char* pText) noexcept
{
    if (gLog.IsOn())
        gLog.Assert(bCondition, pText, kLogError);
}

/// One numeric field with its slider: Amount or Fill Light.
struct ValueControls
{
    int nEdit;
    int nSlider;
    const char* pRangeText;
    std::int32_t CFilter_Processing::*pValue;
    std::uint32_t nUpdateBit;
};

constexpr ValueControls kAmount{IDC_AMOUNT_EDIT, IDC_AMOUNT_SLIDER,
                                "Amount must be between %d and %d", &CFilter_Processing::m_nAmount,
                                UPDATE_AMOUNT};
constexpr ValueControls kFillLight{IDC_FILL_LIGHT_EDIT, IDC_FILL_LIGHT_SLIDER,
                                   "Fill Light must be between %d and %d",
                                   &CFilter_Processing::m_nFillLight, UPDATE_FILL_LIGHT};

/// Set while the controls are loaded from the owner's values: the edits'
/// change notifications then come from the program, not from typing, and a
/// value played back from a descriptor (taken without a range check) must
/// neither be refused with a message box nor replaced.
bool gbLoadingControls = false;

void LoadSlider(HWND hDialog, const ValueControls& controls, std::int32_t nValue)
{
    gbLoadingControls = true;
    SetDlgItemInt(hDialog, controls.nEdit, static_cast<UINT>(nValue), FALSE);
    gbLoadingControls = false;
    HWND hSlider = GetDlgItem(hDialog, controls.nSlider);
    SendMessageA(hSlider, TBM_SETRANGEMIN, TRUE, kMinValue);
    SendMessageA(hSlider, TBM_SETRANGEMAX, TRUE, kMaxValue);
    SendMessageA(hSlider, TBM_SETLINESIZE, 0, 1);
    SendMessageA(hSlider, TBM_SETPAGESIZE, 0, 10);
    SendMessageA(hSlider, TBM_SETPOS, TRUE, nValue);
}

void CheckButton(HWND hDialog, int nId, bool bChecked)
{
    CheckDlgButton(hDialog, nId, bChecked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND hDialog, int nId)
{
    return IsDlgButtonChecked(hDialog, nId) == BST_CHECKED;
}

/// A slider moved: its value shows in the edit at once; the preview follows
/// when the thumb is released (end of tracking).
void OnSlider(CFilter_UI& ui, CFilter_Processing& owner, const ValueControls& controls, WORD nCode)
{
    const auto nPosition = static_cast<std::int32_t>(
        SendDlgItemMessageA(ui.m_hWnd, controls.nSlider, TBM_GETPOS, 0, 0));
    SetDlgItemInt(ui.m_hWnd, controls.nEdit, static_cast<UINT>(nPosition), FALSE);
    owner.*controls.pValue = nPosition;
    if (nCode & kEndTrackBit)
        ui.UpdateDisplay(controls.nUpdateBit);
}

/// The text of an edit changed. Only a change the user typed (the edit has
/// the focus) moves the slider and makes a new preview; a change written by a
/// slider or by Defaults only stores the value.
void OnEditChange(CFilter_UI& ui, CFilter_Processing& owner, const ValueControls& controls)
{
    if (gbLoadingControls)
        return;
    HWND hDialog = ui.m_hWnd;
    BOOL bNumber = FALSE;
    std::int32_t nValue =
        static_cast<std::int32_t>(GetDlgItemInt(hDialog, controls.nEdit, &bNumber, FALSE));
    if (bNumber && (nValue < kMinValue || nValue > kMaxValue)) {
        char text[64];
        std::snprintf(text, sizeof text, controls.pRangeText, kMinValue, kMaxValue);
        MessageBoxA(hDialog, text, "Error", MB_ICONEXCLAMATION | MB_OK);
        nValue = static_cast<std::int32_t>(
            SendDlgItemMessageA(hDialog, controls.nSlider, TBM_GETPOS, 0, 0));
        SetDlgItemInt(hDialog, controls.nEdit, static_cast<UINT>(nValue), FALSE);
    }
    if (!bNumber) {
        owner.*controls.pValue = 0; // an empty field; the preview waits for a number
        return;
    }
    owner.*controls.pValue = nValue;
    if (GetFocus() == GetDlgItem(hDialog, controls.nEdit)) {
        SendDlgItemMessageA(hDialog, controls.nSlider, TBM_SETPOS, TRUE, nValue);
        ui.UpdateDisplay(controls.nUpdateBit);
    }
}

void OnDefaults(CFilter_UI& ui, CFilter_Processing& owner)
{
    HWND hDialog = ui.m_hWnd;
    owner.m_nAmount = kDefaultSettings.nAmount;
    owner.m_nFillLight = kDefaultSettings.nFillLight;
    owner.m_nThermal = kDefaultSettings.nThermal;
    owner.m_nEpsilon = kDefaultSettings.nEpsilon;
    owner.m_bFastMode = false;
    CheckButton(hDialog, IDC_QUALITY, true);
    CheckButton(hDialog, IDC_SPEED, false);
    SendDlgItemMessageA(hDialog, IDC_AMOUNT_SLIDER, TBM_SETPOS, TRUE, owner.m_nAmount);
    SendDlgItemMessageA(hDialog, IDC_FILL_LIGHT_SLIDER, TBM_SETPOS, TRUE, owner.m_nFillLight);
    SetDlgItemInt(hDialog, IDC_AMOUNT_EDIT, static_cast<UINT>(owner.m_nAmount), FALSE);
    SetDlgItemInt(hDialog, IDC_FILL_LIGHT_EDIT, static_cast<UINT>(owner.m_nFillLight), FALSE);
    ui.UpdateDisplay(UPDATE_FILL_LIGHT | UPDATE_AMOUNT | UPDATE_EPSILON | UPDATE_THERMAL);
}

/// Loads the controls, makes the preview engines and the first preview; false
/// when that failed (reported, and the dialog was asked to close).
bool InitializeDialog(CFilter_UI& ui, CFilter_Processing& owner)
{
    CLogScope scope("WM_INITDIALOG");
    HWND hDialog = ui.m_hWnd;
    ui.InitPreview();
    // The start checks After and shows the processed preview, so the flag
    // that chooses the picture must say so too, whatever an earlier dialog
    // of this loaded plug-in left in it.
    owner.m_bAfterShown = true;
    ui.SetDefaults();
    for (int nSlider : {IDC_AMOUNT_SLIDER, IDC_FILL_LIGHT_SLIDER}) {
        HWND hSlider = GetDlgItem(hDialog, nSlider);
        SetWindowLongPtrA(hSlider, GWL_STYLE, GetWindowLongPtrA(hSlider, GWL_STYLE) | kDownIsLeft);
    }
    if (!owner.InitializeImageEngine())
        return false;
    owner.CopyPreview(1.0f);
    ui.UpdateDisplay(0);
    SetWindowTextA(hDialog, kDialogCaption);
    return true;
}

/// Returns true when the dialog must report that it did not start.
bool OnInitDialog(CFilter_UI& ui, CFilter_Processing& owner)
{
    if (!InitializeDialog(ui, owner))
        return true;
    owner.ReportEngineProgress(0);
    // A suppressed dialog ends when its creation returns (DoUI); only a shown
    // one paints and waits for the user.
    if (!ui.m_bSuppressed) {
        Sleep(100);
        ui.PaintPreview();
    }
    return false;
}

void OnCommand(CFilter_UI& ui, CFilter_Processing& owner, WORD nId, WORD nCode)
{
    HWND hDialog = ui.m_hWnd;
    switch (nId) {
    case IDOK:
    case IDCANCEL:
        // A suppressed dialog is not modal; DoUI ends it.
        if (nCode == BN_CLICKED && !ui.m_bSuppressed)
            EndDialog(hDialog, nId);
        break;
    case IDC_AMOUNT_EDIT:
        if (nCode == EN_CHANGE)
            OnEditChange(ui, owner, kAmount);
        break;
    case IDC_FILL_LIGHT_EDIT:
        if (nCode == EN_CHANGE)
            OnEditChange(ui, owner, kFillLight);
        break;
    case IDC_DEFAULTS:
        if (nCode == BN_CLICKED)
            OnDefaults(ui, owner);
        break;
    case IDC_ZOOM_OUT:
        if (nCode == BN_CLICKED)
            ui.ZoomOut();
        break;
    case IDC_ZOOM_IN:
        if (nCode == BN_CLICKED)
            ui.ZoomIn();
        break;
    case IDC_AFTER:
        if (nCode == BN_CLICKED && !owner.m_bAfterShown) {
            if (ui.m_bAnimate)
                ui.Fade(true);
            owner.CopyPreview(1.0f);
            ui.PaintPreview();
            ui.InvalidatePreview(ui.m_rectPreview, false);
            owner.m_bAfterShown = true;
        }
        break;
    case IDC_BEFORE:
        if (nCode == BN_CLICKED && owner.m_bAfterShown) {
            if (ui.m_bAnimate)
                ui.Fade(false);
            owner.FillPreviewBuffer();
            ui.InvalidatePreview(ui.m_rectPreview, false);
            owner.m_bAfterShown = false;
        }
        break;
    case IDC_ANIMATE:
        if (nCode == BN_CLICKED)
            ui.m_bAnimate = IsChecked(hDialog, IDC_ANIMATE) ? 1 : 0;
        break;
    case IDC_AUTOSCALE:
        if (nCode == BN_CLICKED) {
            owner.m_bFinalScaling = IsChecked(hDialog, IDC_AUTOSCALE);
            ui.UpdateDisplay(UPDATE_AUTOSCALE);
        }
        break;
    case IDC_QUALITY:
    case IDC_SPEED:
        if (nCode == BN_CLICKED) {
            owner.m_bFastMode = IsChecked(hDialog, IDC_SPEED);
            ui.UpdateDisplay(UPDATE_SPEED);
        }
        break;
    case IDC_HELP_BUTTON:
        if (nCode == BN_CLICKED)
            OpenUserManual(hDialog);
        break;
    default:
        break;
    }
}

POINT PointOf(LPARAM lParam) noexcept
{
    // The point as unsigned 16-bit values, as the window system packs it.
    return POINT{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
}

} // namespace

void CFilter_UI::SetDefaults()
{
    CLogScope scope("SetDefaults");
    m_bAnimate = 1;
    LoadSlider(m_hWnd, kAmount, m_owner.m_nAmount);
    LoadSlider(m_hWnd, kFillLight, m_owner.m_nFillLight);
    ShowZoomLabel();
    CheckButton(m_hWnd, IDC_AFTER, true);
    CheckButton(m_hWnd, IDC_BEFORE, false);
    CheckButton(m_hWnd, IDC_ANIMATE, m_bAnimate != 0);
    CheckButton(m_hWnd, IDC_SPEED, m_owner.m_bFastMode);
    CheckButton(m_hWnd, IDC_QUALITY, !m_owner.m_bFastMode);
    CheckButton(m_hWnd, IDC_AUTOSCALE, m_owner.m_bFinalScaling);
}

void CFilter_UI::ShowPreviewFrame(float fBlend)
{
    m_owner.CopyPreview(fBlend);
    PaintPreview();
    InvalidatePreview(m_rectPreview, false);
}

void CFilter_UI::Fade(bool bIn)
{
    // Each step is the last frame's share of a second, so the fade takes
    // about a second on any machine; a frame slower than a second ends it.
    float fWeight = bIn ? 0.0f : 1.0f;
    while (bIn ? fWeight <= 1.0f : fWeight >= 0.0f) {
        const std::clock_t start = std::clock();
        ShowPreviewFrame(fWeight);
        long nMilliseconds = static_cast<long>((std::clock() - start) * 1000 / CLOCKS_PER_SEC);
        if (nMilliseconds < 1)
            nMilliseconds = 1;
        const long nFramesPerSecond = 1000 / nMilliseconds;
        if (nFramesPerSecond == 0)
            break;
        const float fStep = 1.0f / static_cast<float>(nFramesPerSecond);
        fWeight = bIn ? fWeight + fStep : fWeight - fStep;
    }
}

OSErr CFilter_UI::DoUI(bool bShow)
{
    CLogScope scope("DoUI");
    gw::plugin::InjectFailure("DoUI");
    AssertUI(gFilterRecord != nullptr, "DoUI: gFilterRecord");
    AssertUI(gFilterRecord == nullptr || gFilterRecord->platformData != nullptr,
             "DoUI: gFilterRecord->platformData");

    InitCommonControls();
    HWND hOwner = nullptr;
    if (gFilterRecord != nullptr && gFilterRecord->platformData != nullptr)
        hOwner = reinterpret_cast<HWND>(gFilterRecord->platformData->hwnd);
    m_nFailure = noErr;
    m_bSuppressed = !bShow;
    if (bShow) {
        const INT_PTR nResult =
            DialogBoxParamA(gPluginInstance, MAKEINTRESOURCEA(IDD_FILTER_DIALOG), hOwner,
                            GWPluginUIProc, reinterpret_cast<LPARAM>(this));
        // The window is gone: nothing may send it a close request any more.
        m_hWnd = nullptr;
        return nResult == IDOK ? noErr : userCanceledErr;
    }
    return RunSuppressed(hOwner);
}

/// The dialog of a played-back action: the same window and initialisation
/// (preview engines, the first preview), made without its visible style and
/// destroyed at once. A failure reported during the initialisation ends the
/// filter with its failure value.
OSErr CFilter_UI::RunSuppressed(HWND hOwner)
{
    HRSRC hResource =
        FindResourceA(gPluginInstance, MAKEINTRESOURCEA(IDD_FILTER_DIALOG), MAKEINTRESOURCEA(5));
    HGLOBAL hLoaded = hResource ? LoadResource(gPluginInstance, hResource) : nullptr;
    const void* pResource = hLoaded ? LockResource(hLoaded) : nullptr;
    const DWORD nBytes = hResource ? SizeofResource(gPluginInstance, hResource) : 0;
    if (pResource == nullptr || nBytes < 16)
        throw std::runtime_error("the filter dialog's template is missing");
    std::vector<std::uint8_t> dialogTemplate(static_cast<const std::uint8_t*>(pResource),
                                             static_cast<const std::uint8_t*>(pResource) + nBytes);
    // The style is at offset 12 of an extended template (version 1, signature
    // 0xFFFF), at 0 of a plain one.
    std::uint16_t nSignature = 0;
    std::memcpy(&nSignature, dialogTemplate.data() + 2, sizeof nSignature);
    const std::size_t nStyleAt = nSignature == 0xFFFF ? 12 : 0;
    DWORD nStyle = 0;
    std::memcpy(&nStyle, dialogTemplate.data() + nStyleAt, sizeof nStyle);
    nStyle &= ~static_cast<DWORD>(WS_VISIBLE);
    std::memcpy(dialogTemplate.data() + nStyleAt, &nStyle, sizeof nStyle);

    HWND hDialog = CreateDialogIndirectParamA(
        gPluginInstance, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()), hOwner,
        GWPluginUIProc, reinterpret_cast<LPARAM>(this));
    const OSErr nFailure = m_nFailure;
    if (hDialog != nullptr)
        DestroyWindow(hDialog);
    m_hWnd = nullptr;
    m_bSuppressed = false;
    if (nFailure != noErr)
        return nFailure;
    if (hDialog == nullptr)
        throw std::runtime_error("the filter dialog could not be made");
    return noErr;
}

namespace {

INT_PTR DispatchDialogMessage(CFilter_UI& ui, HWND hWnd, UINT nMessage, WPARAM wParam,
                              LPARAM lParam)
{
    CFilter_Processing& owner = ui.Owner();
    ui.m_hWnd = hWnd;
    switch (nMessage) {
    case WM_INITDIALOG:
        return OnInitDialog(ui, owner) ? TRUE : FALSE;
    case WM_PAINT:
        ui.PaintPreview();
        break;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(hWnd, IDC_AMOUNT_SLIDER))
            OnSlider(ui, owner, kAmount, LOWORD(wParam));
        else if (reinterpret_cast<HWND>(lParam) == GetDlgItem(hWnd, IDC_FILL_LIGHT_SLIDER))
            OnSlider(ui, owner, kFillLight, LOWORD(wParam));
        break;
    case WM_COMMAND:
        OnCommand(ui, owner, LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_LBUTTONDOWN:
        ui.OnMouseDown(PointOf(lParam));
        break;
    case WM_MOUSEMOVE:
        ui.OnMouseMove(PointOf(lParam));
        break;
    case WM_LBUTTONUP:
        ui.OnMouseUp(PointOf(lParam));
        break;
    default:
        break;
    }
    return 0;
}

} // namespace

INT_PTR CALLBACK GWPluginUIProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam) noexcept
{
    gw::plugin::CFaultBarrier barrier;
    // The dialog object comes with WM_INITDIALOG and stays with the window;
    // the messages before it have none.
    if (nMessage == WM_INITDIALOG)
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    auto* pUI = reinterpret_cast<CFilter_UI*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    if (pUI == nullptr)
        return 0;
    // Nothing may leave a window procedure by an exception: a failure of the
    // preview calls made here is reported and closes the dialog.
    INT_PTR nResult = 0;
    gw::plugin::GuardTruth(gw::plugin::kSiteDialogPreview, [&] {
        nResult = DispatchDialogMessage(*pUI, hWnd, nMessage, wParam, lParam);
        return true;
    });
    return nResult;
}
