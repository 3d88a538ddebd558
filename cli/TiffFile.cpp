// TiffFile.cpp - TIFF reading and writing through libtiff.
//
// libtiff reports errors through a handler that is global to the process; the
// tool reads one file and writes another at the same time on different
// threads, so the handler keeps the last message per thread.
#include "FileUtil.h"
#include "ImageFile.h"
#include "SampleRows.h"

#include <libdeflate.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace gw::cli {

namespace {

/// Rows per strip of a written file: strips of about this many bytes.
constexpr std::size_t kStripBytes = std::size_t{1} << 18;
/// libdeflate's fastest level: photos gain little from the slower ones.
constexpr int kDeflateLevel = 1;

thread_local char tlsTiffError[256] = {};

void OnTiffError(const char* pModule, const char* pFormat, va_list args)
{
    (void)pModule;
    std::vsnprintf(tlsTiffError, sizeof tlsTiffError, pFormat, args);
}

void InstallTiffHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(OnTiffError);
        TIFFSetWarningHandler(nullptr);
    });
}

struct TiffCloser
{
    void operator()(TIFF* pTiff) const noexcept { TIFFClose(pTiff); }
};
using UniqueTiff = std::unique_ptr<TIFF, TiffCloser>;

[[noreturn]] void Fail(const std::string& path, const std::string& what)
{
    std::string text = what;
    if (tlsTiffError[0] != '\0') {
        text += std::string(" (") + tlsTiffError + ")";
    }
    throw CImageFileError(FileMessage(path, text));
}

/// The sample layout of a file the tool can read.
struct TiffLayout
{
    std::uint32_t nWidth = 0;
    std::uint32_t nHeight = 0;
    int nColour = 0;
    bool bAlpha = false;
    int nBits = 0; ///< 8, 16 or 32 (float)
};

TiffLayout ReadLayout(const std::string& path, TIFF* pTiff)
{
    std::uint16_t nSamples = 1;
    std::uint16_t nBits = 1;
    std::uint16_t nFormat = SAMPLEFORMAT_UINT;
    std::uint16_t nPhotometric = 0;
    std::uint16_t nPlanar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_SAMPLESPERPIXEL, &nSamples);
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_BITSPERSAMPLE, &nBits);
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_SAMPLEFORMAT, &nFormat);
    TIFFGetFieldDefaulted(pTiff, TIFFTAG_PLANARCONFIG, &nPlanar);
    if (TIFFGetField(pTiff, TIFFTAG_PHOTOMETRIC, &nPhotometric) == 0) {
        Fail(path, "TIFF file without a photometric interpretation");
    }
    TiffLayout layout;
    TIFFGetField(pTiff, TIFFTAG_IMAGEWIDTH, &layout.nWidth);
    TIFFGetField(pTiff, TIFFTAG_IMAGELENGTH, &layout.nHeight);
    const bool bInteger = nFormat == SAMPLEFORMAT_UINT && (nBits == 8 || nBits == 16);
    const bool bFloat = nFormat == SAMPLEFORMAT_IEEEFP && nBits == 32;
    if (!bInteger && !bFloat) {
        throw CImageFileError(
            FileMessage(path, "has " + std::to_string(nBits) + "-bit "
                                  + (nFormat == SAMPLEFORMAT_IEEEFP ? "float"
                                     : nFormat == SAMPLEFORMAT_INT  ? "signed"
                                                                    : "")
                                  + " samples; TIFF files with 8- or 16-bit unsigned or 32-bit "
                                    "float samples are supported"));
    }
    if (nPhotometric == PHOTOMETRIC_MINISBLACK && (nSamples == 1 || nSamples == 2)) {
        layout.nColour = 1;
    } else if (nPhotometric == PHOTOMETRIC_RGB && (nSamples == 3 || nSamples == 4)) {
        layout.nColour = 3;
    } else {
        throw CImageFileError(FileMessage(
            path, "has " + std::to_string(nSamples) + " samples per pixel in photometric "
                      + std::to_string(nPhotometric)
                      + "; grey or RGB TIFF files, with at most one alpha sample, are supported"));
    }
    if (nPlanar != PLANARCONFIG_CONTIG && nSamples > 1) {
        throw CImageFileError(
            FileMessage(path, "stores its samples in separate planes, which is not supported"));
    }
    layout.bAlpha = nSamples > layout.nColour;
    layout.nBits = nBits;
    return layout;
}

