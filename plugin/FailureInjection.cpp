// FailureInjection.cpp - see FailureInjection.h.
#include "FailureInjection.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace gw::plugin {

namespace {

enum class InjectedKind
{
    None,
    Memory,
    Other,
    Fault
};

struct InjectionConfig
{
    char m_szOperation[64] = {};
    InjectedKind m_kind = InjectedKind::None;
};

InjectionConfig gInjection;

[[maybe_unused]] InjectedKind ParseKind(const char* pKind) noexcept
{
    if (std::strcmp(pKind, "memory") == 0)
        return InjectedKind::Memory;
    if (std::strcmp(pKind, "other") == 0)
        return InjectedKind::Other;
    if (std::strcmp(pKind, "fault") == 0)
        return InjectedKind::Fault;
    return InjectedKind::None;
}

} // namespace

void LoadFailureInjection() noexcept
{
    gInjection = InjectionConfig{};
#if !GW_TEST_HOOKS
    // A shipped plug-in never fails on purpose, whatever the environment holds.
    return;
#else
    const char* pValue = std::getenv("GW_PLUGIN_INJECT_FAILURE");
    if (pValue == nullptr)
        return;
    const char* pEquals = std::strchr(pValue, '=');
    if (pEquals == nullptr)
        return;
    std::size_t nLength = static_cast<std::size_t>(pEquals - pValue);
    if (nLength == 0 || nLength >= sizeof(gInjection.m_szOperation))
        return;
    std::memcpy(gInjection.m_szOperation, pValue, nLength);
    gInjection.m_szOperation[nLength] = '\0';
    gInjection.m_kind = ParseKind(pEquals + 1);
#endif
}

void InjectFailure(const char* pOperation)
{
    if (gInjection.m_kind == InjectedKind::None
        || std::strcmp(pOperation, gInjection.m_szOperation) != 0)
        return;
    switch (gInjection.m_kind) {
    case InjectedKind::Memory:
        throw std::bad_alloc();
    case InjectedKind::Other:
        throw std::runtime_error(std::string("injected failure in ") + pOperation);
    case InjectedKind::Fault: {
        // The address is opaque to the optimiser, so this stays a real store
        // and raises an access violation rather than a trap instruction.
        volatile std::uintptr_t nAddress = 0;
        *reinterpret_cast<volatile int*>(nAddress) = 1;
        break;
    }
    case InjectedKind::None:
        break;
    }
}

} // namespace gw::plugin
