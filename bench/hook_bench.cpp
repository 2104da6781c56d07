// The keyboard hook's cost for keys that are not lock keys: every keystroke
// on the desktop waits for it. Measured against a hook that only passes the
// event on.
#include "bench_support.h"
#include "benches.h"

#include "status/keyboard_hook.h"

#include <cstdio>

namespace {

HHOOK g_bareHook = nullptr;
long g_bareCalls = 0;

LRESULT CALLBACK BareHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    ++g_bareCalls;
    return CallNextHookEx(g_bareHook, nCode, wParam, lParam);
}

using HookProc = LRESULT(CALLBACK*)(int, WPARAM, LPARAM);

// Average nanoseconds per call over one batch of key events: a press and a
// release of 'A', alternately.
double TimeBatch(HookProc hook, int calls)
{
    KBDLLHOOKSTRUCT event{};
    event.vkCode = 'A';
    event.scanCode = 0x1E;
    const LPARAM lParam = reinterpret_cast<LPARAM>(&event);
    const long long start = Now();
    for (int i = 0; i < calls; ++i) {
        hook(HC_ACTION, (i & 1) ? WM_KEYUP : WM_KEYDOWN, lParam);
    }
    return TicksToMicroseconds(Now() - start) * 1000 / calls;
}

void DirectCalls()
{
    constexpr int ROUNDS = 2000;
    constexpr int BATCH = 50;
    // Neither is installed: called from outside a hook chain, CallNextHookEx
    // would otherwise run every installed hook again.
    std::vector<double> ours, bare;
    for (int warm = 0; warm < 50; ++warm) {
        TimeBatch(KeyboardHookProc, BATCH);
        TimeBatch(BareHook, BATCH);
    }
    for (int round = 0; round < ROUNDS; ++round) {
        // Alternating which goes first shares the noise out evenly.
        if (round & 1) {
            ours.push_back(TimeBatch(KeyboardHookProc, BATCH));
            bare.push_back(TimeBatch(BareHook, BATCH));
        } else {
            bare.push_back(TimeBatch(BareHook, BATCH));
            ours.push_back(TimeBatch(KeyboardHookProc, BATCH));
        }
    }
    const Summary o = Summarize(ours);
    const Summary b = Summarize(bare);
    std::printf("hook, called directly: %d rounds x %d key events each, interleaved "
                "(per event, from each batch's mean)\n",
                ROUNDS, BATCH);
    std::printf("  KeyboardHookProc  median %8.1f ns  p99 %8.1f ns  mean %8.1f ns\n", o.median,
                o.p99, o.mean);
    std::printf("  bare CallNextHookEx median %6.1f ns  p99 %8.1f ns  mean %8.1f ns\n", b.median,
                b.p99, b.mean);
    std::printf("  own work (median difference): %.1f ns per event\n", o.median - b.median);
    PrintRow("1 hook, non-lock key, direct call (median)", Format("%.0f ns", o.median),
             Format("%.0f ns", b.median), Format("%.3f", o.median / b.median), "<= 1.05");
    PrintRow("1 hook, non-lock key, direct call (p99)", Format("%.0f ns", o.p99),
             Format("%.0f ns", b.p99), Format("%.3f", o.p99 / b.p99), "(info)");
}

// One SendInput of a press and a release of F24, which nothing uses, with
// the hook installed on this thread: SendInput returns once the hooks ran.
double TimeSendInput()
{
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = VK_F24;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    const long long start = Now();
    const UINT sent = SendInput(2, inputs, sizeof(INPUT));
    const double us = TicksToMicroseconds(Now() - start);
    return sent == 2 ? us : -1;
}

void ThroughSendInput()
{
    constexpr int PAIRS = 1000;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    std::vector<double> ours, bare;
    int failed = 0;
    // One event each, installed afresh each time, alternately first.
    auto runOurs = [&](bool keep) {
        InstallKeyboardHook(instance);
        const double us = TimeSendInput();
        RemoveKeyboardHook();
        PumpMessages();
        if (us < 0) {
            ++failed;
        } else if (keep) {
            ours.push_back(us);
        }
    };
    auto runBare = [&](bool keep) {
        g_bareHook = SetWindowsHookExW(WH_KEYBOARD_LL, BareHook, instance, 0);
        const double us = TimeSendInput();
        UnhookWindowsHookEx(g_bareHook);
        g_bareHook = nullptr;
        PumpMessages();
        if (us < 0) {
            ++failed;
        } else if (keep) {
            bare.push_back(us);
        }
    };
    for (int i = 0; i < 20; ++i) {
        runOurs(false);
        runBare(false);
    }
    g_bareCalls = 0;
    for (int pair = 0; pair < PAIRS; ++pair) {
        if (pair & 1) {
            runOurs(true);
            runBare(true);
        } else {
            runBare(true);
            runOurs(true);
        }
    }
    const Summary o = Summarize(ours);
    const Summary b = Summarize(bare);
    std::printf("hook, through SendInput (F24 press+release, %zu each, %d failed sends, "
                "bare hook saw %ld events)\n",
                o.count, failed, g_bareCalls);
    std::printf("  with KeyboardHookProc  median %8.1f us  p99 %8.1f us\n", o.median, o.p99);
    std::printf("  with bare hook         median %8.1f us  p99 %8.1f us\n", b.median, b.p99);
    PrintRow("1 hook, non-lock key, via SendInput (median)", Format("%.1f us", o.median),
             Format("%.1f us", b.median), Format("%.3f", o.median / b.median), "<= 1.05");
    PrintRow("1 hook, non-lock key, via SendInput (p99)", Format("%.1f us", o.p99),
             Format("%.1f us", b.p99), Format("%.3f", o.p99 / b.p99), "(info)");
}

} // namespace

int RunHookBench()
{
    // A real window, as live: a lock-key release would post to it.
    HWND window = CreateProgramWindow();
    DirectCalls();
    ThroughSendInput();
    DestroyProgramWindow(window);
    return 0;
}
