// The base of the settings pages: each control edits one setting's edited
// value the moment the user changes it. Loading a page fills its controls
// from the edited values and writes nothing back meanwhile: filling a
// control raises its change handler, which must not count as the user's
// change (that would, for one, move the next version check on every show).
#pragma once
#include <string>
#include <vector>

#include "Common/AppSettings.h"
#include "Frame/BaseFr.h"

class TCheckBox;

class TSetPageFrame : public TBaseFrame {
public:
    explicit TSetPageFrame(TComponent* owner);

    // Fills every control from the edited values, then sets what is enabled.
    void LoadFromSettings();
    bool Loading() const { return loading_; }
    // The width the page needs to show all its controls.
    int NeededWidth() const;
    // A box whose text is no number in its range, and the sentence that
    // says so; nullptr when every box holds one. OK keeps the dialog open
    // then: a number out of range is never replaced by another.
    virtual TWinControl* Refusal(std::string& /*text*/) const { return nullptr; }

protected:
    // The page's own controls beyond the bound check boxes.
    virtual void LoadControls() {}
    // Enables what the boxes switch on.
    virtual void UpdateControls() {}

    // A check box at x, y in parent; with a key, the box shows and edits
    // that boolean setting. A change (not while loading) writes it and runs
    // UpdateControls.
    TCheckBox* NewCheckBox(const std::string& name, TWinControl* parent, int x, int y, int width,
                           const std::string& key);
    TLabel* NewLabel(const std::string& name, TWinControl* parent, int x, int y);
    // Sizes every check box made by NewCheckBox to its caption (after the
    // captions change).
    void FitCheckBoxes();

    // The setting named key.
    static TAppVal& Value(const std::string& key);
    // The user's change: the key's edited value (nothing while loading).
    void Edit(const std::string& key, const TAppVariant& value);

private:
    struct TBoundCheck {
        TCheckBox* box;
        std::string key;
    };
    std::vector<TBoundCheck> checks_;
    std::vector<TCheckBox*> boxes_;
    bool loading_ = false;
};

// The text as a number; def when it is not one.
int TextToIntDef(const std::string& text, int def);
// The text as a number from lo to hi; false when it is not one.
bool TextToIntIn(const std::string& text, int lo, int hi, int& value);
// The sentence refusing the text of the box named by a caption (its "&"
// and a closing ":" left out) that takes a whole number from lo to hi.
std::string RangeRefusal(const std::string& caption, int lo, int hi);
