// The program's parts under Wine, each test in a process of its own.
#include "app/tray_window.h"
#include "status/keyboard_hook.h"
#include "status/tray_status.h"

#include <gtest/gtest.h>

// The shell's copy of the entry; no window, no entry. Wine's shell cannot be asked
// reliably, and drops a dead window's entries where Windows keeps a dead icon.
static struct { HWND window; UINT callback; HICON icon; std::wstring tip; int updates; } g_shell;

static BOOL WINAPI ShellNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
    if (data->cbSize != sizeof(*data) || (data->hWnd == g_shell.window) != (message != NIM_ADD)) {
        return FALSE;
    }
    g_shell.window = message == NIM_DELETE ? nullptr : data->hWnd;
    g_shell.callback = (data->uFlags & NIF_MESSAGE) ? data->uCallbackMessage : g_shell.callback;
    g_shell.icon = (data->uFlags & NIF_ICON) ? data->hIcon : g_shell.icon;
    g_shell.tip = (data->uFlags & NIF_TIP) ? data->szTip : g_shell.tip;
    ++g_shell.updates;
    return TRUE;
}

// The program's path ("": the call fails), cut short to the buffer as Windows
// does: Wine cannot start a program from a path past MAX_PATH.
static std::wstring g_modulePath;

static DWORD WINAPI GetModulePath(HMODULE, LPWSTR path, DWORD size) {
    path[g_modulePath.copy(path, size - 1)] = L'\0';
    return g_modulePath.size() < size ? static_cast<DWORD>(g_modulePath.size()) : size;
}

// The program calls these through import slots, taken here before the linker
// looks in shell32's and kernel32's import libraries.
extern "C" {
decltype(&Shell_NotifyIconW) __imp_Shell_NotifyIconW = ShellNotifyIcon;
decltype(&GetModuleFileNameW) __imp_GetModuleFileNameW = GetModulePath;
}

