// BridgeTest.cpp - the engine bridge driven directly, with the plug-in's own
// objects linked in: the dialog's preview fields are set as the dialog sets
// them, then the preview path and the write-back run through the same
// operations the dialog and the continue selector call.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <memory>
#include <vector>

#include "FilterProcessing.h"
#include "PluginGlobals.h"
#include "TestHost.h"
#include "engine/CImageEngine.h"
#include "ui/FilterUI.h"

namespace {

/// One filter invocation inside this program: a host record over an image of
/// the given mode, the one filter-processing object, and a dialog object whose
/// maximum preview is nMaxWidth x nMaxHeight at (10, 20).
class CBridge
{
public:
    CBridge(int16 nMode, int nWidth, int nHeight, int nMaxWidth, int nMaxHeight)
        : m_nPlanes(nMode == plugInModeRGBColor || nMode == plugInModeRGB48 ? 3 : 1)
        , m_nBytes(nMode == plugInModeGray16 || nMode == plugInModeRGB48 ? 2 : 1)
    {
        m_record.imageMode = nMode;
        m_record.inLoPlane = 0;
        m_record.inHiPlane = static_cast<int16>(m_nPlanes - 1);
        m_record.inPlaneBytes = m_nBytes;
        m_record.filterRect = {0, 0, static_cast<int16>(nHeight), static_cast<int16>(nWidth)};
        m_record.inRowBytes = nWidth * m_nPlanes * m_nBytes + 6; // padded rows
        m_record.outRowBytes = m_record.inRowBytes;
        m_source.assign(static_cast<std::size_t>(m_record.inRowBytes) * nHeight, 0);
        m_destination.assign(m_source.size(), 0xEE);
        for (int r = 0; r < nHeight; ++r)
            for (int i = 0; i < nWidth * m_nPlanes; ++i)
                SetSource(r, i, (r * 7 + i * 13) % 256 * (m_nBytes == 2 ? 128 : 1));
        m_record.inData = m_source.data();
        m_record.outData = m_destination.data();
        gFilterRecord = &m_record;

        m_pProcessing = std::make_unique<CFilter_Processing>();
        gFilterProcessing = m_pProcessing.get();
        CFilter_Processing& proc = *m_pProcessing;
        proc.m_image.SetDimensions(nWidth, nHeight, m_record);
        proc.m_pUI = std::make_unique<CFilter_UI>(proc);
        CFilter_UI& ui = *proc.m_pUI;
        ui.m_rectMaxPreview = {10, 20, 10 + nMaxWidth - 1, 20 + nMaxHeight - 1};
        double dFit = std::min(static_cast<double>(nMaxWidth) / nWidth,
                               static_cast<double>(nMaxHeight) / nHeight);
        ui.m_fFitZoom = static_cast<float>(dFit < 1.0 ? dFit : 1.0);
        ui.m_fZoom = ui.m_fFitZoom;
        ui.m_previewBuffer.AllocatePixels(nMaxWidth, nMaxHeight, m_record);
        EXPECT_TRUE(proc.InitializeImageEngine());
    }
    ~CBridge()
    {
        m_pProcessing.reset();
        gFilterProcessing = nullptr;
        gFilterRecord = nullptr;
    }

    void SetSource(int r, int i, int nValue)
    {
        const std::size_t n = static_cast<std::size_t>(r) * m_record.inRowBytes
                            + static_cast<std::size_t>(i) * m_nBytes;
        if (m_nBytes == 2) {
            const auto s = static_cast<std::uint16_t>(nValue);
            std::memcpy(&m_source[n], &s, 2);
        } else {
            m_source[n] = static_cast<std::uint8_t>(nValue);
        }
    }
    int Destination(int r, int i) const
    {
        const std::size_t n = static_cast<std::size_t>(r) * m_record.outRowBytes
                            + static_cast<std::size_t>(i) * m_nBytes;
        if (m_nBytes == 1)
            return m_destination[n];
        std::uint16_t s;
        std::memcpy(&s, &m_destination[n], 2);
        return s;
    }
    void SetMask(std::uint8_t (*pfnValue)(int r, int c))
    {
        CFilter_Processing& proc = *m_pProcessing;
        const int nWidth = proc.m_image.m_nWidth;
        const int nHeight = proc.m_image.m_nHeight;
        m_record.haveMask = 1;
        std::uint8_t* pMask = proc.m_image.AllocateMask(nWidth, nHeight, nWidth + 3);
        for (int r = 0; r < nHeight; ++r)
            for (int c = 0; c < nWidth; ++c)
                pMask[r * (nWidth + 3) + c] = pfnValue(r, c);
    }

