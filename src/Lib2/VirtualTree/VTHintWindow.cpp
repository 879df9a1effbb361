#include "Lib2/VirtualTree/VTHintWindow.h"

#include <mmsystem.h>

#include <algorithm>
#include <exception>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTUtils.h"
#include "platform/Application.h"
#include "platform/Monitors.h"
#include "platform/Text.h"

std::atomic<bool> HintWindowDestroyed{false};

namespace {

const int kShadowAlpha[kHintShadowSize] = {5, 10, 20, 35, 50};

HDC DC(TBitmap& b) { return b.Canvas().Handle(); }

TAlignment Mirrored(TAlignment a)
{
    if (a == TAlignment::taLeftJustify)
        return TAlignment::taRightJustify;
    if (a == TAlignment::taRightJustify)
        return TAlignment::taLeftJustify;
    return a;
}

// A memory device context with a font selected, for measuring.
class TMeasureDC {
public:
    explicit TMeasureDC(HFONT font) : dc_(CreateCompatibleDC(nullptr)), old_(SelectObject(dc_, font)) {}
    ~TMeasureDC()
    {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    TMeasureDC(const TMeasureDC&) = delete;
    TMeasureDC& operator=(const TMeasureDC&) = delete;
    operator HDC() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace

// --- Owner-draw trees draw their node hints themselves ----------------------

void TCustomVirtualDrawTree::DoGetHintSize(PVirtualNode node, TColumnIndex column, RECT& r)
{
    if (OnGetHintSize)
        OnGetHintSize(this, node, column, r);
}

void TCustomVirtualDrawTree::DoDrawHint(TCanvas& canvas, PVirtualNode node, const RECT& r, TColumnIndex column)
{
    if (OnDrawHint)
        OnDrawHint(this, canvas, node, r, column);
}

// --- The window ---------------------------------------------------------------

TVirtualTreeHintWindow::TVirtualTreeHintWindow(TComponent* owner) : TWinControl(owner)
{
    SetVisible(false);
}

TVirtualTreeHintWindow::~TVirtualTreeHintWindow()
{
    HintWindowDestroyed = true;
    DestroyWnd();
    HintWindowDestroyed = false;
}

void TVirtualTreeHintWindow::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"BrenixVTHintWindow";
    params.classStyle = CS_SAVEBITS;
    // Layered and transparent, so the mouse goes through to what is under it
    // (a tooltip lies over the very cell it shows); never disabled, since
    // the system swallows a click on a disabled window.
    params.style = WS_POPUP;
    params.exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TRANSPARENT;
    params.parentWindow = Application().Handle();
}

void TVirtualTreeHintWindow::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_SETTEXT:
        // The hint's text is ours; the window's own text never changes.
        m.Result = TRUE;
        return;
    case WM_ERASEBKGND:
        m.Result = 1;
        return;
    case WM_NCPAINT:
        m.Result = 0;
        return;
    case WM_MOUSEACTIVATE:
        m.Result = MA_NOACTIVATE;
        return;
    case WM_NCHITTEST:
        m.Result = HTTRANSPARENT;
        return;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle(), &ps);
        if (!HintWindowDestroyed)
            PaintToWindow(dc);
        EndPaint(Handle(), &ps);
        m.Result = 0;
        return;
    }
    case WM_SHOWWINDOW:
        if (!m.WParam) {
            hintData_ = TVTHintData{};
            HintWindowDestroyed = false;
        }
        break;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

void TVirtualTreeHintWindow::PaintToWindow(HDC dc)
{
    if (target_.Empty())
        return;
    BitBlt(dc, 0, 0, target_.Width(), target_.Height(), DC(target_), 0, 0, SRCCOPY);
}

void TVirtualTreeHintWindow::UseSystemHintFont()
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        const LOGFONTW& lf = metrics.lfStatusFont;
        font_.SetName(WideToUtf8(lf.lfFaceName));
        font_.SetHeight(lf.lfHeight);
        unsigned style = 0;
        if (lf.lfWeight >= FW_BOLD)
            style |= fsBold;
        if (lf.lfItalic)
            style |= fsItalic;
        font_.SetStyle(style);
    }
    font_.SetColor(GetSysColor(COLOR_INFOTEXT));
}

void TVirtualTreeHintWindow::UseTooltipFont()
{
    // The tree's font as the application adjusts it for the cell's text.
    TBaseVirtualTree* tree = hintData_.Tree;
    TCanvas canvas;
    canvas.Font().Assign(tree->Font());
    if (auto* strings = dynamic_cast<TCustomVirtualStringTree*>(tree))
        if (strings->OnPaintText)
            strings->OnPaintText(tree, canvas, hintData_.Node, hintData_.Column, ttNormal);
    font_.Assign(canvas.Font());
}

