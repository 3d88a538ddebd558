// HandleStore.h - the host's memory handles, handed to plug-ins through
// HandleProcs.
//
// A Handle points at a master pointer that holds the block's current address,
// so a plug-in that dereferences the handle directly sees the data too. Every
// handle is registered: an unknown or already disposed handle passed back by a
// plug-in is reported and ignored instead of corrupting memory.
#pragma once

#include "hostapi/HostApi.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gw::host {

class CHandleStore
{
public:
    /// Receives a note for every misuse (unknown handle, bad size).
    using Notify = std::function<void(std::string_view)>;

    CHandleStore() = default;
    CHandleStore(const CHandleStore&) = delete;
    CHandleStore& operator=(const CHandleStore&) = delete;
    ~CHandleStore();

    void SetNotify(Notify notify) { m_notify = std::move(notify); }

    /// A new zero-filled handle of nSize bytes; null for a negative size or no memory.
    Handle New(std::int32_t nSize) noexcept;
    /// A new handle holding a copy of the bytes; null when out of memory.
    Handle NewFromBytes(std::span<const std::uint8_t> bytes) noexcept;
    /// False (and a note) for a handle this store does not hold.
    bool Dispose(Handle h) noexcept;
    /// Size in bytes, 0 for an unknown handle.
    std::int32_t GetSize(Handle h) const noexcept;
    /// Keeps the first min(old, new) bytes, zero-fills the rest. paramErr for a
    /// negative size or an unknown handle (nilHandleErr for null), memFullErr when out of memory.
    OSErr SetSize(Handle h, std::int32_t nSize) noexcept;
    /// Data pointer, null for an unknown handle.
    Ptr Lock(Handle h) noexcept;
    bool Unlock(Handle h) noexcept;
    bool IsValid(Handle h) const noexcept;
    bool IsLocked(Handle h) const noexcept;
    std::size_t LiveCount() const noexcept { return m_blocks.size(); }
    /// Copy of the handle's bytes (empty for an unknown handle).
    std::vector<std::uint8_t> Bytes(Handle h) const;

    /// Procedure table bound to this store; version 1 with 8 procedures, or
    /// nCount 7 to play an older host. The store must outlive every call.
    HandleProcs MakeProcs(std::int16_t nCount = kCurrentHandleProcsCount) noexcept;

private:
    struct Block
    {
        char* pMaster = nullptr; // must stay the first member: Handle points here
        std::vector<char> bytes; // never empty, so pMaster is never null
        std::int32_t nSize = 0;
        bool bLocked = false;
    };

    Block* Find(Handle h) const noexcept;
    void Note(std::string_view text, std::optional<std::int32_t> nValue = {}) const noexcept;

    std::unordered_map<Handle, std::unique_ptr<Block>> m_blocks;
    Notify m_notify;
};

} // namespace gw::host
