// Painting of the header: the background, then every visible column in
// display order with its button (classic edges, the hand-drawn XP look or
// the theme's header items), image, caption and sort glyph, and the drop
// mark of a column being dragged. Everything goes into one bitmap that is
// copied to the target in one piece.
#include <algorithm>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHeaderInternal.h"
#include "controls/ThemeSrv.h"
#include "platform/Canvas.h"
#include "platform/ImageList.h"
#include "platform/Text.h"

struct TVTHeader::PaintContext {
    HDC dc = nullptr;
    TCanvas* canvas = nullptr;
    bool themes = false;
    bool advanced = false;      // OnHeaderDrawQueryElements and OnAdvancedHeaderDraw
    bool plain = false;         // OnHeaderDraw
};

bool TVTHeader::UseThemes() const {
    return vthdr::TreeUsesThemes(tree_) && ThemeServices().ThemesEnabled();
}

namespace {

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF color) {
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void Frame(HDC dc, RECT r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FrameRect(dc, &r, brush);
    DeleteObject(brush);
}

}  // namespace

void TVTHeader::DrawXPCell(HDC dc, const RECT& r, bool hot, bool pressed, bool rightBorder) {
    const COLORREF fill = pressed ? RGB(222, 223, 216) : hot ? RGB(250, 248, 243) : RGB(235, 234, 219);
    FillSolid(dc, r, fill);
    if (pressed) {
        RECT f = r;
        Frame(dc, f, RGB(165, 165, 151));
        InflateRect(&f, -1, -1);
        Frame(dc, f, RGB(193, 194, 184));
        InflateRect(&f, -1, -1);
        Frame(dc, f, RGB(208, 209, 201));
        return;
    }
    if (rightBorder) {
        Line(dc, r.right - 2, r.top + 3, r.right - 2, r.bottom - 5, RGB(199, 197, 178));
        Line(dc, r.right - 1, r.top + 3, r.right - 1, r.bottom - 5, RGB(255, 255, 255));
    }
    if (!hot) {
        Line(dc, r.left, r.bottom - 3, r.right, r.bottom - 3, RGB(224, 222, 207));
        Line(dc, r.left, r.bottom - 2, r.right, r.bottom - 2, RGB(213, 210, 195));
        Line(dc, r.left, r.bottom - 1, r.right, r.bottom - 1, RGB(203, 199, 184));
        return;
    }
    // The orange bar of a hot cell: left cap, middle pieces, right cap, each
    // a shared image whose bottom three rows hold the bar.
    TCustomImageList& pieces = UtilityImages();
    const int size = pieces.Width();
    const int top = r.bottom - pieces.Height();
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    TCanvas canvas(dc);
    for (int x = r.left + size; x < r.right - size; x += size)
        pieces.Draw(canvas, x, top, 7);
    pieces.Draw(canvas, r.left, top, 6);
    pieces.Draw(canvas, r.right - size, top, 8);
    canvas.SetHandle(nullptr);
    RestoreDC(dc, saved);
}

void TVTHeader::DrawClassicCell(HDC dc, RECT& r, bool hot, bool pressed, bool rightBorder,
                                const TVirtualTreeColumn& column) {
    UINT edge = 0, flags = 0;
    switch (style_) {
    case hsThickButtons:
        edge = EDGE_RAISED;
        flags = pressed ? (BF_RECT | BF_MIDDLE | BF_SOFT | BF_ADJUST | BF_FLAT)
                        : (BF_LEFT | BF_TOP | BF_BOTTOM | BF_MIDDLE | BF_SOFT | BF_ADJUST);
        break;
    case hsFlatButtons:
        edge = pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER;
        flags = pressed ? (BF_RECT | BF_MIDDLE | BF_ADJUST) : (BF_LEFT | BF_TOP | BF_BOTTOM | BF_MIDDLE | BF_ADJUST);
        break;
    default: {   // plates
        const bool clickable = (column.Options() & (coAllowClick | coEnabled)) == (coAllowClick | coEnabled);
        if (pressed) {
            edge = BDR_SUNKENOUTER;
            flags = BF_RECT | BF_MIDDLE | BF_ADJUST;
        } else if (hot && clickable) {
            edge = BDR_RAISEDINNER;
            flags = BF_LEFT | BF_TOP | BF_BOTTOM | BF_MIDDLE | BF_ADJUST;
        } else {
            edge = BDR_RAISEDINNER;
            flags = BF_RECT | BF_MIDDLE | BF_SOFT | BF_ADJUST;
        }
        break;
    }
    }
    if (!pressed && rightBorder)
        flags |= BF_RIGHT;
    DrawEdge(dc, &r, edge, flags);
}

