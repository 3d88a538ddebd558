// Options.cpp - command-line parsing and the engine values of the options.
#include "Options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace gw::cli {

namespace {

constexpr float kMaxRadius = 20.0f;

bool ParseInt(const std::string& text, int& nValue)
{
    const char* pEnd = text.data() + text.size();
    const auto result = std::from_chars(text.data(), pEnd, nValue);
    return !text.empty() && result.ec == std::errc() && result.ptr == pEnd;
}

bool ParseFloat(const std::string& text, float& fValue)
{
    const char* pEnd = text.data() + text.size();
    const auto result = std::from_chars(text.data(), pEnd, fValue);
    return !text.empty() && result.ec == std::errc() && result.ptr == pEnd && std::isfinite(fValue);
}

bool ParsePair(const std::string& text, float& fFirst, float& fSecond)
{
    const std::size_t nComma = text.find(',');
    return nComma != std::string::npos && ParseFloat(text.substr(0, nComma), fFirst)
        && ParseFloat(text.substr(nComma + 1), fSecond);
}

[[noreturn]] void Refuse(const std::string& name, const std::string& value,
                         const std::string& expected)
{
    throw CUsageError(name + " expects " + expected + ", not '" + value + "'");
}

int PercentValue(const std::string& name, const std::string& value)
{
    int nValue = 0;
    if (!ParseInt(value, nValue) || nValue < 0 || nValue > 100) {
        Refuse(name, value, "a whole number from 0 to 100");
    }
    return nValue;
}

void ParseBounds(const std::string& value, Options& options)
{
    if (value == "data") {
        options.m_boundsMode = BoundsMode::Data;
        return;
    }
    if (value == "auto") {
        options.m_boundsMode = BoundsMode::Auto;
        return;
    }
    float fLow = 0.0f;
    float fHigh = 0.0f;
    if (!ParsePair(value, fLow, fHigh) || !(fLow < fHigh)) {
        Refuse("--bounds", value, "'data', 'auto' or LO,HI with LO < HI");
    }
    options.m_boundsMode = BoundsMode::Fixed;
    options.m_fBoundsLow = fLow;
    options.m_fBoundsHigh = fHigh;
}

void ParseOutputRange(const std::string& value, Options& options)
{
    if (value == "auto") {
        options.m_bOutputRange = false;
        return;
    }
    float fLow = 0.0f;
    float fHigh = 0.0f;
    if (!ParsePair(value, fLow, fHigh) || fLow < 0.0f || fHigh > 1.0f || !(fLow < fHigh)) {
        Refuse("--out-range", value, "'auto' or LO,HI with 0 <= LO < HI <= 1");
    }
    options.m_bOutputRange = true;
    options.m_fOutLow = fLow;
    options.m_fOutHigh = fHigh;
}

using ValueHandler =
    std::function<void(const std::string& name, const std::string& value, Options& options)>;

const std::map<std::string, ValueHandler>& ValueOptions()
{
    static const std::map<std::string, ValueHandler> kOptions = {
        {"-o", [](auto&, auto& v, Options& o) { o.m_output = v; }},
        {"--output", [](auto&, auto& v, Options& o) { o.m_output = v; }},
        {"--amount", [](auto& n, auto& v, Options& o) { o.m_nAmount = PercentValue(n, v); }},
        {"--fill-light", [](auto& n, auto& v, Options& o) { o.m_nFillLight = PercentValue(n, v); }},
        {"--radius",
         [](auto& n, auto& v, Options& o) {
             float f = 0.0f;
             if (!ParseFloat(v, f) || !(f > 0.0f) || f > kMaxRadius) {
                 Refuse(n, v, "a number above 0 and at most 20");
             }
             o.m_fRadius = f;
         }},
        {"--thermal",
         [](auto& n, auto& v, Options& o) {
             if (!ParseFloat(v, o.m_fThermal) || o.m_fThermal < 0.0f) {
                 Refuse(n, v, "a number of at least 0");
             }
         }},
        {"--epsilon",
         [](auto& n, auto& v, Options& o) {
             if (!ParseFloat(v, o.m_fEpsilon) || !(o.m_fEpsilon > 0.0f)) {
                 Refuse(n, v, "a number above 0");
             }
         }},
        {"--bounds", [](auto&, auto& v, Options& o) { ParseBounds(v, o); }},
        {"--memory",
         [](auto& n, auto& v, Options& o) {
             if (v == "auto")
                 o.m_memory = MemoryMode::Auto;
             else if (v == "ram")
                 o.m_memory = MemoryMode::Ram;
             else if (v == "paged")
                 o.m_memory = MemoryMode::Paged;
             else
                 Refuse(n, v, "'ram', 'paged' or 'auto'");
         }},
        {"--out-range", [](auto&, auto& v, Options& o) { ParseOutputRange(v, o); }},
        {"--depth",
         [](auto& n, auto& v, Options& o) {
             if (!ParseInt(v, o.m_nDepth)
                 || (o.m_nDepth != 8 && o.m_nDepth != 16 && o.m_nDepth != 32)) {
                 Refuse(n, v, "8, 16 or 32");
             }
         }},
        {"--quality",
         [](auto& n, auto& v, Options& o) {
             if (!ParseInt(v, o.m_nQuality) || o.m_nQuality < 1 || o.m_nQuality > 100) {
                 Refuse(n, v, "a whole number from 1 to 100");
             }
         }},
        {"--format",
         [](auto& n, auto& v, Options& o) {
             if (v == "jpg" || v == "jpeg")
                 o.m_format = "jpg";
             else if (v == "tif" || v == "tiff")
                 o.m_format = "tif";
             else if (v == "png" || v == "pfm")
                 o.m_format = v;
             else
                 Refuse(n, v, "'jpg', 'tif', 'png' or 'pfm'");
         }},
    };
    return kOptions;
}

bool ApplyFlag(const std::string& name, Options& options)
{
    if (name == "--speed") {
        options.m_bFastMode = true;
    } else if (name == "--quality-mode") {
        options.m_bFastMode = false;
    } else if (name == "--no-clobber" || name == "-n") {
        options.m_bNoClobber = true;
    } else if (name == "--no-autoscale") {
        options.m_bFinalScaling = false;
    } else if (name == "--autoscale") {
        options.m_bFinalScaling = true;
    } else if (name == "-q" || name == "--quiet") {
        options.m_bQuiet = true;
    } else if (name == "-h" || name == "--help") {
        options.m_bHelp = true;
    } else if (name == "--version") {
        options.m_bVersion = true;
    } else {
        return false;
    }
    return true;
}

} // namespace



