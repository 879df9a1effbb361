// The program's entry: application title, the hidden application window,
// the main window and the one message loop.
#include <windows.h>

#include "Classes/SingleInstance.h"
#include "Main.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    try {
        TApplication& app = Application();
        app.SetTitle("Brenix");
        // A second start only brings the running copy forward.
        TSingleInstanceGuard instance;
        if (!instance.IsFirstInstance()) {
            instance.ActivateFirstInstance();
            return 0;
        }
        app.Initialize();
        instance.Publish(app.Handle());
        // Shown by itself a moment later, unless it starts in the tray.
        auto* mainForm = new TMainForm(nullptr);
        app.SetMainForm(mainForm);
        // A second start tells the window it found (the application
        // window): the main window comes back from the tray itself, and
        // whatever else hid or minimised it, it is restored and in front.
        app.HookMainWindow([mainForm, &app](UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
            if (msg == 0 || msg != SingleInstanceMessage() || !mainForm->HandleAllocated())
                return false;
            result = SendMessageW(mainForm->Handle(), msg, wParam, lParam);
            app.Restore();
            return true;
        });
        app.Run();
        delete mainForm;
    } catch (...) {
        HandleCurrentException();
        return 1;
    }
    return 0;
}
