// Pipl.cpp - PiPL and AETE resources: parsing and description.
#include "Pipl.h"

#include "Trace.h"
#include "hostapi/HostApi.h"

#include <algorithm>
#include <cstdio>

namespace gw::host {

namespace {

constexpr std::uint32_t kMaxProperties = 4096;

class CByteReader
{
public:
    CByteReader(std::span<const std::uint8_t> bytes, const char* what)
        : m_bytes(bytes), m_what(what)
    {}

    [[noreturn]] void Fail(const std::string& text) const
    {
        throw PiplError(std::string(m_what) + ": " + text + " at offset " + std::to_string(m_nPos));
    }

    void Need(std::size_t n) const
    {
        if (m_bytes.size() - m_nPos < n) {
            Fail("truncated (" + std::to_string(n) + " more bytes needed, "
                 + std::to_string(m_bytes.size() - m_nPos) + " left)");
        }
    }

    std::uint8_t U8()
    {
        Need(1);
        return m_bytes[m_nPos++];
    }

    std::uint16_t U16()
    {
        Need(2);
        const std::uint16_t value =
            static_cast<std::uint16_t>(m_bytes[m_nPos] | (m_bytes[m_nPos + 1] << 8));
        m_nPos += 2;
        return value;
    }

    std::uint32_t U32()
    {
        Need(4);
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value = (value << 8) | m_bytes[m_nPos + static_cast<std::size_t>(i)];
        }
        m_nPos += 4;
        return value;
    }

    std::string Pascal()
    {
        const std::size_t n = U8();
        Need(n);
        std::string text(reinterpret_cast<const char*>(m_bytes.data() + m_nPos), n);
        m_nPos += n;
        return text;
    }

    std::vector<std::uint8_t> Bytes(std::size_t n)
    {
        Need(n);
        std::vector<std::uint8_t> out(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_nPos),
                                      m_bytes.begin() + static_cast<std::ptrdiff_t>(m_nPos + n));
        m_nPos += n;
        return out;
    }

    void Skip(std::size_t n)
    {
        Need(n);
        m_nPos += n;
    }

    std::size_t Position() const noexcept { return m_nPos; }
    std::size_t Remaining() const noexcept { return m_bytes.size() - m_nPos; }

private:
    std::span<const std::uint8_t> m_bytes;
    const char* m_what;
    std::size_t m_nPos = 0;
};

std::uint32_t ReadU32(const std::vector<std::uint8_t>& data, std::size_t nAt) noexcept
{
    if (data.size() < nAt + 4) {
        return 0;
    }
    return static_cast<std::uint32_t>(data[nAt]) | (static_cast<std::uint32_t>(data[nAt + 1]) << 8)
         | (static_cast<std::uint32_t>(data[nAt + 2]) << 16)
         | (static_cast<std::uint32_t>(data[nAt + 3]) << 24);
}

std::string Hex(std::uint32_t value, int nDigits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", nDigits, value);
    return text;
}

// A C string of the data (up to its first NUL), and the count of bytes after it.
std::string CString(const std::vector<std::uint8_t>& data, std::size_t nFrom = 0)
{
    std::string text;
    for (std::size_t i = nFrom; i < data.size() && data[i] != 0; ++i) {
        text += static_cast<char>(data[i]);
    }
    return text;
}

std::string PascalString(const std::vector<std::uint8_t>& data)
{
    if (data.empty()) {
        return "(empty data)";
    }
    const std::size_t n = data[0];
    if (n + 1 > data.size()) {
        return "(Pascal length " + std::to_string(n) + " exceeds the data)";
    }
    return Quote(std::string(reinterpret_cast<const char*>(data.data() + 1), n));
}

std::string DescribeValue(const PiplProperty& property)
{
    const auto& data = property.data;
    switch (property.nKey) {
    case PIKindProperty:
    case PIRequiredHostProperty:
        return FourCC(ReadU32(data, 0));
    case PINameProperty:
    case PICategoryProperty:
        return PascalString(data);
    case PIVersionProperty: {
        const std::uint32_t nVersion = ReadU32(data, 0);
        return std::to_string(nVersion >> 16) + "." + std::to_string(nVersion & 0xFFFF) + " ("
             + Hex(nVersion, 8) + ")";
    }
    case PIWin32X86CodeProperty:
    case PIWin64X86CodeProperty:
    case PIWin64ARMCodeProperty:
    case PIEnableInfoProperty:
        return Quote(CString(data));
    case PIImageModesProperty: {
        std::string text;
        for (std::uint8_t byte : data) {
            text += Hex(byte, 2) + " ";
        }
        return text + "= " + DescribeModeBits(data);
    }
    case PITerminologyProperty: {
        if (data.size() < 15) {
            return "(too short: " + std::to_string(data.size()) + " bytes)";
        }
        const auto nAete = static_cast<std::int16_t>(data[12] | (data[13] << 8));
        return "version " + std::to_string(static_cast<std::int32_t>(ReadU32(data, 0))) + " class "
             + FourCC(ReadU32(data, 4)) + " event " + FourCC(ReadU32(data, 8)) + " aete "
             + std::to_string(nAete) + " scope " + Quote(CString(data, 14));
    }
    case PIMaxSizeProperty:
    case PIMinSizeProperty:
        return "rows " + std::to_string(static_cast<std::int32_t>(ReadU32(data, 0))) + " columns "
             + std::to_string(static_cast<std::int32_t>(ReadU32(data, 4)));
    case PIPriorityProperty:
        return std::to_string(static_cast<std::int32_t>(ReadU32(data, 0)));
    case PIFilterCaseInfoProperty: {
        std::string text;
        for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
            text += (i ? " case" : "case") + std::to_string(i / 4 + 1) + " in "
                  + std::to_string(data[i]) + " out " + std::to_string(data[i + 1]) + " flags "
                  + Hex(data[i + 2], 2) + " " + Hex(data[i + 3], 2);
        }
        return text;
    }
    default: {
        std::string text = "bytes";
        for (std::uint8_t byte : data) {
            text += " " + Hex(byte, 2);
        }
        return text;
    }
    }
}

} // namespace

