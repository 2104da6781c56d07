// Timing and reporting helpers shared by the benchmarks. Every figure is
// printed; nothing here passes or fails.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

// QueryPerformanceCounter ticks and conversions.
long long Now();
double TicksToMicroseconds(long long ticks);
double SecondsSince(long long start);

struct Summary {
    double median = 0;
    double p99 = 0;
    double mean = 0;
    double min = 0;
    double max = 0;
    size_t count = 0;
};
Summary Summarize(std::vector<double> values);

// One line of the final table: "ROW|what|figure|floor|ratio|goal". bench.sh
// collects these from every part and prints them together.
void PrintRow(const std::string& what, const std::string& figure, const std::string& floor,
              const std::string& ratio, const std::string& goal);
std::string Format(const char* format, ...);

// Handles whatever is queued for this thread.
void PumpMessages();
// Pumps messages for the given time.
void PumpFor(DWORD milliseconds);

// Presses or releases one key through the system's input queue.
bool SendKey(WORD virtualKey, bool release);

// The program's hidden window as start-up creates it (which adds the tray
// entry); the refresh timer is stopped so that only the bench redraws.
HWND CreateProgramWindow();
void DestroyProgramWindow(HWND window);

// Process memory in KiB as Windows reports it. Wine leaves PrivateUsage at
// zero and reports resident anonymous memory (RssAnon) as PagefileUsage, so
// "private" is whichever of the two is set.
struct MemoryFigures {
    double workingSetKiB = 0;
    double privateKiB = 0;
};
MemoryFigures ReadMemory(HANDLE process);

