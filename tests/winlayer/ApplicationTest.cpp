#include <gtest/gtest.h>

#include <string>

#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(Application, TheOuterLoopEndsWhenANestedPumpSeesQuit)
{
    ASSERT_TRUE(HaveDisplay());
    std::wstring exe = Utf8ToWide(ExeFolder() + "winlayer_nested_quit.exe");
    ASSERT_NE(GetFileAttributesW(exe.c_str()), INVALID_FILE_ATTRIBUTES);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + exe + L"\"";
    ASSERT_TRUE(CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    DWORD wait = WaitForSingleObject(pi.hProcess, 15000);
    DWORD code = 999;
    GetExitCodeProcess(pi.hProcess, &code);
    if (wait != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(wait, WAIT_OBJECT_0);
    // 0: the main form was shown, the nested pump saw the quit, nothing was
    // freed under it, the outer loop ended by itself and then freed it.
    EXPECT_EQ(code, 0u);
}

TEST(Application, MinimizeHidesTheMainFormAndRestoreBringsItBack)
{
    ASSERT_TRUE(HaveDisplay());
    TApplication& app = Application();
    HWND form = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, app.Handle(),
                                nullptr, nullptr, nullptr);
    ASSERT_NE(form, nullptr);
    app.SetMainFormHandle(form);
    ShowWindow(form, SW_SHOW);
    app.ShowApplicationWindow();
    app.Minimize();
    EXPECT_TRUE(IsIconic(app.Handle()));
    EXPECT_FALSE(IsWindowVisible(form));
    app.Restore();
    EXPECT_FALSE(IsIconic(app.Handle()));
    EXPECT_TRUE(IsWindowVisible(form));
    app.SetMainFormHandle(nullptr);
    app.HideApplicationWindow();
    EXPECT_FALSE(IsWindowVisible(app.Handle()));
    DestroyWindow(form);
}
