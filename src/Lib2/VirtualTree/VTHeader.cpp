// The header object: its properties with their reactions, geometry in the
// tree window, the size-dependent layout (auto-size column, springs,
// animated fitting) and the window messages (clicks, border tracking,
// column drag, cursor, hover).
#include <algorithm>
#include <cmath>

#include "Lib2/VirtualTree/VTDragImage.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHeaderInternal.h"
#include "Lib2/VirtualTree/VTHintWindow.h"
#include "controls/DrawUtils.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"

namespace {

// The signed coordinates packed into a mouse message.
int XFromParam(LPARAM lp) { return static_cast<short>(LOWORD(lp)); }
int YFromParam(LPARAM lp) { return static_cast<short>(HIWORD(lp)); }

}  // namespace

TVTHeader::TVTHeader(TBaseVirtualTree* owner) : tree_(owner) {
    columns_ = std::make_unique<TVirtualTreeColumns>(this);
    font_.OnChange = [this] { FontChanged(); };
    imagesLink_.OnChange = [this](TObject*) { ImagesChanged(); };
    dragImage_ = std::make_unique<TVTDragImage>(owner);
    dragImage_->SetTransparency(140);
    dragImage_->SetPreBlendBias(-50);
}

TVTHeader::~TVTHeader() {
    imagesLink_.OnChange = nullptr;
    font_.OnChange = nullptr;
    hintWindow_.reset();
    dragImage_.reset();
    columns_.reset();
}

bool TVTHeader::IsLoading() const {
    return (states_ & hsLoading) != 0 || (tree_ != nullptr && tree_->IsLoading());
}

void TVTHeader::FontChanged() {
    Invalidate(nullptr);
}

void TVTHeader::ImagesChanged() {
    if (!vthdr::TreeDestroying(tree_))
        Invalidate(nullptr);
}

// --- properties ---------------------------------------------------------------

void TVTHeader::SetAutoSizeIndex(TColumnIndex value) {
    if (value == autoSizeIndex_)
        return;
    autoSizeIndex_ = value;
    if ((options_ & hoAutoResize) && !IsLoading())
        columns_->AdjustAutoSize(InvalidColumn, true);
}

void TVTHeader::SetBackground(COLORREF value) {
    if (value == background_)
        return;
    background_ = value;
    Invalidate(nullptr);
}

void TVTHeader::SetFont(const TFont& value) {
    font_.Assign(value);
    parentFont_ = false;
}

void TVTHeader::SetHeight(int value) {
    if (value < 0)
        value = 0;
    if (value == height_)
        return;
    height_ = value;
    if (!IsLoading())
        RecalculateHeader();
}

void TVTHeader::SetImages(TCustomImageList* value) {
    if (value == images_)
        return;
    // The header hears of the list's changes through its own link: the
    // list's OnChange stays the application's.
    // (A list being freed already let the link go.)
    if (TCustomImageList* old = imagesLink_.Sender())
        old->UnRegisterChanges(&imagesLink_);
    images_ = value;
    if (images_ != nullptr) {
        if (tree_ != nullptr)
            tree_->FreeNotification(images_);
        images_->RegisterChanges(&imagesLink_);
    }
    if (!vthdr::TreeDestroying(tree_))
        Invalidate(nullptr);
}

TColumnIndex TVTHeader::MainColumn() const {
    const int count = columns_->Count();
    if (count == 0)
        return NoColumn;
    if (mainColumn_ < 0)
        return 0;
    if (mainColumn_ >= count)
        return count - 1;
    return mainColumn_;
}

void TVTHeader::SetMainColumn(TColumnIndex value) {
    if (IsLoading()) {
        mainColumn_ = value;
        return;
    }
    const int count = columns_->Count();
    if (count == 0)
        value = NoColumn;
    else
        value = std::clamp(value, 0, count - 1);
    if (value == mainColumn_)
        return;
    mainColumn_ = value;
    if (tree_ != nullptr && !tree_->IsDestroying()) {
        tree_->MainColumnChanged();
        vthdr::RepaintTree(tree_);
    }
}

