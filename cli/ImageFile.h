// ImageFile.h - reading and writing the image files of the command-line tool.
//
// An image travels through the tool as interleaved float samples, row 0 at the
// top, one sample per pixel for grey and three (R, G, B) for colour. Two file
// formats are understood:
//   PNG  8 or 16 bits per sample, grey or RGB (palette images are expanded to
//        RGB, grey below 8 bits to 8 bits). Samples are read as value / 255 or
//        value / 65535 and written back rounded to nearest, clamped to [0, 1].
//        Images with an alpha channel are refused: the tool has no meaning for
//        transparency, and dropping it silently would lose data.
//   PFM  32-bit IEEE floats, 'Pf' grey or 'PF' colour; a negative scale marks
//        little-endian samples, a positive one big-endian. The file stores the
//        bottom row first; the reader and writer turn it so that row 0 is the top
//        row in memory. Samples must be finite.
//
// Every failure throws CImageFileError with a message that names the file and
// says what is wrong; nothing is left half-written (the writers write a
// temporary file beside the target and rename it when complete).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw::cli {

/// Interleaved float samples of one image; row 0 is the top row.
struct FloatImage
{
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nChannels = 0;      ///< 1 grey, 3 RGB
    int m_nSourceBits = 0;    ///< bits per sample of the file it came from: 8, 16 or 32 (float)
    std::vector<float> m_samples;

    std::size_t SampleCount() const noexcept
    {
        return static_cast<std::size_t>(m_nWidth) * static_cast<std::size_t>(m_nHeight)
               * static_cast<std::size_t>(m_nChannels);
    }
};

/// A file could not be read or written; what() is a complete sentence for the user.
class CImageFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class ImageFormat
{
    Png,
    Pfm,
};

/// Largest number of float samples an image may have: the engine indexes samples
/// with 32-bit signed integers.
constexpr std::uint64_t kMaxSamples = 0x7fffffffu;

/// The format that an output path asks for, from its extension (.png or .pfm,
/// any case). Throws CImageFileError for any other extension.
ImageFormat FormatFromPath(const std::string& path);

/// Throws CImageFileError unless an image of these dimensions can be held:
/// positive sides, at most kMaxSamples samples, and a float buffer that fits in
/// the memory available now.
void CheckImageSize(const std::string& path, std::uint64_t nWidth, std::uint64_t nHeight,
                    int nChannels);

/// Reads a PNG or PFM file; the format is recognised by the file's first bytes,
/// not by its name.
FloatImage ReadImage(const std::string& path);

/// Writes the image in the format of the path's extension. nPngBits (8 or 16)
/// is the sample depth of a PNG; PFM ignores it.
void WriteImage(const std::string& path, const FloatImage& image, int nPngBits);

FloatImage ReadPng(const std::string& path);
void WritePng(const std::string& path, const FloatImage& image, int nBits);
FloatImage ReadPfm(const std::string& path);
void WritePfm(const std::string& path, const FloatImage& image);

/// The integer sample that a float stands for in a file of nMax = 255 or 65535:
/// clamped to [0, 1] (a NaN counts as 1, as the plug-in writes it), scaled and
/// rounded to nearest.
std::uint32_t QuantizeSample(float fValue, std::uint32_t nMax) noexcept;

} // namespace gw::cli