RECT TVirtualTreeHintWindow::CalcHintRect(int maxWidth, const std::string& hint, const TVTHintData& data)
{
    hintData_ = data;
    TBaseVirtualTree* tree = data.Tree;
    shadow_ = MMXAvailable();
    tooltip_ = tree && data.Node && tree->HintMode() == hmTooltip;

    // Reading direction and alignment: the column's, else the tree's.
    TBiDiMode bidi = bdLeftToRight;
    alignment_ = TAlignment::taLeftJustify;
    if (tree) {
        bidi = tree->BiDiMode();
        alignment_ = tree->Alignment();
        if (tree->Header().Columns().IsValidColumn(data.Column)) {
            TVirtualTreeColumn* column = tree->Header().Columns()[data.Column];
            bidi = column->BiDiMode();
            alignment_ = column->Alignment();
        }
    }
    rightToLeft_ = bidi != bdLeftToRight;
    if (rightToLeft_)
        alignment_ = Mirrored(alignment_);

    // An owner-draw tree measured its node hint itself.
    if (data.Node && dynamic_cast<TCustomVirtualDrawTree*>(tree))
        return data.HintRect;

    if (tooltip_)
        UseTooltipFont();
    else
        UseSystemHintFont();

    std::string text = data.HintText;
    TVTTooltipLineBreakStyle lineBreak = data.LineBreakStyle;
    if (text.empty()) {
        // (Without a tree there is nobody to ask for the node's text.)
        if (data.Node && tree)
            text = tooltip_ ? tree->DoGetNodeTooltip(data.Node, data.Column, lineBreak)
                            : tree->DoGetNodeHint(data.Node, data.Column, lineBreak);
        else
            text = hint;
    }
    hintData_.HintText = text;
    if (text.empty())
        return RECT{};

    TMeasureDC dc(font_.Handle());
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    textHeight_ = tm.tmHeight;
    std::wstring wide = Utf8ToWide(text);
    const int margin = tree ? tree->TextMargin() : 4;
    UINT rtl = rightToLeft_ ? DT_RTLREADING : 0;
    RECT r;

    if (tooltip_) {
        if (lineBreak == hlbDefault)
            lineBreak = (data.Node->States & vsMultiline) ? hlbForceMultiLine : hlbForceSingleLine;
        hintData_.LineBreakStyle = lineBreak;
        r = data.HintRect;
        if (lineBreak == hlbForceSingleLine) {
            if (tree->TreeOptions().PaintOptions() & toShowHorzGridLines)
                ++r.bottom;
        } else {
            RECT measured = {0, 0, data.HintRect.right - data.HintRect.left, 0};
            DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &measured,
                      DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | rtl);
            int width = measured.right - measured.left + margin + 1;
            if (rightToLeft_)
                r.left = r.right - width;
            else
                r.right = r.left + width;
            r.bottom = r.top + (measured.bottom - measured.top);
            // Already whole inside the node's row and the client area: no hint.
            RECT client = tree->ClientRect();
            const int tolerance = 3;
            if (r.bottom <= data.HintRect.top + static_cast<int>(data.Node->NodeHeight) + tolerance &&
                r.left >= client.left - tolerance && r.right <= client.right + tolerance &&
                r.top >= client.top - tolerance && r.bottom <= client.bottom + tolerance)
                return RECT{};
        }
        InflateRect(&r, 1, 1);
        OffsetRect(&r, -r.left - 1, -r.top - 1);
    } else {
        r = RECT{0, 0, maxWidth, 0};
        DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | rtl);
        r.bottom += 6;
        r.right += 2 * margin + 2;
    }
    if (shadow_) {
        r.right += kHintShadowSize;
        r.bottom += kHintShadowSize;
    }
    return r;
}

