// What a redraw costs: RefreshStatus against the one shell call it cannot do
// without, the renderer step by step, and proof that the current renderer
// draws exactly what the first design drew.
#include "bench_support.h"
#include "benches.h"
#include "refresh_variants.h"
#include "render_steps.h"

#include "status/lock_state.h"
#include "status/status_icon.h"
#include "status/tray_status.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Combination {
    bool num, caps, scroll;
};
constexpr Combination ALL_COMBINATIONS[] = {
    {false, false, false}, {true, false, false}, {false, true, false}, {false, false, true},
    {true, true, false},   {true, false, true},  {false, true, true},  {true, true, true},
};

// Everything an icon is made of: both bitmaps' formats and every byte of
// their pixels, read back as 32-bit top-down rows.
struct IconImage {
    BITMAP colorFormat{};
    BITMAP maskFormat{};
    std::vector<DWORD> color;
    std::vector<DWORD> mask;
    bool ok = false;
};

std::vector<DWORD> ReadBits(HBITMAP bitmap, const BITMAP& format)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = format.bmWidth;
    info.bmiHeader.biHeight = -format.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> bits(static_cast<size_t>(format.bmWidth) *
                            static_cast<size_t>(format.bmHeight));
    HDC dc = CreateCompatibleDC(nullptr);
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(format.bmHeight), bits.data(), &info,
              DIB_RGB_COLORS);
    DeleteDC(dc);
    return bits;
}

IconImage ReadIcon(HICON icon)
{
    IconImage image;
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return image;
    }
    if (info.hbmColor) {
        GetObjectW(info.hbmColor, sizeof(BITMAP), &image.colorFormat);
        image.color = ReadBits(info.hbmColor, image.colorFormat);
        DeleteObject(info.hbmColor);
    }
    GetObjectW(info.hbmMask, sizeof(BITMAP), &image.maskFormat);
    image.mask = ReadBits(info.hbmMask, image.maskFormat);
    DeleteObject(info.hbmMask);
    image.colorFormat.bmBits = nullptr;
    image.maskFormat.bmBits = nullptr;
    image.ok = true;
    return image;
}

bool SameImage(const IconImage& a, const IconImage& b)
{
    return a.ok && b.ok && std::memcmp(&a.colorFormat, &b.colorFormat, sizeof(BITMAP)) == 0 &&
           std::memcmp(&a.maskFormat, &b.maskFormat, sizeof(BITMAP)) == 0 && a.color == b.color &&
           a.mask == b.mask;
}

void ComparePixels()
{
    int identical = 0;
    for (const Combination& c : ALL_COMBINATIONS) {
        HICON reference = RenderFirstDesign(c.num, c.caps, c.scroll, nullptr);
        HICON live = RenderStatusIcon(c.num, c.caps, c.scroll);
        const IconImage r = ReadIcon(reference);
        const IconImage l = ReadIcon(live);
        identical += SameImage(r, l);
        if (!SameImage(r, l)) {
            int differing = 0;
            for (size_t i = 0; i < r.color.size() && i < l.color.size(); ++i) {
                differing += r.color[i] != l.color[i];
            }
            std::printf("  DIFFERENT: (%d%d%d) %d colour pixels differ\n", c.num, c.caps,
                        c.scroll, differing);
        }
        DestroyIcon(reference);
        DestroyIcon(live);
    }
    HICON sample = RenderStatusIcon(true, false, true);
    const IconImage s = ReadIcon(sample);
    DestroyIcon(sample);
    std::printf("pixels: RenderStatusIcon vs the first design: %d of 8 renders identical "
                "(colour %ldx%ld %u bpp, mask %ldx%ld %u bpp, every byte of both)\n",
                identical, s.colorFormat.bmWidth, s.colorFormat.bmHeight,
                static_cast<unsigned>(s.colorFormat.bmBitsPixel), s.maskFormat.bmWidth,
                s.maskFormat.bmHeight, static_cast<unsigned>(s.maskFormat.bmBitsPixel));
    PrintRow("2 renders identical to first design", Format("%d of 8", identical), "8 of 8",
             identical == 8 ? "1.000" : "DIFFERENT", "= 8 of 8");
}

using Renderer = HICON (*)(bool, bool, bool);

HICON RenderFirst(bool num, bool caps, bool scroll)
{
    return RenderFirstDesign(num, caps, scroll, nullptr);
}

