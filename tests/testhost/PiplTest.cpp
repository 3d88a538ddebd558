// Reading PiPL and AETE resources from bytes laid out as the resource
// compiler writes them (little-endian, codes reversed, data padded to 4).
#include "Pipl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw::host {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

void PutText(Bytes& b, const std::string& text)
{
    b.insert(b.end(), text.begin(), text.end());
}

// One property with its data padded to 4 bytes; nLength overrides the stored length.
void PutProperty(Bytes& b, std::uint32_t nKey, const Bytes& data, long nLength = -1)
{
    Put32(b, 0x3842494D);
    Put32(b, nKey);
    Put32(b, 0);
    Put32(b, nLength < 0 ? static_cast<std::uint32_t>(data.size())
                         : static_cast<std::uint32_t>(nLength));
    b.insert(b.end(), data.begin(), data.end());
    while (b.size() % 4 != 2) {
        b.push_back(0);
    }
}

Bytes Header(std::uint32_t nCount)
{
    Bytes b;
    Put16(b, 1);
    Put32(b, 0);
    Put32(b, nCount);
    return b;
}

Bytes Code(std::uint32_t v)
{
    Bytes b;
    Put32(b, v);
    return b;
}

Bytes SamplePipl()
{
    Bytes b = Header(6);
    PutProperty(b, 0x6B696E64, Code(0x3842464D));                       // kind '8BFM'
    PutProperty(b, 0x6E616D65, Bytes{5, 'L', 'i', 'f', 't', '!'});      // name
    PutProperty(b, 0x76657273, Code(0x00040000));                       // vers
    PutProperty(b, 0x38363634, Bytes{'M', 'a', 'i', 'n', 0});           // 8664
    PutProperty(b, 0x77783836, Bytes{'M', 'a', 'i', 'n', '3', '2', 0}); // wx86
    PutProperty(b, 0x6D6F6465, Bytes{0x50, 0x30, 0, 0});                // mode
    return b;
}

TEST(PiplTest, ReadsPropertiesInOrderAcrossPadding)
{
    const Pipl pipl = ParsePipl(SamplePipl());
    ASSERT_EQ(pipl.properties.size(), 6u);
    EXPECT_EQ(pipl.nPrefix, 1);
    EXPECT_EQ(pipl.nVersion, 0);
    EXPECT_EQ(pipl.nTrailingBytes, 0u);
    EXPECT_EQ(pipl.properties[0].nOffset, 10u);           // after the 10-byte header
    EXPECT_EQ(pipl.properties[2].nOffset, 10u + 20 + 24); // name data 6 bytes padded to 8
    EXPECT_EQ(pipl.properties[1].data.size(), 6u);
    EXPECT_EQ(EntryPointName(pipl, true), "Main");
    EXPECT_EQ(EntryPointName(pipl, false), "Main32");
}

TEST(PiplTest, DescribesValuesAsAHostReadsThem)
{
    const auto lines = DescribePipl(ParsePipl(SamplePipl()));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "pipl prefix 1 version 0 properties 6 trailing 0");
    EXPECT_EQ(lines[1], "property 1 'kind' length 4 '8BFM'");
    EXPECT_EQ(lines[2], "property 2 'name' length 6 \"Lift!\"");
    EXPECT_EQ(lines[3], "property 3 'vers' length 4 4.0 (0x00040000)");
    EXPECT_EQ(lines[4], "property 4 '8664' length 5 \"Main\"");
    EXPECT_EQ(lines[6], "property 6 'mode' length 4 0x50 0x30 0x00 0x00 = GrayScaleMode RGBMode "
                        "Gray16Mode RGB48Mode");
}

TEST(PiplTest, ModeBitsFollowTheHighBitFirstRule)
{
    EXPECT_EQ(DescribeModeBits(Bytes{0x80, 0, 0, 0}), "BitmapMode");
    EXPECT_EQ(DescribeModeBits(Bytes{0x08, 0x40, 0, 0}), "CMYKMode LabMode");
    EXPECT_EQ(DescribeModeBits(Bytes{0, 0, 0x40, 0}), "Gray32Mode");
    EXPECT_EQ(DescribeModeBits(Bytes{0, 0, 0, 0}), "(none)");
}

