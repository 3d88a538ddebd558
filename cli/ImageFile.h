// ImageFile.h - reading and writing the image files of the command-line tool.
//
// An image travels through the tool as interleaved float samples, row 0 at the
// top, one sample per pixel for grey and three (R, G, B) for colour, with an
// alpha plane of its own beside them when the file has one (the engine never
// sees it, and it is written back as read). Samples are taken as encoded: no
// colour conversion, integers read as value / 255 or value / 65535 and written
// back rounded to nearest, clamped to [0, 1]. The formats:
//   PNG  every colour type and depth: palette images become RGB (RGBA with a
//        transparency chunk), grey below 8 bits becomes 8 bits, 16 bits stay.
//        Text chunks are kept and written back into a PNG.
//   JPEG 8-bit grey or colour, baseline or progressive; CMYK is refused. Written
//        with a quality of 1..100; full-resolution chroma (4:4:4) from quality
//        90 up, 4:2:0 below.
//   TIFF 8- and 16-bit integer or 32-bit float samples, grey or RGB, with or
//        without one alpha sample, in strips or tiles, with any compression
//        libtiff decodes; written deflate-compressed in the image's depth.
//   PFM  32-bit IEEE floats, 'Pf' grey or 'PF' colour; a negative scale marks
//        little-endian samples, a positive one big-endian. The file stores the
//        bottom row first; the reader and writer turn it so that row 0 is the top
//        row in memory. Samples must be finite. No alpha.
// The ICC profile, EXIF, XMP and IPTC of an input are copied into an output by
// CopyMetadata (Metadata.cpp) where the output's format can hold them.
//
// Every failure throws CImageFileError with a message that names the file and
// says what is wrong; nothing is left half-written (the writers write a
// temporary file beside the target and rename it when complete).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw::cli {

/// A PNG text chunk: keyword and text, and whether it was compressed.
struct TextChunk
{
    std::string m_key;
    std::string m_text;
    bool m_bCompressed = false;
    bool m_bInternational = false;
};

/// Interleaved float samples of one image; row 0 is the top row.
struct FloatImage
{
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nChannels = 0;   ///< 1 grey, 3 RGB (colour planes; alpha is apart)
    int m_nSourceBits = 0; ///< bits per sample of the file it came from: 8, 16 or 32 (float)
    std::vector<float> m_samples;
    std::vector<float> m_alpha;     ///< one sample per pixel, or empty for no alpha
    std::vector<TextChunk> m_texts; ///< PNG text chunks other than metadata carriers

    bool HasAlpha() const noexcept { return !m_alpha.empty(); }

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
    Jpeg,
    Tiff,
};

/// How an image is written.
struct WriteSettings
{
    int m_nBits = 8;              ///< 8 or 16 for integer samples, 32 for float (TIFF, PFM)
    int m_nQuality = 92;          ///< JPEG quality 1..100
    std::string m_metadataSource; ///< file whose profile and metadata are copied; empty: none
};

/// Largest number of float samples an image may have: the engine indexes samples
/// with 32-bit signed integers.
constexpr std::uint64_t kMaxSamples = 0x7fffffffu;

/// The format that an output path asks for, from its extension (.png, .pfm,
/// .jpg/.jpeg, .tif/.tiff, any case). Throws CImageFileError for any other.
ImageFormat FormatFromPath(const std::string& path);

/// The usual extension of a format, without the dot.
const char* FormatExtension(ImageFormat format) noexcept;

/// Throws CImageFileError naming the path when the format cannot hold the image
/// at this depth (or its alpha) as it is.
void CheckWritable(const std::string& path, ImageFormat format, const FloatImage& image, int nBits);

/// Throws CImageFileError unless an image of these dimensions can be held:
/// positive sides, at most kMaxSamples samples, and a float buffer that fits in
/// the memory available now.
void CheckImageSize(const std::string& path, std::uint64_t nWidth, std::uint64_t nHeight,
                    int nChannels);

