#include "support/CaptionFit.h"

#include <algorithm>

#include "controls/RxLabel.h"
#include "platform/Form.h"
#include "platform/RadioGroup.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"

namespace testing_support {

namespace {

// The font the control draws its caption with: a system control's window
// font, else the font the layer paints with.
HFONT FontOf(TControl* c)
{
    auto* w = dynamic_cast<TWinControl*>(c);
    if (w && w->HandleAllocated() && !dynamic_cast<TGroupBox*>(c)) {
        if (auto f = reinterpret_cast<HFONT>(SendMessageW(w->Handle(), WM_GETFONT, 0, 0)))
            return f;
    }
    return c->Font().Handle();
}

int ParentRoom(const TWinControl& p)
{
    if (dynamic_cast<const TGroupBox*>(&p))
        return p.Width();
    RECT r = p.ClientRect();
    return r.right - r.left;
}

std::string Describe(TControl* c, const std::string& what)
{
    return c->Name() + " \"" + c->Caption() + "\": " + what;
}

void Check(TWinControl& parent, std::vector<std::string>& out)
{
    const int room = ParentRoom(parent);
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl* c = parent.Controls(i);
        if (!c->Visible())
            continue;
        if (c->Left() < 0 || c->Left() + c->Width() > room)
            out.push_back(Describe(c, "sticks out of " + parent.Name() + " (right " +
                                          std::to_string(c->Left() + c->Width()) + " > " + std::to_string(room) + ")"));
        const std::string text = c->Caption();
        int need = -1, have = 0;
        bool label = false;
        if (auto* l = dynamic_cast<TLabel*>(c); l && !l->WordWrap()) {
            need = InkWidth(FontOf(c), text, !l->ShowAccelChar());
            have = c->Width();
            label = true;
        } else if (auto* rx = dynamic_cast<TRxCustomLabel*>(c); rx && !rx->WordWrap()) {
            need = InkWidth(FontOf(c), text, !rx->ShowAccelChar());
            have = c->Width() - 2 - rx->LeftMargin();
            label = true;
        } else if (dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c)) {
            need = InkWidth(FontOf(c), text);
            have = c->Width() - GetSystemMetrics(SM_CXMENUCHECK) - 4;
        } else if (dynamic_cast<TButton*>(c)) {
            need = InkWidth(FontOf(c), text);
            have = c->Width() - 8;
        } else if (dynamic_cast<TGroupBox*>(c)) {
            need = InkWidth(FontOf(c), text);
            have = c->Width() - 18;
        }
        if (need > have)
            out.push_back(Describe(c, "cut (text " + std::to_string(need) + " px, room " + std::to_string(have) + ")"));
        if (label && !text.empty()) {
            RECT ink = {c->Left(), c->Top(), c->Left() + std::min(need, c->Width()), c->Top() + c->Height()};
            for (int j = 0; j < parent.ControlCount(); ++j) {
                auto* w = dynamic_cast<TWinControl*>(parent.Controls(j));
                RECT b = w ? w->BoundsRect() : RECT{}, both;
                if (w && w->Visible() && IntersectRect(&both, &ink, &b))
                    out.push_back(Describe(c, "lies under " + w->Name()));
            }
        }
        if (auto* w = dynamic_cast<TWinControl*>(c))
            Check(*w, out);
    }
}

void CollectKeyed(TWinControl& parent, std::vector<TAccessKeyed>& out)
{
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl* c = parent.Controls(i);
        if (!c->Visible())
            continue;
        bool keyed = false;
        if (auto* b = dynamic_cast<TButton*>(c))
            keyed = !b->Default() && !b->Cancel();
        else if (dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c))
            keyed = true;
        else if (auto* l = dynamic_cast<TLabel*>(c))
            keyed = l->FocusControl() != nullptr;
        else if (auto* rx = dynamic_cast<TRxCustomLabel*>(c))
            keyed = rx->FocusControl() != nullptr;
        if (keyed)
            out.push_back({c, c->Caption()});
        if (auto* w = dynamic_cast<TWinControl*>(c))
            CollectKeyed(*w, out);
    }
}

}  // namespace

int InkWidth(HFONT font, const std::string& text, bool noPrefix)
{
    if (text.empty())
        return 0;
    std::wstring w = Utf8ToWide(text);
    const UINT flags = DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP | (noPrefix ? DT_NOPREFIX : 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT calc = {0, 0, 0, 0};
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &calc, flags | DT_CALCRECT);
    // Room past the reported extent for glyphs drawn beyond it.
    const int width = calc.right + 40, height = calc.bottom + 8;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBm = SelectObject(dc, bm);
    auto* px = static_cast<DWORD*>(bits);
    std::fill(px, px + width * height, 0x00FFFFFFu);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    RECT all = {0, 0, width, height};
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &all, flags);
    GdiFlush();
    int last = -1;
    for (int y = 0; y < height; ++y)
        for (int x = width - 1; x > last; --x)
            if ((px[y * width + x] & 0x00FFFFFFu) != 0x00FFFFFFu) {
                last = x;
                break;
            }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBm);
    DeleteObject(bm);
    DeleteDC(dc);
    return last + 1;
}

std::vector<std::string> UnfitCaptions(TWinControl& root)
{
    std::vector<std::string> out;
    Check(root, out);
    return out;
}

std::vector<TAccessKeyed> AccessKeyedControls(TWinControl& root)
{
    std::vector<TAccessKeyed> out;
    CollectKeyed(root, out);
    return out;
}

wchar_t AccessKeyOf(const std::string& caption)
{
    std::wstring w = Utf8ToWide(caption);
    for (size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != L'&')
            continue;
        if (w[i + 1] == L'&') {
            ++i;
            continue;
        }
        wchar_t a[2] = {w[i + 1], 0};
        CharUpperW(a);
        return a[0];
    }
    return 0;
}

}  // namespace testing_support
