// List control against the system's ListView, driven by the same window
// messages in one process:
//   vt_wheel200_100000_vs_listview          200 wheel turns of -120 over 100,000 rows, each
//                                           painted with UpdateWindow (ratio)
//   vt_wheel200_100000_vs_bare              the same against a bare window that scrolls with
//                                           ScrollWindowEx and paints the same texts, the
//                                           third subject taking turns (ratio: the floor)
//   vt_keydown200_100000_vs_listview        200 VK_DOWN key-downs from the first row, each
//                                           painted (ratio)
//   vt_ctrl_a_100000_vs_listview_noredraw   Ctrl+A in the tree against the ListView's
//                                           select-all (LVM_SETITEMSTATE -1), both with
//                                           drawing switched off by WM_SETREDRAW (ratio)
//   vt_end_key_1000000_vs_listview          VK_END from the first of 1,000,000 rows, painted
//                                           (ratio)
// and the times themselves (ms). The set-up is the same for both: a
// 1024 x 768 popup filled by the control with a client edge, 14 columns
// (110 px, then 13 of 64 px), the system's message font, 14-px rows, texts
// from the application (the ListView in report view with owner data,
// full-row select and LVN_GETDISPINFO). Each time is the median of 5 runs,
// the two subjects taking turns; the process runs on one processor. Work a
// subject defers past the burst (the tree draws its scroll bars once after
// it) is done before the clock stops.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
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
constexpr int kRuns = 5;

// Ctrl held (or not) as this thread's keyboard state says.
void SetCtrl(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

LPARAM KeyData(WORD key)
{
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    const bool extended = key == VK_END || key == VK_HOME || key == VK_DOWN || key == VK_UP || key == VK_NEXT ||
                          key == VK_PRIOR;
    return 1 | (static_cast<LPARAM>(scan) << 16) | (extended ? (1L << 24) : 0);
}

// ---------------------------------------------------------------------------
// The ListView

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
        if ((info->item.mask & LVIF_TEXT) && info->item.cchTextMax > 0) {
            if (info->item.iSubItem == 0)
                swprintf(info->item.pszText, static_cast<size_t>(info->item.cchTextMax), L"Row %d", info->item.iItem);
            else
                swprintf(info->item.pszText, static_cast<size_t>(info->item.cchTextMax), L"%u",
                         Hash(static_cast<unsigned>(info->item.iItem), static_cast<unsigned>(info->item.iSubItem)));
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

struct TListSide {
    HWND host = nullptr, list = nullptr;
    HFONT font = nullptr;

    void Create(unsigned count)
    {
        CreateListView(HostProc, L"BxInputBenchHost", host, list, font);
        SendMessageW(list, LVM_SETITEMCOUNT, count, 0);
        ShowWindow(host, SW_SHOWNOACTIVATE);
        UpdateWindow(host);
        Pump();
    }
    void Destroy()
    {
        DestroyWindow(host);
        DeleteObject(font);
    }
    int HeaderHeight() const
    {
        RECT r{};
        GetWindowRect(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), &r);
        return r.bottom - r.top;
    }
    int TopRow() const { return static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0)); }
    int FocusedRow() const { return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)); }
    void SetState(int row, UINT state, UINT mask)
    {
        LVITEMW item{};
        item.stateMask = mask;
        item.state = state;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    // The first row focused and selected, at the top.
    void Reset()
    {
        SetState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        SetState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        SendMessageW(list, LVM_ENSUREVISIBLE, 0, FALSE);
        UpdateWindow(list);
        Pump();
    }
};

// ---------------------------------------------------------------------------
// The tree

