// HostServices.cpp - progress, abort, displayPixels and the PICA suites.
#include "HostServices.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace gw::host {

namespace {

CHostServices* gServices = nullptr;

struct CursorName
{
    const char* pName;
    LPCSTR pSystemCursor;
};

// The host cursors mapped to the nearest system cursor.
const CursorName kCursors[] = {
    {kPICursorArrow, IDC_ARROW},
    {kPICursorWatch, IDC_WAIT},
    {kPICursorWatchContinue, IDC_APPSTARTING},
    {kPICursorMove, IDC_SIZEALL},
    {kPICursorHand, IDC_HAND},
    {kPICursorGrab, IDC_SIZEALL},
    {kPICursorZoomIn, IDC_CROSS},
    {kPICursorZoomOut, IDC_CROSS},
    {kPICursorZoomLimit, IDC_NO},
    {kPICursorPencil, IDC_CROSS},
    {kPICursorEyedropper, IDC_CROSS},
    {kPICursorEyedropperPlus, IDC_CROSS},
    {kPICursorEyedropperMinus, IDC_CROSS},
    {kPICursorBucket, IDC_CROSS},
    {kPICursorCrosshair, IDC_CROSS},
    {kPICursorType, IDC_IBEAM},
    {kPICursorPathArrow, IDC_ARROW},
};

// FNV-1a over the displayed samples, so tests can compare what was shown.
std::uint32_t Mix(std::uint32_t nHash, std::uint8_t nByte)
{
    return (nHash ^ nByte) * 16777619u;
}

bool SupportedDisplayMode(int32 nMode)
{
    return nMode == plugInModeGrayScale || nMode == plugInModeRGBColor;
}

} // namespace

CHostServices::CHostServices(CTrace& trace, intptr_t hMainWindow)
    : m_trace(trace), m_hMainWindow(hMainWindow)
{
    m_basic.AcquireSuite = AcquireSuite;
    m_basic.ReleaseSuite = ReleaseSuite;
    m_basic.IsEqual = IsEqual;
    m_basic.AllocateBlock = AllocateBlock;
    m_basic.FreeBlock = FreeBlock;
    m_basic.ReallocateBlock = ReallocateBlock;
    m_basic.Undefined = Undefined;

    m_uiHooks.processEvent = ProcessEvent;
    m_uiHooks.displayPixels = DisplayPixels;
    m_uiHooks.progressBar = Progress;
    m_uiHooks.testAbort = TestAbort;
    m_uiHooks.MainAppWindow = MainAppWindow;
    m_uiHooks.SetCursor = SetCursor;
    m_uiHooks.TickCount = TickCount;
    m_uiHooks.GetPluginName = GetPluginName;
}

CHostServices::~CHostServices()
{
    if (gServices == this) {
        gServices = nullptr;
    }
}

void CHostServices::Activate() noexcept
{
    gServices = this;
}

Boolean CHostServices::TestAbort()
{
    return gServices && gServices->m_bAbort ? 1 : 0;
}

void CHostServices::Progress(int32 nDone, int32 nTotal)
{
    if (gServices) {
        ++gServices->m_nProgressCalls;
        gServices->m_trace.Write("progress " + std::to_string(nDone) + " "
                                 + std::to_string(nTotal));
    }
}

void CHostServices::ProcessEvent(void*) {}

