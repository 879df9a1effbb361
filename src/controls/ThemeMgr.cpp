#include "controls/ThemeMgr.h"

#include <algorithm>
#include <functional>
#include <mutex>

#include "controls/ThemeSrv.h"
#include "controls/UxTheme.h"
#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/CheckListBox.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/Form.h"
#include "platform/Frame.h"
#include "platform/PageControl.h"
#include "platform/Splitter.h"
#include "platform/StatusBar.h"
#include "platform/StdCtrls.h"

namespace {

// Guards only the choice of the main manager and its handover. Recursive:
// the main manager that goes sends TM_HANDOVER while holding it, and the
// manager that takes over locks it again on the same thread.
std::recursive_mutex g_mainLock;
TThemeManager* g_main = nullptr;

// RedrawWindow flags: a form just collected, and every form after an option change.
const UINT kRedrawCollected = RDW_INVALIDATE | RDW_VALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW;   // 0x189
const UINT kRedrawOptions = RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW |
                            RDW_ERASENOW | RDW_FRAME;                                            // 0x787

std::wstring WindowTextOf(HWND h)
{
    int n = GetWindowTextLengthW(h);
    if (n <= 0)
        return std::wstring();
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(h, w.data(), n + 1);
    w.resize(static_cast<size_t>(n > 0 ? n : 0));
    return w;
}

bool IsClass(HWND h, const wchar_t* name)
{
    wchar_t buf[64];
    return GetClassNameW(h, buf, 64) > 0 && lstrcmpiW(buf, name) == 0;
}

// Our own window classes are registered with DefWindowProcW as their class
// procedure and paint in WM_PAINT only; system classes have their own.
bool IsOwnClassWindow(HWND h)
{
    return reinterpret_cast<WNDPROC>(GetClassLongPtrW(h, GCLP_WNDPROC)) == &DefWindowProcW;
}

// DT_HIDEPREFIX while the window hides its keyboard accelerators.
DWORD PrefixFlag(HWND h)
{
    return (SendMessageW(h, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0;
}

bool FocusCuesShown(HWND h) { return (SendMessageW(h, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0; }

// The windowless children of a control, drawn as the window layer draws them.
void PaintGraphicChildren(TWinControl* c, HDC dc)
{
    std::vector<TControl*> list;
    for (int i = 0; i < c->ControlCount(); ++i)
        list.push_back(c->Controls(i));
    for (TControl* child : list) {
        if (!child->Visible() || dynamic_cast<TWinControl*>(child))
            continue;
        int saved = SaveDC(dc);
        IntersectClipRect(dc, child->Left(), child->Top(), child->Left() + child->Width(),
                          child->Top() + child->Height());
        OffsetViewportOrgEx(dc, child->Left(), child->Top(), nullptr);
        {
            TCanvas canvas(dc);
            canvas.Font().Assign(child->Font());
            canvas.SetBrushColor(child->Color());
            child->Paint(canvas);
        }
        RestoreDC(dc, saved);
    }
}

template <class Painter>
void PaintWith(HWND h, TMessage& m, Painter paint)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    if (dc) {
        paint(dc);
        EndPaint(h, &ps);
    }
    m.Result = 0;
}

void DrawCenteredFocus(HDC dc, const std::wstring& text, const RECT& area, DWORD flags)
{
    RECT calc = area;
    DrawTextW(dc, text.c_str(), -1, &calc, (flags & ~(DT_VCENTER | DT_BOTTOM)) | DT_CALCRECT);
    int h = calc.bottom - calc.top;
    RECT f = {calc.left - 1, area.top + (area.bottom - area.top - h) / 2 - 1, calc.right + 1, 0};
    f.bottom = f.top + h + 2;
    if (f.right > area.right)
        f.right = area.right;
    DrawFocusRect(dc, &f);
}

// Push buttons, check boxes and radio buttons (the system BUTTON class).
void PaintButton(TWinControl* c, HWND h, HDC dc, bool hot)
{
    TThemeServices& ts = ThemeServices();
    RECT r;
    GetClientRect(h, &r);
    LONG style = GetWindowLongW(h, GWL_STYLE);
    UINT type = static_cast<UINT>(style) & BS_TYPEMASK;
    bool enabled = IsWindowEnabled(h) != FALSE;
    bool pressed = (SendMessageW(h, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    bool focused = GetFocus() == h;
    DWORD prefix = PrefixFlag(h);
    std::wstring text = WindowTextOf(h);
    HGDIOBJ oldFont = SelectObject(dc, c->Font().Handle());
    int oldMode = SetBkMode(dc, TRANSPARENT);

    bool check = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
    bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
    if (check || radio) {
        LRESULT mark = SendMessageW(h, BM_GETCHECK, 0, 0);
        int base;
        if (radio)
            base = mark == BST_CHECKED ? tbRadioCheckedNormal : tbRadioUncheckedNormal;
        else
            base = mark == BST_CHECKED         ? tbCheckCheckedNormal
                   : mark == BST_INDETERMINATE ? tbCheckMixedNormal
                                               : tbCheckUncheckedNormal;
        int offset = !enabled ? 3 : pressed ? 2 : hot ? 1 : 0;
        TThemedElementDetails d = TThemeServices::GetButtonDetails(base + offset);
        SIZE glyph = {13, 13};
        if (UxTheme::GetThemePartSize) {
            HTHEME theme = ts.ThemeHandle(teButton);
            SIZE s;
            if (theme && SUCCEEDED(UxTheme::GetThemePartSize(theme, dc, d.Part, d.State, nullptr, TS_DRAW, &s)) &&
                s.cx > 0 && s.cy > 0)
                glyph = s;
        }
        bool textLeft = (style & BS_LEFTTEXT) != 0;
        int gy = r.top + (r.bottom - r.top - glyph.cy) / 2;
        RECT box = textLeft ? RECT{r.right - glyph.cx, gy, r.right, gy + glyph.cy}
                            : RECT{r.left, gy, r.left + glyph.cx, gy + glyph.cy};
        RECT textRect = textLeft ? RECT{r.left, r.top, box.left - 3, r.bottom}
                                 : RECT{box.right + 3, r.top, r.right, r.bottom};
        ts.DrawParentBackground(h, dc, nullptr, false, &r);
        ts.DrawElement(dc, d, box);
        DWORD flags = (style & BS_MULTILINE) ? DT_LEFT | DT_WORDBREAK | prefix
                                             : DT_LEFT | DT_VCENTER | DT_SINGLELINE | prefix;
        if (!text.empty()) {
            ts.DrawElementText(dc, d, text, textRect, flags);
            if (focused && FocusCuesShown(h))
                DrawCenteredFocus(dc, text, textRect, flags);
        }
    } else {
        int code = !enabled                                    ? tbPushDisabled
                   : pressed                                   ? tbPushPressed
                   : hot                                       ? tbPushHot
                   : (type == BS_DEFPUSHBUTTON || focused)     ? tbPushDefaulted
                                                               : tbPushNormal;
        TThemedElementDetails d = TThemeServices::GetButtonDetails(code);
        ts.DrawParentBackground(h, dc, &d, true, &r);
        ts.DrawElement(dc, d, r);
        RECT content = ts.GetContentRect(dc, d, r);
        if (!text.empty())
            ts.DrawElementText(dc, d, text, content, DT_CENTER | DT_VCENTER | DT_SINGLELINE | prefix);
        if (focused && FocusCuesShown(h)) {
            RECT f = content;
            InflateRect(&f, -1, -1);
            DrawFocusRect(dc, &f);
        }
    }
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

// A group box's frame and caption over the parent's background.
void PaintGroupFrame(HWND h, HDC dc, HFONT font, const std::wstring& text, bool enabled, DWORD prefix)
{
    TThemeServices& ts = ThemeServices();
    RECT r;
    GetClientRect(h, &r);
    HGDIOBJ oldFont = SelectObject(dc, font);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    SIZE s = {0, 0};
    GetTextExtentPoint32W(dc, text.empty() ? L" " : text.c_str(), text.empty() ? 1 : static_cast<int>(text.size()),
                          &s);
    TThemedElementDetails d = TThemeServices::GetButtonDetails(enabled ? tbGroupBoxNormal : tbGroupBoxDisabled);
    ts.DrawParentBackground(h, dc, nullptr, false, &r);
    RECT frame = r;
    frame.top += s.cy / 2;
    RECT caption = {8, 0, 8 + s.cx + 4, s.cy};
    if (caption.right > r.right - 8)
        caption.right = r.right - 8;
    int saved = SaveDC(dc);
    if (!text.empty())
        ExcludeClipRect(dc, caption.left, caption.top, caption.right, caption.bottom);
    ts.DrawElement(dc, d, frame);
    RestoreDC(dc, saved);
    if (!text.empty()) {
        RECT t = caption;
        t.left += 2;
        ts.DrawElementText(dc, d, text, t, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS | prefix);
    }
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

// A panel: the parent's background, the bevel with the rebar's edge, the caption.
void PaintPanel(TPanel* p, HWND h, HDC dc)
{
    TThemeServices& ts = ThemeServices();
    RECT r;
    GetClientRect(h, &r);
    ts.DrawParentBackground(h, dc, nullptr, false, &r);
    if (p->BevelOuter() != TBevelCut::bvNone)
        ts.DrawElementEdge(dc, TThemeServices::GetRebarDetails(trBand1), r,
                           p->BevelOuter() == TBevelCut::bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER,
                           BF_RECT | BF_ADJUST, &r);
    std::wstring text = WindowTextOf(h);
    if (!text.empty()) {
        HGDIOBJ oldFont = SelectObject(dc, p->Font().Handle());
        int oldMode = SetBkMode(dc, TRANSPARENT);
        COLORREF oldColor = SetTextColor(dc, p->Enabled() ? p->Font().Color() : GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, oldColor);
        SetBkMode(dc, oldMode);
        SelectObject(dc, oldFont);
    }
}

// A page's background: the tab control's body.
void PaintTabBody(HWND h, HDC dc)
{
    RECT r;
    GetClientRect(h, &r);
    TThemedElementDetails d = TThemeServices::GetTabDetails(ttBody);
    ThemeServices().DrawParentBackground(h, dc, &d, true, &r);
    ThemeServices().DrawElement(dc, d, r);
}

// The page's own border (when it has one) in the body's look.
void PaintTabBorder(HWND h)
{
    RECT window, client;
    GetWindowRect(h, &window);
    GetClientRect(h, &client);
    MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&client), 2);
    if (EqualRect(&window, &client))
        return;
    OffsetRect(&client, -window.left, -window.top);
    OffsetRect(&window, -window.left, -window.top);
    HDC dc = GetWindowDC(h);
    if (!dc)
        return;
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    ThemeServices().DrawElement(dc, TThemeServices::GetTabDetails(ttBody), window);
    ReleaseDC(h, dc);
}

// Every shown line's check box with the button element, over the line's colour.
void PaintCheckListBoxes(TCheckListBox& box, HDC dc)
{
    TThemeServices& ts = ThemeServices();
    const RECT client = box.ClientRect();
    const bool focused = box.Focused();
    for (int i = box.TopIndex(); i < box.Count(); ++i) {
        RECT r = box.CheckBoxRect(i);
        if (r.top >= client.bottom)
            break;
        const bool selected = i == box.ItemIndex();
        COLORREF back = selected ? GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : box.Color();
        HBRUSH brush = CreateSolidBrush(back);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        int code = box.Checked(i) ? tbCheckCheckedNormal : tbCheckUncheckedNormal;
        if (!box.Enabled())
            code += 3;
        ts.DrawElement(dc, TThemeServices::GetButtonDetails(code), r);
    }
}

// The rows of supported classes, in the order a control's class is looked up.
bool ServesButtons(const TWinControl* c)
{
    return dynamic_cast<const TButton*>(c) || dynamic_cast<const TCheckBox*>(c);
}
bool ServesGroupBoxes(const TWinControl* c) { return dynamic_cast<const TGroupBox*>(c) != nullptr; }
bool ServesPanels(const TWinControl* c) { return dynamic_cast<const TPanel*>(c) != nullptr; }
bool ServesStatusBars(const TWinControl* c) { return dynamic_cast<const TStatusBar*>(c) != nullptr; }
bool ServesTabSheets(const TWinControl* c) { return dynamic_cast<const TTabSheet*>(c) != nullptr; }
bool ServesFrames(const TWinControl* c) { return dynamic_cast<const TFrame*>(c) != nullptr; }
bool ServesCheckListBoxes(const TWinControl* c) { return dynamic_cast<const TCheckListBox*>(c) != nullptr; }
bool ServesSplitters(const TWinControl* c) { return dynamic_cast<const TSplitter*>(c) != nullptr; }
bool ServesForms(const TWinControl* c) { return dynamic_cast<const TForm*>(c) != nullptr; }
bool ServesAnyWinControl(const TWinControl*) { return true; }

}  // namespace

enum TThemeManager::TRow : int {
    rowButton,        // TButton, TCheckBox
    rowSpeedButton,   // flat speed buttons have no window of their own here: nothing to subclass
    rowGroupBox,      // TGroupBox
    rowTabSheet,      // TTabSheet
    rowPanel,         // TPanel
    rowFrame,         // TFrame and every frame of the program
    rowListView,      // the program shows every list in its own list control
    rowTrackBar,      // not in the layer
    rowCheckListBox,  // TCheckListBox
    rowStatusBar,     // TStatusBar and what derives from it
    rowSplitter,      // TSplitter
    rowAnimate,       // not in the layer
    rowForm,          // TForm, always
    rowWinControl,    // every other windowed control
    rowCount
};

TThemeManager* MainThemeManager() { return g_main; }

// ---- TWindowProcList ----

TWindowProcList::TWindowProcList(TThemeManager* owner, TClassTest serves, TWindowProc proc)
    : owner_(owner), serves_(serves), proc_(proc)
{
}

TWindowProcList::~TWindowProcList() { Clear(); }

int TWindowProcList::Find(const TComponent* control)
{
    if (!control)
        return -1;
    if (control == lastControl_ && lastIndex_ >= 0 && lastIndex_ < Count() &&
        entries_[static_cast<size_t>(lastIndex_)].control == control)
        return lastIndex_;
    std::less<const TComponent*> before;
    if (!sorted_) {
        std::sort(entries_.begin(), entries_.end(),
                  [&before](const Entry& a, const Entry& b) { return before(a.control, b.control); });
        sorted_ = true;
    }
    int lo = 0, hi = Count() - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        const TComponent* at = entries_[static_cast<size_t>(mid)].control;
        if (at == control) {
            lastControl_ = control;
            lastIndex_ = mid;
            return mid;
        }
        if (before(at, control))
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

void TWindowProcList::Hook(Entry& e)
{
    TWinControl* control = e.control;
    e.window = control->Handle();
    e.hookId = HookWindowProc(e.window, [this, control](HWND, UINT msg, WPARAM wParam, LPARAM lParam,
                                                         const TSubclassNext& next) -> LRESULT {
        TMessage m;
        m.Msg = msg;
        m.WParam = wParam;
        m.LParam = lParam;
        (owner_->*proc_)(*this, control, m, next);
        return m.Result;
    });
    if (!e.hookId)
        e.window = nullptr;
}

void TWindowProcList::Unhook(Entry& e)
{
    if (e.hookId)
        UnhookWindowProc(e.window, e.hookId);   // does nothing once the window is gone
    e.hookId = 0;
    e.window = nullptr;
}

void TWindowProcList::Forget()
{
    lastControl_ = nullptr;
    lastIndex_ = -1;
}

bool TWindowProcList::Add(TWinControl* control)
{
    if (!control)
        return false;
    if (Find(control) >= 0)
        return Rehook(control);
    // A window is made for a control that can have one.
    bool canHaveWindow =
        control->HandleAllocated() || control->Parent() || dynamic_cast<TForm*>(control) != nullptr;
    if (!canHaveWindow || !control->Handle())
        return false;
    Entry e{control, nullptr, 0};
    Hook(e);
    if (!e.hookId)
        return false;
    if (!entries_.empty() && !std::less<const TComponent*>()(entries_.back().control, control))
        sorted_ = false;
    entries_.push_back(e);
    Forget();
    return true;
}

bool TWindowProcList::Rehook(TWinControl* control)
{
    int i = Find(control);
    if (i < 0 || !control->HandleAllocated())
        return false;
    Entry& e = entries_[static_cast<size_t>(i)];
    HWND h = control->Handle();
    if (e.hookId && e.window == h)
        return true;
    Unhook(e);
    Hook(e);
    return e.hookId != 0;
}

void TWindowProcList::Remove(const TComponent* control)
{
    int i = Find(control);
    if (i < 0)
        return;
    Entry e = entries_[static_cast<size_t>(i)];
    entries_.erase(entries_.begin() + i);
    Forget();
    Unhook(e);
    owner_->ControlGone(e.control);
}

void TWindowProcList::Clear()
{
    std::vector<Entry> list;
    list.swap(entries_);
    Forget();
    sorted_ = true;
    for (Entry& e : list) {
        Unhook(e);
        owner_->ControlGone(e.control);
    }
}

void TWindowProcList::DispatchMessage(TWinControl* control, TMessage& m, const TSubclassNext& next)
{
    UINT msg = m.Msg;
    if ((msg != CM_RECREATEWND && msg != WM_DESTROY) || Find(control) < 0) {
        m.Result = next(m.Msg, m.WParam, m.LParam);
        return;
    }
    std::weak_ptr<void> ownerAlive = owner_->AliveToken();
    std::weak_ptr<void> controlAlive = control->AliveToken();
    if (msg == CM_RECREATEWND)
        owner_->AddRecreationWindow(control);
    m.Result = next(m.Msg, m.WParam, m.LParam);
    if (ownerAlive.expired())
        return;
    if (controlAlive.expired()) {
        // The control was freed meanwhile; its free notice dropped it.
        return;
    }
    if (msg == CM_RECREATEWND) {
        owner_->FinishRecreation(control);
        return;
    }
    int i = Find(control);
    if (i < 0)
        return;
    if (!control->IsDestroying() && owner_->InRecreation(control)) {
        // The window goes, the control stays: its new window is hooked once made.
        Entry& e = entries_[static_cast<size_t>(i)];
        UnhookWindowProc(e.window, e.hookId);
        e.hookId = 0;
        e.window = nullptr;
        return;
    }
    Remove(control);
}

// ---- TThemeManager ----

TThemeManager::TThemeManager(TComponent* owner) : TComponent(owner)
{
    CreateLists();
    if (!IsDesigning()) {
        if (ThemeServices().ThemesEnabled())
            HookApplication();
        formObserverId_ = Screen().AddFormObserver([this](TForm* form, TFormNotice notice) noexcept {
            Guarded([&] { FormNotice(form, notice); });
        });
    }
    std::lock_guard<std::recursive_mutex> lock(g_mainLock);
    if (!g_main && !IsDesigning()) {
        g_main = this;
        secondary_ = false;
        // Made in code, not from a form being built: the forms there are now
        // are collected from the message loop (Loaded does it otherwise).
        if (!IsLoading())
            for (int i = 0; i < Screen().FormCount(); ++i)
                QueueForm(Screen().Forms(i));
    } else {
        secondary_ = true;
        if (g_main)
            options_ = g_main->options_;
    }
}

TThemeManager::~TThemeManager()
{
    Destroying();
    if (formObserverId_)
        Screen().RemoveFormObserver(formObserverId_);
    formObserverId_ = 0;
    ReleaseAll();
    lists_.clear();
    UnhookApplication();
    pendingForms_.clear();
    pendingWindows_.clear();
    recreation_.clear();
    std::lock_guard<std::recursive_mutex> lock(g_mainLock);
    if (g_main == this) {
        g_main = nullptr;
        HWND app = Application().Handle();
        if (app && IsWindow(app))
            SendMessageW(app, TM_HANDOVER, 0, 0);
    }
}

void TThemeManager::CreateLists()
{
    struct Row {
        TWindowProcList::TClassTest serves;
        TWindowProcList::TWindowProc proc;
    };
    const Row rows[rowCount] = {
        {&ServesButtons, &TThemeManager::ButtonWindowProc},
        {nullptr, &TThemeManager::PlainWindowProc},
        {&ServesGroupBoxes, &TThemeManager::GroupBoxWindowProc},
        {&ServesTabSheets, &TThemeManager::TabSheetWindowProc},
        {&ServesPanels, &TThemeManager::PanelWindowProc},
        {&ServesFrames, &TThemeManager::ParentBackgroundWindowProc},
        {nullptr, &TThemeManager::PlainWindowProc},
        {nullptr, &TThemeManager::PlainWindowProc},
        {&ServesCheckListBoxes, &TThemeManager::CheckListBoxWindowProc},
        {&ServesStatusBars, &TThemeManager::StatusBarWindowProc},
        {&ServesSplitters, &TThemeManager::ParentBackgroundWindowProc},
        {nullptr, &TThemeManager::PlainWindowProc},
        {&ServesForms, &TThemeManager::FormWindowProc},
        {&ServesAnyWinControl, &TThemeManager::WinControlWindowProc},
    };
    for (const Row& r : rows)
        lists_.push_back(std::make_unique<TWindowProcList>(this, r.serves, r.proc));
}

TThemeOption TThemeManager::RowOption(int row) const
{
    static const TThemeOption options[rowCount] = {
        toSubclassButtons,   toSubclassSpeedButtons, toSubclassGroupBox,     toSubclassTabSheet,
        toSubclassPanel,     toSubclassFrame,        toSubclassListView,     toSubclassTrackBar,
        toSubclassCheckListbox, toSubclassStatusBar, toSubclassSplitter,     toSubclassAnimate,
        toSubclassWinControl /* forms: always */,    toSubclassWinControl,
    };
    return options[row];
}

TWindowProcList* TThemeManager::ListFor(const TWinControl* control) const
{
    for (const auto& l : lists_)
        if (l->Serves(control))
            return l.get();
    return nullptr;
}

TWindowProcList* TThemeManager::ListHolding(const TComponent* control) const
{
    for (const auto& l : lists_)
        if (l->Contains(control))
            return l.get();
    return nullptr;
}

bool TThemeManager::IsMainManager() const { return g_main == this; }

bool TThemeManager::IsSubclassed(const TControl* control) const
{
    auto* wc = dynamic_cast<const TWinControl*>(control);
    return wc && ListHolding(wc) != nullptr;
}

int TThemeManager::SubclassedCount() const
{
    int n = 0;
    for (const auto& l : lists_)
        n += l->Count();
    return n;
}

void TThemeManager::ReleaseAll()
{
    for (auto& l : lists_)
        l->Clear();
    recreation_.clear();
    hotWindow_ = nullptr;
}

void TThemeManager::HookApplication()
{
    if (appHooked_)
        return;
    appHookId_ = Application().HookMainWindow([this](UINT msg, WPARAM, LPARAM, LRESULT&) {
        Guarded([&] { AppHook(msg); });
        return false;   // never marked handled
    });
    appHooked_ = true;
}

void TThemeManager::UnhookApplication()
{
    if (!appHooked_)
        return;
    Application().UnhookMainWindow(appHookId_);
    appHookId_ = 0;
    appHooked_ = false;
}

void TThemeManager::Loaded()
{
    TComponent::Loaded();
    if (!secondary_ && !IsDesigning())
        for (int i = 0; i < Screen().FormCount(); ++i)
            QueueForm(Screen().Forms(i));
}

void TThemeManager::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove || !component)
        return;
    // A control we hold is being freed: only its address is left to go by.
    for (auto& l : lists_)
        l->Remove(component);
    RemoveRecreation(component);
    std::erase_if(pendingForms_, [component](TForm* f) { return static_cast<const TComponent*>(f) == component; });
}

void TThemeManager::ControlGone(TWinControl* control)
{
    RemoveRecreation(control);
    if (!IsDestroying())
        RemoveFreeNotification(control);
}

// ---- forms ----

void TThemeManager::FormNotice(TForm* form, TFormNotice notice)
{
    if (notice == TFormNotice::fnDestroying) {
        std::erase(pendingForms_, form);
        return;
    }
    QueueForm(form);
}

void TThemeManager::QueueForm(TForm* form)
{
    if (!form || IsDesigning() || IsDestroying())
        return;
    if (secondary_) {
        TThemeManager* main = MainThemeManager();
        if (main && main != this)
            main->QueueForm(form);
        return;
    }
    // Collected from the message loop by the application hook; without it
    // (themes were off when this manager was made) there is nothing to do.
    if (!appHooked_)
        return;
    if (std::find(pendingForms_.begin(), pendingForms_.end(), form) == pendingForms_.end())
        pendingForms_.push_back(form);
    if (HWND app = Application().Handle())
        PostMessageW(app, WM_NULL, 0, 0);
}

void TThemeManager::CollectForms()
{
    std::vector<std::pair<TForm*, std::weak_ptr<void>>> forms;
    for (int i = 0; i < Screen().FormCount(); ++i)
        forms.emplace_back(Screen().Forms(i), Screen().Forms(i)->AliveToken());
    std::weak_ptr<void> alive = AliveToken();
    for (auto& [form, formAlive] : forms) {
        if (alive.expired() || secondary_)
            return;
        if (formAlive.expired() || form->IsDestroying())
            continue;
        if (form->IsLoading()) {
            // Still being built: taken from the message loop once it is.
            QueueForm(form);
            continue;
        }
        if (!SubclassControl(form, true))
            CollectControls(form);
    }
}

// ---- subclassing ----

bool TThemeManager::SubclassControl(TControl* control, bool subclass)
{
    // Windowless controls have no window procedure in this layer.
    auto* wc = dynamic_cast<TWinControl*>(control);
    if (!wc)
        return false;
    if (secondary_) {
        TThemeManager* main = MainThemeManager();
        return main && main != this ? main->SubclassControl(control, subclass) : false;
    }
    if (!subclass) {
        if (TWindowProcList* l = ListHolding(wc))
            l->Remove(wc);
        return false;
    }
    if (IsDesigning() || IsDestroying() || wc->IsDestroying())
        return false;
    TWindowProcList* list = ListFor(wc);
    if (!list)
        return false;
    int row = 0;
    while (lists_[static_cast<size_t>(row)].get() != list)
        ++row;
    // Without themes only list views are handled (for their column images);
    // the window layer has none, so nothing is.
    if (!ThemeServices().ThemesEnabled() && row != rowListView)
        return false;
    if (row != rowForm && !HasOption(RowOption(row)))
        return false;
    if (list->Contains(wc))
        return list->Rehook(wc);
    if (!DoAllowSubclassing(wc))
        return false;
    if (wc->Perform(TM_DENYSUBCLASSING, 0, 0) != 0)
        return false;
    if (!list->Add(wc))
        return false;
    FreeNotification(wc);
    if (wc->ControlCount() > 0)
        CollectControls(wc);
    return true;
}

void TThemeManager::CollectControls(TWinControl* parent)
{
    BX_ASSERT(parent != nullptr, "Parent of controls to be collected must be valid.");
    if (secondary_ || IsDesigning())
        return;
    std::vector<std::pair<TControl*, std::weak_ptr<void>>> children;
    for (int i = 0; i < parent->ControlCount(); ++i)
        children.emplace_back(parent->Controls(i), parent->Controls(i)->AliveToken());
    std::weak_ptr<void> alive = AliveToken();
    for (auto& [child, childAlive] : children) {
        if (alive.expired() || secondary_)
            return;
        if (childAlive.expired() || child->Parent() != parent)
            continue;
        if (SubclassControl(child, true))
            continue;   // it collected its own children
        auto* w = dynamic_cast<TWinControl*>(child);
        if (w && w->ControlCount() > 0)
            CollectControls(w);
    }
}

void TThemeManager::BecomeMainManager()
{
    if (IsDesigning() || IsDestroying())
        return;
    std::lock_guard<std::recursive_mutex> lock(g_mainLock);
    TThemeManager* old = g_main;
    if (old == this)
        return;
    if (old) {
        old->secondary_ = true;
        old->ReleaseAll();
        old->pendingForms_.clear();
        old->pendingWindows_.clear();
    }
    g_main = this;
    secondary_ = false;
    if (ThemeServices().ThemesEnabled())
        HookApplication();
    CollectForms();
}

int TThemeManager::RegisterListener(TControlMessageEvent listener)
{
    if (!listener)
        return 0;
    int id = nextListenerId_++;
    listeners_.push_back({id, std::move(listener)});
    return id;
}

void TThemeManager::UnregisterListener(int id)
{
    std::erase_if(listeners_, [id](const Listener& l) { return l.id == id; });
}

bool TThemeManager::DoAllowSubclassing(TControl* control)
{
    bool allow = true;
    if (OnAllowSubclassing)
        OnAllowSubclassing(this, control, allow);
    return allow;
}

bool TThemeManager::DoControlMessage(TControl* control, TMessage& message)
{
    bool handled = false;
    std::weak_ptr<void> alive = AliveToken();
    if (OnControlMessage)
        OnControlMessage(this, control, message, handled);
    if (handled || alive.expired() || listeners_.empty())
        return handled;
    // A copy: a listener may register or unregister listeners.
    std::vector<Listener> list = listeners_;
    for (const Listener& l : list) {
        bool registered = std::any_of(listeners_.begin(), listeners_.end(),
                                      [&l](const Listener& x) { return x.id == l.id; });
        if (!registered)
            continue;
        l.fn(this, control, message, handled);
        if (handled || alive.expired())
            break;
    }
    return handled;
}

void TThemeManager::DoOnThemeChangeManager()
{
    if (OnThemeChange)
        OnThemeChange(this);
}

bool TThemeManager::IsScrollingControl(const TWinControl*) const
{
    // The window layer has no scrolling controls, grids or rich edits; the
    // program's list control keeps the manager away (it answers 0xB7D0).
    return false;
}

// ---- re-creation ----

void TThemeManager::AddRecreationWindow(TWinControl* control)
{
    for (TRecreation& r : recreation_)
        if (r.control == control) {
            r.inProgress = true;
            return;
        }
    recreation_.push_back({control, true});
}

bool TThemeManager::InRecreation(const TComponent* control) const
{
    return std::any_of(recreation_.begin(), recreation_.end(),
                       [control](const TRecreation& r) { return static_cast<const TComponent*>(r.control) == control; });
}

void TThemeManager::RemoveRecreation(const TComponent* control)
{
    std::erase_if(recreation_,
                  [control](const TRecreation& r) { return static_cast<const TComponent*>(r.control) == control; });
}

// The control's window was made again (or is to be): the new one gets the
// procedure, and the children, whose windows are new too, are collected again.
void TThemeManager::FinishRecreation(TWinControl* control)
{
    auto it = std::find_if(recreation_.begin(), recreation_.end(),
                           [control](const TRecreation& r) { return r.control == control; });
    if (it == recreation_.end())
        return;
    it->inProgress = false;
    if (control->IsDestroying()) {
        SubclassControl(control, false);
        RemoveRecreation(control);
        return;
    }
    if (!control->HandleAllocated()) {
        bool canHaveWindow = control->Parent() || dynamic_cast<TForm*>(control) != nullptr;
        if (!canHaveWindow) {
            SubclassControl(control, false);
            RemoveRecreation(control);
            return;
        }
        // Left for the application hook, which asks for the window.
        if (HWND app = Application().Handle())
            PostMessageW(app, WM_NULL, 0, 0);
        return;
    }
    RemoveRecreation(control);
    if (TWindowProcList* l = ListHolding(control))
        l->Rehook(control);
    if (control->ControlCount() > 0)
        CollectControls(control);
}

// ---- the application hook ----

void TThemeManager::AppHook(UINT msg)
{
    std::weak_ptr<void> alive = AliveToken();
    if (msg == TM_HANDOVER && !IsDestroying()) {
        std::lock_guard<std::recursive_mutex> lock(g_mainLock);
        if (!g_main) {
            g_main = this;
            secondary_ = false;
            CollectForms();
        }
    }
    if (alive.expired())
        return;
    ProcessPending();
    if (alive.expired())
        return;
    if (msg == WM_THEMECHANGED) {
        ThemeRefresh();
        DoOnThemeChangeManager();
    }
}

void TThemeManager::ProcessPending()
{
    if (processing_ || secondary_ || IsDestroying() ||
        (pendingForms_.empty() && pendingWindows_.empty() && recreation_.empty()))
        return;
    processing_ = true;
    std::weak_ptr<void> alive = AliveToken();
    Guarded([&] {
        std::vector<TForm*> later;
        while (!pendingForms_.empty() && !alive.expired() && !secondary_) {
            TForm* form = pendingForms_.front();
            pendingForms_.erase(pendingForms_.begin());
            if (form->IsLoading()) {
                later.push_back(form);
                continue;
            }
            std::weak_ptr<void> formAlive = form->AliveToken();
            if (!SubclassControl(form, true) && !alive.expired())
                CollectControls(form);
            if (alive.expired() || formAlive.expired())
                continue;
            if (options_ & (ThemeOptionBit(toResetMouseCapture) | ThemeOptionBit(toSetTransparency)))
                TransparencyPass(form);
            if (!formAlive.expired() && form->HandleAllocated())
                RedrawWindow(form->Handle(), nullptr, nullptr, kRedrawCollected);
        }
        if (alive.expired())
            return;
        pendingForms_.insert(pendingForms_.end(), later.begin(), later.end());
        // Windows made on a form after it was collected.
        while (!pendingWindows_.empty() && !alive.expired() && !secondary_) {
            HWND h = pendingWindows_.front();
            pendingWindows_.erase(pendingWindows_.begin());
            TWinControl* c = IsWindow(h) ? TWinControl::FromHandle(h) : nullptr;
            if (c && !c->IsDestroying() && !IsSubclassed(c))
                SubclassControl(c, true);
        }
        if (alive.expired())
            return;
        // Controls whose windows were made again.
        std::vector<TWinControl*> waiting;
        for (const TRecreation& r : recreation_)
            if (!r.inProgress)
                waiting.push_back(r.control);
        for (TWinControl* c : waiting) {
            if (alive.expired() || !InRecreation(c))
                continue;
            bool canHaveWindow = c->HandleAllocated() || c->Parent() || dynamic_cast<TForm*>(c) != nullptr;
            if (canHaveWindow && !c->IsDestroying())
                c->HandleNeeded();
            if (!alive.expired() && InRecreation(c))
                FinishRecreation(c);
            if (!alive.expired() && InRecreation(c) && !c->HandleAllocated()) {
                SubclassControl(c, false);
                RemoveRecreation(c);
            }
        }
    });
    if (!alive.expired())
        processing_ = false;
}

// ---- theme changes and options ----

void TThemeManager::ThemeRefresh()
{
    TThemeServices& ts = ThemeServices();
    ts.UpdateThemes();
    if (!ts.ThemeLibraryLoaded() || IsDesigning() || !UxTheme::GetThemeAppProperties)
        return;
    DWORD props = UxTheme::GetThemeAppProperties();
    auto take = [&](TThemeOption option, DWORD bit) {
        if (props & bit)
            options_ |= ThemeOptionBit(option);
        else
            options_ &= ~ThemeOptionBit(option);
    };
    take(toAllowNonClientArea, STAP_ALLOW_NONCLIENT);
    take(toAllowControls, STAP_ALLOW_CONTROLS);
    take(toAllowWebContent, STAP_ALLOW_WEBCONTENT);
}

void TThemeManager::SetOptions(TThemeOptions options)
{
    if (secondary_) {
        options_ = options;
        TThemeManager* main = MainThemeManager();
        if (main && main != this)
            main->SetOptions(options);
        return;
    }
    if (options == options_)
        return;
    options_ = options;
    TThemeServices& ts = ThemeServices();
    if (!ts.ThemeLibraryLoaded() || IsDesigning() || !IsMainManager())
        return;
    DWORD props = 0;
    if (HasOption(toAllowNonClientArea))
        props |= STAP_ALLOW_NONCLIENT;
    if (HasOption(toAllowControls))
        props |= STAP_ALLOW_CONTROLS;
    if (HasOption(toAllowWebContent))
        props |= STAP_ALLOW_WEBCONTENT;
    if (UxTheme::SetThemeAppProperties)
        UxTheme::SetThemeAppProperties(props);
    if (IsLoading())
        return;
    ThemeRefresh();
    std::vector<std::pair<TForm*, std::weak_ptr<void>>> forms;
    for (int i = 0; i < Screen().FormCount(); ++i)
        forms.emplace_back(Screen().Forms(i), Screen().Forms(i)->AliveToken());
    for (auto& [form, formAlive] : forms)
        if (!formAlive.expired() && form->HandleAllocated())
            SendThemeChanged(form);
    if (HWND app = Application().Handle())
        SendMessageW(app, WM_THEMECHANGED, 0, 0);
    for (auto& [form, formAlive] : forms)
        if (!formAlive.expired() && form->HandleAllocated())
            RedrawWindow(form->Handle(), nullptr, nullptr, kRedrawOptions);
}

// The window layer has no list views or cool bars (which would be made again
// instead): every windowed control with a window hears of the change.
void TThemeManager::SendThemeChanged(TWinControl* control)
{
    std::weak_ptr<void> alive = control->AliveToken();
    SendMessageW(control->Handle(), WM_THEMECHANGED, 0, 0);
    if (alive.expired())
        return;
    std::vector<std::pair<TWinControl*, std::weak_ptr<void>>> children;
    for (int i = 0; i < control->ControlCount(); ++i)
        if (auto* w = dynamic_cast<TWinControl*>(control->Controls(i)))
            children.emplace_back(w, w->AliveToken());
    for (auto& [child, childAlive] : children)
        if (!childAlive.expired() && child->HandleAllocated())
            SendThemeChanged(child);
}

// Windowed children get the dialog texture of tab pages, labels are made
// transparent. (The tool bars this pass also treats in other libraries do
// not exist in the window layer; the program's own toolbars paint themselves.)
void TThemeManager::TransparencyPass(TWinControl* parent)
{
    bool themed = ThemeServices().ThemesEnabled();
    std::vector<TControl*> children;
    for (int i = 0; i < parent->ControlCount(); ++i)
        children.push_back(parent->Controls(i));
    for (TControl* child : children) {
        if (auto* w = dynamic_cast<TWinControl*>(child)) {
            if (themed && w->HandleAllocated() && UxTheme::EnableThemeDialogTexture)
                UxTheme::EnableThemeDialogTexture(w->Handle(), ETDT_ENABLETAB);
            if (w->ControlCount() > 0)
                TransparencyPass(w);
        } else if (auto* label = dynamic_cast<TLabel*>(child)) {
            if (HasOption(toSetTransparency))
                label->SetTransparent(true);
        }
    }
}

// ---- the replacement procedures ----

void TThemeManager::RunWindowProc(TThemedPart themed, TWindowProcList& list, TWinControl* c, TMessage& m,
                                  const TSubclassNext& next)
{
    TThemeManager* main = MainThemeManager();
    BX_ASSERT(main != nullptr, "Assertion failure");
    if (main->OnControlMessage || !main->listeners_.empty()) {
        std::weak_ptr<void> alive = main->AliveToken();
        bool handled = main->DoControlMessage(c, m);
        if (handled)
            return;
        if (alive.expired()) {
            // The manager went inside a handler: the control keeps the message.
            m.Result = next(m.Msg, m.WParam, m.LParam);
            return;
        }
    }
    if (themed && ThemeServices().ThemesEnabled() && (main->*themed)(list, c, m, next))
        return;
    list.DispatchMessage(c, m, next);
}

void TThemeManager::ButtonWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedButton, list, c, m, next);
}

void TThemeManager::GroupBoxWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m,
                                       const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedGroupBox, list, c, m, next);
}

