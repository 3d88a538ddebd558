// CImageEngine.h - the illumination engine: lifts the shadows of one float image.
//
// An engine is made for one image size. Run takes an interleaved float buffer
// (m rows of n pixels, one float per pixel for grey, three for colour: R, G, B),
// maps its values onto [0, 1], converts colour to hue, saturation and value,
// estimates the scene illumination of the value channel with an edge-aware
// multigrid solver, divides the value by a power of the illumination, and
// blends the result back into the same buffer (R, G, B again for colour, in
// [0, 1] on the normalised scale).
//
// Progress and stop: every stage reports float work units through
// ReportProgress; the engine turns their running sum into a percentage (at most
// 99 while running) and hands it to the owner's callback, whose answer 0 asks
// the run to stop. A stop is not an error: the stages return early and the
// buffer keeps what they finished.
//
// Errors: the solver throws gw::EngineError (engine/EngineError.h) with a fixed
// English text; allocation failures throw std::bad_alloc. Both leave Run (and
// the constructor) to the owner. A worker thread stores its failure instead; see
// TakeRunFailure.
//
// Threads: the owner configures and runs the engine on its own thread, or
// starts the run on one worker thread (StartRun) and then only calls
// GetProgress and CancelRun until GetProgress answers 100.
#pragma once

#include "common/DiagnosticLog.h"
#include "parallel/RowBlocks.h"
#include "memory/CGridMemory.h"
#include "parallel/WorkerPool.h"
#include "paged/PagedTuning.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>

class CCountingSemaphore;
namespace gw {
class CParallelKernels;
class CPagedWorkspace;
class CWorkerPool;
} // namespace gw
namespace gw::pixel {
struct LaneKernels;
}

class CImageEngine
{
public:
    /// Progress callback: receives a percentage 0..99 during a run; answering 0
    /// asks the engine to stop.
    using ProgressCallback = int (*)(int nPercent);

    /// How long CancelRun waits for a worker, and how long it pauses after
    /// giving one up.
    static constexpr std::chrono::milliseconds kCancelWait{30000};
    static constexpr std::chrono::milliseconds kAbandonPause{10000};

    /// Makes an engine for images of nRows x nCols pixels, colour (three floats
    /// a pixel) when bColor is non-zero. nReserve is the memory policy of
    /// CGridMemory::AllocateGrids (the plug-in passes -2, or 0 for the
    /// whole-image engine in fast mode). pfnProgress may be null; it is called
    /// once here with 0. With a size that is not positive the engine has no
    /// grids and a run does nothing. Throws std::bad_alloc when the grids do not
    /// fit in memory.
    CImageEngine(int bColor, int nRows, int nCols, int nReserve, ProgressCallback pfnProgress);

    /// Frees the grids. If a worker that CancelRun gave up on is still running,
    /// waits for it first (it has been asked to stop), so that it never touches
    /// a destroyed engine.
    ~CImageEngine();

    CImageEngine(const CImageEngine&) = delete;
    CImageEngine& operator=(const CImageEngine&) = delete;

    // Parameters: set on the owner's thread between runs.

    /// Radius of the illumination estimate, capped at 20.
    void SetRadius(float fRadius) noexcept;
    /// Blend strength of the result, capped at 1.
    void SetAmount(float fAmount) noexcept;
    /// Offset added to the local intensity in the couplings.
    void SetThermal(float fThermal) noexcept;
    /// Regularisation under the square root of the couplings.
    void SetEpsilon(float fEpsilon) noexcept;
    /// Fast mode: no pre-smoothing, no solve on the finest level.
    void SetFastMode(unsigned char bFastMode) noexcept;
    /// Final scaling: stretch the result over [0, 1].
    void SetFinalScaling(unsigned char bFinalScaling) noexcept;
    /// Threads of a run (the running thread included): 0 picks the default
    /// (GW_THREADS from the environment, else the processor count). The result
    /// does not depend on it.
    void SetThreadCount(int nThreads) noexcept;
    /// Runs the straightforward single-threaded stages instead of the parallel,
    /// vectorised ones (same bits; the reference for tests and benchmarks).
    void SetReferencePath(bool bReference) noexcept;
    /// How the paged path cuts its work (column windows, the stages' row blocks, AVX2
    /// kernels); never changes a result. Set it while no run is going.
    void SetPagedTuning(const gw::PagedTuning& tuning) noexcept;

