#include "render_steps.h"

#include "bench_support.h"
#include "status/status_icon.h"

namespace {

constexpr COLORREF BACKGROUND_COLOR = RGB(30, 30, 30);
constexpr COLORREF LIT_FILL_COLOR = RGB(130, 220, 100);
constexpr COLORREF LIT_LABEL_COLOR = RGB(0, 0, 0);
constexpr COLORREF UNLIT_LABEL_COLOR = RGB(120, 120, 120);

constexpr int HALF = STATUS_ICON_SIZE / 2;

struct StatusCell {
    RECT rect;
    const wchar_t* label;
};

constexpr StatusCell NUM_CELL{{0, 0, STATUS_ICON_SIZE, HALF}, L"Num"};
constexpr StatusCell CAPS_CELL{{0, HALF, HALF, STATUS_ICON_SIZE}, L"C"};
constexpr StatusCell SCROLL_CELL{{HALF, HALF, STATUS_ICON_SIZE, STATUS_ICON_SIZE}, L"S"};

class Clock {
public:
    explicit Clock(StepTimes* steps) : steps_(steps)
    {
        if (steps_) {
            steps_->count = 0;
            last_ = Now();
        }
    }
    void Mark(const char* name)
    {
        if (!steps_) {
            return;
        }
        const long long now = Now();
        if (steps_->count < MAX_STEPS) {
            steps_->name[steps_->count] = name;
            steps_->us[steps_->count] = TicksToMicroseconds(now - last_);
            ++steps_->count;
        }
        last_ = Now();
    }

private:
    StepTimes* steps_;
    long long last_ = 0;
};

HFONT CreateLabelFont()
{
    return CreateFontW(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

void DrawCell(HDC dc, const StatusCell& cell, bool lit, Clock& clock, const char* fillName,
              const char* textName)
{
    RECT rect = cell.rect;
    if (lit) {
        HBRUSH fill = CreateSolidBrush(LIT_FILL_COLOR);
        FillRect(dc, &rect, fill);
        DeleteObject(fill);
        SetTextColor(dc, LIT_LABEL_COLOR);
    } else {
        SetTextColor(dc, UNLIT_LABEL_COLOR);
    }
    clock.Mark(fillName);
    DrawTextW(dc, cell.label, -1, &rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    clock.Mark(textName);
}

} // namespace

HICON RenderFirstDesign(bool num, bool caps, bool scroll, StepTimes* steps)
{
    Clock clock(steps);
    HDC screen = GetDC(nullptr);
    clock.Mark("GetDC(nullptr)");
    HDC dc = CreateCompatibleDC(screen);
    clock.Mark("CreateCompatibleDC");

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = STATUS_ICON_SIZE;
    info.bmiHeader.biHeight = -STATUS_ICON_SIZE;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    clock.Mark("CreateDIBSection");
    HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
    clock.Mark("SelectObject(bitmap)");

    HBRUSH background = CreateSolidBrush(BACKGROUND_COLOR);
    RECT square{0, 0, STATUS_ICON_SIZE, STATUS_ICON_SIZE};
    FillRect(dc, &square, background);
    clock.Mark("brush + FillRect(square)");

    SetBkMode(dc, TRANSPARENT);
    HFONT font = CreateLabelFont();
    clock.Mark("SetBkMode + CreateFontW");
    HGDIOBJ previousFont = SelectObject(dc, font);
    clock.Mark("SelectObject(font)");

    DrawCell(dc, NUM_CELL, num, clock, "Num fill", "DrawTextW Num");
    DrawCell(dc, CAPS_CELL, caps, clock, "C fill", "DrawTextW C");
    DrawCell(dc, SCROLL_CELL, scroll, clock, "S fill", "DrawTextW S");

    ICONINFO iconInfo{};
    iconInfo.fIcon = TRUE;
    iconInfo.hbmMask = bitmap;
    iconInfo.hbmColor = bitmap;
    HICON icon = CreateIconIndirect(&iconInfo);
    clock.Mark("CreateIconIndirect");

    SelectObject(dc, previousFont);
    SelectObject(dc, previousBitmap);
    clock.Mark("SelectObject back x2");
    DeleteObject(font);
    clock.Mark("DeleteObject(font)");
    DeleteObject(background);
    DeleteObject(bitmap);
    clock.Mark("DeleteObject brush+bitmap");
    DeleteDC(dc);
    clock.Mark("DeleteDC");
    ReleaseDC(nullptr, screen);
    clock.Mark("ReleaseDC");
    return icon;
}
