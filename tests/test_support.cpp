#include "test_support.h"

#include <gtest/gtest.h>

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

namespace {

BITMAPINFO TopDown32x32()
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 32;
    info.bmiHeader.biHeight = -32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

void CopyPixels(IconPixels& out, const void* bits)
{
    const auto* source = static_cast<const DWORD*>(bits);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            out.pixel[y][x] = source[y * 32 + x] & 0x00FFFFFF;
        }
    }
}

} // namespace

IconPixels ReadIconPixels(HICON icon)
{
    IconPixels out{};
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        ADD_FAILURE() << "GetIconInfo failed";
        return out;
    }
    BITMAPINFO bmi = TopDown32x32();
    DWORD bits[32 * 32] = {};
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, info.hbmColor, 0, 32, bits, &bmi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(32, rows);
    CopyPixels(out, bits);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return out;
}

IconPixels DrawIconOver(HICON icon, COLORREF backdrop)
{
    IconPixels out{};
    BITMAPINFO bmi = TopDown32x32();
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, canvas);
    HBRUSH brush = CreateSolidBrush(backdrop);
    RECT all{0, 0, 32, 32};
    FillRect(dc, &all, brush);
    EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL));
    GdiFlush();
    CopyPixels(out, bits);
    SelectObject(dc, previous);
    DeleteObject(brush);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return out;
}

ScratchCurrentUser::ScratchCurrentUser()
{
    wchar_t name[96];
    swprintf(name, 96, L"Software\\TolvaneTests\\%lu-%llu", GetCurrentProcessId(),
             static_cast<unsigned long long>(GetTickCount64()));
    path_ = name;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &root_, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, root_));
}

ScratchCurrentUser::~ScratchCurrentUser()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(root_);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()));
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TolvaneTests");
}

void ScratchCurrentUser::CreateRunKey()
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root_, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

void ScratchCurrentUser::SetRunValue(DWORD type, const void* data, DWORD bytes)
{
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(root_, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                              L"TolvaneIcon", type, data, bytes));
}

bool ScratchCurrentUser::RunValueExists()
{
    return RegGetValueW(root_, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                        L"TolvaneIcon", RRF_RT_ANY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

bool ScratchCurrentUser::RunKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring ScratchCurrentUser::ReadRunString(DWORD* type)
{
    wchar_t data[1024] = {};
    DWORD bytes = sizeof(data);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "no Run key";
        return {};
    }
    const LSTATUS status = RegQueryValueExW(key, L"TolvaneIcon", nullptr, type,
                                            reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, status);
    // The stored byte count must include exactly one terminating null.
    const size_t length = wcslen(data);
    EXPECT_EQ((length + 1) * sizeof(wchar_t), bytes) << "byte count of the stored string";
    return std::wstring(data, length);
}

namespace {

// The import address table slot through which this module calls the function.
FARPROC* FindImportSlot(const char* dll, const char* function)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; entry->Name != 0; ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<FARPROC*>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

void WriteSlot(FARPROC* slot, FARPROC value)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), old, &old);
}

} // namespace

ImportPatch::ImportPatch(const char* dll, const char* function, void (*replacement)())
    : slot_(FindImportSlot(dll, function))
{
    if (slot_ == nullptr) {
        ADD_FAILURE() << function << " is not imported by name from " << dll;
        return;
    }
    original_ = *slot_;
    WriteSlot(slot_, reinterpret_cast<FARPROC>(replacement));
}

ImportPatch::~ImportPatch()
{
    if (slot_ != nullptr) {
        WriteSlot(slot_, original_);
    }
}

namespace {

int g_defWindowProcCalls = 0;
DefWindowProcCounter* g_counter = nullptr;

} // namespace

LRESULT WINAPI DefWindowProcCounter::Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ++g_defWindowProcCalls;
    return g_counter->patch_.original<decltype(&DefWindowProcW)>()(window, message, wParam, lParam);
}

DefWindowProcCounter::DefWindowProcCounter()
    : patch_("user32.dll", "DefWindowProcW", reinterpret_cast<void (*)()>(&Count))
{
    g_defWindowProcCalls = 0;
    g_counter = this;
}

int DefWindowProcCounter::calls() const
{
    return g_defWindowProcCalls;
}

void TapKey(WORD virtualKey)
{
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = virtualKey;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(2u, SendInput(2, inputs, sizeof(INPUT)));
}
