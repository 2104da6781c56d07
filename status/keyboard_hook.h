#pragma once

#include "platform/win32.h"

// The low-level keyboard hook, null when it could not be installed.
extern HHOOK g_hook;

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam);
void InstallKeyboardHook();
void RemoveKeyboardHook();
