#pragma once

#include "platform/win32.h"

// The toggle state of the three lock keys at one moment.
struct LockState {
    bool num;
    bool caps;
    bool scroll;
};

constexpr int STATUS_TIP_LENGTH = 64;

LockState SampleLockState();
void FormatStatusTip(LockState state, wchar_t (&tip)[STATUS_TIP_LENGTH]);
