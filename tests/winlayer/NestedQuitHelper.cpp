// A small program for the application tests: its main form shows, a timer
// handler quits from inside a nested message pump, and the outer loop must
// end. The exit code says what was seen (0: all as it should be).
#include <windows.h>

#include <memory>

#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "platform/Form.h"

int main()
{
    TApplication& app = Application();
    app.SetTitle("Nested quit");
    app.Initialize();
    auto* form = new TForm(nullptr);
    app.SetMainForm(form);
    auto* probe = new TComponent(nullptr);
    std::weak_ptr<void> probeAlive = probe->AliveToken();
    int code = 0;
    bool handled = false;
    TSimpleTimer timer(100, [&](TObject*) {
        handled = true;
        if (!IsWindowVisible(form->Handle()))
            code |= 1;   // Run did not show the main form
        app.ReleaseLater(probe);
        PostQuitMessage(5);
        app.ProcessMessages();   // a nested pump, as a synchronous wait has
        if (!app.Terminated())
            code |= 2;
        if (probeAlive.expired())
            code |= 4;   // freed under the nested pump
    });
    timer.AutoDisable = true;
    timer.SetEnabled(true);
    // A guard: the loop must end long before this.
    TSimpleTimer guard(8000, [&](TObject*) {
        code |= 8;
        ExitProcess(static_cast<UINT>(code));
    });
    guard.SetEnabled(true);
    app.Run();
    if (!handled)
        code |= 16;
    if (!probeAlive.expired())
        code |= 32;   // never freed
    delete form;
    return code;
}
