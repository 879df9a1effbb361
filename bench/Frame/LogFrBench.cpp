// The log frame following a growing log: a 10 MB log (real client logs one
// after the other) is shown in a fresh frame, which loads it whole; half a
// second later (the list's background work on the new rows done, as it is
// long before a client writes again) the same log grown by two lines is
// shown in it, which appends two rows, and so four more times. "Shown" is
// the frame's work plus the repaint of the window that follows at once.
// Five such frames, one after the other; each gives the median of its five
// appends against its load, and the figures are the medians of the five:
//   log_load_10mb                               loading the whole log (ms)
//   log_append_2_lines                          showing it grown by two lines (ms)
//   log_append_2_lines_vs_load                  the second against the first (ratio)
//   log_append_2_lines_vs_load_without_paint    the same for the frame's work alone (ratio)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Frame/LogFr.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Form.h"
#include "support/BenchSupport.h"

namespace {

void Pump(int ms)
{
    const double end = Ms() + ms;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (Ms() < end);
}

struct TShowTime {
    double work;    // the frame's SetText
    double total;   // with the repaint
};

TShowTime Show(TLogFrame& frame, const std::string& text)
{
    const double start = Ms();
    frame.SetText(text);
    const double work = Ms() - start;
    RedrawWindow(frame.VSTree->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return TShowTime{work, Ms() - start};
}

}  // namespace

int main()
{
    Application().Initialize();
    const std::string dir = RealDataDir();
    std::string log;
    while (log.size() < 10u << 20) {
        for (const std::string& name : FindFiles(dir + "fahlog-*.txt"))
            log += ReadFileText(dir + name);
    }
    TForm form(nullptr);
    form.SetBounds(20, 20, 900, 600);
    form.Show();
    Pump(100);

    constexpr int kFrames = 5, kAppends = 5;
    std::vector<double> loads, appends, ratios, workRatios;
    for (int f = 0; f < kFrames; ++f) {
        auto* frame = new TLogFrame(&form);
        frame->SetParent(&form);
        Pump(100);
        std::string text = log;
        const TShowTime load = Show(*frame, text);
        Pump(500);
        std::vector<double> total, work;
        for (int k = 0; k < kAppends; ++k) {
            const std::string second = std::to_string(10 + 2 * k);
            text += "[12:00:" + second + "] Completed 250000 out of 500000 steps  (50%)\r\n";
            text += "[12:00:" + second + "] Writing local files\r\n";
            const TShowTime append = Show(*frame, text);
            Pump(100);
            total.push_back(append.total);
            work.push_back(append.work);
        }
        if (frame->LineCount() < 2 * kAppends) {
            std::fprintf(stderr, "the log was not shown\n");
            return 1;
        }
        loads.push_back(load.total);
        appends.push_back(Median(total));
        ratios.push_back(Median(total) / load.total);
        workRatios.push_back(Median(work) / load.work);
        delete frame;
        Pump(50);
    }
    std::printf("log_load_10mb %.1f ms\n", Median(loads));
    std::printf("log_append_2_lines %.2f ms\n", Median(appends));
    std::printf("log_append_2_lines_vs_load %.4f ratio\n", Median(ratios));
    std::printf("log_append_2_lines_vs_load_without_paint %.4f ratio\n", Median(workRatios));
    return 0;
}
