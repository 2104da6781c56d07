// The program's parts under Wine, each test in a process of its own.
#include "app/tray_window.h"
#include "status/keyboard_hook.h"
#include "status/tray_status.h"

#include <gtest/gtest.h>

// Leaves a real desktop as found: HKEY_CURRENT_USER is a scratch key made and removed here.
static struct AsFound : testing::Environment {
    HKEY scratch = nullptr; POINT cursor{};
    void SetUp() override {
        GetCursorPos(&cursor);
        ASSERT_EQ(0, RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Tolvane tests", &scratch)) << "so no test runs";
        ASSERT_EQ(0, RegOverridePredefKey(HKEY_CURRENT_USER, scratch)) << "so no test runs";
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(scratch);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tolvane tests");
        SetCursorPos(cursor.x, cursor.y);
    }
}* const g_asFound = static_cast<AsFound*>(testing::AddGlobalTestEnvironment(new AsFound));

// The shell's copy of the entry: Wine's cannot be asked, and drops a dead window's icon.
static struct { HWND window; UINT callback; HICON icon; std::wstring tip; int updates; } g_shell;

static BOOL WINAPI ShellNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
    if (data->cbSize != sizeof(*data) || (data->hWnd == g_shell.window) != (message != NIM_ADD)) return FALSE;
    g_shell.window = message == NIM_DELETE ? nullptr : data->hWnd;
    g_shell.callback = (data->uFlags & NIF_MESSAGE) ? data->uCallbackMessage : g_shell.callback;
    g_shell.icon = (data->uFlags & NIF_ICON) ? data->hIcon : g_shell.icon;
    g_shell.tip = (data->uFlags & NIF_TIP) ? data->szTip : g_shell.tip;
    ++g_shell.updates;
    return TRUE;
}

// The program calls it through an import slot, taken here before the linker looks in shell32's.
extern "C" { decltype(&Shell_NotifyIconW) __imp_Shell_NotifyIconW = ShellNotifyIcon; }

static void SetLocks(BYTE num, BYTE caps, BYTE scroll) { // 0x01 toggled, 0x80 held down
    BYTE keys[256] = {};
    keys[VK_NUMLOCK] = num, keys[VK_CAPITAL] = caps, keys[VK_SCROLL] = scroll;
    SetKeyboardState(keys);
}

static bool Pump(DWORD ms, bool (*done)() = [] { return false; }) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (MSG message; !done(); MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT)) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (GetTickCount64() > end) return false;
    }
    return true;
}

static HWND StartProgram() {
    SetLocks(0, 0, 0);
    RegisterTrayWindowClass(GetModuleHandleW(nullptr));
    return CreateTrayWindow(GetModuleHandleW(nullptr));
}

// Wine's GetProcessHandleCount and GetGuiResources say 0: kernel handles are tried one by one, GDI
// and USER ones counted by the room left. Crowd fills a table, frees `room` (-1: all it made).
static HANDLE g_crowd[2][70000]; // GDI objects, menus
static int g_crowded[2];

static int Crowd(bool user, int room) {
    int& n = g_crowded[user], made = 0;
    for (; n < 70000 && (g_crowd[user][n] = user ? HANDLE(CreatePopupMenu()) : CreateSolidBrush(0)); ++n) ++made;
    for (room = room < 0 ? made : room; room-- > 0 && n > 0;) {
        user ? DestroyMenu(HMENU(g_crowd[1][--n])) : DeleteObject(g_crowd[0][--n]);
    }
    return made;
}

static std::string Handles() {
    DWORD kernel = 0, flags;
    for (UINT_PTR value = 4; value < 0x4000; value += 4) kernel += !!GetHandleInformation(HANDLE(value), &flags);
    return std::to_string(kernel) + " kernel; room for " + std::to_string(Crowd(false, -1)) + " GDI, " +
           std::to_string(Crowd(true, -1)) + " USER";
}

