// Netpbm.cpp - PGM/PPM reading and writing and the host sample ranges.
#include "Netpbm.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

namespace gw::host {

namespace {

constexpr std::int64_t kMaxSide = std::int64_t{1} << 30;

class CReader
{
public:
    CReader(std::span<const std::uint8_t> bytes, const std::string& name)
        : m_bytes(bytes), m_name(name)
    {}

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw NetpbmError(m_name + ": " + what);
    }

    bool AtEnd() const noexcept { return m_nPos >= m_bytes.size(); }

    // Skips white space and comments (a comment runs from '#' to the line end).
    void SkipSpace()
    {
        while (!AtEnd()) {
            const std::uint8_t ch = m_bytes[m_nPos];
            if (ch == '#') {
                while (!AtEnd() && m_bytes[m_nPos] != '\n' && m_bytes[m_nPos] != '\r') {
                    ++m_nPos;
                }
            } else if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v'
                       || ch == '\f') {
                ++m_nPos;
            } else {
                return;
            }
        }
    }

    std::int64_t Number(const char* what, std::int64_t nMax)
    {
        SkipSpace();
        if (AtEnd()) {
            Fail(std::string("the file is truncated (no ") + what + ")");
        }
        if (m_bytes[m_nPos] < '0' || m_bytes[m_nPos] > '9') {
            Fail(std::string("expected a number for the ") + what);
        }
        std::int64_t value = 0;
        while (!AtEnd() && m_bytes[m_nPos] >= '0' && m_bytes[m_nPos] <= '9') {
            value = value * 10 + (m_bytes[m_nPos] - '0');
            if (value > nMax) {
                Fail(std::string("the ") + what + " is too large");
            }
            ++m_nPos;
        }
        return value;
    }

    std::uint8_t Byte() { return m_bytes[m_nPos++]; }
    std::size_t Remaining() const noexcept { return m_bytes.size() - m_nPos; }

private:
    std::span<const std::uint8_t> m_bytes;
    const std::string& m_name;
    std::size_t m_nPos = 0;
};

} // namespace

NetpbmImage DecodeNetpbm(std::span<const std::uint8_t> bytes, const std::string& name)
{
    CReader reader(bytes, name);
    if (bytes.size() < 2 || bytes[0] != 'P') {
        reader.Fail("not a PGM or PPM file (no P2, P3, P5 or P6 signature)");
    }
    NetpbmImage image;
    switch (bytes[1]) {
    case '2':
        image.nPlanes = 1;
        image.bPlain = true;
        break;
    case '3':
        image.nPlanes = 3;
        image.bPlain = true;
        break;
    case '5':
        image.nPlanes = 1;
        break;
    case '6':
        image.nPlanes = 3;
        break;
    default:
        reader.Fail("unsupported Netpbm type P" + std::string(1, static_cast<char>(bytes[1]))
                    + " (only PGM and PPM are read)");
    }
    reader.Byte();
    reader.Byte();
    image.nWidth = reader.Number("width", kMaxSide);
    image.nHeight = reader.Number("height", kMaxSide);
    image.nMaxval = static_cast<int>(reader.Number("maximum value", 65535));
    if (image.nWidth == 0 || image.nHeight == 0) {
        reader.Fail("the image is empty (width or height 0)");
    }
    if (image.nMaxval == 0) {
        reader.Fail("the maximum value is 0");
    }

    const std::int64_t nSamples = image.SampleCount();
    if (image.bPlain) {
        // Each plain sample needs at least two bytes (a digit and a separator).
        if (static_cast<std::uint64_t>(nSamples) > bytes.size()) {
            reader.Fail("the file is truncated (fewer samples than width x height)");
        }
        image.samples.resize(static_cast<std::size_t>(nSamples));
        for (auto& sample : image.samples) {
            const std::int64_t value = reader.Number("sample", 65535);
            if (value > image.nMaxval) {
                reader.Fail("a sample exceeds the maximum value");
            }
            sample = static_cast<std::uint16_t>(value);
        }
        return image;
    }

    // Exactly one white-space byte separates the header from the binary data.
    if (reader.AtEnd()) {
        reader.Fail("the file is truncated (no pixel data)");
    }
    reader.Byte();
    const std::uint64_t nBytesPerSample = image.IsDeep() ? 2 : 1;
    if (static_cast<std::uint64_t>(nSamples) > reader.Remaining() / nBytesPerSample) {
        reader.Fail("the file is truncated (fewer samples than width x height)");
    }
    image.samples.resize(static_cast<std::size_t>(nSamples));
    for (auto& sample : image.samples) {
        std::uint32_t value = reader.Byte();
        if (nBytesPerSample == 2) {
            value = (value << 8) | reader.Byte();
        }
        if (value > static_cast<std::uint32_t>(image.nMaxval)) {
            reader.Fail("a sample exceeds the maximum value");
        }
        sample = static_cast<std::uint16_t>(value);
    }
    return image;
}

