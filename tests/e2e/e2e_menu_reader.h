// What e2e_probe and the menu reader it loads into tolvane.exe share.
#pragma once

#include "platform/win32.h"

#include <cstddef>

// Sent to the program's window; the hook answers it before the window sees it.
constexpr wchar_t READ_MENU_MESSAGE[] = L"TolvaneE2EReadOpenMenu";
// One line per item: "left top right bottom text", screen coordinates.
constexpr wchar_t MENU_TEXT_MAPPING[] = L"TolvaneE2EOpenMenu";
constexpr size_t MENU_TEXT_CHARS = 2048;
