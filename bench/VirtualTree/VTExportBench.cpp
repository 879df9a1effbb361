// List control export figures (10,000 selected rows of 14 columns, texts
// from OnGetText, median of 5 runs):
//   vt_export_unicode_10000x14_ms  the CF_UNICODETEXT block (ms)
//   vt_export_csv_10000x14_ms      the CSV block (ms)
//   vt_export_html_10000x14_ms     the "HTML Format" block (ms)
//   vt_export_rtf_10000x14_ms      the "Rich Text Format" block (ms)
//   vt_copy_text_10000_ms          the rows copied to the OLE clipboard and
//                                  read back from it as CF_UNICODETEXT (ms)
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Lib2/VirtualTree/VTExport.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "support/BenchSupport.h"

namespace {

double MedianMs(TVirtualStringTree& tree, UINT format)
{
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        const double t0 = Seconds();
        HGLOBAL block = ContentToClipboard(tree, format, tstSelected);
        runs.push_back((Seconds() - t0) * 1000.0);
        if (!block) {
            std::printf("# format %u gave no block\n", format);
            return -1;
        }
        GlobalFree(block);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

// Copy through the clipboard and the text asked back, as a program reading
// the clipboard would; the clipboard is emptied between runs.
double MedianCopyMs(TVirtualStringTree& tree)
{
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        const double t0 = Seconds();
        tree.CopyNodesToClipboard();
        IDataObject* clip = nullptr;
        SIZE_T bytes = 0;
        if (SUCCEEDED(OleGetClipboard(&clip))) {
            FORMATETC f{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM m{};
            if (SUCCEEDED(clip->GetData(&f, &m))) {
                bytes = GlobalSize(m.hGlobal);
                ReleaseStgMedium(&m);
            }
            clip->Release();
        }
        runs.push_back((Seconds() - t0) * 1000.0);
        OleSetClipboard(nullptr);
        if (bytes == 0) {
            std::printf("# the clipboard gave no text\n");
            return -1;
        }
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}   // namespace

int main()
{
    try {
        TVirtualStringTree tree(nullptr);
        for (int i = 0; i < 14; ++i) {
            TVirtualTreeColumn* c = tree.Header().Columns().Add();
            c->SetText("Column " + std::to_string(i));
            c->SetWidth(80);
        }
        tree.OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                            std::string& text) {
            char buf[48];
            std::snprintf(buf, sizeof buf, "Row %u, cell %d", node->Index, column);
            text = buf;
        };
        tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | toMultiSelect);
        tree.SetRootNodeCount(10000);
        tree.SelectAllNodes(false);
        if (tree.SelectedCount() != 10000) {
            std::printf("# only %u rows selected\n", tree.SelectedCount());
            return 1;
        }
        std::printf("vt_export_unicode_10000x14_ms %.1f ms\n", MedianMs(tree, CF_UNICODETEXT));
        std::printf("vt_export_csv_10000x14_ms %.1f ms\n", MedianMs(tree, CF_CSVFormat()));
        std::printf("vt_export_html_10000x14_ms %.1f ms\n", MedianMs(tree, CF_HTMLFormat()));
        std::printf("vt_export_rtf_10000x14_ms %.1f ms\n", MedianMs(tree, CF_RTFFormat()));
        std::printf("vt_copy_text_10000_ms %.1f ms\n", MedianCopyMs(tree));
        return 0;
    } catch (const std::exception& e) {
        std::printf("# failed: %s\n", e.what());
        return 1;
    }
}
