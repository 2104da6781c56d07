#pragma once

#include "platform/win32.h"

constexpr UINT ID_TRAY_EXIT = 1001;
constexpr UINT ID_TRAY_ABOUT = 1002;
constexpr UINT ID_TRAY_STARTUP = 1003;

constexpr wchar_t ABOUT_TITLE[] = L"About";
constexpr wchar_t ABOUT_TEXT[] =
    L"Tolvane\n\n"
    L"Shows keyboard status (Num lock, Caps lock, Scroll lock) in the system tray.\n\n"
    L"Free software: use it, share it, change it.";

// Opens the tray entry's menu at the cursor; the choice comes back to
// window as WM_COMMAND.
void ShowTrayMenu(HWND window);
void ShowAbout(HWND window);
