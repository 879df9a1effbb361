#include "controls/WndProcHook.h"

#include <algorithm>
#include <vector>

#include "platform/Form.h"
#include "platform/HiddenWindow.h"
#include "platform/WindowSubclass.h"

namespace {
const UINT kReinstallMessage = 0xB052;
const UINT kFreeMessage = 0xB053;
}  // namespace

class THookList;

class TControlHook {
public:
    explicit TControlHook(TWinControl* control) : control_(control) {}
    ~TControlHook()
    {
        destroying_ = true;
        Uninstall();
        for (TRxWindowHook* h : hooks_)
            h->hook_ = nullptr;
    }

    TWinControl* Control() const { return control_; }
    bool Empty() const { return hooks_.empty(); }
    // A message of the control is being dispatched through this hook now
    // (a handler may pump messages meanwhile).
    bool Busy() const { return depth_ > 0; }
    void FreeWhenIdle() { freePending_ = true; }

    void Add(TRxWindowHook* hook)
    {
        if (std::find(hooks_.begin(), hooks_.end(), hook) == hooks_.end())
            hooks_.push_back(hook);
        Install();
    }

    void Remove(TRxWindowHook* hook);

    void Install()
    {
        if (installed_ || hooks_.empty() || !control_ || destroying_ || control_->IsDestroying() ||
            control_->IsDesigning())
            return;
        // A window is made for a control that can have one; a control taken
        // off its parent waits until it gets a window again.
        bool canHaveWindow = control_->HandleAllocated() || control_->Parent() ||
                             dynamic_cast<TForm*>(control_) != nullptr;
        if (!canHaveWindow)
            return;
        HWND h = control_->Handle();
        if (!h)
            return;
        hwnd_ = h;
        id_ = HookWindowProc(h, [this](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
            return Dispatch(msg, w, l, next);
        });
        installed_ = id_ != 0;
    }

    void Uninstall()
    {
        if (!installed_)
            return;
        // Harmless when the window is gone already.
        UnhookWindowProc(hwnd_, id_);
        installed_ = false;
        id_ = 0;
        hwnd_ = nullptr;
    }

private:
    LRESULT Dispatch(UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next);
    bool ControlDestroying() const { return !control_ || control_->IsDestroying(); }

    TWinControl* control_;
    HWND hwnd_ = nullptr;
    int id_ = 0;
    bool installed_ = false;
    bool destroying_ = false;
    int depth_ = 0;
    bool freePending_ = false;
    std::vector<TRxWindowHook*> hooks_;
};

class THookList : public THiddenWindow {
public:
    THookList() : THiddenWindow(true) {}
    ~THookList() override
    {
        for (TControlHook* h : hooks_)
            delete h;
        hooks_.clear();
    }

    TControlHook* Find(TWinControl* control)
    {
        for (TControlHook* h : hooks_)
            if (h->Control() == control)
                return h;
        return nullptr;
    }

    TControlHook* Acquire(TWinControl* control)
    {
        if (TControlHook* h = Find(control))
            return h;
        auto* h = new TControlHook(control);
        hooks_.push_back(h);
        return h;
    }

    bool Listed(TControlHook* h) const { return std::find(hooks_.begin(), hooks_.end(), h) != hooks_.end(); }
    int Count() const { return static_cast<int>(hooks_.size()); }

    // Called from destructors too: never throws. When the list has no window,
    // an emptied control hook simply stays listed until the list goes.
    void Post(UINT msg, TControlHook* h) noexcept
    {
        try {
            PostMessageW(Handle(), msg, 0, reinterpret_cast<LPARAM>(h));
        } catch (...) {
        }
    }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        auto* h = reinterpret_cast<TControlHook*>(lParam);
        if (msg == kReinstallMessage) {
            if (Listed(h))
                h->Install();
            return 0;
        }
        if (msg == kFreeMessage) {
            if (Listed(h) && h->Empty() && h->Busy()) {
                // A handler of its control pumped this message: asked again
                // once that dispatch is over.
                h->FreeWhenIdle();
                return 0;
            }
            if (Listed(h) && h->Empty()) {
                hooks_.erase(std::find(hooks_.begin(), hooks_.end(), h));
                delete h;
            }
            return 0;
        }
        return THiddenWindow::WndProc(msg, wParam, lParam);
    }

