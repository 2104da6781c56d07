#include "menu/startup.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring QuotedModulePath()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return L"\"" + std::wstring(path) + L"\"";
}

TEST(ToggleStartup, AddsTheQuotedPathWhenAbsent)
{
    ScratchCurrentUser user;
    user.CreateRunKey();
    EXPECT_FALSE(IsStartupEnabled());

    ToggleStartup();
    DWORD type = 0;
    EXPECT_EQ(QuotedModulePath(), user.ReadRunString(&type));
    EXPECT_EQ(DWORD{REG_SZ}, type);
    EXPECT_TRUE(IsStartupEnabled());
}

struct PresentRow {
    int line;
    DWORD type;
    std::wstring text; // stored with its null, unless bytes says otherwise
    DWORD bytes;
};

// Whatever a value of our name holds, it counts as registered and the
// toggle removes it: another copy's path, an unquoted one, junk, nothing.
const PresentRow PRESENT_ROWS[] = {
    {__LINE__, REG_SZ, L"C:\\Other copy\\tolvane.exe", ~0u},
    {__LINE__, REG_SZ, L"C:\\Program Files\\Tolvane\\tolvane.exe", ~0u},
    {__LINE__, REG_SZ, L"", ~0u},
    {__LINE__, REG_EXPAND_SZ, L"%ProgramFiles%\\Tolvane\\tolvane.exe", ~0u},
    {__LINE__, REG_DWORD, L"\x0001\x0000", 4},
    {__LINE__, REG_BINARY, L"", 0},
    {__LINE__, REG_MULTI_SZ, L"a\0b\0", 10},
};

TEST(ToggleStartup, RemovesAValueOfAnyTypeAndContent)
{
    for (const PresentRow& row : PRESENT_ROWS) {
        ScratchCurrentUser user;
        user.CreateRunKey();
        const DWORD bytes = row.bytes != ~0u
                                ? row.bytes
                                : static_cast<DWORD>((row.text.size() + 1) * sizeof(wchar_t));
        user.SetRunValue(row.type, row.text.c_str(), bytes);
        EXPECT_TRUE(IsStartupEnabled()) << "row at line " << row.line;
        ToggleStartup();
        EXPECT_FALSE(user.RunValueExists()) << "row at line " << row.line;
        EXPECT_FALSE(IsStartupEnabled()) << "row at line " << row.line;
    }
}

TEST(ToggleStartup, NeverCreatesAMissingRunKey)
{
    ScratchCurrentUser user;
    EXPECT_FALSE(IsStartupEnabled());
    ToggleStartup();
    EXPECT_FALSE(user.RunKeyExists());
    EXPECT_FALSE(IsStartupEnabled());
}

TEST(ToggleStartup, TwiceLeavesTheRegistryAsItWas)
{
    ScratchCurrentUser user;
    user.CreateRunKey();
    HKEY run = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, KEY_ALL_ACCESS, &run));
    const wchar_t neighbour[] = L"C:\\Tools\\other.exe";
    RegSetValueExW(run, L"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(neighbour),
                   sizeof(neighbour));

    ToggleStartup();
    EXPECT_TRUE(IsStartupEnabled());
    ToggleStartup();
    EXPECT_FALSE(IsStartupEnabled());

    DWORD values = 0;
    RegQueryInfoKeyW(run, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(1u, values);
    wchar_t data[64] = {};
    DWORD bytes = sizeof(data);
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExW(run, L"Other", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &bytes));
    EXPECT_STREQ(neighbour, data);
    RegCloseKey(run);
}

// Copies the probe next to this test into directory and runs it there;
// returns its exit code, or -1 when it could not be started.
int RunProbeFrom(const std::wstring& directory, const std::wstring& scratchPath)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring probe = self;
    probe = probe.substr(0, probe.find_last_of(L'\\') + 1) + L"startup_probe.exe";

    // Create every directory on the way down.
    for (size_t slash = directory.find(L'\\', 3); slash != std::wstring::npos;
         slash = directory.find(L'\\', slash + 1)) {
        CreateDirectoryW((L"\\\\?\\" + directory.substr(0, slash)).c_str(), nullptr);
    }
    CreateDirectoryW((L"\\\\?\\" + directory).c_str(), nullptr);
    const std::wstring copy = directory + L"\\startup probe.exe";
    if (!CopyFileW(probe.c_str(), (L"\\\\?\\" + copy).c_str(), FALSE)) {
        return -1;
    }
    std::wstring commandLine = L"\"" + copy + L"\" " + scratchPath;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    DWORD code = static_cast<DWORD>(-1);
    if (CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    DeleteFileW((L"\\\\?\\" + copy).c_str());
    return static_cast<int>(code);
}

std::wstring TempDirectory()
{
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp, length - 1); // without the trailing backslash
}

TEST(ToggleStartup, StoresAPathWithSpacesAndNonAsciiExactly)
{
    ScratchCurrentUser user;
    user.CreateRunKey();
    const std::wstring directory =
        TempDirectory() + L"\\Tolvane tests\\Ünïcödé Ψ 日本 dir " + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(0, RunProbeFrom(directory, user.path()));
    DWORD type = 0;
    EXPECT_EQ(L"\"" + directory + L"\\startup probe.exe\"", user.ReadRunString(&type));
    EXPECT_EQ(DWORD{REG_SZ}, type);
    RemoveDirectoryW(directory.c_str());
}

// Wine cannot start a program from a path past MAX_PATH, so the module path
// call is answered here instead, as Windows answers it.
struct ModulePathRow {
    int line;
    size_t length; // of the full path
    bool stored;
};

const ModulePathRow MODULE_PATH_ROWS[] = {
    {__LINE__, 40, true},
    {__LINE__, MAX_PATH - 1, true}, // the longest path that fits with its null
    {__LINE__, MAX_PATH, false},    // Windows returns the buffer size and cuts it
    {__LINE__, MAX_PATH + 100, false},
    {__LINE__, 0, false},           // the call failed
};

std::wstring g_fakePath;

DWORD WINAPI FakeGetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size)
{
    if (g_fakePath.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (g_fakePath.size() < size) {
        wcscpy(buffer, g_fakePath.c_str());
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(g_fakePath.size());
    }
    wmemcpy(buffer, g_fakePath.c_str(), size - 1);
    buffer[size - 1] = L'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

TEST(ToggleStartup, StoresOnlyAPathThatFitsWhole)
{
    for (const ModulePathRow& row : MODULE_PATH_ROWS) {
        ScratchCurrentUser user;
        user.CreateRunKey();
        g_fakePath.clear();
        if (row.length != 0) {
            g_fakePath = L"C:\\Program Files\\";
            g_fakePath.append(row.length - g_fakePath.size() - 4, L'x');
            g_fakePath += L".exe";
        }
        {
            ImportPatch patch("kernel32.dll", "GetModuleFileNameW",
                              reinterpret_cast<void (*)()>(&FakeGetModuleFileNameW));
            ToggleStartup();
        }
        ASSERT_EQ(row.stored, user.RunValueExists()) << "row at line " << row.line;
        if (row.stored) {
            DWORD type = 0;
            EXPECT_EQ(L"\"" + g_fakePath + L"\"", user.ReadRunString(&type));
        }
    }
}

} // namespace
