#include "platform/PageControl.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "platform/Text.h"

// --- TTabSheet ---

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    SetVisible(false);
}

TTabSheet::~TTabSheet()
{
    if (pageControl_)
        pageControl_->RemovePage(this);
}

void TTabSheet::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"BrenixTabSheet";
}

void TTabSheet::SetPageControl(TPageControl* pageControl)
{
    if (pageControl == pageControl_)
        return;
    SetParent(pageControl);   // the page controls' ControlChange keeps their lists
}

void TTabSheet::SetTabVisible(bool visible)
{
    if (visible == tabVisible_)
        return;
    tabVisible_ = visible;
    if (pageControl_)
        pageControl_->UpdateTabs();
}

int TTabSheet::PageIndex() const
{
    if (!pageControl_)
        return -1;
    const auto& pages = pageControl_->pages_;
    return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

int TTabSheet::TabIndex() const
{
    if (!pageControl_ || !tabVisible_)
        return -1;
    int index = 0;
    for (TTabSheet* p : pageControl_->pages_) {
        if (p == this)
            return index;
        if (p->tabVisible_)
            ++index;
    }
    return -1;
}

void TTabSheet::CaptionChanged()
{
    TWinControl::CaptionChanged();
    if (pageControl_)
        pageControl_->UpdateTabs();
}

// --- TPageControl ---

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    width_ = 289;
    height_ = 193;
    SetTabStop(true);
}

TPageControl::~TPageControl()
{
    for (TTabSheet* p : pages_)
        p->pageControl_ = nullptr;
    pages_.clear();
    activePage_ = nullptr;
}

void TPageControl::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = WC_TABCONTROLW;
    params.systemClass = true;
    params.style |= WS_CLIPCHILDREN;
}

void TPageControl::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    UpdateTabs();
}

TTabSheet* TPageControl::Pages(int index) const
{
    return index >= 0 && index < PageCount() ? pages_[static_cast<size_t>(index)] : nullptr;
}

void TPageControl::ControlChange(TControl* control, bool inserting)
{
    auto* page = dynamic_cast<TTabSheet*>(control);
    if (!page)
        return;
    if (inserting)
        InsertPage(page);
    else
        RemovePage(page);
}

void TPageControl::InsertPage(TTabSheet* page)
{
    if (std::find(pages_.begin(), pages_.end(), page) != pages_.end())
        return;
    pages_.push_back(page);
    page->pageControl_ = this;
    page->SetVisible(false);
    UpdateTabs();
    if (!activePage_)
        SetActivePage(page);
    else
        Realign();
}

void TPageControl::RemovePage(TTabSheet* page)
{
    auto it = std::find(pages_.begin(), pages_.end(), page);
    if (it == pages_.end())
        return;
    const size_t index = static_cast<size_t>(it - pages_.begin());
    pages_.erase(it);
    page->pageControl_ = nullptr;
    if (activePage_ == page) {
        activePage_ = nullptr;
        if (!pages_.empty() && !IsDestroying())
            SetActivePage(pages_[std::min(index, pages_.size() - 1)]);
    }
    if (!IsDestroying())
        UpdateTabs();
}

void TPageControl::SetActivePage(TTabSheet* page)
{
    if (page && page->pageControl_ != this)
        return;
    activePage_ = page;
    ShowActivePage();
    if (HandleAllocated())
        SendMessageW(Handle(), TCM_SETCURSEL, page ? static_cast<WPARAM>(page->TabIndex()) : static_cast<WPARAM>(-1), 0);
}

int TPageControl::ActivePageIndex() const
{
    return activePage_ ? activePage_->PageIndex() : -1;
}

void TPageControl::SetActivePageIndex(int index)
{
    SetActivePage(Pages(index));
}

int TPageControl::TabIndex() const
{
    if (!HandleAllocated())
        return activePage_ ? activePage_->TabIndex() : -1;
    return static_cast<int>(SendMessageW(const_cast<TPageControl*>(this)->Handle(), TCM_GETCURSEL, 0, 0));
}

