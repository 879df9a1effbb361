#include "controls/DrawUtils.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Control.h"
#include "platform/Text.h"

// ---- cursors ----

static std::map<int, HCURSOR>& CursorTable()
{
    static std::map<int, HCURSOR> table;
    return table;
}

static bool LoadControlCursors()
{
    HINSTANCE self = GetModuleHandleW(nullptr);
    HCURSOR hand = LoadCursorW(self, L"RX_HANDCUR");
    HCURSOR drag = LoadCursorW(self, L"RX_DRAGCUR");
    // A module built without the cursors still gets usable ones.
    CursorTable()[crHand] = hand ? hand : LoadCursorW(nullptr, IDC_HAND);
    CursorTable()[crDragHand] = drag ? drag : LoadCursorW(nullptr, IDC_ARROW);
    return true;
}

static const bool cursorsLoaded = LoadControlCursors();

HCURSOR ScreenCursor(int number)
{
    auto& table = CursorTable();
    if (table.empty())
        LoadControlCursors();
    auto it = table.find(number);
    if (it == table.end() || !it->second)
        return LoadCursorW(nullptr, IDC_ARROW);
    return it->second;
}

void RegisterScreenCursor(int number, HCURSOR cursor)
{
    (void)cursorsLoaded;
    CursorTable()[number] = cursor;
}

// ---- painting what lies under a control ----

static const wchar_t kPaintCopyProp[] = L"Brenix.PaintCopy";

static void SetPaintCopy(HWND window, bool on)
{
    if (on)
        SetPropW(window, kPaintCopyProp, reinterpret_cast<HANDLE>(1));
    else
        RemovePropW(window, kPaintCopyProp);
}

bool IsPaintingCopy(HWND window)
{
    if (!window)
        return false;
    if (GetPropW(window, kPaintCopyProp) != nullptr)
        return true;
    TWinControl* control = TWinControl::FromHandle(window);
    return control && IsPaintingCopy(static_cast<const TControl*>(control));
}

