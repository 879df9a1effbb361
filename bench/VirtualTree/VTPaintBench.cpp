// List control against the system's ListView, side by side in one process:
// painting, texts asked per paint, hit testing, scrolling, selecting all and
// setting the row count. The same set-up for both: a 1024 x 768 popup filled
// by the control with a client edge; 14 columns (110 px, then 13 of 64 px);
// the system's message font; 14-px rows; column 0 "Row <n>", the others a
// number of up to 5 digits hashed from the row. The ListView is in report
// view with owner data, LVS_SHOWSELALWAYS, full-row select and texts through
// LVN_GETDISPINFO. A second ListView measured the same way is the noise
// floor.
//
// Run without arguments, the program starts itself once per row count (1k,
// 10k, 100k, 1M) in three rounds, each process pinned to one processor, and
// prints the medians of the three:
//   vt_paint_mid_<N>_vs_listview           repaint of the rows, scrolled to the middle (ratio)
//   vt_paintall_mid_100000_vs_listview     repaint of the window with header and frame (ratio)
//   vt_paint_mid_1000000_vs_1000           the tree's row repaint at 1M against 1k (ratio)
//   vt_texts_per_paint_mid_100000          texts the tree asked for in one repaint (count),
//                                          beside listview_texts_per_paint_mid_100000
//   vt_hittest_bottom_1000000_vs_listview  hit test in the bottom row at the list's end (ratio)
//   vt_scroll200_100000_vs_listview        200 one-row scrolls, each painted (ratio; the
//                                          subjects take turns, median of 5 bursts)
//   vt_scroll200_100000_vs_bare            the same against a bare window that scrolls with
//                                          ScrollWindowEx and paints the same texts (ratio:
//                                          the floor a list can reach here)
//   vt_selectall_<N>_vs_listview_noredraw  selecting every row with drawing off (ratio)
//   vt_setcount_100000_vs_listview         the row count set from 0 to 100,000 (ratio)
//   listview2_*                            the second ListView against the first (noise floor)
// Inside a process every time is the median of 3 runs as well.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Application.h"
#include "platform/Form.h"
#include "BareSubject.h"
#include "ListViewSubject.h"
#include "support/BenchSupport.h"

namespace {

using namespace bench_list;
constexpr int kRuns = 3;

template <class F>
double Median(F measure)
{
    double t[kRuns];
    for (double& v : t)
        v = measure();
    std::sort(t, t + kRuns);
    return t[kRuns / 2];
}

// ---------------------------------------------------------------------------
// The ListView side

long g_dispInfo = 0;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == LVN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
            ++g_dispInfo;
            if (info->item.mask & LVIF_TEXT) {
                const std::wstring text = CellText(static_cast<unsigned>(info->item.iItem), info->item.iSubItem);
                wcsncpy(info->item.pszText, text.c_str(), static_cast<size_t>(info->item.cchTextMax));
                if (info->item.cchTextMax > 0)
                    info->item.pszText[info->item.cchTextMax - 1] = 0;
            }
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

struct TListSide {
    HWND host = nullptr;
    HWND list = nullptr;
    HFONT font = nullptr;

    void Create(unsigned count)
    {
        CreateListView(HostProc, L"BxBenchListHost", host, list, font);
        SetCount(count);
    }
    void Destroy()
    {
        DestroyWindow(host);
        DeleteObject(font);
    }
    void SetCount(unsigned count, bool redraw = false)
    {
        SendMessageW(list, LVM_SETITEMCOUNT, count, redraw ? 0 : LVSICF_NOINVALIDATEALL);
    }
    int HeaderHeight() const
    {
        HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        RECT r{};
        GetWindowRect(header, &r);
        return r.bottom - r.top;
    }
    RECT Rows() const
    {
        RECT r;
        GetClientRect(list, &r);
        r.top = HeaderHeight();
        return r;
    }
    void ScrollToRow(unsigned row)
    {
        const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
        SendMessageW(list, LVM_SCROLL, 0, (static_cast<int>(row) - top) * kRowHeight);
        Pump();
    }
    void Show(bool show)
    {
        ShowWindow(host, show ? SW_SHOWNOACTIVATE : SW_HIDE);
        UpdateWindow(host);
        Pump();
    }
};

// ---------------------------------------------------------------------------
// The tree side

struct TTreeSide {
    TForm* host = nullptr;
    TVirtualStringTree* tree = nullptr;
    long texts = 0;