// The shell's icon drawn over magenta, which no opaque pixel lets through, read as
// "N c s": each cell's label, upper case in black on the lit fill, lower case in grey
// on the dark one, else '?'. Down a cell's middle "Num" is crossed once, "C" twice, "S" thrice.
static std::wstring ReadShellIcon() {
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    DWORD(*at)[32] = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateDIBSection(dc, &info, 0, reinterpret_cast<void**>(&at), nullptr, 0);
    SelectObject(dc, canvas);
    for (int i = 0; i < 32 * 32; ++i) at[i / 32][i % 32] = 0xFF00FF;
    DrawIconEx(dc, 0, 0, g_shell.icon, 32, 32, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::wstring shown;
    for (const RECT& cell : {RECT{0, 0, 32, 16}, RECT{0, 16, 16, 32}, RECT{16, 16, 32, 32}}) {
        const bool lit = (at[cell.top][cell.left] & 0xFFFFFF) == 0x82DC64;
        const DWORD fill = lit ? 0x82DC64 : 0x1E1E1E, other = lit ? 0x1E1E1E : 0x82DC64;
        const auto inLabel = [&](LONG y) { // green nearer the label's than the fill's
            const DWORD green = at[y][(cell.left + cell.right) / 2] >> 8 & 0xFF;
            return lit ? green < 110 : green > 75;
        };
        int fills = 0, strays = 0, crossings = 0;
        for (LONG y = cell.top; y < cell.bottom; ++y) {
            for (LONG x = cell.left; x < cell.right; ++x) {
                fills += (at[y][x] & 0xFFFFFF) == fill;
                strays += (at[y][x] & 0xFFFFFF) == other || (at[y][x] & 0xFF00FF) == 0xFF00FF;
            }
            crossings += y > cell.top && inLabel(y) && !inLabel(y - 1);
        }
        const bool clean = !strays && fills > 8 * (cell.right - cell.left); // half its 16 rows
        shown += shown.empty() ? L"" : L" ";
        shown += clean ? (lit ? L"?NCS" : L"?ncs")[crossings < 3 ? crossings : 3] : L'?';
    }
    DeleteDC(dc);
    DeleteObject(canvas);
    return shown;
}

// Only the toggle counts: a key held down (0x80) is on or off by it alone.
struct LockRow { int line; BYTE num, caps, scroll; const wchar_t* shown; };
static const LockRow LOCK_ROWS[] = {
    {__LINE__, 0x00, 0x00, 0x00, L"n c s"}, {__LINE__, 0x01, 0x80, 0x00, L"N c s"},
    {__LINE__, 0x80, 0x01, 0x00, L"n C s"}, {__LINE__, 0x00, 0x00, 0x81, L"n c S"},
    {__LINE__, 0x81, 0x01, 0x80, L"N C s"}, {__LINE__, 0x01, 0x00, 0x01, L"N c S"},
    {__LINE__, 0x00, 0x81, 0x01, L"n C S"}, {__LINE__, 0x01, 0x81, 0x81, L"N C S"},
};

TEST(Redraw, ShowsEveryCombinationOfLocksAndLeaksNothing) {
    StartProgram();
    int room = 0;
    for (int round = 0; round < 64 * 8; ++round) {
        const LockRow& row = LOCK_ROWS[round % 8];
        SCOPED_TRACE(testing::Message() << "round " << round << ", row at line " << row.line);
        room = round == 8 ? Crowd(false, -1) : room;
        SetLocks(row.num, row.caps, row.scroll);
        RefreshStatus();
        ASSERT_EQ(row.shown, g_shell.tip);
        ASSERT_EQ(row.shown, ReadShellIcon());
    }
    EXPECT_EQ(room, Crowd(false, -1)) << "GDI objects lost";
}

// Hooks on either side of the program's: the one before it counts the events of the key
// tapped that were passed on (and blocks F24), the one after it sees what it returns.
static int g_key, g_passed; static LRESULT g_returned;

static LRESULT CALLBACK NextHook(int, WPARAM, LPARAM lParam) {
    g_passed += static_cast<int>(reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode) == g_key;
    return g_key == VK_F24;
}

static LRESULT CALLBACK PreviousHook(int code, WPARAM wParam, LPARAM lParam) {
    return g_returned = CallNextHookEx(nullptr, code, wParam, lParam);
}

// A key tapped, released with Alt held or not, after Windows dropped the program's
// hook or not: the redraws it brings, then the next tick's. Locks end as they began.
struct KeyRow { int line; BYTE key; bool alt, dropped; int redraws, ticked; };
static const KeyRow KEY_ROWS[] = {
    {__LINE__, VK_NUMLOCK, false, false, 1, 0}, {__LINE__, VK_CAPITAL, false, false, 1, 0},
    {__LINE__, VK_SCROLL, false, false, 1, 0},  {__LINE__, VK_CAPITAL, true, false, 1, 0},
    {__LINE__, VK_SHIFT, false, false, 0, 0},   {__LINE__, VK_F24, false, false, 0, 0},
    {__LINE__, VK_NUMLOCK, false, true, 0, 1},  {__LINE__, VK_SCROLL, false, false, 1, 0},
};

TEST(Hook, RedrawsOnLockKeyReleasesAndPassesEveryKeyOn) {
    HWND window = StartProgram();
    KillTimer(window, REFRESH_TIMER_ID); // only the hook, and the ticks sent here, redraw
    SetWindowsHookExW(WH_KEYBOARD_LL, NextHook, GetModuleHandleW(nullptr), 0);
    InstallKeyboardHook();
    SetLocks(1, 0, 0); // a change it never saw: the tick replaces the hook, alive as it is
    SendMessageW(window, WM_TIMER, REFRESH_TIMER_ID, 0);
    SetWindowsHookExW(WH_KEYBOARD_LL, PreviousHook, GetModuleHandleW(nullptr), 0);
    for (const KeyRow& row : KEY_ROWS) {
        SCOPED_TRACE(testing::Message() << "row at line " << row.line);
        if (row.dropped) UnhookWindowsHookEx(g_hook); // as Windows does, unannounced
        g_key = row.key, g_passed = 0, g_shell.updates = 0;
        keybd_event(row.key, 0, 0, 0); // injected, as SendInput does
        if (row.alt) keybd_event(VK_MENU, 0, 0, 0); // the release comes as WM_SYSKEYUP
        keybd_event(row.key, 0, KEYEVENTF_KEYUP, 0);
        EXPECT_TRUE(Pump(1000, [] { return g_passed == 2; })) << "an event held back";
        Pump(row.redraws ? 1000 : 100, [] { return g_shell.updates > 0; }); // the redraw asked for
        EXPECT_EQ(row.redraws, g_shell.updates);
        EXPECT_EQ(row.key == VK_F24, g_returned);
        if (row.alt) keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
        g_shell.updates = 0;
        SendMessageW(window, WM_TIMER, REFRESH_TIMER_ID, 0);
        EXPECT_EQ(row.ticked, g_shell.updates) << "at the tick after it";
    }
    EXPECT_EQ(0, KeyboardHookProc(-1, WM_KEYUP, 0)) << "a negative code comes with no event";
}

// The timer shows a change the hook missed and brings back a lost entry. Closed from
// outside or by Exit, the program ends with code 0, its hook and its entry gone.
TEST(Entry, StaysRightAndGoesWithTheProgram) {
    InstallKeyboardHook();
    HWND window = StartProgram();
    EXPECT_FALSE(IsWindowVisible(window)) << "a window of its own shown";
    SetLocks(0, 1, 0);
    EXPECT_TRUE(Pump(2500, [] { return g_shell.tip == L"n C s"; })) << "no change in a second";

    g_shell.window = nullptr; // lost: the next redraw fails, the tick after adds it again
    SetLocks(1, 0, 0);
    RefreshStatus();
    SendMessageW(window, WM_TIMER, REFRESH_TIMER_ID, 0);
    EXPECT_TRUE(g_shell.window && g_shell.callback == WM_TRAYICON && g_shell.tip == L"N c s");

    g_shell.window = nullptr; // the shell restarted, and says so
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(g_shell.window && g_shell.callback == WM_TRAYICON && g_shell.tip == L"N c s");

    for (const UINT exit : {0u, 1001u}) { // as the task list closes it; Exit
        const HHOOK hook = g_hook;
        PostMessageW(window, exit ? WM_COMMAND : WM_CLOSE, exit, 0);
        EXPECT_EQ(0, RunMessageLoop());
        EXPECT_FALSE(UnhookWindowsHookEx(hook)) << "still hooked";
        EXPECT_EQ(nullptr, g_shell.window) << "a dead icon left in the tray";
        InstallKeyboardHook();
        window = StartProgram();
    }
}

// Our value beside a neighbour's in a key of the current user: key or value missing, or
// of any type. Startup apps' switch is binary, off by its first bit.
struct Value { bool key; DWORD type; const void* data; DWORD bytes; };
constexpr BYTE ON[12] = {2}, OFF[12] = {3}, OFF_TOO[12] = {7};
constexpr Value NO_KEY{false, REG_NONE, nullptr, 0}, NO_VALUE{true, REG_NONE, nullptr, 0};
constexpr Value OTHER_COPY{true, REG_SZ, L"C:\\Other copy\\tolvane.exe", 52}, A_NUMBER{true, REG_DWORD, OFF, 4};
constexpr Value SWITCHED_ON{true, REG_BINARY, ON, 12}, SWITCHED_OFF{true, REG_BINARY, OFF, 12},
                OFF_AS_WELL{true, REG_BINARY, OFF_TOO, 12};
constexpr wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t APPROVED[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

static void Put(const wchar_t* key, const Value& ours) {
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    if (ours.key) RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Other", REG_BINARY, OFF, 12);
    if (ours.type) RegSetKeyValueW(HKEY_CURRENT_USER, key, L"TolvaneIcon", ours.type, ours.data, ours.bytes);
}

// A value as "type:bytes:data ", "- " when missing, "no key " when its key is.
static std::wstring Read(const wchar_t* key, const wchar_t* name = L"TolvaneIcon") {
    HKEY opened = nullptr; wchar_t data[300] = L"";
    DWORD type = REG_NONE, bytes = sizeof(data) - 2;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened)) return L"no key ";
    const LSTATUS status = RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(opened);
    return status ? L"- " : std::to_wstring(type) + L":" + std::to_wstring(bytes) + L":" + data + L" ";
}

