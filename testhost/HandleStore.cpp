// HandleStore.cpp - the host's memory handles.
#include "HandleStore.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace gw::host {

namespace {

// Host callbacks carry no context; the table handed out last is served by this store.
CHandleStore* gActiveStore = nullptr;

Handle ProcNew(int32 size)
{
    return gActiveStore ? gActiveStore->New(size) : nullptr;
}
void ProcDispose(Handle h)
{
    if (gActiveStore) {
        gActiveStore->Dispose(h);
    }
}
int32 ProcGetSize(Handle h)
{
    return gActiveStore ? gActiveStore->GetSize(h) : 0;
}
OSErr ProcSetSize(Handle h, int32 size)
{
    return gActiveStore ? gActiveStore->SetSize(h, size) : nilHandleErr;
}
Ptr ProcLock(Handle h, Boolean)
{
    return gActiveStore ? gActiveStore->Lock(h) : nullptr;
}
void ProcUnlock(Handle h)
{
    if (gActiveStore) {
        gActiveStore->Unlock(h);
    }
}
void ProcRecoverSpace(int32) {}

} // namespace

CHandleStore::~CHandleStore()
{
    if (gActiveStore == this) {
        gActiveStore = nullptr;
    }
}

CHandleStore::Block* CHandleStore::Find(Handle h) const noexcept
{
    const auto it = m_blocks.find(h);
    return it == m_blocks.end() ? nullptr : it->second.get();
}

void CHandleStore::Note(std::string_view text, std::optional<std::int32_t> nValue) const noexcept
{
    try {
        if (m_notify) {
            m_notify(nValue ? std::string(text) + " " + std::to_string(*nValue)
                            : std::string(text));
        }
    } catch (...) {
        // A note that cannot be formatted is dropped; the caller's answer still stands.
    }
}

Handle CHandleStore::New(std::int32_t nSize) noexcept
{
    if (nSize < 0) {
        Note("newProc with negative size", nSize);
        return nullptr;
    }
    try {
        auto pBlock = std::make_unique<Block>();
        pBlock->bytes.assign(static_cast<std::size_t>(nSize) + 1, 0);
        pBlock->nSize = nSize;
        pBlock->pMaster = pBlock->bytes.data();
        Handle h = &pBlock->pMaster;
        m_blocks.emplace(h, std::move(pBlock));
        return h;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Handle CHandleStore::NewFromBytes(std::span<const std::uint8_t> bytes) noexcept
{
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        return nullptr;
    }
    Handle h = New(static_cast<std::int32_t>(bytes.size()));
    if (h && !bytes.empty()) {
        std::memcpy(*h, bytes.data(), bytes.size());
    }
    return h;
}

bool CHandleStore::Dispose(Handle h) noexcept
{
    if (h == nullptr) {
        return true; // disposing of null is harmless
    }
    const auto it = m_blocks.find(h);
    if (it == m_blocks.end()) {
        Note("disposeProc with an unknown handle");
        return false;
    }
    m_blocks.erase(it);
    return true;
}

std::int32_t CHandleStore::GetSize(Handle h) const noexcept
{
    const Block* pBlock = Find(h);
    if (!pBlock) {
        Note("getSizeProc with an unknown handle");
        return 0;
    }
    return pBlock->nSize;
}

OSErr CHandleStore::SetSize(Handle h, std::int32_t nSize) noexcept
{
    if (h == nullptr) {
        return nilHandleErr;
    }
    Block* pBlock = Find(h);
    if (!pBlock) {
        Note("setSizeProc with an unknown handle");
        return paramErr;
    }
    if (nSize < 0) {
        Note("setSizeProc with negative size", nSize);
        return paramErr;
    }
    try {
        std::vector<char> bytes(static_cast<std::size_t>(nSize) + 1, 0);
        std::memcpy(bytes.data(), pBlock->bytes.data(),
                    static_cast<std::size_t>(std::min(nSize, pBlock->nSize)));
        pBlock->bytes.swap(bytes);
        pBlock->nSize = nSize;
        pBlock->pMaster = pBlock->bytes.data();
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

Ptr CHandleStore::Lock(Handle h) noexcept
{
    Block* pBlock = Find(h);
    if (!pBlock) {
        Note("lockProc with an unknown handle");
        return nullptr;
    }
    pBlock->bLocked = true;
    return pBlock->pMaster;
}

bool CHandleStore::Unlock(Handle h) noexcept
{
    Block* pBlock = Find(h);
    if (!pBlock) {
        Note("unlockProc with an unknown handle");
        return false;
    }
    pBlock->bLocked = false;
    return true;
}

bool CHandleStore::IsValid(Handle h) const noexcept
{
    return Find(h) != nullptr;
}

bool CHandleStore::IsLocked(Handle h) const noexcept
{
    const Block* pBlock = Find(h);
    return pBlock && pBlock->bLocked;
}

std::vector<std::uint8_t> CHandleStore::Bytes(Handle h) const
{
    const Block* pBlock = Find(h);
    if (!pBlock) {
        return {};
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(pBlock->bytes.data());
    return std::vector<std::uint8_t>(p, p + pBlock->nSize);
}

HandleProcs CHandleStore::MakeProcs(std::int16_t nCount) noexcept
{
    gActiveStore = this;
    HandleProcs procs{};
    procs.handleProcsVersion = kCurrentHandleProcsVersion;
    procs.numHandleProcs = nCount;
    procs.newProc = ProcNew;
    procs.disposeProc = ProcDispose;
    procs.getSizeProc = ProcGetSize;
    procs.setSizeProc = ProcSetSize;
    procs.lockProc = ProcLock;
    procs.unlockProc = ProcUnlock;
    procs.recoverSpaceProc = ProcRecoverSpace;
    procs.disposeRegularHandleProc = nCount >= 8 ? ProcDispose : nullptr;
    return procs;
}

} // namespace gw::host
