#include "platform/CheckListBox.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/ScrollBars.h"

namespace {

constexpr int kCheckSize = 13;
constexpr int kCheckLeft = 2;
// The box's area: presses left of this x tick the line.
constexpr int kCheckArea = kCheckLeft + kCheckSize + 2;

}  // namespace

TCheckListBox::TCheckListBox(TComponent* owner) : TWinControl(owner)
{
    width_ = 121;
    height_ = 97;
    SetColor(GetSysColor(COLOR_WINDOW));
    SetTabStop(true);
}

void TCheckListBox::CreateParams(TCreateParams& params)
{
    params.className = L"BrenixCheckListBox";
    params.classStyle = CS_DBLCLKS;
    params.style |= WS_VSCROLL;
    params.exStyle |= WS_EX_CLIENTEDGE;
}

void TCheckListBox::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    UpdateScrollBar();
}

const TCheckListBox::TItem& TCheckListBox::At(int index) const
{
    if (index < 0 || index >= Count())
        throw EInvalidOperation("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)];
}

void TCheckListBox::Clear()
{
    items_.clear();
    itemIndex_ = -1;
    topIndex_ = 0;
    UpdateScrollBar();
    Invalidate();
}

int TCheckListBox::AddItem(const std::string& text, TObject* object)
{
    items_.push_back(TItem{text, object, false});
    UpdateScrollBar();
    Invalidate();
    return Count() - 1;
}

void TCheckListBox::Delete(int index)
{
    At(index);
    items_.erase(items_.begin() + index);
    if (itemIndex_ == index)
        itemIndex_ = -1;
    else if (itemIndex_ > index)
        --itemIndex_;
    SetTopIndex(topIndex_);
    UpdateScrollBar();
    Invalidate();
}

void TCheckListBox::Move(int from, int to)
{
    if (from == to)
        return;
    TItem item = At(from);
    At(to);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, item);
    if (itemIndex_ == from)
        itemIndex_ = to;
    else if (itemIndex_ > from && itemIndex_ <= to)
        --itemIndex_;
    else if (itemIndex_ < from && itemIndex_ >= to)
        ++itemIndex_;
    Invalidate();
}

void TCheckListBox::SetChecked(int index, bool checked)
{
    At(index);
    items_[static_cast<size_t>(index)].checked = checked;
    Invalidate();
}

void TCheckListBox::SetItemIndex(int index)
{
    if (index < -1 || index >= Count())
        index = -1;
    if (index == itemIndex_)
        return;
    itemIndex_ = index;
    MakeVisible(index);
    Invalidate();
}

int TCheckListBox::ItemHeight() const
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, const_cast<TCheckListBox*>(this)->Font().Handle());
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return std::max<int>(kCheckSize + 3, tm.tmHeight + 2);
}

int TCheckListBox::VisibleRows() const
{
    RECT r = ClientRect();
    return std::max(1, static_cast<int>((r.bottom - r.top) / ItemHeight()));
}

RECT TCheckListBox::ItemRect(int index) const
{
    RECT c = ClientRect();
    int h = ItemHeight();
    int top = (index - topIndex_) * h;
    return RECT{0, top, c.right, top + h};
}

int TCheckListBox::ItemAtPos(POINT p, bool existing) const
{
    RECT c = ClientRect();
    if (p.y < 0 || p.x < 0 || p.x >= c.right)
        return existing ? -1 : Count();
    int index = topIndex_ + p.y / ItemHeight();
    if (index >= Count())
        return existing ? -1 : Count();
    return index;
}

void TCheckListBox::SetTopIndex(int index)
{
    int most = std::max(0, Count() - VisibleRows());
    index = std::clamp(index, 0, most);
    if (index == topIndex_)
        return;
    topIndex_ = index;
    UpdateScrollBar();
    Invalidate();
}

void TCheckListBox::MakeVisible(int index)
{
    if (index < 0)
        return;
    if (index < topIndex_)
        SetTopIndex(index);
    else if (index >= topIndex_ + VisibleRows())
        SetTopIndex(index - VisibleRows() + 1);
}

void TCheckListBox::UpdateScrollBar()
{
    if (!HandleAllocated())
        return;
    SetScrollBar(Handle(), SB_VERT, std::max(0, Count() - 1), static_cast<unsigned>(VisibleRows()), topIndex_,
                 false, true);
}

void TCheckListBox::BoundsChanged()
{
    TWinControl::BoundsChanged();
    SetTopIndex(topIndex_);
    UpdateScrollBar();
}

void TCheckListBox::ToggleCheck(int index)
{
    if (index < 0 || index >= Count() || !Enabled())
        return;
    items_[static_cast<size_t>(index)].checked = !items_[static_cast<size_t>(index)].checked;
    Invalidate();
    if (OnClickCheck)
        OnClickCheck(this);
}

RECT TCheckListBox::CheckBoxRect(int index) const
{
    RECT r = ItemRect(index);
    RECT box = {kCheckLeft, r.top + (r.bottom - r.top - kCheckSize) / 2, 0, 0};
    box.right = box.left + kCheckSize;
    box.bottom = box.top + kCheckSize;
    return box;
}