    void Create(unsigned count, int headerHeight)
    {
        host = new TForm(nullptr);
        host->SetBorderStyle(TFormBorderStyle::bsNone);
        host->SetBounds(0, 0, kWidth, kHeight);
        tree = new TVirtualStringTree(host);
        tree->SetBounds(0, 0, kWidth, kHeight);
        tree->SetParent(host);
        LOGFONTW lf = MessageFont();
        char face[LF_FACESIZE * 3] = {};
        WideCharToMultiByte(CP_UTF8, 0, lf.lfFaceName, -1, face, sizeof face, nullptr, nullptr);
        tree->Font().SetName(face);
        tree->Font().SetHeight(lf.lfHeight);
        tree->SetDefaultNodeHeight(kRowHeight);
        TCustomVirtualTreeOptions& options = tree->TreeOptions();
        options.SetPaintOptions(options.PaintOptions() & ~(toShowRoot | toShowTreeLines | toShowButtons));
        options.SetSelectionOptions(toFullRowSelect | toMultiSelect);
        tree->ScrollBarOptions().SetVerticalIncrement(kRowHeight);
        TVTHeader& header = tree->Header();
        for (int c = 0; c < kColumns; ++c) {
            TVirtualTreeColumn* column = header.Columns().Add();
            column->SetWidth(ColumnWidth(c));
            column->SetText("Col " + std::to_string(c));
        }
        header.SetHeight(headerHeight);
        header.SetOptions(header.Options() | hoVisible);
        tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                                 std::string& text) {
            ++texts;
            char buffer[32];
            if (column == 0)
                std::snprintf(buffer, sizeof buffer, "Row %u", node->Index);
            else
                std::snprintf(buffer, sizeof buffer, "%u", Hash(node->Index, static_cast<unsigned>(column)));
            text = buffer;
        };
        tree->SetRootNodeCount(count);
    }
    void Destroy() { delete host; }
    void ScrollToRow(unsigned row)
    {
        tree->SetOffsetY(-static_cast<int>(row) * kRowHeight);
        Pump();
    }
    void Show(bool show)
    {
        if (show) {
            ShowWindow(host->Handle(), SW_SHOWNOACTIVATE);
            UpdateWindow(host->Handle());
        } else {
            ShowWindow(host->Handle(), SW_HIDE);
        }
        Pump();
    }
    // The position cache filled by the worker (only kept for long lists).
    void WaitForCache()
    {
        if (tree->VisibleCount() <= CacheThreshold)
            return;
        if (!tree->HasState(tsUseCache) && !tree->HasState(tsValidating))
            tree->ValidateCache();
        const double end = Ms() + 20000;
        while (!tree->HasState(tsUseCache) && Ms() < end)
            PumpFor(5);
    }
};

// Milliseconds per repaint of a window, the part `rows` (nullptr: all) or,
// with `frame`, the window with its non-client area and children.
double TimeRepaints(HWND hwnd, const RECT* rows, bool frame, int count = 10)
{
    const double start = Ms();
    for (int i = 0; i < count; ++i) {
        if (frame)
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        else {
            InvalidateRect(hwnd, rows, FALSE);
            UpdateWindow(hwnd);
        }
    }
    GdiFlush();
    return (Ms() - start) / count;
}

// ---------------------------------------------------------------------------
// One row count, in its own process

