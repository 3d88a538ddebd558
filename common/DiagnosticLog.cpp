// DiagnosticLog.cpp - the diagnostic log's file, debugger and ring outputs.
#include "DiagnosticLog.h"

#include "Platform.h"

#include <cstring>

CDiagnosticLog::CDiagnosticLog() noexcept = default;

CDiagnosticLog::~CDiagnosticLog()
{
    Close();
}

void CDiagnosticLog::Open(const char* pPath, std::uint32_t nLevelMask, std::uint32_t nOutputFlags)
{
    // Reopening must not leak the previous file or ring.
    Close();

    m_nLevelMask = nLevelMask;
    m_nOutputFlags = nOutputFlags;

    if (pPath != nullptr && (nOutputFlags & kOutputFile) != 0) {
        m_pFile.reset(gw::platform::OpenCommittedFile(pPath));
        if (!m_pFile) {
            gw::platform::DebugOutput("Failed to open debug log file");
        }
    }

    if ((nOutputFlags & kOutputRing) != 0) {
        try {
            m_pRing = std::make_unique<RingEntry[]>(kRingCapacity);
        } catch (...) {
            m_pFile.reset();
            m_nLevelMask = 0;
            m_nOutputFlags = 0;
            throw;
        }
        m_nCapacity = kRingCapacity;
        m_nWriteIndex = 0;
        m_nReadIndex = 0;
    }

    Write("<LOG>\n", kLevelAll);
}

void CDiagnosticLog::Close() noexcept
{
    Write("</LOG>\n", kLevelAll);
    m_pFile.reset();
    m_pRing.reset();
    m_nCapacity = 0;
    m_nWriteIndex = 0;
    m_nReadIndex = 0;
    m_nLevelMask = 0;
    m_nOutputFlags = 0;
}

void CDiagnosticLog::Write(const char* pText, std::uint32_t nLevel) noexcept
{
    if (pText == nullptr || (nLevel & m_nLevelMask) == 0) {
        return;
    }
    if (m_pFile && (m_nOutputFlags & kOutputFile) != 0) {
        std::fputs(pText, m_pFile.get());
        std::fflush(m_pFile.get());
    }
    if ((m_nOutputFlags & kOutputRing) != 0) {
        WriteToRing(pText);
    }
    if ((m_nOutputFlags & kOutputDebugger) != 0) {
        gw::platform::DebugOutput(pText);
    }
}

void CDiagnosticLog::WriteToRing(const char* pText) noexcept
{
    if (!m_pRing) {
        return;
    }
    RingEntry& entry = m_pRing[m_nWriteIndex];
    // The buffer's size bounds the formatting; the cut leaves the tick prefix
    // and the first characters of the text.
    std::snprintf(entry.data(), entry.size(), "0x%08x: %s",
                  static_cast<unsigned>(gw::platform::TickCountMs()), pText);
    entry[kRingEntryLength] = '\0';

    m_nWriteIndex = (m_nWriteIndex + 1) % m_nCapacity;
    if (m_nWriteIndex == m_nReadIndex) {
        m_nReadIndex = (m_nReadIndex + 1) % m_nCapacity;
    }
}

void CDiagnosticLog::Assert(bool bCondition, const char* pText, std::uint32_t nLevel) noexcept
{
    if (bCondition) {
        return;
    }
    Write("<ASSERT>", nLevel);
    Write(pText, nLevel);
    Write("</ASSERT>\n", nLevel);
}

void CDiagnosticLog::Enter(const char* pName, std::uint32_t nLevel) noexcept
{
    Write("<", nLevel);
    Write(pName, nLevel);
    Write(">\n", nLevel);
}

void CDiagnosticLog::Exit(const char* pName, std::uint32_t nLevel) noexcept
{
    Write("</", nLevel);
    Write(pName, nLevel);
    Write(">\n", nLevel);
}

void CDiagnosticLog::Info(const char* pText, std::uint32_t nLevel) noexcept
{
    Write("<INFO>", nLevel);
    Write(pText, nLevel);
    Write("</INFO>\n", nLevel);
}

void CDiagnosticLog::FlushRing() noexcept
{
    if (!m_pRing) {
        return;
    }
    for (std::int32_t i = m_nReadIndex; i != m_nWriteIndex; i = (i + 1) % m_nCapacity) {
        gw::platform::DebugOutput(m_pRing[i].data());
    }
}
