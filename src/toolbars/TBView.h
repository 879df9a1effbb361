// Views: the children of one item shown on one window, a toolbar or a popup
// menu. A view keeps one viewer per visible child, lays them out in rows
// (wrapping at separators, hiding the last ones behind a chevron), paints
// them through one off-screen bitmap, keeps the selection, turns mouse
// movement and keys into selection changes, opens and closes submenus with
// timers and runs the modal loop (TBModal.h) in which menus are used.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Events.h"
#include "toolbars/TBItems.h"

class TCanvas;
class TFont;
class TWinControl;
class TTBModalHandler;
class TTBPopupWindow;

enum TTBViewOrientation { tbvoHorizontal, tbvoVertical, tbvoFloating };

// State bits of a view.
using TTBViewState = std::uint8_t;
enum TTBViewStateFlag : TTBViewState {
    vsModal = 0x01,
    vsMouseInWindow = 0x02,
    vsDrawInOrder = 0x04,
    vsOppositePopup = 0x08,       // submenus open to the left
    vsIgnoreFirstMouseUp = 0x10,
    vsShowAccels = 0x20,
    vsDropDownMenus = 0x40,       // in a menu bar, moving to another item opens its menu at once
    vsNoAnimation = 0x80,
};

// Style bits of a view.
using TTBViewStyle = std::uint8_t;
enum TTBViewStyleFlag : TTBViewStyle {
    vsMenuBar = 0x01,
    vsUseHiddenAccels = 0x02,     // accelerators follow the keyboard cues
};

// Options of EnterModalLoop.
enum TTBEnterModalLoopOption : unsigned {
    tbetMouseDown = 1,            // the loop starts from a press on the selected viewer
    tbetExecuteSelected = 2,      // a menu opened by keyboard: run the selection first
    tbetNoGivePriority = 4,       // the item run that way keeps its chevron priority
};

// What the modal loop ends with; carried out after it has closed every menu.
enum class TTBDoneActionKind { None, Cancel, ClickItem, OpenSystemMenu, HelpContext };

struct TTBDoneAction {
    TTBDoneActionKind Kind = TTBDoneActionKind::None;
    TTBCustomItem* Item = nullptr;       // ClickItem
    std::weak_ptr<void> ItemAlive;       // the item may go before the action runs
    bool Sound = false;                  // ClickItem chosen in a popup: "MenuCommand"
    HWND Wnd = nullptr;                  // OpenSystemMenu
    unsigned Key = 0;                    // OpenSystemMenu
    int HelpContext = 0;                 // HelpContext
};

// Timer identifiers of a view (the window timer is 9000 + id).
enum TTBViewTimer : int {
    tbtOpen = 0,          // opens the selected submenu after the menu show delay
    tbtClose = 1,         // closes the open submenu after the menu show delay
    tbtScrollUp = 2,      // scrolls a tall popup while the mouse rests on an arrow
    tbtScrollDown = 3,
};
constexpr UINT_PTR kTBViewTimerBase = 9000;
// Height of the scroll-arrow zones of a popup taller than its monitor.
constexpr int kTBScrollArrowZone = 19;

class TTBView : public TComponent {
public:
    TTBView(TComponent* owner, TTBView* parentView, TTBCustomItem* parentItem, TWinControl* window,
            bool isToolbar, bool customizing, bool usePriorityList);
    ~TTBView() override;

