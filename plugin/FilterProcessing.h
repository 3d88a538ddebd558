// FilterProcessing.h - CFilter_Processing, the one object that carries a filter
// invocation from the host's start selector to its finish selector: the user's
// parameters and their derived values, the processed area and its mask copy,
// the float planes, the engines and the state of the continue loop.
//
// All operations run on the host's thread. Result codes are the host's 16-bit
// codes; internal operations return truth values.
#pragma once

#include <atomic>
#include <cstdint>
#include <chrono>
#include <memory>

#include "ImageBuffer.h"
#include "hostapi/HostApi.h"

class CFilter_UI;
class CImageEngine;
class CLogScope;

/// States of the continue loop.
enum ProcessingState : std::int32_t
{
    kStateGUI = 0,     ///< the dialog is due
    kStateWaiting = 1, ///< the whole-image run is in progress
    kStateWriting = 2, ///< the result is to be written back
    kStateDone = 3,
    kStateIdle = 4 ///< nothing started; continue does nothing
};

class CFilter_Processing
{
public:
    CFilter_Processing();
    virtual ~CFilter_Processing();
    CFilter_Processing(const CFilter_Processing&) = delete;
    CFilter_Processing& operator=(const CFilter_Processing&) = delete;

    // Selector handlers; each returns the host result code.
    OSErr DoStart();
    OSErr DoContinue();
    OSErr DoFinish();
    /// Stops the whole-image run (CancelRun with these waits). A worker given up
    /// on keeps running on its engine and float planes: both are handed over
    /// to it for good (never freed, and the module stays loaded), so that no
    /// later invocation and no unload frees or reuses its memory, and nothing
    /// waits for it.
    void CancelWholeImageRun(std::chrono::milliseconds waitFor,
                             std::chrono::milliseconds pauseAfter);

    /// Reads the scripting descriptor the host offers (at most once per invocation).
    OSErr ReadScriptingParameters();
    /// Records the four parameters into a new descriptor for the host.
    OSErr WriteScriptingParameters();

    /// Progress callback of the engines: stores the percentage; false asks the
    /// engine to stop (after the finish selector). Called from the worker thread.
    bool ReportEngineProgress(std::int32_t nPercent) noexcept;

    /// Recomputes m_fAmount, m_fRadius, m_fThermal and m_fEpsilon from the integer settings.
    void UpdateDerivedValues() noexcept;

    /// Progress callback of the engines: forwards to the one filter-processing object.
    static int OnEngineProgress(int nPercent) noexcept;

    // The whole-image run: converts the host's pixels, drives the engine and
    // writes the result back (WholeImageRun.cpp).
    bool InitializeImageEngine();
    bool ProcessImage(bool bStart);
    void WriteResult();
    // The dialog's preview (PreviewRun.cpp, PreviewPixels.cpp).
    /// Makes the dialog's preview anew for the changes in nUpdateMask (the
    /// UPDATE_ bits of ui/FilterUI.h; 0 is everything).
    virtual bool ProcessPreviewBuffer(std::uint32_t nUpdateMask);
    /// Fills the preview buffer with the processed view, mixed with the
    /// unprocessed image where fBlend (0 to 1) is below 1 or the mask is partial.
    bool CopyPreview(float fBlend);
    /// Fills the preview buffer with the unprocessed view.
    void FillPreviewBuffer();

    float m_fAmount;
    std::int32_t m_nAmount;
    float m_fRadius;
    std::int32_t m_nFillLight;
    float m_fThermal;
    std::int32_t m_nThermal;
    float m_fEpsilon;
    std::int32_t m_nEpsilon;
    float m_fOutLow;
    float m_fOutHigh;
    std::unique_ptr<CFilter_UI> m_pUI;
    ImageBuffer m_image;
    float m_fInputMin;
    float m_fInputMax;
    std::unique_ptr<CImageEngine> m_pEngine;        ///< the whole-image engine
    std::unique_ptr<CImageEngine> m_pPreviewEngine; ///< the engine of the preview
    std::unique_ptr<CImageEngine>
        m_pReferenceEngine; ///< finds the output range at the reference zoom
    bool m_bShowDialog;
    bool m_bAfterShown;
    bool m_bFastMode;
    bool m_bFinalScaling;
    std::atomic<std::int32_t> m_nProgress; ///< written by the engine's worker thread
    std::int32_t m_nState;
    std::unique_ptr<float[]> m_pImagePlanes;
    std::unique_ptr<float[]> m_pPreviewPlanes;
    std::unique_ptr<float[]> m_pPreviewSource;
    std::int32_t m_nPreviewSamples;
    float m_fPreviewZoom;

private:
    struct PreviewSource
    {
        std::int32_t m_nRow;
        std::int32_t m_nColumn;
    };

    OSErr ContinueInGUI(OSErr nResult);
    OSErr ContinueWaiting();
    OSErr ContinueWriting(OSErr nResult);
    void CopySelectionMask();
    bool ConvertSourceRows();
    bool StartWholeImageRun();
    void RunPreviewEngine(std::uint32_t nUpdateMask);
    void SetEngineParameters(CImageEngine& engine, float fRadius) const noexcept;
    void LogUpdateMask(std::uint32_t nUpdateMask) const noexcept;
    void AllocatePreviewPlanes();
    void ReservePreviewPlanes(std::size_t nFloats);
    PreviewSource SourceOf(std::int32_t i, std::int32_t j) const noexcept;
    std::uint8_t* PreviewPixels() const;

    std::size_t m_nPreviewCapacity = 0; ///< floats in m_pPreviewPlanes
    /// The whole-image run's entry and exit tags, from its start until its
    /// result is collected or the run is stopped.
    std::unique_ptr<CLogScope> m_pRunLogScope;
};
