// Tests of CPagedGrid: the four-row FIFO cache, columns, shapes and the temporary file.
#include "memory/CPagedGrid.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

// A value that tells row and column apart.
float Mark(int r, int c)
{
    return static_cast<float>(r) * 1000.0f + static_cast<float>(c) + 0.5f;
}

void WriteMarks(CPagedGrid& grid, int r)
{
    float* pRow = grid.GetRow(r);
    for (int c = 0; c < grid.Columns(); ++c) {
        pRow[c] = Mark(r, c);
    }
}

std::array<int, 4> Slots(int a, int b, int c, int d)
{
    return {a, b, c, d};
}

// Sets the variables that pick the temporary folder for the life of the guard.
class CTempFolderGuard
{
public:
    explicit CTempFolderGuard(const std::string& folder)
    {
        for (const char* pName : kNames) {
            const char* pOld = std::getenv(pName);
            m_old.push_back(pOld != nullptr ? std::optional<std::string>(pOld) : std::nullopt);
            Set(pName, folder.c_str());
        }
    }
    ~CTempFolderGuard()
    {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            Set(kNames[i], m_old[i] ? m_old[i]->c_str() : nullptr);
        }
    }
    CTempFolderGuard(const CTempFolderGuard&) = delete;
    CTempFolderGuard& operator=(const CTempFolderGuard&) = delete;

private:
#ifdef _WIN32
    static constexpr const char* kNames[] = {"TMP", "TEMP"};
    static void Set(const char* pName, const char* pValue) { _putenv_s(pName, pValue != nullptr ? pValue : ""); }
#else
    static constexpr const char* kNames[] = {"TMPDIR"};
    static void Set(const char* pName, const char* pValue)
    {
        if (pValue != nullptr) {
            setenv(pName, pValue, 1);
        }
        else {
            unsetenv(pName);
        }
    }
#endif
    std::vector<std::optional<std::string>> m_old;
};

// A fresh, empty folder that is removed with everything in it at the end.
class CScratchFolder
{
public:
    CScratchFolder()
    {
        const auto nTick = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = fs::temp_directory_path() / ("gw-paged-test-" + std::to_string(nTick));
        fs::create_directories(m_path);
    }
    ~CScratchFolder()
    {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const fs::path& Path() const { return m_path; }
    std::size_t FileCount() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
    }

private:
    fs::path m_path;
};

} // namespace

TEST(PagedGridCacheTest, FourRowsFillTheSlotsAndAFifthEvictsTheOldest)
{
    CPagedGrid grid(8, 5);
    EXPECT_EQ(grid.SlotRows(), Slots(-1, -1, -1, -1));
    for (int r = 0; r < 4; ++r) {
        WriteMarks(grid, r);
    }
    EXPECT_EQ(grid.SlotRows(), Slots(0, 1, 2, 3));
    float* pRow0 = grid.GetRow(0);

    // Row 4 takes over row 0's buffer; row 0 goes to the file first.
    float* pRow4 = grid.GetRow(4);
    EXPECT_EQ(grid.SlotRows(), Slots(1, 2, 3, 4));
    EXPECT_EQ(pRow4, pRow0);
    EXPECT_FALSE(grid.IsResident(0));
    EXPECT_TRUE(grid.IsResident(4));

    float* pColumn = grid.ReadColumn(3);
    ASSERT_NE(pColumn, nullptr);
    EXPECT_EQ(pColumn[0], Mark(0, 3)); // from the file
    EXPECT_EQ(pColumn[4], 0.0f);       // fresh resident row
    grid.ReturnColumn(&pColumn);
}

