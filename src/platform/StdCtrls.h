// The plain controls: panel, label (windowless) and one-line edit.
#pragma once
#include "platform/Control.h"

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* owner);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut bevel);

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(TCanvas& canvas) override;

private:
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
};

// A caption drawn by its parent; it has no window.
class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* owner);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    void Paint(TCanvas& canvas) override;

protected:
    void CaptionChanged() override;
    void FontChanged() override;

private:
    void AdjustSize();
    bool autoSize_ = true;
    bool transparent_ = true;
};

class TEdit : public TWinControl {
public:
    explicit TEdit(TComponent* owner);
    std::string Text() const { return Caption(); }
    void SetText(const std::string& text) { SetCaption(text); }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& params) override;
    bool CommandNotify(WORD code) override;

private:
    bool readOnly_ = false;
};
