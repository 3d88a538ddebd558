// The engine on paged grids: the same bits as in RAM for every shape and mode, with windows
// that split the grids, and temporary files that fail or must be cleaned up.
#include "CImageEngine.h"
#include "KernelsPaged.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int NoStop(int /*nPercent*/)
{
    return 1;
}

int StopAtOnce(int /*nPercent*/)
{
    return 0;
}

// Stops at the gnStopAfter-th progress report.
int gnStopAfter = 0;
int gnReports = 0;
int StopAfterSome(int /*nPercent*/)
{
    return ++gnReports < gnStopAfter ? 1 : 0;
}

struct Mode
{
    bool bColour = false;
    bool bFast = false;
    bool bFinalScaling = false;
};

// A deterministic test picture with dark and bright areas, edges and noise.
std::vector<float> Picture(int nRows, int nCols, int nChannels)
{
    std::vector<float> values;
    std::uint32_t nSeed = 12345u + static_cast<std::uint32_t>(nRows * 31 + nCols);
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c) {
            for (int k = 0; k < nChannels; ++k) {
                nSeed = nSeed * 1664525u + 1013904223u;
                const float fNoise = static_cast<float>(nSeed >> 8) / 16777216.0f;
                const float fBase = (c * 3 > nCols ? 0.7f : 0.08f) + (r % 5 == 0 ? 0.1f : 0.0f);
                values.push_back(0.8f * fBase + 0.2f * fNoise * static_cast<float>(k + 1) / 3.0f);
            }
        }
    }
    return values;
}

std::vector<float> RunEngine(const std::vector<float>& input, int nRows, int nCols, const Mode& mode,
                             int nReserve, bool* pbInRam = nullptr)
{
    CImageEngine engine(mode.bColour ? 1 : 0, nRows, nCols, nReserve, NoStop);
    engine.SetFastMode(mode.bFast ? 1 : 0);
    engine.SetFinalScaling(mode.bFinalScaling ? 1 : 0);
    if (pbInRam != nullptr)
        *pbInRam = engine.Grids().IsInRam();
    std::vector<float> data = input;
    engine.Run(data.data(), 0.0f, 0.0f);
    return data;
}

// Compares the bits; reports the first difference.
::testing::AssertionResult SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0)
            return ::testing::AssertionFailure() << "element " << i << ": " << a[i] << " and " << b[i];
    }
    return ::testing::AssertionSuccess();
}

// Restores the default window budget when a test ends.
struct WindowBudget
{
    explicit WindowBudget(std::ptrdiff_t nFloats) : m_nKept(gw::PagedWindowFloats())
    {
        gw::SetPagedWindowFloats(nFloats);
    }
    ~WindowBudget() { gw::SetPagedWindowFloats(m_nKept); }
    std::ptrdiff_t m_nKept;
};

// A fresh folder, made the temporary folder of the process while the object lives.
class CTempFolder
{
public:
    explicit CTempFolder(bool bCreate)
    {
        const auto nTick = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = fs::temp_directory_path() / ("gw-paged-engine-" + std::to_string(nTick));
        if (bCreate)
            fs::create_directories(m_path);
#ifdef _WIN32
        const wchar_t* pOld = _wgetenv(L"TMP");
        m_old = pOld != nullptr ? pOld : L"";
        _wputenv_s(L"TMP", m_path.c_str());
#else
        const char* pOld = std::getenv("TMPDIR");
        m_bHadOld = pOld != nullptr;
        m_old = m_bHadOld ? pOld : "";
        setenv("TMPDIR", m_path.c_str(), 1);
#endif
    }
    ~CTempFolder()
    {
#ifdef _WIN32
        _wputenv_s(L"TMP", m_old.c_str());
#else
        if (m_bHadOld)
            setenv("TMPDIR", m_old.c_str(), 1);
        else
            unsetenv("TMPDIR");
#endif
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::ptrdiff_t Files() const
    {
        return std::distance(fs::directory_iterator(m_path), fs::directory_iterator());
    }

private:
    fs::path m_path;
    fs::path::string_type m_old;
    bool m_bHadOld = false;
};

} // namespace

TEST(PagedEngineTest, SameBitsAsInRamForEveryParityShapeAndMode)
{
    // Narrow windows put window edges and batch ends inside these small grids.
    const WindowBudget budget(40);
    const int anShapes[][2] = {{7, 9}, {8, 10}, {7, 10}, {8, 9}, {1, 13}, {13, 1}, {2, 2}, {1, 1}, {23, 17}};
    for (const auto& shape : anShapes) {
        for (int nMode = 0; nMode < 8; ++nMode) {
            const Mode mode{(nMode & 1) != 0, (nMode & 2) != 0, (nMode & 4) != 0};
            const int nRows = shape[0];
            const int nCols = shape[1];
            SCOPED_TRACE(std::to_string(nRows) + " x " + std::to_string(nCols) + " colour " +
                         std::to_string(mode.bColour) + " fast " + std::to_string(mode.bFast) +
                         " scaling " + std::to_string(mode.bFinalScaling));
            const std::vector<float> input = Picture(nRows, nCols, mode.bColour ? 3 : 1);
            bool bRam = false;
            bool bPagedInRam = true;
            const std::vector<float> inRam = RunEngine(input, nRows, nCols, mode, -2, &bRam);
            const std::vector<float> paged = RunEngine(input, nRows, nCols, mode, -1, &bPagedInRam);
            ASSERT_TRUE(bRam);
            ASSERT_FALSE(bPagedInRam);
            EXPECT_TRUE(SameBits(inRam, paged));
        }
    }
}

