// The accessible objects of a tree: the tree itself (an outline whose
// children are its visible rows, numbered from 1 in display order) and its
// focused item (the outline item of whatever node is focused at the time of
// the call). The accessibility factory hands them out; the tree asks for
// both on the first WM_GETOBJECT and answers OBJID_CLIENT with its own.
//
// An object outlives its tree while a client holds it: while the tree is
// going or has no window, every call answers E_FAIL (the object never reads
// a tree that is gone). No exception leaves a method: it
// reaches the application's handler and the call answers E_UNEXPECTED.
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <string>

#include "Lib2/VirtualTree/VTAccessibility.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/AccessibleObject.h"
#include "platform/Firewall.h"
#include "platform/Text.h"
#include "toolbars/TBAccess.h"

namespace {

HRESULT SetBstr(BSTR* out, const std::string& text)
{
    const std::wstring wide = Utf8ToWide(text);
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool ChildId(const VARIANT& v, LONG& id)
{
    if (v.vt != VT_I4)
        return false;
    id = v.lVal;
    return true;
}

// The guard every call of the objects goes through.
class TTreeAccessibleBase : public TAccessibleObject {
public:
    explicit TTreeAccessibleBase(TBaseVirtualTree* tree) : tree_(tree), alive_(tree->AliveToken()) {}

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* d) override
    {
        if (!d)
            return E_POINTER;
        *d = nullptr;
        return Checked([] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override
    {
        if (!help)
            return E_POINTER;
        *help = nullptr;
        return Checked([] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override
    {
        if (!file || !topic)
            return E_POINTER;
        *file = nullptr;
        *topic = 0;
        return Checked([] { return DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* key) override
    {
        if (!key)
            return E_POINTER;
        *key = nullptr;
        return Checked([] { return S_FALSE; });
    }

protected:
    // E_FAIL once the tree or its window is gone; E_UNEXPECTED (and the
    // application's handler) for an exception.
    template <class F>
    HRESULT Checked(F&& f)
    {
        return Guarded<HRESULT>(E_UNEXPECTED, [&]() -> HRESULT {
            if (!Alive())
                return E_FAIL;
            return f();
        });
    }
    bool Alive() const
    {
        return tree_ && !alive_.expired() && !tree_->IsDestroying() && tree_->HandleAllocated();
    }
    HWND Window() const { return tree_->Handle(); }
    bool WindowFocused() const { return GetFocus() == tree_->Handle(); }

    // Rows by child id: the visible nodes in display order, from 1.
    PVirtualNode NodeOfChild(LONG id) const
    {
        if (id < 1 || static_cast<unsigned>(id) > tree_->VisibleCount())
            return nullptr;
        PVirtualNode node = tree_->GetFirstVisibleNoInit();
        for (LONG i = 1; node && i < id; ++i)
            node = tree_->GetNextVisibleNoInit(node);
        return node;
    }
    LONG ChildOfNode(PVirtualNode node) const
    {
        if (!node || !tree_->FullyVisible(node))
            return 0;
        LONG id = 1;
        for (PVirtualNode run = tree_->GetFirstVisibleNoInit(); run; run = tree_->GetNextVisibleNoInit(run), ++id)
            if (run == node)
                return id;
        return 0;
    }

    LONG NodeState(PVirtualNode node) const
    {
        LONG s = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_SELECTABLE;
        if (tree_->TreeOptions().SelectionOptions() & toMultiSelect)
            s |= STATE_SYSTEM_MULTISELECTABLE | STATE_SYSTEM_EXTSELECTABLE;
        if (node->States & vsSelected)
            s |= STATE_SYSTEM_SELECTED;
        if (node == tree_->FocusedNode() && WindowFocused())
            s |= STATE_SYSTEM_FOCUSED;
        if (node->States & vsHasChildren)
            s |= (node->States & vsExpanded) ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
        if (node->States & vsDisabled)
            s |= STATE_SYSTEM_UNAVAILABLE;
        if (node->CheckState == csCheckedNormal || node->CheckState == csCheckedPressed)
            s |= STATE_SYSTEM_CHECKED;
        if (!tree_->FullyVisible(node)) {
            s |= STATE_SYSTEM_INVISIBLE;
        } else {
            RECT row = tree_->NodeDisplayRect(node, NoColumn, false);
            RECT client = tree_->ClientRect(), shown;
            if (!IntersectRect(&shown, &row, &client))
                s |= STATE_SYSTEM_OFFSCREEN;
        }
        return s;
    }
    // A node's row on the screen.
    HRESULT NodeLocation(PVirtualNode node, LONG* left, LONG* top, LONG* width, LONG* height) const
    {
        if (!node || !tree_->FullyVisible(node))
            return S_FALSE;
        RECT r = tree_->NodeDisplayRect(node, NoColumn, false);
        const RECT client = tree_->ClientRect();
        r.right = std::min(r.right, client.right);
        r.left = std::max(r.left, client.left);
        const POINT at = tree_->ClientToScreen(POINT{r.left, r.top});
        *left = at.x;
        *top = at.y;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT NodeValue(PVirtualNode node, BSTR* value) const
    {
        if (!node)
            return S_FALSE;
        return SetBstr(value, std::to_string(tree_->NodeLevel(node)));
    }
    HRESULT NodeDefaultAction(PVirtualNode node, BSTR* action) const
    {
        if (!node || !(node->States & vsHasChildren))
            return S_FALSE;
        return SetBstr(action, (node->States & vsExpanded) ? "Collapse" : "Expand");
    }
    HRESULT NodeDoDefaultAction(PVirtualNode node)
    {
        if (!node || !(node->States & vsHasChildren))
            return DISP_E_MEMBERNOTFOUND;
        tree_->ToggleNode(node);
        return S_OK;
    }
    HRESULT NodeSelect(PVirtualNode node, LONG flags)
    {
        if (!node)
            return E_INVALIDARG;
        if (flags & SELFLAG_TAKEFOCUS) {
            tree_->SetFocusedNode(node);
            if (tree_->CanFocus())
                tree_->SetFocus();
        }
        if (flags & SELFLAG_TAKESELECTION) {
            tree_->ClearSelection();
            tree_->SetSelected(node, true);
        }
        if (flags & SELFLAG_ADDSELECTION)
            tree_->SetSelected(node, true);
        if (flags & SELFLAG_REMOVESELECTION)
            tree_->SetSelected(node, false);
        return S_OK;
    }

    TBaseVirtualTree* tree_;

private:
    std::weak_ptr<void> alive_;
};

// The tree: an outline of its visible rows.
class TTreeAccessible : public TTreeAccessibleBase {
public:
    using TTreeAccessibleBase::TTreeAccessibleBase;

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        return Checked([&]() -> HRESULT {
            HRESULT hr = TBAccessibleObjectFromWindow(Window(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                                      reinterpret_cast<void**>(parent));
            return SUCCEEDED(hr) && *parent ? S_OK : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return Checked([&] {
            *count = static_cast<LONG>(tree_->VisibleCount());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id) || !NodeOfChild(id))
                return E_INVALIDARG;
            return S_FALSE;   // rows are simple elements of the tree
        });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id))
                return E_INVALIDARG;
            if (id == CHILDID_SELF) {
                std::string text = tree_->AccessibleName();
                if (text.empty())
                    text = tree_->Name();
                return text.empty() ? S_FALSE : SetBstr(name, text);
            }
            PVirtualNode node = NodeOfChild(id);
            return node ? SetBstr(name, tree_->AccessibleText(node)) : E_INVALIDARG;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id))
                return E_INVALIDARG;
            if (id == CHILDID_SELF) {
                PVirtualNode focused = tree_->FocusedNode();
                return focused ? SetBstr(value, tree_->AccessibleText(focused)) : S_FALSE;
            }
            PVirtualNode node = NodeOfChild(id);
            return node ? NodeValue(node, value) : E_INVALIDARG;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!role)
            return E_POINTER;
        VariantInit(role);
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id) || (id != CHILDID_SELF && !NodeOfChild(id)))
                return E_INVALIDARG;
            role->vt = VT_I4;
            role->lVal = id == CHILDID_SELF ? ROLE_SYSTEM_OUTLINE : ROLE_SYSTEM_OUTLINEITEM;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (!state)
            return E_POINTER;
        VariantInit(state);
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id))
                return E_INVALIDARG;
            LONG s = 0;
            if (id == CHILDID_SELF) {
                s = STATE_SYSTEM_FOCUSABLE;
                if (WindowFocused())
                    s |= STATE_SYSTEM_FOCUSED;
                if (!IsWindowVisible(Window()))
                    s |= STATE_SYSTEM_INVISIBLE;
                if (!IsWindowEnabled(Window()))
                    s |= STATE_SYSTEM_UNAVAILABLE;
            } else {
                PVirtualNode node = NodeOfChild(id);
                if (!node)
                    return E_INVALIDARG;
                s = NodeState(node);
            }
            state->vt = VT_I4;
            state->lVal = s;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (!focus)
            return E_POINTER;
        VariantInit(focus);
        return Checked([&]() -> HRESULT {
            if (!WindowFocused())
                return S_FALSE;
            IAccessible* item = tree_->FocusedNode() ? tree_->AccessibleItem() : nullptr;
            if (item) {
                item->AddRef();
                focus->vt = VT_DISPATCH;
                focus->pdispVal = item;
            } else {
                focus->vt = VT_I4;
                focus->lVal = CHILDID_SELF;
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (!selection)
            return E_POINTER;
        VariantInit(selection);
        return Checked([&]() -> HRESULT {
            if (tree_->SelectedCount() == 0)
                return S_FALSE;
            if (tree_->SelectedCount() > 1)
                return DISP_E_MEMBERNOTFOUND;
            const LONG id = ChildOfNode(tree_->GetFirstSelected());
            if (id == 0)
                return S_FALSE;
            selection->vt = VT_I4;
            selection->lVal = id;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (!action)
            return E_POINTER;
        *action = nullptr;
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id))
                return E_INVALIDARG;
            return id == CHILDID_SELF ? S_FALSE : NodeDefaultAction(NodeOfChild(id), action);
        });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override
    {
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id) || id == CHILDID_SELF)
                return E_INVALIDARG;
            return NodeSelect(NodeOfChild(id), flags);
        });
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override
    {
        if (!left || !top || !width || !height)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id))
                return E_INVALIDARG;
            if (id != CHILDID_SELF)
                return NodeLocation(NodeOfChild(id), left, top, width, height);
            const RECT client = tree_->ClientRect();
            const POINT at = tree_->ClientToScreen(POINT{0, 0});
            *left = at.x;
            *top = at.y;
            *width = client.right;
            *height = client.bottom;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override
    {
        if (!end)
            return E_POINTER;
        VariantInit(end);
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(start, id))
                return E_INVALIDARG;
            const LONG count = static_cast<LONG>(tree_->VisibleCount());
            LONG target = 0;
            if (id == CHILDID_SELF) {
                if (direction == NAVDIR_FIRSTCHILD)
                    target = count > 0 ? 1 : 0;
                else if (direction == NAVDIR_LASTCHILD)
                    target = count;
            } else {
                if (!NodeOfChild(id))
                    return E_INVALIDARG;
                if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)
                    target = id < count ? id + 1 : 0;
                else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)
                    target = id - 1;
            }
            if (target <= 0)
                return S_FALSE;
            end->vt = VT_I4;
            end->lVal = target;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override
    {
        if (!out)
            return E_POINTER;
        VariantInit(out);
        return Checked([&]() -> HRESULT {
            const POINT p = tree_->ScreenToClient(POINT{x, y});
            const RECT client = tree_->ClientRect();
            if (!PtInRect(&client, p))
                return S_FALSE;
            THitInfo hit;
            tree_->HitTestAt(p.x, p.y, hit, true);
            const LONG id = ChildOfNode(hit.HitNode);
            out->vt = VT_I4;
            out->lVal = id > 0 ? id : CHILDID_SELF;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id) || id == CHILDID_SELF)
                return DISP_E_MEMBERNOTFOUND;
            return NodeDoDefaultAction(NodeOfChild(id));
        });
    }
};