const PiplProperty* Pipl::Find(std::uint32_t nKey) const noexcept
{
    for (const auto& property : properties) {
        if (property.nKey == nKey && property.nVendor == PIPhotoshopVendor) {
            return &property;
        }
    }
    return nullptr;
}

Pipl ParsePipl(std::span<const std::uint8_t> bytes)
{
    CByteReader reader(bytes, "PiPL");
    Pipl pipl;
    pipl.nPrefix = static_cast<std::int16_t>(reader.U16());
    pipl.nVersion = static_cast<std::int32_t>(reader.U32());
    const std::uint32_t nCount = reader.U32();
    if (nCount > kMaxProperties) {
        reader.Fail("implausible property count " + std::to_string(nCount));
    }
    for (std::uint32_t i = 0; i < nCount; ++i) {
        PiplProperty property;
        property.nOffset = reader.Position();
        property.nVendor = reader.U32();
        property.nKey = reader.U32();
        property.nId = static_cast<std::int32_t>(reader.U32());
        property.nLength = reader.U32();
        if (property.nLength > reader.Remaining()) {
            reader.Fail("property " + std::to_string(i + 1) + " " + FourCC(property.nKey)
                        + " length " + std::to_string(property.nLength) + " exceeds the resource");
        }
        property.data = reader.Bytes(property.nLength);
        // The padding after the last property may be missing.
        const std::size_t nPad = (4 - property.nLength % 4) % 4;
        reader.Skip(std::min(nPad, reader.Remaining()));
        pipl.properties.push_back(std::move(property));
    }
    pipl.nTrailingBytes = reader.Remaining();
    return pipl;
}

std::string DescribeModeBits(std::span<const std::uint8_t> data)
{
    static constexpr const char* kNames[] = {
        "BitmapMode",    "GrayScaleMode", "IndexedMode",      "RGBMode",     "CMYKMode",
        "HSLMode",       "HSBMode",       "MultichannelMode", "DuotoneMode", "LabMode",
        "Gray16Mode",    "RGB48Mode",     "Lab48Mode",        "CMYK64Mode",  "DeepMultichannelMode",
        "Duotone16Mode", "RGB96Mode",     "Gray32Mode"};
    std::string text;
    for (std::size_t nMode = 0; nMode < data.size() * 8; ++nMode) {
        if (data[nMode / 8] & (0x80 >> (nMode % 8))) {
            if (!text.empty()) {
                text += ' ';
            }
            text += nMode < std::size(kNames) ? kNames[nMode] : "Mode" + std::to_string(nMode);
        }
    }
    return text.empty() ? "(none)" : text;
}

