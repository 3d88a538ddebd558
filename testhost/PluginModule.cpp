// PluginModule.cpp - loading a plug-in module and reading its resources.
#include "PluginModule.h"

#include "WinText.h"

#include <windows.h>

namespace gw::host {

namespace {

struct EnumState
{
    HMODULE hModule;
    const wchar_t* pType;
    std::vector<ModuleResource>* pOut;
};

BOOL CALLBACK EnumLanguage(HMODULE hModule, LPCWSTR pType, LPCWSTR pName, WORD nLanguage,
                           LONG_PTR lParam)
{
    auto* pState = reinterpret_cast<EnumState*>(lParam);
    HRSRC hInfo = FindResourceExW(hModule, pType, pName, nLanguage);
    HGLOBAL hData = hInfo ? LoadResource(hModule, hInfo) : nullptr;
    const void* pData = hData ? LockResource(hData) : nullptr;
    if (!pData) {
        return TRUE;
    }
    ModuleResource resource;
    resource.name =
        IS_INTRESOURCE(pName) ? std::to_string(reinterpret_cast<ULONG_PTR>(pName)) : Utf8(pName);
    resource.nLanguage = nLanguage;
    const auto* pBytes = static_cast<const std::uint8_t*>(pData);
    resource.bytes.assign(pBytes, pBytes + SizeofResource(hModule, hInfo));
    pState->pOut->push_back(std::move(resource));
    return TRUE;
}

BOOL CALLBACK EnumName(HMODULE hModule, LPCWSTR pType, LPWSTR pName, LONG_PTR lParam)
{
    EnumResourceLanguagesW(hModule, pType, pName, EnumLanguage, lParam);
    return TRUE;
}

} // namespace

CPluginModule::CPluginModule(const std::string& path, bool bDataFallback, CTrace* pTrace)
    : m_pTrace(pTrace)
{
    if (m_pTrace) {
        m_pTrace->Write("module load " + Quote(path));
    }
    // Our own message boxes are not wanted when a dependent DLL is missing.
    const UINT nOldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    m_hModule = LoadLibraryW(Wide(path).c_str());
    const DWORD nError = GetLastError();
    if (!m_hModule && nError == ERROR_BAD_EXE_FORMAT && bDataFallback) {
        m_hModule = LoadLibraryExW(Wide(path).c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        m_bDataOnly = m_hModule != nullptr;
    }
    SetErrorMode(nOldMode);
    if (m_hModule && m_pTrace) {
        m_pTrace->Write(m_bDataOnly ? "module loaded as data" : "module loaded");
    }
    if (!m_hModule) {
        throw PluginLoadError("cannot load \"" + path + "\": " + SystemMessage(nError)
                              + (nError == ERROR_BAD_EXE_FORMAT
                                     ? std::string(" (a ") + (Is64Bit() ? "64" : "32")
                                           + "-bit host loads only modules of its own architecture)"
                                     : ""));
    }
}

CPluginModule::~CPluginModule()
{
    if (!m_hModule) {
        return;
    }
    if (m_pTrace) {
        m_pTrace->Write("module unload");
    }
    FreeLibrary(static_cast<HMODULE>(m_hModule));
    if (m_pTrace) {
        m_pTrace->Write("module unloaded");
    }
}

std::vector<ModuleResource> CPluginModule::Resources(const char* type) const
{
    std::vector<ModuleResource> out;
    const std::wstring wideType = Wide(type);
    EnumState state{static_cast<HMODULE>(m_hModule), wideType.c_str(), &out};
    EnumResourceNamesW(state.hModule, wideType.c_str(), EnumName,
                       reinterpret_cast<LONG_PTR>(&state));
    return out;
}

PluginEntryProc CPluginModule::EntryPoint(const std::string& name) const
{
    if (m_bDataOnly) {
        throw PluginLoadError(
            "the module is built for another architecture; this host cannot call it");
    }
    FARPROC pProc = GetProcAddress(static_cast<HMODULE>(m_hModule), name.c_str());
    if (!pProc) {
        throw PluginLoadError("the module exports no function \"" + name + "\" named by its PiPL");
    }
    return reinterpret_cast<PluginEntryProc>(reinterpret_cast<void*>(pProc));
}

} // namespace gw::host