void RunChild(unsigned count)
{
    Application().Initialize();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    std::map<std::string, double> out;
    const unsigned mid = count / 2;

    TListSide lists[2];
    for (TListSide& l : lists)
        l.Create(count);
    TTreeSide side;
    side.Create(count, lists[0].HeaderHeight());
    TVirtualStringTree* tree = side.tree;

    // Row repaints in the middle of the list. The three windows take turns
    // (only the one measured is shown), so that a change of load during the
    // run falls on all of them alike.
    for (TListSide& l : lists) {
        l.Show(true);
        l.ScrollToRow(mid);
        l.Show(false);
    }
    side.Show(true);
    side.ScrollToRow(mid);
    side.WaitForCache();
    side.Show(false);
    HWND treeWindow = tree->Handle();
    RECT listRows[2] = {lists[0].Rows(), lists[1].Rows()};
    // Which window, with frame or not: 0, 1 the lists, 2 the tree.
    auto measure = [&](int who, bool frame) {
        if (who < 2) {
            lists[who].Show(true);
            TimeRepaints(lists[who].list, &listRows[who], false, 2);
            const double t = TimeRepaints(lists[who].list, frame ? nullptr : &listRows[who], frame);
            lists[who].Show(false);
            return t;
        }
        side.Show(true);
        TimeRepaints(treeWindow, nullptr, false, 2);
        const double t = TimeRepaints(treeWindow, nullptr, frame);
        side.Show(false);
        return t;
    };
    double paint[3][kRuns], all[3][kRuns];
    for (int run = 0; run < kRuns; ++run)
        for (int who = 0; who < 3; ++who) {
            paint[who][run] = measure(who, false);
            all[who][run] = measure(who, true);
        }
    auto median = [](double* v) {
        std::sort(v, v + kRuns);
        return v[kRuns / 2];
    };
    out["list_paint_ms"] = median(paint[0]);
    out["list2_paint_ms"] = median(paint[1]);
    out["tree_paint_ms"] = median(paint[2]);
    out["list_paintall_ms"] = median(all[0]);
    out["list2_paintall_ms"] = median(all[1]);
    out["tree_paintall_ms"] = median(all[2]);
    // Texts asked for by one repaint of the rows.
    lists[0].Show(true);
    g_dispInfo = 0;
    TimeRepaints(lists[0].list, &listRows[0], false, 1);
    out["list_texts"] = static_cast<double>(g_dispInfo);
    lists[0].Show(false);
    side.Show(true);
    side.texts = 0;
    TimeRepaints(treeWindow, nullptr, false, 1);
    out["tree_texts"] = static_cast<double>(side.texts);

    // Hit test in the bottom row of the list's end.
    if (count >= 1000000) {
        side.ScrollToRow(count);
        side.WaitForCache();
        const RECT client = tree->ClientRect();
        const int y = client.bottom - kRowHeight / 2;
        const int hits = 2000;
        THitInfo info;
        const double tree1 = Median([&] {
            const double start = Ms();
            for (int i = 0; i < hits; ++i)
                tree->HitTestAt(200, y, info, true);
            return (Ms() - start) / hits;
        });
        out["tree_hittest_ms"] = tree1;
        out["tree_hittest_row"] = info.HitNode ? static_cast<double>(info.HitNode->Index) : -1;
        side.Show(false);
        for (int i = 0; i < 2; ++i) {
            TListSide& l = lists[i];
            l.Show(true);
            l.ScrollToRow(count);
            RECT rows = l.Rows();
            LVHITTESTINFO hit{};
            hit.pt = POINT{200, rows.bottom - kRowHeight / 2};
            out[i ? "list2_hittest_ms" : "list_hittest_ms"] = Median([&] {
                const double start = Ms();
                for (int k = 0; k < hits; ++k)
                    SendMessageW(l.list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
                return (Ms() - start) / hits;
            });
            if (i == 0)
                out["list_hittest_row"] = hit.iItem;
            l.Show(false);
        }
        side.Show(true);
    }

    // 200 one-row scrolls, each painted; the tree and the bare window draw
    // their bars once after the burst: that drawing is done (and counted)
    // before the clock stops, without waiting for the timer that would start
    // it. The four windows (the two ListViews, the tree and the bare window
    // that is the floor) take turns, one burst each, five times over (only
    // the one measured is shown): a slower spell of the machine falls on all
    // of them alike.
    if (count == 100000) {
        constexpr int kScrollRuns = 5;
        TBareSide bare;
        bare.Create(count, lists[0].HeaderHeight());
        auto burst = [&](HWND window, const std::function<void()>& after) {
            const double start = Ms();
            for (int i = 0; i < 200; ++i) {
                SendMessageW(window, WM_VSCROLL, SB_LINEDOWN, 0);
                UpdateWindow(window);
            }
            if (after)
                after();
            Pump();
            return Ms() - start;
        };
        side.Show(false);
        std::vector<double> times[4];
        for (int run = 0; run < kScrollRuns; ++run) {
            for (int who = 0; who < 4; ++who) {
                if (who == 3) {
                    bare.Show(true);
                    if (run == 0)
                        bare.ScrollToRow(mid);
                    times[who].push_back(burst(bare.Window(), [&] { bare.FinishDeferred(); }));
                    bare.Show(false);
                } else if (who < 2) {
                    TListSide& l = lists[who];
                    l.Show(true);
                    if (run == 0)
                        l.ScrollToRow(mid);
                    times[who].push_back(burst(l.list, nullptr));
                    l.Show(false);
                } else {
                    side.Show(true);
                    if (run == 0) {
                        side.ScrollToRow(mid);
                        side.WaitForCache();
                    }
                    times[who].push_back(
                        burst(treeWindow, [&] { SendMessageW(treeWindow, WM_TIMER, ScrollBarTimer, 0); }));
                    side.Show(false);
                }
            }
        }
        for (std::vector<double>& t : times)
            std::sort(t.begin(), t.end());
        out["list_scroll200_ms"] = times[0][kScrollRuns / 2];
        out["list2_scroll200_ms"] = times[1][kScrollRuns / 2];
        out["tree_scroll200_ms"] = times[2][kScrollRuns / 2];
        out["bare_scroll200_ms"] = times[3][kScrollRuns / 2];
        bare.Destroy();
        side.Show(true);
    }

    // Selecting every row with drawing off.
    if (count >= 100000) {
        auto selectList = [&](TListSide& l) {
            return Median([&] {
                SendMessageW(l.list, WM_SETREDRAW, FALSE, 0);
                LVITEMW item{};
                item.stateMask = LVIS_SELECTED;
                item.state = LVIS_SELECTED;
                const double start = Ms();
                SendMessageW(l.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
                const double t = Ms() - start;
                item.state = 0;
                SendMessageW(l.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
                SendMessageW(l.list, WM_SETREDRAW, TRUE, 0);
                return t;
            });
        };
        out["list_selectall_ms"] = selectList(lists[0]);
        out["list2_selectall_ms"] = selectList(lists[1]);
        out["tree_selectall_ms"] = Median([&] {
            tree->BeginUpdate();
            const double start = Ms();
            tree->SelectAllNodes(false);
            const double t = Ms() - start;
            tree->ClearSelection();
            tree->EndUpdate();
            Pump();
            return t;
        });
    }

    // The row count set from 0 and the window painted with it.
    if (count == 100000) {
        auto setList = [&](TListSide& l) {
            l.Show(true);
            const double t = Median([&] {
                l.SetCount(0, true);
                UpdateWindow(l.list);
                Pump();
                const double start = Ms();
                l.SetCount(count, true);
                UpdateWindow(l.list);
                const double t = Ms() - start;
                Pump();
                return t;
            });
            l.Show(false);
            return t;
        };
        out["list_setcount_ms"] = setList(lists[0]);
        out["list2_setcount_ms"] = setList(lists[1]);
        side.Show(true);
        out["tree_setcount_ms"] = Median([&] {
            tree->SetRootNodeCount(0);
            UpdateWindow(treeWindow);
            Pump();
            const double start = Ms();
            tree->SetRootNodeCount(count);
            UpdateWindow(treeWindow);
            const double t = Ms() - start;
            Pump();
            return t;
        });
        side.Show(false);
    }

    for (const auto& [key, value] : out)
        std::printf("%s %.6f\n", key.c_str(), value);
    std::fflush(stdout);
    side.Destroy();
    for (TListSide& l : lists)
        l.Destroy();
}

// ---------------------------------------------------------------------------
// The parent: one pinned child per row count

std::map<std::string, double> RunCount(unsigned count)
{
    std::map<std::string, double> result;
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" child " + std::to_wstring(count);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                        &pi)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return result;
    }
    CloseHandle(writeEnd);
    // Pinned to one processor: the worker thread shares it with the GUI thread.
    SetProcessAffinityMask(pi.hProcess, 1);
    ResumeThread(pi.hThread);
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(readEnd);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string l = text.substr(pos, end - pos);
        pos = end + 1;
        char key[128];
        double value;
        if (std::sscanf(l.c_str(), "%127s %lf", key, &value) == 2)
            result[key] = value;
    }
    return result;
}