    CFilter_Processing& Proc() { return *m_pProcessing; }
    CFilter_UI& UI() { return *m_pProcessing->m_pUI; }
    const std::uint8_t* Preview() { return UI().m_previewBuffer.m_imageBuffer.get(); }
    int Planes() const { return m_nPlanes; }

private:
    FilterRecord m_record{};
    int m_nPlanes;
    int m_nBytes;
    std::vector<std::uint8_t> m_source, m_destination;
    std::unique_ptr<CFilter_Processing> m_pProcessing;
};

TEST(PreviewGeometryTest, ZoomBelowFitIsRaisedAndThePreviewStaysInsideTheMaximum)
{
    CBridge bridge(plugInModeRGBColor, 120, 60, 40, 40); // fits at 1/3
    CFilter_UI& ui = bridge.UI();
    ui.m_fZoom = 0.05f;
    ASSERT_TRUE(bridge.Proc().ProcessPreviewBuffer(0));
    EXPECT_FLOAT_EQ(bridge.Proc().m_fPreviewZoom, ui.m_fFitZoom);
    EXPECT_EQ(ui.m_previewBuffer.m_nWidth, 40);
    EXPECT_EQ(ui.m_previewBuffer.m_nHeight, 20);

    // Enlarged: the preview takes the whole maximum area and no more.
    ui.m_fZoom = 3.0f;
    ASSERT_TRUE(bridge.Proc().ProcessPreviewBuffer(UPDATE_ZOOM));
    EXPECT_EQ(ui.m_previewBuffer.m_nWidth, XSize(ui.m_rectMaxPreview));
    EXPECT_EQ(ui.m_previewBuffer.m_nHeight, YSize(ui.m_rectMaxPreview));

    // The origin is kept so that the view stays on the image.
    ui.m_ptOrigin = {500, -7};
    ASSERT_TRUE(bridge.Proc().ProcessPreviewBuffer(UPDATE_ZOOM));
    EXPECT_EQ(ui.m_ptOrigin.x, 120 - static_cast<int>(40 / 3.0f));
    EXPECT_EQ(ui.m_ptOrigin.y, 0);

    // A very long, narrow image still gets a preview row.
    CBridge narrow(plugInModeGrayScale, 2000, 3, 50, 50);
    ASSERT_TRUE(narrow.Proc().ProcessPreviewBuffer(0));
    EXPECT_EQ(narrow.UI().m_previewBuffer.m_nWidth, 50);
    EXPECT_EQ(narrow.UI().m_previewBuffer.m_nHeight, 1);
}

TEST(PreviewGeometryTest, PanResamplesWithoutRemakingTheEngineOrClampingTheOrigin)
{
    CBridge bridge(plugInModeGrayScale, 80, 80, 30, 30);
    CFilter_UI& ui = bridge.UI();
    CFilter_Processing& proc = bridge.Proc();
    ASSERT_TRUE(proc.ProcessPreviewBuffer(0));
    ui.m_fZoom = 2.0f;
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_ZOOM));
    const CImageEngine* pEngine = proc.m_pPreviewEngine.get();
    const std::vector<std::uint8_t> before(bridge.Preview(), bridge.Preview() + 30 * 30);

    ui.m_ptOrigin = {20, 30};
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_PAN));
    EXPECT_EQ(proc.m_pPreviewEngine.get(), pEngine);
    EXPECT_NE(std::vector<std::uint8_t>(bridge.Preview(), bridge.Preview() + 30 * 30), before);

    // An origin beyond the image stays as it is; the view reads the last rows
    // and columns instead of memory beyond the image.
    ui.m_ptOrigin = {79, 200};
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_PAN));
    EXPECT_EQ(ui.m_ptOrigin.x, 79);
    EXPECT_EQ(ui.m_ptOrigin.y, 200);
    proc.m_bAfterShown = false;
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_PAN));
    EXPECT_EQ(bridge.Preview()[0], (79 * 7 + 79 * 13) % 256);
}