void TVTHeader::PaintHeader(HDC dc, const RECT& headerRect, int hOffset) {
    const int width = headerRect.right - headerRect.left;
    const int height = headerRect.bottom - headerRect.top;
    if (dc == nullptr || width <= 0 || height <= 0)
        return;
    TBitmap& bitmap = columns_->headerBitmap_;
    if (bitmap.Width() != width || bitmap.Height() != height)
        bitmap.SetSize(width, height);
    TCanvas& canvas = bitmap.Canvas();
    canvas.Font().Assign(font_);
    HDC bdc = canvas.Handle();
    const int saved = SaveDC(bdc);
    SelectObject(bdc, font_.Handle());
    SetBkMode(bdc, TRANSPARENT);

    PaintContext pc;
    pc.dc = bdc;
    pc.canvas = &canvas;
    pc.themes = UseThemes();
    if (options_ & hoOwnerDraw) {
        pc.advanced = tree_->OnHeaderDrawQueryElements && tree_->OnAdvancedHeaderDraw;
        pc.plain = !pc.advanced && tree_->OnHeaderDraw;
    }

    const RECT area{0, 0, width, height};
    THeaderPaintElements elements = 0;
    THeaderPaintInfo info;
    if (pc.advanced) {
        info.TargetCanvas = &canvas;
        info.PaintRectangle = area;
        tree_->DoHeaderDrawQueryElements(info, elements);
    }
    if (elements & hpeBackground) {
        tree_->DoAdvancedHeaderDraw(info, hpeBackground);
    } else if (pc.themes) {
        ThemeServices().DrawElement(bdc, TThemeServices::GetHeaderDetails(thItemRightNormal), area);
    } else if (style_ == hsXPStyle) {
        DrawXPCell(bdc, area, false, false, false);
    } else {
        FillSolid(bdc, area, background_);
    }

    const int fixedWidth = columns_->GetVisibleFixedWidth();
    const TColumnIndex last = columns_->GetLastVisibleColumn();
    for (TColumnIndex index : columns_->GetVisibleColumns()) {
        TVirtualTreeColumn* column = columns_->Items(index);
        RECT cell{column->Left(), 0, column->Left() + column->Width(), height};
        if (!column->Fixed()) {
            OffsetRect(&cell, -hOffset, 0);
            // Scrolled columns pass below the fixed ones.
            if (cell.left < fixedWidth)
                cell.left = fixedWidth;
        }
        if (cell.right <= cell.left || cell.right <= 0 || cell.left >= width)
            continue;
        const int restore = SaveDC(bdc);
        IntersectClipRect(bdc, cell.left, cell.top, cell.right, cell.bottom);
        PaintColumn(pc, column, cell, index == last);
        RestoreDC(bdc, restore);
    }

    RestoreDC(bdc, saved);
    BitBlt(dc, headerRect.left, headerRect.top, width, height, bdc, 0, 0, SRCCOPY);
}

