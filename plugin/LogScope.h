// LogScope.h - entry and exit tags of an operation in the diagnostic log.
#pragma once

#include <exception>

#include "PluginGlobals.h"

/// Writes the entry tag of an operation when made and its exit tag when the
/// operation returns normally. While an exception leaves the operation no exit
/// tag is written: the failure handler that catches it decides (it writes the
/// tag for the operations that are meant to show it).
class CLogScope
{
public:
    explicit CLogScope(const char* pName) noexcept
        : m_pName(pName), m_nUncaught(std::uncaught_exceptions())
    {
        if (gLog.IsOn())
            gLog.Enter(m_pName, kLogTrace);
    }
    ~CLogScope()
    {
        if (m_pName != nullptr && gLog.IsOn() && std::uncaught_exceptions() == m_nUncaught)
            gLog.Exit(m_pName, kLogTrace);
    }
    CLogScope(const CLogScope&) = delete;
    CLogScope& operator=(const CLogScope&) = delete;

    /// A failure handler inside the operation caught a failure and wrote the
    /// exit tag already: none is written again.
    void ExitWrittenByHandler() noexcept { m_pName = nullptr; }

private:
    const char* m_pName;
    int m_nUncaught;
};