TEST(PreviewRangeTest, EnlargedViewsUseTheRangeOfTheWholeView)
{
    CBridge bridge(plugInModeRGBColor, 90, 60, 45, 30); // fits at 1/2
    CFilter_UI& ui = bridge.UI();
    CFilter_Processing& proc = bridge.Proc();
    ASSERT_TRUE(proc.ProcessPreviewBuffer(0));
    ASSERT_TRUE(proc.m_pReferenceEngine);
    EXPECT_EQ(proc.m_nPreviewSamples, 45 * 30 * 3);
    float fLow = 0.0f, fHigh = 0.0f;
    proc.m_pPreviewEngine->GetOutputRange(fLow, fHigh);
    EXPECT_GE(proc.m_fOutLow, 0.0f);
    EXPECT_EQ(proc.m_fOutLow, fLow);
    EXPECT_EQ(proc.m_fOutHigh, fHigh);

    // Zooming in hands the kept range to the new preview engine.
    ui.m_fZoom = 2.0f;
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_ZOOM));
    proc.m_pPreviewEngine->GetOutputRange(fLow, fHigh);
    EXPECT_EQ(fLow, proc.m_fOutLow);
    EXPECT_EQ(fHigh, proc.m_fOutHigh);

    // A new Fill Light while enlarged: the reference engine finds the range on
    // the whole view at the fitting zoom.
    proc.m_nFillLight = 80;
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_FILL_LIGHT));
    CImageEngine reference(1, 30, 45, -2, nullptr);
    reference.SetAmount(proc.m_fAmount);
    reference.SetEpsilon(proc.m_fEpsilon);
    reference.SetThermal(proc.m_fThermal);
    reference.SetFastMode(0);
    reference.SetFinalScaling(1);
    reference.SetRadius(proc.m_fRadius / ui.m_fFitZoom);
    std::vector<float> view(proc.m_pPreviewSource.get(),
                            proc.m_pPreviewSource.get() + proc.m_nPreviewSamples);
    reference.Run(view.data(), proc.m_fInputMin, proc.m_fInputMax);
    reference.GetOutputRange(fLow, fHigh);
    EXPECT_EQ(proc.m_fOutLow, fLow);
    EXPECT_EQ(proc.m_fOutHigh, fHigh);

    // Back at the fitting zoom a new Fill Light takes the preview's own range.
    ui.m_fZoom = ui.m_fFitZoom;
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_ZOOM));
    proc.m_nFillLight = 10;
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_FILL_LIGHT));
    proc.m_pPreviewEngine->GetOutputRange(fLow, fHigh);
    EXPECT_EQ(proc.m_fOutLow, fLow);
    EXPECT_EQ(proc.m_fOutHigh, fHigh);
}

