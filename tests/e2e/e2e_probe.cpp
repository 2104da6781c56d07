// Drives and inspects a running tolvane.exe from outside, the way the user,
// the shell and other programs reach it. Runs in the program's Wine desktop;
// e2e.sh calls one command at a time. Exit code 0 when the command did what
// it says, 1 when what it looks for is not there, 2 on bad usage.
#include "app/tray_window.h"
#include "e2e_menu_reader.h"
#include "status/tray_status.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

HWND FindProgramWindow()
{
    return FindWindowW(TRAY_WINDOW_CLASS, TRAY_WINDOW_TITLE);
}

// ---------------------------------------------------------------- screen

struct Screenshot {
    RECT area{};
    std::vector<DWORD> pixels; // 0x00RRGGBB, rows top-down

    DWORD At(long x, long y) const
    {
        const long width = area.right - area.left;
        return pixels[static_cast<size_t>((y - area.top) * width + (x - area.left))];
    }
};

Screenshot CaptureScreen(const RECT& area)
{
    Screenshot shot;
    shot.area = area;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, canvas);
    BitBlt(dc, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* source = static_cast<const DWORD*>(bits);
    shot.pixels.assign(source, source + static_cast<size_t>(width) * static_cast<size_t>(height));
    for (DWORD& pixel : shot.pixels) {
        pixel &= 0x00FFFFFF;
    }
    SelectObject(dc, previous);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return shot;
}

constexpr DWORD Rgb(int r, int g, int b)
{
    return static_cast<DWORD>((r << 16) | (g << 8) | b);
}

// The two fills of the status picture: a lit cell, and the dark square.
constexpr DWORD LIT_FILL = Rgb(130, 220, 100);
constexpr DWORD DARK_FILL = Rgb(30, 30, 30);

bool IsNear(DWORD pixel, DWORD colour)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        const int a = static_cast<int>((pixel >> shift) & 0xFF);
        const int b = static_cast<int>((colour >> shift) & 0xFF);
        if (a - b > 12 || b - a > 12) {
            return false;
        }
    }
    return true;
}

BOOL CALLBACK CollectVisibleChild(HWND child, LPARAM out)
{
    if (IsWindowVisible(child)) {
        RECT rect;
        GetWindowRect(child, &rect);
        reinterpret_cast<std::vector<RECT>*>(out)->push_back(rect);
    }
    return TRUE;
}

// The notification area is the part of the taskbar outside its buttons
// (Start, one per window); our entry is the square painted in our fills.
// Wine's taskbar paints tray icons itself, with no window of their own.
bool FindTrayIcon(RECT& icon)
{
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (taskbar == nullptr || !IsWindowVisible(taskbar)) {
        return false;
    }
    RECT area;
    GetWindowRect(taskbar, &area);
    std::vector<RECT> buttons;
    EnumChildWindows(taskbar, CollectVisibleChild, reinterpret_cast<LPARAM>(&buttons));
    const Screenshot shot = CaptureScreen(area);

    RECT found{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    bool any = false;
    for (long y = area.top; y < area.bottom; ++y) {
        for (long x = area.left; x < area.right; ++x) {
            const DWORD pixel = shot.At(x, y);
            if (pixel != LIT_FILL && pixel != DARK_FILL) {
                continue;
            }
            const POINT point{x, y};
            bool onButton = false;
            for (const RECT& button : buttons) {
                onButton = onButton || PtInRect(&button, point);
            }
            if (!onButton) {
                any = true;
                found = {std::min(found.left, x), std::min(found.top, y),
                         std::max(found.right, x + 1), std::max(found.bottom, y + 1)};
            }
        }
    }
    if (!any) {
        return false;
    }
    const long width = found.right - found.left;
    const long height = found.bottom - found.top;
    if (width < 8 || height < 8 || width - height > 2 || height - width > 2) {
        return false;
    }
    icon = found;
    return true;
}

// Upper case when the cell is mostly the lit fill, lower case when mostly
// the dark one, '?' when neither.
char ClassifyCell(const Screenshot& shot, const RECT& cell, char letter)
{
    long lit = 0;
    long dark = 0;
    for (long y = cell.top; y < cell.bottom; ++y) {
        for (long x = cell.left; x < cell.right; ++x) {
            lit += IsNear(shot.At(x, y), LIT_FILL) ? 1 : 0;
            dark += IsNear(shot.At(x, y), DARK_FILL) ? 1 : 0;
        }
    }
    const long half = (cell.right - cell.left) * (cell.bottom - cell.top) / 2;
    if (lit >= half) {
        return static_cast<char>(letter - 'a' + 'A');
    }
    return dark >= half ? letter : '?';
}

// ---------------------------------------------------------------- windows

struct FoundWindow {
    DWORD process;
    const wchar_t* className;
    HWND window;
};

BOOL CALLBACK MatchVisibleWindow(HWND window, LPARAM param)
{
    auto* wanted = reinterpret_cast<FoundWindow*>(param);
    wchar_t className[64];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == wanted->process && IsWindowVisible(window) &&
        GetClassNameW(window, className, 64) > 0 && lstrcmpW(className, wanted->className) == 0) {
        wanted->window = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the program's process.
HWND FindProgramPopup(const wchar_t* className)
{
    FoundWindow wanted{0, className, nullptr};
    HWND program = FindProgramWindow();
    if (program == nullptr) {
        return nullptr;
    }
    GetWindowThreadProcessId(program, &wanted.process);
    EnumWindows(MatchVisibleWindow, reinterpret_cast<LPARAM>(&wanted));
    return wanted.window;
}

std::wstring OneLine(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'\n' || c == L'\r') {
            c = L'|';
        }
    }
    return text;
}