// What opened, then dismissed: a menu as if its first item were chosen, a box by OK.
static std::wstring g_opened;

static void CALLBACK ReadWhatOpened(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr), box = FindWindowW(L"#32770", nullptr);
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    RECT rect{}; wchar_t text[64] = L"";
    if (IsWindowVisible(popup) && GetWindowRect(popup, &rect)) {
        g_opened = L"menu at " + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            g_opened += L"|" + std::to_wstring(GetMenuItemID(menu, i)) + L" " + text;
        }
        EndMenu();
        PostMessageW(g_shell.window, WM_COMMAND, 1003, 0);
    } else if (IsWindowVisible(box) && GetWindowTextW(box, text, 64)) {
        HWND icon = FindWindowExW(box, nullptr, L"Static", nullptr); // comes before the text
        const auto shown = SendMessageW(icon, STM_GETICON, 0, 0) == LRESULT(LoadIconW(nullptr, IDI_INFORMATION));
        g_opened = L"box " + std::wstring(text) + (GetWindow(box, GW_OWNER) == g_shell.window ? L", owned" : L"");
        g_opened += shown ? L", i icon" : L"";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    if (!g_opened.empty()) KillTimer(nullptr, timer);
}

constexpr wchar_t SET[] = L"menu at 200,150|1003 Set to run at startup|1002 About|1001 Exit";
constexpr wchar_t STOP[] = L"menu at 200,150|1003 Stop running at startup|1002 About|1001 Exit";
enum After { AS_BEFORE, REMOVED, QUOTED_PATH }; // our Run value; our switch goes, but AS_BEFORE

