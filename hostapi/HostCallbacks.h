// HostCallbacks.h - callback signatures and callback tables of the filter host
// interface: direct record callbacks, handle procedures, pixel maps for
// displayPixels, scripting descriptors and the PICA suites.
//
// Function pointer types carry no calling-convention keyword: on x86 the
// default (cdecl) is the convention every host uses, on x64 there is only one.
// Every table here has the compiler's natural alignment (no packing pragma):
// on x64 the first procedure of each "...Procs" table sits at offset 8.
#pragma once

#include "hostapi/HostTypes.h"

// Structures the project never looks into; declared so pointers are typed.
struct BufferProcs;
struct ResourceProcs;
struct ImageServicesProcs;
struct PropertyProcs;
struct ChannelPortProcs;
struct ReadImageDocumentDesc;
struct ColorServicesInfo;
struct PIDescriptorSimpleReference;
struct ASZByteRun;
using ASZString = ASZByteRun*;

extern "C" {

// ---------------------------------------------------------------------------
// Callbacks stored directly in the FilterRecord.

struct PSPixelMap;

/// Non-zero when the user asked to cancel.
typedef Boolean (*TestAbortProc)(void);
typedef void (*ProgressProc)(int32 done, int32 total);
typedef void (*HostProc)(int16 selector, intptr_t* data);
typedef void (*ProcessEventProc)(void* event);
/// platformContext is the target HDC on Windows; (dstRow, dstCol) are the device
/// coordinates of srcRect's top-left pixel; no scaling.
typedef OSErr (*DisplayPixelsProc)(const PSPixelMap* source, const VRect* srcRect, int32 dstRow,
                                   int32 dstCol, void* platformContext);
typedef OSErr (*AdvanceStateProc)(void);
typedef OSErr (*ColorServicesProc)(ColorServicesInfo* info);
typedef OSErr (*GetPropertyProc)(OSType signature, OSType key, int32 index,
                                 intptr_t* simpleProperty, Handle* complexProperty);

// ---------------------------------------------------------------------------
// Handle procedures.

typedef Handle (*NewPIHandleProc)(int32 size);
typedef void (*DisposePIHandleProc)(Handle h);
typedef int32 (*GetPIHandleSizeProc)(Handle h);
typedef OSErr (*SetPIHandleSizeProc)(Handle h, int32 newSize);
/// Returns the data pointer of the handle.
typedef Ptr (*LockPIHandleProc)(Handle h, Boolean moveHigh);
/// Not reference counted.
typedef void (*UnlockPIHandleProc)(Handle h);
typedef void (*RecoverSpaceProc)(int32 size);
/// For handles the host did not create through newProc.
typedef void (*DisposeRegularHandleProc)(Handle h);

inline constexpr int16 kCurrentHandleProcsVersion = 1;
inline constexpr int16 kCurrentHandleProcsCount = 8;

struct HandleProcs
{
    int16 handleProcsVersion;
    int16 numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
    RecoverSpaceProc recoverSpaceProc;
    DisposeRegularHandleProc disposeRegularHandleProc; // absent when numHandleProcs < 8
};

// ---------------------------------------------------------------------------
// Pixel maps passed to displayPixels.

/// maskDescription values; for 0..3, 255 = opaque and 0 = transparent.
inline constexpr int32 kSimplePSMask = 0;
inline constexpr int32 kBlackMatPSMask = 1;
inline constexpr int32 kGrayMatPSMask = 2;
inline constexpr int32 kWhiteMatPSMask = 3;
inline constexpr int32 kInvertPSMask = 4;

struct PSPixelMask
{
    PSPixelMask* next;
    void* maskData;
    int32 rowBytes;
    int32 colBytes;
    int32 maskDescription;
};

/// Version 1 of the pixel map (the fields up to maskPhaseCol). Later versions
/// append fields a sender of version 1 does not provide.
struct PSPixelMap
{
    int32 version;
    VRect bounds;
    int32 imageMode;
    int32 rowBytes;
    int32 colBytes;
    int32 planeBytes;
    void* baseAddr; ///< first plane of the top-left pixel of bounds
    PSPixelMask* mat;
    PSPixelMask* masks;
    int32 maskPhaseRow;
    int32 maskPhaseCol;
};

// ---------------------------------------------------------------------------
// Scripting descriptors.

using PIDescriptorHandle = Handle;
struct PIOpaqueReadDescriptor;
struct PIOpaqueWriteDescriptor;
using PIReadDescriptor = PIOpaqueReadDescriptor*;
using PIWriteDescriptor = PIOpaqueWriteDescriptor*;
using DescriptorKeyID = uint32;
using DescriptorTypeID = uint32;
using DescriptorUnitID = uint32;
using DescriptorEnumID = uint32;
using DescriptorKeyIDArray = DescriptorKeyID*; ///< zero-terminated, may be NULL

typedef PIWriteDescriptor (*OpenWriteDescriptorProc)(void);
typedef OSErr (*CloseWriteDescriptorProc)(PIWriteDescriptor, PIDescriptorHandle* newHandle);
typedef OSErr (*PutIntegerProc)(PIWriteDescriptor, DescriptorKeyID, int32 value);
typedef OSErr (*PutFloatProc)(PIWriteDescriptor, DescriptorKeyID, const double* value);
typedef OSErr (*PutUnitFloatProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorUnitID,
                                  const double* value);
typedef OSErr (*PutBooleanProc)(PIWriteDescriptor, DescriptorKeyID, Boolean value);
typedef OSErr (*PutTextProc)(PIWriteDescriptor, DescriptorKeyID, Handle text);
typedef OSErr (*PutAliasProc)(PIWriteDescriptor, DescriptorKeyID, Handle alias);
typedef OSErr (*PutEnumeratedProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID type,
                                   DescriptorEnumID value);
typedef OSErr (*PutClassProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID);
typedef OSErr (*PutSimpleReferenceProc)(PIWriteDescriptor, DescriptorKeyID,
                                        const PIDescriptorSimpleReference*);
typedef OSErr (*PutObjectProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID,
                               PIDescriptorHandle);
typedef OSErr (*PutCountProc)(PIWriteDescriptor, DescriptorKeyID, uint32 count);
typedef OSErr (*PutStringProc)(PIWriteDescriptor, DescriptorKeyID,
                               const unsigned char* pascalString);
typedef OSErr (*PutScopedClassProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID);
typedef OSErr (*PutScopedObjectProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID,
                                     PIDescriptorHandle);

inline constexpr int16 kCurrentWriteDescriptorProcsVersion = 0;
inline constexpr int16 kCurrentWriteDescriptorProcsCount = 16;

struct WriteDescriptorProcs
{
    int16 writeDescriptorProcsVersion;
    int16 numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
};

typedef PIReadDescriptor (*OpenReadDescriptorProc)(PIDescriptorHandle, DescriptorKeyIDArray);
/// Returns the most serious error met while reading.
typedef OSErr (*CloseReadDescriptorProc)(PIReadDescriptor);
/// True while a key was delivered.
typedef Boolean (*GetKeyProc)(PIReadDescriptor, DescriptorKeyID* key, DescriptorTypeID* type,
                              int32* flags);
typedef OSErr (*GetIntegerProc)(PIReadDescriptor, int32* value);
typedef OSErr (*GetFloatProc)(PIReadDescriptor, double* value);
typedef OSErr (*GetUnitFloatProc)(PIReadDescriptor, DescriptorUnitID* unit, double* value);
typedef OSErr (*GetBooleanProc)(PIReadDescriptor, Boolean* value);
typedef OSErr (*GetTextProc)(PIReadDescriptor, Handle* text);
typedef OSErr (*GetAliasProc)(PIReadDescriptor, Handle* alias);
typedef OSErr (*GetEnumeratedProc)(PIReadDescriptor, DescriptorEnumID* value);
typedef OSErr (*GetClassProc)(PIReadDescriptor, DescriptorTypeID* type);
typedef OSErr (*GetSimpleReferenceProc)(PIReadDescriptor, PIDescriptorSimpleReference*);
typedef OSErr (*GetObjectProc)(PIReadDescriptor, DescriptorTypeID* type,
                               PIDescriptorHandle* object);
typedef OSErr (*GetCountProc)(PIReadDescriptor, uint32* count);
typedef OSErr (*GetStringProc)(PIReadDescriptor, Str255* value);
typedef OSErr (*GetPinnedIntegerProc)(PIReadDescriptor, int32 min, int32 max, int32* value);
typedef OSErr (*GetPinnedFloatProc)(PIReadDescriptor, const double* min, const double* max,
                                    double* value);
typedef OSErr (*GetPinnedUnitFloatProc)(PIReadDescriptor, const double* min, const double* max,
                                        DescriptorUnitID* unit, double* value);

inline constexpr int16 kCurrentReadDescriptorProcsVersion = 0;
inline constexpr int16 kCurrentReadDescriptorProcsCount = 18;

struct ReadDescriptorProcs
{
    int16 readDescriptorProcsVersion;
    int16 numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};

// playInfo (host to plug-in)
inline constexpr int16 plugInDialogDontDisplay = 0;
inline constexpr int16 plugInDialogDisplay = 1;
inline constexpr int16 plugInDialogSilent = 2;
// recordInfo (plug-in to host)
inline constexpr int16 plugInDialogOptional = 0;
inline constexpr int16 plugInDialogRequired = 1;
inline constexpr int16 plugInDialogNone = 2;

inline constexpr int16 kCurrentDescriptorParametersVersion = 0;

/// Note the order: the write table comes before the read table.
struct PIDescriptorParameters
{
    int16 descriptorParametersVersion;
    int16 playInfo;
    int16 recordInfo;
    PIDescriptorHandle descriptor;
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

// Descriptor type codes.
inline constexpr DescriptorTypeID typeInteger = 0x6C6F6E67;         // 'long'
inline constexpr DescriptorTypeID typeBoolean = 0x626F6F6C;         // 'bool'
inline constexpr DescriptorTypeID typeFloat = 0x646F7562;           // 'doub'
inline constexpr DescriptorTypeID typeUnitFloat = 0x556E7446;       // 'UntF'
inline constexpr DescriptorTypeID typeChar = 0x54455854;            // 'TEXT'
inline constexpr DescriptorTypeID typeEnumerated = 0x656E756D;      // 'enum'
inline constexpr DescriptorTypeID typeType = 0x74797065;            // 'type'
inline constexpr DescriptorTypeID typeObject = 0x4F626A63;          // 'Objc'
inline constexpr DescriptorTypeID typeObjectSpecifier = 0x6F626A20; // 'obj '
inline constexpr DescriptorTypeID typeNull = 0x6E756C6C;            // 'null'
inline constexpr DescriptorTypeID typeAlias = 0x616C6973;           // 'alis'
inline constexpr DescriptorTypeID typeImageReference = 0x23496D52;  // '#ImR'

// Flags returned by getKeyProc.
inline constexpr int32 actionSimpleParameter = 0x00000000;
inline constexpr int32 actionEnumeratedParameter = 0x00002000;
inline constexpr int32 actionListParameter = 0x00004000;
inline constexpr int32 actionOptionalParameter = 0x00008000;
inline constexpr int32 actionObjectParameter = static_cast<int32>(0x80000000u);
inline constexpr int32 actionScopedParameter = 0x40000000;
inline constexpr int32 actionStringIDParameter = 0x20000000;

// ---------------------------------------------------------------------------
// PICA: the basic suite and the UI hooks suite.

typedef SPErr (*SPAcquireSuiteProc)(const char* name, int32 version, const void** suite);
typedef SPErr (*SPReleaseSuiteProc)(const char* name, int32 version);
typedef SPBoolean (*SPIsEqualProc)(const char* token1, const char* token2);
typedef SPErr (*SPAllocateBlockProc)(size_t size, void** block);
typedef SPErr (*SPFreeBlockProc)(void* block);
typedef SPErr (*SPReallocateBlockProc)(void* block, size_t newSize, void** newBlock);
typedef SPErr (*SPUndefinedProc)(void);

struct SPBasicSuite
{
    SPAcquireSuiteProc AcquireSuite;
    SPReleaseSuiteProc ReleaseSuite;
    SPIsEqualProc IsEqual;
    SPAllocateBlockProc AllocateBlock;
    SPFreeBlockProc FreeBlock;
    SPReallocateBlockProc ReallocateBlock;
    SPUndefinedProc Undefined;
};

inline constexpr SPErr kSPNoError = 0;
inline constexpr SPErr kSPUnimplementedError = 0x21494D50; // '!IMP'
inline constexpr SPErr kSPSuiteNotFoundError = 0x53214664; // 'S!Fd'
inline constexpr SPErr kSPBadParameterError = 0x5061726D;  // 'Parm'
inline constexpr SPErr kSPOutOfMemoryError = -108;
/// SetCursor's answer to a cursor name the host does not know.
inline constexpr SPErr kSPCursorNotFoundError = 0x21637572; // '!cur'

typedef intptr_t (*MainAppWindowProc)(void);
typedef SPErr (*HostSetCursorProc)(const char* cursorName);
/// 60 ticks per second.
typedef uint32 (*HostTickCountProc)(void);
typedef SPErr (*PluginNameProc)(void* pluginRef, ASZString* name);

inline constexpr const char kPSUIHooksSuiteName[] = "Photoshop UIHooks Suite for Plug-ins";
inline constexpr int32 kPSUIHooksSuiteVersion1 = 1;

/// Version 1 of the UI hooks suite; later versions only append entries.
struct PSUIHooksSuite1
{
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    ProgressProc progressBar;
    TestAbortProc testAbort;
    MainAppWindowProc MainAppWindow;
    HostSetCursorProc SetCursor;
    HostTickCountProc TickCount;
    PluginNameProc GetPluginName;
};

// Cursor names accepted by SetCursor (NULL = no cursor).
inline constexpr const char kPICursorArrow[] = "Photoshop Cursor Arrow";
inline constexpr const char kPICursorWatch[] = "Photoshop Cursor Watch";
inline constexpr const char kPICursorWatchContinue[] = "Photoshop Cursor Watch Continue";
inline constexpr const char kPICursorMove[] = "Photoshop Cursor Move";
inline constexpr const char kPICursorHand[] = "Photoshop Cursor Hand";
inline constexpr const char kPICursorGrab[] = "Photoshop Cursor Grab";
inline constexpr const char kPICursorZoomIn[] = "Photoshop Cursor Zoom In";
inline constexpr const char kPICursorZoomOut[] = "Photoshop Cursor Zoom Out";
inline constexpr const char kPICursorZoomLimit[] = "Photoshop Cursor Zoom Limit";
inline constexpr const char kPICursorPencil[] = "Photoshop Cursor Pencil";
inline constexpr const char kPICursorEyedropper[] = "Photoshop Cursor Eyedropper";
inline constexpr const char kPICursorEyedropperPlus[] = "Photoshop Cursor Eyedropper Plus";
inline constexpr const char kPICursorEyedropperMinus[] = "Photoshop Cursor Eyedropper Minus";
inline constexpr const char kPICursorBucket[] = "Photoshop Cursor Bucket";
inline constexpr const char kPICursorCrosshair[] = "Photoshop Cursor Crosshair";
inline constexpr const char kPICursorType[] = "Photoshop Cursor Type";
inline constexpr const char kPICursorPathArrow[] = "Photoshop Cursor Path Arrow";

} // extern "C"
