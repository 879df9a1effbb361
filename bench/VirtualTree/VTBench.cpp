// List control memory figures:
//   vt_node_bytes_100000                  working-set growth per node of a tree holding
//                                         100,000 initialized nodes with a 16-byte user
//                                         record each (bytes)
//   vt_node_bytes_10000_vs_listview_items growth of a tree holding 10,000 such nodes against
//                                         the system's ListView holding the same 10,000 rows
//                                         in 14 columns with callback texts (not owner data),
//                                         both measured in the same run (ratio)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Application.h"
#include "support/BenchSupport.h"

namespace {

struct Record {
    unsigned id;
    unsigned a, b, c;
};

size_t WorkingSet()
{
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.WorkingSetSize;
}

// Working-set growth of a tree after making and initializing `count` nodes.
// The tree stays (the caller frees it), so that later figures never reuse its memory.
double TreeGrowth(unsigned count, TVirtualStringTree*& keep)
{
    auto* tree = new TVirtualStringTree(nullptr);
    tree->SetNodeDataSize(sizeof(Record));
    tree->OnInitNode = [](TBaseVirtualTree* t, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
        Record* r = t->Data<Record>(node);
        r->id = node->Index;
        r->a = r->b = r->c = node->Index * 3u;
    };
    // One node first, so that everything made once per tree is already there.
    tree->SetRootNodeCount(1);
    tree->ValidateNode(nullptr, true);
    const size_t before = WorkingSet();
    tree->SetRootNodeCount(count + 1);
    tree->ValidateNode(nullptr, true);
    const size_t after = WorkingSet();
    keep = tree;
    return after > before ? static_cast<double>(after - before) : 0.0;
}

// Working-set growth of a report-view ListView after adding `rows` rows of 14 callback columns.
double ListViewGrowth(unsigned rows, HWND& keep)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 600, 400, host, nullptr,
                                nullptr, nullptr);
    if (!list)
        return 0;
    for (int c = 0; c < 14; ++c) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = 40;
        wchar_t text[] = L"Column";
        col.pszText = text;
        SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&col));
    }
    auto addRow = [&](unsigned i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = LPSTR_TEXTCALLBACKW;
        item.lParam = static_cast<LPARAM>(i);
        const int index = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int c = 1; c < 14; ++c) {
            LVITEMW sub{};
            sub.iSubItem = c;
            sub.pszText = LPSTR_TEXTCALLBACKW;
            SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
        }
    };
    addRow(0);
    Pump();
    const size_t before = WorkingSet();
    for (unsigned i = 1; i <= rows; ++i)
        addRow(i);
    Pump();
    const size_t after = WorkingSet();
    keep = host;
    return after > before ? static_cast<double>(after - before) : 0.0;
}

}  // namespace

int main()
{
    Application().Initialize();
    // The first tree starts the process-wide worker thread, whose stack Wine
    // commits when it runs: it stays up for the whole run, out of the figures.
    auto* warmUp = new TVirtualStringTree(nullptr);
    Sleep(300);
    // Each figure on fresh memory: nothing measured is freed before the end.
    TVirtualStringTree* small = nullptr;
    TVirtualStringTree* large = nullptr;
    HWND list = nullptr;
    const double tree = TreeGrowth(10000, small);
    const double listView = ListViewGrowth(10000, list);
    const double perNode = TreeGrowth(100000, large) / 100000.0;

    std::printf("vt_node_bytes_100000 %.1f bytes\n", perNode);
    if (listView > 0)
        std::printf("vt_node_bytes_10000_vs_listview_items %.3f ratio\n", tree / listView);
    else
        std::printf("vt_node_bytes_10000_vs_listview_items nan ratio\n");
    std::fflush(stdout);
    delete large;
    delete small;
    delete warmUp;
    if (list)
        DestroyWindow(list);
    Pump();
    return 0;
}