TEST(PagedEngineTest, RealPhotoGivesTheSameBitsWithDefaultAndNarrowWindows)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0);
    const std::vector<float> grey = testimage::GreenOf(photo);
    for (const Mode mode : {Mode{true, false, false}, Mode{false, false, true}, Mode{true, true, true}}) {
        const auto& input = mode.bColour ? photo.rgb : grey;
        const std::vector<float> inRam = RunEngine(input, photo.nRows, photo.nCols, mode, -2);
        EXPECT_TRUE(SameBits(inRam, RunEngine(input, photo.nRows, photo.nCols, mode, -1)));
        const WindowBudget budget(700);
        EXPECT_TRUE(SameBits(inRam, RunEngine(input, photo.nRows, photo.nCols, mode, -1)));
    }
}

TEST(PagedEngineTest, NoBudgetPagesAndCountsEveryPagedGrid)
{
    // -1 pages at once, whatever the memory.
    {
        CImageEngine engine(0, 100, 60, -1, NoStop);
        const CGridMemory& grids = engine.Grids();
        ASSERT_TRUE(grids.HasGrids());
        EXPECT_FALSE(grids.IsInRam());
        // Per level four paged grids of 16 x columns + 12 x rows bytes (the transposed one
        // with its own shape), the work grid, and four line vectors.
        std::uint64_t nExpected = 0;
        for (int k = 1; k <= grids.Levels(); ++k) {
            const std::uint64_t nr = static_cast<std::uint64_t>(grids.LevelRows(k));
            const std::uint64_t nc = static_cast<std::uint64_t>(grids.LevelCols(k));
            nExpected += 3 * (16 * nc + 12 * nr) + (16 * nr + 12 * nc);
        }
        nExpected += 16 * 62 + 12 * 102 + 4 * 102 * 4;
        EXPECT_EQ(grids.BytesHeld(), nExpected);
    }
}

TEST(PagedEngineTest, TemporaryFilesFailClearlyAndAreGoneAfterTheEngine)
{
    {
        // A temporary folder that does not exist: the engine cannot be made, and says why.
        const CTempFolder missing(false);
        try {
            CImageEngine engine(1, 20, 30, -1, NoStop);
            ADD_FAILURE() << "an engine without temporary files was made";
        }
        catch (const CPagedGridError& error) {
            EXPECT_NE(std::string(error.what()).find("temporary file"), std::string::npos) << error.what();
        }
    }
    {
        const CTempFolder folder(true);
        for (const auto pfnProgress : {NoStop, StopAtOnce}) {
            {
                std::vector<float> data = Picture(20, 30, 3);
                CImageEngine engine(1, 20, 30, -1, pfnProgress);
                engine.Run(data.data(), 0.0f, 0.0f);
            }
            EXPECT_EQ(folder.Files(), 0);
        }
    }
}

// A stop anywhere in a paged run (inside a window or a group of lines, on any level) ends it
// cleanly: no failure, and the temporary files go with the engine.
TEST(PagedEngineTest, StopsAnywhereEndCleanly)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0);
    const CTempFolder folder(true);
    for (const std::ptrdiff_t nWindow : {std::ptrdiff_t{700}, gw::PagedWindowFloats()}) {
        const WindowBudget budget(nWindow);
        // A whole run first, to count its reports; then stops spread over it.
        gnStopAfter = 1 << 30;
        gnReports = 0;
        {
            std::vector<float> data = photo.rgb;
            CImageEngine engine(1, photo.nRows, photo.nCols, -1, StopAfterSome);
            engine.Run(data.data(), 0.0f, 0.0f);
        }
        const int nTotal = gnReports;
        ASSERT_GT(nTotal, 1000);
        for (int nStop : {3, nTotal / 7, nTotal / 3 + 1, nTotal / 2 + 3, 2 * nTotal / 3, nTotal - 5}) {
            SCOPED_TRACE("window " + std::to_string(nWindow) + ", stop at report " + std::to_string(nStop));
            gnStopAfter = nStop;
            gnReports = 0;
            {
                std::vector<float> data = photo.rgb;
                CImageEngine engine(1, photo.nRows, photo.nCols, -1, StopAfterSome);
                ASSERT_FALSE(engine.Grids().IsInRam());
                EXPECT_NO_THROW(engine.Run(data.data(), 0.0f, 0.0f));
            }
            EXPECT_EQ(folder.Files(), 0);
        }
    }
}
