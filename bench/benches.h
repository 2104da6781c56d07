// The parts of tolvane_bench, one per command.
#pragma once

int RunHookBench();
int RunRefreshBench();
int RunLatencyBench();
int RunSoakBench(int refreshes);
// Asks another program's window to close, as the shell would.
int RunClose(const wchar_t* windowClass);