// A message, with our Run value and switch before it: what opens, and the registry after.
struct UserRow { int line; UINT message; WPARAM wParam; LPARAM lParam; Value run, mark; const wchar_t* opened;
                 After after; };
static const UserRow USER_ROWS[] = {
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_KEY, NO_KEY, SET, AS_BEFORE},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, NO_KEY, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, SWITCHED_ON, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, SWITCHED_OFF, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, OFF_AS_WELL, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, A_NUMBER, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, NO_KEY, STOP, REMOVED},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, SWITCHED_ON, STOP, REMOVED},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, SWITCHED_OFF, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, OFF_AS_WELL, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, A_NUMBER, A_NUMBER, STOP, REMOVED},
    {__LINE__, WM_TRAYICON, 1, WM_LBUTTONUP, NO_VALUE, NO_VALUE, L"", AS_BEFORE},
    {__LINE__, WM_COMMAND, 1002, 0, NO_VALUE, NO_VALUE, L"box About, owned, i icon", AS_BEFORE},
    {__LINE__, WM_COMMAND, MAKEWPARAM(1003, 1), 0, NO_VALUE, NO_VALUE, L"", QUOTED_PATH},
    {__LINE__, WM_COMMAND, MAKEWPARAM(4242, 1), 0, OTHER_COPY, SWITCHED_OFF, L"", AS_BEFORE},
};

// Done over and over, it leaves the handles where the first round left them.
TEST(Menu, DoesWhatTheUserChoseAndNothingElse) {
    StartProgram();
    Crowd(true, 200);
    wchar_t path[MAX_PATH];
    const std::wstring quoted = L"\"" + std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)) + L"\"";
    const std::wstring added = L"1:" + std::to_wstring(quoted.size() * 2 + 2) + L":" + quoted + L" ";
    std::string handles;
    for (int round = 0; round < 3; ++round) {
        handles = round == 1 ? Handles() : handles;
        for (const UserRow& row : USER_ROWS) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", row at line " << row.line);
            Put(RUN, row.run), Put(APPROVED, row.mark);
            const std::wstring others = Read(RUN, L"Other") + Read(APPROVED, L"Other") + L"| ";
            const std::wstring run = Read(RUN), mark = Read(APPROVED);
            SetCursorPos(200, 150), g_opened.clear();
            const UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadWhatOpened);
            SendMessageW(g_shell.window, row.message, row.wParam, row.lParam);
            KillTimer(nullptr, timer);
            Pump(30); // the command chosen, and any the menu should not have sent
            EXPECT_EQ(row.opened, g_opened);
            EXPECT_TRUE(IsWindow(g_shell.window));
            const std::wstring after[] = {run + mark, L"- ", added};
            EXPECT_EQ(others + after[row.after] + (row.after == AS_BEFORE ? L"" : mark == L"no key " ? mark : L"- "),
                      Read(RUN, L"Other") + Read(APPROVED, L"Other") + L"| " + Read(RUN) + Read(APPROVED));
        }
    }
    EXPECT_EQ(handles, Handles());
    Crowd(true, 70000);
}
