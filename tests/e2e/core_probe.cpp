// The client core alone on the folders of a folder list file: one client
// object with its polling thread and one display record per folder, as the
// program makes them, without any window.
//
//   core_probe.exe INI          after every client polled once, prints one
//                               line per folder: its 14 list cells joined by ";"
//   core_probe.exe INI --idle   also prints "private_bytes N" and then
//                               "thread_bytes N" (what one idle thread adds)
//
// Used to see what the list should show for the end-to-end folders and, by
// the memory benchmark, as the core-only reference.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/FahView.h"
#include "FolderList.h"
#include "Frame/fvFrCells.h"
#include "platform/Application.h"
#include "platform/Firewall.h"
#include "platform/Text.h"

namespace {

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
    return pmc.PrivateUsage;
}

DWORD WINAPI IdleThread(LPVOID stop)
{
    WaitForSingleObject(static_cast<HANDLE>(stop), INFINITE);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: core_probe INI [--idle]\n");
        return 2;
    }
    const bool idle = argc > 2 && std::strcmp(argv[2], "--idle") == 0;
    try {
        Application().Initialize();
        std::vector<std::unique_ptr<TFahView>> views;
        for (const TFolderEntry& e : ReadFolderList(argv[1])) {
            TFahParams p;
            p.Folder = e.Folder;
            auto fah = std::make_unique<TFah>(p);
            fah->Alias = e.Alias;
            fah->CompConfig = e.CompConfig;
            views.push_back(std::make_unique<TFahView>(std::move(fah)));
        }
        const DWORD start = GetTickCount();
        for (;;) {
            bool all = true;
            for (auto& v : views) {
                TFAHThread* t = v->Fah()->PollThread();
                all = all && t->PollCount() >= 1 && !t->Polling();
            }
            if (all || GetTickCount() - start > 60000)
                break;
            Sleep(20);
        }
        for (auto& v : views) {
            v->Update();
            if (idle)
                continue;
            std::string line;
            for (int c = 0; c < kfvColumnCount; ++c)
                line += FahCellText(*v, c) + ";";
            std::printf("%s\n", line.c_str());
        }
        if (idle) {
            std::printf("private_bytes %u\n", static_cast<unsigned>(PrivateBytes()));
            HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            const size_t before = PrivateBytes();
            HANDLE t = CreateThread(nullptr, 0, IdleThread, stop, 0, nullptr);
            Sleep(100);
            std::printf("thread_bytes %d\n", static_cast<int>(PrivateBytes() - before));
            SetEvent(stop);
            WaitForSingleObject(t, INFINITE);
            CloseHandle(t);
        }
        std::fflush(stdout);
        AppClosing = true;
        views.clear();
    } catch (...) {
        HandleCurrentException();
        return 1;
    }
    return 0;
}
