#include "menu/startup.h"
#include "menu/tray_menu.h"
#include "tray_fixture.h"
#include "test_support.h"

#include <aclapi.h>

#include <vector>

namespace {

struct MenuItem {
    UINT id;
    UINT type;
    UINT state;
    std::wstring text;
};

// What the menu looked like when it opened, and where it appeared.
std::vector<MenuItem> g_items;
int g_menusOpened = 0;
RECT g_menuRect{};
HHOOK g_menuWatcher = nullptr;

LRESULT CALLBACK WatchMenus(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITMENUPOPUP) {
        ++g_menusOpened;
        g_items.clear();
        const auto menu = reinterpret_cast<HMENU>(sent->wParam);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[128] = {};
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 128;
            GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
            g_items.push_back({info.wID, info.fType, info.fState, text});
        }
    }
    return CallNextHookEx(g_menuWatcher, code, wParam, lParam);
}

// Dismisses the open menu, as Escape or a click elsewhere would.
void CALLBACK DismissMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup != nullptr && IsWindowVisible(popup)) {
        GetWindowRect(popup, &g_menuRect);
        KillTimer(nullptr, timer);
        EndMenu();
    }
}

class TrayMenuTest : public TrayWindowTest {
protected:
    void SetUp() override
    {
        TrayWindowTest::SetUp();
        KillTimer(window_, REFRESH_TIMER_ID);
        g_menuWatcher = SetWindowsHookExW(WH_CALLWNDPROC, WatchMenus, nullptr, GetCurrentThreadId());
        ASSERT_NE(nullptr, g_menuWatcher);
        g_menusOpened = 0;
    }

    void TearDown() override
    {
        UnhookWindowsHookEx(g_menuWatcher);
        TrayWindowTest::TearDown();
    }

    // Sends a tray callback as the shell would; a menu it opens is closed
    // without a choice.
    void SendTrayCallback(LPARAM mouseMessage)
    {
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, DismissMenu);
        SendMessageW(window_, WM_TRAYICON, TRAY_ICON_ID, mouseMessage);
        KillTimer(nullptr, timer);
    }
};

void ExpectMenu(const wchar_t* firstText, int line)
{
    ASSERT_EQ(3u, g_items.size()) << "row at line " << line;
    const MenuItem expected[] = {
        {1003, MFT_STRING, MFS_ENABLED, firstText},
        {1002, MFT_STRING, MFS_ENABLED, L"About"},
        {1001, MFT_STRING, MFS_ENABLED, L"Exit"},
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(expected[i].id, g_items[i].id) << "item " << i << ", row at line " << line;
        EXPECT_EQ(expected[i].type, g_items[i].type) << "item " << i << ", row at line " << line;
        EXPECT_EQ(expected[i].state, g_items[i].state) << "item " << i << ", row at line " << line;
        EXPECT_EQ(expected[i].text, g_items[i].text) << "item " << i << ", row at line " << line;
    }
}

enum class RunKey { Missing, Empty, WithValue, WithDwordValue, Unreadable };

struct MenuRow {
    int line;
    RunKey runKey;
    const wchar_t* firstText;
};

const MenuRow MENU_ROWS[] = {
    {__LINE__, RunKey::Missing, L"Set to run at startup"},
    {__LINE__, RunKey::Empty, L"Set to run at startup"},
    {__LINE__, RunKey::WithValue, L"Stop running at startup"},
    {__LINE__, RunKey::WithDwordValue, L"Stop running at startup"},
    {__LINE__, RunKey::Unreadable, L"Set to run at startup"},
};

// A Run key nobody may open: an empty access list grants nothing.
bool MakeRunKeyUnreadable()
{
    HKEY run = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, WRITE_DAC, &run) != ERROR_SUCCESS) {
        return false;
    }
    ACL empty;
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE);
    const bool set = RegSetKeySecurity(run, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    RegCloseKey(run);
    HKEY probe = nullptr;
    const bool denied =
        RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, KEY_QUERY_VALUE, &probe) != ERROR_SUCCESS;
    if (!denied) {
        RegCloseKey(probe);
    }
    return set && denied;
}

void RestoreRunKeyAccess()
{
    HKEY run = nullptr;
    // The owner may always rewrite the access list.
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, WRITE_DAC, &run) == ERROR_SUCCESS) {
        SECURITY_DESCRIPTOR descriptor;
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
        RegSetKeySecurity(run, DACL_SECURITY_INFORMATION, &descriptor);
        RegCloseKey(run);
    }
}

TEST_F(TrayMenuTest, FirstItemFollowsTheRegistry)
{
    for (const MenuRow& row : MENU_ROWS) {
        ScratchCurrentUser user;
        if (row.runKey != RunKey::Missing) {
            user.CreateRunKey();
        }
        if (row.runKey == RunKey::WithValue) {
            const wchar_t other[] = L"C:\\elsewhere\\tolvane.exe";
            user.SetRunValue(REG_SZ, other, sizeof(other));
        }
        if (row.runKey == RunKey::WithDwordValue) {
            const DWORD one = 1;
            user.SetRunValue(REG_DWORD, &one, sizeof(one));
        }
        if (row.runKey == RunKey::Unreadable && !MakeRunKeyUnreadable()) {
            RestoreRunKeyAccess();
            ADD_FAILURE() << "could not deny access to the scratch Run key";
            continue;
        }
        SendTrayCallback(WM_RBUTTONUP);
        if (row.runKey == RunKey::Unreadable) {
            RestoreRunKeyAccess();
        }
        EXPECT_EQ(1, g_menusOpened) << "row at line " << row.line;
        ExpectMenu(row.firstText, row.line);
        g_menusOpened = 0;
    }
}

