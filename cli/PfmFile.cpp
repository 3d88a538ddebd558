// PfmFile.cpp - portable float map reading and writing.
//
// Header: "PF" (colour) or "Pf" (grey), the width, the height and the scale,
// separated by white space, then exactly one white-space character and the
// samples as 32-bit floats, the bottom row first. The sign of the scale gives
// the byte order: negative little-endian, positive big-endian.
#include "FileUtil.h"
#include "ImageFile.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

namespace gw::cli {

namespace {

constexpr int kMaxTokenLength = 32;

/// The next white-space separated header token; the single white-space byte that
/// ends it is consumed. Returns an empty string at the end of the file.
std::string ReadToken(std::FILE* pFile)
{
    int ch = std::fgetc(pFile);
    while (ch != EOF && std::isspace(ch)) {
        ch = std::fgetc(pFile);
    }
    std::string token;
    while (ch != EOF && !std::isspace(ch) && token.size() <= kMaxTokenLength) {
        token.push_back(static_cast<char>(ch));
        ch = std::fgetc(pFile);
    }
    return token;
}

bool ParseHeaderNumber(const std::string& token, std::uint64_t& nValue)
{
    const char* pEnd = token.data() + token.size();
    const auto result = std::from_chars(token.data(), pEnd, nValue);
    return !token.empty() && result.ec == std::errc() && result.ptr == pEnd;
}

bool ParseScale(const std::string& token, float& fScale)
{
    const char* pEnd = token.data() + token.size();
    const auto result = std::from_chars(token.data(), pEnd, fScale);
    return !token.empty() && result.ec == std::errc() && result.ptr == pEnd && std::isfinite(fScale)
        && fScale != 0.0f;
}

std::uint32_t SwapBytes(std::uint32_t n) noexcept
{
    return (n >> 24) | ((n >> 8) & 0xff00u) | ((n << 8) & 0xff0000u) | (n << 24);
}

/// Bytes left in the file from the current position, or -1 when it cannot tell
/// (a pipe, say).
long long RemainingBytes(std::FILE* pFile)
{
    const long nHere = std::ftell(pFile);
    if (nHere < 0 || std::fseek(pFile, 0, SEEK_END) != 0) {
        return -1;
    }
    const long nEnd = std::ftell(pFile);
    if (nEnd < 0 || std::fseek(pFile, nHere, SEEK_SET) != 0) {
        return -1;
    }
    return static_cast<long long>(nEnd) - nHere;
}

} // namespace



FloatImage ReadPfm(const std::string& path, const ShapeListener& onShape)
{
    UniqueFile pFile = OpenForReading(path);
    const std::string magic = ReadToken(pFile.get());
    if (magic != "PF" && magic != "Pf") {
        throw CImageFileError(FileMessage(path, "not a PFM file (expected 'PF' or 'Pf')"));
    }
    std::uint64_t nWidth = 0;
    std::uint64_t nHeight = 0;
    float fScale = 0.0f;
    if (!ParseHeaderNumber(ReadToken(pFile.get()), nWidth)
        || !ParseHeaderNumber(ReadToken(pFile.get()), nHeight))
    {
        throw CImageFileError(FileMessage(path, "PFM header has no valid width and height"));
    }
    if (!ParseScale(ReadToken(pFile.get()), fScale)) {
        throw CImageFileError(
            FileMessage(path, "PFM header has no valid scale (a finite non-zero number)"));
    }
    const int nChannels = magic == "PF" ? 3 : 1;
    CheckImageSize(path, nWidth, nHeight, nChannels);

    FloatImage image;
    image.m_nWidth = static_cast<int>(nWidth);
    image.m_nHeight = static_cast<int>(nHeight);
    image.m_nChannels = nChannels;
    image.m_nSourceBits = 32;
    const std::size_t nCount = image.SampleCount();
    const long long nRemaining = RemainingBytes(pFile.get());
    if (nRemaining >= 0 && static_cast<std::uint64_t>(nRemaining) < nCount * sizeof(float)) {
        throw CImageFileError(FileMessage(path, "PFM file is truncated"));
    }
    TellShape(onShape, nWidth, nHeight, nChannels);

    // The file holds the bottom row first: read each file row into its place
    // counted from the bottom.
    image.m_samples.resize(nCount);
    const std::size_t nRowSamples = nCount / nHeight;
    for (std::size_t i = 0; i < nHeight; ++i) {
        float* pRow = image.m_samples.data() + (nHeight - 1 - i) * nRowSamples;
        if (std::fread(pRow, sizeof(float), nRowSamples, pFile.get()) != nRowSamples) {
            throw CImageFileError(FileMessage(path, "PFM file is truncated"));
        }
    }

    const bool bFileLittle = fScale < 0.0f;
    const bool bSwap = bFileLittle != (std::endian::native == std::endian::little);
    for (float& fSample : image.m_samples) {
        if (bSwap) {
            fSample = std::bit_cast<float>(SwapBytes(std::bit_cast<std::uint32_t>(fSample)));
        }
        if (!std::isfinite(fSample)) {
            throw CImageFileError(
                FileMessage(path, "PFM file holds a sample that is not a finite number"));
        }
    }
    return image;
}



void WritePfm(CPendingFile& file, const FloatImage& image)
{
    if (image.m_nChannels != 1 && image.m_nChannels != 3) {
        throw CImageFileError(
            FileMessage(file.Target(), "only grey and RGB images can be written"));
    }
    const bool bLittle = std::endian::native == std::endian::little;
    std::fprintf(file.Get(), "%s\n%d %d\n%s\n", image.m_nChannels == 3 ? "PF" : "Pf",
                 image.m_nWidth, image.m_nHeight, bLittle ? "-1.0" : "1.0");
    const std::size_t nRowSamples =
        static_cast<std::size_t>(image.m_nWidth) * static_cast<std::size_t>(image.m_nChannels);
    for (int r = image.m_nHeight - 1; r >= 0; --r) {
        const float* pRow = image.m_samples.data() + static_cast<std::size_t>(r) * nRowSamples;
        std::fwrite(pRow, sizeof(float), nRowSamples, file.Get());
    }
}



void WritePfm(const std::string& path, const FloatImage& image)
{
    CPendingFile file(path);
    WritePfm(file, image);
    file.Commit();
}

} // namespace gw::cli
