// The Windows SDK as this program uses it: wide-character APIs only, no
// rarely used headers, and compile-time checks of the layouts it relies on.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Windows 10 declarations, so ChangeWindowMessageFilterEx and friends exist.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif

#include <windows.h>
#include <shellapi.h>

#include <cstddef>

// The tray record's full size, the one every shell since Vista accepts.
static_assert(sizeof(void*) != 8 || sizeof(NOTIFYICONDATAW) == 976,
              "NOTIFYICONDATAW is not the 976-byte record of 64-bit Windows");
// The hook reads only the virtual-key code, the record's first field.
static_assert(offsetof(KBDLLHOOKSTRUCT, vkCode) == 0, "vkCode must come first");
static_assert(sizeof(KBDLLHOOKSTRUCT{}.vkCode) == 4, "vkCode must be 32-bit");
