// The status bar that can hold child controls: they are painted over its
// panels. A child may also be placed in a panel, and then follows that
// panel's rectangle whenever the bar or its panels change size.
#pragma once
#include <vector>

#include "platform/StatusBar.h"

class TkkaStatusBar : public TStatusBar {
public:
    explicit TkkaStatusBar(TComponent* owner);

    // Makes `control` a child of the bar (when it is not yet) and keeps it
    // inside panel `panel`, `inset` pixels from the panel's edges.
    void PlaceInPanel(TControl* control, int panel, int inset = 1);
    // Leaves the control where it is, no longer following a panel.
    void UnplaceFromPanel(TControl* control);

protected:
    void CreateParams(TCreateParams& params) override;
    void PanelsChanged() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    struct Placement {
        TControl* control;
        int panel;
        int inset;
    };
    void Follow(const Placement& p);
    std::vector<Placement> placements_;
};
