// The engine on paged grids: the same bits as in RAM for every shape and mode, with windows
// that split the grids, and temporary files that fail or must be cleaned up. The paged
// couplings and line sweeps against the straightforward kernels: window edges inside a step
// of lines, steps of fewer than eight lines, one to four column groups per kernel call, steps
// shared over threads, stops between rows and zero pivots inside a lane group.
#include "CImageEngine.h"
#include "EngineError.h"
#include "kernels/KernelsCoupling.h"
#include "paged/KernelsPaged.h"
#include "kernels/KernelsRelax.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<float> RunEngine(const std::vector<float>& input, int nRows, int nCols,
                             const Mode& mode, int nReserve, bool* pbInRam = nullptr,
                             const gw::PagedTuning& tuning = {})
{
    CImageEngine engine(mode.bColour ? 1 : 0, nRows, nCols, nReserve, NoStop);
    engine.SetPagedTuning(tuning);
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
            return ::testing::AssertionFailure()
                << "element " << i << ": " << a[i] << " and " << b[i];
    }
    return ::testing::AssertionSuccess();
}

// Column windows of nFloats floats and row blocks of the stages of nBlockBytes bytes.
gw::PagedTuning Narrowed(std::ptrdiff_t nFloats, std::size_t nBlockBytes = 1, bool bAvx2 = true)
{
    return gw::PagedTuning{nFloats, nBlockBytes, bAvx2};
}

