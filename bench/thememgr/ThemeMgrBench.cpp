// Theme-manager timings:
//   thememgr_msg_overhead_200   100,000 WM_NULL sent to a subclassed panel among 200 subclassed
//                               panels, over the same panel released, with visual styles off
//                               (the manager only passes the messages on); median of rounds
//                               that measure both side by side
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "controls/ThemeMgr.h"
#include "controls/ThemeSrv.h"
#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/StdCtrls.h"
#include "support/BenchSupport.h"

namespace {

const int kControls = 200;
const int kMessages = 100000;
const int kRounds = 9;

// Wine's comctl32 reports 5.81 although its visual styles work: the manager
// subclasses only while the check says 6.0, and the timing runs with it
// saying 5.81 again.
void Themes(bool on)
{
    if (on)
        SetComCtlVersionProviderForTesting([] { return DWORD(MAKELONG(0, 6)); });
    else
        SetComCtlVersionProviderForTesting([] { return DWORD(MAKELONG(81, 5)); });
    GetThemeServices().UpdateThemes();
}

double TimeMessages(HWND h)
{
    double t0 = Seconds();
    for (int i = 0; i < kMessages; ++i)
        SendMessageW(h, WM_NULL, 0, 0);
    return Seconds() - t0;
}

class BenchForm : public TForm {
public:
    BenchForm() : TForm(nullptr)
    {
        SetBounds(0, 0, 640, 480);
        for (int i = 0; i < kControls; ++i) {
            auto* p = new TPanel(this);
            p->SetBounds((i % 20) * 30, (i / 20) * 30, 28, 28);
            p->SetParent(this);
            panels.push_back(p);
        }
    }
    std::vector<TPanel*> panels;
};

}  // namespace

int main()
{
    Application().Initialize();
    Themes(true);
    if (!GetThemeServices().ThemesEnabled()) {
        std::fprintf(stderr, "thememgr: visual styles are not available here\n");
        return 1;
    }
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    auto form = std::make_unique<BenchForm>();
    form->Show();
    DWORD start = GetTickCount();
    while (mgr->SubclassedCount() < kControls + 1 && GetTickCount() - start < 5000) {
        Pump();
        Sleep(1);
    }
    if (mgr->SubclassedCount() != kControls + 1) {
        std::fprintf(stderr, "thememgr: %d controls subclassed\n", mgr->SubclassedCount());
        return 1;
    }
    TPanel* target = form->panels[kControls / 2];
    HWND h = target->Handle();
    Themes(false);
    TimeMessages(h);   // warm up
    std::vector<double> hooked, plain;
    for (int round = 0; round < kRounds; ++round) {
        bool hookedFirst = round % 2 == 0;
        if (hookedFirst)
            hooked.push_back(TimeMessages(h));
        mgr->SubclassControl(target, false);
        plain.push_back(TimeMessages(h));
        Themes(true);
        mgr->SubclassControl(target, true);
        Themes(false);
        if (!hookedFirst)
            hooked.push_back(TimeMessages(h));
    }
    if (!mgr->IsSubclassed(target)) {
        std::fprintf(stderr, "thememgr: the panel was not subclassed again\n");
        return 1;
    }
    std::printf("thememgr_msg_overhead_200 %.3f ratio\n", Median(hooked) / Median(plain));
    form.reset();
    mgr.reset();
    SetComCtlVersionProviderForTesting({});
    return 0;
}
