// Controls as thin classes over HWND. TControl holds what every control has
// (parent, bounds, visibility, caption, font, mouse events); TWinControl owns
// a window and routes its messages through WndProc; TGraphicControl has no
// window of its own: its parent paints it and passes it the mouse.
// Controls are heap objects: the owner frees them, and a windowed control
// frees the children that are still on it when it goes.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Events.h"
#include "platform/Graphics.h"

class TBasicAction;
class TCanvas;
class TWinControl;
struct THintInfo;

// Sent by RecreateWnd to the control's window, whose procedure then destroys
// it and makes a new one: whoever watches the window's messages sees the
// re-creation coming.
constexpr UINT CM_RECREATEWND = 0xB033;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TControlStyleFlag : unsigned {
    csAcceptsControls = 1,   // other controls may be placed on it
    csClicksByCommand = 2,   // its window reports clicks (BN_CLICKED); a mouse release is no click
    csMenuEvents = 4,        // takes the form's menu commands (WM_SYSCOMMAND) when offered them
};

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
    virtual RECT ClientRect() const { return RECT{0, 0, width_, height_}; }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and so are all its parents (for windowed controls: the window is shown).
    virtual bool Showing() const;

    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);

    virtual std::string Caption() const { return caption_; }
    virtual void SetCaption(const std::string& caption);

    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    unsigned ControlStyle() const { return controlStyle_; }
    TFont& Font() { return font_; }
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF color);

    // "Short|long": a hint window shows the short part, the application's
    // Hint takes the long part (Hints.h).
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint; }
    // Whether a hint window shows over this control: its own setting, or
    // its parent's while ParentShowHint is set (setting ShowHint clears it).
    bool ShowHint() const;
    void SetShowHint(bool show);
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool parentShowHint) { parentShowHint_ = parentShowHint; }
    // Asked before the hint window shows over this control: it may change
    // the text, the place, or the rectangle the hint belongs to (a control
    // whose hint is not its Hint sets the text here). False: no hint this
    // time.
    virtual bool HintShow(THintInfo& info);
    // Asked before a hint is waited for over this control: the pause may
    // change (0 shows it at once). hintShown: a hint was showing just now.
    virtual void HintShowPause(bool hintShown, int& pause);
    // True when the control finds its hints itself (HintShow) and may have
    // one although its Hint is empty.
    virtual bool HasOwnHints() const { return false; }
    // A control with a hint window of its own shows the hint of info there
    // (true) and hides it in HideOwnHint; false: the application's hint
    // window shows it.
    virtual bool ShowOwnHint(const THintInfo& info);
    virtual void HideOwnHint() {}

    bool MouseInside() const { return mouseInside_; }
    // The mouse cursor over this control; nullptr: the window class's.
    HCURSOR Cursor() const { return cursor_; }
    void SetCursor(HCURSOR cursor) { cursor_ = cursor; }
    virtual void Invalidate();
    // Points between this control's client area and the screen.
    virtual POINT ClientToScreen(POINT p) const;
    POINT ScreenToClient(POINT p) const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnResize;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Raised by the window or the parent; each calls its event when assigned.
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseEnter();
    virtual void MouseLeave();

    // A windowless control draws itself here; its parent calls it.
    virtual void Paint(TCanvas& canvas);

    // Left, Top, Width, Height, Visible, Enabled, Caption, Align, Color.
    const TPropTable& Published() const override;

    // Keys the focused control did not want, offered to every control of its
    // form: Tab, Enter, Esc (DialogKey) and accelerator characters, typed
    // with Alt or on a control that takes no characters (DialogChar). True
    // when this control used it.
    virtual bool DialogKey(WORD key, TShiftState shift);
    virtual bool DialogChar(wchar_t ch, TShiftState shift);

    // An action that nothing else carried out is offered to the focused
    // control (Actions.h): ExecuteAction carries it out, UpdateAction sets
    // its state; each answers whether the control took the action on.
    virtual bool ExecuteAction(TBasicAction* action);
    virtual bool UpdateAction(TBasicAction* action);

