#include "platform/Shape.h"

#include "platform/Canvas.h"

TShape::TShape(TComponent* owner) : TGraphicControl(owner)
{
    width_ = 65;
    height_ = 65;
}

void TShape::SetBrushColor(COLORREF color)
{
    if (color == brushColor_)
        return;
    brushColor_ = color;
    Invalidate();
}

void TShape::SetPenColor(COLORREF color)
{
    if (color == penColor_)
        return;
    penColor_ = color;
    Invalidate();
}

void TShape::Paint(TCanvas& canvas)
{
    canvas.SetBrushColor(brushColor_);
    canvas.SetPenColor(penColor_);
    canvas.Rectangle(ClientRect());
}