TEST(PreviewPixelsTest, AfterBeforeBlendAndMask)
{
    CBridge bridge(plugInModeRGBColor, 40, 20, 40, 20);
    CFilter_Processing& proc = bridge.Proc();
    bridge.SetMask([](int, int c) -> std::uint8_t { return c < 10 ? 0 : (c < 20 ? 128 : 255); });
    ASSERT_TRUE(proc.ProcessPreviewBuffer(0));
    const float* pResult = proc.m_pPreviewPlanes.get();
    const float* pImage = proc.m_pImagePlanes.get();
    for (int c : {3, 15, 30}) {
        const int i = (5 * 40 + c) * 3 + 1;
        const std::uint8_t nShown = bridge.Preview()[i];
        if (c < 10)
            EXPECT_EQ(nShown, (5 * 7 + (c * 3 + 1) * 13) % 256) << "unselected shows the source";
        else if (c < 20)
            EXPECT_EQ(nShown, static_cast<int>(255.0f
                                               * (128.0f / 255.0f * pResult[i]
                                                  + (1.0f - 128.0f / 255.0f) * pImage[i])));
        else
            EXPECT_EQ(nShown, static_cast<int>(255.0f * pResult[i]));
    }

    // Blend 0 shows the unprocessed image everywhere; a value above 1 shows as
    // 255 while the log is off.
    ASSERT_TRUE(proc.CopyPreview(0.0f));
    const int i = (5 * 40 + 30) * 3;
    EXPECT_EQ(bridge.Preview()[i], static_cast<int>(255.0f * pImage[i]));
    proc.m_pPreviewPlanes[i] = 1.7f;
    ASSERT_TRUE(proc.CopyPreview(1.0f));
    EXPECT_EQ(bridge.Preview()[i], 255);

    // Before: the host's samples.
    proc.m_bAfterShown = false;
    ASSERT_TRUE(proc.ProcessPreviewBuffer(UPDATE_AMOUNT));
    EXPECT_EQ(bridge.Preview()[i], (5 * 7 + 90 * 13) % 256);
}

TEST(PreviewLogTest, UpdateMaskEntriesAndAnInvalidValueWhileLogging)
{
    char szDir[MAX_PATH];
    GetTempPathA(MAX_PATH, szDir);
    const std::string path = std::string(szDir) + "gw-bridge-test-log.xml";
    CBridge bridge(plugInModeGrayScale, 30, 20, 30, 20);
    gLog.Open(path.c_str(), kLogAll, CDiagnosticLog::kOutputFile);
    CFilter_Processing& proc = bridge.Proc();
    const bool bRan = proc.ProcessPreviewBuffer(UPDATE_AMOUNT | UPDATE_SPEED | UPDATE_AUTOSCALE);
    // A value above 1 is recorded, once, and shows as white as it does with the
    // log off: the log changes nothing in the preview.
    proc.m_pPreviewPlanes[3] = 1.5f;
    proc.m_pPreviewPlanes[4] = 1.25f;
    EXPECT_TRUE(proc.CopyPreview(1.0f));
    EXPECT_EQ(bridge.Preview()[3], 255);
    EXPECT_EQ(bridge.Preview()[4], 255);
    gLog.Close();
    std::string text;
    if (FILE* pFile = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pFile)) > 0)
            text.append(buffer, n);
        std::fclose(pFile);
    }
    std::remove(path.c_str());
    EXPECT_TRUE(bRan);
    for (const char* pEntry :
         {"Update Mask: 000000C8", "Calling engine with amount: 0.600000",
          "Calling engine with fast mode FALSE", "Calling engine with final Scaling ON",
          "GW engine returned invalid pixel value: 1.500000"})
        EXPECT_NE(text.find(pEntry), std::string::npos) << pEntry;
    EXPECT_EQ(text.find("Zoom factor changed"), std::string::npos);
    EXPECT_EQ(text.find("invalid pixel value: 1.250000"), std::string::npos);
}

