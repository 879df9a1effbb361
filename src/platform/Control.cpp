#include "platform/Control.h"

#include <windowsx.h>

#include <algorithm>
#include <optional>
#include <set>

#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/GdiGuards.h"
#include "platform/Text.h"
#include "platform/WindowSubclass.h"

namespace {

const wchar_t kControlProp[] = L"BrenixControl";

void RegisterOwnClass(const TCreateParams& p)
{
    static std::set<std::wstring> registered;
    if (registered.count(p.className))
        return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = p.classStyle;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = p.icon;
    wc.hCursor = p.cursor;
    wc.hbrBackground = p.background;
    wc.lpszClassName = p.className.c_str();
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw Exception("Cannot register the window class " + WideToUtf8(p.className));
    registered.insert(p.className);
}

}  // namespace

// --- TControl ---

TControl::TControl(TComponent* owner) : TComponent(owner)
{
    font_.OnChange = [this] { FontChanged(); };
}

TControl::~TControl()
{
    font_.OnChange = nullptr;
    if (parent_)
        parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == parent_)
        return;
    // A windowed control that moves to a parent with a window keeps its own
    // window: it is re-parented, not made again (its handle, state and
    // anything hooked on it survive).
    auto* self = dynamic_cast<TWinControl*>(this);
    bool keepWindow = self && self->hwnd_ && parent && parent->HandleAllocated();
    if (parent_)
        parent_->DetachControl(this, keepWindow);
    if (parent)
        parent->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    if (width < 0)
        width = 0;
    if (height < 0)
        height = 0;
    if (left == left_ && top == top_ && width == width_ && height == height_)
        return;
    if (parent_ && !dynamic_cast<TWinControl*>(this))
        Invalidate();
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    BoundsChanged();
    RequestAlign();
}

void TControl::BoundsChanged() { Invalidate(); }

void TControl::RequestAlign()
{
    if (align_ != TAlign::alNone && parent_)
        parent_->Realign();
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

void TControl::SetVisible(bool visible)
{
    if (visible == visible_ && !VisibleOutOfStep())
        return;
    visible_ = visible;
    VisibleChanged();
    if (parent_)
        parent_->Realign();
}

void TControl::VisibleChanged()
{
    if (parent_ && parent_->HandleAllocated())
        InvalidateRect(parent_->Handle(), nullptr, TRUE);
}

void TControl::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    Invalidate();
}

void TControl::SetCaption(const std::string& caption)
{
    // A window's text may have been typed since: compare with what it shows.
    if (caption == caption_ && caption == Caption())
        return;
    caption_ = caption;
    CaptionChanged();
}

void TControl::CaptionChanged() { Invalidate(); }

void TControl::FontChanged() { Invalidate(); }

void TControl::SetAlign(TAlign align)
{
    if (align == align_)
        return;
    align_ = align;
    if (parent_)
        parent_->Realign();
}

void TControl::SetColor(COLORREF color)
{
    if (color == color_)
        return;
    color_ = color;
    ColorChanged();
}

void TControl::ColorChanged() { Invalidate(); }

void TControl::Invalidate()
{
    if (parent_ && parent_->HandleAllocated()) {
        RECT r = BoundsRect();
        InvalidateRect(parent_->Handle(), &r, TRUE);
    }
}

POINT TControl::ClientToScreen(POINT p) const
{
    if (!parent_)
        return p;
    return parent_->ClientToScreen(POINT{p.x + left_, p.y + top_});
}

POINT TControl::ScreenToClient(POINT p) const
{
    POINT origin = ClientToScreen(POINT{0, 0});
    return POINT{p.x - origin.x, p.y - origin.y};
}

void TControl::Click()
{
    if (OnClick)
        OnClick(this);
}

