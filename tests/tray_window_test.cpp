#include "tray_fixture.h"
#include "test_support.h"

namespace {

TEST_F(TrayWindowTest, CreationAddsTheEntryWithTheCurrentState)
{
    EXPECT_EQ(976u, g_tray.cbSize);
    EXPECT_EQ(window_, g_tray.hWnd);
    EXPECT_EQ(1u, g_tray.uID);
    EXPECT_EQ(0x8001u, g_tray.uCallbackMessage);
    EXPECT_EQ(UINT{NIF_ICON | NIF_TIP}, g_tray.uFlags);
    EXPECT_NE(nullptr, g_tray.hIcon);
    EXPECT_EQ(CurrentTip(), std::wstring(g_tray.szTip));
    EXPECT_TRUE(TrayHasEntry());
    EXPECT_FALSE(IsWindowVisible(window_));
    wchar_t className[32] = {};
    GetClassNameW(window_, className, 32);
    EXPECT_STREQ(L"TolvaneClass", className);
}

struct DispatchRow {
    int line;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool reachesDefault;
};

// Handled messages, including ignored commands and mouse callbacks, answer 0
// themselves; everything else is the default window procedure's.
const DispatchRow DISPATCH_ROWS[] = {
    {__LINE__, WM_COMMAND, 999, 0, false},
    {__LINE__, WM_COMMAND, MAKEWPARAM(4242, 1), 77, false},
    {__LINE__, WM_TRAYICON, 1, WM_LBUTTONUP, false},
    {__LINE__, WM_TRAYICON, 1, WM_LBUTTONDBLCLK, false},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONDOWN, false},
    {__LINE__, WM_TRAYICON, 1, WM_MOUSEMOVE, false},
    {__LINE__, WM_TRAYICON, 1, MAKELPARAM(WM_RBUTTONUP, 1), false},
    {__LINE__, WM_TIMER, 7, 0, false},
    {__LINE__, WM_TIMER, REFRESH_TIMER_ID, 0, false},
    {__LINE__, WM_APP + 2, 0, 0, false},
    {__LINE__, WM_GETTEXTLENGTH, 0, 0, true},
    {__LINE__, WM_NULL, 0, 0, true},
    {__LINE__, WM_USER + 1, 0, 0, true},
    {__LINE__, WM_APP + 3, 0, 0, true},
    {__LINE__, WM_QUERYENDSESSION, 0, 0, true},
};

TEST_F(TrayWindowTest, HandledMessagesNeverReachTheDefaultProcedure)
{
    for (const DispatchRow& row : DISPATCH_ROWS) {
        const LRESULT expected =
            row.reachesDefault ? DefWindowProcW(window_, row.message, row.wParam, row.lParam) : 0;
        DefWindowProcCounter counter;
        const LRESULT result = TrayWndProc(window_, row.message, row.wParam, row.lParam);
        EXPECT_EQ(row.reachesDefault ? 1 : 0, counter.calls()) << "row at line " << row.line;
        EXPECT_EQ(expected, result) << "row at line " << row.line;
        EXPECT_TRUE(IsWindow(window_)) << "row at line " << row.line;
    }
}

TEST_F(TrayWindowTest, TimerRedrawsOnlyWhenTheStateChanged)
{
    const HICON icon = g_tray.hIcon;
    SendMessageW(window_, WM_TIMER, REFRESH_TIMER_ID, 0);
    EXPECT_EQ(icon, g_tray.hIcon) << "redrawn without a change";

    // The tray shows another state than the keyboard has: the next tick mends it.
    g_tray.szTip[0] = g_tray.szTip[0] == L'n' ? L'N' : L'n';
    SendMessageW(window_, WM_TIMER, 7, 0);
    EXPECT_EQ(icon, g_tray.hIcon) << "another timer redrew";
    SendMessageW(window_, WM_TIMER, REFRESH_TIMER_ID, 0);
    EXPECT_NE(icon, g_tray.hIcon);
    EXPECT_EQ(CurrentTip(), std::wstring(g_tray.szTip));
}

TEST_F(TrayWindowTest, RefreshTimerRunsEverySecond)
{
    g_tray.szTip[0] = g_tray.szTip[0] == L'n' ? L'N' : L'n';
    const bool mended = PumpMessagesUntil([] { return CurrentTip() == g_tray.szTip; }, 2500);
    EXPECT_TRUE(mended);
}

TEST_F(TrayWindowTest, LockKeyMessageAlwaysRedraws)
{
    for (int i = 0; i < 3; ++i) {
        const HICON icon = g_tray.hIcon;
        EXPECT_EQ(0, SendMessageW(window_, WM_APP + 2, 0, 0));
        EXPECT_NE(icon, g_tray.hIcon);
        EXPECT_EQ(CurrentTip(), std::wstring(g_tray.szTip));
    }
}

TEST_F(TrayWindowTest, LostEntryComesBackOnTheNextTick)
{
    RemoveEntryBehindOurBack();
    SendMessageW(window_, WM_APP + 2, 0, 0);
    EXPECT_STREQ(L"", g_tray.szTip) << "a failed update must be noticed";
    EXPECT_FALSE(TrayHasEntry());

    SendMessageW(window_, WM_TIMER, REFRESH_TIMER_ID, 0);
    EXPECT_TRUE(TrayHasEntry());
    EXPECT_EQ(CurrentTip(), std::wstring(g_tray.szTip));
}

TEST_F(TrayWindowTest, TaskbarCreatedAddsTheEntryAgain)
{
    RemoveEntryBehindOurBack();
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    DefWindowProcCounter counter;
    EXPECT_EQ(0, SendMessageW(window_, taskbarCreated, 0, 0));
    EXPECT_EQ(0, counter.calls());
    EXPECT_TRUE(TrayHasEntry());
    EXPECT_EQ(CurrentTip(), std::wstring(g_tray.szTip));
    EXPECT_EQ(UINT{NIF_ICON | NIF_TIP}, g_tray.uFlags);
}

TEST_F(TrayWindowTest, CloseFromOutsideTakesEverythingDown)
{
    ExpectCleanEndAfter(WM_CLOSE, 0);
}

} // namespace
