// ImageEnginePool.cpp - the engine's threads: the thread-count rule, the one worker pool and
// what runs on it (the parallel kernels, the paged solver's workspace).
//
// A run's result does not depend on its thread count. The pool is made on first use with the
// count of RunThreads(), and everything that runs on it is made with a reference to it, so an
// engine never has two pools; a new count remakes all three, in the order their references
// need.
#include "CImageEngine.h"

#include "paged/PagedWorkspace.h"
#include "parallel/ParallelKernels.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

// What runs on the pool is made once, with scratch for the longest line of the finest level.
template <class T>
T& MakeOnce(std::shared_ptr<T>& pMade, gw::CWorkerPool& pool, const CGridMemory& grids)
{
    if (!pMade) {
        const int nLevels = grids.Levels();
        const int nMaxLine = std::max(grids.LevelRows(nLevels), grids.LevelCols(nLevels));
        pMade = std::make_shared<T>(pool, nMaxLine);
    }
    return *pMade;
}

} // namespace

void CImageEngine::SetThreadCount(int nThreads) noexcept
{
    m_nThreadCount = nThreads < 0 ? 0 : nThreads;
}



void CImageEngine::SetReferencePath(bool bReference) noexcept
{
    m_bReferencePath = bReference;
}



int CImageEngine::RunThreads() const noexcept
{
    if (m_bReferencePath)
        return 1;
    return m_nThreadCount > 0 ? m_nThreadCount : gw::CWorkerPool::DefaultThreads();
}



gw::CWorkerPool& CImageEngine::EnginePool()
{
    const int nThreads = RunThreads();
    if (!m_pPool || m_nPoolThreads != nThreads) {
        m_pKernels.reset();
        m_pPagedWorkspace.reset();
        m_pPool.reset();
        m_pPool = std::make_unique<gw::CWorkerPool>(nThreads);
        m_nPoolThreads = nThreads;
    }
    return *m_pPool;
}



gw::CWorkerPool* CImageEngine::StagePool() noexcept
{
    if (m_bReferencePath)
        return nullptr;
    try {
        return &EnginePool();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}



gw::CParallelKernels* CImageEngine::ParallelKernels() noexcept
{
    if (m_bReferencePath || !m_grids.HasGrids())
        return nullptr;
    try {
        return &MakeOnce(m_pKernels, EnginePool(), m_grids);
    } catch (const std::bad_alloc&) {
        // Without room for the lane vectors the straightforward path does the work.
        return nullptr;
    }
}



gw::CPagedWorkspace& CImageEngine::PagedWorkspace()
{
    gw::CPagedWorkspace& workspace = MakeOnce(m_pPagedWorkspace, EnginePool(), m_grids);
    workspace.SetTuning(m_pagedTuning);
    return workspace;
}



void CImageEngine::EndWorkerThreads() noexcept
{
    if (m_pPool)
        m_pPool->StopWorkers();
}
