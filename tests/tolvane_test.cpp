// The program's parts, all tests in one process, in any order, each leaving things as it found them.
#include "app/tray_window.h"
#include "status/keyboard_hook.h"
#include "status/tray_status.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

// The shell's copy of the entry: Wine's cannot be asked, and drops a dead window's icon. Like the
// shell, it keeps what the flags name, and an entry added anew starts from nothing.
static struct { HWND window; UINT callback; HICON icon; std::wstring tip; int updates; } g_shell;

static BOOL WINAPI ShellNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
    if (data->cbSize != sizeof(*data) || (data->hWnd == g_shell.window) != (message != NIM_ADD)) return FALSE;
    if (message != NIM_MODIFY) g_shell = {nullptr, 0, nullptr, L"", g_shell.updates};
    if (message == NIM_DELETE) return TRUE;
    g_shell.window = data->hWnd;
    if (data->uFlags & NIF_MESSAGE) g_shell.callback = data->uCallbackMessage;
    if (data->uFlags & NIF_ICON) g_shell.icon = data->hIcon;
    if (data->uFlags & NIF_TIP) g_shell.tip = data->szTip;
    ++g_shell.updates;
    return TRUE;
}

// This exe runs from the build folder, and Wine cannot start one from past MAX_PATH: for a row, the
// call answers for a made-up path of another length as Windows documents. Whole if it fits with its
// null; else cut to size - 1 characters and the null, returning size, with ERROR_INSUFFICIENT_BUFFER.
static DWORD g_pathLength; // 0: the real path

static DWORD WINAPI ModuleFileName(HMODULE module, LPWSTR path, DWORD size) {
    if (!g_pathLength) return K32GetModuleFileNameExW(GetCurrentProcess(), module, path, size);
    const DWORD copied = g_pathLength < size ? g_pathLength : size - 1;
    (L"C:\\" + std::wstring(g_pathLength - 15, L'x') + L"\\tolvane.exe").copy(path, copied);
    path[copied] = L'\0';
    if (copied < g_pathLength) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return copied < g_pathLength ? size : copied;
}

// The program calls both through import slots, taken here before the linker looks in the DLLs'.
extern "C" { decltype(&Shell_NotifyIconW) __imp_Shell_NotifyIconW = ShellNotifyIcon; }
extern "C" { decltype(&GetModuleFileNameW) __imp_GetModuleFileNameW = ModuleFileName; }

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

static void StartProgram() {
    SetLocks(0, 0, 0);
    RegisterTrayWindowClass(GetModuleHandleW(nullptr));
    CreateTrayWindow(GetModuleHandleW(nullptr));
}

// Windows counts a process's handles. Wine says 0, so there kernel handles are tried one by one,
// and GDI and USER objects counted by the room left in their tables, filled and freed again.
static DWORD Room(bool user) {
    static HANDLE made[70000];
    DWORD n = 0;
    while (n < 70000 && (made[n] = user ? HANDLE(CreatePopupMenu()) : CreateSolidBrush(0))) ++n;
    for (DWORD i = n; i-- > 0;) user ? DestroyMenu(HMENU(made[i])) : DeleteObject(made[i]);
    return n;
}

// Counted once two readings 100 ms apart agree: other threads (a box's sound, the input method) hold
// kernel handles for a while, and under Wine other processes' USER objects take room in the same table.
// The kernel count may then move by less than the table's rows; GDI and USER objects come out even.
struct Counts { DWORD kernel, gdi, user; };

static Counts Count() {
    DWORD kernel = 0, flags = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &kernel) || !kernel)
        for (UINT_PTR value = 4; value < 0x4000; value += 4)
            kernel += GetHandleInformation(HANDLE(value), &flags) ? 1u : 0u;
    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return {kernel, gdi ? gdi : Room(false), user ? user : Room(true)};
}

static Counts Handles() {
    Counts was{}, now = Count();
    for (int reading = 1; reading < 20; ++reading) {
        if (now.kernel == was.kernel && now.gdi == was.gdi && now.user == was.user) break;
        was = now;
        Pump(100);
        now = Count();
    }
    return now;
}

