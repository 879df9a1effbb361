#include "Lib2/VirtualTree/VTUtils.h"

#include <cpuid.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Exceptions.h"
#include "platform/Text.h"

void ShowError(const std::string& message, int helpContext)
{
    throw EVirtualTreeError(message, helpContext);
}

TBaseVirtualTree* TreeFromNode(const TVirtualNode* node)
{
    BX_ASSERT(node != nullptr, "Node must not be nil.");
    // The hidden root is the one node whose NextSibling is itself; its
    // Parent field holds the tree.
    while (node->NextSibling != node)
        node = node->Parent;
    return reinterpret_cast<TBaseVirtualTree*>(node->Parent);
}

PVirtualNode NextInSubtree(PVirtualNode run, PVirtualNode top)
{
    if (run->FirstChild)
        return run->FirstChild;
    while (run != top) {
        if (run->NextSibling)
            return run->NextSibling;
        run = run->Parent;
    }
    return nullptr;
}

RECT OrderRect(const RECT& r)
{
    RECT o;
    o.left = std::min(r.left, r.right);
    o.right = std::max(r.left, r.right);
    o.top = std::min(r.top, r.bottom);
    o.bottom = std::max(r.top, r.bottom);
    return o;
}

void QuickSort(std::int32_t* values, int l, int r)
{
    // Hoare partition; recurse into the smaller half, loop over the larger,
    // so the depth stays logarithmic.
    while (l < r) {
        int i = l, j = r;
        std::int32_t pivot = values[l + (r - l) / 2];
        while (i <= j) {
            while (values[i] < pivot)
                ++i;
            while (values[j] > pivot)
                --j;
            if (i <= j) {
                std::swap(values[i], values[j]);
                ++i;
                --j;
            }
        }
        if (j - l < r - i) {
            QuickSort(values, l, j);
            l = i;
        } else {
            QuickSort(values, i, r);
            r = j;
        }
    }
}

// --- Processor and platform ----------------------------------------------

bool HasMMX()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid tests that the identification instruction exists.
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    return eax >= 0x50 && (edx & (1u << 23)) != 0;
}

namespace {
// -1: follow the processor; 0 or 1: set by a test.
std::atomic<int> mmxOverride{-1};

OSVERSIONINFOW Version()
{
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&v);
#pragma GCC diagnostic pop
    return v;
}
}  // namespace

bool MMXAvailable()
{
    int o = mmxOverride.load();
    if (o >= 0)
        return o != 0;
    static const bool mmx = HasMMX();
    return mmx;
}

void SetMMXAvailableForTesting(bool available) { mmxOverride = available ? 1 : 0; }
void ResetMMXAvailableForTesting() { mmxOverride = -1; }

bool IsWinNT() { return Version().dwPlatformId == VER_PLATFORM_WIN32_NT; }

bool IsWin2K() { return IsWinNT() && Version().dwMajorVersion >= 5; }

bool IsWinXP()
{
    OSVERSIONINFOW v = Version();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           (v.dwMajorVersion > 5 || (v.dwMajorVersion == 5 && v.dwMinorVersion >= 1));
}

// --- Shortening -----------------------------------------------------------

namespace {
int TextWidthW(HDC dc, const wchar_t* s, size_t count)
{
    SIZE size = {};
    if (count == 0)
        return 0;
    GetTextExtentPoint32W(dc, s, static_cast<int>(count), &size);
    return size.cx;
}
}  // namespace