void TThemeManager::PanelWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedPanel, list, c, m, next);
}

void TThemeManager::StatusBarWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m,
                                        const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedStatusBar, list, c, m, next);
}

void TThemeManager::FormWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedForm, list, c, m, next);
}

void TThemeManager::WinControlWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m,
                                         const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedWinControl, list, c, m, next);
}

void TThemeManager::PlainWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    RunWindowProc(nullptr, list, c, m, next);
}

void TThemeManager::TabSheetWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m,
                                       const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedTabSheet, list, c, m, next);
}

void TThemeManager::CheckListBoxWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m,
                                           const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedCheckListBox, list, c, m, next);
}

void TThemeManager::ParentBackgroundWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m,
                                               const TSubclassNext& next)
{
    RunWindowProc(&TThemeManager::ThemedParentBackground, list, c, m, next);
}

// What every control that holds others does while themed: windows made on
// it later are taken in, static texts on it draw over its background, and the theme library's request for that
// background (WM_PRINTCLIENT) is answered for our own window classes, which
// otherwise paint only in WM_PAINT.
bool TThemeManager::ThemedContainer(TWindowProcList&, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    switch (m.Msg) {
    case WM_CTLCOLORSTATIC: {
        HWND child = reinterpret_cast<HWND>(m.LParam);
        if (!child || !IsClass(child, L"Static"))
            return false;
        HDC dc = reinterpret_cast<HDC>(m.WParam);
        SetBkMode(dc, TRANSPARENT);
        ThemeServices().DrawParentBackground(child, dc, nullptr, false, nullptr);
        m.Result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return true;
    }
    case WM_PARENTNOTIFY:
        // A window made on the form after it was collected: its control is
        // subclassed from the message loop, once the layer knows the window.
        if (LOWORD(m.WParam) == WM_CREATE && m.LParam) {
            pendingWindows_.push_back(reinterpret_cast<HWND>(m.LParam));
            if (HWND app = Application().Handle())
                PostMessageW(app, WM_NULL, 0, 0);
        }
        return false;
    case WM_PRINTCLIENT: {
        HWND h = next.Handle();
        if (!(m.LParam & PRF_CLIENT) || !IsOwnClassWindow(h))
            return false;
        RECT r;
        GetClientRect(h, &r);
        HBRUSH brush = CreateSolidBrush(c->Color());
        FillRect(reinterpret_cast<HDC>(m.WParam), &r, brush);
        DeleteObject(brush);
        m.Result = 0;
        return true;
    }
    default:
        return false;
    }
}

