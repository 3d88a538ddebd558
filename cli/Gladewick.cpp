// Gladewick.cpp - entry point of the command-line tool: parse the arguments,
// then for each input read the image, run the engine, write the result.
//
// The photos themselves are worked through by the batch (Batch.h).
#include "Batch.h"
#include "ImageFile.h"
#include "Options.h"
#include "Progress.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
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

int UsageFailure(const std::string& message)
{
    Report(message);
    std::fprintf(stderr, "Try 'gladewick --help' for more information.\n");
    return kExitUsage;
}

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
    const BatchOutcome outcome = RunBatch(jobs, todo, options);
    if (outcome.m_bInterrupted || WasInterrupted()) {
        FinishProgressBar(false);
        Report("interrupted; the file in progress was not written");
        return kExitInterrupted;
    }
    bFailed = bFailed || outcome.m_bFailed;
    FinishProgressBar(!bFailed);
    return bFailed ? kExitFailure : 0;
}

} // namespace



int main(int argc, char** argv)
{
    return Main(argc, argv);
}
