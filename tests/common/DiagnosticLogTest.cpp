// DiagnosticLogTest.cpp - file contents by level mask, the ring, the debugger output.
#include "DiagnosticLog.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Debugger output goes to standard error natively once this is set; it must be
// set before the first piece is sent.
const bool gDebugOutputOn = [] {
    setenv("GW_DEBUG_OUTPUT", "1", 1);
    return true;
}();

constexpr std::uint32_t kAllOutputs =
    CDiagnosticLog::kOutputFile | CDiagnosticLog::kOutputDebugger | CDiagnosticLog::kOutputRing;

class DiagnosticLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path()
               / (std::string("gwlog-") + pInfo->name() + "-" + std::to_string(getpid()) + ".xml");
    }
    void TearDown() override { std::filesystem::remove(m_path); }

    std::string ReadFile() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // One operation's worth of entries, as the plug-in writes them.
    static void WriteSample(CDiagnosticLog& log)
    {
        log.Enter("DoPrepare", CDiagnosticLog::kLevelTrace);
        log.Info("GUI", CDiagnosticLog::kLevelInfo);
        log.Assert(true, "never", CDiagnosticLog::kLevelError);
        log.Assert(false, "a < b & c", CDiagnosticLog::kLevelError);
        log.Exit("DoPrepare", CDiagnosticLog::kLevelTrace);
    }

    std::filesystem::path m_path;
};

std::string Captured(void (*pAction)(CDiagnosticLog&), CDiagnosticLog& log)
{
    ::testing::internal::CaptureStderr();
    pAction(log);
    return ::testing::internal::GetCapturedStderr();
}

TEST_F(DiagnosticLogTest, FileHoldsOnlyTheLevelsOfTheMask)
{
    struct Case
    {
        std::uint32_t nMask;
        const char* pExpected;
    };
    const Case cases[] = {
        {0, ""},
        {CDiagnosticLog::kLevelInfo, "<LOG>\n<INFO>GUI</INFO>\n</LOG>\n"},
        {CDiagnosticLog::kLevelAll, "<LOG>\n<DoPrepare>\n<INFO>GUI</INFO>\n<ASSERT>a < b & "
                                    "c</ASSERT>\n</DoPrepare>\n</LOG>\n"},
    };
    for (const Case& c : cases) {
        {
            CDiagnosticLog log;
            log.Open(m_path.string().c_str(), c.nMask, CDiagnosticLog::kOutputFile);
            EXPECT_TRUE(log.IsOn());
            WriteSample(log);
        }
        EXPECT_EQ(ReadFile(), c.pExpected) << "mask " << c.nMask;
    }
}

TEST_F(DiagnosticLogTest, OpenEmptiesAnExistingFileAndCloseIsIdempotent)
{
    std::ofstream(m_path) << "old contents that must go\n";
    CDiagnosticLog log;
    log.Open(m_path.string().c_str(), CDiagnosticLog::kLevelAll, CDiagnosticLog::kOutputFile);
    log.Write("piece", CDiagnosticLog::kLevelInfo);
    log.Write(nullptr, CDiagnosticLog::kLevelInfo);
    log.Close();
    EXPECT_FALSE(log.IsOn());
    log.Close();
    log.Write("after close", CDiagnosticLog::kLevelAll);
    EXPECT_EQ(ReadFile(), "<LOG>\npiece</LOG>\n");
}

TEST_F(DiagnosticLogTest, ReopeningClosesThePreviousFile)
{
    const std::filesystem::path first = m_path;
    m_path += ".second";
    CDiagnosticLog log;
    log.Open(first.string().c_str(), CDiagnosticLog::kLevelAll, CDiagnosticLog::kOutputFile);
    log.Open(m_path.string().c_str(), CDiagnosticLog::kLevelAll, CDiagnosticLog::kOutputFile);
    log.Write("x", CDiagnosticLog::kLevelAll);
    log.Close();
    std::ifstream in(first);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "<LOG>\n</LOG>\n");
    EXPECT_EQ(ReadFile(), "<LOG>\nx</LOG>\n");
    std::filesystem::remove(first);
    std::filesystem::remove(m_path);
}