// Hot tracking: the control under the cursor is drawn hot.
bool TThemeManager::TrackHot(TWindowProcList&, TWinControl*, TMessage& m, const TSubclassNext& next)
{
    HWND h = next.Handle();
    if (m.Msg == WM_MOUSEMOVE && hotWindow_ != h) {
        HWND old = hotWindow_;
        hotWindow_ = h;
        TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, h, 0};
        TrackMouseEvent(&t);
        if (old && IsWindow(old))
            InvalidateRect(old, nullptr, FALSE);
        InvalidateRect(h, nullptr, FALSE);
    } else if (m.Msg == WM_MOUSELEAVE && hotWindow_ == h) {
        hotWindow_ = nullptr;
        InvalidateRect(h, nullptr, FALSE);
    }
    return false;
}

bool TThemeManager::ThemedButton(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    HWND h = next.Handle();
    if ((static_cast<UINT>(GetWindowLongW(h, GWL_STYLE)) & BS_TYPEMASK) == BS_OWNERDRAW)
        return false;
    switch (m.Msg) {
    case WM_ERASEBKGND:
        m.Result = 1;
        return true;
    case WM_PAINT: {
        bool hot = hotWindow_ == h;
        PaintWith(h, m, [&](HDC dc) { PaintButton(c, h, dc, hot); });
        return true;
    }
    case WM_PRINTCLIENT:
        PaintButton(c, h, reinterpret_cast<HDC>(m.WParam), hotWindow_ == h);
        m.Result = 0;
        return true;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
        return TrackHot(list, c, m, next);
    // The system button draws itself straight away on these: drawn over
    // again once they are done.
    case BM_SETSTATE:
    case BM_SETCHECK:
    case BM_SETSTYLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_SETFONT:
    case WM_UPDATEUISTATE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_CAPTURECHANGED:
    case WM_KEYDOWN:
    case WM_KEYUP:
        list.DispatchMessage(c, m, next);
        if (IsWindow(h))
            InvalidateRect(h, nullptr, FALSE);
        return true;
    default:
        return false;
    }
}