double TimeRender(Renderer render, int i)
{
    const long long start = Now();
    HICON icon = render(i & 1, i & 2, i & 4);
    const double us = TicksToMicroseconds(Now() - start);
    DestroyIcon(icon);
    return us;
}

void CompareRenderers()
{
    constexpr int ROUNDS = 3000;
    std::vector<double> now, first;
    for (int i = 0; i < 200; ++i) {
        TimeRender(RenderStatusIcon, i);
        TimeRender(RenderFirst, i);
    }
    for (int i = 0; i < ROUNDS; ++i) {
        if (i & 1) {
            now.push_back(TimeRender(RenderStatusIcon, i / 2));
            first.push_back(TimeRender(RenderFirst, i / 2));
        } else {
            first.push_back(TimeRender(RenderFirst, i / 2));
            now.push_back(TimeRender(RenderStatusIcon, i / 2));
        }
    }
    const Summary n = Summarize(now);
    const Summary f = Summarize(first);
    std::printf("RenderStatusIcon, %d renders each, interleaved with the first design:\n", ROUNDS);
    std::printf("  now          median %7.1f us  p99 %7.1f us  mean %7.1f us\n", n.median, n.p99,
                n.mean);
    std::printf("  first design median %7.1f us  p99 %7.1f us  mean %7.1f us\n", f.median, f.p99,
                f.mean);
    PrintRow("2 RenderStatusIcon now vs first design (median)", Format("%.1f us", n.median),
             Format("%.1f us", f.median), Format("%.3f", n.median / f.median), "(lower is better)");
}

void ProfileSteps(const char* title, HICON (*render)(bool, bool, bool, StepTimes*))
{
    constexpr int RUNS = 2000;
    std::vector<std::vector<double>> perStep;
    StepTimes steps;
    const char* names[MAX_STEPS] = {};
    int count = 0;
    std::vector<double> totals;
    for (int i = 0; i < RUNS + 100; ++i) {
        HICON icon = render(i & 1, i & 2, i & 4, &steps);
        DestroyIcon(icon);
        if (i < 100) {
            continue;
        }
        count = steps.count;
        perStep.resize(static_cast<size_t>(count));
        double total = 0;
        for (int s = 0; s < count; ++s) {
            names[s] = steps.name[s];
            perStep[static_cast<size_t>(s)].push_back(steps.us[s]);
            total += steps.us[s];
        }
        totals.push_back(total);
    }
    const Summary t = Summarize(totals);
    std::printf("%s, step by step over %d renders (QPC resolution %.2f us):\n", title, RUNS,
                TicksToMicroseconds(1));
    std::printf("  %-28s %9s %9s %9s %7s\n", "step", "median", "mean", "p99", "share");
    for (int s = 0; s < count; ++s) {
        const Summary x = Summarize(perStep[static_cast<size_t>(s)]);
        std::printf("  %-28s %7.2fus %7.2fus %7.2fus %6.1f%%\n", names[s], x.median, x.mean, x.p99,
                    100 * x.mean / t.mean);
    }
    std::printf("  %-28s %7.2fus %7.2fus %7.2fus\n", "total", t.median, t.mean, t.p99);
}

