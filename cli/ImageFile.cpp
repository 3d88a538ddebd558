// ImageFile.cpp - format recognition, size checks and sample conversion shared
// by the readers and writers of every format.
#include "ImageFile.h"

#include "FileUtil.h"
#include "Platform.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <mutex>

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
    if (extension == "jpg" || extension == "jpeg") {
        return ImageFormat::Jpeg;
    }
    if (extension == "tif" || extension == "tiff") {
        return ImageFormat::Tiff;
    }
    throw CImageFileError(FileMessage(
        path, "unsupported output format (the name must end in .jpg, .jpeg, .tif, .tiff, .png "
              "or .pfm)"));
}



const char* FormatExtension(ImageFormat format) noexcept
{
    switch (format) {
    case ImageFormat::Png:
        return "png";
    case ImageFormat::Pfm:
        return "pfm";
    case ImageFormat::Jpeg:
        return "jpg";
    case ImageFormat::Tiff:
        return "tif";
    }
    return "";
}



void CheckWritable(const std::string& path, ImageFormat format, const FloatImage& image, int nBits)
{
    const char* pWhat = nullptr;
    switch (format) {
    case ImageFormat::Png:
        if (nBits != 8 && nBits != 16) {
            pWhat = "PNG holds 8 or 16 bits per sample, not 32-bit floats (use --depth 8 or 16)";
        }
        break;
    case ImageFormat::Jpeg:
        if (image.HasAlpha()) {
            pWhat = "JPEG cannot hold the alpha channel (write a PNG or TIFF instead)";
        } else if (nBits != 8) {
            pWhat = nBits == 16 ? "JPEG holds 8 bits per sample, not 16 (use --depth 8)"
                                : "JPEG holds 8 bits per sample, not 32-bit floats (use --depth 8)";
        }
        break;
    case ImageFormat::Tiff:
        if (nBits != 8 && nBits != 16 && nBits != 32) {
            pWhat = "TIFF sample depth must be 8, 16 or 32";
        }
        break;
    case ImageFormat::Pfm:
        if (image.HasAlpha()) {
            pWhat = "PFM cannot hold the alpha channel (write a PNG or TIFF instead)";
        } else if (nBits != 32) {
            pWhat = "PFM holds 32-bit floats only (leave out --depth or use --depth 32)";
        }
        break;
    }
    if (pWhat != nullptr) {
        throw CImageFileError(FileMessage(path, pWhat));
    }
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
        || nWidth * nHeight > kMaxSamples / static_cast<std::uint64_t>(nChannels))
    {
        throw CImageFileError(FileMessage(path, "image of " + size + " pixels is too large"));
    }
    const std::uint64_t nBytes = nWidth * nHeight * static_cast<std::uint64_t>(nChannels) * 4u;
    const std::uint64_t nAvailable = gw::platform::AvailablePhysicalMemory();
    if (nAvailable != 0 && nBytes > nAvailable) {
        throw CImageFileError(
            FileMessage(path, "image of " + size + " pixels needs " + std::to_string(nBytes >> 20)
                                  + " MB as floats, but only " + std::to_string(nAvailable >> 20)
                                  + " MB of memory are available"));
    }
}



void TellShape(const ShapeListener& onShape, std::uint64_t nWidth, std::uint64_t nHeight,
               int nChannels)
{
    if (onShape) {
        onShape(ImageShape{static_cast<int>(nWidth), static_cast<int>(nHeight), nChannels});
    }
}



FloatImage ReadImage(const std::string& path, const ShapeListener& onShape)
{
    unsigned char signature[8] = {};
    std::size_t nRead = 0;
    {
        UniqueFile pFile = OpenForReading(path);
        nRead = std::fread(signature, 1, sizeof signature, pFile.get());
    }
    static constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (nRead == sizeof signature && std::equal(signature, signature + 8, kPngSignature)) {
        return ReadPng(path, onShape);
    }
    if (nRead >= 3 && signature[0] == 0xff && signature[1] == 0xd8 && signature[2] == 0xff) {
        return ReadJpeg(path, onShape);
    }
    if (nRead >= 4
        && ((signature[0] == 'I' && signature[1] == 'I'
             && (signature[2] == 42 || signature[2] == 43) && signature[3] == 0)
            || (signature[0] == 'M' && signature[1] == 'M' && signature[2] == 0
                && (signature[3] == 42 || signature[3] == 43))))
    {
        return ReadTiff(path, onShape);
    }
    if (nRead >= 3 && signature[0] == 'P' && (signature[1] == 'F' || signature[1] == 'f')
        && std::isspace(signature[2]))
    {
        return ReadPfm(path, onShape);
    }
    throw CImageFileError(
        FileMessage(path, "unsupported file format (expected JPEG, TIFF, PNG or PFM)"));
}



void WriteImage(const std::string& path, const FloatImage& image, const WriteSettings& settings)
{
    const ImageFormat format = FormatFromPath(path);
    CheckWritable(path, format, image, settings.m_nBits);
    CPendingFile file(path);
    switch (format) {
    case ImageFormat::Png:
        WritePng(file, image, settings.m_nBits);
        break;
    case ImageFormat::Pfm:
        WritePfm(file, image);
        break;
    case ImageFormat::Jpeg:
        WriteJpeg(file, image, settings.m_nQuality);
        break;
    case ImageFormat::Tiff:
        WriteTiff(file, image, settings.m_nBits);
        break;
    }
    file.Close();
    if (!settings.m_metadataSource.empty() && format != ImageFormat::Pfm) {
        CopyMetadata(settings.m_metadataSource, file.TemporaryPath(), path);
    }
    file.Commit();
}



void WriteImage(const std::string& path, const FloatImage& image, int nBits)
{
    WriteSettings settings;
    settings.m_nBits = FormatFromPath(path) == ImageFormat::Pfm ? 32 : nBits;
    WriteImage(path, image, settings);
}



namespace {

std::mutex g_spareMutex;
std::vector<float> g_spareSamples;

} // namespace



void KeepSpareSamples(std::vector<float>&& samples) noexcept
{
    std::vector<float> old;
    std::lock_guard<std::mutex> lock(g_spareMutex);
    old.swap(g_spareSamples);
    g_spareSamples.swap(samples);
}



std::vector<float> TakeSpareSamples(std::size_t nCount) noexcept
{
    std::vector<float> spare;
    {
        std::lock_guard<std::mutex> lock(g_spareMutex);
        spare.swap(g_spareSamples);
    }
    if (spare.capacity() < nCount || spare.capacity() - nCount > nCount / 4) {
        return {};
    }
    spare.clear();
    return spare;
}

} // namespace gw::cli
