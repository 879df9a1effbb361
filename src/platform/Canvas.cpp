#include "platform/Canvas.h"

#include "platform/Text.h"

namespace {

// A transparent background for one text call; the DC's own mode comes back.
class TTransparentText {
public:
    explicit TTransparentText(HDC dc) : dc_(dc), mode_(SetBkMode(dc, TRANSPARENT)) {}
    ~TTransparentText()
    {
        if (mode_)
            SetBkMode(dc_, mode_);
    }
    TTransparentText(const TTransparentText&) = delete;
    TTransparentText& operator=(const TTransparentText&) = delete;

private:
    HDC dc_;
    int mode_;
};

}  // namespace

TCanvas::TCanvas() { font_.BeforeHandleFree = [this] { ReleaseFont(false); }; }

TCanvas::TCanvas(HDC dc) : TCanvas() { dc_ = dc; }

TCanvas::~TCanvas()
{
    font_.BeforeHandleFree = nullptr;
    ReleaseFont(true);
}

void TCanvas::SetHandle(HDC dc)
{
    if (dc == dc_)
        return;
    ReleaseFont(true);
    dc_ = dc;
}

void TCanvas::UseFont()
{
    HFONT f = font_.Handle();
    if (f != selectedFont_) {
        fontSelection_.Select(dc_, f);   // remembers the DC's own font
        selectedFont_ = f;
    }
    COLORREF old = SetTextColor(dc_, font_.Color());
    if (oldTextColor_ == CLR_INVALID)
        oldTextColor_ = old;
}

void TCanvas::ReleaseFont(bool textColor)
{
    fontSelection_.Restore();
    selectedFont_ = nullptr;
    if (textColor && oldTextColor_ != CLR_INVALID) {
        if (dc_)
            SetTextColor(dc_, oldTextColor_);
        oldTextColor_ = CLR_INVALID;
    }
}

void TCanvas::FillRect(const RECT& r)
{
    if (!dc_)
        return;
    TGdiObject<HBRUSH> b(CreateSolidBrush(brushColor_));
    if (b)
        ::FillRect(dc_, &r, b.Get());
}

void TCanvas::FrameRect(const RECT& r)
{
    if (!dc_)
        return;
    TGdiObject<HBRUSH> b(CreateSolidBrush(penColor_));
    if (b)
        ::FrameRect(dc_, &r, b.Get());
}

void TCanvas::Rectangle(const RECT& r)
{
    if (!dc_)
        return;
    // Made before they are selected, so they are deselected before they go.
    TGdiObject<HBRUSH> b(CreateSolidBrush(brushColor_));
    TGdiObject<HPEN> p(CreatePen(PS_SOLID, 1, penColor_));
    TSelection sb(dc_, b.Get()), sp(dc_, p.Get());
    ::Rectangle(dc_, r.left, r.top, r.right, r.bottom);
}

void TCanvas::MoveTo(int x, int y)
{
    if (dc_)
        MoveToEx(dc_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y)
{
    if (!dc_)
        return;
    TGdiObject<HPEN> p(CreatePen(PS_SOLID, 1, penColor_));
    TSelection sp(dc_, p.Get());
    ::LineTo(dc_, x, y);
}

void TCanvas::PutText(int x, int y, const std::string& text)
{
    if (!dc_)
        return;
    std::wstring w = Utf8ToWide(text);
    UseFont();
    TTransparentText transparent(dc_);
    TextOutW(dc_, x, y, w.c_str(), static_cast<int>(w.size()));
}

void TCanvas::TextRect(const RECT& r, const std::string& text, UINT flags)
{
    if (!dc_)
        return;
    std::wstring w = Utf8ToWide(text);
    RECT rr = r;
    UseFont();
    TTransparentText transparent(dc_);
    DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rr, flags);
}

SIZE TCanvas::TextExtent(const std::string& text)
{
    SIZE s = {0, 0};
    if (!dc_)
        return s;
    std::wstring w = Utf8ToWide(text);
    UseFont();
    GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &s);
    return s;
}

void TCanvas::Draw(int x, int y, const TIcon& icon)
{
    if (dc_ && icon.Handle())
        DrawIconEx(dc_, x, y, icon.Handle(), 0, 0, 0, nullptr, DI_NORMAL);
}

void TCanvas::Draw(int x, int y, TBitmap& bitmap)
{
    if (!dc_ || bitmap.Empty())
        return;
    TCanvas& src = bitmap.Canvas();
    BitBlt(dc_, x, y, bitmap.Width(), bitmap.Height(), src.Handle(), 0, 0, SRCCOPY);
}
