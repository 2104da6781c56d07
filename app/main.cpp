#include "app/tray_window.h"
#include "status/keyboard_hook.h"

namespace {

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

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/)
{
    RegisterTrayWindowClass(instance);
    InstallKeyboardHook(instance);
    if (CreateTrayWindow(instance) == nullptr) {
        // Without the window nothing could ever end the message loop.
        RemoveKeyboardHook();
        return 1;
    }
    return RunMessageLoop();
}
