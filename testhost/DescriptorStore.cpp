// DescriptorStore.cpp - scripting descriptors, host side.
#include "DescriptorStore.h"

#include "Trace.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gw::host {

namespace {

constexpr std::uint32_t kMagic = 0x47574453;        // 'GWDS'
constexpr DescriptorTypeID kTypeCount = 0x636F6E74; // 'cont': our tag for putCountProc

CDescriptorStore* gActiveStore = nullptr;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t nAt)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[nAt + static_cast<std::size_t>(i)];
    }
    return value;
}

std::optional<double> GetDouble(const std::vector<std::uint8_t>& payload, std::size_t nAt)
{
    if (payload.size() < nAt + 8) {
        return std::nullopt;
    }
    double value;
    std::memcpy(&value, payload.data() + nAt, 8);
    return value;
}

// Most serious of two results: any failure beats a coerced value beats success.
OSErr Worse(OSErr a, OSErr b)
{
    return (a < 0) ? a : (b < 0 ? b : (a != noErr ? a : b));
}

} // namespace

struct CDescriptorStore::Reader
{
    std::vector<DescriptorItem> items;
    std::size_t nNext = 0;
    const DescriptorItem* pCurrent = nullptr;
    DescriptorKeyID* pKeys = nullptr;
    std::vector<DescriptorKeyID> expected;
    OSErr nWorst = noErr;

    // The current item if it has one of the types; records paramErr otherwise.
    const DescriptorItem* Current(std::initializer_list<DescriptorTypeID> types)
    {
        if (pCurrent && std::find(types.begin(), types.end(), pCurrent->nType) != types.end()) {
            return pCurrent;
        }
        nWorst = Worse(nWorst, paramErr);
        return nullptr;
    }

    OSErr Result(OSErr nErr)
    {
        nWorst = Worse(nWorst, nErr);
        return nErr;
    }
};

struct CDescriptorStore::Writer
{
    std::vector<DescriptorItem> items;
};

// ---------------------------------------------------------------------------
// Items

DescriptorItem DescriptorItem::Integer(DescriptorKeyID nKey, std::int32_t nValue)
{
    DescriptorItem item{nKey, typeInteger, {}};
    PutU32(item.payload, static_cast<std::uint32_t>(nValue));
    return item;
}

DescriptorItem DescriptorItem::Bool(DescriptorKeyID nKey, bool bValue)
{
    return DescriptorItem{nKey, typeBoolean, {static_cast<std::uint8_t>(bValue ? 1 : 0)}};
}

DescriptorItem DescriptorItem::Float(DescriptorKeyID nKey, double fValue)
{
    DescriptorItem item{nKey, typeFloat, std::vector<std::uint8_t>(8)};
    std::memcpy(item.payload.data(), &fValue, 8);
    return item;
}

DescriptorItem DescriptorItem::Text(DescriptorKeyID nKey, DescriptorTypeID nType,
                                    std::string_view text)
{
    return DescriptorItem{nKey, nType, std::vector<std::uint8_t>(text.begin(), text.end())};
}

DescriptorItem DescriptorItem::Codes(DescriptorKeyID nKey, DescriptorTypeID nType,
                                     std::vector<std::uint32_t> codes)
{
    DescriptorItem item{nKey, nType, {}};
    for (std::uint32_t code : codes) {
        PutU32(item.payload, code);
    }
    return item;
}

std::optional<std::int32_t> DescriptorItem::AsInteger() const
{
    if ((nType != typeInteger && nType != kTypeCount) || payload.size() != 4) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(GetU32(payload, 0));
}

std::optional<bool> DescriptorItem::AsBool() const
{
    if (nType != typeBoolean || payload.size() != 1) {
        return std::nullopt;
    }
    return payload[0] != 0;
}

std::string DescriptorItem::Describe() const
{
    std::string text = FourCC(nKey) + " ";
    switch (nType) {
    case typeInteger:
        return text + "long " + (AsInteger() ? std::to_string(*AsInteger()) : "?");
    case kTypeCount:
        return text + "count " + (AsInteger() ? std::to_string(*AsInteger()) : "?");
    case typeBoolean:
        return text + "bool " + (AsBool() ? std::to_string(*AsBool() ? 1 : 0) : "?");
    case typeFloat:
        return text + "doub "
             + (GetDouble(payload, 0) ? std::to_string(*GetDouble(payload, 0)) : "?");
    case typeUnitFloat:
        return text + "UntF "
             + (payload.size() == 12
                    ? FourCC(GetU32(payload, 0)) + " " + std::to_string(*GetDouble(payload, 4))
                    : "?");
    case typeChar:
    case typeAlias:
        return text + (nType == typeChar ? "TEXT " : "alis ")
             + Quote(std::string(payload.begin(), payload.end()));
    default: {
        text += FourCC(nType);
        for (std::size_t i = 0; i + 4 <= payload.size(); i += 4) {
            text += ' ';
            text += FourCC(GetU32(payload, i));
        }
        return text;
    }
    }
}

