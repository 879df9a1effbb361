// Painting the tree's content: PaintTreeArea builds every row in an
// off-screen bitmap one row high and copies the finished row to the target
// in one piece, so a row never flickers. The rows are found from the
// position of the window's top (no walk from the first node), the line
// image is carried from row to row, and the column geometry is worked out
// once per call. Also the repaint requests of rows, columns and the area
// below a row, and the drag image's picture.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <vector>

#include "Lib2/VirtualTree/VTDragImage.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/ImageList.h"

namespace {

// A visible column reaching into the painted window.
struct TPaintColumn {
    TColumnIndex index;
    TColumnPosition position;
    int left, right;
    TVTColumnOptions options;
    TAlignment alignment;
    TBiDiMode bidiMode;
    COLORREF color;
};

TAlignment Mirrored(TAlignment a)
{
    if (a == TAlignment::taLeftJustify)
        return TAlignment::taRightJustify;
    if (a == TAlignment::taRightJustify)
        return TAlignment::taLeftJustify;
    return a;
}

// The 32-bit bitmap rows are built in: it only grows, and a row uses its
// top node-height lines.
class TRowSurface {
public:
    TRowSurface() : canvas_(nullptr) {}
    ~TRowSurface() { Free(); }
    TRowSurface(const TRowSurface&) = delete;
    TRowSurface& operator=(const TRowSurface&) = delete;

    bool Ensure(int width, int height)
    {
        if (width <= width_ && height <= height_ && bitmap_)
            return true;
        Free();
        width_ = std::max(width, width_);
        height_ = std::max(height, height_);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width_;
        bi.bmiHeader.biHeight = -height_;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap_ || !dc_.Handle())
            return false;
        selection_.Select(dc_.Handle(), bitmap_.Get());
        canvas_.SetHandle(dc_.Handle());
        return true;
    }
    HDC Handle() const { return dc_.Handle(); }
    TCanvas& Canvas() { return canvas_; }
    int Height() const { return height_; }
    void Release()
    {
        Free();
        width_ = height_ = 0;
    }

private:
    void Free()
    {
        canvas_.SetHandle(nullptr);
        selection_.Restore();
        bitmap_.Reset();
    }
    TMemoryDC dc_;
    TGdiObject<HBITMAP> bitmap_;
    TSelection selection_;
    TCanvas canvas_;
    int width_ = 0, height_ = 0;
};

// One surface per thread serves every paint, so a paint makes no bitmap,
// device context or font of its own. A paint that starts while another is
// under way (an event handler painting a second tree) takes a surface of
// its own; one that grew tall (the area below the rows) is let go after.
class TSharedRowSurface {
public:
    TSharedRowSurface()
    {
        thread_local TRowSurface shared;
        thread_local bool busy = false;
        if (busy) {
            own_ = std::make_unique<TRowSurface>();
            surface_ = own_.get();
        } else {
            busy = true;
            busy_ = &busy;
            surface_ = &shared;
            // What the last paint's handlers left set goes back to what a
            // new canvas starts with.
            TCanvas& c = shared.Canvas();
            c.SetBrushColor(GetSysColor(COLOR_WINDOW));
            c.SetBrushStyle(bsSolid);
            c.SetPatternBrush(nullptr);
            c.SetPenColor(RGB(0, 0, 0));
            c.SetPenStyle(psSolid);
            c.SetPenWidth(1);
            c.SetBackgroundMode(TRANSPARENT);
        }
    }
    ~TSharedRowSurface()
    {
        if (!busy_)
            return;
        if (surface_->Height() > kKeptHeight)
            surface_->Release();
        *busy_ = false;
    }
    TSharedRowSurface(const TSharedRowSurface&) = delete;
    TSharedRowSurface& operator=(const TSharedRowSurface&) = delete;
    TRowSurface* operator->() const { return surface_; }

private:
    static constexpr int kKeptHeight = 128;
    std::unique_ptr<TRowSurface> own_;
    TRowSurface* surface_ = nullptr;
    bool* busy_ = nullptr;
};

}  // namespace

