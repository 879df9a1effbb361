// A splitter: a thin bar aligned beside another aligned control; dragging it
// with the mouse resizes that control (the one with the same Align right
// before the bar: left of an alLeft bar, right of an alRight bar, above an
// alTop bar, below an alBottom bar). The control keeps at least MinSize
// pixels and leaves at least MinSize for the parent's alClient control.
#pragma once
#include "platform/Control.h"

class TSplitter : public TWinControl {
public:
    explicit TSplitter(TComponent* owner);

    int MinSize() const { return minSize_; }
    void SetMinSize(int value) { minSize_ = value < 1 ? 1 : value; }
    // The control the bar resizes now (nullptr when none lies beside it).
    TControl* ResizedControl() const;

    // After a drag that changed the size.
    TNotifyEvent OnMoved;

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;

private:
    bool Horizontal() const;   // the bar moves left and right
    int NewSize(POINT screen) const;
    void EndDrag();

    int minSize_ = 30;
    TControl* control_ = nullptr;
    POINT start_{};
    int startSize_ = 0;
    int maxSize_ = 0;
    bool moved_ = false;
};
