#pragma once

#include "platform/win32.h"

constexpr wchar_t TRAY_WINDOW_CLASS[] = L"TolvaneClass";
constexpr wchar_t TRAY_WINDOW_TITLE[] = L"Tolvane";
constexpr UINT_PTR REFRESH_TIMER_ID = 1;
constexpr UINT REFRESH_INTERVAL_MS = 1000;

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterTrayWindowClass(HINSTANCE instance);
// The hidden window that owns the tray entry; never shown.
HWND CreateTrayWindow(HINSTANCE instance);
// Runs until WM_QUIT and returns its exit code.
int RunMessageLoop();
