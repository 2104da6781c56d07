#include "bench_support.h"

#include "app/tray_window.h"

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

long long Frequency()
{
    static long long frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return frequency;
}

} // namespace

long long Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double TicksToMicroseconds(long long ticks)
{
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(Frequency());
}

double SecondsSince(long long start)
{
    return TicksToMicroseconds(Now() - start) / 1e6;
}

Summary Summarize(std::vector<double> values)
{
    Summary s;
    s.count = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    // Nearest rank.
    const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
    s.p99 = values[std::max<size_t>(rank, 1) - 1];
    double sum = 0;
    for (double v : values) {
        sum += v;
    }
    s.mean = sum / static_cast<double>(n);
    s.min = values.front();
    s.max = values.back();
    return s;
}

std::string Format(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

void PrintRow(const std::string& what, const std::string& figure, const std::string& floor,
              const std::string& ratio, const std::string& goal)
{
    std::printf("ROW|%s|%s|%s|%s|%s\n", what.c_str(), figure.c_str(), floor.c_str(),
                ratio.c_str(), goal.c_str());
    std::fflush(stdout);
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PumpFor(DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        PumpMessages();
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

bool SendKey(WORD virtualKey, bool release)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
    return SendInput(1, &input, sizeof(INPUT)) == 1;
}

HWND CreateProgramWindow()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterTrayWindowClass(instance);
    HWND window = CreateTrayWindow(instance);
    if (window != nullptr) {
        KillTimer(window, REFRESH_TIMER_ID);
    }
    return window;
}

void DestroyProgramWindow(HWND window)
{
    if (IsWindow(window)) {
        DestroyWindow(window);
    }
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

MemoryFigures ReadMemory(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    MemoryFigures figures;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters))) {
        figures.workingSetKiB = static_cast<double>(counters.WorkingSetSize) / 1024;
        const SIZE_T privateBytes =
            counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
        figures.privateKiB = static_cast<double>(privateBytes) / 1024;
    }
    return figures;
}