    /// Output range of the reflectance. fLow -1 (with any fHigh) asks the next
    /// run to estimate one; otherwise 0 <= fLow < fHigh <= 1 is required.
    /// Returns false and keeps the old range when the pair is refused.
    bool SetOutputRange(float fLow, float fHigh) noexcept;
    /// The stored output range; after a run with an estimated range, that range.
    void GetOutputRange(float& fLow, float& fHigh) const noexcept;

    // Running.

    /// Runs the whole pipeline on the calling thread, in place on pData
    /// (Rows() x Cols() pixels of Channels() floats). fLo = fHi = 0 means the
    /// normalisation bounds are found in the data; otherwise [fLo, fHi] is
    /// mapped onto [0, 1]. Throws gw::EngineError or std::bad_alloc; throws
    /// std::invalid_argument for a null buffer on an engine with grids.
    void Run(float* pData, float fLo, float fHi);

    /// Starts Run on a new worker thread and returns at once. Returns false when
    /// a worker of this engine still exists (also one that CancelRun gave up
    /// on and that has not ended yet) or no thread can be made. pData must stay
    /// valid until GetProgress answers 100.
    bool StartRun(float* pData, float fLo, float fHi);

    /// 100 when no worker exists, else the run's percentage, at most 99.
    int GetProgress() const noexcept;

    /// True while a worker thread of this engine is still inside its run, also
    /// one that CancelRun gave up on (GetProgress answers 100 for that one). Such
    /// a worker still writes into the engine and the run's buffer: its owner
    /// must keep both, and must not destroy the engine, whose destructor would
    /// wait for the worker.
    bool HasLiveWorker() const noexcept;

    /// Asks the run to stop and waits for the worker at most kCancelWait; if it
    /// does not end in time, gives it up and pauses kAbandonPause. Sets the
    /// percentage to 100.
    void CancelRun();

    /// CancelRun with other waits (tests use short ones; the behaviour is the same).
    void CancelRun(std::chrono::milliseconds waitFor, std::chrono::milliseconds pauseAfter);

    /// The exception that ended the last worker run, if any (null otherwise);
    /// taking it clears it. Call after GetProgress answered 100.
    std::exception_ptr TakeRunFailure() noexcept;

    /// Adds fUnits to the run's progress, computes the percentage, asks the
    /// callback and returns the stop flag. A report of 0 units is a pure stop
    /// check.
    bool ReportProgress(float fUnits);
    /// ReportProgress(fUnits) once for each of nRows rows, as a row loop reports them;
    /// true when a report asked to stop (the rows after it are not reported).
    bool ReportRows(int nRows, float fUnits);

    // The pipeline's stages, in the order Run calls them. Each reads and writes
    // the engine's grids; the buffer arguments use Channels() floats a pixel and
    // a row stride of nStride pixels. Each returns early on a stop.

    /// Smooths the value channel of m_pData with one edge-aware sweep of a wide
    /// radius; restores radius, thermal and epsilon afterwards, also on a stop
    /// or an exception.
    void PreSmooth();

    /// Loads the value channel into the finest right-hand-side grid and solves
    /// for the illumination, which it leaves there.
    void SolveIllumination(float* pData, int nRows, int nCols, int nStride, bool bSingleSweep);
    /// The multigrid schedule (solver/Multigrid.h) on the loaded grids, on the backend of the
    /// engine's path: paged grids, the parallel kernels or the straightforward ones.
    void RunMultigrid(bool bSingleSweep);