struct DialogParts {
    std::wstring text;
    HWND ok = nullptr;
};

BOOL CALLBACK CollectDialogPart(HWND child, LPARAM param)
{
    auto* parts = reinterpret_cast<DialogParts*>(param);
    wchar_t className[32];
    wchar_t text[512];
    GetClassNameW(child, className, 32);
    GetWindowTextW(child, text, 512);
    if (lstrcmpiW(className, L"Static") == 0 && text[0] != L'\0') {
        parts->text = text;
    }
    if (GetDlgCtrlID(child) == IDOK) {
        parts->ok = child;
    }
    return TRUE;
}

// ---------------------------------------------------------------- commands

// Prints the icon's rectangle on the screen as "left top width height".
int Rect(const wchar_t* const*)
{
    RECT icon;
    if (!FindTrayIcon(icon)) {
        std::puts("none");
        return 1;
    }
    std::printf("%ld %ld %ld %ld\n", icon.left, icon.top, icon.right - icon.left,
                icon.bottom - icon.top);
    return 0;
}

// Prints what the icon on the screen shows, as "N c s": Num across the top,
// Caps bottom left, Scroll bottom right, upper case when lit.
int Cells(const wchar_t* const*)
{
    RECT icon;
    if (!FindTrayIcon(icon)) {
        std::puts("none");
        return 1;
    }
    const Screenshot shot = CaptureScreen(icon);
    const long midX = (icon.left + icon.right) / 2;
    const long midY = (icon.top + icon.bottom) / 2;
    const char num = ClassifyCell(shot, {icon.left, icon.top, icon.right, midY}, 'n');
    const char caps = ClassifyCell(shot, {icon.left, midY, midX, icon.bottom}, 'c');
    const char scroll = ClassifyCell(shot, {midX, midY, icon.right, icon.bottom}, 's');
    std::printf("%c %c %c\n", num, caps, scroll);
    return 0;
}

struct KeyName {
    const wchar_t* name;
    WORD key;
};

constexpr KeyName KEY_NAMES[] = {
    {L"num", VK_NUMLOCK},
    {L"caps", VK_CAPITAL},
    {L"scroll", VK_SCROLL},
    {L"escape", VK_ESCAPE},
};

// Presses and releases a key (by name, or a virtual-key number) through the
// system's input queue, as the keyboard would.
int Press(const wchar_t* const* args)
{
    if (args[0] == nullptr) {
        return 2;
    }
    WORD key = static_cast<WORD>(std::wcstoul(args[0], nullptr, 0));
    for (const KeyName& named : KEY_NAMES) {
        if (lstrcmpiW(named.name, args[0]) == 0) {
            key = named.key;
        }
    }
    if (key == 0) {
        return 2;
    }
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = key;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, inputs, sizeof(INPUT)) == 2 ? 0 : 1;
}

// Removes the program's entry behind its back, as a restarting shell loses it.
int Untray(const wchar_t* const*)
{
    NOTIFYICONDATAW entry{};
    entry.cbSize = sizeof(entry);
    entry.hWnd = FindProgramWindow();
    entry.uID = TRAY_ICON_ID;
    if (entry.hWnd == nullptr) {
        return 1;
    }
    Shell_NotifyIconW(NIM_DELETE, &entry);
    return 0;
}

