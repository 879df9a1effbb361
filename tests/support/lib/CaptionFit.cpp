#include "support/CaptionFit.h"

#include <algorithm>
#include <map>

#include "platform/AccessKeys.h"
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
    HFONT f = nullptr;
    if (w && w->HandleAllocated() && !dynamic_cast<TGroupBox*>(c))
        f = reinterpret_cast<HFONT>(SendMessageW(w->Handle(), WM_GETFONT, 0, 0));
    return f ? f : c->Font().Handle();
}

void Check(TWinControl& parent, std::vector<std::string>& out)
{
    RECT client = parent.ClientRect();
    const int room = dynamic_cast<TGroupBox*>(&parent) ? parent.Width() : client.right - client.left;
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl* c = parent.Controls(i);
        if (!c->Visible())
            continue;
        const std::string what = c->Name() + " \"" + c->Caption() + "\": ";
        if (c->Left() < 0 || c->Left() + c->Width() > room)
            out.push_back(what + "sticks out of " + parent.Name());
        // The room each kind leaves its text (the box, the frame, the border).
        int need = InkWidth(FontOf(c), c->Caption()), have = need;
        auto* label = dynamic_cast<TLabel*>(c);
        if (label && !label->WordWrap())
            have = c->Width();
        else if (dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c))
            have = c->Width() - GetSystemMetrics(SM_CXMENUCHECK) - 4;
        else if (dynamic_cast<TButton*>(c))
            have = c->Width() - 8;
        else if (dynamic_cast<TGroupBox*>(c))
            have = c->Width() - 18;
        if (need > have)
            out.push_back(what + "cut (" + std::to_string(need) + " > " + std::to_string(have) + ")");
        RECT ink = {c->Left(), c->Top(), c->Left() + std::min(need, c->Width()), c->Top() + c->Height()}, both;
        for (int j = 0; label && need > 0 && j < parent.ControlCount(); ++j) {
            auto* w = dynamic_cast<TWinControl*>(parent.Controls(j));
            RECT b = w ? w->BoundsRect() : RECT{};
            if (w && w->Visible() && IntersectRect(&both, &ink, &b))
                out.push_back(what + "lies under " + w->Name());
        }
        if (auto* w = dynamic_cast<TWinControl*>(c))
            Check(*w, out);
    }
}

void CollectKeyed(TWinControl& parent, std::vector<std::string>& out)
{
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl* c = parent.Controls(i);
        if (!c->Visible())
            continue;
        auto* b = dynamic_cast<TButton*>(c);
        auto* l = dynamic_cast<TLabel*>(c);
        if ((b && !b->Default() && !b->Cancel()) || (l && l->FocusControl()) || dynamic_cast<TCheckBox*>(c) ||
            dynamic_cast<TRadioButton*>(c))
            out.push_back(c->Caption());
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
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, flags | DT_CALCRECT);
    // Room past the reported extent for glyphs drawn beyond it.
    r.right += 40;
    BITMAPINFO bi = {{sizeof(BITMAPINFOHEADER), r.right, -r.bottom, 1, 32}};
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBm = SelectObject(dc, bm);
    auto* px = static_cast<DWORD*>(bits);
    std::fill(px, px + r.right * r.bottom, 0x00FFFFFFu);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, flags);
    GdiFlush();
    int last = -1;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = r.right - 1; x > last; --x)
            if ((px[y * r.right + x] & 0x00FFFFFFu) != 0x00FFFFFFu)
                last = x;
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

std::vector<std::string> AccessKeyCaptions(TWinControl& root)
{
    std::vector<std::string> out;
    CollectKeyed(root, out);
    return out;
}

std::vector<std::string> AccessKeyProblems(const std::vector<std::string>& captions)
{
    std::vector<std::string> out;
    std::map<wchar_t, std::string> seen;
    for (const std::string& c : captions) {
        wchar_t key = AccessKeyOf(c);
        if (!key)
            out.push_back("\"" + c + "\" has no access key");
        else if (seen.count(key))
            out.push_back("\"" + c + "\" has the key of \"" + seen[key] + "\"");
        seen.emplace(key, c);
    }
    return out;
}

}  // namespace testing_support