protected:
    virtual void BoundsChanged();
    virtual void VisibleChanged();
    // True when the window's own visibility no longer matches Visible()
    // (someone showed or hid it directly), so setting it again acts.
    virtual bool VisibleOutOfStep() const { return false; }
    virtual void CaptionChanged();
    virtual void FontChanged();
    // Color changed; the default repaints.
    virtual void ColorChanged();
    void RequestAlign();

    unsigned controlStyle_ = 0;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool mouseInside_ = false;

private:
    friend class TWinControl;
    TWinControl* parent_ = nullptr;
    bool visible_ = true;
    bool enabled_ = true;
    std::string caption_;
    TAlign align_ = TAlign::alNone;
    TFont font_;
    COLORREF color_ = GetSysColor(COLOR_BTNFACE);
    HCURSOR cursor_ = nullptr;
    std::string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
};

// True when caption holds ch (either case) as its accelerator: the
// character after a single "&" ("&&" is a plain ampersand).
bool IsAccel(wchar_t ch, const std::string& caption);

class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* owner) : TControl(owner) {}
};

// How a windowed control's window is made.
struct TCreateParams {
    std::wstring className;        // our own class, or a system class (systemClass true)
    bool systemClass = false;
    UINT classStyle = CS_DBLCLKS;
    HBRUSH background = nullptr;   // nullptr: we paint the whole client area
    HCURSOR cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    HICON icon = nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    std::wstring caption;
    int x = 0, y = 0, width = 0, height = 0;
    HWND parentWindow = nullptr;   // the parent, or the owner of a top-level window
};

