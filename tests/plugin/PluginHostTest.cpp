// PluginHostTest.cpp - drives the built Gladewick.8bf through TestHost as a
// host does: result codes of every selector and mode, the continue states,
// masks, minimal hosts, scripting playback and recording, the failure
// handlers and the diagnostic log.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "TestHost.h"

using gw::test::CTestHost;
using gw::test::DescriptorItem;

namespace {

constexpr DescriptorKeyID kAmount = 0x416D6E74;       // 'Amnt'
constexpr DescriptorKeyID kFillLight = 0x466C2020;    // 'Fl  '
constexpr DescriptorKeyID kFastMode = 0x4D642020;     // 'Md  '
constexpr DescriptorKeyID kFinalScaling = 0x53636C6E; // 'Scln'

bool IsEmpty(const Rect16& r)
{
    return r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0;
}

bool Equal(const Rect16& a, const Rect16& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

/// Continues while the whole-image run is going (each call answers 0 and
/// requests nothing new); true once the destination is requested.
bool PollUntilDestinationRequested(CTestHost& host)
{
    for (int i = 0; i < 3000; ++i) {
        if (host.Call(filterSelectorContinue) != 0)
            return false;
        if (!IsEmpty(host.Record().outRect))
            return true;
    }
    return false;
}

std::string Describe(const std::vector<DescriptorItem>& items)
{
    std::string text;
    for (const DescriptorItem& item : items) {
        for (int shift = 24; shift >= 0; shift -= 8)
            text += static_cast<char>((item.m_nKey >> shift) & 0xFF);
        text += item.m_nType == typeInteger ? "=long:" : "=bool:";
        text += std::to_string(item.m_nValue) + ";";
    }
    return text;
}

/// Sets the failure injection for the module loaded next, and clears it again.
class CInjectedFailure
{
public:
    explicit CInjectedFailure(const char* pSetting)
    {
        _putenv((std::string("GW_PLUGIN_INJECT_FAILURE=") + pSetting).c_str());
    }
    ~CInjectedFailure() { _putenv("GW_PLUGIN_INJECT_FAILURE="); }
};

std::string MemoryText(const char* pCode)
{
    return std::string(
               "Could not complete the Gladewick command because there is not enough memory "
               "(RAM).\nCode ")
         + pCode + ".";
}

} // namespace

TEST(SelectorTest, RgbRunWalksThroughDialogRunAndWriteBack)
{
    CTestHost host;
    FilterRecord& record = host.Record();
    record.maxSpace = 999;
    record.bufferSpace = 999;
    EXPECT_EQ(host.Call(filterSelectorParameters), 0);
    EXPECT_EQ(host.Call(filterSelectorPrepare), 0);
    EXPECT_EQ(record.maxSpace, 0);
    EXPECT_EQ(record.bufferSpace, 0);

    EXPECT_EQ(host.Call(filterSelectorStart), 0);
    EXPECT_TRUE(Equal(record.inRect, record.filterRect));
    EXPECT_EQ(record.inLoPlane, 0);
    EXPECT_EQ(record.inHiPlane, 2);
    EXPECT_TRUE(IsEmpty(record.outRect));

    EXPECT_EQ(host.Call(filterSelectorContinue), 0); // dialog accepted, run started
    EXPECT_TRUE(IsEmpty(record.outRect));
    ASSERT_TRUE(PollUntilDestinationRequested(host)); // run finished
    EXPECT_TRUE(Equal(record.outRect, record.filterRect));
    EXPECT_TRUE(Equal(record.inRect, record.filterRect));
    EXPECT_EQ(record.outLoPlane, 0);
    EXPECT_EQ(record.outHiPlane, 2);
    EXPECT_EQ(host.Call(filterSelectorContinue), 0); // written back: done
    EXPECT_TRUE(IsEmpty(record.inRect));
    EXPECT_TRUE(IsEmpty(record.outRect));
    EXPECT_EQ(host.Call(filterSelectorContinue), 0); // a host that calls once more
    EXPECT_TRUE(IsEmpty(record.inRect));
    EXPECT_EQ(host.Call(filterSelectorFinish), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST(SelectorTest, GreyAndDeepModesRunToTheEnd)
{
    const struct
    {
        int16 nMode;
        int16 nHiPlane;
    } aCases[] = {{plugInModeGrayScale, 0}, {plugInModeGray16, 0}, {plugInModeRGB48, 2}};
    for (const auto& c : aCases) {
        CTestHost host;
        host.SetImage(c.nMode, 7, 4);
        EXPECT_EQ(host.Call(filterSelectorParameters), 0) << c.nMode;
        EXPECT_EQ(host.Call(filterSelectorPrepare), 0) << c.nMode;
        EXPECT_EQ(host.Call(filterSelectorStart), 0) << c.nMode;
        EXPECT_EQ(host.Record().inHiPlane, c.nHiPlane) << c.nMode;
        EXPECT_EQ(host.Call(filterSelectorContinue), 0) << c.nMode;
        EXPECT_TRUE(PollUntilDestinationRequested(host)) << c.nMode;
        EXPECT_EQ(host.Call(filterSelectorContinue), 0) << c.nMode;
        EXPECT_TRUE(IsEmpty(host.Record().inRect)) << c.nMode;
        EXPECT_EQ(host.Record().outHiPlane, c.nHiPlane) << c.nMode;
        EXPECT_EQ(host.Call(filterSelectorFinish), 0) << c.nMode;
    }
}

TEST(SelectorTest, OtherModesAreRefusedAtStart)
{
    for (int16 nMode :
         {plugInModeBitmap, plugInModeIndexedColor, plugInModeCMYKColor, plugInModeMultichannel,
          plugInModeLabColor, plugInModeLab48, plugInModeCMYK64})
    {
        CTestHost host;
        host.SetImage(nMode, 4, 4);
        EXPECT_EQ(host.Call(filterSelectorPrepare), 0);
        EXPECT_EQ(host.Call(filterSelectorStart), filterBadMode) << nMode;
        EXPECT_TRUE(IsEmpty(host.Record().inRect)) << nMode;
        EXPECT_EQ(host.Call(filterSelectorContinue), 0) << nMode; // nothing was started
    }
}

TEST(SelectorTest, UnknownSelectorsAndEarlyCallsDoNothing)
{
    CTestHost host;
    for (int16 nSelector : {-1, 6, 100})
        EXPECT_EQ(host.Call(nSelector), 0) << nSelector;
    EXPECT_EQ(host.Call(filterSelectorContinue), 0); // before start
    EXPECT_TRUE(IsEmpty(host.Record().inRect));
    EXPECT_TRUE(IsEmpty(host.Record().outRect));
    EXPECT_EQ(host.Call(filterSelectorAbout), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST(SelectorTest, SelectionMaskIsRequestedAndReleased)
{
    CTestHost host;
    host.SetMask(5 + 3); // padded mask rows
    EXPECT_EQ(host.RunFilter(), 0);
    EXPECT_TRUE(IsEmpty(host.Record().maskRect));

    CTestHost plain;
    plain.Record().maskRect = {1, 1, 2, 2};
    EXPECT_EQ(plain.Call(filterSelectorPrepare), 0);
    EXPECT_EQ(plain.Call(filterSelectorStart), 0);
    EXPECT_TRUE(Equal(plain.Record().maskRect, Rect16{1, 1, 2, 2}));
    EXPECT_EQ(plain.RunFilter(), 0);
    EXPECT_TRUE(Equal(plain.Record().maskRect, Rect16{1, 1, 2, 2}));
}

TEST(WriteBackTest, UnselectedPixelsKeepTheSourceAndPaddingStaysUntouched)
{
    for (int16 nMode : {plugInModeGrayScale, plugInModeRGBColor, plugInModeGray16}) {
        CTestHost host;
        host.SetImage(nMode, 9, 6);
        host.SetMask(9 + 5, [](int r, int c) -> std::uint8_t { return (r + c) % 2 ? 0 : 255; });
        ASSERT_EQ(host.RunFilter(), 0) << nMode;
        const FilterRecord& record = host.Record();
        const int nPlanes = nMode == plugInModeRGBColor ? 3 : 1;
        const int nBytes = nMode == plugInModeGray16 ? 2 : 1;
        for (int r = 0; r < 6; ++r) {
            for (int b = 0; b < record.outRowBytes; ++b) {
                const std::size_t i = static_cast<std::size_t>(r) * record.outRowBytes + b;
                const int c = b / (nPlanes * nBytes);
                if (c >= 9) {
                    EXPECT_EQ(host.Destination()[i], 0) << "padding, mode " << nMode;
                } else if ((r + c) % 2) {
                    EXPECT_EQ(host.Destination()[i], host.Source()[i]) << "mode " << nMode;
                }
            }
        }
        if (nMode == plugInModeGray16) {
            const auto* pOut = reinterpret_cast<const std::uint16_t*>(host.Destination().data());
            for (int r = 0; r < 6; ++r)
                for (int c = 0; c < 9; ++c) {
                    if ((r + c) % 2 == 0) {
                        EXPECT_LE(pOut[r * record.outRowBytes / 2 + c], 32768);
                    }
                }
        }
    }
}

TEST(WriteBackTest, LargerRunReportsProgressAndModuleServesAnotherImage)
{
    CTestHost host;
    host.SetImage(plugInModeRGBColor, 300, 200);
    ASSERT_EQ(host.RunFilter(), 0);
    EXPECT_GE(host.ContinueCalls(), 3);
    for (const auto& call : gw::test::gProgressCalls) {
        EXPECT_GE(call.first, 0);
        EXPECT_LE(call.first, 99);
        EXPECT_EQ(call.second, 100);
    }
    // The same loaded module, a second invocation on an image of another size.
    host.SetImage(plugInModeGrayScale, 17, 11);
    EXPECT_EQ(host.RunFilter(), 0);
    EXPECT_TRUE(IsEmpty(host.Record().outRect));
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST(SelectorTest, MaskRowsShorterThanTheAreaAreRefused)
{
    CTestHost host;
    host.SetMask(4); // the area is 5 pixels wide
    EXPECT_EQ(host.Call(filterSelectorPrepare), 0);
    EXPECT_EQ(host.Call(filterSelectorStart), 0);
    EXPECT_TRUE(Equal(host.Record().maskRect, host.Record().filterRect));
    EXPECT_EQ(host.Call(filterSelectorContinue), paramErr);
    auto boxes = host.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].m_text, "Exception caught in DoContinue.\nCode 003.");
    EXPECT_EQ(boxes[0].m_caption, "Gladewick Pro");
}

TEST(SelectorTest, MinimalHostsStillRunTheFilter)
{
    {
        CTestHost host;
        host.WithholdBasicSuite();
        EXPECT_EQ(host.RunFilter(), 0);
    }
    {
        CTestHost host;
        host.RefuseUIHooks();
        EXPECT_EQ(host.RunFilter(), 0);
        ASSERT_EQ(host.AcquiredSuites().size(), 1u);
        EXPECT_EQ(host.AcquiredSuites()[0], "Photoshop UIHooks Suite for Plug-ins v1");
    }
    {
        CTestHost host;
        host.WithholdProgress();
        EXPECT_EQ(host.RunFilter(), 0);
    }
    {
        CTestHost host;
        host.WithholdDescriptorParameters();
        EXPECT_EQ(host.RunFilter(), 0);
        EXPECT_TRUE(IsEmpty(host.Record().outRect));
    }
}

TEST(ScriptingTest, PlaybackWithoutDialogTakesTheDescriptorValues)
{
    CTestHost host;
    host.OfferDescriptor({{kAmount, typeInteger, 80},
                          {kFillLight, typeInteger, 50},
                          {kFastMode, typeBoolean, 1},
                          {kFinalScaling, typeBoolean, 0}},
                         plugInDialogDontDisplay);
    EXPECT_EQ(host.RunFilter(), 0);
    EXPECT_EQ(Describe(host.HeldDescriptor()),
              "Amnt=long:80;Fl  =long:50;Md  =bool:1;Scln=bool:0;");
    EXPECT_EQ(host.Descriptors().recordInfo, plugInDialogOptional);
    EXPECT_EQ(host.DisposedHandles(), 1); // the played descriptor, once
}

TEST(ScriptingTest, PlaybackWithDialogIgnoresTheDescriptor)
{
    CTestHost host;
    host.OfferDescriptor({{kAmount, typeInteger, 80}, {kFastMode, typeBoolean, 1}},
                         plugInDialogDisplay);
    EXPECT_EQ(host.RunFilter(), 0);
    EXPECT_EQ(Describe(host.HeldDescriptor()),
              "Amnt=long:60;Fl  =long:37;Md  =bool:0;Scln=bool:1;");
    EXPECT_EQ(host.DisposedHandles(), 1); // replaced by the recorded one
}

TEST(ScriptingTest, DescriptorValuesAreTakenAsTheyAre)
{
    CTestHost host;
    host.OfferDescriptor({{kAmount, typeInteger, 150},
                          {kFillLight, typeBoolean, 1}, // wrong type: not taken
                          {0x58585858, typeInteger, 7}, // unknown key: skipped
                          {kFastMode, typeBoolean, 2}},
                         plugInDialogDontDisplay);
    EXPECT_EQ(host.RunFilter(), 0);
    EXPECT_EQ(Describe(host.HeldDescriptor()),
              "Amnt=long:150;Fl  =long:37;Md  =bool:1;Scln=bool:1;");
}

TEST(ScriptingTest, FinishWithoutWriteTokenReportsMissingParameter)
{
    CTestHost host;
    host.WithholdWriteToken();
    EXPECT_EQ(host.Call(filterSelectorPrepare), 0);
    EXPECT_EQ(host.Call(filterSelectorStart), 0);
    EXPECT_EQ(host.Call(filterSelectorFinish), errMissingParameter);
    EXPECT_TRUE(host.HeldDescriptor().empty());
}

TEST(ScriptingTest, HostWithoutWriteSuiteRunsAndKeepsItsDescriptor)
{
    CTestHost host;
    host.OfferDescriptor({{kAmount, typeInteger, 70}}, plugInDialogDontDisplay);
    host.Descriptors().writeDescriptorProcs = nullptr;
    EXPECT_EQ(host.RunFilter(), 0);
    EXPECT_TRUE(host.HeldDescriptor().empty())
        << "the played descriptor is consumed, none is recorded";
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST(FailureTest, AllocationFailuresShowTheMemoryMessageOfTheirSite)
{
    const struct
    {
        const char* pInjection;
        int16 nSelector;
        int16 nResult;
        const char* pCode;
        const char* pCaption;
    } aCases[] = {
        {"DoStart=memory", filterSelectorStart, memFullErr, "001", "Gladewick Plugin"},
        {"DoPrepare=memory", filterSelectorPrepare, memFullErr, "001", "Gladewick Plugin"},
        {"DoContinue=memory", filterSelectorContinue, memFullErr, "003", "Gladewick Pro"},
        {"ProcessImage=memory", filterSelectorContinue, filterBadParameters, "004",
         "Gladewick Engine"},
        {"InitializeImageEngine=memory", filterSelectorContinue, userCanceledErr, "005",
         "Gladewick Pro"},
    };
    for (const auto& c : aCases) {
        CInjectedFailure injection(c.pInjection);
        CTestHost host;
        host.Call(filterSelectorParameters);
        if (c.nSelector != filterSelectorPrepare)
            host.Call(filterSelectorPrepare);
        if (c.nSelector == filterSelectorContinue) {
            EXPECT_EQ(host.Call(filterSelectorStart), 0) << c.pInjection;
        }
        EXPECT_EQ(host.Call(c.nSelector), c.nResult) << c.pInjection;
        auto boxes = host.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.pInjection;
        EXPECT_EQ(boxes[0].m_text, MemoryText(c.pCode)) << c.pInjection;
        EXPECT_EQ(boxes[0].m_caption, c.pCaption) << c.pInjection;
    }
}

TEST(FailureTest, OtherFailuresAndMachineFaultsShowTheirText)
{
    const struct
    {
        const char* pInjection;
        int16 nSelector;
        const char* pText;
        const char* pCaption;
    } aCases[] = {
        {"DoContinue=other", filterSelectorContinue, "Exception caught in DoContinue.\nCode 003.",
         "Gladewick Pro"},
        {"DoContinue=fault", filterSelectorContinue, "Exception caught in DoContinue.\nCode 003.",
         "Gladewick Pro"},
        {"DoStart=fault", filterSelectorStart, "Exception caught in ProgressAbort.\nCode 001.",
         "Gladewick"},
        {"PluginMain=other", filterSelectorParameters,
         "Exception caught in ProgressAbort.\nCode 001.", "Gladewick"},
    };
    for (const auto& c : aCases) {
        CInjectedFailure injection(c.pInjection);
        CTestHost host;
        if (c.nSelector != filterSelectorParameters) {
            host.Call(filterSelectorPrepare);
            if (c.nSelector == filterSelectorContinue) {
                EXPECT_EQ(host.Call(filterSelectorStart), 0) << c.pInjection;
            }
        }
        EXPECT_EQ(host.Call(c.nSelector), paramErr) << c.pInjection;
        auto boxes = host.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.pInjection;
        EXPECT_EQ(boxes[0].m_text, c.pText) << c.pInjection;
        EXPECT_EQ(boxes[0].m_caption, c.pCaption) << c.pInjection;
        // The module stays usable after the failure.
        if (c.nSelector != filterSelectorParameters) {
            EXPECT_EQ(host.Call(filterSelectorFinish), 0) << c.pInjection;
        }
    }
}

class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char szTemp[MAX_PATH];
        GetTempPathA(MAX_PATH, szTemp);
        m_folder = std::string(szTemp) + "gw-plugin-log-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_folder.c_str(), nullptr);
        GetCurrentDirectoryA(MAX_PATH, m_szPrevious);
        SetCurrentDirectoryA(m_folder.c_str());
        DeleteFileA("GWPluginLog.xml");
    }
    void TearDown() override
    {
        gw::test::WriteDiagnostics(false, 0);
        DeleteFileA("GWPluginLog.xml");
        SetCurrentDirectoryA(m_szPrevious);
        RemoveDirectoryA(m_folder.c_str());
    }
    /// Runs the filter once in a freshly loaded module; returns the log file.
    std::string RunLogged(bool* pbExists, const char* pInjection = "")
    {
        CInjectedFailure injection(pInjection);
        {
            CTestHost host;
            host.RunFilter();
        }
        return gw::test::ReadTextFile("GWPluginLog.xml", pbExists);
    }

    std::string m_folder;
    char m_szPrevious[MAX_PATH] = {};
};

TEST_F(LogTest, NoLogWithoutDiagnostics)
{
    bool bExists = true;
    gw::test::WriteDiagnostics(false, 0);
    RunLogged(&bExists);
    EXPECT_FALSE(bExists);
    gw::test::WriteDiagnostics(true, 0);
    RunLogged(&bExists);
    EXPECT_FALSE(bExists);
}

TEST_F(LogTest, InformationLevelHoldsOnlyInformationEntries)
{
    bool bExists = false;
    gw::test::WriteDiagnostics(true, 4);
    std::string log = RunLogged(&bExists);
    ASSERT_TRUE(bExists);
    // The continue states frame the dialog's own information entries; no
    // entry or exit tag and no error entry gets in.
    EXPECT_EQ(log.rfind("<LOG>\n<INFO>GUI</INFO>\n", 0), 0u) << log;
    const std::string end = "<INFO>WRITING</INFO>\n</LOG>\n";
    EXPECT_TRUE(log.size() > end.size()
                && log.compare(log.size() - end.size(), end.size(), end) == 0)
        << log;
    for (std::size_t i = log.find('<'); i != std::string::npos; i = log.find('<', i + 1)) {
        const std::string tag = log.substr(i, log.find('>', i) - i + 1);
        EXPECT_TRUE(tag == "<LOG>" || tag == "</LOG>" || tag == "<INFO>" || tag == "</INFO>")
            << tag;
    }
}

TEST_F(LogTest, AllLevelsHoldTheTagsOfEveryHandler)
{
    bool bExists = false;
    gw::test::WriteDiagnostics(true, 0xFFFFFFFFu);
    std::string log = RunLogged(&bExists);
    ASSERT_TRUE(bExists);
    EXPECT_EQ(log.rfind("<LOG>\n", 0), 0u);
    EXPECT_EQ(log.substr(log.size() - 7), "</LOG>\n");
    for (const char* pName : {"DoParameters", "DoPrepare", "DoStart", "DoContinue", "DoFinish",
                              "DoUI", "ReadScriptingParameters", "WriteScriptingParameters"})
    {
        EXPECT_NE(log.find(std::string("<") + pName + ">\n"), std::string::npos) << pName;
        EXPECT_NE(log.find(std::string("</") + pName + ">\n"), std::string::npos) << pName;
    }
    EXPECT_NE(log.find("<DoContinue>\n<ReadScriptingParameters>\n</ReadScriptingParameters>\n"
                       "<INFO>GUI</INFO>\n"),
              std::string::npos);
}

TEST_F(LogTest, FailureIsLoggedWithTheExitTagOfItsOperation)
{
    bool bExists = false;
    gw::test::WriteDiagnostics(true, 0xFFFFFFFFu);
    std::string log = RunLogged(&bExists, "DoContinue=memory");
    ASSERT_TRUE(bExists);
    EXPECT_NE(log.find("<INFO>Memory Exception in DoContinue</INFO>\n</DoContinue>\n"),
              std::string::npos)
        << log;

    gw::test::WriteDiagnostics(true, 1); // errors only
    log = RunLogged(&bExists, "DoContinue=fault");
    EXPECT_EQ(log, "<LOG>\n<INFO>Exception caught in DoContinue</INFO>\n</LOG>\n");
}
