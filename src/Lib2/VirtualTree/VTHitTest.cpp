// Where nodes are on the screen: the row, cell and text rectangles of a
// node, the full hit test of a point, the widest cell of a column and the
// base tree's text information.
#include <windows.h>

#include <algorithm>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/ImageList.h"

namespace {

// Width plus the 2-pixel gap of a node's image of that kind, 0 when the node
// shows none.
int ShownImageWidth(TBaseVirtualTree& tree, PVirtualNode node, TVTImageKind kind, TColumnIndex column, int gap)
{
    bool ghosted = false;
    int index = -1;
    TCustomImageList* list = tree.DoGetImageIndex(node, kind, column, ghosted, index);
    if (!list)
        list = kind == ikState ? tree.StateImages() : tree.Images();
    return (list && index > -1) ? list->Width() + gap : 0;
}

// Width of the check image in front of a node in the main column, 0 without.
int CheckImageWidth(TBaseVirtualTree& tree, PVirtualNode node, int gap)
{
    if (!(tree.TreeOptions().MiscOptions() & toCheckSupport) || !tree.CheckImages() || node->CheckType == ctNone)
        return 0;
    return tree.CheckImages()->Width() + gap;
}

TAlignment Mirrored(TAlignment a)
{
    if (a == TAlignment::taLeftJustify)
        return TAlignment::taRightJustify;
    if (a == TAlignment::taRightJustify)
        return TAlignment::taLeftJustify;
    return a;
}

// The visible column whose cell holds the absolute x (header coordinates),
// with its edges; -2 when none.
TColumnIndex ColumnAtX(const TVirtualTreeColumns& columns, int x, int& left, int& right)
{
    for (TColumnIndex index : columns.PositionToIndex()) {
        const TVirtualTreeColumn* c = columns.Items(index);
        if (c->Visible() && x >= c->Left() && x < c->Left() + c->Width()) {
            left = c->Left();
            right = c->Left() + c->Width();
            return index;
        }
    }
    return InvalidColumn;
}

}   // namespace

RECT TBaseVirtualTree::NodeDisplayRect(PVirtualNode node, TColumnIndex column, bool textOnly, bool unclipped)
{
    BX_ASSERT(node, "Node must not be nil.");
    RECT r{0, 0, 0, 0};
    if (node == root_)
        return r;
    if (!(node->States & vsInitialized))
        InitNode(node);

    const bool mainColumn = column == header_->MainColumn();
    int indentation = 0;
    for (PVirtualNode run = node; run != root_; run = run->Parent) {
        if (!(run->States & vsVisible) || !(run->Parent->States & vsExpanded))
            return RECT{0, 0, 0, 0};
        if (mainColumn && run->Parent != root_)
            indentation += static_cast<int>(indent_);
    }

    const RECT client = ClientRect();
    const int top = static_cast<int>(NodeTop(node));
    r = RECT{0, top, std::max<int>(client.right, rangeX_), top + node->NodeHeight};
    TVirtualTreeColumn* columnItem = header_->Columns().IsValidColumn(column) ? header_->Columns()[column] : nullptr;
    if (columnItem) {
        int left = 0, right = 0;
        header_->Columns().GetColumnBounds(column, left, right);
        r.left = left;
        r.right = right - 1;
        OffsetRect(&r, 0, offsetY_);
    } else {
        OffsetRect(&r, offsetX_, offsetY_);
    }
    if (!textOnly)
        return r;

    int offset = margin_ + indentation;
    TAlignment alignment = columnItem ? columnItem->Alignment() : alignment_;
    const bool rightToLeft = columnItem ? columnItem->UseRightToLeftReading() : UseRightToLeftReading();
    const int textWidth = DoGetNodeWidth(node, column, &Canvas());
    if (mainColumn) {
        if (options_->PaintOptions() & toShowRoot)
            offset += static_cast<int>(indent_);
        offset += CheckImageWidth(*this, node, 2);
    }
    offset += ShownImageWidth(*this, node, ikState, column, 2);
    offset += ShownImageWidth(*this, node, ikNormal, column, 2);

    if (rightToLeft) {
        r.right -= offset;
        alignment = Mirrored(alignment);
    } else {
        r.left += offset;
    }
    if (!unclipped) {
        if (r.right - r.left <= textWidth)
            return r;
    } else if (r.right - r.left < textWidth) {
        alignment = rightToLeft ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
    }
    switch (alignment) {
    case TAlignment::taLeftJustify:
        r.right = r.left + textWidth;
        break;
    case TAlignment::taRightJustify:
        r.left = r.right - textWidth;
        break;
    case TAlignment::taCenter:
        r.left = (r.left + r.right - textWidth) / 2;
        r.right = r.left + textWidth;
        break;
    }
    return r;
}

