#include "status/tray_status.h"

#include "status/lock_state.h"
#include "status/status_icon.h"

NOTIFYICONDATAW g_tray{};

namespace {

void ReplaceIcon(LockState state)
{
    if (g_tray.hIcon != nullptr) {
        DestroyIcon(g_tray.hIcon);
    }
    g_tray.hIcon = RenderStatusIcon(state.num, state.caps, state.scroll);
}

void MarkTrayEntryMissing()
{
    g_tray.szTip[0] = L'\0';
}

} // namespace

// Adds the entry with the full record (again, after the shell restarted or
// was not ready yet), then brings it up to date. Whether the entry is there
// is judged by that update: an add fails for an entry the shell still has.
void AddTrayEntry()
{
    g_tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (g_tray.hIcon == nullptr) {
        ReplaceIcon(SampleLockState());
    }
    if (g_tray.szTip[0] == L'\0') {
        lstrcpyW(g_tray.szTip, INITIAL_TIP);
    }
    Shell_NotifyIconW(NIM_ADD, &g_tray);
    RefreshStatus();
}

void RefreshStatus()
{
    const LockState state = SampleLockState();
    ReplaceIcon(state);

    wchar_t tip[STATUS_TIP_LENGTH];
    FormatStatusTip(state, tip);
    lstrcpyW(g_tray.szTip, tip);

    g_tray.uFlags = NIF_ICON | NIF_TIP;
    if (!Shell_NotifyIconW(NIM_MODIFY, &g_tray)) {
        MarkTrayEntryMissing();
    }
}

// Catches changes that never pass the hook (the secure desktop, a dropped
// hook) and retries a missing entry, without drawing when nothing changed.
bool RefreshStatusIfChanged()
{
    if (g_tray.szTip[0] == L'\0') {
        AddTrayEntry();
        return false;
    }
    wchar_t tip[STATUS_TIP_LENGTH];
    FormatStatusTip(SampleLockState(), tip);
    if (lstrcmpW(tip, g_tray.szTip) == 0) {
        return false;
    }
    RefreshStatus();
    return true;
}

void DeleteTrayEntry()
{
    Shell_NotifyIconW(NIM_DELETE, &g_tray);
}
