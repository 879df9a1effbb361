// Columns of the header: one column's properties with their reactions, and
// the collection with its display order, tracked columns, layout queries and
// the auto-size of one column.
#include <algorithm>
#include <cmath>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHeaderInternal.h"
#include "platform/ImageList.h"
#include "platform/Text.h"

// --- TVirtualTreeColumn -------------------------------------------------------

TVirtualTreeColumn::TVirtualTreeColumn(TVirtualTreeColumns* owner) : owner_(owner) {
    if (owner_ == nullptr)
        return;
    position_ = owner_->Count();
    if (TBaseVirtualTree* tree = Tree()) {
        color_ = vthdr::TreeColor(tree);
        bidiMode_ = vthdr::TreeBiDiMode(tree);
    }
    owner_->AddItem(this);
}

TVirtualTreeColumn::~TVirtualTreeColumn() {
    if (owner_ != nullptr)
        owner_->RemoveItem(this);
}

int TVirtualTreeColumn::Index() const {
    if (owner_ == nullptr)
        return -1;
    const auto& items = owner_->items_;
    auto it = std::find(items.begin(), items.end(), this);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

TVTHeader* TVirtualTreeColumn::Header() const {
    return owner_ != nullptr ? owner_->Header() : nullptr;
}

TBaseVirtualTree* TVirtualTreeColumn::Tree() const {
    return owner_ != nullptr ? owner_->Tree() : nullptr;
}

bool TVirtualTreeColumn::Loading() const {
    return owner_ != nullptr && owner_->HeaderLoading();
}

void TVirtualTreeColumn::Changed() {
    if (owner_ != nullptr)
        owner_->ItemChanged(this);
}

void TVirtualTreeColumn::SetText(const std::string& value) {
    if (text_ == value)
        return;
    text_ = value;
    Changed();
}

void TVirtualTreeColumn::SetHint(const std::string& value) {
    hint_ = value;
}

void TVirtualTreeColumn::SetWidth(int value) {
    if (value < minWidth_)
        value = minWidth_;
    if (value > maxWidth_)
        value = maxWidth_;
    if (value == width_)
        return;
    if (owner_ == nullptr) {
        lastWidth_ = width_;
        width_ = value;
        return;
    }
    TVTHeader* header = Header();
    const int index = Index();
    const bool autoResize = (header->Options() & hoAutoResize) != 0;
    // The auto-size column's width follows the others; only they change by hand.
    if (!autoResize || index != owner_->EffectiveAutoSizeIndex()) {
        lastWidth_ = width_;
        width_ = value;
        owner_->UpdatePositions();
    }
    if (!Loading() && owner_->UpdateCount() == 0) {
        if (autoResize)
            owner_->AdjustAutoSize(index);
        vthdr::ColumnResized(Tree(), index);
    }
    Changed();
}

void TVirtualTreeColumn::SetMinWidth(int value) {
    if (value < 0)
        value = 0;
    if (value > maxWidth_)
        value = maxWidth_;
    if (value == minWidth_)
        return;
    minWidth_ = value;
    SetWidth(width_);
}

void TVirtualTreeColumn::SetMaxWidth(int value) {
    if (value < minWidth_)
        value = minWidth_;
    if (!IsWinNT() && value > 10000)
        value = 10000;
    if (value == maxWidth_)
        return;
    maxWidth_ = value;
    SetWidth(width_);
}

void TVirtualTreeColumn::SetPosition(TColumnPosition value) {
    if (owner_ == nullptr || Loading()) {
        // The display order is rebuilt from the stored positions when loading ends.
        position_ = value;
        if (owner_ != nullptr)
            owner_->needPositionsFix_ = true;
        return;
    }
    const int count = owner_->Count();
    if (value >= count)
        value = count - 1;
    if (value < 0)
        value = 0;
    if (value == position_)
        return;
    vthdr::EndEdit(Tree());
    owner_->MoveColumn(this, value);
    // A column keeps the fixed columns together: it takes the fixed flag of
    // the column behind it (or, for a fixed column away from the start, of
    // the one before it).
    TVirtualTreeColumn* neighbour = nullptr;
    if (!Fixed() || position_ == 0)
        neighbour = owner_->Items(owner_->ColumnFromPosition(position_ + 1));
    else
        neighbour = owner_->Items(owner_->ColumnFromPosition(position_ - 1));
    if (neighbour != nullptr && neighbour->Fixed() != Fixed())
        SetOptions(neighbour->Fixed() ? (options_ | coFixed) : (options_ & ~coFixed));
}

void TVirtualTreeColumn::SetStyle(TVirtualTreeColumnStyle value) {
    if (style_ == value)
        return;
    style_ = value;
    Changed();
}

void TVirtualTreeColumn::SetImageIndex(int value) {
    if (imageIndex_ == value)
        return;
    imageIndex_ = value;
    Changed();
}

void TVirtualTreeColumn::SetBiDiMode(TBiDiMode value) {
    if (value == bidiMode_ && (options_ & coParentBidiMode) == 0)
        return;
    bidiMode_ = value;
    options_ &= ~coParentBidiMode;
    vthdr::RepaintTree(Tree());
    Changed();
}

void TVirtualTreeColumn::SetLayout(TVTHeaderColumnLayout value) {
    if (layout_ == value)
        return;
    layout_ = value;
    Changed();
}

void TVirtualTreeColumn::SetMargin(int value) {
    if (value < 0)
        value = 4;
    if (margin_ == value)
        return;
    margin_ = value;
    Changed();
}

void TVirtualTreeColumn::SetSpacing(int value) {
    if (spacing_ == value)
        return;
    spacing_ = value;
    Changed();
}

void TVirtualTreeColumn::SetOptions(TVTColumnOptions value) {
    const TVTColumnOptions old = options_;
    if (value == old)
        return;
    const TVTColumnOptions toSet = value & ~old;
    const TVTColumnOptions changed = value ^ old;
    options_ = value;
    if (toSet & coParentBidiMode)
        ParentBiDiModeChanged();
    if (toSet & coParentColor)
        ParentColorChanged();
    if (toSet & coAutoSpring)
        springRest_ = 0;
    if (owner_ == nullptr)
        return;
    if (changed & coVisible)
        owner_->UpdatePositions();
    if (!Loading()) {
        TBaseVirtualTree* tree = Tree();
        if (((changed & coVisible) || (toSet & coParentColor)) && vthdr::TreeUpdateCount(tree) == 0)
            vthdr::RepaintTree(tree);
        if (changed & coVisible) {
            if ((Header()->Options() & hoAutoResize) && owner_->UpdateCount() == 0)
                owner_->AdjustAutoSize(InvalidColumn);
            vthdr::UpdateHorizontalScrollBar(tree);
            // Every column from here on moved: the whole header is drawn again.
            if (owner_->UpdateCount() == 0)
                Header()->Invalidate(nullptr);
        }
    }
    Changed();
}

void TVirtualTreeColumn::SetAlignment(TAlignment value) {
    if (alignment_ == value)
        return;
    alignment_ = value;
    vthdr::RepaintTree(Tree());
    Changed();
}

void TVirtualTreeColumn::SetColor(COLORREF value) {
    if (color_ == value && (options_ & coParentColor) == 0)
        return;
    color_ = value;
    options_ &= ~coParentColor;
    vthdr::RepaintTree(Tree());
    Changed();
}

void TVirtualTreeColumn::ParentColorChanged() {
    if ((options_ & coParentColor) == 0)
        return;
    if (TBaseVirtualTree* tree = Tree())
        color_ = vthdr::TreeColor(tree);
}

void TVirtualTreeColumn::ParentBiDiModeChanged() {
    if ((options_ & coParentBidiMode) == 0)
        return;
    if (TBaseVirtualTree* tree = Tree()) {
        TBiDiMode mode = vthdr::TreeBiDiMode(tree);
        if (mode != bidiMode_) {
            bidiMode_ = mode;
            Changed();
        }
    }
}

std::string TVirtualTreeColumn::DisplayName() const {
    for (wchar_t ch : Utf8ToWide(text_))
        if (static_cast<unsigned>(ch) > 255)
            return Format("Column %d", Index());
    return text_;
}

bool TVirtualTreeColumn::UseRightToLeftReading() const {
    return bidiMode_ != bdLeftToRight;
}

void TVirtualTreeColumn::Assign(const TVirtualTreeColumn& source) {
    if (&source == this)
        return;
    // Limits first, so that the width lands inside them.
    maxWidth_ = 10000;
    minWidth_ = 0;
    SetMaxWidth(source.maxWidth_);
    SetMinWidth(source.minWidth_);
    SetWidth(source.width_);
    lastWidth_ = source.lastWidth_;
    SetText(source.text_);
    SetHint(source.hint_);
    SetStyle(source.style_);
    SetImageIndex(source.imageIndex_);
    SetLayout(source.layout_);
    SetMargin(source.margin_);
    SetSpacing(source.spacing_);
    SetTag(source.tag_);
    SetAlignment(source.alignment_);
    // Colour and reading direction as stored; the options then say whether
    // they follow the tree.
    color_ = source.color_;
    bidiMode_ = source.bidiMode_;
    SetOptions(source.options_);
    springRest_ = source.springRest_;
    if (owner_ == nullptr || Loading())
        position_ = source.position_;
}

bool TVirtualTreeColumn::Equals(const TVirtualTreeColumn& o) const {
    return text_ == o.text_ && hint_ == o.hint_ && width_ == o.width_ && minWidth_ == o.minWidth_ &&
           maxWidth_ == o.maxWidth_ && position_ == o.position_ && style_ == o.style_ &&
           imageIndex_ == o.imageIndex_ && bidiMode_ == o.bidiMode_ && layout_ == o.layout_ &&
           margin_ == o.margin_ && spacing_ == o.spacing_ && options_ == o.options_ &&
           tag_ == o.tag_ && alignment_ == o.alignment_ && color_ == o.color_;
}

void TVirtualTreeColumn::GetAbsoluteBounds(int& left, int& right) const {
    if (owner_ != nullptr) {
        owner_->GetColumnBounds(Index(), left, right);
    } else {
        left = left_;
        right = left_ + width_;
    }
}

void TVirtualTreeColumn::RestoreLastWidth() {
    if (owner_ != nullptr)
        owner_->AnimatedResize(Index(), lastWidth_);
}

void TVirtualTreeColumn::ComputeHeaderLayout(HDC dc, const RECT& client, bool useHeaderGlyph,
                                             bool useSortGlyph, POINT& headerGlyphPos,
                                             POINT& sortGlyphPos, RECT& textBounds) const {
    const TVTHeader* header = Header();
    SIZE glyph{0, 0};
    if (useHeaderGlyph && header != nullptr && header->Images() != nullptr) {
        glyph.cx = header->Images()->Width();
        glyph.cy = header->Images()->Height();
    } else {
        useHeaderGlyph = false;
    }
    SIZE sortGlyph{0, 0};
    if (useSortGlyph) {
        sortGlyph.cx = UtilityImages().Width();
        sortGlyph.cy = UtilityImages().Height();
    }

    // The caption's size; two pixels more in width leave room for the
    // embossed copy of a disabled caption.
    SIZE text{0, 0};
    std::wstring caption = Utf8ToWide(text_);
    if (!caption.empty()) {
        RECT calc{0, 0, 0, 0};
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &calc,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        text.cx = calc.right - calc.left + 2;
        text.cy = calc.bottom - calc.top;
    } else {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        text.cy = tm.tmHeight;
    }

    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;
    const bool stacked = useHeaderGlyph && (layout_ == blGlyphTop || layout_ == blGlyphBottom);
    const bool rtl = UseRightToLeftReading();

    // Vertical places.
    int glyphTop = 0, textTop = 0;
    if (stacked) {
        const int total = glyph.cy + spacing_ + text.cy;
        const int top = client.top + (clientHeight - total) / 2;
        if (layout_ == blGlyphTop) {
            glyphTop = top;
            textTop = top + glyph.cy + spacing_;
        } else {
            textTop = top;
            glyphTop = top + text.cy + spacing_;
        }
    } else {
        glyphTop = client.top + (clientHeight - glyph.cy) / 2;
        textTop = client.top + (clientHeight - text.cy) / 2;
    }
    const int sortTop = client.top + (clientHeight - sortGlyph.cy) / 2;

    // Width of image and text together, then the sort glyph.
    int contentWidth = 0;
    if (stacked)
        contentWidth = std::max<int>(glyph.cx, text.cx);
    else if (useHeaderGlyph)
        contentWidth = glyph.cx + (text.cx > 0 ? spacing_ + text.cx : 0);
    else
        contentWidth = text.cx;
    const int totalWidth = contentWidth + (useSortGlyph ? spacing_ + sortGlyph.cx : 0);

    int start = client.left + margin_;
    if (alignment_ == TAlignment::taCenter)
        start = client.left + (clientWidth - totalWidth) / 2;
    else if (alignment_ == TAlignment::taRightJustify)
        start = client.right - margin_ - totalWidth;

    // The sort glyph goes after the text, before it when reading right to left.
    int contentLeft = start;
    if (useSortGlyph && rtl) {
        sortGlyphPos = POINT{start, sortTop};
        contentLeft = start + sortGlyph.cx + spacing_;
    }

    int textLeft = contentLeft;
    if (stacked) {
        headerGlyphPos = POINT{contentLeft + (contentWidth - glyph.cx) / 2, glyphTop};
        textLeft = contentLeft + (contentWidth - text.cx) / 2;
    } else if (useHeaderGlyph) {
        const bool glyphFirst = (layout_ == blGlyphLeft) != rtl;
        if (glyphFirst) {
            headerGlyphPos = POINT{contentLeft, glyphTop};
            textLeft = contentLeft + glyph.cx + spacing_;
        } else {
            textLeft = contentLeft;
            headerGlyphPos = POINT{contentLeft + (text.cx > 0 ? text.cx + spacing_ : 0), glyphTop};
        }
    } else {
        headerGlyphPos = POINT{contentLeft, glyphTop};
    }
    textBounds = RECT{textLeft, textTop, textLeft + text.cx, textTop + text.cy};

    if (useSortGlyph && !rtl) {
        int x = contentLeft + contentWidth + spacing_;
        // The glyph stays inside the cell even when the caption is too long.
        if (x + sortGlyph.cx > client.right)
            x = client.right - sortGlyph.cx;
        if (x < client.left)
            x = client.left;
        sortGlyphPos = POINT{x, sortTop};
    }

    // The caption never runs over the sort glyph nor out of the cell.
    if (useSortGlyph) {
        if (!rtl) {
            if (textBounds.right > sortGlyphPos.x - spacing_ / 2)
                textBounds.right = sortGlyphPos.x - spacing_ / 2;
        } else {
            const int glyphEnd = sortGlyphPos.x + sortGlyph.cx;
            if (textBounds.left < glyphEnd + spacing_ / 2)
                textBounds.left = glyphEnd + spacing_ / 2;
        }
    }
    if (textBounds.right > client.right)
        textBounds.right = client.right;
    if (textBounds.left < client.left)
        textBounds.left = client.left;
    if (textBounds.right < textBounds.left)
        textBounds.right = textBounds.left;
}

// --- TVirtualTreeColumns ------------------------------------------------------

TVirtualTreeColumns::TVirtualTreeColumns(TVTHeader* header) : header_(header) {}

TVirtualTreeColumns::~TVirtualTreeColumns() {
    clearing_ = true;
    while (!items_.empty()) {
        TVirtualTreeColumn* c = items_.back();
        items_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
}

TBaseVirtualTree* TVirtualTreeColumns::Tree() const {
    return header_ != nullptr ? header_->Treeview() : nullptr;
}

bool TVirtualTreeColumns::HeaderLoading() const {
    return header_ != nullptr && header_->IsLoading();
}

TVirtualTreeColumn* TVirtualTreeColumns::Items(TColumnIndex index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return items_[static_cast<size_t>(index)];
}

TVirtualTreeColumn* TVirtualTreeColumns::Add() {
    return vthdr::CreateColumn(Tree(), this);
}

void TVirtualTreeColumns::AddItem(TVirtualTreeColumn* column) {
    items_.push_back(column);
    positionToIndex_.push_back(Count() - 1);
    if (HeaderLoading()) {
        needPositionsFix_ = true;
        return;
    }
    column->position_ = Count() - 1;
    UpdatePositions();
    TBaseVirtualTree* tree = Tree();
    if (updateCount_ == 0 && (header_->Options() & hoAutoResize))
        AdjustAutoSize(InvalidColumn);
    vthdr::UpdateHorizontalScrollBar(tree);
    header_->Invalidate(nullptr);
}

void TVirtualTreeColumns::RemoveItem(TVirtualTreeColumn* column) {
    auto it = std::find(items_.begin(), items_.end(), column);
    if (it == items_.end())
        return;
    const TColumnIndex index = static_cast<TColumnIndex>(it - items_.begin());
    items_.erase(it);

    positionToIndex_.erase(std::remove(positionToIndex_.begin(), positionToIndex_.end(), index),
                           positionToIndex_.end());
    for (TColumnIndex& i : positionToIndex_)
        if (i > index)
            --i;

    auto forget = [index](TColumnIndex& tracked) {
        if (tracked == index)
            tracked = NoColumn;
        else if (tracked > index)
            --tracked;
    };
    if (clearing_)
        return;
    forget(hoverIndex_);
    forget(downIndex_);
    forget(trackIndex_);
    forget(clickIndex_);
    forget(dragIndex_);
    forget(dropTarget_);
    const bool wasMain = header_->mainColumn_ == index;
    forget(header_->autoSizeIndex_);
    forget(header_->mainColumn_);
    forget(header_->sortColumn_);
    // The main column moves to the first column shown.
    if (wasMain && !items_.empty())
        header_->mainColumn_ = ColumnFromPosition(0);

    if (HeaderLoading())
        return;
    UpdatePositions();
    TBaseVirtualTree* tree = Tree();
    if (vthdr::TreeDestroying(tree))
        return;
    if (updateCount_ == 0 && (header_->Options() & hoAutoResize))
        AdjustAutoSize(InvalidColumn);
    vthdr::UpdateHorizontalScrollBar(tree);
    header_->Invalidate(nullptr);
    vthdr::RepaintTree(tree);
}

void TVirtualTreeColumns::ItemChanged(TVirtualTreeColumn* column) {
    if (HeaderLoading() || updateCount_ > 0)
        return;
    // A new width or visibility moves every cell right of the column.
    header_->Invalidate(column, true);
}

void TVirtualTreeColumns::Delete(TColumnIndex index) {
    if (TVirtualTreeColumn* c = Items(index))
        delete c;
}

void TVirtualTreeColumns::Clear() {
    clearing_ = true;
    while (!items_.empty()) {
        TVirtualTreeColumn* c = items_.back();
        items_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
    clearing_ = false;
    positionToIndex_.clear();
    hoverIndex_ = downIndex_ = trackIndex_ = clickIndex_ = dragIndex_ = dropTarget_ = NoColumn;
    dropBefore_ = false;
    if (!HeaderLoading()) {
        header_->autoSizeIndex_ = NoColumn;
        header_->mainColumn_ = NoColumn;
        header_->sortColumn_ = NoColumn;
        TBaseVirtualTree* tree = Tree();
        if (!vthdr::TreeDestroying(tree)) {
            vthdr::UpdateHorizontalScrollBar(tree);
            header_->Invalidate(nullptr);
            vthdr::RepaintTree(tree);
        }
    }
}

void TVirtualTreeColumns::BeginUpdate() {
    ++updateCount_;
}

void TVirtualTreeColumns::EndUpdate() {
    if (updateCount_ == 0)
        return;
    if (--updateCount_ > 0)
        return;
    if (HeaderLoading())
        return;
    UpdatePositions();
    if (header_->Options() & hoAutoResize)
        AdjustAutoSize(InvalidColumn, true);
    TBaseVirtualTree* tree = Tree();
    vthdr::ColumnResized(tree, NoColumn);
    vthdr::UpdateHorizontalScrollBar(tree);
    header_->Invalidate(nullptr);
    vthdr::RepaintTree(tree);
}

void TVirtualTreeColumns::MoveColumn(TVirtualTreeColumn* column, TColumnPosition newPosition) {
    const TColumnIndex index = column->Index();
    auto it = std::find(positionToIndex_.begin(), positionToIndex_.end(), index);
    if (it == positionToIndex_.end())
        return;
    positionToIndex_.erase(it);
    positionToIndex_.insert(positionToIndex_.begin() + newPosition, index);
    UpdatePositions();
    header_->Invalidate(nullptr);
    vthdr::RepaintTree(Tree());
}

void TVirtualTreeColumns::UpdatePositions() {
    if (HeaderLoading())
        return;
    if (needPositionsFix_) {
        // Display order from the positions the columns were given while
        // loading; a position out of range or given twice falls back behind
        // the others in index order.
        needPositionsFix_ = false;
        std::vector<TColumnIndex> order(items_.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<TColumnIndex>(i);
        std::stable_sort(order.begin(), order.end(), [this](TColumnIndex a, TColumnIndex b) {
            auto key = [this](TColumnIndex i) {
                int p = items_[static_cast<size_t>(i)]->position_;
                return (p < 0 || p >= Count()) ? Count() : p;
            };
            return key(a) < key(b);
        });
        positionToIndex_ = order;
    }
    int run = 0;
    for (size_t i = 0; i < positionToIndex_.size(); ++i) {
        TVirtualTreeColumn* c = items_[static_cast<size_t>(positionToIndex_[i])];
        c->position_ = static_cast<TColumnPosition>(i);
        c->left_ = run;
        if (c->Visible())
            run += c->width_;
    }
}

TColumnIndex TVirtualTreeColumns::EffectiveAutoSizeIndex() const {
    if (items_.empty())
        return NoColumn;
    TColumnIndex index = header_->AutoSizeIndex();
    return IsValidColumn(index) ? index : Count() - 1;
}

void TVirtualTreeColumns::AdjustAutoSize(TColumnIndex currentIndex, bool force) {
    if (items_.empty() || HeaderLoading())
        return;
    const TColumnIndex index = EffectiveAutoSizeIndex();
    if (index == currentIndex && !force)
        return;
    TVirtualTreeColumn* column = items_[static_cast<size_t>(index)];
    int others = 0;
    for (size_t i = 0; i < items_.size(); ++i)
        if (static_cast<TColumnIndex>(i) != index && items_[i]->Visible())
            others += items_[i]->width_;
    int width = vthdr::ClientWidth(Tree()) - others;
    if (width < column->minWidth_)
        width = column->minWidth_;
    if (width > column->maxWidth_)
        width = column->maxWidth_;
    if (width == column->width_)
        return;
    column->lastWidth_ = column->width_;
    column->width_ = width;
    UpdatePositions();
    vthdr::ColumnResized(Tree(), index);
}

TColumnIndex TVirtualTreeColumns::ColumnFromPosition(TColumnPosition position) const {
    if (position < 0 || position >= static_cast<int>(positionToIndex_.size()))
        return NoColumn;
    return positionToIndex_[static_cast<size_t>(position)];
}

TColumnIndex TVirtualTreeColumns::ColumnFromPoint(POINT p, bool relative) const {
    if (items_.empty())
        return NoColumn;
    if (p.x < 0 || p.y < 0)
        return InvalidColumn;
    if (TBaseVirtualTree* tree = Tree())
        if (p.y > vthdr::TreeHeight(tree))
            return InvalidColumn;
    if (relative && p.x >= GetVisibleFixedWidth())
        p.x -= vthdr::OffsetX(Tree());
    for (TColumnIndex index : positionToIndex_) {
        const TVirtualTreeColumn* c = items_[static_cast<size_t>(index)];
        if (!c->Visible())
            continue;
        if (p.x >= c->left_ && p.x < c->left_ + c->width_)
            return index;
    }
    return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetFirstVisibleColumn() const {
    for (TColumnIndex index : positionToIndex_)
        if (items_[static_cast<size_t>(index)]->Visible())
            return index;
    return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetLastVisibleColumn() const {
    for (auto it = positionToIndex_.rbegin(); it != positionToIndex_.rend(); ++it)
        if (items_[static_cast<size_t>(*it)]->Visible())
            return *it;
    return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetNextColumn(TColumnIndex column) const {
    const TVirtualTreeColumn* c = Items(column);
    if (c == nullptr)
        return InvalidColumn;
    TColumnIndex next = ColumnFromPosition(c->position_ + 1);
    return next == NoColumn ? InvalidColumn : next;
}

TColumnIndex TVirtualTreeColumns::GetPreviousColumn(TColumnIndex column) const {
    const TVirtualTreeColumn* c = Items(column);
    if (c == nullptr || c->position_ == 0)
        return InvalidColumn;
    return ColumnFromPosition(c->position_ - 1);
}

TColumnIndex TVirtualTreeColumns::GetNextVisibleColumn(TColumnIndex column) const {
    TColumnIndex run = GetNextColumn(column);
    while (run >= 0 && !items_[static_cast<size_t>(run)]->Visible())
        run = GetNextColumn(run);
    return run;
}

TColumnIndex TVirtualTreeColumns::GetPreviousVisibleColumn(TColumnIndex column) const {
    TColumnIndex run = GetPreviousColumn(column);
    while (run >= 0 && !items_[static_cast<size_t>(run)]->Visible())
        run = GetPreviousColumn(run);
    return run;
}

std::vector<TColumnIndex> TVirtualTreeColumns::GetVisibleColumns() const {
    std::vector<TColumnIndex> result;
    for (TColumnIndex index : positionToIndex_)
        if (items_[static_cast<size_t>(index)]->Visible())
            result.push_back(index);
    return result;
}

int TVirtualTreeColumns::GetVisibleFixedWidth() const {
    int width = 0;
    for (const TVirtualTreeColumn* c : items_)
        if (c->Visible() && c->Fixed())
            width += c->width_;
    return width;
}

int TVirtualTreeColumns::TotalWidth() const {
    TColumnIndex last = GetLastVisibleColumn();
    if (last < 0)
        return 0;
    const TVirtualTreeColumn* c = items_[static_cast<size_t>(last)];
    return c->left_ + c->width_;
}

void TVirtualTreeColumns::GetColumnBounds(TColumnIndex column, int& left, int& right) const {
    const TVirtualTreeColumn* c = Items(column);
    if (c == nullptr) {
        left = 0;
        right = vthdr::ClientWidth(Tree());
        return;
    }
    left = c->left_;
    right = left + c->width_;
    if (!c->Fixed()) {
        const int offset = vthdr::OffsetX(Tree());
        left += offset;
        right += offset;
    }
}

void TVirtualTreeColumns::Assign(const TVirtualTreeColumns& source) {
    if (&source == this)
        return;
    BeginUpdate();
    clearing_ = true;
    while (!items_.empty()) {
        TVirtualTreeColumn* c = items_.back();
        items_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
    clearing_ = false;
    positionToIndex_.clear();
    for (const TVirtualTreeColumn* c : source.items_) {
        TVirtualTreeColumn* copy = Add();
        copy->Assign(*c);
    }
    positionToIndex_ = source.positionToIndex_;
    hoverIndex_ = downIndex_ = trackIndex_ = clickIndex_ = dragIndex_ = dropTarget_ = NoColumn;
    needPositionsFix_ = false;
    EndUpdate();
    UpdatePositions();
}

bool TVirtualTreeColumns::Equals(const TVirtualTreeColumns& other) const {
    if (Count() != other.Count() || positionToIndex_ != other.positionToIndex_)
        return false;
    for (size_t i = 0; i < items_.size(); ++i)
        if (!items_[i]->Equals(*other.items_[i]))
            return false;
    return true;
}

void TVirtualTreeColumns::ResetHoverAndDown() {
    TColumnIndex hover = hoverIndex_, down = downIndex_;
    hoverIndex_ = NoColumn;
    downIndex_ = NoColumn;
    if (hover >= 0)
        header_->Invalidate(Items(hover));
    if (down >= 0 && down != hover)
        header_->Invalidate(Items(down));
}
