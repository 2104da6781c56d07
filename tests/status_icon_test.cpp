#include "status/status_icon.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr DWORD BACKGROUND = Rgb(30, 30, 30);
constexpr DWORD LIT_FILL = Rgb(130, 220, 100);
constexpr DWORD LIT_LABEL = Rgb(0, 0, 0);
constexpr DWORD UNLIT_LABEL = Rgb(120, 120, 120);

struct Cell {
    const char* name;
    RECT rect;
};
constexpr Cell NUM{"Num", {0, 0, 32, 16}};
constexpr Cell CAPS{"C", {0, 16, 16, 32}};
constexpr Cell SCROLL{"S", {16, 16, 32, 32}};

struct Combination {
    bool num, caps, scroll;
};
constexpr Combination ALL_COMBINATIONS[] = {
    {false, false, false}, {true, false, false}, {false, true, false}, {false, false, true},
    {true, true, false},   {true, false, true},  {false, true, true},  {true, true, true},
};

// Checks one cell: its fill, its label colour, and that nothing of the other
// state's fill leaks into it.
void ExpectCell(const IconPixels& image, const Cell& cell, bool lit, const Combination& c)
{
    std::map<DWORD, int> counts;
    for (LONG y = cell.rect.top; y < cell.rect.bottom; ++y) {
        for (LONG x = cell.rect.left; x < cell.rect.right; ++x) {
            ++counts[image.pixel[y][x]];
        }
    }
    DWORD mostCommon = 0;
    int most = 0;
    for (const auto& [colour, count] : counts) {
        if (count > most) {
            most = count;
            mostCommon = colour;
        }
    }
    const DWORD fill = lit ? LIT_FILL : BACKGROUND;
    const DWORD label = lit ? LIT_LABEL : UNLIT_LABEL;
    const DWORD otherFill = lit ? BACKGROUND : LIT_FILL;
    SCOPED_TRACE(testing::Message() << "cell " << cell.name << " lit " << lit << " in (" << c.num
                                    << c.caps << c.scroll << ")");
    EXPECT_EQ(fill, mostCommon) << std::hex << "most common colour";
    EXPECT_GE(counts[label], 4) << "solid label pixels";
    EXPECT_EQ(0, counts[otherFill]) << "pixels of the other fill";
}

TEST(RenderStatusIcon, DrawsEachCellAsItsLockSays)
{
    for (const Combination& c : ALL_COMBINATIONS) {
        HICON icon = RenderStatusIcon(c.num, c.caps, c.scroll);
        ASSERT_NE(nullptr, icon);
        const IconPixels image = ReadIconPixels(icon);
        ExpectCell(image, NUM, c.num, c);
        ExpectCell(image, CAPS, c.caps, c);
        ExpectCell(image, SCROLL, c.scroll, c);
        DestroyIcon(icon);
    }
}

TEST(RenderStatusIcon, IsOpaqueOverAnyBackdrop)
{
    for (const Combination& c : ALL_COMBINATIONS) {
        HICON icon = RenderStatusIcon(c.num, c.caps, c.scroll);
        const IconPixels colour = ReadIconPixels(icon);
        const IconPixels overWhite = DrawIconOver(icon, RGB(255, 255, 255));
        const IconPixels overMagenta = DrawIconOver(icon, RGB(255, 0, 255));
        DestroyIcon(icon);
        int differing = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                differing += overWhite.pixel[y][x] != colour.pixel[y][x];
                differing += overMagenta.pixel[y][x] != colour.pixel[y][x];
            }
        }
        EXPECT_EQ(0, differing) << "pixels showing the backdrop, for (" << c.num << c.caps
                                << c.scroll << ")";
    }
}

TEST(RenderStatusIcon, ReturnsANewIconEveryCall)
{
    std::set<HICON> icons;
    for (int round = 0; round < 2; ++round) {
        for (const Combination& c : ALL_COMBINATIONS) {
            HICON icon = RenderStatusIcon(c.num, c.caps, c.scroll);
            ASSERT_NE(nullptr, icon);
            EXPECT_TRUE(icons.insert(icon).second) << "handle returned twice";
        }
    }
    for (HICON icon : icons) {
        EXPECT_TRUE(DestroyIcon(icon));
    }
}

constexpr int MAX_HANDLES = 70000;
HGDIOBJ g_filler[MAX_HANDLES];

// Fills the GDI handle table until only `room` more objects fit, and
// returns how many it took.
int FillGdiTable(int room)
{
    int count = 0;
    while (count < MAX_HANDLES && (g_filler[count] = CreateSolidBrush(RGB(1, 2, 3))) != nullptr) {
        ++count;
    }
    for (int i = 0; i < room && count > 0; ++i) {
        DeleteObject(g_filler[--count]);
    }
    return count;
}

void EmptyGdiTable(int count)
{
    for (int i = 0; i < count; ++i) {
        DeleteObject(g_filler[i]);
    }
}

// Wine's GetGuiResources always says 0, so a leak is proven by exhaustion:
// with the GDI handle table all but full, far more renders than the room
// left must all succeed. On Windows the counts must also stay put.
TEST(RenderStatusIcon, ReleasesEveryGdiObject)
{
    HANDLE process = GetCurrentProcess();
    const DWORD gdiBefore = GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD userBefore = GetGuiResources(process, GR_USEROBJECTS);

    constexpr int ROOM = 64; // a render holds at most seven objects at once
    const int filled = FillGdiTable(ROOM);
    ASSERT_GT(filled, 1000) << "the handle table never filled up";
    constexpr int RENDERS = ROOM * 8;
    int failures = 0;
    for (int i = 0; i < RENDERS; ++i) {
        HICON icon = RenderStatusIcon(i & 1, i & 2, i & 4);
        failures += icon == nullptr;
        DestroyIcon(icon);
    }
    const bool roomLeft = CreateSolidBrush(RGB(4, 5, 6)) != nullptr;
    EmptyGdiTable(filled);
    EXPECT_EQ(0, failures) << "of " << RENDERS << " renders with room for " << ROOM << " objects";
    EXPECT_TRUE(roomLeft);
    EXPECT_EQ(gdiBefore, GetGuiResources(process, GR_GDIOBJECTS));
    EXPECT_EQ(userBefore, GetGuiResources(process, GR_USEROBJECTS));
    RecordProperty("gdi_handles_filled", filled);
}

} // namespace