static void ExpectNoneLost(const Counts& before, DWORD rows) {
    const Counts after = Handles();
    EXPECT_EQ(before.gdi, after.gdi) << "GDI objects lost (under Wine, the room left)";
    // Wine's USER table is the prefix's, not the process's: other processes may free objects meanwhile.
    if (GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS) == 0)
        EXPECT_GE(after.user, before.user) << "USER objects lost (under Wine, the room left)";
    else
        EXPECT_EQ(before.user, after.user) << "USER objects lost";
    EXPECT_LT(after.kernel, before.kernel + rows) << "kernel handles lost, as many as the rows or more";
}

// What draw puts on a w by h canvas, first magenta: the colours, row by row from the top.
template <typename Draw> static std::vector<DWORD> Pixels(int w, int h, Draw draw) {
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    DWORD* at = nullptr;
    std::vector<DWORD> pixels;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateDIBSection(dc, &info, 0, reinterpret_cast<void**>(&at), nullptr, 0);
    const HGDIOBJ was = SelectObject(dc, canvas);
    for (int i = 0; canvas && i < w * h; ++i) at[i] = 0xFF00FF;
    draw(dc);
    GdiFlush();
    for (int i = 0; canvas && i < w * h; ++i) pixels.push_back(at[i] & 0xFFFFFF);
    SelectObject(dc, was);
    DeleteObject(canvas);
    DeleteDC(dc);
    return pixels;
}

static std::vector<DWORD> IconPixels(HICON icon, int w, int h) {
    return Pixels(w, h, [&](HDC dc) { DrawIconEx(dc, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL); });
}

// The look, drawn here from its figures, a cell lit where shown ("N c s") has it in upper case. Lit,
// a cell is filled 130,220,100 and its label black; unlit, it keeps the background, 30,30,30, and its
// label is grey 120. Labels in bold 14-pixel "Segoe UI", ClearType, centred in their cell.
static void DrawLook(HDC dc, const wchar_t* shown) {
    const RECT cells[] = {{0, 0, 32, 16}, {0, 16, 16, 32}, {16, 16, 32, 32}};
    const wchar_t* const labels[] = {L"Num", L"C", L"S"};
    HBRUSH dark = CreateSolidBrush(RGB(30, 30, 30)), lit = CreateSolidBrush(RGB(130, 220, 100));
    HFONT font = CreateFontW(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
    const HGDIOBJ was = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < 3; ++i) {
        RECT cell = cells[i];
        const bool on = IsCharUpperW(shown[2 * i]);
        FillRect(dc, &cell, on ? lit : dark);
        SetTextColor(dc, on ? RGB(0, 0, 0) : RGB(120, 120, 120));
        DrawTextW(dc, labels[i], -1, &cell, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    SelectObject(dc, was);
    DeleteObject(font);
    DeleteObject(lit);
    DeleteObject(dark);
}

// The shell's icon read as shown, with "?" for each cell whose pixels differ from the look drawn so.
static std::wstring ReadShellIcon(const wchar_t* shown) {
    const std::vector<DWORD> icon = IconPixels(g_shell.icon, 32, 32);
    const std::vector<DWORD> look = Pixels(32, 32, [shown](HDC dc) { DrawLook(dc, shown); });
    std::wstring read = shown;
    if (icon.size() != 32 * 32 || look.size() != 32 * 32) return L"no canvas";
    for (size_t i = 0; i < 32 * 32; ++i) {
        const size_t cell = i < 32 * 16 ? 0 : i % 32 < 16 ? 1 : 2; // Num above, C and S below
        if (icon[i] != look[i]) read[2 * cell] = L'?';
    }
    return read;
}

static HWND g_hidden[2]; // of the menu's and the box's classes, as any program may have

// This thread's visible window of the menu's class (#32768) or the box's (#32770), or null.
static HWND Own(const wchar_t* className) {
    static HWND found;
    found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM wanted) -> BOOL {
        wchar_t name[16] = L"";
        const bool ofClass = GetClassNameW(window, name, 16) && !lstrcmpW(name, LPCWSTR(wanted));
        found = ofClass && IsWindowVisible(window) ? window : nullptr;
        return !found;
    }, reinterpret_cast<LPARAM>(className));
    return found;
}

