#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "controls/ThemeSrv.h"
#include "controls/UxTheme.h"
#include "platform/Application.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const COLORREF kMagenta = RGB(255, 0, 255);

// Wine reports comctl32 5.81 even with the program's manifest, although its
// visual styles work: these switch the version check for one test.
class ComCtlVersion {
public:
    explicit ComCtlVersion(DWORD version)
    {
        SetComCtlVersionProviderForTesting([version] { return version; });
        GetThemeServices().UpdateThemes();
    }
    ~ComCtlVersion()
    {
        SetComCtlVersionProviderForTesting({});
        GetThemeServices().UpdateThemes();
    }
};

// Makes the library look as if it lacked one export.
template <class T>
class MissingEntry {
public:
    explicit MissingEntry(T& slot) : slot_(slot), saved_(slot) { slot_ = nullptr; }
    ~MissingEntry() { slot_ = saved_; }

private:
    T& slot_;
    T saved_;
};

// A memory bitmap filled with one colour.
class MemBitmap {
public:
    MemBitmap(int w, int h, COLORREF fill = kMagenta) : w_(w), h_(h)
    {
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old_ = SelectObject(dc_, bmp_);
        RECT r{0, 0, w, h};
        HBRUSH b = CreateSolidBrush(fill);
        FillRect(dc_, &r, b);
        DeleteObject(b);
    }
    ~MemBitmap()
    {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    RECT Rect() const { return RECT{0, 0, w_, h_}; }
    std::vector<COLORREF> Pixels() const
    {
        GdiFlush();
        std::vector<COLORREF> p;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                p.push_back(GetPixel(dc_, x, y));
        return p;
    }
    int CountNot(COLORREF c) const
    {
        int n = 0;
        for (COLORREF p : Pixels())
            n += p != c;
        return n;
    }

private:
    int w_, h_;
    HDC dc_;
    HBITMAP bmp_;
    HGDIOBJ old_;
};

class ThemeSrv : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(Application().Handle(), nullptr);
        ts = &GetThemeServices();
        ASSERT_EQ(ts->ApplicationWindow(), Application().Handle());
    }
    TThemeServices* ts = nullptr;
};

struct CodeCase {
    TThemedElementDetails (*fn)(int);
    TThemedElement element;
    int code, part, state;
};

}  // namespace