/// Unpacks nRows rows of nCols pixels from pBlock (nBlockCols pixels a row) into
/// the image at row nTop and column nLeft.
void UnpackBlock(const unsigned char* pBlock, std::uint32_t nBlockCols, const TiffLayout& layout,
                 FloatImage& image, std::uint32_t nTop, std::uint32_t nLeft, std::uint32_t nRows,
                 std::uint32_t nCols)
{
    const std::size_t nPixelBytes =
        static_cast<std::size_t>(layout.nColour + (layout.bAlpha ? 1 : 0)) * (layout.nBits / 8);
    for (std::uint32_t r = 0; r < nRows; ++r) {
        const unsigned char* pIn = pBlock + static_cast<std::size_t>(r) * nBlockCols * nPixelBytes;
        const int nRow = static_cast<int>(nTop + r);
        float* pColour = ColourRow(image, nRow) + static_cast<std::size_t>(nLeft) * layout.nColour;
        float* pAlpha = layout.bAlpha ? AlphaRow(image, nRow) + nLeft : nullptr;
        const int nWidth = static_cast<int>(nCols);
        switch (layout.nBits) {
        case 8:
            UnpackRow(pIn, nWidth, layout.nColour, pColour, pAlpha);
            break;
        case 16:
            UnpackRow(reinterpret_cast<const std::uint16_t*>(pIn), nWidth, layout.nColour, pColour,
                      pAlpha);
            break;
        default:
            UnpackRow(reinterpret_cast<const float*>(pIn), nWidth, layout.nColour, pColour, pAlpha);
            break;
        }
    }
}

struct CompressorFreer
{
    void operator()(libdeflate_compressor* p) const noexcept { libdeflate_free_compressor(p); }
};
using UniqueCompressor = std::unique_ptr<libdeflate_compressor, CompressorFreer>;

/// Packs rows [nTop, nTop + nRows) into pOut (nRowBytes each).
void PackStrip(const FloatImage& image, int nBits, int nTop, int nRows, std::size_t nRowBytes,
               unsigned char* pOut) noexcept
{
    for (int r = 0; r < nRows; ++r) {
        unsigned char* pRow = pOut + static_cast<std::size_t>(r) * nRowBytes;
        const float* pColour = ColourRow(image, nTop + r);
        const float* pAlpha = AlphaRow(image, nTop + r);
        switch (nBits) {
        case 8:
            PackRow(pColour, pAlpha, image.m_nWidth, image.m_nChannels, pRow);
            break;
        case 16:
            PackRow(pColour, pAlpha, image.m_nWidth, image.m_nChannels,
                    reinterpret_cast<std::uint16_t*>(pRow));
            break;
        default:
            PackRow(pColour, pAlpha, image.m_nWidth, image.m_nChannels,
                    reinterpret_cast<float*>(pRow));
            break;
        }
    }
}

/// TIFF's horizontal predictor on integer rows: each sample becomes its
/// difference from the same sample of the pixel before, modulo 2^bits.
template <class T>
void Difference(T* pRow, std::size_t nSamples, int nPerPixel) noexcept
{
    const std::size_t nStep = static_cast<std::size_t>(nPerPixel);
    for (std::size_t i = nSamples; i-- > nStep;) {
        pRow[i] = static_cast<T>(pRow[i] - pRow[i - nStep]);
    }
}

/// One strip, packed, differenced and deflated (zlib format, as TIFF's deflate
/// compression stores it).
struct CompressedStrip
{
    std::vector<unsigned char> m_raw;
    std::vector<unsigned char> m_packed;
    std::size_t m_nBytes = 0;
};

void CompressStrip(const FloatImage& image, int nBits, int nTop, int nRows, std::size_t nRowBytes,
                   libdeflate_compressor* pCompressor, CompressedStrip& strip)
{
    const std::size_t nBytes = nRowBytes * static_cast<std::size_t>(nRows);
    strip.m_raw.resize(nRowBytes * static_cast<std::size_t>(nRows));
    PackStrip(image, nBits, nTop, nRows, nRowBytes, strip.m_raw.data());
    const int nPerPixel = image.m_nChannels + (image.HasAlpha() ? 1 : 0);
    for (int r = 0; r < nRows; ++r) {
        unsigned char* pRow = strip.m_raw.data() + static_cast<std::size_t>(r) * nRowBytes;
        if (nBits == 8) {
            Difference(pRow, nRowBytes, nPerPixel);
        } else {
            Difference(reinterpret_cast<std::uint16_t*>(pRow), nRowBytes / 2, nPerPixel);
        }
    }
    strip.m_packed.resize(libdeflate_zlib_compress_bound(pCompressor, nBytes));
    strip.m_nBytes = libdeflate_zlib_compress(pCompressor, strip.m_raw.data(), nBytes,
                                              strip.m_packed.data(), strip.m_packed.size());
}

} // namespace



