// The base of every frame of the program: a caption strip on top (hidden
// until asked for) and the two operations the main window and the data
// module call on whatever frame is active.
#pragma once
#include <string>

#include "platform/Frame.h"
#include "platform/StdCtrls.h"

// The caption strip: a label that fills its own band and centres its text
// both ways.
class TFrameCaptionLabel : public TLabel {
public:
    explicit TFrameCaptionLabel(TComponent* owner);
    void Paint(TCanvas& canvas) override;
};

class TBaseFrame : public TFrame {
public:
    explicit TBaseFrame(TComponent* owner);

    // Captions again from the language strings (after a language switch).
    virtual void ApplyLanguage() {}
    // The frame's content on the clipboard as text.
    virtual void CopyToClipboard() {}

    bool ShowCaption() const { return CaptionLabel->Visible(); }
    void SetShowCaption(bool show) { CaptionLabel->SetVisible(show); }
    // The frame's caption is the strip's text.
    void SetCaption(const std::string& caption) override;

    // Owned by the frame (freed with it).
    TFrameCaptionLabel* CaptionLabel = nullptr;
};
