// Batch.cpp - see Batch.h.
#include "Batch.h"

#include "EngineRun.h"
#include "ImageFile.h"
#include "Platform.h"
#include "Progress.h"
#include "parallel/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <future>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace gw::cli {

namespace {

namespace fs = std::filesystem;

/// Decides where the engine keeps its grids when they would not fit into the
/// memory available now (the allocator of an overcommitting system would not
/// refuse them, and the process would be killed halfway instead): "auto" pages
/// them, "ram" refuses the image. Paged grids hold a few rows each, so they
/// need no check.
void CheckEngineMemory(int nWidth, int nHeight, Options& options)
{
    if (options.m_memory == MemoryMode::Paged) {
        return;
    }
    const std::uint64_t nNeeded = gw::PyramidBytes(nHeight, nWidth);
    const std::uint64_t nAvailable = gw::platform::AvailablePhysicalMemory();
    if (nAvailable == 0 || nNeeded <= nAvailable) {
        return;
    }
    if (options.m_memory == MemoryMode::Auto) {
        options.m_memory = MemoryMode::Paged;
    } else {
        throw std::runtime_error("an image of " + std::to_string(nWidth) + " x "
                                 + std::to_string(nHeight) + " pixels needs about "
                                 + std::to_string(nNeeded >> 20) + " MB for the engine, but only "
                                 + std::to_string(nAvailable >> 20)
                                 + " MB are available (--memory paged needs little)");
    }
}

int OutputDepth(const FloatImage& image, ImageFormat format, const Options& options)
{
    if (options.m_nDepth != 0) {
        return options.m_nDepth;
    }
    if (format == ImageFormat::Pfm) {
        return 32;
    }
    if (image.m_nSourceBits == 32 && format == ImageFormat::Png) {
        return 16;
    }
    return image.m_nSourceBits;
}

/// A decoded input, or why it could not be read.
struct Loaded
{
    std::optional<FloatImage> m_image;
    std::string m_error;
};

/// The shape of a photo being decoded, handed from the reading thread to a
/// thread that prepares its engine meanwhile; told once, empty when the file
/// failed before its size was known.
class CShapeSignal
{
public:
    void Tell(const std::optional<ImageShape>& shape)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bTold) {
            return;
        }
        m_bTold = true;
        m_shape = shape;
        m_told.notify_all();
    }

    std::optional<ImageShape> Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_told.wait(lock, [this] { return m_bTold; });
        return m_shape;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_told;
    bool m_bTold = false;
    std::optional<ImageShape> m_shape;
};

/// Tells an empty shape at the end of a read unless the reader told one.
struct ShapeFallback
{
    CShapeSignal* m_pSignal;
    ~ShapeFallback()
    {
        if (m_pSignal != nullptr) {
            m_pSignal->Tell(std::nullopt);
        }
    }
};

Loaded Load(const Job& job, const Options& options, CShapeSignal* pShape = nullptr)
{
    const ShapeFallback fallback{pShape};
    Loaded loaded;
    try {
        ShapeListener onShape;
        if (pShape != nullptr) {
            onShape = [pShape](const ImageShape& shape) { pShape->Tell(shape); };
        }
        FloatImage image = ReadImage(job.m_input, onShape);
        const ImageFormat format = FormatFromPath(job.m_output);
        CheckWritable(job.m_output, format, image, OutputDepth(image, format, options));
        loaded.m_image = std::move(image);
    } catch (const std::bad_alloc&) {
        loaded.m_error = job.m_input + ": not enough memory to read the image";
    } catch (const std::exception& error) {
        loaded.m_error = error.what();
    }
    return loaded;
}

/// Lets the lanes of a batch hold engines side by side only while the grids of
/// all of them fit into the memory available; an engine that would not fit
/// beside the others waits until it is the only one, and is then checked on
/// its own (CheckEngineMemory) as in a run of one photo.
class CEngineGate
{
public:
    void Enter(std::uint64_t nBytes)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_left.wait(lock, [this, nBytes] {
            if (m_nHeld == 0) {
                return true;
            }
            const std::uint64_t nAvailable = gw::platform::AvailablePhysicalMemory();
            return nAvailable == 0 || m_nHeld + nBytes <= nAvailable;
        });
        m_nHeld += nBytes;
    }

    void Leave(std::uint64_t nBytes) noexcept
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_nHeld -= nBytes;
        }
        m_left.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    std::uint64_t m_nHeld = 0; ///< the grids' bytes of the engines held now
};

/// What one lane holds of the gate: the grids of its engine, while it keeps one.
class CEngineHold
{
public:
    explicit CEngineHold(CEngineGate& gate) noexcept : m_gate(gate) {}
    CEngineHold(const CEngineHold&) = delete;
    CEngineHold& operator=(const CEngineHold&) = delete;
    ~CEngineHold() { Drop(); }

