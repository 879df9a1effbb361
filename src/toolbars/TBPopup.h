// Popup menu windows: top-most tool windows with a 3-pixel frame that show
// the children of an item through a popup view, placed next to the item
// that opened them on its monitor and shown with the system's menu
// animation. TTBCustomItem::CreatePopup (defined here) makes and places them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/Control.h"
#include "toolbars/TBView.h"

// Directions a popup opens towards (the animation slides it in from the
// other side).
enum : std::uint8_t {
    tbpdOpensLeft = 1,
    tbpdOpensRight = 2,
    tbpdOpensDown = 4,
    tbpdOpensUp = 8,
};

class TTBPopupWindow : public TWinControl {
public:
    // parentView is the view whose item opens the popup (nullptr for a
    // popup at a point); item is the item whose children it shows.
    TTBPopupWindow(TTBCustomItem* item, TTBView* parentView, bool customizing);
    ~TTBPopupWindow() override;

    TTBPopupView* View() const { return view_; }
    // Where the popup opens towards (tbpdOpens... bits), 0 for none.
    std::uint8_t AnimationDirection = 0;

    void WndProc(TMessage& message) override;
    // The hint is the one of the viewer under the cursor, and stays while
    // the cursor is on that viewer.
    bool HintShow(THintInfo& info) override;

protected:
    void CreateParams(TCreateParams& params) override;
    // Showing goes through the menu animation; hiding ends it.
    void VisibleChanged() override;

private:
    void PaintFrame(HDC windowDC);
    void PaintClient(HDC dc);
    void PaintScrollArrows(HDC dc);
    TTBPopupView* view_ = nullptr;
    bool cuesInitialized_ = false;
    // The accessibility notice that the popup ended, once.
    void RaisePopupEnd(HWND h);
    bool popupEndRaised_ = false;
};

// The popup window factory of every item kind (GetPopupWindowClass).
TTBPopupWindow* NewTBPopupWindow(TTBCustomItem* item, TTBView* parentView, TTBItemViewer* parentViewer,
                                 bool customizing);

// Where a popup goes, worked out from the rectangle of what opened it (a
// viewer, or a point for a popup of its own). Pure arithmetic, so that the
// rules can be followed one by one.
struct TTBPopupPlacement {
    // In
    RECT ParentRect{};          // screen; the point itself for a point popup
    RECT Monitor{};             // the monitor's work area
    SIZE Size{};                // the popup window's size
    bool PointPopup = false;    // no parent viewer
    bool AsSubmenu = false;
    bool ParentVertical = false;
    bool ParentOpposite = false;   // the parent view opens its submenus to the left
    bool Chevron = false;
    bool ParentHorizontalToolbar = false;
    bool DropRightAligned = false; // SM_MENUDROPALIGNMENT
    TTBPopupAlignment Alignment = tbpaLeft;
    // Shown viewers of the parent view in screen coordinates (covering test).
    std::vector<RECT> ParentViewers;
    // Out
    POINT Pos{};
    bool Opposite = false;      // the popup opens its own submenus to the left
    std::uint8_t Direction = 0;

    void Compute();
};
