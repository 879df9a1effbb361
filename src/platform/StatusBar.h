// The common-controls status bar with a list of panels. The last panel
// reaches to the right edge; the others are as wide as set.
#pragma once
#include <string>
#include <vector>

#include "platform/Control.h"

struct TStatusPanel {
    int Width = 50;
    std::string Text;
};

class TStatusBar : public TWinControl {
public:
    explicit TStatusBar(TComponent* owner);

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    const TStatusPanel& Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }
    int AddPanel(int width, const std::string& text = std::string());
    void ClearPanels();
    void SetPanelText(int index, const std::string& text);
    void SetPanelWidth(int index, int width);
    // The panel's rectangle in the bar's client area, as the bar lays it out.
    RECT PanelRect(int index);

    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool simple);
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& text);
    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool grip);

    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    // The panels were laid out anew (widths changed, or the bar was sized).
    virtual void PanelsChanged() {}

private:
    void UpdatePanels(bool relayout = false);
    std::vector<TStatusPanel> panels_;
    bool simplePanel_ = false;
    std::string simpleText_;
    bool sizeGrip_ = true;
};
