// TForm::ShowModal: the modal loop of a form built in code.
#include <vector>

#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Form.h"

namespace {

// The visible, enabled top-level windows of this thread other than except,
// disabled; the list is what to enable again.
std::vector<HWND> DisableThreadWindows(HWND except)
{
    struct Ctx {
        HWND except;
        std::vector<HWND> list;
    } ctx{except, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM p) WINAPI -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(p);
            if (h != c->except && IsWindowVisible(h) && IsWindowEnabled(h))
                c->list.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    for (HWND h : ctx.list)
        EnableWindow(h, FALSE);
    return ctx.list;
}

void EnableWindows(const std::vector<HWND>& list)
{
    for (HWND h : list)
        if (IsWindow(h))
            EnableWindow(h, TRUE);
}

}  // namespace

bool TForm::CloseModal()
{
    std::weak_ptr<void> alive = AliveToken();
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(this, canClose);
    if (alive.expired())
        return true;
    TCloseAction action = TCloseAction::caHide;
    if (canClose && OnClose)
        OnClose(this, action);
    if (alive.expired())
        return true;
    if (!canClose || action == TCloseAction::caNone) {
        modalResult_ = mrNone;
        return false;
    }
    if (action == TCloseAction::caFree)
        Release();
    return true;
}

void TForm::SetFirstFocus(TWinControl* control)
{
    firstFocus_ = control;
    firstFocusAlive_ = control ? control->AliveToken() : std::weak_ptr<void>();
}

int TForm::ShowModal()
{
    if (modal_ || Visible())
        throw EInvalidOperation("Cannot make a visible window modal");
    if (HWND capture = GetCapture())
        SendMessageW(capture, WM_CANCELMODE, 0, 0);
    ReleaseCapture();
    std::weak_ptr<void> alive = AliveToken();
    HWND active = GetActiveWindow();
    HWND self = Handle();
    std::vector<HWND> disabled = DisableThreadWindows(self);
    modal_ = true;
    modalResult_ = mrNone;
    TApplication& app = Application();
    try {
        Show();
        // The keyboard starts on the chosen control, else on the first that takes it.
        if (!alive.expired()) {
            if (firstFocus_ && !firstFocusAlive_.expired() && firstFocus_->CanFocus())
                firstFocus_->SetFocus();
            if (!ActiveControl() || ActiveControl() == this)
                SelectNext(nullptr, true, true);
        }
        app.BeginNestedLoop();
        // Its own window's keys and clicks are what it waits for.
        const int hold = app.LiftInputHold();
        try {
            for (;;) {
                if (alive.expired() || app.Terminated())
                    break;
                if (modalResult_ != mrNone && CloseModal())
                    break;
                MSG peek;
                if (!PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
                    app.Idle();
                    if (alive.expired() || modalResult_ != mrNone)
                        continue;
                }
                app.WaitAndProcessMessages(100);
            }
        } catch (...) {
            app.RestoreInputHold(hold);
            app.EndNestedLoop();
            throw;
        }
        app.RestoreInputHold(hold);
        app.EndNestedLoop();
    } catch (...) {
        EnableWindows(disabled);
        if (!alive.expired()) {
            modal_ = false;
            Hide();
        }
        throw;
    }
    // The other windows are enabled before this one hides, so the
    // activation goes back to the window that had it.
    EnableWindows(disabled);
    if (alive.expired())
        return mrCancel;
    modal_ = false;
    if (modalResult_ == mrNone)
        modalResult_ = mrCancel;
    Hide();
    if (active && active != self && IsWindow(active))
        SetActiveWindow(active);
    return modalResult_;
}
