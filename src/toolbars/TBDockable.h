// The dockable window: the base of every toolbar. It sits in a dock
// (TTBDock) in a row at a position, or floats in its own small tool-window
// form (TTBFloatingWindowParent). It runs the drag loop that moves it
// between docks and the floating state (the window itself follows the mouse,
// or a halftone outline on the desktop does), the sizing loop of a floating
// window, draws its docked frame with the drag handle and the docked close
// button, and keeps its floating window's owner and visibility in step with
// its form and the application.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Control.h"
#include "platform/Form.h"

class TTBDock;
class TTBFloatingWindowParent;
class TTBCustomDockableWindow;
class TPopupMenu;

// The edge of the form a dock lies along.
enum TTBDockPosition { dpTop, dpBottom, dpLeft, dpRight };
// Set of TTBDockPosition bits.
using TTBDockableTo = unsigned;
constexpr TTBDockableTo DockableToBit(TTBDockPosition p) { return 1u << p; }
constexpr TTBDockableTo AllDockPositions = 0xF;

enum TTBDockMode { dmCanFloat, dmCannotFloat, dmCannotFloatOrChangeDocks };
enum TTBDragHandleStyle { dhDouble, dhNone, dhSingle };
enum TTBFloatingMode { fmOnTopOfParentForm, fmOnTopOfAllForms };
// How a toolbar gives way when its row is too short.
enum TTBShrinkMode { tbsmNone, tbsmWrap, tbsmChevron };
// The orientation a window is laid out for.
enum TTBDockType { dtNotDocked, dtFloating, dtTopBottom, dtLeftRight };
// The sizing handles of a floating window, in the order the border hit
// codes give them.
enum TTBSizeHandle {
    twshLeft, twshRight, twshTop, twshTopLeft, twshTopRight, twshBottom, twshBottomLeft, twshBottomRight
};
// The docked frame: a raised inner edge, or a flat frame in the window's colour.
enum class TTBBorderStyle { bsNone, bsSingle };

// Option flags of a dockable window.
enum TTBDockableWindowOption : unsigned {
    tbdwoClipCursorWhenSizing = 1,   // confine the cursor to the work area while sizing
};

using TTBDockChangingEvent = std::function<void(TObject* sender, bool floating, TTBDock* dockingTo)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// Sizes the drag loop works with for one place the window may go to.
struct TTBDragTarget {
    TTBDock* Dock = nullptr;      // nullptr: floating
    SIZE Size{};                  // the window's size there
    RECT ScreenRect{};            // the dock's screen rectangle
};

class TTBCustomDockableWindow : public TWinControl {
public:
    explicit TTBCustomDockableWindow(TComponent* owner);
    ~TTBCustomDockableWindow() override;

    // --- place ---
    TTBDock* CurrentDock() const { return currentDock_; }
    // Moves into the dock (nullptr: onto the parent form; while loading only stored).
    void SetCurrentDock(TTBDock* dock);
    TTBDock* DefaultDock() const { return defaultDock_; }
    void SetDefaultDock(TTBDock* dock);
    TTBDock* LastDock() const { return lastDock_; }
    void SetLastDock(TTBDock* dock);
    bool UseLastDock() const { return useLastDock_; }
    void SetUseLastDock(bool v);
    int DockPos() const { return dockPos_; }
    void SetDockPos(int v);
    int DockRow() const { return dockRow_; }
    void SetDockRow(int v);
    TTBDockableTo DockableTo() const { return dockableTo_; }
    void SetDockableTo(TTBDockableTo v) { dockableTo_ = v; }
    TTBDockMode DockMode() const { return dockMode_; }
    void SetDockMode(TTBDockMode v) { dockMode_ = v; }
    bool Docked() const { return docked_; }
    bool Floating() const { return floating_; }
    // Moves into a floating window parent (true) or back onto the form (false).
    void SetFloating(bool value);
    // The screen point of the floating window's top-left corner.
    POINT FloatingPosition() const { return floatingPosition_; }
    void SetFloatingPosition(POINT p);
    TTBFloatingWindowParent* FloatingWindowParent() const { return floatParent_; }
    // The form this window belongs to (the floating window parent's form while floating).
    TForm* GetParentForm();

