// A page control: the system's tab control with one page (TTabSheet) per
// tab; the active page fills the area under the tabs, the others are
// hidden. A page's tab can be hidden while the page stays: a page control
// with every tab hidden shows its active page alone.
#pragma once
#include <functional>
#include <vector>

#include "platform/Control.h"

class TPageControl;

// The keys that turn pages: Ctrl+Tab and Ctrl+PgDn forward (1),
// Ctrl+Shift+Tab and Ctrl+PgUp back (-1); 0 for any other key.
int PageTurnKey(WORD key, TShiftState shift);

class TTabSheet : public TWinControl {
public:
    explicit TTabSheet(TComponent* owner);
    ~TTabSheet() override;

    TPageControl* PageControl() const { return pageControl_; }
    // Puts the page on a page control (its last page), or takes it off (nullptr).
    void SetPageControl(TPageControl* pageControl);
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool visible);
    // The page's place among its control's pages; -1 without a control.
    int PageIndex() const;
    // The place of its tab among the shown tabs; -1 when hidden.
    int TabIndex() const;

protected:
    void CreateParams(TCreateParams& params) override;
    void CaptionChanged() override;

private:
    friend class TPageControl;
    TPageControl* pageControl_ = nullptr;
    bool tabVisible_ = true;
};

class TPageControl : public TWinControl {
public:
    explicit TPageControl(TComponent* owner);
    ~TPageControl() override;

    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int index) const;
    TTabSheet* ActivePage() const { return activePage_; }
    // Shows the page (nullptr: none) and selects its tab; no events.
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    // The tab selected in the window (-1: none), and the page of a tab.
    int TabIndex() const;
    TTabSheet* PageOfTab(int tabIndex) const;

    // The next (previous) page whose tab shows, round the end, as if the
    // user clicked its tab (OnChanging, OnChange). The focus, when it was on
    // the old page, goes to the first stop of the new one. False when there
    // is no other tab.
    bool SelectNextPage(bool forward);

    // The tab strip is a Tab stop while it shows a tab.
    bool TabStopOfItsOwn() const override;
    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp turn the pages from
    // anywhere inside the control.
    bool KeyFromInside(WORD key, TShiftState shift) override;

    // The user is about to leave the active page; set allow false to stay.
    std::function<void(TObject* sender, bool& allowChange)> OnChanging;
    // The user chose another page (after it shows).
    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void ControlChange(TControl* control, bool inserting) override;
    void AlignControls(RECT& rect) override;
    bool Notify(NMHDR* header, LRESULT& result) override;

private:
    friend class TTabSheet;
    void InsertPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    // The tab items again from the pages (text, shown tabs, selection).
    void UpdateTabs();
    void ShowActivePage();

    std::vector<TTabSheet*> pages_;
    TTabSheet* activePage_ = nullptr;
};
