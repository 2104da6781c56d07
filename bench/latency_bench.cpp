// From a lock-key release sent through SendInput to the end of the redraw,
// with the program's window and hook as live: this thread waits in
// GetMessage while another one types, as the user would. Releases take
// turns between the program's own redraw, the same with the first design's
// renderer, and the floor (one NIM_MODIFY with an icon made in advance).
#include "bench_support.h"
#include "benches.h"
#include "refresh_variants.h"

#include "status/keyboard_hook.h"
#include "status/lock_state.h"
#include "status/tray_status.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr UINT WM_BENCH_DONE = WM_APP + 50;
constexpr int RELEASES = 450;
constexpr WORD KEYS[] = {VK_NUMLOCK, VK_CAPITAL, VK_SCROLL};

enum Redraw { PROGRAM, FIRST_DESIGN, FLOOR, REDRAWS };

DWORD g_mainThread = 0;
HANDLE g_redrawn = nullptr;
std::atomic<Redraw> g_redraw{PROGRAM};
long long g_released = 0; // when the release was sent
long long g_received = 0; // when the posted message came out of the queue
long long g_drawn = 0;    // when the redraw had returned
int g_sendFailures = 0;
int g_timeouts = 0;
std::vector<double> g_total[REDRAWS];
std::vector<double> g_toQueue;

DWORD WINAPI Typist(void*)
{
    for (int i = 0; i < RELEASES; ++i) {
        // Each key twice in a row, so every key ends as it started.
        const WORD key = KEYS[(i / 2) % 3];
        g_sendFailures += !SendKey(key, false);
        Sleep(5);
        g_redraw = static_cast<Redraw>(i % REDRAWS);
        ResetEvent(g_redrawn);
        g_released = Now();
        g_sendFailures += !SendKey(key, true);
        if (WaitForSingleObject(g_redrawn, 1000) != WAIT_OBJECT_0) {
            ++g_timeouts;
        } else {
            g_total[g_redraw.load()].push_back(TicksToMicroseconds(g_drawn - g_released));
            g_toQueue.push_back(TicksToMicroseconds(g_received - g_released));
        }
        Sleep(15);
    }
    PostThreadMessageW(g_mainThread, WM_BENCH_DONE, 0, 0);
    return 0;
}

std::wstring TipNow()
{
    wchar_t tip[STATUS_TIP_LENGTH];
    FormatStatusTip(SampleLockState(), tip);
    return tip;
}

void Report(const char* name, const Summary& s)
{
    std::printf("  %-34s median %7.2f ms  p99 %7.2f ms  max %7.2f ms  (%zu)\n", name,
                s.median / 1000, s.p99 / 1000, s.max / 1000, s.count);
}

} // namespace

int RunLatencyBench()
{
    HWND window = CreateProgramWindow();
    InstallKeyboardHook(GetModuleHandleW(nullptr));
    if (window == nullptr || g_hook == nullptr) {
        std::printf("no window or no hook\n");
        return 1;
    }
    PumpFor(200);
    FloorIcons floor = MakeFloorIcons();
    const std::wstring startTip = TipNow();
    g_mainThread = GetCurrentThreadId();
    g_redrawn = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE typist = CreateThread(nullptr, 0, Typist, nullptr, 0, nullptr);

    int matched = 0;
    int programRedraws = 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_BENCH_DONE) {
            break;
        }
        if (message.hwnd == window && message.message == WM_LOCKKEYRELEASED) {
            g_received = Now();
            const Redraw redraw = g_redraw;
            switch (redraw) {
            case PROGRAM:
                DispatchMessageW(&message); // the window procedure's RefreshStatus
                break;
            case FIRST_DESIGN:
                RefreshWithFirstDesign();
                break;
            default:
                FloorRefresh(floor);
                break;
            }
            g_drawn = Now();
            if (redraw == PROGRAM) {
                ++programRedraws;
                matched += TipNow() == g_tray.szTip;
            }
            SetEvent(g_redrawn);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    WaitForSingleObject(typist, INFINITE);
    CloseHandle(typist);
    PumpFor(200);

    // Put back any key that ended up other than it started.
    const std::wstring endTip = TipNow();
    constexpr size_t LETTER[] = {0, 2, 4};
    for (int k = 0; k < 3; ++k) {
        if (endTip[LETTER[k]] != startTip[LETTER[k]]) {
            SendKey(KEYS[k], false);
            SendKey(KEYS[k], true);
        }
    }
    PumpFor(200);
    const std::wstring finalTip = TipNow();
    RefreshStatus();

    const Summary program = Summarize(g_total[PROGRAM]);
    const Summary first = Summarize(g_total[FIRST_DESIGN]);
    const Summary bare = Summarize(g_total[FLOOR]);
    const Summary queue = Summarize(g_toQueue);
    std::printf("release to display: %d lock-key releases via SendInput from another thread, "
                "%d timeouts, %d failed sends; %d of the program's %d redraws showed the keys "
                "as they were\n",
                RELEASES, g_timeouts, g_sendFailures, matched, programRedraws);
    Report("release -> end of RefreshStatus", program);
    Report("... with the first design's renderer", first);
    Report("... floor: NIM_MODIFY, icon made before", bare);
    Report("release -> message dequeued", queue);
    std::printf("  lock keys: started '%ls', ended '%ls'\n", startTip.c_str(), finalTip.c_str());
    PrintRow("2 lock-key release -> end of RefreshStatus (p99)", Format("%.2f ms", program.p99 / 1000),
             "10 ms", Format("%.3f", program.p99 / 10000), "< 1 (p99 < 10 ms)");
    PrintRow("2 ... against its floor (p99)", Format("%.2f ms", program.p99 / 1000),
             Format("%.2f ms", bare.p99 / 1000), Format("%.3f", program.p99 / bare.p99), "(info)");
    PrintRow("2 ... against its floor (median)", Format("%.2f ms", program.median / 1000),
             Format("%.2f ms", bare.median / 1000), Format("%.3f", program.median / bare.median),
             "(info)");
    PrintRow("2 ... first design's renderer (median)", Format("%.2f ms", first.median / 1000),
             Format("%.2f ms", bare.median / 1000), Format("%.3f", first.median / bare.median),
             "(before)");
    DestroyProgramWindow(window);
    DestroyFloorIcons(floor);
    CloseHandle(g_redrawn);
    return finalTip == startTip ? 0 : 1;
}
