#include "menu/startup.h"

namespace {

// The executable's path in double quotes: the shell runs the value as a
// command line, and an unquoted path with spaces is tried piece by piece
// (C:\Program.exe first).
constexpr DWORD QUOTED_PATH_LENGTH = MAX_PATH + 3;

// Returns the number of characters, or 0 when the path did not fit: a
// truncated path would start nothing, or something else.
DWORD GetQuotedModulePath(wchar_t (&quoted)[QUOTED_PATH_LENGTH])
{
    const DWORD length = GetModuleFileNameW(nullptr, quoted + 1, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 0;
    }
    quoted[0] = L'"';
    quoted[length + 1] = L'"';
    quoted[length + 2] = L'\0';
    return length + 2;
}

// Deletes our value from one of the current user's keys; a missing key stays missing.
void DeleteStartupValue(const wchar_t* keyPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueW(key, RUN_VALUE_NAME);
    RegCloseKey(key);
}

void AddStartupValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    wchar_t quoted[QUOTED_PATH_LENGTH];
    const DWORD length = GetQuotedModulePath(quoted);
    if (length != 0) {
        // The byte count includes the terminating null, as REG_SZ expects;
        // counted in DWORD, the type the call takes.
        RegSetValueExW(key, RUN_VALUE_NAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(quoted),
                       (length + 1) * static_cast<DWORD>(sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

// Startup apps (Task Manager, Settings) keeps the user's switch apart from the
// Run value, as binary data whose first byte has its low bit set when off
// (02 on; 03 or 07 off); Explorer then skips the Run value at logon. Data of
// another type, or none, counts as on.
bool IsSwitchedOffInStartupApps()
{
    BYTE mark[12] = {};
    DWORD size = sizeof(mark);
    return RegGetValueW(HKEY_CURRENT_USER, STARTUP_APPROVED_KEY_PATH, RUN_VALUE_NAME,
                        RRF_RT_REG_BINARY, nullptr, mark, &size) == ERROR_SUCCESS &&
           (mark[0] & 1) != 0;
}

} // namespace

bool IsStartupEnabled()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool exists =
        RegQueryValueExW(key, RUN_VALUE_NAME, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists && !IsSwitchedOffInStartupApps();
}

// The registry is read again here: the menu may have been open for a while.
void ToggleStartup()
{
    if (IsStartupEnabled()) {
        DeleteStartupValue(RUN_KEY_PATH);
    } else {
        AddStartupValue();
    }
    // The user's latest choice wins over the Startup apps switch, as when it
    // is flipped there; and nothing of ours is left behind.
    DeleteStartupValue(STARTUP_APPROVED_KEY_PATH);
}