void TVTHeader::SetOptions(TVTHeaderOptions value) {
    const TVTHeaderOptions old = options_;
    if (value == old)
        return;
    options_ = value;
    if (IsLoading())
        return;
    const TVTHeaderOptions toggled = old ^ value;
    if ((toggled & hoAutoResize) && columns_->Count() > 0) {
        columns_->AdjustAutoSize(InvalidColumn, true);
        vthdr::UpdateHorizontalScrollBar(tree_);
    }
    if (toggled & hoAutoSpring) {
        springInitialized_ = false;
        if (value & hoAutoSpring)
            AdjustSprings();
    }
    if (toggled & hoVisible)
        RecalculateHeader();
    Invalidate(nullptr);
    vthdr::RepaintTree(tree_);
}

void TVTHeader::SetParentFont(bool value) {
    if (value == parentFont_)
        return;
    parentFont_ = value;
    if (parentFont_)
        ParentFontChanged();
}

void TVTHeader::SetPopupMenu(TPopupMenu* value) {
    popupMenu_ = value;
    if (popupMenu_ != nullptr && tree_ != nullptr)
        tree_->FreeNotification(popupMenu_);
}

void TVTHeader::SetSortColumn(TColumnIndex value) {
    if (IsLoading()) {
        sortColumn_ = value;
        return;
    }
    const int count = columns_->Count();
    if (value < NoColumn)
        value = NoColumn;
    if (value > count - 1)
        value = count - 1;
    if (value == sortColumn_)
        return;
    const TColumnIndex old = sortColumn_;
    sortColumn_ = value;
    Invalidate(columns_->Items(old));
    Invalidate(columns_->Items(value));
    if (tree_ != nullptr && !tree_->IsDestroying() && (tree_->TreeOptions().AutoOptions() & toAutoSort) &&
        tree_->UpdateCount() == 0)
        tree_->SortTree(sortColumn_, sortDirection_, true);
}

void TVTHeader::SetSortDirection(TSortDirection value) {
    if (value != sdAscending && value != sdDescending)
        value = sdAscending;
    if (value == sortDirection_)
        return;
    sortDirection_ = value;
    if (IsLoading())
        return;
    Invalidate(nullptr);
    if (tree_ != nullptr && !tree_->IsDestroying() && (tree_->TreeOptions().AutoOptions() & toAutoSort) &&
        tree_->UpdateCount() == 0)
        tree_->SortTree(sortColumn_, sortDirection_, true);
}

void TVTHeader::SetStyle(TVTHeaderStyle value) {
    if (value == style_)
        return;
    style_ = value;
    Invalidate(nullptr);
}

void TVTHeader::Assign(const TVTHeader& source) {
    if (&source == this)
        return;
    SetAutoSizeIndex(source.autoSizeIndex_);
    SetBackground(source.background_);
    columns_->Assign(*source.columns_);
    TFont& font = const_cast<TVTHeader&>(source).font_;
    SetFont(font);
    SetHeight(source.height_);
    SetImages(source.images_);
    SetMainColumn(source.mainColumn_);
    SetOptions(source.options_);
    SetParentFont(source.parentFont_);
    SetPopupMenu(source.popupMenu_);
    SetSortColumn(source.sortColumn_);
    SetSortDirection(source.sortDirection_);
    SetStyle(source.style_);
}

void TVTHeader::ChangeScale(int m, int d) {
    if (m == d || d == 0)
        return;
    font_.SetHeight(MulDiv(font_.Height(), m, d));
}

void TVTHeader::ParentFontChanged() {
    if (!parentFont_ || tree_ == nullptr)
        return;
    font_.Assign(tree_->Font());
}

void TVTHeader::ParentBiDiModeChanged() {
    for (int i = 0; i < columns_->Count(); ++i)
        columns_->Items(i)->ParentBiDiModeChanged();
    Invalidate(nullptr);
}

void TVTHeader::Loaded() {
    states_ &= ~hsLoading;
    columns_->UpdatePositions();
    RecalculateHeader();
    if (options_ & hoAutoResize)
        columns_->AdjustAutoSize(InvalidColumn, true);
}

// --- geometry -----------------------------------------------------------------

