// HostTypes.h - scalar types, small structures and constants of the filter
// host interface, exactly as hosts on 32- and 64-bit Windows were compiled.
//
// Names are the interface's own and live in the global namespace. None of them
// clashes with <windows.h>: the 16-bit rectangle and point are spelled Rect16
// and Point16 (never Rect/Point/RECT/POINT), handles are `Handle` (not HANDLE),
// and Boolean is a one-byte unsigned char (not BOOL, not BOOLEAN, not bool).
// Four-character codes are written as hexadecimal values, first character in
// the most significant byte ('8BIM' = 0x3842494D).
#pragma once

#include <cstddef>
#include <cstdint>

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;

/// One byte, 0 = false, 1 = true. Read as a byte, never as a C++ bool: a host
/// byte other than 0 or 1 would be undefined behaviour in a bool.
using Boolean = unsigned char;
/// Result code of the entry point and of host callbacks.
using OSErr = int16;
/// Four-character code.
using OSType = uint32;
using ResType = uint32;
using DescType = uint32;
using PIType = uint32;
/// 16.16 fixed point; 1.0 = 0x00010000.
using Fixed = int32;
using Ptr = char*;
/// Opaque host memory handle; dereference only through HandleProcs::lockProc.
using Handle = char**;
/// Pascal string: length byte followed by up to 255 characters.
using Str255 = unsigned char[256];
/// Result of PICA suite calls; 0 = no error.
using SPErr = int32;
/// PICA truth value: 32 bits on Windows, unlike Boolean.
using SPBoolean = int32;

static_assert(sizeof(Boolean) == 1 && sizeof(OSErr) == 2 && sizeof(OSType) == 4);
static_assert(sizeof(Fixed) == 4 && sizeof(SPErr) == 4 && sizeof(SPBoolean) == 4);
static_assert(sizeof(Str255) == 256);

/// Point with 16-bit coordinates, row (v) first.
struct Point16
{
    int16 v;
    int16 h;
};

/// Half-open rectangle with 16-bit coordinates: bottom and right are one past
/// the last row and column. All zero = empty.
struct Rect16
{
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
};

struct VPoint
{
    int32 v;
    int32 h;
};

/// Half-open rectangle with 32-bit coordinates.
struct VRect
{
    int32 top;
    int32 left;
    int32 bottom;
    int32 right;
};

/// Colour with 0..65535 per component.
struct RGBColor
{
    uint16 red;
    uint16 green;
    uint16 blue;
};

/// A colour in the image's own colour space.
using FilterColor = uint8[4];

struct PlugInMonitor
{
    Fixed gamma;
    Fixed redX;
    Fixed redY;
    Fixed greenX;
    Fixed greenY;
    Fixed blueX;
    Fixed blueY;
    Fixed whiteX;
    Fixed whiteY;
    Fixed ambient;
};

/// Platform part of the record: the window that should own dialogs (an HWND).
struct PlatformData
{
    intptr_t hwnd;
};

// ---------------------------------------------------------------------------
// Selectors passed to the entry point.

inline constexpr int16 filterSelectorAbout = 0;
inline constexpr int16 filterSelectorParameters = 1;
inline constexpr int16 filterSelectorPrepare = 2;
inline constexpr int16 filterSelectorStart = 3;
inline constexpr int16 filterSelectorContinue = 4;
inline constexpr int16 filterSelectorFinish = 5;

// ---------------------------------------------------------------------------
// Image modes (FilterRecord::imageMode, PSPixelMap::imageMode). In the PiPL
// 'mode' property mode n is bit (0x80 >> (n % 8)) of byte n / 8.

inline constexpr int16 plugInModeBitmap = 0;
inline constexpr int16 plugInModeGrayScale = 1;
inline constexpr int16 plugInModeIndexedColor = 2;
inline constexpr int16 plugInModeRGBColor = 3;
inline constexpr int16 plugInModeCMYKColor = 4;
inline constexpr int16 plugInModeHSLColor = 5;
inline constexpr int16 plugInModeHSBColor = 6;
inline constexpr int16 plugInModeMultichannel = 7;
inline constexpr int16 plugInModeDuotone = 8;
inline constexpr int16 plugInModeLabColor = 9;
inline constexpr int16 plugInModeGray16 = 10;
inline constexpr int16 plugInModeRGB48 = 11;
inline constexpr int16 plugInModeLab48 = 12;
inline constexpr int16 plugInModeCMYK64 = 13;
inline constexpr int16 plugInModeDeepMultichannel = 14;
inline constexpr int16 plugInModeDuotone16 = 15;
inline constexpr int16 plugInModeRGB96 = 16;
inline constexpr int16 plugInModeGray32 = 17;

