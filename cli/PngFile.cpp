// PngFile.cpp - PNG reading and writing through libpng.
//
// libpng reports errors by longjmp to the frame that called setjmp. Every
// function here that calls setjmp keeps only plain locals in its own frame; the
// objects that own memory (the libpng structures, the file, the pixel rows) live
// in the caller, so the jump skips no destructor and nothing leaks.
#include "FileUtil.h"
#include "ImageFile.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstring>

namespace gw::cli {

namespace {

/// Where the error handler leaves libpng's message before jumping.
struct PngErrorText
{
    char m_szText[200] = {};
};

[[noreturn]] void OnPngError(png_structp pPng, png_const_charp pMessage)
{
    auto* pError = static_cast<PngErrorText*>(png_get_error_ptr(pPng));
    if (pError != nullptr) {
        std::snprintf(pError->m_szText, sizeof pError->m_szText, "%s", pMessage);
    }
    png_longjmp(pPng, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

/// Owns a libpng read structure and its info structure.
class CPngReader
{
public:
    CPngReader()
    {
        m_pPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, &m_error, OnPngError, OnPngWarning);
        if (m_pPng != nullptr) {
            m_pInfo = png_create_info_struct(m_pPng);
        }
        if (m_pInfo == nullptr) {
            png_destroy_read_struct(&m_pPng, &m_pInfo, nullptr);
            throw std::bad_alloc();
        }
    }
    ~CPngReader() { png_destroy_read_struct(&m_pPng, &m_pInfo, nullptr); }
    CPngReader(const CPngReader&) = delete;
    CPngReader& operator=(const CPngReader&) = delete;

    png_structp m_pPng = nullptr;
    png_infop m_pInfo = nullptr;
    PngErrorText m_error;
};

/// Owns a libpng write structure and its info structure.
class CPngWriter
{
public:
    CPngWriter()
    {
        m_pPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, &m_error, OnPngError, OnPngWarning);
        if (m_pPng != nullptr) {
            m_pInfo = png_create_info_struct(m_pPng);
        }
        if (m_pInfo == nullptr) {
            png_destroy_write_struct(&m_pPng, &m_pInfo);
            throw std::bad_alloc();
        }
    }
    ~CPngWriter() { png_destroy_write_struct(&m_pPng, &m_pInfo); }
    CPngWriter(const CPngWriter&) = delete;
    CPngWriter& operator=(const CPngWriter&) = delete;

    png_structp m_pPng = nullptr;
    png_infop m_pInfo = nullptr;
    PngErrorText m_error;
};

/// What the header says, after the transformations to 8 or 16 bit grey or RGB.
struct PngHeader
{
    png_uint_32 nWidth = 0;
    png_uint_32 nHeight = 0;
    int nBits = 0;
    int nChannels = 0;
    bool bAlpha = false;
    png_size_t nRowBytes = 0;
};

bool ReadPngHeader(CPngReader& reader, std::FILE* pFile, PngHeader& header)
{
    if (setjmp(png_jmpbuf(reader.m_pPng)) != 0) {
        return false;
    }
    png_structp pPng = reader.m_pPng;
    png_infop pInfo = reader.m_pInfo;
    png_init_io(pPng, pFile);
    png_read_info(pPng, pInfo);

    const int nColorType = png_get_color_type(pPng, pInfo);
    const int nBits = png_get_bit_depth(pPng, pInfo);
    if (nColorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(pPng);
    }
    if (nColorType == PNG_COLOR_TYPE_GRAY && nBits < 8) {
        png_set_expand_gray_1_2_4_to_8(pPng);
    }
    if (nBits == 16 && std::endian::native == std::endian::little) {
        png_set_swap(pPng);
    }
    png_set_interlace_handling(pPng);
    png_read_update_info(pPng, pInfo);

    header.nWidth = png_get_image_width(pPng, pInfo);
    header.nHeight = png_get_image_height(pPng, pInfo);
    header.nBits = png_get_bit_depth(pPng, pInfo);
    header.nChannels = png_get_channels(pPng, pInfo);
    header.bAlpha = (png_get_color_type(pPng, pInfo) & PNG_COLOR_MASK_ALPHA) != 0;
    header.nRowBytes = png_get_rowbytes(pPng, pInfo);
    return true;
}

bool ReadPngRows(CPngReader& reader, png_bytepp ppRows)
{
    if (setjmp(png_jmpbuf(reader.m_pPng)) != 0) {
        return false;
    }
    png_read_image(reader.m_pPng, ppRows);
    png_read_end(reader.m_pPng, nullptr);
    return true;
}

bool WritePngRows(CPngWriter& writer, std::FILE* pFile, const FloatImage& image, int nBits,
                  png_bytepp ppRows)
{
    if (setjmp(png_jmpbuf(writer.m_pPng)) != 0) {
        return false;
    }
    png_structp pPng = writer.m_pPng;
    png_infop pInfo = writer.m_pInfo;
    png_init_io(pPng, pFile);
    png_set_IHDR(pPng, pInfo, static_cast<png_uint_32>(image.m_nWidth),
                 static_cast<png_uint_32>(image.m_nHeight), nBits,
                 image.m_nChannels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(pPng, pInfo);
    if (nBits == 16 && std::endian::native == std::endian::little) {
        png_set_swap(pPng);
    }
    png_write_image(pPng, ppRows);
    png_write_end(pPng, nullptr);
    return true;
}

std::string PngFailure(const std::string& path, const PngErrorText& error)
{
    return FileMessage(path, std::string("not a readable PNG file (") + error.m_szText + ")");
}

} // namespace



FloatImage ReadPng(const std::string& path)
{
    UniqueFile pFile = OpenForReading(path);
    CPngReader reader;
    PngHeader header;
    if (!ReadPngHeader(reader, pFile.get(), header)) {
        throw CImageFileError(PngFailure(path, reader.m_error));
    }
    if (header.bAlpha) {
        throw CImageFileError(FileMessage(
            path, "has an alpha channel, which is not supported (flatten or remove it first)"));
    }
    if ((header.nChannels != 1 && header.nChannels != 3)
        || (header.nBits != 8 && header.nBits != 16)) {
        throw CImageFileError(FileMessage(path, "unsupported PNG sample layout"));
    }
    CheckImageSize(path, header.nWidth, header.nHeight, header.nChannels);

    FloatImage image;
    image.m_nWidth = static_cast<int>(header.nWidth);
    image.m_nHeight = static_cast<int>(header.nHeight);
    image.m_nChannels = header.nChannels;
    image.m_nSourceBits = header.nBits;

    std::vector<png_byte> pixels(header.nRowBytes * header.nHeight);
    std::vector<png_bytep> rows(header.nHeight);
    for (png_uint_32 r = 0; r < header.nHeight; ++r) {
        rows[r] = pixels.data() + r * header.nRowBytes;
    }
    if (!ReadPngRows(reader, rows.data())) {
        throw CImageFileError(PngFailure(path, reader.m_error));
    }

    image.m_samples.resize(image.SampleCount());
    const std::size_t nCount = image.m_samples.size();
    if (header.nBits == 8) {
        for (std::size_t i = 0; i < nCount; ++i) {
            image.m_samples[i] = static_cast<float>(pixels[i]) / 255.0f;
        }
    }
    else {
        for (std::size_t i = 0; i < nCount; ++i) {
            std::uint16_t nValue;
            std::memcpy(&nValue, pixels.data() + 2 * i, sizeof nValue);
            image.m_samples[i] = static_cast<float>(nValue) / 65535.0f;
        }
    }
    return image;
}



void WritePng(const std::string& path, const FloatImage& image, int nBits)
{
    if (nBits != 8 && nBits != 16) {
        throw CImageFileError(FileMessage(path, "PNG sample depth must be 8 or 16"));
    }
    if (image.m_nChannels != 1 && image.m_nChannels != 3) {
        throw CImageFileError(FileMessage(path, "only grey and RGB images can be written"));
    }
    const std::uint32_t nMax = nBits == 8 ? 255u : 65535u;
    const std::size_t nCount = image.SampleCount();
    const std::size_t nBytesPerSample = static_cast<std::size_t>(nBits / 8);
    std::vector<png_byte> pixels(nCount * nBytesPerSample);
    for (std::size_t i = 0; i < nCount; ++i) {
        const std::uint32_t nValue = QuantizeSample(image.m_samples[i], nMax);
        if (nBits == 8) {
            pixels[i] = static_cast<png_byte>(nValue);
        }
        else {
            const auto nSample = static_cast<std::uint16_t>(nValue);
            std::memcpy(pixels.data() + 2 * i, &nSample, sizeof nSample);
        }
    }
    const std::size_t nRowBytes =
        static_cast<std::size_t>(image.m_nWidth) * image.m_nChannels * nBytesPerSample;
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.m_nHeight));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r] = pixels.data() + r * nRowBytes;
    }

    CPendingFile file(path);
    CPngWriter writer;
    if (!WritePngRows(writer, file.Get(), image, nBits, rows.data())) {
        throw CImageFileError(
            FileMessage(path, std::string("cannot write PNG (") + writer.m_error.m_szText + ")"));
    }
    file.Commit();
}

} // namespace gw::cli
