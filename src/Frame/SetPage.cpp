#include "Frame/SetPage.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "platform/StdCtrls.h"
#include "platform/TextFit.h"

namespace {

// Room a page keeps right of its controls.
constexpr int kPageMargin = 8;

}  // namespace

TSetPageFrame::TSetPageFrame(TComponent* owner) : TBaseFrame(owner) {}

void TSetPageFrame::LoadFromSettings()
{
    loading_ = true;
    try {
        for (TBoundCheck& c : checks_)
            c.box->SetChecked(Value(c.key).EditedBoolean());
        LoadControls();
    } catch (...) {
        loading_ = false;
        throw;
    }
    loading_ = false;
    UpdateControls();
}

TCheckBox* TSetPageFrame::NewCheckBox(const std::string& name, TWinControl* parent, int x, int y, int width,
                                      const std::string& key)
{
    auto* box = new TCheckBox(this);
    box->SetName(name);
    box->SetBounds(x, y, width, 17);
    box->SetParent(parent);
    boxes_.push_back(box);
    if (!key.empty()) {
        checks_.push_back(TBoundCheck{box, key});
        box->OnClick = [this, box, key](TObject*) {
            Edit(key, box->Checked());
            if (!loading_)
                UpdateControls();
        };
    }
    return box;
}

void TSetPageFrame::FitCheckBoxes()
{
    for (TCheckBox* box : boxes_)
        box->SetWidth(CheckBoxWidth(*box));
}

int TSetPageFrame::NeededWidth() const { return ContentRight(*this) + kPageMargin; }

TLabel* TSetPageFrame::NewLabel(const std::string& name, TWinControl* parent, int x, int y)
{
    auto* label = new TLabel(this);
    label->SetName(name);
    label->SetLeft(x);
    label->SetTop(y);
    label->SetParent(parent);
    return label;
}

TAppVal& TSetPageFrame::Value(const std::string& key) { return GetFahSettings().FindValue(key); }

void TSetPageFrame::Edit(const std::string& key, const TAppVariant& value)
{
    if (!loading_)
        Value(key).SetEdited(value);
}

int TextToIntDef(const std::string& text, int def)
{
    const char* s = text.c_str();
    while (*s == ' ')
        ++s;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    while (end && *end == ' ')
        ++end;
    if (end == s || !end || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        return def;
    return static_cast<int>(v);
}

bool TextToIntIn(const std::string& text, int lo, int hi, int& value)
{
    // A text that is no number gives each fallback: two apart tell it.
    const int a = TextToIntDef(text, 0);
    if (a != TextToIntDef(text, 1) || a < lo || a > hi)
        return false;
    value = a;
    return true;
}

std::string RangeRefusal(const std::string& caption, int lo, int hi)
{
    std::string name;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] != '&')
            continue;
        name += caption[i];
    }
    while (!name.empty() && (name.back() == ':' || name.back() == ' '))
        name.pop_back();
    return FillIn(sOutOfRange, {name, std::to_string(lo), std::to_string(hi)});
}
