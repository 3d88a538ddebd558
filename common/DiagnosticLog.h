// DiagnosticLog.h - the product's diagnostic log: an XML-like text file, the
// debugger output and an in-memory ring of time-stamped entries.
//
// Portable: the tick count and the debugger output come from Platform.h.
// The log has no lock. One thread writes it at a time; a ring written by a
// worker thread is flushed by its owner only after the worker has finished.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

class CDiagnosticLog
{
public:
    /// Output flags: the file, the debugger, the ring. No flag means the log is off.
    static constexpr std::uint32_t kOutputFile = 0x1, kOutputDebugger = 0x2, kOutputRing = 0x4;
    /// Levels: errors and failed assertions, entry and exit tags, information entries.
    static constexpr std::uint32_t kLevelError = 0x1, kLevelTrace = 0x2, kLevelInfo = 0x4,
                                   kLevelAll = 0xFFFFFFFFu;

    /// Number of ring entries and the size of each entry's buffer.
    static constexpr int kRingCapacity = 50;
    static constexpr std::size_t kRingEntrySize = 90;
    /// A ring entry keeps its 12-character tick prefix and at most 37 characters of text.
    static constexpr std::size_t kRingEntryLength = 49;

    CDiagnosticLog() noexcept;
    /// Closes the log (see Close).
    ~CDiagnosticLog();
    CDiagnosticLog(const CDiagnosticLog&) = delete;
    CDiagnosticLog& operator=(const CDiagnosticLog&) = delete;

    /// Switches the log on. pPath may be null (no file). A file that cannot be
    /// opened is reported once to the debugger and the other outputs stay on.
    /// Writes "<LOG>\n" at all levels. Opening an open log closes it first.
    /// Throws std::bad_alloc if the ring cannot be made (the log is then off).
    void Open(const char* pPath, std::uint32_t nLevelMask, std::uint32_t nOutputFlags);

    /// Writes "</LOG>\n" at all levels, closes the file and frees the ring; the
    /// log is off afterwards. Calling it again does nothing.
    void Close() noexcept;

    /// Records pText (as it is, unescaped) if nLevel shares a bit with the level
    /// mask: appended to the file and flushed, put into the ring with its tick
    /// prefix (cut), sent to the debugger. A null text is ignored.
    void Write(const char* pText, std::uint32_t nLevel) noexcept;

    /// Writes "<ASSERT>", pText, "</ASSERT>\n" when bCondition is false.
    void Assert(bool bCondition, const char* pText, std::uint32_t nLevel) noexcept;
    /// Writes "<", pName, ">\n".
    void Enter(const char* pName, std::uint32_t nLevel) noexcept;
    /// Writes "</", pName, ">\n".
    void Exit(const char* pName, std::uint32_t nLevel) noexcept;
    /// Writes "<INFO>", pText, "</INFO>\n".
    void Info(const char* pText, std::uint32_t nLevel) noexcept;

    /// Sends the ring's entries to the debugger, oldest first. The ring is left
    /// as it is, so a second flush sends the same entries again.
    void FlushRing() noexcept;

    /// True when any output is switched on.
    bool IsOn() const noexcept { return m_nOutputFlags != 0; }

private:
    using RingEntry = std::array<char, kRingEntrySize>;

    struct FileCloser
    {
        void operator()(std::FILE* pFile) const noexcept { std::fclose(pFile); }
    };

    void WriteToRing(const char* pText) noexcept;

    std::unique_ptr<std::FILE, FileCloser> m_pFile;
    std::uint32_t m_nLevelMask = 0;
    std::uint32_t m_nOutputFlags = 0;
    std::unique_ptr<RingEntry[]> m_pRing;
    std::int32_t m_nWriteIndex = 0;
    std::int32_t m_nReadIndex = 0;
    std::int32_t m_nCapacity = 0;
};