TEST(PagedGridCacheTest, TouchingAResidentRowDoesNotProtectIt)
{
    CPagedGrid grid(8, 3);
    for (int r = 0; r < 5; ++r) {
        grid.GetRow(r);
    }
    ASSERT_EQ(grid.SlotRows(), Slots(1, 2, 3, 4));
    float* pRow1 = grid.GetRow(1);
    EXPECT_EQ(grid.GetRow(1), pRow1);
    EXPECT_EQ(grid.SlotRows(), Slots(1, 2, 3, 4)); // a hit changes no order

    grid.GetRow(5); // first in, first out: row 1 goes although it was used last
    EXPECT_EQ(grid.SlotRows(), Slots(2, 3, 4, 5));
    EXPECT_FALSE(grid.IsResident(1));
}

TEST(PagedGridCacheTest, ValuesSurviveEvictionAndReloadInAnyOrder)
{
    CPagedGrid grid(11, 7);
    for (int r = 0; r < 11; ++r) {
        WriteMarks(grid, r);
    }
    std::vector<int> order{10, 0, 5, 3, 9, 1, 1, 7, 2, 8, 6, 4, 0, 10};
    for (int r : order) {
        const float* pRow = grid.GetRow(r);
        for (int c = 0; c < 7; ++c) {
            ASSERT_EQ(pRow[c], Mark(r, c)) << "row " << r << " column " << c;
        }
    }
}

TEST(PagedGridCacheTest, RowsNeverWrittenReadAsZeros)
{
    CPagedGrid grid(12, 6);
    // Dirty the four buffers, then load fresh rows into them: no stale data may show.
    for (int r = 0; r < 4; ++r) {
        WriteMarks(grid, r);
    }
    for (int r : {9, 6, 11, 5}) {
        const float* pRow = grid.GetRow(r);
        for (int c = 0; c < 6; ++c) {
            EXPECT_EQ(pRow[c], 0.0f) << "row " << r;
        }
    }
    // Rows 0..3 reached the file; the unwritten rows between them and row 9 stay zero.
    for (int r = 0; r < 12; ++r) {
        const float* pRow = grid.GetRow(r);
        EXPECT_EQ(pRow[2], r < 4 ? Mark(r, 2) : 0.0f) << "row " << r;
    }
}

TEST(PagedGridCacheTest, FillSetsEveryElementAndRowsOutsideTheGridThrow)
{
    CPagedGrid grid(9, 4);
    WriteMarks(grid, 2);
    grid.Fill(-3.25f);
    for (int c = 0; c < 4; ++c) {
        float* pColumn = grid.ReadColumn(c);
        for (int r = 0; r < 9; ++r) {
            EXPECT_EQ(pColumn[r], -3.25f);
        }
        grid.ReturnColumn(&pColumn);
    }
    EXPECT_EQ(grid.SlotRows(), Slots(5, 6, 7, 8));

    EXPECT_THROW(grid.GetRow(9), CPagedGridError);
    EXPECT_THROW(grid.GetRow(-1), CPagedGridError);
    EXPECT_THROW(grid.ReadColumn(4), CPagedGridError);
    float block[8];
    EXPECT_THROW(grid.GatherColumns(2, 3, block), CPagedGridError);
    EXPECT_EQ(grid.SlotRows(), Slots(5, 6, 7, 8));
}

TEST(PagedGridColumnTest, ReadColumnSeesResidentChangesAndFileValues)
{
    CPagedGrid grid(10, 5);
    for (int r = 0; r < 10; ++r) {
        WriteMarks(grid, r);
    }
    // Rows 6..9 are resident; change one of them without writing it back.
    grid.GetRow(8)[2] = -1.0f;
    const auto slots = grid.SlotRows();

    float* pColumn = grid.ReadColumn(2);
    ASSERT_NE(pColumn, nullptr);
    for (int r = 0; r < 10; ++r) {
        EXPECT_EQ(pColumn[r], r == 8 ? -1.0f : Mark(r, 2)) << "row " << r;
    }
    EXPECT_EQ(grid.SlotRows(), slots);

    // A column buffer is a copy: nothing goes back into the grid.
    pColumn[0] = 77.0f;
    grid.ReturnColumn(&pColumn);
    EXPECT_EQ(pColumn, nullptr);
    EXPECT_EQ(grid.GetRow(0)[2], Mark(0, 2));
}

