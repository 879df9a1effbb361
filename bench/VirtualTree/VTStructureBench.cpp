// List control structure changes outside and inside an update bracket:
//   vt_shrink_8000_to_1_ms                   the child count of the hidden root set from
//                                            8,000 to 1 without BeginUpdate, in a shown
//                                            tree with scroll bars (ms)
//   vt_delete_selection_400000_forward_ms    DeleteSelection of 400,000 selected top-level
//                                            nodes made in address order (ms)
//   vt_delete_selection_400000_reverse_ms    the same with tree order against address
//                                            order (the nodes sorted by falling address) (ms)
// Each is the median of 3 runs; deferred drawing is done before the clock stops.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Application.h"
#include "platform/Form.h"
#include "support/BenchSupport.h"

namespace {

constexpr int kRuns = 3;

double Shrink()
{
    auto* form = new TForm(nullptr);
    form->SetBounds(0, 0, 640, 480);
    auto* tree = new TVirtualStringTree(form);
    tree->SetBounds(0, 0, 600, 440);
    tree->SetParent(form);
    tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::string& text) {
        text = "Row " + std::to_string(node->Index);
    };
    ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    tree->SetRootNodeCount(8000);
    UpdateWindow(form->Handle());
    Pump();
    const double start = Ms();
    tree->SetChildCountOf(nullptr, 1);
    // The drawing the tree put off (scroll bars, rows) is counted.
    SendMessageW(tree->Handle(), WM_TIMER, ScrollBarTimer, 0);
    UpdateWindow(form->Handle());
    const double elapsed = Ms() - start;
    delete form;
    Pump();
    return elapsed;
}

double DeleteSelection(bool reverse)
{
    constexpr unsigned count = 400000;
    auto* tree = new TVirtualStringTree(nullptr);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    std::vector<PVirtualNode> nodes;
    nodes.reserve(count);
    tree->BeginUpdate();
    for (unsigned i = 0; i < count; ++i)
        nodes.push_back(tree->AddChildNode(nullptr));
    tree->EndUpdate();
    if (reverse) {
        // Tree order against address order (a stable merge sort: quick).
        tree->OnCompareNodes = [](TBaseVirtualTree*, PVirtualNode a, PVirtualNode b, TColumnIndex, int& result) {
            result = a < b ? 1 : (a > b ? -1 : 0);
        };
        tree->SortByColumn(NoColumn, sdAscending, false);
    }
    tree->AddToSelection(nodes.data(), static_cast<int>(nodes.size()), true);
    const double start = Ms();
    tree->DeleteSelection();
    const double elapsed = Ms() - start;
    if (tree->TotalCount() != 0)
        std::printf("# delete selection left %u nodes\n", tree->TotalCount());
    delete tree;
    return elapsed;
}

double MedianOf(double (*run)(bool), bool arg)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i)
        times.push_back(run(arg));
    return Median(times);
}

}  // namespace

int main()
{
    Application().Initialize();
    std::vector<double> shrink;
    for (int i = 0; i < kRuns; ++i)
        shrink.push_back(Shrink());
    std::printf("vt_shrink_8000_to_1_ms %.1f ms\n", Median(shrink));
    const double forward = MedianOf(DeleteSelection, false);
    const double reverse = MedianOf(DeleteSelection, true);
    std::printf("vt_delete_selection_400000_forward_ms %.1f ms\n", forward);
    std::printf("vt_delete_selection_400000_reverse_ms %.1f ms\n", reverse);
    std::printf("# delete selection reverse / forward %.2f\n", forward > 0 ? reverse / forward : 0.0);
    std::fflush(stdout);
    return 0;
}