// A control that paints its whole client area itself: nothing is erased,
// a paint draws the background and then the windowless children, a print
// the background; the rest as every container.
bool TThemeManager::ThemedBackground(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next,
                                     const std::function<void(HDC)>& background)
{
    switch (m.Msg) {
    case WM_ERASEBKGND:
        m.Result = 1;
        return true;
    case WM_PAINT:
        PaintWith(next.Handle(), m, [&](HDC dc) {
            background(dc);
            PaintGraphicChildren(c, dc);
        });
        return true;
    case WM_PRINTCLIENT:
        background(reinterpret_cast<HDC>(m.WParam));
        m.Result = 0;
        return true;
    default:
        return ThemedContainer(list, c, m, next);
    }
}

bool TThemeManager::ThemedGroupBox(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    HWND h = next.Handle();
    return ThemedBackground(list, c, m, next, [&](HDC dc) {
        PaintGroupFrame(h, dc, c->Font().Handle(), WindowTextOf(h), IsWindowEnabled(h) != FALSE, PrefixFlag(h));
    });
}

bool TThemeManager::ThemedPanel(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    auto* panel = dynamic_cast<TPanel*>(c);
    if (!panel)
        return false;
    HWND h = next.Handle();
    return ThemedBackground(list, c, m, next, [&](HDC dc) { PaintPanel(panel, h, dc); });
}