void TControl::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y)
{
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TControl::MouseEnter()
{
    mouseInside_ = true;
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TControl::MouseLeave()
{
    mouseInside_ = false;
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void TControl::Paint(TCanvas&) {}

// --- TWinControl ---

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl()
{
    Destroying();
    DestroyComponents();
    // Children placed on us by someone else's code go with us.
    while (!controls_.empty()) {
        TControl* c = controls_.back();
        RemoveControl(c);
        delete c;
    }
    DestroyWnd();
}

TWinControl* TWinControl::FromHandle(HWND hwnd)
{
    return hwnd ? static_cast<TWinControl*>(GetPropW(hwnd, kControlProp)) : nullptr;
}

HWND TWinControl::Handle()
{
    if (!hwnd_ && !creating_) {
        if (Parent())
            Parent()->Handle();   // may already have made ours
        if (!hwnd_)
            CreateWnd();
    }
    return hwnd_;
}

void TWinControl::CreateParams(TCreateParams& params)
{
    params.className = L"BrenixControl";
}

void TWinControl::CreateWnd()
{
    TCreateParams p;
    p.caption = Utf8ToWide(TControl::Caption());
    p.x = left_;
    p.y = top_;
    p.width = width_;
    p.height = height_;
    p.parentWindow = Parent() ? Parent()->hwnd_ : nullptr;
    if (tabStop_)
        p.style |= WS_TABSTOP;
    CreateParams(p);
    // A top-level window is made hidden and shown once our procedure is on
    // it, so that it sees its own WM_SHOWWINDOW.
    bool showAfter = Visible() && !(p.style & WS_CHILD);
    if (Visible() && !showAfter)
        p.style |= WS_VISIBLE;
    if (!Enabled())
        p.style |= WS_DISABLED;
    if ((p.style & WS_CHILD) && !p.parentWindow)
        throw Exception("Control '" + Name() + "' has no parent window");
    if (!p.systemClass)
        RegisterOwnClass(p);
    creating_ = true;
    HWND h = CreateWindowExW(p.exStyle, p.className.c_str(), p.caption.c_str(), p.style, p.x, p.y, p.width,
                             p.height, p.parentWindow, nullptr, GetModuleHandleW(nullptr), nullptr);
    creating_ = false;
    if (!h)
        throw Exception("Cannot create the window of '" + Name() + "' (error " + std::to_string(GetLastError()) +
                        ")");
    hwnd_ = h;
    systemClass_ = p.systemClass;
    ownPainting_ = !p.systemClass;
    SetPropW(h, kControlProp, this);
    defProc_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC));
    subclassId_ = HookWindowProc(h, [this](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext&) {
        TMessage m;
        m.Msg = msg;
        m.WParam = w;
        m.LParam = l;
        WndProcEntry(m);
        return m.Result;
    });
    UpdateBoundsFromWindow();
    CreateHandleDone();
    if (showAfter && hwnd_ == h)
        ShowWindow(h, SW_SHOW);
}

void TWinControl::CreateHandleDone()
{
    if (systemClass_)
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), FALSE);
    std::vector<TControl*> list = controls_;
    for (TControl* c : list)
        if (auto* w = dynamic_cast<TWinControl*>(c))
            if (!w->hwnd_)
                w->CreateWnd();
    Realign();
}

void TWinControl::DestroyWnd()
{
    if (!hwnd_)
        return;
    HWND h = hwnd_;
    DestroyWindow(h);
    // WM_NCDESTROY normally cleared these; a window of another thread may not have.
    if (hwnd_ == h) {
        RemovePropW(h, kControlProp);
        hwnd_ = nullptr;
    }
    tracking_ = false;
}

void TWinControl::RecreateWnd()
{
    if (!hwnd_)
        return;
    SendMessageW(hwnd_, CM_RECREATEWND, 0, 0);
}

void TWinControl::InsertControl(TControl* control)
{
    if (!control || control == this)
        return;
    if (!(controlStyle_ & csAcceptsControls))
        throw Exception("Control '" + Name() + "' cannot hold other controls");
    if (std::find(controls_.begin(), controls_.end(), control) != controls_.end())
        return;
    controls_.push_back(control);
    control->parent_ = this;
    if (auto* w = dynamic_cast<TWinControl*>(control)) {
        if (hwnd_) {
            if (w->hwnd_)
                ::SetParent(w->hwnd_, hwnd_);
            else
                w->CreateWnd();
        }
    } else {
        control->Invalidate();
    }
    Realign();
    ControlChange(control, true);
}

void TWinControl::RemoveControl(TControl* control) { DetachControl(control, false); }

void TWinControl::DetachControl(TControl* control, bool keepWindow)
{
    auto it = std::find(controls_.begin(), controls_.end(), control);
    if (it == controls_.end())
        return;
    ControlChange(control, false);
    it = std::find(controls_.begin(), controls_.end(), control);
    if (it == controls_.end())
        return;
    if (hot_ == control)
        hot_ = nullptr;
    if (pressed_ == control)
        pressed_ = nullptr;
    control->Invalidate();
    controls_.erase(it);
    control->parent_ = nullptr;
    if (auto* w = dynamic_cast<TWinControl*>(control))
        if (!keepWindow)
            w->DestroyWnd();
    Realign();
}