struct TTreeSide {
    TForm* host = nullptr;
    TVirtualStringTree* tree = nullptr;

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
        TVTHeader& header = tree->Header();
        for (int c = 0; c < kColumns; ++c) {
            TVirtualTreeColumn* column = header.Columns().Add();
            column->SetWidth(ColumnWidth(c));
            column->SetText("Col " + std::to_string(c));
        }
        header.SetHeight(headerHeight);
        header.SetOptions(header.Options() | hoVisible);
        tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                             std::string& text) {
            char buffer[32];
            if (column == 0)
                std::snprintf(buffer, sizeof buffer, "Row %u", node->Index);
            else
                std::snprintf(buffer, sizeof buffer, "%u", Hash(node->Index, static_cast<unsigned>(column)));
            text = buffer;
        };
        tree->SetRootNodeCount(count);
        ShowWindow(host->Handle(), SW_SHOWNOACTIVATE);
        UpdateWindow(host->Handle());
        Pump();
        // The position cache the worker fills for long lists.
        if (!tree->HasState(tsUseCache) && !tree->HasState(tsValidating))
            tree->ValidateCache();
        const double end = Ms() + 20000;
        while (!tree->HasState(tsUseCache) && Ms() < end)
            PumpFor(5);
    }
    void Destroy() { delete host; }
    int TopRow() const
    {
        PVirtualNode top = tree->TopNode();
        return top ? static_cast<int>(top->Index) : -1;
    }
    int FocusedRow() const { return tree->FocusedNode() ? static_cast<int>(tree->FocusedNode()->Index) : -1; }
    void Reset()
    {
        tree->ClearSelection();
        PVirtualNode first = tree->GetFirst();
        tree->SetFocusedNode(first);
        tree->SetSelected(first, true);
        tree->SetOffsetY(0);
        UpdateWindow(tree->Handle());
        Pump();
    }
    // Work the tree put off until the burst of scrolls ended (the scroll
    // bars' drawing) is done now, so that it is counted.
    void FinishDeferred() { SendMessageW(tree->Handle(), WM_TIMER, ScrollBarTimer, 0); }
};

// A subject's turn: prepare runs untimed before the timed run.
struct TTurn {
    std::function<void()> prepare;
    std::function<double()> run;
};

// The median of kRuns runs of each subject, taking turns.
std::vector<double> MeasureTurns(const std::vector<TTurn>& subjects)
{
    std::vector<std::vector<double>> times(subjects.size());
    for (int i = 0; i < kRuns; ++i)
        for (size_t s = 0; s < subjects.size(); ++s) {
            subjects[s].prepare();
            times[s].push_back(subjects[s].run());
        }
    std::vector<double> medians;
    for (std::vector<double>& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[kRuns / 2]);
    }
    return medians;
}

void Measure(const std::function<void()>& prepareA, const std::function<double()>& runA,
             const std::function<void()>& prepareB, const std::function<double()>& runB, double& a, double& b)
{
    const std::vector<double> m = MeasureTurns({{prepareA, runA}, {prepareB, runB}});
    a = m[0];
    b = m[1];
}

void Print(const char* name, double value, const char* unit) { std::printf("%s %.3f %s\n", name, value, unit); }

void Figures(const char* name, const char* treeName, const char* listName, double tree, double list)
{
    Print(name, list > 0 ? tree / list : 0.0, "ratio");
    Print(treeName, tree, "ms");
    Print(listName, list, "ms");
}

