// Dock timings:
//   drag_step_vs_setwindowpos  one step of a smooth drag (the cursor moved: the
//                              candidate docks looked at, the row and place
//                              chosen, the dock arranging its four toolbars and
//                              the dragged one moved) of a toolbar sliding in a
//                              top dock of four toolbars, over SetWindowPos of
//                              that toolbar's window alone by the same offsets;
//                              medians of 200 steps each, in blocks of 20 that
//                              take turns, the queue (painting) handled between
//                              steps untimed
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBDockableDrag.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBToolbar.h"
#include "support/BenchSupport.h"

namespace {

const int kSteps = 200;
const int kToolbars = 4;
const int kItemsPerToolbar = 5;

class BenchForm : public TForm {
public:
    BenchForm() : TForm(nullptr)
    {
        SetBounds(40, 40, 900, 300);
        dock = new TTBDock(this);
        dock->SetName("TopDock");
        dock->SetPosition(dpTop);
        dock->SetParent(this);
        for (int t = 0; t < kToolbars; ++t) {
            auto* bar = new TTBToolbar(this);
            bar->SetName(Format("Toolbar%d", t + 1));
            for (int i = 0; i < kItemsPerToolbar; ++i) {
                auto* item = new TTBItem(this);
                item->SetCaption(Format("Item %d", i + 1));
                bar->Items()->Add(item);
            }
            bar->SetDockRow(0);
            bar->SetDockPos(t * 190);
            bar->SetParent(dock);
            bars.push_back(bar);
        }
    }
    TTBDock* dock;
    std::vector<TTBToolbar*> bars;
};

}  // namespace

int main()
{
    Application().Initialize();
    BenchForm form;
    form.Show();
    Pump();
    TTBToolbar* bar = form.bars[0];
    HWND wnd = bar->Handle();

    // The drag starts on the drag handle of the first toolbar and slides it
    // along its row, back and forth over 100 pixels in 5-pixel steps. Blocks
    // of 20 steps take turns with blocks of 20 moves of the same window by
    // SetWindowPos alone (by the same offsets), so that both see the same
    // machine.
    RECT wr;
    GetWindowRect(wnd, &wr);
    POINT press{3, (wr.bottom - wr.top) / 2 - 2};
    auto offset = [](int i) {
        int phase = i % 40;
        return (phase < 20 ? phase : 40 - phase) * 5 + 5;
    };
    std::vector<double> steps, moves;
    TTBDockableWindowDrag drag(*bar);
    drag.Begin(press.x, press.y, nullptr);
    POINT start = drag.StartCursor();
    drag.Step(start, false);
    Pump();
    const int kBlock = 20;
    for (int block = 0; block < kSteps / kBlock + 1; ++block) {
        bool warmup = block == 0;
        for (int i = 0; i < kBlock; ++i) {
            int dx = offset(block * kBlock + i);
            double t0 = Seconds();
            drag.Step(POINT{start.x + dx, start.y}, false);
            double t1 = Seconds();
            Pump();
            if (!warmup)
                steps.push_back(t1 - t0);
        }
        GetWindowRect(wnd, &wr);
        POINT origin{wr.left, wr.top};
        ScreenToClient(GetParent(wnd), &origin);
        for (int i = 0; i < kBlock; ++i) {
            int dx = offset(i) - offset(0);
            double t0 = Seconds();
            SetWindowPos(wnd, nullptr, origin.x + dx, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            double t1 = Seconds();
            Pump();
            if (!warmup)
                moves.push_back(t1 - t0);
        }
    }
    drag.End(true, false);
    Pump();
    double step = Median(steps), move = Median(moves);
    std::printf("drag_step_us %.1f us\n", step * 1e6);
    std::printf("setwindowpos_us %.1f us\n", move * 1e6);
    std::printf("drag_step_vs_setwindowpos %.2f ratio\n", move > 0 ? step / move : 0.0);
    return 0;
}
