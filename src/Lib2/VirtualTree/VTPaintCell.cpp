// The pieces of a painted row: cell preparation with the selection and the
// focus rectangle, tree lines and bands, expand buttons, check and node
// images, the rubber band; the image and check indexes a cell shows; the
// border sizes and the widest row without columns; and the animation loop of
// expanding and collapsing.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <mmsystem.h>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/ThemeSrv.h"
#include "platform/Application.h"
#include "platform/ImageList.h"

// ---------------------------------------------------------------------------
// Cell preparation

void TBaseVirtualTree::PrepareCell(TVTPaintInfo& paintInfo, int windowOrgX, int maxWidth)
{
    TCanvas& canvas = *paintInfo.Canvas;
    PVirtualNode node = paintInfo.Node;
    const TVTPaintOptions paint = options_->PaintOptions();
    const bool fullRow = (options_->SelectionOptions() & toFullRowSelect) != 0;
    const bool gridExtensions = (options_->MiscOptions() & toGridExtensions) != 0;
    const bool focusedLook = paintFocused_ || (paint & toPopupMode);

    // A column of its own colour fills its cells; one in the tree's colour
    // leaves the row as the erasing made it (row colours of the application).
    if ((paintInfo.PaintOptions & prColumnColors) && header_->Columns().IsValidColumn(paintInfo.Column)) {
        const COLORREF columnColor = header_->Columns()[paintInfo.Column]->Color();
        if (columnColor != Color()) {
            canvas.SetBrushColor(columnColor);
            canvas.FillRect(paintInfo.CellRect);
        }
    }
    DoBeforeCellPaint(canvas, node, paintInfo.Column, paintInfo.CellRect);

    const bool focusedColumn = paintInfo.Column == focusedColumn_ || !header_->UseColumns();
    if (!focusedColumn && !fullRow)
        return;
    const bool selected = (node->States & vsSelected) != 0;
    // The drop target shows as such while a drop would land on it, or when
    // it is selected anyway.
    const bool dropTarget = node == dropTargetNode_ && (lastDropMode_ == dmOnNode || selected);
    const bool drawSelection = (paintInfo.PaintOptions & prSelection) && (selected || dropTarget);
    const bool drawFocus = (paintInfo.PaintOptions & prFocusRect) && node == focusedNode_ && focusedColumn &&
                           focusedLook;
    if (!drawSelection && !drawFocus)
        return;

    // The selection covers the text unless the whole cell is used; the text's
    // width is asked for only where the text rectangle is drawn.
    RECT selectionRect = paintInfo.ContentRect;
    if (!gridExtensions && (drawFocus || !fullRow)) {
        paintInfo.NodeWidth = DoGetNodeWidth(node, paintInfo.Column, &canvas);
        const int w = paintInfo.NodeWidth;
        switch (paintInfo.Alignment) {
        case TAlignment::taRightJustify:
            selectionRect.left = std::max<int>(selectionRect.left, selectionRect.right - w);
            break;
        case TAlignment::taCenter: {
            const int free = (selectionRect.right - selectionRect.left - w) / 2;
            if (free > 0) {
                selectionRect.left += free;
                selectionRect.right = selectionRect.left + w;
            }
            break;
        }
        default:
            selectionRect.right = std::min<int>(selectionRect.right, selectionRect.left + w);
            break;
        }
    }

    if (drawSelection) {
        COLORREF fill, border;
        if (dropTarget) {
            fill = colors_->DropTargetColor();
            border = colors_->DropTargetBorderColor();
        } else if (focusedLook) {
            fill = colors_->FocusedSelectionColor();
            border = colors_->FocusedSelectionBorderColor();
        } else {
            fill = colors_->UnfocusedSelectionColor();
            border = colors_->UnfocusedSelectionBorderColor();
        }
        RECT r = (gridExtensions || fullRow) ? paintInfo.CellRect : selectionRect;
        if (r.right > r.left && r.bottom > r.top) {
            if ((paint & toUseBlendedSelection) && MMXAvailable()) {
                // Blended into the cell, never left of the bitmap.
                r.left = std::max<int>(r.left, windowOrgX);
                r.right = std::min<int>(r.right, windowOrgX + maxWidth);
                if (r.right > r.left)
                    AlphaBlend(canvas.Handle(), canvas.Handle(), r, POINT{r.left, r.top}, bmConstantAlphaAndColor,
                               selectionBlendFactor_, static_cast<int>(fill));
            } else {
                canvas.SetBrushColor(fill);
                canvas.SetPenColor(border);
                canvas.SetPenStyle(psSolid);
                canvas.SetPenWidth(1);
                const int radius = static_cast<int>(selectionCurveRadius_);
                canvas.RoundRect(r, radius, radius);
            }
        }
    }
    if (drawFocus)
        canvas.DrawFocusRect(gridExtensions ? paintInfo.CellRect : selectionRect);
}

