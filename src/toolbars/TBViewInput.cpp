// View keys: moving the selection, opening and closing popups, Escape one
// level at a time, help; and the accelerator search of a typed character.
#include <vector>

#include "toolbars/TBCommon.h"
#include "toolbars/TBView.h"

namespace {

bool IsSubmenuItem(const TTBCustomItem* item) { return item && (item->ItemStyle() & isSubmenu) != 0; }

}  // namespace

void TTBView::KeyDown(WORD& key, TShiftState shift)
{
    TTBView* root = GetRootView();
    const bool isRoot = root == this;
    const bool horizontalRootToolbar = isRoot && isToolbar_ && orientation_ != tbvoVertical;
    const bool verticalRootToolbar = isRoot && isToolbar_ && orientation_ == tbvoVertical;
    auto moveTo = [&](TTBItemViewer* v) {
        if (v)
            SelectAndScroll(v);
    };
    switch (key) {
    case VK_TAB:
        key = 0;
        moveTo(NextSelectable(selected_, !(shift & ssShift)));
        return;
    case VK_RETURN:
        key = 0;
        ExecuteSelected(true);
        return;
    case VK_MENU:
    case VK_F10:
        key = 0;
        EndModal();
        return;
    case VK_ESCAPE:
        key = 0;
        if (parentView_) {
            // Closes this popup: nothing of this view may be touched after it.
            parentView_->CancelChildPopups();
            return;
        }
        EndModal();
        return;
    case VK_HOME:
    case VK_END: {
        const bool last = key == VK_END;
        key = 0;
        SelectFirst(last);
        return;
    }
    case VK_LEFT:
    case VK_RIGHT: {
        const bool left = key == VK_LEFT;
        key = 0;
        if (verticalRootToolbar) {
            OpenPopup(true);
            return;
        }
        if (left) {
            if (!isRoot && parentView_) {
                TTBView* parent = parentView_;
                // Back to the parent; in a menu bar the key then moves along it.
                parent->CloseChildPopups();
                if (parent->isToolbar_ && parent == root && parent->orientation_ != tbvoVertical) {
                    WORD k = VK_LEFT;
                    parent->KeyDown(k, shift);
                }
                return;
            }
            moveTo(NextSelectable(selected_, false));
            return;
        }
        if (IsPopup()) {
            if (selected_ && selected_->Item()->Enabled() && IsSubmenuItem(selected_->Item())) {
                OpenPopup(true);
                return;
            }
            if (root != this && root->isToolbar_ && root->orientation_ != tbvoVertical) {
                // The next menu of the menu bar; this popup closes with it.
                root->Select(root->NextSelectable(root->selected_, true), false);
            }
            return;
        }
        moveTo(NextSelectable(selected_, true));
        return;
    }
    case VK_UP:
    case VK_DOWN: {
        const bool down = key == VK_DOWN;
        key = 0;
        if (horizontalRootToolbar) {
            OpenPopup(true);
            return;
        }
        moveTo(NextSelectable(selected_, down));
        return;
    }
    case VK_F1: {
        key = 0;
        // The deepest selected item with a help context, going up.
        std::vector<TTBView*> chain;
        for (TTBView* v = root; v; v = v->openViewerView_)
            chain.push_back(v);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            if ((*it)->selected_ && (*it)->selected_->Item()->HelpContext() != 0) {
                EndModalWithHelp((*it)->selected_->Item()->HelpContext());
                return;
            }
        return;
    }
    default:
        break;
    }
}

// The accelerator search of the modal loop: from after the selection,
// wrapping; enabled items first, explicit accelerators before first letters.
// Returns the viewer found (selected) and whether to run it at once.
bool TTBView::SelectByChar(const std::wstring& ch, bool& execute)
{
    execute = false;
    if (ch.empty() || ch == L" ")
        return false;
    ValidatePositions();
    const int n = ViewerCount();
    if (n == 0)
        return false;
    const int start = IndexOf(selected_);
    auto candidate = [&](TTBItemViewer* v) {
        return (v->Show || v->Clipped) && v->Item()->Visible() && (v->Item()->ItemStyle() & isSelectable) &&
               v->CaptionShown();
    };
    // Pass: explicit accelerator or first letter, over enabled or disabled items.
    auto search = [&](int from, bool explicitAccel, bool enabled) -> TTBItemViewer* {
        for (int step = 1; step <= n; ++step) {
            int i = ((from < 0 ? -1 : from) + step) % n;
            if (i < 0)
                i += n;
            TTBItemViewer* v = viewers_[static_cast<size_t>(i)];
            if (!candidate(v) || v->Item()->Enabled() != enabled)
                continue;
            std::wstring accel = v->AccelChar();
            if (explicitAccel) {
                if (!accel.empty() && SameAccelChar(accel, ch))
                    return v;
            } else if (accel.empty()) {
                std::wstring first = v->FirstChar();
                if (!first.empty() && first != L" " && SameAccelChar(first, ch))
                    return v;
            }
        }
        return nullptr;
    };
    for (bool enabled : {true, false})
        for (bool explicitAccel : {true, false}) {
            TTBItemViewer* found = search(start, explicitAccel, enabled);
            if (!found)
                continue;
            // Run it when no other item answers the same character the same way.
            TTBItemViewer* again = search(IndexOf(found), explicitAccel, enabled);
            execute = SelectAndScroll(found) && again == found;
            return true;
        }
    return false;
}
