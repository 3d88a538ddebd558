// KernelsTransfer.cpp - restriction, prolongation and coarse-grid correction.
#include "kernels/KernelsTransfer.h"

#include <algorithm>

namespace gw {

void RestrictRow(const float* pUp, const float* pMid, const float* pDown, bool bOneSidedBottom,
                 int nFineCols, float* pCoarse, int nCoarseCols) noexcept
{
    // With an even fine column count the last coarse column sits next to the fine border.
    const bool bOneSidedRight = (nFineCols % 2) == 0;
    const int nLast = nCoarseCols - 2;
    pCoarse[0] = 0.0f;
    for (int k = 1; k <= nLast; ++k) {
        const int j = 2 * k;
        if (bOneSidedRight && k == nLast) {
            if (bOneSidedBottom)
                pCoarse[k] = 0.125f * (pUp[j] + pMid[j - 1]) + 0.75f * pMid[j];
            else
                pCoarse[k] = 0.125f * (pUp[j] + pDown[j] + pMid[j - 1]) + 0.625f * pMid[j];
        } else if (bOneSidedBottom) {
            pCoarse[k] = 0.125f * (pUp[j] + pMid[j - 1] + pMid[j + 1]) + 0.625f * pMid[j];
        } else {
            pCoarse[k] = 0.125f * (pDown[j] + pUp[j] + pMid[j - 1] + pMid[j + 1]) + 0.5f * pMid[j];
        }
    }
    pCoarse[nCoarseCols - 1] = 0.0f;
}



void RestrictGridRow(const GridView& coarse, const GridView& fine, int i) noexcept
{
    const bool bOneSidedBottom = (fine.nRows % 2) == 0 && i == coarse.nRows - 2;
    const float* pDown = bOneSidedBottom ? nullptr : fine.Row(2 * i + 1);
    RestrictRow(fine.Row(2 * i - 1), fine.Row(2 * i), pDown, bOneSidedBottom, fine.nCols,
                coarse.Row(i), coarse.nCols);
}



void Restrict(const GridView& coarse, const GridView& fine) noexcept
{
    const int nr = coarse.nRows;
    std::fill_n(coarse.Row(0), coarse.nCols, 0.0f);
    for (int i = 1; i <= nr - 2; ++i)
        RestrictGridRow(coarse, fine, i);
    std::fill_n(coarse.Row(nr - 1), coarse.nCols, 0.0f);
}



void ProlongRowSources(int r, int nFineRows, int* pUp, int* pDown) noexcept
{
    *pUp = -1;
    *pDown = -1;
    if (r <= 0 || r >= nFineRows - 1)
        return;
    // The first interior row, and the last one of an odd extent, copy their inner neighbour.
    if (r == 1)
        r = 2;
    else if (r == nFineRows - 2 && (nFineRows % 2) == 1)
        r = nFineRows - 3;
    *pUp = r / 2;
    if (r % 2 == 1)
        *pDown = r / 2 + 1;
}



void ProlongRow(const float* pUp, const float* pDown, int nCoarseCols, float* pFine,
                int nFineCols) noexcept
{
    const int nc = nFineCols;
    pFine[0] = 0.0f;
    if (pDown == nullptr) {
        for (int j = 1; j <= nCoarseCols - 2; ++j)
            pFine[2 * j] = pUp[j];
    } else {
        for (int j = 1; j <= nCoarseCols - 2; ++j)
            pFine[2 * j] = 0.5f * (pUp[j] + pDown[j]);
    }
    const int nEnd = nc - 2 + ((nc % 2) == 0 ? 1 : 0);
    for (int c = 3; c < nEnd; c += 2)
        pFine[c] = 0.5f * (pFine[c - 1] + pFine[c + 1]);
    pFine[1] = pFine[2];
    if ((nc % 2) == 1)
        pFine[nc - 2] = pFine[nc - 3];
    pFine[nc - 1] = 0.0f;
}



void ProlongGridRow(const GridView& fine, const GridView& coarse, int r) noexcept
{
    int iUp = -1;
    int iDown = -1;
    ProlongRowSources(r, fine.nRows, &iUp, &iDown);
    if (iUp < 0)
        std::fill_n(fine.Row(r), fine.nCols, 0.0f);
    else
        ProlongRow(coarse.Row(iUp), iDown < 0 ? nullptr : coarse.Row(iDown), coarse.nCols,
                   fine.Row(r), fine.nCols);
}



void Prolong(const GridView& fine, const GridView& coarse) noexcept
{
    for (int r = 0; r < fine.nRows; ++r)
        ProlongGridRow(fine, coarse, r);
}



void AddCorrectionRow(const GridView& fineU, const GridView& coarseU, const GridView& w,
                      int r) noexcept
{
    ProlongGridRow(w, coarseU, r);
    float* pU = fineU.Row(r);
    const float* pW = w.Row(r);
    for (int c = 0; c < fineU.nCols; ++c)
        pU[c] += pW[c];
}



void AddCorrection(const GridView& fineU, const GridView& coarseU, const GridView& work) noexcept
{
    const GridView w = work.Corner(fineU.nRows, fineU.nCols);
    for (int r = 0; r < fineU.nRows; ++r)
        AddCorrectionRow(fineU, coarseU, w, r);
}

} // namespace gw
