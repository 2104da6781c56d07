#include "app/tray_window.h"
#include "status/keyboard_hook.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/)
{
    RegisterTrayWindowClass(instance);
    InstallKeyboardHook();
    if (CreateTrayWindow(instance) == nullptr) {
        // Without the window nothing could ever end the message loop.
        RemoveKeyboardHook();
        return 1;
    }
    return RunMessageLoop();
}
