#include "benches.h"

#include "platform/win32.h"

// Ends a program the way the shell's task list would, by closing its window.
int RunClose(const wchar_t* windowClass)
{
    HWND window = FindWindowW(windowClass, nullptr);
    if (window == nullptr) {
        return 1;
    }
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) ? 0 : 1;
}
