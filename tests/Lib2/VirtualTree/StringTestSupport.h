// Helpers of the string tree tests: a string tree that records the texts it
// draws, on a visible form, and its client area read back from the screen.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/UtilTestSupport.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Form.h"

namespace vt_string_test {

using vt_test::Pixels;

class TRecordingTree : public TVirtualStringTree {
public:
    using TVirtualStringTree::TVirtualStringTree;
    std::vector<std::pair<std::string, RECT>> drawn;
    void DoTextDrawing(TVTPaintInfo& info, const std::string& text, RECT r, UINT format) override
    {
        drawn.push_back({text, r});
        TVirtualStringTree::DoTextDrawing(info, text, r, format);
    }
};

// Colour tests on 0xAARRGGBB pixels.
inline bool IsDark(uint32_t c) { return ((c >> 16) & 0xFF) < 100 && ((c >> 8) & 0xFF) < 100 && (c & 0xFF) < 100; }
inline bool IsRed(uint32_t c) { return ((c >> 16) & 0xFF) > 160 && ((c >> 8) & 0xFF) < 110 && (c & 0xFF) < 110; }
inline bool IsGreen(uint32_t c) { return ((c >> 8) & 0xFF) > 100 && ((c >> 16) & 0xFF) < 90 && (c & 0xFF) < 90; }

// How many pixels of the rectangle pass the test, and their bounds.
struct TInk {
    int count = 0;
    RECT bounds{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
};
inline TInk InkIn(Pixels& p, RECT r, const std::function<bool(uint32_t)>& test)
{
    TInk ink;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (test(p.at(x, y))) {
                ++ink.count;
                RECT one{x, y, x + 1, y + 1};
                UnionRect(&ink.bounds, ink.count == 1 ? &one : &ink.bounds, &one);
            }
    return ink;
}

// A string tree of plain rows (no root lines, buttons or focus rectangle)
// on a visible, active form.
class StringTreeWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing_support::HaveDisplay())
            GTEST_SKIP() << "no display";
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 420, 300);
        tree = new TRecordingTree(form);
        tree->SetBounds(5, 5, 360, 220);
        tree->SetParent(form);
        tree->TreeOptions().SetPaintOptions(toHideFocusRect);
        // Wine draws a bold Tahoma like the normal one; this face has a real bold.
        tree->Font().SetName("MS Sans Serif");
        tree->Font().SetHeight(-13);
        form->Show();
        tree->HandleNeeded();
        SetForegroundWindow(form->Handle());
        testing_support::Pump(30);
    }
    void TearDown() override { delete form; }

    void AddColumns(std::initializer_list<int> widths)
    {
        for (int w : widths)
            tree->Header().Columns().Add()->SetWidth(w);
        tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    }
    // The client area as the screen shows it after a full repaint.
    std::unique_ptr<Pixels> Capture()
    {
        tree->drawn.clear();
        HWND h = tree->Handle();
        RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        RECT c;
        GetClientRect(h, &c);
        auto p = std::make_unique<Pixels>(c.right, c.bottom);
        HDC dc = GetDC(h);
        BitBlt(p->dc(), 0, 0, c.right, c.bottom, dc, 0, 0, SRCCOPY);
        ReleaseDC(h, dc);
        return p;
    }
    PVirtualNode Node(int index) const
    {
        PVirtualNode n = tree->GetFirstNoInit();
        while (n && index-- > 0)
            n = n->NextSibling;
        return n;
    }
    // The row of a top-level node (nothing scrolled, nothing expanded).
    RECT Row(int index, int left = 0, int right = 400) const
    {
        int top = 0;
        for (int i = 0; i < index; ++i)
            top += Node(i)->NodeHeight;
        return RECT{left, top, std::min<int>(right, tree->ClientRect().right), top + Node(index)->NodeHeight};
    }
    std::vector<std::string> DrawnTexts() const
    {
        std::vector<std::string> t;
        for (const auto& d : tree->drawn)
            t.push_back(d.first);
        return t;
    }

    TForm* form = nullptr;
    TRecordingTree* tree = nullptr;
};

}  // namespace vt_string_test
