// The tree's window: creation and destruction, the messages the core needs
// (worker notices, the delayed change timers, the header in the non-client
// area), repainting of rows, the scroll bars, and the property setters.
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/ThemeSrv.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"

// ---------------------------------------------------------------------------
// Window life cycle

void TBaseVirtualTree::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"BrenixVirtualTree";
    params.style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    switch (scrollBarOptions_->ScrollBars()) {
    case ssHorizontal:
        params.style |= WS_HSCROLL;
        break;
    case ssVertical:
        params.style |= WS_VSCROLL;
        break;
    case ssBoth:
        params.style |= WS_HSCROLL | WS_VSCROLL;
        break;
    case ssNone:
        break;
    }
    if (options_->MiscOptions() & toFullRepaintOnResize)
        params.classStyle |= CS_HREDRAW | CS_VREDRAW;
    else
        params.classStyle &= ~(CS_HREDRAW | CS_VREDRAW);
    if (borderStyle_ == bsSingle) {
        params.exStyle |= WS_EX_CLIENTEDGE;
        params.style &= ~WS_BORDER;
    } else {
        params.style &= ~WS_BORDER;
    }
    // Reading order, alignment and the side of the vertical bar.
    if (UseRightToLeftReading())
        params.exStyle |= WS_EX_RTLREADING;
    if (bidiMode_ == bdRightToLeft || bidiMode_ == bdRightToLeftNoAlign)
        params.exStyle |= WS_EX_LEFTSCROLLBAR;
    if (UseRightToLeftAlignment())
        params.exStyle |= WS_EX_RIGHT;
}

void TBaseVirtualTree::CreateWnd()
{
    frameDrawnKnown_ = false;   // a new window's frame is yet to be drawn
    DoStateChange(tsWindowCreating);
    TWinControl::CreateWnd();
    DoStateChange(0, tsWindowCreating);
    SetDropTargetRegistered((options_->MiscOptions() & toAcceptOLEDrop) != 0);
    if (GetThemeServices().ThemesEnabled() && (options_->PaintOptions() & toThemeAware))
        DoStateChange(tsUseThemes);
    else
        DoStateChange(0, tsUseThemes);
    if (header_->Options() & hoAutoResize)
        header_->Columns().AdjustAutoSize(InvalidColumn, true);
    PrepareBitmaps(true, true);
    UpdateScrollBars(true);
    UpdateHeaderRect();
    // Nodes made before the window had no worker to fill the position cache.
    if (states_ & tsValidationNeeded)
        ValidateCache();
}

void TBaseVirtualTree::DestroyWnd()
{
    scrollBarRedrawPending_ = false;
    runningTimers_ = 0;   // they go with the window
    TWinControl::DestroyWnd();
}

void TBaseVirtualTree::Loaded()
{
    TWinControl::Loaded();
    if (states_ & tsNeedRootCountUpdate) {
        DoStateChange(0, tsNeedRootCountUpdate);
        const TVTMiscOptions misc = options_->misc_;
        options_->misc_ &= ~toReadOnly;
        BeginUpdate();
        SetChildCount(root_, pendingRootCount_);
        EndUpdate();
        options_->misc_ = misc;
    }
    header_->Loaded();
}

void TBaseVirtualTree::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    bool changed = false;
    if (component == images_) {
        images_ = nullptr;
        changed = true;
    }
    if (component == stateImages_) {
        stateImages_ = nullptr;
        changed = true;
    }
    if (component == customCheckImages_) {
        customCheckImages_ = nullptr;
        SetCheckImageKind(ckLightCheck);
        changed = true;
    }
    if (component == popupMenu_)
        popupMenu_ = nullptr;
    if (header_) {
        if (component == header_->Images()) {
            header_->SetImages(nullptr);
            changed = true;
        }
        if (component == header_->PopupMenu())
            header_->SetPopupMenu(nullptr);
    }
    if (changed && !IsDestroying())
        Invalidate();
}

UINT TBaseVirtualTree::DialogCodes() const
{
    return DLGC_WANTARROWS | DLGC_WANTCHARS | (wantTabs_ ? DLGC_WANTTAB : 0);
}

void TBaseVirtualTree::StartTimer(UINT_PTR id, UINT ms)
{
    if (HandleAllocated() && SetTimer(Handle(), id, ms, nullptr) && id < 32)
        runningTimers_ |= 1u << id;
}

