#include "status/lock_state.h"

#include <gtest/gtest.h>

namespace {

struct TipRow {
    LockState state;
    const wchar_t* tip;
};

// Upper case for a lock that is on, in the order Num, Caps, Scroll.
constexpr TipRow TIP_ROWS[] = {
    {{false, false, false}, L"n c s"}, {{true, false, false}, L"N c s"},
    {{false, true, false}, L"n C s"},  {{false, false, true}, L"n c S"},
    {{true, true, false}, L"N C s"},   {{true, false, true}, L"N c S"},
    {{false, true, true}, L"n C S"},   {{true, true, true}, L"N C S"},
};

TEST(FormatStatusTip, SpellsEveryCombination)
{
    for (const TipRow& row : TIP_ROWS) {
        wchar_t tip[STATUS_TIP_LENGTH];
        wmemset(tip, L'#', STATUS_TIP_LENGTH);
        FormatStatusTip(row.state, tip);
        EXPECT_STREQ(row.tip, tip);
    }
}

struct KeyStateRow {
    BYTE num, caps, scroll; // this thread's key state: 0x80 down, 0x01 toggled
    LockState expected;
};

// Only the toggle bit counts; a key held down is not a lock that is on.
constexpr KeyStateRow KEY_STATE_ROWS[] = {
    {0x00, 0x00, 0x00, {false, false, false}},
    {0x01, 0x00, 0x00, {true, false, false}},
    {0x00, 0x01, 0x00, {false, true, false}},
    {0x00, 0x00, 0x01, {false, false, true}},
    {0x80, 0x80, 0x80, {false, false, false}},
    {0x81, 0x80, 0x81, {true, false, true}},
    {0x80, 0x81, 0x01, {false, true, true}},
};

TEST(SampleLockState, ReadsOnlyTheToggleBit)
{
    BYTE saved[256];
    ASSERT_TRUE(GetKeyboardState(saved));
    for (const KeyStateRow& row : KEY_STATE_ROWS) {
        BYTE keys[256];
        memcpy(keys, saved, sizeof(keys));
        keys[VK_NUMLOCK] = row.num;
        keys[VK_CAPITAL] = row.caps;
        keys[VK_SCROLL] = row.scroll;
        ASSERT_TRUE(SetKeyboardState(keys));
        const LockState state = SampleLockState();
        EXPECT_EQ(row.expected.num, state.num) << int{row.num};
        EXPECT_EQ(row.expected.caps, state.caps) << int{row.caps};
        EXPECT_EQ(row.expected.scroll, state.scroll) << int{row.scroll};
    }
    SetKeyboardState(saved);
}

} // namespace
