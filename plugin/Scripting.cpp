// Scripting.cpp - the four filter parameters to and from the host's
// scripting descriptors (recording and playback of actions).
#include "FilterProcessing.h"
#include "HostHandles.h"
#include "LogScope.h"
#include "PluginGlobals.h"

namespace {

// Descriptor keys (first character in the most significant byte).
constexpr DescriptorKeyID kKeyAmount = 0x416D6E74;       // 'Amnt'
constexpr DescriptorKeyID kKeyFillLight = 0x466C2020;    // 'Fl  '
constexpr DescriptorKeyID kKeyFastMode = 0x4D642020;     // 'Md  '
constexpr DescriptorKeyID kKeyFinalScaling = 0x53636C6E; // 'Scln'

} // namespace

OSErr CFilter_Processing::ReadScriptingParameters()
{
    CLogScope scope("ReadScriptingParameters");
    PIDescriptorParameters* pParams = gFilterRecord->descriptorParameters;
    if (pParams == nullptr)
        return noErr;

    OSErr nResult = noErr;
    m_bShowDialog = pParams->playInfo == plugInDialogDisplay;
    const ReadDescriptorProcs* pSuite = gw::plugin::CDescriptorReader::Suite(*pParams);
    if (!m_bShowDialog && pParams->descriptor != nullptr && pSuite != nullptr) {
        DescriptorKeyID aKeys[] = {kKeyAmount, kKeyFillLight, kKeyFastMode, kKeyFinalScaling, 0};
        gw::plugin::CDescriptorReader reader(*pSuite, pParams->descriptor, aKeys);
        DescriptorKeyID nKey = 0;
        while (reader.NextKey(&nKey)) {
            int32 nValue = 0;
            Boolean bValue = 0;
            switch (nKey) {
            case kKeyAmount:
                if (reader.GetInteger(&nValue) == noErr)
                    m_nAmount = nValue;
                break;
            case kKeyFillLight:
                if (reader.GetInteger(&nValue) == noErr)
                    m_nFillLight = nValue;
                break;
            case kKeyFastMode:
                if (reader.GetBoolean(&bValue) == noErr)
                    m_bFastMode = bValue > 0;
                break;
            case kKeyFinalScaling:
                if (reader.GetBoolean(&bValue) == noErr)
                    m_bFinalScaling = bValue > 0;
                break;
            default:
                break;
            }
        }
        nResult = reader.Close();
        // The descriptor is consumed: later selectors of this invocation read nothing.
        gw::plugin::CHostHandleProcs(*gFilterRecord).Dispose(pParams->descriptor);
        pParams->descriptor = nullptr;
    }
    return nResult;
}

OSErr CFilter_Processing::WriteScriptingParameters()
{
    CLogScope scope("WriteScriptingParameters");
    PIDescriptorParameters* pParams = gFilterRecord->descriptorParameters;
    if (pParams == nullptr)
        return noErr;

    OSErr nResult = noErr;
    const WriteDescriptorProcs* pSuite = gw::plugin::CDescriptorWriter::Suite(*pParams);
    if (pSuite != nullptr) {
        const gw::plugin::CHostHandleProcs handles(*gFilterRecord);
        gw::plugin::CDescriptorWriter writer(*pSuite, handles);
        if (!writer.IsOpen()) {
            nResult = errMissingParameter;
        } else {
            const OSErr aPuts[] = {
                writer.PutInteger(kKeyAmount, m_nAmount),
                writer.PutInteger(kKeyFillLight, m_nFillLight),
                writer.PutBoolean(kKeyFastMode, m_bFastMode),
                writer.PutBoolean(kKeyFinalScaling, m_bFinalScaling),
            };
            for (OSErr nPut : aPuts)
                if (nResult == noErr)
                    nResult = nPut;

            handles.Dispose(pParams->descriptor);
            pParams->descriptor = nullptr;
            PIDescriptorHandle hNew = nullptr;
            const OSErr nClose = writer.Close(&hNew);
            pParams->descriptor = hNew;
            pParams->recordInfo = plugInDialogOptional;
            if (nResult == noErr)
                nResult = nClose;
        }
    }
    return nResult;
}
