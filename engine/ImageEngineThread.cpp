// ImageEngineThread.cpp - the asynchronous run: one worker thread per run, a
// counting semaphore that signals its end, and cancellation with a timeout.
//
// Ownership: the worker runs on the engine, so the engine must outlive it. The
// thread object stays with the engine until the worker is joined: by the next
// StartRun, by CancelRun once the worker has ended, or at the latest by the
// destructor. A worker that CancelRun gives up on therefore still holds the
// engine alive; since its stop has been requested, it ends at its next progress
// report. The semaphore is shared with the worker, so releasing it never
// touches an engine member.
#include "CImageEngine.h"

#include "CountingSemaphore.h"

#include <system_error>

CImageEngine::~CImageEngine()
{
    if (m_hThread.joinable()) {
        m_bCancelRequested.store(true, std::memory_order_relaxed);
        m_bAbort.store(true, std::memory_order_relaxed);
        m_hThread.join();
    }
}



bool CImageEngine::ReapFinishedWorker() noexcept
{
    if (!m_hThread.joinable())
        return true;
    if (m_bWorkerInRun.load(std::memory_order_acquire))
        return false;
    // The worker has left its run; what remains is its last few instructions.
    m_hThread.join();
    return true;
}



bool CImageEngine::StartRun(float* pData, float fLo, float fHi)
{
    if (m_bWorkerActive.load(std::memory_order_acquire) || !ReapFinishedWorker())
        return false;

    std::shared_ptr<CCountingSemaphore> pDone;
    try {
        pDone = std::make_shared<CCountingSemaphore>(0, 2);
    } catch (const std::bad_alloc&) {
        return false;
    }

    m_hDoneSemaphore = pDone;
    m_pRunFailure = nullptr;
    MarkWorkerInRun(true);
    try {
        // The arguments travel with the thread, so runs of different engines
        // cannot overwrite each other's.
        m_hThread = std::thread(&CImageEngine::WorkerMain, this, pData, fLo, fHi, pDone);
    } catch (const std::system_error&) {
        m_bWorkerActive.store(false, std::memory_order_release);
        m_bWorkerInRun.store(false, std::memory_order_release);
        m_hDoneSemaphore.reset();
        return false;
    }
    return true;
}



void CImageEngine::WorkerMain(float* pData, float fLo, float fHi,
                              std::shared_ptr<CCountingSemaphore> pDone) noexcept
{
    try {
        Run(pData, fLo, fHi);
    } catch (...) {
        m_pRunFailure = std::current_exception();
    }
    MarkWorkerInRun(false);
    // From here on only the shared semaphore is touched.
    try {
        pDone->Release();
    } catch (...) {
        // A failing mutex leaves the owner to its timeout.
    }
}



void CImageEngine::MarkWorkerInRun(bool bInRun) noexcept
{
    // A stop asked of one worker never reaches the next. "In the run" changes before "a
    // worker exists": once GetProgress answers 100 for a worker, TakeRunFailure already
    // hands out its failure.
    m_bCancelRequested.store(false, std::memory_order_relaxed);
    m_bWorkerInRun.store(bInRun, std::memory_order_release);
    m_bWorkerActive.store(bInRun, std::memory_order_release);
}



int CImageEngine::GetProgress() const noexcept
{
    if (!m_bWorkerActive.load(std::memory_order_acquire))
        return 100;
    const int nPercent = m_nPercent.load(std::memory_order_relaxed);
    return nPercent < 99 ? nPercent : 99;
}



bool CImageEngine::HasLiveWorker() const noexcept
{
    return m_hThread.joinable() && m_bWorkerInRun.load(std::memory_order_acquire);
}



void CImageEngine::CancelRun()
{
    CancelRun(kCancelWait, kAbandonPause);
}



void CImageEngine::CancelRun(std::chrono::milliseconds waitFor,
                             std::chrono::milliseconds pauseAfter)
{
    m_bAbort.store(true, std::memory_order_relaxed);
    if (m_bWorkerActive.load(std::memory_order_acquire)) {
        m_bCancelRequested.store(true, std::memory_order_relaxed);
        const bool bEnded = m_hDoneSemaphore && m_hDoneSemaphore->WaitFor(waitFor);
        if (bEnded) {
            m_hThread.join();
            m_bCancelRequested.store(false, std::memory_order_relaxed);
        } else {
            // Give the worker up: the owner sees no worker any more. The thread
            // object stays here, so the destructor still waits for it.
            m_bWorkerActive.store(false, std::memory_order_release);
            std::this_thread::sleep_for(pauseAfter);
        }
    } else {
        ReapFinishedWorker();
    }
    m_hDoneSemaphore.reset();
    m_nPercent.store(100, std::memory_order_relaxed);
}



std::exception_ptr CImageEngine::TakeRunFailure() noexcept
{
    if (m_bWorkerInRun.load(std::memory_order_acquire))
        return nullptr;
    std::exception_ptr pFailure = std::move(m_pRunFailure);
    m_pRunFailure = nullptr;
    return pFailure;
}