void TVirtualTreeHintWindow::PaintHint()
{
    int w = drawBuffer_.Width(), h = drawBuffer_.Height();
    if (w <= 0 || h <= 0)
        return;
    RECT body = {0, 0, w, h};
    if (shadow_) {
        body.right -= kHintShadowSize;
        body.bottom -= kHintShadowSize;
    }
    TCanvas& canvas = drawBuffer_.Canvas();
    HDC dc = canvas.Handle();
    TBaseVirtualTree* tree = hintData_.Tree;

    auto* drawTree = dynamic_cast<TCustomVirtualDrawTree*>(tree);
    if (drawTree && hintData_.Node) {
        canvas.SetBrushColor(GetSysColor(COLOR_INFOBK));
        canvas.FillRect(body);
        drawTree->DoDrawHint(canvas, hintData_.Node, body, hintData_.Column);
        return;
    }

    HBRUSH back = CreateSolidBrush(GetSysColor(COLOR_INFOBK));
    FillRect(dc, &body, back);
    DeleteObject(back);
    FrameRect(dc, &body, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    RECT text = body;
    InflateRect(&text, -1, -1);
    const int margin = tree ? tree->TextMargin() : 4;
    UINT flags = DT_NOPREFIX;
    if (rightToLeft_)
        flags |= DT_RTLREADING;
    switch (alignment_) {
    case TAlignment::taRightJustify:
        flags |= DT_RIGHT;
        text.right -= margin - 1;
        break;
    case TAlignment::taCenter:
        flags |= DT_CENTER;
        break;
    default:
        text.left += margin - 1;
        break;
    }
    if (tooltip_ && hintData_.LineBreakStyle == hlbForceSingleLine)
        flags |= DT_SINGLELINE | DT_VCENTER;
    else {
        flags |= DT_WORDBREAK;
        if (!tooltip_)
            InflateRect(&text, 0, -2);
    }
    HGDIOBJ oldFont = SelectObject(dc, font_.Handle());
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    std::wstring wide = Utf8ToWide(hintData_.HintText);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &text, flags);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void TVirtualTreeHintWindow::DrawShadow(TBitmap& bitmap)
{
    int w = bitmap.Width(), h = bitmap.Height();
    const int s = kHintShadowSize;
    if (w <= s || h <= s)
        return;
    HDC dc = DC(bitmap);
    // Five rectangles, each one pixel inside the one before and darker,
    // drawn only where they lie right of or below the hint's body.
    for (int i = 0; i < s; ++i) {
        RECT r = {s + i, s + i, w - i, h - i};
        RECT right = {std::max<LONG>(r.left, w - s), r.top, r.right, r.bottom};
        RECT bottom = {r.left, std::max<LONG>(r.top, h - s), std::min<LONG>(r.right, w - s), r.bottom};
        for (const RECT& part : {right, bottom})
            if (part.right > part.left && part.bottom > part.top)
                AlphaBlend(dc, dc, part, POINT{part.left, part.top}, bmConstantAlphaAndColor, kShadowAlpha[i],
                           RGB(0, 0, 0));
    }
}

void TVirtualTreeHintWindow::ComposeFinished(TBitmap& out)
{
    int w = drawBuffer_.Width(), h = drawBuffer_.Height();
    out.SetSize(w, h);
    BitBlt(DC(out), 0, 0, w, h, DC(background_), 0, 0, SRCCOPY);
    int bw = shadow_ ? w - kHintShadowSize : w, bh = shadow_ ? h - kHintShadowSize : h;
    BitBlt(DC(out), 0, 0, bw, bh, DC(drawBuffer_), 0, 0, SRCCOPY);
    if (shadow_)
        DrawShadow(out);
}

void TVirtualTreeHintWindow::RenderFrame(THintAnimationType kind, int step)
{
    int w = drawBuffer_.Width(), h = drawBuffer_.Height();
    if (w <= 0 || h <= 0)
        return;
    if (kind == hatFade && step > 0) {
        target_.SetSize(w, h);
        BitBlt(DC(target_), 0, 0, w, h, DC(background_), 0, 0, SRCCOPY);
        int bw = shadow_ ? w - kHintShadowSize : w, bh = shadow_ ? h - kHintShadowSize : h;
        AlphaBlend(DC(drawBuffer_), DC(target_), RECT{0, 0, bw, bh}, POINT{0, 0}, bmConstantAlpha,
                   step * 256 / 255, 0);
        if (shadow_)
            DrawShadow(target_);
    } else if (kind == hatSlide && step > 0 && step < h) {
        TBitmap finished;
        ComposeFinished(finished);
        target_.SetSize(w, h);
        BitBlt(DC(target_), 0, 0, w, h, DC(background_), 0, 0, SRCCOPY);
        BitBlt(DC(target_), 0, 0, w, step, DC(finished), 0, h - step, SRCCOPY);
    } else {
        ComposeFinished(target_);
    }
    if (HandleAllocated() && IsWindowVisible(Handle()) && !HintWindowDestroyed) {
        HDC dc = GetDC(Handle());
        PaintToWindow(dc);
        ReleaseDC(Handle(), dc);
    }
}

THintAnimationType TVirtualTreeHintWindow::AnimationKind() const
{
    if (!hintData_.Tree)
        return hatNone;
    THintAnimationType kind = hintData_.Tree->DoGetAnimationType();
    return kind == hatSystemDefault ? hatNone : kind;
}

void TVirtualTreeHintWindow::Animate(THintAnimationType kind, int steps, unsigned durationMs)
{
    std::weak_ptr<void> alive = AliveToken();
    TBaseVirtualTree* tree = hintData_.Tree;
    DWORD start = timeGetTime();
    for (int n = 1; n <= steps; ++n) {
        if (alive.expired() || HintWindowDestroyed || !HandleAllocated() || !IsWindowVisible(Handle()) ||
            (tree && tree->HasState(tsCancelHintAnimation)))
            return;
        RenderFrame(kind, n);
        // Wait for the next frame's time; the message loop runs meanwhile.
        DWORD due = start + static_cast<DWORD>(static_cast<unsigned long long>(durationMs) * n / steps);
        for (;;) {
            DWORD now = timeGetTime();
            if (static_cast<int>(due - now) <= 0)
                break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, due - now, QS_ALLINPUT);
            Application().ProcessMessages();
            if (alive.expired())
                return;
        }
    }
}