// An open menu as "menu by the cursor|1003 Set to run at startup|...": the cursor as read back once set.
// A right-handed user's menus drop to the left of it (Tablet PC settings), others' to the right.
static POINT g_cursor;

static std::wstring DescribeMenu(HWND popup) {
    RECT rect{};
    BOOL toTheLeft = FALSE;
    GetWindowRect(popup, &rect);
    SystemParametersInfoW(SPI_GETMENUDROPALIGNMENT, 0, &toTheLeft, 0);
    const bool byCursor = rect.top == g_cursor.y && (toTheLeft ? rect.right : rect.left) == g_cursor.x;
    std::wstring text = L"menu by the cursor";
    if (!byCursor) text = L"menu at " + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) +
                          L", right " + std::to_wstring(rect.right) + L", the cursor at " +
                          std::to_wstring(g_cursor.x) + L"," + std::to_wstring(g_cursor.y);
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t item[64] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), item, 64, MF_BYPOSITION);
        text += L"|" + std::to_wstring(GetMenuItemID(menu, i)) + L" " + item;
    }
    return text;
}

// Whatever handle the box uses, whether its icon draws as the information icon at the same size.
static bool DrawsAsInformation(HICON icon) {
    ICONINFO parts{};
    BITMAP size{};
    if (!icon || !GetIconInfo(icon, &parts)) return false;
    GetObjectW(parts.hbmColor ? parts.hbmColor : parts.hbmMask, sizeof(size), &size);
    const int w = size.bmWidth, h = parts.hbmColor ? size.bmHeight : size.bmHeight / 2; // a mask holds two
    DeleteObject(parts.hbmColor);
    DeleteObject(parts.hbmMask);
    const HICON shared = LoadIconW(nullptr, IDI_INFORMATION);
    const auto information = HICON(CopyImage(shared, IMAGE_ICON, w, h, LR_COPYFROMRESOURCE)); // that size
    const std::vector<DWORD> shown = IconPixels(icon, w, h);
    const bool same = information && !shown.empty() && shown == IconPixels(information, w, h);
    if (information) DestroyIcon(information);
    return same;
}

// What opened, with the hidden windows above it, then dismissed: a menu as if its first item were
// chosen, a box by OK. After 3 s it gives up, ending ours: a modal loop ends at WM_QUIT and posts it again.
static std::wstring g_opened;
static ULONGLONG g_giveUpAt;

