#include "platform/AccessKeys.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "platform/RadioGroup.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"

namespace {

bool TakesAccessKey(TControl* c)
{
    if (auto* b = dynamic_cast<TButton*>(c))
        return !b->Default() && !b->Cancel();
    if (auto* l = dynamic_cast<TLabel*>(c))
        return l->FocusControl() && l->ShowAccelChar();
    return dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c);
}

void Collect(TWinControl& parent, std::vector<TControl*>& out)
{
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl* c = parent.Controls(i);
        if (TakesAccessKey(c) && !c->Caption().empty())
            out.push_back(c);
        if (auto* w = dynamic_cast<TWinControl*>(c))
            Collect(*w, out);
    }
}

wchar_t Upper(wchar_t ch)
{
    wchar_t s[2] = {ch, 0};
    CharUpperW(s);
    return s[0];
}

// The position of the "&" letter in the caption, npos when none.
size_t AccessKeyAt(const std::wstring& w)
{
    for (size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != L'&')
            continue;
        if (w[i + 1] != L'&')
            return i + 1;
        ++i;
    }
    return std::wstring::npos;
}

}  // namespace

wchar_t AccessKeyOf(const std::string& caption)
{
    std::wstring w = Utf8ToWide(caption);
    size_t at = AccessKeyAt(w);
    return at == std::wstring::npos ? 0 : Upper(w[at]);
}

void GiveAccessKeys(TWinControl& window)
{
    std::vector<TControl*> controls;
    Collect(window, controls);
    std::set<wchar_t> taken;
    std::vector<TControl*> without;
    for (TControl* c : controls) {
        if (wchar_t key = AccessKeyOf(c->Caption()))
            taken.insert(key);
        else
            without.push_back(c);
    }
    for (TControl* c : without) {
        std::wstring w = Utf8ToWide(c->Caption());
        std::vector<size_t> order;
        for (size_t i = 0; i < w.size(); ++i)
            if (IsCharAlphaW(w[i]) && (i == 0 || !IsCharAlphaW(w[i - 1])))
                order.push_back(i);
        for (size_t i = 0; i < w.size(); ++i)
            if (IsCharAlphaW(w[i]) && !(i == 0 || !IsCharAlphaW(w[i - 1])))
                order.push_back(i);
        for (size_t i : order) {
            if (taken.count(Upper(w[i])))
                continue;
            taken.insert(Upper(w[i]));
            // Any "&" already there is a doubled, plain one.
            w.insert(i, 1, L'&');
            c->SetCaption(WideToUtf8(w));
            break;
        }
    }
}