// What one PaintTreeArea call decided, for its cells.
struct TBaseVirtualTree::TPaintPass {
    RECT window;
    TLineImage lineImage;
    int indentSize = 0;
    int buttonX = 0, buttonY = 0;
    bool showImages = false, showStateImages = false, showCheckImages = false;
    bool useColumns = false, autoResize = false;
    TColumnIndex mainColumn = NoColumn, lastVisible = NoColumn;
};

namespace {

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Fills r of a row (or of the area below the rows) with the background
// picture: tiled over the virtual area from the background offsets, where
// the row's top is at absoluteTop in the content; or, with
// toStaticBackground, placed once at the offsets of the target, where r's
// left edge and the row's top land at targetOrigin.
void PaintTreeBackground(TBaseVirtualTree& tree, TCanvas& canvas, const RECT& r, int absoluteTop,
                         POINT targetOrigin)
{
    TBitmap& picture = tree.Background();
    const int pw = picture.Width(), ph = picture.Height();
    const bool isStatic = (tree.TreeOptions().PaintOptions() & toStaticBackground) != 0;
    if (isStatic || picture.Transparent() || pw <= 0 || ph <= 0) {
        canvas.SetBrushColor(tree.Color());
        canvas.FillRect(r);
    }
    if (pw <= 0 || ph <= 0)
        return;
    if (isStatic) {
        canvas.Draw(r.left + tree.BackgroundOffsetX() - targetOrigin.x, tree.BackgroundOffsetY() - targetOrigin.y,
                    picture);
        return;
    }
    const int offX = tree.BackgroundOffsetX(), offY = tree.BackgroundOffsetY();
    const int x0 = offX + FloorDiv(r.left - offX, pw) * pw;
    const int y0 = offY + FloorDiv(absoluteTop + r.top - offY, ph) * ph - absoluteTop;
    for (int y = y0; y < r.bottom; y += ph)
        for (int x = x0; x < r.right; x += pw)
            canvas.Draw(x, y, picture);
}

// The brush origin that keeps the line pattern fixed to the content.
void AlignPattern(TCanvas& canvas, int windowLeft, int absoluteTop)
{
    canvas.SetBrushOrigin(((-windowLeft) % 8 + 8) % 8, ((-absoluteTop) % 8 + 8) % 8);
}

}  // namespace

// ---------------------------------------------------------------------------
// PaintTreeArea

void TBaseVirtualTree::PaintTreeArea(TCanvas& targetCanvas, const RECT& window, POINT target,
                                     TPaintRequestOptions paintOptions)
{
    if ((states_ & tsPainting) || !targetCanvas.Handle())
        return;
    DoStateChange(tsPainting);
    // An event handler's error leaves the painting state quietly on its way
    // to the window procedure's boundary.
    struct TPaintingState {
        TBaseVirtualTree* tree;
        ~TPaintingState()
        {
            if (std::uncaught_exceptions() > 0)
                tree->states_ &= ~tsPainting;
        }
    } paintingState{this};

    DoBeforePaint(targetCanvas);
    if (window.right > window.left && window.bottom > window.top)
        PaintRows(targetCanvas, window, target, paintOptions);
    DoAfterPaint(targetCanvas);
    DoStateChange(0, tsPainting);
}

