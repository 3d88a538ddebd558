// TestHost.h - a small in-process host for the plug-in tests: loads a fresh
// copy of Gladewick.8bf for each test, fills a filter record with real handle
// procedures, an in-memory descriptor store, a basic suite and a progress
// callback (each of which a test can withhold), and records the message
// boxes the plug-in shows (read from the real window, then dismissed).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hostapi/HostApi.h"

namespace gw::test {

/// One value of a descriptor: integers and booleans are all the plug-in uses.
struct DescriptorItem
{
    DescriptorKeyID m_nKey;
    DescriptorTypeID m_nType;
    int32 m_nValue;
};

struct MessageBoxSeen
{
    std::string m_caption;
    std::string m_text;
};

/// Watches for message boxes of this process, records them and presses OK;
/// the filter dialog and the about box are closed with OK and not recorded.
///
/// It watches only between Start and Stop, which the host calls with the module
/// loaded: under Wine, a thread whose window calls meet a module's attach or
/// detach on another thread (which registers or removes window classes under
/// the loader lock) can deadlock with it, as a host's own threads never do.
class CMessageBoxWatcher
{
public:
    CMessageBoxWatcher() = default;
    ~CMessageBoxWatcher();
    CMessageBoxWatcher(const CMessageBoxWatcher&) = delete;
    CMessageBoxWatcher& operator=(const CMessageBoxWatcher&) = delete;
    void Start();
    void Stop();
    std::vector<MessageBoxSeen> Seen();

private:
    void Run();
    static BOOL CALLBACK OnWindow(HWND hWnd, LPARAM lSelf);
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<MessageBoxSeen> m_seen;
    std::thread m_thread;
};

class CTestHost
{
public:
    /// Loads the module (attach runs: settings, log, failure injection).
    CTestHost();
    /// Unloads the module (detach runs; the log is closed).
    ~CTestHost();
    CTestHost(const CTestHost&) = delete;
    CTestHost& operator=(const CTestHost&) = delete;

    /// Calls PluginMain with the filter record (or the about record for 0).
    int16 Call(int16 nSelector);
    /// Prepares an image area of the given mode: filterRect (0, 0, nHeight, nWidth),
    /// source (a fixed pattern) and destination (zero) buffers with padded
    /// rows, no selection.
    void SetImage(int16 nImageMode, int16 nWidth, int16 nHeight);
    /// Adds a selection: mask rows of nRowBytes bytes, pfnValue(r, c) each
    /// (all 255 without it).
    void SetMask(int32 nRowBytes, std::uint8_t (*pfnValue)(int r, int c) = nullptr);

    /// Offers a descriptor for playback with the given play information.
    void OfferDescriptor(const std::vector<DescriptorItem>& items, int16 nPlayInfo);
    /// The descriptor the host holds now (after finish: the recorded one).
    std::vector<DescriptorItem> HeldDescriptor() const;

    void WithholdBasicSuite() { m_record.sSPBasic = nullptr; }
    void WithholdProgress() { m_record.progressProc = nullptr; }
    void WithholdDescriptorParameters() { m_record.descriptorParameters = nullptr; }
    void WithholdWriteToken() { m_bGiveWriteToken = false; }
    void RefuseUIHooks() { m_bRefuseUIHooks = true; }

    /// Runs parameters, prepare, start, continue until the rectangles are empty
    /// (at most 3000 calls), finish. Returns the first non-zero result, or 0.
    int16 RunFilter();

    FilterRecord& Record() { return m_record; }
    PIDescriptorParameters& Descriptors() { return m_descriptorParameters; }
    const std::vector<std::uint8_t>& Source() const { return m_source; }
    const std::vector<std::uint8_t>& Destination() const { return m_destination; }
    int ContinueCalls() const { return m_nContinueCalls; }
    int DisposedHandles() const { return m_nDisposed; }
    std::vector<std::string> AcquiredSuites() const { return m_acquired; }
    std::vector<MessageBoxSeen> MessageBoxes() { return m_watcher.Seen(); }

private:
    HMODULE m_hModule = nullptr;
    PluginEntryProc m_pEntry = nullptr;
    FilterRecord m_record{};
    AboutRecord m_about{};
    PlatformData m_platform{};
    HandleProcs m_handleProcs{};
    PIDescriptorParameters m_descriptorParameters{};
    ReadDescriptorProcs m_readProcs{};
    WriteDescriptorProcs m_writeProcs{};
    SPBasicSuite m_basic{};
    PSUIHooksSuite1 m_uiHooks{};
    std::vector<std::uint8_t> m_source, m_destination, m_mask;
    bool m_bGiveWriteToken = true;
    bool m_bRefuseUIHooks = false;
    int m_nContinueCalls = 0;
    int m_nDisposed = 0;
    std::vector<std::string> m_acquired;
    intptr_t m_nData = 0;
    CMessageBoxWatcher m_watcher;

    friend struct HostCallbacks;
};

/// The progress calls of the current host.
extern std::vector<std::pair<int32, int32>> gProgressCalls;

/// Writes (or, with bPresent false, removes) the plug-in's settings key.
void WriteDiagnostics(bool bPresent, std::uint32_t nDiagnostics);

/// Reads a whole text file, CR LF read as LF; empty when it does not exist.
std::string ReadTextFile(const char* pPath, bool* pbExists = nullptr);

} // namespace gw::test
