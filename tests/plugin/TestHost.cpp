// TestHost.cpp - see TestHost.h.
#include "TestHost.h"

#include "RegistryView.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace gw::test {

std::vector<std::pair<int32, int32>> gProgressCalls;

namespace {

CTestHost* gCurrentHost = nullptr;

/// Host memory handle: a pointer to the block's pointer, as the interface has it.
struct HostBlock
{
    char* m_pData;
    std::vector<DescriptorItem> m_items; // descriptor contents, when it is one
};

struct ReadToken
{
    std::vector<DescriptorItem> m_items;
    std::size_t m_nNext = 0;
    DescriptorItem m_current{};
};

struct WriteToken
{
    std::vector<DescriptorItem> m_items;
};

Handle MakeHandle(std::vector<DescriptorItem> items)
{
    auto* pBlock = new HostBlock{nullptr, std::move(items)};
    return reinterpret_cast<Handle>(pBlock);
}

HostBlock* BlockOf(Handle h)
{
    return reinterpret_cast<HostBlock*>(h);
}

std::string ModulePath()
{
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path(szPath, n);
    path.resize(path.find_last_of("\\/") + 1);
    return path + "Gladewick.8bf";
}

} // namespace

struct HostCallbacks
{
    static Handle NewHandle(int32 /*nSize*/) { return MakeHandle({}); }
    static void DisposeHandle(Handle h)
    {
        if (h == nullptr)
            return;
        ++gCurrentHost->m_nDisposed;
        delete BlockOf(h);
    }
    static void Progress(int32 nDone, int32 nTotal) { gProgressCalls.emplace_back(nDone, nTotal); }

    static PIReadDescriptor OpenRead(PIDescriptorHandle h, DescriptorKeyID* /*pKeys*/)
    {
        if (h == nullptr)
            return nullptr;
        auto* pToken = new ReadToken{BlockOf(h)->m_items};
        return reinterpret_cast<PIReadDescriptor>(pToken);
    }
    static OSErr CloseRead(PIReadDescriptor token)
    {
        delete reinterpret_cast<ReadToken*>(token);
        return noErr;
    }
    static Boolean GetKey(PIReadDescriptor token, DescriptorKeyID* pKey, DescriptorTypeID* pType,
                          int32* pFlags)
    {
        auto* pToken = reinterpret_cast<ReadToken*>(token);
        if (pToken->m_nNext >= pToken->m_items.size())
            return 0;
        pToken->m_current = pToken->m_items[pToken->m_nNext++];
        *pKey = pToken->m_current.m_nKey;
        *pType = pToken->m_current.m_nType;
        *pFlags = 0;
        return 1;
    }
    static OSErr GetInteger(PIReadDescriptor token, int32* pValue)
    {
        auto* pToken = reinterpret_cast<ReadToken*>(token);
        if (pToken->m_current.m_nType != typeInteger)
            return paramErr;
        *pValue = pToken->m_current.m_nValue;
        return noErr;
    }
    static OSErr GetBoolean(PIReadDescriptor token, Boolean* pValue)
    {
        auto* pToken = reinterpret_cast<ReadToken*>(token);
        if (pToken->m_current.m_nType != typeBoolean)
            return paramErr;
        *pValue = static_cast<Boolean>(pToken->m_current.m_nValue);
        return noErr;
    }

    static PIWriteDescriptor OpenWrite()
    {
        if (!gCurrentHost->m_bGiveWriteToken)
            return nullptr;
        return reinterpret_cast<PIWriteDescriptor>(new WriteToken);
    }
    static OSErr CloseWrite(PIWriteDescriptor token, PIDescriptorHandle* phNew)
    {
        auto* pToken = reinterpret_cast<WriteToken*>(token);
        *phNew = MakeHandle(std::move(pToken->m_items));
        delete pToken;
        return noErr;
    }
    static OSErr PutInteger(PIWriteDescriptor token, DescriptorKeyID nKey, int32 nValue)
    {
        reinterpret_cast<WriteToken*>(token)->m_items.push_back({nKey, typeInteger, nValue});
        return noErr;
    }
    static OSErr PutBoolean(PIWriteDescriptor token, DescriptorKeyID nKey, Boolean nValue)
    {
        reinterpret_cast<WriteToken*>(token)->m_items.push_back({nKey, typeBoolean, nValue});
        return noErr;
    }

