// WorkerPool.h - a fixed set of worker threads that split a range of work items.
//
// The pool is made once per engine; its threads wait between jobs and are never
// created per job. A job is a count of items and a function of a part: the items
// are split into contiguous parts, one per thread, always the same way for the
// same count and thread count (a static partition). The calling thread works on
// part 0 itself and returns when every part is done, so the caller stays the one
// that drives the run (progress and stop checks happen on it, between jobs).
//
// The owner may end the threads between jobs (StopWorkers), for instance so that none
// outlives a run.
//
// Jobs must give the same result however the items are split: each item writes
// its own outputs, and reductions are combined by the caller in part order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace gw {

class CWorkerPool
{
public:
    /// The most threads a pool has, and so the most parts of a job.
    static constexpr int kMaxThreads = 64;

    /// A pool of nThreads threads in all (the caller included); values below 1 count as 1.
    /// The worker threads are started on the first job that needs them.
    explicit CWorkerPool(int nThreads);
    ~CWorkerPool();

    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    /// Threads a job may use (the caller included).
    int Threads() const noexcept { return m_nThreads; }

    /// How many parts a job of nCount items gets: at most Threads(), and 1 when
    /// nCount is below nMinPerPart x 2 (too small to be worth sharing).
    int PartsFor(int nCount, int nMinPerPart) const noexcept;

    /// Calls fn(nPart, nBegin, nEnd) for each of nParts contiguous parts of [0, nCount)
    /// (nParts from PartsFor), part 0 on the calling thread. Returns when all parts
    /// are done; if any part threw, rethrows the exception of the lowest such part.
    template <class F>
    void Run(int nCount, int nParts, F&& fn)
    {
        if (nParts <= 1 || nCount <= 1) {
            fn(0, 0, nCount);
            return;
        }
        auto thunk = [](void* pFn, int nPart, int nBegin, int nEnd) {
            (*static_cast<std::remove_reference_t<F>*>(pFn))(nPart, nBegin, nEnd);
        };
        Dispatch(nCount, nParts, thunk, &fn);
    }

    /// Ends the worker threads (waiting for them); the next job that needs them starts them
    /// again. Call between jobs only.
    void StopWorkers() noexcept;

    /// The default thread count: the environment variable GW_THREADS when it holds a
    /// number from 1 to 64, else the hardware concurrency (at least 1, at most 64).
    static int DefaultThreads() noexcept;

    /// The first item of part nPart of nParts over nCount items.
    static int PartBegin(int nCount, int nParts, int nPart) noexcept
    {
        return static_cast<int>(static_cast<long long>(nCount) * nPart / nParts);
    }

private:
    using Thunk = void (*)(void*, int, int, int);

    void Dispatch(int nCount, int nParts, Thunk pfnThunk, void* pFn);
    void StartWorkers() noexcept;
    void WorkerLoop(int nPart, unsigned long long nSeen) noexcept;
    void RunPart(int nPart) noexcept;

    int m_nThreads = 1;
    std::vector<std::thread> m_workers; // threads for parts 1..m_nThreads-1
    bool m_bStartFailed = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    unsigned long long m_nGeneration = 0;
    int m_nPending = 0;
    bool m_bQuit = false;

    // The current job; written by the caller under the mutex before a generation starts.
    Thunk m_pfnThunk = nullptr;
    void* m_pFn = nullptr;
    int m_nCount = 0;
    int m_nParts = 0;
    std::vector<std::exception_ptr> m_failures;
};

} // namespace gw
