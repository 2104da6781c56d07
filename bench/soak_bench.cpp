// Many refreshes in one process: none may fail, and neither the handle
// tables nor memory may grow. Wine's GetGuiResources says 0, so the room
// left in each handle table is measured by filling it up.
#include "bench_support.h"
#include "benches.h"

#include "status/tray_status.h"

#include <cstdio>
#include <vector>

namespace {

constexpr int MAX_FILL = 70000;

template <typename Create, typename Destroy>
int MeasureRoom(Create create, Destroy destroy)
{
    static void* handles[MAX_FILL];
    int count = 0;
    while (count < MAX_FILL && (handles[count] = create()) != nullptr) {
        ++count;
    }
    for (int i = 0; i < count; ++i) {
        destroy(handles[i]);
    }
    return count;
}

int GdiRoom()
{
    return MeasureRoom([] { return static_cast<void*>(CreateSolidBrush(RGB(1, 2, 3))); },
                       [](void* h) { DeleteObject(static_cast<HGDIOBJ>(h)); });
}

int UserRoom()
{
    return MeasureRoom([] { return static_cast<void*>(CreatePopupMenu()); },
                       [](void* h) { DestroyMenu(static_cast<HMENU>(h)); });
}

struct Snapshot {
    int gdiRoom = 0;
    int userRoom = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    MemoryFigures memory;
};

Snapshot Take()
{
    Snapshot s;
    s.gdiRoom = GdiRoom();
    s.userRoom = UserRoom();
    s.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    s.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    s.memory = ReadMemory(GetCurrentProcess());
    return s;
}

void Print(const char* when, const Snapshot& s)
{
    std::printf("  %-7s GDI room %6d  USER room %6d  GetGuiResources gdi %lu user %lu  "
                "working set %6.0f KiB  private %6.0f KiB\n",
                when, s.gdiRoom, s.userRoom, s.gdiObjects, s.userObjects, s.memory.workingSetKiB,
                s.memory.privateKiB);
}

} // namespace

int RunSoakBench(int refreshes)
{
    HWND window = CreateProgramWindow();
    if (window == nullptr || g_tray.szTip[0] == L'\0') {
        std::printf("no tray entry: the shell's tray is not there\n");
        return 1;
    }
    // Warm up heaps and the font cache before the first snapshot.
    for (int i = 0; i < 1000; ++i) {
        RefreshStatus();
    }
    PumpMessages();
    const Snapshot settle = Take(); // the first fill may grow the tables' own storage
    const Snapshot before = Take();
    int nullIcons = 0;
    int missingEntries = 0;
    const long long start = Now();
    for (int i = 0; i < refreshes; ++i) {
        RefreshStatus();
        nullIcons += g_tray.hIcon == nullptr;
        if (g_tray.szTip[0] == L'\0') {
            ++missingEntries;
            AddTrayEntry();
        }
        if (i % 64 == 0) {
            PumpMessages();
        }
    }
    const double seconds = SecondsSince(start);
    PumpMessages();
    const Snapshot after = Take();
    std::printf("soak: %d refreshes in %.1f s (%.1f us each), %d null icons, %d failed updates\n",
                refreshes, seconds, seconds * 1e6 / refreshes, nullIcons, missingEntries);
    Print("settle", settle);
    Print("before", before);
    Print("after", after);
    PrintRow(Format("5 soak: failures in %d refreshes", refreshes),
             Format("%d", nullIcons + missingEntries), "0", "-", "= 0");
    PrintRow("5 soak: GDI handles lost (room before - after)",
             Format("%d", before.gdiRoom - after.gdiRoom), "0",
             Format("%d / %d room", after.gdiRoom, before.gdiRoom), "= 0");
    PrintRow("5 soak: USER handles lost (room before - after)",
             Format("%d", before.userRoom - after.userRoom), "0",
             Format("%d / %d room", after.userRoom, before.userRoom), "= 0");
    PrintRow("5 soak: private bytes after vs before",
             Format("%.0f KiB", after.memory.privateKiB),
             Format("%.0f KiB", before.memory.privateKiB),
             Format("%.3f", after.memory.privateKiB / before.memory.privateKiB), "1.000 (no growth)");
    PrintRow("5 soak: working set after vs before",
             Format("%.0f KiB", after.memory.workingSetKiB),
             Format("%.0f KiB", before.memory.workingSetKiB),
             Format("%.3f", after.memory.workingSetKiB / before.memory.workingSetKiB), "(info)");
    DestroyProgramWindow(window);
    return nullIcons + missingEntries == 0 ? 0 : 1;
}