void TVTHeader::PaintColumn(PaintContext& pc, TVirtualTreeColumn* column, RECT cell, bool isLast) {
    HDC dc = pc.dc;
    const TColumnIndex index = column->Index();
    const TVTColumnOptions options = column->Options();
    const bool enabled = (options & coEnabled) != 0;
    const bool hover = index == columns_->hoverIndex_ && (options_ & hoHotTrack) && enabled;
    const bool pressed = index == columns_->downIndex_;
    TVTDropMarkMode dropMark = dmmNone;
    if ((states_ & hsDragging) && index == columns_->dropTarget_ && (options & coShowDropMark))
        dropMark = columns_->dropBefore_ ? dmmLeft : dmmRight;
    // The last column's right edge is left to the tree's bevel.
    const bool rightBorder = !(isLast && style_ != hsThickButtons && (options_ & hoAutoResize) &&
                               vthdr::TreeHasBevel(tree_));

    if (pc.plain && column->Style() == vsOwnerDraw) {
        tree_->DoHeaderDraw(*pc.canvas, column, cell, hover, pressed, dropMark);
        return;
    }

    RECT content = cell;
    InflateRect(&content, -2, -2);
    if (pressed)
        OffsetRect(&content, 1, 1);
    const bool showImage = (options_ & hoShowImages) && images_ != nullptr && column->ImageIndex() >= 0 &&
                           column->ImageIndex() < images_->Count();
    const bool showSort = (options_ & hoShowSortGlyphs) && index == sortColumn_;

    THeaderPaintInfo info;
    info.TargetCanvas = pc.canvas;
    info.Column = column;
    info.PaintRectangle = cell;
    info.IsHoverIndex = hover;
    info.IsDownIndex = pressed;
    info.IsEnabled = enabled;
    info.ShowHeaderGlyph = showImage;
    info.ShowSortGlyph = showSort;
    info.ShowRightBorder = rightBorder;
    info.DropMark = dropMark;
    column->ComputeHeaderLayout(dc, content, showImage, showSort, info.GlyphPos, info.SortGlyphPos,
                                info.TextRectangle);
    THeaderPaintElements elements = 0;
    if (pc.advanced)
        tree_->DoHeaderDrawQueryElements(info, elements);

    // The button.
    if (elements & hpeBackground) {
        tree_->DoAdvancedHeaderDraw(info, hpeBackground);
    } else if (pc.themes) {
        const int code = pressed ? thItemPressed : hover ? thItemHot : thItemNormal;
        ThemeServices().DrawElement(dc, TThemeServices::GetHeaderDetails(code), cell);
    } else if (style_ == hsXPStyle) {
        DrawXPCell(dc, cell, hover, pressed, rightBorder);
    } else {
        RECT edge = cell;
        DrawClassicCell(dc, edge, hover, pressed, rightBorder, *column);
    }

    // The caption, shortened with an ellipsis when it does not fit.
    if (elements & hpeText) {
        tree_->DoAdvancedHeaderDraw(info, hpeText);
    } else if (!column->Text().empty()) {
        std::wstring text = Utf8ToWide(column->Text());
        RECT r = info.TextRectangle;
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        if (size.cx > r.right - r.left)
            text = ShortenString(dc, text, r.right - r.left);
        UINT format = DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP;
        if (column->UseRightToLeftReading())
            format = DT_RIGHT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP | DT_RTLREADING;
        if (!text.empty()) {
            SetBkMode(dc, TRANSPARENT);
            if (!enabled) {
                RECT shifted = r;
                OffsetRect(&shifted, 1, 1);
                SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
                DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &shifted, format);
                SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
            } else {
                SetTextColor(dc, hover ? tree_->Colors().HeaderHotColor() : font_.Color());
            }
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
        }
    }

    // The column's image.
    if (showImage) {
        if (elements & hpeHeaderGlyph)
            tree_->DoAdvancedHeaderDraw(info, hpeHeaderGlyph);
        else
            images_->Draw(*pc.canvas, info.GlyphPos.x, info.GlyphPos.y, column->ImageIndex());
    }

    // The sort glyph: ascending 3, descending 2; the themed pair is 5 and 4.
    if (showSort) {
        if (elements & hpeSortGlyph) {
            tree_->DoAdvancedHeaderDraw(info, hpeSortGlyph);
        } else {
            int glyph = sortDirection_ == sdAscending ? 3 : 2;
            if (pc.themes)
                glyph += 2;
            UtilityImages().Draw(*pc.canvas, info.SortGlyphPos.x, info.SortGlyphPos.y, glyph);
        }
    }

    // The drop mark of a column drag: image 0 on the left side, 1 on the right.
    if (dropMark != dmmNone) {
        if (elements & hpeDropMark) {
            tree_->DoAdvancedHeaderDraw(info, hpeDropMark);
        } else {
            TCustomImageList& marks = UtilityImages();
            const int y = cell.top + (cell.bottom - cell.top - marks.Height()) / 2;
            if (dropMark == dmmLeft)
                marks.Draw(*pc.canvas, cell.left, y, 0);
            else
                marks.Draw(*pc.canvas, cell.right - marks.Width(), y, 1);
        }
    }
}
