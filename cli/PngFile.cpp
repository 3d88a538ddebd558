// PngFile.cpp - PNG reading and writing through libpng.
//
// libpng reports errors by longjmp to the frame that called setjmp. Every
// function here that calls setjmp keeps only plain locals in its own frame; the
// objects that own memory (the libpng structures, the file, the pixel rows) live
// in the caller, so the jump skips no destructor and nothing leaks.
#include "FileUtil.h"
#include "ImageFile.h"
#include "SampleRows.h"

#include <png.h>
#include <zlib.h>

#include <bit>
#include <csetjmp>
#include <cstring>

namespace gw::cli {

namespace {

constexpr int kPngCompressionLevel = 1;

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

/// What the header says, after the transformations to 8 or 16 bit grey or RGB
/// with or without alpha.
struct PngHeader
{
    png_uint_32 nWidth = 0;
    png_uint_32 nHeight = 0;
    int nBits = 0;
    int nChannels = 0; ///< samples per pixel in the file's rows, alpha included
    bool bAlpha = false;
    int nPasses = 1;
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
    if (png_get_valid(pPng, pInfo, PNG_INFO_tRNS) != 0) {
        png_set_tRNS_to_alpha(pPng);
    }
    if (nBits == 16 && std::endian::native == std::endian::little) {
        png_set_swap(pPng);
    }
    header.nPasses = png_set_interlace_handling(pPng);
    png_read_update_info(pPng, pInfo);