    // --- what the view shows and where ---
    TTBCustomItem* RootItem() const { return rootItem_; }
    TTBCustomItem* ParentItem() const { return parentItem_; }
    TTBView* ParentView() const { return parentView_; }
    TWinControl* Window() const { return window_; }
    bool IsToolbar() const { return isToolbar_; }
    bool IsPopup() const { return !isToolbar_; }
    bool Customizing() const { return customizing_; }
    void SetCustomizing(bool v);
    TTBViewOrientation Orientation() const { return orientation_; }
    void SetOrientation(TTBViewOrientation v);
    TTBViewState State() const { return state_; }
    void SetState(TTBViewState v) { state_ = v; }
    void Include(TTBViewState bits) { state_ = static_cast<TTBViewState>(state_ | bits); }
    void Exclude(TTBViewState bits) { state_ = static_cast<TTBViewState>(state_ & ~bits); }
    TTBViewStyle Style() const { return style_; }
    void SetStyle(TTBViewStyle v) { style_ = v; }
    // The first ancestor view that is a toolbar view, else the topmost view.
    TTBView* GetRootView();
    // The deepest view of the open menu chain below this one (this when none is open).
    TTBView* DeepestOpenView();

    // --- layout parameters ---
    // Rows wrap at this length (0: no wrapping).
    int WrapWidth() const { return wrapWidth_; }
    void SetWrapWidth(int v);
    // Items beyond this length hide behind the chevron (0: none hide).
    int ChevronWidth() const { return chevronWidth_; }
    void SetChevronWidth(int v);
    // Popups: the monitor the popup lives on and the height it may take.
    RECT MonitorRect{};
    int MaxHeight = 0;
    // A chevron popup: the toolbar view whose hidden items it shows, and the
    // index of that view's first item viewer (after a leading item).
    TTBView* ChevronParentView() const { return chevronParentView_; }
    int ChevronIndexOffset() const { return chevronIndexOffset_; }

    // --- viewers ---
    int ViewerCount() const { return static_cast<int>(viewers_.size()); }
    TTBItemViewer* Viewers(int index) const { return viewers_.at(static_cast<size_t>(index)); }
    int IndexOf(const TTBItemViewer* viewer) const;
    // The viewer of an item in this view, or nullptr.
    TTBItemViewer* Find(const TTBCustomItem* item) const;
    // The first shown viewer whose bounds hold the client point.
    TTBItemViewer* ViewerFromPoint(POINT p);
    void RecreateAllViewers();
    bool UsePriorityList() const { return usePriorityList_; }
    void SetUsePriorityList(bool value);
    // The order in which viewers give way to the chevron, first to stay longest.
    const std::vector<TTBItemViewer*>& PriorityList() const { return priorityList_; }
    // New items join the priority list at its front (highest) or end.
    bool NewViewersGetHighestPriority = true;
    // Controls of control items whose viewers lie beyond the edge.
    void GetOffEdgeControlList(std::vector<TControl*>& list);

    // --- layout ---
    // Lays the viewers out now (when positions are not valid) and paints the
    // window if anything changed; returns the size found.
    SIZE UpdatePositions();
    // The size the items take at the given wrap and chevron lengths, without
    // changing anything.
    // fitBound (when given) receives the least wrap width that gives this
    // same layout (0 when nothing had to fit).
    SIZE MeasureSize(TTBViewOrientation orientation, int wrapWidth, int chevronWidth, int* fitBound = nullptr);
    // Between these, layouts measure each viewer once and reuse its size
    // (for many measurements of an unchanged tree, such as the floating
    // sizes of a toolbar). Nested calls count.
    void BeginSizeCache();
    void EndSizeCache();
    bool ValidatedPositions() const { return validated_; }
    // Marks the layout out of date; it is redone before the next paint, hit
    // test or selection.
    virtual void InvalidatePositions();
    void ValidatePositions();
    void BeginUpdate();
    void EndUpdate();
    // The size of the last layout.
    SIZE LayoutSize() const { return layoutSize_; }