// What a shell broadcasts once its taskbar is back.
int TaskbarCreated(const wchar_t* const*)
{
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                        SMTO_ABORTIFHUNG, 3000, nullptr);
    return 0;
}

// Asks the program to close as another program would, waits up to 5 s for
// its process to end and returns its exit code.
int Close(const wchar_t* const*)
{
    HWND program = FindProgramWindow();
    DWORD processId = 0;
    GetWindowThreadProcessId(program, &processId);
    HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (program == nullptr || process == nullptr) {
        std::puts("no program window");
        return 1;
    }
    PostMessageW(program, WM_CLOSE, 0, 0);
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &exitCode)) {
        std::puts("still running");
        CloseHandle(process);
        return 1;
    }
    CloseHandle(process);
    std::printf("exit code %lu\n", exitCode);
    return static_cast<int>(exitCode);
}

// Prints the open popup menu: "menu left top right bottom", then one
// "left top right bottom text" line per item.
int Menu(const wchar_t* const*)
{
    HWND popup = FindProgramPopup(L"#32768");
    if (popup == nullptr) {
        std::puts("none");
        return 1;
    }
    RECT rect;
    GetWindowRect(popup, &rect);
    std::printf("menu %ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);

    wchar_t reader[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, reader, MAX_PATH);
    std::wstring path(reader, length);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"e2e_menu_reader.dll";
    HMODULE module = LoadLibraryW(path.c_str());
    auto* hook = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "ReadOpenMenu")));
    HANDLE shared = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       MENU_TEXT_CHARS * sizeof(wchar_t), MENU_TEXT_MAPPING);
    auto* text = shared != nullptr
                     ? static_cast<wchar_t*>(MapViewOfFile(shared, FILE_MAP_READ, 0, 0, 0))
                     : nullptr;
    HWND program = FindProgramWindow();
    HHOOK installed = hook != nullptr ? SetWindowsHookExW(WH_CALLWNDPROC, hook, module,
                                                          GetWindowThreadProcessId(program, nullptr))
                                      : nullptr;
    if (text == nullptr || installed == nullptr) {
        std::puts("cannot load the menu reader into the program");
        return 1;
    }
    SendMessageTimeoutW(program, RegisterWindowMessageW(READ_MENU_MESSAGE), 0, 0,
                        SMTO_ABORTIFHUNG, 3000, nullptr);
    UnhookWindowsHookEx(installed);
    std::printf("%ls", text);
    UnmapViewOfFile(text);
    CloseHandle(shared);
    return 0;
}

// Prints the program's open message box: "caption ...", "text ..." (lines
// joined by '|') and "ok x y", the centre of its OK button.
int MessageBoxInfo(const wchar_t* const*)
{
    HWND box = FindProgramPopup(L"#32770");
    if (box == nullptr) {
        std::puts("none");
        return 1;
    }
    wchar_t caption[256];
    GetWindowTextW(box, caption, 256);
    DialogParts parts;
    EnumChildWindows(box, CollectDialogPart, reinterpret_cast<LPARAM>(&parts));
    std::printf("caption %ls\n", caption);
    std::printf("text %ls\n", OneLine(parts.text).c_str());
    if (parts.ok != nullptr) {
        RECT ok;
        GetWindowRect(parts.ok, &ok);
        std::printf("ok %ld %ld\n", (ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
    }
    return 0;
}

struct Command {
    const wchar_t* name;
    int (*run)(const wchar_t* const* args);
};

constexpr Command COMMANDS[] = {
    {L"rect", Rect},
    {L"cells", Cells},
    {L"press", Press},
    {L"untray", Untray},
    {L"taskbar-created", TaskbarCreated},
    {L"close", Close},
    {L"menu", Menu},
    {L"messagebox", MessageBoxInfo},
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 2) {
        for (const Command& command : COMMANDS) {
            if (lstrcmpW(command.name, argv[1]) == 0) {
                const int status = command.run(argv + 2);
                std::fflush(stdout);
                return status;
            }
        }
    }
    std::fputs("usage: e2e_probe rect|cells|press KEY|untray|taskbar-created|close|"
               "menu|messagebox\n",
               stderr);
    return 2;
}