std::vector<std::uint8_t> EncodeNetpbm(const NetpbmImage& image)
{
    const char type = image.nPlanes == 3 ? (image.bPlain ? '3' : '6') : (image.bPlain ? '2' : '5');
    char header[96];
    const int nHeader = std::snprintf(header, sizeof header, "P%c\n%lld %lld\n%d\n", type,
                                      static_cast<long long>(image.nWidth),
                                      static_cast<long long>(image.nHeight), image.nMaxval);
    std::vector<std::uint8_t> out(header, header + nHeader);
    if (image.bPlain) {
        std::int64_t nInRow = 0;
        const std::int64_t nRowSamples = image.nWidth * image.nPlanes;
        for (std::uint16_t sample : image.samples) {
            char text[8];
            const int n = std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(sample));
            out.insert(out.end(), text, text + n);
            out.push_back(++nInRow == nRowSamples ? '\n' : ' ');
            nInRow %= nRowSamples;
        }
        return out;
    }
    out.reserve(out.size() + image.samples.size() * (image.IsDeep() ? 2 : 1));
    for (std::uint16_t sample : image.samples) {
        if (image.IsDeep()) {
            out.push_back(static_cast<std::uint8_t>(sample >> 8));
        }
        out.push_back(static_cast<std::uint8_t>(sample));
    }
    return out;
}

NetpbmImage ReadNetpbm(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw NetpbmError(path + ": cannot open the file");
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (file.bad()) {
        throw NetpbmError(path + ": read error");
    }
    return DecodeNetpbm(bytes, path);
}

void WriteNetpbm(const std::string& path, const NetpbmImage& image)
{
    const std::vector<std::uint8_t> bytes = EncodeNetpbm(image);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        throw NetpbmError(path + ": cannot create the file");
    }
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw NetpbmError(path + ": write error (disk full?)");
    }
}

std::uint16_t ToHostSample(std::uint32_t nSample, int nMaxval) noexcept
{
    const std::uint32_t nMax = static_cast<std::uint32_t>(nMaxval);
    const std::uint32_t nTop = nMax > 255 ? 32768 : 255;
    if (nMax == nTop) {
        return static_cast<std::uint16_t>(nSample);
    }
    return static_cast<std::uint16_t>((std::uint64_t{nSample} * nTop * 2 + nMax) / (2 * nMax));
}

std::uint16_t FromHostSample(std::uint32_t nHost, int nMaxval) noexcept
{
    const std::uint32_t nMax = static_cast<std::uint32_t>(nMaxval);
    const std::uint32_t nTop = nMax > 255 ? 32768 : 255;
    if (nHost > nTop) {
        nHost = nTop;
    }
    if (nMax == nTop) {
        return static_cast<std::uint16_t>(nHost);
    }
    return static_cast<std::uint16_t>((std::uint64_t{nHost} * nMax * 2 + nTop) / (2 * nTop));
}

} // namespace gw::host