constexpr std::ptrdiff_t kDefaultWindow = gw::PagedTuning{}.nWindowFloats;

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
    // Narrow windows put window edges and batch ends inside these small grids, and the
    // stages take their rows one at a time.
    const gw::PagedTuning narrow = Narrowed(40);
    const int anShapes[][2] = {{7, 9},  {8, 10}, {7, 10}, {8, 9},  {1, 13},
                               {13, 1}, {2, 2},  {1, 1},  {23, 17}};
    for (const auto& shape : anShapes) {
        for (int nMode = 0; nMode < 8; ++nMode) {
            const Mode mode{(nMode & 1) != 0, (nMode & 2) != 0, (nMode & 4) != 0};
            const int nRows = shape[0];
            const int nCols = shape[1];
            SCOPED_TRACE(std::to_string(nRows) + " x " + std::to_string(nCols) + " colour "
                         + std::to_string(mode.bColour) + " fast " + std::to_string(mode.bFast)
                         + " scaling " + std::to_string(mode.bFinalScaling));
            const std::vector<float> input = Picture(nRows, nCols, mode.bColour ? 3 : 1);
            bool bRam = false;
            bool bPagedInRam = true;
            const std::vector<float> inRam =
                RunEngine(input, nRows, nCols, mode, -2, &bRam, narrow);
            const std::vector<float> paged =
                RunEngine(input, nRows, nCols, mode, -1, &bPagedInRam, narrow);
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
    for (const Mode mode :
         {Mode{true, false, false}, Mode{false, false, true}, Mode{true, true, true}}) {
        const auto& input = mode.bColour ? photo.rgb : grey;
        const std::vector<float> inRam = RunEngine(input, photo.nRows, photo.nCols, mode, -2);
        EXPECT_TRUE(SameBits(inRam, RunEngine(input, photo.nRows, photo.nCols, mode, -1)));
        // Blocks of seven rows of the stages end anywhere in the photo's 400 rows.
        const gw::PagedTuning narrow =
            Narrowed(700, 7 * static_cast<std::size_t>(photo.nCols + 2) * sizeof(float));
        EXPECT_TRUE(
            SameBits(inRam, RunEngine(input, photo.nRows, photo.nCols, mode, -1, nullptr, narrow)));
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
        } catch (const CPagedGridError& error) {
            EXPECT_NE(std::string(error.what()).find("temporary file"), std::string::npos)
                << error.what();
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
    for (const std::ptrdiff_t nWindow : {std::ptrdiff_t{700}, kDefaultWindow}) {
        const gw::PagedTuning tuning = Narrowed(nWindow);
        // A whole run first, to count its reports; then stops spread over it.
        gnStopAfter = 1 << 30;
        gnReports = 0;
        {
            std::vector<float> data = photo.rgb;
            CImageEngine engine(1, photo.nRows, photo.nCols, -1, StopAfterSome);
            engine.SetPagedTuning(tuning);
            engine.Run(data.data(), 0.0f, 0.0f);
        }
        const int nTotal = gnReports;
        ASSERT_GT(nTotal, 1000);
        for (int nStop :
             {3, nTotal / 7, nTotal / 3 + 1, nTotal / 2 + 3, 2 * nTotal / 3, nTotal - 5}) {
            SCOPED_TRACE("window " + std::to_string(nWindow) + ", stop at report "
                         + std::to_string(nStop));
            gnStopAfter = nStop;
            gnReports = 0;
            {
                std::vector<float> data = photo.rgb;
                CImageEngine engine(1, photo.nRows, photo.nCols, -1, StopAfterSome);
                engine.SetPagedTuning(tuning);
                ASSERT_FALSE(engine.Grids().IsInRam());
                EXPECT_NO_THROW(engine.Run(data.data(), 0.0f, 0.0f));
            }
            EXPECT_EQ(folder.Files(), 0);
        }
    }
}

namespace {

// One level cut from the photo's green channel, in RAM in the straightforward kernels' layout
// (Bv transposed) and as paged grids. u starts away from the answer, so the sweeps have work.
class CLevelPair
{
public:
    static constexpr int kLevel = 2;
    static constexpr int kLevels = 3;

    CLevelPair(const testimage::Image& photo, int nRows, int nCols)
        : m_nRows(nRows)
        , m_nCols(nCols)
        , m_bh(Size())
        , m_bv(Size())
        , m_f(Size())
        , m_u(Size())
        , m_pagedBh(nRows, nCols)
        , m_pagedBv(nCols, nRows)
        , m_pagedF(nRows, nCols)
        , m_pagedU(nRows, nCols)
    {
        const std::vector<float> green = testimage::GreenOf(testimage::Tiled(photo, nRows, nCols));
        for (int r = 1; r < nRows - 1; ++r) {
            for (int c = 1; c < nCols - 1; ++c) {
                m_f[Index(r, c)] = green[Index(r, c)];
                m_u[Index(r, c)] = 0.5f * green[Index(r, c)] + 0.25f;
            }
        }
        m_pagedF.WriteRows(0, nRows, m_f.data());
        m_pagedU.WriteRows(0, nRows, m_u.data());
    }

    static gw::CouplingParams Params() { return gw::CouplingParams{0.0995f, 0.4f, 1e-4f}; }

    std::size_t Size() const { return static_cast<std::size_t>(m_nRows) * m_nCols; }
    std::size_t Index(int r, int c) const { return static_cast<std::size_t>(r) * m_nCols + c; }

    gw::LevelGrids Ram()
    {
        return {gw::GridView::Of(m_bh.data(), m_nRows, m_nCols),
                gw::GridView::Of(m_bv.data(), m_nCols, m_nRows),
                gw::GridView::Of(m_f.data(), m_nRows, m_nCols),
                gw::GridView::Of(m_u.data(), m_nRows, m_nCols)};
    }
    gw::PagedLevel Paged() { return {&m_pagedBh, &m_pagedBv, &m_pagedF, &m_pagedU}; }

    // The couplings of the RAM grids copied into the paged ones.
    void CopyCouplings()
    {
        m_pagedBh.WriteRows(0, m_nRows, m_bh.data());
        m_pagedBv.WriteRows(0, m_nCols, m_bv.data());
    }

    // Every element of a paged grid, row after row.
    static std::vector<float> Read(CPagedGrid& grid)
    {
        std::vector<float> values(static_cast<std::size_t>(grid.Rows()) * grid.Columns());
        grid.ReadRows(0, grid.Rows(), values.data());
        return values;
    }

    std::vector<float>& Bh() { return m_bh; }
    std::vector<float>& Bv() { return m_bv; }
    std::vector<float>& U() { return m_u; }
    CPagedGrid& PagedBh() { return m_pagedBh; }
    CPagedGrid& PagedBv() { return m_pagedBv; }
    CPagedGrid& PagedU() { return m_pagedU; }

private:
    int m_nRows, m_nCols;
    std::vector<float> m_bh, m_bv, m_f, m_u;
    CPagedGrid m_pagedBh, m_pagedBv, m_pagedF, m_pagedU;
};

// A progress hook that counts its calls and stops at call nStopAt (never with 0).
struct StopCounter
{
    int nStopAt = 0;
    int nCalls = 0;

    gw::ProgressHook Hook()
    {
        return gw::ProgressHook{[](void* pContext, float) {
                                    auto& counter = *static_cast<StopCounter*>(pContext);
                                    return ++counter.nCalls == counter.nStopAt;
                                },
                                this};
    }
};

std::vector<float> LineScratch(int nRows, int nCols)
{
    return std::vector<float>(static_cast<std::size_t>(4) * std::max(nRows, nCols));
}

gw::LineVectors LinesOf(std::vector<float>& scratch)
{
    const std::size_t n = scratch.size() / 4;
    return gw::LineVectors{scratch.data(), scratch.data() + n, scratch.data() + 2 * n,
                           scratch.data() + 3 * n};
}

} // namespace

TEST(PagedLineSweepTest, CouplingsAndSweepsHaveTheReferenceBitsWithWindowEdgesGroupsAndThreads)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    struct Case
    {
        int nRows, nCols;
        int nWindowColumns; // columns per window of the column pass; 0: the default budget
    };
    const Case aCases[] = {
        {61, 83, 0},    // odd sizes: column calls of four groups and one, lines left over
        {61, 83, 40},   // window edges inside steps of two groups and a few lines
        {61, 83, 5},    // steps of fewer than eight lines
        {40, 150, 0},   // many column groups per step
        {40, 150, 57},  // steps of three groups; row windows of nine rows
        {150, 37, 0},   // row groups
        {150, 37, 11},  // row windows of 44 rows: edges inside the row steps
        {700, 301, 0},  // steps shared over several threads
        {200, 2000, 0}, // long rows: transposes shared over the threads both ways
    };
    const gw::CouplingParams params = CLevelPair::Params();
    for (const Case& test : aCases) {
        const std::ptrdiff_t nWindow = test.nWindowColumns > 0
                                         ? std::ptrdiff_t{test.nWindowColumns} * test.nRows
                                         : kDefaultWindow;
        const int anThreads[] = {1, 2, 7};
        for (int nWay = 0; nWay < 6; ++nWay) {
            // With the AVX2 kernels (where the processor has them) and without, as processors
            // without AVX2 run.
            const bool bAvx2 = nWay < 3;
            const int nThreads = anThreads[nWay % 3];
            SCOPED_TRACE(std::to_string(test.nRows) + " x " + std::to_string(test.nCols)
                         + ", window " + std::to_string(test.nWindowColumns) + ", threads "
                         + std::to_string(nThreads) + (bAvx2 ? "" : ", no AVX2"));
            CLevelPair level(photo, test.nRows, test.nCols);
            gw::CWorkerPool pool(nThreads);
            gw::CPagedWorkspace workspace(pool, std::max(test.nRows, test.nCols));
            workspace.SetTuning(Narrowed(nWindow, 1, bAvx2));
            gw::ComputeCouplings(level.Ram(), CLevelPair::kLevel, CLevelPair::kLevels, params, {});
            gw::ComputeCouplingsPaged(level.Paged(), CLevelPair::kLevel, CLevelPair::kLevels,
                                      params, workspace, {});
            EXPECT_TRUE(SameBits(CLevelPair::Read(*level.Paged().bh), level.Bh()))
                << "horizontal couplings";
            EXPECT_TRUE(SameBits(CLevelPair::Read(*level.Paged().bv), level.Bv()))
                << "vertical couplings";

            std::vector<float> scratch = LineScratch(test.nRows, test.nCols);
            for (int nSweep = 0; nSweep < 2; ++nSweep) {
                gw::RelaxLines(level.Ram(), LinesOf(scratch), CLevelPair::kLevel,
                               CLevelPair::kLevels, {});
                gw::RelaxLinesPaged(level.Paged(), workspace, CLevelPair::kLevel,
                                    CLevelPair::kLevels, {});
                EXPECT_TRUE(SameBits(CLevelPair::Read(level.PagedU()), level.U()))
                    << "sweep " << nSweep;
            }
        }
    }
}

// A stop during the couplings: the rows made up to the stop are in Bh and in Bv's columns, the
// later ones are untouched, also when the stop falls inside or at the end of a chunk of rows
// made together or of a batch of Bv's columns.
TEST(PagedLineSweepTest, CouplingsStoppedAfterAnyRowKeepTheRowsMadeAndNoLater)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const int nRows = 301;
    const int nCols = 40; // 256 rows of Bh are written together
    const gw::CouplingParams params = CLevelPair::Params();
    CLevelPair full(photo, nRows, nCols);
    gw::ComputeCouplings(full.Ram(), CLevelPair::kLevel, CLevelPair::kLevels, params, {});
    const float fUntouched = 7.0f;
    for (const std::ptrdiff_t nWindow :
         {kDefaultWindow, std::ptrdiff_t{100} * nCols, std::ptrdiff_t{0}})
    {
        // Budget 0: the default windows without the AVX2 ways.
        const gw::PagedTuning tuning =
            Narrowed(nWindow > 0 ? nWindow : kDefaultWindow, 1, nWindow > 0);
        for (int nStop : {1, 99, 100, 101, 255, 256, 257, nRows - 3}) {
            SCOPED_TRACE("window " + std::to_string(nWindow) + ", stop after row "
                         + std::to_string(nStop));
            CLevelPair level(photo, nRows, nCols);
            const std::vector<float> untouched(static_cast<std::size_t>(nRows) * nCols, fUntouched);
            level.PagedBh().WriteRows(0, nRows, untouched.data());
            level.PagedBv().WriteRows(0, nCols, untouched.data());
            gw::CWorkerPool pool(2);
            gw::CPagedWorkspace workspace(pool, std::max(nRows, nCols));
            workspace.SetTuning(tuning);
            StopCounter counter{nStop};
            gw::ComputeCouplingsPaged(level.Paged(), CLevelPair::kLevel, CLevelPair::kLevels,
                                      params, workspace, counter.Hook());
            EXPECT_EQ(counter.nCalls, nStop);
            const std::vector<float> bh = CLevelPair::Read(level.PagedBh());
            for (int r = 1; r < nRows; ++r) {
                const auto nBegin = static_cast<std::ptrdiff_t>(full.Index(r, 0));
                const std::vector<float> row(bh.begin() + nBegin, bh.begin() + nBegin + nCols);
                if (r <= nStop) {
                    const std::vector<float> expected(full.Bh().begin() + nBegin,
                                                      full.Bh().begin() + nBegin + nCols);
                    EXPECT_TRUE(SameBits(row, expected)) << "row " << r;
                } else {
                    EXPECT_TRUE(SameBits(
                        row, std::vector<float>(static_cast<std::size_t>(nCols), fUntouched)))
                        << "row " << r;
                }
            }
            // Bv's rows are the level's columns; its rows 0 and nCols - 1 are cleared first.
            const std::vector<float> bv = CLevelPair::Read(level.PagedBv());
            for (int c = 0; c < nCols; ++c) {
                for (int r = 0; r < nRows; ++r) {
                    const std::size_t i = static_cast<std::size_t>(c) * nRows + r;
                    const bool bMade = r <= nStop || c == 0 || c == nCols - 1;
                    const float fExpected = bMade ? full.Bv()[i] : fUntouched;
                    ASSERT_EQ(std::memcmp(&bv[i], &fExpected, sizeof(float)), 0)
                        << "column " << r << " of Bv, row " << c << ": " << bv[i] << " for "
                        << fExpected;
                }
            }
        }
    }
}

