// The layer pieces the frames stand on, with real windows, input, files and
// the real clipboard: clipboard text (read back, a clipboard another thread
// holds open), the input box and the message box driven by real keys, a page
// control hiding tabs and switched by a real click, a splitter dragged with
// the mouse, atomic writes keeping a read-only file's attributes, and
// pictures loaded from files.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/Application.h"
#include "platform/BitmapFile.h"
#include "platform/Clipboard.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Form.h"
#include "platform/Graphics.h"
#include "platform/InputBox.h"
#include "platform/MessageBox.h"
#include "platform/PageControl.h"
#include "platform/Splitter.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

INPUT MouseAt(POINT screen, DWORD flags)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = (screen.x * 65536 + cx / 2) / cx;
    in.mi.dy = (screen.y * 65536 + cy / 2) / cy;
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

std::vector<INPUT> Keys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> v;
    for (WORD k : keys) {
        v.push_back(KeyInput(k, false));
        v.push_back(KeyInput(k, true));
    }
    return v;
}

// Waits on a helper thread for a top-level window with that title, then
// types the keys into it; records whether the window showed up. A window
// the keys did not close is closed after a while, so a modal loop never
// keeps the test waiting.
std::thread TypeIntoWindowLater(const std::wstring& title, std::vector<INPUT> keys, std::atomic<bool>& found)
{
    return std::thread([title, keys, &found]() mutable {
        // Found once shown (the window exists, with its title, before it shows).
        HWND w = nullptr;
        for (int i = 0; i < 2000; ++i) {
            w = FindWindowW(nullptr, title.c_str());
            if (w && IsWindowVisible(w))
                break;
            Sleep(10);
        }
        found = w != nullptr && IsWindowVisible(w);
        if (!found)
            return;
        Sleep(150);
        SetForegroundWindow(w);
        SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
        for (int i = 0; i < 500 && IsWindowVisible(w); ++i)
            Sleep(10);
        if (IsWindowVisible(w))
            PostMessageW(w, WM_CLOSE, 0, 0);
    });
}

// CF_UNICODETEXT's block size in bytes as the clipboard holds it.
size_t ClipboardUnicodeBytes()
{
    if (!OpenClipboard(nullptr))
        return 0;
    HANDLE h = GetClipboardData(CF_UNICODETEXT);
    size_t size = h ? GlobalSize(h) : 0;
    CloseClipboard();
    return size;
}

TEST(FrameLayer, ClipboardTextRoundTripsAndWaitsForABusyClipboard)
{
    struct Case {
        std::string text;
        size_t units;   // UTF-16 units
    };
    const std::vector<Case> cases{
        {"plain", 5},
        {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82;\r\nline", 13},   // Cyrillic, CR LF
        {"\xf0\x9f\x98\x80x", 3},                                            // a surrogate pair
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SetClipboardText(c.text);
        EXPECT_EQ(GetClipboardText(), c.text);
        // The block holds the text and its closing zero (GlobalSize may round up).
        const size_t bytes = ClipboardUnicodeBytes();
        EXPECT_GE(bytes, (c.units + 1) * 2);
        EXPECT_LT(bytes, (c.units + 1) * 2 + 16);
    }

    // Another thread holds the clipboard open for a while: the writer waits
    // for it when it is brief, and gives up with an error when it is not,
    // leaving the old text.
    SetClipboardText("before");
    for (DWORD holdMs : {120u, 1500u}) {
        SCOPED_TRACE(holdMs);
        std::atomic<bool> opened{false};
        std::thread holder([&] {
            if (OpenClipboard(nullptr)) {
                opened = true;
                Sleep(holdMs);
                CloseClipboard();
            }
        });
        while (!opened)
            Sleep(1);
        const DWORD start = GetTickCount();
        if (holdMs < 200) {
            EXPECT_NO_THROW(SetClipboardText("after"));
            EXPECT_GE(GetTickCount() - start, 50u);
            holder.join();
            EXPECT_EQ(GetClipboardText(), "after");
        } else {
            EXPECT_THROW(SetClipboardText("lost"), EClipboardError);
            holder.join();
            EXPECT_EQ(GetClipboardText(), "after");
        }
    }
}

TEST(FrameLayer, InputBoxAndMessageBoxAnswerRealKeys)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string title = Application().Title();
    Application().SetTitle("Brenix");
    struct Case {
        std::vector<INPUT> keys;
        bool accepted;
        std::string value;
    };
    // The old text starts selected: typing replaces it.
    const std::vector<Case> cases{
        {Keys({'N', 'E', 'W', VK_RETURN}), true, "new"},
        {Keys({'X', VK_ESCAPE}), false, "old"},
        {Keys({VK_END, '2', VK_TAB, VK_RETURN}), true, "old2"},   // Tab to OK, Enter presses it
        {Keys({VK_TAB, VK_TAB, VK_RETURN}), false, "old"},        // ... to Cancel
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        std::atomic<bool> found{false};
        std::thread typist = TypeIntoWindowLater(L"Layer test: enter a line", cases[i].keys, found);
        std::string value = "old";
        const bool accepted = InputQuery("Layer test: enter a line", "Line:", value);
        typist.join();
        EXPECT_TRUE(found);
        EXPECT_EQ(accepted, cases[i].accepted);
        EXPECT_EQ(value, cases[i].value);
    }

    EXPECT_EQ(AppMessageBoxTitle("Confirm"), "Brenix. Confirm");
    std::atomic<bool> found{false};
    std::thread typist = TypeIntoWindowLater(L"Brenix. Confirm", Keys({VK_RIGHT, VK_RETURN}), found);
    const int answer = AppMessageBox("Confirm", "Overwrite?", MB_YESNOCANCEL | MB_ICONQUESTION);
    typist.join();
    EXPECT_TRUE(found);
    EXPECT_EQ(answer, IDNO);
    Application().SetTitle(title);
}

