// JpegFile.cpp - JPEG reading and writing through libjpeg(-turbo).
//
// libjpeg reports errors through its error manager, whose exit routine here
// jumps back to the setjmp of the calling function. As with libpng, the
// functions that call setjmp keep only plain locals; the objects that own
// memory live in their callers. A warning about corrupt data (a truncated file
// among them) counts as an error: the decoder would fill in grey and carry on.
#include "FileUtil.h"
#include "ImageFile.h"
#include "SampleRows.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace gw::cli {

namespace {

/// From this quality up colour is written at full resolution (4:4:4), as
/// photographers expect of a high-quality JPEG; below it at half resolution both
/// ways (4:2:0), libjpeg's default.
constexpr int kFullChromaQuality = 90;

struct JpegErrorManager
{
    jpeg_error_mgr m_manager = {};
    std::jmp_buf m_jump = {};
    char m_szText[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void OnJpegError(j_common_ptr pInfo)
{
    auto* pError = reinterpret_cast<JpegErrorManager*>(pInfo->err);
    (*pInfo->err->format_message)(pInfo, pError->m_szText);
    std::longjmp(pError->m_jump, 1);
}

void OnJpegMessage(j_common_ptr pInfo, int nLevel)
{
    if (nLevel < 0) {
        OnJpegError(pInfo);
    }
}

class CJpegReader
{
public:
    CJpegReader()
    {
        m_info.err = jpeg_std_error(&m_error.m_manager);
        m_error.m_manager.error_exit = OnJpegError;
        m_error.m_manager.emit_message = OnJpegMessage;
    }
    ~CJpegReader() { jpeg_destroy_decompress(&m_info); }
    CJpegReader(const CJpegReader&) = delete;
    CJpegReader& operator=(const CJpegReader&) = delete;

    jpeg_decompress_struct m_info = {};
    JpegErrorManager m_error;
};

class CJpegWriter
{
public:
    CJpegWriter()
    {
        m_info.err = jpeg_std_error(&m_error.m_manager);
        m_error.m_manager.error_exit = OnJpegError;
        m_error.m_manager.emit_message = OnJpegMessage;
    }
    ~CJpegWriter() { jpeg_destroy_compress(&m_info); }
    CJpegWriter(const CJpegWriter&) = delete;
    CJpegWriter& operator=(const CJpegWriter&) = delete;

    jpeg_compress_struct m_info = {};
    JpegErrorManager m_error;
};

bool ReadJpegHeader(CJpegReader& reader, std::FILE* pFile)
{
    if (setjmp(reader.m_error.m_jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&reader.m_info);
    jpeg_stdio_src(&reader.m_info, pFile);
    jpeg_read_header(&reader.m_info, TRUE);
    return true;
}

bool ReadJpegRows(CJpegReader& reader, FloatImage& image, JSAMPLE* pRow)
{
    if (setjmp(reader.m_error.m_jump) != 0) {
        return false;
    }
    jpeg_decompress_struct* pInfo = &reader.m_info;
    pInfo->out_color_space = image.m_nChannels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    pInfo->dct_method = JDCT_ISLOW;
    jpeg_start_decompress(pInfo);
    while (pInfo->output_scanline < pInfo->output_height) {
        const int nRow = static_cast<int>(pInfo->output_scanline);
        jpeg_read_scanlines(pInfo, &pRow, 1);
        UnpackRow(pRow, image.m_nWidth, image.m_nChannels, ColourRow(image, nRow), nullptr);
    }
    jpeg_finish_decompress(pInfo);
    return true;
}

bool WriteJpegRows(CJpegWriter& writer, std::FILE* pFile, const FloatImage& image, int nQuality,
                   JSAMPLE* pRow)
{
    if (setjmp(writer.m_error.m_jump) != 0) {
        return false;
    }
    jpeg_compress_struct* pInfo = &writer.m_info;
    jpeg_create_compress(pInfo);
    jpeg_stdio_dest(pInfo, pFile);
    pInfo->image_width = static_cast<JDIMENSION>(image.m_nWidth);
    pInfo->image_height = static_cast<JDIMENSION>(image.m_nHeight);
    pInfo->input_components = image.m_nChannels;
    pInfo->in_color_space = image.m_nChannels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(pInfo);
    jpeg_set_quality(pInfo, nQuality, TRUE);
    pInfo->dct_method = JDCT_ISLOW;
    if (image.m_nChannels == 3 && nQuality >= kFullChromaQuality) {
        for (int c = 0; c < 3; ++c) {
            pInfo->comp_info[c].h_samp_factor = 1;
            pInfo->comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(pInfo, TRUE);
    while (pInfo->next_scanline < pInfo->image_height) {
        const int nRow = static_cast<int>(pInfo->next_scanline);
        PackRow(ColourRow(image, nRow), nullptr, image.m_nWidth, image.m_nChannels, pRow);
        jpeg_write_scanlines(pInfo, &pRow, 1);
    }
    jpeg_finish_compress(pInfo);
    return true;
}

} // namespace



FloatImage ReadJpeg(const std::string& path, const ShapeListener& onShape)
{
    UniqueFile pFile = OpenForReading(path);
    CJpegReader reader;
    if (!ReadJpegHeader(reader, pFile.get())) {
        throw CImageFileError(FileMessage(path, std::string("not a readable JPEG file (")
                                                    + reader.m_error.m_szText + ")"));
    }
    const J_COLOR_SPACE colorSpace = reader.m_info.jpeg_color_space;
    if (colorSpace == JCS_CMYK || colorSpace == JCS_YCCK) {
        throw CImageFileError(
            FileMessage(path, "is a CMYK JPEG, which is not supported (convert it to RGB first)"));
    }
    if (reader.m_info.num_components != 1 && reader.m_info.num_components != 3) {
        throw CImageFileError(FileMessage(path, "unsupported JPEG colour layout"));
    }
    const int nChannels = reader.m_info.num_components;
    CheckImageSize(path, reader.m_info.image_width, reader.m_info.image_height, nChannels);
    TellShape(onShape, reader.m_info.image_width, reader.m_info.image_height, nChannels);

    FloatImage image;
    AllocateImage(image, static_cast<int>(reader.m_info.image_width),
                  static_cast<int>(reader.m_info.image_height), nChannels, false, 8);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(image.m_nWidth) * nChannels);
    if (!ReadJpegRows(reader, image, row.data())) {
        throw CImageFileError(FileMessage(path, std::string("corrupt or truncated JPEG file (")
                                                    + reader.m_error.m_szText + ")"));
    }
    return image;
}



void WriteJpeg(CPendingFile& file, const FloatImage& image, int nQuality)
{
    if (image.m_nChannels != 1 && image.m_nChannels != 3) {
        throw CImageFileError(
            FileMessage(file.Target(), "only grey and RGB images can be written"));
    }
    std::vector<JSAMPLE> row(static_cast<std::size_t>(image.m_nWidth) * image.m_nChannels);
    CJpegWriter writer;
    if (!WriteJpegRows(writer, file.Get(), image, nQuality, row.data())) {
        throw CImageFileError(FileMessage(file.Target(), std::string("cannot write JPEG (")
                                                             + writer.m_error.m_szText + ")"));
    }
}

} // namespace gw::cli