// A stop during the row lines: every row of u then holds either its value after the column
// lines or its value after the whole sweep, and exactly the rows reported solved hold the
// latter, wherever the stop falls in a step.
TEST(PagedLineSweepTest, RowLinesStoppedAfterAnyRowWriteOnlyTheRowsReported)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const int nRows = 97;
    const int nCols = 260;
    const int nColumnLines = nCols - 2;
    const auto nLength = static_cast<std::size_t>(nCols);
    const auto Sweep = [&](int nThreads, int nStopAt) {
        CLevelPair level(photo, nRows, nCols);
        gw::ComputeCouplings(level.Ram(), CLevelPair::kLevel, CLevelPair::kLevels,
                             CLevelPair::Params(), {});
        level.CopyCouplings();
        gw::CWorkerPool pool(nThreads);
        gw::CPagedWorkspace workspace(pool, std::max(nRows, nCols));
        StopCounter counter{nStopAt};
        gw::RelaxLinesPaged(level.Paged(), workspace, CLevelPair::kLevel, CLevelPair::kLevels,
                            counter.Hook());
        return CLevelPair::Read(level.PagedU());
    };
    for (int nThreads : {1, 2}) {
        const std::vector<float> afterColumns = Sweep(nThreads, nColumnLines);
        const std::vector<float> afterSweep = Sweep(nThreads, 0);
        for (int nSolved : {1, 7, 8, 9, 16, 40, nRows - 3}) {
            SCOPED_TRACE("threads " + std::to_string(nThreads) + ", stop after row line "
                         + std::to_string(nSolved));
            const std::vector<float> stopped = Sweep(nThreads, nColumnLines + nSolved);
            int nNewRows = 0;
            for (int r = 0; r < nRows; ++r) {
                const auto Row = [&](const std::vector<float>& values) {
                    return std::vector<float>(
                        values.begin() + static_cast<std::ptrdiff_t>(r * nLength),
                        values.begin() + static_cast<std::ptrdiff_t>((r + 1) * nLength));
                };
                const bool bOld = SameBits(Row(stopped), Row(afterColumns));
                const bool bNew = SameBits(Row(stopped), Row(afterSweep));
                EXPECT_TRUE(bOld || bNew) << "row " << r << " holds neither state";
                if (bNew && !bOld)
                    ++nNewRows;
            }
            EXPECT_EQ(nNewRows, nSolved);
        }
    }
}