static void CALLBACK ReadWhatOpened(HWND, UINT, UINT_PTR, DWORD) {
    for (HWND window : g_hidden)
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const HWND menu = Own(L"#32768"), box = Own(L"#32770");
    wchar_t title[64] = L"";
    if (GetTickCount64() > g_giveUpAt) {
        g_opened += g_opened.empty() ? L"no menu or box of ours" : L", still open";
        g_opened += L" after 3 s";
        g_giveUpAt = ~0ull;
        EndMenu();
        PostQuitMessage(0);
    } else if (g_opened.empty() && menu) {
        g_opened = DescribeMenu(menu);
        EndMenu();
        PostMessageW(g_shell.window, WM_COMMAND, 1003, 0);
    } else if (g_opened.empty() && box && GetWindowTextW(box, title, 64)) {
        const HWND image = FindWindowExW(box, nullptr, L"Static", nullptr); // comes before the text
        const auto icon = reinterpret_cast<HICON>(SendMessageW(image, STM_GETICON, 0, 0));
        g_opened = L"box " + std::wstring(title);
        g_opened += GetWindow(box, GW_OWNER) == g_shell.window ? L", owned" : L"";
        g_opened += DrawsAsInformation(icon) ? L", i icon" : L"";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

// What the user does: a click on the entry comes as its callback message, a command as WM_COMMAND.
struct Action { UINT message; WPARAM wParam; LPARAM lParam; };

// What an action opens, posted to the entry's window with the cursor at 200,150, or where it went.
static std::wstring Open(const Action& action) {
    SetCursorPos(200, 150);
    GetCursorPos(&g_cursor);
    g_opened.clear();
    g_giveUpAt = GetTickCount64() + 3000;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadWhatOpened);
    PostMessageW(g_shell.window, action.message, action.wParam, action.lParam);
    Pump(50); // the action, the command chosen, and any the menu should not have sent
    KillTimer(nullptr, timer);
    return g_opened;
}

// Before the first test: with input going to another desktop (a locked screen, a remote session cut
// off) or a cursor that stays where it is, every Hook and Menu row would fail, none saying why.
struct InputDesktop : testing::Environment {
    void SetUp() override {
        wchar_t ours[64] = L"", input[64] = L"one this process may not open";
        POINT was{}, moved{};
        HDESK desktop = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
        const HDESK thread = GetThreadDesktop(GetCurrentThreadId());
        GetUserObjectInformationW(thread, UOI_NAME, ours, sizeof(ours), nullptr);
        if (desktop) GetUserObjectInformationW(desktop, UOI_NAME, input, sizeof(input), nullptr);
        if (desktop) CloseDesktop(desktop);
        GetCursorPos(&was);
        SetCursorPos(was.x ? was.x - 1 : 1, was.y);
        GetCursorPos(&moved);
        SetCursorPos(was.x, was.y);
        ASSERT_STREQ(ours, input) << "No test runs: input goes to another desktop than this one";
        ASSERT_NE(was.x, moved.x) << "No test runs: the cursor cannot be moved";
    }
};
static testing::Environment* const g_inputDesktop = testing::AddGlobalTestEnvironment(new InputDesktop);

// Each test starts the program with HKEY_CURRENT_USER a scratch key, made afresh (a run cut short
// leaves one); it ends it, removes what it made, and puts back what it changed.
constexpr wchar_t SCRATCH[] = L"Software\\Tolvane tests";
struct Program : testing::Test {
    HKEY scratch = nullptr;
    POINT cursor{};
    BYTE keys[256]{};
    HHOOK hooks[3]{};
    HWND foreground = nullptr;
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, SCRATCH);
        ASSERT_EQ(0, RegCreateKeyW(HKEY_CURRENT_USER, SCRATCH, &scratch)) << "so the test does not run";
        ASSERT_EQ(0, RegOverridePredefKey(HKEY_CURRENT_USER, scratch)) << "so the test does not run";
        GetCursorPos(&cursor);
        // GetKeyboardState alone returns this thread's copy as last brought up to date; GetKeyState
        // first brings it up to date with the keyboard, so what is put back is the truth.
        GetKeyState(VK_NUMLOCK);
        GetKeyboardState(keys);
        foreground = GetForegroundWindow();
        StartProgram();
    }
    void TearDown() override {
        // Given back while the program's window, which a menu brings to the front, can still give it.
        if (foreground && GetForegroundWindow() != foreground) SetForegroundWindow(foreground);
        for (HHOOK hook : hooks) UnhookWindowsHookEx(hook);
        for (HWND window : g_hidden) DestroyWindow(window);
        DestroyWindow(g_tray.hWnd);
        RemoveKeyboardHook();
        Pump(0); // and the quit message it posts
        DestroyIcon(g_tray.hIcon);
        g_tray = {};
        g_shell = {};
        g_hidden[0] = g_hidden[1] = nullptr;
        g_pathLength = 0;
        SetKeyboardState(keys);
        SetCursorPos(cursor.x, cursor.y);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(scratch);
        RegDeleteTreeW(HKEY_CURRENT_USER, SCRATCH);
    }
};
using Redraw = Program;
using Hook = Program;
using Entry = Program;
using Menu = Program;

