// Painting of item viewers: menu rows with their image column, check marks,
// shortcut text and submenu arrows; toolbar buttons with edges, dithered
// checked faces and drop-down arrows; separators.
#include <algorithm>

#include "platform/Canvas.h"
#include "platform/ImageList.h"
#include "platform/Text.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBImageList.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBView.h"
#include "toolbars/TBViewerDraw.h"

// --- helpers ---

TEXTMETRICW TBCanvasTextMetrics(TCanvas& canvas)
{
    return canvas.TextMetrics();
}

void TBDrawText(HDC dc, HFONT font, RECT r, const std::string& text, UINT format, COLORREF color)
{
    std::wstring w = Utf8ToWide(text);
    HGDIOBJ oldFont = SelectObject(dc, font);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc, color);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, format);
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void TBFillDithered(HDC dc, const RECT& r, COLORREF foreground, COLORREF background)
{
    HBRUSH brush = CreateHalftoneBrush();
    COLORREF oldText = SetTextColor(dc, foreground);
    COLORREF oldBk = SetBkColor(dc, background);
    FillRect(dc, &r, brush);
    SetBkColor(dc, oldBk);
    SetTextColor(dc, oldText);
    DeleteObject(brush);
}

void TBDrawImage(TCustomImageList& list, TCanvas& canvas, int x, int y, int index, bool enabled,
                 bool selected, bool checked)
{
    if (auto* tb = dynamic_cast<TTBCustomImageList*>(&list))
        tb->DrawState(canvas, x, y, index, enabled, selected, checked);
    else
        list.Draw(canvas, x, y, index, enabled);
}

namespace {

void FillSolid(HDC dc, const RECT& r, COLORREF c)
{
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void Polyline(HDC dc, POINT c, const POINT* pts, int n, COLORREF color)
{
    POINT p[8];
    for (int i = 0; i < n; ++i)
        p[i] = POINT{c.x + pts[i].x, c.y + pts[i].y};
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ old = SelectObject(dc, pen);
    ::Polyline(dc, p, n);
    SelectObject(dc, old);
    DeleteObject(pen);
}

// The check mark (or radio mark) centred at c.
void DrawCheck(HDC dc, POINT c, bool radio)
{
    COLORREF text = GetSysColor(COLOR_BTNTEXT), light = GetSysColor(COLOR_BTNHIGHLIGHT);
    if (radio) {
        HPEN pen = CreatePen(PS_SOLID, 1, text);
        HBRUSH brush = CreateSolidBrush(text);
        HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, brush);
        RoundRect(dc, c.x - 3, c.y - 3, c.x + 2, c.y + 2, 2, 2);
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        HPEN pen2 = CreatePen(PS_SOLID, 1, light);
        SelectObject(dc, pen2);
        RoundRect(dc, c.x - 4, c.y - 4, c.x + 3, c.y + 3, 6, 6);
        SelectObject(dc, op);
        SelectObject(dc, ob);
        DeleteObject(pen);
        DeleteObject(pen2);
        DeleteObject(brush);
        return;
    }
    c.x -= 2;
    c.y += 1;
    static const POINT mark[7] = {{-2, -2}, {0, 0}, {4, -4}, {4, -3}, {0, 1}, {-2, -1}, {-2, -2}};
    static const POINT shine[5] = {{-3, -2}, {-3, -1}, {0, 2}, {5, -3}, {5, -5}};
    Polyline(dc, c, mark, 7, text);
    Polyline(dc, c, shine, 5, light);
}

// The small filled triangle of a drop-down arrow.
void DrawArrowTriangle(HDC dc, POINT c, bool rotated, COLORREF color)
{
    POINT p[3];
    if (rotated) {
        p[0] = {c.x - 1, c.y + 2};
        p[1] = {c.x - 1, c.y - 2};
        p[2] = {c.x - 3, c.y};
    } else {
        p[0] = {c.x - 2, c.y - 1};
        p[1] = {c.x + 2, c.y - 1};
        p[2] = {c.x, c.y + 1};
    }
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, brush);
    Polygon(dc, p, 3);
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    DeleteObject(brush);
}

