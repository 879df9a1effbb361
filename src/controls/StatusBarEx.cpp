#include "controls/StatusBarEx.h"

#include <algorithm>

TkkaStatusBar::TkkaStatusBar(TComponent* owner) : TStatusBar(owner) { controlStyle_ |= csAcceptsControls; }

void TkkaStatusBar::CreateParams(TCreateParams& params)
{
    TStatusBar::CreateParams(params);
    params.style |= WS_CLIPCHILDREN;
}

void TkkaStatusBar::PlaceInPanel(TControl* control, int panel, int inset)
{
    if (!control)
        return;
    if (control->Parent() != this)
        control->SetParent(this);
    auto it = std::find_if(placements_.begin(), placements_.end(),
                           [control](const Placement& p) { return p.control == control; });
    if (it == placements_.end()) {
        placements_.push_back(Placement{control, panel, inset});
        FreeNotification(control);
        it = placements_.end() - 1;
    } else {
        it->panel = panel;
        it->inset = inset;
    }
    Follow(*it);
}

void TkkaStatusBar::UnplaceFromPanel(TControl* control)
{
    auto it = std::find_if(placements_.begin(), placements_.end(),
                           [control](const Placement& p) { return p.control == control; });
    if (it != placements_.end()) {
        placements_.erase(it);
        RemoveFreeNotification(control);
    }
}

void TkkaStatusBar::Follow(const Placement& p)
{
    if (!HandleAllocated() || p.control->Parent() != this || p.panel < 0 || p.panel >= PanelCount())
        return;
    RECT r = PanelRect(p.panel);
    InflateRect(&r, -p.inset, -p.inset);
    p.control->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TkkaStatusBar::PanelsChanged()
{
    std::vector<Placement> list = placements_;
    for (const Placement& p : list)
        Follow(p);
}

void TkkaStatusBar::Notification(TComponent* component, TOperation operation)
{
    TStatusBar::Notification(component, operation);
    if (operation == TOperation::opRemove)
        std::erase_if(placements_, [component](const Placement& p) { return p.control == component; });
}
