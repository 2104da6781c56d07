// tolvane_bench PART: one part of the benchmarks, run by bench.sh under Wine.
#include "bench_support.h"
#include "benches.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    // As tolvane.exe's manifest asks.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (argc >= 2 && std::wcscmp(argv[1], L"hook") == 0) {
        return RunHookBench();
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"refresh") == 0) {
        return RunRefreshBench();
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"latency") == 0) {
        return RunLatencyBench();
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"soak") == 0) {
        const int refreshes = argc >= 3 ? std::wcstol(argv[2], nullptr, 10) : 100000;
        return RunSoakBench(refreshes > 0 ? refreshes : 100000);
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"close") == 0) {
        return RunClose(argv[2]);
    }
    std::fprintf(stderr, "usage: tolvane_bench hook|refresh|latency|soak [REFRESHES]|close CLASS\n");
    return 2;
}