    // --- selection ---
    TTBItemViewer* Selected() const { return selected_; }
    bool SelectedViaMouse() const { return selectedViaMouse_; }
    bool MouseOverSelected() const { return mouseOverSelected_; }
    bool MouseDownOnButtonPart() const { return mouseDownOnButtonPart_; }
    void SetMouseDownOnButtonPart(bool v) { mouseDownOnButtonPart_ = v; }
    // The press under way was on a combo's arrow part.
    bool MouseDownOnArrowPart = false;
    void Select(TTBItemViewer* viewer, bool viaMouse);
    // The selection follows the cursor (screen point).
    void UpdateSelection(POINT cursorPos, bool viaMouse);
    // The next (previous) selectable viewer after `from`, wrapping; nullptr
    // after a full circle. `from` nullptr starts at the beginning (end).
    TTBItemViewer* NextSelectable(TTBItemViewer* from, bool forward);
    // Selects the first (last) selectable viewer by keyboard and scrolls it
    // into view; false when the selection's handlers freed the view.
    bool SelectFirst(bool last = false);
    // Selects by keyboard and scrolls the selection into view; false when
    // the selection's handlers freed the view.
    bool SelectAndScroll(TTBItemViewer* viewer);
    // Scrolls a tall popup so that the viewer is whole.
    void ScrollSelectedIntoView();
    // A typed character selects the item whose accelerator (else first
    // letter) it is, searching on from the selection; execute tells whether
    // that item is the only one to answer it. False when none does. The
    // selection's handlers may free the view: callers check before going on.
    bool SelectByChar(const std::wstring& ch, bool& execute);

    // --- popups ---
    TTBItemViewer* OpenViewer() const { return openViewer_; }
    TTBView* OpenViewerView() const { return openViewerView_; }
    TTBPopupWindow* OpenViewerWindow() const { return openViewerWindow_; }
    // Opens the selected item's popup; true when a popup is open after it.
    bool OpenPopup(bool selectFirstItem);
    void CloseChildPopups();
    void CancelChildPopups();
    // Set by CreatePopup on the view that opened it.
    void SetOpenViewer(TTBItemViewer* viewer, TTBView* view, TTBPopupWindow* window);

    // --- running items ---
    void ExecuteSelected(bool givePriority);
    // Moves the item to the front of the chevron priority order.
    void GivePriority(TTBItemViewer* viewer);

    // --- the modal loop ---
    void EnterModalLoop(unsigned options);
    bool IsModal() const { return (state_ & vsModal) != 0; }
    // Each ends the loop of the root view with its done action.
    void EndModal();
    void EndModalWithClick(TTBItemViewer* viewer);
    void EndModalWithSystemMenu(HWND wnd, unsigned key);
    void EndModalWithHelp(int helpContext);
    const TTBDoneAction& DoneAction() const { return doneAction_; }
    void ClearDoneAction() { doneAction_ = TTBDoneAction{}; }
    // A press under way ends (capture lost).
    void CancelCapture();
    // WM_CANCELMODE: the loop ends and every open popup hides.
    void CancelMode();
    // The window that holds the mouse while the loop runs.
    HWND CapturedWnd() const { return capturedWnd_; }
    void SetCapturedWnd(HWND wnd) { capturedWnd_ = wnd; }
    // Only asks the loop to return the item instead of clicking it.
    bool ReturnClickedItemOnly = false;

    // --- timers ---
    void StartTimer(int id, UINT interval);
    void StopTimer(int id);
    void StopAllTimers();
    bool TimerRunning(int id) const { return (activeTimers_ & (1u << id)) != 0; }
    // A timer of this view fired (from the loop or the window).
    void TimerFired(int id);

    // --- painting ---
    // The window asks the view to draw its viewers after its background.
    void DrawSubitems(TCanvas& canvas);
    // Repaints one viewer (off-screen, without erasing).
    void Invalidate(TTBItemViewer* viewer);
    // Keyboard cues: accelerators underlined or not.
    void SetAccelsVisibility(bool show);
    // Every viewer is drawn off-screen on the next paint (what a caller that
    // changed colours asks for).
    bool ForceOffscreenViewers = false;

    // --- scrolling of a tall popup ---
    int ScrollOffset() const { return scrollOffset_; }
    bool ShowUpArrow() const { return showUpArrow_; }
    bool ShowDownArrow() const { return showDownArrow_; }
    void Scroll(bool down);