void TCheckListBox::Paint(TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    bool focused = Focused();
    for (int i = topIndex_; i < Count(); ++i) {
        RECT r = ItemRect(i);
        if (r.top >= ClientRect().bottom)
            break;
        const TItem& item = items_[static_cast<size_t>(i)];
        bool selected = i == itemIndex_;
        COLORREF back = selected ? GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : Color();
        canvas.SetBrushColor(back);
        canvas.FillRect(r);
        RECT box = CheckBoxRect(i);
        DrawFrameControl(dc, &box, DFC_BUTTON,
                         DFCS_BUTTONCHECK | DFCS_FLAT | (item.checked ? DFCS_CHECKED : 0) |
                             (Enabled() ? 0 : DFCS_INACTIVE));
        RECT text = r;
        text.left = kCheckArea + 2;
        canvas.Font().SetColor(!Enabled()              ? GetSysColor(COLOR_GRAYTEXT)
                               : selected && focused ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                                     : Font().Color());
        canvas.TextRect(text, item.text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        if (i == dropTarget_) {
            canvas.SetBrushColor(GetSysColor(COLOR_HIGHLIGHT));
            canvas.FrameRect(r);
            RECT inner = r;
            InflateRect(&inner, -1, -1);
            canvas.FrameRect(inner);
        }
        if (selected && focused && !dragging_) {
            RECT f = r;
            f.left = kCheckArea;
            canvas.DrawFocusRect(f);
        }
    }
}

void TCheckListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    if (button == TMouseButton::mbLeft && CanFocus() && !Focused())
        SetFocus();
    if (alive.expired())
        return;
    if (button == TMouseButton::mbLeft) {
        int index = ItemAtPos(POINT{x, y}, true);
        if (index >= 0) {
            SetItemIndex(index);
            // Two quick presses on a box tick it twice, as on a check box.
            if (x < kCheckArea) {
                ToggleCheck(index);
            } else if (DragEnabled && !(shift & ssDouble)) {
                pending_ = true;
                pressAt_ = POINT{x, y};
                SetCapture(Handle());
            }
        }
    }
    if (!alive.expired())
        TWinControl::MouseDown(button, shift, x, y);
}

bool TCheckListBox::AcceptsDrop(POINT p)
{
    bool accept = false;
    if (OnDragOver) {
        accept = true;
        OnDragOver(this, this, p.x, p.y, accept);
    }
    return accept;
}

void TCheckListBox::MouseMove(TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    if (pending_ && !dragging_ &&
        (std::abs(x - pressAt_.x) > GetSystemMetrics(SM_CXDRAG) ||
         std::abs(y - pressAt_.y) > GetSystemMetrics(SM_CYDRAG))) {
        dragging_ = true;
        Invalidate();
    }
    if (dragging_) {
        RECT c = ClientRect();
        if (y < 0)
            SetTopIndex(topIndex_ - 1);
        else if (y >= c.bottom)
            SetTopIndex(topIndex_ + 1);
        POINT p = {x, y};
        bool accept = AcceptsDrop(p);
        if (alive.expired())
            return;
        int target = accept ? ItemAtPos(p, true) : -1;
        if (target != dropTarget_) {
            dropTarget_ = target;
            Invalidate();
        }
        ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(accept ? IDC_ARROW : IDC_NO)));
    }
    TWinControl::MouseMove(shift, x, y);
}

void TCheckListBox::EndDrag(bool drop, POINT p)
{
    bool wasDragging = dragging_;
    pending_ = false;
    dragging_ = false;
    dropTarget_ = -1;
    if (HandleAllocated() && GetCapture() == Handle())
        ReleaseCapture();
    if (!wasDragging)
        return;
    suppressClick_ = true;
    Invalidate();
    ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    if (drop && AcceptsDrop(p) && OnDragDrop)
        OnDragDrop(this, this, p.x, p.y);
}

void TCheckListBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    if (button == TMouseButton::mbLeft && (pending_ || dragging_))
        EndDrag(true, POINT{x, y});
    if (!alive.expired())
        TWinControl::MouseUp(button, shift, x, y);
}

void TCheckListBox::Click()
{
    if (suppressClick_) {
        suppressClick_ = false;
        return;
    }
    TWinControl::Click();
}

void TCheckListBox::KeyDown(WORD& key, TShiftState shift)
{
    std::weak_ptr<void> alive = AliveToken();
    TWinControl::KeyDown(key, shift);
    if (alive.expired() || key == 0)
        return;
    int rows = VisibleRows();
    int next = itemIndex_;
    switch (key) {
    case VK_ESCAPE:
        if (dragging_ || pending_) {
            EndDrag(false, POINT{0, 0});
            key = 0;
        }
        return;
    case VK_SPACE:
        ToggleCheck(itemIndex_);
        key = 0;
        return;
    case VK_UP: next = itemIndex_ - 1; break;
    case VK_DOWN: next = itemIndex_ + 1; break;
    case VK_PRIOR: next = itemIndex_ - rows; break;
    case VK_NEXT: next = itemIndex_ + rows; break;
    case VK_HOME: next = 0; break;
    case VK_END: next = Count() - 1; break;
    default:
        return;
    }
    if (Count() > 0)
        SetItemIndex(std::clamp(next, 0, Count() - 1));
    key = 0;
}

void TCheckListBox::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_VSCROLL: {
        int top = topIndex_;
        switch (LOWORD(m.WParam)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= VisibleRows(); break;
        case SB_PAGEDOWN: top += VisibleRows(); break;
        case SB_TOP: top = 0; break;
        case SB_BOTTOM: top = Count(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = ScrollTrackPosition(Handle(), SB_VERT); break;
        default: break;
        }
        SetTopIndex(top);
        m.Result = 0;
        return;
    }
    case WM_MOUSEWHEEL: {
        int delta = GET_WHEEL_DELTA_WPARAM(m.WParam);
        SetTopIndex(topIndex_ - delta / WHEEL_DELTA * 3);
        m.Result = 0;
        return;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Invalidate();
        break;
    case WM_CANCELMODE:
        EndDrag(false, POINT{0, 0});
        break;
    case WM_CAPTURECHANGED:
        if ((pending_ || dragging_) && reinterpret_cast<HWND>(m.LParam) != Handle())
            EndDrag(false, POINT{0, 0});
        break;
    default:
        break;
    }
    TWinControl::WndProc(m);
}
