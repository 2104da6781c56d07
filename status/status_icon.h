#pragma once

#include "platform/win32.h"

constexpr int STATUS_ICON_SIZE = 32;

// Draws the tray picture for one set of lock states. The caller owns the
// icon and destroys it.
HICON RenderStatusIcon(bool num, bool caps, bool scroll);
