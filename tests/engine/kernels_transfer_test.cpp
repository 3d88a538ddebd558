// Restriction, prolongation and coarse-grid correction on small hand-checkable grids.
#include "kernels/KernelsTransfer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using gw::GridView;

struct OwnedGrid
{
    std::vector<float> data;
    GridView view;

    OwnedGrid(int nRows, int nCols, float fFill = 0.0f)
        : data(static_cast<size_t>(nRows) * nCols, fFill)
        , view(GridView::Of(data.data(), nRows, nCols))
    {}
};

// Interior value k, border 0: what a right-hand side or residual of a flat image looks like.
OwnedGrid ConstantInterior(int nRows, int nCols, float k)
{
    OwnedGrid g(nRows, nCols);
    for (int r = 1; r < nRows - 1; ++r)
        for (int c = 1; c < nCols - 1; ++c)
            g.view.At(r, c) = k;
    return g;
}

void ExpectConstantInteriorZeroBorder(const GridView& g, float k)
{
    for (int r = 0; r < g.nRows; ++r)
        for (int c = 0; c < g.nCols; ++c) {
            const bool bBorder = r == 0 || c == 0 || r == g.nRows - 1 || c == g.nCols - 1;
            EXPECT_EQ(g.At(r, c), bBorder ? 0.0f : k)
                << "at (" << r << ", " << c << ") of " << g.nRows << " x " << g.nCols;
        }
}

struct Extents
{
    int nRows;
    int nCols;
};

// Every parity combination of the fine extents, including the smallest fine levels.
const Extents kFineExtents[] = {{8, 8}, {8, 9}, {9, 8}, {9, 9}, {4, 4},
                                {4, 5}, {5, 4}, {5, 5}, {6, 11}};

} // namespace

TEST(RestrictTest, ConstantStaysConstantForEveryParity)
{
    for (const Extents& e : kFineExtents) {
        OwnedGrid fine = ConstantInterior(e.nRows, e.nCols, 0.375f);
        OwnedGrid coarse(e.nRows / 2 + 1, e.nCols / 2 + 1, 99.0f);
        gw::Restrict(coarse.view, fine.view);
        ExpectConstantInteriorZeroBorder(coarse.view, 0.375f);
    }
}

TEST(RestrictTest, SpikeSpreadsWithHalfWeightingAndOneSidedEdges)
{
    // Fine 8 x 8 (even): coarse 5 x 5, coarse row and column 3 are one-sided.
    OwnedGrid fine(8, 8);
    fine.view.At(2, 2) = 8.0f; // interior coarse point (1, 1): centre weight 0.5
    fine.view.At(2, 5) = 8.0f; // between coarse columns 2 and 3 of coarse row 1: weight 0.125 each
    fine.view.At(6, 6) = 8.0f; // corner of the one-sided stencils: weight 0.75
    OwnedGrid coarse(5, 5);
    gw::Restrict(coarse.view, fine.view);
    EXPECT_EQ(coarse.view.At(1, 1), 4.0f);
    EXPECT_EQ(coarse.view.At(1, 2), 1.0f);
    EXPECT_EQ(coarse.view.At(1, 3), 1.0f);
    EXPECT_EQ(coarse.view.At(3, 3), 6.0f);
    EXPECT_EQ(coarse.view.At(2, 3), 0.0f);
    EXPECT_EQ(coarse.view.At(2, 2), 0.0f);
    // One-sided bottom row: fine (6, 4) has centre weight 0.625, its left neighbour (6, 3) 0.125.
    OwnedGrid fine2(8, 8);
    fine2.view.At(6, 4) = 8.0f;
    fine2.view.At(6, 3) = 16.0f;
    gw::Restrict(coarse.view, fine2.view);
    EXPECT_EQ(coarse.view.At(3, 2), 0.625f * 8.0f + 0.125f * 16.0f);
    EXPECT_EQ(coarse.view.At(3, 1), 0.125f * 16.0f);
}

TEST(ProlongTest, ConstantStaysConstantForEveryParity)
{
    for (const Extents& e : kFineExtents) {
        OwnedGrid coarse = ConstantInterior(e.nRows / 2 + 1, e.nCols / 2 + 1, -2.5f);
        OwnedGrid fine(e.nRows, e.nCols, 99.0f);
        gw::Prolong(fine.view, coarse.view);
        ExpectConstantInteriorZeroBorder(fine.view, -2.5f);
    }
}

TEST(ProlongTest, InterpolatesBilinearlyBetweenCoarsePoints)
{
    // Coarse values a + b i + d j are reproduced at every fine point (2i + di, 2j + dj) that lies
    // between coarse points, odd rows included; the first interior line copies the second.
    for (const Extents& e : {Extents{10, 12}, Extents{11, 13}}) {
        const int nMr = e.nRows / 2 + 1;
        const int nMc = e.nCols / 2 + 1;
        OwnedGrid coarse(nMr, nMc);
        for (int i = 1; i < nMr - 1; ++i)
            for (int j = 1; j < nMc - 1; ++j)
                coarse.view.At(i, j) = 1.0f + 2.0f * i + 4.0f * j;
        OwnedGrid fine(e.nRows, e.nCols);
        gw::Prolong(fine.view, coarse.view);
        for (int r = 2; r <= 2 * (nMr - 2); ++r)
            for (int c = 2; c <= 2 * (nMc - 2); ++c)
                EXPECT_EQ(fine.view.At(r, c), 1.0f + 1.0f * r + 2.0f * c) << r << ", " << c;
        for (int c = 1; c < e.nCols - 1; ++c)
            EXPECT_EQ(fine.view.At(1, c), fine.view.At(2, c));
        for (int r = 1; r < e.nRows - 1; ++r)
            EXPECT_EQ(fine.view.At(r, 1), fine.view.At(r, 2));
        if (e.nRows % 2 == 1) {
            for (int c = 1; c < e.nCols - 1; ++c)
                EXPECT_EQ(fine.view.At(e.nRows - 2, c), fine.view.At(e.nRows - 3, c));
        }
        if (e.nCols % 2 == 1) {
            for (int r = 1; r < e.nRows - 1; ++r)
                EXPECT_EQ(fine.view.At(r, e.nCols - 2), fine.view.At(r, e.nCols - 3));
        }
    }
}

TEST(AddCorrectionTest, AddsProlongedCoarseGridIntoTheWorkGridCorner)
{
    // The work grid has the finest extents; on a coarser level only its corner is used, and the
    // prolonged values must land at the same (row, column) as in the level's own grids.
    OwnedGrid coarse = ConstantInterior(4, 5, 0.5f);
    OwnedGrid fine(6, 8, 1.0f);
    OwnedGrid work(20, 30, 7.0f);
    gw::AddCorrection(fine.view, coarse.view, work.view);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 8; ++c) {
            const bool bBorder = r == 0 || c == 0 || r == 5 || c == 7;
            EXPECT_EQ(fine.view.At(r, c), bBorder ? 1.0f : 1.5f);
            EXPECT_EQ(work.view.At(r, c), bBorder ? 0.0f : 0.5f);
        }
    EXPECT_EQ(work.view.At(0, 8), 7.0f);
    EXPECT_EQ(work.view.At(6, 0), 7.0f);
}
