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
#include <new>

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
        gw::CWorkerPool& pool = EnginePool();
        if (!m_pKernels) {
            const int nLevels = m_grids.Levels();
            const int nMaxLine = std::max(m_grids.LevelRows(nLevels), m_grids.LevelCols(nLevels));
            m_pKernels = std::make_shared<gw::CParallelKernels>(pool, nMaxLine);
        }
    } catch (const std::bad_alloc&) {
        // Without room for the lane vectors the straightforward path does the work.
        return nullptr;
    }
    return m_pKernels.get();
}



gw::CPagedWorkspace& CImageEngine::PagedWorkspace()
{
    gw::CWorkerPool& pool = EnginePool();
    if (!m_pPagedWorkspace) {
        const int nLevels = m_grids.Levels();
        const int nMaxLine = std::max(m_grids.LevelRows(nLevels), m_grids.LevelCols(nLevels));
        m_pPagedWorkspace = std::make_shared<gw::CPagedWorkspace>(pool, nMaxLine);
    }
    m_pPagedWorkspace->SetTuning(m_pagedTuning);
    return *m_pPagedWorkspace;
}



void CImageEngine::EndWorkerThreads() noexcept
{
    if (m_pPool)
        m_pPool->StopWorkers();
}