TEST(FrameLayer, PageControlHidesTabsAndFollowsAClick)
{
    ASSERT_TRUE(HaveDisplay());
    TForm form(nullptr);
    form.SetBounds(50, 50, 420, 300);
    auto* pc = new TPageControl(&form);
    pc->SetBounds(10, 10, 380, 240);
    pc->SetParent(&form);
    TTabSheet* pages[3];
    for (int i = 0; i < 3; ++i) {
        pages[i] = new TTabSheet(&form);
        pages[i]->SetCaption("Page " + std::to_string(i + 1));
        pages[i]->SetPageControl(pc);
    }
    pages[2]->SetTabVisible(false);
    int changes = 0;
    pc->OnChange = [&](TObject*) { ++changes; };
    form.Show();
    Pump(100);
    HWND tabs = pc->Handle();
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(pc->ActivePage(), pages[0]);
    EXPECT_TRUE(IsWindowVisible(pages[0]->Handle()));
    EXPECT_EQ(pages[1]->TabIndex(), 1);
    EXPECT_EQ(pages[2]->TabIndex(), -1);
    EXPECT_EQ(pages[2]->PageIndex(), 2);

    // A real click on the second tab shows its page.
    RECT r{};
    ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r)));
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(tabs, &p);
    ASSERT_TRUE(SendInputPumping(MouseClickAt(p)));
    EXPECT_TRUE(PumpUntil([&] { return changes == 1; }, 20000));
    EXPECT_EQ(pc->ActivePage(), pages[1]);
    EXPECT_TRUE(IsWindowVisible(pages[1]->Handle()));
    EXPECT_FALSE(IsWindowVisible(pages[0]->Handle()));
    // The page fills the area under the tabs.
    RECT pageRect{};
    GetWindowRect(pages[1]->Handle(), &pageRect);
    EXPECT_GT(pageRect.top, r.bottom - r.top);

    // A page whose tab is hidden still shows when made active; so does a
    // page of a control with every tab hidden.
    pc->SetActivePage(pages[2]);
    EXPECT_TRUE(IsWindowVisible(pages[2]->Handle()));
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), -1);
    for (TTabSheet* page : pages)
        page->SetTabVisible(false);
    pc->SetActivePageIndex(0);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(pages[0]->Handle()));
    pages[2]->SetTabVisible(true);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(pc->PageOfTab(0), pages[2]);
    EXPECT_EQ(changes, 1);
    // A freed page leaves its control.
    delete pages[1];
    EXPECT_EQ(pc->PageCount(), 2);
    EXPECT_EQ(pc->ActivePage(), pages[0]);
}

