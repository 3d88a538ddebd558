// PagedWorkspace.cpp - the paged kernels' reusable buffers, pool and line vectors.
#include "paged/PagedWorkspace.h"

#include "CpuFeatures.h"
#include "Platform.h"
#include "lanes/KernelsLanes.h"
#include "lanes/LaneSolve.h"

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>

namespace gw {

namespace {

// Floats of a part's scratch per float of the longest line: four line vectors, and the
// factors and solutions of the most lines solved together (four groups of eight columns).
constexpr std::size_t kLaneLines = lanes::kMaxColumnGroups * lanes::kGroupLines;
constexpr std::size_t kPartFloatsPerLine = 4 + 2 * kLaneLines;
static_assert(lanes::kGroupLines == lanesolve::kLanes);

} // namespace



CPagedWorkspace::CPagedWorkspace(CWorkerPool& pool, int nMaxLine)
    : m_pool(pool)
    , m_rowRunner([this](int nRows, const std::function<void(int, int)>& fn) {
        // Rows in parts of at least 64, each part's transfers on its own thread.
        m_pool.Run(nRows, m_pool.PartsFor(nRows, 64),
                   [&fn](int, int nBegin, int nEnd) { fn(nBegin, nEnd); });
    })
    , m_nMaxLine(std::max(nMaxLine, 1))
    , m_pLineVectors(
          std::make_unique<float[]>(static_cast<std::size_t>(m_pool.Threads()) * kPartFloatsPerLine
                                    * static_cast<std::size_t>(m_nMaxLine)))
{}



float* CPagedWorkspace::Block(int nIndex, std::size_t nFloats)
{
    const auto i = static_cast<std::size_t>(nIndex);
    if (m_anBufferFloats[i] < nFloats) {
        m_apBuffer[i].reset(); // the old one goes first, so the two are never held together
        m_anBufferFloats[i] = 0;
        const std::size_t nBytes = nFloats * sizeof(float);
        auto* pBlock = static_cast<float*>(platform::AllocateZeroedBlock(nBytes));
        if (pBlock == nullptr)
            throw std::bad_alloc();
        m_apBuffer[i] = std::unique_ptr<float[], PagedBlockFree>(pBlock, PagedBlockFree{nBytes});
        m_anBufferFloats[i] = nFloats;
    }
    return m_apBuffer[i].get();
}



float* CPagedBuffers::Take(std::size_t nFloats)
{
    if (m_nTaken >= CPagedWorkspace::kBuffers)
        throw std::logic_error("a paged kernel asked for more buffers than the workspace has");
    return m_workspace.Block(m_nTaken++, nFloats);
}



void PagedBlockFree::operator()(float* pBlock) const noexcept
{
    platform::FreeZeroedBlock(pBlock, nBytes);
}



bool CPagedWorkspace::UsesAvx2() const noexcept
{
    return m_tuning.bAvx2 && cpu::HasAvx2();
}



LineVectors CPagedWorkspace::Lines(int nPart) const noexcept
{
    float* pBase = m_pLineVectors.get()
                 + static_cast<std::size_t>(nPart) * kPartFloatsPerLine
                       * static_cast<std::size_t>(m_nMaxLine);
    const auto nLine = static_cast<std::size_t>(m_nMaxLine);
    return LineVectors{pBase, pBase + nLine, pBase + 2 * nLine, pBase + 3 * nLine};
}



CPagedWorkspace::LaneScratch CPagedWorkspace::Lanes(int nPart) const noexcept
{
    const auto nLine = static_cast<std::size_t>(m_nMaxLine);
    float* pBase = m_pLineVectors.get()
                 + static_cast<std::size_t>(nPart) * kPartFloatsPerLine * nLine + 4 * nLine;
    return LaneScratch{pBase, pBase + kLaneLines * nLine};
}

} // namespace gw