    // --- look and behaviour ---
    bool ActivateParent() const { return activateParent_; }
    void SetActivateParent(bool v) { activateParent_ = v; }
    bool AutoResize() const { return autoResize_; }
    void SetAutoResize(bool v);
    TTBBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TTBBorderStyle v);
    bool CloseButton() const { return closeButton_; }
    void SetCloseButton(bool v);
    bool CloseButtonWhenDocked() const { return closeButtonWhenDocked_; }
    void SetCloseButtonWhenDocked(bool v);
    TTBDragHandleStyle DragHandleStyle() const { return dragHandleStyle_; }
    void SetDragHandleStyle(TTBDragHandleStyle v);
    TTBFloatingMode FloatingMode() const { return floatingMode_; }
    void SetFloatingMode(TTBFloatingMode v);
    bool FullSize() const { return fullSize_; }
    void SetFullSize(bool v);
    bool HideWhenInactive() const { return hideWhenInactive_; }
    void SetHideWhenInactive(bool v);
    bool Resizable() const { return resizable_; }
    void SetResizable(bool v);
    bool ShowCaption() const { return showCaption_; }
    void SetShowCaption(bool v);
    bool SmoothDrag() const { return smoothDrag_; }
    void SetSmoothDrag(bool v) { smoothDrag_ = v; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool v);
    unsigned DockableWindowStyles() const { return dwStyles_; }
    void SetDockableWindowStyles(unsigned v) { dwStyles_ = v; }
    // A context menu shown on a right click in the frame (nullptr: none).
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

    // --- state the dock and the floating window parent read ---
    bool IsDragging() const { return dragMode_; }
    bool IsSizing() const { return sizing_; }
    // Set by the dock's arrangement: the row and position it gave the window.
    int EffectiveDockRow() const { return effectiveDockRow_; }
    int EffectiveDockPos() const { return effectiveDockPos_; }
    // The dock records its arrangement; with commit also DockRow and DockPos.
    void SetArrangedPlace(int row, int pos, bool commit);
    // A dragged window in a full row: it may move to a row of its own.
    bool DragCanSplit = false;
    // The length the dock gives this window in its row, without the frame
    // (0: its full length). The window's base size honours it.
    int DockedLengthLimit() const { return lengthLimit_; }
    void SetDockedLengthLimit(int v) { lengthLimit_ = v; }
    bool SavedAtRunTime() const { return savedAtRunTime_; }

    // --- virtual operations descendants provide ---
    // The client size the window wants laid out for type (for docks: at
    // DockedLengthLimit when that is set).
    virtual SIZE CalcBaseSize(TTBDockType type);
    // The sizes a floating window may take (client area; 0 = no limit).
    virtual void GetMinMaxSize(SIZE& minSize, SIZE& maxSize);
    // The shortest length a shrinking window can take in a dock, with its frame.
    virtual int GetMinShrinkSize();
    virtual TTBShrinkMode GetShrinkMode() const { return tbsmNone; }
    // A window that wants a row to itself.
    virtual bool IsStandalone() const { return false; }
    // Whether the floating window may be sized by its corners.
    virtual bool AllowCornerSizing() const { return true; }
    // The docked close button rectangle in window coordinates (empty without one).
    virtual RECT GetDockedCloseButtonRect(bool leftRight);
    // Makes the floating window parent (the default: TTBFloatingWindowParent).
    virtual TTBFloatingWindowParent* NewFloatingWindowParent();
    // The sizing loop lets a descendant change the rectangle (a toolbar
    // snaps to its wrap sizes); rect is the floating client rectangle.
    virtual void SizeChanging(TTBSizeHandle handle, SIZE& size);
    // The window's content changed size on its own; default arranges.
    virtual void Arrange();

    // --- sizes of the frames ---
    // Width of the docked frame at the start and end of each side: left,
    // top, right, bottom (window coordinates), for a dock of that type.
    RECT DockedFrame(TTBDockType type) const;
    // The non-client size while docked in that type of dock.
    SIZE DockedNCSize(TTBDockType type) const { RECT f = DockedFrame(type); return SIZE{f.left + f.right, f.top + f.bottom}; }
    // The floating window parent's frame on each side (caption included at the top).
    RECT FloatingFrame() const;
    // Drag handle size (along the dock) for the current style and close button.
    int DragHandleSize() const;

    // --- operations ---
    // The drag loop from a press at client point (x, y).
    void BeginMoving(int x, int y);
    // The sizing loop of a floating window from a border handle.
    void BeginSizing(TTBSizeHandle handle);
    // CanClose starts true; OnCloseQuery may clear it; then the window hides and OnClose fires.
    void CloseWindow();
    // True while floating, or docked in a dock that allows dragging.
    bool CanDrag() const;
    // The double click on the drag handle or floating caption: dock or float.
    void DoubleClick();
    // Moves a floating window parent that lies outside its monitor's work
    // area inside; onlyIfFullyOffScreen leaves it while it still touches it.
    void MoveOnScreen(bool onlyIfFullyOffScreen);
    // Shows or hides the floating window after its form and the
    // application (activation, minimising).
    void UpdateFloatingVisibility();
    // Puts the floating window parent's owner after FloatingMode.
    void UpdateFloatingOwner();
    // Arrangement holds: EndUpdate arranges when a request came meanwhile.
    void BeginUpdate() { ++disableArrange_; }
    void EndUpdate();

    void SetParent(TWinControl* parent) override;
    void SetBounds(int left, int top, int width, int height) override;
    void WndProc(TMessage& message) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    const TPropTable& Published() const override;

    // --- events ---
    TNotifyEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TNotifyEvent OnDockChanged;
    TTBDockChangingEvent OnDockChanging;
    // After OnDockChanging, with the window out of sight until it shows at
    // its new place.
    TTBDockChangingEvent OnDockChangingHidden;
    TNotifyEvent OnMove;
    TNotifyEvent OnRecreated;
    TNotifyEvent OnRecreating;
    TNotifyEvent OnVisibleChanged;
    // A context menu asked for on the frame (mousePos on the screen, -1, -1
    // from the keyboard); handled keeps PopupMenu from showing.
    std::function<void(TObject* sender, POINT mousePos, bool& handled)> OnContextPopup;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    void VisibleChanged() override;
    void CaptionChanged() override;
    // The window's size changed, not through its own arrangement.
    virtual void SizeChangedExternally() {}
    // The frame (non-client area) must be measured again.
    void RecalcNCArea();
    // Paints the docked frame into a window DC.
    void DrawNCArea(HDC dc, bool drawCloseButtonOnly, int closeButtonState);
    // Docked in a dock that shares its background with its toolbars, the
    // client area shows that background, aligned with the dock.
    void PaintBackground(TCanvas& canvas, const RECT& clientRect) override;

