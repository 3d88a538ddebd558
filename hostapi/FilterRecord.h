// FilterRecord.h - the records passed to a filter's entry point, and the PiPL
// data structures.
//
// FilterRecord and BigDocumentStruct are packed to 4 bytes on both x86 and x64,
// as hosts compile them; on x64 many pointers therefore sit at offsets that are
// not multiples of 8. The pragma must be the literal `pack(push, 4)`: mingw
// reads `pack(push, MACRO)` as a label push and silently keeps natural packing.
// Everything else has natural alignment. A plug-in must not rely on
// sizeof(FilterRecord): hosts of older generations allocate a shorter tail.
#pragma once

#include "hostapi/HostCallbacks.h"

#pragma pack(push, 4)

/// 32-bit geometry for documents above 32767 pixels per side (optional; NULL in
/// hosts without it). The plug-in sets PluginUsing32BitCoordinates when it uses it.
struct BigDocumentStruct
{
    int32 PluginUsing32BitCoordinates;
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
};

struct FilterRecord
{
    int32 serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters; ///< owned by the plug-in, kept by the host between runs

    Point16 imageSize;
    int16 planes;
    Rect16 filterRect;
    RGBColor background;
    RGBColor foreground;
    int32 maxSpace;
    int32 bufferSpace;

    // Requests written by the plug-in, answered by the host in in/out/maskData.
    Rect16 inRect;
    int16 inLoPlane;
    int16 inHiPlane;
    Rect16 outRect;
    int16 outLoPlane;
    int16 outHiPlane;
    void* inData;
    int32 inRowBytes;
    void* outData;
    int32 outRowBytes;

    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect16 maskRect;
    void* maskData; ///< one byte per pixel, 255 = selected
    int32 maskRowBytes;

    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    HostProc hostProc;
    int16 imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point16 floatCoord;
    Point16 wholeSize;
    PlugInMonitor monitor;
    PlatformData* platformData;
    BufferProcs* bufferProcs;
    ResourceProcs* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;

    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16 wantLayout;
    int16 filterCase;
    int16 dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16 inputPadding;
    int16 outputPadding;
    int16 maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;

    int16 inLayerPlanes;
    int16 inTransparencyMask;
    int16 inLayerMasks;
    int16 inInvertedLayerMasks;
    int16 inNonLayerPlanes;
    int16 outLayerPlanes;
    int16 outTransparencyMask;
    int16 outLayerMasks;
    int16 outInvertedLayerMasks;
    int16 outNonLayerPlanes;
    int16 absLayerPlanes;
    int16 absTransparencyMask;
    int16 absLayerMasks;
    int16 absInvertedLayerMasks;
    int16 absNonLayerPlanes;
    int16 inPreDummyPlanes;
    int16 inPostDummyPlanes;
    int16 outPreDummyPlanes;
    int16 outPostDummyPlanes;

    int32 inColumnBytes; ///< 0 = not set
    int32 inPlaneBytes;  ///< 0 = not set
    int32 outColumnBytes;
    int32 outPlaneBytes;

    ImageServicesProcs* imageServicesProcs;
    PropertyProcs* propertyProcs;
    int16 inTileHeight;
    int16 inTileWidth;
    Point16 inTileOrigin;
    int16 absTileHeight;
    int16 absTileWidth;
    Point16 absTileOrigin;
    int16 outTileHeight;
    int16 outTileWidth;
    Point16 outTileOrigin;
    int16 maskTileHeight;
    int16 maskTileWidth;
    Point16 maskTileOrigin;

    PIDescriptorParameters* descriptorParameters;
    Str255* errorString;
    ChannelPortProcs* channelPortProcs;
    ReadImageDocumentDesc* documentInfo;
    SPBasicSuite* sSPBasic; ///< may be NULL
    void* plugInRef;
    int32 depth; ///< bits per channel: 1, 8, 16, 32

