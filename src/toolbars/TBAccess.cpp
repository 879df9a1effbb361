// The IAccessible objects of views and item viewers.
#include "toolbars/TBAccess.h"

#include <unordered_map>
#include <vector>

#include "platform/Application.h"
#include "platform/AccessibleObject.h"
#include "platform/Control.h"
#include "platform/Firewall.h"
#include "platform/Text.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBView.h"

namespace {

using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using TAccessibleObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
using TNotifyWinEvent = void(WINAPI*)(DWORD, HWND, LONG, LONG);

struct OleAcc {
    bool tried = false;
    bool available = false;
    TLresultFromObject lresultFromObject = nullptr;
    TAccessibleObjectFromWindow objectFromWindow = nullptr;
};

OleAcc& Acc()
{
    static OleAcc acc;
    return acc;
}

// The list of live objects: made once and never freed, since COM may
// release objects on its own at the very end of the process.
CRITICAL_SECTION& ListLock()
{
    static CRITICAL_SECTION* cs = [] {
        auto* c = new CRITICAL_SECTION;
        InitializeCriticalSection(c);
        return c;
    }();
    return *cs;
}

class ListGuard {
public:
    ListGuard() { EnterCriticalSection(&ListLock()); }
    ~ListGuard() { LeaveCriticalSection(&ListLock()); }
    ListGuard(const ListGuard&) = delete;
    ListGuard& operator=(const ListGuard&) = delete;
};

volatile LONG liveViewObjects = 0;

std::wstring AltKeyName()
{
    wchar_t buf[64] = {};
    LONG code = static_cast<LONG>(MapVirtualKeyW(VK_MENU, 0)) << 16;
    if (GetKeyNameTextW(code, buf, 64) > 0)
        return buf;
    return L"Alt";
}

HRESULT SetBstr(BSTR* out, const std::wstring& text)
{
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool IsSelf(const VARIANT& v) { return v.vt == VT_I4 && v.lVal == CHILDID_SELF; }

// --- the objects ---

class TTBBaseAccObject : public TAccessibleObject {
public:
    // A reference for the disconnect walk, unless the object is already on
    // its way out (released to zero on another thread).
    bool TryAddRef()
    {
        for (LONG r = refs_; r > 0; r = refs_)
            if (InterlockedCompareExchange(&refs_, r + 1, r) == r)
                return true;
        return false;
    }
};

class TTBCustomAccObject : public TTBBaseAccObject {
public:
    TTBCustomAccObject()
    {
        ListGuard g;
        next_ = head_;
        if (head_)
            head_->prev_ = this;
        head_ = this;
    }
    ~TTBCustomAccObject() override
    {
        ListGuard g;
        if (prev_)
            prev_->next_ = next_;
        else if (head_ == this)
            head_ = next_;
        if (next_)
            next_->prev_ = prev_;
    }
    // The view or viewer went.
    virtual void Forget() = 0;

    // Every call starts here: E_FAIL when the owner went, E_INVALIDARG for
    // a child id other than CHILDID_SELF; errors never leave a COM method.
    template <class F>
    HRESULT Checked(const VARIANT* child, F&& f)
    {
        try {
            if (!Alive())
                return E_FAIL;
            if (child && !IsSelf(*child))
                return E_INVALIDARG;
            return f();
        } catch (...) {
            HandleCurrentException();
            return E_FAIL;
        }
    }
    virtual bool Alive() const = 0;

    static TTBCustomAccObject* head_;
    TTBCustomAccObject* prev_ = nullptr;
    TTBCustomAccObject* next_ = nullptr;
};

TTBCustomAccObject* TTBCustomAccObject::head_ = nullptr;

// The object of each view or viewer that asked for one, holding the
// owner's reference (GUI thread only).
std::unordered_map<const void*, TTBCustomAccObject*>& Owners()
{
    static auto* map = new std::unordered_map<const void*, TTBCustomAccObject*>;
    return *map;
}

void EnsureLoopEndHandler()
{
    static bool added = false;
    if (added)
        return;
    added = true;
    Application().AddLoopEndHandler([] { TBAccDisconnectAll(); });
}

HRESULT DispatchOf(IAccessible* acc, VARIANT* out)
{
    if (!acc) {
        out->vt = VT_EMPTY;
        return S_FALSE;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = acc;   // the caller's reference moves into the variant
    return S_OK;
}

HRESULT WindowObject(HWND wnd, LONG objectId, VARIANT* out)
{
    IDispatch* d = nullptr;
    if (wnd && SUCCEEDED(TBAccessibleObjectFromWindow(wnd, static_cast<DWORD>(objectId), IID_IDispatch,
                                                      reinterpret_cast<void**>(&d))) && d) {
        out->vt = VT_DISPATCH;
        out->pdispVal = d;
        return S_OK;
    }
    out->vt = VT_EMPTY;
    return S_FALSE;
}

HWND ViewWindow(TTBView* view)
{
    TWinControl* w = view->Window();
    return w && w->HandleAllocated() ? w->Handle() : nullptr;
}

// Children are the viewers shown or clipped, numbered from 1.
std::vector<TTBItemViewer*> ChildViewers(TTBView* view)
{
    std::vector<TTBItemViewer*> list;
    for (int i = 0; i < view->ViewerCount(); ++i)
        if (view->Viewers(i)->IsShownOrClipped())
            list.push_back(view->Viewers(i));
    return list;
}

// A child: the control's own object for a control item with a windowed
// control, else the viewer's object.
HRESULT ChildObject(TTBItemViewer* v, VARIANT* out)
{
    if (auto* ci = dynamic_cast<TTBControlItem*>(v->Item()))
        if (auto* w = dynamic_cast<TWinControl*>(ci->Control()); w && w->HandleAllocated())
            return WindowObject(w->Handle(), OBJID_WINDOW, out);
    return DispatchOf(TBGetViewerAccObject(v), out);
}

class TTBViewAccObject : public TTBCustomAccObject {
public:
    explicit TTBViewAccObject(TTBView* view) : view_(view) { InterlockedIncrement(&liveViewObjects); }
    ~TTBViewAccObject() override { InterlockedDecrement(&liveViewObjects); }
    void Forget() override { view_ = nullptr; }
    bool Alive() const override { return view_ != nullptr; }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        return Checked(nullptr, [&] {
            VARIANT v;
            VariantInit(&v);
            HRESULT hr = WindowObject(ViewWindow(view_), OBJID_WINDOW, &v);
            if (hr == S_OK)
                *parent = v.pdispVal;
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return Checked(nullptr, [&] {
            *count = static_cast<LONG>(ChildViewers(view_).size());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Checked(nullptr, [&]() -> HRESULT {
            if (child.vt != VT_I4)
                return E_INVALIDARG;
            std::vector<TTBItemViewer*> list = ChildViewers(view_);
            if (child.lVal < 1 || child.lVal > static_cast<LONG>(list.size()))
                return E_INVALIDARG;
            VARIANT v;
            VariantInit(&v);
            HRESULT hr = ChildObject(list[static_cast<size_t>(child.lVal - 1)], &v);
            if (hr == S_OK)
                *out = v.pdispVal;
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        return Checked(&child, [&]() -> HRESULT {
            if (view_->IsPopup()) {
                TTBView* parent = view_->ParentView();
                if (parent && parent->OpenViewer())
                    return SetBstr(name, Utf8ToWide(StripAccelChars(parent->OpenViewer()->GetCaptionText())));
                return S_FALSE;
            }
            HWND h = ViewWindow(view_);
            if (!h)
                return S_FALSE;
            int n = GetWindowTextLengthW(h);
            std::wstring text(static_cast<size_t>(n) + 1, L'\0');
            text.resize(static_cast<size_t>(GetWindowTextW(h, text.data(), n + 1)));
            return SetBstr(name, text);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* d) override
    {
        if (!d)
            return E_POINTER;
        *d = nullptr;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!role)
            return E_POINTER;
        VariantInit(role);
        return Checked(&child, [&] {
            role->vt = VT_I4;
            role->lVal = view_->IsPopup()                    ? ROLE_SYSTEM_MENUPOPUP
                         : (view_->Style() & vsMenuBar) != 0 ? ROLE_SYSTEM_MENUBAR
                                                             : ROLE_SYSTEM_TOOLBAR;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (!state)
            return E_POINTER;
        VariantInit(state);
        return Checked(&child, [&] {
            HWND h = ViewWindow(view_);
            state->vt = VT_I4;
            state->lVal = h && IsWindowVisible(h) ? 0 : STATE_SYSTEM_INVISIBLE;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        if (!help)
            return E_POINTER;
        *help = nullptr;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override
    {
        if (!file || !topic)
            return E_POINTER;
        *file = nullptr;
        *topic = 0;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* key) override
    {
        if (!key)
            return E_POINTER;
        *key = nullptr;
        return Checked(&child, [&]() -> HRESULT {
            if (view_->Style() & vsMenuBar)
                return SetBstr(key, AltKeyName());
            return S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (!focus)
            return E_POINTER;
        VariantInit(focus);
        return Checked(nullptr, [&]() -> HRESULT {
            if (!view_->Selected())
                return S_FALSE;
            return DispatchOf(TBGetViewerAccObject(view_->Selected()), focus);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* sel) override
    {
        if (!sel)
            return E_POINTER;
        VariantInit(sel);
        return Checked(nullptr, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (!action)
            return E_POINTER;
        *action = nullptr;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT child) override
    {
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override
    {
        if (!left || !top || !width || !height)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        return Checked(&child, [&]() -> HRESULT {
            HWND h = ViewWindow(view_);
            RECT r;
            if (!h || !GetWindowRect(h, &r))
                return S_FALSE;
            *left = r.left;
            *top = r.top;
            *width = r.right - r.left;
            *height = r.bottom - r.top;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT* end) override
    {
        if (!end)
            return E_POINTER;
        VariantInit(end);
        return Checked(&start, [&]() -> HRESULT {
            if (dir != NAVDIR_FIRSTCHILD && dir != NAVDIR_LASTCHILD)
                return S_FALSE;
            std::vector<TTBItemViewer*> list = ChildViewers(view_);
            if (list.empty())
                return S_FALSE;
            return ChildObject(dir == NAVDIR_FIRSTCHILD ? list.front() : list.back(), end);
        });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override
    {
        if (!out)
            return E_POINTER;
        VariantInit(out);
        return Checked(nullptr, [&]() -> HRESULT {
            HWND h = ViewWindow(view_);
            if (!h)
                return S_FALSE;
            POINT p{x, y};
            ScreenToClient(h, &p);
            HWND under = ChildWindowFromPointEx(h, p, CWP_SKIPINVISIBLE);
            if (!under)
                return S_FALSE;
            if (under != h)
                return WindowObject(under, OBJID_WINDOW, out);
            if (TTBItemViewer* v = view_->ViewerFromPoint(p))
                return ChildObject(v, out);
            out->vt = VT_I4;
            out->lVal = CHILDID_SELF;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }

private:
    TTBView* view_;
};

class TTBItemViewerAccObject : public TTBCustomAccObject {
public:
    explicit TTBItemViewerAccObject(TTBItemViewer* viewer) : viewer_(viewer) {}
    void Forget() override { viewer_ = nullptr; }
    bool Alive() const override { return viewer_ != nullptr; }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        return Checked(nullptr, [&]() -> HRESULT {
            IAccessible* a = TBGetViewAccObject(viewer_->View());
            if (!a)
                return S_FALSE;
            *parent = a;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return Checked(nullptr, [] { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Checked(nullptr, [] { return E_INVALIDARG; });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        return Checked(&child, [&] {
            std::string text = StripAccelChars(viewer_->GetCaptionText());
            std::string shortCut = viewer_->Item()->GetShortCutText();
            if (!shortCut.empty())
                text += "\t" + shortCut;
            return SetBstr(name, Utf8ToWide(text));
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        return Checked(&child, [&]() -> HRESULT {
            std::string v = viewer_->GetAccValue();
            if (v.empty())
                return DISP_E_MEMBERNOTFOUND;
            return SetBstr(value, Utf8ToWide(v));
        });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* d) override
    {
        if (!d)
            return E_POINTER;
        *d = nullptr;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!role)
            return E_POINTER;
        VariantInit(role);
        return Checked(&child, [&] {
            role->vt = VT_I4;
            role->lVal = viewer_->GetAccRole();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (!state)
            return E_POINTER;
        VariantInit(state);
        return Checked(&child, [&] {
            TTBView* view = viewer_->View();
            TTBCustomItem* item = viewer_->Item();
            LONG s = 0;
            if (view->Selected() == viewer_) {
                s |= STATE_SYSTEM_HOTTRACKED;
                if (view->IsModal())
                    s |= STATE_SYSTEM_FOCUSED;
                if (view->MouseDownOnButtonPart() && view->MouseOverSelected())
                    s |= STATE_SYSTEM_PRESSED;
            }
            if (item->ItemStyle() & isSubmenu)
                s |= STATE_SYSTEM_HASPOPUP;
            if (!viewer_->Show)
                s |= STATE_SYSTEM_INVISIBLE;
            else if (viewer_->Clipped || viewer_->OffEdge)
                s |= STATE_SYSTEM_OFFSCREEN;
            if (!item->Enabled() || !(item->ItemStyle() & isSelectable))
                s |= STATE_SYSTEM_UNAVAILABLE;
            if (item->Checked())
                s |= STATE_SYSTEM_CHECKED;
            state->vt = VT_I4;
            state->lVal = s;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        if (!help)
            return E_POINTER;
        *help = nullptr;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override
    {
        if (!file || !topic)
            return E_POINTER;
        *file = nullptr;
        *topic = 0;
        return Checked(&child, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* key) override
    {
        if (!key)
            return E_POINTER;
        *key = nullptr;
        return Checked(&child, [&]() -> HRESULT {
            std::wstring accel = viewer_->AccelChar();
            if (accel.empty())
                return S_FALSE;
            CharLowerBuffW(accel.data(), static_cast<DWORD>(accel.size()));
            if (viewer_->View()->IsToolbar())
                accel = AltKeyName() + L"+" + accel;
            return SetBstr(key, accel);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (!focus)
            return E_POINTER;
        VariantInit(focus);
        return Checked(nullptr, [] { return S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* sel) override
    {
        if (!sel)
            return E_POINTER;
        VariantInit(sel);
        return Checked(nullptr, [] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (!action)
            return E_POINTER;
        *action = nullptr;
        return Checked(&child, [&]() -> HRESULT {
            const wchar_t* text = DefaultAction();
            return text ? SetBstr(action, text) : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override
    {
        return Checked(&child, [&]() -> HRESULT {
            if (!(flags & (SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION)))
                return E_INVALIDARG;
            TTBView* view = viewer_->View();
            view->Select(viewer_, false);
            if (viewer_ && view->Selected() == viewer_)
                view->ScrollSelectedIntoView();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override
    {
        if (!left || !top || !width || !height)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        return Checked(&child, [&]() -> HRESULT {
            RECT r;
            if (!ScreenBounds(r))
                return S_FALSE;
            *left = r.left;
            *top = r.top;
            *width = r.right - r.left;
            *height = r.bottom - r.top;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT start, VARIANT* end) override
    {
        if (!end)
            return E_POINTER;
        VariantInit(end);
        return Checked(&start, [] { return S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override
    {
        if (!out)
            return E_POINTER;
        VariantInit(out);
        return Checked(nullptr, [&]() -> HRESULT {
            RECT r;
            POINT p{x, y};
            if (!ScreenBounds(r) || !PtInRect(&r, p))
                return S_FALSE;
            out->vt = VT_I4;
            out->lVal = CHILDID_SELF;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return Checked(&child, [&]() -> HRESULT {
            if (!DefaultAction())
                return DISP_E_MEMBERNOTFOUND;
            // Runs from the message loop, outside this call.
            QueueClick(viewer_, 0);
            return S_OK;
        });
    }

private:
    const wchar_t* DefaultAction() const
    {
        TTBCustomItem* item = viewer_->Item();
        TTBView* view = viewer_->View();
        if ((item->ItemStyle() & isSeparator) || dynamic_cast<TTBControlItem*>(item) ||
            !(item->ItemStyle() & isSelectable))
            return nullptr;
        if (view->OpenViewer() == viewer_)
            return L"Close";
        if (item->ItemStyle() & isSubmenu)
            return L"Open";
        if (view->IsPopup() || (view->Style() & vsMenuBar))
            return L"Execute";
        return L"Press";
    }
    bool ScreenBounds(RECT& r) const
    {
        TWinControl* w = viewer_->View()->Window();
        if (!w || !w->HandleAllocated())
            return false;
        r = viewer_->BoundsRect;
        POINT a = w->ClientToScreen(POINT{r.left, r.top});
        OffsetRect(&r, a.x - r.left, a.y - r.top);
        return true;
    }

    TTBItemViewer* viewer_;
};

template <class T, class Owner>
IAccessible* ObjectOf(Owner* owner)
{
    if (!owner || !InitializeOleAcc())
        return nullptr;
    auto& owners = Owners();
    auto it = owners.find(owner);
    TTBCustomAccObject* obj;
    if (it != owners.end()) {
        obj = it->second;
    } else {
        obj = new T(owner);
        owners.emplace(owner, obj);
        EnsureLoopEndHandler();
    }
    obj->AddRef();
    return obj;
}

}  // namespace

bool InitializeOleAcc()
{
    OleAcc& a = Acc();
    if (!a.tried) {
        a.tried = true;
        UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        HMODULE lib = LoadLibraryW(L"oleacc.dll");
        SetErrorMode(old);
        if (lib) {
            a.lresultFromObject =
                reinterpret_cast<TLresultFromObject>(reinterpret_cast<void*>(GetProcAddress(lib, "LresultFromObject")));
            a.objectFromWindow = reinterpret_cast<TAccessibleObjectFromWindow>(
                reinterpret_cast<void*>(GetProcAddress(lib, "AccessibleObjectFromWindow")));
            a.available = a.lresultFromObject && a.objectFromWindow;
        }
    }
    return a.available;
}

void CallNotifyWinEvent(DWORD event, HWND wnd, LONG objectId, LONG childId)
{
    static TNotifyWinEvent fn = [] {
        HMODULE user = GetModuleHandleW(L"user32.dll");
        return user ? reinterpret_cast<TNotifyWinEvent>(reinterpret_cast<void*>(GetProcAddress(user, "NotifyWinEvent")))
                    : nullptr;
    }();
    if (fn)
        fn(event, wnd, objectId, childId);
}

LRESULT TBLresultFromObject(REFIID riid, WPARAM wParam, IUnknown* object)
{
    if (!InitializeOleAcc())
        return 0;
    return Acc().lresultFromObject(riid, wParam, object);
}

HRESULT TBAccessibleObjectFromWindow(HWND wnd, DWORD objectId, REFIID riid, void** object)
{
    if (object)
        *object = nullptr;
    if (!InitializeOleAcc())
        return E_FAIL;
    return Acc().objectFromWindow(wnd, objectId, riid, object);
}

IAccessible* TBGetViewAccObject(TTBView* view) { return ObjectOf<TTBViewAccObject>(view); }

IAccessible* TBGetViewerAccObject(TTBItemViewer* viewer) { return ObjectOf<TTBItemViewerAccObject>(viewer); }

void TBAccOwnerGone(const void* owner)
{
    if (!Acc().available)
        return;
    auto& owners = Owners();
    auto it = owners.find(owner);
    if (it == owners.end())
        return;
    TTBCustomAccObject* obj = it->second;
    owners.erase(it);
    obj->Forget();
    obj->Release();
}

bool TBAnswerGetObject(TTBView* view, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || !view || !InitializeOleAcc())
        return false;
    IAccessible* obj = TBGetViewAccObject(view);
    if (!obj)
        return false;
    result = TBLresultFromObject(IID_IAccessible, wParam, obj);
    obj->Release();
    return true;
}

void TBNotifyFocus(TTBView* view)
{
    TTBItemViewer* sel = view ? view->Selected() : nullptr;
    HWND h = sel ? ViewWindow(view) : nullptr;
    // A popup selects before it shows: it tells once it is there.
    if (!h || !IsWindowVisible(h))
        return;
    LONG id = 1;
    for (int i = 0; i < view->ViewerCount(); ++i) {
        TTBItemViewer* v = view->Viewers(i);
        if (v == sel)
            break;
        if (v->IsShownOrClipped())
            ++id;
    }
    CallNotifyWinEvent(EVENT_OBJECT_FOCUS, h, OBJID_CLIENT, id);
}

long TBAccLiveObjects()
{
    ListGuard g;
    long n = 0;
    for (TTBCustomAccObject* o = TTBCustomAccObject::head_; o; o = o->next_)
        ++n;
    return n;
}

long TBAccLiveViewObjects() { return InterlockedCompareExchange(&liveViewObjects, 0, 0); }

int TBAccDisconnectAll()
{
    std::vector<TTBCustomAccObject*> list;
    {
        ListGuard g;
        for (TTBCustomAccObject* o = TTBCustomAccObject::head_; o; o = o->next_)
            if (o->TryAddRef())
                list.push_back(o);
    }
    for (TTBCustomAccObject* o : list) {
        CoDisconnectObject(static_cast<IAccessible*>(o), 0);
        o->Release();
    }
    return static_cast<int>(list.size());
}