    /// Holds the grids of a new engine of this size; the lane's engine is gone.
    void Take(int nWidth, int nHeight)
    {
        Drop();
        const std::uint64_t nBytes = gw::PyramidBytes(nHeight, nWidth);
        m_gate.Enter(nBytes);
        m_nBytes = nBytes;
    }

    void Drop() noexcept
    {
        if (m_nBytes != 0) {
            m_gate.Leave(m_nBytes);
            m_nBytes = 0;
        }
    }

private:
    CEngineGate& m_gate;
    std::uint64_t m_nBytes = 0;
};

/// Makes the engine of a photo of this shape, pages of its grids included, into
/// kept while the photo is still being decoded. Whatever goes wrong here is left
/// for the run to meet and report; an image whose grids would be paged is left
/// to the run as well (paged grids have no pages to make).
void PrepareEngine(const std::optional<ImageShape>& shape, const Options& options,
                   int (*pfnProgress)(int), CKeptEngine& kept, CEngineHold& hold)
{
    if (!shape) {
        return;
    }
    Options fileOptions = options;
    try {
        kept.Release();
        hold.Take(shape->m_nWidth, shape->m_nHeight);
        CheckEngineMemory(shape->m_nWidth, shape->m_nHeight, fileOptions);
        if (fileOptions.m_memory != MemoryMode::Paged) {
            kept.Prepare(*shape, fileOptions, pfnProgress);
        } else {
            hold.Drop();
        }
    } catch (const std::exception&) {
        kept.Release();
        hold.Drop();
    }
}