private:
    std::vector<TControlHook*> hooks_;
};

namespace {

THookList* g_list = nullptr;

THookList& List()
{
    if (!g_list)
        g_list = new THookList();
    return *g_list;
}

struct ListCleanup {
    ~ListCleanup()
    {
        delete g_list;
        g_list = nullptr;
    }
} g_listCleanup;

}  // namespace

int ControlHookCount() { return g_list ? g_list->Count() : 0; }

void TControlHook::Remove(TRxWindowHook* hook)
{
    auto it = std::find(hooks_.begin(), hooks_.end(), hook);
    if (it == hooks_.end())
        return;
    hooks_.erase(it);
    if (hooks_.empty()) {
        Uninstall();
        // Freed later, never inside the control's own window procedure.
        if (!destroying_ && g_list)
            g_list->Post(kFreeMessage, this);
    }
}

LRESULT TControlHook::Dispatch(UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next)
{
    struct Depth {
        TControlHook* h;
        explicit Depth(TControlHook* hook) : h(hook) { ++h->depth_; }
        ~Depth()
        {
            if (--h->depth_ == 0 && h->freePending_) {
                h->freePending_ = false;
                if (h->hooks_.empty() && g_list)
                    g_list->Post(kFreeMessage, h);
            }
        }
    } depth(this);
    TMessage m;
    m.Msg = msg;
    m.WParam = w;
    m.LParam = l;
    bool handled = false;
    // A copy: a handler may free hook components or add new ones.
    std::vector<TRxWindowHook*> list = hooks_;
    auto stillHere = [this](TRxWindowHook* h) {
        return std::find(hooks_.begin(), hooks_.end(), h) != hooks_.end();
    };
    if (msg != WM_QUIT && !destroying_ && !ControlDestroying()) {
        for (auto it = list.rbegin(); it != list.rend() && !handled; ++it)
            if (stillHere(*it))
                (*it)->DoBeforeMessage(m, handled);
    }
    if (!handled || msg == WM_DESTROY) {
        m.Result = next(m.Msg, m.WParam, m.LParam);
        bool afterHandled = false;
        for (auto it = list.rbegin(); it != list.rend() && !afterHandled; ++it)
            if (stillHere(*it))
                (*it)->DoAfterMessage(m, afterHandled);
    }
    if (msg == WM_DESTROY) {
        Uninstall();
        // The control may get a new window (re-creation): hook it again then.
        if (!destroying_ && !ControlDestroying() && g_list)
            g_list->Post(kReinstallMessage, this);
    }
    return m.Result;
}

// --- TRxWindowHook ---

TRxWindowHook::TRxWindowHook(TComponent* owner) : TComponent(owner) {}

TRxWindowHook::~TRxWindowHook()
{
    Destroying();
    active_ = false;
    Leave();
    if (control_)
        RemoveFreeNotification(control_);
    control_ = nullptr;
}

void TRxWindowHook::Join()
{
    if (!control_ || IsDestroying() || hook_)
        return;
    hook_ = List().Acquire(control_);
    hook_->Add(this);
}

void TRxWindowHook::Leave()
{
    if (!hook_)
        return;
    TControlHook* h = hook_;
    hook_ = nullptr;
    h->Remove(this);
}

void TRxWindowHook::SetActive(bool active)
{
    if (active && IsDestroying())
        return;
    active_ = active;
    if (active)
        Join();
    else
        Leave();
}

void TRxWindowHook::SetWinControl(TWinControl* control)
{
    if (control == control_)
        return;
    Leave();
    if (control_)
        RemoveFreeNotification(control_);
    control_ = control;
    if (control)
        FreeNotification(control);
    if (active_)
        Join();
}

void TRxWindowHook::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component && (component == control_ || component == Owner())) {
        Leave();
        control_ = nullptr;
    }
}

void TRxWindowHook::DoBeforeMessage(TMessage& message, bool& handled)
{
    if (BeforeMessage)
        BeforeMessage(this, message, handled);
}

void TRxWindowHook::DoAfterMessage(TMessage& message, bool& handled)
{
    if (AfterMessage)
        AfterMessage(this, message, handled);
}
