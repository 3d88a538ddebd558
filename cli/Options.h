// Options.h - the command line of the gladewick tool and the engine settings it
// stands for.
//
// The everyday options carry the plug-in's meaning (Amount and Fill Light in
// percent, Speed, AutoScale) and are turned into engine values exactly as the
// plug-in derives them for its whole-image run, so both give the same result on
// the same samples. The expert options set the engine's raw values directly.
#pragma once

#include "settings/EngineSettings.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw::cli {

/// A bad command line; what() is the message for the user.
class CUsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// How the normalisation bounds handed to the engine are chosen.
enum class BoundsMode
{
    Data,  ///< the input's smallest and largest sample, gathered as the plug-in does
    Auto,  ///< lo = hi = 0: the engine scans the data itself
    Fixed, ///< the values given on the command line
};

/// Where the engine keeps its grid pyramid.
enum class MemoryMode
{
    Auto,  ///< in RAM as the plug-in does; paged when the pyramid would not fit
    Ram,   ///< in RAM; an image whose pyramid does not fit is refused
    Paged, ///< paged through temporary files from the start
};

struct Options
{
    std::vector<std::string> m_inputs;
    std::string m_output;
    std::string m_format; ///< --format: "jpg", "tif", "png", "pfm"; empty: by name
    bool m_bNoClobber = false;
    int m_nQuality = 92; ///< JPEG quality 1..100

    int m_nAmount = 60;    ///< percent, 0..100
    int m_nFillLight = 37; ///< 0..100
    bool m_bFastMode = false;
    bool m_bFinalScaling = true;
    MemoryMode m_memory = MemoryMode::Auto;

    std::optional<float> m_fRadius; ///< raw engine radius, replaces the Fill Light one
    float m_fThermal = 0.0f;        ///< set from the plug-in's fixed thermal setting
    float m_fEpsilon = 0.0f;        ///< set from the plug-in's fixed epsilon setting

    BoundsMode m_boundsMode = BoundsMode::Data;
    float m_fBoundsLow = 0.0f;
    float m_fBoundsHigh = 0.0f;

    bool m_bOutputRange = false; ///< --out-range given
    float m_fOutLow = -1.0f;
    float m_fOutHigh = 1.0f;

    int m_nEngineThreads = 0; ///< threads of one engine run; 0: the engine's default (not an option)

    int m_nDepth = 0; ///< 8, 16 or 32; 0: the input's depth (see OutputDepth)
    bool m_bQuiet = false;
    bool m_bHelp = false;
    bool m_bVersion = false;
};

/// Parses the arguments after the program name. Throws CUsageError with a
/// message naming the offending option or value. With --help or --version the
/// remaining checks are skipped.
Options ParseArguments(int argc, const char* const* argv);

/// The usage text printed by --help.
std::string UsageText();

// The derivations of the engine values, shared with the plug-in.
using gw::AmountFromPercent;
using gw::RadiusFromFillLight;

/// The engine values of the options: Amount, Fill Light, Speed and AutoScale
/// derived as the plug-in derives them, replaced by the expert values where
/// they are given (--radius), and the thermal and epsilon values as set.
gw::EngineValues EngineValuesOf(const Options& options) noexcept;

} // namespace gw::cli