/// Writes the result; returns the message of a failure, else an empty string.
std::string Store(const Job& job, const FloatImage& image, const Options& options)
{
    try {
        WriteSettings settings;
        settings.m_nBits = OutputDepth(image, FormatFromPath(job.m_output), options);
        settings.m_nQuality = options.m_nQuality;
        settings.m_metadataSource = job.m_input;
        WriteImage(job.m_output, image, settings);
    } catch (const std::bad_alloc&) {
        return job.m_output + ": not enough memory to write the image";
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

/// The photos to do, worked through by one lane or, with several processors,
/// by two lanes side by side. Each lane is a pipeline of its own: while its
/// engine works on one photo, it reads its next one and writes its last one.
/// Two lanes keep both processors busy where one engine's threads wait for
/// each other and for the codecs; the results do not depend on the threads.
class CBatch
{
public:
    CBatch(const std::vector<Job>& jobs, const std::vector<std::size_t>& todo,
           const Options& options)
        : m_jobs(jobs), m_todo(todo), m_options(options)
    {
        const int nThreads = gw::CWorkerPool::DefaultThreads();
        m_nLanes = todo.size() >= 2 && nThreads >= 2 ? 2 : 1;
        if (m_nLanes > 1) {
            m_options.m_nEngineThreads = nThreads / m_nLanes;
        }
    }

    void Run()
    {
        if (m_todo.empty()) {
            return;
        }
        if (m_nLanes == 1) {
            RunLane();
            return;
        }
        std::thread second;
        try {
            second = std::thread([this] { RunLane(); });
        } catch (const std::system_error&) {
            // No second thread: one lane does it all.
        }
        RunLane();
        if (second.joinable()) {
            second.join();
        }
    }

    bool Failed() const noexcept { return m_bFailed; }
    bool Interrupted() const noexcept { return m_bInterrupted; }

private:
    /// The next photo for a lane to take, if any is left.
    std::optional<std::size_t> Claim() noexcept
    {
        const std::size_t k = m_nNext++;
        if (k >= m_todo.size() || m_bInterrupted) {
            return std::nullopt;
        }
        return k;
    }

    const Job& JobOf(std::size_t k) const { return m_jobs[m_todo[k]]; }

    std::string LabelOf(std::size_t k) const
    {
        return m_jobs.size() > 1 ? std::to_string(k + 1) + "/" + std::to_string(m_todo.size()) + " "
                                       + fs::path(JobOf(k).m_input).filename().string()
                                 : std::string();
    }

    using ProgressFunction = int (*)(int);

    ProgressFunction EngineProgress() const noexcept
    {
        return m_nLanes > 1 ? StopOnInterrupt : ReportProgressToTerminal;
    }

    void Fail(const std::string& message)
    {
        Report(message);
        m_bFailed = true;
    }

    /// One lane's photos; failures are reported and do not end the lane.
    void RunLane() noexcept
    {
        try {
            RunLanePipeline();
        } catch (const std::exception& error) {
            Fail(std::string("the batch failed: ") + error.what());
        }
    }

    void RunLanePipeline()
    {
        std::optional<std::size_t> k = Claim();
        if (!k) {
            return;
        }
        CKeptEngine kept;
        CEngineHold hold(m_gate);
        std::future<Loaded> nextLoad;
        std::future<std::string> pendingStore;
        // The store and the read in flight end before the lane's engine and hold do.
        struct Drain
        {
            std::future<Loaded>& load;
            std::future<std::string>& store;
            ~Drain()
            {
                if (load.valid()) {
                    load.wait();
                }
                if (store.valid()) {
                    store.wait();
                }
            }
        } drain{nextLoad, pendingStore};
        const auto FinishStore = [this, &pendingStore] {
            if (pendingStore.valid()) {
                const std::string error = pendingStore.get();
                if (!error.empty()) {
                    Fail(error);
                }
            }
        };

        {
            // This thread would only wait for the first photo: it makes the photo's
            // engine and its grids' pages meanwhile, which its first run would
            // otherwise fault in page by page.
            const Job& first = JobOf(*k);
            CShapeSignal firstShape;
            nextLoad = std::async(std::launch::async, [this, &first, &firstShape] {
                return Load(first, m_options, &firstShape);
            });
            Started(*k);
            PrepareEngine(firstShape.Wait(), m_options, EngineProgress(), kept, hold);
            nextLoad.wait();
        }
        bool bFirst = true;
        while (k) {
            const Job& job = JobOf(*k);
            Loaded loaded = nextLoad.get();
            const std::optional<std::size_t> next = Claim();
            if (next) {
                const Job& nextJob = JobOf(*next);
                nextLoad = std::async(std::launch::async,
                                      [this, &nextJob] { return Load(nextJob, m_options); });
            }
            if (!bFirst) {
                Started(*k);
            }
            bFirst = false;
            if (!Lift(job, loaded, kept, hold)) {
                break;
            }
            if (loaded.m_image) {
                FinishStore();
                // Its buffer serves a photo read later (the next one is being read already).
                const bool bKeepBuffer = m_nNext < m_todo.size();
                pendingStore = std::async(std::launch::async, [this, &job, bKeepBuffer,
                                                               result = std::move(*loaded.m_image)]()
                                                                  mutable {
                    std::string error = Store(job, result, m_options);
                    if (bKeepBuffer) {
                        KeepSpareSamples(std::move(result.m_samples));
                    }
                    return error;
                });
            }
            Finished();
            k = next;
        }
        kept.Release();
        hold.Drop();
        FinishStore();
    }

    /// Runs the engine on a loaded photo; false when the batch was interrupted.
    /// A photo that could not be read or lifted is reported and its image dropped.
    bool Lift(const Job& job, Loaded& loaded, CKeptEngine& kept, CEngineHold& hold)
    {
        if (!loaded.m_image) {
            Fail(loaded.m_error);
            return true;
        }
        FloatImage& image = *loaded.m_image;
        Options fileOptions = m_options;
        try {
            // An engine kept for this size already holds its grids.
            if (!kept.Fits(image, fileOptions)) {
                kept.Release();
                hold.Take(image.m_nWidth, image.m_nHeight);
                CheckEngineMemory(image.m_nWidth, image.m_nHeight, fileOptions);
                if (fileOptions.m_memory == MemoryMode::Paged) {
                    hold.Drop();
                }
            }
            if (!LiftShadows(image, fileOptions, EngineProgress(), &kept) || WasInterrupted()) {
                m_bInterrupted = true;
                return false;
            }
            return true;
        } catch (const std::bad_alloc&) {
            Fail(job.m_input + ": not enough memory for the engine");
        } catch (const std::exception& error) {
            Fail(job.m_input + ": the engine failed: " + error.what());
        }
        loaded.m_image.reset();
        return true;
    }

    // Two lanes finish in either order: their bar names the newest photo begun
    // and counts the photos done.
    void Started(std::size_t k)
    {
        if (m_nLanes == 1) {
            SetProgressLabel(LabelOf(k));
            return;
        }
        std::size_t nNewest = m_nNewest;
        while (nNewest < k && !m_nNewest.compare_exchange_weak(nNewest, k)) {
        }
        ShowBatchProgress(LabelOf(std::max(nNewest, k)), Percent());
    }

    void Finished()
    {
        ++m_nDone;
        if (m_nLanes > 1) {
            ShowBatchProgress(LabelOf(m_nNewest), Percent());
        }
    }

    int Percent() const noexcept
    {
        return static_cast<int>(m_nDone * 100 / m_todo.size());
    }

    const std::vector<Job>& m_jobs;
    const std::vector<std::size_t>& m_todo;
    Options m_options;
    int m_nLanes = 1;
    CEngineGate m_gate;
    std::atomic<std::size_t> m_nNext{0};
    std::atomic<std::size_t> m_nDone{0};
    std::atomic<std::size_t> m_nNewest{0};
    std::atomic<bool> m_bFailed{false};
    std::atomic<bool> m_bInterrupted{false};
};

} // namespace



BatchOutcome RunBatch(const std::vector<Job>& jobs, const std::vector<std::size_t>& todo,
                      const Options& options)
{
    CBatch batch(jobs, todo, options);
    batch.Run();
    return {batch.Failed(), batch.Interrupted()};
}

} // namespace gw::cli