TEST(PagedGridColumnTest, OnlyTwoColumnsMayBeOutAtATime)
{
    CPagedGrid grid(6, 4);
    CPagedGrid other(6, 4);
    float* pFirst = grid.ReadColumn(0);
    float* pSecond = grid.ReadColumn(1);
    ASSERT_NE(pFirst, nullptr);
    ASSERT_NE(pSecond, nullptr);
    EXPECT_NE(pFirst, pSecond);
    EXPECT_EQ(grid.ReadColumn(2), nullptr);

    // Foreign pointers change nothing: a local array, another grid's buffer, null.
    float local[6] = {};
    float* pLocal = local;
    float* pOtherColumn = other.ReadColumn(0);
    float* pNull = nullptr;
    grid.ReturnColumn(&pLocal);
    grid.ReturnColumn(&pOtherColumn);
    grid.ReturnColumn(&pNull);
    grid.ReturnColumn(nullptr);
    EXPECT_EQ(pLocal, local);
    EXPECT_NE(pOtherColumn, nullptr);
    EXPECT_EQ(grid.ReadColumn(2), nullptr);

    // Giving back the second frees exactly that buffer.
    float* pSecondCopy = pSecond;
    grid.ReturnColumn(&pSecond);
    EXPECT_EQ(pSecond, nullptr);
    EXPECT_EQ(grid.ReadColumn(3), pSecondCopy);
    EXPECT_EQ(grid.ReadColumn(3), nullptr);
    other.ReturnColumn(&pOtherColumn);
    EXPECT_EQ(pOtherColumn, nullptr);
}

TEST(PagedGridColumnTest, GatherColumnsGivesWhatReadColumnGives)
{
    const int nRows = 13;
    const int nCols = 9;
    CPagedGrid grid(nRows, nCols);
    for (int r = 0; r < nRows - 2; ++r) { // the last two rows are never written
        WriteMarks(grid, r);
    }
    grid.GetRow(3)[4] = 42.0f; // row 3 resident again, changed and unsaved
    const auto slots = grid.SlotRows();

    for (int nFirst = 0; nFirst < nCols; ++nFirst) {
        for (int nCount = 1; nFirst + nCount <= nCols; ++nCount) {
            std::vector<float> block(static_cast<std::size_t>(nRows * nCount), -9.0f);
            grid.GatherColumns(nFirst, nCount, block.data());
            for (int j = 0; j < nCount; ++j) {
                float* pColumn = grid.ReadColumn(nFirst + j);
                for (int r = 0; r < nRows; ++r) {
                    ASSERT_EQ(block[static_cast<std::size_t>(r * nCount + j)], pColumn[r])
                        << "columns " << nFirst << "+" << nCount << " row " << r;
                }
                grid.ReturnColumn(&pColumn);
            }
        }
    }
    EXPECT_EQ(grid.SlotRows(), slots);
}

// Random rows, writes and column reads against a plain in-memory copy.
TEST(PagedGridColumnTest, RandomAccessAgreesWithAPlainArray)
{
    const int nRows = 17;
    const int nCols = 6;
    CPagedGrid grid(nRows, nCols);
    std::vector<float> model(static_cast<std::size_t>(nRows * nCols), 0.0f);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pickRow(0, nRows - 1);
    std::uniform_int_distribution<int> pickCol(0, nCols - 1);
    std::uniform_int_distribution<int> pickAction(0, 9);

    for (int i = 0; i < 3000; ++i) {
        const int r = pickRow(random);
        const int c = pickCol(random);
        const int nAction = pickAction(random);
        if (nAction < 5) {
            const auto fValue = static_cast<float>(i);
            grid.GetRow(r)[c] = fValue;
            model[static_cast<std::size_t>(r * nCols + c)] = fValue;
        }
        else if (nAction < 8) {
            ASSERT_EQ(grid.GetRow(r)[c], model[static_cast<std::size_t>(r * nCols + c)]) << "step " << i;
        }
        else {
            float* pColumn = grid.ReadColumn(c);
            ASSERT_NE(pColumn, nullptr);
            for (int k = 0; k < nRows; ++k) {
                ASSERT_EQ(pColumn[k], model[static_cast<std::size_t>(k * nCols + c)]) << "step " << i;
            }
            grid.ReturnColumn(&pColumn);
        }
    }
}

