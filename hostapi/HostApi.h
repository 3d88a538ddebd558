// HostApi.h - our declarations of the filter plug-in host interface, shared by
// the plug-in and by gwhost so that a layout error shows on both sides.
//
// Declarations and layout proofs only; no behaviour. Everything is in the global
// namespace under the interface's own names. Names chosen so that nothing clashes
// with <windows.h> (which may be included before or after this header):
//   Rect16 / Point16   16-bit rectangle and point (never Rect / Point / RECT)
//   VRect / VPoint     32-bit rectangle and point
//   Boolean            one byte (unsigned char), not BOOL / BOOLEAN / bool
//   Handle, Ptr        host memory handle and pointer (not HANDLE)
//   OSErr, OSType, Fixed, Str255, SPErr, SPBoolean, int16, int32, uint8, ...
//
// Files:
//   HostTypes.h      scalar types, small structures, selectors, modes, result codes
//   HostCallbacks.h  callback types, handle procs, pixel maps, descriptors, PICA suites
//   FilterRecord.h   FilterRecord, BigDocumentStruct, AboutRecord, PiPL structures and keys
//   HostApiLayout.h  static_asserts of every offset and size, for x86 and x64
#pragma once

#include "hostapi/HostTypes.h"
#include "hostapi/HostCallbacks.h"
#include "hostapi/FilterRecord.h"
#include "hostapi/HostApiLayout.h"
