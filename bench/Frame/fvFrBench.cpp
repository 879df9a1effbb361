// The main list refreshing 100 clients against the bare list control.
//
// 100 client folders made from the real client logs (a quarter of them held
// open as a running client holds its log, a quarter with results waiting)
// are added to a main list frame; once every client has polled, one refresh
// is timed: ApplyFilters (every row updated from its client, hidden by
// state, the totals summed, the selected client shown) and a repaint of all
// rows into a bitmap. Against it, the same list control with the same 14
// columns paints 100 rows of fixed texts the same way. One run of 15
// passes, the two taking turns so a change of the machine's load falls on
// both alike; each time is the median of its passes.
//   list_refresh_100_ms               the frame's refresh (ms)
//   list_plain_paint_100_ms           the plain list's paint (ms)
//   list_refresh_100_vs_plain_paint   the first against the second (ratio)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Frame/fvFr.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/FileUtil.h"
#include "platform/Form.h"
#include "platform/Graphics.h"
#include "platform/Text.h"
#include "support/BenchSupport.h"

namespace {

constexpr int kClients = 100;
constexpr int kPasses = 15;

// Every row of the tree painted into a bitmap of the tree's width.
void PaintAllRows(TBaseVirtualTree& tree, TBitmap& bitmap)
{
    const RECT area{0, 0, tree.ClientRect().right, tree.RangeY()};
    if (bitmap.Width() != area.right || bitmap.Height() != area.bottom)
        bitmap.SetSize(area.right, area.bottom);
    tree.PaintTreeArea(bitmap.Canvas(), area, POINT{0, 0}, WindowPaintOptions);
}

template <class F>
double Time(F pass)
{
    const double start = Ms();
    pass();
    const double t = Ms() - start;
    Pump();
    return t;
}

}  // namespace

int main()
{
    TApplication& app = Application();
    app.SetTitle("Brenix bench");
    app.Initialize();
    TFah::SetFileReadPause(0);

    // The client folders.
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string root = std::string(tmp) + "bx_fvbench_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryW(Utf8ToWide(root).c_str(), nullptr);
    const DWORD share = FILE_SHARE_READ;
    const std::string logs[] = {ReadAll(RealDataDir() + "fahlog-gpu2-core11-14-paused-shutdown.txt", share),
                                ReadAll(RealDataDir() + "fahlog-cpu-classic-78-a0-sigterm-oneunit.txt", share),
                                ReadAll(RealDataDir() + "fahlog-smp-a2-linux-sending-results.txt", share),
                                ReadAll(RealDataDir() + "fahlog-smp-a4-bigadv-running.txt", share)};
    std::vector<std::string> folders;
    std::vector<HANDLE> held;
    for (int i = 0; i < kClients; ++i) {
        std::string f = root + "client" + std::to_string(i) + "\\";
        CreateDirectoryW(Utf8ToWide(f).c_str(), nullptr);
        WriteAll(f + "FAHlog.txt", logs[i % 4]);
        if (i % 4 == 2) {
            CreateDirectoryW(Utf8ToWide(f + "work").c_str(), nullptr);
            WriteAll(f + "work\\wuresults_01.dat", "results");
        }
        if (i % 4 == 0 || i % 4 == 3)
            held.push_back(CreateFileW(Utf8ToWide(f + "FAHlog.txt").c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        folders.push_back(f);
    }

    auto* form = new TForm(nullptr);
    form->SetBounds(0, 0, 1200, 900);
    auto* frame = new TfvFrame(form);
    frame->SetParent(form);
    form->Show();
    frame->StopTimers();
    for (const std::string& f : folders) {
        TAddFahParams p;
        p.folder = f;
        frame->AddFah(p);
    }
    // Every client polls once.
    const double deadline = Ms() + 60000;
    for (;;) {
        bool all = true;
        for (PVirtualNode n : frame->ClientNodes()) {
            TFAHThread* t = frame->GetFahView(n)->Fah()->PollThread();
            all = all && t->PollCount() >= 1 && !t->Polling();
        }
        if (all || Ms() > deadline)
            break;
        Pump();
        Sleep(20);
    }
    frame->ApplyFilters();
    frame->SelectNode(frame->ClientNodes()[0]);
    Pump();

    // The same list control with fixed texts.
    auto* plain = new TVirtualStringTree(form);
    plain->SetBounds(0, 0, frame->VSTree->Width(), frame->VSTree->Height());
    plain->SetParent(form);
    plain->Header().Columns().BeginUpdate();
    for (int c = 0; c < kfvColumnCount; ++c) {
        TVirtualTreeColumn* col = plain->Header().Columns().Add();
        col->SetText(*FvColumnDef(c).caption);
        col->SetWidth(FvColumnDef(c).width);
    }
    plain->Header().Columns().EndUpdate();
    plain->Header().SetOptions(plain->Header().Options() | hoVisible);
    plain->TreeOptions().SetPaintOptions(plain->TreeOptions().PaintOptions() | toShowHorzGridLines |
                                         toShowVertGridLines);
    plain->TreeOptions().SetSelectionOptions(plain->TreeOptions().SelectionOptions() | toFullRowSelect);
    plain->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                          std::string& text) {
        text = column == 0 ? "Client " + std::to_string(node->Index) : "12 Mar  10:20:30";
    };
    plain->SetRootNodeCount(frame->VSTree->TotalCount());
    Pump();
    TBitmap frameBitmap, plainBitmap;
    std::vector<double> refreshes, paints;
    for (int i = 0; i < kPasses; ++i) {
        refreshes.push_back(Time([&] {
            frame->ApplyFilters();
            PaintAllRows(*frame->VSTree, frameBitmap);
        }));
        paints.push_back(Time([&] { PaintAllRows(*plain, plainBitmap); }));
    }
    const double refresh = Median(refreshes);
    const double paint = Median(paints);

    printf("list_refresh_100_ms %.3f ms\n", refresh);
    printf("list_plain_paint_100_ms %.3f ms\n", paint);
    printf("list_refresh_100_vs_plain_paint %.3f ratio\n", paint > 0 ? refresh / paint : 0.0);
    fflush(stdout);

    delete form;
    for (HANDLE h : held)
        CloseHandle(h);
    for (const std::string& f : folders) {
        DeleteFileW(Utf8ToWide(f + "FAHlog.txt").c_str());
        DeleteFileW(Utf8ToWide(f + "work\\wuresults_01.dat").c_str());
        RemoveDirectoryW(Utf8ToWide(f + "work").c_str());
        RemoveDirectoryW(Utf8ToWide(f).c_str());
    }
    RemoveDirectoryW(Utf8ToWide(root).c_str());
    return 0;
}