std::vector<std::uint8_t> SerializeDescriptor(const std::vector<DescriptorItem>& items)
{
    std::vector<std::uint8_t> out;
    PutU32(out, kMagic);
    PutU32(out, static_cast<std::uint32_t>(items.size()));
    for (const auto& item : items) {
        PutU32(out, item.nKey);
        PutU32(out, item.nType);
        PutU32(out, static_cast<std::uint32_t>(item.payload.size()));
        out.insert(out.end(), item.payload.begin(), item.payload.end());
    }
    return out;
}

std::optional<std::vector<DescriptorItem>> ParseDescriptor(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 8 || GetU32(bytes, 0) != kMagic) {
        return std::nullopt;
    }
    const std::uint32_t nCount = GetU32(bytes, 4);
    std::size_t nAt = 8;
    std::vector<DescriptorItem> items;
    for (std::uint32_t i = 0; i < nCount; ++i) {
        if (bytes.size() - nAt < 12) {
            return std::nullopt;
        }
        DescriptorItem item;
        item.nKey = GetU32(bytes, nAt);
        item.nType = GetU32(bytes, nAt + 4);
        const std::uint32_t nLength = GetU32(bytes, nAt + 8);
        nAt += 12;
        if (bytes.size() - nAt < nLength) {
            return std::nullopt;
        }
        item.payload.assign(bytes.begin() + static_cast<std::ptrdiff_t>(nAt),
                            bytes.begin() + static_cast<std::ptrdiff_t>(nAt + nLength));
        nAt += nLength;
        items.push_back(std::move(item));
    }
    return nAt == bytes.size() ? std::optional(std::move(items)) : std::nullopt;
}

// ---------------------------------------------------------------------------
// The store

CDescriptorStore::CDescriptorStore(CHandleStore& handles) : m_handles(handles) {}

CDescriptorStore::~CDescriptorStore()
{
    if (gActiveStore == this) {
        gActiveStore = nullptr;
    }
}

void CDescriptorStore::Note(std::string_view text) const noexcept
{
    try {
        if (m_notify) {
            m_notify(text);
        }
    } catch (...) {
        // dropped; the procedure's answer stands
    }
}

Handle CDescriptorStore::MakeHandle(const std::vector<DescriptorItem>& items)
{
    const auto bytes = SerializeDescriptor(items);
    return m_handles.NewFromBytes(bytes);
}

std::optional<std::vector<DescriptorItem>> CDescriptorStore::ReadHandle(Handle h) const
{
    if (!m_handles.IsValid(h)) {
        return std::nullopt;
    }
    return ParseDescriptor(m_handles.Bytes(h));
}

PIReadDescriptor CDescriptorStore::OpenRead(PIDescriptorHandle h, DescriptorKeyID* pKeys) noexcept
{
    try {
        auto items = ReadHandle(h);
        if (!items) {
            Note("openReadDescriptorProc with a handle that is not a descriptor");
            return nullptr;
        }
        auto pReader = std::make_unique<Reader>();
        pReader->items = std::move(*items);
        pReader->pKeys = pKeys;
        for (DescriptorKeyID* p = pKeys; p && *p; ++p) {
            pReader->expected.push_back(*p);
        }
        m_readers.push_back(std::move(pReader));
        return reinterpret_cast<PIReadDescriptor>(m_readers.back().get());
    } catch (...) {
        return nullptr;
    }
}

CDescriptorStore::Reader* CDescriptorStore::FindReader(PIReadDescriptor token) noexcept
{
    for (auto& pReader : m_readers) {
        if (reinterpret_cast<PIReadDescriptor>(pReader.get()) == token) {
            return pReader.get();
        }
    }
    Note("read descriptor procedure with an unknown token");
    return nullptr;
}

