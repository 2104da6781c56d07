// The idle floor for tolvane.exe: the same hidden window, message loop and
// one-second timer, doing nothing else. No tray entry, no hook, no drawing.
#include "platform/win32.h"

namespace {

constexpr wchar_t FLOOR_CLASS[] = L"TolvaneBenchFloor";
constexpr UINT_PTR TIMER_ID = 1;
constexpr UINT INTERVAL_MS = 1000;

LRESULT CALLBACK FloorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        SetTimer(window, TIMER_ID, INTERVAL_MS, nullptr);
        return 0;
    case WM_TIMER:
        return 0;
    case WM_DESTROY:
        KillTimer(window, TIMER_ID);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = FloorWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = FLOOR_CLASS;
    RegisterClassW(&windowClass);
    if (CreateWindowExW(0, FLOOR_CLASS, L"Tolvane floor", 0, 0, 0, 0, 0, nullptr, nullptr,
                        instance, nullptr) == nullptr) {
        return 1;
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) != 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
