// The small tool-window form that holds a floating toolbar: its caption,
// close button and sizing border are drawn here, it answers the hit tests
// that start moves and sizes of the hosted window, and it keeps the owning
// form's caption active while the floating toolbar is used.
#pragma once
#include <windows.h>

#include <functional>

#include "platform/Form.h"

class TTBCustomDockableWindow;

// Hit codes of our own non-client parts.
constexpr LRESULT HTTB_DRAGHANDLE = 2000;   // docked frame and drag handle: starts a move
constexpr LRESULT HTTB_CLOSE = 2001;        // close button (floating caption or docked frame)
constexpr LRESULT HTTB_CAPTION = 2002;      // floating caption: starts a move

// Parts of the non-client area to draw again.
enum TTBRedrawPart : unsigned { twrdBorder = 1, twrdCaption = 2, twrdCloseButton = 4, twrdAll = 7 };

// Tracks a left press on a button that `control` draws: the mouse is
// captured, redraw(true) shows it pushed, then moves call redraw(inside)
// until the left button goes up. `screenRect` is the button in screen
// coordinates. True when released over the button; false when the press
// ended another way (another button, a double click, lost capture, WM_QUIT,
// which is posted again). The capture is released and redraw(false) is
// called at the end, also when an exception leaves; when a message handled
// meanwhile freed the control, neither it nor redraw is touched again.
bool TrackButtonPress(TWinControl& control, const RECT& screenRect, const std::function<void(bool inside)>& redraw);

class TTBFloatingWindowParent : public TForm {
public:
    explicit TTBFloatingWindowParent(TComponent* owner);
    ~TTBFloatingWindowParent() override;

    TTBCustomDockableWindow* DockableWindow() const { return dockableWindow_; }
    void SetDockableWindow(TTBCustomDockableWindow* window);
    // The form that the hosted window belongs to; it gets activation and WM_CLOSE.
    TForm* ParentForm() const { return parentForm_; }
    void SetParentForm(TForm* form);

    bool ShouldShow() const { return shouldShow_; }
    void SetShouldShow(bool value);
    // Shows the window without activating it when it should show and is
    // visible, else hides it.
    void UpdateVisibility();

    // The caption (window coordinates); empty without a caption.
    RECT CaptionRect() const;
    RECT CloseButtonRect() const;
    bool CloseButtonDown() const { return closeButtonDown_; }
    void RedrawNCArea(unsigned parts = twrdAll);
    // The hosted window's border or caption settings changed.
    void RecalcNCArea();

    void WndProc(TMessage& message) override;
    bool DialogKey(WORD key, TShiftState shift) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void VisibleChanged() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    // The frame on each side (the caption included at the top).
    RECT Frame() const;
    bool HasCaption() const;
    bool HasCloseButton() const;
    bool IsResizable() const;
    LRESULT HitTest(POINT screen) const;
    void PaintNC(HDC dc, unsigned parts);
    void NCLeftButtonDown(LRESULT hit, POINT screen);
    void Activated(WPARAM wParam, LPARAM lParam);

    TTBCustomDockableWindow* dockableWindow_ = nullptr;
    TForm* parentForm_ = nullptr;
    bool closeButtonDown_ = false;
    bool shouldShow_ = false;
};