    /// Work grid := value / illumination^(1/2.2), weighted by (1 - illumination)
    /// and normalised onto [0, 1]; clamps the illumination to at least 0.008.
    void ComputeReflectance(const float* pData, int nRows, int nCols, int nStride);

    /// Estimates (when no range is stored, or bRestore is set) a range of the
    /// grid's interior from a histogram of up to about 200000 samples, clipping
    /// fFraction at each end, then clamps every interior element into it and
    /// maps it onto [0, 1]. fMin, fMax: the running minimum and maximum of the
    /// values. With bRestore the stored range is put back afterwards. Returns
    /// false when stopped.
    bool NormalizeRange(CGridRows grid, int nRows, int nCols, float fMin, float fMax,
                        float fFraction, bool bRestore);

    /// Blends the work grid into the value channel of pIn (screen blend with
    /// the amount), optionally stretches it, converts colour back to RGB and
    /// writes pOut. Reads each pixel of pIn before writing it: in place is safe.
    void Recombine(float* pOut, const float* pIn, int nRows, int nCols, int nStride);

    // Colour helpers.

    /// RGB to hue (in sextants, [0, 6)), saturation and value.
    static void RgbToHsv(float r, float g, float b, float& h, float& s, float& v) noexcept;
    /// Hue (sextants), saturation, value to RGB.
    static void HsvToRgb(float* pR, float* pG, float* pB, float h, float s, float v) noexcept;
    /// The quadratic through (0, 0), (a, b) and (1, 1), clamped to [0, 1].
    static float SaturationCurve(float x, float a, float b) noexcept;

    // Read access for the owner and for tests.

    int Rows() const noexcept { return m_nRows; }
    int Cols() const noexcept { return m_nCols; }
    int Channels() const noexcept { return m_nChannels; }
    float Radius() const noexcept { return m_fRadius; }
    float Amount() const noexcept { return m_fAmount; }
    float Thermal() const noexcept { return m_fThermal; }
    float Epsilon() const noexcept { return m_fEpsilon; }
    bool IsFastMode() const noexcept { return m_bFastMode; }
    bool IsFinalScaling() const noexcept { return m_bFinalScaling; }
    bool IsAborted() const noexcept { return m_bAbort.load(std::memory_order_relaxed); }
    /// The normalisation bounds of the last run.
    float DataMin() const noexcept { return m_fDataMin; }
    float DataMax() const noexcept { return m_fDataMax; }
    float ProgressDone() const noexcept { return m_fProgressDone; }
    float ProgressTotal() const noexcept { return m_fProgressTotal; }

    /// The engine's own log (ring only); the owner writes into it and flushes it
    /// to the debugger after a run.
    CDiagnosticLog& Log() noexcept { return m_log; }
    /// The grid pyramid.
    CGridMemory& Grids() noexcept { return m_grids; }
    const CGridMemory& Grids() const noexcept { return m_grids; }

private:
    /// Worker thread body: runs, stores a failure, signals the end. Never throws.
    void WorkerMain(float* pData, float fLo, float fHi,
                    std::shared_ptr<CCountingSemaphore> pDone) noexcept;
    /// Sets the worker flags as a worker enters (true) or leaves (false) its run.
    void MarkWorkerInRun(bool bInRun) noexcept;
    /// Joins a worker thread that has ended; false when one is still running.
    bool ReapFinishedWorker() noexcept;
    /// Row loops of the pipeline's opening steps.
    void FindBounds(std::uint64_t nFloats) noexcept;
    void Normalize(std::uint64_t nFloats) noexcept;
    void ConvertToHsv() noexcept;
    /// Threads of a run, the caller included: 1 on the reference path, else the count set
    /// with SetThreadCount, else CWorkerPool::DefaultThreads().
    int RunThreads() const noexcept;
    /// The engine's one worker pool with RunThreads() threads; remade (and with it the
    /// kernels and the workspace that use it) when that count changes. Throws std::bad_alloc.
    gw::CWorkerPool& EnginePool();
    /// The worker pool the stages spread their row kernels over (stages/StageRows.h); null
    /// for the reference path, where they run as plain row loops, or when it cannot be made.
    gw::CWorkerPool* StagePool() noexcept;
    /// The stages' row kernels: the straightforward rows for the reference path, else the
    /// vector lanes of the processor (the same bits).
    const gw::pixel::LaneKernels& PixelKernels() const noexcept;
    /// The in-RAM solver's parallel kernels on the engine's pool, made on first use; null for
    /// the reference path or when they cannot be allocated.
    gw::CParallelKernels* ParallelKernels() noexcept;
    /// The paged solver's buffers on the engine's pool, made on first use, with the engine's
    /// paged tuning. Throws std::bad_alloc.
    gw::CPagedWorkspace& PagedWorkspace();
    /// Ends the pool's worker threads (they live for one run).
    void EndWorkerThreads() noexcept;

