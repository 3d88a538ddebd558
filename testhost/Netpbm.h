// Netpbm.h - greyscale and colour Netpbm images (PGM, PPM; binary and plain;
// 8-bit and 16-bit samples) and the conversion to and from the sample ranges a
// filter host uses (0..255 for 8-bit, 0..32768 for 16-bit modes).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw::host {

/// Thrown for a file that is not a readable PGM/PPM; the text says what is wrong.
class NetpbmError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct NetpbmImage
{
    std::int64_t nWidth = 0;
    std::int64_t nHeight = 0;
    int nPlanes = 0;                    ///< 1 (PGM) or 3 (PPM)
    int nMaxval = 0;                    ///< 1..65535; above 255 the file has 2-byte samples
    bool bPlain = false;                ///< ASCII form (P2/P3) rather than binary (P5/P6)
    std::vector<std::uint16_t> samples; ///< row by row, planes interleaved

    bool IsDeep() const noexcept { return nMaxval > 255; }
    std::int64_t SampleCount() const noexcept { return nWidth * nHeight * nPlanes; }
};

/// Decodes a PGM or PPM file held in memory. Throws NetpbmError; name is used in messages.
NetpbmImage DecodeNetpbm(std::span<const std::uint8_t> bytes, const std::string& name);

/// Encodes in the image's own format (P2/P3/P5/P6 by planes and bPlain).
std::vector<std::uint8_t> EncodeNetpbm(const NetpbmImage& image);

/// Reads and decodes a file; throws NetpbmError (also when it cannot be read).
NetpbmImage ReadNetpbm(const std::string& path);

/// Encodes and writes a file; throws NetpbmError when it cannot be written completely.
void WriteNetpbm(const std::string& path, const NetpbmImage& image);

/// File sample (0..maxval) to the host's range: 0..255 when maxval <= 255,
/// else 0..32768 (v = round(s * 32768 / maxval)).
std::uint16_t ToHostSample(std::uint32_t nSample, int nMaxval) noexcept;

/// Host sample back to the file's range; host values above the range's top
/// (255 or 32768) are taken as the top.
std::uint16_t FromHostSample(std::uint32_t nHost, int nMaxval) noexcept;

} // namespace gw::host