TControl* TWinControl::GraphicControlAt(POINT p) const
{
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (!c->Visible() || dynamic_cast<TWinControl*>(c))
            continue;
        RECT r = c->BoundsRect();
        if (PtInRect(&r, p))
            return c;
    }
    return nullptr;
}

void TWinControl::Realign()
{
    if (IsDestroying())
        return;
    if (aligning_) {
        // A child changed its own size while being aligned (a dock taking
        // the thickness of its rows): the layout runs again after this one.
        realignAgain_ = true;
        return;
    }
    aligning_ = true;
    try {
        for (int pass = 0; pass < 3; ++pass) {
            realignAgain_ = false;
            RECT r = ClientRect();
            AlignControls(r);
            if (!realignAgain_)
                break;
        }
    } catch (...) {
        aligning_ = false;
        throw;
    }
    aligning_ = false;
    realignAgain_ = false;
}

void TWinControl::AlignControls(RECT& r)
{
    static const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight,
                                   TAlign::alClient};
    for (TAlign a : order) {
        for (TControl* c : controls_) {
            if (!c->Visible() || c->Align() != a)
                continue;
            int w = c->Width(), h = c->Height();
            switch (a) {
            case TAlign::alTop:
                c->SetBounds(r.left, r.top, r.right - r.left, h);
                r.top += h;
                break;
            case TAlign::alBottom:
                c->SetBounds(r.left, r.bottom - h, r.right - r.left, h);
                r.bottom -= h;
                break;
            case TAlign::alLeft:
                c->SetBounds(r.left, r.top, w, r.bottom - r.top);
                r.left += w;
                break;
            case TAlign::alRight:
                c->SetBounds(r.right - w, r.top, w, r.bottom - r.top);
                r.right -= w;
                break;
            default:
                c->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
                break;
            }
        }
    }
}

RECT TWinControl::ClientRect() const
{
    RECT r = {0, 0, width_, height_};
    if (hwnd_)
        GetClientRect(hwnd_, &r);
    return r;
}

bool TWinControl::Showing() const { return hwnd_ && IsWindowVisible(hwnd_); }

void TWinControl::SetBounds(int left, int top, int width, int height)
{
    TControl::SetBounds(left, top, width, height);
    if (!hwnd_)
        Realign();
}