// ---------------------------------------------------------------------------
// Tree lines

void TBaseVirtualTree::DrawDottedHLine(const TVTPaintInfo& paintInfo, int left, int right, int top)
{
    HDC dc = paintInfo.Canvas->Handle();
    if (!dc || !lineBrush_)
        return;
    RECT r{std::min(left, right), top, std::max(left, right) + 1, top + 1};
    SetTextColor(dc, paintInfo.Canvas->Font().Color());
    SetBkColor(dc, Color());
    ::FillRect(dc, &r, lineBrush_);
}

void TBaseVirtualTree::DrawDottedVLine(const TVTPaintInfo& paintInfo, int top, int bottom, int left)
{
    HDC dc = paintInfo.Canvas->Handle();
    if (!dc || !lineBrush_)
        return;
    RECT r{left, std::min(top, bottom), left + 1, std::max(top, bottom) + 1};
    SetTextColor(dc, paintInfo.Canvas->Font().Color());
    SetBkColor(dc, Color());
    ::FillRect(dc, &r, lineBrush_);
}

void TBaseVirtualTree::DrawLineImage(const TVTPaintInfo& paintInfo, int x, int y, int h, int vAlign,
                                     TVTLineType style, bool reverse)
{
    const int indent = static_cast<int>(indent_);
    const int centre = x + indent / 2;
    const int mid = y + vAlign;
    // The branch runs from the centre line to the level's edge on the
    // reading side.
    auto branch = [&] {
        if (reverse)
            DrawDottedHLine(paintInfo, x, centre, mid);
        else
            DrawDottedHLine(paintInfo, centre, x + indent - 1, mid);
    };
    switch (static_cast<int>(style)) {
    case ltBottomRight:
        DrawDottedVLine(paintInfo, mid, y + h - 1, centre);
        branch();
        break;
    case ltTopDown:
        DrawDottedVLine(paintInfo, y, y + h - 1, centre);
        break;
    case ltTopDownRight:
        DrawDottedVLine(paintInfo, y, y + h - 1, centre);
        branch();
        break;
    case ltRight:
        branch();
        break;
    case ltTopRight:
        DrawDottedVLine(paintInfo, y, mid, centre);
        branch();
        break;
    case 6:   // band: the level's leading edge
        DrawDottedVLine(paintInfo, y, y + h - 1, reverse ? x + indent - 1 : x);
        break;
    case 7:   // band: leading and bottom edge
        DrawDottedVLine(paintInfo, y, y + h - 1, reverse ? x + indent - 1 : x);
        DrawDottedHLine(paintInfo, x, x + indent - 1, y + h - 1);
        break;
    default:
        break;
    }
}

