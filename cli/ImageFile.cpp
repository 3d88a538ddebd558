// ImageFile.cpp - format recognition, size checks and sample conversion shared
// by the PNG and PFM readers and writers.
#include "ImageFile.h"

#include "FileUtil.h"
#include "Platform.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace gw::cli {

namespace {

std::string LowerExtension(const std::string& path)
{
    const std::size_t nSlash = path.find_last_of('/');
    const std::size_t nDot = path.find_last_of('.');
    if (nDot == std::string::npos || (nSlash != std::string::npos && nDot < nSlash)) {
        return {};
    }
    std::string extension = path.substr(nDot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return extension;
}

} // namespace



ImageFormat FormatFromPath(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    if (extension == "png") {
        return ImageFormat::Png;
    }
    if (extension == "pfm") {
        return ImageFormat::Pfm;
    }
    throw CImageFileError(
        FileMessage(path, "unsupported output format (the name must end in .png or .pfm)"));
}



void CheckImageSize(const std::string& path, std::uint64_t nWidth, std::uint64_t nHeight,
                    int nChannels)
{
    if (nWidth == 0 || nHeight == 0) {
        throw CImageFileError(FileMessage(path, "image has no pixels"));
    }
    const std::string size = std::to_string(nWidth) + " x " + std::to_string(nHeight);
    // Each side is tested on its own first, so that the product cannot overflow.
    if (nWidth > kMaxSamples || nHeight > kMaxSamples
        || nWidth * nHeight > kMaxSamples / static_cast<std::uint64_t>(nChannels)) {
        throw CImageFileError(FileMessage(path, "image of " + size + " pixels is too large"));
    }
    const std::uint64_t nBytes = nWidth * nHeight * static_cast<std::uint64_t>(nChannels) * 4u;
    const std::uint64_t nAvailable = gw::platform::AvailablePhysicalMemory();
    if (nAvailable != 0 && nBytes > nAvailable) {
        throw CImageFileError(FileMessage(
            path, "image of " + size + " pixels needs " + std::to_string(nBytes >> 20)
                      + " MB as floats, but only " + std::to_string(nAvailable >> 20)
                      + " MB of memory are available"));
    }
}



FloatImage ReadImage(const std::string& path)
{
    unsigned char signature[8] = {};
    std::size_t nRead = 0;
    {
        UniqueFile pFile = OpenForReading(path);
        nRead = std::fread(signature, 1, sizeof signature, pFile.get());
    }
    static constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (nRead == sizeof signature && std::equal(signature, signature + 8, kPngSignature)) {
        return ReadPng(path);
    }
    if (nRead >= 3 && signature[0] == 'P' && (signature[1] == 'F' || signature[1] == 'f')
        && std::isspace(signature[2])) {
        return ReadPfm(path);
    }
    throw CImageFileError(FileMessage(path, "unsupported file format (expected PNG or PFM)"));
}



void WriteImage(const std::string& path, const FloatImage& image, int nPngBits)
{
    switch (FormatFromPath(path)) {
    case ImageFormat::Png:
        WritePng(path, image, nPngBits);
        break;
    case ImageFormat::Pfm:
        WritePfm(path, image);
        break;
    }
}



std::uint32_t QuantizeSample(float fValue, std::uint32_t nMax) noexcept
{
    if (!(fValue < 1.0f)) {
        return nMax;
    }
    if (!(fValue > 0.0f)) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::lround(static_cast<double>(fValue) * nMax));
}

} // namespace gw::cli