RECT TVTHeader::HeaderRect() const {
    if (vthdr::TreeHasWindow(tree_)) {
        // The tree keeps the rectangle in window coordinates; the window's
        // top left corner in client coordinates moves it over.
        RECT r = tree_->HeaderRect();
        HWND wnd = tree_->Handle();
        RECT window{};
        GetWindowRect(wnd, &window);
        MapWindowPoints(nullptr, wnd, reinterpret_cast<POINT*>(&window), 2);
        OffsetRect(&r, window.left, window.top);
        return r;
    }
    const int height = (options_ & hoVisible) ? height_ : 0;
    return RECT{0, -height, vthdr::ClientWidth(tree_), 0};
}

bool TVTHeader::InHeader(POINT p) const {
    RECT r = HeaderRect();
    return PtInRect(&r, p) != FALSE;
}

POINT TVTHeader::HeaderPoint(POINT client) const {
    RECT r = HeaderRect();
    return POINT{client.x, client.y - r.top};
}

void TVTHeader::Invalidate(TVirtualTreeColumn* column, bool expandToBorder) {
    if (!(options_ & hoVisible) || !vthdr::TreeHasWindow(tree_) || IsLoading())
        return;
    RECT r = HeaderRect();
    if (column != nullptr) {
        if (column->Owner() != columns_.get())
            return;
        int left = 0, right = 0;
        columns_->GetColumnBounds(column->Index(), left, right);
        r.left = std::max<LONG>(r.left, left);
        if (!expandToBorder)
            r.right = std::min<LONG>(r.right, right);
    }
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    RedrawWindow(tree_->Handle(), &r, nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_VALIDATE | RDW_NOINTERNALPAINT | RDW_NOERASE | RDW_NOCHILDREN);
}

