#include "platform/Splitter.h"

#include <algorithm>

TSplitter::TSplitter(TComponent* owner) : TWinControl(owner)
{
    width_ = 3;
    height_ = 100;
    SetAlign(TAlign::alLeft);
}

void TSplitter::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"BrenixSplitter";
    params.cursor = nullptr;   // set by WM_SETCURSOR as the bar's direction says
}

bool TSplitter::Horizontal() const
{
    return Align() == TAlign::alLeft || Align() == TAlign::alRight;
}

TControl* TSplitter::ResizedControl() const
{
    TWinControl* parent = Parent();
    if (!parent)
        return nullptr;
    const RECT me = BoundsRect();
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (c == this || !c->Visible() || c->Align() != Align())
            continue;
        const RECT r = c->BoundsRect();
        bool beside = false;
        switch (Align()) {
        case TAlign::alLeft: beside = r.right == me.left; break;
        case TAlign::alRight: beside = r.left == me.right; break;
        case TAlign::alTop: beside = r.bottom == me.top; break;
        case TAlign::alBottom: beside = r.top == me.bottom; break;
        default: break;
        }
        if (beside)
            return c;
    }
    return nullptr;
}

void TSplitter::WndProc(TMessage& m)
{
    if (m.Msg == WM_SETCURSOR && LOWORD(m.LParam) == HTCLIENT) {
        ::SetCursor(LoadCursorW(nullptr, Horizontal() ? IDC_SIZEWE : IDC_SIZENS));
        m.Result = TRUE;
        return;
    }
    if (m.Msg == WM_CAPTURECHANGED && control_) {
        EndDrag();
        return;
    }
    TWinControl::WndProc(m);
}

void TSplitter::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TWinControl::MouseDown(button, shift, x, y);
    if (button != TMouseButton::mbLeft || control_)
        return;
    control_ = ResizedControl();
    if (!control_)
        return;
    GetCursorPos(&start_);
    startSize_ = Horizontal() ? control_->Width() : control_->Height();
    // Room the parent's client control can give up.
    int room = 0;
    bool client = false;
    TWinControl* parent = Parent();
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (c->Visible() && c->Align() == TAlign::alClient) {
            room = Horizontal() ? c->Width() : c->Height();
            client = true;
            break;
        }
    }
    if (!client) {
        const RECT pr = parent->ClientRect();
        const RECT me = BoundsRect();
        switch (Align()) {
        case TAlign::alLeft: room = pr.right - me.right; break;
        case TAlign::alRight: room = me.left - pr.left; break;
        case TAlign::alTop: room = pr.bottom - me.bottom; break;
        default: room = me.top - pr.top; break;
        }
    }
    maxSize_ = std::max(startSize_, startSize_ + room - minSize_);
    moved_ = false;
    SetCapture(Handle());
}

int TSplitter::NewSize(POINT screen) const
{
    int delta = Horizontal() ? screen.x - start_.x : screen.y - start_.y;
    if (Align() == TAlign::alRight || Align() == TAlign::alBottom)
        delta = -delta;
    return std::clamp(startSize_ + delta, std::min(minSize_, startSize_), maxSize_);
}

void TSplitter::MouseMove(TShiftState shift, int x, int y)
{
    TWinControl::MouseMove(shift, x, y);
    if (!control_)
        return;
    POINT p;
    GetCursorPos(&p);
    const int size = NewSize(p);
    const int now = Horizontal() ? control_->Width() : control_->Height();
    if (size == now)
        return;
    if (Horizontal())
        control_->SetWidth(size);
    else
        control_->SetHeight(size);
    moved_ = true;
}

void TSplitter::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (control_ && button == TMouseButton::mbLeft) {
        MouseMove(shift, x, y);
        ReleaseCapture();   // ends the drag through WM_CAPTURECHANGED
        if (control_)
            EndDrag();
    }
    TWinControl::MouseUp(button, shift, x, y);
}

void TSplitter::EndDrag()
{
    control_ = nullptr;
    if (moved_) {
        moved_ = false;
        if (OnMoved)
            OnMoved(this);
    }
}