TEST(PagedGridShapeTest, SingleRowAndSingleColumnGrids)
{
    CPagedGrid row(1, 7);
    WriteMarks(row, 0);
    EXPECT_EQ(row.SlotRows(), Slots(0, -1, -1, -1));
    for (int c = 0; c < 7; ++c) {
        float* pColumn = row.ReadColumn(c);
        EXPECT_EQ(pColumn[0], Mark(0, c));
        row.ReturnColumn(&pColumn);
    }

    CPagedGrid column(9, 1);
    for (int r = 0; r < 9; ++r) {
        column.GetRow(r)[0] = Mark(r, 0);
    }
    float* pColumn = column.ReadColumn(0);
    for (int r = 0; r < 9; ++r) {
        EXPECT_EQ(pColumn[r], Mark(r, 0));
    }
    column.ReturnColumn(&pColumn);
    for (int r = 8; r >= 0; --r) {
        EXPECT_EQ(column.GetRow(r)[0], Mark(r, 0));
    }
}

TEST(PagedGridShapeTest, InitReleaseAndByteCount)
{
    CPagedGrid grid;
    EXPECT_TRUE(grid.IsEmpty());
    EXPECT_EQ(grid.BytesHeld(), 0u);
    grid.Init(0, 5);
    EXPECT_TRUE(grid.IsEmpty());
    grid.Init(5, -1);
    EXPECT_TRUE(grid.IsEmpty());

    EXPECT_TRUE(grid.InitIfEmpty(62, 102));
    EXPECT_EQ(grid.BytesHeld(), 16u * 102u + 12u * 62u);
    WriteMarks(grid, 1);
    EXPECT_FALSE(grid.InitIfEmpty(3, 3));
    EXPECT_EQ(grid.Rows(), 62);
    EXPECT_EQ(grid.GetRow(1)[5], Mark(1, 5));

    // Init starts over: new sizes, everything zero again.
    grid.Init(6, 3);
    EXPECT_EQ(grid.Rows(), 6);
    EXPECT_EQ(grid.Columns(), 3);
    EXPECT_EQ(grid.GetRow(1)[2], 0.0f);

    grid.Release();
    EXPECT_TRUE(grid.IsEmpty());
    EXPECT_EQ(grid.BytesHeld(), 0u);
    EXPECT_THROW(grid.GetRow(0), CPagedGridError);
}

TEST(PagedGridFileTest, NoFileIsLeftBehind)
{
    CScratchFolder folder;
    CTempFolderGuard guard(folder.Path().string());
    {
        CPagedGrid first(20, 30);
        CPagedGrid second(20, 30);
        first.Fill(1.0f);
        second.Fill(2.0f);
#ifdef _WIN32
        EXPECT_EQ(folder.FileCount(), 2u); // delete-on-close: visible while open
#else
        EXPECT_EQ(folder.FileCount(), 0u); // unlinked as soon as it is open
#endif
        second.Release();
        first.Init(5, 5);
        first.Fill(3.0f);
        EXPECT_EQ(first.GetRow(0)[0], 3.0f);
    }
    EXPECT_EQ(folder.FileCount(), 0u);
}

TEST(PagedGridFileTest, MissingTemporaryFolderIsAClearError)
{
    CScratchFolder folder;
    const fs::path missing = folder.Path() / "no-such-folder";
    CTempFolderGuard guard(missing.string());
    CPagedGrid grid;
    try {
        grid.Init(4, 4);
        FAIL() << "Init succeeded without a temporary folder";
    }
    catch (const CPagedGridError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("temporary file"), std::string::npos) << text;
        EXPECT_NE(text.find("no-such-folder"), std::string::npos) << text;
    }
    EXPECT_TRUE(grid.IsEmpty());
    EXPECT_EQ(folder.FileCount(), 0u);
}