void TBaseVirtualTree::PaintRows(TCanvas& targetCanvas, const RECT& window, POINT target,
                                 TPaintRequestOptions paintOptions)
{
    HDC targetDC = targetCanvas.Handle();
    const TVTPaintOptions paint = options_->PaintOptions();
    const TVTSelectionOptions selection = options_->SelectionOptions();
    const int width = window.right - window.left;
    const int bottom = target.y + (window.bottom - window.top);

    if (!lineBrush_ || plusBM_.Empty())
        PrepareBitmaps(plusBM_.Empty(), !lineBrush_);
    TSharedRowSurface surface;
    if (!surface->Ensure(width, 1))
        return;
    TCanvas& canvas = surface->Canvas();
    canvas.Font().Assign(Font());

    // Decided once for the whole call.
    TPaintPass pass;
    pass.window = window;
    paintFocused_ = HandleAllocated() && Focused();
    const bool drawRubberBand = (states_ & tsDrawSelecting) && !IsRectEmpty(&selectionRect_);
    const bool useBackground = (paint & toShowBackground) && !background_.Empty() && (paintOptions & prBackground);
    pass.showImages = images_ != nullptr;
    pass.showStateImages = stateImages_ != nullptr;
    pass.showCheckImages = checkImages_ != nullptr && (options_->MiscOptions() & toCheckSupport);
    if ((paint & toAlwaysHideSelection) || (!paintFocused_ && (paint & toHideSelection)))
        paintOptions &= ~prSelection;
    if (paint & toHideFocusRect)
        paintOptions &= ~prFocusRect;

    // The visible columns reaching into the window, in display order.
    std::vector<TPaintColumn> columns;
    TVirtualTreeColumns& cols = header_->Columns();
    for (TColumnIndex index : cols.GetVisibleColumns()) {
        const TVirtualTreeColumn* c = cols[index];
        const int left = c->Left(), right = left + c->Width();
        if (right <= window.left || left >= window.right)
            continue;
        const bool rtl = c->UseRightToLeftReading();
        columns.push_back(TPaintColumn{index, c->Position(), left, right, c->Options(),
                                       rtl ? Mirrored(c->Alignment()) : c->Alignment(),
                                       rtl ? bdRightToLeft : bdLeftToRight,
                                       (c->Options() & coParentColor) ? Color() : c->Color()});
    }
    pass.useColumns = header_->UseColumns() && cols.GetFirstVisibleColumn() >= 0;
    pass.lastVisible = pass.useColumns ? cols.GetLastVisibleColumn() : NoColumn;
    pass.mainColumn = header_->MainColumn();
    pass.autoResize = (header_->Options() & hoAutoResize) != 0;
    const int imageHeight = pass.showImages        ? images_->Height()
                            : pass.showStateImages ? stateImages_->Height()
                            : (paint & toShowButtons) ? plusBM_.Height()
                                                      : 0;

    // The first row is the one spanning the window's top.
    int nodeTop = window.top;
    PVirtualNode node = GetNodeAtOffset(window.top, &nodeTop);
    if (!node)
        nodeTop = window.top;
    int rowTop = target.y - (window.top - nodeTop);
    int absoluteTop = nodeTop;
    int selectLevel = 0;
    const int indent = static_cast<int>(indent_);
    if (node) {
        selectLevel = DetermineLineImages(node, pass.lineImage);
        pass.indentSize = static_cast<int>(pass.lineImage.size());
        pass.buttonX = pass.indentSize * indent + static_cast<int>(std::lround((indent - plusBM_.Width()) / 2.0)) -
                       indent;
    }

    TVTPaintInfo info;
    info.Canvas = &canvas;
    info.PaintOptions = paintOptions;
    const int rowRight = std::max<int>(window.right, rangeX_);
    while (node && rowTop < bottom) {
        if (!(node->States & vsInitialized))
            InitNode(node);
        if (node->States & vsSelected)
            ++selectLevel;
        MeasureNodeHeight(&canvas, node);
        const int h = node->NodeHeight;

        if (h > 0 && (!(paintOptions & prSelectedOnly) || selectLevel > 0)) {
            if (!surface->Ensure(width, h))
                return;
            SetWindowOrgEx(surface->Handle(), window.left, 0, nullptr);
            AlignPattern(canvas, window.left, absoluteTop);
            info.Node = node;
            info.VerticalAlignment = NodeAlignmentCenter(node, h, imageHeight);
            info.BrushOrigin = POINT{window.left, absoluteTop};
            pass.buttonY = info.VerticalAlignment - plusBM_.Height() / 2;
            const RECT rowRect{0, 0, rowRight, h};

            if (!DoBeforeItemPaint(canvas, node, rowRect)) {
                // a. The row's background.
                COLORREF itemColor = Color();
                TItemEraseAction eraseAction = eaStandard;
                DoBeforeItemErase(canvas, node, rowRect, itemColor, eraseAction);
                if (eraseAction == eaFillColor) {
                    canvas.SetBrushColor(itemColor);
                    canvas.FillRect(rowRect);
                } else if (eraseAction == eaStandard) {
                    if (useBackground) {
                        PaintTreeBackground(*this, canvas, RECT{window.left, 0, window.right, h}, absoluteTop,
                                            POINT{target.x, rowTop});
                    } else if ((paintOptions & prSelection) && (selection & toFullRowSelect) &&
                               (node->States & vsSelected) && !(paint & toUseBlendedSelection)) {
                        const bool focusedLook = paintFocused_ || (paint & toPopupMode);
                        canvas.SetBrushColor(Color());
                        canvas.FillRect(rowRect);
                        RECT r = rowRect;
                        if (paint & toShowHorzGridLines)
                            --r.bottom;
                        canvas.SetBrushColor(focusedLook ? colors_->FocusedSelectionColor()
                                                         : colors_->UnfocusedSelectionColor());
                        canvas.SetPenColor(focusedLook ? colors_->FocusedSelectionBorderColor()
                                                       : colors_->UnfocusedSelectionBorderColor());
                        canvas.SetPenStyle(psSolid);
                        canvas.SetPenWidth(1);
                        const int radius = static_cast<int>(selectionCurveRadius_);
                        canvas.RoundRect(r, radius, radius);
                    } else {
                        canvas.SetBrushColor(Color());
                        canvas.FillRect(rowRect);
                    }
                }
                DoAfterItemErase(canvas, node, rowRect);

                // b. The cells: one without columns, else each visible column
                // reaching into the window (spanned ones left out).
                if (!pass.useColumns) {
                    info.Column = NoColumn;
                    info.Position = 0;
                    info.CellRect = rowRect;
                    info.Alignment = alignment_;
                    info.BidiMode = bidiMode_;
                    PaintCell(info, pass, true);
                } else {
                    size_t next = 0;
                    while (next < columns.size()) {
                        const TPaintColumn& col = columns[next];
                        info.Column = col.index;
                        info.Position = col.position;
                        info.CellRect = RECT{col.left, 0, col.right, h};
                        info.Alignment = col.alignment;
                        info.BidiMode = col.bidiMode;
                        const bool isMain = info.Column == pass.mainColumn;
                        size_t following = next + 1;
                        if (!(paintOptions & prMainColumnOnly) || isMain) {
                            TColumnIndex nextNonEmpty = cols.GetNextVisibleColumn(info.Column);
                            AdjustPaintCellRect(info, nextNonEmpty);
                            if (nextNonEmpty < 0)
                                following = columns.size();
                            else
                                while (following < columns.size() && columns[following].index != nextNonEmpty)
                                    ++following;
                            if (info.CellRect.right > window.left)
                                PaintCell(info, pass, isMain);
                        }
                        next = following;
                    }
                    canvas.ResetClip();
                }

                // c. After the row, and the drop mark of the drop target.
                DoAfterItemPaint(canvas, node, rowRect);
                if (node == dropTargetNode_ && (paintOptions & prDropMark) && (paint & toShowDropmark))
                    DoPaintDropMark(canvas, node, rowRect, lastDropMode_);
            }
            if (drawRubberBand) {
                RECT band = selectionRect_;
                OffsetRect(&band, 0, -absoluteTop);
                PaintSelectionRectangle(canvas, window.left, band, RECT{window.left, 0, window.right, h});
            }
            BitBlt(targetDC, target.x, rowTop, width, h, surface->Handle(), window.left, 0, SRCCOPY);
        }
        rowTop += h;
        absoluteTop += h;
        if (rowTop >= bottom)
            break;

        // The next row, with the line image carried over.
        PVirtualNode nextNode = GetNextVisible(node);
        if (!nextNode)
            break;
        TLineImage& lines = pass.lineImage;
        if (nextNode->Parent == node) {
            if (pass.indentSize > 0)
                lines[static_cast<size_t>(pass.indentSize - 1)] = HasVisibleNextSibling(node) ? ltTopDown : ltNone;
            ++pass.indentSize;
            if (static_cast<size_t>(pass.indentSize) > lines.size())
                lines.resize(lines.size() + 8, ltNone);
            pass.buttonX += indent;
        } else {
            if (node->States & vsSelected)
                --selectLevel;
            for (PVirtualNode run = node; run->Parent != nextNode->Parent && run->Parent != root_;) {
                run = run->Parent;
                --pass.indentSize;
                pass.buttonX -= indent;
                if (run->States & vsSelected)
                    --selectLevel;
            }
        }
        if (pass.indentSize > 0 && (paint & toShowTreeLines))
            lines[static_cast<size_t>(pass.indentSize - 1)] =
                HasVisibleNextSibling(nextNode) ? ltTopDownRight : ltTopRight;
        node = nextNode;
    }

    // The area below the last row, as one block.
    if (rowTop < bottom) {
        const int rest = bottom - rowTop;
        if (!surface->Ensure(width, rest))
            return;
        SetWindowOrgEx(surface->Handle(), window.left, 0, nullptr);
        AlignPattern(canvas, window.left, absoluteTop);
        const RECT area{window.left, 0, window.right, rest};
        if (!DoPaintBackground(canvas, area)) {
            if (useBackground) {
                PaintTreeBackground(*this, canvas, area, absoluteTop, POINT{target.x, rowTop});
            } else if (!pass.useColumns) {
                canvas.SetBrushColor(Color());
                canvas.FillRect(area);
            } else {
                int right = window.left;
                for (const TPaintColumn& col : columns) {
                    RECT strip{col.left, 0, col.right, rest};
                    if ((paintOptions & prGridLines) && (paint & toShowVertGridLines) &&
                        (paint & toFullVertGridLines) && !(pass.autoResize && col.index == pass.lastVisible)) {
                        TVTPaintInfo line;
                        line.Canvas = &canvas;
                        canvas.Font().SetColor(colors_->GridLineColor());
                        DrawDottedVLine(line, 0, rest - 1, col.right - 1);
                        --strip.right;
                    }
                    canvas.SetBrushColor(col.color);
                    canvas.FillRect(strip);
                    right = col.right;
                }
                if (right < window.right) {
                    canvas.SetBrushColor(Color());
                    canvas.FillRect(RECT{right, 0, window.right, rest});
                }
            }
        }
        if (drawRubberBand) {
            RECT band = selectionRect_;
            OffsetRect(&band, 0, -absoluteTop);
            PaintSelectionRectangle(canvas, window.left, band, area);
        }
        BitBlt(targetDC, target.x, rowTop, width, rest, surface->Handle(), window.left, 0, SRCCOPY);
    }
}

