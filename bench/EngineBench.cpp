// EngineBench.cpp - wall time, throughput, peak memory and stage shares of a
// full engine run on photo-sized images.
//
// Each case runs in a child process of its own, so that its peak resident
// memory is its own. The image is a sample photo scaled up to the case's size
// (bilinear), or, without the photo, a synthetic scene with smooth light, hard
// edges, fine texture and deep shadows; both are deterministic. The engine is
// set up as the plug-in's whole-image run with its default parameters.
//
// Besides the full Run, each case repeats the pipeline stage by stage on the
// same engine and buffer to time the stages; a checksum confirms that the
// staged pass gives the same bits as Run.
#include "CImageEngine.h"
#include "EngineRun.h"
#include "ImageFile.h"
#include "Options.h"
#include "settings/EngineSettings.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace gw::cli;
using Clock = std::chrono::steady_clock;

constexpr const char* kDefaultPhoto = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";

struct BenchCase
{
    const char* pName;
    int nWidth;
    int nHeight;
    bool bFastMode;
    bool bPaged = false; // grids paged through temporary files (reserve -1)
};

constexpr BenchCase kCases[] = {
    {"24 MP quality", 6000, 4000, false},    {"24 MP speed", 6000, 4000, true},
    {"6 MP quality", 3000, 2000, false},     {"6 MP speed", 3000, 2000, true},
    {"preview quality", 600, 450, false},    {"preview speed", 600, 450, true},
    {"6 MP paged", 3000, 2000, false, true},
};

/// What a child reports to the parent through a pipe.
struct CaseResult
{
    double dConstructSeconds = 0;
    double dPagesSeconds = 0; // making the grids' pages before the first run, as the tool does
    double dRunSeconds = 0;
    double dRerunSeconds =
        0; // a second Run on the same engine: its grids' pages are already mapped
    double dRunSystemSeconds = 0; // kernel time of the first run (page faults, mostly)
    long nRunFaults = 0;          // page faults of the first run
    double dStageSeconds[6] = {}; // prepare, pre-smooth, solve, reflectance, recombine, total
    std::uint64_t nGridBytes = 0;
    int bStagesMatch = 0;
    int bOk = 0;
    char szError[160] = {};
};

const char* const kStageNames[] = {"prepare", "presmooth", "solve", "reflect", "recombine"};

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint64_t Checksum(const std::vector<float>& samples)
{
    std::uint64_t nHash = 1469598103934665603ull;
    for (const float f : samples) {
        std::uint32_t nBits;
        std::memcpy(&nBits, &f, sizeof nBits);
        nHash = (nHash ^ nBits) * 1099511628211ull;
    }
    return nHash;
}

/// The sample photo scaled to nWidth x nHeight with bilinear interpolation.
void UpscalePhoto(const FloatImage& photo, int nWidth, int nHeight, std::vector<float>& out)
{
    const int nChannels = 3;
    out.resize(static_cast<std::size_t>(nWidth) * nHeight * nChannels);
    const double dScaleX = static_cast<double>(photo.m_nWidth - 1) / std::max(1, nWidth - 1);
    const double dScaleY = static_cast<double>(photo.m_nHeight - 1) / std::max(1, nHeight - 1);
    for (int r = 0; r < nHeight; ++r) {
        const double y = r * dScaleY;
        const int y0 = std::min(static_cast<int>(y), photo.m_nHeight - 1);
        const int y1 = std::min(y0 + 1, photo.m_nHeight - 1);
        const float fy = static_cast<float>(y - y0);
        for (int c = 0; c < nWidth; ++c) {
            const double x = c * dScaleX;
            const int x0 = std::min(static_cast<int>(x), photo.m_nWidth - 1);
            const int x1 = std::min(x0 + 1, photo.m_nWidth - 1);
            const float fx = static_cast<float>(x - x0);
            for (int k = 0; k < nChannels; ++k) {
                auto at = [&](int yy, int xx) {
                    const int nSource = photo.m_nChannels == 3 ? k : 0;
                    return photo.m_samples[(static_cast<std::size_t>(yy) * photo.m_nWidth + xx)
                                               * photo.m_nChannels
                                           + nSource];
                };
                const float top = at(y0, x0) + (at(y0, x1) - at(y0, x0)) * fx;
                const float bottom = at(y1, x0) + (at(y1, x1) - at(y1, x0)) * fx;
                out[(static_cast<std::size_t>(r) * nWidth + c) * nChannels + k] =
                    top + (bottom - top) * fy;
            }
        }
    }
}