    // Menu show delay (0 and up); a seam for tests that want another.
    static UINT ShowDelay();

    // --- virtual operations ---
    virtual void AutoSize(int width, int height);
    // Lays out and stores the positions; true when anything changed.
    virtual bool DoUpdatePositions(SIZE& size);
    virtual TTBCustomItem* GetChevronItem();
    virtual RECT GetMargins(TTBViewOrientation orientation);
    virtual void GetTrailingItems(std::vector<TTBCustomItem*>& items);
    virtual TTBCustomItem* GetLeadingItem();
    virtual void KeyDown(WORD& key, TShiftState shift);
    virtual TFont& GetFont();

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TTBModalHandler;
    struct TLayoutResult;
    void LinkNotification(TTBCustomItem* ancestor, bool relayed, TTBItemChangeKind kind, int index,
                          TTBCustomItem* item);
    void ItemNotification(TTBCustomItem* ancestor, bool relayed, TTBItemChangeKind kind, int index,
                          TTBCustomItem* item);
    void SetRootItem(TTBCustomItem* item);
    void FreeViewers();
    void AddViewersOf(TTBCustomItem* parent, int groupLevel, std::vector<TTBItemViewer*>& into);
    TTBItemViewer* NewViewer(TTBCustomItem* item, int groupLevel);
    void InsertViewerFor(TTBCustomItem* item);
    void RemoveViewerAt(int index);
    void RecreateItemViewers(TTBCustomItem* item);
    void Layout(TTBViewOrientation orientation, int wrapWidth, int chevronWidth, bool apply,
                TLayoutResult& result);
    bool IsSelectable(TTBItemViewer* v) const;
    void DrawViewer(TCanvas& canvas, TTBItemViewer* v, bool offscreen);
    void RenderWindow();
    void UpdateScrollArrows(POINT clientPos);
    void DoneActionNeedsRoot(const TTBDoneAction& action);

    TTBCustomItem* parentItem_ = nullptr;
    TTBCustomItem* rootItem_ = nullptr;
    TTBView* parentView_ = nullptr;
    TWinControl* window_ = nullptr;
    bool isToolbar_;
    bool customizing_;
    bool usePriorityList_;
    TTBViewOrientation orientation_ = tbvoHorizontal;
    TTBViewState state_ = 0;
    TTBViewStyle style_ = 0;
    std::uint8_t activeTimers_ = 0;
    std::vector<TTBItemViewer*> viewers_;
    std::vector<TTBItemViewer*> priorityList_;
    TTBItemViewer* chevronViewer_ = nullptr;
    TTBCustomItem* leadingItem_ = nullptr;
    TTBView* chevronParentView_ = nullptr;
    int chevronIndexOffset_ = 0;
    int wrapWidth_ = 0;
    int chevronWidth_ = 0;
    TTBItemViewer* selected_ = nullptr;
    bool selectedViaMouse_ = false;
    bool mouseOverSelected_ = false;
    bool mouseDownOnButtonPart_ = false;
    TTBItemViewer* openViewer_ = nullptr;
    TTBView* openViewerView_ = nullptr;
    TTBPopupWindow* openViewerWindow_ = nullptr;
    TTBDoneAction doneAction_;
    HWND capturedWnd_ = nullptr;
    bool validated_ = false;
    int updateCount_ = 0;
    SIZE layoutSize_{0, 0};
    int scrollOffset_ = 0;
    bool showUpArrow_ = false;
    bool showDownArrow_ = false;
    int totalHeight_ = 0;
    bool inRelayout_ = false;
    int sizeCacheDepth_ = 0;
    std::vector<SIZE> sizeCache_;   // {-1, -1}: not measured yet
};

// The view of a popup window: its size follows the layout (plus the frame),
// its font is the window's.
class TTBPopupView : public TTBView {
public:
    using TTBView::TTBView;
    void AutoSize(int width, int height) override;
    TFont& GetFont() override;
};
