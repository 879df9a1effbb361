#include <gtest/gtest.h>

#include <string>

#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "platform/Form.h"
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

// A second start while a modal form is open restores the program: the form
// comes to the front with the main window, which it keeps disabled, behind it.
TEST(Application, RestoreBringsAnOpenModalFormInFrontOfTheMainWindow)
{
    ASSERT_TRUE(HaveDisplay());
    TApplication& app = Application();
    TForm main(nullptr), box(nullptr);
    main.SetBounds(100, 100, 500, 400);
    box.SetBounds(200, 150, 200, 150);
    app.SetMainForm(&main);
    main.Show();
    HWND front = nullptr;
    bool boxAbove = false;
    TSimpleTimer restore(100, [&](TObject*) {
        if (!box.HandleAllocated() || !IsWindowVisible(box.Handle()))
            return;
        restore.SetEnabled(false);
        app.Restore();
        front = GetForegroundWindow();
        // Which of the two comes first from the top of the z-order.
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
            if (w == box.Handle() || w == main.Handle()) {
                boxAbove = w == box.Handle();
                break;
            }
        box.SetModalResult(mrOk);
    });
    restore.SetEnabled(true);
    EXPECT_EQ(box.ShowModal(), mrOk);
    EXPECT_EQ(front, box.Handle());
    EXPECT_TRUE(boxAbove);
    app.SetMainForm(nullptr);
    app.HideApplicationWindow();
}