namespace {

std::function<RECT(POINT)> monitorLookup;

// The screen rectangle of the monitor a point is on (or the nearest one).
RECT MonitorRectAt(POINT p) { return monitorLookup ? monitorLookup(p) : GetRectOfMonitorContainingPoint(p, false); }

}  // namespace

void SetHintMonitorLookupForTesting(std::function<RECT(POINT)> lookup) { monitorLookup = std::move(lookup); }

void TVirtualTreeHintWindow::ActivateHint(RECT rect, const std::string& hint)
{
    if (IsRectEmpty(&rect)) {
        CancelHint();
        return;
    }
    if (hintData_.HintText.empty())
        hintData_.HintText = hint;
    // Keep it on the monitor the mouse is on (the desktop window covers the
    // primary monitor only): back up and left first, then down and right.
    POINT cursor{};
    GetCursorPos(&cursor);
    const RECT monitor = MonitorRectAt(cursor);
    if (rect.right > monitor.right)
        OffsetRect(&rect, monitor.right - rect.right, 0);
    if (rect.bottom > monitor.bottom)
        OffsetRect(&rect, 0, monitor.bottom - rect.bottom);
    if (rect.left < monitor.left)
        OffsetRect(&rect, monitor.left - rect.left, 0);
    if (rect.top < monitor.top)
        OffsetRect(&rect, 0, monitor.top - rect.top);
    int w = rect.right - rect.left, h = rect.bottom - rect.top;

    // Moved while hidden (its old picture must not be in the new background).
    TVTHintData keep = hintData_;
    HWND window = Handle();
    SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);   // opaque: layered only for the mouse
    SetWindowPos(window, HWND_TOPMOST, rect.left, rect.top, w, h, SWP_NOACTIVATE | SWP_HIDEWINDOW);
    hintData_ = keep;
    SetBounds(rect.left, rect.top, w, h);

    background_.SetSize(w, h);
    drawBuffer_.SetSize(w, h);
    target_.SetSize(w, h);
    HDC screen = GetDC(nullptr);
    BitBlt(DC(background_), 0, 0, w, h, screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    PaintHint();
    ComposeFinished(target_);

    THintAnimationType kind = AnimationKind();
    if (kind == hatFade || kind == hatSlide) {
        // The first frame shows nothing of the hint yet.
        BitBlt(DC(target_), 0, 0, w, h, DC(background_), 0, 0, SRCCOPY);
    }
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    unsigned duration = hintData_.Tree ? hintData_.Tree->AnimationDuration() : 0;
    std::weak_ptr<void> alive = AliveToken();
    if (kind == hatFade)
        Animate(hatFade, 255, 2 * duration);
    else if (kind == hatSlide)
        Animate(hatSlide, h, duration);
    if (alive.expired() || !HandleAllocated())
        return;
    // The last frame (or the only one) is the finished hint.
    RenderFrame(hatNone, 0);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

void TVirtualTreeHintWindow::CancelHint()
{
    if (HandleAllocated() && IsWindowVisible(Handle()))
        ShowWindow(Handle(), SW_HIDE);
    hintData_ = TVTHintData{};
}

bool TVirtualTreeHintWindow::IsHintMsg(MSG& msg)
{
    bool visible = HandleAllocated() && IsWindowVisible(Handle());
    bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_DEADCHAR;
    if (visible && msg.message == WM_NCMOUSEMOVE)
        return false;
    if (visible && key) {
        if (hintData_.Tree && hintData_.Tree->HasState(tsHint)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return false;
    }
    // Any other key or mouse message, and leaving the application, ends a hint.
    return key || (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ||
           msg.message == WM_NCLBUTTONDOWN || msg.message == WM_NCRBUTTONDOWN ||
           msg.message == WM_NCMBUTTONDOWN || msg.message == WM_ACTIVATEAPP;
}