std::wstring ShortenString(HDC dc, const std::wstring& s, int width, int ellipsisWidth)
{
    if (s.empty() || width <= 0)
        return {};
    if (ellipsisWidth == 0)
        ellipsisWidth = TextWidthW(dc, L"...", 3);
    if (width <= ellipsisWidth)
        return {};

    // Where each character starts, in UTF-16 units: a prefix always ends at
    // one of these, so a surrogate pair stays whole.
    std::vector<size_t> starts;
    starts.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        bool low = s[i] >= 0xDC00 && s[i] <= 0xDFFF;
        bool afterHigh = i > 0 && s[i - 1] >= 0xD800 && s[i - 1] <= 0xDBFF;
        if (!(low && afterHigh))
            starts.push_back(i);
    }
    // Bisection over the number of characters kept, at most all but the last.
    int low = 0, high = static_cast<int>(starts.size()) - 1;
    while (low < high) {
        int middle = (low + high + 1) / 2;
        if (TextWidthW(dc, s.data(), starts[middle]) + ellipsisWidth <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return s.substr(0, starts[low]) + L"...";
}

std::string ShortenString(HDC dc, const std::string& s, int width, int ellipsisWidth)
{
    return WideToUtf8(ShortenString(dc, Utf8ToWide(s), width, ellipsisWidth));
}

// --- Alpha blending -------------------------------------------------------

bool DIBRows(HDC dc, std::uint8_t*& first, ptrdiff_t& stride, int& width, int& height)
{
    HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
    DIBSECTION ds = {};
    if (!bitmap || GetObjectW(bitmap, sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits ||
        ds.dsBm.bmBitsPixel != 32)
        return false;
    width = ds.dsBm.bmWidth;
    height = std::abs(ds.dsBm.bmHeight);
    auto* base = static_cast<std::uint8_t*>(ds.dsBm.bmBits);
    // The section's header does not tell its row order everywhere: change the
    // first pixel in memory for a moment and see whether the device's top
    // left pixel follows.
    bool topDown = true;
    if (height > 1) {
        auto* p = reinterpret_cast<std::uint32_t*>(base);
        // Device coordinates without clipping while looking.
        int state = SaveDC(dc);
        SetWindowOrgEx(dc, 0, 0, nullptr);
        SetViewportOrgEx(dc, 0, 0, nullptr);
        SelectClipRgn(dc, nullptr);
        GdiFlush();
        std::uint32_t saved = *p;
        COLORREF before = GetPixel(dc, 0, 0);
        *p = saved ^ 0x00FFFFFF;
        GdiFlush();
        COLORREF after = GetPixel(dc, 0, 0);
        *p = saved;
        RestoreDC(dc, state);
        topDown = before != after;
    }
    if (topDown) {
        first = base;
        stride = ds.dsBm.bmWidthBytes;
    } else {
        first = base + static_cast<size_t>(height - 1) * ds.dsBm.bmWidthBytes;
        stride = -static_cast<ptrdiff_t>(ds.dsBm.bmWidthBytes);
    }
    return true;
}

namespace {
// Device coordinates for a while: the window and viewport origins at 0, 0.
class TOriginScope {
public:
    explicit TOriginScope(HDC dc) : dc_(dc)
    {
        SetWindowOrgEx(dc, 0, 0, &window_);
        SetViewportOrgEx(dc, 0, 0, &viewport_);
    }
    ~TOriginScope()
    {
        SetWindowOrgEx(dc_, window_.x, window_.y, nullptr);
        SetViewportOrgEx(dc_, viewport_.x, viewport_.y, nullptr);
    }
    TOriginScope(const TOriginScope&) = delete;
    TOriginScope& operator=(const TOriginScope&) = delete;

private:
    HDC dc_;
    POINT window_ = {}, viewport_ = {};
};

// The pixels of the 32-bit bitmap selected into a device context, in device
// coordinates. A DIB section is used in place; any other 32-bit bitmap is
// read into a buffer and written back by Commit.
class TPixelAccess {
public:
    TPixelAccess(HDC dc, bool writeBack) : dc_(dc), writeBack_(writeBack)
    {
        bitmap_ = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
        DIBSECTION ds = {};
        int got = bitmap_ ? GetObjectW(bitmap_, sizeof ds, &ds) : 0;
        BX_ASSERT(got != 0, "Alpha blending DC error: no bitmap available.");
        BX_ASSERT(ds.dsBm.bmBitsPixel == 32, "Alpha blending error: bitmap must use 32 bpp.");
        width_ = ds.dsBm.bmWidth;
        height_ = std::abs(ds.dsBm.bmHeight);
        GdiFlush();
        std::uint8_t* first = nullptr;
        ptrdiff_t stride = 0;
        int w = 0, h = 0;
        if (got == sizeof(DIBSECTION) && DIBRows(dc, first, stride, w, h)) {
            first_ = first;
            stride_ = stride;
        } else {
            buffer_.resize(static_cast<size_t>(width_) * height_);
            info_.bmiHeader.biSize = sizeof info_.bmiHeader;
            info_.bmiHeader.biWidth = width_;
            info_.bmiHeader.biHeight = -height_;
            info_.bmiHeader.biPlanes = 1;
            info_.bmiHeader.biBitCount = 32;
            info_.bmiHeader.biCompression = BI_RGB;
            // GetDIBits wants the bitmap not selected; a copy keeps it simple.
            TOriginScope origin(dc);
            HDC mem = CreateCompatibleDC(dc);
            HBITMAP copy = CreateCompatibleBitmap(dc, width_, height_);
            HGDIOBJ old = SelectObject(mem, copy);
            BitBlt(mem, 0, 0, width_, height_, dc, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            GetDIBits(mem, copy, 0, height_, buffer_.data(), &info_, DIB_RGB_COLORS);
            DeleteObject(copy);
            DeleteDC(mem);
            first_ = reinterpret_cast<std::uint8_t*>(buffer_.data());
            stride_ = width_ * 4;
        }
    }

    void Commit()
    {
        if (!writeBack_ || buffer_.empty())
            return;
        TOriginScope origin(dc_);
        SetDIBitsToDevice(dc_, 0, 0, width_, height_, 0, 0, 0, height_, buffer_.data(), &info_,
                          DIB_RGB_COLORS);
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint8_t* Row(int y) const { return first_ + static_cast<ptrdiff_t>(y) * stride_; }

private:
    HDC dc_;
    bool writeBack_;
    HBITMAP bitmap_ = nullptr;
    int width_ = 0, height_ = 0;
    std::uint8_t* first_ = nullptr;
    ptrdiff_t stride_ = 0;
    std::vector<std::uint32_t> buffer_;
    BITMAPINFO info_ = {};
};

POINT LogicalToDevice(HDC dc, POINT p)
{
    POINT window = {}, viewport = {};
    GetWindowOrgEx(dc, &window);
    GetViewportOrgEx(dc, &viewport);
    return POINT{p.x - window.x + viewport.x, p.y - window.y + viewport.y};
}

// Arithmetic shift: a division by 256 that rounds down, for negative values too.
inline int Div256(int v) { return v >> 8; }

inline std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
}  // namespace

void AlphaBlend(HDC source, HDC destination, const RECT& r, POINT target, TBlendMode mode,
                int constantAlpha, int bias)
{
    TPixelAccess src(source, false);
    TPixelAccess dst(destination, true);
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    int alpha = std::clamp(constantAlpha, 0, 256);

    POINT sp = LogicalToDevice(source, POINT{r.left, r.top});
    POINT dp = LogicalToDevice(destination, target);
    int sx = sp.x, sy = sp.y, dx = dp.x, dy = dp.y;
    int w = r.right - r.left, h = r.bottom - r.top;
    // Leave out what lies outside either bitmap.
    int cut = std::max({0, -sx, -dx});
    sx += cut, dx += cut, w -= cut;
    cut = std::max({0, -sy, -dy});
    sy += cut, dy += cut, h -= cut;
    w = std::min({w, src.Width() - sx, dst.Width() - dx});
    h = std::min({h, src.Height() - sy, dst.Height() - dy});
    if (w <= 0 || h <= 0)
        return;

    // Colour of the fourth mode, in the pixel byte order blue, green, red.
    const int colour[3] = {GetBValue(bias), GetGValue(bias), GetRValue(bias)};
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = src.Row(sy + y) + sx * 4;
        std::uint8_t* d = dst.Row(dy + y) + dx * 4;
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            switch (mode) {
            case bmConstantAlphaAndColor:
                for (int c = 0; c < 3; ++c)
                    d[c] = Clamp(Div256(d[c] * (256 - alpha) + colour[c] * alpha));
                break;
            default: {
                int a = alpha;
                if (mode == bmPerPixelAlpha)
                    a = s[3];
                else if (mode == bmMasterAlpha)
                    a = Div256(s[3] * alpha);
                for (int c = 0; c < 3; ++c)
                    d[c] = Clamp(d[c] + Div256((s[c] - d[c]) * a) + bias);
                break;
            }
            }
        }
    }
    dst.Commit();
}

// --- Text drawing without the system's wide-character drawing ------------

int DrawTextNonNT(HDC dc, std::string_view text, RECT& r, UINT format)
{
    std::wstring w = Utf8ToWide(text);
    // Cut into lines.
    std::vector<std::wstring_view> lines;
    if (format & DT_SINGLELINE) {
        lines.emplace_back(w);
    } else {
        size_t start = 0;
        for (size_t i = 0; i <= w.size(); ++i) {
            if (i == w.size()) {
                lines.emplace_back(w.data() + start, i - start);
                break;
            }
            wchar_t ch = w[i];
            if (ch == L'\n' || ch == L'\r' || ch == 0x2028) {
                lines.emplace_back(w.data() + start, i - start);
                if (ch == L'\r' && i + 1 < w.size() && w[i + 1] == L'\n')
                    ++i;
                start = i + 1;
            }
        }
    }

    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    int lineHeight = tm.tmHeight;
    int total = lineHeight * static_cast<int>(lines.size());

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (auto line : lines)
            widest = std::max(widest, TextWidthW(dc, line.data(), line.size()));
        r.right = r.left + widest;
        r.bottom = r.top + total;
        return total;
    }

    int y = r.top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
        y = r.top + (r.bottom - r.top - lineHeight) / 2;
    UINT oldAlign = SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    UINT options = 0;
    if (!(format & DT_NOCLIP))
        options |= ETO_CLIPPED;
    if (format & DT_RTLREADING)
        options |= ETO_RTLREADING;
    for (auto line : lines) {
        if (y >= r.bottom)
            break;
        int lineWidth = TextWidthW(dc, line.data(), line.size());
        int x = r.left;
        if (format & DT_CENTER)
            x = r.left + (r.right - r.left - lineWidth) / 2;
        else if (format & DT_RIGHT)
            x = r.right - lineWidth;
        ExtTextOutW(dc, x, y, options, &r, line.data(), static_cast<UINT>(line.size()), nullptr);
        y += lineHeight;
    }
    SetTextAlign(dc, oldAlign);
    return total;
}
