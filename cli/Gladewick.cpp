// Gladewick.cpp - entry point of the command-line tool: parse the arguments,
// then for each input read the image, run the engine, write the result.
//
// A batch is a pipeline of three steps on as many threads: while the engine
// works on one photo, the next one is decoded and the previous one encoded
// and written, so the file formats' single-threaded codecs hide behind the
// engine's run.
#include "EngineRun.h"
#include "ImageFile.h"
#include "Options.h"
#include "Platform.h"
#include "Progress.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#ifndef GW_VERSION
#define GW_VERSION "unknown"
#endif

namespace {

using namespace gw::cli;
namespace fs = std::filesystem;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

void Report(const std::string& message)
{
    ClearProgressLine();
    std::fprintf(stderr, "gladewick: %s\n", message.c_str());
}

int UsageFailure(const std::string& message)
{
    Report(message);
    std::fprintf(stderr, "Try 'gladewick --help' for more information.\n");
    return kExitUsage;
}

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

/// One input and where its result goes; a non-empty m_error fails it before
/// it is read.
struct Job
{
    std::string m_input;
    std::string m_output;
    std::string m_error;
    bool m_bSkip = false; ///< --no-clobber and the output exists
};

std::string SameFileKey(const std::string& path)
{
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

/// The outputs of the inputs. Throws CUsageError for a command line that names
/// no sensible output.
std::vector<Job> PlanJobs(const Options& options)
{
    std::error_code error;
    const bool bFolder = fs::is_directory(options.m_output, error);
    const bool bSingle = options.m_inputs.size() == 1;
    if (!bSingle && !bFolder) {
        if (fs::exists(options.m_output, error)) {
            throw CUsageError("with several inputs the output must be a folder, and '"
                              + options.m_output + "' is a file");
        }
        if (!fs::create_directories(options.m_output, error) && error) {
            throw CUsageError("cannot make the output folder '" + options.m_output
                              + "': " + error.message());
        }
    }
    if (bSingle && !bFolder) {
        FormatFromPath(options.m_output); // a usage error when the name has no known format
        if (!options.m_format.empty()
            && FormatExtension(FormatFromPath(options.m_output)) != options.m_format)
        {
            throw CUsageError("--format " + options.m_format + " does not match the output name '"
                              + options.m_output + "'");
        }
        return {Job{options.m_inputs.front(), options.m_output, {}, false}};
    }

    std::map<std::string, std::string> inputKeys;
    for (const std::string& input : options.m_inputs) {
        inputKeys.emplace(SameFileKey(input), input);
    }
    std::map<std::string, std::string> outputKeys;
    std::vector<Job> jobs;
    for (const std::string& input : options.m_inputs) {
        Job job;
        job.m_input = input;
        fs::path name = fs::path(input).filename();
        if (!options.m_format.empty()) {
            name.replace_extension(options.m_format);
        }
        job.m_output = (fs::path(options.m_output) / name).string();
        try {
            FormatFromPath(job.m_output);
        } catch (const std::exception&) {
            job.m_error = input
                        + ": the output format cannot be told from the name (use --format jpg, "
                          "tif, png or pfm)";
        }
        const std::string key = SameFileKey(job.m_output);
        if (job.m_error.empty() && inputKeys.count(key) != 0) {
            job.m_error = input + ": its output " + job.m_output
                        + " would overwrite an input (choose another folder or --format)";
        }
        const auto [it, bNew] = outputKeys.emplace(key, input);
        if (job.m_error.empty() && !bNew) {
            job.m_error = input + ": has the same output " + job.m_output + " as " + it->second;
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
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

/// Makes the engine of a photo of this shape, pages of its grids included, into
/// kept while the photo is still being decoded. Whatever goes wrong here is left
/// for the run to meet and report; an image whose grids would be paged is left
/// to the run as well (paged grids have no pages to make).
void PrepareEngine(const std::optional<ImageShape>& shape, const Options& options,
                   CKeptEngine& kept)
{
    if (!shape) {
        return;
    }
    Options fileOptions = options;
    try {
        CheckEngineMemory(shape->m_nWidth, shape->m_nHeight, fileOptions);
        if (fileOptions.m_memory != MemoryMode::Paged) {
            kept.Prepare(*shape, fileOptions, ReportProgressToTerminal);
        }
    } catch (const std::exception&) {
        kept.Release();
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

int Main(int argc, const char* const* argv)
{
    InstallInterruptHandler();
    Options options;
    std::vector<Job> jobs;
    try {
        options = ParseArguments(argc - 1, argv + 1);
        if (!options.m_bHelp && !options.m_bVersion) {
            jobs = PlanJobs(options);
        }
    } catch (const std::exception& error) {
        return UsageFailure(error.what());
    }
    if (options.m_bHelp) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.m_bVersion) {
        std::printf("gladewick %s\n", GW_VERSION);
        return 0;
    }

    std::vector<std::size_t> todo;
    bool bFailed = false;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        std::error_code error;
        if (!jobs[i].m_error.empty()) {
            Report(jobs[i].m_error);
            bFailed = true;
        } else if (options.m_bNoClobber && fs::exists(jobs[i].m_output, error)) {
            Report(jobs[i].m_output + ": exists, left alone (--no-clobber)");
        } else {
            todo.push_back(i);
        }
    }

    StartProgressBar(!options.m_bQuiet);
    std::future<Loaded> nextLoad;
    std::future<std::string> pendingStore;
    const auto FinishStore = [&pendingStore, &bFailed] {
        if (pendingStore.valid()) {
            const std::string error = pendingStore.get();
            if (!error.empty()) {
                Report(error);
                bFailed = true;
            }
        }
    };
    const auto LabelOf = [&jobs, &todo](std::size_t k) {
        return jobs.size() > 1 ? std::to_string(k + 1) + "/" + std::to_string(todo.size()) + " "
                                     + fs::path(jobs[todo[k]].m_input).filename().string()
                               : std::string();
    };
    bool bInterrupted = false;
    CKeptEngine keptEngine;
    if (!todo.empty()) {
        const Job& first = jobs[todo.front()];
        CShapeSignal firstShape;
        nextLoad = std::async(std::launch::async, [&first, &options, &firstShape] {
            return Load(first, options, &firstShape);
        });
        // This thread would only wait for the first photo: it makes the photo's
        // engine and its grids' pages meanwhile, which its first run would
        // otherwise fault in page by page.
        SetProgressLabel(LabelOf(0));
        PrepareEngine(firstShape.Wait(), options, keptEngine);
        nextLoad.wait();
    }
    for (std::size_t k = 0; k < todo.size() && !bInterrupted; ++k) {
        const Job& job = jobs[todo[k]];
        Loaded loaded = nextLoad.get();
        if (k + 1 < todo.size()) {
            const Job& next = jobs[todo[k + 1]];
            nextLoad =
                std::async(std::launch::async, [&next, &options] { return Load(next, options); });
        }
        if (!loaded.m_image) {
            Report(loaded.m_error);
            bFailed = true;
            continue;
        }
        FloatImage& image = *loaded.m_image;
        SetProgressLabel(LabelOf(k));
        Options fileOptions = options;
        try {
            // An engine kept for this size already holds its grids.
            if (!keptEngine.Fits(image, fileOptions)) {
                keptEngine.Release();
                CheckEngineMemory(image.m_nWidth, image.m_nHeight, fileOptions);
            }
            if (!LiftShadows(image, fileOptions, ReportProgressToTerminal, &keptEngine)
                || WasInterrupted()) {
                bInterrupted = true;
                break;
            }
        } catch (const std::bad_alloc&) {
            Report(job.m_input + ": not enough memory for the engine");
            bFailed = true;
            continue;
        } catch (const std::exception& error) {
            Report(job.m_input + ": the engine failed: " + error.what());
            bFailed = true;
            continue;
        }
        FinishStore();
        // Its buffer serves a photo read later (the next one is being read already).
        const bool bKeepBuffer = k + 2 < todo.size();
        pendingStore = std::async(
            std::launch::async, [&job, &options, bKeepBuffer, result = std::move(image)]() mutable {
                std::string error = Store(job, result, options);
                if (bKeepBuffer) {
                    KeepSpareSamples(std::move(result.m_samples));
                }
                return error;
            });
    }
    keptEngine.Release();
    if (nextLoad.valid()) {
        nextLoad.wait();
    }
    FinishStore();
    if (bInterrupted || WasInterrupted()) {
        FinishProgressBar(false);
        Report("interrupted; the file in progress was not written");
        return kExitInterrupted;
    }
    FinishProgressBar(!bFailed);
    return bFailed ? kExitFailure : 0;
}

} // namespace



int main(int argc, char** argv)
{
    return Main(argc, argv);
}
