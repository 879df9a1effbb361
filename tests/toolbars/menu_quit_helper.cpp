// Helper program of the menu loop tests: opens a toolbar menu, posts
// WM_QUIT while the menu is open and runs the application's loop. It ends
// with 0 when the menu loop ended and the application's loop after it; a
// menu loop that swallowed WM_QUIT keeps it running until the test kills it.
#include <windows.h>

#include <cstdio>

#include "TBTestHost.h"
#include "platform/Application.h"
#include "platform/Firewall.h"

namespace {

TTBTestHost* g_host = nullptr;
TTBCustomItem* g_file = nullptr;
bool g_menuWasOpen = false;
bool g_menuLoopEnded = false;

void CALLBACK PostQuitInsideMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    Guarded([] {
        g_menuWasOpen = g_host->View()->IsModal() && g_host->View()->OpenViewerView() != nullptr;
        PostQuitMessage(0);
    });
}

void CALLBACK OpenMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    Guarded([] {
        SetTimer(nullptr, 0, 300, &PostQuitInsideMenu);
        TTBView* view = g_host->View();
        view->Select(view->Find(g_file), false);
        view->EnterModalLoop(tbetExecuteSelected);   // opens File's menu
        g_menuLoopEnded = true;
    });
}

}  // namespace

int main()
{
    Application().Initialize();
    TTBTestForm form;
    form.host = g_host = new TTBTestHost(&form);
    g_host->SetParent(&form);
    auto* file = new TTBSubmenuItem(&form);
    file->SetCaption("&File");
    g_host->Items()->Add(file);
    auto* open = new TTBItem(&form);
    open->SetCaption("&Open");
    file->Add(open);
    g_file = file;
    form.Show();
    SetTimer(nullptr, 0, 200, &OpenMenu);
    Application().Run();
    std::printf("menu open when quit was posted: %d, menu loop ended: %d\n", g_menuWasOpen, g_menuLoopEnded);
    std::fflush(stdout);
    return g_menuWasOpen && g_menuLoopEnded ? 0 : 1;
}