OSErr CDescriptorStore::CloseRead(PIReadDescriptor token) noexcept
{
    const auto it = std::find_if(m_readers.begin(), m_readers.end(), [&](const auto& p) {
        return reinterpret_cast<PIReadDescriptor>(p.get()) == token;
    });
    if (it == m_readers.end()) {
        Note("closeReadDescriptorProc with an unknown token");
        return paramErr;
    }
    // Keys that were expected and never delivered are reported, not failed:
    // optional keys are normal.
    m_missing.clear();
    for (DescriptorKeyID nKey : (*it)->expected) {
        const bool bDelivered =
            std::any_of((*it)->items.begin(), (*it)->items.end(),
                        [&](const DescriptorItem& item) { return item.nKey == nKey; });
        if (!bDelivered) {
            m_missing.push_back(nKey);
        }
    }
    const OSErr nResult = (*it)->nWorst;
    m_readers.erase(it);
    return nResult;
}

PIWriteDescriptor CDescriptorStore::OpenWrite() noexcept
{
    try {
        m_writers.push_back(std::make_unique<Writer>());
        return reinterpret_cast<PIWriteDescriptor>(m_writers.back().get());
    } catch (...) {
        return nullptr;
    }
}

OSErr CDescriptorStore::Put(PIWriteDescriptor token, DescriptorItem&& item) noexcept
{
    for (auto& pWriter : m_writers) {
        if (reinterpret_cast<PIWriteDescriptor>(pWriter.get()) == token) {
            try {
                pWriter->items.push_back(std::move(item));
                return noErr;
            } catch (...) {
                return memFullErr;
            }
        }
    }
    Note("write descriptor procedure with an unknown token");
    return paramErr;
}

OSErr CDescriptorStore::CloseWrite(PIWriteDescriptor token, PIDescriptorHandle* pHandle) noexcept
{
    const auto it = std::find_if(m_writers.begin(), m_writers.end(), [&](const auto& p) {
        return reinterpret_cast<PIWriteDescriptor>(p.get()) == token;
    });
    if (it == m_writers.end()) {
        Note("closeWriteDescriptorProc with an unknown token");
        return paramErr;
    }
    OSErr nResult = noErr;
    try {
        Handle h = MakeHandle((*it)->items);
        if (!h) {
            nResult = memFullErr;
        }
        if (pHandle) {
            *pHandle = h;
        } else {
            Note("closeWriteDescriptorProc without a place for the handle");
            m_handles.Dispose(h);
            nResult = paramErr;
        }
    } catch (...) {
        nResult = memFullErr;
    }
    m_writers.erase(it);
    return nResult;
}

// ---------------------------------------------------------------------------
// C trampolines