static void SetLocks(BYTE num, BYTE caps, BYTE scroll) { // 0x01 toggled, 0x80 held down
    BYTE keys[256] = {};
    keys[VK_NUMLOCK] = num;
    keys[VK_CAPITAL] = caps;
    keys[VK_SCROLL] = scroll;
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

// The shell's icon drawn over magenta, which no opaque pixel lets through, read
// as "N c s": each cell's label, upper case in black on the lit fill, lower case
// in grey on the dark one, else '?'. A line down a cell's middle crosses "Num"
// once (at its u), "C" twice and "S" three times.
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
static HGDIOBJ g_filler[70000];

// Wine's GetGuiResources says 0, so leaks show by exhaustion: with room for a few
// GDI objects only, every redraw must still show right.
TEST(Redraw, ShowsEveryCombinationOfLocksAndLeaksNothing) {
    StartProgram();
    int filled = 0;
    while (filled < 70000 && (g_filler[filled] = CreateSolidBrush(0)) != nullptr) ++filled;
    for (int room = 0; room < 64; ++room) DeleteObject(g_filler[--filled]);
    for (int round = 0; round < 64 * 8; ++round) {
        const LockRow& row = LOCK_ROWS[round % 8];
        SCOPED_TRACE(testing::Message() << "round " << round << ", row at line " << row.line);
        SetLocks(row.num, row.caps, row.scroll);
        RefreshStatus();
        ASSERT_EQ(row.shown, g_shell.tip);
        ASSERT_EQ(row.shown, ReadShellIcon());
    }
    while (filled > 0) DeleteObject(g_filler[--filled]);
}

// Hooks on either side of the program's: the one installed before it sees what
// it passes on (and blocks F24), the one after it what it returns.
static DWORD g_passed; // the key the next hook saw
static LRESULT g_returned;

static LRESULT CALLBACK NextHook(int, WPARAM, LPARAM lParam) {
    g_passed = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode;
    return g_passed == VK_F24;
}

static LRESULT CALLBACK PreviousHook(int code, WPARAM wParam, LPARAM lParam) {
    return g_returned = CallNextHookEx(nullptr, code, wParam, lParam);
}

// A key tapped, with Alt held or not: its release's redraws. Locks end as they began.
struct KeyRow { int line; BYTE key; bool alt; int redraws; };
static const KeyRow KEY_ROWS[] = {
    {__LINE__, VK_NUMLOCK, false, 1}, {__LINE__, VK_CAPITAL, false, 1},
    {__LINE__, VK_SCROLL, false, 1},  {__LINE__, VK_CAPITAL, true, 1},
    {__LINE__, VK_SHIFT, false, 0},   {__LINE__, VK_F24, false, 0},
    {__LINE__, VK_NUMLOCK, false, 1}, {__LINE__, VK_SCROLL, false, 1},
};

TEST(Hook, RedrawsOnLockKeyReleasesAndPassesEveryKeyOn) {
    KillTimer(StartProgram(), REFRESH_TIMER_ID); // only the hook may redraw here
    SetWindowsHookExW(WH_KEYBOARD_LL, NextHook, GetModuleHandleW(nullptr), 0);
    InstallKeyboardHook(GetModuleHandleW(nullptr));
    SetWindowsHookExW(WH_KEYBOARD_LL, PreviousHook, GetModuleHandleW(nullptr), 0);
    for (const KeyRow& row : KEY_ROWS) {
        if (row.alt) keybd_event(VK_MENU, 0, 0, 0); // the release comes as WM_SYSKEYUP
        for (const DWORD up : {0ul, static_cast<DWORD>(KEYEVENTF_KEYUP)}) {
            SCOPED_TRACE(testing::Message() << "row at line " << row.line << ", up " << up);
            g_passed = 0;
            g_shell.updates = 0;
            keybd_event(row.key, 0, up, 0); // injected, as SendInput does
            Pump(1000, [] { return g_passed != 0; });
            Pump(up ? 1000 : 100, [] { return g_shell.updates > 0; }); // the redraw it asks for
            EXPECT_EQ(up ? row.redraws : 0, g_shell.updates);
            EXPECT_EQ(row.key, g_passed);
            EXPECT_EQ(row.key == VK_F24, g_returned);
        }
        if (row.alt) keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
    }
    EXPECT_EQ(0, KeyboardHookProc(-1, WM_KEYUP, 0)) << "a negative code comes with no event";
}

// Where the hook cannot help, the timer keeps the entry right: it shows a change,
// leaves an unchanged entry alone and brings back a lost one. Closed from outside,
// the program ends with code 0, its hook and its entry gone.
TEST(Entry, StaysRightAndGoesWithTheProgram) {
    InstallKeyboardHook(GetModuleHandleW(nullptr));
    const HHOOK hook = g_hook;
    HWND window = StartProgram();
    EXPECT_FALSE(IsWindowVisible(window)) << "a window of its own shown";
    const int updates = g_shell.updates;
    SendMessageW(window, WM_TIMER, REFRESH_TIMER_ID, 0);
    EXPECT_EQ(updates, g_shell.updates) << "redrawn with nothing changed";
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

    PostMessageW(window, WM_CLOSE, 0, 0); // as the task list closes it
    EXPECT_EQ(0, RunMessageLoop());
    EXPECT_FALSE(UnhookWindowsHookEx(hook)) << "still hooked";
    EXPECT_EQ(nullptr, g_shell.window);
}

// The Run key: missing, with a neighbour's value, or with ours too, of any type.
constexpr wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
struct RunSetup { bool key; DWORD type; const wchar_t* data; DWORD bytes; };
constexpr RunSetup NO_KEY{false, REG_NONE, L"", 0}, NO_VALUE{true, REG_NONE, L"", 0};
constexpr RunSetup OTHER_COPY{true, REG_SZ, L"C:\\Other copy\\tolvane.exe", 52};
constexpr RunSetup A_NUMBER{true, REG_DWORD, L"\x0001", 4};

// The Run key as the neighbour's value, then ours as "|type|bytes|data".
static std::wstring RunKeyText() {
    wchar_t other[64] = L"", ours[300] = L"";
    DWORD type = REG_NONE, bytes = sizeof(ours), otherBytes = sizeof(other);
    RegGetValueW(HKEY_CURRENT_USER, RUN, L"Other", RRF_RT_ANY, nullptr, other, &otherBytes);
    const bool found = !RegGetValueW(HKEY_CURRENT_USER, RUN, L"TolvaneIcon",
                                     RRF_RT_ANY | RRF_NOEXPAND, &type, ours, &bytes);
    return other + (found ? L"|" + std::to_wstring(type) + L"|" + std::to_wstring(bytes) + L"|" +
                                ours : L"");
}

// What opened, then dismissed as a click elsewhere, or OK, would.
static std::wstring g_opened;

static void CALLBACK ReadWhatOpened(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr), box = FindWindowW(L"#32770", nullptr);
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    const auto information = reinterpret_cast<LRESULT>(LoadIconW(nullptr, IDI_INFORMATION));
    RECT rect{};
    wchar_t text[64];
    if (IsWindowVisible(popup) && GetWindowRect(popup, &rect)) {
        g_opened = L"menu at " + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            g_opened += L"|" + std::to_wstring(GetMenuItemID(menu, i)) + L" " + text;
        }
        EndMenu();
    } else if (IsWindowVisible(box) && GetWindowTextW(box, text, 64)) {
        g_opened = L"box " + std::wstring(text);
        g_opened += GetWindow(box, GW_OWNER) == g_shell.window ? L", owned" : L"";
        HWND icon = FindWindowExW(box, nullptr, L"Static", nullptr); // comes before the text
        g_opened += SendMessageW(icon, STM_GETICON, 0, 0) == information ? L", i icon" : L"";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    } else {
        return;
    }
    KillTimer(nullptr, timer);
}