void Print(const char* name, double value, const char* unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
}

void Ratio(const std::string& name, const std::map<std::string, double>& r, const std::string& tree,
           const std::string& list)
{
    auto t = r.find(tree), l = r.find(list), l2 = r.find("list2" + list.substr(4));
    if (t == r.end() || l == r.end() || l->second <= 0) {
        std::printf("%s nan ratio\n", name.c_str());
        return;
    }
    Print(name.c_str(), t->second / l->second, "ratio");
    if (l2 != r.end())
        Print(("listview2" + name.substr(2)).c_str(), l2->second / l->second, "ratio");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "child") == 0) {
        RunChild(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
        return 0;
    }
    // Three rounds of one process per row count, taking turns, so that a
    // change of the machine's load falls on every count alike; each figure
    // is the median of its three processes.
    std::map<unsigned, std::map<std::string, std::vector<double>>> rounds;
    for (int round = 0; round < kRuns; ++round)
        for (unsigned count : {1000u, 10000u, 100000u, 1000000u})
            for (auto& [key, value] : RunCount(count))
                rounds[count][key].push_back(value);
    std::map<unsigned, std::map<std::string, double>> results;
    for (auto& [count, keys] : rounds)
        for (auto& [key, values] : keys) {
            std::sort(values.begin(), values.end());
            results[count][key] = values[values.size() / 2];
        }
    for (auto& [count, r] : results) {
        const std::string n = std::to_string(count);
        Ratio("vt_paint_mid_" + n + "_vs_listview", r, "tree_paint_ms", "list_paint_ms");
        if (r.count("tree_paint_ms"))
            Print(("vt_paint_mid_" + n + "_ms").c_str(), r["tree_paint_ms"], "ms");
        if (r.count("list_paint_ms"))
            Print(("listview_paint_mid_" + n + "_ms").c_str(), r["list_paint_ms"], "ms");
    }
    auto& r100k = results[100000];
    Ratio("vt_paintall_mid_100000_vs_listview", r100k, "tree_paintall_ms", "list_paintall_ms");
    if (results[1000].count("tree_paint_ms") && results[1000000].count("tree_paint_ms"))
        Print("vt_paint_mid_1000000_vs_1000", results[1000000]["tree_paint_ms"] / results[1000]["tree_paint_ms"],
              "ratio");
    if (r100k.count("tree_texts"))
        Print("vt_texts_per_paint_mid_100000", r100k["tree_texts"], "texts");
    if (r100k.count("list_texts"))
        Print("listview_texts_per_paint_mid_100000", r100k["list_texts"], "texts");
    Ratio("vt_hittest_bottom_1000000_vs_listview", results[1000000], "tree_hittest_ms", "list_hittest_ms");
    Ratio("vt_scroll200_100000_vs_listview", r100k, "tree_scroll200_ms", "list_scroll200_ms");
    if (r100k.count("tree_scroll200_ms") && r100k.count("bare_scroll200_ms") && r100k["bare_scroll200_ms"] > 0)
        Print("vt_scroll200_100000_vs_bare", r100k["tree_scroll200_ms"] / r100k["bare_scroll200_ms"], "ratio");
    Ratio("vt_selectall_100000_vs_listview_noredraw", r100k, "tree_selectall_ms", "list_selectall_ms");
    Ratio("vt_selectall_1000000_vs_listview_noredraw", results[1000000], "tree_selectall_ms", "list_selectall_ms");
    Ratio("vt_setcount_100000_vs_listview", r100k, "tree_setcount_ms", "list_setcount_ms");
    for (auto& [count, r] : results)
        for (auto& [key, value] : r)
            std::printf("# %u %s %.4f\n", count, key.c_str(), value);
    return 0;
}
