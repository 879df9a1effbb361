// The input tests' form: a visible, active form with a string tree of plain
// rows ("Row 0", "Row 1"...), and real input sent through SendInput from a
// helper thread while the test's thread pumps (support/Input.h).
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Form.h"
#include "support/Input.h"
#include "support/TestSupport.h"

namespace vt_input_test {

// One mouse event at a screen point (MOUSEEVENTF_* flags; data: the wheel delta).
inline INPUT MouseAt(POINT screen, DWORD flags, DWORD data = 0)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    // Rounded up, so that the point comes back exactly.
    in.mi.dx = static_cast<LONG>((screen.x * 65536 + cx - 1) / cx);
    in.mi.dy = static_cast<LONG>((screen.y * 65536 + cy - 1) / cy);
    in.mi.mouseData = data;
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

// A button event where the mouse is (no move).
inline INPUT MouseButton(DWORD flags)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    return in;
}

// The keys pressed, a button pressed and released, the keys released: where
// the mouse is (ClickWith) or at a point it is at already (ClickAt). Under
// Wine a mouse event that moves the mouse takes the keys' state from the X
// server, where SendInput's keys are not down, and a button event without a
// place may come where an earlier move went: move there first and wait
// until the cursor stays (InputTreeTest::MoveTo), then send ClickAt.
inline void AppendKeys(std::vector<INPUT>& v, std::initializer_list<WORD> keys, bool up)
{
    if (!up)
        for (WORD k : keys)
            v.push_back(testing_support::KeyInput(k, false));
    else
        for (auto it = keys.end(); it != keys.begin();)
            v.push_back(testing_support::KeyInput(*--it, true));
}
inline std::vector<INPUT> ClickAt(POINT screen, std::initializer_list<WORD> keys = {},
                                  DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP)
{
    std::vector<INPUT> v;
    AppendKeys(v, keys, false);
    const bool here = screen.x == LONG_MIN;
    v.push_back(here ? MouseButton(down) : MouseAt(screen, down));
    v.push_back(here ? MouseButton(up) : MouseAt(screen, up));
    AppendKeys(v, keys, true);
    return v;
}
inline std::vector<INPUT> ClickWith(std::initializer_list<WORD> keys = {}, DWORD down = MOUSEEVENTF_LEFTDOWN,
                                    DWORD up = MOUSEEVENTF_LEFTUP)
{
    return ClickAt(POINT{LONG_MIN, LONG_MIN}, keys, down, up);
}

// Moves from one point to another in steps (the last one lands on `to`).
inline void AppendMoves(std::vector<INPUT>& v, POINT from, POINT to, int steps)
{
    for (int i = 1; i <= steps; ++i)
        v.push_back(MouseAt(POINT{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}, 0));
}

// A string tree whose drags can be watched instead of run (onDragging set).
class TInputTree : public TVirtualStringTree {
public:
    using TVirtualStringTree::TVirtualStringTree;
    std::function<void(POINT)> onDragging;
    void DoDragging(POINT p) override
    {
        if (!onDragging)
            return TVirtualStringTree::DoDragging(p);
        DoStateChange(0, tsOLEDragPending | tsClearPending);
        onDragging(p);
    }
    // The client point of the last mouse move the tree has handled.
    POINT lastMove{INT_MIN, INT_MIN};

protected:
    void WndProc(TMessage& message) override
    {
        TVirtualStringTree::WndProc(message);
        if (message.Msg == WM_MOUSEMOVE)
            lastMove = POINT{static_cast<short>(LOWORD(message.LParam)), static_cast<short>(HIWORD(message.LParam))};
    }
};

class InputTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing_support::HaveDisplay())
            GTEST_SKIP() << "no display";
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 420, 340);
        tree = new TInputTree(form);
        tree->SetBounds(5, 5, 380, 280);
        tree->SetParent(form);
        tree->TreeOptions().SetPaintOptions(toThemeAware);
        tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType,
                                 std::string& text) { text = "Row " + std::to_string(node->Index); };
        tree->OnChange = [this](TBaseVirtualTree*, PVirtualNode) { ++changes; };
    }
    void TearDown() override
    {
        delete form;
        testing_support::Pump(20);
    }

    // Makes the rows and shows the form, active, with the tree focused.
    void Show(unsigned rows)
    {
        tree->SetRootNodeCount(rows);
        form->Show();
        tree->HandleNeeded();
        SetForegroundWindow(form->Handle());
        tree->SetFocus();
        testing_support::Pump(50);
    }
    bool Send(const std::vector<INPUT>& inputs, DWORD pumpAfterMs = 150)
    {
        return testing_support::SendInputPumping(inputs, pumpAfterMs);
    }
    // The mouse moved to the point, and still there a moment later (see ClickWith).
    bool MoveTo(POINT screen, DWORD pumpAfterMs = 60)
    {
        auto there = [&] {
            POINT p{};
            GetCursorPos(&p);
            return p.x == screen.x && p.y == screen.y;
        };
        // Sent again while the cursor is not there (an X server may still
        // report an older place), for up to 30 s.
        const POINT client = tree->ScreenToClient(screen);
        bool handled = false;
        for (const DWORD start = GetTickCount(); GetTickCount() - start < 30000;) {
            if (!Send({MouseAt(screen, 0), MouseAt(screen, 0)}, 0)) {
                ADD_FAILURE() << "SendInput did not take the move to " << screen.x << "," << screen.y;
                return false;
            }
            if (!testing_support::PumpUntil(there, 3000))
                continue;
            // On a loaded machine the move may reach the tree well after the
            // cursor is there: wait until the tree has handled it.
            handled = !(WindowFromPoint(screen) == tree->Handle() || GetCapture() == tree->Handle()) ||
                      testing_support::PumpUntil(
                          [&] { return tree->lastMove.x == client.x && tree->lastMove.y == client.y; }, 10000);
            if (!handled)
                continue;
            testing_support::Pump(pumpAfterMs);
            if (there())
                return true;
        }
        ADD_FAILURE() << "within 30 s the mouse did not stay at " << screen.x << "," << screen.y
                      << (handled ? "" : " with its move handled by the tree");
        return false;
    }
    // A drag in steps: the keys and the left button pressed at `from`, the
    // moves to `to` (which waits there, as an X server may still report
    // older places), the button and the keys released.
    bool Press(POINT from, std::initializer_list<WORD> keys = {})
    {
        std::vector<INPUT> v;
        AppendKeys(v, keys, false);
        v.push_back(MouseAt(from, MOUSEEVENTF_LEFTDOWN));
        return MoveTo(from) && Send(v);
    }
    bool DragTo(POINT from, POINT to, int steps = 6)
    {
        std::vector<INPUT> v;
        AppendMoves(v, from, to, steps);
        return Send(v, 30) && MoveTo(to);
    }
    bool Release(POINT at, std::initializer_list<WORD> keys = {})
    {
        std::vector<INPUT> v{MouseAt(at, MOUSEEVENTF_LEFTUP)};
        AppendKeys(v, keys, true);
        return Send(v);
    }
    bool Click(POINT screen, std::initializer_list<WORD> keys = {}, DWORD down = MOUSEEVENTF_LEFTDOWN,
               DWORD up = MOUSEEVENTF_LEFTUP)
    {
        return MoveTo(screen) && Send(ClickAt(screen, keys, down, up));
    }

    PVirtualNode Node(unsigned index) const
    {
        PVirtualNode n = tree->GetFirstNoInit();
        while (n && index-- > 0)
            n = n->NextSibling;
        return n;
    }
    // A client point on the screen.
    POINT Screen(int x, int y) const { return tree->ClientToScreen(POINT{x, y}); }
    // The middle of a node's text (the node's row must be in the window).
    POINT NodeLabelPoint(PVirtualNode node) const
    {
        const RECT r = tree->NodeDisplayRect(node, tree->Header().MainColumn(), true);
        return Screen((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    POINT LabelPoint(unsigned index) const { return NodeLabelPoint(Node(index)); }
    // A point of a node's row right of its text (no node is hit there).
    POINT BesidePoint(unsigned index) const
    {
        const RECT r = tree->NodeDisplayRect(Node(index), tree->Header().MainColumn(), false);
        return Screen(r.right - 10, (r.top + r.bottom) / 2);
    }
    // The indexes of the selected top-level nodes, in order.
    std::vector<unsigned> Selected() const
    {
        std::vector<unsigned> v;
        for (PVirtualNode n = tree->GetFirstNoInit(); n; n = n->NextSibling)
            if (n->States & vsSelected)
                v.push_back(n->Index);
        return v;
    }

    TForm* form = nullptr;
    TInputTree* tree = nullptr;
    int changes = 0;
};

}   // namespace vt_input_test
