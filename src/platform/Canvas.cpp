#include "platform/Canvas.h"

#include "platform/Text.h"

TCanvas::~TCanvas() { SetHandle(nullptr); }

void TCanvas::SetHandle(HDC dc)
{
    if (dc_ && oldFont_)
        SelectObject(dc_, oldFont_);
    oldFont_ = nullptr;
    dc_ = dc;
}

void TCanvas::UseFont()
{
    HGDIOBJ old = SelectObject(dc_, font_.Handle());
    if (!oldFont_)
        oldFont_ = old;
    SetTextColor(dc_, font_.Color());
}

void TCanvas::FillRect(const RECT& r)
{
    HBRUSH b = CreateSolidBrush(brushColor_);
    ::FillRect(dc_, &r, b);
    DeleteObject(b);
}

void TCanvas::FrameRect(const RECT& r)
{
    HBRUSH b = CreateSolidBrush(penColor_);
    ::FrameRect(dc_, &r, b);
    DeleteObject(b);
}

void TCanvas::Rectangle(const RECT& r)
{
    HBRUSH b = CreateSolidBrush(brushColor_);
    HPEN p = CreatePen(PS_SOLID, 1, penColor_);
    HGDIOBJ ob = SelectObject(dc_, b), op = SelectObject(dc_, p);
    ::Rectangle(dc_, r.left, r.top, r.right, r.bottom);
    SelectObject(dc_, ob);
    SelectObject(dc_, op);
    DeleteObject(b);
    DeleteObject(p);
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(dc_, x, y, nullptr); }

void TCanvas::LineTo(int x, int y)
{
    HPEN p = CreatePen(PS_SOLID, 1, penColor_);
    HGDIOBJ op = SelectObject(dc_, p);
    ::LineTo(dc_, x, y);
    SelectObject(dc_, op);
    DeleteObject(p);
}

void TCanvas::PutText(int x, int y, const std::string& text)
{
    UseFont();
    std::wstring w = Utf8ToWide(text);
    int mode = SetBkMode(dc_, TRANSPARENT);
    TextOutW(dc_, x, y, w.c_str(), static_cast<int>(w.size()));
    SetBkMode(dc_, mode);
}

void TCanvas::TextRect(const RECT& r, const std::string& text, UINT flags)
{
    UseFont();
    std::wstring w = Utf8ToWide(text);
    RECT rr = r;
    int mode = SetBkMode(dc_, TRANSPARENT);
    DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rr, flags);
    SetBkMode(dc_, mode);
}

SIZE TCanvas::TextExtent(const std::string& text)
{
    SIZE s = {0, 0};
    if (!dc_)
        return s;
    UseFont();
    std::wstring w = Utf8ToWide(text);
    GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &s);
    return s;
}

void TCanvas::Draw(int x, int y, const TIcon& icon)
{
    if (icon.Handle())
        DrawIconEx(dc_, x, y, icon.Handle(), 0, 0, 0, nullptr, DI_NORMAL);
}

void TCanvas::Draw(int x, int y, TBitmap& bitmap)
{
    if (bitmap.Empty())
        return;
    TCanvas& src = bitmap.Canvas();
    BitBlt(dc_, x, y, bitmap.Width(), bitmap.Height(), src.Handle(), 0, 0, SRCCOPY);
}