/// A synthetic scene: light falling off from a bright window at the upper
/// right, a dark doorway and a shadowed floor, round objects with hard edges
/// and a woven texture on every surface.
void SyntheticScene(int nWidth, int nHeight, std::vector<float>& out)
{
    out.resize(static_cast<std::size_t>(nWidth) * nHeight * 3);
    const float fInvW = 1.0f / nWidth;
    const float fInvH = 1.0f / nHeight;
    for (int r = 0; r < nHeight; ++r) {
        const float y = r * fInvH;
        for (int c = 0; c < nWidth; ++c) {
            const float x = c * fInvW;
            const float dx = x - 0.8f;
            const float dy = y - 0.2f;
            float light = 1.0f / (1.0f + 6.0f * (dx * dx + dy * dy));
            if (x > 0.7f && x < 0.9f && y > 0.08f && y < 0.35f) {
                light = 1.0f; // the window
            }
            if (x > 0.1f && x < 0.3f && y > 0.3f) {
                light *= 0.12f; // the doorway
            }
            if (y > 0.75f) {
                light *= 0.35f + 0.5f * (1.0f - y); // the floor in shadow
            }
            const float ox = x - 0.5f;
            const float oy = y - 0.6f;
            const bool bObject = ox * ox + oy * oy < 0.01f;
            const float weave = 0.9f + 0.1f * std::sin(c * 0.7f) * std::sin(r * 0.55f);
            const float v = std::min(1.0f, light * weave);
            float* pPixel = &out[(static_cast<std::size_t>(r) * nWidth + c) * 3];
            pPixel[0] = bObject ? v * 0.9f : v * 0.95f;
            pPixel[1] = bObject ? v * 0.3f : v * 0.85f;
            pPixel[2] = bObject ? v * 0.2f : v * 0.7f;
        }
    }
}

void MakeImage(const FloatImage* pPhoto, int nWidth, int nHeight, std::vector<float>& out)
{
    if (pPhoto != nullptr) {
        UpscalePhoto(*pPhoto, nWidth, nHeight, out);
    } else {
        SyntheticScene(nWidth, nHeight, out);
    }
}

/// The pipeline of Run, one stage at a time, on the buffer that Run used last.
void RunStages(CImageEngine& engine, std::vector<float>& buffer, float fLo, float fHi,
               bool bFastMode, double* pSeconds)
{
    const int nRows = engine.Rows();
    const int nCols = engine.Cols();
    engine.SetOutputRange(-1.0f, 1.0f);

    auto start = Clock::now();
    const bool bSkip =
        (bFastMode && fLo >= 0.0f && fHi <= 1.0f) || (fLo == 0.0f && fHi == 1.0f) || fLo == fHi;
    if (!bSkip) {
        const float fScale = 1.0f / (fHi - fLo);
        for (float& v : buffer) {
            v = (v - fLo) * fScale;
        }
    }
    for (std::size_t i = 0; i < buffer.size(); i += 3) {
        CImageEngine::RgbToHsv(buffer[i], buffer[i + 1], buffer[i + 2], buffer[i], buffer[i + 1],
                               buffer[i + 2]);
    }
    pSeconds[0] = Seconds(start);

    start = Clock::now();
    if (!bFastMode) {
        engine.PreSmooth();
    }
    pSeconds[1] = Seconds(start);
    start = Clock::now();
    engine.SolveIllumination(buffer.data(), nRows, nCols, nCols, false);
    pSeconds[2] = Seconds(start);
    start = Clock::now();
    engine.ComputeReflectance(buffer.data(), nRows, nCols, nCols);
    pSeconds[3] = Seconds(start);
    start = Clock::now();
    engine.Recombine(buffer.data(), buffer.data(), nRows, nCols, nCols);
    pSeconds[4] = Seconds(start);
    pSeconds[5] = pSeconds[0] + pSeconds[1] + pSeconds[2] + pSeconds[3] + pSeconds[4];
}

