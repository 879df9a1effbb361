// The client core alone on the folders of a folder list file: one client
// object with its polling thread and one display record per folder, as the
// program makes them, without any window.
//
//   core_probe.exe INI   after every client polled once, prints one line per
//                        folder: its 14 list cells joined by ";"
//
// Shows what the core makes of a set of client folders, without the program
// (how the end-to-end run's expected rows were first looked at).
#include <windows.h>

#include <cstdio>
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

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: core_probe INI\n");
        return 2;
    }
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
            std::string line;
            for (int c = 0; c < kfvColumnCount; ++c)
                line += FahCellText(*v, c) + ";";
            std::printf("%s\n", line.c_str());
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