// Only the toggle counts: a key held down (0x80) is on or off by it alone.
struct LockRow { int line; BYTE num, caps, scroll; const wchar_t* shown; };
static const LockRow LOCK_ROWS[] = {
    {__LINE__, 0x00, 0x00, 0x00, L"n c s"}, {__LINE__, 0x01, 0x80, 0x00, L"N c s"},
    {__LINE__, 0x80, 0x01, 0x00, L"n C s"}, {__LINE__, 0x00, 0x00, 0x81, L"n c S"},
    {__LINE__, 0x81, 0x01, 0x80, L"N C s"}, {__LINE__, 0x01, 0x00, 0x01, L"N c S"},
    {__LINE__, 0x00, 0x81, 0x01, L"n C S"}, {__LINE__, 0x01, 0x81, 0x81, L"N C S"},
};

TEST_F(Redraw, ShowsEveryCombinationOfLocksAndLeaksNothing) {
    Counts before{};
    for (int round = 0; round < 64 * 8; ++round) {
        const LockRow& row = LOCK_ROWS[round % 8];
        SCOPED_TRACE(testing::Message() << "round " << round << ", row at line " << row.line);
        if (round == 8) before = Handles();
        SetLocks(row.num, row.caps, row.scroll);
        RefreshStatus();
        ASSERT_EQ(row.shown, g_shell.tip);
        ASSERT_EQ(row.shown, ReadShellIcon(row.shown));
    }
    ExpectNoneLost(before, ARRAYSIZE(LOCK_ROWS));
}

// Hooks around the program's pass on every event but the F24 tapped here: the first sees what
// the chain returns, the next after the program's blocks that F24, the last counts what gets by.
constexpr ULONG_PTR OURS = 0x7011A4E; // the extra information of the keys tapped here
static DWORD g_key;
static int g_seen, g_reached;
static LRESULT g_returned;

static bool IsOurKey(int code, LPARAM lParam) {
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    return code == HC_ACTION && event->dwExtraInfo == OURS && event->vkCode == g_key;
}