void TBaseVirtualTree::PaintTreeLines(const TVTPaintInfo& paintInfo, int vAlignment, int indentSize,
                                      const TLineImage& lineImage)
{
    const int indent = static_cast<int>(indent_);
    const bool reverse = paintInfo.BidiMode != bdLeftToRight;
    int x = reverse ? paintInfo.CellRect.right - indent : paintInfo.CellRect.left;
    const int step = reverse ? -indent : indent;
    const int count = std::min<int>(indentSize, static_cast<int>(lineImage.size()));
    const int h = paintInfo.CellRect.bottom - paintInfo.CellRect.top;
    TFont& font = paintInfo.Canvas->Font();
    if (lineMode_ == lmBands) {
        // Bands: the row's own level shows as an open band when its children
        // follow; other line ends close their band at the bottom.
        std::vector<int> bands(static_cast<size_t>(std::max(count, 0)), 0);
        PVirtualNode node = paintInfo.Node;
        for (int i = count - 1; i >= 0; --i) {
            const int code = lineImage[static_cast<size_t>(i)];
            int band = 0;
            if (i == count - 1 && (node->States & vsExpanded) && node->ChildCount > 0 &&
                !(node->States & vsAllChildrenHidden))
                band = 6;
            else if (code == ltBottomRight || code == ltTopDownRight || code == ltRight || code == ltTopRight)
                band = 7;
            else if (code == ltTopDown) {
                const int nextCode = i + 1 < count ? lineImage[static_cast<size_t>(i + 1)] : 0;
                band = (nextCode != ltNone && nextCode != ltTopRight) ? 6
                       : i + 1 < count                               ? bands[static_cast<size_t>(i + 1)]
                                                                     : 6;
            }
            bands[static_cast<size_t>(i)] = band;
        }
        font.SetColor(colors_->GridLineColor());
        for (int i = 0; i < count; ++i, x += step)
            DrawLineImage(paintInfo, x, paintInfo.CellRect.top, h - 1, vAlignment,
                          static_cast<TVTLineType>(bands[static_cast<size_t>(i)]), reverse);
        return;
    }
    font.SetColor(colors_->TreeLineColor());
    for (int i = 0; i < count; ++i, x += step)
        DrawLineImage(paintInfo, x, paintInfo.CellRect.top, h, vAlignment, lineImage[static_cast<size_t>(i)],
                      reverse);
}

// ---------------------------------------------------------------------------
// Buttons, check images, node images, rubber band

void TBaseVirtualTree::PaintNodeButton(TCanvas& canvas, PVirtualNode node, TColumnIndex, const RECT& r,
                                       int buttonX, int buttonY, TBiDiMode bidiMode)
{
    TBitmap& bitmap = (node->States & vsExpanded) ? minusBM_ : plusBM_;
    if (bitmap.Empty())
        return;
    const int x = bidiMode == bdLeftToRight ? r.left + buttonX : r.right - buttonX - bitmap.Width();
    canvas.Draw(x, r.top + buttonY, bitmap);
}

namespace {

// The themed button part of a check image index (groups of four: normal,
// hot, pressed, disabled).
int ThemedCheckCode(int index)
{
    if (index <= 0)
        return -1;
    const int group = (index - 1) / 4, state = (index - 1) % 4;
    switch (group) {
    case 0:
        return tbRadioUncheckedNormal + state;
    case 1:
        return tbRadioCheckedNormal + state;
    case 2:
        return tbCheckUncheckedNormal + state;
    case 3:
        return tbCheckCheckedNormal + state;
    case 4:
        return tbCheckMixedNormal + state;
    case 5: {
        static const int push[4] = {tbPushNormal, tbPushHot, tbPushPressed, tbPushDisabled};
        return push[state];
    }
    default:
        return -1;
    }
}

}  // namespace

void TBaseVirtualTree::PaintCheckImage(TCanvas& canvas, const TVTImageInfo& imageInfo, bool)
{
    if (imageInfo.Index < 0)
        return;
    if (states_ & tsUseThemes) {
        const int code = ThemedCheckCode(imageInfo.Index);
        if (code >= 0) {
            const int size = imageInfo.Images ? imageInfo.Images->Width() : 16;
            RECT r{imageInfo.XPos, imageInfo.YPos, imageInfo.XPos + size, imageInfo.YPos + size};
            ThemeServices().DrawElement(canvas.Handle(), TThemeServices::GetButtonDetails(code), r);
            return;
        }
    }
    if (imageInfo.Images)
        imageInfo.Images->DrawEx(canvas, imageInfo.XPos, imageInfo.YPos, imageInfo.Index,
                                 TCustomImageList::dsTransparent);
}

