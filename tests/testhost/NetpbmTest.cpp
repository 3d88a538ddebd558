// PGM/PPM reading and writing, and the host's sample ranges.
#include "Netpbm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw::host {
namespace {

using namespace std::string_literals;

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

NetpbmImage Decode(const std::string& text)
{
    return DecodeNetpbm(Bytes(text), "test");
}

std::string ErrorOf(const std::string& text)
{
    try {
        Decode(text);
    } catch (const NetpbmError& e) {
        return e.what();
    }
    return "no error";
}

TEST(NetpbmTest, ReadsBinaryAndPlainWithComments)
{
    const NetpbmImage grey =
        Decode(std::string("P5\n# made by hand\n3 2\n255\n") + "\x01\x02\x03\xFD\xFE\xFF");
    EXPECT_EQ(grey.nWidth, 3);
    EXPECT_EQ(grey.nHeight, 2);
    EXPECT_EQ(grey.nPlanes, 1);
    EXPECT_EQ(grey.samples, (std::vector<std::uint16_t>{1, 2, 3, 253, 254, 255}));

    const NetpbmImage deep = Decode("P6 1 1 65535\n\x12\x34\x00\x01\xFF\xFF"s);
    EXPECT_TRUE(deep.IsDeep());
    EXPECT_EQ(deep.samples, (std::vector<std::uint16_t>{0x1234, 1, 0xFFFF})); // big-endian samples

    const NetpbmImage plain = Decode("P3\n2 1 # comment\n1000\n0 1 2 998 999 1000\n");
    EXPECT_TRUE(plain.bPlain);
    EXPECT_EQ(plain.samples, (std::vector<std::uint16_t>{0, 1, 2, 998, 999, 1000}));
}

TEST(NetpbmTest, EncodeDecodeRoundTripKeepsTheFormat)
{
    for (const int nMaxval : {255, 65535, 1023}) {
        for (const int nPlanes : {1, 3}) {
            for (const bool bPlain : {false, true}) {
                NetpbmImage image;
                image.nWidth = 5;
                image.nHeight = 3;
                image.nPlanes = nPlanes;
                image.nMaxval = nMaxval;
                image.bPlain = bPlain;
                for (int i = 0; i < 15 * nPlanes; ++i) {
                    image.samples.push_back(static_cast<std::uint16_t>(i * 4099 % (nMaxval + 1)));
                }
                const NetpbmImage back = DecodeNetpbm(EncodeNetpbm(image), "round trip");
                EXPECT_EQ(back.samples, image.samples)
                    << nMaxval << " " << nPlanes << " " << bPlain;
                EXPECT_EQ(back.nPlanes, nPlanes);
                EXPECT_EQ(back.nMaxval, nMaxval);
                EXPECT_EQ(back.bPlain, bPlain);
            }
        }
    }
}

TEST(NetpbmTest, BadFilesGiveClearErrors)
{
    EXPECT_NE(ErrorOf("").find("not a PGM or PPM"), std::string::npos);
    EXPECT_NE(ErrorOf("P4\n1 1\n\x80").find("unsupported Netpbm type P4"), std::string::npos);
    EXPECT_NE(ErrorOf("P5\nx 1\n255\n").find("width"), std::string::npos);
    EXPECT_NE(ErrorOf("P5\n0 1\n255\n").find("empty"), std::string::npos);
    EXPECT_NE(ErrorOf("P5\n1 1\n0\n").find("maximum value is 0"), std::string::npos);
    EXPECT_NE(ErrorOf("P5\n1 1\n70000\n").find("too large"), std::string::npos);
    EXPECT_NE(ErrorOf("P5\n4 4\n255\nabc").find("truncated"), std::string::npos);
    EXPECT_NE(ErrorOf("P5\n2 1\n65535\n\x01\x02\x03").find("truncated"), std::string::npos);
    EXPECT_NE(ErrorOf("P5\n1 1\n100\n\xC8").find("exceeds"), std::string::npos);
    EXPECT_NE(ErrorOf("P2\n2 1\n10\n3 11\n").find("exceeds"), std::string::npos);
    EXPECT_NE(ErrorOf("P2\n2 2\n10\n3 1\n").find("truncated"), std::string::npos);
    // A huge header with little data is refused before anything is allocated.
    EXPECT_NE(ErrorOf("P6\n1000000000 1000000000\n255\n\x01").find("truncated"), std::string::npos);
    EXPECT_NE(ErrorOf("P6\n99999999999 1\n255\n").find("too large"), std::string::npos);
}

TEST(NetpbmTest, ErrorsNameTheFile)
{
    EXPECT_THROW(ReadNetpbm("no/such/file.ppm"), NetpbmError);
    try {
        DecodeNetpbm(Bytes("P7"), "photo.pam");
    } catch (const NetpbmError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("photo.pam: ", 0), 0u);
    }
}

TEST(NetpbmTest, SixteenBitSamplesUseTheHostRange)
{
    EXPECT_EQ(ToHostSample(0, 65535), 0);
    EXPECT_EQ(ToHostSample(65535, 65535), 32768);
    EXPECT_EQ(ToHostSample(32767, 65535), 16384); // 16383.75 rounds up
    EXPECT_EQ(FromHostSample(32768, 65535), 65535);
    EXPECT_EQ(FromHostSample(16384, 65535), 32768); // 32767.5 rounds up
    EXPECT_EQ(FromHostSample(40000, 65535), 65535); // above the range: the top
    // Every host value survives the way out to the file and back.
    for (std::uint32_t v = 0; v <= 32768; ++v) {
        ASSERT_EQ(ToHostSample(FromHostSample(v, 65535), 65535), v) << v;
    }
    EXPECT_EQ(ToHostSample(1000, 1000), 32768);
    EXPECT_EQ(ToHostSample(500, 1000), 16384);
}

TEST(NetpbmTest, EightBitSamplesStayOrScaleTo255)
{
    for (std::uint32_t s = 0; s <= 255; ++s) {
        ASSERT_EQ(ToHostSample(s, 255), s);
        ASSERT_EQ(FromHostSample(s, 255), s);
    }
    EXPECT_EQ(ToHostSample(15, 15), 255);
    EXPECT_EQ(ToHostSample(7, 15), 119); // 7 * 17
    EXPECT_EQ(FromHostSample(119, 15), 7);
    EXPECT_EQ(FromHostSample(300, 255), 255);
}

} // namespace
} // namespace gw::host
