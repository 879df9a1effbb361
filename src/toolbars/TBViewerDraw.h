// Drawing helpers of the item viewers (internal to the toolbar library).
#pragma once
#include <windows.h>

#include <string>

class TCanvas;
class TCustomImageList;

// The metrics of the canvas's font (selected into the DC first).
TEXTMETRICW TBCanvasTextMetrics(TCanvas& canvas);
// Text in a colour with a font, transparent background (DrawText flags).
void TBDrawText(HDC dc, HFONT font, RECT r, const std::string& text, UINT format, COLORREF color);
// A rectangle filled with the dithered pattern of two colours.
void TBFillDithered(HDC dc, const RECT& r, COLORREF foreground, COLORREF background);
// One image of a list as an item in that state shows it: a toolbar image
// list picks its disabled, checked or hot images; another list draws a
// disabled image greyed.
void TBDrawImage(TCustomImageList& list, TCanvas& canvas, int x, int y, int index, bool enabled,
                 bool selected, bool checked);
