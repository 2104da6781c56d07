#pragma once

#include "platform/win32.h"

constexpr wchar_t RUN_KEY_PATH[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t STARTUP_APPROVED_KEY_PATH[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr wchar_t RUN_VALUE_NAME[] = L"TolvaneIcon";

// True when the current user's Run key has our value, whatever it holds, and
// Startup apps has not switched it off.
bool IsStartupEnabled();
// Adds the Run value when startup is off, removes it when on; either way
// clears our Startup apps switch.
void ToggleStartup();
