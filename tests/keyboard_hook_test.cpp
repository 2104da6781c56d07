#include "tray_fixture.h"
#include "test_support.h"

#include <vector>

namespace {

bool TakeRefreshRequest(HWND window)
{
    MSG message;
    return PeekMessageW(&message, window, WM_LOCKKEYRELEASED, WM_LOCKKEYRELEASED, PM_REMOVE) !=
           FALSE;
}

struct HookRow {
    int line;
    int nCode;
    WPARAM message;
    DWORD vkCode;
    bool refresh;
};

const HookRow HOOK_ROWS[] = {
    {__LINE__, HC_ACTION, WM_KEYUP, VK_CAPITAL, true},
    {__LINE__, HC_ACTION, WM_KEYUP, VK_NUMLOCK, true},
    {__LINE__, HC_ACTION, WM_KEYUP, VK_SCROLL, true},
    {__LINE__, HC_ACTION, WM_SYSKEYUP, VK_CAPITAL, true}, // released with Alt held
    {__LINE__, HC_ACTION, WM_SYSKEYUP, VK_SCROLL, true},
    {__LINE__, HC_ACTION, WM_KEYDOWN, VK_CAPITAL, false},
    {__LINE__, HC_ACTION, WM_SYSKEYDOWN, VK_NUMLOCK, false},
    {__LINE__, HC_ACTION, WM_KEYUP, VK_SHIFT, false},
    {__LINE__, HC_ACTION, WM_KEYUP, VK_LSHIFT, false},
    {__LINE__, HC_ACTION, WM_KEYUP, 'A', false},
    {__LINE__, HC_ACTION, WM_KEYUP, VK_KANA, false},
    {__LINE__, HC_ACTION, WM_KEYUP, VK_CAPITAL | 0x100, false},
    {__LINE__, 1, WM_KEYUP, VK_CAPITAL, false},
};

TEST_F(TrayWindowTest, HookRequestsRefreshOnlyForLockKeyReleases)
{
    while (TakeRefreshRequest(window_)) {
    }
    for (const HookRow& row : HOOK_ROWS) {
        KBDLLHOOKSTRUCT event{};
        event.vkCode = row.vkCode;
        event.scanCode = 0x3A;
        const LRESULT result = KeyboardHookProc(row.nCode, row.message,
                                                reinterpret_cast<LPARAM>(&event));
        EXPECT_EQ(0, result) << "row at line " << row.line;
        EXPECT_EQ(row.refresh, TakeRefreshRequest(window_)) << "row at line " << row.line;
        EXPECT_FALSE(TakeRefreshRequest(window_)) << "one request per event, line " << row.line;
    }
}

TEST_F(TrayWindowTest, HookPassesNegativeCodesStraightOn)
{
    // With a negative code the record may not be there at all.
    EXPECT_EQ(0, KeyboardHookProc(-1, WM_KEYUP, 0));
    EXPECT_FALSE(TakeRefreshRequest(window_));
}

// Sees, after our hook, every event it passes on.
std::vector<KBDLLHOOKSTRUCT> g_passedOn;
HHOOK g_recorder = nullptr;

LRESULT CALLBACK RecordingHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        g_passedOn.push_back(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam));
    }
    return CallNextHookEx(g_recorder, nCode, wParam, lParam);
}

class LiveKeyboardTest : public TrayWindowTest {
protected:
    void SetUp() override
    {
        // Installed first, so the system calls it after our hook.
        g_recorder = SetWindowsHookExW(WH_KEYBOARD_LL, RecordingHook, GetModuleHandleW(nullptr), 0);
        ASSERT_NE(nullptr, g_recorder);
        InstallKeyboardHook(GetModuleHandleW(nullptr));
        ASSERT_NE(nullptr, g_hook);
        TrayWindowTest::SetUp();
        g_passedOn.clear();
        // Only the hook may bring the change in these tests.
        KillTimer(window_, REFRESH_TIMER_ID);
    }

    void TearDown() override
    {
        TrayWindowTest::TearDown();
        EXPECT_EQ(nullptr, g_hook) << "the window's end removes the hook";
        UnhookWindowsHookEx(g_recorder);
    }
};

struct LockKeyRow {
    WORD key;
    size_t letter; // position of the key's letter in the tooltip
};

constexpr LockKeyRow LOCK_KEYS[] = {{VK_NUMLOCK, 0}, {VK_CAPITAL, 2}, {VK_SCROLL, 4}};

TEST_F(LiveKeyboardTest, EachLockKeyReleaseRedrawsTheEntry)
{
    for (const LockKeyRow& row : LOCK_KEYS) {
        const std::wstring before = g_tray.szTip;
        ASSERT_EQ(CurrentTip(), before);
        const HICON iconBefore = g_tray.hIcon;
        g_passedOn.clear();

        TapKey(row.key);
        const bool changed =
            PumpMessagesUntil([&] { return before != std::wstring(g_tray.szTip); }, 1000);
        const std::wstring after = g_tray.szTip;
        const HICON iconAfter = g_tray.hIcon;
        TapKey(row.key); // leave the keyboard as it was
        PumpMessagesUntil([&] { return before == std::wstring(g_tray.szTip); }, 1000);

        ASSERT_TRUE(changed) << "key " << row.key;
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(i == row.letter, before[i] != after[i]) << "key " << row.key << " letter " << i;
        }
        EXPECT_NE(iconBefore, iconAfter);
        EXPECT_EQ(before, std::wstring(g_tray.szTip)) << "toggled back";
        ASSERT_GE(g_passedOn.size(), 4u) << "events passed on to the next hook";
        EXPECT_EQ(row.key, g_passedOn[0].vkCode);
        EXPECT_EQ(0u, g_passedOn[0].flags & LLKHF_UP);
        EXPECT_EQ(row.key, g_passedOn[1].vkCode);
        EXPECT_NE(0u, g_passedOn[1].flags & LLKHF_UP);
    }
}

TEST_F(LiveKeyboardTest, OtherKeysLeaveTheIconAlone)
{
    const HICON icon = g_tray.hIcon;
    TapKey(VK_SHIFT);
    TapKey(VK_F24);
    PumpMessagesUntil([] { return g_passedOn.size() >= 4; }, 1000);
    PumpMessagesUntil([] { return false; }, 100);
    EXPECT_EQ(4u, g_passedOn.size());
    EXPECT_EQ(icon, g_tray.hIcon);
}

} // namespace
