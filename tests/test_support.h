#pragma once

#include "platform/win32.h"

#include <functional>
#include <string>

// Pumps this thread's messages until done() holds or the time is up.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The icon's colour image, 32x32, as 0x00RRGGBB per pixel, rows top-down.
struct IconPixels {
    DWORD pixel[32][32];
};
IconPixels ReadIconPixels(HICON icon);
// The icon drawn with DrawIconEx over a solid backdrop, 0x00RRGGBB.
IconPixels DrawIconOver(HICON icon, COLORREF backdrop);

constexpr DWORD Rgb(BYTE r, BYTE g, BYTE b)
{
    return (DWORD{r} << 16) | (DWORD{g} << 8) | DWORD{b};
}

// Redirects HKEY_CURRENT_USER of this process to a scratch key, removed
// again (with everything under it) by the destructor.
class ScratchCurrentUser {
public:
    ScratchCurrentUser();
    ~ScratchCurrentUser();
    ScratchCurrentUser(const ScratchCurrentUser&) = delete;
    ScratchCurrentUser& operator=(const ScratchCurrentUser&) = delete;

    void CreateRunKey();
    void SetRunValue(DWORD type, const void* data, DWORD bytes);
    bool RunValueExists();
    bool RunKeyExists();
    std::wstring ReadRunString(DWORD* type);
    // Where the scratch key lives under the real HKEY_CURRENT_USER.
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    HKEY root_ = nullptr;
};

// Counts this module's calls of DefWindowProcW while it lives, by patching
// the import it goes through.
class DefWindowProcCounter {
public:
    DefWindowProcCounter();
    ~DefWindowProcCounter();
    DefWindowProcCounter(const DefWindowProcCounter&) = delete;
    DefWindowProcCounter& operator=(const DefWindowProcCounter&) = delete;
    int calls() const;
};

// Presses and releases one key through the system's input queue.
void TapKey(WORD virtualKey);