// Engine path: threads of the parallel path (0 = the engine's default), or the reference path.
int g_nThreads = 0;
bool g_bReference = false;
// Make the grids' pages before the first run (false: the run faults them in itself).
bool g_bMakePages = true;

CaseResult RunCase(const BenchCase& bench, const FloatImage* pPhoto, bool bStages)
{
    CaseResult result;
    std::vector<float> buffer;
    MakeImage(pPhoto, bench.nWidth, bench.nHeight, buffer);
    FloatImage view;
    view.m_samples = std::move(buffer);
    const auto [fLo, fHi] = InputBounds(view);
    buffer = std::move(view.m_samples);

    auto start = Clock::now();
    const int nReserve = bench.bPaged ? gw::kReservePaged : gw::WholeImageReserve(bench.bFastMode);
    CImageEngine engine(1, bench.nHeight, bench.nWidth, nReserve, nullptr);
    result.dConstructSeconds = Seconds(start);
    result.nGridBytes = engine.Grids().BytesHeld();
    if (g_bMakePages) {
        start = Clock::now();
        engine.Grids().MakePages(bench.bFastMode);
        result.dPagesSeconds = Seconds(start);
    }
    gw::UserSettings settings;
    settings.bFastMode = bench.bFastMode;
    gw::ApplyEngineValues(engine, gw::EngineValuesFor(settings));
    engine.SetThreadCount(g_nThreads);
    engine.SetReferencePath(g_bReference);

    struct rusage before = {};
    getrusage(RUSAGE_SELF, &before);
    start = Clock::now();
    engine.Run(buffer.data(), fLo, fHi);
    result.dRunSeconds = Seconds(start);
    struct rusage after = {};
    getrusage(RUSAGE_SELF, &after);
    result.dRunSystemSeconds =
        static_cast<double>(after.ru_stime.tv_sec - before.ru_stime.tv_sec)
        + 1e-6 * static_cast<double>(after.ru_stime.tv_usec - before.ru_stime.tv_usec);
    result.nRunFaults = (after.ru_minflt - before.ru_minflt) + (after.ru_majflt - before.ru_majflt);

    MakeImage(pPhoto, bench.nWidth, bench.nHeight, buffer);
    start = Clock::now();
    engine.Run(buffer.data(), fLo, fHi);
    result.dRerunSeconds = Seconds(start);

    if (bStages) {
        const std::uint64_t nRunSum = Checksum(buffer);
        MakeImage(pPhoto, bench.nWidth, bench.nHeight, buffer);
        RunStages(engine, buffer, fLo, fHi, bench.bFastMode, result.dStageSeconds);
        result.bStagesMatch = Checksum(buffer) == nRunSum ? 1 : 0;
    }
    result.bOk = 1;
    return result;
}

/// Runs one case in a child process; returns its result and peak memory in KB.
bool RunInChild(const BenchCase& bench, const FloatImage* pPhoto, bool bStages, CaseResult& result,
                long& nPeakKb)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        CaseResult childResult;
        try {
            childResult = RunCase(bench, pPhoto, bStages);
        } catch (const std::exception& error) {
            std::snprintf(childResult.szError, sizeof childResult.szError, "%s", error.what());
        }
        const ssize_t nWritten = write(fds[1], &childResult, sizeof childResult);
        _exit(nWritten == static_cast<ssize_t>(sizeof childResult) ? 0 : 1);
    }
    close(fds[1]);
    std::size_t nRead = 0;
    auto* pBytes = reinterpret_cast<char*>(&result);
    for (;;) {
        const ssize_t n = read(fds[0], pBytes + nRead, sizeof result - nRead);
        if (n <= 0) {
            break;
        }
        nRead += static_cast<std::size_t>(n);
    }
    close(fds[0]);
    int nStatus = 0;
    struct rusage usage = {};
    wait4(pid, &nStatus, 0, &usage);
    nPeakKb = usage.ru_maxrss;
    return nRead == sizeof result;
}

