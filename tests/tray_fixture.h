#pragma once

#include "app/tray_window.h"
#include "status/keyboard_hook.h"
#include "status/lock_state.h"
#include "status/tray_status.h"

#include <gtest/gtest.h>

#include <string>

// The program's hidden window, created as start-up creates it; each test
// runs in a process of its own, so g_tray and g_hook start zeroed.
class TrayWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        instance_ = GetModuleHandleW(nullptr);
        RegisterTrayWindowClass(instance_);
        window_ = CreateTrayWindow(instance_);
        ASSERT_NE(nullptr, window_);
    }

    void TearDown() override
    {
        if (IsWindow(window_)) {
            DestroyWindow(window_);
        }
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }

    static std::wstring CurrentTip()
    {
        wchar_t tip[STATUS_TIP_LENGTH];
        FormatStatusTip(SampleLockState(), tip);
        return tip;
    }

    // Asks the shell whether it still has our entry.
    static bool TrayHasEntry()
    {
        NOTIFYICONDATAW probe{};
        probe.cbSize = sizeof(probe);
        probe.hWnd = g_tray.hWnd;
        probe.uID = g_tray.uID;
        probe.uFlags = 0;
        return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
    }

    static void RemoveEntryBehindOurBack()
    {
        NOTIFYICONDATAW copy = g_tray;
        ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &copy));
    }

    // Posts message to the window and runs the loop as the program does: it
    // must end with quit code 0, the hook and the tray entry gone, and the
    // last icon still alive (it lives until the process ends).
    void ExpectCleanEndAfter(UINT message, WPARAM wParam)
    {
        InstallKeyboardHook(instance_);
        ASSERT_NE(nullptr, g_hook);
        const HICON lastIcon = g_tray.hIcon;

        PostMessageW(window_, message, wParam, 0);
        MSG received{};
        while (GetMessageW(&received, nullptr, 0, 0) > 0) {
            DispatchMessageW(&received);
        }
        EXPECT_EQ(UINT{WM_QUIT}, received.message);
        EXPECT_EQ(0u, received.wParam) << "exit code";
        EXPECT_FALSE(IsWindow(window_));
        EXPECT_EQ(nullptr, g_hook);
        EXPECT_FALSE(TrayHasEntry());
        EXPECT_FALSE(KillTimer(window_, REFRESH_TIMER_ID));
        ICONINFO info{};
        EXPECT_TRUE(GetIconInfo(lastIcon, &info));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
};
