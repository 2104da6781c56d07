// Toggles the Run value from wherever this executable was copied to, with
// HKEY_CURRENT_USER redirected to the scratch key named on the command line.
#include "menu/startup.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        return 2;
    }
    HKEY scratch = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, argv[1], 0, KEY_ALL_ACCESS, &scratch) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, scratch) != ERROR_SUCCESS) {
        return 3;
    }
    ToggleStartup();
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratch);
    return 0;
}