TEST(PiplTest, FilterCaseInfoAndTerminology)
{
    Bytes b = Header(2);
    PutProperty(b, 0x66696369, Bytes{4, 4, 1, 0, 4, 4, 9, 0});
    Bytes hstm = Code(0);
    PutText(hstm, "ztvq");
    PutText(hstm, "ztvq");
    Put16(hstm, 16000);
    PutText(hstm, std::string("abc") + '\0' + '\0');
    PutProperty(b, 0x6873746D, hstm);
    const auto lines = DescribePipl(ParsePipl(b));
    EXPECT_EQ(lines[1], "property 1 'fici' length 8 case1 in 4 out 4 flags 0x01 0x00 case2 in 4 "
                        "out 4 flags 0x09 0x00");
    EXPECT_EQ(
        lines[2],
        "property 2 'hstm' length 19 version 0 class 'qvtz' event 'qvtz' aete 16000 scope \"abc\"");
}

TEST(PiplTest, DamagedResourcesAreRefusedWithTheOffset)
{
    Bytes tooLong = Header(1);
    PutProperty(tooLong, 0x6B696E64, Code(0x3842464D), 400);
    EXPECT_THROW(ParsePipl(tooLong), PiplError);

    Bytes missing = Header(3); // promises three, holds one
    PutProperty(missing, 0x6B696E64, Code(0x3842464D));
    try {
        ParsePipl(missing);
        FAIL() << "a missing property must be reported";
    } catch (const PiplError& e) {
        EXPECT_NE(std::string(e.what()).find("offset 30"), std::string::npos) << e.what();
    }

    EXPECT_THROW(ParsePipl(Bytes{1, 0, 0}), PiplError);
    EXPECT_THROW(ParsePipl(Header(0x7FFFFFFF)), PiplError);
}

TEST(PiplTest, UnpaddedLastPropertyAndUnroundedLengthsAreAccepted)
{
    Bytes b = Header(2);
    PutProperty(b, 0x6E616D65, Bytes{2, 'a', 'b'}); // stored length 3, padded in the file
    PutProperty(b, 0x6B696E64, Code(0x3842464D));
    Bytes noPad = Header(1);
    Put32(noPad, 0x3842494D);
    Put32(noPad, 0x6E616D65);
    Put32(noPad, 0);
    Put32(noPad, 3);
    PutText(noPad, "\002ab");
    EXPECT_EQ(ParsePipl(b).properties.size(), 2u);
    EXPECT_EQ(ParsePipl(noPad).properties.at(0).data.size(), 3u);
}

Bytes SampleAete()
{
    Bytes b;
    Put16(b, 1);
    b.push_back(1);
    b.push_back(0);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, 1);
    PutText(b, "\004Test");
    PutText(b, std::string(1, '\0'));
    PutText(b, "tseT");
    Put16(b, 1);
    Put16(b, 1);
    Put16(b, 1);
    PutText(b, "\004Lift");
    PutText(b, std::string(1, '\0'));
    PutText(b, "tseT");
    PutText(b, "tfiL");
    PutText(b, "llun");
    PutText(b, std::string(1, '\0'));
    Put16(b, 0);
    PutText(b, "RmI#");
    PutText(b, std::string(1, '\0'));
    Put16(b, 0xB000);
    Put16(b, 1);
    PutText(b, "\006Amount");
    PutText(b, " tmA");
    PutText(b, "gnol");
    PutText(b, std::string(1, '\0'));
    Put16(b, 0x8000);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, 0);
    return b;
}

TEST(AeteTest, ReadsSuiteEventAndParameters)
{
    const Aete aete = ParseAete(SampleAete());
    ASSERT_EQ(aete.suites.size(), 1u);
    const AeteSuite& suite = aete.suites[0];
    EXPECT_EQ(suite.vendor, "Test");
    EXPECT_EQ(suite.nId, 0x54657374u);
    ASSERT_EQ(suite.events.size(), 1u);
    const AeteEvent& event = suite.events[0];
    EXPECT_EQ(event.nId, 0x4C696674u);
    EXPECT_EQ(event.nDirectType, 0x23496D52u);
    EXPECT_EQ(event.nDirectFlags, 0xB000);
    ASSERT_EQ(event.parameters.size(), 1u);
    EXPECT_EQ(event.parameters[0].nKey, 0x416D7420u);
    EXPECT_EQ(event.parameters[0].nFlags, 0x8000);
    EXPECT_EQ(aete.nTrailingBytes, 0u);
    const auto lines = DescribeAete(aete);
    EXPECT_EQ(lines.back(), "parameter \"Amount\" key 'Amt ' type 'long' \"\" flags 0x8000");
}

TEST(AeteTest, EveryTruncationIsReported)
{
    const Bytes whole = SampleAete();
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(ParseAete(part), PiplError) << "cut at " << n;
    }
}

} // namespace
} // namespace gw::host