void TBaseVirtualTree::PaintImage(TVTPaintInfo& paintInfo, TVTImageInfoIndex imageInfoIndex, bool doOverlay)
{
    const TVTImageInfo& image = paintInfo.ImageInfo[imageInfoIndex];
    if (image.Index < 0 || !image.Images)
        return;
    PVirtualNode node = paintInfo.Node;
    const bool ghosted = image.Ghosted || ((node->States & vsCutOrCopy) &&
                                           (options_->PaintOptions() & toUseBlendedImages));
    const int overlay = doOverlay ? paintInfo.ImageInfo[iiOverlay].Index : -1;
    const bool enabled = !(node->States & vsDisabled) && Enabled();
    image.Images->DrawEx(*paintInfo.Canvas, image.XPos, image.YPos, image.Index,
                         ghosted ? TCustomImageList::dsSelected : TCustomImageList::dsTransparent, enabled, overlay,
                         Color());
}

void TBaseVirtualTree::PaintSelectionRectangle(TCanvas& canvas, int, const RECT& selectionRect,
                                               const RECT& targetRect)
{
    const RECT band = OrderRect(selectionRect);
    if (band.right <= band.left || band.bottom <= band.top)
        return;
    const bool blended = (drawSelectionMode_ == smBlendedRectangle || (states_ & tsUseThemes)) && MMXAvailable();
    if (blended) {
        RECT r;
        if (IntersectRect(&r, &band, &targetRect))
            AlphaBlend(canvas.Handle(), canvas.Handle(), r, POINT{r.left, r.top}, bmConstantAlphaAndColor,
                       selectionBlendFactor_, static_cast<int>(colors_->SelectionRectangleBlendColor()));
        canvas.SetPenColor(colors_->SelectionRectangleBorderColor());
        canvas.FrameRect(band);
    } else {
        canvas.DrawFocusRect(band);
    }
}

// ---------------------------------------------------------------------------
// Image indexes

int TBaseVirtualTree::GetCheckImage(PVirtualNode node)
{
    if (!node || node->CheckType == ctNone)
        return -1;
    const TCheckState state = static_cast<TCheckState>(node->CheckState);
    const bool checked = state == csCheckedNormal || state == csCheckedPressed;
    const bool mixed = state == csMixedNormal || state == csMixedPressed;
    const bool pressed = state == csUncheckedPressed || state == csCheckedPressed || state == csMixedPressed;
    int base;
    switch (node->CheckType) {
    case ctRadioButton:
        base = checked ? ckRadioChecked : ckRadioUnchecked;
        break;
    case ctButton:
        base = ckButton;
        break;
    default:   // check box and tri-state box
        base = mixed ? ckCheckMixed : checked ? ckCheckChecked : ckCheckUnchecked;
        break;
    }
    if ((node->States & vsDisabled) || !Enabled())
        return base + 3;
    if (pressed)
        return base + 2;
    if (node == currentHotNode_)
        return base + 1;
    return base;
}

void TBaseVirtualTree::GetImageIndex(TVTPaintInfo& paintInfo, TVTImageKind kind, TVTImageInfoIndex infoIndex,
                                     TCustomImageList* defaultImages)
{
    TVTImageInfo& image = paintInfo.ImageInfo[infoIndex];
    image.Index = -1;
    image.Ghosted = false;
    TCustomImageList* list = DoGetImageIndex(paintInfo.Node, kind, paintInfo.Column, image.Ghosted, image.Index);
    image.Images = list ? list : defaultImages;
}

bool TBaseVirtualTree::HasImage(PVirtualNode node, TVTImageKind kind, TColumnIndex column)
{
    bool ghosted = false;
    int index = -1;
    DoGetImageIndex(node, kind, column, ghosted, index);
    return index > -1;
}