    static SPErr AcquireSuite(const char* pName, int32 nVersion, const void** ppSuite)
    {
        gCurrentHost->m_acquired.push_back(std::string(pName) + " v" + std::to_string(nVersion));
        if (gCurrentHost->m_bRefuseUIHooks || std::strcmp(pName, kPSUIHooksSuiteName) != 0)
            return kSPSuiteNotFoundError;
        *ppSuite = &gCurrentHost->m_uiHooks;
        return kSPNoError;
    }
    static SPErr ReleaseSuite(const char*, int32) { return kSPNoError; }
    static SPErr SetCursor(const char*) { return kSPUnimplementedError; }
};

void CMessageBoxWatcher::Start()
{
    // One sweep here first, so that this process's window system is set up by
    // the host's own thread before the watching thread makes the same calls.
    EnumWindows(&CMessageBoxWatcher::OnWindow, reinterpret_cast<LPARAM>(this));
    m_bStop = false;
    m_thread = std::thread([this] { Run(); });
}

void CMessageBoxWatcher::Stop()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

CMessageBoxWatcher::~CMessageBoxWatcher()
{
    Stop();
}

std::vector<MessageBoxSeen> CMessageBoxWatcher::Seen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
}

BOOL CALLBACK FindStaticText(HWND hChild, LPARAM lText)
{
    char szClass[64] = {};
    GetClassNameA(hChild, szClass, sizeof(szClass));
    char szText[512] = {};
    GetWindowTextA(hChild, szText, sizeof(szText));
    if (_stricmp(szClass, "Static") == 0 && szText[0] != '\0')
        *reinterpret_cast<std::string*>(lText) = szText;
    return TRUE;
}

BOOL CALLBACK CMessageBoxWatcher::OnWindow(HWND hWnd, LPARAM lSelf)
{
    auto* pSelf = reinterpret_cast<CMessageBoxWatcher*>(lSelf);
    DWORD nProcess = 0;
    GetWindowThreadProcessId(hWnd, &nProcess);
    char szClass[64] = {};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (nProcess != GetCurrentProcessId() || std::strcmp(szClass, "#32770") != 0
        || !IsWindowVisible(hWnd))
        return TRUE;
    // The filter dialog (it has the preview placeholder, 1014) and the about
    // box (product name, 1064) are closed with OK as a user would; they are
    // not message boxes.
    if (GetDlgItem(hWnd, 1014) != nullptr || GetDlgItem(hWnd, 1064) != nullptr) {
        PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
        Sleep(100);
        return TRUE;
    }
    MessageBoxSeen seen;
    char szCaption[512] = {};
    GetWindowTextA(hWnd, szCaption, sizeof(szCaption));
    seen.m_caption = szCaption;
    EnumChildWindows(hWnd, &FindStaticText, reinterpret_cast<LPARAM>(&seen.m_text));
    {
        std::lock_guard<std::mutex> lock(pSelf->m_mutex);
        pSelf->m_seen.push_back(seen);
    }
    PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    Sleep(100); // let the box close before the next sweep
    return TRUE;
}

void CMessageBoxWatcher::Run()
{
    while (!m_bStop) {
        EnumWindows(&CMessageBoxWatcher::OnWindow, reinterpret_cast<LPARAM>(this));
        Sleep(20);
    }
}

