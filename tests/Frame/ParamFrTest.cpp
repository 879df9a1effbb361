// The parameter frame's copy: the forum markup of a shown record, read back
// from the real clipboard, and of no record.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Frame/ParamFr.h"
#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::string ClipboardText()
{
    std::string text;
    if (!OpenClipboard(nullptr))
        return "(clipboard busy)";
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            text = WideToUtf8(p);
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

TEST(ParamFrameTest, CopyGivesTheForumMarkup)
{
    LoadLanguageResource("LANG_EN");
    LoadLangGlobals();
    Application().SetTitle("Brenix");
    TForm form(nullptr);
    auto* frame = new TParamFrame(&form);
    frame->SetParent(&form);
    frame->VersionText = "1.5.0.0";
    ASSERT_EQ(frame->VSTree->RootNodeCount(), 13u);

    TFahView view(nullptr);
    view.CompConfig = "Core 2 Duo E8400";
    view.ProjectRcgText = "2669 (1-2-3)";
    view.WUName = "p2669_IBX in water";
    view.WuSizeText = "4,839.9 KB";
    view.ResultSizeText = "8.81 MB";
    view.Credit = 1920;
    view.Frames = 100;
    view.Core = "GROAcc";
    view.ServerIP = "171.64.65.56";
    view.PPHText = "55.43";
    view.Percent = 42;
    view.StepText = "0:17:19";
    view.ClientCfgText = "[settings]\r\nbigpackets=big\r\n";
    frame->ShowView(&view);
    const std::string foot = "[url=" + std::string(kBrenixSiteRoot) + "][color=silver]Brenix 1.5.0.0[/color][/url]"
                             "[/quote]\r\n";

    for (const char* ppd : {"1330", ""}) {
        SCOPED_TRACE(ppd);
        view.PPDText = ppd;
        frame->CopyToClipboard();
        const std::string ppdValue = *ppd ? "[b]1330[/b]" : "";
        EXPECT_EQ(ClipboardText(),
                  "[quote]Computer configuration: [b]Core 2 Duo E8400[/b]\r\n"
                  "Project: 2669 (1-2-3)\r\n"
                  "Work unit name: p2669_IBX in water\r\n"
                  "Work unit size: 4,839.9 KB\r\n"
                  "Result size: ~ 8.81 MB\r\n"
                  "Credit: 1920\r\n"
                  "Frames: 100\r\n"
                  "Core: GROAcc\r\n"
                  "Server IP: 171.64.65.56\r\n"
                  "Points/hour: 55.43\r\n"
                  "Points/day: " + ppdValue + "\r\n"
                  "Average time per frame: 0:17:19\r\n"
                  "Client.cfg: bigpackets=big\r\n"
                  "Completed: 42%\r\n" + foot);
    }
    frame->ShowView(nullptr);
    frame->CopyToClipboard();
    const std::string none = ClipboardText();
    EXPECT_EQ(none.substr(0, 37), "[quote]Computer configuration: [b][/b");
    EXPECT_EQ(none.find("Completed"), std::string::npos);
    EXPECT_EQ(none.substr(none.size() - foot.size()), foot);
}

}  // namespace