void TBaseVirtualTree::AdjustPaintCellRect(TVTPaintInfo& paintInfo, TColumnIndex& nextNonEmpty)
{
    nextNonEmpty = header_->Columns().GetNextVisibleColumn(paintInfo.Column);
}

// ---------------------------------------------------------------------------
// Geometry

SIZE TBaseVirtualTree::GetBorderDimensions()
{
    SIZE result{0, 0};
    LONG_PTR style, exStyle;
    if (HandleAllocated()) {
        style = GetWindowLongPtrW(Handle(), GWL_STYLE);
        exStyle = GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
    } else {
        TCreateParams params;
        CreateParams(params);
        style = static_cast<LONG_PTR>(params.style);
        exStyle = static_cast<LONG_PTR>(params.exStyle);
    }
    if (style & WS_BORDER) {
        result.cx -= 1;
        result.cy -= 1;
    }
    if (style & WS_THICKFRAME) {
        result.cx -= GetSystemMetrics(SM_CXFRAME);
        result.cy -= GetSystemMetrics(SM_CYFRAME);
    }
    if (exStyle & WS_EX_CLIENTEDGE) {
        result.cx -= GetSystemMetrics(SM_CXEDGE);
        result.cy -= GetSystemMetrics(SM_CYEDGE);
    }
    return result;
}

int TBaseVirtualTree::GetMaxRightExtend()
{
    const TVTPaintOptions paint = options_->PaintOptions();
    const RECT client = ClientRect();
    int top = 0;
    PVirtualNode node = GetNodeAtOffset(-offsetY_, &top);
    int y = top + offsetY_;
    int result = 0;
    while (node && y < client.bottom) {
        int right = static_cast<int>((NodeLevel(node) + ((paint & toShowRoot) ? 1 : 0)) * indent_);
        if (stateImages_)
            right += stateImages_->Width() + 2;
        if (images_)
            right += images_->Width() + 2;
        if (checkImages_ && (options_->MiscOptions() & toCheckSupport))
            right += checkImages_->Width();
        right += DoGetNodeWidth(node, NoColumn, &Canvas());
        result = std::max(result, right);
        y += node->NodeHeight;
        node = GetNextVisible(node);
    }
    return result;
}

// ---------------------------------------------------------------------------
// Animation

bool TBaseVirtualTree::Animate(unsigned stepCount, unsigned duration, const TVTAnimationCallback& callback,
                               void* data)
{
    if ((states_ & tsInAnimation) || duration == 0 || !callback)
        return false;
    DoStateChange(tsInAnimation);
    struct TAnimationState {
        TBaseVirtualTree* tree;
        ~TAnimationState()
        {
            if (std::uncaught_exceptions() > 0)
                tree->states_ &= ~tsInAnimation;
        }
    } animationState{this};

    unsigned stepSize = std::max(1u, static_cast<unsigned>(std::lround(double(stepCount) / duration)));
    unsigned remainingSteps = stepCount / stepSize;
    unsigned remainingDuration = duration;
    unsigned done = 0;
    bool terminated = Application().Terminated();
    while (remainingSteps > 0 && !terminated) {
        const DWORD start = timeGetTime();
        const DWORD target = start + remainingDuration / remainingSteps;
        done += stepSize;
        if (!callback(done, stepSize, data))
            break;
        while (static_cast<LONG>(timeGetTime() - target) < 0)
            ;   // busy: the steps are a few milliseconds apart
        const DWORD used = timeGetTime() - start;
        terminated = Application().Terminated();
        if (used >= remainingDuration)
            break;
        remainingDuration -= used;
        --remainingSteps;
        // Keep at least a millisecond per step by taking bigger steps.
        while (remainingSteps > 0 && remainingDuration / remainingSteps == 0) {
            ++stepSize;
            remainingSteps = (stepCount > done ? stepCount - done : 0) / stepSize;
        }
    }
    if (!terminated)
        callback(0, 0, data);
    DoStateChange(0, tsInAnimation);
    return true;
}