// ---------------------------------------------------------------------------
// Result codes (*result of the entry point, callback returns). A positive
// value means "error already reported to the user".

inline constexpr OSErr noErr = 0;
inline constexpr OSErr coercedParamErr = 2;
inline constexpr OSErr eofErr = -39;
inline constexpr OSErr paramErr = -50;
inline constexpr OSErr memFullErr = -108;
inline constexpr OSErr nilHandleErr = -109;
inline constexpr OSErr userCanceledErr = -128;
inline constexpr OSErr errMissingParameter = -1715;
inline constexpr OSErr filterBadParameters = -30100;
inline constexpr OSErr filterBadMode = -30101;
inline constexpr OSErr errPlugInHostInsufficient = -30900;
inline constexpr OSErr errPlugInPropertyUndefined = -30901;
inline constexpr OSErr errReportString = -30904;

// ---------------------------------------------------------------------------
// Filter cases (FilterRecord::filterCase and the order of the 'fici' entries).

inline constexpr int16 filterCaseUnsupported = -1;
inline constexpr int16 filterCaseNotSet = 0;
inline constexpr int16 filterCaseFlatImageNoSelection = 1;
inline constexpr int16 filterCaseFlatImageWithSelection = 2;
inline constexpr int16 filterCaseFloatingSelection = 3;
inline constexpr int16 filterCaseEditableTransparencyNoSelection = 4;
inline constexpr int16 filterCaseEditableTransparencyWithSelection = 5;
inline constexpr int16 filterCaseProtectedTransparencyNoSelection = 6;
inline constexpr int16 filterCaseProtectedTransparencyWithSelection = 7;
inline constexpr int kFilterCaseCount = 7;

// FilterCaseInfo handling bytes and flags.
inline constexpr uint8 inCantFilter = 0;
inline constexpr uint8 inStraightData = 1;
inline constexpr uint8 inBlackMat = 2;
inline constexpr uint8 inGrayMat = 3;
inline constexpr uint8 inWhiteMat = 4;
inline constexpr uint8 inDefringe = 5;
inline constexpr uint8 inBlackZap = 6;
inline constexpr uint8 inGrayZap = 7;
inline constexpr uint8 inWhiteZap = 8;
inline constexpr uint8 inBackgroundZap = 10;
inline constexpr uint8 inForegroundZap = 11;
inline constexpr uint8 outCantFilter = 0;
inline constexpr uint8 outStraightData = 1;
inline constexpr uint8 outBlackMat = 2;
inline constexpr uint8 outGrayMat = 3;
inline constexpr uint8 outWhiteMat = 4;
inline constexpr uint8 outFillMask = 9;
inline constexpr uint8 PIFilterDontCopyToDestinationBit = 0x01;
inline constexpr uint8 PIFilterWorksWithBlankDataBit = 0x02;
inline constexpr uint8 PIFilterFiltersLayerMaskBit = 0x04;
inline constexpr uint8 PIFilterWritesOutsideSelectionBit = 0x08;

// ---------------------------------------------------------------------------
// Record field values.

/// The vendor's own host signature; other hosts use their own.
inline constexpr OSType kPhotoshopSignature = 0x3842494D; // '8BIM'

// Padding requests (inputPadding, outputPadding, maskPadding); 0..255 = fill value.
inline constexpr int16 plugInWantsEdgeReplication = -1;
inline constexpr int16 plugInDoesNotWantPadding = -2;
inline constexpr int16 plugInWantsErrorOnBoundsException = -3;

// wantLayout (honoured only when supportsAlternateLayouts).
inline constexpr int16 piLayoutTraditional = 0;
inline constexpr int16 piLayoutRowsColumnsPlanes = 1;
inline constexpr int16 piLayoutRowsPlanesColumns = 2;
inline constexpr int16 piLayoutColumnsRowsPlanes = 3;
inline constexpr int16 piLayoutColumnsPlanesRows = 4;
inline constexpr int16 piLayoutPlanesRowsColumns = 5;
inline constexpr int16 piLayoutPlanesColumnsRows = 6;

/// Largest sample value of 16-bit image modes (not 65535).
inline constexpr int32 kMax16BitSample = 32768;
