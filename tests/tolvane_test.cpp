// The program's parts, all tests in one process, in any order, each leaving things as it found them.
#include "app/tray_window.h"
#include "status/keyboard_hook.h"
#include "status/tray_status.h"

#include <gtest/gtest.h>
#include <psapi.h>

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

// Wine cannot start a program from past MAX_PATH; for one (far away) the call answers as Windows does.
static bool g_farAway;

static DWORD WINAPI ModuleFileName(HMODULE module, LPWSTR path, DWORD size) {
    if (!g_farAway) return K32GetModuleFileNameExW(GetCurrentProcess(), module, path, size);
    wmemset(path, L'x', size - 1), path[size - 1] = L'\0', SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

// The program calls both through import slots, taken here before the linker looks in the DLLs'.
extern "C" { decltype(&Shell_NotifyIconW) __imp_Shell_NotifyIconW = ShellNotifyIcon; }
extern "C" { decltype(&GetModuleFileNameW) __imp_GetModuleFileNameW = ModuleFileName; }

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

static void StartProgram() {
    SetLocks(0, 0, 0);
    RegisterTrayWindowClass(GetModuleHandleW(nullptr));
    CreateTrayWindow(GetModuleHandleW(nullptr));
}

// Windows counts a process's handles. Wine says 0, so there kernel handles are tried one by one,
// and GDI and USER objects counted by the room left in their tables, filled and freed again.
static int Room(bool user) {
    static HANDLE made[70000];
    int n = 0;
    while (n < 70000 && (made[n] = user ? HANDLE(CreatePopupMenu()) : CreateSolidBrush(0))) ++n;
    for (int i = n; i-- > 0;) user ? DestroyMenu(HMENU(made[i])) : DeleteObject(made[i]);
    return n;
}

static std::string Handles() {
    DWORD kernel = 0, flags;
    if (!GetProcessHandleCount(GetCurrentProcess(), &kernel) || !kernel)
        for (UINT_PTR value = 4; value < 0x4000; value += 4) kernel += !!GetHandleInformation(HANDLE(value), &flags);
    std::string counts = std::to_string(kernel) + " kernel";
    for (const bool user : {false, true}) {
        const DWORD n = GetGuiResources(GetCurrentProcess(), user ? GR_USEROBJECTS : GR_GDIOBJECTS);
        counts += (n ? ", " + std::to_string(n) : ", room for " + std::to_string(Room(user))) + (user ? " USER" : " GDI");
    }
    return counts;
}

static HWND g_hidden[2]; // of the menu's and the box's classes, as any program may have

// Each test starts the program with HKEY_CURRENT_USER a scratch key, made afresh (a run cut short
// leaves one); it ends it, removes what it made, and puts back what it changed.
constexpr wchar_t SCRATCH[] = L"Software\\Tolvane tests";
struct Program : testing::Test {
    HKEY scratch = nullptr; POINT cursor{}; BYTE keys[256]{}; HHOOK hooks[3]{};
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, SCRATCH);
        ASSERT_EQ(0, RegCreateKeyW(HKEY_CURRENT_USER, SCRATCH, &scratch)) << "so the test does not run";
        ASSERT_EQ(0, RegOverridePredefKey(HKEY_CURRENT_USER, scratch)) << "so the test does not run";
        GetCursorPos(&cursor), GetKeyboardState(keys), StartProgram();
    }
    void TearDown() override {
        for (HHOOK hook : hooks) UnhookWindowsHookEx(hook);
        DestroyWindow(g_tray.hWnd), RemoveKeyboardHook(), Pump(0); // and the quit message it posts
        DestroyIcon(g_tray.hIcon), g_tray = {}, g_shell = {}, g_farAway = false;
        for (HWND& window : g_hidden) DestroyWindow(window), window = nullptr;
        SetKeyboardState(keys), SetCursorPos(cursor.x, cursor.y);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr), RegCloseKey(scratch), RegDeleteTreeW(HKEY_CURRENT_USER, SCRATCH);
    }
};
using Redraw = Program; using Hook = Program; using Entry = Program; using Menu = Program;