OSErr CHostServices::DisplayPixels(const PSPixelMap* pSource, const VRect* pRect, int32 nDstRow,
                                   int32 nDstCol, void* pPlatformContext)
{
    if (!gServices) {
        return paramErr;
    }
    ++gServices->m_nDisplayCalls;
    if (!pSource || !pRect || !pPlatformContext || !pSource->baseAddr || pSource->rowBytes == 0) {
        gServices->m_trace.Write("displayPixels refused missing-argument");
        return filterBadParameters;
    }
    const VRect& r = *pRect;
    const VRect& b = pSource->bounds;
    std::string record = "displayPixels " + std::to_string(r.top) + " " + std::to_string(r.left)
                       + " " + std::to_string(r.bottom) + " " + std::to_string(r.right) + " mode "
                       + std::to_string(pSource->imageMode) + " rowbytes "
                       + std::to_string(pSource->rowBytes) + " colbytes "
                       + std::to_string(pSource->colBytes) + " planebytes "
                       + std::to_string(pSource->planeBytes) + " at " + std::to_string(nDstRow)
                       + " " + std::to_string(nDstCol);
    const bool bInside = r.top >= b.top && r.left >= b.left && r.bottom <= b.bottom
                      && r.right <= b.right && r.top < r.bottom && r.left < r.right;
    if (!bInside || !SupportedDisplayMode(pSource->imageMode) || pSource->colBytes <= 0
        || GetObjectType(static_cast<HDC>(pPlatformContext)) == 0)
    {
        gServices->m_trace.Write(record + " refused");
        return filterBadParameters;
    }

    // Convert to a top-down 32-bit DIB and draw it 1:1 at (nDstCol, nDstRow).
    const int nWidth = r.right - r.left;
    const int nHeight = r.bottom - r.top;
    const int nPlanes = pSource->imageMode == plugInModeRGBColor ? 3 : 1;
    std::vector<std::uint32_t> pixels;
    try {
        pixels.resize(static_cast<std::size_t>(nWidth) * static_cast<std::size_t>(nHeight));
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    std::uint32_t nHash = 2166136261u;
    const auto* pBase = static_cast<const std::uint8_t*>(pSource->baseAddr);
    for (int y = 0; y < nHeight; ++y) {
        const std::uint8_t* pRow =
            pBase + static_cast<std::ptrdiff_t>(r.top - b.top + y) * pSource->rowBytes
            + static_cast<std::ptrdiff_t>(r.left - b.left) * pSource->colBytes;
        for (int x = 0; x < nWidth; ++x) {
            const std::uint8_t* pPixel = pRow + static_cast<std::ptrdiff_t>(x) * pSource->colBytes;
            std::uint8_t rgb[3];
            for (int p = 0; p < 3; ++p) {
                rgb[p] = pPixel[(nPlanes == 3 ? p : 0)
                                * static_cast<std::ptrdiff_t>(pSource->planeBytes)];
            }
            for (int p = 0; p < nPlanes; ++p) {
                nHash = Mix(nHash, rgb[p]);
            }
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(nWidth)
                   + static_cast<std::size_t>(x)] =
                (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[2];
        }
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = nWidth;
    info.bmiHeader.biHeight = -nHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(static_cast<HDC>(pPlatformContext), nDstCol, nDstRow,
                      static_cast<DWORD>(nWidth), static_cast<DWORD>(nHeight), 0, 0, 0,
                      static_cast<UINT>(nHeight), pixels.data(), &info, DIB_RGB_COLORS);
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08X", nHash);
    gServices->m_trace.Write(record + " checksum " + hash);
    return noErr;
}

SPErr CHostServices::AcquireSuite(const char* pName, int32 nVersion, const void** ppSuite)
{
    if (!gServices || !pName || !ppSuite) {
        return kSPBadParameterError;
    }
    SPErr nResult = kSPSuiteNotFoundError;
    if (gServices->m_bOfferUIHooks && std::strcmp(pName, kPSUIHooksSuiteName) == 0
        && nVersion == kPSUIHooksSuiteVersion1)
    {
        *ppSuite = &gServices->m_uiHooks;
        ++gServices->m_nSuitesHeld;
        nResult = kSPNoError;
    }
    gServices->m_trace.Write("suite acquire " + Quote(pName) + " " + std::to_string(nVersion)
                             + " result " + std::to_string(nResult));
    return nResult;
}

SPErr CHostServices::ReleaseSuite(const char* pName, int32 nVersion)
{
    if (!gServices || !pName) {
        return kSPBadParameterError;
    }
    const bool bKnown = std::strcmp(pName, kPSUIHooksSuiteName) == 0
                     && nVersion == kPSUIHooksSuiteVersion1 && gServices->m_nSuitesHeld > 0;
    const SPErr nResult = bKnown ? kSPNoError : kSPSuiteNotFoundError;
    if (bKnown) {
        --gServices->m_nSuitesHeld;
    }
    gServices->m_trace.Write("suite release " + Quote(pName) + " " + std::to_string(nVersion)
                             + " result " + std::to_string(nResult));
    return nResult;
}

SPBoolean CHostServices::IsEqual(const char* p1, const char* p2)
{
    return p1 && p2 && std::strcmp(p1, p2) == 0;
}

SPErr CHostServices::AllocateBlock(size_t nSize, void** ppBlock)
{
    if (!ppBlock) {
        return kSPBadParameterError;
    }
    *ppBlock = std::malloc(nSize ? nSize : 1);
    return *ppBlock ? kSPNoError : kSPOutOfMemoryError;
}

SPErr CHostServices::FreeBlock(void* pBlock)
{
    std::free(pBlock);
    return kSPNoError;
}

SPErr CHostServices::ReallocateBlock(void* pBlock, size_t nSize, void** ppBlock)
{
    if (!ppBlock) {
        return kSPBadParameterError;
    }
    void* pNew = std::realloc(pBlock, nSize ? nSize : 1);
    if (!pNew) {
        return kSPOutOfMemoryError; // the old block stays valid
    }
    *ppBlock = pNew;
    return kSPNoError;
}

SPErr CHostServices::Undefined()
{
    return kSPUnimplementedError;
}

intptr_t CHostServices::MainAppWindow()
{
    return gServices ? gServices->m_hMainWindow : 0;
}

SPErr CHostServices::SetCursor(const char* pName)
{
    if (!gServices) {
        return kSPBadParameterError;
    }
    SPErr nResult = kSPCursorNotFoundError;
    if (!pName) {
        ::SetCursor(nullptr);
        nResult = kSPNoError;
    } else {
        for (const auto& cursor : kCursors) {
            if (std::strcmp(cursor.pName, pName) == 0) {
                ::SetCursor(LoadCursorA(nullptr, cursor.pSystemCursor));
                nResult = kSPNoError;
                break;
            }
        }
    }
    gServices->m_trace.Write("cursor " + (pName ? Quote(pName) : std::string("null")) + " result "
                             + std::to_string(nResult));
    return nResult;
}

uint32 CHostServices::TickCount()
{
    return static_cast<uint32>(GetTickCount64() * 60 / 1000);
}

SPErr CHostServices::GetPluginName(void*, ASZString*)
{
    return kSPUnimplementedError;
}

} // namespace gw::host
