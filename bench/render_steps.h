// Copies of the icon renderer, timed step by step: the first design (which
// also serves as the pixel reference for RenderStatusIcon) and the current
// one. Kept in step with status/status_icon.cpp by the pixel comparison.
#pragma once

#include "platform/win32.h"

constexpr int MAX_STEPS = 24;

struct StepTimes {
    int count = 0;
    const char* name[MAX_STEPS] = {};
    double us[MAX_STEPS] = {};
};

// With steps null, nothing is timed.
HICON RenderFirstDesign(bool num, bool caps, bool scroll, StepTimes* steps);
HICON RenderCurrentDesign(bool num, bool caps, bool scroll, StepTimes* steps);