TEST(ThemeCodes, CodesGiveElementPartAndState)
{
    const CodeCase cases[] = {
        {TThemeServices::GetTreeViewDetails, teTreeview, 8, 2, 2},
        {TThemeServices::GetHeaderDetails, teHeader, 12, 4, 2},
        {TThemeServices::GetButtonDetails, teButton, 2, 1, 1},   {TThemeServices::GetButtonDetails, teButton, 6, 1, 5},
        {TThemeServices::GetButtonDetails, teButton, 7, 2, 1},   {TThemeServices::GetButtonDetails, teButton, 14, 2, 8},
        {TThemeServices::GetButtonDetails, teButton, 15, 3, 1},  {TThemeServices::GetButtonDetails, teButton, 26, 3, 12},
        {TThemeServices::GetButtonDetails, teButton, 28, 4, 2},  {TThemeServices::GetButtonDetails, teButton, 29, 5, 1},
        {TThemeServices::GetButtonDetails, teButton, 30, 0, 31},
        {TThemeServices::GetEditDetails, teEdit, 8, 1, 7},       {TThemeServices::GetEditDetails, teEdit, 9, 2, 1},
        {TThemeServices::GetEditDetails, teEdit, 10, 0, 11},
        {TThemeServices::GetHeaderDetails, teHeader, 4, 1, 3},   {TThemeServices::GetHeaderDetails, teHeader, 5, 2, 1},
        {TThemeServices::GetHeaderDetails, teHeader, 10, 3, 3},  {TThemeServices::GetHeaderDetails, teHeader, 11, 4, 1},
        {TThemeServices::GetRebarDetails, teRebar, 3, 2, 1},     {TThemeServices::GetRebarDetails, teRebar, 9, 3, 6},
        {TThemeServices::GetRebarDetails, teRebar, 10, 4, 1},    {TThemeServices::GetRebarDetails, teRebar, 17, 5, 4},
        {TThemeServices::GetRebarDetails, teRebar, 18, 0, 19},
        {TThemeServices::GetStatusDetails, teStatus, 2, 1, 1},   {TThemeServices::GetStatusDetails, teStatus, 4, 3, 1},
        {TThemeServices::GetTabDetails, teTab, 41, 8, 5},        {TThemeServices::GetTabDetails, teTab, 42, 9, 1},
        {TThemeServices::GetTabDetails, teTab, 43, 10, 1},       {TThemeServices::GetTabDetails, teTab, 44, 0, 45},
        {TThemeServices::GetToolBarDetails, teToolBar, 13, 2, 6}, {TThemeServices::GetToolBarDetails, teToolBar, 37, 6, 6},
        {TThemeServices::GetTrackBarDetails, teTrackBar, 4, 3, 1}, {TThemeServices::GetTrackBarDetails, teTrackBar, 33, 8, 5},
        {TThemeServices::GetTrackBarDetails, teTrackBar, 35, 10, 1},
        {TThemeServices::GetTreeViewDetails, teTreeview, 6, 1, 5}, {TThemeServices::GetTreeViewDetails, teTreeview, 9, 3, 1},
        {TThemeServices::GetTreeViewDetails, teTreeview, 10, 0, 11},
        {TThemeServices::GetHeaderDetails, teHeader, 13, 0, 14}, {TThemeServices::GetStatusDetails, teStatus, 5, 0, 6},
        {TThemeServices::GetToolBarDetails, teToolBar, 38, 0, 39}, {TThemeServices::GetTrackBarDetails, teTrackBar, 36, 0, 37},
        {TThemeServices::GetRebarDetails, teRebar, 2, 1, 1},     {TThemeServices::GetTrackBarDetails, teTrackBar, 3, 2, 1},
        {TThemeServices::GetTreeViewDetails, teTreeview, 1, 0, 2}, {TThemeServices::GetTreeViewDetails, teTreeview, -1, 0, 0},
    };
    for (const CodeCase& c : cases) {
        TThemedElementDetails d = c.fn(c.code);
        EXPECT_EQ(d.Element, c.element) << "code " << c.code;
        EXPECT_EQ(d.Part, c.part) << "element " << c.element << " code " << c.code;
        EXPECT_EQ(d.State, c.state) << "element " << c.element << " code " << c.code;
    }
    // Named codes land where their names say.
    EXPECT_EQ(TThemeServices::GetButtonDetails(tbCheckMixedNormal).State, 9);
    EXPECT_EQ(TThemeServices::GetTabDetails(ttTopTabItemNormal + int(ttsSelected)).Part, 5);
    EXPECT_EQ(TThemeServices::GetTabDetails(ttTopTabItemNormal + int(ttsSelected)).State, 3);
}

TEST(ThemeCodes, CodeZeroIsPartZeroStateOneForEveryKind)
{
    const struct {
        TThemedElementDetails (*fn)(int);
        TThemedElement element;
    } all[] = {{TThemeServices::GetButtonDetails, teButton},     {TThemeServices::GetEditDetails, teEdit},
               {TThemeServices::GetHeaderDetails, teHeader},     {TThemeServices::GetRebarDetails, teRebar},
               {TThemeServices::GetStatusDetails, teStatus},     {TThemeServices::GetTabDetails, teTab},
               {TThemeServices::GetToolBarDetails, teToolBar},   {TThemeServices::GetTrackBarDetails, teTrackBar},
               {TThemeServices::GetTreeViewDetails, teTreeview}};
    for (const auto& f : all) {
        TThemedElementDetails d = f.fn(0);
        EXPECT_EQ(d.Element, f.element);
        EXPECT_EQ(d.Part, 0) << f.element;
        EXPECT_EQ(d.State, 1) << f.element;
    }
}

TEST(ThemeCodes, ClassNamesAndEntryPoints)
{
    EXPECT_STREQ(ThemeClassName(teButton), L"button");
    EXPECT_STREQ(ThemeClassName(teExplorerBar), L"explorerbar");
    EXPECT_STREQ(ThemeClassName(teTreeview), L"treeview");
    EXPECT_STREQ(ThemeClassName(teWindow), L"window");
    EXPECT_EQ(ThemeClassName(static_cast<TThemedElement>(24)), nullptr);
    ASSERT_EQ(UxTheme::EntryPointCount(), 47);
    std::set<std::string> names;
    for (int i = 0; i < 47; ++i)
        names.insert(UxTheme::EntryPointName(i));
    EXPECT_EQ(names.size(), 47u);
    EXPECT_TRUE(names.count("GetThemeDocumentationProperty"));
    EXPECT_TRUE(names.count("EnableTheming"));
    EXPECT_EQ(UxTheme::EntryPointName(47), nullptr);
}