constexpr wchar_t SET[] = L"menu at 200,150|1003 Set to run at startup|1002 About|1001 Exit";
constexpr wchar_t STOP[] = L"menu at 200,150|1003 Stop running at startup|1002 About|1001 Exit";
enum After { AS_BEFORE, REMOVED, QUOTED_PATH };

// A message, the Run key and the program's path length (0: the call fails)
// before it: what opens, and the Run key after it.
struct UserRow {
    int line; UINT message; WPARAM wParam; LPARAM lParam; RunSetup run; size_t path;
    const wchar_t* opened; After after;
};
static const UserRow USER_ROWS[] = {
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_KEY, 40, SET, AS_BEFORE},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, NO_VALUE, 40, SET, AS_BEFORE},
    {__LINE__, WM_TRAYICON, 1, WM_RBUTTONUP, A_NUMBER, 40, STOP, AS_BEFORE},
    {__LINE__, WM_TRAYICON, 1, WM_LBUTTONUP, NO_VALUE, 40, L"", AS_BEFORE},
    {__LINE__, WM_TRAYICON, 1, WM_CONTEXTMENU, NO_VALUE, 40, L"", AS_BEFORE},
    {__LINE__, WM_COMMAND, 1002, 0, NO_VALUE, 40, L"box About, owned, i icon", AS_BEFORE},
    {__LINE__, WM_COMMAND, MAKEWPARAM(1003, 1), 0, NO_VALUE, MAX_PATH - 1, L"", QUOTED_PATH},
    {__LINE__, WM_COMMAND, 1003, 0, NO_VALUE, MAX_PATH, L"", AS_BEFORE}, // cut short
    {__LINE__, WM_COMMAND, 1003, 0, NO_VALUE, 0, L"", AS_BEFORE},
    {__LINE__, WM_COMMAND, 1003, 0, OTHER_COPY, 40, L"", REMOVED}, // any value of our name
    {__LINE__, WM_COMMAND, 1003, 0, NO_KEY, 40, L"", AS_BEFORE},   // the key is never made
    {__LINE__, WM_COMMAND, MAKEWPARAM(4242, 1), 0, OTHER_COPY, 40, L"", AS_BEFORE},
};

TEST(Menu, DoesWhatTheUserChoseAndNothingElse) {
    StartProgram();
    for (const UserRow& row : USER_ROWS) {
        SCOPED_TRACE(testing::Message() << "row at line " << row.line);
        const RunSetup& run = row.run;
        RegDeleteKeyW(HKEY_CURRENT_USER, RUN);
        if (run.key) RegSetKeyValueW(HKEY_CURRENT_USER, RUN, L"Other", REG_SZ, L"C:\\x.exe", 18);
        if (run.type) RegSetKeyValueW(HKEY_CURRENT_USER, RUN, L"TolvaneIcon", run.type, run.data,
                                      run.bytes);
        g_modulePath = (L"C:\\Program Files\\" + std::wstring(row.path, L'x')).substr(0, row.path);
        const std::wstring before = RunKeyText(), quoted = L"\"" + g_modulePath + L"\"";
        SetCursorPos(200, 150);
        g_opened.clear();
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadWhatOpened);
        SendMessageW(g_shell.window, row.message, row.wParam, row.lParam);
        KillTimer(nullptr, timer);
        Pump(100); // a command the dismissed menu sent would come now
        EXPECT_EQ(row.opened, g_opened);
        EXPECT_TRUE(IsWindow(g_shell.window));
        const std::wstring added = L"|1|" + std::to_wstring(quoted.size() * 2 + 2) + L"|" + quoted;
        const std::wstring after[] = {before, before.substr(0, before.find(L'|')), before + added};
        EXPECT_EQ(after[row.after], RunKeyText());
    }
}