TEST_F(TrayMenuTest, OpensAtTheCursorAndDismissingSendsNoCommand)
{
    ScratchCurrentUser user;
    user.CreateRunKey();
    ASSERT_TRUE(SetCursorPos(200, 150));
    SendTrayCallback(WM_RBUTTONUP);
    ASSERT_EQ(1, g_menusOpened);
    EXPECT_EQ(200, g_menuRect.left);
    EXPECT_EQ(150, g_menuRect.top);

    // The menu posts a null message so the next one opens cleanly.
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, window_, WM_NULL, WM_NULL, PM_REMOVE));
    PumpMessagesUntil([] { return false; }, 100);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_FALSE(user.RunValueExists());
}

struct CallbackRow {
    int line;
    LPARAM mouseMessage;
    int menus;
};

const CallbackRow CALLBACK_ROWS[] = {
    {__LINE__, WM_RBUTTONUP, 1},      {__LINE__, WM_RBUTTONDOWN, 0},
    {__LINE__, WM_LBUTTONUP, 0},      {__LINE__, WM_LBUTTONDOWN, 0},
    {__LINE__, WM_LBUTTONDBLCLK, 0},  {__LINE__, WM_RBUTTONDBLCLK, 0},
    {__LINE__, WM_MOUSEMOVE, 0},      {__LINE__, WM_CONTEXTMENU, 0},
    {__LINE__, NIN_SELECT, 0},        {__LINE__, MAKELPARAM(WM_RBUTTONUP, 1), 0},
};

TEST_F(TrayMenuTest, OnlyTheRightButtonReleaseOpensTheMenu)
{
    for (const CallbackRow& row : CALLBACK_ROWS) {
        g_menusOpened = 0;
        SendTrayCallback(row.mouseMessage);
        EXPECT_EQ(row.menus, g_menusOpened) << "row at line " << row.line;
    }
}

TEST_F(TrayMenuTest, StartupCommandTogglesTheRunValue)
{
    ScratchCurrentUser user;
    user.CreateRunKey();
    EXPECT_EQ(0, SendMessageW(window_, WM_COMMAND, ID_TRAY_STARTUP, 0));
    EXPECT_TRUE(user.RunValueExists());
    SendTrayCallback(WM_RBUTTONUP);
    ExpectMenu(L"Stop running at startup", __LINE__);
    EXPECT_EQ(0, SendMessageW(window_, WM_COMMAND, MAKEWPARAM(ID_TRAY_STARTUP, 1), 0));
    EXPECT_FALSE(user.RunValueExists());
}

TEST_F(TrayMenuTest, ExitCommandEndsWithCodeZero)
{
    ExpectCleanEndAfter(WM_COMMAND, ID_TRAY_EXIT);
}

struct AboutBox {
    std::wstring caption;
    std::wstring text;
    HICON icon = nullptr;
    HWND owner = nullptr;
    int buttons = 0;
};
AboutBox g_about;

BOOL CALLBACK ReadAboutControl(HWND child, LPARAM)
{
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Button") == 0 && IsWindowVisible(child)) {
        ++g_about.buttons;
    }
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (lstrcmpiW(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        g_about.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    }
    return TRUE;
}

void CALLBACK ReadAndCloseAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowW(L"#32770", nullptr);
    if (box == nullptr || !IsWindowVisible(box)) {
        return;
    }
    KillTimer(nullptr, timer);
    wchar_t text[512] = {};
    GetWindowTextW(box, text, 512);
    g_about.caption = text;
    GetDlgItemTextW(box, 0xFFFF, text, 512); // the message box's text control
    g_about.text = text;
    g_about.owner = GetWindow(box, GW_OWNER);
    EnumChildWindows(box, ReadAboutControl, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(TrayMenuTest, AboutShowsTheInformationBox)
{
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadAndCloseAbout);
    EXPECT_EQ(0, SendMessageW(window_, WM_COMMAND, ID_TRAY_ABOUT, 0));
    KillTimer(nullptr, timer);
    EXPECT_EQ(L"About", g_about.caption);
    const std::wstring opening = L"Tolvane\n\nShows keyboard status (Num lock, Caps lock, "
                                 L"Scroll lock) in the system tray.\n\n";
    EXPECT_EQ(opening, g_about.text.substr(0, opening.size()));
    EXPECT_GT(g_about.text.size(), opening.size()) << "a closing line";
    EXPECT_EQ(std::wstring::npos, g_about.text.find(L'\n', opening.size())) << "one closing line";
    EXPECT_EQ(LoadIconW(nullptr, IDI_INFORMATION), g_about.icon);
    EXPECT_EQ(window_, g_about.owner);
    EXPECT_EQ(1, g_about.buttons) << "OK only";
}

} // namespace