bool TThemeManager::ThemedTabSheet(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    HWND h = next.Handle();
    if (m.Msg == WM_NCPAINT) {
        // A border of its own shows the page's background too.
        list.DispatchMessage(c, m, next);
        if (IsWindow(h))
            PaintTabBorder(h);
        return true;
    }
    return ThemedBackground(list, c, m, next, [&](HDC dc) { PaintTabBody(h, dc); });
}

bool TThemeManager::ThemedCheckListBox(TWindowProcList& list, TWinControl* c, TMessage& m,
                                       const TSubclassNext& next)
{
    auto* box = dynamic_cast<TCheckListBox*>(c);
    if (!box)
        return false;
    HWND h = next.Handle();
    // The lines as the control draws them, then each check box themed.
    auto paint = [&](HDC dc) {
        TMessage print{WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT, 0};
        list.DispatchMessage(c, print, next);
        PaintCheckListBoxes(*box, dc);
    };
    switch (m.Msg) {
    case WM_PAINT:
        PaintWith(h, m, paint);
        return true;
    case WM_PRINTCLIENT:
        if (!(m.LParam & PRF_CLIENT))
            return false;
        paint(reinterpret_cast<HDC>(m.WParam));
        m.Result = 0;
        return true;
    default:
        return ThemedContainer(list, c, m, next);
    }
}

