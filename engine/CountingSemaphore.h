// CountingSemaphore.h - a small counting semaphore with a timed wait.
//
// The engine's worker signals the end of its run through one of these; the
// owner waits for it with a timeout when it cancels. Built on a mutex and a
// condition variable so it behaves the same with every thread library.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CCountingSemaphore
{
public:
    CCountingSemaphore(int nInitial, int nMaximum) noexcept
        : m_nCount(nInitial), m_nMaximum(nMaximum)
    {}

    CCountingSemaphore(const CCountingSemaphore&) = delete;
    CCountingSemaphore& operator=(const CCountingSemaphore&) = delete;

    /// Raises the count by one unless it is at its maximum; false then.
    bool Release()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_nCount >= m_nMaximum)
                return false;
            ++m_nCount;
        }
        m_condition.notify_one();
        return true;
    }

    /// Waits until the count is positive (then lowers it and returns true) or
    /// the time is up (false).
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_condition.wait_for(lock, timeout, [this] { return m_nCount > 0; }))
            return false;
        --m_nCount;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    int m_nCount;
    int m_nMaximum;
};
