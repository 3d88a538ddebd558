// Gladewick.cpp - entry point of the command-line tool: parse the arguments,
// read the image, run the engine, write the result.
#include "EngineRun.h"
#include "ImageFile.h"
#include "Options.h"
#include "Platform.h"
#include "Progress.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#ifndef GW_VERSION
#define GW_VERSION "unknown"
#endif

namespace {

using namespace gw::cli;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

int Fail(int nStatus, const std::string& message)
{
    FinishProgressBar(false);
    std::fprintf(stderr, "gladewick: %s\n", message.c_str());
    if (nStatus == kExitUsage) {
        std::fprintf(stderr, "Try 'gladewick --help' for more information.\n");
    }
    return nStatus;
}

/// Decides where the engine keeps its grids when they would not fit into the
/// memory available now (the allocator of an overcommitting system would not
/// refuse them, and the process would be killed halfway instead): "auto" pages
/// them, "ram" refuses the image. Paged grids hold a few rows each, so they
/// need no check.
void CheckEngineMemory(const FloatImage& image, Options& options)
{
    if (options.m_memory == MemoryMode::Paged) {
        return;
    }
    const std::uint64_t nNeeded = EngineGridBytes(image.m_nHeight, image.m_nWidth);
    const std::uint64_t nAvailable = gw::platform::AvailablePhysicalMemory();
    if (nAvailable == 0 || nNeeded <= nAvailable) {
        return;
    }
    if (options.m_memory == MemoryMode::Auto) {
        options.m_memory = MemoryMode::Paged;
    }
    else {
        throw std::runtime_error("an image of " + std::to_string(image.m_nWidth) + " x "
                                 + std::to_string(image.m_nHeight) + " pixels needs about "
                                 + std::to_string(nNeeded >> 20) + " MB for the engine, but only "
                                 + std::to_string(nAvailable >> 20)
                                 + " MB are available (--memory paged needs little)");
    }
}

int Main(int argc, const char* const* argv)
{
    InstallInterruptHandler();
    Options options;
    try {
        options = ParseArguments(argc - 1, argv + 1);
        if (!options.m_bHelp && !options.m_bVersion) {
            FormatFromPath(options.m_output);
        }
    }
    catch (const std::exception& error) {
        return Fail(kExitUsage, error.what());
    }
    if (options.m_bHelp) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.m_bVersion) {
        std::printf("gladewick %s\n", GW_VERSION);
        return 0;
    }

    FloatImage image;
    try {
        image = ReadImage(options.m_input);
        CheckEngineMemory(image, options);
    }
    catch (const std::bad_alloc&) {
        return Fail(kExitFailure, options.m_input + ": not enough memory to read the image");
    }
    catch (const std::exception& error) {
        return Fail(kExitFailure, error.what());
    }
    const int nPngBits = options.m_nPngBits != 0 ? options.m_nPngBits
                         : image.m_nSourceBits == 8 ? 8
                                                    : 16;

    StartProgressBar(!options.m_bQuiet);
    try {
        if (!LiftShadows(image, options, ReportProgressToTerminal) || WasInterrupted()) {
            return Fail(kExitInterrupted, "interrupted; nothing written");
        }
    }
    catch (const std::bad_alloc&) {
        return Fail(kExitFailure, "not enough memory for the engine");
    }
    catch (const std::exception& error) {
        return Fail(kExitFailure, std::string("the engine failed: ") + error.what());
    }
    FinishProgressBar(true);

    try {
        WriteImage(options.m_output, image, nPngBits);
    }
    catch (const std::bad_alloc&) {
        return Fail(kExitFailure, options.m_output + ": not enough memory to write the image");
    }
    catch (const std::exception& error) {
        return Fail(kExitFailure, error.what());
    }
    return 0;
}

} // namespace



int main(int argc, char** argv)
{
    return Main(argc, argv);
}
