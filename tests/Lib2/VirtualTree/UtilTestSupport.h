// Helpers of the list control's utility tests: memory bitmaps read as
// 0xAARRGGBB, the screen's pixels and a window of one colour on the screen.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "support/TestSupport.h"

namespace vt_test {

constexpr uint32_t Argb(int a, int r, int g, int b)
{
    return (static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b;
}

// A DIB section (top-down unless asked) selected into its own memory DC.
class Pixels {
public:
    Pixels(int w, int h, int bitCount = 32, bool bottomUp = false) : w_(w), h_(h), bottomUp_(bottomUp)
    {
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = bottomUp ? h : -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = static_cast<WORD>(bitCount);
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Pixels()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;
    HDC dc() const { return dc_; }
    uint32_t& at(int x, int y)
    {
        GdiFlush();
        return bits_[(bottomUp_ ? h_ - 1 - y : y) * w_ + x];
    }
    void Fill(uint32_t v)
    {
        GdiFlush();
        std::fill(bits_, bits_ + w_ * h_, v);
    }

private:
    int w_, h_;
    bool bottomUp_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

inline COLORREF ScreenPixel(int x, int y)
{
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

// A borderless top-level window of one colour: the screen behind a hint or
// a drag image.
class Backdrop {
public:
    Backdrop(RECT r, COLORREF colour)
    {
        brush_ = CreateSolidBrush(colour);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = brush_;
        wc.lpszClassName = L"BxVTBackdrop";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowExW(0, L"BxVTBackdrop", L"", WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        UpdateWindow(hwnd_);
        testing_support::Pump(50);
    }
    ~Backdrop()
    {
        DestroyWindow(hwnd_);
        UnregisterClassW(L"BxVTBackdrop", GetModuleHandleW(nullptr));
        DeleteObject(brush_);
    }
    Backdrop(const Backdrop&) = delete;
    Backdrop& operator=(const Backdrop&) = delete;

private:
    HWND hwnd_;
    HBRUSH brush_;
};

}  // namespace vt_test
