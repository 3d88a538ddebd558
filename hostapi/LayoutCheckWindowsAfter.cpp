// LayoutCheckWindowsAfter.cpp - the declarations first, <windows.h> after them:
// neither order may clash.
#include "hostapi/HostApi.h"

#include <windows.h>

static_assert(sizeof(Boolean) == 1 && sizeof(BOOL) == 4, "Boolean is one byte, unlike BOOL");