TEST(FrameLayer, SplitterDragResizesItsNeighbour)
{
    ASSERT_TRUE(HaveDisplay());
    TForm form(nullptr);
    form.SetBounds(60, 60, 400, 300);
    auto* left = new TPanel(&form);
    left->SetAlign(TAlign::alLeft);
    left->SetWidth(100);
    left->SetParent(&form);
    auto* splitter = new TSplitter(&form);
    splitter->SetParent(&form);
    auto* rest = new TPanel(&form);
    rest->SetAlign(TAlign::alClient);
    rest->SetParent(&form);
    int moved = 0;
    splitter->OnMoved = [&](TObject*) { ++moved; };
    form.Show();
    Pump(100);
    EXPECT_EQ(splitter->Left(), 100);
    EXPECT_EQ(splitter->ResizedControl(), left);
    const int clientWidth = form.ClientRect().right;

    // Each drag ends with OnMoved.
    auto drag = [&](int dx) {
        POINT from{splitter->Left() + 1, 50};
        ClientToScreen(form.Handle(), &from);
        POINT to{from.x + dx, from.y};
        POINT mid{from.x + dx / 2, from.y};
        std::vector<INPUT> in{MouseAt(from, 0), MouseAt(from, MOUSEEVENTF_LEFTDOWN), MouseAt(mid, 0),
                              MouseAt(to, 0), MouseAt(to, MOUSEEVENTF_LEFTUP)};
        const int before = moved;
        ASSERT_TRUE(SendInputPumping(in, 200));
        PumpUntil([&] { return moved > before; }, 3000);
    };
    drag(50);
    EXPECT_EQ(left->Width(), 150);
    EXPECT_EQ(splitter->Left(), 150);
    EXPECT_EQ(moved, 1);
    // Far to the right: the client part keeps MinSize; far left: so does the panel.
    drag(1000);
    EXPECT_EQ(left->Width(), clientWidth - splitter->Width() - splitter->MinSize());
    drag(-1000);
    EXPECT_EQ(left->Width(), splitter->MinSize());
    EXPECT_EQ(moved, 3);
}

