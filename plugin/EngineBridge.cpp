// EngineBridge.cpp - the seam between the host's pixels and the illumination
// engine: converting the samples to float planes, the whole-image run on a
// worker thread, the write-back into the host's destination buffer and the
// dialog's preview.
//
// The engine is not connected yet: the conversion makes no planes, the run
// finishes as soon as it starts, the write-back copies nothing and the
// preview stays as it is. Each step already runs under its failure handler.
#include "FilterProcessing.h"
#include "FailureInjection.h"
#include "Guard.h"
#include "LogScope.h"
#include "PluginGlobals.h"

using gw::plugin::GuardTruth;

bool CFilter_Processing::InitializeImageEngine()
{
    return GuardTruth(gw::plugin::kSiteInitializeImageEngine, [&] {
        CLogScope scope("InitializeImageEngine");
        gw::plugin::InjectFailure("InitializeImageEngine");
        return ReportEngineProgress(0) && ReportEngineProgress(0);
    });
}

bool CFilter_Processing::ProcessImage(bool bStart)
{
    if (!bStart)
    {
        if (!gImageCollected)
            gImageCollected = true;
        return true;
    }
    return GuardTruth(gw::plugin::kSiteProcessImage, [&] {
        CLogScope scope("ProcessImage");
        gw::plugin::InjectFailure("ProcessImage");
        if (gStopRequested == 1)
            return false;
        gImageCollected = false;
        return true;
    });
}

void CFilter_Processing::WriteResult()
{
    gw::plugin::InjectFailure("WriteResult");
}

bool CFilter_Processing::ProcessPreviewBuffer(std::uint32_t /*nUpdateMask*/)
{
    return GuardTruth(gw::plugin::kSiteProcessPreviewBuffer, [&] {
        CLogScope scope("ProcessPreviewBuffer");
        gw::plugin::InjectFailure("ProcessPreviewBuffer");
        UpdateDerivedValues();
        return true;
    });
}