class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;

    // The window, made (with its parents) on first use.
    HWND Handle();
    bool HandleAllocated() const { return hwnd_ != nullptr; }
    // False for a window of a system class, which paints itself.
    bool PaintsOwnWindow() const { return ownPainting_; }
    void HandleNeeded() { Handle(); }
    // Destroys the window and makes a new one with the current properties.
    void RecreateWnd();
    // The control that owns a window made by this layer (nullptr for others).
    static TWinControl* FromHandle(HWND hwnd);

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    // The visible windowless child at a client point (topmost), or nullptr.
    TControl* GraphicControlAt(POINT p) const;
    // Lays out the aligned children again.
    void Realign();

    RECT ClientRect() const override;
    bool Showing() const override;
    void SetBounds(int left, int top, int width, int height) override;
    void SetEnabled(bool enabled) override;
    std::string Caption() const override;
    void Invalidate() override;
    POINT ClientToScreen(POINT p) const override;
    bool Focused() const;
    void SetFocus();
    // Visible and enabled, and so is every parent: the control can take the focus.
    bool CanFocus() const;
    // Whether Tab stops on this control (WS_TABSTOP).
    bool TabStop() const;
    void SetTabStop(bool tabStop);
    // The top of the parent chain (the form the control sits on).
    TWinControl* ParentForm();
    // The focused control when it sits on this one (or is this one), else nullptr.
    TWinControl* ActiveControl() const;
    // The control after (before) current in tab order among this control's
    // windowed descendants, wrapping round; current may be nullptr. With
    // checkTabStop only tab stops count. Only controls that can take the
    // focus are found; nullptr when none.
    TWinControl* FindNextControl(TWinControl* current, bool forward, bool checkTabStop) const;
    // Adds this control's windowed descendants in tab order (children in
    // order, each followed by its own list when it holds controls).
    virtual void GetTabOrderList(std::vector<TWinControl*>& list) const;
    // Focuses that control; false when there is none.
    bool SelectNext(TWinControl* current, bool forward, bool checkTabStop);
    // A control that holds others is passed over by Tab when something
    // inside it can take the focus, unless it is a stop of its own too
    // (a page control's tab strip).
    virtual bool TabStopOfItsOwn() const { return false; }
    // A key pressed in this control or in one inside it, offered before
    // the control itself sees it (a page control's Ctrl+Tab). True when used.
    virtual bool KeyFromInside(WORD key, TShiftState shift) { (void)key; (void)shift; return false; }

    // Keyboard, raised from the window's key messages; each calls its event.
    // A key or character set to 0 does not reach the control's window.
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    virtual void KeyDown(WORD& key, TShiftState shift);
    virtual void KeyUp(WORD& key, TShiftState shift);
    virtual void KeyPress(wchar_t& key);

    // Broadcast to the children (first that uses it wins).
    bool DialogKey(WORD key, TShiftState shift) override;
    bool DialogChar(wchar_t ch, TShiftState shift) override;

    // The window procedure of this control: messages come here first (after
    // any hooks put on the window). Unhandled ones go to DefaultHandler.
    virtual void WndProc(TMessage& message);
    void DefaultHandler(TMessage& message);
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    // Called after the window was made: children get their windows, fonts are set.
    virtual void CreateHandleDone();
    virtual void DestroyWnd();
    // A child control was just inserted (inserting) or is about to be
    // removed; the default does nothing.
    virtual void ControlChange(TControl* control, bool inserting) { (void)control; (void)inserting; }
    // Lays out aligned children inside `rect` (the client area at first).
    virtual void AlignControls(RECT& rect);
    // A notification a child control sent to us (WM_COMMAND / WM_NOTIFY),
    // handed to that child.
    virtual bool CommandNotify(WORD code) { (void)code; return false; }
    virtual bool Notify(NMHDR* header, LRESULT& result) { (void)header; (void)result; return false; }
    // Codes added to the window's answer to WM_GETDLGCODE (DLGC_WANTTAB,
    // DLGC_WANTALLKEYS, DLGC_WANTCHARS...): keys the control keeps for itself.
    virtual UINT DialogCodes() const { return 0; }
    // A Tab, Enter or Esc pressed in this control that its window does not
    // want (WM_GETDLGCODE) goes to ParentForm()->DialogKey. True when used;
    // the key then does not reach KeyDown and its character is dropped.
    virtual bool OfferDialogKey(WORD key, TShiftState shift);
    // A key-down as a shortcut: the form's action lists (Actions.h), then
    // CM_APPKEYDOWN to the application window. True when used; the key then
    // goes no further.
    virtual bool OfferShortCut(WORD key, LPARAM keyData);
    // A character for the form's accelerators (DialogChar): typed with Alt,
    // or on a window that takes no characters. True when used.
    virtual bool OfferDialogChar(wchar_t ch, TShiftState shift);
    // Our own window classes paint here (background already filled by PaintBackground).
    void Paint(TCanvas& canvas) override;
    // Fills the client area of our own window classes before Paint; the
    // default fills it with Color.
    virtual void PaintBackground(TCanvas& canvas, const RECT& clientRect);
    void BoundsChanged() override;
    void VisibleChanged() override;
    bool VisibleOutOfStep() const override;
    void CaptionChanged() override;
    void FontChanged() override;
    // The window was moved or sized by someone else; the bounds follow it.
    void UpdateBoundsFromWindow();
    bool ownPainting_ = true;   // false for system classes that paint themselves

private:
    friend class TControl;
    void WndProcEntry(TMessage& m);
    void PaintWindow(HDC dc, bool ownClass);
    void PaintGraphicChildren(HDC dc);
    void HandleMouse(TMessage& m);
    // Takes control off the list; keepWindow leaves its window alive for a
    // new parent (SetParent).
    void DetachControl(TControl* control, bool keepWindow);
    // Key messages, WM_GETDLGCODE and WM_SETCURSOR; true when m was answered.
    bool HandleInputMessage(TMessage& m);
    UINT WindowDialogCode(WORD key);
    void SetHotControl(TControl* c);

    HWND hwnd_ = nullptr;
    WNDPROC defProc_ = nullptr;
    int subclassId_ = 0;
    bool systemClass_ = false;
    bool tracking_ = false;
    bool creating_ = false;
    bool aligning_ = false;
    bool realignAgain_ = false;
    bool tabStop_ = false;
    TControl* hot_ = nullptr;
    TControl* pressed_ = nullptr;
    std::vector<TControl*> controls_;
};