void TBaseVirtualTree::PaintCell(TVTPaintInfo& info, const TPaintPass& pass, bool isMain)
{
    TCanvas& canvas = *info.Canvas;
    PVirtualNode node = info.Node;
    const TVTPaintOptions paint = options_->PaintOptions();
    const bool rtl = info.BidiMode != bdLeftToRight;
    const int indentWidth = pass.indentSize * static_cast<int>(indent_);

    info.ContentRect = info.CellRect;
    if (rtl)
        info.ContentRect.right -= margin_;
    else
        info.ContentRect.left += margin_;

    // Which images the cell shows.
    for (TVTImageInfo& ii : info.ImageInfo)
        ii = TVTImageInfo{};
    if (isMain && pass.showCheckImages && node->CheckType != ctNone) {
        info.ImageInfo[iiCheck].Index = GetCheckImage(node);
        info.ImageInfo[iiCheck].Images = checkImages_;
    }
    if (pass.showStateImages)
        GetImageIndex(info, ikState, iiState, stateImages_);
    if (pass.showImages) {
        if (node->States & vsSelected)
            GetImageIndex(info, ikSelected, iiNormal, images_);
        if (info.ImageInfo[iiNormal].Index < 0)
            GetImageIndex(info, ikNormal, iiNormal, images_);
        if (info.ImageInfo[iiNormal].Index >= 0)
            GetImageIndex(info, ikOverlay, iiOverlay, images_);
    }

    // Past the indentation, then the images in their order.
    if (isMain) {
        if (rtl)
            info.ContentRect.right -= indentWidth;
        else
            info.ContentRect.left += indentWidth;
    }
    for (TVTImageInfoIndex slot : {iiCheck, iiState, iiNormal}) {
        TVTImageInfo& ii = info.ImageInfo[slot];
        if (ii.Index < 0 || !ii.Images)
            continue;
        const int w = ii.Images->Width();
        ii.YPos = info.VerticalAlignment - ii.Images->Height() / 2;
        if (rtl) {
            ii.XPos = info.ContentRect.right - w;
            info.ContentRect.right -= w + 2;
        } else {
            ii.XPos = info.ContentRect.left;
            info.ContentRect.left += w + 2;
        }
    }
    info.ImageInfo[iiOverlay].XPos = info.ImageInfo[iiNormal].XPos;
    info.ImageInfo[iiOverlay].YPos = info.ImageInfo[iiNormal].YPos;

    if (pass.useColumns)
        canvas.SetClipRect(info.CellRect);

    // Grid lines along the bottom and the right edge.
    if ((info.PaintOptions & prGridLines) && (paint & toShowHorzGridLines)) {
        int left = info.CellRect.left, right = info.CellRect.right - 1;
        if (isMain && lineMode_ == lmBands) {
            if (rtl)
                right -= indentWidth;
            else
                left += indentWidth;
        }
        canvas.Font().SetColor(colors_->GridLineColor());
        DrawDottedHLine(info, left, right, info.CellRect.bottom - 1);
        --info.CellRect.bottom;
        --info.ContentRect.bottom;
    }
    if ((info.PaintOptions & prGridLines) && (paint & toShowVertGridLines) && pass.useColumns &&
        !(pass.autoResize && info.Column == pass.lastVisible)) {
        canvas.Font().SetColor(colors_->GridLineColor());
        DrawDottedVLine(info, info.CellRect.top, info.CellRect.bottom - 1, info.CellRect.right - 1);
        --info.CellRect.right;
        --info.ContentRect.right;
    }

    PrepareCell(info, pass.window.left, pass.window.right - pass.window.left);

    if (isMain) {
        if (paint & toShowTreeLines)
            PaintTreeLines(info, info.VerticalAlignment, pass.indentSize, pass.lineImage);
        if ((paint & toShowButtons) && (node->States & vsHasChildren) &&
            (!(node->States & vsAllChildrenHidden) || !(options_->AutoOptions() & toAutoHideButtons)))
            PaintNodeButton(canvas, node, info.Column, info.CellRect, pass.buttonX, pass.buttonY, info.BidiMode);
        if (info.ImageInfo[iiCheck].Index >= 0)
            PaintCheckImage(canvas, info.ImageInfo[iiCheck], (node->States & vsSelected) != 0);
    }
    if (info.ImageInfo[iiState].Index >= 0)
        PaintImage(info, iiState, false);
    if (info.ImageInfo[iiNormal].Index >= 0)
        PaintImage(info, iiNormal, true);

    // The text, except in the cell being edited.
    const bool edited =
        (states_ & tsEditing) && node == focusedNode_ && (!pass.useColumns || info.Column == focusedColumn_);
    if (!edited) {
        canvas.Font().Assign(Font());
        DoPaintNode(info);
    }
    DoAfterCellPaint(canvas, node, info.Column, info.CellRect);
}

