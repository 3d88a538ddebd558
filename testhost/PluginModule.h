// PluginModule.h - a filter plug-in module loaded into this process: its
// resources and its entry point.
#pragma once

#include "Trace.h"
#include "hostapi/HostApi.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw::host {

/// A module that cannot be used as a filter plug-in; the text says why.
class PluginLoadError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct ModuleResource
{
    std::string name; ///< "16000" for a numeric identifier
    std::uint16_t nLanguage = 0;
    std::vector<std::uint8_t> bytes;
};

class CPluginModule
{
public:
    /// LoadLibrary (the module's attach code runs). With bDataFallback a module
    /// of the other architecture is mapped as data instead, so its resources can
    /// still be read (IsDataOnly() then answers true). Throws PluginLoadError.
    /// pTrace, if given, records "module load", "module loaded", "module unload" and
    /// "module unloaded", so a module whose attach or detach code hangs is easy to spot.
    explicit CPluginModule(const std::string& path, bool bDataFallback = false,
                           CTrace* pTrace = nullptr);
    CPluginModule(const CPluginModule&) = delete;
    CPluginModule& operator=(const CPluginModule&) = delete;
    /// FreeLibrary (the module's detach code runs).
    ~CPluginModule();

    /// Every resource of this type (matched without regard to case), in enumeration order.
    std::vector<ModuleResource> Resources(const char* type) const;

    /// The exported function of this name; throws PluginLoadError when absent.
    PluginEntryProc EntryPoint(const std::string& name) const;

    /// The module was mapped as data: resources only, no code ran, no entry point.
    bool IsDataOnly() const noexcept { return m_bDataOnly; }

    /// True for a 64-bit build of this host (which loads only 64-bit modules).
    static constexpr bool Is64Bit() noexcept { return sizeof(void*) == 8; }

private:
    void* m_hModule = nullptr;
    bool m_bDataOnly = false;
    CTrace* m_pTrace = nullptr;
};

} // namespace gw::host