void TBaseVirtualTree::StopTimer(UINT_PTR id)
{
    // Stopping a timer that does not run is asked for on every change
    // event; the system is asked only for one that runs.
    if (id < 32 && !(runningTimers_ & (1u << id)))
        return;
    runningTimers_ &= ~(1u << id);
    if (HandleAllocated())
        KillTimer(Handle(), id);
}

void TBaseVirtualTree::HandleTimer(UINT_PTR id)
{
    switch (id) {
    case ExpandTimer:
        DoDragExpand();
        break;
    case EditTimer:
        DoEdit();
        break;
    case ScrollTimer:
        if (states_ & tsScrollPending) {
            StopTimer(ScrollTimer);
            StartTimer(ScrollTimer, autoScrollInterval_);
            DoStateChange(tsScrolling, tsScrollPending);
        }
        DoTimerScroll();
        break;
    case ChangeTimer:
        DoChange(lastChangedNode_);
        break;
    case StructureChangeTimer:
        DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
        break;
    case SearchTimer:
        StopTimer(SearchTimer);
        DoStateChange(0, tsIncrementalSearching);
        break;
    case ScrollBarTimer:
        RedrawScrollBarsNow();
        break;
    default:
        break;
    }
}

void TBaseVirtualTree::WndProc(TMessage& message)
{
    // A header being dragged or resized gets everything first; otherwise
    // the header takes what is its own.
    if (header_ && message.Msg != WM_NCDESTROY && header_->HandleMessage(message))
        return;
    if (PaintMessage(message))
        return;
    if (KeyboardMessage(message) || MouseMessage(message) || DragDropMessage(message) || OtherMessage(message))
        return;
    switch (message.Msg) {
    case WM_CHANGESTATE:
        ChangeStateFromWorker(static_cast<unsigned>(message.WParam), static_cast<unsigned>(message.LParam));
        message.Result = 0;
        return;
    case WM_TIMER:
        if (message.WParam != HeaderTimer) {
            HandleTimer(message.WParam);
            message.Result = 0;
            return;
        }
        break;
    case WM_NCDESTROY:
        SetDropTargetRegistered(false);
        InterruptValidation();
        StopTimer(ChangeTimer);
        StopTimer(StructureChangeTimer);
        HideOwnHint();
        ReleaseAccessibleObjects();
        if (lineBrush_) {
            DeleteObject(lineBrush_);
            lineBrush_ = nullptr;
        }
        break;
    case WM_NCCALCSIZE:
        DefaultHandler(message);
        if (header_ && (header_->Options() & hoVisible)) {
            auto* r = reinterpret_cast<RECT*>(message.LParam);
            r->top = std::min<LONG>(r->top + header_->Height(), r->bottom);
        }
        return;
    case WM_NCHITTEST:
        DefaultHandler(message);
        if (header_ && (header_->Options() & hoVisible)) {
            // The header never counts as client area (and a point outside
            // it keeps the system's answer).
            RECT window;
            GetWindowRect(Handle(), &window);
            const POINT p{static_cast<short>(LOWORD(message.LParam)) - window.left,
                          static_cast<short>(HIWORD(message.LParam)) - window.top};
            const RECT header = HeaderRect();
            if (PtInRect(&header, p))
                message.Result = HTBORDER;
        }
        return;
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
        if (CanFocus() && !Focused())
            SetFocus();
        break;
    case WM_SIZE:
        TWinControl::WndProc(message);
        if (HandleAllocated() && !(states_ & tsSizing) && ClientRect().bottom > 0) {
            // The header has sized its columns already (HandleMessage).
            DoStateChange(tsSizing);
            UpdateScrollBars(true);
            UpdateEditBounds();
            DoStateChange(0, tsSizing);
        }
        return;
    case WM_HSCROLL:
    case WM_VSCROLL:
        WMScroll(message);
        return;
    case WM_MOUSEWHEEL:
        WMMouseWheel(message);
        return;
    case WM_THEMECHANGED:
        TWinControl::WndProc(message);
        GetThemeServices().UpdateThemes();
        if (GetThemeServices().ThemesEnabled() && (options_->PaintOptions() & toThemeAware))
            DoStateChange(tsUseThemes);
        else
            DoStateChange(0, tsUseThemes);
        // The buttons take the theme's glyphs, or lose them.
        PrepareBitmaps(true, false);
        // Through RedrawFrame: inside an update, its end must not take the
        // frame drawing back.
        RedrawFrame();
        return;
    case WM_GETDLGCODE:
        message.Result = DialogCodes();
        return;
    case WM_PARENTNOTIFY:
        if (LOWORD(message.WParam) == WM_CREATE) {
            // Moved with the rows from now on; the scrolls before it are
            // none of its business.
            hasChildWindows_ = true;
            childScrollMissed_ = POINT{0, 0};
        }
        break;
    default:
        break;
    }
    TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Geometry, repainting and scroll bars

TCanvas& TBaseVirtualTree::Canvas()
{
    if (!canvas_) {
        canvasDC_ = CreateCompatibleDC(nullptr);
        canvas_ = std::make_unique<TCanvas>(canvasDC_);
    }
    canvas_->Font().Assign(Font());
    return *canvas_;
}

RECT TBaseVirtualTree::HeaderRect()
{
    RECT r{0, 0, width_, 0};
    if (HandleAllocated()) {
        RECT w;
        GetWindowRect(Handle(), &w);
        r = RECT{0, 0, w.right - w.left, w.bottom - w.top};
        const LONG_PTR exStyle = GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
        const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
        if (exStyle & WS_EX_CLIENTEDGE)
            InflateRect(&r, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
        if (style & WS_BORDER)
            InflateRect(&r, -1, -1);
    }
    r.bottom = r.top + ((header_->Options() & hoVisible) ? header_->Height() : 0);
    return r;
}

void TBaseVirtualTree::UpdateHeaderRect()
{
    if (HandleAllocated())
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TBaseVirtualTree::RedrawFrame()
{
    if (updateCount_ > 0)
        frameRedrawInUpdate_ = true;
    if (HandleAllocated())
        RedrawWindow(Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN);
}

bool TBaseVirtualTree::TFrameLook::operator==(const TFrameLook& other) const
{
    auto sameBar = [](const SCROLLBARINFO& a, const SCROLLBARINFO& b) {
        return EqualRect(&a.rcScrollBar, &b.rcScrollBar) && a.dxyLineButton == b.dxyLineButton &&
               a.xyThumbTop == b.xyThumbTop && a.xyThumbBottom == b.xyThumbBottom &&
               std::equal(std::begin(a.rgstate), std::end(a.rgstate), std::begin(b.rgstate));
    };
    return EqualRect(&window, &other.window) && EqualRect(&client, &other.client) && style == other.style &&
           exStyle == other.exStyle && themed == other.themed && sameBar(bars[0], other.bars[0]) &&
           sameBar(bars[1], other.bars[1]);
}

TBaseVirtualTree::TFrameLook TBaseVirtualTree::FrameLook()
{
    TFrameLook look;
    HWND h = Handle();
    GetWindowRect(h, &look.window);
    GetClientRect(h, &look.client);
    MapWindowPoints(h, HWND_DESKTOP, reinterpret_cast<POINT*>(&look.client), 2);
    look.style = GetWindowLongPtrW(h, GWL_STYLE);
    look.exStyle = GetWindowLongPtrW(h, GWL_EXSTYLE);
    look.themed = (states_ & tsUseThemes) != 0;
    const LONG objects[2] = {OBJID_VSCROLL, OBJID_HSCROLL};
    for (int i = 0; i < 2; ++i) {
        look.bars[i].cbSize = sizeof(SCROLLBARINFO);
        if (!GetScrollBarInfo(h, objects[i], &look.bars[i]))
            look.bars[i] = SCROLLBARINFO{};
    }
    return look;
}

void TBaseVirtualTree::NoteFrameDrawn(HRGN region, bool whole)
{
    const TFrameLook look = FrameLook();
    bool barsTaken = true, barsTouched = false;
    if (!whole) {
        TGdiObject<HRGN> bar(CreateRectRgn(0, 0, 0, 0));
        for (const SCROLLBARINFO& info : look.bars) {
            if (info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN))
                continue;
            const RECT& r = info.rcScrollBar;
            if (!bar || !SetRectRgn(bar.Get(), r.left, r.top, r.right, r.bottom)) {
                barsTaken = false;
                continue;
            }
            if (RectInRegion(region, &r))
                barsTouched = true;
            if (CombineRgn(bar.Get(), bar.Get(), region, RGN_DIFF) != NULLREGION)
                barsTaken = false;
        }
    }
    if (whole || barsTaken) {
        frameDrawn_ = look;
        frameDrawnKnown_ = true;
    } else if (barsTouched) {
        frameDrawnKnown_ = false;
    }
}

void TBaseVirtualTree::RedrawFrameAfterUpdate()
{
    // Drawing the scroll bars costs far more than the rows a poll adds to a
    // long list, and such rows move the thumb by less than a pixel.
    if (frameRedrawInUpdate_ || !frameDrawnKnown_ || !(FrameLook() == frameDrawn_)) {
        RedrawFrame();
    } else {
        // Turning drawing back on may itself have asked for the whole frame
        // (Wine does): that is taken back, and the rows and the header are
        // asked for again. A frame drawing asked for before the update was
        // done when it began (BeginUpdate).
        RedrawWindow(Handle(), nullptr, nullptr, RDW_VALIDATE | RDW_NOFRAME | RDW_NOCHILDREN);
        InvalidateRect(Handle(), nullptr, FALSE);
        if (header_->Options() & hoVisible)
            header_->Invalidate(nullptr);
    }
    frameRedrawInUpdate_ = false;
}

void TBaseVirtualTree::Invalidate()
{
    if (HandleAllocated() && updateCount_ == 0)
        InvalidateRect(Handle(), nullptr, FALSE);
}

namespace {
// Without the position cache rows are looked up by walking the visible
// nodes: above this many, a repaint of the whole window is cheaper than
// finding the row. With the cache a row is found in a few thousand steps.
constexpr unsigned kRowLookupLimit = 5000;
}

void TBaseVirtualTree::InvalidateNode(PVirtualNode node)
{
    if (!node || node == root_ || !HandleAllocated() || updateCount_ > 0 || !IsWindowVisible(Handle()))
        return;
    if (!FullyVisible(node))
        return;
    RECT client = ClientRect();
    if (visibleCount_ > kRowLookupLimit && !PositionCacheUsable()) {
        InvalidateRect(Handle(), &client, FALSE);
        return;
    }
    const int top = static_cast<int>(GetDisplayTop(node)) + offsetY_;
    RECT r{client.left, top, client.right, top + node->NodeHeight};
    InvalidateRect(Handle(), &r, FALSE);
}

void TBaseVirtualTree::InvalidateToBottom(PVirtualNode node)
{
    if (!HandleAllocated() || updateCount_ > 0 || !IsWindowVisible(Handle()))
        return;
    RECT r = ClientRect();
    if (node && node != root_ && FullyVisible(node) && (visibleCount_ <= kRowLookupLimit || PositionCacheUsable()))
        r.top = std::max<LONG>(r.top, static_cast<int>(GetDisplayTop(node)) + offsetY_);
    InvalidateRect(Handle(), &r, FALSE);
}

void TBaseVirtualTree::InvalidateChildren(PVirtualNode node, bool recursive)
{
    if (!node)
        node = root_;
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
        InvalidateNode(child);
        if (recursive)
            InvalidateChildren(child, true);
    }
}

void TBaseVirtualTree::InvalidateColumn(TColumnIndex column)
{
    if (!HandleAllocated() || !header_->Columns().IsValidColumn(column))
        return;
    RECT r = ClientRect();
    int left = 0, right = 0;
    header_->Columns().GetColumnBounds(column, left, right);
    r.left = left;
    r.right = right;
    InvalidateRect(Handle(), &r, FALSE);
}

// ---------------------------------------------------------------------------
// Property setters

namespace {
template <class T>
bool Store(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
}   // namespace

void TBaseVirtualTree::SetAlignment(TAlignment v)
{
    if (Store(alignment_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetAnimationDuration(unsigned v)
{
    animationDuration_ = v;
    if (v > 0)
        options_->animation_ |= toAnimatedToggle;
    else
        options_->animation_ &= ~toAnimatedToggle;
}

void TBaseVirtualTree::SetBackgroundOffsetX(int v)
{
    if (Store(backgroundOffsetX_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetBackgroundOffsetY(int v)
{
    if (Store(backgroundOffsetY_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetBiDiMode(TBiDiMode v)
{
    if (!Store(bidiMode_, v))
        return;
    const RECT client = ClientRect();
    effectiveOffsetX_ = UseRightToLeftAlignment() ? std::max(0, rangeX_ - static_cast<int>(client.right) + offsetX_)
                                                  : -offsetX_;
    header_->ParentBiDiModeChanged();
    if (HandleAllocated())
        RedrawFrame();
}

void TBaseVirtualTree::SetBorderStyle(TBorderStyle v)
{
    if (Store(borderStyle_, v) && HandleAllocated() && !IsLoading())
        RecreateWnd();
}

void TBaseVirtualTree::SetBottomSpace(unsigned v)
{
    if (Store(bottomSpace_, v) && HandleAllocated())
        UpdateVerticalScrollBar(true);
}

void TBaseVirtualTree::SetButtonFillMode(TVTButtonFillMode v)
{
    if (Store(buttonFillMode_, v) && !IsLoading()) {
        PrepareBitmaps(true, false);
        Invalidate();
    }
}

void TBaseVirtualTree::SetButtonStyle(TVTButtonStyle v)
{
    if (Store(buttonStyle_, v) && !IsLoading()) {
        PrepareBitmaps(true, false);
        Invalidate();
    }
}

void TBaseVirtualTree::SetCheckImageKind(TCheckImageKind v)
{
    checkImageKind_ = v;
    checkImages_ = v == ckCustom ? customCheckImages_ : ::CheckImages(v);
    if (HandleAllocated() && updateCount_ == 0 && !IsLoading())
        InvalidateRect(Handle(), nullptr, FALSE);
}

// An image list's change link is moved from the old list to the new one,
// and the tree hears of the list going (free notification).
void TBaseVirtualTree::MoveImageList(TCustomImageList*& field, TChangeLink& link, TCustomImageList* value)
{
    if (field) {
        field->UnRegisterChanges(&link);
        field->RemoveFreeNotification(this);
    }
    field = value;
    if (value) {
        link.OnChange = [this](TObject*) {
            if (!IsDestroying() && !IsLoading())
                Invalidate();
        };
        value->RegisterChanges(&link);
        value->FreeNotification(this);
    }
}

void TBaseVirtualTree::SetCustomCheckImages(TCustomImageList* v)
{
    if (customCheckImages_ == v)
        return;
    MoveImageList(customCheckImages_, customCheckImagesLink_, v);
    if (checkImageKind_ == ckCustom)
        checkImages_ = v;
    if (!IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetImages(TCustomImageList* v)
{
    if (images_ == v)
        return;
    MoveImageList(images_, imagesLink_, v);
    if (!IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetStateImages(TCustomImageList* v)
{
    if (stateImages_ == v)
        return;
    MoveImageList(stateImages_, stateImagesLink_, v);
    if (!IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetIncrementalSearch(TVTIncrementalSearch v)
{
    if (!Store(incrementalSearch_, v))
        return;
    if (v == isNone) {
        StopTimer(SearchTimer);
        DoStateChange(0, tsIncrementalSearching | tsIncrementalSearchPending);
    }
}

void TBaseVirtualTree::SetIndent(unsigned v)
{
    if (Store(indent_, v) && !IsLoading()) {
        UpdateScrollBars(true);
        Invalidate();
    }
}

void TBaseVirtualTree::SetLineMode(TVTLineMode v)
{
    if (Store(lineMode_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetLineStyle(TVTLineStyle v)
{
    if (Store(lineStyle_, v) && !IsLoading()) {
        PrepareBitmaps(false, true);
        Invalidate();
    }
}

void TBaseVirtualTree::SetMargin(int v)
{
    if (Store(margin_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetNodeAlignment(TVTNodeAlignment v)
{
    if (Store(nodeAlignment_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetSelectionBlendFactor(uint8_t v)
{
    if (Store(selectionBlendFactor_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetSelectionCurveRadius(unsigned v)
{
    if (Store(selectionCurveRadius_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetTextMargin(int v)
{
    if (Store(textMargin_, v) && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetHeader(const TVTHeader& value) { header_->Assign(value); }

void TBaseVirtualTree::SetClipboardFormats(const TStringList& names)
{
    clipboardFormats_->Clear();
    for (int i = 0; i < names.Count(); ++i)
        clipboardFormats_->Add(names[i]);
}

void TBaseVirtualTree::SetBackground(const TBitmap& value)
{
    background_.Assign(value);
    if (!IsLoading())
        Invalidate();
}

PVirtualNode TBaseVirtualTree::TopNode() const { return GetNodeAtOffset(-offsetY_); }

void TBaseVirtualTree::SetTopNode(PVirtualNode node)
{
    if (!node || node == root_)
        return;
    for (PVirtualNode run = node->Parent; run && run != root_; run = run->Parent)
        if (!(run->States & vsExpanded))
            ToggleExpanded(run);
    if (FullyVisible(node))
        SetOffsetY(-static_cast<int>(NodeTop(node)));
}

void TBaseVirtualTree::ChangeScale(int m, int d)
{
    if (!(options_->AutoOptions() & toAutoChangeScale) || m == d || d == 0)
        return;
    SetDefaultNodeHeight(static_cast<unsigned>(std::max(1, MulDiv(static_cast<int>(defaultNodeHeight_), m, d))));
    header_->ChangeScale(m, d);
}