Options ParseArguments(int argc, const char* const* argv)
{
    Options options;
    // The plug-in's fixed thermal and epsilon settings.
    const gw::EngineValues defaults = gw::EngineValuesFor(gw::UserSettings{});
    options.m_fThermal = defaults.fThermal;
    options.m_fEpsilon = defaults.fEpsilon;

    bool bOptionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (bOptionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.m_inputs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            bOptionsEnded = true;
            continue;
        }
        if (ApplyFlag(argument, options)) {
            continue;
        }
        const std::size_t nEquals = argument.find('=');
        const std::string name = argument.substr(0, nEquals);
        const auto handler = ValueOptions().find(name);
        if (handler == ValueOptions().end()) {
            throw CUsageError("unknown option '" + argument + "'");
        }
        std::string value;
        if (nEquals != std::string::npos) {
            value = argument.substr(nEquals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            throw CUsageError(name + " needs a value");
        }
        handler->second(name, value, options);
    }

    if (options.m_bHelp || options.m_bVersion) {
        return options;
    }
    if (options.m_inputs.empty()) {
        throw CUsageError("no input file given");
    }
    if (options.m_output.empty()) {
        throw CUsageError("no output given (use -o OUTPUT)");
    }
    return options;
}



std::string UsageText()
{
    return R"(Usage: gladewick [options] INPUT -o OUTPUT
       gladewick [options] INPUT... -o FOLDER

Lifts the shadows of photos while keeping their highlights, e.g.
  gladewick IMG_0042.jpg -o IMG_0042-lifted.jpg
  gladewick --format tif *.jpg -o lifted/

Files: JPEG (8-bit grey or RGB), TIFF (8/16-bit or 32-bit float, grey or RGB,
with or without alpha), PNG (every colour type and depth) and PFM (32-bit
float). The output format follows OUTPUT's name (.jpg/.jpeg, .tif/.tiff, .png,
.pfm) or --format. The samples are processed as encoded, with no colour
conversion, as the plug-in does in an editor, so both give the same result on
the same pixels; the ICC profile (byte for byte), EXIF (without its thumbnail),
XMP, IPTC and PNG text are copied into the output where its format holds them.
Alpha is passed through unchanged.

With one INPUT, OUTPUT is a file, or an existing folder that gets a file of
the input's name. With several, OUTPUT is a folder (made if missing) and each
result takes its input's name. A file that fails is reported and the others go
on. An input is never overwritten, except when named as the output of a
single-file run.

Options with the plug-in's meaning:
  --amount N          strength of the effect, 0..100 (default 60)
  --fill-light N      size of the lit areas, 0..100 (default 37)
  --speed             the fast mode (default: quality; --quality-mode)
  --no-autoscale      do not stretch the result over its full range
Engine values, for experts and tests:
  --radius R          illumination radius, above 0 and at most 20
                      (default: from --fill-light; 37 gives about 0.0995)
  --thermal T         thermal offset, at least 0 (default 0.40)
  --epsilon E         edge regularisation, above 0 (default 0.0001)
  --bounds MODE       normalisation bounds: 'data' (the input's smallest and
                      largest sample, as the plug-in passes them; default),
                      'auto' (the engine scans the data) or LO,HI
  --out-range LO,HI   fixed reflectance range, 0 <= LO < HI <= 1
                      (default 'auto': estimated from the image)
Output and other:
  -o, --output PATH   the result file or folder (required); an existing file
                      is replaced only when the result is complete
  --format FMT        jpg, tif, png or pfm for every output
  --depth 8|16|32     output sample depth (default: the input's; 16 in a PNG
                      from float input); a format that cannot hold it is an error
  --quality N         JPEG quality 1..100 (default 92; 4:4:4 chroma from 90 up,
                      4:2:0 below)
  -n, --no-clobber    leave existing outputs alone (reported, not an error)
  --memory MODE       where the engine keeps its grids: 'ram', 'paged'
                      (temporary files, slower, same result) or 'auto'
                      (default: in RAM, paged when they would not fit)
  -q, --quiet         no progress line (it is shown only on a terminal)
  -h, --help          this text
  --version           the version
Exit status: 0 all files done, 1 any file failed to read, process or write,
2 bad command line, 130 interrupted.
)";
}



gw::EngineValues EngineValuesOf(const Options& options) noexcept
{
    gw::UserSettings settings;
    settings.nAmount = options.m_nAmount;
    settings.nFillLight = options.m_nFillLight;
    settings.bFastMode = options.m_bFastMode;
    settings.bFinalScaling = options.m_bFinalScaling;
    gw::EngineValues values = gw::EngineValuesFor(settings);
    values.fRadius = options.m_fRadius.value_or(values.fRadius);
    values.fThermal = options.m_fThermal;
    values.fEpsilon = options.m_fEpsilon;
    return values;
}

} // namespace gw::cli
