#include "status/lock_state.h"

#include <cstdlib> // _TRUNCATE
#include <cwchar>

namespace {

// Bit 0 is the toggle; the high bit only says whether the key is held down.
bool IsToggled(int virtualKey)
{
    return (GetKeyState(virtualKey) & 1) != 0;
}

} // namespace

LockState SampleLockState()
{
    LockState state{};
    state.num = IsToggled(VK_NUMLOCK);
    state.caps = IsToggled(VK_CAPITAL);
    state.scroll = IsToggled(VK_SCROLL);
    return state;
}

void FormatStatusTip(LockState state, wchar_t (&tip)[STATUS_TIP_LENGTH])
{
    // %ls is a wide string under both Microsoft's and the C standard's rules.
    _snwprintf_s(tip, STATUS_TIP_LENGTH, _TRUNCATE, L"%ls%ls%ls",
                 state.num ? L"N " : L"n ",
                 state.caps ? L"C " : L"c ",
                 state.scroll ? L"S" : L"s");
}