std::vector<std::string> DescribePipl(const Pipl& pipl)
{
    std::vector<std::string> lines;
    lines.push_back("pipl prefix " + std::to_string(pipl.nPrefix) + " version "
                    + std::to_string(pipl.nVersion) + " properties "
                    + std::to_string(pipl.properties.size()) + " trailing "
                    + std::to_string(pipl.nTrailingBytes));
    int nIndex = 0;
    for (const auto& property : pipl.properties) {
        std::string line = "property " + std::to_string(++nIndex) + " " + FourCC(property.nKey);
        if (property.nVendor != PIPhotoshopVendor) {
            line += " vendor " + FourCC(property.nVendor);
        }
        if (property.nId != 0) {
            line += " id " + std::to_string(property.nId);
        }
        line += " length " + std::to_string(property.nLength) + " " + DescribeValue(property);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string EntryPointName(const Pipl& pipl, bool b64Bit)
{
    const PiplProperty* pProperty =
        pipl.Find(b64Bit ? PIWin64X86CodeProperty : PIWin32X86CodeProperty);
    return pProperty ? CString(pProperty->data) : std::string();
}

Aete ParseAete(std::span<const std::uint8_t> bytes)
{
    CByteReader reader(bytes, "AETE");
    Aete aete;
    aete.nPrefix = static_cast<std::int16_t>(reader.U16());
    aete.nMajor = reader.U8();
    aete.nMinor = reader.U8();
    aete.nLanguage = static_cast<std::int16_t>(reader.U16());
    aete.nScript = static_cast<std::int16_t>(reader.U16());
    const std::int16_t nSuites = static_cast<std::int16_t>(reader.U16());
    if (nSuites < 0) {
        reader.Fail("negative suite count");
    }
    for (int s = 0; s < nSuites; ++s) {
        AeteSuite suite;
        suite.vendor = reader.Pascal();
        suite.description = reader.Pascal();
        suite.nId = reader.U32();
        suite.nLevel = static_cast<std::int16_t>(reader.U16());
        suite.nVersion = static_cast<std::int16_t>(reader.U16());
        const std::int16_t nEvents = static_cast<std::int16_t>(reader.U16());
        if (nEvents < 0) {
            reader.Fail("negative event count");
        }
        for (int e = 0; e < nEvents; ++e) {
            AeteEvent event;
            event.name = reader.Pascal();
            event.description = reader.Pascal();
            event.nClass = reader.U32();
            event.nId = reader.U32();
            event.nReplyType = reader.U32();
            event.replyDescription = reader.Pascal();
            event.nReplyFlags = reader.U16();
            event.nDirectType = reader.U32();
            event.directDescription = reader.Pascal();
            event.nDirectFlags = reader.U16();
            const std::int16_t nParameters = static_cast<std::int16_t>(reader.U16());
            if (nParameters < 0) {
                reader.Fail("negative parameter count");
            }
            for (int p = 0; p < nParameters; ++p) {
                AeteParameter parameter;
                parameter.name = reader.Pascal();
                parameter.nKey = reader.U32();
                parameter.nType = reader.U32();
                parameter.description = reader.Pascal();
                parameter.nFlags = reader.U16();
                event.parameters.push_back(std::move(parameter));
            }
            suite.events.push_back(std::move(event));
        }
        suite.nClasses = static_cast<std::int16_t>(reader.U16());
        if (suite.nClasses != 0 && s + 1 < nSuites) {
            reader.Fail("classes are not decoded, and further suites follow");
        }
        if (suite.nClasses == 0) {
            suite.nComparisons = static_cast<std::int16_t>(reader.U16());
            suite.nEnumerations = static_cast<std::int16_t>(reader.U16());
        }
        const bool bUndecoded =
            suite.nClasses != 0 || suite.nComparisons != 0 || suite.nEnumerations != 0;
        aete.suites.push_back(std::move(suite));
        if (bUndecoded) {
            if (s + 1 < nSuites) {
                reader.Fail("comparison operators and enumerations are not decoded, and further "
                            "suites follow");
            }
            return aete; // the rest is not decoded; nTrailingBytes stays 0
        }
    }
    aete.nTrailingBytes = reader.Remaining();
    return aete;
}

std::vector<std::string> DescribeAete(const Aete& aete)
{
    std::vector<std::string> lines;
    lines.push_back("aete prefix " + std::to_string(aete.nPrefix) + " version "
                    + std::to_string(aete.nMajor) + "." + std::to_string(aete.nMinor) + " language "
                    + std::to_string(aete.nLanguage) + " script " + std::to_string(aete.nScript)
                    + " suites " + std::to_string(aete.suites.size()) + " trailing "
                    + std::to_string(aete.nTrailingBytes));
    for (const auto& suite : aete.suites) {
        lines.push_back("suite " + Quote(suite.vendor) + " " + Quote(suite.description) + " id "
                        + FourCC(suite.nId) + " level " + std::to_string(suite.nLevel) + " version "
                        + std::to_string(suite.nVersion) + " events "
                        + std::to_string(suite.events.size()) + " classes "
                        + std::to_string(suite.nClasses) + " comparisons "
                        + std::to_string(suite.nComparisons) + " enumerations "
                        + std::to_string(suite.nEnumerations));
        for (const auto& event : suite.events) {
            lines.push_back("event " + Quote(event.name) + " " + Quote(event.description)
                            + " class " + FourCC(event.nClass) + " id " + FourCC(event.nId)
                            + " reply " + FourCC(event.nReplyType) + " "
                            + Quote(event.replyDescription) + " " + Hex(event.nReplyFlags, 4)
                            + " direct " + FourCC(event.nDirectType) + " "
                            + Quote(event.directDescription) + " " + Hex(event.nDirectFlags, 4)
                            + " parameters " + std::to_string(event.parameters.size()));
            for (const auto& parameter : event.parameters) {
                lines.push_back("parameter " + Quote(parameter.name) + " key "
                                + FourCC(parameter.nKey) + " type " + FourCC(parameter.nType) + " "
                                + Quote(parameter.description) + " flags "
                                + Hex(parameter.nFlags, 4));
            }
        }
    }
    return lines;
}

} // namespace gw::host
