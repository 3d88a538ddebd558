// HostHandles.cpp - see HostHandles.h.
#include "HostHandles.h"

#include "PluginGlobals.h"

namespace gw::plugin {

namespace {

// Procedures we call, by their index in each table (the count must cover them).
constexpr int16 kHandleProcsNeeded = 2;          // newProc, disposeProc
constexpr int16 kReadDescriptorProcsNeeded = 7;  // open .. getBooleanProc
constexpr int16 kWriteDescriptorProcsNeeded = 6; // open .. putBooleanProc

} // namespace

CHostHandleProcs::CHostHandleProcs(const FilterRecord& record) noexcept : m_pProcs(nullptr)
{
    const HandleProcs* pProcs = record.handleProcs;
    if (pProcs != nullptr && pProcs->handleProcsVersion >= kCurrentHandleProcsVersion
        && pProcs->numHandleProcs >= kHandleProcsNeeded && pProcs->disposeProc != nullptr)
        m_pProcs = pProcs;
}

void CHostHandleProcs::Dispose(Handle hHandle) const noexcept
{
    if (hHandle != nullptr && m_pProcs != nullptr)
        m_pProcs->disposeProc(hHandle);
}

const ReadDescriptorProcs* CDescriptorReader::Suite(const PIDescriptorParameters& params) noexcept
{
    const ReadDescriptorProcs* pProcs = params.readDescriptorProcs;
    if (pProcs == nullptr || pProcs->readDescriptorProcsVersion < kCurrentReadDescriptorProcsVersion
        || pProcs->numReadDescriptorProcs < kReadDescriptorProcsNeeded)
        return nullptr;
    if (pProcs->openReadDescriptorProc == nullptr || pProcs->closeReadDescriptorProc == nullptr
        || pProcs->getKeyProc == nullptr || pProcs->getIntegerProc == nullptr
        || pProcs->getBooleanProc == nullptr)
        return nullptr;
    return pProcs;
}

CDescriptorReader::CDescriptorReader(const ReadDescriptorProcs& procs,
                                     PIDescriptorHandle hDescriptor,
                                     DescriptorKeyID* pKeys) noexcept
    : m_procs(procs), m_token(procs.openReadDescriptorProc(hDescriptor, pKeys))
{}

CDescriptorReader::~CDescriptorReader()
{
    Close();
}

bool CDescriptorReader::NextKey(DescriptorKeyID* pKey) noexcept
{
    DescriptorTypeID nType = 0;
    int32 nFlags = 0;
    return m_token != nullptr && m_procs.getKeyProc(m_token, pKey, &nType, &nFlags) != 0;
}

OSErr CDescriptorReader::GetInteger(int32* pnValue) noexcept
{
    return m_procs.getIntegerProc(m_token, pnValue);
}

OSErr CDescriptorReader::GetBoolean(Boolean* pValue) noexcept
{
    return m_procs.getBooleanProc(m_token, pValue);
}

OSErr CDescriptorReader::Close() noexcept
{
    if (m_token == nullptr)
        return noErr;
    PIReadDescriptor token = m_token;
    m_token = nullptr;
    return m_procs.closeReadDescriptorProc(token);
}

const WriteDescriptorProcs* CDescriptorWriter::Suite(const PIDescriptorParameters& params) noexcept
{
    const WriteDescriptorProcs* pProcs = params.writeDescriptorProcs;
    if (pProcs == nullptr
        || pProcs->writeDescriptorProcsVersion < kCurrentWriteDescriptorProcsVersion
        || pProcs->numWriteDescriptorProcs < kWriteDescriptorProcsNeeded)
        return nullptr;
    if (pProcs->openWriteDescriptorProc == nullptr || pProcs->closeWriteDescriptorProc == nullptr
        || pProcs->putIntegerProc == nullptr || pProcs->putBooleanProc == nullptr)
        return nullptr;
    return pProcs;
}

CDescriptorWriter::CDescriptorWriter(const WriteDescriptorProcs& procs,
                                     const CHostHandleProcs& handles) noexcept
    : m_procs(procs), m_handles(handles), m_token(procs.openWriteDescriptorProc())
{}

CDescriptorWriter::~CDescriptorWriter()
{
    if (m_token == nullptr)
        return;
    PIDescriptorHandle hUnused = nullptr;
    m_procs.closeWriteDescriptorProc(m_token, &hUnused);
    m_handles.Dispose(hUnused);
}

OSErr CDescriptorWriter::PutInteger(DescriptorKeyID nKey, int32 nValue) noexcept
{
    return m_procs.putIntegerProc(m_token, nKey, nValue);
}

OSErr CDescriptorWriter::PutBoolean(DescriptorKeyID nKey, bool bValue) noexcept
{
    return m_procs.putBooleanProc(m_token, nKey, static_cast<Boolean>(bValue ? 1 : 0));
}

OSErr CDescriptorWriter::Close(PIDescriptorHandle* phDescriptor) noexcept
{
    PIWriteDescriptor token = m_token;
    m_token = nullptr;
    return m_procs.closeWriteDescriptorProc(token, phDescriptor);
}

const PSUIHooksSuite1* AcquireUIHooksSuite(const FilterRecord& record) noexcept
{
    const SPBasicSuite* pBasic = record.sSPBasic;
    if (pBasic == nullptr || pBasic->AcquireSuite == nullptr)
        return nullptr;
    const void* pSuite = nullptr;
    if (pBasic->AcquireSuite(kPSUIHooksSuiteName, kPSUIHooksSuiteVersion1, &pSuite) != kSPNoError)
        return nullptr;
    return static_cast<const PSUIHooksSuite1*>(pSuite);
}

bool SetHostCursor(const char* pCursorName) noexcept
{
    return gUIHooksSuite != nullptr && gUIHooksSuite->SetCursor != nullptr
        && gUIHooksSuite->SetCursor(pCursorName) == kSPNoError;
}

} // namespace gw::plugin
