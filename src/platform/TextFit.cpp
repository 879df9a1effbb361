#include "platform/TextFit.h"

#include <windows.h>

#include <algorithm>

#include "platform/Control.h"
#include "platform/Graphics.h"
#include "platform/RadioGroup.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"

namespace {

// The box of a check box or radio button and the room between it and the
// caption (the system puts the text a few pixels after the box).
int BoxPart() { return GetSystemMetrics(SM_CXMENUCHECK) + 6; }

// Where a group box starts its caption and how much frame it keeps right of it.
constexpr int kGroupCaptionRoom = 20;
// Room a group box keeps right of its children.
constexpr int kGroupInnerMargin = 10;
// What a radio group's frame and insets take from the width of its buttons.
constexpr int kRadioGroupInsets = 14;

int GroupCaptionWidth(TGroupBox& group)
{
    return group.Caption().empty() ? 0 : TextWidth(group.Font(), group.Caption()) + kGroupCaptionRoom;
}

}  // namespace

int TextWidth(TFont& font, const std::string& text, bool prefixes)
{
    return TTextMeasure(font).Width(text, prefixes);
}

TTextMeasure::~TTextMeasure()
{
    if (!dc_)
        return;
    SelectObject(dc_, oldFont_);
    ReleaseDC(nullptr, dc_);
}

int TTextMeasure::Width(const std::string& text, bool prefixes)
{
    if (text.empty())
        return 0;
    if (!dc_) {
        dc_ = GetDC(nullptr);
        oldFont_ = SelectObject(dc_, font_.Handle());
    }
    std::wstring w = Utf8ToWide(text);
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &r,
              DT_CALCRECT | DT_SINGLELINE | DT_LEFT | (prefixes ? 0 : DT_NOPREFIX));
    return static_cast<int>(r.right - r.left) + kTextSlack;
}

int TTextMeasure::DrawnWidth(const std::string& text)
{
    const int measured = Width(text, false);
    if (measured <= 0)
        return measured;
    // Black on white in a bitmap of twice the measured width: the rightmost
    // column with ink is where the drawn line ends.
    std::wstring w = Utf8ToWide(text);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc_, &tm);
    const int width = measured * 2 + 16, height = std::max<int>(1, tm.tmHeight);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = bitmap ? CreateCompatibleDC(dc_) : nullptr;
    if (!mem) {
        if (bitmap)
            DeleteObject(bitmap);
        return measured;
    }
    HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
    HGDIOBJ oldFont = SelectObject(mem, font_.Handle());
    RECT r{0, 0, width, height};
    FillRect(mem, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(mem, RGB(0, 0, 0));
    SetBkMode(mem, TRANSPARENT);
    DrawTextW(mem, w.c_str(), static_cast<int>(w.size()), &r, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX | DT_NOCLIP);
    GdiFlush();
    int right = 0;
    const auto* pixels = static_cast<const DWORD*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = width - 1; x >= right; --x)
            if ((pixels[y * width + x] & 0xFFFFFF) != 0xFFFFFF) {
                right = x + 1;
                break;
            }
    SelectObject(mem, oldFont);
    SelectObject(mem, oldBitmap);
    DeleteDC(mem);
    DeleteObject(bitmap);
    return std::max(measured, right + kTextSlack);
}

int CheckBoxWidth(TControl& box) { return BoxPart() + TextWidth(box.Font(), box.Caption()); }

int ButtonWidth(TControl& button, int minimum)
{
    return std::max(minimum, TextWidth(button.Font(), button.Caption()) + 16);
}

int GroupBoxWidth(TGroupBox& group)
{
    int need = GroupCaptionWidth(group);
    int content = ContentRight(group);
    if (content > 0)
        need = std::max(need, content + kGroupInnerMargin);
    return need;
}

int RadioGroupWidth(TRadioGroup& group)
{
    int need = GroupCaptionWidth(group);
    for (int i = 0; i < group.Count(); ++i)
        need = std::max(need, CheckBoxWidth(*group.Button(i)) + kRadioGroupInsets);
    return need;
}

int ContentRight(const TWinControl& parent)
{
    int right = 0;
    for (int i = 0; i < parent.ControlCount(); ++i) {
        const TControl* c = parent.Controls(i);
        if (c->Visible())
            right = std::max(right, c->Left() + c->Width());
    }
    return right;
}

void PlaceRightOf(TControl& control, const TControl& left, int gap)
{
    control.SetLeft(left.Left() + left.Width() + gap);
}
