#include "status/keyboard_hook.h"

#include "status/tray_status.h"

HHOOK g_hook = nullptr;

namespace {

bool IsKeyRelease(WPARAM message)
{
    return message == WM_KEYUP || message == WM_SYSKEYUP;
}

bool IsLockKey(DWORD virtualKey)
{
    return virtualKey == VK_CAPITAL || virtualKey == VK_NUMLOCK || virtualKey == VK_SCROLL;
}

} // namespace

// Every keystroke on the desktop waits for this procedure, and Windows drops
// a low-level hook that overruns its timeout, so the redraw is only posted:
// the shell call it ends in can block while Explorer is busy.
LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && IsKeyRelease(wParam)) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if (IsLockKey(event->vkCode)) {
            PostMessageW(g_tray.hWnd, WM_LOCKKEYRELEASED, 0, 0);
        }
    }
    return CallNextHookEx(g_hook, nCode, wParam, lParam);
}

// Low-level hooks are always global: thread 0, called on this thread. A hook
// installed before is released first, whether alive or dropped by Windows.
void InstallKeyboardHook()
{
    RemoveKeyboardHook();
    g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, GetModuleHandleW(nullptr), 0);
}

void RemoveKeyboardHook()
{
    if (g_hook != nullptr) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
}