void CompareRefresh()
{
    constexpr int ROUNDS = 1500;
    FloorIcons floor = MakeFloorIcons();
    std::vector<double> refresh, first, bare;
    int missing = 0;
    int floorFailed = 0;
    auto timeRefresh = [&] {
        const long long start = Now();
        RefreshStatus();
        refresh.push_back(TicksToMicroseconds(Now() - start));
        missing += g_tray.szTip[0] == L'\0' || g_tray.hIcon == nullptr;
    };
    auto timeFirst = [&] {
        const long long start = Now();
        RefreshWithFirstDesign();
        first.push_back(TicksToMicroseconds(Now() - start));
        missing += g_tray.szTip[0] == L'\0' || g_tray.hIcon == nullptr;
    };
    auto timeFloor = [&] {
        const long long start = Now();
        const bool ok = FloorRefresh(floor);
        bare.push_back(TicksToMicroseconds(Now() - start));
        floorFailed += !ok;
    };
    // The three take turns, each order in turn, so that each sees the same
    // machine.
    const std::function<void()> contenders[] = {timeRefresh, timeFloor, timeFirst};
    auto round = [&](int i) {
        for (int k = 0; k < 3; ++k) {
            contenders[(i + k) % 3]();
            PumpMessages();
        }
    };
    for (int i = 0; i < 60; ++i) {
        round(i);
    }
    refresh.clear();
    first.clear();
    bare.clear();
    for (int i = 0; i < ROUNDS; ++i) {
        round(i);
    }
    RefreshStatus();
    DestroyFloorIcons(floor);
    const Summary r = Summarize(refresh);
    const Summary f = Summarize(first);
    const Summary b = Summarize(bare);
    std::printf("RefreshStatus vs one NIM_MODIFY with an icon made in advance, %d each, "
                "interleaved (%d refresh failures, %d floor failures):\n",
                ROUNDS, missing, floorFailed);
    std::printf("  RefreshStatus                median %7.1f us  p99 %7.1f us  mean %7.1f us\n",
                r.median, r.p99, r.mean);
    std::printf("  the same, first design's renderer median %7.1f us  p99 %7.1f us  mean %7.1f us\n",
                f.median, f.p99, f.mean);
    std::printf("  NIM_MODIFY alone            median %7.1f us  p99 %7.1f us  mean %7.1f us\n",
                b.median, b.p99, b.mean);
    PrintRow("2 RefreshStatus alone (median)", Format("%.1f us", r.median),
             Format("%.1f us", b.median), Format("%.3f", r.median / b.median), "<= 1.3");
    PrintRow("2 RefreshStatus alone (p99)", Format("%.1f us", r.p99), Format("%.1f us", b.p99),
             Format("%.3f", r.p99 / b.p99), "(info)");
    PrintRow("2 ... with the first design's renderer (median)", Format("%.1f us", f.median),
             Format("%.1f us", b.median), Format("%.3f", f.median / b.median), "(before)");
}

// RefreshStatus's own steps, replayed with the same calls.
void ProfileRefresh()
{
    constexpr int RUNS = 1000;
    std::vector<double> sample, destroy, render, format, notify;
    for (int i = 0; i < RUNS; ++i) {
        long long t0 = Now();
        const LockState state = SampleLockState();
        long long t1 = Now();
        if (g_tray.hIcon != nullptr) {
            DestroyIcon(g_tray.hIcon);
        }
        long long t2 = Now();
        g_tray.hIcon = RenderStatusIcon(state.num, state.caps, state.scroll);
        long long t3 = Now();
        wchar_t tip[STATUS_TIP_LENGTH];
        FormatStatusTip(state, tip);
        lstrcpyW(g_tray.szTip, tip);
        g_tray.uFlags = NIF_ICON | NIF_TIP;
        long long t4 = Now();
        Shell_NotifyIconW(NIM_MODIFY, &g_tray);
        long long t5 = Now();
        sample.push_back(TicksToMicroseconds(t1 - t0));
        destroy.push_back(TicksToMicroseconds(t2 - t1));
        render.push_back(TicksToMicroseconds(t3 - t2));
        format.push_back(TicksToMicroseconds(t4 - t3));
        notify.push_back(TicksToMicroseconds(t5 - t4));
        PumpMessages();
    }
    std::printf("RefreshStatus's steps, replayed %d times:\n", RUNS);
    const struct {
        const char* name;
        std::vector<double>* values;
    } rows[] = {{"SampleLockState", &sample},
                {"DestroyIcon(old)", &destroy},
                {"RenderStatusIcon", &render},
                {"FormatStatusTip + copy", &format},
                {"Shell_NotifyIconW(NIM_MODIFY)", &notify}};
    for (const auto& row : rows) {
        const Summary s = Summarize(*row.values);
        std::printf("  %-30s median %8.2f us  mean %8.2f us  p99 %8.2f us\n", row.name, s.median,
                    s.mean, s.p99);
    }
}

} // namespace

int RunRefreshBench()
{
    HWND window = CreateProgramWindow();
    if (window == nullptr || g_tray.szTip[0] == L'\0') {
        std::printf("no tray entry: the shell's tray is not there\n");
        return 1;
    }
    ComparePixels();
    ProfileSteps("first design", RenderFirstDesign);
    CompareRenderers();
    ProfileRefresh();
    CompareRefresh();
    DestroyProgramWindow(window);
    return 0;
}
