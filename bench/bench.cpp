// tolvane_bench SOAK_REFRESHES EXE_BYTES [IDLE_FIGURES...], run by bench.sh under
// Wine: each figure beside its floor measured in the same run, then a table of
// both. --idle-floor and --idle-poller make it what bench.sh measures idle.
#include "app/tray_window.h"
#include "status/keyboard_hook.h"
#include "status/lock_state.h"
#include "status/status_icon.h"
#include "status/tray_status.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double NowUs()
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

// Nearest rank.
double Percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values.empty() ? NAN : values[std::max<size_t>(rank, 1) - 1];
}

std::string Fmt(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::vector<std::string> g_table;

void Row(const std::string& figure, const std::string& measured, const std::string& floor,
         const std::string& ratio, const char* goal)
{
    g_table.push_back("| " + figure + " | " + measured + " | " + floor + " | " + ratio + " | " +
                      goal + " |");
}

void Row(const char* figure, const char* format, double measured, double floor, const char* goal)
{
    Row(figure, Fmt(format, measured), Fmt(format, floor), Fmt("%.3f", measured / floor), goal);
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

// Ours and the floor take turns, each going first every other round, so
// both see the same machine; the first twentieth only warms up.
template <typename Ours, typename Floor>
void Interleave(int rounds, Ours ours, Floor floor, std::vector<double>& o, std::vector<double>& f)
{
    for (int i = -rounds / 20; i < rounds; ++i) {
        const bool oursFirst = i & 1;
        const double early = oursFirst ? ours() : floor();
        const double late = oursFirst ? floor() : ours();
        if (i >= 0) {
            o.push_back(oursFirst ? early : late);
            f.push_back(oursFirst ? late : early);
        }
    }
}

// The floor of every redraw: one NIM_MODIFY of the program's entry with an
// icon made beforehand, a different one each time so the shell has work.
struct BareModify {
    HICON icons[2] = {RenderStatusIcon(false, false, false), RenderStatusIcon(true, true, true)};
    int next = 0;
    void operator()()
    {
        NOTIFYICONDATAW data = g_tray;
        data.uFlags = NIF_ICON | NIF_TIP;
        data.hIcon = icons[next ^= 1];
        Shell_NotifyIconW(NIM_MODIFY, &data);
    }
    ~BareModify() { DestroyIcon(icons[0]); DestroyIcon(icons[1]); }
};

LRESULT CALLBACK BareHook(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Nanoseconds per event over 50 presses and releases of 'A'. Called
// directly: installed, the chain would run again from CallNextHookEx.
double TimeHook(HOOKPROC hook)
{
    KBDLLHOOKSTRUCT event{'A', 0, 0, 0, 0};
    const double start = NowUs();
    for (int i = 0; i < 50; ++i) {
        hook(HC_ACTION, (i & 1) ? WM_KEYUP : WM_KEYDOWN, reinterpret_cast<LPARAM>(&event));
    }
    return (NowUs() - start) * 1000 / 50;
}

void BenchHook()
{
    std::vector<double> ours, bare;
    Interleave(2000, [] { return TimeHook(KeyboardHookProc); }, [] { return TimeHook(BareHook); },
               ours, bare);
    std::printf("hook p99 %.0f ns, bare %.0f\n", Percentile(ours, 0.99), Percentile(bare, 0.99));
    Row("hook, non-lock key, median", "%.0f ns", Percentile(ours, 0.5), Percentile(bare, 0.5),
        "≤ 1.05");
}

void BenchRefresh()
{
    BareModify bareModify;
    const auto time = [](auto&& redraw) {
        const double start = NowUs();
        redraw();
        const double us = NowUs() - start;
        Pump();
        return us;
    };
    std::vector<double> ours, bare;
    Interleave(1500, [&] { return time(RefreshStatus); }, [&] { return time(bareModify); }, ours,
               bare);
    std::printf("refresh p99 %.0f µs, bare %.0f\n", Percentile(ours, 0.99), Percentile(bare, 0.99));
    Row("`RefreshStatus` against one `NIM_MODIFY`, median", "%.0f µs", Percentile(ours, 0.5),
        Percentile(bare, 0.5), "≤ 1.3");
}

// Release to display: a second thread types lock keys while this one waits
// in GetMessage, as the program does.
constexpr UINT WM_TYPING_DONE = WM_APP + 50;
constexpr int RELEASES = 1200;
std::atomic<bool> g_oursTurn{true};
std::atomic<double> g_releasedAt{0};
HANDLE g_drawn = CreateEventW(nullptr, FALSE, FALSE, nullptr);

DWORD WINAPI Typist(void*)
{
    constexpr BYTE LOCK_KEYS[] = {VK_NUMLOCK, VK_CAPITAL, VK_SCROLL};
    for (int i = 0; i < RELEASES; ++i) {
        // Each key twice running, so all end as they started; ours and the
        // floor swap turns every six, so each sees keys going on and off.
        const BYTE key = LOCK_KEYS[i / 2 % 3];
        keybd_event(key, 0, 0, 0);
        g_oursTurn = (i + i / 6) % 2 == 0;
        g_releasedAt = NowUs();
        keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        WaitForSingleObject(g_drawn, 1000); // the next key only once this one is shown
        Sleep(15);
    }
    PostMessageW(g_tray.hWnd, WM_TYPING_DONE, 0, 0);
    return 0;
}

void BenchReleaseToDisplay(HWND window)
{
    InstallKeyboardHook();
    BareModify bareModify;
    std::vector<double> latency[2]; // floor, ours
    int stale = 0;
    HANDLE typist = CreateThread(nullptr, 0, Typist, nullptr, 0, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TYPING_DONE) {
        const bool release = message.hwnd == window && message.message == WM_LOCKKEYRELEASED;
        const bool ours = g_oursTurn;
        if (release && !ours) {
            bareModify();
        } else {
            DispatchMessageW(&message); // ours: the window procedure's own redraw
        }
        if (release) {
            latency[ours].push_back(NowUs() - g_releasedAt);
            wchar_t tip[STATUS_TIP_LENGTH];
            FormatStatusTip(SampleLockState(), tip);
            stale += ours && lstrcmpW(tip, g_tray.szTip) != 0;
            SetEvent(g_drawn);
        }
    }
    WaitForSingleObject(typist, INFINITE);
    RemoveKeyboardHook();
    std::printf("release to display: %zu + %zu of %d redraws timed, %d stale; median %.2f ms, "
                "bare %.2f ms\n", latency[1].size(), latency[0].size(), RELEASES, stale,
                Percentile(latency[1], 0.5) / 1000, Percentile(latency[0], 0.5) / 1000);
    Row("lock-key release to display, p99", "%.2f ms", Percentile(latency[1], 0.99) / 1000,
        Percentile(latency[0], 0.99) / 1000, "< 10 ms");
}

// Wine's GetGuiResources always says 0, so the room left in a handle table
// is found by filling it.
template <typename Handle>
int Room(Handle (*create)(), BOOL(WINAPI* destroy)(Handle))
{
    static Handle handles[70000];
    int count = 0;
    for (; count < 70000 && (handles[count] = create()) != nullptr; ++count) {}
    for (int i = 0; i < count; ++i) {
        destroy(handles[i]);
    }
    return count;
}

struct Snapshot { int gdi, user; double privateKiB; };

Snapshot Take()
{
    // Wine leaves PrivateUsage at 0 and reports private memory as pagefile use.
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return {Room<HGDIOBJ>([] { return HGDIOBJ(CreateSolidBrush(RGB(1, 2, 3))); }, DeleteObject),
            Room<HMENU>(CreatePopupMenu, DestroyMenu),
            static_cast<double>(std::max(counters.PrivateUsage, counters.PagefileUsage)) / 1024};
}

void BenchSoak(int refreshes)
{
    for (int i = 0; i < 1000; ++i) {
        RefreshStatus(); // heaps and caches grow to their working size first
    }
    Take(); // the first fill may grow the tables' own storage
    const Snapshot before = Take();
    int failures = 0;
    const double start = NowUs();
    for (int i = 0; i < refreshes; ++i) {
        RefreshStatus();
        if (g_tray.hIcon == nullptr || g_tray.szTip[0] == L'\0') {
            ++failures;
            AddTrayEntry();
        }
        if (i % 64 == 0) {
            Pump();
        }
    }
    std::printf("soak: %d refreshes in %.0f s\n", refreshes, (NowUs() - start) / 1e6);
    const Snapshot after = Take();
    Row("soak: failures in " + std::to_string(refreshes) + " refreshes", std::to_string(failures),
        "0", "-", "0");
    Row("soak: GDI / USER handles lost",
        std::to_string(before.gdi - after.gdi) + " / " + std::to_string(before.user - after.user),
        "of " + std::to_string(before.gdi) + " / " + std::to_string(before.user), "-", "0");
    Row("soak: private bytes after / before", "%.0f KiB", after.privateKiB, before.privateKiB,
        "no growth");
}

// The idle references, shaped as Tolvane is (a hidden top-level window, a
// timer, GetMessageW) so that only what a tick does differs.
int RunIdle(UINT intervalMs, bool pollLockKeys)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                  nullptr);
    SetTimer(window, 1, intervalMs, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (pollLockKeys && message.message == WM_TIMER) {
            // Nothing changes while idle, so a poller would redraw nothing.
            GetKeyState(VK_NUMLOCK);
            GetKeyState(VK_CAPITAL);
            GetKeyState(VK_SCROLL);
        }
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--idle-floor" || mode == "--idle-poller") {
        return RunIdle(mode == "--idle-poller" ? 70 : 1000, mode == "--idle-poller");
    }
    const int refreshes = argc > 1 ? std::atoi(argv[1]) : 100000;
    const double exeKiB = argc > 2 ? std::atof(argv[2]) / 1024 : 0;
    std::setvbuf(stdout, nullptr, _IONBF, 0); // each line out at once: the soak is long
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2); // as the manifest
    RegisterTrayWindowClass(GetModuleHandleW(nullptr));
    HWND window = CreateTrayWindow(GetModuleHandleW(nullptr));
    if (window == nullptr || g_tray.szTip[0] == L'\0') {
        std::printf("no tray entry: the shell's tray is not there\n");
        return 1;
    }
    KillTimer(window, REFRESH_TIMER_ID); // only the bench redraws
    BenchHook();
    BenchRefresh();
    BenchReleaseToDisplay(window);
    BenchSoak(refreshes);
    if (argc > 8) { // from bench.sh, of tolvane.exe, the floor, the poller in turn
        const auto cpuMs = [&](int who) { return std::atof(argv[3 + 2 * who]); };
        const auto wakeUps = [&](int who) { return std::atof(argv[4 + 2 * who]); };
        Row("idle CPU time per minute", "%.1f ms", cpuMs(0), cpuMs(1), "≈ floor");
        Row("idle wake-ups per second", "%.2f", wakeUps(0), wakeUps(1), "≈ floor");
        Row("70 ms lock-key poller: idle CPU time per minute", "%.1f ms", cpuMs(2), cpuMs(1), "-");
        Row("70 ms lock-key poller: idle wake-ups per second", "%.2f", wakeUps(2), wakeUps(1), "-");
    }
    Row("tolvane.exe size", "%.1f KiB", exeKiB, 96, "≤ 96 KiB");
    std::printf("\n| figure | measured | floor | ratio | goal |\n|---|---|---|---|---|\n");
    for (const std::string& row : g_table) {
        std::printf("%s\n", row.c_str());
    }
    DestroyWindow(window);
    return 0;
}