    // Everything below lies in the reserved tail of older hosts (zero there).
    Handle iCCprofileData;
    int32 iCCprofileSize;
    int32 canUseICCProfiles;
    int32 hasImageScrap;
    BigDocumentStruct* bigDocumentData; ///< NULL if unsupported
    PIDescriptorParameters* input3DScene;
    PIDescriptorParameters* output3DScene;
    Boolean createNewLayer;
    Handle iCCWorkingProfileData;
    int32 iCCWorkingProfileSize;
    int64 bufferSpace64;
    int64 maxSpace64;
    char reserved[46];
};

#pragma pack(pop)

using FilterRecordPtr = FilterRecord*;

/// Passed instead of a FilterRecord with the about selector. The oldest hosts
/// had only platformData, so sSPBasic may be NULL.
struct AboutRecord
{
    PlatformData* platformData;
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

using AboutRecordPtr = AboutRecord*;

extern "C" {
/// The filter's entry point (exported with C linkage, cdecl on x86). record is a
/// FilterRecord* for selectors 1..5 and an AboutRecord* for selector 0; data
/// points to one pointer-sized word the host keeps for the plug-in.
typedef void (*PluginEntryProc)(int16 selector, void* record, intptr_t* data, int16* result);
}

// ---------------------------------------------------------------------------
// PiPL resource: header of 10 bytes, then properties of 16 bytes plus data
// padded to 4 bytes. Every field is little-endian and unaligned in the file.

#pragma pack(push, 1)

/// One entry of the 'fici' property, per filter case 1..7.
struct FilterCaseInfo
{
    uint8 inputHandling;
    uint8 outputHandling;
    uint8 flags1;
    uint8 flags2;
};

/// Data of the 'hstm' property; scopeString is NUL-terminated (empty = any).
struct PITerminology
{
    int32 version;
    OSType classID;
    OSType eventID;
    int16 terminologyID;
    char scopeString[1];
};

#pragma pack(pop)

inline constexpr int16 kPIPLSignatureWord = 1;
inline constexpr int32 kPIPLCurrentVersion = 0;
inline constexpr size_t kPIPLHeaderSize = 10;
inline constexpr size_t kPIPLPropertyHeaderSize = 16;
inline constexpr int16 kAETELeadingWord = 1;

// Property vendor and keys.
inline constexpr OSType PIPhotoshopVendor = 0x3842494D;            // '8BIM'
inline constexpr OSType PIKindProperty = 0x6B696E64;               // 'kind'
inline constexpr OSType PIVersionProperty = 0x76657273;            // 'vers'
inline constexpr OSType PINameProperty = 0x6E616D65;               // 'name'
inline constexpr OSType PICategoryProperty = 0x63617467;           // 'catg'
inline constexpr OSType PIImageModesProperty = 0x6D6F6465;         // 'mode'
inline constexpr OSType PIEnableInfoProperty = 0x656E626C;         // 'enbl'
inline constexpr OSType PIFilterCaseInfoProperty = 0x66696369;     // 'fici'
inline constexpr OSType PITerminologyProperty = 0x6873746D;        // 'hstm'
inline constexpr OSType PIMaxSizeProperty = 0x6D733332;            // 'ms32'
inline constexpr OSType PIMinSizeProperty = 0x6D6E3332;            // 'mn32'
inline constexpr OSType PIPriorityProperty = 0x70727479;           // 'prty'
inline constexpr OSType PIRequiredHostProperty = 0x686F7374;       // 'host'
inline constexpr OSType PIFilterLayerSupportProperty = 0x666C6C79; // 'flly'
inline constexpr OSType PIComponentProperty = 0x636D7074;          // 'cmpt'
inline constexpr OSType PIWin32X86CodeProperty = 0x77783836;       // 'wx86'
inline constexpr OSType PIWin64X86CodeProperty = 0x38363634;       // '8664'
inline constexpr OSType PIWin64ARMCodeProperty = 0x77613634;       // 'wa64'

/// 'kind' value of a filter.
inline constexpr OSType PIFilterKind = 0x3842464D; // '8BFM'
/// 'vers' value filters declare: 4.0 as (major << 16) | minor.
inline constexpr int32 kPIFilterInterfaceVersion = 0x00040000;