TEST_F(ThemeSrv, LibraryLoadsOnceAndIsFreedWithTheLastUse)
{
    ASSERT_TRUE(ts->ThemeLibraryLoaded());
    ASSERT_NE(UxTheme::OpenThemeData, nullptr);
    ts->UpdateThemes();   // no handle stays open from the old library
    const int held = ThemeLibraryUseCount();
    ASSERT_GE(held, 1);
    HMODULE lib = ThemeLibraryHandle();
    EXPECT_TRUE(LoadThemeLibrary());
    EXPECT_EQ(ThemeLibraryUseCount(), held + 1);
    EXPECT_EQ(ThemeLibraryHandle(), lib);
    for (int i = 0; i < held + 1; ++i)
        UnloadThemeLibrary();
    EXPECT_EQ(ThemeLibraryHandle(), nullptr);
    for (int i = 0; i < UxTheme::EntryPointCount(); ++i)
        EXPECT_EQ(*UxTheme::EntryPointSlot(i), nullptr) << UxTheme::EntryPointName(i);
    EXPECT_FALSE(ThemesActive());
    UnloadThemeLibrary();   // below zero stays zero
    EXPECT_EQ(ThemeLibraryUseCount(), 0);
    for (int i = 0; i < held; ++i)
        EXPECT_TRUE(LoadThemeLibrary());
    EXPECT_EQ(ThemeLibraryUseCount(), held);
    EXPECT_NE(UxTheme::DrawThemeBackground, nullptr);
    EXPECT_TRUE(ThemesActive());
}

TEST_F(ThemeSrv, CommonControlsBelowSixMeanClassic)
{
    EXPECT_NE(CommonControlsVersion(), 0u);
    {
        ComCtlVersion v(MAKELONG(81, 5));
        EXPECT_TRUE(ts->ThemeLibraryLoaded());
        EXPECT_FALSE(ts->ThemesAvailable());
        EXPECT_FALSE(ts->ControlsEnabled());
        EXPECT_FALSE(ts->ThemesEnabled());
        EXPECT_EQ(ts->ThemeHandle(teButton), nullptr);
    }
    ComCtlVersion v(MAKELONG(10, 6));
    EXPECT_TRUE(ts->ThemesAvailable());
    EXPECT_TRUE(ts->ControlsEnabled());   // Wine's application properties allow controls
    EXPECT_TRUE(ts->ThemesEnabled());
    EXPECT_EQ(ts->CachedThemeHandle(teButton), nullptr);   // opened on first use only
    HTHEME h = ts->ThemeHandle(teButton);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(ts->ThemeHandle(teButton), h);
    EXPECT_EQ(ts->ThemeHandle(static_cast<TThemedElement>(-1)), nullptr);
}

TEST_F(ThemeSrv, DrawElementPaintsThemedButtonUnlikeClassic)
{
    ComCtlVersion v(MAKELONG(0, 6));
    MemBitmap themed(60, 24), classic(60, 24);
    RECT r = themed.Rect();
    EXPECT_TRUE(ts->DrawElement(themed.Dc(), TThemeServices::GetButtonDetails(tbPushNormal), r));
    EXPECT_GT(themed.CountNot(kMagenta), 60 * 24 / 2);
    DrawFrameControl(classic.Dc(), &r, DFC_BUTTON, DFCS_BUTTONPUSH);
    EXPECT_NE(themed.Pixels(), classic.Pixels());

    // The clip rectangle holds the drawing in.
    MemBitmap clipped(60, 24);
    RECT clip{0, 0, 30, 24};
    EXPECT_TRUE(ts->DrawElement(clipped.Dc(), TThemeServices::GetButtonDetails(tbPushNormal), r, &clip));
    EXPECT_NE(GetPixel(clipped.Dc(), 15, 12), kMagenta);
    EXPECT_EQ(GetPixel(clipped.Dc(), 45, 12), kMagenta);
}