FloatImage ReadTiff(const std::string& path, const ShapeListener& onShape)
{
    InstallTiffHandlers();
    tlsTiffError[0] = '\0';
    {
        UniqueFile probe = OpenForReading(path);
    }
    UniqueTiff pTiff(TIFFOpen(path.c_str(), "r"));
    if (!pTiff) {
        Fail(path, "not a readable TIFF file");
    }
    const TiffLayout layout = ReadLayout(path, pTiff.get());
    CheckImageSize(path, layout.nWidth, layout.nHeight, layout.nColour);
    TellShape(onShape, layout.nWidth, layout.nHeight, layout.nColour);

    FloatImage image;
    AllocateImage(image, static_cast<int>(layout.nWidth), static_cast<int>(layout.nHeight),
                  layout.nColour, layout.bAlpha, layout.nBits);
    TIFF* pFile = pTiff.get();
    if (TIFFIsTiled(pFile) != 0) {
        std::uint32_t nTileWidth = 0;
        std::uint32_t nTileHeight = 0;
        TIFFGetField(pFile, TIFFTAG_TILEWIDTH, &nTileWidth);
        TIFFGetField(pFile, TIFFTAG_TILELENGTH, &nTileHeight);
        const tmsize_t nTileBytes = TIFFTileSize(pFile);
        if (nTileWidth == 0 || nTileHeight == 0 || nTileBytes <= 0) {
            Fail(path, "TIFF file with a bad tile size");
        }
        std::vector<unsigned char> tile(static_cast<std::size_t>(nTileBytes));
        for (std::uint32_t y = 0; y < layout.nHeight; y += nTileHeight) {
            for (std::uint32_t x = 0; x < layout.nWidth; x += nTileWidth) {
                if (TIFFReadEncodedTile(pFile, TIFFComputeTile(pFile, x, y, 0, 0), tile.data(),
                                        nTileBytes)
                    < 0) {
                    Fail(path, "corrupt or truncated TIFF file");
                }
                UnpackBlock(tile.data(), nTileWidth, layout, image, y, x,
                            std::min(nTileHeight, layout.nHeight - y),
                            std::min(nTileWidth, layout.nWidth - x));
            }
        }
    } else {
        std::uint32_t nRowsPerStrip = 0;
        TIFFGetFieldDefaulted(pFile, TIFFTAG_ROWSPERSTRIP, &nRowsPerStrip);
        nRowsPerStrip = std::min(std::max(nRowsPerStrip, std::uint32_t{1}), layout.nHeight);
        const tmsize_t nStripBytes = TIFFStripSize(pFile);
        if (nStripBytes <= 0) {
            Fail(path, "TIFF file with a bad strip size");
        }
        std::vector<unsigned char> strip(static_cast<std::size_t>(nStripBytes));
        for (std::uint32_t y = 0; y < layout.nHeight; y += nRowsPerStrip) {
            const std::uint32_t nRows = std::min(nRowsPerStrip, layout.nHeight - y);
            if (TIFFReadEncodedStrip(pFile, TIFFComputeStrip(pFile, y, 0), strip.data(),
                                     nStripBytes)
                < 0) {
                Fail(path, "corrupt or truncated TIFF file");
            }
            UnpackBlock(strip.data(), layout.nWidth, layout, image, y, 0, nRows, layout.nWidth);
        }
    }
    if (layout.nBits == 32) {
        for (const float fSample : image.m_samples) {
            if (!std::isfinite(fSample)) {
                throw CImageFileError(FileMessage(path, "has samples that are not finite numbers"));
            }
        }
    }
    return image;
}