// ---------------------------------------------------------------------------
// Repaint requests

void TBaseVirtualTree::RepaintNode(PVirtualNode node)
{
    if (!node || node == root_ || !HandleAllocated())
        return;
    // The whole row, clipped to the client area.
    RECT r = NodeDisplayRect(node, NoColumn, false);
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    RedrawWindow(Handle(), &r, nullptr, RDW_INVALIDATE | RDW_VALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_UPDATENOW);
}

void TBaseVirtualTree::InvalidateBelow(PVirtualNode node)
{
    if (updateCount_ > 0 || !HandleAllocated())
        return;
    if (!node || node == root_) {
        InvalidateRect(Handle(), nullptr, FALSE);
        return;
    }
    if (!(node->States & vsInitialized) || !FullyVisible(node))
        return;
    const RECT client = ClientRect();
    const int top = static_cast<int>(NodeTop(node)) + offsetY_;
    if (top >= client.bottom)
        return;
    RECT r{client.left, top, client.right, client.bottom};
    InvalidateRect(Handle(), &r, FALSE);
}

void TBaseVirtualTree::InvalidateColumnArea(TColumnIndex column)
{
    if (updateCount_ > 0 || !HandleAllocated() || !header_->Columns().IsValidColumn(column))
        return;
    RECT r = ClientRect();
    int left = 0, right = 0;
    // The bounds are where the column shows: scrolled already, unless it is fixed.
    header_->Columns().GetColumnBounds(column, left, right);
    r.left = left;
    r.right = right;
    InvalidateRect(Handle(), &r, FALSE);
}