CTestHost::CTestHost()
{
    gCurrentHost = this;
    gProgressCalls.clear();
    m_hModule = LoadLibraryA(ModulePath().c_str());
    if (m_hModule == nullptr)
        throw std::runtime_error("cannot load " + ModulePath());
    m_pEntry = reinterpret_cast<PluginEntryProc>(
        reinterpret_cast<void*>(GetProcAddress(m_hModule, "PluginMain")));
    if (m_pEntry == nullptr)
        throw std::runtime_error("no PluginMain");
    m_watcher.Start();

    m_handleProcs.handleProcsVersion = kCurrentHandleProcsVersion;
    m_handleProcs.numHandleProcs = kCurrentHandleProcsCount;
    m_handleProcs.newProc = &HostCallbacks::NewHandle;
    m_handleProcs.disposeProc = &HostCallbacks::DisposeHandle;

    m_readProcs.readDescriptorProcsVersion = kCurrentReadDescriptorProcsVersion;
    m_readProcs.numReadDescriptorProcs = kCurrentReadDescriptorProcsCount;
    m_readProcs.openReadDescriptorProc = &HostCallbacks::OpenRead;
    m_readProcs.closeReadDescriptorProc = &HostCallbacks::CloseRead;
    m_readProcs.getKeyProc = &HostCallbacks::GetKey;
    m_readProcs.getIntegerProc = &HostCallbacks::GetInteger;
    m_readProcs.getBooleanProc = &HostCallbacks::GetBoolean;

    m_writeProcs.writeDescriptorProcsVersion = kCurrentWriteDescriptorProcsVersion;
    m_writeProcs.numWriteDescriptorProcs = kCurrentWriteDescriptorProcsCount;
    m_writeProcs.openWriteDescriptorProc = &HostCallbacks::OpenWrite;
    m_writeProcs.closeWriteDescriptorProc = &HostCallbacks::CloseWrite;
    m_writeProcs.putIntegerProc = &HostCallbacks::PutInteger;
    m_writeProcs.putBooleanProc = &HostCallbacks::PutBoolean;

    m_descriptorParameters.playInfo = plugInDialogDisplay;
    m_descriptorParameters.recordInfo = plugInDialogOptional;
    m_descriptorParameters.readDescriptorProcs = &m_readProcs;
    m_descriptorParameters.writeDescriptorProcs = &m_writeProcs;

    m_basic.AcquireSuite = &HostCallbacks::AcquireSuite;
    m_basic.ReleaseSuite = &HostCallbacks::ReleaseSuite;
    m_uiHooks.SetCursor = &HostCallbacks::SetCursor;

    m_record.progressProc = &HostCallbacks::Progress;
    m_record.handleProcs = &m_handleProcs;
    m_record.descriptorParameters = &m_descriptorParameters;
    m_record.sSPBasic = &m_basic;
    m_record.platformData = &m_platform;
    m_record.hostSig = 0x3842494D;
    m_about.platformData = &m_platform;
    SetImage(plugInModeRGBColor, 5, 3);
}

CTestHost::~CTestHost()
{
    m_watcher.Stop();
    FreeLibrary(m_hModule);
    if (m_descriptorParameters.descriptor != nullptr)
        delete BlockOf(m_descriptorParameters.descriptor);
    gCurrentHost = nullptr;
}

int16 CTestHost::Call(int16 nSelector)
{
    int16 nResult = 12345; // the plug-in must always store a result
    void* pRecord = nSelector == filterSelectorAbout ? static_cast<void*>(&m_about)
                                                     : static_cast<void*>(&m_record);
    if (nSelector == filterSelectorContinue)
        ++m_nContinueCalls;
    m_pEntry(nSelector, pRecord, &m_nData, &nResult);
    return nResult;
}

void CTestHost::SetImage(int16 nImageMode, int16 nWidth, int16 nHeight)
{
    m_record.imageMode = nImageMode;
    m_record.depth = (nImageMode == plugInModeGray16 || nImageMode == plugInModeRGB48) ? 16 : 8;
    m_record.filterRect = {0, 0, nHeight, nWidth};
    m_record.imageSize = {nHeight, nWidth};
    const int32 nRowBytes = nWidth * 3 * 2 + 8; // padded rows
    m_source.assign(static_cast<std::size_t>(nRowBytes) * nHeight, 0);
    for (std::size_t i = 0; i < m_source.size(); ++i)
        m_source[i] = static_cast<std::uint8_t>((i * 37) % 251);
    m_destination.assign(m_source.size(), 0);
    m_record.inData = m_source.data();
    m_record.inRowBytes = nRowBytes;
    m_record.outData = m_destination.data();
    m_record.outRowBytes = nRowBytes;
    m_record.inPlaneBytes = m_record.depth / 8;
    m_record.haveMask = 0;
    m_record.maskData = nullptr;
}

