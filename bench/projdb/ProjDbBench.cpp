// Project database and display record timings:
//   project_lookup_5000   FindProjectInfo with 5,000 project lines, by number and by name (µs per lookup)
//   psummary_1mb_parse    LoadPSummary of a 1 MB summary page (ms)
//   view_update_50_rows   TFahView::Update of 50 rows (ms for all 50), as on a repaint;
//                         ..._all_changed: every client's texts changed since the last one
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/FahView.h"
#include "Classes/MVars.h"
#include "Classes/ProjectInfo.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/BenchSupport.h"

namespace {

std::string ProjectLine(int project)
{
    return Format("#%d;171.64.%d.%d;p%d_Protein_variant_%d_300K;%d;%d.00;%d.00;%d.00;100;GROMACS", project,
                  project % 200, project % 97, project, project % 13, 10000 + project, 2 + project % 5,
                  4 + project % 7, 100 + project % 3000);
}

void BenchLookup()
{
    std::vector<std::string> lines;
    lines.push_back("Project Number;Server IP;Work Unit Name;Number of Atoms;Preferred (days);"
                    "Final deadline (days);Credit;Frames;Code");
    for (int i = 0; i < 5000; ++i)
        lines.push_back(ProjectLine(1000 + i * 3));
    ProjectList().SetLines(lines);

    std::mt19937 gen(7);
    std::vector<int> projects(4096);
    std::vector<std::string> names(4096);
    for (size_t i = 0; i < projects.size(); ++i) {
        // One in eight asks for a project the list lacks.
        int k = static_cast<int>(gen() % 5000);
        projects[i] = (i % 8 == 7) ? 1 + k * 3 : 1000 + k * 3;
        names[i] = Format("P%d_PROTEIN", 1000 + static_cast<int>(gen() % 5000) * 3);
    }
    double build0 = Seconds();
    TProjectInfo warm;
    warm.Project = 1;
    warm.WUName = "p1000";
    FindProjectInfo(warm);   // builds both indexes
    double build = Seconds() - build0;

    const int rounds = 200000;
    TProjectInfo info;
    int found = 0;
    double t0 = Seconds();
    for (int i = 0; i < rounds; ++i) {
        info.Project = projects[static_cast<size_t>(i) & 4095];
        info.WUName.clear();
        found += FindProjectInfo(info);
    }
    double byNumber = (Seconds() - t0) / rounds * 1e6;
    t0 = Seconds();
    for (int i = 0; i < rounds; ++i) {
        info.Project = -1;
        info.WUName = names[static_cast<size_t>(i) & 4095];
        found += FindProjectInfo(info);
    }
    double byName = (Seconds() - t0) / rounds * 1e6;
    printf("project_lookup_5000 %.3f us\n", std::max(byNumber, byName));
    printf("project_lookup_5000_by_number %.3f us\n", byNumber);
    printf("project_lookup_5000_by_name %.3f us\n", byName);
    printf("project_index_build_5000 %.3f ms\n", build * 1e3);
    if (found == 0)
        printf("project_lookup_5000_found 0 count\n");
}

void BenchSummary()
{
    std::string dir = TempFolder() + Format("bx_projdb_bench_%lu\\", GetCurrentProcessId());
    SetAppDir(dir);
    std::string page =
        "<html><body><table>\n<tr bgcolor=\"#c0c0f0\"><th>Project Number</th><th>Server IP</th></tr>\n";
    for (int project = 1; page.size() < (1u << 20); ++project) {
        page += Format("<tr bgcolor=\"#dfdfdf\"> <td>%d</td><td>171.64.65.%d</td><td>p%d_Protein_variant_300K</td>"
                       "<td>%d</td><td>4.00</td><td>6.00</td><td>%d.00</td><td>100</td><td>GROMACS</td>"
                       "<td><a href=\"http://example.invalid/cgi-bin/fahproject?p=%d\">Description</a></td>"
                       "<td><font size=\"-1\">someone</font></td><td>0.00</td></tr>\n",
                       project, project % 250, project, 10000 + project, 100 + project % 900, project);
    }
    page += "</table></body></html>\n";
    WriteFileAtomic(PSummaryFile(), page);

    std::vector<double> times;
    int rows = 0;
    for (int i = 0; i < 15; ++i) {
        ProjectList().Clear();
        double t0 = Seconds();
        rows = LoadPSummary();
        times.push_back((Seconds() - t0) * 1e3);
    }
    printf("psummary_1mb_parse %.3f ms\n", Median(times));
    printf("psummary_1mb_rows %d count\n", rows);
    DeleteFileUtf8(PSummaryFile());
    RemoveDirectoryW(Utf8ToWide(DataDir()).c_str());
    RemoveDirectoryW(Utf8ToWide(dir).c_str());
}

void BenchViewUpdate()
{
    InitProjectDatabase();   // the built-in tables
    static const int kProjects[] = {2669, 2677, 4456, 5113, 5769, 5915, 6326, 1741, 777777, 2610};
    std::vector<std::unique_ptr<TFahView>> views;
    for (int i = 0; i < 50; ++i) {
        TFahParams params;
        params.Folder = Format("C:\\clients\\client%02d", i);
        params.StartPolling = false;
        auto view = std::make_unique<TFahView>(std::make_unique<TFah>(params));
        TFah* fah = view->Fah();
        fah->Status = fsRunning;
        fah->ProjectNumber = kProjects[i % 10];
        fah->WuSize = TFixed4::FromDouble(900.0 + i * 37.5);
        fah->RunCloneGen = Format("Run %d, Clone %d, Gen %d", i, i * 3, i * 7);
        fah->WUName = Format("p%d_unit", kProjects[i % 10]);
        fah->DownloadText = "09.03.15   10:20:30";
        fah->DueText = "09.03.18   10:20:30";
        fah->EtaText = "09.03.16   22:10:00";
        fah->Percent = i * 2;
        fah->StepTime = 0.008;
        fah->Rate = 0.01 + i * 0.001;
        fah->UserName = "someone";
        fah->TeamNumber = 32;
        fah->ClientCfgLines.SetText("[settings]\r\nusername=someone\r\nteam=32\r\nbigpackets=big\r\n");
        views.push_back(std::move(view));
    }
    for (auto& v : views)
        v->Update();   // warm
    std::vector<double> times;
    for (int pass = 0; pass < 200; ++pass) {
        double t0 = Seconds();
        for (auto& v : views)
            v->Update();
        times.push_back((Seconds() - t0) * 1e3);
    }
    printf("view_update_50_rows %.3f ms\n", Median(times));

    // The same when every client's dates, size and rate changed since the last pass.
    times.clear();
    for (int pass = 0; pass < 200; ++pass) {
        for (size_t i = 0; i < views.size(); ++i) {
            TFah* fah = views[i]->Fah();
            fah->DownloadText = Format("09.03.%02d   10:20:%02d", 1 + pass % 28, static_cast<int>(i));
            fah->EtaText = Format("09.04.%02d   22:10:%02d", 1 + pass % 28, static_cast<int>(i));
            fah->WuSize = TFixed4::FromDouble(900.0 + pass + i);
            fah->Rate = 0.01 + pass * 0.0001;
            fah->StepTime = 0.008 + pass * 1e-6;
        }
        double t0 = Seconds();
        for (auto& v : views)
            v->Update();
        times.push_back((Seconds() - t0) * 1e3);
    }
    printf("view_update_50_rows_all_changed %.3f ms\n", Median(times));
}

}  // namespace

int main()
{
    BenchLookup();
    BenchSummary();
    BenchViewUpdate();
    return 0;
}