static LRESULT CALLBACK FirstHook(int code, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
    g_returned = IsOurKey(code, lParam) ? result : g_returned;
    g_seen += IsOurKey(code, lParam);
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

// The tooltip once the key has done what a tap does: its lock's letter in the other case.
static std::wstring Tapped(std::wstring tip, BYTE key) {
    const size_t at = key == VK_NUMLOCK ? 0 : key == VK_CAPITAL ? 2 : key == VK_SCROLL ? 4 : tip.size();
    if (at < tip.size()) tip[at] = static_cast<wchar_t>(tip[at] ^ 0x20); // N and n, C and c, S and s
    return tip;
}

TEST_F(Hook, ShowsEachLockKeyTappedAndPassesEveryKeyOn) {
    KillTimer(g_tray.hWnd, REFRESH_TIMER_ID); // only the hook, and the ticks sent here, redraw
    hooks[0] = SetWindowsHookExW(WH_KEYBOARD_LL, LastHook, GetModuleHandleW(nullptr), 0);
    hooks[1] = SetWindowsHookExW(WH_KEYBOARD_LL, BlockingHook, GetModuleHandleW(nullptr), 0);
    InstallKeyboardHook();
    // Made up for this thread alone, a change the hook never saw: the tick replaces the hook, alive as
    // it is. Then the locks as the keyboard has them, which the next tick shows and the taps start from.
    BYTE madeUp[256];
    CopyMemory(madeUp, keys, sizeof(madeUp));
    madeUp[VK_NUMLOCK] ^= 1;
    for (const BYTE* state : {madeUp, keys}) {
        SetKeyboardState(const_cast<BYTE*>(state));
        SendMessageW(g_tray.hWnd, WM_TIMER, REFRESH_TIMER_ID, 0);
    }
    hooks[2] = SetWindowsHookExW(WH_KEYBOARD_LL, FirstHook, GetModuleHandleW(nullptr), 0);
    for (const KeyRow& row : KEY_ROWS) {
        SCOPED_TRACE(testing::Message() << "row at line " << row.line);
        if (row.dropped) UnhookWindowsHookEx(g_hook); // as Windows does, unannounced
        const std::wstring before = g_shell.tip, tapped = Tapped(before, row.key);
        g_key = row.key;
        g_seen = g_reached = g_shell.updates = 0;
        if (row.alt) keybd_event(VK_LMENU, 0, 0, OURS); // the release comes as WM_SYSKEYUP
        keybd_event(row.key, 0, 0, OURS); // injected, as SendInput does
        EXPECT_TRUE(Pump(1000, [] { return g_seen == 1; })) << "the press held up";
        EXPECT_FALSE(Pump(100, [] { return g_shell.updates > 0; })) << "a redraw at the press, too early";
        keybd_event(row.key, 0, KEYEVENTF_KEYUP, OURS);
        if (row.alt) keybd_event(VK_LMENU, 0, KEYEVENTF_KEYUP, OURS);
        EXPECT_TRUE(Pump(1000, [] { return g_seen == 2; })) << "the release held up";
        Pump(row.redraws ? 1000 : 100, [] { return g_shell.updates > 0; }); // the redraw asked for
        EXPECT_EQ(row.redraws, g_shell.updates);
        EXPECT_EQ(row.redraws ? tapped : before, g_shell.tip) << "shown at the release";
        EXPECT_EQ(row.key == VK_F24 ? 0 : 2, g_reached) << "events kept from the hooks installed before";
        EXPECT_EQ(row.key == VK_F24, g_returned) << "not what the next hook returned";
        g_shell.updates = 0;
        SendMessageW(g_tray.hWnd, WM_TIMER, REFRESH_TIMER_ID, 0);
        EXPECT_EQ(row.ticked, g_shell.updates) << "at the tick after it";
        EXPECT_EQ(tapped, g_shell.tip) << "shown after the tick";
    }
    EXPECT_EQ(0, KeyboardHookProc(-1, WM_KEYUP, 0)) << "a negative code comes with no event";
}

constexpr wchar_t SET[] = L"menu by the cursor|1003 Set to run at startup|1002 About|1001 Exit";
constexpr wchar_t STOP[] = L"menu by the cursor|1003 Stop running at startup|1002 About|1001 Exit";

// A restarted Explorer knows no entry, and posts to each top-level window (not a message-only one): told
// the same way, though only this thread's windows are, the program adds its entry back, clicks and all.
static BOOL CALLBACK Tell(HWND window, LPARAM message) {
    if (GetAncestor(window, GA_PARENT) == GetDesktopWindow()) // Windows lists message-only ones too
        PostMessageW(window, static_cast<UINT>(message), 0, 0);
    return TRUE;
}

// The timer shows a change the hook missed and brings back a lost entry. Closed from
// outside or by Exit, the program ends with code 0, its hook and its entry gone.
TEST_F(Entry, StaysRightAndGoesWithTheProgram) {
    InstallKeyboardHook();
    SetLocks(0, 1, 0);
    EXPECT_TRUE(Pump(2500, [] { return g_shell.tip == L"n C s"; })) << "no change in a second";
    SetLocks(1, 0, 0);
    g_shell = {}; // the entry lost, and a redraw failed: the next tick adds it again
    RefreshStatus();
    SendMessageW(g_tray.hWnd, WM_TIMER, REFRESH_TIMER_ID, 0);
    EXPECT_EQ(L"N c s", g_shell.tip) << "no entry after the tick";

    for (const UINT exit : {0u, 1001u}) { // as the task list closes it; Exit
        const HHOOK hook = g_hook;
        PostMessageW(g_tray.hWnd, exit ? WM_COMMAND : WM_CLOSE, exit, 0);
        const TIMERPROC quit = [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); };
        const UINT_PTR giveUp = SetTimer(nullptr, 0, 3000, quit);
        EXPECT_EQ(0, RunMessageLoop()) << "99: still running after 3 s";
        KillTimer(nullptr, giveUp);
        EXPECT_FALSE(UnhookWindowsHookEx(hook)) << "still hooked";
        EXPECT_EQ(nullptr, g_shell.window) << "a dead icon left in the tray";
        InstallKeyboardHook();
        StartProgram();
    }

    g_shell = {};
    EnumThreadWindows(GetCurrentThreadId(), Tell, RegisterWindowMessageW(L"TaskbarCreated"));
    ASSERT_TRUE(Pump(1000, [] { return g_shell.window != nullptr; })) << "no entry on the new taskbar";
    EXPECT_EQ(WM_TRAYICON, g_shell.callback) << "an entry that reports no clicks";
    EXPECT_EQ(SET, Open({g_shell.callback, 1, WM_RBUTTONUP})) << "at a right click on it";
}