    header.nWidth = png_get_image_width(pPng, pInfo);
    header.nHeight = png_get_image_height(pPng, pInfo);
    header.nBits = png_get_bit_depth(pPng, pInfo);
    header.nChannels = png_get_channels(pPng, pInfo);
    header.bAlpha = (png_get_color_type(pPng, pInfo) & PNG_COLOR_MASK_ALPHA) != 0;
    header.nRowBytes = png_get_rowbytes(pPng, pInfo);
    return true;
}

/// Reads the rows: all at once into ppRows for an interlaced file, else one at a
/// time into ppRows[0], each handed to convert.
template <class Convert>
bool ReadPngRows(CPngReader& reader, const PngHeader& header, png_bytepp ppRows, Convert& convert)
{
    if (setjmp(png_jmpbuf(reader.m_pPng)) != 0) {
        return false;
    }
    if (header.nPasses > 1) {
        png_read_image(reader.m_pPng, ppRows);
        for (png_uint_32 r = 0; r < header.nHeight; ++r) {
            convert(ppRows[r], r);
        }
    } else {
        for (png_uint_32 r = 0; r < header.nHeight; ++r) {
            png_read_row(reader.m_pPng, ppRows[0], nullptr);
            convert(ppRows[0], r);
        }
    }
    png_read_end(reader.m_pPng, reader.m_pInfo);
    return true;
}

bool ReadPngTexts(CPngReader& reader, std::vector<TextChunk>& texts)
{
    if (setjmp(png_jmpbuf(reader.m_pPng)) != 0) {
        return false;
    }
    png_textp pTexts = nullptr;
    int nTexts = 0;
    png_get_text(reader.m_pPng, reader.m_pInfo, &pTexts, &nTexts);
    for (int i = 0; i < nTexts; ++i) {
        const std::string key = pTexts[i].key;
        // XMP and the raw EXIF and IPTC profiles travel with the metadata.
        if (key == "XML:com.adobe.xmp" || key.rfind("Raw profile type", 0) == 0) {
            continue;
        }
        TextChunk chunk;
        chunk.m_key = key;
        const bool bInternational = pTexts[i].compression >= PNG_ITXT_COMPRESSION_NONE;
        chunk.m_text.assign(pTexts[i].text,
                            bInternational ? pTexts[i].itxt_length : pTexts[i].text_length);
        chunk.m_bCompressed = pTexts[i].compression == PNG_TEXT_COMPRESSION_zTXt
                           || pTexts[i].compression == PNG_ITXT_COMPRESSION_zTXt;
        chunk.m_bInternational = bInternational;
        texts.push_back(std::move(chunk));
    }
    return true;
}

/// Writes the header, the text chunks and the rows, each made by pack into
/// ppRows[0] just before it is written.
template <class Pack>
bool WritePngRows(CPngWriter& writer, std::FILE* pFile, const FloatImage& image, int nBits,
                  png_textp pTexts, int nTexts, png_bytepp ppRows, Pack& pack)
{
    if (setjmp(png_jmpbuf(writer.m_pPng)) != 0) {
        return false;
    }
    png_structp pPng = writer.m_pPng;
    png_infop pInfo = writer.m_pInfo;
    png_init_io(pPng, pFile);
    const int nColorType = (image.m_nChannels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY)
                         | (image.HasAlpha() ? PNG_COLOR_MASK_ALPHA : 0);
    png_set_IHDR(pPng, pInfo, static_cast<png_uint_32>(image.m_nWidth),
                 static_cast<png_uint_32>(image.m_nHeight), nBits, nColorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // A photo compresses little better at zlib's higher levels, which cost
    // several times the time; the Up filter alone is cheap and keeps most of
    // what the adaptive filter choice gains. Its filtered rows hold few
    // repeats worth a match: Huffman codes alone make files as small as level
    // 1's matches do (often smaller) in about half the time.
    png_set_compression_level(pPng, kPngCompressionLevel);
    png_set_compression_strategy(pPng, Z_HUFFMAN_ONLY);
    png_set_filter(pPng, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    if (nTexts > 0) {
        png_set_text(pPng, pInfo, pTexts, nTexts);
    }
    png_write_info(pPng, pInfo);
    if (nBits == 16 && std::endian::native == std::endian::little) {
        png_set_swap(pPng);
    }
    for (int r = 0; r < image.m_nHeight; ++r) {
        pack(ppRows[0], r);
        png_write_row(pPng, ppRows[0]);
    }
    png_write_end(pPng, nullptr);
    return true;
}

std::string PngFailure(const std::string& path, const PngErrorText& error)
{
    return FileMessage(path, std::string("not a readable PNG file (") + error.m_szText + ")");
}

} // namespace



FloatImage ReadPng(const std::string& path, const ShapeListener& onShape)
{
    UniqueFile pFile = OpenForReading(path);
    CPngReader reader;
    PngHeader header;
    if (!ReadPngHeader(reader, pFile.get(), header)) {
        throw CImageFileError(PngFailure(path, reader.m_error));
    }
    const int nColour = header.nChannels - (header.bAlpha ? 1 : 0);
    if ((nColour != 1 && nColour != 3) || (header.nBits != 8 && header.nBits != 16)) {
        throw CImageFileError(FileMessage(path, "unsupported PNG sample layout"));
    }
    CheckImageSize(path, header.nWidth, header.nHeight, nColour);
    TellShape(onShape, header.nWidth, header.nHeight, nColour);

    FloatImage image;
    AllocateImage(image, static_cast<int>(header.nWidth), static_cast<int>(header.nHeight), nColour,
                  header.bAlpha, header.nBits);

    // An interlaced file is decoded whole; any other one row at a time.
    const png_uint_32 nBufferRows = header.nPasses > 1 ? header.nHeight : 1;
    std::vector<png_byte> pixels(header.nRowBytes * nBufferRows);
    std::vector<png_bytep> rows(nBufferRows);
    for (png_uint_32 r = 0; r < nBufferRows; ++r) {
        rows[r] = pixels.data() + r * header.nRowBytes;
    }
    const int nWidth = image.m_nWidth;
    auto convert = [&image, nWidth, nColour, &header](png_bytep pRow, png_uint_32 r) {
        const int nRow = static_cast<int>(r);
        if (header.nBits == 8) {
            UnpackRow(pRow, nWidth, nColour, ColourRow(image, nRow), AlphaRow(image, nRow));
        } else {
            UnpackRow(reinterpret_cast<const std::uint16_t*>(pRow), nWidth, nColour,
                      ColourRow(image, nRow), AlphaRow(image, nRow));
        }
    };
    if (!ReadPngRows(reader, header, rows.data(), convert) || !ReadPngTexts(reader, image.m_texts))
    {
        throw CImageFileError(PngFailure(path, reader.m_error));
    }
    return image;
}



void WritePng(CPendingFile& file, const FloatImage& image, int nBits)
{
    const std::string& path = file.Target();
    if (nBits != 8 && nBits != 16) {
        throw CImageFileError(FileMessage(path, "PNG sample depth must be 8 or 16"));
    }
    if (image.m_nChannels != 1 && image.m_nChannels != 3) {
        throw CImageFileError(FileMessage(path, "only grey and RGB images can be written"));
    }
    const int nPerPixel = image.m_nChannels + (image.HasAlpha() ? 1 : 0);
    const std::size_t nRowBytes =
        static_cast<std::size_t>(image.m_nWidth) * static_cast<std::size_t>(nPerPixel * nBits / 8);
    // libpng wants 16-bit rows aligned for its byte swap; a uint16 buffer is.
    std::vector<std::uint16_t> row((nRowBytes + 1) / 2);
    png_bytep pRow = reinterpret_cast<png_bytep>(row.data());
    const int nWidth = image.m_nWidth;
    const int nColour = image.m_nChannels;
    auto pack = [&image, nWidth, nColour, nBits](png_bytep pOut, int r) {
        if (nBits == 8) {
            PackRow(ColourRow(image, r), AlphaRow(image, r), nWidth, nColour, pOut);
        } else {
            PackRow(ColourRow(image, r), AlphaRow(image, r), nWidth, nColour,
                    reinterpret_cast<std::uint16_t*>(pOut));
        }
    };

    std::vector<png_text> texts(image.m_texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const TextChunk& chunk = image.m_texts[i];
        texts[i] = png_text{};
        texts[i].compression =
            chunk.m_bInternational
                ? (chunk.m_bCompressed ? PNG_ITXT_COMPRESSION_zTXt : PNG_ITXT_COMPRESSION_NONE)
                : (chunk.m_bCompressed ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE);
        texts[i].key = const_cast<char*>(chunk.m_key.c_str());
        texts[i].text = const_cast<char*>(chunk.m_text.c_str());
        if (chunk.m_bInternational) {
            texts[i].itxt_length = chunk.m_text.size();
        } else {
            texts[i].text_length = chunk.m_text.size();
        }
    }

    CPngWriter writer;
    if (!WritePngRows(writer, file.Get(), image, nBits, texts.data(),
                      static_cast<int>(texts.size()), &pRow, pack))
    {
        throw CImageFileError(
            FileMessage(path, std::string("cannot write PNG (") + writer.m_error.m_szText + ")"));
    }
}



void WritePng(const std::string& path, const FloatImage& image, int nBits)
{
    CPendingFile file(path);
    WritePng(file, image, nBits);
    file.Commit();
}

} // namespace gw::cli
