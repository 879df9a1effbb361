// Hints: a control's Hint is "short|long". Resting the mouse on a control
// whose ShowHint is on shows the short part in a small window after
// Application().HintPause; the long part becomes Application().Hint() at
// once (a status bar shows it through OnHint). The state lives on the
// application's thread; the message loop feeds it (HintHandleMessage).
#pragma once
#include <windows.h>

#include <string>

#include "platform/Control.h"

// What the hint window is about to show; a control's HintShow may change it.
struct THintInfo {
    TControl* HintControl = nullptr;
    POINT HintPos{};           // screen: the window's top-left corner
    int HintMaxWidth = 0;      // pixels
    COLORREF HintColor = 0;
    RECT CursorRect{};         // HintControl's client coordinates: the hint stays while the cursor is inside
    POINT CursorPos{};         // HintControl's client coordinates
    std::string HintStr;       // the text shown
    int HideTimeout = 0;       // ms until the hint goes by itself (0: it stays)
};

// The part before the first "|" (the whole text without one).
std::string GetShortHint(const std::string& hint);
// The part after the first "|" (the whole text without one).
std::string GetLongHint(const std::string& hint);
// The hint of a control, or of its nearest parent that has one.
std::string GetControlHint(const TControl* control);

// The small window a hint shows in: tooltip colours, a one-pixel frame,
// never activated.
class THintWindow : public TWinControl {
public:
    explicit THintWindow(TComponent* owner);
    // The rectangle the text needs (at 0, 0), at most maxWidth wide.
    RECT CalcHintRect(int maxWidth, const std::string& text);
    // Shows the text in the rectangle (screen coordinates), moved inside
    // the monitor's area when it would stick out.
    void ActivateHint(RECT rect, const std::string& text);
    void ReleaseHint();
    bool Active() const;
    const std::string& Text() const { return text_; }

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(TCanvas& canvas) override;
    void WndProc(TMessage& message) override;

private:
    std::string text_;
};

// The application's loop hands every message here before dispatching it:
// mouse moves drive the hint, presses and keys cancel it.
void HintHandleMessage(const MSG& msg);
// The hint window of the application (nullptr before the first hint).
THintWindow* ApplicationHintWindow();