bool TThemeManager::ThemedParentBackground(TWindowProcList& list, TWinControl* c, TMessage& m,
                                           const TSubclassNext& next)
{
    HWND h = next.Handle();
    return ThemedBackground(list, c, m, next, [&](HDC dc) {
        ThemeServices().DrawParentBackground(h, dc, nullptr, false, nullptr);
    });
}

bool TThemeManager::ThemedStatusBar(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    switch (m.Msg) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(next.Handle(), &r);
        ThemeServices().DrawElement(reinterpret_cast<HDC>(m.WParam),
                                    TThemeServices::GetStatusDetails(tsStatusDontCare), r);
        m.Result = 1;
        return true;
    }
    case WM_NCCALCSIZE:
        list.DispatchMessage(c, m, next);
        if (m.WParam)
            m.Result |= WVR_REDRAW;
        return true;
    default:
        return ThemedContainer(list, c, m, next);
    }
}

bool TThemeManager::ThemedForm(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next)
{
    HWND h = next.Handle();
    switch (m.Msg) {
    case WM_ERASEBKGND:
        // A form placed inside another control shows that control's background.
        if (!(GetWindowLongW(h, GWL_STYLE) & WS_CHILD))
            return false;
        ThemeServices().DrawParentBackground(h, reinterpret_cast<HDC>(m.WParam), nullptr, false, nullptr);
        m.Result = 1;
        return true;
    default:
        return ThemedContainer(list, c, m, next);
    }
}

bool TThemeManager::ThemedWinControl(TWindowProcList& list, TWinControl* c, TMessage& m,
                                     const TSubclassNext& next)
{
    HWND h = next.Handle();
    switch (m.Msg) {
    case WM_ERASEBKGND:
        if (!IsScrollingControl(c))
            return false;
        ThemeServices().DrawParentBackground(h, reinterpret_cast<HDC>(m.WParam), nullptr, false, nullptr);
        m.Result = 1;
        return true;
    case WM_NCPAINT: {
        bool corner = IsScrollingControl(c);
        list.DispatchMessage(c, m, next);
        if (IsWindow(h))
            ThemeServices().PaintBorder(h, corner);
        return true;
    }
    case WM_KEYDOWN:
        // Keyboard navigation: the form shows its focus cues from now on.
        if (m.WParam == VK_TAB || m.WParam == VK_LEFT || m.WParam == VK_RIGHT || m.WParam == VK_UP ||
            m.WParam == VK_DOWN) {
            if (HWND root = GetAncestor(h, GA_ROOT))
                SendMessageW(root, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        }
        return false;
    default:
        return ThemedContainer(list, c, m, next);
    }
}
