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

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
};
