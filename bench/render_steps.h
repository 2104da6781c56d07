// The icon renderer as first written (GetDC on the screen, the bitmap still
// selected while the icon is copied), timed step by step: it shows where the
// drawing time goes, and is the pixel reference for RenderStatusIcon.
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