TEST(PreviewLogTest, OperationsThatReturnEarlyStillWriteTheirExitTags)
{
    char szDir[MAX_PATH];
    GetTempPathA(MAX_PATH, szDir);
    const std::string path = std::string(szDir) + "gw-bridge-exit-tags.xml";
    CBridge bridge(plugInModeGrayScale, 30, 20, 30, 20);
    CFilter_Processing& proc = bridge.Proc();
    gLog.Open(path.c_str(), kLogAll, CDiagnosticLog::kOutputFile);
    EXPECT_EQ(proc.ReadScriptingParameters(), noErr); // no descriptor to read
    gStopRequested = 1;
    EXPECT_FALSE(proc.ProcessImage(true)); // a stop is requested: no run starts
    gStopRequested = 0;
    gLog.Close();
    const std::string text = gw::test::ReadTextFile(path.c_str());
    std::remove(path.c_str());
    EXPECT_NE(text.find("<ReadScriptingParameters>\n</ReadScriptingParameters>\n"),
              std::string::npos)
        << text;
    const std::size_t nEntry = text.find("<ProcessImage>\n");
    ASSERT_NE(nEntry, std::string::npos) << text;
    EXPECT_NE(text.find("</ProcessImage>\n", nEntry), std::string::npos) << text;
}

TEST(PreviewPixelsTest, DeepSamplesShowAsEightBit)
{
    CBridge bridge(plugInModeGray16, 8, 4, 8, 4);
    bridge.SetSource(0, 0, 32768);
    bridge.SetSource(0, 1, 16384);
    bridge.SetSource(0, 2, 0);
    bridge.Proc().m_bAfterShown = false;
    ASSERT_TRUE(bridge.Proc().InitializeImageEngine());
    ASSERT_TRUE(bridge.Proc().ProcessPreviewBuffer(0));
    EXPECT_EQ(bridge.Preview()[0], 255);
    EXPECT_EQ(bridge.Preview()[1], 128);
    EXPECT_EQ(bridge.Preview()[2], 0);
}

TEST(PreviewFailureTest, BufferTooSmallIsReportedAndNothingIsWrittenPastIt)
{
    gw::test::CMessageBoxWatcher watcher;
    watcher.Start();
    CBridge bridge(plugInModeRGBColor, 40, 40, 20, 20);
    CFilter_UI& ui = bridge.UI();
    ui.m_previewBuffer.AllocatePixels(5, 5, *gFilterRecord);
    EXPECT_FALSE(bridge.Proc().ProcessPreviewBuffer(0));
    bool bSeen = false;
    for (int i = 0; i < 100 && !bSeen; ++i) {
        for (const gw::test::MessageBoxSeen& box : watcher.Seen())
            bSeen = bSeen || box.m_text == "Exception caught processing preview.\nCode 012.";
        if (!bSeen)
            Sleep(50);
    }
    EXPECT_TRUE(bSeen);
}

TEST(WriteResultTest, MaskBlendAndSampleRanges)
{
    // 8-bit: mask 0 keeps the source, 128 mixes, 255 takes the engine's value;
    // values above 1 write as the maximum and negative ones as 0.
    CBridge bridge(plugInModeGrayScale, 6, 1, 6, 1);
    bridge.SetMask([](int, int c) -> std::uint8_t { return c == 0 ? 0 : (c == 1 ? 128 : 255); });
    float* pPlanes = bridge.Proc().m_pImagePlanes.get();
    const float fSource1 = pPlanes[1];
    const float values[6] = {0.5f, 0.25f, 0.5f, 1.5f, -0.2f, 1.0f};
    std::copy(values, values + 6, pPlanes);
    bridge.Proc().WriteResult();
    EXPECT_EQ(bridge.Destination(0, 0), 0);
    const float a = 128.0f / 255.0f;
    EXPECT_EQ(bridge.Destination(0, 1),
              static_cast<int>(255.0f * (0.25f * a + (1.0f - a) * fSource1)));
    EXPECT_EQ(bridge.Destination(0, 2), 127);
    EXPECT_EQ(bridge.Destination(0, 3), 255);
    EXPECT_EQ(bridge.Destination(0, 4), 0);
    EXPECT_EQ(bridge.Destination(0, 5), 255);

    // 16-bit: the host's white reads as 1 and writes back as white; values
    // round to the nearest step.
    CBridge deep(plugInModeRGB48, 2, 1, 2, 1);
    deep.SetSource(0, 0, 32768);
    deep.SetSource(0, 1, 16384);
    ASSERT_TRUE(deep.Proc().InitializeImageEngine());
    pPlanes = deep.Proc().m_pImagePlanes.get();
    EXPECT_EQ(pPlanes[0], 1.0f);
    EXPECT_EQ(pPlanes[1], 0.5f);
    pPlanes[2] = 1.25f;
    pPlanes[3] = -1.0f;
    pPlanes[4] = 0.3f;
    pPlanes[5] = 1.0f / 65536.0f; // exactly half a step rounds up
    deep.Proc().WriteResult();
    EXPECT_EQ(deep.Destination(0, 0), 32768);
    EXPECT_EQ(deep.Destination(0, 1), 16384);
    EXPECT_EQ(deep.Destination(0, 2), 32768);
    EXPECT_EQ(deep.Destination(0, 3), 0);
    EXPECT_EQ(deep.Destination(0, 4), 9830); // 9830.4
    EXPECT_EQ(deep.Destination(0, 5), 1);
}

