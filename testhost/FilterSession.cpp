// FilterSession.cpp - one filter invocation: record, selectors, pixel buffers.
#include "FilterSession.h"

#include "DescriptorStore.h"
#include "HandleStore.h"
#include "HostServices.h"
#include "Netpbm.h"
#include "Pipl.h"
#include "WinText.h"
#include "WindowWatcher.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace gw::host {

namespace {

// Descriptor keys of the filter parameters offered for playback.
constexpr DescriptorKeyID kKeyAmount = 0x416D6E74;    // 'Amnt'
constexpr DescriptorKeyID kKeyFillLight = 0x466C2020; // 'Fl  '
constexpr DescriptorKeyID kKeyMode = 0x4D642020;      // 'Md  '
constexpr DescriptorKeyID kKeyScaling = 0x53636C6E;   // 'Scln'

/// Traces every top-level window of the host's thread that becomes visible
/// while the selectors run ("shown CAPTION"), message boxes included: a
/// window that flashes up between two polls of the watcher is still seen.
class CShownWindows
{
public:
    explicit CShownWindows(CTrace& trace)
    {
        s_pTrace = &trace;
        m_hHook = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
    }
    ~CShownWindows()
    {
        if (m_hHook)
            UnhookWindowsHookEx(m_hHook);
        s_pTrace = nullptr;
    }
    CShownWindows(const CShownWindows&) = delete;
    CShownWindows& operator=(const CShownWindows&) = delete;

private:
    static LRESULT CALLBACK Hook(int nCode, WPARAM wParam, LPARAM lParam)
    {
        if (nCode == HC_ACTION && s_pTrace != nullptr) {
            const auto* pMessage = reinterpret_cast<const CWPSTRUCT*>(lParam);
            if (pMessage->message == WM_SHOWWINDOW && pMessage->wParam != 0
                && (GetWindowLongW(pMessage->hwnd, GWL_STYLE) & WS_CHILD) == 0)
            {
                wchar_t caption[128] = {};
                GetWindowTextW(pMessage->hwnd, caption, 128);
                s_pTrace->Write("shown " + Quote(Utf8(caption)));
            }
        }
        return CallNextHookEx(nullptr, nCode, wParam, lParam);
    }

