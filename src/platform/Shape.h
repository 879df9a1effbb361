// A rectangle drawn by its parent: filled with BrushColor and outlined with
// PenColor. The colour swatches of the settings are these.
#pragma once
#include "platform/Control.h"

class TShape : public TGraphicControl {
public:
    explicit TShape(TComponent* owner);

    COLORREF BrushColor() const { return brushColor_; }
    void SetBrushColor(COLORREF color);
    COLORREF PenColor() const { return penColor_; }
    void SetPenColor(COLORREF color);

    void Paint(TCanvas& canvas) override;

private:
    COLORREF brushColor_ = RGB(255, 255, 255);
    COLORREF penColor_ = RGB(0, 0, 0);
};