private:
    friend class TTBDockableWindowDrag;
    friend class TTBDockableWindowSizing;
    void ChangeParent(TWinControl* parent);
    void FreeFloatParentIfUnused();
    void DoArrange(bool canMoveControls);
    void HandleNCHitTest(TMessage& m);
    void HandleNCCalcSize(TMessage& m);
    void HandleNCPaint(TMessage& m);
    void HandleNCLButton(TMessage& m, bool dblClick);
    void HandleSetCursor(TMessage& m);
    void TrackDockedCloseButton();
    void DockedCloseButtonHot(bool hot);
    void PaintOnMove();
    // Draws the dock's shared background under the client area into a DC
    // whose origin is the client area's; false when the dock shares none.
    bool DrawDockBackground(HDC dc);
    TTBDockType CurrentDockType() const;

    TTBDock* currentDock_ = nullptr;
    TTBDock* defaultDock_ = nullptr;
    TTBDock* lastDock_ = nullptr;
    TTBFloatingWindowParent* floatParent_ = nullptr;
    TForm* floatParentForm_ = nullptr;
    POINT floatingPosition_{};
    int dockPos_ = -1;
    int dockRow_ = 0;
    int effectiveDockRow_ = 0;
    int effectiveDockPos_ = 0;
    int lengthLimit_ = 0;
    TTBDockableTo dockableTo_ = AllDockPositions;
    TTBDockMode dockMode_ = dmCanFloat;
    TTBDragHandleStyle dragHandleStyle_ = dhSingle;
    TTBFloatingMode floatingMode_ = fmOnTopOfParentForm;
    TTBBorderStyle borderStyle_ = TTBBorderStyle::bsSingle;
    unsigned dwStyles_ = tbdwoClipCursorWhenSizing;
    TPopupMenu* popupMenu_ = nullptr;
    bool activateParent_ = true;
    bool autoResize_ = true;
    bool closeButton_ = true;
    bool closeButtonWhenDocked_ = false;
    bool fullSize_ = false;
    bool hideWhenInactive_ = true;
    bool resizable_ = true;
    bool showCaption_ = true;
    bool smoothDrag_ = true;
    bool stretch_ = false;
    bool useLastDock_ = true;
    bool docked_ = false;
    bool floating_ = false;
    bool dragMode_ = false;
    bool sizing_ = false;
    bool savedAtRunTime_ = false;
    bool closeButtonHot_ = false;
    bool closeButtonDown_ = false;
    bool inArrange_ = false;
    bool inSetParent_ = false;
    int disableArrange_ = 0;
    bool arrangeNeeded_ = false;
    int disableOnMove_ = 0;
    bool moveEventNeeded_ = false;
};