TEST(FrameLayer, AtomicWriteKeepsAttributes)
{
    TempDir dir("fl");
    const std::string path = dir.File("client.cfg");
    const std::wstring wide = Utf8ToWide(path);
    WriteFile(path, "old\n");
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    // Refused without leave: the old content stays, no temporary file is left.
    EXPECT_THROW(WriteFileAtomic(path, "new\n"), EFileError);
    EXPECT_EQ(ReadFile(path), "old\n");
    EXPECT_FALSE(FileExists(path + ".tmp"));
    // With leave: the new content, still read-only and hidden.
    WriteFileAtomic(path, "new\n", true);
    EXPECT_EQ(ReadFile(path), "new\n");
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(FileExists(path + ".tmp"));
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A new file comes plain.
    WriteFileAtomic(dir.File("fresh.txt"), "x");
    EXPECT_FALSE(GetFileAttributesW(Utf8ToWide(dir.File("fresh.txt")).c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST(FrameLayer, PicturesLoadFromFiles)
{
    TempDir dir("pic");
    // A 3x2 24-bit bitmap file, bottom-up rows padded to 12 bytes; the top
    // left pixel red, the rest blue.
    std::string pixels;
    for (int row = 1; row >= 0; --row) {
        for (int x = 0; x < 3; ++x)
            pixels += (row == 0 && x == 0) ? std::string("\x00\x00\xff", 3) : std::string("\xff\x00\x00", 3);
        pixels += std::string(3, '\0');
    }
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = 3;
    ih.biHeight = 2;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    WriteFile(dir.File("bg.bmp"), std::string(reinterpret_cast<char*>(&fh), sizeof fh) +
                                      std::string(reinterpret_cast<char*>(&ih), sizeof ih) + pixels);
    WriteFile(dir.File("broken.bmp"), "BM not really");
    WriteFile(dir.File("photo.jpg"), ReadFile(SourceDir() + "\\resources\\pictures\\about.jpg"));

    TBitmap bitmap;
    ASSERT_TRUE(LoadBitmapFromFile(bitmap, dir.File("bg.bmp")));
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.Pixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(bitmap.Pixel(2, 1), RGB(0, 0, 255));
    for (const char* bad : {"broken.bmp", "missing.bmp", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(LoadBitmapFromFile(bitmap, *bad ? dir.File(bad) : std::string()));
        EXPECT_EQ(bitmap.Width(), 3);
    }
    ASSERT_TRUE(LoadBitmapFromFile(bitmap, dir.File("photo.jpg")));
    EXPECT_GT(bitmap.Width(), 10);
    EXPECT_GT(bitmap.Height(), 10);
}

TEST(FrameLayer, BitmapsOfEveryLayoutShowTheirPixels)
{
    TempDir dir("pic");
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 128, 0), blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
    const std::vector<COLORREF> palette = {green, white, red, blue};
    std::vector<COLORREF> palette16 = palette;
    palette16.resize(16);
    // Every picture is 2 x 2: red, green on top; white, blue below.
    // Rows padded to 4 bytes; coded runs are not.
    const std::string bgr24[] = {std::string("\xff\xff\xff\xff\0\0\0\0", 8), std::string("\0\0\xff\0\x80\0\0\0", 8)};
    const std::string bgr32[] = {std::string("\xff\xff\xff\0\xff\0\0\0", 8), std::string("\0\0\xff\0\0\x80\0\0", 8)};
    const std::vector<std::string> indexes8 = {std::string("\x01\x03\0\0", 4), std::string("\x02\0\0\0", 4)};
    const std::vector<std::string> indexes4 = {std::string("\x13\0\0\0", 4), std::string("\x20\0\0\0", 4)};
    // Runs of one pixel each, an end of line, an end of picture.
    const std::vector<std::string> runs8 = {std::string("\x01\x01\x01\x03\0\0", 6),
                                            std::string("\x01\x02\x01\0\0\x01", 6)};
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"24 bits", BitmapFileOf(2, 2, 24, {}, {bgr24[0], bgr24[1]})},
        {"24 bits, top row first", BitmapFileOf(2, -2, 24, {}, {bgr24[1], bgr24[0]})},
        {"32 bits", BitmapFileOf(2, 2, 32, {}, {bgr32[0], bgr32[1]})},
        {"8-bit palette", BitmapFileOf(2, 2, 8, palette, indexes8)},
        {"4-bit palette", BitmapFileOf(2, 2, 4, palette, indexes4)},
        {"8-bit runs", BitmapFileOf(2, 2, 8, palette, runs8, BI_RLE8)},
        {"old header", BitmapFileOf(2, 2, 4, palette16, indexes4, BI_RGB, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(dir.File("p.bmp"), c.bytes);
        TBitmap bitmap;
        std::string why;
        ASSERT_TRUE(LoadBitmapFromFile(bitmap, dir.File("p.bmp"), &why)) << why;
        EXPECT_EQ(bitmap.Width(), 2);
        EXPECT_EQ(bitmap.Height(), 2);
        EXPECT_EQ(bitmap.Pixel(0, 0), red);
        EXPECT_EQ(bitmap.Pixel(1, 0), green);
        EXPECT_EQ(bitmap.Pixel(0, 1), white);
        EXPECT_EQ(bitmap.Pixel(1, 1), blue);
    }
}

// A file replaced by another writer after its bytes were checked: the
// picture is the one checked, never the new file.
TEST(FrameLayer, ABitmapIsBuiltFromTheBytesThatWereChecked)
{
    TempDir dir("pic");
    const std::string path = dir.File("bg.bmp");
    WriteFile(path, BitmapFileOf(1, 1, 24, {}, {std::string("\0\0\xff\0", 4)}));
    int replaced = 0;
    SetBitmapCheckedHookForTesting([&](const std::string& file) {
        WriteFile(file, BitmapFileOf(3, 1, 24, {}, {std::string(12, '\x80')}));
        ++replaced;
    });
    TBitmap bitmap;
    const bool loaded = LoadBitmapFromFile(bitmap, path);
    SetBitmapCheckedHookForTesting(nullptr);
    EXPECT_EQ(replaced, 1);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(bitmap.Width(), 1);
    EXPECT_EQ(bitmap.Pixel(0, 0), RGB(255, 0, 0));
}

}  // namespace