// Our value beside a neighbour's in a key of the current user: key or value missing, or
// of any type. Startup apps' switch is binary, off by its first bit.
struct Value { bool key; DWORD type; const void* data; DWORD bytes; bool ours = false; };
constexpr BYTE ON[12] = {2}, OFF[12] = {3}, OFF_TOO[12] = {7};
constexpr Value NO_KEY{false, REG_NONE, nullptr, 0}, NO_VALUE{true, REG_NONE, nullptr, 0};
constexpr Value OTHER_COPY{true, REG_SZ, L"C:\\Other copy\\tolvane.exe", 52};
constexpr Value A_NUMBER{true, REG_DWORD, OFF, 4}, SWITCHED_ON{true, REG_BINARY, ON, 12};
constexpr Value SWITCHED_OFF{true, REG_BINARY, OFF, 12}, OFF_AS_WELL{true, REG_BINARY, OFF_TOO, 12};
constexpr Value OUR_PATH{true, REG_SZ, nullptr, 0, true}; // where the program runs from, quoted
constexpr wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t APPROVED[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\"
                               L"Run";

static void Put(const wchar_t* key, const Value& ours) {
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    if (ours.key) RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Other", REG_BINARY, OFF, 12);
    if (ours.type) RegSetKeyValueW(HKEY_CURRENT_USER, key, L"TolvaneIcon", ours.type, ours.data, ours.bytes);
}

// A value as "type:data", with all the bytes its size counts (a string's null too), or as missing.
static std::wstring Describe(const Value& value) {
    wchar_t path[MAX_PATH + 1] = L"";
    if (!value.key || !value.type) return value.key ? L"no value" : L"no key";
    const std::wstring type = std::to_wstring(value.type) + L":";
    if (!value.ours) return type + std::wstring(static_cast<LPCWSTR>(value.data), value.bytes / 2);
    GetModuleFileNameW(nullptr, path, MAX_PATH + 1); // where the program runs from, as Windows says
    return type + L"\"" + path + L"\"" + L'\0';
}

static std::wstring Read(const wchar_t* key, const wchar_t* name = L"TolvaneIcon") {
    HKEY opened = nullptr;
    wchar_t data[300] = L"";
    DWORD type = REG_NONE, bytes = sizeof(data);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened)) return Describe(NO_KEY);
    const LSTATUS status = RegQueryValueExW(opened, name, nullptr, &type, LPBYTE(data), &bytes);
    RegCloseKey(opened);
    return Describe(status ? NO_VALUE : Value{true, type, data, bytes});
}

constexpr Action RIGHT_CLICK{WM_TRAYICON, 1, WM_RBUTTONUP}, LEFT_CLICK{WM_TRAYICON, 1, WM_LBUTTONUP};
constexpr Action ABOUT{WM_COMMAND, 1002, 0};
constexpr Action STARTUP_KEY{WM_COMMAND, MAKEWPARAM(1003, 1), 0}; // as an accelerator sends it
constexpr wchar_t ABOUT_BOX[] = L"box About, owned, i icon", NOTHING[] = L"";
// Where the program runs from: here, or a made-up path of the most MAX_PATH holds, or of one more.
constexpr DWORD HERE = 0, LONGEST = MAX_PATH - 1, TOO_LONG = MAX_PATH;