/// What a file's header says of its image: the size and the colour samples per
/// pixel (1 or 3; alpha is not counted).
struct ImageShape
{
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nChannels = 0;
};

/// Hears an image's shape once its header is read and its size accepted, before
/// the samples are decoded (on the reading thread).
using ShapeListener = std::function<void(const ImageShape&)>;

/// Passes the shape to a non-empty listener; sizes as CheckImageSize accepted them.
void TellShape(const ShapeListener& onShape, std::uint64_t nWidth, std::uint64_t nHeight,
               int nChannels);

/// Reads a PNG, JPEG, TIFF or PFM file; the format is recognised by the file's first bytes,
/// not by its name. A non-empty onShape hears the image's shape before its samples
/// are decoded, so that a caller can prepare for it meanwhile; it is not called for
/// a file that fails before its size is known.
FloatImage ReadImage(const std::string& path, const ShapeListener& onShape = {});

/// Writes the image in the format of the path's extension, then copies the
/// metadata of settings.m_metadataSource into it before it replaces the target.
void WriteImage(const std::string& path, const FloatImage& image, const WriteSettings& settings);
/// The same with nBits and no metadata.
void WriteImage(const std::string& path, const FloatImage& image, int nBits);

class CPendingFile;

FloatImage ReadPng(const std::string& path, const ShapeListener& onShape = {});
void WritePng(const std::string& path, const FloatImage& image, int nBits);
void WritePng(CPendingFile& file, const FloatImage& image, int nBits);
FloatImage ReadPfm(const std::string& path, const ShapeListener& onShape = {});
void WritePfm(const std::string& path, const FloatImage& image);
void WritePfm(CPendingFile& file, const FloatImage& image);
FloatImage ReadJpeg(const std::string& path, const ShapeListener& onShape = {});
void WriteJpeg(CPendingFile& file, const FloatImage& image, int nQuality);
FloatImage ReadTiff(const std::string& path, const ShapeListener& onShape = {});
void WriteTiff(CPendingFile& file, const FloatImage& image, int nBits);

/// Copies the ICC profile, EXIF (without its thumbnail and the tags that
/// describe the source's own pixel layout), XMP and IPTC of source into the
/// finished file at target, as far as target's format holds them. A source
/// without metadata, or of a format without any (PFM), copies nothing. Throws
/// CImageFileError naming displayName.
void CopyMetadata(const std::string& source, const std::string& target,
                  const std::string& displayName);

/// The integer sample that a float stands for in a file of nMax = 255 or 65535:
/// clamped to [0, 1] (a NaN counts as 1, as the plug-in writes it), scaled and
/// rounded to nearest.
/// Keeps a written image's sample buffer for the next image that is read (of
/// about its size), so that a batch does not make fresh pages for every photo.
/// One buffer is kept; a new one replaces it.
void KeepSpareSamples(std::vector<float>&& samples) noexcept;
/// The kept buffer, emptied, when its capacity fits nCount samples without
/// wasting more than a quarter; else an empty vector (and the kept one is freed).
std::vector<float> TakeSpareSamples(std::size_t nCount) noexcept;

/// Inline, as it runs once per written sample: the product of a float and a
/// 16-bit maximum, plus 0.5, is exact in a double (from 2^-13 up; below, it
/// stays under 1), so truncating it rounds half away from zero as std::lround
/// does, without the library call.
/// Written without branches (NaN and 1 and above clamp to 1 first, then 0 and
/// below to 0), so that a row of samples compiles to vector code.
inline std::uint32_t QuantizeSample(float fValue, std::uint32_t nMax) noexcept
{
    const float fHigh = fValue < 1.0f ? fValue : 1.0f;
    const float fClamped = fHigh > 0.0f ? fHigh : 0.0f;
    return static_cast<std::uint32_t>(
        static_cast<std::int32_t>(static_cast<double>(fClamped) * nMax + 0.5));
}

} // namespace gw::cli