void CTestHost::SetMask(int32 nRowBytes, std::uint8_t (*pfnValue)(int r, int c))
{
    const int nHeight = m_record.filterRect.bottom - m_record.filterRect.top;
    m_mask.assign(static_cast<std::size_t>(nRowBytes) * nHeight, 255);
    for (int r = 0; r < nHeight; ++r)
        for (int c = 0; c < nRowBytes; ++c)
            m_mask[static_cast<std::size_t>(r) * nRowBytes + c] =
                pfnValue != nullptr ? pfnValue(r, c) : 255;
    m_record.haveMask = 1;
    m_record.maskData = m_mask.data();
    m_record.maskRowBytes = nRowBytes;
}

void CTestHost::OfferDescriptor(const std::vector<DescriptorItem>& items, int16 nPlayInfo)
{
    if (m_descriptorParameters.descriptor != nullptr)
        delete BlockOf(m_descriptorParameters.descriptor);
    m_descriptorParameters.descriptor = MakeHandle(items);
    m_descriptorParameters.playInfo = nPlayInfo;
    m_descriptorParameters.recordInfo = plugInDialogRequired;
}

std::vector<DescriptorItem> CTestHost::HeldDescriptor() const
{
    if (m_descriptorParameters.descriptor == nullptr)
        return {};
    return BlockOf(m_descriptorParameters.descriptor)->m_items;
}

int16 CTestHost::RunFilter()
{
    int16 nFirst = 0;
    auto note = [&](int16 nResult) {
        if (nFirst == 0)
            nFirst = nResult;
        return nResult;
    };
    if (note(Call(filterSelectorParameters)) != 0 || note(Call(filterSelectorPrepare)) != 0
        || note(Call(filterSelectorStart)) != 0)
        return nFirst;
    for (int i = 0; i < 3000; ++i) {
        if (note(Call(filterSelectorContinue)) != 0)
            break;
        const Rect16& in = m_record.inRect;
        const Rect16& out = m_record.outRect;
        if (in.bottom == in.top && out.bottom == out.top)
            break;
    }
    note(Call(filterSelectorFinish));
    return nFirst;
}

void WriteDiagnostics(bool bPresent, std::uint32_t nDiagnostics)
{
    const char* pKey = "SOFTWARE\\Corvane Technologies\\Gladewick Pro";
    if (!bPresent) {
        gwtest::DeleteRegistryTree(HKEY_LOCAL_MACHINE, pKey);
        return;
    }
    HKEY hKey = nullptr;
    if (gwtest::CreateRegistryKey(HKEY_LOCAL_MACHINE, pKey, &hKey) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the settings key");
    const DWORD nRevision = 8;
    const DWORD nValue = nDiagnostics;
    RegSetValueExA(hKey, "Product Revision", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&nRevision), 4);
    RegSetValueExA(hKey, "Description", 0, REG_SZ, reinterpret_cast<const BYTE*>("test"), 5);
    RegSetValueExA(hKey, "Pathname", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegSetValueExA(hKey, "Diagnostics", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nValue), 4);
    RegCloseKey(hKey);
}

std::string ReadTextFile(const char* pPath, bool* pbExists)
{
    std::FILE* pFile = std::fopen(pPath, "rb");
    if (pbExists != nullptr)
        *pbExists = pFile != nullptr;
    if (pFile == nullptr)
        return {};
    std::string text;
    char aBuffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(aBuffer, 1, sizeof(aBuffer), pFile)) > 0)
        text.append(aBuffer, n);
    std::fclose(pFile);
    // The log is a text file: line ends are CR LF on Windows.
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines += text[i];
    return lines;
}

} // namespace gw::test