// What the user does, from where the program runs, with our Run value and switch before: what opens
// (then the menu's first item is chosen, the box closed by OK), and our Run value and switch after.
struct UserRow {
    int line; Action done; DWORD from; Value run, mark; const wchar_t* opens; Value runAfter, markAfter;
};
static const UserRow USER_ROWS[] = {
    {__LINE__, RIGHT_CLICK, HERE, NO_KEY, NO_KEY, SET, NO_KEY, NO_KEY},
    {__LINE__, RIGHT_CLICK, HERE, NO_VALUE, NO_KEY, SET, OUR_PATH, NO_KEY},
    {__LINE__, RIGHT_CLICK, LONGEST, NO_VALUE, NO_KEY, SET, OUR_PATH, NO_KEY},
    {__LINE__, RIGHT_CLICK, TOO_LONG, NO_VALUE, NO_KEY, SET, NO_VALUE, NO_KEY},
    {__LINE__, RIGHT_CLICK, HERE, NO_VALUE, SWITCHED_OFF, SET, OUR_PATH, NO_VALUE},
    {__LINE__, RIGHT_CLICK, HERE, OTHER_COPY, NO_KEY, STOP, NO_VALUE, NO_KEY},
    {__LINE__, RIGHT_CLICK, HERE, OTHER_COPY, SWITCHED_ON, STOP, NO_VALUE, NO_VALUE},
    {__LINE__, RIGHT_CLICK, HERE, OTHER_COPY, SWITCHED_OFF, SET, OUR_PATH, NO_VALUE},
    {__LINE__, RIGHT_CLICK, HERE, OTHER_COPY, OFF_AS_WELL, SET, OUR_PATH, NO_VALUE},
    {__LINE__, RIGHT_CLICK, HERE, A_NUMBER, A_NUMBER, STOP, NO_VALUE, NO_VALUE},
    {__LINE__, LEFT_CLICK, HERE, NO_VALUE, NO_VALUE, NOTHING, NO_VALUE, NO_VALUE},
    {__LINE__, ABOUT, HERE, NO_VALUE, NO_VALUE, ABOUT_BOX, NO_VALUE, NO_VALUE},
    {__LINE__, STARTUP_KEY, HERE, NO_VALUE, NO_VALUE, NOTHING, OUR_PATH, NO_VALUE},
};

// Done over and over, it leaves the handles where the first round left them, and the neighbours alone.
TEST_F(Menu, DoesWhatTheUserChoseAndNothingElse) {
    // Hidden windows of the menu's and the box's classes, above what opens: the rows must read the program's.
    // Windows keeps both classes for itself; if it refuses one, the rows run without it, and say so.
    for (int i = 0; i < 2; ++i) {
        const char* name = i ? "#32770" : "#32768";
        g_hidden[i] = CreateWindowExA(WS_EX_TOPMOST, name, "", WS_POPUP, 0, 0, 9, 9,
                                      nullptr, nullptr, nullptr, nullptr);
        if (g_hidden[i]) continue;
        RecordProperty(std::string("refused") + (name + 1), std::to_string(GetLastError()));
        std::printf("Note: Windows refused a hidden %s window; the rows run without it\n", name);
    }
    Counts before{};
    for (int round = 0; round < 3; ++round) {
        if (round == 1) before = Handles();
        for (const UserRow& row : USER_ROWS) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", row at line " << row.line);
            Put(RUN, row.run);
            Put(APPROVED, row.mark);
            const std::wstring neighbours = Read(RUN, L"Other") + L", " + Read(APPROVED, L"Other");
            g_pathLength = row.from;
            ASSERT_EQ(row.opens, Open(row.done));
            EXPECT_EQ(Describe(row.runAfter), Read(RUN)) << "our Run value";
            EXPECT_EQ(Describe(row.markAfter), Read(APPROVED)) << "our switch in Startup apps";
            EXPECT_EQ(neighbours, Read(RUN, L"Other") + L", " + Read(APPROVED, L"Other"));
        }
    }
    ExpectNoneLost(before, ARRAYSIZE(USER_ROWS));
}
