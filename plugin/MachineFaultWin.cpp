// MachineFaultWin.cpp - the vectored handler and the per-thread guard stack
// behind MachineFault.h.
#include "MachineFault.h"

#include <windows.h>

namespace gw::plugin {

namespace {

constexpr int kMaxFaultEntries = 32;

/// Per-thread stack of jump targets; a null entry is a barrier.
struct FaultStack
{
    FaultJump* m_apEntries[kMaxFaultEntries];
    int m_nDepth;
    int m_nOverflow; ///< barriers that found the stack full; no jumps while non-zero
};

thread_local FaultStack tFaultStack = {};

PVOID gHandlerCookie = nullptr;
std::uintptr_t gModuleBase = 0;
std::uintptr_t gModuleSize = 0;

bool IsMachineFault(DWORD nCode) noexcept
{
    switch (nCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK:
        return true;
    default:
        return false;
    }
}

bool IsInsideThisModule(const void* pAddress) noexcept
{
    const auto nAddress = reinterpret_cast<std::uintptr_t>(pAddress);
    return nAddress >= gModuleBase && nAddress - gModuleBase < gModuleSize;
}

/// Where a faulting thread resumes: leaves the guard and jumps to its target.
[[noreturn]] void LandAfterFault() noexcept
{
    FaultStack& stack = tFaultStack;
    FaultJump* pJump = stack.m_apEntries[stack.m_nDepth - 1];
    --stack.m_nDepth;
    __builtin_longjmp(pJump->m_apSlots, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* pInfo)
{
    const EXCEPTION_RECORD* pRecord = pInfo->ExceptionRecord;
    if (!IsMachineFault(pRecord->ExceptionCode) || !IsInsideThisModule(pRecord->ExceptionAddress))
        return EXCEPTION_CONTINUE_SEARCH;
    FaultStack& stack = tFaultStack;
    if (stack.m_nOverflow > 0 || stack.m_nDepth == 0
        || stack.m_apEntries[stack.m_nDepth - 1] == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;

    // Resume in LandAfterFault on the faulting stack, a little below the
    // faulting frame, aligned as at a function's entry (the return address
    // slot that a call would have pushed is left unused).
    CONTEXT* pContext = pInfo->ContextRecord;
#if defined(_M_X64) || defined(__x86_64__)
    pContext->Rsp = ((pContext->Rsp - 256) & ~static_cast<DWORD64>(15)) - 8;
    pContext->Rip = reinterpret_cast<DWORD64>(&LandAfterFault);
#else
    pContext->Esp = ((pContext->Esp - 256) & ~static_cast<DWORD>(15)) - 4;
    pContext->Eip = reinterpret_cast<DWORD>(&LandAfterFault);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

void InstallMachineFaultHandler(HINSTANCE hModule) noexcept
{
    const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(hModule);
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        reinterpret_cast<const char*>(hModule) + pDos->e_lfanew);
    gModuleBase = reinterpret_cast<std::uintptr_t>(hModule);
    gModuleSize = pNt->OptionalHeader.SizeOfImage;
    if (gHandlerCookie == nullptr)
        gHandlerCookie = AddVectoredExceptionHandler(1, &OnException);
}

void RemoveMachineFaultHandler() noexcept
{
    if (gHandlerCookie != nullptr)
        RemoveVectoredExceptionHandler(gHandlerCookie);
    gHandlerCookie = nullptr;
}

bool PushFaultGuard(FaultJump* pJump) noexcept
{
    FaultStack& stack = tFaultStack;
    if (stack.m_nDepth >= kMaxFaultEntries)
        return false;
    stack.m_apEntries[stack.m_nDepth++] = pJump;
    return true;
}

void PopFaultEntry() noexcept
{
    FaultStack& stack = tFaultStack;
    if (stack.m_nDepth > 0)
        --stack.m_nDepth;
}

CFaultBarrier::CFaultBarrier() noexcept : m_bPushed(false)
{
    FaultStack& stack = tFaultStack;
    if (stack.m_nDepth < kMaxFaultEntries) {
        stack.m_apEntries[stack.m_nDepth++] = nullptr;
        m_bPushed = true;
    } else {
        ++stack.m_nOverflow;
    }
}

CFaultBarrier::~CFaultBarrier()
{
    if (m_bPushed)
        PopFaultEntry();
    else
        --tFaultStack.m_nOverflow;
}

} // namespace gw::plugin
