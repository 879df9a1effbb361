// The program's entry: application title, the hidden application window,
// the main window and the one message loop.
#include <windows.h>

#include <memory>

#include "Classes/Lang.h"
#include "Classes/SingleInstance.h"
#include "Main.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/Text.h"

namespace {
// The longest a closed copy takes to finish: one wait of a service restart,
// the commands around it, and the clients' threads.
constexpr DWORD kEndingCopyWaitMs = 180000;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    try {
        TApplication& app = Application();
        app.SetTitle("Brenix");
        // A second start only brings the running copy forward; while that
        // copy is ending (its window closed, a service restart still being
        // finished) it waits for it to go and then starts. A copy that only
        // waits for the answer to its last box has that box brought forward.
        auto instance = std::make_unique<TSingleInstanceGuard>();
        const TEndingWait ending = AwaitEndingFirstInstance(instance, kEndingCopyWaitMs);
        if (ending == TEndingWait::AnswerAwaited)
            return 0;
        if (ending == TEndingWait::StillEnding) {
            MessageBoxW(nullptr, Utf8ToWide(sPreviousCopyEnding).c_str(), Utf8ToWide(app.Title()).c_str(),
                        MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
            return 0;
        }
        if (!instance->IsFirstInstance()) {
            instance->ActivateFirstInstance();
            return 0;
        }
        app.Initialize();
        instance->Publish(app.Handle());
        // Shown by itself a moment later, unless it starts in the tray.
        auto* mainForm = new TMainForm(nullptr);
        app.SetMainForm(mainForm);
        mainForm->OnClose = [&instance](TObject*, TCloseAction&) { instance->MarkEnding(); };
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