namespace {

CDescriptorStore::Reader* R(PIReadDescriptor token)
{
    return gActiveStore ? gActiveStore->FindReader(token) : nullptr;
}

OSErr PutItem(PIWriteDescriptor token, DescriptorItem&& item)
{
    return gActiveStore ? gActiveStore->Put(token, std::move(item)) : paramErr;
}

template <class Make>
OSErr PutGuarded(PIWriteDescriptor token, Make&& make) noexcept
{
    try {
        return PutItem(token, make());
    } catch (...) {
        return memFullErr;
    }
}

PIWriteDescriptor OpenWriteProc()
{
    return gActiveStore ? gActiveStore->OpenWrite() : nullptr;
}
OSErr CloseWriteProc(PIWriteDescriptor token, PIDescriptorHandle* pHandle)
{
    return gActiveStore ? gActiveStore->CloseWrite(token, pHandle) : paramErr;
}
OSErr PutIntegerProcImpl(PIWriteDescriptor t, DescriptorKeyID k, int32 v)
{
    return PutGuarded(t, [&] { return DescriptorItem::Integer(k, v); });
}
OSErr PutFloatProcImpl(PIWriteDescriptor t, DescriptorKeyID k, const double* v)
{
    return v ? PutGuarded(t, [&] { return DescriptorItem::Float(k, *v); }) : paramErr;
}
OSErr PutUnitFloatProcImpl(PIWriteDescriptor t, DescriptorKeyID k, DescriptorUnitID u,
                           const double* v)
{
    if (!v) {
        return paramErr;
    }
    return PutGuarded(t, [&] {
        DescriptorItem item = DescriptorItem::Codes(k, typeUnitFloat, {u});
        item.payload.resize(12);
        std::memcpy(item.payload.data() + 4, v, 8);
        return item;
    });
}
OSErr PutBooleanProcImpl(PIWriteDescriptor t, DescriptorKeyID k, Boolean v)
{
    return PutGuarded(t, [&] { return DescriptorItem::Bool(k, v != 0); });
}
OSErr PutHandleBytes(PIWriteDescriptor t, DescriptorKeyID k, DescriptorTypeID type, Handle h)
{
    if (!gActiveStore || !gActiveStore->Handles().IsValid(h)) {
        return nilHandleErr;
    }
    return PutGuarded(t, [&] {
        const auto bytes = gActiveStore->Handles().Bytes(h);
        return DescriptorItem{k, type, bytes};
    });
}
OSErr PutTextProcImpl(PIWriteDescriptor t, DescriptorKeyID k, Handle h)
{
    return PutHandleBytes(t, k, typeChar, h);
}
OSErr PutAliasProcImpl(PIWriteDescriptor t, DescriptorKeyID k, Handle h)
{
    return PutHandleBytes(t, k, typeAlias, h);
}
OSErr PutEnumeratedProcImpl(PIWriteDescriptor t, DescriptorKeyID k, DescriptorTypeID type,
                            DescriptorEnumID v)
{
    return PutGuarded(t, [&] { return DescriptorItem::Codes(k, typeEnumerated, {type, v}); });
}
OSErr PutClassProcImpl(PIWriteDescriptor t, DescriptorKeyID k, DescriptorTypeID type)
{
    return PutGuarded(t, [&] { return DescriptorItem::Codes(k, typeType, {type}); });
}
OSErr PutCountProcImpl(PIWriteDescriptor t, DescriptorKeyID k, uint32 count)
{
    return PutGuarded(t, [&] { return DescriptorItem::Codes(k, kTypeCount, {count}); });
}
OSErr PutStringProcImpl(PIWriteDescriptor t, DescriptorKeyID k, const unsigned char* s)
{
    if (!s) {
        return paramErr;
    }
    return PutGuarded(t, [&] {
        return DescriptorItem::Text(k, typeChar,
                                    std::string_view(reinterpret_cast<const char*>(s + 1), s[0]));
    });
}
OSErr PutUnsupportedReference(PIWriteDescriptor, DescriptorKeyID,
                              const PIDescriptorSimpleReference*)
{
    return errPlugInHostInsufficient;
}
OSErr PutUnsupportedObject(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID, PIDescriptorHandle)
{
    return errPlugInHostInsufficient;
}
OSErr PutUnsupportedScopedClass(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID)
{
    return errPlugInHostInsufficient;
}

PIReadDescriptor OpenReadProc(PIDescriptorHandle h, DescriptorKeyID* pKeys)
{
    return gActiveStore ? gActiveStore->OpenRead(h, pKeys) : nullptr;
}
OSErr CloseReadProc(PIReadDescriptor token)
{
    return gActiveStore ? gActiveStore->CloseRead(token) : paramErr;
}

Boolean GetKeyProcImpl(PIReadDescriptor token, DescriptorKeyID* pKey, DescriptorTypeID* pType,
                       int32* pFlags)
{
    auto* pReader = R(token);
    if (!pReader || pReader->nNext >= pReader->items.size()) {
        return 0;
    }
    const DescriptorItem& item = pReader->items[pReader->nNext++];
    pReader->pCurrent = &item;
    if (pKey) {
        *pKey = item.nKey;
    }
    if (pType) {
        *pType = item.nType;
    }
    if (pFlags) {
        *pFlags = actionSimpleParameter;
    }
    // The caller's key array shows which expected keys have been delivered.
    for (DescriptorKeyID* p = pReader->pKeys; p && *p; ++p) {
        if (*p == item.nKey) {
            *p = 0;
            break;
        }
    }
    return 1;
}

OSErr GetIntegerProcImpl(PIReadDescriptor token, int32* pValue)
{
    auto* pReader = R(token);
    if (!pReader || !pValue) {
        return paramErr;
    }
    if (pReader->pCurrent && pReader->pCurrent->nType == typeFloat) {
        const double fValue = GetDouble(pReader->pCurrent->payload, 0).value_or(0.0);
        if (!(fValue >= INT32_MIN && fValue <= INT32_MAX)) {
            return pReader->Result(paramErr);
        }
        *pValue = static_cast<int32>(std::lround(fValue));
        return pReader->Result(coercedParamErr);
    }
    const auto* pItem = pReader->Current({typeInteger, kTypeCount});
    if (!pItem || !pItem->AsInteger()) {
        return paramErr;
    }
    *pValue = *pItem->AsInteger();
    return noErr;
}

OSErr GetPinnedIntegerProcImpl(PIReadDescriptor token, int32 nMin, int32 nMax, int32* pValue)
{
    const OSErr nErr = GetIntegerProcImpl(token, pValue);
    if (nErr < 0 || !pValue) {
        return nErr;
    }
    const int32 nPinned = std::clamp(*pValue, nMin, std::max(nMin, nMax));
    if (nPinned != *pValue) {
        *pValue = nPinned;
        return R(token)->Result(coercedParamErr);
    }
    return nErr;
}

OSErr GetFloatProcImpl(PIReadDescriptor token, double* pValue)
{
    auto* pReader = R(token);
    if (!pReader || !pValue) {
        return paramErr;
    }
    if (pReader->pCurrent && pReader->pCurrent->nType == typeInteger) {
        *pValue = *pReader->pCurrent->AsInteger();
        return noErr;
    }
    const auto* pItem = pReader->Current({typeFloat});
    if (!pItem || !GetDouble(pItem->payload, 0)) {
        return paramErr;
    }
    *pValue = *GetDouble(pItem->payload, 0);
    return noErr;
}

OSErr GetPinnedFloatProcImpl(PIReadDescriptor token, const double* pMin, const double* pMax,
                             double* pValue)
{
    const OSErr nErr = GetFloatProcImpl(token, pValue);
    if (nErr < 0 || !pValue || !pMin || !pMax) {
        return nErr;
    }
    if (*pValue < *pMin || *pValue > *pMax) {
        *pValue = std::clamp(*pValue, *pMin, std::max(*pMin, *pMax));
        return R(token)->Result(coercedParamErr);
    }
    return nErr;
}

OSErr GetUnitFloatProcImpl(PIReadDescriptor token, DescriptorUnitID* pUnit, double* pValue)
{
    auto* pReader = R(token);
    if (!pReader || !pValue) {
        return paramErr;
    }
    const auto* pItem = pReader->Current({typeUnitFloat});
    if (!pItem || pItem->payload.size() != 12) {
        return paramErr;
    }
    if (pUnit) {
        *pUnit = GetU32(pItem->payload, 0);
    }
    *pValue = *GetDouble(pItem->payload, 4);
    return noErr;
}

OSErr GetPinnedUnitFloatProcImpl(PIReadDescriptor token, const double* pMin, const double* pMax,
                                 DescriptorUnitID* pUnit, double* pValue)
{
    const OSErr nErr = GetUnitFloatProcImpl(token, pUnit, pValue);
    if (nErr < 0 || !pMin || !pMax) {
        return nErr;
    }
    if (*pValue < *pMin || *pValue > *pMax) {
        *pValue = std::clamp(*pValue, *pMin, std::max(*pMin, *pMax));
        return R(token)->Result(coercedParamErr);
    }
    return nErr;
}

OSErr GetBooleanProcImpl(PIReadDescriptor token, Boolean* pValue)
{
    auto* pReader = R(token);
    if (!pReader || !pValue) {
        return paramErr;
    }
    const auto* pItem = pReader->Current({typeBoolean});
    if (!pItem || !pItem->AsBool()) {
        return paramErr;
    }
    *pValue = *pItem->AsBool() ? 1 : 0;
    return noErr;
}

OSErr GetHandleBytes(PIReadDescriptor token, DescriptorTypeID type, Handle* pValue)
{
    auto* pReader = R(token);
    if (!pReader || !pValue) {
        return paramErr;
    }
    const auto* pItem = pReader->Current({type});
    if (!pItem) {
        return paramErr;
    }
    *pValue = gActiveStore->Handles().NewFromBytes(pItem->payload);
    return *pValue ? noErr : pReader->Result(memFullErr);
}

OSErr GetTextProcImpl(PIReadDescriptor token, Handle* pValue)
{
    return GetHandleBytes(token, typeChar, pValue);
}
OSErr GetAliasProcImpl(PIReadDescriptor token, Handle* pValue)
{
    return GetHandleBytes(token, typeAlias, pValue);
}

OSErr GetCodeAt(PIReadDescriptor token, DescriptorTypeID type, std::size_t nAt,
                std::uint32_t* pValue)
{
    auto* pReader = R(token);
    if (!pReader || !pValue) {
        return paramErr;
    }
    const auto* pItem = pReader->Current({type});
    if (!pItem || pItem->payload.size() < nAt + 4) {
        return paramErr;
    }
    *pValue = GetU32(pItem->payload, nAt);
    return noErr;
}

OSErr GetEnumeratedProcImpl(PIReadDescriptor token, DescriptorEnumID* pValue)
{
    return GetCodeAt(token, typeEnumerated, 4, pValue);
}
OSErr GetClassProcImpl(PIReadDescriptor token, DescriptorTypeID* pValue)
{
    return GetCodeAt(token, typeType, 0, pValue);
}
OSErr GetCountProcImpl(PIReadDescriptor token, uint32* pValue)
{
    return GetCodeAt(token, kTypeCount, 0, pValue);
}

OSErr GetStringProcImpl(PIReadDescriptor token, Str255* pValue)
{
    auto* pReader = R(token);
    if (!pReader || !pValue) {
        return paramErr;
    }
    const auto* pItem = pReader->Current({typeChar});
    if (!pItem) {
        return paramErr;
    }
    const std::size_t n = std::min<std::size_t>(pItem->payload.size(), 255);
    (*pValue)[0] = static_cast<unsigned char>(n);
    std::memcpy(*pValue + 1, pItem->payload.data(), n);
    return n == pItem->payload.size() ? noErr : pReader->Result(coercedParamErr);
}

OSErr GetUnsupportedReference(PIReadDescriptor token, PIDescriptorSimpleReference*)
{
    auto* pReader = R(token);
    return pReader ? pReader->Result(errPlugInHostInsufficient) : paramErr;
}
OSErr GetUnsupportedObject(PIReadDescriptor token, DescriptorTypeID*, PIDescriptorHandle*)
{
    auto* pReader = R(token);
    return pReader ? pReader->Result(errPlugInHostInsufficient) : paramErr;
}

} // namespace