void TWinControl::BoundsChanged()
{
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::UpdateBoundsFromWindow()
{
    if (!hwnd_ || IsIconic(hwnd_))
        return;
    RECT r;
    GetWindowRect(hwnd_, &r);
    if (GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD) {
        HWND parent = GetParent(hwnd_);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    left_ = r.left;
    top_ = r.top;
    width_ = r.right - r.left;
    height_ = r.bottom - r.top;
}

void TWinControl::VisibleChanged()
{
    if (hwnd_)
        ShowWindow(hwnd_, Visible() ? SW_SHOW : SW_HIDE);
    else if (Visible() && Parent() && Parent()->HandleAllocated())
        CreateWnd();
}

bool TWinControl::VisibleOutOfStep() const
{
    return hwnd_ && ((GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0) != Visible();
}

void TWinControl::SetEnabled(bool enabled)
{
    TControl::SetEnabled(enabled);
    if (hwnd_)
        EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

std::string TWinControl::Caption() const
{
    if (!hwnd_)
        return TControl::Caption();
    int n = GetWindowTextLengthW(hwnd_);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hwnd_, w.data(), n + 1);
    w.resize(static_cast<size_t>(n > 0 ? n : 0));
    return WideToUtf8(w);
}

void TWinControl::CaptionChanged()
{
    if (hwnd_)
        SetWindowTextW(hwnd_, Utf8ToWide(TControl::Caption()).c_str());
}

void TWinControl::FontChanged()
{
    if (hwnd_ && systemClass_)
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
    Invalidate();
}

void TWinControl::Invalidate()
{
    if (hwnd_)
        InvalidateRect(hwnd_, nullptr, TRUE);
}

POINT TWinControl::ClientToScreen(POINT p) const
{
    if (hwnd_) {
        ::ClientToScreen(hwnd_, &p);
        return p;
    }
    return TControl::ClientToScreen(p);
}

bool TWinControl::Focused() const { return hwnd_ && GetFocus() == hwnd_; }

void TWinControl::SetFocus()
{
    if (Handle())
        ::SetFocus(hwnd_);
}

LRESULT TWinControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam)
{
    TMessage m;
    m.Msg = msg;
    m.WParam = wParam;
    m.LParam = lParam;
    WndProc(m);
    return m.Result;
}

void TWinControl::DefaultHandler(TMessage& m)
{
    if (!hwnd_) {
        m.Result = 0;
        return;
    }
    m.Result = defProc_ ? CallWindowProcW(defProc_, hwnd_, m.Msg, m.WParam, m.LParam)
                        : DefWindowProcW(hwnd_, m.Msg, m.WParam, m.LParam);
}

void TWinControl::WndProcEntry(TMessage& m)
{
    HWND h = hwnd_;
    std::weak_ptr<void> alive = AliveToken();
    if (m.Msg == WM_NCDESTROY) {
        if (!alive.expired())
            WndProc(m);
        if (!alive.expired() && hwnd_ == h) {
            RemovePropW(h, kControlProp);
            hwnd_ = nullptr;
            subclassId_ = 0;
            tracking_ = false;
            hot_ = pressed_ = nullptr;
        }
        return;
    }
    WndProc(m);
}

void TWinControl::WndProc(TMessage& m)
{
    if (HandleInputMessage(m))
        return;
    switch (m.Msg) {
    case CM_RECREATEWND:
        DestroyWnd();
        Handle();
        m.Result = 0;
        return;
    case WM_ERASEBKGND:
        if (ownPainting_) {
            m.Result = 1;
            return;
        }
        break;
    case WM_PAINT:
        if (ownPainting_) {
            // A DC in wParam (WM_PRINTCLIENT, a parent painting us into a
            // bitmap): paint into it, leaving the update region alone.
            PaintWindow(reinterpret_cast<HDC>(m.WParam), true);
            m.Result = 0;
            return;
        }
        DefaultHandler(m);
        if (hwnd_) {
            bool graphics = false;
            for (TControl* c : controls_)
                if (c->Visible() && !dynamic_cast<TWinControl*>(c))
                    graphics = true;
            if (graphics) {
                TWindowDC dc(hwnd_);
                if (dc.Handle())
                    PaintGraphicChildren(dc.Handle());
            }
        }
        return;
    case WM_PRINTCLIENT:
        if (ownPainting_ && m.WParam && (m.LParam & PRF_CLIENT)) {
            PaintWindow(reinterpret_cast<HDC>(m.WParam), true);
            m.Result = 0;
            return;
        }
        break;
    case WM_SIZE: {
        DefaultHandler(m);
        UpdateBoundsFromWindow();
        Realign();
        if (OnResize && m.WParam != SIZE_MINIMIZED)
            OnResize(this);
        return;
    }
    case WM_MOVE:
        DefaultHandler(m);
        UpdateBoundsFromWindow();
        return;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: {
        std::weak_ptr<void> alive = AliveToken();
        HandleMouse(m);
        if (!alive.expired())
            DefaultHandler(m);
        return;
    }
    case WM_COMMAND:
        if (m.LParam) {
            TWinControl* c = FromHandle(reinterpret_cast<HWND>(m.LParam));
            if (c && c != this && c->CommandNotify(HIWORD(m.WParam))) {
                m.Result = 0;
                return;
            }
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
        TWinControl* c = hdr ? FromHandle(hdr->hwndFrom) : nullptr;
        LRESULT r = 0;
        if (c && c != this && c->Notify(hdr, r)) {
            m.Result = r;
            return;
        }
        break;
    }
    default:
        break;
    }
    DefaultHandler(m);
}

void TWinControl::Paint(TCanvas&) {}

void TWinControl::PaintWindow(HDC given, bool)
{
    // EndPaint and the DC's state come back even when a Paint throws: the
    // exception goes on to the window procedure's boundary, the region is
    // validated and the next paint starts clean. A given DC is painted into
    // as it is and left in the state it came in.
    std::optional<TPaintDC> paint;
    if (!given)
        paint.emplace(hwnd_);
    HDC dc = given ? given : paint->Handle();
    if (!dc)
        return;
    TDCSave whole(dc);
    {
        TDCSave saved(dc);
        TCanvas canvas(dc);
        canvas.Font().Assign(Font());
        canvas.SetBrushColor(Color());
        RECT r;
        GetClientRect(hwnd_, &r);
        PaintBackground(canvas, r);
        Paint(canvas);
    }
    PaintGraphicChildren(dc);
}

void TWinControl::PaintBackground(TCanvas& canvas, const RECT& clientRect) { canvas.FillRect(clientRect); }

void TWinControl::PaintGraphicChildren(HDC dc)
{
    std::vector<TControl*> list = controls_;
    for (TControl* c : list) {
        if (!c->Visible() || dynamic_cast<TWinControl*>(c))
            continue;
        TDCSave saved(dc);
        IntersectClipRect(dc, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
        OffsetViewportOrgEx(dc, c->Left(), c->Top(), nullptr);
        TCanvas canvas(dc);
        canvas.Font().Assign(c->Font());
        canvas.SetBrushColor(c->Color());
        c->Paint(canvas);
    }
}

void TWinControl::SetHotControl(TControl* c)
{
    if (c == hot_)
        return;
    TControl* old = hot_;
    hot_ = c;
    if (old)
        old->MouseLeave();
    if (c && hot_ == c)
        c->MouseEnter();
}

void TWinControl::HandleMouse(TMessage& m)
{
    std::weak_ptr<void> alive = AliveToken();
    POINT p = {GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    TShiftState shift = ShiftFromMouseKeys(m.WParam);
    auto target = [&](TControl* g) -> TControl* { return g ? g : this; };
    auto localX = [&](TControl* t) { return t == this ? p.x : p.x - t->Left(); };
    auto localY = [&](TControl* t) { return t == this ? p.y : p.y - t->Top(); };

    switch (m.Msg) {
    case WM_MOUSEMOVE: {
        if (!tracking_) {
            TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, hwnd_, 0};
            tracking_ = TrackMouseEvent(&t) != FALSE;
            if (!mouseInside_) {
                MouseEnter();
                if (alive.expired())
                    return;
            }
        }
        SetHotControl(GraphicControlAt(p));
        if (alive.expired())
            return;
        TControl* t = pressed_ ? pressed_ : target(GraphicControlAt(p));
        t->MouseMove(shift, localX(t), localY(t));
        return;
    }
    case WM_MOUSELEAVE:
        tracking_ = false;
        SetHotControl(nullptr);
        if (!alive.expired() && mouseInside_)
            MouseLeave();
        return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        TControl* t = target(GraphicControlAt(p));
        TMouseButton b = m.Msg == WM_RBUTTONDOWN   ? TMouseButton::mbRight
                         : m.Msg == WM_MBUTTONDOWN ? TMouseButton::mbMiddle
                                                   : TMouseButton::mbLeft;
        if (b == TMouseButton::mbLeft) {
            pressed_ = t;
            if (t != this && !systemClass_)
                SetCapture(hwnd_);
        }
        if (m.Msg == WM_LBUTTONDBLCLK) {
            std::weak_ptr<void> talive = t->AliveToken();
            t->DblClick();
            if (talive.expired() || alive.expired())
                return;
            shift |= ssDouble;
        }
        t->MouseDown(b, shift, localX(t), localY(t));
        return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        TMouseButton b = m.Msg == WM_RBUTTONUP   ? TMouseButton::mbRight
                         : m.Msg == WM_MBUTTONUP ? TMouseButton::mbMiddle
                                                 : TMouseButton::mbLeft;
        TControl* t = (b == TMouseButton::mbLeft && pressed_) ? pressed_ : target(GraphicControlAt(p));
        bool click = false;
        if (b == TMouseButton::mbLeft && pressed_) {
            if (pressed_ != this && GetCapture() == hwnd_)
                ReleaseCapture();
            RECT r = t == this ? ClientRect() : t->BoundsRect();
            click = PtInRect(&r, p) != FALSE && t->Enabled() && !(t->ControlStyle() & csClicksByCommand);
            pressed_ = nullptr;
        }
        std::weak_ptr<void> talive = t->AliveToken();
        if (click) {
            t->Click();
            if (talive.expired() || alive.expired())
                return;
        }
        t->MouseUp(b, shift, localX(t), localY(t));
        return;
    }
    default:
        return;
    }
}
