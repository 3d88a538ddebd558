// PagedWorkspace.h - what the paged kernels of one solver run reuse from call to call.
#pragma once

#include "kernels/Kernels.h"
#include "memory/CPagedGrid.h"
#include "paged/PagedTuning.h"
#include "parallel/WorkerPool.h"

#include <array>
#include <cstddef>
#include <memory>

namespace gw {

/// Frees a block of the system's (platform::AllocateZeroedBlock) of nBytes bytes.
struct PagedBlockFree
{
    std::size_t nBytes = 0;
    void operator()(float* pBlock) const noexcept;
};

/// Buffers for column windows, row chunks and line groups (each made once at the largest size
/// asked, which the window budget bounds), the pool that solves the lines of a group and one
/// set of line vectors per part of the pool. It keeps no grid data from one call to the next.
class CPagedWorkspace
{
public:
    /// Blocks one kernel may hold at once.
    static constexpr int kBuffers = 5;

    /// Works on the threads of pool (the engine's; it must outlive the workspace); line vectors
    /// of nMaxLine floats. Throws std::bad_alloc.
    CPagedWorkspace(CWorkerPool& pool, int nMaxLine);

    CPagedWorkspace(const CPagedWorkspace&) = delete;
    CPagedWorkspace& operator=(const CPagedWorkspace&) = delete;

    CWorkerPool& Pool() noexcept { return m_pool; }

    /// Shares out the rows of a paged grid's bulk transfers over the pool.
    const CPagedGrid::RowRangeRunner& RowRunner() const noexcept { return m_rowRunner; }

    const PagedTuning& Tuning() const noexcept { return m_tuning; }
    /// Set while no kernel runs on this workspace.
    void SetTuning(const PagedTuning& tuning) noexcept { m_tuning = tuning; }
    /// Whether the AVX2 kernels are taken: allowed by the tuning and present.
    bool UsesAvx2() const noexcept;

    /// The line vectors of part nPart of a pool job.
    LineVectors Lines(int nPart) const noexcept;

    /// Scratch of part nPart for the lines solved together (LaneSolve.h, KernelsLanes.h):
    /// factors and solutions, 32 x nMaxLine floats each (four groups of eight columns).
    struct LaneScratch
    {
        float* pG;
        float* pX;
    };
    LaneScratch Lanes(int nPart) const noexcept;

private:
    friend class CPagedBuffers;
    float* Block(int nIndex, std::size_t nFloats);

    CWorkerPool& m_pool;
    CPagedGrid::RowRangeRunner m_rowRunner;
    int m_nMaxLine;
    PagedTuning m_tuning;
    std::unique_ptr<float[]> m_pLineVectors; // per part: four line vectors, then the lane scratch
    // Blocks straight from the system: the line solves walk the windows' columns, a page per
    // element, so large ones ask for huge pages where the system has them.
    std::array<std::unique_ptr<float[], PagedBlockFree>, kBuffers> m_apBuffer;
    std::array<std::size_t, kBuffers> m_anBufferFloats{};
};

/// The buffers of one kernel call, lent from the workspace's blocks in turn: the first Take
/// gets the first block, the next the second, so no two buffers of a call overlap, and the
/// kernels that run one after another reuse the same memory.
class CPagedBuffers
{
public:
    explicit CPagedBuffers(CPagedWorkspace& workspace) noexcept : m_workspace(workspace) {}

    /// The next block with room for nFloats floats, contents undefined. Throws std::bad_alloc,
    /// and std::logic_error when a call asks for more blocks than the workspace has.
    float* Take(std::size_t nFloats);

private:
    CPagedWorkspace& m_workspace;
    int m_nTaken = 0;
};

/// The four paged grids of one level; bv has the transposed shape.
struct PagedLevel
{
    CPagedGrid *bh = nullptr, *bv = nullptr, *f = nullptr, *u = nullptr;

    int Rows() const { return f->Rows(); }
    int Cols() const { return f->Columns(); }
};

} // namespace gw