void DrawDropdownArrow(HDC dc, const RECT& r, bool rotated, bool embossed, COLORREF color, int shift)
{
    POINT c{(r.left + r.right) / 2 + shift, (r.top + r.bottom) / 2 + shift};
    if (embossed) {
        DrawArrowTriangle(dc, POINT{c.x + 1, c.y + 1}, rotated, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawArrowTriangle(dc, c, rotated, GetSysColor(COLOR_BTNSHADOW));
    } else {
        DrawArrowTriangle(dc, c, rotated, color);
    }
}

// The system's submenu arrow glyph through a monochrome mask, in a colour.
void DrawMaskedGlyph(HDC dc, const RECT& r, UINT glyph, COLORREF color)
{
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return;
    HDC mono = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateBitmap(w, h, 1, 1, nullptr);
    HGDIOBJ oldBmp = SelectObject(mono, bmp);
    RECT gr{0, 0, w, h};
    // The glyph comes black (clear bits) on white (set bits): the blit
    // below puts the brush where the bits are clear and keeps the rest.
    DrawFrameControl(mono, &gr, DFC_MENU, glyph);
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, r.left, r.top, w, h, mono, 0, 0, 0x00B8074A);   // brush where the mask is clear
    SetBkColor(dc, oldBk);
    SetTextColor(dc, oldText);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    SelectObject(mono, oldBmp);
    DeleteObject(bmp);
    DeleteDC(mono);
}

}  // namespace

// --- the viewer ---

void TTBItemViewer::DrawItemCaption(TCanvas& canvas, RECT rect, const std::string& caption, bool embossed,
                                    UINT format)
{
    HDC dc = canvas.Handle();
    HFONT font = canvas.Font().Handle();
    auto draw = [&](RECT r, COLORREF color) {
        if (IsRotated()) {
            HGDIOBJ old = SelectObject(dc, font);
            COLORREF oc = SetTextColor(dc, color);
            int om = SetBkMode(dc, TRANSPARENT);
            DrawRotatedText(dc, caption, r, format);
            SetBkMode(dc, om);
            SetTextColor(dc, oc);
            SelectObject(dc, old);
        } else {
            TBDrawText(dc, font, r, caption, format, color);
        }
    };
    if (embossed) {
        RECT r = rect;
        OffsetRect(&r, 1, 1);
        draw(r, GetSysColor(COLOR_BTNHIGHLIGHT));
        draw(rect, GetSysColor(COLOR_BTNSHADOW));
    } else {
        draw(rect, canvas.Font().Color());
    }
}