void TVTHeader::RecalculateHeader() {
    if (!vthdr::TreeHasWindow(tree_) || IsLoading())
        return;
    tree_->UpdateHeaderRect();
    // The window measures its client area again (the header is above it).
    SetWindowPos(tree_->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tree_->UpdateHeaderRect();
}

bool TVTHeader::DetermineSplitterIndex(POINT p) {
    columns_->trackIndex_ = NoColumn;
    if (columns_->Count() == 0)
        return false;
    const std::vector<TColumnIndex> visible = columns_->GetVisibleColumns();
    const bool rtl = tree_ != nullptr && tree_->UseRightToLeftReading();
    if (!rtl) {
        for (auto it = visible.rbegin(); it != visible.rend(); ++it) {
            int left = 0, right = 0;
            columns_->GetColumnBounds(*it, left, right);
            if (p.x > right - 3 && p.x < right + 5) {
                if (!(columns_->Items(*it)->Options() & coResizable))
                    return false;
                columns_->trackIndex_ = *it;
                trackStart_ = left;
                return true;
            }
        }
    } else {
        for (TColumnIndex index : visible) {
            int left = 0, right = 0;
            columns_->GetColumnBounds(index, left, right);
            if (p.x > left - 5 && p.x < left + 3) {
                if (!(columns_->Items(index)->Options() & coResizable))
                    return false;
                columns_->trackIndex_ = index;
                trackStart_ = right;
                return true;
            }
        }
    }
    return false;
}

// --- sizing -------------------------------------------------------------------

void TVTHeader::TreeResized() {
    if (states_ & (hsTracking | hsTrackPending))
        return;
    if (options_ & hoAutoSpring)
        AdjustSprings();
    if ((options_ & hoAutoResize) && columns_->Count() > 0) {
        columns_->AdjustAutoSize(InvalidColumn, true);
        Invalidate(nullptr);
    }
}

void TVTHeader::AdjustSprings() {
    const int width = vthdr::ClientWidth(tree_);
    if (!springInitialized_) {
        springInitialized_ = true;
        springWidth_ = width;
        return;
    }
    int difference = width - springWidth_;
    springWidth_ = width;
    if (difference == 0 || IsLoading())
        return;
    std::vector<TVirtualTreeColumn*> springs;
    for (TColumnIndex index : columns_->GetVisibleColumns()) {
        TVirtualTreeColumn* c = columns_->Items(index);
        if (c->Options() & coAutoSpring)
            springs.push_back(c);
    }
    if (springs.empty())
        return;
    const float share = static_cast<float>(difference) / static_cast<float>(springs.size());
    int remaining = std::abs(difference);
    const int sign = difference > 0 ? 1 : -1;
    bool changed = false;
    for (TVirtualTreeColumn* c : springs) {
        if (remaining == 0)
            break;
        c->springRest_ += share;
        int whole = static_cast<int>(c->springRest_);   // toward zero
        if (whole == 0)
            continue;
        if (std::abs(whole) > remaining)
            whole = sign * remaining;
        c->springRest_ -= static_cast<float>(whole);
        remaining -= std::abs(whole);
        int w = std::clamp(c->width_ + whole, c->minWidth_, c->maxWidth_);
        if (w != c->width_) {
            c->lastWidth_ = c->width_;
            c->width_ = w;
            changed = true;
        }
    }
    if (changed) {
        columns_->UpdatePositions();
        vthdr::ColumnResized(tree_, NoColumn);
        Invalidate(nullptr);
    }
}

void TVTHeader::AutoFitColumns(bool animated) {
    for (int i = 0; i < columns_->Count(); ++i) {
        TVirtualTreeColumn* c = columns_->Items(i);
        const TVTColumnOptions needed = coVisible | coResizable;
        if ((c->Options() & needed) != needed)
            continue;
        int width = std::clamp(tree_->MaxColumnWidth(i), c->MinWidth(), c->MaxWidth());
        if (animated)
            columns_->AnimatedResize(i, width);
        else
            c->SetWidth(width);
    }
}

void TVTHeader::RestoreColumns() {
    for (int i = columns_->Count() - 1; i >= 0; --i) {
        TVirtualTreeColumn* c = columns_->Items(i);
        const TVTColumnOptions needed = coVisible | coResizable;
        if ((c->Options() & needed) == needed)
            c->RestoreLastWidth();
    }
}

void TVirtualTreeColumns::AnimatedResize(TColumnIndex column, int newWidth) {
    TVirtualTreeColumn* c = Items(column);
    if (c == nullptr)
        return;
    newWidth = std::clamp(newWidth, c->minWidth_, c->maxWidth_);
    TBaseVirtualTree* tree = Tree();
    const int difference = newWidth - c->width_;
    if (difference == 0 || !vthdr::TreeHasWindow(tree) || !c->Visible() || !IsWindowVisible(tree->Handle())) {
        c->SetWidth(newWidth);
        return;
    }
    HWND wnd = tree->Handle();
    // Everything right of the column's right edge, header and client area,
    // in window coordinates.
    RECT window{};
    GetWindowRect(wnd, &window);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int dx = origin.x - window.left, dy = origin.y - window.top;
    RECT header = header_->HeaderRect();
    RECT client{};
    GetClientRect(wnd, &client);
    int left = 0, right = 0;
    GetColumnBounds(column, left, right);
    RECT clip{left + dx, header.top + dy, std::max<LONG>(header.right, client.right) + dx, client.bottom + dy};
    RECT scroll = clip;
    scroll.left = right + dx;

    HDC dc = GetWindowDC(wnd);
    if (dc != nullptr) {
        HRGN region = CreateRectRgnIndirect(&clip);
        SelectClipRgn(dc, region);
        HBRUSH brush = CreateSolidBrush(vthdr::TreeColor(tree));
        int done = 0;
        for (int step = 1; step <= 32; ++step) {
            const int target = difference * step / 32;
            const int delta = target - done;
            done = target;
            if (delta == 0)
                continue;
            ScrollDC(dc, delta, 0, &scroll, &clip, nullptr, nullptr);
            RECT strip = scroll;
            if (delta > 0) {
                strip.right = strip.left + delta;
            } else {
                strip.left = clip.right + delta;
                strip.right = clip.right;
            }
            FillRect(dc, &strip, brush);
            scroll.left += delta;
            GdiFlush();
            Sleep(1);
        }
        DeleteObject(brush);
        SelectClipRgn(dc, nullptr);
        DeleteObject(region);
        ReleaseDC(wnd, dc);
    }
    c->SetWidth(newWidth);
}

// --- messages -------------------------------------------------------------------

HCURSOR TVTHeader::HeaderCursor() {
    HCURSOR cursor = ScreenCursor(crHeaderSplit);
    if (tree_ != nullptr)
        tree_->DoGetHeaderCursor(cursor);
    return cursor;
}

TShiftState TVTHeader::ShiftFromKeys(bool doubleClick) const {
    TShiftState shift = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        shift |= ssShift;
    if (GetKeyState(VK_MENU) < 0)
        shift |= ssAlt;
    if (GetKeyState(VK_CONTROL) < 0)
        shift |= ssCtrl;
    if (doubleClick)
        shift |= ssDouble;
    return shift;
}

POINT TVTHeader::ScreenToTreeClient(LPARAM screenPoint) const {
    POINT p{XFromParam(screenPoint), YFromParam(screenPoint)};
    if (vthdr::TreeHasWindow(tree_))
        ScreenToClient(tree_->Handle(), &p);
    return p;
}

POINT TVTHeader::ClientPointFrom(LPARAM clientPoint) const {
    return POINT{XFromParam(clientPoint), YFromParam(clientPoint)};
}

void TVTHeader::ReleaseMouse() {
    if (vthdr::TreeHasWindow(tree_) && GetCapture() == tree_->Handle()) {
        releasing_ = true;
        ReleaseCapture();
        releasing_ = false;
    }
}

bool TVTHeader::CanDragColumn(TColumnIndex column) const {
    const TVirtualTreeColumn* c = columns_->Items(column);
    return c != nullptr && (options_ & hoDrag) && (c->Options() & coDraggable);
}

void TVTHeader::SetHover(TColumnIndex column) {
    TColumnIndex old = columns_->hoverIndex_;
    if (old == column)
        return;
    columns_->hoverIndex_ = column;
    Invalidate(columns_->Items(old));
    Invalidate(columns_->Items(column));
    if (column >= 0 && !hoverTimer_ && vthdr::TreeHasWindow(tree_)) {
        hoverTimer_ = SetTimer(tree_->Handle(), kHeaderTimer, 50, nullptr) != 0;
    }
}

// With hoShowHint the hint of the column under the mouse shows below the
// mouse while no button is down on the header.
void TVTHeader::ShowColumnHint(TColumnIndex column) {
    if (!(options_ & hoShowHint) || !vthdr::TreeHasWindow(tree_))
        return;
    const TVirtualTreeColumn* c = columns_->Items(column);
    const bool pressed = (states_ & (hsTracking | hsTrackPending | hsDragging | hsDragPending)) != 0 ||
                         GetCapture() == tree_->Handle();
    if (c == nullptr || c->Hint().empty() || pressed) {
        CancelHint();
        return;
    }
    if (column == hintColumn_ && hintWindow_ && IsWindowVisible(hintWindow_->Handle()))
        return;
    if (!hintWindow_)
        hintWindow_ = std::make_unique<TVirtualTreeHintWindow>(nullptr);
    TVTHintData data;
    data.Tree = tree_;
    data.Column = column;
    data.HintText = c->Hint();
    RECT r = hintWindow_->CalcHintRect(GetSystemMetrics(SM_CXSCREEN) / 2, c->Hint(), data);
    if (IsRectEmpty(&r)) {
        CancelHint();
        return;
    }
    POINT at{};
    GetCursorPos(&at);
    at.y += GetSystemMetrics(SM_CYCURSOR) / 2 + 4;
    OffsetRect(&r, at.x - r.left, at.y - r.top);
    hintColumn_ = column;
    hintWindow_->ActivateHint(r, c->Hint());
}

void TVTHeader::CancelHint() {
    hintColumn_ = NoColumn;
    if (hintWindow_ && hintWindow_->HandleAllocated() && IsWindowVisible(hintWindow_->Handle()))
        hintWindow_->CancelHint();
}

void TVTHeader::HandleClick(POINT p, TMouseButton button, bool doubleClick) {
    POINT hp = HeaderPoint(p);
    TColumnIndex column = columns_->ColumnFromPoint(hp);
    if (column < 0 || column != pressIndex_)
        return;
    const TVirtualTreeColumn* c = columns_->Items(column);
    if (!(c->Options() & coAllowClick))
        return;
    columns_->clickIndex_ = column;
    TShiftState shift = ShiftFromKeys(doubleClick);
    tree_->DoHeaderClick(column, button, shift, p.x, hp.y);
}

bool TVTHeader::HandleMessage(TMessage& m) {
    if (tree_ == nullptr || tree_->IsDestroying())
        return false;
    switch (m.Msg) {
    case WM_SIZE:
        TreeResized();
        return false;

    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN: {
        POINT p = ScreenToTreeClient(m.LParam);
        if (!(options_ & hoVisible) || !InHeader(p))
            return false;
        POINT hp = HeaderPoint(p);
        CancelHint();
        const TMouseButton button = m.Msg == WM_NCLBUTTONDOWN   ? TMouseButton::mbLeft
                                    : m.Msg == WM_NCRBUTTONDOWN ? TMouseButton::mbRight
                                                                : TMouseButton::mbMiddle;
        const TColumnIndex column = columns_->ColumnFromPoint(hp);
        pressIndex_ = column;
        tree_->DoHeaderMouseDown(button, ShiftFromKeys(false), p.x, hp.y);
        if (tree_->IsDestroying())
            return true;
        if (button != TMouseButton::mbLeft)
            return true;
        if ((options_ & hoColumnResize) && DetermineSplitterIndex(p)) {
            pressIndex_ = NoColumn;
            states_ |= hsTrackPending;
            SetCapture(tree_->Handle());
            return true;
        }
        if (column >= 0) {
            const TVirtualTreeColumn* c = columns_->Items(column);
            if ((c->Options() & (coAllowClick | coEnabled)) == (coAllowClick | coEnabled)) {
                columns_->downIndex_ = column;
                Invalidate(columns_->Items(column));
            }
            if (CanDragColumn(column)) {
                states_ |= hsDragPending;
                dragStart_ = p;
            }
        }
        SetCapture(tree_->Handle());
        return true;
    }

    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE: {
        const POINT p = m.Msg == WM_MOUSEMOVE ? ClientPointFrom(m.LParam) : ScreenToTreeClient(m.LParam);
        if (states_ & hsTrackPending)
            states_ = (states_ & ~hsTrackPending) | hsTracking;
        if (states_ & hsTracking) {
            if (TVirtualTreeColumn* c = columns_->Items(columns_->trackIndex_)) {
                const bool rtl = tree_->UseRightToLeftReading();
                c->SetWidth(rtl ? trackStart_ - p.x : p.x - trackStart_);
            }
            return true;
        }
        if (states_ & hsDragPending) {
            const bool beyond = std::abs(p.x - dragStart_.x) > kHeaderDragThreshold ||
                                std::abs(p.y - dragStart_.y) > kHeaderDragThreshold;
            if ((options_ & hoDrag) && beyond) {
                states_ &= ~hsDragPending;
                const TColumnIndex column = columns_->ColumnFromPoint(HeaderPoint(dragStart_));
                if (column >= 0 && tree_->DoHeaderDragging(column) && !tree_->IsDestroying()) {
                    StartColumnDrag(column);
                    DragTo(p);
                }
            }
            return true;
        }
        if (states_ & hsDragging) {
            DragTo(p);
            return true;
        }
        if (m.Msg == WM_NCMOUSEMOVE && (options_ & hoVisible) && InHeader(p)) {
            POINT hp = HeaderPoint(p);
            tree_->DoHeaderMouseMove(ShiftFromKeys(false), p.x, hp.y);
            const TColumnIndex column = columns_->ColumnFromPoint(hp);
            SetHover(column);
            if (!tree_->IsDestroying())
                ShowColumnHint(column);
            return true;
        }
        return false;
    }

    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP: {
        const bool ours = (states_ & (hsTracking | hsTrackPending | hsDragging | hsDragPending)) != 0 ||
                          (vthdr::TreeHasWindow(tree_) && GetCapture() == tree_->Handle() && pressIndex_ != NoColumn);
        const POINT p = m.Msg == WM_LBUTTONUP ? ClientPointFrom(m.LParam) : ScreenToTreeClient(m.LParam);
        if (!ours && !(m.Msg == WM_NCLBUTTONUP && (options_ & hoVisible) && InHeader(p)))
            return false;
        ReleaseMouse();
        if (states_ & hsDragging) {
            FinishColumnDrag(p);
        } else if (!(states_ & (hsTracking | hsTrackPending))) {
            HandleClick(p, TMouseButton::mbLeft, false);
        }
        states_ &= ~(hsTracking | hsTrackPending | hsDragging | hsDragPending);
        columns_->trackIndex_ = NoColumn;
        pressIndex_ = NoColumn;
        if (tree_->IsDestroying())
            return true;
        POINT hp = HeaderPoint(p);
        tree_->DoHeaderMouseUp(TMouseButton::mbLeft, ShiftFromKeys(false), p.x, hp.y);
        columns_->ResetHoverAndDown();
        return true;
    }

    case WM_NCRBUTTONUP:
    case WM_NCMBUTTONUP: {
        POINT p = ScreenToTreeClient(m.LParam);
        if (!(options_ & hoVisible) || !InHeader(p))
            return false;
        const TMouseButton button = m.Msg == WM_NCRBUTTONUP ? TMouseButton::mbRight : TMouseButton::mbMiddle;
        HandleClick(p, button, false);
        pressIndex_ = NoColumn;
        if (tree_->IsDestroying())
            return true;
        POINT hp = HeaderPoint(p);
        tree_->DoHeaderMouseUp(button, ShiftFromKeys(false), p.x, hp.y);
        if (button == TMouseButton::mbRight && popupMenu_ != nullptr && !tree_->IsDestroying()) {
            popupMenu_->PopupComponent = tree_;
            popupMenu_->Popup(XFromParam(m.LParam), YFromParam(m.LParam));
        }
        return true;
    }

    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDBLCLK: {
        POINT p = ScreenToTreeClient(m.LParam);
        if (!(options_ & hoVisible) || !InHeader(p))
            return false;
        const TMouseButton button = m.Msg == WM_NCLBUTTONDBLCLK   ? TMouseButton::mbLeft
                                    : m.Msg == WM_NCRBUTTONDBLCLK ? TMouseButton::mbRight
                                                                  : TMouseButton::mbMiddle;
        if ((options_ & hoDblClickResize) && DetermineSplitterIndex(p)) {
            const TColumnIndex column = columns_->trackIndex_;
            columns_->trackIndex_ = NoColumn;
            TVirtualTreeColumn* c = columns_->Items(column);
            const int width = std::clamp(tree_->MaxColumnWidth(column), c->MinWidth(), c->MaxWidth());
            columns_->AnimatedResize(column, width);
            return true;
        }
        POINT hp = HeaderPoint(p);
        TColumnIndex column = columns_->ColumnFromPoint(hp);
        tree_->DoHeaderDblClick(column, button, ShiftFromKeys(true), p.x, hp.y);
        return true;
    }

    case WM_SETCURSOR: {
        if (!vthdr::TreeHasWindow(tree_) || reinterpret_cast<HWND>(m.WParam) != tree_->Handle())
            return false;
        if (!(options_ & hoVisible) || !(options_ & hoColumnResize))
            return false;
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(tree_->Handle(), &p);
        if (!InHeader(p) && !(states_ & (hsTracking | hsTrackPending)))
            return false;
        // Asking for the border must not disturb a running track.
        const TColumnIndex tracked = columns_->trackIndex_;
        const int start = trackStart_;
        const bool onBorder = (states_ & (hsTracking | hsTrackPending)) != 0 || DetermineSplitterIndex(p);
        if (states_ & (hsTracking | hsTrackPending)) {
            columns_->trackIndex_ = tracked;
            trackStart_ = start;
        } else {
            columns_->trackIndex_ = NoColumn;
        }
        if (!onBorder)
            return false;
        ::SetCursor(HeaderCursor());
        m.Result = 1;
        return true;
    }

    case WM_KEYDOWN:
        if (m.WParam != VK_ESCAPE || !(states_ & (hsDragging | hsDragPending)))
            return false;
        CancelColumnDrag();
        return true;

    case WM_KILLFOCUS:
        if (states_ & (hsDragging | hsDragPending))
            CancelColumnDrag();
        return false;

    case WM_CAPTURECHANGED:
        if (releasing_ || !(states_ & (hsDragging | hsDragPending | hsTracking | hsTrackPending)))
            return false;
        if (states_ & (hsDragging | hsDragPending))
            CancelColumnDrag();
        states_ &= ~(hsTracking | hsTrackPending);
        columns_->trackIndex_ = NoColumn;
        return false;

    case WM_TIMER: {
        if (m.WParam != kHeaderTimer)
            return false;
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(tree_->Handle(), &p);
        if (!InHeader(p) && !(states_ & (hsDragging | hsTracking))) {
            KillTimer(tree_->Handle(), kHeaderTimer);
            hoverTimer_ = false;
            columns_->ResetHoverAndDown();
            CancelHint();
        }
        return true;
    }

    default:
        return false;
    }
}

void TVTHeader::StartColumnDrag(TColumnIndex column) {
    columns_->ResetHoverAndDown();
    columns_->dropTarget_ = NoColumn;
    columns_->dragIndex_ = column;
    states_ |= hsDragging;
    if (!vthdr::TreeHasWindow(tree_))
        return;
    // The dragged column's cell, taken from a picture of the whole header.
    RECT header = HeaderRect();
    const int width = header.right - header.left, height = header.bottom - header.top;
    if (width <= 0 || height <= 0)
        return;
    TBitmap whole;
    whole.SetSize(width, height);
    PaintHeader(whole.Canvas().Handle(), RECT{0, 0, width, height}, -tree_->OffsetX());
    int left = 0, right = 0;
    columns_->GetColumnBounds(column, left, right);
    TBitmap image;
    image.SetSize(right - left, height);
    BitBlt(image.Canvas().Handle(), 0, 0, right - left, height, whole.Canvas().Handle(), left - header.left, 0,
           SRCCOPY);
    POINT imagePos{left, header.top};
    ClientToScreen(tree_->Handle(), &imagePos);
    POINT hotSpot = dragStart_;
    ClientToScreen(tree_->Handle(), &hotSpot);
    dragImage_->SetMoveRestriction((options_ & hoRestrictDrag) ? dmrHorizontalOnly : dmrNone);
    dragImage_->PrepareDrag(image, imagePos, hotSpot, nullptr);
    dragImage_->ShowDragImage();
}

void TVTHeader::DragTo(POINT p) {
    const TColumnIndex oldTarget = columns_->dropTarget_;
    const bool oldBefore = columns_->dropBefore_;
    TColumnIndex target = NoColumn;
    bool before = oldBefore;
    if (InHeader(p)) {
        target = columns_->ColumnFromPoint(HeaderPoint(p));
        if (target == columns_->dragIndex_ || target < 0)
            target = NoColumn;
        if (target >= 0) {
            int left = 0, right = 0;
            columns_->GetColumnBounds(target, left, right);
            before = p.x < (left + right) / 2;
        }
    }
    columns_->dropTarget_ = target;
    columns_->dropBefore_ = before;
    const bool changed = target != oldTarget || (target >= 0 && before != oldBefore);
    if (changed) {
        Invalidate(columns_->Items(oldTarget));
        Invalidate(columns_->Items(target));
        if (vthdr::TreeHasWindow(tree_))
            UpdateWindow(tree_->Handle());
    }
    if (vthdr::TreeHasWindow(tree_)) {
        POINT screen = p;
        ClientToScreen(tree_->Handle(), &screen);
        dragImage_->DragTo(screen, changed);
    }
}

void TVTHeader::FinishColumnDrag(POINT p) {
    dragImage_->EndDrag();
    const TColumnIndex column = columns_->dragIndex_;
    const TColumnIndex target = columns_->dropTarget_;
    const bool before = columns_->dropBefore_;
    columns_->dragIndex_ = NoColumn;
    columns_->dropTarget_ = NoColumn;
    states_ &= ~hsDragging;
    TVirtualTreeColumn* dragged = columns_->Items(column);
    TVirtualTreeColumn* drop = columns_->Items(target);
    if (dragged != nullptr && drop != nullptr && target != column && InHeader(p)) {
        const TColumnPosition oldPosition = dragged->Position();
        TColumnPosition position = before ? drop->Position() : drop->Position() + 1;
        if (oldPosition < position)
            --position;
        dragged->SetPosition(position);
        tree_->DoHeaderDragged(column, oldPosition);
    } else if (dragged != nullptr) {
        tree_->DoHeaderDraggedOut(column, p);
    }
    Invalidate(nullptr);
}

void TVTHeader::CancelColumnDrag() {
    if (states_ & hsDragging) {
        dragImage_->EndDrag();
        TColumnIndex target = columns_->dropTarget_;
        columns_->dropTarget_ = NoColumn;
        columns_->dragIndex_ = NoColumn;
        Invalidate(columns_->Items(target));
    }
    states_ &= ~(hsDragging | hsDragPending);
    ReleaseMouse();
}
