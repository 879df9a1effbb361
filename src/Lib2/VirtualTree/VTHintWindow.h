// The window that shows a tree's node hints, cell tooltips (the whole text
// of a cut-off cell, laid exactly over the cell) and header hints: a plain
// topmost popup that draws a finished picture of the hint (with a soft
// shadow when the processor has MMX) and can fade or slide it in.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Canvas.h"
#include "platform/Control.h"
#include "platform/Graphics.h"

// What a hint is about. Node is nil for header and plain hints. For a cell
// tooltip HintRect is the cell's text rectangle in the tree's client
// coordinates (the tree's hint decision measures it); an owner-draw tree
// puts the finished hint rectangle there.
struct TVTHintData {
    TBaseVirtualTree* Tree = nullptr;
    PVirtualNode Node = nullptr;
    TColumnIndex Column = NoColumn;
    RECT HintRect = {};
    std::string DefaultHint;
    std::string HintText;
    TVTTooltipLineBreakStyle LineBreakStyle = hlbDefault;
};

// Hints are kept on the monitor of the mouse cursor, which the system names
// (MonitorFromPoint). A test gives the rectangle of the cursor's monitor
// itself; nullptr goes back to the system's.
void SetHintMonitorLookupForTesting(std::function<RECT(POINT)> lookup);

// Set while a hint window is being destroyed: painting and animation stop.
extern std::atomic<bool> HintWindowDestroyed;

// Width of the shadow along the right and bottom edges, and the alpha of
// its five rectangles, outermost first.
constexpr int kHintShadowSize = 5;

class TVirtualTreeHintWindow : public TWinControl {
public:
    explicit TVirtualTreeHintWindow(TComponent* owner);
    ~TVirtualTreeHintWindow() override;

    // Stores the data and measures the hint: its size as a rectangle (a
    // tooltip's starts at -1,-1, one pixel out of the cell on every side).
    // Empty when there is nothing to show.
    RECT CalcHintRect(int maxWidth, const std::string& hint, const TVTHintData& data);
    // Shows the hint at rect (screen coordinates), kept on the monitor of the
    // mouse cursor; an empty rect hides it. Runs the tree's hint animation.
    void ActivateHint(RECT rect, const std::string& hint);
    // Hides the window (and so forgets the hint data).
    void CancelHint();

    // Whether msg, seen by the message loop while the hint shows, closes it.
    // Non-client mouse moves and key messages don't; while the tree is in
    // its hint state key messages are handed to their window at once.
    bool IsHintMsg(MSG& msg);

    const TVTHintData& HintData() const { return hintData_; }
    // The text that is shown, the line break style in use, the reading
    // direction and alignment taken from the column or the tree.
    const std::string& HintText() const { return hintData_.HintText; }
    bool RightToLeft() const { return rightToLeft_; }
    TAlignment HintAlignment() const { return alignment_; }
    // The font the hint is drawn with (measured in CalcHintRect).
    TFont& HintFont() { return font_; }
    // Whether the picture has its shadow (the processor has MMX).
    bool HasShadow() const { return shadow_; }

    // The screen under the window, the finished hint and the frame shown
    // last. Frames: 0 is the finished hint; during a fade frame n blends it
    // over the background with alpha n * 256 / 255; during a slide frame n
    // shows its last n rows at the top.
    TBitmap& Background() { return background_; }
    TBitmap& DrawBuffer() { return drawBuffer_; }
    TBitmap& Target() { return target_; }
    void RenderFrame(THintAnimationType kind, int step);
    // Draws the finished hint into the draw buffer (the hint's own look).
    void PaintHint();
    // Darkens the shadow strips of a bitmap of the hint's size.
    static void DrawShadow(TBitmap& bitmap);

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;

private:
    void Animate(THintAnimationType kind, int steps, unsigned durationMs);
    void ComposeFinished(TBitmap& out);
    THintAnimationType AnimationKind() const;
    void UseTooltipFont();
    void UseSystemHintFont();
    void PaintToWindow(HDC dc);

    TVTHintData hintData_;
    TFont font_;
    bool rightToLeft_ = false;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool shadow_ = false;
    bool tooltip_ = false;
    int textHeight_ = 0;
    TBitmap background_;
    TBitmap drawBuffer_;
    TBitmap target_;
};
