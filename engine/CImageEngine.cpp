// CImageEngine.cpp - construction, parameters, the progress protocol and the
// colour conversion that opens the pipeline.
#include "CImageEngine.h"

#include "CountingSemaphore.h"
#include "Platform.h"

#include <cinttypes>
#include <cstdio>

CImageEngine::CImageEngine(int bColor, int nRows, int nCols, int nReserve,
                           ProgressCallback pfnProgress)
{
    m_log.Open(nullptr, CDiagnosticLog::kLevelAll, CDiagnosticLog::kOutputRing);

    // Every field is consistent with the colour flag, even for an engine
    // that gets no grids.
    m_bColor = bColor ? 1 : 0;
    m_nChannels = m_bColor ? 3 : 1;
    m_nValueChannel = m_bColor ? 2 : 0;
    m_nSatChannel = m_bColor ? 1 : 0;
    m_nHueChannel = 0;
    m_bHSV = m_bColor != 0;
    if (nRows <= 0 || nCols <= 0)
        return;

    m_nRows = nRows;
    m_nCols = nCols;
    m_pfnProgress = pfnProgress;

    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "GW: RAM reserve = %d\n", nReserve);
    m_log.Write(szLine, CDiagnosticLog::kLevelInfo);
    std::snprintf(szLine, sizeof szLine, "GW: RAM avail = %" PRIu64 "\n",
                  gw::platform::AvailablePhysicalMemory());
    m_log.Write(szLine, CDiagnosticLog::kLevelInfo);

    m_grids.AllocateGrids(nRows, nCols, nReserve);
    m_log.Write(m_grids.IsInRam() ? "GW: Using 2D memory\n" : "GW: Using MM memory\n",
                CDiagnosticLog::kLevelInfo);
    m_log.FlushRing();

    // A stop check during construction: the callback hears 0 (nothing done of
    // a positive budget).
    ReportProgress(0.0f);
}



void CImageEngine::SetRadius(float fRadius) noexcept
{
    m_fRadius = fRadius > 20.0f ? 20.0f : fRadius;
}



void CImageEngine::SetAmount(float fAmount) noexcept
{
    m_fAmount = fAmount > 1.0f ? 1.0f : fAmount;
}



void CImageEngine::SetThermal(float fThermal) noexcept
{
    m_fThermal = fThermal;
}



void CImageEngine::SetEpsilon(float fEpsilon) noexcept
{
    m_fEpsilon = fEpsilon;
}



void CImageEngine::SetFastMode(unsigned char bFastMode) noexcept
{
    m_bFastMode = bFastMode != 0;
}



void CImageEngine::SetFinalScaling(unsigned char bFinalScaling) noexcept
{
    m_bFinalScaling = bFinalScaling != 0;
}



void CImageEngine::SetPagedTuning(const gw::PagedTuning& tuning) noexcept
{
    m_pagedTuning = tuning;
    m_rowBlocks.SetBlockBytes(tuning.nRowBlockBytes);
}



bool CImageEngine::SetOutputRange(float fLow, float fHigh) noexcept
{
    const bool bAutomatic = fLow == -1.0f;
    const bool bValid =
        fLow >= 0.0f && fLow <= 1.0f && fHigh >= 0.0f && fHigh <= 1.0f && fLow < fHigh;
    if (!bAutomatic && !bValid)
        return false;
    m_fOutLow = fLow;
    m_fOutHigh = fHigh;
    return true;
}



void CImageEngine::GetOutputRange(float& fLow, float& fHigh) const noexcept
{
    fLow = m_fOutLow;
    fHigh = m_fOutHigh;
}



bool CImageEngine::ReportRows(int nRows, float fUnits)
{
    for (int r = 0; r < nRows; ++r) {
        if (ReportProgress(fUnits))
            return true;
    }
    return false;
}



bool CImageEngine::ReportProgress(float fUnits)
{
    m_fProgressDone += fUnits;
    const double dPercent = static_cast<double>(m_fProgressDone / m_fProgressTotal) * 100.0;
    // The quotient can be anything a caller made of the budget; keep the
    // conversion defined.
    int nPercent = 0;
    if (dPercent >= 99.0)
        nPercent = 99;
    else if (dPercent > -1.0e9)
        nPercent = static_cast<int>(dPercent);
    m_nPercent.store(nPercent, std::memory_order_relaxed);

    if (m_pfnProgress != nullptr) {
        const bool bStop = m_pfnProgress(nPercent) == 0;
        m_bAbort.store(bStop || m_bCancelRequested.load(std::memory_order_relaxed),
                       std::memory_order_relaxed);
    } else if (m_bCancelRequested.load(std::memory_order_relaxed)) {
        m_bAbort.store(true, std::memory_order_relaxed);
    }
    return m_bAbort.load(std::memory_order_relaxed);
}
