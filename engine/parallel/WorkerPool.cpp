// WorkerPool.cpp - the engine's worker threads.
#include "parallel/WorkerPool.h"

#include <cstdlib>
#include <system_error>

namespace gw {

CWorkerPool::CWorkerPool(int nThreads)
    : m_nThreads(nThreads < 1 ? 1 : (nThreads > kMaxThreads ? kMaxThreads : nThreads))
{}



CWorkerPool::~CWorkerPool()
{
    StopWorkers();
}



void CWorkerPool::StopWorkers() noexcept
{
    if (m_workers.empty())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_bQuit = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_bQuit = false;
}



int CWorkerPool::PartsFor(int nCount, int nMinPerPart) const noexcept
{
    if (m_nThreads <= 1 || nCount < 2 * (nMinPerPart < 1 ? 1 : nMinPerPart))
        return 1;
    const int nByCount = nCount / (nMinPerPart < 1 ? 1 : nMinPerPart);
    return nByCount < m_nThreads ? nByCount : m_nThreads;
}



int CWorkerPool::DefaultThreads() noexcept
{
    if (const char* pszValue = std::getenv("GW_THREADS")) {
        char* pEnd = nullptr;
        const long nValue = std::strtol(pszValue, &pEnd, 10);
        if (pEnd != pszValue && *pEnd == '\0' && nValue >= 1 && nValue <= kMaxThreads)
            return static_cast<int>(nValue);
    }
    const unsigned nHardware = std::thread::hardware_concurrency();
    if (nHardware == 0)
        return 1;
    return nHardware > static_cast<unsigned>(kMaxThreads) ? kMaxThreads
                                                          : static_cast<int>(nHardware);
}



void CWorkerPool::StartWorkers() noexcept
{
    if (!m_workers.empty() || m_bStartFailed)
        return;
    try {
        m_workers.reserve(static_cast<std::size_t>(m_nThreads - 1));
        m_failures.resize(static_cast<std::size_t>(m_nThreads));
        // A new thread waits for the next job, not for one that ran before it existed.
        const unsigned long long nGeneration = m_nGeneration;
        for (int nPart = 1; nPart < m_nThreads; ++nPart)
            m_workers.emplace_back([this, nPart, nGeneration] { WorkerLoop(nPart, nGeneration); });
    } catch (...) {
        // Without all its threads the pool runs every part on the caller; the
        // threads already made are told to quit.
        StopWorkers();
        m_bStartFailed = true;
    }
}



void CWorkerPool::RunPart(int nPart) noexcept
{
    if (nPart >= m_nParts)
        return;
    try {
        m_pfnThunk(m_pFn, nPart, PartBegin(m_nCount, m_nParts, nPart),
                   PartBegin(m_nCount, m_nParts, nPart + 1));
    } catch (...) {
        m_failures[static_cast<std::size_t>(nPart)] = std::current_exception();
    }
}



void CWorkerPool::WorkerLoop(int nPart, unsigned long long nSeen) noexcept
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_bQuit || m_nGeneration != nSeen; });
            if (m_bQuit)
                return;
            nSeen = m_nGeneration;
        }
        RunPart(nPart);
        bool bLast = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            bLast = --m_nPending == 0;
        }
        if (bLast)
            m_done.notify_one();
    }
}



void CWorkerPool::Dispatch(int nCount, int nParts, Thunk pfnThunk, void* pFn)
{
    StartWorkers();
    if (m_workers.empty()) {
        // No workers: the parts run one after another here, in order.
        for (int nPart = 0; nPart < nParts; ++nPart)
            pfnThunk(pFn, nPart, PartBegin(nCount, nParts, nPart),
                     PartBegin(nCount, nParts, nPart + 1));
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pfnThunk = pfnThunk;
        m_pFn = pFn;
        m_nCount = nCount;
        m_nParts = nParts;
        for (std::exception_ptr& failure : m_failures)
            failure = nullptr;
        m_nPending = static_cast<int>(m_workers.size());
        ++m_nGeneration;
    }
    m_wake.notify_all();
    RunPart(0);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return m_nPending == 0; });
    }
    for (const std::exception_ptr& failure : m_failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

} // namespace gw