void TTBItemViewer::Paint(TCanvas& canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
                          bool useDisabledShadow)
{
    HDC dc = canvas.Handle();
    RECT r = clientAreaRect;
    TTBItemStyle style = item_->ItemStyle();
    TTBItemOptions opts = item_->EffectiveOptions();
    bool toolbarStyle = IsToolbarStyle();
    bool vertical = view_->Orientation() == tbvoVertical;
    bool showEnabled = item_->Enabled() || view_->Customizing();
    bool embossed = !showEnabled && useDisabledShadow;
    bool checked = item_->Checked();
    bool combo = (style & isSubmenu) && (style & isCombo);
    bool hasArrow = (style & isSubmenu) && (combo || (opts & tboDropdownArrow));
    bool designing = item_->IsDesigning();
    TCustomImageList* images = GetImageList();
    bool imageShown = ImageShown() && images;
    COLORREF fontColor = canvas.Font().Color();
    int menuCheckWidth = GetSystemMetrics(SM_CXMENUCHECK);

    RECT arrowRect{};
    bool pushedOnArrow = false;
    int imageColumn = 0;
    if (!toolbarStyle) {
        int height = r.bottom - r.top;
        imageColumn = images ? MulDiv(images->Width() + 3, height, images->Height() + 3) : height;
        if (isSelected && canvas.BrushColor() != CLR_NONE) {
            RECT fill = r;
            fill.left = r.left + imageColumn + ((imageShown || checked) ? 1 : 0);
            if (showEnabled && combo && item_->Enabled())
                fill.right -= menuCheckWidth;
            FillSolid(dc, fill, canvas.BrushColor());
        }
    } else {
        RECT button = r;
        if (hasArrow) {
            if (!combo) {
                arrowRect = r;
                if (vertical) {
                    arrowRect.top = r.bottom - 8;
                } else {
                    arrowRect.left = r.right - 8;
                }
            } else {
                r.right -= 2;
                arrowRect = r;
                arrowRect.left = r.right - 9;
                r.right = arrowRect.left;
                button = r;
            }
        }
        pushedOnArrow = combo && isPushed && (view_->MouseDownOnArrowPart || view_->OpenViewer() == this);
        if ((isSelected && showEnabled) || checked || designing) {
            if (!combo) {
                DrawEdge(dc, &button, (isPushed || checked) ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
            } else {
                bool buttonSunken = (isPushed && !pushedOnArrow) || checked;
                DrawEdge(dc, &button, buttonSunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
                RECT a = arrowRect;
                DrawEdge(dc, &a, pushedOnArrow ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
            }
        }
        if (hasArrow) {
            int shift = (isPushed && !combo) ? 1 : 0;
            DrawDropdownArrow(dc, arrowRect, IsRotated(), embossed, fontColor, shift);
            if (!combo) {
                if (vertical)
                    r.bottom = arrowRect.top;
                else
                    r.right = arrowRect.left;
            }
        }
        InflateRect(&r, -1, -1);
        if (checked && !(isSelected && showEnabled))
            TBFillDithered(dc, r, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNHIGHLIGHT));
        InflateRect(&r, -1, -1);
        if (checked || (isPushed && isSelected && !pushedOnArrow))
            OffsetRect(&r, 1, 1);
    }

    // Text: bold for the default item.
    TFont bold;
    HFONT textFont = canvas.Font().Handle();
    if (opts & tboDefault) {
        bold.Assign(canvas.Font());
        bold.SetStyle(bold.Style() | fsBold);
        textFont = bold.Handle();
    }
    HGDIOBJ oldFont = SelectObject(dc, textFont);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, oldFont);
    UINT prefix = 0;
    if (!AreKeyboardCuesEnabled() && (view_->Style() & vsUseHiddenAccels) && !(view_->State() & vsShowAccels))
        prefix = DT_HIDEPREFIX;

    auto drawText = [&](RECT tr, const std::string& text, UINT format) {
        if (embossed) {
            RECT e = tr;
            OffsetRect(&e, 1, 1);
            TBDrawText(dc, textFont, e, text, format, GetSysColor(COLOR_BTNHIGHLIGHT));
            TBDrawText(dc, textFont, tr, text, format, GetSysColor(COLOR_BTNSHADOW));
        } else {
            TBDrawText(dc, textFont, tr, text, format, fontColor);
        }
    };

    if (CaptionShown()) {
        std::string caption = GetCaptionText();
        if (!toolbarStyle) {
            RECT tr = r;
            tr.left = r.left + imageColumn + 3;
            tr.top += tm.tmExternalLeading;
            if ((r.bottom - r.top) - tm.tmHeight == 4)
                tr.bottom -= 1;
            drawText(tr, caption, DT_SINGLELINE | DT_VCENTER | DT_LEFT | prefix);
        } else {
            RECT tr = r;
            if (imageShown) {
                if (!IsRotated() && !(opts & tboImageAboveCaption))
                    tr.left += images->Width() + 1;
                else
                    tr.top += images->Height() + 1;
            }
            if (IsRotated()) {
                DrawItemCaption(canvas, tr, caption, embossed, DT_SINGLELINE | DT_CENTER | DT_VCENTER | prefix);
            } else {
                drawText(tr, caption, DT_SINGLELINE | DT_CENTER | DT_VCENTER | prefix);
            }
        }
    }

    if (!toolbarStyle) {
        int rowHeight = r.bottom - r.top;
        std::string shortCut = item_->GetShortCutText();
        if (!shortCut.empty()) {
            RECT sr = r;
            sr.right = r.right - rowHeight;
            sr.top += tm.tmExternalLeading;
            drawText(sr, shortCut, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
        }
        if (style & isSubmenu) {
            RECT part{r.right - menuCheckWidth, r.top, r.right, r.bottom};
            if (combo) {
                RECT edge{part.left, r.top, part.left + 2, r.bottom};
                DrawEdge(dc, &edge, (isSelected && showEnabled) ? BDR_SUNKENOUTER : EDGE_ETCHED, BF_LEFT);
            }
            int gw = menuCheckWidth, gh = GetSystemMetrics(SM_CYMENUCHECK);
            RECT g{part.left + (part.right - part.left - gw) / 2, r.top + (rowHeight - gh) / 2, 0, 0};
            g.right = g.left + gw;
            g.bottom = g.top + gh;
            if (embossed) {
                RECT e = g;
                OffsetRect(&e, 1, 1);
                DrawMaskedGlyph(dc, e, DFCS_MENUARROW, GetSysColor(COLOR_BTNHIGHLIGHT));
                DrawMaskedGlyph(dc, g, DFCS_MENUARROW, GetSysColor(COLOR_BTNSHADOW));
            } else {
                DrawMaskedGlyph(dc, g, DFCS_MENUARROW, fontColor);
            }
        }
        // The image column.
        RECT ir{r.left, r.top, r.left + imageColumn, r.bottom};
        if ((imageShown || checked) && (isSelected || checked))
            DrawEdge(dc, &ir, checked ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        if (checked && !isSelected) {
            RECT d = ir;
            InflateRect(&d, -1, -1);
            TBFillDithered(dc, d, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNHIGHLIGHT));
        }
        if (checked)
            OffsetRect(&ir, 1, 1);
        if (imageShown) {
            int x = ir.left + (ir.right - ir.left - images->Width()) / 2;
            int y = ir.top + (ir.bottom - ir.top - images->Height()) / 2;
            TBDrawImage(*images, canvas, x, y, item_->ImageIndex(), showEnabled, isSelected, checked);
        } else if (checked) {
            POINT c{(ir.left + ir.right) / 2, (ir.top + ir.bottom) / 2};
            DrawCheck(dc, c, item_->RadioItem());
        }
    } else if (imageShown) {
        int x, y;
        if (!IsRotated() && !(opts & tboImageAboveCaption)) {
            x = CaptionShown() ? r.left + 1 : r.left + (r.right - r.left - images->Width()) / 2;
            y = r.top + (r.bottom - r.top - images->Height()) / 2;
        } else {
            x = r.left + (r.right - r.left - images->Width()) / 2;
            y = CaptionShown() ? r.top + 1 : r.top + (r.bottom - r.top - images->Height()) / 2;
        }
        TBDrawImage(*images, canvas, x, y, item_->ImageIndex(), showEnabled, isSelected, checked);
    }
}

void TTBSeparatorItemViewer::Paint(TCanvas& canvas, const RECT& clientAreaRect, bool, bool, bool)
{
    auto* sep = dynamic_cast<TTBSeparatorItem*>(item_);
    if (sep && sep->Blank())
        return;
    HDC dc = canvas.Handle();
    RECT r = clientAreaRect;
    bool toolbarStyle = IsToolbarStyle();
    bool horizontal = !toolbarStyle || view_->Orientation() == tbvoVertical;
    if (LineBreak)
        horizontal = !horizontal;
    if (horizontal) {
        r.top += (r.bottom - r.top) / 2 - 1;
        r.bottom = r.top + 2;
        int inset = 0;
        if (!toolbarStyle)
            inset = 12;
        else if (LineBreak)
            inset = view_->Orientation() == tbvoFloating ? 1 : 4;
        r.left += inset;
        r.right -= inset;
        DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
    } else {
        r.left += (r.right - r.left) / 2 - 1;
        r.right = r.left + 2;
        if (LineBreak) {
            r.top += 4;
            r.bottom -= 4;
        }
        DrawEdge(dc, &r, EDGE_ETCHED, BF_LEFT);
    }
}