void WriteTiff(CPendingFile& file, const FloatImage& image, int nBits)
{
    InstallTiffHandlers();
    tlsTiffError[0] = '\0';
    const std::string& path = file.Target();
    if (nBits != 8 && nBits != 16 && nBits != 32) {
        throw CImageFileError(FileMessage(path, "TIFF sample depth must be 8, 16 or 32"));
    }
    // libtiff writes the file by name; the pending file only holds the place.
    UniqueTiff pTiff(TIFFOpen(file.TemporaryPath().c_str(), "w"));
    if (!pTiff) {
        Fail(path, "cannot create TIFF file");
    }
    TIFF* pFile = pTiff.get();
    const int nPerPixel = image.m_nChannels + (image.HasAlpha() ? 1 : 0);
    const std::size_t nRowBytes = static_cast<std::size_t>(image.m_nWidth)
                                * static_cast<std::size_t>(nPerPixel) * (nBits / 8);
    const std::uint32_t nRowsPerStrip =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, kStripBytes / nRowBytes));
    TIFFSetField(pFile, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.m_nWidth));
    TIFFSetField(pFile, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.m_nHeight));
    TIFFSetField(pFile, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(nPerPixel));
    TIFFSetField(pFile, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(nBits));
    TIFFSetField(pFile, TIFFTAG_SAMPLEFORMAT,
                 static_cast<std::uint16_t>(nBits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(pFile, TIFFTAG_PHOTOMETRIC,
                 static_cast<std::uint16_t>(image.m_nChannels == 3 ? PHOTOMETRIC_RGB
                                                                   : PHOTOMETRIC_MINISBLACK));
    TIFFSetField(pFile, TIFFTAG_PLANARCONFIG, static_cast<std::uint16_t>(PLANARCONFIG_CONTIG));
    TIFFSetField(pFile, TIFFTAG_ORIENTATION, static_cast<std::uint16_t>(ORIENTATION_TOPLEFT));
    if (image.HasAlpha()) {
        const std::uint16_t nExtra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(pFile, TIFFTAG_EXTRASAMPLES, 1, &nExtra);
    }
    TIFFSetField(pFile, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(COMPRESSION_ADOBE_DEFLATE));
    TIFFSetField(pFile, TIFFTAG_ZIPQUALITY, kDeflateLevel);
    TIFFSetField(
        pFile, TIFFTAG_PREDICTOR,
        static_cast<std::uint16_t>(nBits == 32 ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL));
    TIFFSetField(pFile, TIFFTAG_ROWSPERSTRIP, nRowsPerStrip);

    if (nBits != 32) {
        // Integer strips are compressed here, a group of strips at a time on
        // two threads, and handed to libtiff as they are.
        UniqueCompressor pFirst(libdeflate_alloc_compressor(kDeflateLevel));
        UniqueCompressor pSecond(libdeflate_alloc_compressor(kDeflateLevel));
        if (!pFirst || !pSecond) {
            throw std::bad_alloc();
        }
        constexpr int kGroup = 16;
        const int nStripRows = static_cast<int>(nRowsPerStrip);
        const int nStrips = (image.m_nHeight + nStripRows - 1) / nStripRows;
        std::vector<CompressedStrip> strips(kGroup);
        for (int nFirst = 0; nFirst < nStrips; nFirst += kGroup) {
            const int nCount = std::min(kGroup, nStrips - nFirst);
            const auto Compress = [&](int nFrom, int nStep, libdeflate_compressor* pCompressor) {
                for (int k = nFrom; k < nCount; k += nStep) {
                    const int nTop = (nFirst + k) * nStripRows;
                    CompressStrip(image, nBits, nTop, std::min(nStripRows, image.m_nHeight - nTop),
                                  nRowBytes, pCompressor, strips[static_cast<std::size_t>(k)]);
                }
            };
            auto other = std::async(std::launch::async, Compress, 1, 2, pSecond.get());
            Compress(0, 2, pFirst.get());
            other.get();
            for (int k = 0; k < nCount; ++k) {
                const CompressedStrip& strip = strips[static_cast<std::size_t>(k)];
                if (strip.m_nBytes == 0
                    || TIFFWriteRawStrip(pFile, static_cast<std::uint32_t>(nFirst + k),
                                         const_cast<unsigned char*>(strip.m_packed.data()),
                                         static_cast<tmsize_t>(strip.m_nBytes))
                           < 0)
                {
                    Fail(path, "cannot write TIFF");
                }
            }
        }
    } else {
        std::vector<unsigned char> strip(nRowBytes * nRowsPerStrip);
        for (int y = 0; y < image.m_nHeight; y += static_cast<int>(nRowsPerStrip)) {
            const int nRows = std::min(static_cast<int>(nRowsPerStrip), image.m_nHeight - y);
            PackStrip(image, nBits, y, nRows, nRowBytes, strip.data());
            if (TIFFWriteEncodedStrip(
                    pFile, TIFFComputeStrip(pFile, static_cast<std::uint32_t>(y), 0), strip.data(),
                    static_cast<tmsize_t>(nRowBytes * static_cast<std::size_t>(nRows)))
                < 0)
            {
                Fail(path, "cannot write TIFF");
            }
        }
    }
    if (TIFFFlush(pFile) == 0) {
        Fail(path, "cannot write TIFF");
    }
}

} // namespace gw::cli