// The shell's icon drawn over magenta, read as "N c s": a cell is upper case on the lit fill,
// lower case on the dark one, when most of it is that fill, some its label's colour (black lit,
// grey 120 unlit), and every pixel between the two, channel by channel, whatever the font; else '?'.
static std::wstring ReadShellIcon() {
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    DWORD(*at)[32] = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateDIBSection(dc, &info, 0, reinterpret_cast<void**>(&at), nullptr, 0);
    SelectObject(dc, canvas);
    for (int i = 0; i < 32 * 32; ++i) at[i / 32][i % 32] = 0xFF00FF;
    DrawIconEx(dc, 0, 0, g_shell.icon, 32, 32, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::wstring shown = L"? ? ?";
    const RECT cells[] = {{0, 0, 32, 16}, {0, 16, 16, 32}, {16, 16, 32, 32}}; // Num, C, S
    for (size_t i = 0; i < 3; ++i) {
        const RECT& cell = cells[i];
        const bool lit = (at[cell.top][cell.left] & 0xFFFFFF) == 0x82DC64;
        const int fill = lit ? 0x82DC64 : 0x1E1E1E, ink = lit ? 0x000000 : 0x787878, other = lit ? 0x1E1E1E : 0x82DC64;
        int fills = 0, inks = 0, strays = 0;
        for (LONG y = cell.top; y < cell.bottom; ++y) {
            for (LONG x = cell.left; x < cell.right; ++x) {
                const int pixel = at[y][x] & 0xFFFFFF;
                fills += pixel == fill, inks += pixel == ink, strays += pixel == other;
                for (int c = 0; c < 24; c += 8) // a channel beyond both the fill's and the ink's
                    strays += ((pixel >> c & 0xFF) - (fill >> c & 0xFF)) * ((pixel >> c & 0xFF) - (ink >> c & 0xFF)) > 0;
            }
        }
        if (!strays && inks && fills > 8 * (cell.right - cell.left)) shown[2 * i] = (lit ? L"NCS" : L"ncs")[i]; // half its 16 rows
    }
    DeleteDC(dc), DeleteObject(canvas);
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

TEST_F(Redraw, ShowsEveryCombinationOfLocksAndLeaksNothing) {
    std::string handles;
    for (int round = 0; round < 64 * 8; ++round) {
        const LockRow& row = LOCK_ROWS[round % 8];
        SCOPED_TRACE(testing::Message() << "round " << round << ", row at line " << row.line);
        handles = round == 8 ? Handles() : handles;
        SetLocks(row.num, row.caps, row.scroll);
        RefreshStatus();
        ASSERT_EQ(row.shown, g_shell.tip);
        ASSERT_EQ(row.shown, ReadShellIcon());
    }
    EXPECT_EQ(handles, Handles()) << "handles lost";
}

// Hooks around the program's pass on every event but the F24 tapped here: the first sees what
// the chain returns, the next after the program's blocks that F24, the last counts what gets by.
constexpr ULONG_PTR OURS = 0x7011A4E; // the extra information of the keys tapped here
static DWORD g_key; static int g_seen, g_reached; static LRESULT g_returned;

static bool IsOurKey(int code, LPARAM lParam) {
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    return code == HC_ACTION && event->dwExtraInfo == OURS && event->vkCode == g_key;
}

static LRESULT CALLBACK FirstHook(int code, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
    if (IsOurKey(code, lParam)) g_returned = result, ++g_seen;
    return result;
}

static LRESULT CALLBACK BlockingHook(int code, WPARAM wParam, LPARAM lParam) {
    return IsOurKey(code, lParam) && g_key == VK_F24 ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

static LRESULT CALLBACK LastHook(int code, WPARAM wParam, LPARAM lParam) {
    g_reached += IsOurKey(code, lParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A key pressed, then released with Alt held or not, after Windows dropped the program's hook or
// not: the redraws the release brings, then the next tick's. Each lock is tapped twice, so all end
// as they began; Shift and Alt are left ones, as Windows reports them.
struct KeyRow { int line; BYTE key; bool alt, dropped; int redraws, ticked; };
static const KeyRow KEY_ROWS[] = {
    {__LINE__, VK_NUMLOCK, false, false, 1, 0}, {__LINE__, VK_CAPITAL, false, false, 1, 0},
    {__LINE__, VK_SCROLL, false, false, 1, 0},  {__LINE__, VK_CAPITAL, true, false, 1, 0},
    {__LINE__, VK_LSHIFT, false, false, 0, 0},  {__LINE__, VK_F24, false, false, 0, 0},
    {__LINE__, VK_NUMLOCK, false, true, 0, 1},  {__LINE__, VK_SCROLL, false, false, 1, 0},
};

TEST_F(Hook, RedrawsOnLockKeyReleasesAndPassesEveryKeyOn) {
    KillTimer(g_tray.hWnd, REFRESH_TIMER_ID); // only the hook, and the ticks sent here, redraw
    hooks[0] = SetWindowsHookExW(WH_KEYBOARD_LL, LastHook, GetModuleHandleW(nullptr), 0);
    hooks[1] = SetWindowsHookExW(WH_KEYBOARD_LL, BlockingHook, GetModuleHandleW(nullptr), 0);
    InstallKeyboardHook();
    SetLocks(1, 0, 0); // a change it never saw: the tick replaces the hook, alive as it is
    SendMessageW(g_tray.hWnd, WM_TIMER, REFRESH_TIMER_ID, 0);
    hooks[2] = SetWindowsHookExW(WH_KEYBOARD_LL, FirstHook, GetModuleHandleW(nullptr), 0);
    for (const KeyRow& row : KEY_ROWS) {
        SCOPED_TRACE(testing::Message() << "row at line " << row.line);
        if (row.dropped) UnhookWindowsHookEx(g_hook); // as Windows does, unannounced
        g_key = row.key, g_seen = g_reached = 0, g_shell.updates = 0;
        if (row.alt) keybd_event(VK_LMENU, 0, 0, OURS); // the release comes as WM_SYSKEYUP
        keybd_event(row.key, 0, 0, OURS); // injected, as SendInput does
        EXPECT_TRUE(Pump(1000, [] { return g_seen == 1; })) << "the press held up";
        EXPECT_FALSE(Pump(100, [] { return g_shell.updates > 0; })) << "a redraw at the press, too early";
        keybd_event(row.key, 0, KEYEVENTF_KEYUP, OURS);
        if (row.alt) keybd_event(VK_LMENU, 0, KEYEVENTF_KEYUP, OURS);
        EXPECT_TRUE(Pump(1000, [] { return g_seen == 2; })) << "the release held up";
        Pump(row.redraws ? 1000 : 100, [] { return g_shell.updates > 0; }); // the redraw asked for
        EXPECT_EQ(row.redraws, g_shell.updates);
        EXPECT_EQ(row.key == VK_F24 ? 0 : 2, g_reached) << "events kept from the hooks installed before";
        EXPECT_EQ(row.key == VK_F24, g_returned) << "not what the next hook returned";
        g_shell.updates = 0, SendMessageW(g_tray.hWnd, WM_TIMER, REFRESH_TIMER_ID, 0);
        EXPECT_EQ(row.ticked, g_shell.updates) << "at the tick after it";
    }
    EXPECT_EQ(0, KeyboardHookProc(-1, WM_KEYUP, 0)) << "a negative code comes with no event";
}

// The timer shows a change the hook missed and brings back a lost entry. Closed from
// outside or by Exit, the program ends with code 0, its hook and its entry gone.
TEST_F(Entry, StaysRightAndGoesWithTheProgram) {
    InstallKeyboardHook();
    SetLocks(0, 1, 0);
    EXPECT_TRUE(Pump(2500, [] { return g_shell.tip == L"n C s"; })) << "no change in a second";

    SetLocks(1, 0, 0); // the entry lost and a redraw failed: the next tick adds it again, as does a new taskbar
    for (const UINT message : {UINT(WM_TIMER), RegisterWindowMessageW(L"TaskbarCreated")}) {
        g_shell.window = nullptr, RefreshStatus();
        SendMessageW(g_tray.hWnd, message, REFRESH_TIMER_ID, 0);
        EXPECT_TRUE(g_shell.window && g_shell.callback == WM_TRAYICON && g_shell.tip == L"N c s") << message;
    }

    for (const UINT exit : {0u, 1001u}) { // as the task list closes it; Exit
        const HHOOK hook = g_hook;
        PostMessageW(g_tray.hWnd, exit ? WM_COMMAND : WM_CLOSE, exit, 0);
        const UINT_PTR giveUp = SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); });
        EXPECT_EQ(0, RunMessageLoop()) << "99: still running after 3 s";
        KillTimer(nullptr, giveUp);
        EXPECT_FALSE(UnhookWindowsHookEx(hook)) << "still hooked";
        EXPECT_EQ(nullptr, g_shell.window) << "a dead icon left in the tray";
        InstallKeyboardHook(), StartProgram();
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

// This thread's visible window of the menu's class (#32768) or the box's (#32770), or null.
static HWND Own(const wchar_t* className) {
    static HWND found;
    found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM wanted) -> BOOL {
        wchar_t name[16] = L"";
        found = GetClassNameW(window, name, 16) && !lstrcmpW(name, reinterpret_cast<const wchar_t*>(wanted)) &&
                IsWindowVisible(window) ? window : nullptr;
        return !found;
    }, reinterpret_cast<LPARAM>(className));
    return found;
}

// What opened, with the hidden windows above it, then dismissed: a menu as if its first item were
// chosen, a box by OK. After 3 s it gives up, ending ours: a modal loop ends at WM_QUIT and posts it again.
static std::wstring g_opened;
static ULONGLONG g_giveUpAt;

static void CALLBACK ReadWhatOpened(HWND, UINT, UINT_PTR, DWORD) {
    for (HWND window : g_hidden) SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND popup = Own(L"#32768"), box = Own(L"#32770");
    RECT rect{}; wchar_t text[64] = L"";
    if (GetTickCount64() > g_giveUpAt) {
        g_opened = (g_opened.empty() ? L"no menu or box of ours" : g_opened + L", still open") + L" after 3 s";
        g_giveUpAt = ~0ull, EndMenu(), PostQuitMessage(0);
    } else if (g_opened.empty() && popup && GetWindowRect(popup, &rect)) {
        const auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
        g_opened = L"menu at " + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            g_opened += L"|" + std::to_wstring(GetMenuItemID(menu, i)) + L" " + text;
        }
        EndMenu();
        PostMessageW(g_shell.window, WM_COMMAND, 1003, 0);
    } else if (g_opened.empty() && box && GetWindowTextW(box, text, 64)) {
        const HWND icon = FindWindowExW(box, nullptr, L"Static", nullptr); // comes before the text
        g_opened = L"box " + std::wstring(text) + (GetWindow(box, GW_OWNER) == g_shell.window ? L", owned" : L"") +
                   (SendMessageW(icon, STM_GETICON, 0, 0) == LRESULT(LoadIconW(nullptr, IDI_INFORMATION)) ? L", i icon" : L"");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

constexpr wchar_t SET[] = L"menu at 200,150|1003 Set to run at startup|1002 About|1001 Exit";
constexpr wchar_t STOP[] = L"menu at 200,150|1003 Stop running at startup|1002 About|1001 Exit";
enum After { AS_BEFORE, REMOVED, QUOTED_PATH }; // our Run value; our switch goes, but AS_BEFORE

// A message, with our Run value and switch before it: what opens, and the registry after.
// Run from a path past MAX_PATH (far away), the program writes nothing.
struct UserRow { int line; UINT message; WPARAM wParam; LPARAM lParam; Value run, mark; const wchar_t* opened;
                 After after; bool farAway = false; };
static const UserRow USER_ROWS[] = {
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_KEY, NO_KEY, SET, AS_BEFORE},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, NO_KEY, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, NO_KEY, SET, AS_BEFORE, true},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, SWITCHED_OFF, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, NO_KEY, STOP, REMOVED},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, SWITCHED_ON, STOP, REMOVED},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, SWITCHED_OFF, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, OTHER_COPY, OFF_AS_WELL, SET, QUOTED_PATH},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, A_NUMBER, A_NUMBER, STOP, REMOVED},
    {__LINE__, WM_TRAYICON, 1, WM_LBUTTONUP, NO_VALUE, NO_VALUE, L"", AS_BEFORE},
    {__LINE__, WM_COMMAND, 1002, 0, NO_VALUE, NO_VALUE, L"box About, owned, i icon", AS_BEFORE},
    {__LINE__, WM_COMMAND, MAKEWPARAM(1003, 1), 0, NO_VALUE, NO_VALUE, L"", QUOTED_PATH},
};

// Done over and over, it leaves the handles where the first round left them.
TEST_F(Menu, DoesWhatTheUserChoseAndNothingElse) {
    for (int i = 0; i < 2; ++i) g_hidden[i] = CreateWindowExW(WS_EX_TOPMOST, i ? L"#32770" : L"#32768", L"", WS_POPUP,
                                                              0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
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
            SetCursorPos(200, 150), g_opened.clear(), g_farAway = row.farAway, g_giveUpAt = GetTickCount64() + 3000;
            const UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadWhatOpened);
            SendMessageW(g_shell.window, row.message, row.wParam, row.lParam);
            KillTimer(nullptr, timer);
            Pump(30); // the command chosen, and any the menu should not have sent
            ASSERT_EQ(row.opened, g_opened);
            const std::wstring after[] = {run + mark, L"- ", added};
            EXPECT_EQ(others + after[row.after] + (row.after == AS_BEFORE ? L"" : mark == L"no key " ? mark : L"- "),
                      Read(RUN, L"Other") + Read(APPROVED, L"Other") + L"| " + Read(RUN) + Read(APPROVED));
        }
    }
    EXPECT_EQ(handles, Handles());
}