void TBaseVirtualTree::HitTestAt(int x, int y, THitInfo& hitInfo, bool relative)
{
    hitInfo = THitInfo{};
    hitInfo.HitColumn = NoColumn;
    const RECT client = ClientRect();
    if (x < 0)
        hitInfo.HitPositions |= hpLeftOfClient;
    else if (x > std::max<int>(client.right, rangeX_))
        hitInfo.HitPositions |= hpRightOfClient;
    if (y < 0)
        hitInfo.HitPositions |= hpAbove;
    else if (y > std::max<int>(client.bottom, RangeY()))
        hitInfo.HitPositions |= hpBelow;

    TVirtualTreeColumns& columns = header_->Columns();
    if (relative) {
        if (x >= columns.GetVisibleFixedWidth())
            x -= offsetX_;
        y -= offsetY_;
    }
    if (hitInfo.HitPositions != 0)
        return;

    int nodeTop = 0;
    PVirtualNode node = NodeAtPosition(x, y, false, nodeTop);
    if (!node) {
        hitInfo.HitPositions |= hpNowhere;
        return;
    }
    if (!(node->States & vsInitialized))
        InitNode(node);
    hitInfo.HitNode = node;

    // The cell under x and its edges (absolute).
    int cellLeft = 0, cellRight = std::max<int>(client.right, rangeX_);
    TColumnIndex column = NoColumn;
    if (columns.GetFirstVisibleColumn() != InvalidColumn) {
        column = ColumnAtX(columns, x, cellLeft, cellRight);
        if (column != InvalidColumn && (options_->AutoOptions() & toAutoSpanColumns)) {
            // An empty cell belongs to the text of the cell before it.
            for (TColumnIndex previous = columns.GetPreviousVisibleColumn(column);
                 previous >= 0 && ColumnIsEmpty(node, column);
                 previous = columns.GetPreviousVisibleColumn(column)) {
                column = previous;
                cellLeft = columns[column]->Left();
            }
            cellRight = columns[column]->Left() + columns[column]->Width();
            for (TColumnIndex next = columns.GetNextVisibleColumn(column);
                 next >= 0 && ColumnIsEmpty(node, next); next = columns.GetNextVisibleColumn(next))
                cellRight = columns[next]->Left() + columns[next]->Width();
        }
    }
    hitInfo.HitColumn = column;
    if (column == InvalidColumn) {
        hitInfo.HitPositions |= hpNowhere;
        return;
    }
    hitInfo.HitPositions = hpOnItem;

    TVirtualTreeColumn* columnItem = columns.IsValidColumn(column) ? columns[column] : nullptr;
    TAlignment alignment = columnItem ? columnItem->Alignment() : alignment_;
    const bool rightToLeft = columnItem ? columnItem->UseRightToLeftReading() : UseRightToLeftReading();
    // Distances into the cell from its reading start (the right edge for
    // right-to-left); the alignment is then the written one.
    const int pos = rightToLeft ? cellRight - 1 - x : x - cellLeft;
    const int cellWidth = cellRight - cellLeft;

    const bool mainColumn = column == header_->MainColumn();
    int indentation = 0;
    if (mainColumn) {
        indentation = static_cast<int>(NodeLevel(node) * indent_);
        if (options_->PaintOptions() & toShowRoot)
            indentation += static_cast<int>(indent_);
    }
    if (pos < indentation) {
        if ((options_->PaintOptions() & toShowButtons) && (node->States & vsHasChildren) &&
            pos >= indentation - static_cast<int>(indent_))
            hitInfo.HitPositions |= hpOnButton;
        else
            hitInfo.HitPositions |= hpOnIndent;
        return;
    }
    if (!mainColumn && (options_->MiscOptions() & toReportMode))
        return;

    int p = indentation + margin_;
    if (mainColumn) {
        p += CheckImageWidth(*this, node, 2);
        if (pos < p) {
            if (CheckImageWidth(*this, node, 2) > 0)
                hitInfo.HitPositions |= hpOnCheckBox;
            return;
        }
    }
    if (const int w = ShownImageWidth(*this, node, ikState, column, 2)) {
        p += w;
        if (pos < p) {
            hitInfo.HitPositions |= hpOnStateImage;
            return;
        }
    }
    if (const int w = ShownImageWidth(*this, node, ikNormal, column, 2)) {
        p += w;
        if (pos < p) {
            hitInfo.HitPositions |= hpOnNormalImage;
            return;
        }
    }
    const int textWidth = DoGetNodeWidth(node, column, &Canvas());
    if (textWidth <= cellWidth - p) {
        switch (alignment) {
        case TAlignment::taLeftJustify:
            hitInfo.HitPositions |= pos >= p + textWidth ? hpRightOfLabel : hpOnLabel;
            return;
        case TAlignment::taRightJustify:
            hitInfo.HitPositions |= pos < cellWidth - textWidth ? hpLeftOfLabel : hpOnLabel;
            return;
        case TAlignment::taCenter: {
            const int start = (p + cellWidth - textWidth) / 2;
            if (pos < start)
                hitInfo.HitPositions |= hpLeftOfLabel;
            else if (pos >= start + textWidth)
                hitInfo.HitPositions |= hpRightOfLabel;
            else
                hitInfo.HitPositions |= hpOnLabel;
            return;
        }
        }
    }
    hitInfo.HitPositions |= hpOnLabel;
}

