#pragma once

#include "platform/win32.h"

constexpr UINT TRAY_ICON_ID = 1;
// The shell's callback for mouse events on the tray entry.
constexpr UINT WM_TRAYICON = WM_APP + 1;
// Posted by the keyboard hook when a lock key is released.
constexpr UINT WM_LOCKKEYRELEASED = WM_APP + 2;

constexpr wchar_t INITIAL_TIP[] = L"Lock Status";

// The program's one tray record. Its tooltip always holds what the shell
// shows; an empty tooltip means the entry is missing from the tray.
extern NOTIFYICONDATAW g_tray;

void AddTrayEntry();
void RefreshStatus();
// True when it redrew for a change the display had missed.
bool RefreshStatusIfChanged();
void DeleteTrayEntry();
