// Loaded into tolvane.exe through e2e_probe's message hook. Wine lets only
// the owning process read a menu, so the open popup is read from in here and
// left as text in shared memory for the probe.
#include "e2e_menu_reader.h"

#include <cwchar>

namespace {

void WriteOpenMenu(wchar_t* out, size_t capacity)
{
    out[0] = L'\0';
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup == nullptr || !IsWindowVisible(popup)) {
        return;
    }
    auto* menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    size_t used = 0;
    for (int i = 0; i < GetMenuItemCount(menu) && used < capacity; ++i) {
        wchar_t text[128] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        RECT item{};
        GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &item);
        const int written = std::swprintf(out + used, capacity - used, L"%ld %ld %ld %ld %ls\n",
                                          item.left, item.top, item.right, item.bottom, text);
        if (written < 0) {
            break;
        }
        used += static_cast<size_t>(written);
    }
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ReadOpenMenu(int code, WPARAM wParam,
                                                               LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == RegisterWindowMessageW(READ_MENU_MESSAGE)) {
        HANDLE shared = OpenFileMappingW(FILE_MAP_WRITE, FALSE, MENU_TEXT_MAPPING);
        if (shared != nullptr) {
            auto* out = static_cast<wchar_t*>(MapViewOfFile(shared, FILE_MAP_WRITE, 0, 0, 0));
            if (out != nullptr) {
                WriteOpenMenu(out, MENU_TEXT_CHARS);
                UnmapViewOfFile(out);
            }
            CloseHandle(shared);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
