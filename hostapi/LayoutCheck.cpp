// LayoutCheck.cpp - compiles the layout assertions of the host interface on
// every build (x86, x64 and native), also when nothing else includes them, and
// checks that the declarations live beside a <windows.h> included first.
#ifdef _WIN32
#include <windows.h>
#endif

#include "hostapi/HostApi.h"

static_assert(sizeof(OSErr) == 2, "OSErr is the 2-byte result type of every callback");