// A zero pivot inside a lane group: in a column line of the last of four groups solved
// together, and later in a row line. The paged sweep fails as the straightforward one does.
TEST(PagedLineSweepTest, ZeroPivotInALaneGroupFailsLikeTheReference)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const int nRows = 21;
    const int nCols = 70; // 34 first-colour column lines: four groups and two lines
    enum class Where
    {
        Column,
        Row
    };
    const auto Failure = [&](Where where, bool bPaged) {
        CLevelPair level(photo, nRows, nCols);
        gw::ComputeCouplings(level.Ram(), CLevelPair::kLevel, CLevelPair::kLevels,
                             CLevelPair::Params(), {});
        std::vector<float>& bh = level.Bh();
        std::vector<float>& bv = level.Bv(); // column c, row r at c x nRows + r
        const auto Bv = [&](int r, int c) -> float& {
            return bv[static_cast<std::size_t>(c) * nRows + r];
        };
        if (where == Where::Column) {
            // Column 55 (lane 3 of the fourth group from column 1): its first diagonal is
            // 1 - 0.5 - 0.5 with no vertical couplings.
            bh[level.Index(1, 55)] = 0.5f;
            bh[level.Index(1, 54)] = 0.5f;
            Bv(0, 55) = 0.0f;
            Bv(1, 55) = 0.0f;
        } else {
            // Row 13 (lane 6 of the first group of odd rows): diagonals 0.5, 0.5 at columns 1
            // and 2, coupled by 0.5, so the second pivot is 0.5 - 0.5 x 0.5 / 0.5 = 0. The
            // columns see diagonals 0.5 and a vertical coupling of -0.25, and no zero pivot.
            const int r = 13;
            bh[level.Index(r, 1)] = 0.5f;
            bh[level.Index(r, 2)] = 0.25f;
            Bv(r - 1, 1) = 0.0f;
            Bv(r, 1) = 0.0f;
            Bv(r - 1, 2) = 0.0f;
            Bv(r, 2) = -0.25f;
        }
        try {
            if (bPaged) {
                level.CopyCouplings();
                gw::CWorkerPool pool(2);
                gw::CPagedWorkspace workspace(pool, std::max(nRows, nCols));
                gw::RelaxLinesPaged(level.Paged(), workspace, CLevelPair::kLevel,
                                    CLevelPair::kLevels, {});
            } else {
                std::vector<float> scratch = LineScratch(nRows, nCols);
                gw::RelaxLines(level.Ram(), LinesOf(scratch), CLevelPair::kLevel,
                               CLevelPair::kLevels, {});
            }
        } catch (const gw::EngineError& error) {
            return static_cast<int>(error.GetKind());
        }
        return -1;
    };
    for (Where where : {Where::Column, Where::Row}) {
        const int nReference = Failure(where, false);
        EXPECT_NE(nReference, -1) << (where == Where::Column ? "column" : "row");
        EXPECT_EQ(Failure(where, true), nReference) << (where == Where::Column ? "column" : "row");
    }
}