    static inline CTrace* s_pTrace = nullptr;
    HHOOK m_hHook = nullptr;
};

constexpr OSType kHostSignature = 0x47574853; // 'GWHS'
constexpr std::int64_t kMaxSide = 32767;      // 16-bit rectangles; no big-document support
// Row padding: odd and larger than needed for 8-bit rows; for 16-bit rows an odd
// number of samples, since a 16-bit row must start on a sample boundary.
constexpr std::int32_t kRowPad8 = 13;
constexpr std::int32_t kRowPad16 = 14;
constexpr std::size_t kGuardBytes = 64;
constexpr std::uint8_t kGuardValue = 0xA5;
constexpr std::int32_t kHostSpace = 256 << 20;

class ProtocolViolation : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

bool IsEmpty(const Rect16& r)
{
    return r.top >= r.bottom || r.left >= r.right;
}

std::string RectText(const Rect16& r)
{
    return std::to_string(r.top) + " " + std::to_string(r.left) + " " + std::to_string(r.bottom)
         + " " + std::to_string(r.right);
}

bool SameRect(const Rect16& a, const Rect16& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

// A pixel buffer handed to the plug-in for one request.
struct Buffer
{
    Rect16 rect{};
    int nLo = 0;
    int nHi = -1;
    std::int32_t nRowBytes = 0;
    std::int32_t nUsedRowBytes = 0;
    std::vector<std::uint8_t> bytes; // rows, then kGuardBytes guard bytes

    bool Holds(const Rect16& r, int nLoPlane, int nHiPlane) const
    {
        return !bytes.empty() && SameRect(rect, r) && nLo == nLoPlane && nHi == nHiPlane;
    }
    std::size_t DataSize() const { return bytes.size() - kGuardBytes; }
    void* Data() { return bytes.empty() ? nullptr : bytes.data(); }
    void Release()
    {
        bytes.clear();
        bytes.shrink_to_fit();
        nHi = -1;
    }
};

// The image as the host holds it: samples in the host's range.
struct HostImage
{
    std::int32_t nWidth = 0;
    std::int32_t nHeight = 0;
    int nPlanes = 0;
    int nBytesPerSample = 1;
    std::vector<std::uint16_t> samples;

    std::uint16_t& At(std::int64_t r, std::int64_t c, int p)
    {
        return samples[static_cast<std::size_t>((r * nWidth + c) * nPlanes + p)];
    }
};

class CFilterSession
{
public:
    /// pModule: a module loaded by an earlier invocation, or null to load one.
    CFilterSession(const ApplyOptions& options, CTrace& trace,
                   std::shared_ptr<CPluginModule> pModule)
        : m_options(options), m_trace(trace), m_pModule(std::move(pModule))
    {}

    int Run();
    /// The loaded module (null when it could not be loaded), for the next invocation.
    std::shared_ptr<CPluginModule> Module() const { return m_pModule; }

private:
    void LoadImages();
    void PrepareRecord(intptr_t hWindow);
    OSErr Call(int16 nSelector);
    bool RunSequence();
    bool RunLoop(bool& bCancelled);
    void Deliver();
    void DeliverPixels(Buffer& buffer, const Rect16& rect, int nLo, int nHi, bool bSource,
                       const char* pName);
    void DeliverMask();
    void CheckBuffers();
    void Commit();
    void ReportDescriptor();
    void FinishAfterFailure();
    void Violation(const std::string& text);

    const ApplyOptions& m_options;
    CTrace& m_trace;
    NetpbmImage m_file;
    HostImage m_source;
    HostImage m_dest;
    std::vector<std::uint8_t> m_mask; // 0..255 per pixel, empty without a selection
    std::vector<std::uint8_t> m_fici;

    std::shared_ptr<CPluginModule> m_pModule;
    PluginEntryProc m_pEntry = nullptr;
    intptr_t m_nData = 0;

    CHandleStore m_handles;
    CDescriptorStore m_descriptors{m_handles};
    std::unique_ptr<CHostServices> m_pServices;
    std::unique_ptr<FilterRecord> m_pRecord;
    PlatformData m_platform{};
    HandleProcs m_handleProcs{};
    WriteDescriptorProcs m_writeProcs{};
    ReadDescriptorProcs m_readProcs{};
    PIDescriptorParameters m_descriptorParameters{};
    Str255 m_errorString{};

    Buffer m_in;
    Buffer m_out;
    Buffer m_maskBuffer;
    bool m_bStarted = false;
    bool m_bFailed = false;
    bool m_bMaskRectNoted = false;
    int m_nViolations = 0;
};

// ---------------------------------------------------------------------------

void CFilterSession::Violation(const std::string& text)
{
    ++m_nViolations;
    std::fprintf(stderr, "gwhost: plug-in error: %s\n", text.c_str());
    m_trace.Write("hosterror " + Quote(text));
}

void CFilterSession::LoadImages()
{
    m_file = ReadNetpbm(m_options.input);
    if (m_file.nWidth > kMaxSide || m_file.nHeight > kMaxSide) {
        throw NetpbmError(
            m_options.input + ": the image is " + std::to_string(m_file.nWidth) + " x "
            + std::to_string(m_file.nHeight)
            + " pixels; this host addresses at most 32767 pixels per side (16-bit rectangles, "
              "no 32-bit document support)");
    }
    m_source.nWidth = static_cast<std::int32_t>(m_file.nWidth);
    m_source.nHeight = static_cast<std::int32_t>(m_file.nHeight);
    m_source.nPlanes = m_file.nPlanes;
    m_source.nBytesPerSample = m_file.IsDeep() ? 2 : 1;
    m_source.samples.resize(m_file.samples.size());
    std::transform(m_file.samples.begin(), m_file.samples.end(), m_source.samples.begin(),
                   [&](std::uint16_t s) { return ToHostSample(s, m_file.nMaxval); });
    m_file.samples.clear();
    m_file.samples.shrink_to_fit();
    m_dest = m_source;

    if (m_options.mask.empty()) {
        return;
    }
    NetpbmImage mask = ReadNetpbm(m_options.mask);
    if (mask.nPlanes != 1 || mask.nWidth != m_file.nWidth || mask.nHeight != m_file.nHeight) {
        throw NetpbmError(
            m_options.mask + ": the selection mask must be a PGM of the image's size ("
            + std::to_string(m_file.nWidth) + " x " + std::to_string(m_file.nHeight) + ")");
    }
    m_mask.resize(mask.samples.size());
    std::transform(mask.samples.begin(), mask.samples.end(), m_mask.begin(), [&](std::uint16_t s) {
        return static_cast<std::uint8_t>(
            (std::uint32_t{s} * 255 * 2 + static_cast<std::uint32_t>(mask.nMaxval))
            / (2 * static_cast<std::uint32_t>(mask.nMaxval)));
    });
}

void CFilterSession::PrepareRecord(intptr_t hWindow)
{
    m_pRecord = std::make_unique<FilterRecord>(); // zero-filled, full current size
    FilterRecord& rec = *m_pRecord;
    const bool bDeep = m_source.nBytesPerSample == 2;
    const bool bColour = m_source.nPlanes == 3;
    const int16 nOwnMode = bColour ? (bDeep ? plugInModeRGB48 : plugInModeRGBColor)
                                   : (bDeep ? plugInModeGray16 : plugInModeGrayScale);
    const auto nWidth = static_cast<int16>(m_source.nWidth);
    const auto nHeight = static_cast<int16>(m_source.nHeight);

    rec.abortProc = m_options.bAbortProc ? CHostServices::TestAbort : nullptr;
    rec.progressProc = m_options.bProgress ? CHostServices::Progress : nullptr;
    rec.imageSize = {nHeight, nWidth};
    rec.planes = static_cast<int16>(m_source.nPlanes);
    rec.filterRect = {0, 0, nHeight, nWidth};
    rec.background = {65535, 65535, 65535};
    rec.foreground = {0, 0, 0};
    rec.maxSpace = kHostSpace;
    rec.bufferSpace = kHostSpace;
    rec.haveMask = m_mask.empty() ? 0 : 1;
    rec.autoMask = 1;
    rec.backColor[0] = rec.backColor[1] = rec.backColor[2] = 255;
    rec.hostSig = kHostSignature;
    rec.imageMode = m_options.nMode ? static_cast<int16>(*m_options.nMode) : nOwnMode;
    rec.imageHRes = 72 << 16;
    rec.imageVRes = 72 << 16;
    rec.wholeSize = {nHeight, nWidth};
    rec.monitor.gamma = (18 << 16) / 10;
    rec.platformData = &m_platform;
    m_platform.hwnd = hWindow;
    rec.processEvent = CHostServices::ProcessEvent;
    rec.displayPixels = m_options.bDisplay ? CHostServices::DisplayPixels : nullptr;
    if (m_options.bHandleProcs) {
        m_handleProcs = m_handles.MakeProcs(static_cast<int16>(m_options.nHandleProcsCount));
        rec.handleProcs = &m_handleProcs;
    }
    rec.filterCase =
        m_mask.empty() ? filterCaseFlatImageNoSelection : filterCaseFlatImageWithSelection;
    rec.dummyPlaneValue = -1;
    rec.inputRate = 1 << 16;
    rec.maskRate = 1 << 16;
    rec.inNonLayerPlanes = static_cast<int16>(m_source.nPlanes);
    rec.outNonLayerPlanes = static_cast<int16>(m_source.nPlanes);
    rec.absNonLayerPlanes = static_cast<int16>(m_source.nPlanes);
    rec.errorString = &m_errorString;
    rec.sSPBasic = m_options.bSPBasic ? m_pServices->BasicSuite() : nullptr;
    rec.plugInRef = this;
    rec.depth = rec.imageMode == plugInModeBitmap ? 1 : (bDeep ? 16 : 8);
    rec.bufferSpace64 = kHostSpace;
    rec.maxSpace64 = kHostSpace;

    if (m_options.bDescriptors) {
        m_writeProcs = m_descriptors.MakeWriteProcs();
        m_readProcs = m_descriptors.MakeReadProcs();
        m_descriptorParameters.descriptorParametersVersion = kCurrentDescriptorParametersVersion;
        m_descriptorParameters.playInfo = static_cast<int16>(m_options.nPlayInfo);
        m_descriptorParameters.recordInfo = plugInDialogOptional;
        m_descriptorParameters.writeDescriptorProcs = &m_writeProcs;
        m_descriptorParameters.readDescriptorProcs = &m_readProcs;
        std::vector<DescriptorItem> items;
        if (m_options.nAmount) {
            items.push_back(DescriptorItem::Integer(kKeyAmount, *m_options.nAmount));
        }
        if (m_options.nFillLight) {
            items.push_back(DescriptorItem::Integer(kKeyFillLight, *m_options.nFillLight));
        }
        if (m_options.bSpeed) {
            items.push_back(DescriptorItem::Bool(kKeyMode, *m_options.bSpeed));
        }
        if (m_options.bAutoScale) {
            items.push_back(DescriptorItem::Bool(kKeyScaling, *m_options.bAutoScale));
        }
        for (const auto& item : items) {
            m_trace.Write("descriptor in " + item.Describe());
        }
        if (!items.empty()) {
            m_descriptorParameters.descriptor = m_descriptors.MakeHandle(items);
        }
        rec.descriptorParameters = &m_descriptorParameters;
    }
}

OSErr CFilterSession::Call(int16 nSelector)
{
    int16 nResult = 0;
    m_pEntry(nSelector, m_pRecord.get(), &m_nData, &nResult);
    std::printf("result %d %d\n", nSelector, nResult);
    std::fflush(stdout);
    m_trace.Write("selector " + std::to_string(nSelector) + " result " + std::to_string(nResult));
    if (nResult == errReportString && m_errorString[0] != 0) {
        const std::string text(reinterpret_cast<const char*>(m_errorString + 1), m_errorString[0]);
        std::fprintf(stderr, "gwhost: the plug-in reports: %s\n", text.c_str());
        m_trace.Write("errorString " + Quote(text));
    }
    if (nResult != noErr) {
        m_bFailed = true;
    }
    return nResult;
}

// ---------------------------------------------------------------------------
// Pixel delivery

void CFilterSession::DeliverPixels(Buffer& buffer, const Rect16& rect, int nLo, int nHi,
                                   bool bSource, const char* pName)
{
    if (IsEmpty(rect)) {
        buffer.Release();
        return;
    }
    if (buffer.Holds(rect, nLo, nHi)) {
        return;
    }
    if (rect.top < 0 || rect.left < 0 || rect.bottom > m_source.nHeight
        || rect.right > m_source.nWidth) {
        throw ProtocolViolation(std::string(pName) + "Rect " + RectText(rect)
                                + " lies outside the image");
    }
    if (nLo < 0 || nHi < nLo || nHi >= m_source.nPlanes) {
        throw ProtocolViolation(std::string(pName) + " planes " + std::to_string(nLo) + ".."
                                + std::to_string(nHi) + " do not exist in an image of "
                                + std::to_string(m_source.nPlanes) + " planes");
    }
    const int nBps = m_source.nBytesPerSample;
    const int nCount = nHi - nLo + 1;
    const std::int64_t nCols = rect.right - rect.left;
    const std::int64_t nRows = rect.bottom - rect.top;
    buffer.rect = rect;
    buffer.nLo = nLo;
    buffer.nHi = nHi;
    buffer.nUsedRowBytes = static_cast<std::int32_t>(nCols * nCount * nBps);
    buffer.nRowBytes = buffer.nUsedRowBytes + (nBps == 2 ? kRowPad16 : kRowPad8);
    buffer.bytes.assign(static_cast<std::size_t>(nRows * buffer.nRowBytes) + kGuardBytes,
                        kGuardValue);

    HostImage& image = bSource ? m_source : m_dest;
    for (std::int64_t r = 0; r < nRows; ++r) {
        std::uint8_t* pRow = buffer.bytes.data() + r * buffer.nRowBytes;
        for (std::int64_t c = 0; c < nCols; ++c) {
            for (int p = 0; p < nCount; ++p) {
                const std::uint16_t v = image.At(rect.top + r, rect.left + c, nLo + p);
                std::uint8_t* pSample = pRow + (c * nCount + p) * nBps;
                if (nBps == 2) {
                    std::memcpy(pSample, &v, 2);
                } else {
                    *pSample = static_cast<std::uint8_t>(v);
                }
            }
        }
    }
    m_trace.Write(std::string("request ") + pName + " " + RectText(rect) + " planes "
                  + std::to_string(nLo) + " " + std::to_string(nHi) + " rowbytes "
                  + std::to_string(buffer.nRowBytes));
}

void CFilterSession::DeliverMask()
{
    FilterRecord& rec = *m_pRecord;
    const Rect16& rect = rec.maskRect;
    if (!rec.haveMask && !IsEmpty(rect) && !m_bMaskRectNoted) {
        // Harmless for the host, but a filter should not ask for a mask that does not exist.
        m_trace.Write("maskRect " + RectText(rect) + " set without a selection");
        m_bMaskRectNoted = true;
    }
    if (!rec.haveMask || IsEmpty(rect)) {
        m_maskBuffer.Release();
        return;
    }
    if (m_maskBuffer.Holds(rect, 0, 0)) {
        return;
    }
    if (rect.top < 0 || rect.left < 0 || rect.bottom > m_source.nHeight
        || rect.right > m_source.nWidth) {
        throw ProtocolViolation("maskRect " + RectText(rect) + " lies outside the image");
    }
    const std::int64_t nCols = rect.right - rect.left;
    const std::int64_t nRows = rect.bottom - rect.top;
    m_maskBuffer.rect = rect;
    m_maskBuffer.nLo = 0;
    m_maskBuffer.nHi = 0;
    m_maskBuffer.nUsedRowBytes = static_cast<std::int32_t>(nCols);
    m_maskBuffer.nRowBytes = static_cast<std::int32_t>(nCols) + kRowPad8;
    m_maskBuffer.bytes.assign(
        static_cast<std::size_t>(nRows * m_maskBuffer.nRowBytes) + kGuardBytes, kGuardValue);
    for (std::int64_t r = 0; r < nRows; ++r) {
        std::memcpy(m_maskBuffer.bytes.data() + r * m_maskBuffer.nRowBytes,
                    m_mask.data() + (rect.top + r) * m_source.nWidth + rect.left,
                    static_cast<std::size_t>(nCols));
    }
    m_trace.Write("request mask " + RectText(rect) + " rowbytes "
                  + std::to_string(m_maskBuffer.nRowBytes));
}

void CFilterSession::Deliver()
{
    FilterRecord& rec = *m_pRecord;
    // A changed destination request first puts back what the plug-in wrote.
    if (!m_out.Holds(rec.outRect, rec.outLoPlane, rec.outHiPlane)) {
        Commit();
    }
    DeliverPixels(m_in, rec.inRect, rec.inLoPlane, rec.inHiPlane, true, "in");
    DeliverPixels(m_out, rec.outRect, rec.outLoPlane, rec.outHiPlane, false, "out");
    DeliverMask();

    const int nBps = m_source.nBytesPerSample;
    rec.inData = m_in.Data();
    rec.inRowBytes = rec.inData ? m_in.nRowBytes : 0;
    rec.inColumnBytes = rec.inData ? (m_in.nHi - m_in.nLo + 1) * nBps : 0;
    rec.inPlaneBytes = rec.inData ? nBps : 0;
    rec.outData = m_out.Data();
    rec.outRowBytes = rec.outData ? m_out.nRowBytes : 0;
    rec.outColumnBytes = rec.outData ? (m_out.nHi - m_out.nLo + 1) * nBps : 0;
    rec.outPlaneBytes = rec.outData ? nBps : 0;
    rec.maskData = m_maskBuffer.Data();
    rec.maskRowBytes = rec.maskData ? m_maskBuffer.nRowBytes : 0;
}

// Writes outside the delivered bytes or into the row padding mean the plug-in
// ignored the row bytes or the rectangle; the host reports them.
void CFilterSession::CheckBuffers()
{
    auto checkGuard = [&](const Buffer& buffer, const char* pName) {
        if (buffer.bytes.empty()) {
            return;
        }
        for (std::size_t i = buffer.DataSize(); i < buffer.bytes.size(); ++i) {
            if (buffer.bytes[i] != kGuardValue) {
                throw ProtocolViolation(std::string("the plug-in wrote past the end of ") + pName);
            }
        }
    };
    checkGuard(m_in, "inData");
    checkGuard(m_out, "outData");
    checkGuard(m_maskBuffer, "maskData");
    if (m_out.bytes.empty()) {
        return;
    }
    const std::size_t nRows = m_out.DataSize() / static_cast<std::size_t>(m_out.nRowBytes);
    for (std::size_t r = 0; r < nRows; ++r) {
        const std::uint8_t* pRow =
            m_out.bytes.data() + r * static_cast<std::size_t>(m_out.nRowBytes);
        for (std::int32_t i = m_out.nUsedRowBytes; i < m_out.nRowBytes; ++i) {
            if (pRow[i] != kGuardValue) {
                throw ProtocolViolation("the plug-in wrote into the padding of outData row "
                                        + std::to_string(r) + " (it does not honour outRowBytes)");
            }
        }
    }
}

// Puts the destination buffer back into the image. With autoMask left set and a
// filter that does not declare that it writes outside the selection, the host
// keeps unselected pixels and blends partly selected ones itself.
void CFilterSession::Commit()
{
    if (m_out.bytes.empty()) {
        return;
    }
    const FilterRecord& rec = *m_pRecord;
    const int nCase = rec.filterCase;
    const std::uint8_t nFlags = m_fici.size() >= static_cast<std::size_t>(nCase) * 4 && nCase > 0
                                  ? m_fici[static_cast<std::size_t>(nCase - 1) * 4 + 2]
                                  : 0;
    const bool bHostMasks =
        !m_mask.empty() && rec.autoMask && !(nFlags & PIFilterWritesOutsideSelectionBit);
    const int nBps = m_source.nBytesPerSample;
    const int nCount = m_out.nHi - m_out.nLo + 1;
    const Rect16& rect = m_out.rect;
    for (std::int64_t r = 0; r < rect.bottom - rect.top; ++r) {
        const std::uint8_t* pRow = m_out.bytes.data() + r * m_out.nRowBytes;
        for (std::int64_t c = 0; c < rect.right - rect.left; ++c) {
            const std::int64_t y = rect.top + r;
            const std::int64_t x = rect.left + c;
            const std::uint32_t m =
                bHostMasks ? m_mask[static_cast<std::size_t>(y * m_source.nWidth + x)] : 255;
            for (int p = 0; p < nCount; ++p) {
                const std::uint8_t* pSample = pRow + (c * nCount + p) * nBps;
                std::uint16_t v = *pSample;
                if (nBps == 2) {
                    std::memcpy(&v, pSample, 2);
                }
                if (m < 255) {
                    const std::uint32_t s = m_source.At(y, x, m_out.nLo + p);
                    v = static_cast<std::uint16_t>((v * m + s * (255 - m) + 127) / 255);
                }
                m_dest.At(y, x, m_out.nLo + p) = v;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Sequence

bool CFilterSession::RunLoop(bool& bCancelled)
{
    const FilterRecord& rec = *m_pRecord;
    for (int nCalls = 0;; ++nCalls) {
        const bool bRequests = !IsEmpty(rec.inRect) || !IsEmpty(rec.outRect)
                            || (rec.haveMask && !IsEmpty(rec.maskRect));
        if (!bRequests) {
            m_trace.Write("loop end after " + std::to_string(nCalls) + " continue calls");
            return true;
        }
        if (nCalls == m_options.nCancelAfter) {
            m_pServices->RequestAbort();
            m_trace.Write("cancel after " + std::to_string(nCalls) + " continue calls");
            bCancelled = true;
            return true;
        }
        if (nCalls >= m_options.nMaxContinue) {
            throw ProtocolViolation("the plug-in kept requesting pixels after "
                                    + std::to_string(nCalls) + " continue calls");
        }
        Deliver();
        const OSErr nResult = Call(filterSelectorContinue);
        CheckBuffers();
        if (nResult != noErr) {
            return false;
        }
    }
}

bool CFilterSession::RunSequence()
{
    const bool bUsual = m_options.sequence.empty();
    const std::vector<std::string> usual = {"1", "2", "3", "loop", "5"};
    bool bCancelled = false;
    for (const std::string& step : bUsual ? usual : m_options.sequence) {
        if (step == "loop") {
            if (bUsual && !m_bStarted) {
                continue;
            }
            RunLoop(bCancelled);
            continue;
        }
        const auto nSelector = static_cast<int16>(std::stoi(step));
        if (bUsual && nSelector == filterSelectorFinish && !m_bStarted) {
            break; // finish belongs to a successful start only
        }
        if (nSelector == filterSelectorContinue) {
            Deliver();
        }
        const OSErr nResult = Call(nSelector);
        if (nSelector == filterSelectorContinue) {
            CheckBuffers();
        }
        if (nSelector == filterSelectorStart) {
            m_bStarted = nResult == noErr;
        }
        if (bUsual && nResult != noErr && nSelector < filterSelectorStart) {
            break; // the host gives up before start; no finish
        }
    }
    Commit();
    m_in.Release();
    m_out.Release();
    m_maskBuffer.Release();
    m_pRecord->inData = m_pRecord->outData = m_pRecord->maskData = nullptr;
    return !bCancelled;
}

// A run the host stops itself still gets its finish call once start succeeded.
void CFilterSession::FinishAfterFailure()
{
    m_in.Release();
    m_out.Release();
    m_maskBuffer.Release();
    m_pRecord->inData = m_pRecord->outData = m_pRecord->maskData = nullptr;
    if (m_bStarted && m_options.sequence.empty()) {
        Call(filterSelectorFinish);
    }
}

void CFilterSession::ReportDescriptor()
{
    if (!m_options.bDescriptors) {
        return;
    }
    for (DescriptorKeyID nKey : m_descriptors.MissingKeys()) {
        m_trace.Write("descriptor missing " + FourCC(nKey));
    }
    Handle h = m_descriptorParameters.descriptor;
    if (h) {
        const auto items = m_descriptors.ReadHandle(h);
        if (!items) {
            Violation("the descriptor handle after finish is not a descriptor of this host");
        } else {
            for (const auto& item : *items) {
                std::printf("descriptor %s\n", item.Describe().c_str());
                m_trace.Write("descriptor out " + item.Describe());
            }
        }
        m_handles.Dispose(h);
        m_descriptorParameters.descriptor = nullptr;
    }
    std::printf("recordInfo %d\n", m_descriptorParameters.recordInfo);
    m_trace.Write("recordInfo " + std::to_string(m_descriptorParameters.recordInfo));
}

int CFilterSession::Run()
{
    try {
        LoadImages();
        if (!m_pModule)
            m_pModule = std::make_shared<CPluginModule>(m_options.plugin, false, &m_trace);
        m_pEntry = FindFilterEntry(*m_pModule, &m_fici);
    } catch (const std::bad_alloc&) {
        const std::string text = "not enough memory to hold the image \"" + m_options.input + "\"";
        std::fprintf(stderr, "gwhost: %s\n", text.c_str());
        m_trace.Write("hosterror " + Quote(text));
        return kExitHostError;
    } catch (const std::length_error&) {
        const std::string text =
            "the image \"" + m_options.input + "\" is too large for this process";
        std::fprintf(stderr, "gwhost: %s\n", text.c_str());
        m_trace.Write("hosterror " + Quote(text));
        return kExitHostError;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gwhost: %s\n", e.what());
        m_trace.Write("hosterror " + Quote(e.what()));
        return kExitHostError;
    }
    const int nCase =
        m_mask.empty() ? filterCaseFlatImageNoSelection : filterCaseFlatImageWithSelection;
    if (m_fici.size() >= static_cast<std::size_t>(nCase) * 4
        && (m_fici[static_cast<std::size_t>(nCase - 1) * 4] == inCantFilter
            || m_fici[static_cast<std::size_t>(nCase - 1) * 4 + 1] == outCantFilter))
    {
        const std::string text =
            "the plug-in cannot filter this case (filter case " + std::to_string(nCase) + ")";
        std::fprintf(stderr, "gwhost: %s\n", text.c_str());
        m_trace.Write("hosterror " + Quote(text));
        return kExitHostError;
    }

    // The host's main window owns the plug-in's dialogs.
    HWND hWindow = nullptr;
    if (m_options.bWindow) {
        hWindow = CreateWindowExW(0, L"STATIC", L"gwhost", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 640, 480, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    }
    struct WindowCloser
    {
        HWND h;
        ~WindowCloser()
        {
            if (h) {
                DestroyWindow(h);
            }
        }
    } windowCloser{hWindow};

    m_handles.SetNotify([this](std::string_view text) { Violation(std::string(text)); });
    m_descriptors.SetNotify([this](std::string_view text) { Violation(std::string(text)); });
    m_pServices = std::make_unique<CHostServices>(m_trace, reinterpret_cast<intptr_t>(hWindow));
    m_pServices->OfferUIHooks(m_options.bUIHooks);
    m_pServices->Activate();
    PrepareRecord(reinterpret_cast<intptr_t>(hWindow));

    bool bCompleted = false;
    const auto start = std::chrono::steady_clock::now();
    try {
        const CShownWindows shown(m_trace);
        bCompleted = RunSequence();
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        char text[48];
        std::snprintf(text, sizeof text, "elapsed %.1f ms", elapsed.count());
        m_trace.Write(text);
    } catch (const ProtocolViolation& e) {
        Violation(e.what());
        FinishAfterFailure();
    } catch (const std::exception& e) // out of memory for the buffers, mostly
    {
        const std::string text =
            std::string("the run stopped: ")
            + (dynamic_cast<const std::bad_alloc*>(&e) ? "not enough memory for the image buffers"
                                                       : e.what());
        std::fprintf(stderr, "gwhost: %s\n", text.c_str());
        m_trace.Write("hosterror " + Quote(text));
        FinishAfterFailure();
        return kExitHostError;
    }
    ReportDescriptor();

    // The host keeps the plug-in's parameters handle and frees it when done with the filter.
    if (m_pRecord->parameters) {
        m_handles.Dispose(m_pRecord->parameters);
        m_pRecord->parameters = nullptr;
    }
    if (m_handles.LiveCount() != 0) {
        m_trace.Write("handles live " + std::to_string(m_handles.LiveCount()));
        std::fprintf(stderr, "gwhost: the plug-in left %zu handles undisposed\n",
                     m_handles.LiveCount());
    }
    if (m_descriptors.OpenTokens() != 0) {
        Violation(std::to_string(m_descriptors.OpenTokens())
                  + " descriptor tokens were never closed");
    }

    if (m_nViolations == 0 && bCompleted && !m_bFailed && m_bStarted && !m_options.output.empty()) {
        try {
            NetpbmImage out = m_file;
            out.samples.resize(m_dest.samples.size());
            std::transform(m_dest.samples.begin(), m_dest.samples.end(), out.samples.begin(),
                           [&](std::uint16_t v) { return FromHostSample(v, m_file.nMaxval); });
            WriteNetpbm(m_options.output, out);
            m_trace.Write("output " + Quote(m_options.output));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "gwhost: %s\n", e.what());
            m_trace.Write("hosterror " + Quote(e.what()));
            return kExitHostError;
        }
    } else if (!m_options.output.empty()) {
        std::fprintf(stderr, "gwhost: the filter did not complete; \"%s\" is not written\n",
                     m_options.output.c_str());
    }
    return m_nViolations ? kExitPluginViolation : kExitOk;
}

} // namespace

PluginEntryProc FindFilterEntry(const CPluginModule& module, std::vector<std::uint8_t>* pFici)
{
    const auto resources = module.Resources("PIPL");
    if (resources.empty()) {
        throw PluginLoadError("the module has no PIPL resource; it is not a filter plug-in");
    }
    const Pipl pipl = ParsePipl(resources.front().bytes);
    const PiplProperty* pKind = pipl.Find(PIKindProperty);
    if (!pKind || pKind->data.size() < 4
        || (pKind->data[0] | pKind->data[1] << 8 | pKind->data[2] << 16
            | static_cast<std::uint32_t>(pKind->data[3]) << 24)
               != PIFilterKind)
    {
        throw PluginLoadError("the PiPL does not describe a filter (kind is not '8BFM')");
    }
    if (const PiplProperty* pVersion = pipl.Find(PIVersionProperty);
        pVersion && pVersion->data.size() >= 4
        && (pVersion->data[2] | pVersion->data[3] << 8) > (kPIFilterInterfaceVersion >> 16))
    {
        throw PluginLoadError("the filter needs a newer interface version than 4.0");
    }
    const std::string entry = EntryPointName(pipl, CPluginModule::Is64Bit());
    if (entry.empty()) {
        throw PluginLoadError(
            std::string("the PiPL names no entry point for this host's architecture (")
            + (CPluginModule::Is64Bit() ? "'8664'" : "'wx86'") + ")");
    }
    if (pFici) {
        const PiplProperty* pFiciProperty = pipl.Find(PIFilterCaseInfoProperty);
        *pFici = pFiciProperty ? pFiciProperty->data : std::vector<std::uint8_t>();
    }
    return module.EntryPoint(entry);
}

int RunApply(const ApplyOptions& options, CTrace& trace)
{
    std::shared_ptr<CPluginModule> pModule;
    int nExit = kExitOk;
    {
        CFilterSession session(options, trace, nullptr);
        nExit = session.Run();
        pModule = session.Module();
    }
    // Later images go to the module that is still loaded; the worst status wins.
    for (const auto& [input, output] : options.further) {
        if (!pModule)
            break;
        ApplyOptions next = options;
        next.input = input;
        next.output = output;
        next.further.clear();
        trace.Write("apply next " + Quote(input));
        CFilterSession session(next, trace, pModule);
        nExit = std::max(nExit, session.Run());
    }
    return nExit;
}

} // namespace gw::host