int TBaseVirtualTree::MaxColumnWidth(TColumnIndex column)
{
    const bool mainColumn = column == header_->MainColumn();
    const bool gridLines = (options_->PaintOptions() & toShowVertGridLines) != 0;
    TCanvas& canvas = Canvas();
    int widest = -1;
    for (PVirtualNode run = FirstVisibleNode(); run; run = NextVisibleNode(run)) {
        // A multiline node breaks its text to the cell: it fits any width.
        if ((run->States & vsMultiline) && header_->Columns().IsValidColumn(column)) {
            widest = std::max(widest, header_->Columns()[column]->Width());
            continue;
        }
        // The cell as it is painted (and hit-tested): the margin, the
        // indentation, each image with the 2 pixels after it, the node's
        // content. Leaving out the margin or the gaps would cut the widest
        // text of a fitted column.
        int width = margin_;
        if (mainColumn) {
            unsigned levels = NodeLevel(run) + ((options_->PaintOptions() & toShowRoot) ? 1 : 0);
            width += static_cast<int>(levels * indent_);
            width += CheckImageWidth(*this, run, 2);
        }
        width += ShownImageWidth(*this, run, ikState, column, 2);
        width += ShownImageWidth(*this, run, ikNormal, column, 2);
        width += DoGetNodeWidth(run, column, &canvas);
        widest = std::max(widest, width);
    }
    if (widest < 0)
        return gridLines ? 1 : 0;
    return widest + (gridLines ? 1 : 0);
}

void TBaseVirtualTree::TextInfo(PVirtualNode, TColumnIndex, TFont& font, RECT& r, std::string& text)
{
    font.Assign(Font());
    r = RECT{0, 0, 0, 0};
    text.clear();
}