    // Field order follows the engine's record: log, thread state, grids,
    // progress, image, parameters.
    CDiagnosticLog m_log;
    std::thread m_hThread;                                // joinable until reaped
    std::shared_ptr<CCountingSemaphore> m_hDoneSemaphore; // made by StartRun
    CGridMemory m_grids;
    ProgressCallback m_pfnProgress = nullptr;
    std::atomic<bool> m_bAbort{false};
    float m_fProgressDone = 0.0f;
    float m_fProgressTotal = 28.0f;
    std::atomic<int> m_nPercent{100};
    int m_nRows = 0;
    int m_nCols = 0;
    float* m_pData = nullptr;
    float m_fDataMin = 0.0f;
    float m_fDataMax = 0.0f;
    int m_bColor = 0;
    int m_nChannels = 1;
    int m_nValueChannel = 0;
    int m_nSatChannel = 0;
    int m_nHueChannel = 0;
    float m_fRadius = 0.1f;
    float m_fAmount = 0.5f;
    float m_fOutLow = -1.0f;
    float m_fOutHigh = 1.0f;
    bool m_bHSV = false;
    float m_fThermal = 0.2f;
    float m_fEpsilon = 1e-6f;
    bool m_bFinalScaling = false;
    float m_fClipFraction = 0.005f;
    bool m_bFastMode = false;

    // Worker bookkeeping. m_bWorkerActive is "a worker exists" as GetProgress
    // sees it (cleared by the worker at its end, or by CancelRun when it gives
    // the worker up); m_bWorkerInRun is cleared only by the worker itself.
    std::atomic<bool> m_bWorkerActive{false};
    std::atomic<bool> m_bWorkerInRun{false};
    // Set by CancelRun while a worker runs, so that a callback answering
    // "continue" cannot undo the stop; cleared when that worker ends.
    std::atomic<bool> m_bCancelRequested{false};
    std::exception_ptr m_pRunFailure;

    // The thread count set by the owner (0 = default), the switch to the reference path,
    // and the one worker pool of the engine with the count it was made for. Everything
    // that runs on the pool is declared after it, so it is destroyed before the pool.
    int m_nThreadCount = 0;
    bool m_bReferencePath = false;
    std::unique_ptr<gw::CWorkerPool> m_pPool;
    int m_nPoolThreads = 0;
    // The parallel kernels (shared_ptr: freed where the type is not complete).
    std::shared_ptr<gw::CParallelKernels> m_pKernels;
    // The held blocks of paged grids in the stages' parallel passes, and the
    // paged solver's buffers (kept from solve to solve: fresh memory costs
    // more to touch than to keep).
    gw::CRowBlockMemory m_rowBlocks;
    gw::PagedTuning m_pagedTuning;
    std::shared_ptr<gw::CPagedWorkspace> m_pPagedWorkspace;
};