TEST_F(DiagnosticLogTest, UnopenablePathIsReportedOnceAndOtherOutputsStayOn)
{
    const std::string badPath = (m_path / "no-such-folder" / "log.xml").string();
    CDiagnosticLog log;
    ::testing::internal::CaptureStderr();
    log.Open(badPath.c_str(), CDiagnosticLog::kLevelAll, kAllOutputs);
    log.Info("still here", CDiagnosticLog::kLevelInfo);
    const std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "Failed to open debug log file<LOG>\n<INFO>still here</INFO>\n");
    EXPECT_TRUE(log.IsOn());
    EXPECT_FALSE(std::filesystem::exists(badPath));
}

TEST_F(DiagnosticLogTest, DebuggerGetsEachPieceAndNothingWhenOff)
{
    CDiagnosticLog off;
    EXPECT_FALSE(off.IsOn());
    EXPECT_EQ(Captured(WriteSample, off), "");

    CDiagnosticLog log;
    log.Open(nullptr, CDiagnosticLog::kLevelTrace, CDiagnosticLog::kOutputDebugger);
    EXPECT_EQ(Captured(WriteSample, log), "<DoPrepare>\n</DoPrepare>\n");
    EXPECT_EQ(Captured(
                  +[](CDiagnosticLog& l) { l.FlushRing(); }, log),
              "");
}

// Splits a flushed ring back into its entries: each begins with "0x" and eight
// hex digits, then ": ".
std::vector<std::string> RingEntries(const std::string& flushed)
{
    std::vector<std::string> entries;
    std::size_t nPos = 0;
    while (nPos < flushed.size()) {
        std::size_t nNext = flushed.find("0x", nPos + 1);
        while (nNext != std::string::npos && flushed.compare(nNext + 10, 2, ": ") != 0) {
            nNext = flushed.find("0x", nNext + 1);
        }
        entries.push_back(flushed.substr(nPos, nNext - nPos));
        nPos = nNext;
    }
    return entries;
}

TEST_F(DiagnosticLogTest, RingKeepsTheLastFortyNinePiecesOldestFirst)
{
    CDiagnosticLog log;
    log.Open(nullptr, CDiagnosticLog::kLevelAll, CDiagnosticLog::kOutputRing);
    // "<LOG>\n" took the first slot; 60 more pieces overrun the ring.
    for (int i = 0; i < 60; ++i) {
        log.Write(("piece " + std::to_string(i) + ";").c_str(), CDiagnosticLog::kLevelInfo);
    }
    const std::string first = Captured(
        +[](CDiagnosticLog& l) { l.FlushRing(); }, log);
    const std::string second = Captured(
        +[](CDiagnosticLog& l) { l.FlushRing(); }, log);
    EXPECT_EQ(first, second);

    const std::vector<std::string> entries = RingEntries(first);
    ASSERT_EQ(entries.size(), 49u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ASSERT_GE(entries[i].size(), 12u);
        EXPECT_EQ(entries[i].substr(12), "piece " + std::to_string(11 + i) + ";");
        for (char c : entries[i].substr(2, 8)) {
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c))) << entries[i];
        }
    }
}

TEST_F(DiagnosticLogTest, LongPieceIsWholeInTheFileAndCutInTheRing)
{
    const std::string text(100, 'x');
    CDiagnosticLog log;
    log.Open(m_path.string().c_str(), CDiagnosticLog::kLevelInfo,
             CDiagnosticLog::kOutputFile | CDiagnosticLog::kOutputRing);
    log.Write(text.c_str(), CDiagnosticLog::kLevelInfo);
    const std::vector<std::string> entries = RingEntries(Captured(
        +[](CDiagnosticLog& l) { l.FlushRing(); }, log));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].substr(12), "<LOG>\n");
    EXPECT_EQ(entries[1].size(), 12u + 37u);
    EXPECT_EQ(entries[1].substr(12), text.substr(0, 37));
    log.Close();
    EXPECT_EQ(ReadFile(), "<LOG>\n" + text + "</LOG>\n");
}

} // namespace
