// PluginModule.h - a filter plug-in module loaded into this process: its
// resources and its entry point.
#pragma once

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
    /// LoadLibrary (the module's attach code runs). Throws PluginLoadError.
    explicit CPluginModule(const std::string& path);
    CPluginModule(const CPluginModule&) = delete;
    CPluginModule& operator=(const CPluginModule&) = delete;
    /// FreeLibrary (the module's detach code runs).
    ~CPluginModule();

    /// Every resource of this type (matched without regard to case), in enumeration order.
    std::vector<ModuleResource> Resources(const char* type) const;

    /// The exported function of this name; throws PluginLoadError when absent.
    PluginEntryProc EntryPoint(const std::string& name) const;

    /// True for a 64-bit build of this host (which loads only 64-bit modules).
    static constexpr bool Is64Bit() noexcept { return sizeof(void*) == 8; }

private:
    void* m_hModule = nullptr;
};

} // namespace gw::host