WriteDescriptorProcs CDescriptorStore::MakeWriteProcs() noexcept
{
    gActiveStore = this;
    WriteDescriptorProcs procs{};
    procs.writeDescriptorProcsVersion = kCurrentWriteDescriptorProcsVersion;
    procs.numWriteDescriptorProcs = kCurrentWriteDescriptorProcsCount;
    procs.openWriteDescriptorProc = OpenWriteProc;
    procs.closeWriteDescriptorProc = CloseWriteProc;
    procs.putIntegerProc = PutIntegerProcImpl;
    procs.putFloatProc = PutFloatProcImpl;
    procs.putUnitFloatProc = PutUnitFloatProcImpl;
    procs.putBooleanProc = PutBooleanProcImpl;
    procs.putTextProc = PutTextProcImpl;
    procs.putAliasProc = PutAliasProcImpl;
    procs.putEnumeratedProc = PutEnumeratedProcImpl;
    procs.putClassProc = PutClassProcImpl;
    procs.putSimpleReferenceProc = PutUnsupportedReference;
    procs.putObjectProc = PutUnsupportedObject;
    procs.putCountProc = PutCountProcImpl;
    procs.putStringProc = PutStringProcImpl;
    procs.putScopedClassProc = PutUnsupportedScopedClass;
    procs.putScopedObjectProc = PutUnsupportedObject;
    return procs;
}

