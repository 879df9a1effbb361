#include "TBTestHost.h"

#include <windowsx.h>

#include "platform/Canvas.h"
#include "platform/Firewall.h"
#include "toolbars/TBCommon.h"

// --- the view ---

TTBTestHostView::TTBTestHostView(TTBTestHost* host, TTBCustomItem* root, bool usePriorityList)
    : TTBView(host, nullptr, root, host, true, false, usePriorityList), host_(host)
{
}

void TTBTestHostView::AutoSize(int width, int height)
{
    int w = host_->FixedWidth() > 0 ? host_->FixedWidth() : width;
    if (w != host_->Width() || height != host_->Height())
        host_->SetBounds(host_->Left(), host_->Top(), w, height);
}

TTBCustomItem* TTBTestHostView::GetChevronItem() { return host_->Chevron(); }

void TTBTestHostView::InvalidatePositions()
{
    TTBView::InvalidatePositions();
    // A toolbar arranges itself at once.
    ValidatePositions();
}

TFont& TTBTestHostView::GetFont() { return ToolbarSystemFont(); }

TTBTestChevronItem::TTBTestChevronItem(TComponent* owner) : TTBCustomItem(owner)
{
    SetItemStyle(ItemStyle() | isSubmenu | isNoAutoOpen);
    SetCaption(">>");
}

// --- the host ---

TTBTestHost::TTBTestHost(TComponent* owner, bool withChevron, bool usePriorityList) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;   // control items place their controls on it
    SetBounds(0, 0, 23, 22);
    SetColor(GetSysColor(COLOR_BTNFACE));
    items_ = new TTBRootItem(this);
    if (withChevron)
        chevron_ = new TTBTestChevronItem(this);
    view_ = new TTBTestHostView(this, items_, usePriorityList);
    if (chevron_) {
        chevron_->view = view_;
        view_->RecreateAllViewers();   // the chevron's viewer joins now that the view is whole
    }
}

TTBTestHost::~TTBTestHost()
{
    TTBTestHostView* v = view_;
    view_ = nullptr;
    delete v;
}

void TTBTestHost::SetFixedWidth(int width)
{
    fixedWidth_ = width;
    view_->SetChevronWidth(chevron_ ? width : 0);
    view_->UpdatePositions();
}

void TTBTestHost::EnterMenuMode(wchar_t accelerator)
{
    if (!view_ || view_->IsModal())
        return;
    view_->SetAccelsVisibility(true);
    if (accelerator) {
        bool run = false;
        if (!view_->SelectByChar(std::wstring(1, accelerator), run)) {
            MessageBeep(0);
            return;
        }
        view_->EnterModalLoop(tbetExecuteSelected);
        return;
    }
    view_->SelectFirst();
    view_->EnterModalLoop(0);
}

void TTBTestHost::WndProc(TMessage& m)
{
    if (!view_) {
        TWinControl::WndProc(m);
        return;
    }
    switch (m.Msg) {
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(m.WParam);
        RECT r;
        GetClientRect(Handle(), &r);
        HBRUSH b = CreateSolidBrush(Color());
        FillRect(dc, &r, b);
        DeleteObject(b);
        m.Result = 1;
        return;
    }
    case WM_PAINT: {
        if (m.WParam) {
            TCanvas canvas(reinterpret_cast<HDC>(m.WParam));
            view_->DrawSubitems(canvas);
        } else {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle(), &ps);
            {
                TCanvas canvas(dc);
                view_->DrawSubitems(canvas);
            }
            EndPaint(Handle(), &ps);
        }
        m.Result = 0;
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (view_->IsModal())
            break;
        POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        TTBItemViewer* v = view_->ViewerFromPoint(p);
        if (!v || (v->Item()->ItemStyle() & isClickThrough))
            break;
        std::weak_ptr<void> alive = AliveToken();
        view_->Select(v, true);
        view_->EnterModalLoop(tbetMouseDown);
        if (alive.expired())
            return;
        m.Result = 0;
        return;
    }
    case WM_MOUSEMOVE:
        if (!view_->IsModal()) {
            POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
            view_->Select(view_->ViewerFromPoint(p), true);
            CallTrackMouseEvent(Handle(), TME_LEAVE);
        }
        break;
    case WM_MOUSELEAVE:
        if (!view_->IsModal())
            view_->Select(nullptr, true);
        break;
    case WM_CANCELMODE:
        if (view_->IsModal())
            view_->CancelMode();
        break;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

// --- the form ---

TTBTestForm::TTBTestForm() : TForm(nullptr)
{
    SetCaption("Toolbar test");
    SetBounds(100, 100, 400, 200);
}

void TTBTestForm::WndProc(TMessage& m)
{
    if (m.Msg == WM_SYSCOMMAND && (m.WParam & 0xFFF0) == SC_KEYMENU && host && m.LParam != ' ') {
        host->EnterMenuMode(static_cast<wchar_t>(m.LParam));
        m.Result = 0;
        return;
    }
    TForm::WndProc(m);
}

// --- calls into the GUI thread ---

namespace {
constexpr UINT kGuiCallMessage = WM_APP + 0x71;
}

LRESULT CALLBACK TGuiCall::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kGuiCallMessage) {
        Guarded([&] { (*reinterpret_cast<const std::function<void()>*>(lParam))(); });
        return 1;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TGuiCall::TGuiCall()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &TGuiCall::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BrenixTestGuiCall";
    RegisterClassW(&wc);
    wnd_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

TGuiCall::~TGuiCall()
{
    if (wnd_)
        DestroyWindow(wnd_);
}

bool TGuiCall::Run(const std::function<void()>& fn, DWORD timeoutMs)
{
    DWORD_PTR r = 0;
    return SendMessageTimeoutW(wnd_, kGuiCallMessage, 0, reinterpret_cast<LPARAM>(&fn), SMTO_NORMAL, timeoutMs, &r) &&
           r == 1;
}

namespace {
BOOL CALLBACK CollectPopups(HWND hwnd, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && lstrcmpW(cls, L"BrenixTBPopup") == 0)
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}
}  // namespace

std::vector<HWND> VisiblePopupWindows()
{
    std::vector<HWND> list;
    EnumWindows(CollectPopups, reinterpret_cast<LPARAM>(&list));
    return list;
}
