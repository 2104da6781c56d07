#include "refresh_variants.h"

#include "render_steps.h"

#include "status/lock_state.h"
#include "status/status_icon.h"
#include "status/tray_status.h"

FloorIcons MakeFloorIcons()
{
    const LockState state = SampleLockState();
    FloorIcons floor{};
    floor.icons[0] = RenderStatusIcon(state.num, state.caps, state.scroll);
    floor.icons[1] = RenderStatusIcon(state.num, state.caps, state.scroll);
    return floor;
}

void DestroyFloorIcons(FloorIcons& floor)
{
    DestroyIcon(floor.icons[0]);
    DestroyIcon(floor.icons[1]);
}

bool FloorRefresh(FloorIcons& floor)
{
    NOTIFYICONDATAW data = g_tray;
    data.uFlags = NIF_ICON | NIF_TIP;
    data.hIcon = floor.icons[floor.next];
    floor.next ^= 1;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void RefreshWithFirstDesign()
{
    const LockState state = SampleLockState();
    if (g_tray.hIcon != nullptr) {
        DestroyIcon(g_tray.hIcon);
    }
    g_tray.hIcon = RenderFirstDesign(state.num, state.caps, state.scroll, nullptr);
    wchar_t tip[STATUS_TIP_LENGTH];
    FormatStatusTip(state, tip);
    lstrcpyW(g_tray.szTip, tip);
    g_tray.uFlags = NIF_ICON | NIF_TIP;
    if (!Shell_NotifyIconW(NIM_MODIFY, &g_tray)) {
        g_tray.szTip[0] = L'\0';
    }
}
