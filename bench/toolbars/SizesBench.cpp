// floating_sizes_200_vs_layout: the floating sizes list of a 200-item
// toolbar (captions of different lengths, a separator every eight items)
// over one layout of the same toolbar at its full width; medians of rounds
// taken in turns.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Form.h"
#include "toolbars/TBToolbar.h"
#include "support/BenchSupport.h"

namespace {

const int kItems = 200;
const int kRounds = 31;

}  // namespace

int main()
{
    Application().Initialize();
    TForm form(nullptr);
    auto* bar = new TTBToolbar(&form);
    for (int i = 0; i < kItems; ++i) {
        auto* it = new TTBItem(&form);
        it->SetCaption("Item " + std::string(static_cast<size_t>(1 + i % 5), 'x') + std::to_string(i));
        bar->Items()->Add(it);
        if (i % 8 == 7)
            bar->Items()->Add(new TTBSeparatorItem(&form));
    }
    std::vector<double> lists, layouts;
    size_t count = 0;
    for (int r = 0; r < kRounds; ++r) {
        double t0 = Seconds();
        SIZE s = bar->View()->MeasureSize(tbvoFloating, 0, 0);
        double t1 = Seconds();
        std::vector<SIZE> sizes;
        bar->BuildPotentialSizesList(sizes);
        double t2 = Seconds();
        layouts.push_back(t1 - t0);
        lists.push_back(t2 - t1);
        count = sizes.size();
        if (s.cx <= 0)
            return 1;
    }
    double l = Median(lists), o = Median(layouts);
    std::printf("floating_sizes_list_ms %.3f ms\n", l * 1000);
    std::printf("floating_layout_ms %.3f ms\n", o * 1000);
    std::printf("floating_sizes_count %zu sizes\n", count);
    std::printf("floating_sizes_200_vs_layout %.2f ratio\n", o > 0 ? l / o : 0.0);
    return 0;
}