// The focused item: whatever node has the focus when it is asked.
class TFocusedItemAccessible : public TTreeAccessibleBase {
public:
    using TTreeAccessibleBase::TTreeAccessibleBase;

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        return Checked([&]() -> HRESULT {
            IAccessible* own = tree_->Accessible();
            if (!own)
                return S_FALSE;
            own->AddRef();
            *parent = own;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return Checked([] { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return Checked([] { return E_INVALIDARG; });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        return Self(child, [&](PVirtualNode node) { return SetBstr(name, tree_->AccessibleText(node)); });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        return Self(child, [&](PVirtualNode node) { return NodeValue(node, value); });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!role)
            return E_POINTER;
        VariantInit(role);
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id) || id != CHILDID_SELF)
                return E_INVALIDARG;
            role->vt = VT_I4;
            role->lVal = ROLE_SYSTEM_OUTLINEITEM;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (!state)
            return E_POINTER;
        VariantInit(state);
        return Self(child, [&](PVirtualNode node) {
            state->vt = VT_I4;
            state->lVal = NodeState(node);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (!focus)
            return E_POINTER;
        VariantInit(focus);
        return Checked([&]() -> HRESULT {
            if (!tree_->FocusedNode() || !WindowFocused())
                return S_FALSE;
            focus->vt = VT_I4;
            focus->lVal = CHILDID_SELF;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (!selection)
            return E_POINTER;
        VariantInit(selection);
        return Checked([] { return S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        if (!action)
            return E_POINTER;
        *action = nullptr;
        return Self(child, [&](PVirtualNode node) { return NodeDefaultAction(node, action); });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override
    {
        return Self(child, [&](PVirtualNode node) { return NodeSelect(node, flags); });
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override
    {
        if (!left || !top || !width || !height)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        return Self(child, [&](PVirtualNode node) { return NodeLocation(node, left, top, width, height); });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT start, VARIANT* end) override
    {
        if (!end)
            return E_POINTER;
        VariantInit(end);
        return Self(start, [](PVirtualNode) { return S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override
    {
        if (!out)
            return E_POINTER;
        VariantInit(out);
        return Checked([&]() -> HRESULT {
            LONG left = 0, top = 0, width = 0, height = 0;
            if (NodeLocation(tree_->FocusedNode(), &left, &top, &width, &height) != S_OK)
                return S_FALSE;
            const RECT r{left, top, left + width, top + height};
            if (!PtInRect(&r, POINT{x, y}))
                return S_FALSE;
            out->vt = VT_I4;
            out->lVal = CHILDID_SELF;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return Self(child, [&](PVirtualNode node) { return NodeDoDefaultAction(node); });
    }

private:
    // A call about the item itself: S_FALSE while no node has the focus.
    template <class F>
    HRESULT Self(const VARIANT& child, F&& f)
    {
        return Checked([&]() -> HRESULT {
            LONG id = 0;
            if (!ChildId(child, id) || id != CHILDID_SELF)
                return E_INVALIDARG;
            PVirtualNode node = tree_->FocusedNode();
            return node ? f(node) : S_FALSE;
        });
    }
};

// The built-in providers: the tree's own object (the default), and the
// object of its focused item once the tree has its own.
class TTreeProvider : public IVTAccessibleProvider {
public:
    IAccessible* CreateIAccessible(TBaseVirtualTree* tree) override
    {
        return tree ? new TTreeAccessible(tree) : nullptr;
    }
};

class TFocusedItemProvider : public IVTAccessibleProvider {
public:
    IAccessible* CreateIAccessible(TBaseVirtualTree* tree) override
    {
        if (!tree || !tree->Accessible())
            return nullptr;
        if (IAccessible* item = tree->AccessibleItem()) {
            item->AddRef();
            return item;
        }
        return new TFocusedItemAccessible(tree);
    }
};

void RegisterBuiltInProviders()
{
    static TTreeProvider treeProvider;
    static TFocusedItemProvider itemProvider;
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    GetAccessibilityFactory().RegisterAccessibleProvider(&treeProvider);
    GetAccessibilityFactory().RegisterAccessibleProvider(&itemProvider);
}

}  // namespace

LRESULT TBaseVirtualTree::GetObjectMessage(WPARAM wParam, LPARAM lParam)
{
    if (!InitializeOleAcc())
        return 0;
    RegisterBuiltInProviders();
    if (!accessible_)
        accessible_ = GetCreateIAccessible(this);
    if (!accessibleItem_ && accessible_)
        accessibleItem_ = GetCreateIAccessible(this);
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || !accessible_)
        return 0;
    return TBLresultFromObject(IID_IAccessible, wParam, accessible_);
}

void TBaseVirtualTree::ReleaseAccessibleObjects()
{
    for (IAccessible** slot : {&accessibleItem_, &accessible_}) {
        if (IAccessible* object = *slot) {
            *slot = nullptr;
            object->Release();
        }
    }
}
