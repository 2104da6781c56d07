#pragma once

#include "platform/win32.h"

constexpr wchar_t RUN_KEY_PATH[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t RUN_VALUE_NAME[] = L"TolvaneIcon";

// True when the current user's Run key has our value, whatever it holds.
bool IsStartupEnabled();
// Adds the Run value when it is absent, removes it when present.
void ToggleStartup();
