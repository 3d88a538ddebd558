// DescriptorStore.h - scripting descriptors: the host side of the read and
// write descriptor procedures.
//
// A descriptor travels between host and plug-in as a handle of CHandleStore.
// Its bytes are this host's own serial form (a list of key, type and value
// items); plug-ins never look inside, they use the procedures.
#pragma once

#include "HandleStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw::host {

struct DescriptorItem
{
    DescriptorKeyID nKey = 0;
    DescriptorTypeID nType = 0;
    std::vector<std::uint8_t> payload; ///< little-endian value, layout by type

    static DescriptorItem Integer(DescriptorKeyID nKey, std::int32_t nValue);
    static DescriptorItem Bool(DescriptorKeyID nKey, bool bValue);
    static DescriptorItem Float(DescriptorKeyID nKey, double fValue);
    static DescriptorItem Text(DescriptorKeyID nKey, DescriptorTypeID nType, std::string_view text);
    static DescriptorItem Codes(DescriptorKeyID nKey, DescriptorTypeID nType,
                                std::vector<std::uint32_t> codes);

    /// The value as text: "'Amnt' long 80", "'Md  ' bool 1", ...
    std::string Describe() const;
    std::optional<std::int32_t> AsInteger() const;
    std::optional<bool> AsBool() const;
};

/// Serial form of a list of items, and back. Parse returns nullopt for bytes
/// that are not a descriptor of this host.
std::vector<std::uint8_t> SerializeDescriptor(const std::vector<DescriptorItem>& items);
std::optional<std::vector<DescriptorItem>> ParseDescriptor(std::span<const std::uint8_t> bytes);

class CDescriptorStore
{
public:
    using Notify = std::function<void(std::string_view)>;

    explicit CDescriptorStore(CHandleStore& handles);
    CDescriptorStore(const CDescriptorStore&) = delete;
    CDescriptorStore& operator=(const CDescriptorStore&) = delete;
    ~CDescriptorStore();

    void SetNotify(Notify notify) { m_notify = std::move(notify); }

    /// A descriptor handle holding the items (null when out of memory).
    Handle MakeHandle(const std::vector<DescriptorItem>& items);
    /// The items of a descriptor handle; nullopt when it is not one.
    std::optional<std::vector<DescriptorItem>> ReadHandle(Handle h) const;

    /// Procedure tables bound to this store (it must outlive every call).
    WriteDescriptorProcs MakeWriteProcs() noexcept;
    ReadDescriptorProcs MakeReadProcs() noexcept;

    /// Read and write tokens opened and not closed so far.
    std::size_t OpenTokens() const noexcept { return m_readers.size() + m_writers.size(); }
    /// Keys of the last closed read token that were expected but not delivered.
    const std::vector<DescriptorKeyID>& MissingKeys() const noexcept { return m_missing; }

    // The procedures' bodies (public for the C trampolines).
    struct Reader;
    struct Writer;
    PIReadDescriptor OpenRead(PIDescriptorHandle h, DescriptorKeyID* pKeys) noexcept;
    OSErr CloseRead(PIReadDescriptor token) noexcept;
    Reader* FindReader(PIReadDescriptor token) noexcept;
    PIWriteDescriptor OpenWrite() noexcept;
    OSErr CloseWrite(PIWriteDescriptor token, PIDescriptorHandle* pHandle) noexcept;
    OSErr Put(PIWriteDescriptor token, DescriptorItem&& item) noexcept;
    void Note(std::string_view text) const noexcept;
    CHandleStore& Handles() noexcept { return m_handles; }

private:
    CHandleStore& m_handles;
    std::vector<std::unique_ptr<Reader>> m_readers;
    std::vector<std::unique_ptr<Writer>> m_writers;
    std::vector<DescriptorKeyID> m_missing;
    Notify m_notify;
};

} // namespace gw::host