static RECT RectInParent(HWND window, HWND parent)
{
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void CopyParentImage(HWND control, HDC dc)
{
    if (!control || !dc)
        return;
    // A window of the window layer paints through its classes, not its messages.
    if (TWinControl* layerControl = TWinControl::FromHandle(control); layerControl && layerControl->Parent()) {
        TCanvas canvas(dc);
        CopyParentImage(layerControl, canvas);
        return;
    }
    HWND parent = GetParent(control);
    if (!parent)
        return;
    const RECT self = RectInParent(control, parent);
    RECT client{};
    GetClientRect(parent, &client);

    SetPaintCopy(parent, true);
    int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, -self.left, -self.top, nullptr);
    IntersectClipRect(dc, 0, 0, client.right, client.bottom);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    RestoreDC(dc, saved);

    // Siblings under the control, painted from the lowest up.
    std::vector<HWND> below;
    for (HWND w = GetWindow(control, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        below.push_back(w);
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        HWND sibling = *it;
        if (!IsWindowVisible(sibling))
            continue;
        RECT r = RectInParent(sibling, parent);
        RECT overlap{};
        if (!IntersectRect(&overlap, &self, &r))
            continue;
        SetPaintCopy(sibling, true);
        saved = SaveDC(dc);
        OffsetViewportOrgEx(dc, r.left - self.left, r.top - self.top, nullptr);
        IntersectClipRect(dc, 0, 0, RectWidth(r), RectHeight(r));
        SendMessageW(sibling, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
        RestoreDC(dc, saved);
        SetPaintCopy(sibling, false);
    }
    SetPaintCopy(parent, false);
}

// Controls of the window layer that are painting a copy: GUI thread only.
static std::vector<const TControl*>& PaintCopyControls()
{
    static std::vector<const TControl*> list;
    return list;
}

bool IsPaintingCopy(const TControl* control)
{
    const auto& list = PaintCopyControls();
    return control && std::find(list.begin(), list.end(), control) != list.end();
}

namespace {
// Marks a control as painting a copy for as long as it lives, so a Paint that
// throws leaves no mark behind.
class TPaintCopyMark {
public:
    explicit TPaintCopyMark(const TControl* control) : control_(control)
    {
        PaintCopyControls().push_back(control_);
    }
    ~TPaintCopyMark()
    {
        auto& list = PaintCopyControls();
        auto it = std::find(list.rbegin(), list.rend(), control_);
        if (it != list.rend())
            list.erase(std::next(it).base());
    }
    TPaintCopyMark(const TPaintCopyMark&) = delete;
    TPaintCopyMark& operator=(const TPaintCopyMark&) = delete;

private:
    const TControl* control_;
};

// SaveDC / RestoreDC around one part of the copy.
class TSavedDC {
public:
    explicit TSavedDC(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~TSavedDC() { RestoreDC(dc_, saved_); }
    TSavedDC(const TSavedDC&) = delete;
    TSavedDC& operator=(const TSavedDC&) = delete;

private:
    HDC dc_;
    int saved_;
};
}  // namespace

static bool Overlap(const RECT& a, const RECT& b)
{
    RECT common{};
    return IntersectRect(&common, &a, &b) != FALSE;
}

void CopyParentImage(TControl* control, TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    if (!control || !dc)
        return;
    TWinControl* parent = control->Parent();
    if (!parent)
        return;
    const RECT self = control->BoundsRect();
    const RECT client = parent->ClientRect();
    // A window of our own classes answers WM_PRINTCLIENT with its whole
    // client area, windowless children included: only a system class is asked.
    HWND parentWindow = parent->HandleAllocated() && !parent->PaintsOwnWindow() ? parent->Handle() : nullptr;

    TPaintCopyMark parentMark(parent);
    {
        TSavedDC saved(dc);
        OffsetViewportOrgEx(dc, -self.left, -self.top, nullptr);
        IntersectClipRect(dc, 0, 0, RectWidth(client), RectHeight(client));
        TCanvas parentCanvas(dc);
        parentCanvas.Font().Assign(parent->Font());
        parentCanvas.SetBrushColor(parent->Color());
        parentCanvas.FillRect(RECT{0, 0, RectWidth(client), RectHeight(client)});
        if (parentWindow)
            SendMessageW(parentWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        static_cast<TControl*>(parent)->Paint(parentCanvas);
        if (parentWindow)
            SendMessageW(parentWindow, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    }

    // The windowless siblings under the control, lowest first.
    std::vector<TControl*> below;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* sibling = parent->Controls(i);
        if (sibling == control)
            break;
        if (sibling && !dynamic_cast<TWinControl*>(sibling))
            below.push_back(sibling);
    }
    for (TControl* sibling : below) {
        const RECT r = sibling->BoundsRect();
        if (!sibling->Visible() || !Overlap(self, r))
            continue;
        TPaintCopyMark mark(sibling);
        TSavedDC saved(dc);
        OffsetViewportOrgEx(dc, r.left - self.left, r.top - self.top, nullptr);
        IntersectClipRect(dc, 0, 0, RectWidth(r), RectHeight(r));
        TCanvas siblingCanvas(dc);
        siblingCanvas.Font().Assign(sibling->Font());
        siblingCanvas.SetBrushColor(sibling->Color());
        sibling->Paint(siblingCanvas);
    }
}

// ---- the embossed "disabled" look ----

// ((D xor P) and S) xor D: the brush where the source is set, else the destination.
static const DWORD kRopDSPDxax = 0x00E20746;

// Draws a monochrome mask (black = image) onto dc in the emboss colours.
static void DrawEmbossed(HDC dc, int x, int y, int w, int h, HDC monoDC,
                         COLORREF highlight, COLORREF shadow, bool drawHighlight)
{
    // Mono 0 (image) becomes all ones (brush), mono 1 all zeros (kept).
    COLORREF oldText = SetTextColor(dc, RGB(255, 255, 255));
    COLORREF oldBack = SetBkColor(dc, RGB(0, 0, 0));
    HBRUSH hiBrush = CreateSolidBrush(highlight);
    HBRUSH shBrush = CreateSolidBrush(shadow);
    HGDIOBJ oldBrush = SelectObject(dc, hiBrush);
    if (drawHighlight)
        BitBlt(dc, x + 1, y + 1, w, h, monoDC, 0, 0, kRopDSPDxax);
    SelectObject(dc, shBrush);
    BitBlt(dc, x, y, w, h, monoDC, 0, 0, kRopDSPDxax);
    SelectObject(dc, oldBrush);
    DeleteObject(hiBrush);
    DeleteObject(shBrush);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}

HBITMAP CreateDisabledBitmapEx(HBITMAP source, COLORREF maskColor, COLORREF back,
                               COLORREF highlight, COLORREF shadow, bool drawHighlight)
{
    BITMAP info{};
    if (!source || !GetObjectW(source, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0)
        return nullptr;
    const int w = info.bmWidth;
    const int h = info.bmHeight;

    HDC screen = GetDC(nullptr);
    HDC srcDC = CreateCompatibleDC(screen);
    HDC monoDC = CreateCompatibleDC(screen);
    HDC dstDC = CreateCompatibleDC(screen);
    HBITMAP mono = CreateBitmap(w, h, 1, 1, nullptr);
    HBITMAP result = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);

    HGDIOBJ oldSrc = SelectObject(srcDC, source);
    HGDIOBJ oldMono = SelectObject(monoDC, mono);
    HGDIOBJ oldDst = SelectObject(dstDC, result);
    bool ok = mono && result && oldSrc && oldMono && oldDst;
    if (ok) {
        // Pixels of the mask colour turn white (kept), all others black.
        SetBkColor(srcDC, maskColor);
        BitBlt(monoDC, 0, 0, w, h, srcDC, 0, 0, SRCCOPY);
        RECT all{0, 0, w, h};
        HBRUSH backBrush = CreateSolidBrush(back);
        FillRect(dstDC, &all, backBrush);
        DeleteObject(backBrush);
        DrawEmbossed(dstDC, 0, 0, w, h, monoDC, highlight, shadow, drawHighlight);
    }
    if (oldSrc)
        SelectObject(srcDC, oldSrc);
    if (oldMono)
        SelectObject(monoDC, oldMono);
    if (oldDst)
        SelectObject(dstDC, oldDst);
    DeleteDC(srcDC);
    DeleteDC(monoDC);
    DeleteDC(dstDC);
    if (mono)
        DeleteObject(mono);
    if (!ok) {
        if (result)
            DeleteObject(result);
        return nullptr;
    }
    return result;
}

HBITMAP CreateDisabledBitmap(HBITMAP source, COLORREF maskColor)
{
    return CreateDisabledBitmapEx(source, maskColor, GetSysColor(COLOR_BTNFACE),
                                  GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW), true);
}

void ImageListDrawDisabled(HIMAGELIST images, HDC dc, int x, int y, int index,
                           COLORREF highlight, COLORREF shadow, bool drawHighlight)
{
    int w = 0, h = 0;
    if (!images || !dc || index < 0 || index >= ImageList_GetImageCount(images) ||
        !ImageList_GetIconSize(images, &w, &h) || w <= 0 || h <= 0)
        return;
    HDC monoDC = CreateCompatibleDC(dc);
    HBITMAP mono = CreateBitmap(w, h, 1, 1, nullptr);
    HGDIOBJ oldMono = SelectObject(monoDC, mono);
    RECT all{0, 0, w, h};
    FillRect(monoDC, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // The image's mask: black where the image has pixels.
    ImageList_Draw(images, index, monoDC, 0, 0, ILD_MASK);
    DrawEmbossed(dc, x, y, w, h, monoDC, highlight, shadow, drawHighlight);
    SelectObject(monoDC, oldMono);
    DeleteObject(mono);
    DeleteDC(monoDC);
}

// ---- messages and windows ----

bool CheckQuitMessage(HWND window, UINT message)
{
    MSG msg{};
    if (!PeekMessageW(&msg, window, message, message, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT)
        PostQuitMessage(static_cast<int>(msg.wParam));
    return true;
}

void FitRectToScreen(RECT& r)
{
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    if (r.right > cx)
        OffsetRect(&r, cx - r.right, 0);
    if (r.bottom > cy)
        OffsetRect(&r, 0, cy - r.bottom);
    if (r.left < 0)
        OffsetRect(&r, -r.left, 0);
    if (r.top < 0)
        OffsetRect(&r, 0, -r.top);
}

void CenterWindow(HWND window)
{
    RECT r{};
    if (!window || !GetWindowRect(window, &r))
        return;
    const int w = RectWidth(r);
    const int h = RectHeight(r);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    r = RECT{left, top, left + w, top + h};
    FitRectToScreen(r);
    SetWindowPos(window, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static int TextWidth(HDC dc, const std::wstring& text)
{
    SIZE size{};
    if (text.empty())
        return 0;
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

std::string MinimizeText(const std::string& text, HDC dc, int width)
{
    std::wstring wide = Utf8ToWide(text);
    if (TextWidth(dc, wide) <= width)
        return text;
    while (!wide.empty()) {
        wide.pop_back();
        // Never split a surrogate pair.
        if (!wide.empty() && wide.back() >= 0xD800 && wide.back() <= 0xDBFF)
            wide.pop_back();
        if (TextWidth(dc, wide + L"...") <= width)
            break;
    }
    return WideToUtf8(wide) + "...";
}

// ---- command-line texts ----

static bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

// Blanks, control characters and empty pairs of quotes before a token.
static size_t SkipToToken(std::string_view text, size_t pos)
{
    const size_t len = text.size();
    for (;;) {
        while (pos < len && IsBlank(text[pos]))
            ++pos;
        if (pos + 1 < len && text[pos] == '"' && text[pos + 1] == '"')
            pos += 2;
        else
            return pos;
    }
}

size_t GetParamToken(std::string_view text, size_t pos, std::string& token)
{
    token.clear();
    const size_t len = text.size();
    pos = SkipToToken(text, pos);
    while (pos < len && !IsBlank(text[pos])) {
        if (text[pos] == '"') {
            ++pos;
            while (pos < len && text[pos] != '"')
                token.push_back(text[pos++]);
            if (pos < len)
                ++pos;   // the closing quote
        } else {
            token.push_back(text[pos++]);
        }
    }
    return pos;
}

// Every token of the text, the program first.
static std::vector<std::string> Tokens(std::string_view text)
{
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        pos = SkipToToken(text, pos);
        if (pos >= text.size())
            break;
        std::string token;
        pos = GetParamToken(text, pos, token);
        out.push_back(std::move(token));
    }
    return out;
}

int ParamCount(std::string_view text)
{
    int n = static_cast<int>(Tokens(text).size());
    return n > 0 ? n - 1 : 0;
}

std::string ParamIndexToken(std::string_view text, int index)
{
    if (index < 0)
        return {};
    std::vector<std::string> tokens = Tokens(text);
    return static_cast<size_t>(index) < tokens.size() ? tokens[static_cast<size_t>(index)] : std::string();
}

void SplitCommandLine(std::string_view text, std::string& program, std::string& params)
{
    std::vector<std::string> tokens = Tokens(text);
    program = tokens.empty() ? std::string() : tokens[0];
    params.clear();
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (!params.empty())
            params.push_back(' ');
        if (tokens[i].find(' ') != std::string::npos)
            params += "\"" + tokens[i] + "\"";
        else
            params += tokens[i];
    }
}

// ---- the active window ----

struct TaskCheck {
    HWND active;
    bool found;
};

static BOOL CALLBACK CheckTaskWindow(HWND window, LPARAM param)
{
    auto* check = reinterpret_cast<TaskCheck*>(param);
    if (window == check->active) {
        check->found = true;
        return FALSE;
    }
    return TRUE;
}

bool IsForegroundTask()
{
    TaskCheck check{GetActiveWindow(), false};
    if (!check.active)
        return false;
    EnumThreadWindows(GetCurrentThreadId(), CheckTaskWindow, reinterpret_cast<LPARAM>(&check));
    return check.found;
}
