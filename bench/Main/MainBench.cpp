// The whole main window's start-up and memory on 100 client folders:
//   startup_100_ms           process start to the first paint of the list in which
//                            all 100 client rows show a decided state
//   startup_100_vs_empty     that against the same with an empty folder list
//                            (process start to the list's first paint); one run each
//   mem_per_folder_vs_core   private bytes per folder (100 folders against none, less
//                            what one idle thread commits: Wine commits about 1 MiB
//                            per thread whatever its stack) of the program, against a
//                            core-only probe (client objects, their threads and display
//                            records, no window) on the same folders
//
// The parent makes the folders (a quarter held open for writing, as running
// clients hold their logs; a quarter with results waiting) and runs itself
// as a child for every figure, so each start is a real process start:
//   bench_main.exe --form INI RESULT   the main window on that folder list
//   bench_main.exe --core INI RESULT   the client core alone
// A child writes "ms private_bytes thread_bytes" into RESULT and ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/FahView.h"
#include "FolderList.h"
#include "Frame/fvFr.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "Main.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/Text.h"
#include "MainBenchKit.h"
#include "support/BenchSupport.h"

namespace {

constexpr int kFolders = 100;
constexpr DWORD kChildLimit = 90000;

void WriteResult(const std::string& file, double ms, long long thread)
{
    char line[128];
    std::snprintf(line, sizeof line, "%.1f %lld %lld", ms, static_cast<long long>(PrivateBytes()), thread);
    WriteAll(file, line);
}

// ---- children

// The main window as the program makes it; the first list paint that shows
// every row of the folder list decided gives the start-up time.
double startupMs = -1;
TfvFrame* pollFrame = nullptr;
std::string pollResult;

void CALLBACK WhenPollsDone(HWND, UINT, UINT_PTR, DWORD)
{
    for (PVirtualNode n : pollFrame->ClientNodes()) {
        TFAHThread* t = pollFrame->GetFahView(n)->Fah()->PollThread();
        if (t && (t->PollCount() < 1 || t->Polling()))
            return;
    }
    WriteResult(pollResult, startupMs, IdleThreadCost().priv);
    ExitProcess(0);
}
int RunForm(const std::string& ini, const std::string& result, double started)
{
    const size_t expected = ReadFolderList(ini).size();
    TMainForm* form = StartMainForm(ini, result);
    TfvFrame* frame = form->fvFrame1;
    frame->VSTree->OnAfterPaint = [&](TBaseVirtualTree*, TCanvas&) {
        if (!AllRowsDecided(*frame, expected))
            return;
        if (startupMs >= 0)
            return;
        startupMs = Ms() - started;
        // Memory is read where the core-only probe reads it: once every
        // client has polled and no poll is running.
        SetTimer(nullptr, 0, 20, WhenPollsDone);
    };
    pollFrame = frame;
    pollResult = result;
    Application().Run();
    return 1;
}

// The client core alone: one client object with its polling thread and one
// display record per folder; done when every client polled once.
int RunCore(const std::string& ini, const std::string& result, double started)
{
    Application().Initialize();
    std::vector<std::unique_ptr<TFahView>> views;
    for (const TFolderEntry& e : ReadFolderList(ini)) {
        TFahParams p;
        p.Folder = e.Folder;
        views.push_back(std::make_unique<TFahView>(std::make_unique<TFah>(p)));
    }
    for (;;) {
        bool all = true;
        for (auto& v : views) {
            TFAHThread* t = v->Fah()->PollThread();
            all = all && (!t || (t->PollCount() >= 1 && !t->Polling()));
        }
        if (all)
            break;
        Sleep(20);
    }
    for (auto& v : views)
        v->Update();
    WriteResult(result, Ms() - started, IdleThreadCost().priv);
    ExitProcess(0);
}

// ---- parent

struct TChildResult {
    bool ok = false;
    double ms = 0;
    long long privateBytes = 0, threadBytes = 0;
};

TChildResult RunChild(const std::string& mode, const std::string& ini, const std::string& result)
{
    TChildResult r;
    const std::string text = RunSelf(Utf8ToWide(mode) + L" \"" + Utf8ToWide(ini) + L"\" \"" + Utf8ToWide(result) + L"\"",
                                      result, kChildLimit);
    r.ok = std::sscanf(text.c_str(), "%lf %lld %lld", &r.ms, &r.privateBytes, &r.threadBytes) == 3;
    return r;
}

int RunParent()
{
    const std::string root = BenchRoot("bx_mainbench");
    const std::string empty = root + "empty.ini", result = root + "result.txt";
    WriteAll(empty, "[Other]\r\n");
    auto maker = std::make_unique<TClientFolderMaker>();
    const std::string full = MakeFolderList(root, "client", kFolders, std::ref(*maker));

    const TChildResult formEmpty = RunChild("--form", empty, result);
    const TChildResult form100 = RunChild("--form", full, result);
    const TChildResult coreEmpty = RunChild("--core", empty, result);
    const TChildResult core100 = RunChild("--core", full, result);
    maker.reset();
    DeleteTree(root);

    if (!formEmpty.ok || !form100.ok || !coreEmpty.ok || !core100.ok) {
        std::printf("bench_main: a child did not finish (form %d/%d, core %d/%d)\n", formEmpty.ok, form100.ok,
                    coreEmpty.ok, core100.ok);
        return 1;
    }
    std::printf("startup_100_ms %.0f ms\n", form100.ms);
    std::printf("startup_empty_ms %.0f ms\n", formEmpty.ms);
    std::printf("startup_100_vs_empty %.2f ratio\n", form100.ms / formEmpty.ms);
    auto perFolder = [](const TChildResult& none, const TChildResult& full) {
        const double grew = static_cast<double>(full.privateBytes - none.privateBytes) / kFolders;
        return grew - static_cast<double>(full.threadBytes);
    };
    const double formPer = perFolder(formEmpty, form100), corePer = perFolder(coreEmpty, core100);
    std::printf("idle_thread_bytes %lld bytes\n", form100.threadBytes);
    std::printf("mem_per_folder_form %.0f bytes\n", formPer);
    std::printf("mem_per_folder_core %.0f bytes\n", corePer);
    std::printf("mem_per_folder_vs_core %.2f ratio\n", formPer / corePer);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc >= 4) {
            const char* env = getenv("BRENIX_BENCH_START");
            const double started = env ? std::atof(env) : Ms();
            if (std::strcmp(argv[1], "--form") == 0)
                return RunForm(argv[2], argv[3], started);
            if (std::strcmp(argv[1], "--core") == 0)
                return RunCore(argv[2], argv[3], started);
            return 2;
        }
        return RunParent();
    } catch (...) {
        HandleCurrentException();
        return 1;
    }
}
