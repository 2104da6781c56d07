#include "app/tray_window.h"

#include "menu/startup.h"
#include "menu/tray_menu.h"
#include "status/keyboard_hook.h"
#include "status/tray_status.h"

namespace {

// Broadcast by the shell when it (re)creates the taskbar, after which every
// tray entry must be added again.
UINT s_taskbarCreatedMessage = 0;

LRESULT OnCreate(HWND window)
{
    g_tray.cbSize = sizeof(g_tray);
    g_tray.hWnd = window;
    g_tray.uID = TRAY_ICON_ID;
    g_tray.uCallbackMessage = WM_TRAYICON;

    s_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    // Run elevated, we would not hear the shell, which runs unelevated, nor could an
    // unelevated setup close us for an update.
    ChangeWindowMessageFilterEx(window, s_taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(window, WM_TRAYICON, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(window, WM_CLOSE, MSGFLT_ALLOW, nullptr);

    AddTrayEntry();
    SetTimer(window, REFRESH_TIMER_ID, REFRESH_INTERVAL_MS, nullptr);
    return 0;
}

LRESULT OnDestroy(HWND window)
{
    RemoveKeyboardHook();
    KillTimer(window, REFRESH_TIMER_ID);
    DeleteTrayEntry();
    PostQuitMessage(0);
    return 0;
}

LRESULT OnCommand(HWND window, WORD command)
{
    switch (command) {
    case ID_TRAY_EXIT:
        DestroyWindow(window);
        break;
    case ID_TRAY_ABOUT:
        ShowAbout(window);
        break;
    case ID_TRAY_STARTUP:
        ToggleStartup();
        break;
    default:
        break;
    }
    return 0;
}

LRESULT OnTrayIcon(HWND window, LPARAM mouseMessage)
{
    if (mouseMessage == WM_RBUTTONUP) {
        ShowTrayMenu(window);
    }
    return 0;
}

LRESULT OnTimer(WPARAM timerId)
{
    // The hook should have shown that change. Windows silently removes a
    // low-level hook that overruns its time limit (after sleep, under load),
    // so it is installed again; a live one is merely replaced.
    if (timerId == REFRESH_TIMER_ID && RefreshStatusIfChanged()) {
        InstallKeyboardHook();
    }
    return 0;
}

LRESULT OnLockKeyReleased()
{
    RefreshStatus();
    return 0;
}

LRESULT OnTaskbarCreated()
{
    AddTrayEntry();
    return 0;
}

} // namespace

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        return OnDestroy(window);
    case WM_COMMAND:
        return OnCommand(window, LOWORD(wParam));
    case WM_TIMER:
        return OnTimer(wParam);
    case WM_TRAYICON:
        return OnTrayIcon(window, lParam);
    case WM_LOCKKEYRELEASED:
        return OnLockKeyReleased();
    default:
        if (s_taskbarCreatedMessage != 0 && message == s_taskbarCreatedMessage) {
            return OnTaskbarCreated();
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void RegisterTrayWindowClass(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TrayWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = TRAY_WINDOW_CLASS;
    RegisterClassW(&windowClass);
}

HWND CreateTrayWindow(HINSTANCE instance)
{
    return CreateWindowExW(0, TRAY_WINDOW_CLASS, TRAY_WINDOW_TITLE, 0, 0, 0, 0, 0, nullptr,
                           nullptr, instance, nullptr);
}

int RunMessageLoop()
{
    MSG message{};
    // Only WM_QUIT ends the loop; an error return (-1) keeps it going.
    while (GetMessageW(&message, nullptr, 0, 0) != 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