TEST(WriteResultTest, WithoutSelectionTheMaskIsNotRead)
{
    // A mask copy left from earlier says "unselected" everywhere; with no
    // selection in the record every pixel still takes the engine's value.
    CBridge bridge(plugInModeGrayScale, 4, 2, 4, 2);
    bridge.SetMask([](int, int) -> std::uint8_t { return 0; });
    gFilterRecord->haveMask = 0;
    std::fill(bridge.Proc().m_pImagePlanes.get(), bridge.Proc().m_pImagePlanes.get() + 8, 0.5f);
    bridge.Proc().WriteResult();
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(bridge.Destination(r, c), 127);
}

TEST(WholeImageRunTest, FinishDuringARunStopsItAndLeavesTheImageUntouched)
{
    CBridge bridge(plugInModeRGBColor, 1500, 1000, 100, 100);
    CFilter_Processing& proc = bridge.Proc();
    ASSERT_TRUE(proc.ProcessImage(true));
    EXPECT_FALSE(proc.ProcessImage(false)) << "the run is still going";
    proc.DoFinish();
    EXPECT_EQ(proc.m_pEngine->GetProgress(), 100) << "finish waited for the worker";
    for (int r : {0, 999})
        for (int i : {0, 4499})
            EXPECT_EQ(bridge.Destination(r, i), 0xEE);
    gStopRequested = 0;
}

TEST(WholeImageRunTest, AWorkerGivenUpKeepsItsEngineAndPlanesAndTheNextRunGetsNewOnes)
{
    CBridge bridge(plugInModeRGBColor, 1500, 1000, 100, 100);
    CFilter_Processing& proc = bridge.Proc();
    // No wait at all, so the worker is normally still inside its run when it is
    // given up. On a busy machine it may see the stop and end before the cancel
    // looks: then the cancel has waited for it and kept the engine, and the run
    // is started again.
    const float* pGivenUpPlanes = nullptr;
    int nAttempt = 0;
    do {
        ASSERT_TRUE(proc.ProcessImage(true));
        pGivenUpPlanes = proc.m_pImagePlanes.get();
        proc.CancelWholeImageRun(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    } while (proc.m_pEngine != nullptr && ++nAttempt < 20);
    EXPECT_EQ(proc.m_pEngine, nullptr) << "the engine stays with its worker";
    EXPECT_EQ(proc.m_pImagePlanes, nullptr) << "the planes stay with the worker";

    // The next invocation on an image of the same size runs on its own memory.
    ASSERT_TRUE(proc.InitializeImageEngine());
    EXPECT_NE(proc.m_pImagePlanes.get(), pGivenUpPlanes);
    ASSERT_TRUE(proc.ProcessImage(true));
    ASSERT_NE(proc.m_pEngine, nullptr);
    while (!proc.ProcessImage(false))
        Sleep(20);
    proc.WriteResult();
    EXPECT_NE(bridge.Destination(0, 0), 0xEE) << "the new run was written";
    gStopRequested = 0;
}

} // namespace
