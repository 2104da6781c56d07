#include "menu/tray_menu.h"

#include "menu/startup.h"

void ShowTrayMenu(HWND window)
{
    POINT cursor{};
    GetCursorPos(&cursor);

    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, ID_TRAY_STARTUP,
                IsStartupEnabled() ? L"Stop running at startup" : L"Set to run at startup");
    AppendMenuW(menu, MF_STRING, ID_TRAY_ABOUT, ABOUT_TITLE);
    AppendMenuW(menu, MF_STRING, ID_TRAY_EXIT, L"Exit");

    // Unless our window is in the foreground, the menu does not close when
    // the user clicks elsewhere.
    SetForegroundWindow(window);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
    // Switches tasks so that the next right click opens the menu properly
    // instead of flashing it away.
    PostMessageW(window, WM_NULL, 0, 0);

    DestroyMenu(menu);
}

void ShowAbout(HWND window)
{
    MessageBoxW(window, ABOUT_TEXT, ABOUT_TITLE, MB_ICONINFORMATION);
}
