// A small filter whose behaviour is chosen by the environment variable
// GW_FAULT, so that gwhost's checks can be tried on plug-in faults:
//   (unset)  invert every sample (16-bit: 32768 - v), honouring the row bytes
//   mask     write the selection mask into every plane
//   overrun  write one byte past the end of outData
//   padding  write into the padding of the first destination row
//   handle   dispose of a handle the host never made
//   leak     keep a handle without disposing of it
//   crash    read through a null pointer
//   msgbox   show a message box, then finish normally
//   hang     never return from the first continue call
//   services use the UI hooks suite (cursors), displayPixels and progressProc
#include "hostapi/HostApi.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Fault()
{
    const char* p = std::getenv("GW_FAULT");
    return p ? p : "";
}

void Request(FilterRecord& rec)
{
    const int16 nPlanes = static_cast<int16>(rec.planes - 1);
    rec.inRect = rec.filterRect;
    rec.outRect = rec.filterRect;
    rec.inLoPlane = rec.outLoPlane = 0;
    rec.inHiPlane = rec.outHiPlane = nPlanes;
    if (rec.haveMask) {
        rec.maskRect = rec.filterRect;
    }
}

void Process(FilterRecord& rec, const std::string& fault)
{
    const int nRows = rec.outRect.bottom - rec.outRect.top;
    const int nSamples =
        (rec.outRect.right - rec.outRect.left) * (rec.outHiPlane - rec.outLoPlane + 1);
    const int nPlanes = rec.outHiPlane - rec.outLoPlane + 1;
    const bool bDeep = rec.depth == 16;
    for (int r = 0; r < nRows; ++r) {
        const auto* pIn = static_cast<const uint8*>(rec.inData) + r * rec.inRowBytes;
        auto* pOut = static_cast<uint8*>(rec.outData) + r * rec.outRowBytes;
        const auto* pMask = static_cast<const uint8*>(rec.maskData) + r * rec.maskRowBytes;
        for (int i = 0; i < nSamples; ++i) {
            const uint8 nMask = fault == "mask" && rec.maskData ? pMask[i / nPlanes] : 0;
            if (bDeep) {
                uint16 v;
                std::memcpy(&v, pIn + 2 * i, 2);
                v = fault == "mask" ? static_cast<uint16>(nMask * 128)
                                    : static_cast<uint16>(32768 - v);
                std::memcpy(pOut + 2 * i, &v, 2);
            } else {
                pOut[i] = fault == "mask" ? nMask : static_cast<uint8>(255 - pIn[i]);
            }
        }
    }
    auto* pOut = static_cast<uint8*>(rec.outData);
    if (fault == "overrun") {
        pOut[nRows * rec.outRowBytes] = 0;
    }
    if (fault == "padding") {
        pOut[nSamples * (bDeep ? 2 : 1)] = 0;
    }
}

void UseServices(FilterRecord& rec)
{
    const void* pSuite = nullptr;
    if (rec.sSPBasic
        && rec.sSPBasic->AcquireSuite(kPSUIHooksSuiteName, kPSUIHooksSuiteVersion1, &pSuite) == 0)
    {
        const auto* pHooks = static_cast<const PSUIHooksSuite1*>(pSuite);
        pHooks->SetCursor(kPICursorHand);
        pHooks->SetCursor("No Such Cursor");
        rec.sSPBasic->ReleaseSuite(kPSUIHooksSuiteName, kPSUIHooksSuiteVersion1);
    }
    if (rec.displayPixels) {
        uint8 pixels[12];
        for (int i = 0; i < 12; ++i) {
            pixels[i] = static_cast<uint8>(i * 20);
        }
        PSPixelMap map{};
        map.version = 1;
        map.bounds = VRect{0, 0, 2, 2};
        map.imageMode = plugInModeRGBColor;
        map.rowBytes = 6;
        map.colBytes = 3;
        map.planeBytes = 1;
        map.baseAddr = pixels;
        const VRect rect{0, 0, 2, 2};
        HDC hDC = CreateCompatibleDC(nullptr);
        rec.displayPixels(&map, &rect, 5, 7, hDC);
        rec.displayPixels(&map, &rect, 5, 7, nullptr);
        DeleteDC(hDC);
    }
    if (rec.progressProc) {
        rec.progressProc(50, 100);
    }
}

int16 Continue(FilterRecord& rec)
{
    const std::string fault = Fault();
    if (fault == "hang") {
        for (;;) {
            Sleep(1000);
        }
    }
    if (fault == "crash") {
        volatile int* pNull = nullptr;
        return static_cast<int16>(*pNull);
    }
    if (fault == "msgbox") {
        MessageBoxA(nullptr, "Exception caught.\nCode 042.", "Faulty", MB_OK | MB_ICONERROR);
    }
    if (fault == "handle" && rec.handleProcs) {
        char* pFake = nullptr;
        rec.handleProcs->disposeProc(&pFake);
    }
    if (fault == "leak" && rec.handleProcs) {
        rec.handleProcs->newProc(10);
    }
    if (fault == "services") {
        UseServices(rec);
    }
    if (rec.inData && rec.outData) {
        Process(rec, fault);
    }
    rec.inRect = rec.outRect = rec.maskRect = Rect16{};
    return noErr;
}

} // namespace

extern "C" __declspec(dllexport) void PluginMain(int16 nSelector, void* pRecord, intptr_t*,
                                                 int16* pResult)
{
    auto& rec = *static_cast<FilterRecord*>(pRecord);
    *pResult = noErr;
    if (nSelector == filterSelectorStart) {
        Request(rec);
    } else if (nSelector == filterSelectorContinue) {
        *pResult = Continue(rec);
    }
}
