#include "platform/Screen.h"

#include <windows.h>

#include <algorithm>

#include "platform/Firewall.h"
#include "platform/Form.h"

TScreen& TScreen::Instance()
{
    static TScreen screen;
    return screen;
}

TForm* TScreen::ActiveForm() const
{
    HWND active = GetActiveWindow();
    if (!active)
        return nullptr;
    for (TForm* f : forms_)
        if (f->HandleAllocated() && const_cast<TForm*>(f)->Handle() == active)
            return f;
    return nullptr;
}

std::vector<TForm*> TScreen::FormsInZOrder() const
{
    std::vector<TForm*> result;
    std::vector<TForm*> withWindow;
    for (TForm* f : forms_)
        if (f->HandleAllocated())
            withWindow.push_back(f);
    if (withWindow.empty())
        return result;
    // Walk the desktop's top-level windows from the top.
    for (HWND h = GetTopWindow(nullptr); h && result.size() < withWindow.size(); h = GetWindow(h, GW_HWNDNEXT))
        for (TForm* f : withWindow)
            if (f->Handle() == h) {
                result.push_back(f);
                break;
            }
    // A form whose window the walk did not meet (another desktop) goes last.
    for (TForm* f : withWindow)
        if (std::find(result.begin(), result.end(), f) == result.end())
            result.push_back(f);
    return result;
}

TForm* TScreen::FormOfWindow(HWND window) const
{
    if (!window)
        return nullptr;
    HWND root = GetAncestor(window, GA_ROOT);
    if (!root)
        root = window;
    for (TForm* f : forms_)
        if (f->HandleAllocated() && f->Handle() == root)
            return f;
    return nullptr;
}

TForm* TScreen::OwnerForm(TForm* form) const
{
    if (!form || !form->HandleAllocated())
        return nullptr;
    HWND owner = GetWindow(form->Handle(), GW_OWNER);
    return owner ? FormOfWindow(owner) : nullptr;
}

int TScreen::AddFormObserver(TFormObserver observer)
{
    int id = nextId_++;
    observers_.push_back({id, std::move(observer)});
    return id;
}

void TScreen::RemoveFormObserver(int id)
{
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [id](const Observer& o) { return o.id == id; }),
                     observers_.end());
}

void TScreen::NotifyObservers(TForm* form, TFormNotice notice)
{
    // A copy: an observer may add or remove observers; a removed one is skipped.
    std::vector<Observer> list = observers_;
    for (const Observer& o : list) {
        bool present = std::any_of(observers_.begin(), observers_.end(),
                                   [&](const Observer& x) { return x.id == o.id; });
        if (present && o.fn)
            o.fn(form, notice);
    }
}

void TScreen::AddForm(TForm* form)
{
    if (!form || std::find(forms_.begin(), forms_.end(), form) != forms_.end())
        return;
    forms_.push_back(form);
    try {
        NotifyObservers(form, TFormNotice::fnCreated);
    } catch (...) {
        RemoveForm(form);
        throw;
    }
}

void TScreen::RemoveForm(TForm* form) noexcept
{
    auto it = std::find(forms_.begin(), forms_.end(), form);
    if (it == forms_.end())
        return;
    Guarded([&] { NotifyObservers(form, TFormNotice::fnDestroying); });
    it = std::find(forms_.begin(), forms_.end(), form);
    if (it != forms_.end())
        forms_.erase(it);
}