TEST_F(ThemeSrv, ThemeChangeReopensHandlesAndRaisesTheEventOnce)
{
    static UxTheme::TCloseThemeData realClose;
    static std::vector<HTHEME> closed;
    realClose = UxTheme::CloseThemeData;
    closed.clear();
    UxTheme::CloseThemeData = [](HTHEME h) WINAPI -> HRESULT {
        closed.push_back(h);
        return realClose(h);
    };
    ComCtlVersion v(MAKELONG(0, 6));
    int changes = 0;
    TObject* sender = nullptr;
    ts->OnThemeChange = [&](TObject* s) { ++changes, sender = s; };
    int seenByApp = 0;
    int hook = Application().HookMainWindow([&](UINT msg, WPARAM, LPARAM, LRESULT&) {
        seenByApp += msg == WM_THEMECHANGED;
        return false;
    });
    HTHEME button = ts->ThemeHandle(teButton), header = ts->ThemeHandle(teHeader);
    ASSERT_NE(button, nullptr);
    ASSERT_NE(header, nullptr);

    SendMessageW(Application().Handle(), WM_THEMECHANGED, 0, 0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(sender, ts);
    EXPECT_EQ(seenByApp, 1);   // the application window still gets it
    EXPECT_EQ(std::set<HTHEME>(closed.begin(), closed.end()), (std::set<HTHEME>{button, header}));
    EXPECT_EQ(closed.size(), 2u);
    EXPECT_EQ(ts->CachedThemeHandle(teButton), nullptr);
    EXPECT_EQ(ts->CachedThemeHandle(teHeader), nullptr);
    EXPECT_TRUE(ts->ThemesEnabled());
    EXPECT_NE(ts->ThemeHandle(teButton), nullptr);
    MemBitmap bmp(20, 20);
    EXPECT_TRUE(ts->DrawElement(bmp.Dc(), TThemeServices::GetButtonDetails(tbPushHot), bmp.Rect()));

    // The flags are read again: common controls now too old.
    SetComCtlVersionProviderForTesting([] { return DWORD(MAKELONG(0, 5)); });
    SendMessageW(Application().Handle(), WM_THEMECHANGED, 0, 0);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(ts->ThemesEnabled());
    EXPECT_EQ(ts->ThemeHandle(teButton), nullptr);

    ts->OnThemeChange = nullptr;
    Application().UnhookMainWindow(hook);
    UxTheme::CloseThemeData = realClose;
}

TEST_F(ThemeSrv, MissingEntryPointsDrawClassicOrFail)
{
    ComCtlVersion v(MAKELONG(0, 6));
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    {
        MissingEntry m(UxTheme::DrawThemeBackground);
        MemBitmap bmp(60, 24);
        EXPECT_FALSE(ts->DrawElement(bmp.Dc(), TThemeServices::GetButtonDetails(tbPushNormal), bmp.Rect()));
        EXPECT_EQ(GetPixel(bmp.Dc(), 30, 12), face);   // the classic face
        MemBitmap none(20, 20);
        EXPECT_FALSE(ts->DrawElement(none.Dc(), TThemeServices::GetStatusDetails(tsGripper), none.Rect()));
        EXPECT_EQ(none.CountNot(kMagenta), 0);   // no classic look for this part
    }
    {
        MissingEntry m(UxTheme::DrawThemeEdge);
        MemBitmap bmp(20, 20);
        RECT content{};
        EXPECT_FALSE(ts->DrawElementEdge(bmp.Dc(), TThemeServices::GetEditDetails(teEditTextNormal), bmp.Rect(),
                                         EDGE_SUNKEN, BF_RECT | BF_ADJUST, &content));
        EXPECT_EQ(content.left, 2);
        EXPECT_EQ(content.bottom, 18);
        EXPECT_NE(GetPixel(bmp.Dc(), 0, 0), kMagenta);
    }
    {
        MissingEntry m(UxTheme::DrawThemeText);
        MemBitmap bmp(80, 20);
        EXPECT_FALSE(ts->DrawElementText(bmp.Dc(), TThemeServices::GetButtonDetails(tbPushNormal),
                                         std::string("Text"), bmp.Rect(), DT_LEFT | DT_SINGLELINE));
        EXPECT_GT(bmp.CountNot(kMagenta), 0);
    }
    {
        MissingEntry m(UxTheme::GetThemeBackgroundContentRect);
        RECT bounds{3, 4, 50, 30};
        RECT r = ts->GetContentRect(nullptr, TThemeServices::GetButtonDetails(tbPushNormal), bounds);
        EXPECT_TRUE(EqualRect(&r, &bounds));
    }
    {
        MissingEntry m(UxTheme::DrawThemeParentBackground);
        MemBitmap bmp(10, 10);
        EXPECT_FALSE(ts->DrawParentBackground(Application().Handle(), bmp.Dc(), nullptr, false));
    }
    {
        MissingEntry c(UxTheme::CloseThemeData);
        ASSERT_NE(ts->ThemeHandle(teEdit), nullptr);
        ts->UpdateThemes();
        EXPECT_EQ(ts->CachedThemeHandle(teEdit), nullptr);
        MissingEntry o(UxTheme::OpenThemeData);
        EXPECT_EQ(ts->ThemeHandle(teEdit), nullptr);
    }
    {
        MissingEntry m(UxTheme::GetThemeAppProperties);
        ts->UpdateThemes();
        EXPECT_TRUE(ts->ThemesAvailable());
        EXPECT_FALSE(ts->ThemesEnabled());
    }
    {
        MissingEntry m(UxTheme::IsThemeActive);
        ts->UpdateThemes();
        EXPECT_FALSE(ts->ThemesAvailable());
    }
    ts->UpdateThemes();
    EXPECT_TRUE(ts->ThemesEnabled());
}

namespace {

HWND MakeFramedWindow(DWORD style, DWORD exStyle)
{
    HWND w = CreateWindowExW(exStyle, L"STATIC", L"", WS_POPUP | WS_VISIBLE | style, 40, 40, 120, 90, nullptr,
                             nullptr, nullptr, nullptr);
    UpdateWindow(w);
    Pump(50);
    return w;
}

// Paints the window's whole frame (and every non-client pixel) magenta.
void FillFrame(HWND w)
{
    HDC dc = GetWindowDC(w);
    RECT r{};
    GetWindowRect(w, &r);
    OffsetRect(&r, -r.left, -r.top);
    HBRUSH b = CreateSolidBrush(kMagenta);
    FillRect(dc, &r, b);
    DeleteObject(b);
    ReleaseDC(w, dc);
}

COLORREF WindowPixel(HWND w, int x, int y)
{
    HDC dc = GetWindowDC(w);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return c;
}

}  // namespace

TEST_F(ThemeSrv, PaintBorderDrawsOnlyTheClientEdge)
{
    ASSERT_TRUE(HaveDisplay());
    ComCtlVersion v(MAKELONG(0, 6));
    HWND plain = MakeFramedWindow(0, 0);
    FillFrame(plain);
    ts->PaintBorder(plain, true);
    EXPECT_EQ(WindowPixel(plain, 0, 0), kMagenta);
    EXPECT_EQ(WindowPixel(plain, 1, 45), kMagenta);
    DestroyWindow(plain);

    HWND edged = MakeFramedWindow(WS_HSCROLL | WS_VSCROLL, WS_EX_CLIENTEDGE);
    FillFrame(edged);
    ts->PaintBorder(edged, false);
    EXPECT_NE(WindowPixel(edged, 0, 45), kMagenta);
    EXPECT_NE(WindowPixel(edged, 1, 45), kMagenta);
    EXPECT_NE(WindowPixel(edged, 119, 45), kMagenta);
    EXPECT_EQ(WindowPixel(edged, 2, 45), kMagenta);   // inside the 2-pixel frame: untouched
    EXPECT_EQ(WindowPixel(edged, 60, 40), kMagenta);
    const int cornerX = 120 - 2 - GetSystemMetrics(SM_CXVSCROLL) / 2;
    const int cornerY = 90 - 2 - GetSystemMetrics(SM_CYHSCROLL) / 2;
    EXPECT_EQ(WindowPixel(edged, cornerX, cornerY), kMagenta);
    ts->PaintBorder(edged, true);
    EXPECT_EQ(WindowPixel(edged, cornerX, cornerY), GetSysColor(COLOR_BTNFACE));
    DestroyWindow(edged);
}