void Run100k()
{
    constexpr unsigned count = 100000;
    TListSide list;
    list.Create(count);
    TTreeSide side;
    side.Create(count, list.HeaderHeight());
    HWND tree = side.tree->Handle();
    double t = 0, l = 0;


    // 200 wheel turns down, each painted, the mouse resting over the middle
    // of the window as it does when a user turns the wheel.
    auto wheel = [](HWND h, const std::function<void()>& after) {
        RECT r;
        GetWindowRect(h, &r);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Pump();
        const double start = Ms();
        for (int i = 0; i < 200; ++i) {
            SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), at);
            UpdateWindow(h);
        }
        if (after)
            after();
        return Ms() - start;
    };
    // The bare window that scrolls with ScrollWindowEx and paints the same
    // texts takes its turn as a third subject: the floor. It is shown only
    // for its turn (over the others, it would hide them from their paints).
    TBareSide bare;
    bare.Create(count, list.HeaderHeight());
    const std::vector<double> wheels = MeasureTurns({
        {[&] { side.Reset(); }, [&] { return wheel(tree, [&] { side.FinishDeferred(); }); }},
        {[&] { list.Reset(); }, [&] { return wheel(list.list, nullptr); }},
        {[&] {
             bare.Show(true);
             bare.ScrollToRow(0);
             Pump();
         },
         [&] {
             const double elapsed = wheel(bare.Window(), [&] { bare.FinishDeferred(); });
             bare.Show(false);
             return elapsed;
         }},
    });
    t = wheels[0];
    l = wheels[1];
    Figures("vt_wheel200_100000_vs_listview", "vt_wheel200_100000_ms", "listview_wheel200_100000_ms", t, l);
    Print("vt_wheel200_100000_vs_bare", wheels[2] > 0 ? t / wheels[2] : 0.0, "ratio");
    Print("bare_wheel200_100000_ms", wheels[2], "ms");
    std::printf("# wheel: tree top row %d, list top row %d, bare top row %d\n", side.TopRow(), list.TopRow(),
                bare.TopRow());
    bare.Destroy();

    // 200 Down keys from the first row, each painted.
    auto keys = [](HWND h, WORD key, int times, const std::function<void()>& after) {
        const double start = Ms();
        for (int i = 0; i < times; ++i) {
            SendMessageW(h, WM_KEYDOWN, key, KeyData(key));
            UpdateWindow(h);
        }
        if (after)
            after();
        return Ms() - start;
    };
    Measure([&] { side.Reset(); }, [&] { return keys(tree, VK_DOWN, 200, [&] { side.FinishDeferred(); }); },
            [&] { list.Reset(); }, [&] { return keys(list.list, VK_DOWN, 200, nullptr); }, t, l);
    Figures("vt_keydown200_100000_vs_listview", "vt_keydown200_100000_ms", "listview_keydown200_100000_ms", t, l);
    std::printf("# keydown: tree focus %d, list focus %d\n", side.FocusedRow(), list.FocusedRow());

    // Ctrl+A against the ListView's select-all, drawing off for both.
    unsigned selected = 0;
    Measure(
        [&] {
            side.Reset();
            SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
        },
        [&] {
            SetCtrl(true);
            const double start = Ms();
            SendMessageW(tree, WM_KEYDOWN, 'A', KeyData('A'));
            const double elapsed = Ms() - start;
            SetCtrl(false);
            selected = side.tree->SelectedCount();
            SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
            side.Reset();
            return elapsed;
        },
        [&] {
            list.Reset();
            SendMessageW(list.list, WM_SETREDRAW, FALSE, 0);
        },
        [&] {
            const double start = Ms();
            list.SetState(-1, LVIS_SELECTED, LVIS_SELECTED);
            const double elapsed = Ms() - start;
            SendMessageW(list.list, WM_SETREDRAW, TRUE, 0);
            return elapsed;
        },
        t, l);
    Figures("vt_ctrl_a_100000_vs_listview_noredraw", "vt_ctrl_a_100000_ms", "listview_select_all_100000_ms", t, l);
    std::printf("# ctrl+a: tree selected %u, list selected %d\n", selected,
                static_cast<int>(SendMessageW(list.list, LVM_GETSELECTEDCOUNT, 0, 0)));
    side.Destroy();
    list.Destroy();
    Pump();
}

void Run1M()
{
    constexpr unsigned count = 1000000;
    TListSide list;
    list.Create(count);
    TTreeSide side;
    side.Create(count, list.HeaderHeight());
    HWND tree = side.tree->Handle();
    double t = 0, l = 0;
    auto end = [](HWND h, const std::function<void()>& after) {
        const double start = Ms();
        SendMessageW(h, WM_KEYDOWN, VK_END, KeyData(VK_END));
        UpdateWindow(h);
        if (after)
            after();
        return Ms() - start;
    };
    Measure([&] { side.Reset(); }, [&] { return end(tree, [&] { side.FinishDeferred(); }); }, [&] { list.Reset(); },
            [&] { return end(list.list, nullptr); }, t, l);
    Figures("vt_end_key_1000000_vs_listview", "vt_end_key_1000000_ms", "listview_end_key_1000000_ms", t, l);
    std::printf("# end: tree focus %d, list focus %d\n", side.FocusedRow(), list.FocusedRow());
    side.Destroy();
    list.Destroy();
    Pump();
}

}  // namespace

int main()
{
    Application().Initialize();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    // One processor: the tree's worker thread shares it with the GUI thread.
    SetProcessAffinityMask(GetCurrentProcess(), 1);
    Run100k();
    Run1M();
    std::fflush(stdout);
    return 0;
}