TEST(PagedGridFileTest, TemporaryFolderThatIsAFileIsAClearError)
{
    CScratchFolder folder;
    const fs::path notFolder = folder.Path() / "plain-file";
    std::ofstream(notFolder) << "x";
    CTempFolderGuard guard(notFolder.string());
    EXPECT_THROW(CPagedGrid(3, 3), CPagedGridError);
    EXPECT_EQ(folder.FileCount(), 1u);
}

#ifndef _WIN32
// A file size limit makes the write-back fail: the error must surface and the row
// must stay in memory with its values.
TEST(PagedGridFileTest, FailedWriteBackIsReportedAndLosesNothing)
{
    const int nCols = 1024; // 4096 bytes a row
    CPagedGrid grid(8, nCols);
    for (int r = 0; r < 4; ++r) {
        WriteMarks(grid, r);
    }

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 6000; // row 0 fits, row 1 does not
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    grid.GetRow(4);
    bool bThrown = false;
    try {
        grid.GetRow(5);
    }
    catch (const CPagedGridError& error) {
        bThrown = true;
        EXPECT_NE(std::string(error.what()).find("write"), std::string::npos) << error.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(bThrown);
    EXPECT_EQ(grid.SlotRows(), Slots(1, 2, 3, 4));
    EXPECT_TRUE(grid.IsResident(1));
    EXPECT_EQ(grid.GetRow(1)[nCols - 1], Mark(1, nCols - 1));

    // With room again everything is still there.
    for (int r : {5, 6, 7, 0, 1, 2, 3}) {
        EXPECT_EQ(grid.GetRow(r)[7], r < 4 ? Mark(r, 7) : 0.0f) << "row " << r;
    }
}
#endif

#ifndef _WIN32
// Rows far beyond 4 GB into the file: offsets must not wrap, on 32-bit systems
// too. The file is sparse, so this costs neither disk space nor time.
TEST(PagedGridFileTest, RowsBeyondFourGigabytesKeepTheirValues)
{
    const int nRows = 300000;
    const int nCols = 4000; // 16000 bytes a row, 4.8 GB in all
    CPagedGrid grid(nRows, nCols);
    const int anFar[] = {nRows - 1, 268436, 134218, 134219, 10, 11, 12, 13};
    for (int r : anFar) { // the last four push the first four out to the file
        grid.GetRow(r)[nCols - 1] = Mark(r, 1);
    }
    for (int r : anFar) {
        EXPECT_EQ(grid.GetRow(r)[nCols - 1], Mark(r, 1)) << "row " << r;
    }
    EXPECT_EQ(grid.GetRow(134217)[nCols - 1], 0.0f); // the row before: never written
}
#endif

#ifdef _WIN32
// A temporary folder whose name the ANSI code page cannot spell (a user profile
// with such a name is common) must work as well.
TEST(PagedGridFileTest, TemporaryFolderWithAWideName)
{
    CScratchFolder folder;
    const fs::path wide = folder.Path() / L"gw-\u96EA\u03A9";
    fs::create_directories(wide);
    const wchar_t* pOld = _wgetenv(L"TMP");
    const std::wstring old = pOld != nullptr ? pOld : L"";
    _wputenv_s(L"TMP", wide.c_str());
    {
        CPagedGrid grid(6, 6);
        grid.Fill(5.0f);
        EXPECT_EQ(grid.GetRow(0)[3], 5.0f);
        EXPECT_EQ(std::distance(fs::directory_iterator(wide), fs::directory_iterator()), 1);
    }
    _wputenv_s(L"TMP", old.c_str());
    EXPECT_EQ(std::distance(fs::directory_iterator(wide), fs::directory_iterator()), 0);
}
#endif
