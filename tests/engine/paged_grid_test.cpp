// Tests of CPagedGrid: the four-row FIFO cache, columns, shapes and the temporary file.
#include "memory/CPagedGrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

using Slots = std::array<int, 4>;

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

std::ptrdiff_t FileCount(const fs::path& folder)
{
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// A fresh folder, made the temporary folder of the process while the object lives.
class CTempFolder
{
public:
    explicit CTempFolder(const fs::path& leaf = fs::path())
    {
        const auto nTick = std::chrono::steady_clock::now().time_since_epoch().count();
        m_root = fs::temp_directory_path() / ("gw-paged-test-" + std::to_string(nTick));
        m_path = leaf.empty() ? m_root : m_root / leaf;
        fs::create_directories(m_root);
#ifdef _WIN32
        const wchar_t* pOld = _wgetenv(L"TMP");
        m_bHadOld = pOld != nullptr;
        m_old = m_bHadOld ? pOld : L"";
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
        _wputenv_s(L"TMP", m_old.c_str()); // an empty value removes it
#else
        if (m_bHadOld) {
            setenv("TMPDIR", m_old.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
#endif
        std::error_code error;
        fs::remove_all(m_root, error);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const fs::path& Path() const
    {
        return m_path;
    }

private:
    fs::path m_root;
    fs::path m_path;
    fs::path::string_type m_old;
    bool m_bHadOld = false;
};

} // namespace

TEST(PagedGridCacheTest, RowsLeaveFirstInFirstOutAndAreWrittenBack)
{
    CPagedGrid grid(8, 5);
    EXPECT_EQ(grid.SlotRows(), Slots({-1, -1, -1, -1}));
    for (int r = 0; r < 4; ++r) {
        WriteMarks(grid, r);
    }
    EXPECT_EQ(grid.SlotRows(), Slots({0, 1, 2, 3}));

    // Touching row 0 again neither reloads nor protects it.
    float* pRow0 = grid.GetRow(0);
    EXPECT_EQ(grid.SlotRows(), Slots({0, 1, 2, 3}));
    float* pRow4 = grid.GetRow(4);
    EXPECT_EQ(grid.SlotRows(), Slots({1, 2, 3, 4}));
    EXPECT_EQ(pRow4, pRow0); // row 4 took over row 0's buffer
    EXPECT_FALSE(grid.IsResident(0));

    grid.GetRow(1);
    grid.GetRow(5);
    EXPECT_EQ(grid.SlotRows(), Slots({2, 3, 4, 5}));
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(grid.GetRow(r)[4], Mark(r, 4)) << "row " << r;
    }
}

TEST(PagedGridCacheTest, RowsNeverWrittenReadAsZeros)
{
    CPagedGrid grid(12, 6);
    // Dirty the four buffers, then load fresh rows into them: no stale data may show,
    // neither beyond the file's end nor in the gap below a row written later.
    for (int r = 0; r < 4; ++r) {
        WriteMarks(grid, r);
    }
    for (int r : {9, 6, 11, 5, 0, 1, 2, 3, 7, 8, 4, 10}) {
        const float* pRow = grid.GetRow(r);
        for (int c = 0; c < 6; ++c) {
            ASSERT_EQ(pRow[c], r < 4 ? Mark(r, c) : 0.0f) << "row " << r;
        }
    }
}

TEST(PagedGridColumnTest, ColumnsSeeUnsavedRowsAndAreCopies)
{
    CPagedGrid grid(10, 5);
    for (int r = 0; r < 10; ++r) {
        WriteMarks(grid, r);
    }
    grid.GetRow(8)[2] = -1.0f; // rows 6..9 are resident; row 8 changed, not saved
    const Slots slots = grid.SlotRows();

    float* pColumn = grid.ReadColumn(2);
    ASSERT_NE(pColumn, nullptr);
    for (int r = 0; r < 10; ++r) {
        EXPECT_EQ(pColumn[r], r == 8 ? -1.0f : Mark(r, 2)) << "row " << r;
    }
    EXPECT_EQ(grid.SlotRows(), slots);

    pColumn[0] = 77.0f; // nothing goes back into the grid
    grid.ReturnColumn(&pColumn);
    EXPECT_EQ(pColumn, nullptr);
    EXPECT_EQ(grid.GetRow(0)[2], Mark(0, 2));
}

TEST(PagedGridColumnTest, OnlyTwoColumnsMayBeOutAndForeignPointersChangeNothing)
{
    CPagedGrid grid(6, 4);
    CPagedGrid other(6, 4);
    float* pFirst = grid.ReadColumn(0);
    float* pSecond = grid.ReadColumn(1);
    ASSERT_NE(pFirst, nullptr);
    ASSERT_NE(pSecond, nullptr);
    EXPECT_NE(pFirst, pSecond);
    EXPECT_EQ(grid.ReadColumn(2), nullptr);

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

    float* pSecondCopy = pSecond;
    grid.ReturnColumn(&pSecond); // frees exactly that buffer
    EXPECT_EQ(grid.ReadColumn(3), pSecondCopy);
    EXPECT_EQ(grid.ReadColumn(3), nullptr);
}

// Random row writes, row reads, column reads and column gathers against a plain array.
TEST(PagedGridColumnTest, RandomAccessAgreesWithAPlainArray)
{
    const int nRows = 17;
    const int nCols = 6;
    CPagedGrid grid(nRows, nCols);
    std::vector<float> model(static_cast<std::size_t>(nRows * nCols), 0.0f);
    auto at = [&](int r, int c) { return model[static_cast<std::size_t>(r * nCols + c)]; };
    std::mt19937 random(12345);
    auto pick = [&](int nHigh) { return std::uniform_int_distribution<int>(0, nHigh)(random); };
    std::vector<float> block(static_cast<std::size_t>(nRows * nCols));

    for (int i = 0; i < 4000; ++i) {
        const int r = pick(nRows - 1);
        const int c = pick(nCols - 1);
        const int nAction = pick(9);
        if (nAction < 5) {
            grid.GetRow(r)[c] = static_cast<float>(i);
            model[static_cast<std::size_t>(r * nCols + c)] = static_cast<float>(i);
        } else if (nAction < 7) {
            ASSERT_EQ(grid.GetRow(r)[c], at(r, c)) << "step " << i;
        } else if (nAction < 9) {
            float* pColumn = grid.ReadColumn(c);
            for (int k = 0; k < nRows; ++k) {
                ASSERT_EQ(pColumn[k], at(k, c)) << "step " << i;
            }
            grid.ReturnColumn(&pColumn);
        } else {
            const int nCount = 1 + pick(nCols - 1 - c);
            grid.GatherColumns(c, nCount, block.data());
            for (int k = 0; k < nRows * nCount; ++k) {
                ASSERT_EQ(block[static_cast<std::size_t>(k)], at(k / nCount, c + k % nCount))
                    << "step " << i;
            }
        }
    }
}

// Rows long enough that the file is read in several runs of rows, driven through every way in:
// single rows through the cache, whole rows and column spans past it (serially and with the rows
// split into pieces done in reverse order, as a pool may), columns; all against a plain array.
// Passes over the rows go down, up and at random, so runs start everywhere, hold resident rows,
// and rows that change and rows that do not go back to the file.
namespace {

// Every bulk path against a plain array, in a random order. Short rows move whole through
// the run buffer; of long rows, narrow spans move row by row and wide ones in runs.
void CheckBulkAccessAgainstAPlainArray(int nCols)
{
    const int nRows = 90;
    CPagedGrid grid(nRows, nCols);
    std::vector<float> model(static_cast<std::size_t>(nRows) * nCols, 0.0f);
    const auto at = [&](int r, int c) -> float& {
        return model[static_cast<std::size_t>(r) * nCols + c];
    };
    std::mt19937 random(777);
    const auto pick = [&](int nLow, int nHigh) {
        return std::uniform_int_distribution<int>(nLow, nHigh)(random);
    };
    const CPagedGrid::RowRangeRunner serial = [](int n, const std::function<void(int, int)>& fn) {
        fn(0, n);
    };
    const CPagedGrid::RowRangeRunner pieces = [](int n, const std::function<void(int, int)>& fn) {
        for (int nEnd = n; nEnd > 0; nEnd -= 7) {
            fn(std::max(nEnd - 7, 0), nEnd);
        }
    };
    std::vector<float> block(model.size());
    float fValue = 1.0f;

    for (int i = 0; i < 600; ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        const int nAction = pick(0, 9);
        const Slots slots = grid.SlotRows();
        if (nAction <= 2) {
            // A pass of single rows: some change, some are only read.
            const int nDirection = pick(0, 2);
            for (int k = 0; k < 12; ++k) {
                const int r = nDirection == 0 ? (i * 12 + k) % nRows
                            : nDirection == 1 ? nRows - 1 - (i * 12 + k) % nRows
                                              : pick(0, nRows - 1);
                float* pRow = grid.GetRow(r);
                for (int c = 0; c < nCols; c += 97) {
                    ASSERT_EQ(pRow[c], at(r, c)) << "row " << r;
                }
                if (pick(0, 1) == 0) {
                    const int c = pick(0, nCols - 1);
                    pRow[c] = at(r, c) = fValue++;
                }
            }
            continue;
        }
        const int nFirst = pick(0, nRows - 1);
        const int nCount = pick(1, nRows - nFirst);
        const int c0 = pick(0, nCols - 1);
        const int nSpan = pick(1, nCols - c0);
        const CPagedGrid::RowRangeRunner& run = pick(0, 1) == 0 ? serial : pieces;
        if (nAction == 3) {
            grid.ReadRows(nFirst, nCount, block.data());
            for (int r = nFirst; r < nFirst + nCount; ++r) {
                for (int c = 0; c < nCols; c += 13) {
                    ASSERT_EQ(block[static_cast<std::size_t>(r - nFirst) * nCols + c], at(r, c))
                        << "row " << r;
                }
            }
        } else if (nAction == 4) {
            for (int r = nFirst; r < nFirst + nCount; ++r) {
                for (int c = 0; c < nCols; ++c) {
                    // Mostly new values; now and then a row goes back unchanged.
                    at(r, c) = r % 3 == 0 ? at(r, c) : fValue + static_cast<float>(c);
                    block[static_cast<std::size_t>(r - nFirst) * nCols + c] = at(r, c);
                }
            }
            fValue += static_cast<float>(nCols);
            if (nCount == 1 && pick(0, 1) == 0) {
                grid.PutRow(nFirst, block.data());
            } else {
                grid.WriteRows(nFirst, nCount, block.data());
            }
        } else if (nAction == 5) {
            grid.ReadColumns(c0, nSpan, block.data(), static_cast<std::size_t>(nSpan) + 2, nFirst,
                             nFirst + nCount);
            for (int r = nFirst; r < nFirst + nCount; ++r) {
                for (int j = 0; j < nSpan; j += 11) {
                    ASSERT_EQ(block[static_cast<std::size_t>(r - nFirst) * (nSpan + 2) + j],
                              at(r, c0 + j))
                        << "row " << r;
                }
            }
        } else if (nAction == 6) {
            const std::size_t nStride = static_cast<std::size_t>(nSpan) + 1;
            for (int r = nFirst; r < nFirst + nCount; ++r) {
                for (int j = 0; j < nSpan; ++j) {
                    at(r, c0 + j) = fValue + static_cast<float>(j);
                    block[static_cast<std::size_t>(r - nFirst) * nStride + j] = at(r, c0 + j);
                }
            }
            fValue += static_cast<float>(nSpan);
            grid.ScatterColumns(c0, nSpan, block.data(), nStride, nFirst, nFirst + nCount, run);
        } else if (nAction == 7) {
            grid.GatherColumns(c0, nSpan, block.data(), run);
            for (int r = 0; r < nRows; ++r) {
                for (int j = 0; j < nSpan; j += 17) {
                    ASSERT_EQ(block[static_cast<std::size_t>(r) * nSpan + j], at(r, c0 + j))
                        << "row " << r;
                }
            }
        } else if (nAction == 8) {
            grid.GatherColumns(c0, nSpan, block.data());
            for (int r = 0; r < nRows; ++r) {
                ASSERT_EQ(block[static_cast<std::size_t>(r) * nSpan + nSpan - 1],
                          at(r, c0 + nSpan - 1))
                    << "row " << r;
            }
        } else {
            float* pColumn = grid.ReadColumn(c0);
            ASSERT_NE(pColumn, nullptr);
            for (int r = 0; r < nRows; ++r) {
                ASSERT_EQ(pColumn[r], at(r, c0)) << "row " << r;
            }
            grid.ReturnColumn(&pColumn);
        }
        ASSERT_EQ(grid.SlotRows(), slots) << "only GetRow moves the row cache";
    }
    for (int r = 0; r < nRows; ++r) {
        const float* pRow = grid.GetRow(r);
        for (int c = 0; c < nCols; ++c) {
            ASSERT_EQ(pRow[c], at(r, c)) << "row " << r << " column " << c;
        }
    }
}

} // namespace

TEST(PagedGridBulkTest, RowsSpansAndColumnsAgreeWithAPlainArrayAcrossRuns)
{
    {
        SCOPED_TRACE("6000 bytes a row, 43 rows a run");
        CheckBulkAccessAgainstAPlainArray(1500);
    }
    {
        SCOPED_TRACE("20000 bytes a row, 13 rows a run");
        CheckBulkAccessAgainstAPlainArray(5000);
    }
}

// A span written into rows the file has never held, then whole rows read: the rest of those
// rows, and the rows skipped before them, read as zeros (the file must reach the last one's end).
TEST(PagedGridBulkTest, SpansIntoNewRowsLeaveTheRestZero)
{
    const int nCols = 50;
    CPagedGrid grid(12, nCols);
    const CPagedGrid::RowRangeRunner serial = [](int n, const std::function<void(int, int)>& fn) {
        fn(0, n);
    };
    const std::vector<float> ones(3 * nCols, 1.0f);
    grid.ScatterColumns(10, 5, ones.data(), nCols, 5, 8, serial);
    std::vector<float> rows(12 * nCols, -1.0f);
    grid.ReadRows(0, 12, rows.data());
    for (int r = 0; r < 12; ++r) {
        for (int c = 0; c < nCols; ++c) {
            const bool bOne = r >= 5 && r < 8 && c >= 10 && c < 15;
            ASSERT_EQ(rows[static_cast<std::size_t>(r) * nCols + c], bOne ? 1.0f : 0.0f)
                << r << ", " << c;
        }
    }
    EXPECT_EQ(grid.GetRow(7)[nCols - 1], 0.0f);
    EXPECT_EQ(grid.GetRow(7)[14], 1.0f);
}

TEST(PagedGridShapeTest, SingleRowAndSingleColumnGrids)
{
    CPagedGrid row(1, 7);
    WriteMarks(row, 0);
    EXPECT_EQ(row.SlotRows(), Slots({0, -1, -1, -1}));
    float* pColumn = row.ReadColumn(6);
    EXPECT_EQ(pColumn[0], Mark(0, 6));

    CPagedGrid column(9, 1);
    column.Fill(2.0f);
    column.GetRow(3)[0] = 3.0f;
    pColumn = column.ReadColumn(0);
    for (int r = 0; r < 9; ++r) {
        EXPECT_EQ(pColumn[r], r == 3 ? 3.0f : 2.0f);
    }
}

TEST(PagedGridShapeTest, InitReleaseByteCountAndBadIndices)
{
    CPagedGrid grid;
    grid.Init(0, 5);
    EXPECT_TRUE(grid.IsEmpty());
    EXPECT_EQ(grid.BytesHeld(), 0u);

    EXPECT_TRUE(grid.InitIfEmpty(62, 102));
    EXPECT_EQ(grid.BytesHeld(), 16u * 102u + 12u * 62u);
    WriteMarks(grid, 1);
    EXPECT_FALSE(grid.InitIfEmpty(3, 3));
    EXPECT_EQ(grid.GetRow(1)[5], Mark(1, 5));

    EXPECT_THROW(grid.GetRow(62), CPagedGridError);
    EXPECT_THROW(grid.GetRow(-1), CPagedGridError);
    EXPECT_THROW(grid.ReadColumn(102), CPagedGridError);
    float block[4];
    EXPECT_THROW(grid.GatherColumns(100, 3, block), CPagedGridError);

    grid.Init(6, 3); // starts over: new sizes, all zero
    EXPECT_EQ(grid.Columns(), 3);
    EXPECT_EQ(grid.GetRow(1)[2], 0.0f);
    grid.Release();
    EXPECT_TRUE(grid.IsEmpty());
    EXPECT_THROW(grid.GetRow(0), CPagedGridError);
}

TEST(PagedGridFileTest, TemporaryFilesLiveInTheTemporaryFolderAndGoWithTheGrid)
{
    CTempFolder folder;
    {
        CPagedGrid first(20, 30);
        CPagedGrid second(20, 30);
        first.Fill(1.0f);
        second.Fill(2.0f);
#ifdef _WIN32
        EXPECT_EQ(FileCount(folder.Path()), 2); // delete-on-close: visible while open
#else
        EXPECT_EQ(FileCount(folder.Path()), 0); // unlinked as soon as it is open
#endif
        second.Release();
        first.Init(5, 5);
    }
    EXPECT_EQ(FileCount(folder.Path()), 0);
}

TEST(PagedGridFileTest, MissingTemporaryFolderIsAClearError)
{
    CTempFolder folder("no-such-folder");
    CPagedGrid grid;
    try {
        grid.Init(4, 4);
        FAIL() << "Init succeeded without a temporary folder";
    } catch (const CPagedGridError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("temporary file"), std::string::npos) << text;
        EXPECT_NE(text.find("no-such-folder"), std::string::npos) << text;
    }
    EXPECT_TRUE(grid.IsEmpty());
}

#ifdef _WIN32
// A user profile whose name the ANSI code page cannot spell is common.
TEST(PagedGridFileTest, TemporaryFolderWithAWideName)
{
    CTempFolder folder(L"gw-\u96EA\u03A9");
    fs::create_directories(folder.Path());
    CPagedGrid grid(6, 6);
    grid.Fill(5.0f);
    EXPECT_EQ(grid.GetRow(0)[3], 5.0f);
    EXPECT_EQ(FileCount(folder.Path()), 1);
}
#else
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
    EXPECT_THROW(grid.GetRow(5), CPagedGridError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(grid.SlotRows(), Slots({1, 2, 3, 4}));
    for (int r : {5, 6, 7, 0, 1, 2, 3}) { // with room again everything is there
        EXPECT_EQ(grid.GetRow(r)[nCols - 1], r < 4 ? Mark(r, nCols - 1) : 0.0f) << "row " << r;
    }
}

// The same limit under the bulk writes: each failure surfaces as an error, and once there is
// room again the rows take their values.
TEST(PagedGridFileTest, FailedBulkWritesAreReported)
{
    const int nCols = 1024; // 4096 bytes a row
    CPagedGrid grid(8, nCols);
    std::vector<float> rows(8 * nCols);
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < nCols; ++c) {
            rows[static_cast<std::size_t>(r) * nCols + c] = Mark(r, c);
        }
    }
    const CPagedGrid::RowRangeRunner serial = [](int n, const std::function<void(int, int)>& fn) {
        fn(0, n);
    };
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 6000; // row 0 fits, row 1 does not
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_THROW(grid.WriteRows(0, 8, rows.data()), CPagedGridError);
    EXPECT_THROW(grid.PutRow(6, rows.data() + 6 * nCols), CPagedGridError);
    EXPECT_THROW(grid.ScatterColumns(0, 4, rows.data() + 4 * nCols, nCols, 4, 8, serial),
                 CPagedGridError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(grid.GetRow(0)[nCols - 1],
              Mark(0, nCols - 1)); // the file took row 0 before the limit
    grid.WriteRows(0, 8, rows.data());
    std::vector<float> back(8 * nCols);
    grid.ReadRows(0, 8, back.data());
    EXPECT_EQ(back, rows);
}

// Rows far beyond 4 GB into the file: offsets must not wrap, on 32-bit systems
// too. The file is sparse, so this costs neither disk space nor time.
TEST(PagedGridFileTest, RowsBeyondFourGigabytesKeepTheirValues)
{
    const int nRows = 300000;
    const int nCols = 4000; // 16000 bytes a row, 4.8 GB in all
    CPagedGrid grid(nRows, nCols);
    const int anRows[] = {nRows - 1, 268436, 134218, 134219, 10, 11, 12, 13};
    for (int r : anRows) { // the last four push the first four out to the file
        grid.GetRow(r)[nCols - 1] = Mark(r, 1);
    }
    for (int r : anRows) {
        EXPECT_EQ(grid.GetRow(r)[nCols - 1], Mark(r, 1)) << "row " << r;
    }
    EXPECT_EQ(grid.GetRow(134217)[nCols - 1], 0.0f);
}
#endif
