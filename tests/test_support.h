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

// Sends this module's calls of one imported function elsewhere while it
// lives, by patching the import address table they go through. Used where
// Wine cannot produce a situation, or to watch a call.
class ImportPatch {
public:
    ImportPatch(const char* dll, const char* function, void (*replacement)());
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    template <typename Function>
    Function original() const
    {
        // Through void(*)(): the one function pointer type casts may pass silently.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(original_));
    }

private:
    FARPROC* slot_ = nullptr;
    FARPROC original_ = nullptr;
};

// Counts this module's calls of DefWindowProcW while it lives.
class DefWindowProcCounter {
public:
    DefWindowProcCounter();
    int calls() const;

private:
    static LRESULT WINAPI Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    ImportPatch patch_;
};

// Presses and releases one key through the system's input queue.
void TapKey(WORD virtualKey);