// ---------------------------------------------------------------------------
// Drag image

void TBaseVirtualTree::PrepareDragImage(POINT hotSpot, IDataObject* dataObject)
{
    if (!dragImage_ || dragImageKind_ == diNoImage || dragWidth_ <= 0 || dragHeight_ <= 0)
        return;
    // The rectangle around the hot spot in tree coordinates; what lies above
    // or left of the content is cut off.
    RECT treeRect{hotSpot.x - dragWidth_ / 2 + effectiveOffsetX_, hotSpot.y - dragHeight_ / 2 - offsetY_, 0, 0};
    treeRect.right = treeRect.left + dragWidth_;
    treeRect.bottom = treeRect.top + dragHeight_;
    POINT cut{0, 0};
    if (treeRect.left < 0) {
        cut.x = -treeRect.left;
        treeRect.left = 0;
    }
    if (treeRect.top < 0) {
        cut.y = -treeRect.top;
        treeRect.top = 0;
    }
    const int w = treeRect.right - treeRect.left, h = treeRect.bottom - treeRect.top;
    if (w <= 0 || h <= 0)
        return;
    TBitmap image;
    image.SetSize(w, h);
    image.Canvas().SetBrushColor(Color());
    image.Canvas().FillRect(RECT{0, 0, w, h});
    TPaintRequestOptions options = DragImagePaintOptions;
    if (dragImageKind_ == diMainColumnOnly)
        options |= prMainColumnOnly;
    PaintTreeArea(image.Canvas(), treeRect, POINT{0, 0}, options);
    const POINT imagePos =
        ClientToScreen(POINT{hotSpot.x - dragWidth_ / 2 + cut.x, hotSpot.y - dragHeight_ / 2 + cut.y});
    dragImage_->SetColorKey(Color());
    dragImage_->PrepareDrag(image, imagePos, ClientToScreen(hotSpot), dataObject);
}