ReadDescriptorProcs CDescriptorStore::MakeReadProcs() noexcept
{
    gActiveStore = this;
    ReadDescriptorProcs procs{};
    procs.readDescriptorProcsVersion = kCurrentReadDescriptorProcsVersion;
    procs.numReadDescriptorProcs = kCurrentReadDescriptorProcsCount;
    procs.openReadDescriptorProc = OpenReadProc;
    procs.closeReadDescriptorProc = CloseReadProc;
    procs.getKeyProc = GetKeyProcImpl;
    procs.getIntegerProc = GetIntegerProcImpl;
    procs.getFloatProc = GetFloatProcImpl;
    procs.getUnitFloatProc = GetUnitFloatProcImpl;
    procs.getBooleanProc = GetBooleanProcImpl;
    procs.getTextProc = GetTextProcImpl;
    procs.getAliasProc = GetAliasProcImpl;
    procs.getEnumeratedProc = GetEnumeratedProcImpl;
    procs.getClassProc = GetClassProcImpl;
    procs.getSimpleReferenceProc = GetUnsupportedReference;
    procs.getObjectProc = GetUnsupportedObject;
    procs.getCountProc = GetCountProcImpl;
    procs.getStringProc = GetStringProcImpl;
    procs.getPinnedIntegerProc = GetPinnedIntegerProcImpl;
    procs.getPinnedFloatProc = GetPinnedFloatProcImpl;
    procs.getPinnedUnitFloatProc = GetPinnedUnitFloatProcImpl;
    return procs;
}

} // namespace gw::host
