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

// The three cells tile the square: Num across the top, C and S below.
constexpr StatusCell NUM_CELL{{0, 0, STATUS_ICON_SIZE, HALF}, L"Num"};
constexpr StatusCell CAPS_CELL{{0, HALF, HALF, STATUS_ICON_SIZE}, L"C"};
constexpr StatusCell SCROLL_CELL{{HALF, HALF, STATUS_ICON_SIZE, STATUS_ICON_SIZE}, L"S"};

HFONT CreateLabelFont()
{
    return CreateFontW(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

void DrawCell(HDC dc, const StatusCell& cell, bool lit)
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
    DrawTextW(dc, cell.label, -1, &rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

} // namespace

HICON RenderStatusIcon(bool num, bool caps, bool scroll)
{
    // The DIB fixes the pixel format, so neither the DC nor the DIB needs the
    // screen's DC: fetching and releasing it cost more than all the drawing.
    HDC dc = CreateCompatibleDC(nullptr);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = STATUS_ICON_SIZE;
    info.bmiHeader.biHeight = -STATUS_ICON_SIZE; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    HGDIOBJ previousBitmap = SelectObject(dc, bitmap);

    HBRUSH background = CreateSolidBrush(BACKGROUND_COLOR);
    RECT square{0, 0, STATUS_ICON_SIZE, STATUS_ICON_SIZE};
    FillRect(dc, &square, background);

    SetBkMode(dc, TRANSPARENT);
    HFONT font = CreateLabelFont();
    HGDIOBJ previousFont = SelectObject(dc, font);

    DrawCell(dc, NUM_CELL, num);
    DrawCell(dc, CAPS_CELL, caps);
    DrawCell(dc, SCROLL_CELL, scroll);

    // Deselected before the icon copies it: a bitmap selected into one DC
    // cannot be selected into another, so the copy would take the slow way
    // round, reading the bits back out and writing them again.
    SelectObject(dc, previousFont);
    SelectObject(dc, previousBitmap);

    // GDI leaves the alpha bytes at zero, so the shell uses the mask made from
    // this same bitmap: every pixel that is not white comes out opaque.
    ICONINFO iconInfo{};
    iconInfo.fIcon = TRUE;
    iconInfo.hbmMask = bitmap;
    iconInfo.hbmColor = bitmap;
    HICON icon = CreateIconIndirect(&iconInfo);

    DeleteObject(font);
    DeleteObject(background);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return icon;
}
