// Readers and writers of the command-line tool: round trips, orientation, byte
// order, and files that must be refused.
#include "ImageFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

using namespace gw::cli;

namespace {

namespace fs = std::filesystem;

/// A scratch folder per test, removed afterwards.
class ImageFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path()
              / (std::string("gw-cli-") + pInfo->name() + "-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    void WriteBytes(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }

    std::string ReadBytes(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir;
};

/// An image whose samples are all different, so a flip or shift shows.
FloatImage Ramp(int nWidth, int nHeight, int nChannels, int nLevels)
{
    FloatImage image;
    image.m_nWidth = nWidth;
    image.m_nHeight = nHeight;
    image.m_nChannels = nChannels;
    image.m_samples.resize(image.SampleCount());
    for (std::size_t i = 0; i < image.m_samples.size(); ++i) {
        image.m_samples[i] = static_cast<float>((i * 37) % (nLevels + 1)) / nLevels;
    }
    return image;
}

std::string LittleEndianFloat(float f)
{
    char bytes[4];
    std::memcpy(bytes, &f, 4);
    return std::string(bytes, 4);
}

std::string BigEndianFloat(float f)
{
    std::string bytes = LittleEndianFloat(f);
    return std::string(bytes.rbegin(), bytes.rend());
}

void ExpectReadFails(const std::string& path, const std::string& fragment)
{
    try {
        ReadImage(path);
        ADD_FAILURE() << path << " was read";
    } catch (const CImageFileError& error) {
        EXPECT_NE(std::string(error.what()).find(fragment), std::string::npos) << error.what();
    }
}

} // namespace



TEST_F(ImageFileTest, PngRoundTripsEveryDepthAndLayout)
{
    for (int nBits : {8, 16}) {
        for (int nChannels : {1, 3}) {
            const int nLevels = nBits == 8 ? 255 : 65535;
            const FloatImage image = Ramp(7, 5, nChannels, nLevels);
            WritePng(Path("a.png"), image, nBits);
            const FloatImage back = ReadImage(Path("a.png"));
            EXPECT_EQ(back.m_nWidth, 7);
            EXPECT_EQ(back.m_nHeight, 5);
            EXPECT_EQ(back.m_nChannels, nChannels);
            EXPECT_EQ(back.m_nSourceBits, nBits);
            EXPECT_EQ(back.m_samples, image.m_samples) << nBits << " bits, " << nChannels;
        }
    }
}

TEST_F(ImageFileTest, PngWritingRoundsToNearestAndClamps)
{
    FloatImage image;
    image.m_nWidth = 6;
    image.m_nHeight = 1;
    image.m_nChannels = 1;
    image.m_samples = {0.5f / 255.0f - 1e-5f,
                       0.5f / 255.0f + 1e-5f,
                       -0.25f,
                       1.5f,
                       1.0f,
                       std::numeric_limits<float>::quiet_NaN()};
    WritePng(Path("q.png"), image, 8);
    const FloatImage back = ReadImage(Path("q.png"));
    const std::vector<float> expected = {0.0f, 1.0f / 255.0f, 0.0f, 1.0f, 1.0f, 1.0f};
    EXPECT_EQ(back.m_samples, expected);
    EXPECT_EQ(QuantizeSample(32767.5f / 65535.0f + 1e-6f, 65535), 32768u);
    // Rounding to nearest, halves away from zero, at every step's edges of both depths.
    for (const std::uint32_t nMax : {255u, 65535u}) {
        for (std::uint32_t k = 0; k < nMax; ++k) {
            const float fHalf = (static_cast<float>(k) + 0.5f) / static_cast<float>(nMax);
            for (const float f : {std::nextafter(fHalf, 0.0f), fHalf, std::nextafter(fHalf, 1.0f)})
            {
                const auto nWant =
                    static_cast<std::uint32_t>(std::lround(static_cast<double>(f) * nMax));
                ASSERT_EQ(QuantizeSample(f, nMax), nWant) << f << " of " << nMax;
            }
        }
    }
}

TEST_F(ImageFileTest, PfmRoundTripsExactlyAndKeepsTopRowFirst)
{
    for (int nChannels : {1, 3}) {
        FloatImage image = Ramp(4, 3, nChannels, 1000);
        image.m_samples[0] = -2.5f; // float files may hold any finite value
        image.m_samples[1] = 7.0e6f;
        WritePfm(Path("a.pfm"), image);
        const FloatImage back = ReadImage(Path("a.pfm"));
        EXPECT_EQ(back.m_nChannels, nChannels);
        EXPECT_EQ(back.m_nSourceBits, 32);
        EXPECT_EQ(back.m_samples, image.m_samples);

        // On disk the last image row comes first.
        const std::string bytes = ReadBytes("a.pfm");
        const std::size_t nRowBytes = 4u * nChannels * 4u;
        const std::string lastRow = bytes.substr(bytes.size() - 3 * nRowBytes, nRowBytes);
        EXPECT_EQ(0, std::memcmp(lastRow.data(), &image.m_samples[2 * 4 * nChannels], nRowBytes));
    }
}

TEST_F(ImageFileTest, PfmByteOrderFollowsTheSignOfTheScale)
{
    // Two rows of one grey pixel: bottom row 0.25 stored first, top row 0.75.
    WriteBytes("little.pfm",
               "Pf\n1 2\n-1.0\n" + LittleEndianFloat(0.25f) + LittleEndianFloat(0.75f));
    WriteBytes("big.pfm", "Pf 1 2 1.0\n" + BigEndianFloat(0.25f) + BigEndianFloat(0.75f));
    for (const char* pName : {"little.pfm", "big.pfm"}) {
        const FloatImage image = ReadImage(Path(pName));
        ASSERT_EQ(image.m_samples.size(), 2u) << pName;
        EXPECT_EQ(image.m_samples[0], 0.75f) << pName;
        EXPECT_EQ(image.m_samples[1], 0.25f) << pName;
    }
}

TEST_F(ImageFileTest, PngFromAnotherWriterReadsTopRowFirstInNativeByteOrder)
{
    // 2 x 2 grey, 16 bits, built outside this project: rows (1, 2) and (65535, 300).
    static const char kPng[] =
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02"
        "\x00\x00\x00\x02\x10\x00\x00\x00\x00\x07\x4d\x8e\xbb\x00\x00\x00\x12\x49\x44\x41"
        "\x54\x78\x9c\x63\x60\x60\x64\x60\x62\xf8\xff\x9f\x51\x07\x00\x07\x45\x02\x2f\x4d"
        "\x2d\x44\xb2\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";
    WriteBytes("outside.png", std::string(kPng, sizeof kPng - 1));
    const FloatImage image = ReadImage(Path("outside.png"));
    const std::vector<float> expected = {1.0f / 65535.0f, 2.0f / 65535.0f, 1.0f, 300.0f / 65535.0f};
    EXPECT_EQ(image.m_samples, expected);
    EXPECT_EQ(image.m_nSourceBits, 16);
}

TEST_F(ImageFileTest, BadFilesAreRefusedWithAReason)
{
    ExpectReadFails(Path("missing.png"), "cannot open");
    WriteBytes("empty.png", "");
    ExpectReadFails(Path("empty.png"), "unsupported file format");
    WriteBytes("text.png", "hello, world");
    ExpectReadFails(Path("text.png"), "unsupported file format");

    // A real PNG cut short in its pixel data.
    WritePng(Path("full.png"), Ramp(64, 64, 3, 255), 8);
    const std::string png = ReadBytes("full.png");
    WriteBytes("cut.png", png.substr(0, png.size() / 2));
    ExpectReadFails(Path("cut.png"), "not a readable PNG");
    WriteBytes("header.png", png.substr(0, 20));
    ExpectReadFails(Path("header.png"), "not a readable PNG");

    WriteBytes("short.pfm", "PF\n2 2\n-1.0\n" + std::string(47, '\0'));
    ExpectReadFails(Path("short.pfm"), "truncated");
    WriteBytes("zero.pfm", "Pf\n0 5\n-1.0\n");
    ExpectReadFails(Path("zero.pfm"), "no pixels");
    WriteBytes("scale.pfm", "Pf\n1 1\n0\n" + LittleEndianFloat(1.0f));
    ExpectReadFails(Path("scale.pfm"), "scale");
    WriteBytes("size.pfm", "Pf\n1 x\n-1\n" + LittleEndianFloat(1.0f));
    ExpectReadFails(Path("size.pfm"), "width and height");
    WriteBytes("nan.pfm", "Pf\n2 1\n-1\n" + LittleEndianFloat(1.0f)
                              + LittleEndianFloat(std::numeric_limits<float>::infinity()));
    ExpectReadFails(Path("nan.pfm"), "finite");
}

TEST_F(ImageFileTest, AbsurdSizesAreRefusedBeforeAllocating)
{
    // Headers that promise far more samples than the engine can index.
    WriteBytes("huge.pfm", "PF\n1000000 1000000\n-1.0\n" + LittleEndianFloat(0.5f));
    ExpectReadFails(Path("huge.pfm"), "too large");
    WriteBytes("wide.pfm", "Pf\n99999999999999999999 1\n-1.0\n");
    ExpectReadFails(Path("wide.pfm"), "width and height");

    // A PNG header of 1000000 x 1000000 pixels: CRC-correct, no pixel data.
    WritePng(Path("tiny.png"), Ramp(1, 1, 1, 255), 8);
    std::string png = ReadBytes("tiny.png");
    const std::string side = std::string("\x00\x0f\x42\x40", 4); // 1000000
    png.replace(16, 4, side);
    png.replace(20, 4, side);
    // The IHDR chunk's CRC covers its type and data (bytes 12..28).
    std::uint32_t nCrc = 0xffffffffu;
    for (std::size_t i = 12; i < 29; ++i) {
        nCrc ^= static_cast<unsigned char>(png[i]);
        for (int k = 0; k < 8; ++k) {
            nCrc = (nCrc >> 1) ^ (0xedb88320u & (0u - (nCrc & 1u)));
        }
    }
    nCrc ^= 0xffffffffu;
    for (int k = 0; k < 4; ++k) {
        png[29 + k] = static_cast<char>(nCrc >> (24 - 8 * k));
    }
    WriteBytes("huge.png", png);
    ExpectReadFails(Path("huge.png"), "too large");
}

TEST_F(ImageFileTest, FailedWriteLeavesAnExistingFileAlone)
{
    WriteBytes("keep.png", "precious");
    FloatImage image = Ramp(2, 2, 2, 255); // two channels cannot be written
    EXPECT_THROW(WritePng(Path("keep.png"), image, 8), CImageFileError);
    EXPECT_THROW(WriteImage(Path("keep.bmp"), Ramp(2, 2, 1, 255), 8), CImageFileError);
    EXPECT_THROW(WritePfm(Path("nofolder/x.pfm"), Ramp(2, 2, 1, 255)), CImageFileError);
    EXPECT_EQ(ReadBytes("keep.png"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(ImageFileTest, EveryReaderTellsTheShapeItDecodesAndNoneForAFileItRefuses)
{
    struct Case
    {
        const char* pName;
        int nChannels;
        bool bAlpha;
        int nBits;
    };
    const Case cases[] = {
        {"grey.png", 1, false, 8},   {"rgba16.png", 3, true, 16}, {"greya.png", 1, true, 8},
        {"rgb.jpg", 3, false, 8},    {"grey.jpg", 1, false, 8},   {"rgba.tif", 3, true, 16},
        {"greyf.tif", 1, false, 32}, {"rgb.pfm", 3, false, 32},
    };
    for (const Case& test : cases) {
        FloatImage image = Ramp(13, 6, test.nChannels, 255);
        if (test.bAlpha) {
            image.m_alpha.assign(13 * 6, 0.5f);
        }
        WriteImage(Path(test.pName), image, test.nBits);
        int nHeard = 0;
        ImageShape heard;
        const FloatImage back = ReadImage(Path(test.pName), [&](const ImageShape& shape) {
            heard = shape;
            ++nHeard;
        });
        EXPECT_EQ(nHeard, 1) << test.pName;
        EXPECT_EQ(heard.m_nWidth, back.m_nWidth) << test.pName;
        EXPECT_EQ(heard.m_nHeight, back.m_nHeight) << test.pName;
        EXPECT_EQ(heard.m_nChannels, back.m_nChannels) << test.pName;
        EXPECT_EQ(back.m_nChannels, test.nChannels) << test.pName;
    }

    // A size that cannot be held, or a file cut short before its samples, is not
    // told: nobody may prepare for it.
    WriteBytes("huge.pfm", "PF\n1000000 1000000\n-1.0\n" + LittleEndianFloat(0.5f));
    WriteBytes("short.pfm", "PF\n2 2\n-1.0\n" + std::string(47, '\0'));
    for (const char* pName : {"huge.pfm", "short.pfm"}) {
        bool bHeard = false;
        EXPECT_THROW(ReadImage(Path(pName), [&](const ImageShape&) { bHeard = true; }),
                     CImageFileError);
        EXPECT_FALSE(bHeard) << pName;
    }
}
