// Redraws to measure RefreshStatus against: its floor, and RefreshStatus as
// it was with the first design's renderer.
#pragma once

#include "platform/win32.h"

// The floor of a redraw: one NIM_MODIFY of the program's entry with an icon
// made in advance (two, alternately, so the shell always gets a new one).
struct FloorIcons {
    HICON icons[2];
    int next;
};
FloorIcons MakeFloorIcons();
void DestroyFloorIcons(FloorIcons& floor);
bool FloorRefresh(FloorIcons& floor);

// RefreshStatus's calls in RefreshStatus's order, drawing with the first
// design's renderer.
void RefreshWithFirstDesign();