TTabSheet* TPageControl::PageOfTab(int tabIndex) const
{
    if (tabIndex < 0)
        return nullptr;
    int index = 0;
    for (TTabSheet* p : pages_) {
        if (!p->tabVisible_)
            continue;
        if (index == tabIndex)
            return p;
        ++index;
    }
    return nullptr;
}

void TPageControl::UpdateTabs()
{
    if (HandleAllocated() && !IsDestroying()) {
        HWND h = Handle();
        SendMessageW(h, TCM_DELETEALLITEMS, 0, 0);
        int index = 0;
        for (TTabSheet* p : pages_) {
            if (!p->tabVisible_)
                continue;
            std::wstring text = Utf8ToWide(p->TControl::Caption());
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = text.data();
            SendMessageW(h, TCM_INSERTITEMW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
        }
        const int tab = activePage_ ? activePage_->TabIndex() : -1;
        SendMessageW(h, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    }
    Realign();
    Invalidate();
}

void TPageControl::ShowActivePage()
{
    Realign();
    for (TTabSheet* p : pages_)
        if (p != activePage_)
            p->SetVisible(false);
    if (activePage_) {
        activePage_->SetVisible(true);
        if (activePage_->HandleAllocated())
            BringWindowToTop(activePage_->Handle());
    }
}

void TPageControl::AlignControls(RECT& rect)
{
    if (HandleAllocated()) {
        RECT client{};
        GetClientRect(Handle(), &client);
        rect = client;
        SendMessageW(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rect));
        if (rect.right < rect.left)
            rect.right = rect.left;
        if (rect.bottom < rect.top)
            rect.bottom = rect.top;
    }
    for (TTabSheet* p : pages_)
        p->SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

bool TPageControl::TabStopOfItsOwn() const
{
    return std::any_of(pages_.begin(), pages_.end(), [](TTabSheet* p) { return p->tabVisible_; });
}

int PageTurnKey(WORD key, TShiftState shift)
{
    if ((shift & (ssCtrl | ssAlt)) != ssCtrl)
        return 0;
    if (key == VK_TAB)
        return shift & ssShift ? -1 : 1;
    if ((key == VK_NEXT || key == VK_PRIOR) && !(shift & ssShift))
        return key == VK_NEXT ? 1 : -1;
    return 0;
}

bool TPageControl::KeyFromInside(WORD key, TShiftState shift)
{
    const int turn = PageTurnKey(key, shift);
    return turn != 0 && SelectNextPage(turn > 0);
}

bool TPageControl::SelectNextPage(bool forward)
{
    std::vector<TTabSheet*> shown;
    for (TTabSheet* p : pages_)
        if (p->tabVisible_)
            shown.push_back(p);
    auto at = std::find(shown.begin(), shown.end(), activePage_);
    if (shown.size() < 2)
        return false;
    const size_t n = shown.size();
    size_t index = at == shown.end() ? (forward ? n - 1 : 0) : static_cast<size_t>(at - shown.begin());
    TTabSheet* next = shown[forward ? (index + 1) % n : (index + n - 1) % n];
    std::weak_ptr<void> alive = AliveToken();
    bool allow = true;
    if (OnChanging)
        OnChanging(this, allow);
    if (alive.expired() || !allow)
        return true;
    HWND focus = GetFocus();
    const bool onPage = HandleAllocated() && focus && focus != Handle() && IsChild(Handle(), focus);
    SetActivePage(next);
    if (onPage) {
        if (TWinControl* first = next->FindNextControl(nullptr, true, true))
            first->SetFocus();
        else if (CanFocus())
            SetFocus();
    }
    if (OnChange)
        OnChange(this);
    return true;
}

bool TPageControl::Notify(NMHDR* header, LRESULT& result)
{
    switch (header->code) {
    case TCN_SELCHANGING: {
        bool allow = true;
        if (OnChanging)
            OnChanging(this, allow);
        result = allow ? FALSE : TRUE;
        return true;
    }
    case TCN_SELCHANGE: {
        TTabSheet* page = PageOfTab(static_cast<int>(SendMessageW(Handle(), TCM_GETCURSEL, 0, 0)));
        activePage_ = page;
        ShowActivePage();
        if (OnChange)
            OnChange(this);
        result = 0;
        return true;
    }
    default:
        return false;
    }
}
