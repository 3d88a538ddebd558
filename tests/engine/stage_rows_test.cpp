// How the stages spread a row kernel over threads: every row once, reports one per row in
// order, a stop that leaves later blocks alone, and per-part extremes that combine into the
// bits of one pass in order; with no pool and with pools of one to three threads.
#include "stages/StageRows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// No pool (the plain loop), then pools of 1, 2 and 3 threads.
std::vector<std::unique_ptr<gw::CWorkerPool>> Pools()
{
    std::vector<std::unique_ptr<gw::CWorkerPool>> pools;
    pools.push_back(nullptr);
    for (int nThreads = 1; nThreads <= 3; ++nThreads)
        pools.push_back(std::make_unique<gw::CWorkerPool>(nThreads));
    return pools;
}

std::string NameOf(const gw::CWorkerPool* pPool)
{
    return pPool == nullptr ? "no pool" : std::to_string(pPool->Threads()) + " threads";
}

} // namespace

TEST(StageRowsTest, RowBlocksComputeEveryRowOnceAndAStopLeavesLaterBlocks)
{
    constexpr int kRows = 150;
    for (const auto& pPool : Pools()) {
        for (const int nRowsPerThread : {0, 8}) {
            for (const int nStopAfter : {-1, 0, 20, 149}) {
                const std::string what = NameOf(pPool.get()) + ", " + std::to_string(nRowsPerThread)
                                       + " rows a thread, stop " + std::to_string(nStopAfter);
                std::vector<int> computed(kRows, 0);
                int nReports = 0;
                int nCombined = 0;
                const bool bDone = gw::ForRowBlocks(
                    pPool.get(), kRows, nRowsPerThread, 4,
                    [&](int nPart, int nBegin, int nEnd) {
                        ASSERT_LT(nPart, gw::CWorkerPool::kMaxThreads);
                        for (int r = nBegin; r < nEnd; ++r)
                            ++computed[static_cast<std::size_t>(r)];
                    },
                    [&](int nParts) { nCombined += nParts; },
                    [&] { return nReports++ == nStopAfter; });
                EXPECT_EQ(bDone, nStopAfter < 0) << what;
                EXPECT_EQ(nReports, nStopAfter < 0 ? kRows : nStopAfter + 1) << what;
                EXPECT_GE(nCombined, 1) << what;
                // Rows up to the stop's block are done once; the rows of later blocks not at all.
                int nDone = 0;
                while (nDone < kRows && computed[static_cast<std::size_t>(nDone)] == 1)
                    ++nDone;
                for (int r = nDone; r < kRows; ++r)
                    ASSERT_EQ(computed[static_cast<std::size_t>(r)], 0) << what << ", row " << r;
                if (nStopAfter < 0) {
                    EXPECT_EQ(nDone, kRows) << what;
                } else {
                    EXPECT_GT(nDone, nStopAfter) << what;
                    // Without a pool a stop comes right after its row; in blocks, at the end
                    // of the block (here at most 3 x 8 rows); one block holds all rows.
                    const int nSlack = pPool == nullptr   ? 1
                                     : nRowsPerThread > 0 ? 3 * nRowsPerThread
                                                          : kRows;
                    EXPECT_LE(nDone, nStopAfter + nSlack) << what;
                }
            }
        }
    }
}

TEST(StageRowsTest, PartExtremesCombineIntoTheBitsOfOnePassInOrder)
{
    // Values of one sign with zeros of both signs and NaNs among them: the extreme on the zero
    // side is a zero whose sign depends on which of the equal values a comparison keeps, and
    // must be the one a pass in order keeps.
    std::mt19937 random(3);
    std::uniform_real_distribution<float> magnitude(0.0f, 1.0f);
    const float specials[] = {0.0f, -0.0f, __builtin_nanf("")};
    for (const float fSign : {1.0f, -1.0f}) {
        std::vector<float> values(997);
        for (float& v : values)
            v = random() % 3 == 0 ? specials[random() % 3] : fSign * magnitude(random);
        for (const auto& pPool : Pools()) {
            for (const bool bOrEqual : {false, true}) {
                for (const float fStart : {0.0f, 1000000.0f}) {
                    float fMin = fStart, fMax = -fStart;
                    for (const float v : values) {
                        if (bOrEqual ? v <= fMin : v < fMin)
                            fMin = v;
                        if (bOrEqual ? v >= fMax : v > fMax)
                            fMax = v;
                    }
                    gw::CPartExtremes extremes(fStart, -fStart, bOrEqual);
                    const int nCount = static_cast<int>(values.size());
                    gw::ForParts(pPool.get(), nCount, 16, [&](int nPart, int nBegin, int nEnd) {
                        gw::CPartExtremes::Pair& part = extremes.Part(nPart);
                        for (int i = nBegin; i < nEnd; ++i) {
                            const float v = values[static_cast<std::size_t>(i)];
                            if (bOrEqual ? v <= part.fMin : v < part.fMin)
                                part.fMin = v;
                            if (bOrEqual ? v >= part.fMax : v > part.fMax)
                                part.fMax = v;
                        }
                    });
                    extremes.Combine(gw::PartsOf(pPool.get(), nCount, 16));
                    const float fGotMin = extremes.Min(), fGotMax = extremes.Max();
                    const std::string what = NameOf(pPool.get()) + (bOrEqual ? ", <=" : ", <");
                    EXPECT_EQ(std::memcmp(&fGotMin, &fMin, sizeof fMin), 0) << what;
                    EXPECT_EQ(std::memcmp(&fGotMax, &fMax, sizeof fMax), 0) << what;
                }
            }
        }
    }
}
