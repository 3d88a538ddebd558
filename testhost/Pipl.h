// Pipl.h - reading a filter's property list (PiPL) and scripting dictionary
// (AETE) resources from their bytes, and describing them as text lines.
//
// Both resources are little-endian byte streams without alignment; a property's
// data is padded to 4 bytes. Every read is bounds-checked, so a damaged resource
// gives a PiplError naming the offset instead of a crash.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace gw::host {

class PiplError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct PiplProperty
{
    std::uint32_t nVendor = 0;
    std::uint32_t nKey = 0;
    std::int32_t nId = 0;
    std::uint32_t nLength = 0;      ///< as stored
    std::size_t nOffset = 0;        ///< of the property header in the resource
    std::vector<std::uint8_t> data; ///< nLength bytes
};

struct Pipl
{
    std::int16_t nPrefix = 0;
    std::int32_t nVersion = 0;
    std::vector<PiplProperty> properties;
    std::size_t nTrailingBytes = 0; ///< bytes after the last property

    /// First property with this key (vendor '8BIM'), or null.
    const PiplProperty* Find(std::uint32_t nKey) const noexcept;
};

/// Parses a PiPL resource; throws PiplError.
Pipl ParsePipl(std::span<const std::uint8_t> bytes);

/// One text line per property: "property N 'key' length L <decoded value>".
std::vector<std::string> DescribePipl(const Pipl& pipl);

/// Names of the image modes set in a 'mode' property, e.g. "GrayScaleMode RGBMode".
std::string DescribeModeBits(std::span<const std::uint8_t> data);

/// The entry point named by the property of this architecture ('wx86' or '8664').
/// Empty when the PiPL has none.
std::string EntryPointName(const Pipl& pipl, bool b64Bit);

struct AeteParameter
{
    std::string name;
    std::uint32_t nKey = 0;
    std::uint32_t nType = 0;
    std::string description;
    std::uint16_t nFlags = 0;
};

struct AeteEvent
{
    std::string name;
    std::string description;
    std::uint32_t nClass = 0;
    std::uint32_t nId = 0;
    std::uint32_t nReplyType = 0;
    std::string replyDescription;
    std::uint16_t nReplyFlags = 0;
    std::uint32_t nDirectType = 0;
    std::string directDescription;
    std::uint16_t nDirectFlags = 0;
    std::vector<AeteParameter> parameters;
};

struct AeteSuite
{
    std::string vendor;
    std::string description;
    std::uint32_t nId = 0;
    std::int16_t nLevel = 0;
    std::int16_t nVersion = 0;
    std::vector<AeteEvent> events;
    std::int16_t nClasses = 0;
    std::int16_t nComparisons = 0;
    std::int16_t nEnumerations = 0;
};

struct Aete
{
    std::int16_t nPrefix = 0;
    std::uint8_t nMajor = 0;
    std::uint8_t nMinor = 0;
    std::int16_t nLanguage = 0;
    std::int16_t nScript = 0;
    std::vector<AeteSuite> suites;
    std::size_t nTrailingBytes = 0;
};

/// Parses an AETE resource in its Windows form (no padding after strings).
/// Classes, comparison operators and enumerations are counted but not decoded;
/// a suite that has any must be the last one. Throws PiplError.
Aete ParseAete(std::span<const std::uint8_t> bytes);

/// Text lines describing the dictionary ("aete ...", "suite ...", "event ...", "parameter ...").
std::vector<std::string> DescribeAete(const Aete& aete);

} // namespace gw::host
