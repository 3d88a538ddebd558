// HostHandles.h - the host's callback tables, each checked once and wrapped
// once: handle procedures, the read and write descriptor suites and the UI
// hooks suite. Nothing else in the plug-in calls through these tables.
//
// A table counts as usable only when its pointer is set, its version is one we
// know, its count covers every procedure we call, and each of those procedures
// is set. Host failures that are ordinary outcomes come back as codes or
// truth values; nothing here throws.
#pragma once

#include "hostapi/HostApi.h"

namespace gw::plugin {

/// The record's handle procedures.
class CHostHandleProcs
{
public:
    explicit CHostHandleProcs(const FilterRecord& record) noexcept;
    bool CanDispose() const noexcept { return m_pProcs != nullptr; }
    /// Disposes of a handle the host gave us; does nothing for null or when the
    /// host has no usable dispose procedure (the handle then stays the host's).
    void Dispose(Handle hHandle) const noexcept;

private:
    const HandleProcs* m_pProcs;
};

/// A descriptor being read: owns the read token, closes it once.
class CDescriptorReader
{
public:
    /// Usable read suite of the record's descriptor parameters, or null.
    static const ReadDescriptorProcs* Suite(const PIDescriptorParameters& params) noexcept;

    /// Opens hDescriptor with the zero-terminated key array.
    CDescriptorReader(const ReadDescriptorProcs& procs, PIDescriptorHandle hDescriptor,
                      DescriptorKeyID* pKeys) noexcept;
    ~CDescriptorReader();
    CDescriptorReader(const CDescriptorReader&) = delete;
    CDescriptorReader& operator=(const CDescriptorReader&) = delete;

    bool IsOpen() const noexcept { return m_token != nullptr; }
    /// The next key; false when the host reports no more.
    bool NextKey(DescriptorKeyID* pKey) noexcept;
    /// Fetches the current key's value; the host's code (0 = fetched).
    OSErr GetInteger(int32* pnValue) noexcept;
    OSErr GetBoolean(Boolean* pValue) noexcept;
    /// Closes the token; the host's code (the most serious error met while reading).
    OSErr Close() noexcept;

private:
    const ReadDescriptorProcs& m_procs;
    PIReadDescriptor m_token;
};

/// A descriptor being written: owns the write token, closes it into a handle.
class CDescriptorWriter
{
public:
    /// Usable write suite of the record's descriptor parameters, or null.
    static const WriteDescriptorProcs* Suite(const PIDescriptorParameters& params) noexcept;

    CDescriptorWriter(const WriteDescriptorProcs& procs, const CHostHandleProcs& handles) noexcept;
    /// Closes a token that was never handed over and disposes of its handle.
    ~CDescriptorWriter();
    CDescriptorWriter(const CDescriptorWriter&) = delete;
    CDescriptorWriter& operator=(const CDescriptorWriter&) = delete;

    bool IsOpen() const noexcept { return m_token != nullptr; }
    OSErr PutInteger(DescriptorKeyID nKey, int32 nValue) noexcept;
    OSErr PutBoolean(DescriptorKeyID nKey, bool bValue) noexcept;
    /// Closes the token into a new descriptor handle, which the caller then owns.
    OSErr Close(PIDescriptorHandle* phDescriptor) noexcept;

private:
    const WriteDescriptorProcs& m_procs;
    const CHostHandleProcs& m_handles;
    PIWriteDescriptor m_token;
};

/// Acquires the UI hooks suite through the record's basic suite; null when the
/// host has no basic suite or refuses the UI hooks suite.
const PSUIHooksSuite1* AcquireUIHooksSuite(const FilterRecord& record) noexcept;

/// Sets a host cursor by name through gUIHooksSuite; false when there is no
/// suite or the host answers with any non-zero code ("not set").
bool SetHostCursor(const char* pCursorName) noexcept;

} // namespace gw::plugin