void PrintUsage()
{
    std::printf(
        "Usage: gw_bench [--cases 24|6|preview|paged,...] [--photo PNG | --synthetic] "
        "[--no-stages]\n"
        "                [--threads N | --reference] [--no-pages]\n"
        "Times full engine runs (Quality and Speed) on a 24 MP, a 6 MP and a 600 x 450 image,\n"
        "and a Quality run on the 6 MP image with paged grids. The grids' pages are made\n"
        "before the first run, as gladewick does while it decodes; --no-pages leaves them\n"
        "to the first run.\n");
}

} // namespace



int main(int argc, char** argv)
{
    std::string photoPath = kDefaultPhoto;
    bool bSynthetic = false;
    bool bStages = true;
    std::string filter = "24,6,preview";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--synthetic") {
            bSynthetic = true;
        } else if (argument == "--no-stages") {
            bStages = false;
        } else if (argument == "--photo" && i + 1 < argc) {
            photoPath = argv[++i];
        } else if (argument == "--cases" && i + 1 < argc) {
            filter = argv[++i];
        } else if (argument == "--threads" && i + 1 < argc) {
            g_nThreads = std::atoi(argv[++i]);
        } else if (argument == "--reference") {
            g_bReference = true;
        } else if (argument == "--no-pages") {
            g_bMakePages = false;
        } else {
            PrintUsage();
            return argument == "--help" || argument == "-h" ? 0 : 2;
        }
    }

    FloatImage photo;
    const FloatImage* pPhoto = nullptr;
    if (!bSynthetic && access(photoPath.c_str(), R_OK) == 0) {
        try {
            photo = ReadImage(photoPath);
            pPhoto = &photo;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "gw_bench: %s; using the synthetic scene\n", error.what());
        }
    }
    std::printf("source: %s\n", pPhoto != nullptr ? photoPath.c_str() : "synthetic scene");
    std::printf("%-16s %11s %9s %9s %9s %9s %9s %8s %8s %9s %9s  %s\n", "case", "size", "alloc s",
                "pages s", "run s", "rerun s", "run sys", "faults", "MPix/s", "peak MB", "grids MB",
                "stage shares of the staged pass");
    std::fflush(stdout);

    for (const BenchCase& bench : kCases) {
        const std::string tag = bench.bPaged ? "paged"
                              : bench.nWidth == 600
                                  ? "preview"
                                  : std::to_string(bench.nWidth * bench.nHeight / 1000000);
        if (("," + filter + ",").find("," + tag + ",") == std::string::npos) {
            continue;
        }
        CaseResult result;
        long nPeakKb = 0;
        if (!RunInChild(bench, pPhoto, bStages, result, nPeakKb) || !result.bOk) {
            std::printf("%-16s failed: %s\n", bench.pName,
                        result.szError[0] != '\0' ? result.szError : "child process died");
            continue;
        }
        const double dMPix = static_cast<double>(bench.nWidth) * bench.nHeight / 1e6;
        char szSize[32];
        std::snprintf(szSize, sizeof szSize, "%dx%d", bench.nWidth, bench.nHeight);
        std::printf("%-16s %11s %9.3f %9.3f %9.3f %9.3f %9.3f %8ld %8.2f %9.1f %9.1f ", bench.pName,
                    szSize, result.dConstructSeconds, result.dPagesSeconds, result.dRunSeconds,
                    result.dRerunSeconds, result.dRunSystemSeconds, result.nRunFaults,
                    dMPix / result.dRunSeconds, nPeakKb / 1024.0, result.nGridBytes / 1048576.0);
        if (bStages) {
            for (int k = 0; k < 5; ++k) {
                std::printf(" %s %.0f%%", kStageNames[k],
                            100.0 * result.dStageSeconds[k] / result.dStageSeconds[5]);
            }
            std::printf("%s", result.bStagesMatch ? "" : "  (staged pass differs from Run!)");
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
