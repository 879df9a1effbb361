#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cmath>

#include "Classes/FahUtils.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Classes/ProjectInfo.h"
#include "Classes/UploadSizes.h"
#include "ProjDbFixture.h"
#include "platform/DateTime.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using projdb_test::DataFolderTest;

namespace {

// A client object on a folder of the test, without a polling thread.
std::unique_ptr<TFah> MakeFah(const std::string& folder)
{
    TFahParams params;
    params.Folder = folder;
    params.StartPolling = false;
    return std::make_unique<TFah>(params);
}

class FahViewTest : public DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        clientDir_ = appDir_->Path() + "client\\";
        CreateDirectoryW(Utf8ToWide(clientDir_).c_str(), nullptr);
        view_ = std::make_unique<TFahView>(MakeFah(clientDir_));
        TFormatSettings& fs = FormatSettings();
        for (int i = 0; i < 12; ++i)
            savedMonths_[i] = fs.shortMonthNames[i];
        const char* months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        for (int i = 0; i < 12; ++i)
            fs.shortMonthNames[i] = months[i];
    }
    void TearDown() override
    {
        view_.reset();
        for (int i = 0; i < 12; ++i)
            FormatSettings().shortMonthNames[i] = savedMonths_[i];
        DataFolderTest::TearDown();
    }

    TFah& Client() { return *view_->Fah(); }
    // Sets the client's unit the way its parse would, under its lock.
    void SetUnit(int project, double rate, const std::string& rcg = std::string(), const std::string& name = std::string())
    {
        TLock lock(Client().CritSection());
        Client().ProjectNumber = project;
        Client().Rate = rate;
        Client().RunCloneGen = rcg;
        Client().WUName = name;
    }

    std::string clientDir_;
    std::unique_ptr<TFahView> view_;
    std::string savedMonths_[12];
};

}  // namespace

TEST_F(FahViewTest, PointsPerHourAndPerDayFromCreditAndRate)
{
    SetUnit(2669, 0.06);   // credit 1920
    view_->Update();
    EXPECT_EQ(view_->Project, 2669);
    EXPECT_EQ(view_->Credit, 1920);
    EXPECT_EQ(view_->PPH.Raw(), 1152000);
    EXPECT_EQ(view_->PPHText, "115.20");
    EXPECT_EQ(view_->PPD, 2765);   // 2764.8
    EXPECT_EQ(view_->PPDText, "2765");

    PutDataFile("psummary.html",
                "<table><tr><th>h</th></tr><tr><td>9500</td><td>ip</td><td>p9500</td><td>1</td><td>2.00</td>"
                "<td>4.00</td><td>100.00</td><td>100</td><td>GRO</td><td><a href=x>d</a></td></tr></table>");
    ASSERT_EQ(LoadPSummary(), 1);
    SetUnit(9500, 0.05);
    view_->Update();
    EXPECT_EQ(view_->PPHText, "5.00");
    EXPECT_EQ(view_->PPD, 120);
}

TEST_F(FahViewTest, NoPointsWithoutRateOrProject)
{
    SetUnit(2669, 0.0);
    view_->Update();
    EXPECT_EQ(view_->Credit, 1920);
    EXPECT_EQ(view_->PPHText, "");
    EXPECT_EQ(view_->PPDText, "");
    EXPECT_EQ(view_->PPH.Raw(), 0);
    EXPECT_EQ(view_->PPD, 0);

    SetUnit(777777, 0.5);   // unknown to the database
    view_->Update();
    EXPECT_EQ(view_->Project, 0);
    EXPECT_EQ(view_->Credit, 0);
    EXPECT_EQ(view_->WUName, sNoData);
    EXPECT_EQ(view_->PPHText, "");
    EXPECT_EQ(view_->PPDText, "");

    // Rates no parse should give: negative, not a number, endless, absurdly large.
    for (double rate : {-0.5, std::nan(""), HUGE_VAL}) {
        SetUnit(2669, rate);
        EXPECT_NO_THROW(view_->Update());
        EXPECT_EQ(view_->PPHText, "");
        EXPECT_EQ(view_->PPD, 0);
    }
    SetUnit(2669, 1e300);
    EXPECT_NO_THROW(view_->Update());
    EXPECT_EQ(view_->PPD, INT_MAX);
    EXPECT_GT(view_->PPH.Raw(), 0);
}

TEST_F(FahViewTest, AbsurdPreferredDaysGiveNoDeadlineText)
{
    PutDataFile("psummary.html",
                "<table><tr><th>h</th></tr><tr><td>9600</td><td>ip</td><td>p9600</td><td>1</td><td>2147483647.00</td>"
                "<td>--</td><td>100.00</td><td>100</td><td>GRO</td><td><a href=x>d</a></td></tr></table>");
    ASSERT_EQ(LoadPSummary(), 1);
    {
        TLock lock(Client().CritSection());
        Client().ProjectNumber = 9600;
        Client().DownloadText = "09.03.15   10:20:30";
    }
    view_->Update();
    EXPECT_EQ(view_->PreferredDays, INT_MAX);
    EXPECT_EQ(view_->DownloadText, "15 Mar  10:20:30");
    EXPECT_EQ(view_->PrefDeadlineText, "");
    EXPECT_EQ(view_->FinalDeadline, "without limitation");
}

TEST_F(FahViewTest, ResultSizeIsLookedUpByTheClientsOwnProject)
{
    // The database lacks the project, the upload-size list has it.
    PutDataFile("upload_loc.dat", "#777123;1500;0\r\n");
    LoadUploadSizes();
    SetUnit(777123, 0.1);
    view_->Update();
    EXPECT_EQ(view_->Project, 0);
    EXPECT_EQ(view_->WUName, sNoData);
    EXPECT_EQ(view_->ResultSizeText, "1.46 KB");

    SetUnit(0, 0.1);
    view_->Update();
    EXPECT_EQ(view_->ResultSizeText, "");
}

TEST_F(FahViewTest, WorkUnitSizeInKilobytesOrMegabytes)
{
    auto sizeText = [&](double kb) {
        {
            TLock lock(Client().CritSection());
            Client().WuSize = TFixed4::FromDouble(kb);
        }
        view_->Update();
        return view_->WuSizeText;
    };
    EXPECT_EQ(sizeText(1023.9), "1,023.9 KB");
    EXPECT_EQ(sizeText(1024), "1.00 MB");
    EXPECT_EQ(sizeText(4725.0498), "4.61 MB");
    EXPECT_EQ(sizeText(0.5), "0.5 KB");
    EXPECT_EQ(FormatWuSize(TFixed4::FromInt(2048)), "2.00 MB");
}

TEST_F(FahViewTest, DatesStepTimeAndDeadlines)
{
    {
        TLock lock(Client().CritSection());
        Client().ProjectNumber = 2669;   // preferred 3 days
        Client().DownloadText = "09.03.15   10:20:30";
        Client().EtaText = "09.03.17   01:02:03";
        Client().DueText = sWithoutLimitation;
        Client().StepTime = 1.0 / 24 + 2.0 / 1440 + 3.0 / 86400;
    }
    view_->Update();
    EXPECT_DOUBLE_EQ(view_->DownloadTime, EncodeDateTime(2009, 3, 15, 10, 20, 30, 0));
    EXPECT_EQ(view_->DownloadText, "15 Mar  10:20:30");
    EXPECT_EQ(view_->EtaText, "17 Mar  01:02:03");
    EXPECT_EQ(view_->DueTime, 0);
    EXPECT_EQ(view_->DueText, "");
    EXPECT_EQ(view_->StepText, "1:02:03");
    EXPECT_EQ(view_->PreferredDays, 3);
    EXPECT_EQ(view_->PrefDeadlineText, "18 Mar  10:20:30");
    EXPECT_EQ(view_->FinalDeadline, "3");

    {
        TLock lock(Client().CritSection());
        Client().StepTime = 10.0 / 1440;
    }
    view_->Update();
    EXPECT_EQ(view_->StepText, "0:10:00");

    {
        TLock lock(Client().CritSection());
        Client().DownloadText.clear();
        Client().StepTime = 0;
    }
    view_->Update();
    EXPECT_EQ(view_->DownloadText, "");
    EXPECT_EQ(view_->PrefDeadlineText, "");
    EXPECT_EQ(view_->StepText, "");
}

TEST_F(FahViewTest, CopiesOfTheClientAndUserTeamText)
{
    {
        TLock lock(Client().CritSection());
        Client().Alias = "rig";
        Client().ServiceName = "FAH@rig";
        Client().SetCompConfig("  ");
        Client().Status = fsReadyForSend;
        Client().Percent = 100;
        Client().NewMessages = true;
        Client().UserName = "bob";
        Client().TeamNumber = 32;
    }
    view_->Update();
    EXPECT_EQ(view_->Folder, clientDir_);
    EXPECT_EQ(view_->ClientCfgFileName, clientDir_ + "client.cfg");
    EXPECT_EQ(view_->Alias, "rig");
    EXPECT_EQ(view_->DisplayName, "rig");
    EXPECT_EQ(view_->ServiceName, "FAH@rig");
    EXPECT_EQ(view_->CompConfig, sConfigNotDefined);
    EXPECT_EQ(view_->Status, fsReadyForSend);
    EXPECT_EQ(view_->StatusText, "ready to send");
    EXPECT_EQ(view_->Percent, 100);
    EXPECT_TRUE(view_->NewMessages);
    EXPECT_EQ(view_->UserTeamText, "bob (32)");

    {
        TLock lock(Client().CritSection());
        Client().Alias.clear();
        Client().UserName.clear();
        Client().TeamNumber = 0;
    }
    view_->Update();
    EXPECT_EQ(view_->DisplayName, clientDir_);
    EXPECT_EQ(view_->UserTeamText, "");

    {
        TLock lock(Client().CritSection());
        Client().TeamNumber = 7;
    }
    view_->Update();
    EXPECT_EQ(view_->UserTeamText, " (7)");

    view_->SetNewMessages(false);
    EXPECT_FALSE(view_->NewMessages);
    EXPECT_FALSE(Client().NewMessages);
}

TEST_F(FahViewTest, ProjectRunCloneGenTextAndItsChangeEvent)
{
    std::vector<std::pair<std::string, std::string>> changes;
    view_->OnChange = [&](TFahView& sender, const std::string& oldText, const std::string& newText) {
        EXPECT_EQ(&sender, view_.get());
        changes.emplace_back(oldText, newText);
    };
    SetUnit(2669, 0.06, "Run 1, Clone 2, Gen 3");
    view_->Update();
    EXPECT_EQ(view_->ProjectRcgText, "2669 (1-2-3)");
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].first, "");
    EXPECT_EQ(changes[0].second, "2669 (1-2-3)");

    // The list marks a shared unit; the same text again changes nothing.
    view_->UniqueUnit = false;
    view_->Update();
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_FALSE(view_->UniqueUnit);

    SetUnit(2669, 0.06, "Run 1, Clone 2, Gen 4");
    view_->Update();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].first, "2669 (1-2-3)");
    EXPECT_EQ(changes[1].second, "2669 (1-2-4)");
    EXPECT_TRUE(view_->UniqueUnit);

    SetUnit(2669, 0.06, "");
    view_->Update();
    EXPECT_EQ(view_->ProjectRcgText, "");
    EXPECT_EQ(changes.size(), 3u);
}

TEST_F(FahViewTest, UnknownProjectsKeepTheirOwnNumberInTheRunCloneGenText)
{
    TFahView other(MakeFah(clientDir_));
    SetUnit(777001, 0.1, "Run 5, Clone 6, Gen 7");
    {
        TLock lock(other.Fah()->CritSection());
        other.Fah()->ProjectNumber = 777002;
        other.Fah()->RunCloneGen = "Run 5, Clone 6, Gen 7";
    }
    view_->Update();
    other.Update();
    EXPECT_EQ(view_->Project, 0);
    EXPECT_EQ(view_->ProjectRcgText, "777001 (5-6-7)");
    EXPECT_EQ(other.ProjectRcgText, "777002 (5-6-7)");
    EXPECT_NE(view_->ProjectRcgText, other.ProjectRcgText);
}

TEST_F(FahViewTest, RunCloneGenOfTheLogForms)
{
    SetUnit(2669, 0, "Run 10, Clone 49, Gen 38");
    EXPECT_EQ(view_->FormatProjectRcg("Run 10, Clone 49, Gen 38"), "0 (10-49-38)");   // before any update
    view_->Update();
    EXPECT_EQ(view_->FormatProjectRcg("Run 10, Clone 49, Gen 38"), "2669 (10-49-38)");
    EXPECT_EQ(view_->FormatProjectRcg("Run 95, Clone 62, Gen 5)"), "2669 (95-62-5)");
    EXPECT_EQ(view_->FormatProjectRcg("Run 3, Clone 172"), "2669 (3-172-)");
    EXPECT_EQ(view_->FormatProjectRcg(""), "");
}

TEST_F(FahViewTest, ConfigurationSummary)
{
    auto summary = [&](const std::string& cfg) {
        view_->SetClientCfgText(cfg);
        return view_->GetCfgSummary();
    };
    EXPECT_EQ(summary(""), "");
    EXPECT_EQ(summary("[settings]\r\nusername=x\r\nBigPackets=BIG\r\n[clienttype]\r\ntype=3\r\n[core]\r\ncpuusage=75\r\n"),
              "bigpackets=big, type=3, cpuusage=75");
    EXPECT_EQ(summary("[settings]\r\nbigpackets=normal\r\n[core]\r\ncpuusage=100\r\n"), "bigpackets=normal");
    EXPECT_EQ(summary("[clienttype]\ntype=0\n"), "type=0");   // LF line ends
    EXPECT_EQ(summary("[core]\r\ncpuusage=50"), "");          // no line end behind the value
    // "type=" is looked for behind the bigpackets value only.
    EXPECT_EQ(summary("type=1\r\nbigpackets=small\r\n"), "bigpackets=small");
    // "cpuusage=" is looked for in the whole text.
    EXPECT_EQ(summary("[core]\r\ncpuusage=60\r\n[settings]\r\nbigpackets=big\r\n"), "bigpackets=big, cpuusage=60");

    std::string real = testing_support::ReadFile(
        testing_support::RealDataFile("clientcfg-v623-linux-advanced-defaults-fahwiki-reconstructed.cfg"));
    EXPECT_EQ(summary(real), "");
}

TEST_F(FahViewTest, EditedConfigurationGoesBackToTheClient)
{
    view_->SetClientCfgText("[settings]\r\nusername=someone\r\nteam=32");
    {
        TLock lock(Client().CritSection());
        ASSERT_EQ(Client().ClientCfgLines.Count(), 3);
        EXPECT_EQ(Client().ClientCfgLines[2], "team=32");
    }
    view_->Update();
    EXPECT_EQ(view_->ClientCfgText, "[settings]\r\nusername=someone\r\nteam=32\r\n");
}

TEST_F(FahViewTest, UnchangedConfigurationTextLeavesTheClientsLines)
{
    {
        TLock lock(Client().CritSection());
        Client().ClientCfgLines.SetText("[settings]\r\nteam=32\r\n");
    }
    view_->Update();
    // The client reads its file anew before the editor hands back the text it showed.
    {
        TLock lock(Client().CritSection());
        Client().ClientCfgLines.SetText("[settings]\r\nteam=33\r\n");
    }
    view_->SetClientCfgText("[settings]\r\nteam=32\r\n");
    {
        TLock lock(Client().CritSection());
        EXPECT_EQ(Client().ClientCfgLines.Text(), "[settings]\r\nteam=33\r\n");
    }
    view_->SetClientCfgText("[settings]\r\nteam=34\r\n");
    {
        TLock lock(Client().CritSection());
        EXPECT_EQ(Client().ClientCfgLines.Text(), "[settings]\r\nteam=34\r\n");
    }
}

TEST_F(FahViewTest, RealClientFolder)
{
    testing_support::WriteFile(clientDir_ + "FAHlog.txt", testing_support::ReadFile(testing_support::RealDataFile(
                                                              "fahlog-smp-a2-linux-interrupted-badwus.txt")));
    testing_support::WriteFile(clientDir_ + "client.cfg",
                               testing_support::ReadFile(testing_support::RealDataFile(
                                   "clientcfg-v623-linux-advanced-defaults-fahwiki-reconstructed.cfg")));
    TFah::SetFileReadPause(0);
    Client().Refresh(true);
    TFah::SetFileReadPause(100);
    view_->Update();

    // The log's newest unit: P2677 (Run 28, Clone 77, Gen 45) at 45 %.
    EXPECT_EQ(view_->Project, 2677);
    EXPECT_EQ(view_->ProjectRcgText, "2677 (28-77-45)");
    EXPECT_EQ(view_->Percent, 45);
    EXPECT_EQ(view_->ServerIP, "171.64.65.56");
    EXPECT_EQ(view_->WUName, "p2677_IBX in water");
    EXPECT_EQ(view_->Credit, 1920);
    EXPECT_EQ(view_->Core, "GROCVS");
    EXPECT_EQ(view_->ResultSizeText, "46.4 MB");
    EXPECT_EQ(view_->WuSizeText, "4.61 MB");   // payload of 4838451 bytes
    EXPECT_EQ(view_->StatusText, StatusNames[view_->Status]);
    EXPECT_NE(view_->ClientCfgText.find("username=Anonymous\r\n"), std::string::npos);
    // A step every 686.333 s (below).
    EXPECT_EQ(view_->StepText, "0:11:26");

    // The newest progress lines: 41 % at 01:02:55, then 42 % 01:14:33,
    // 43 % 01:25:13, 44 % 01:36:44, 45 % 01:48:52. The oldest step may be a
    // resume and is left out, so 3 steps of 1 % took 640 + 691 + 728 s =
    // 2059 s, 686.333 s a step: 5.24526 % of the unit an hour.
    // 1920 points x 0.0524526 = 100.7091 points an hour; x 24 = 2417 a day.
    EXPECT_EQ(view_->PPH.Raw(), 1007091);
    EXPECT_EQ(view_->PPHText, "100.71");
    EXPECT_EQ(view_->PPD, 2417);
    EXPECT_EQ(view_->PPDText, "2417");
}

TEST_F(FahViewTest, RealClientFolderWhoseUnitHasNoProgressYet)
{
    // The log ends while the finished unit P2677 (35-31-38) is being sent:
    // no progress line follows its project line, so there is no rate and no
    // points per hour, although the credit is known.
    testing_support::WriteFile(clientDir_ + "FAHlog.txt", testing_support::ReadFile(testing_support::RealDataFile(
                                                              "fahlog-smp-a2-linux-sending-results.txt")));
    TFah::SetFileReadPause(0);
    Client().Refresh(true);
    TFah::SetFileReadPause(100);
    view_->Update();
    EXPECT_EQ(view_->Project, 2677);
    EXPECT_EQ(view_->ProjectRcgText, "2677 (35-31-38)");
    EXPECT_EQ(view_->Credit, 1920);
    EXPECT_EQ(view_->PPH.Raw(), 0);
    EXPECT_EQ(view_->PPHText, "");
    EXPECT_EQ(view_->PPD, 0);
    EXPECT_EQ(view_->PPDText, "");
}

namespace {
struct THolder {
    TFah* fah;
    HANDLE locked;
};
DWORD WINAPI HoldLockThenFinish(LPVOID p)
{
    auto* h = static_cast<THolder*>(p);
    h->fah->Lock();
    SetEvent(h->locked);
    Sleep(300);
    h->fah->Percent = 42;
    h->fah->ProjectNumber = 2669;
    h->fah->Unlock();
    return 0;
}
}  // namespace

TEST_F(FahViewTest, UpdateWaitsForTheClientsLock)
{
    THolder holder{&Client(), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE t = CreateThread(nullptr, 0, &HoldLockThenFinish, &holder, 0, nullptr);
    ASSERT_NE(t, nullptr);
    WaitForSingleObject(holder.locked, 5000);
    view_->Update();   // waits until the other thread's store is complete
    EXPECT_EQ(view_->Percent, 42);
    EXPECT_EQ(view_->Project, 2669);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    CloseHandle(holder.locked);
}

TEST_F(FahViewTest, ViewWithoutClientDoesNothing)
{
    TFahView empty(nullptr);
    EXPECT_NO_THROW(empty.Update());
    EXPECT_EQ(empty.Fah(), nullptr);
    EXPECT_EQ(empty.StatusText, "");
    EXPECT_TRUE(empty.UniqueUnit);
    EXPECT_FALSE(empty.NewMessages);
    empty.SetClientCfgText("a=1");
    empty.SetNewMessages(true);
    EXPECT_EQ(empty.GetCfgSummary(), "");
}

// --- totals ---------------------------------------------------------------

TEST_F(DataFolderTest, TotalsKeepEarliestPositiveDatesAndLargestPercent)
{
    TFahViewSum sum("rig");
    EXPECT_EQ(sum.GetEtaText(), "");
    EXPECT_EQ(sum.GetDueText(), "");
    EXPECT_EQ(sum.GetPrefDeadlineText(), "");
    sum.AddEta(0);
    sum.AddEta(-5);
    EXPECT_EQ(sum.EtaTime, 0);

    TDateTime a = EncodeDateTime(2009, 3, 15, 10, 0, 0, 0);
    TDateTime b = EncodeDateTime(2009, 3, 12, 8, 30, 0, 0);
    sum.AddEta(a);
    sum.AddEta(b);
    sum.AddEta(a);
    sum.AddEta(0);
    EXPECT_DOUBLE_EQ(sum.EtaTime, b);
    EXPECT_EQ(sum.GetEtaText(), FormatDateTime("d mmm  hh:nn:ss", b));
    sum.AddDueTime(a);
    sum.AddDueTime(-1);
    EXPECT_DOUBLE_EQ(sum.DueTime, a);
    sum.AddPrefDeadline(b);
    sum.AddPrefDeadline(a);
    EXPECT_DOUBLE_EQ(sum.PrefDeadline, b);

    sum.AddPercent(45);
    sum.AddPercent(12);
    sum.AddPercent(99);
    sum.AddPercent(3);
    EXPECT_EQ(sum.MaxPercent, 99);
    EXPECT_EQ(sum.GetPercentText(), "99  ");

    sum.AddPoints(1920, 2765, TFixed4::FromRaw(1152000));
    sum.AddPoints(100, 120, TFixed4::FromRaw(50000));
    EXPECT_EQ(sum.Credit, 2020);
    EXPECT_EQ(sum.PPD, 2885);
    EXPECT_EQ(sum.PPH.Raw(), 1202000);

    sum.RowNumber = 1;
    EXPECT_EQ(sum.GetNameText(), "1. rig");
    sum.RowNumber = 2;
    EXPECT_EQ(sum.GetNameText(), "2. rig");
    sum.Clear();
    EXPECT_EQ(sum.GetNameText(), "rig");
    EXPECT_EQ(sum.Name, "rig");
    EXPECT_EQ(sum.Credit, 0);
    EXPECT_EQ(sum.PPH.Raw(), 0);
    EXPECT_EQ(sum.PPD, 0);
    EXPECT_EQ(sum.EtaTime, 0);
    EXPECT_EQ(sum.DueTime, 0);
    EXPECT_EQ(sum.PrefDeadline, 0);
    EXPECT_EQ(sum.MaxPercent, 0);
    EXPECT_EQ(sum.GetDueText(), "");
    sum.SetName("all");
    EXPECT_EQ(sum.GetNameText(), "all");
}

TEST_F(DataFolderTest, TotalsStayAtTheirLimitsWithAbsurdCredits)
{
    // Two rows of a project whose page claimed the largest credit there is.
    TFahViewSum sum("rig");
    sum.AddPoints(INT_MAX, INT_MAX, TFixed4::FromRaw(INT64_MAX));
    sum.AddPoints(INT_MAX, INT_MAX, TFixed4::FromRaw(INT64_MAX));
    EXPECT_EQ(sum.Credit, INT_MAX);
    EXPECT_EQ(sum.PPD, INT_MAX);
    EXPECT_EQ(sum.PPH.Raw(), INT64_MAX);
    sum.AddPoints(-5, -5, TFixed4::FromRaw(-5));
    EXPECT_EQ(sum.Credit, INT_MAX - 5);

    sum.Clear();
    sum.AddPoints(INT_MIN, INT_MIN, TFixed4::FromRaw(INT64_MIN));
    sum.AddPoints(-1, -1, TFixed4::FromRaw(-1));
    EXPECT_EQ(sum.Credit, INT_MIN);
    EXPECT_EQ(sum.PPD, INT_MIN);
    EXPECT_EQ(sum.PPH.Raw(), INT64_MIN);

    // Ordinary sums are plain sums.
    sum.Clear();
    sum.AddPoints(1920, 2765, TFixed4::FromRaw(1152000));
    sum.AddPoints(-20, -65, TFixed4::FromRaw(-2000));
    EXPECT_EQ(sum.Credit, 1900);
    EXPECT_EQ(sum.PPD, 2700);
    EXPECT_EQ(sum.PPH.Raw(), 1150000);
}

TEST_F(DataFolderTest, DatesBeyondTheCalendarShowNoText)
{
    EXPECT_EQ(FormatListDate(EncodeDateTime(9999, 12, 31, 23, 59, 59, 0)), "31 " + FormatSettings().shortMonthNames[11] +
                                                                              "  23:59:59");
    EXPECT_EQ(FormatListDate(EncodeDate(9999, 12, 31) + 10), "");
    EXPECT_EQ(FormatListDate(1e300), "");
    EXPECT_EQ(FormatListDate(HUGE_VAL), "");
    EXPECT_EQ(FormatListDate(std::nan("")), "");
    TFahViewSum sum("rig");
    sum.AddPrefDeadline(EncodeDate(2009, 3, 15) + 2147483647.0);
    EXPECT_EQ(sum.GetPrefDeadlineText(), "");
}

TEST_F(DataFolderTest, TotalsCountClientsByState)
{
    TFahViewSum sum(sTotal);
    sum.IncRunCount();
    sum.IncRunCount();
    sum.IncReadyCount();
    sum.IncClientCount(3);
    EXPECT_EQ(sum.GetStatusSummary(), "run: 2, rea: 1, sto: 0, total 3");
    sum.IncStoppedCount(4);
    sum.IncClientCount(4);
    EXPECT_EQ(sum.GetStatusSummary(), "run: 2, rea: 1, sto: 4, total 7");
    sum.Clear();
    EXPECT_EQ(sum.GetStatusSummary(), "run: 0, rea: 0, sto: 0, total 0");

    // In Russian: three letters, not three bytes.
    SetUserLanguageIdForTesting(0x0419);
    InitLanguage();
    ASSERT_EQ(CurrentLanguage, 2);
    std::string text = sum.GetStatusSummary();
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_EQ(text.substr(0, text.find(':')), CutChars(StatusNames[fsRunning], 3));
    EXPECT_EQ(text.find(':'), CutChars(StatusNames[fsRunning], 3).size());
    EXPECT_GT(text.find(':'), 3u);   // Cyrillic letters take two bytes each
    SetUserLanguageIdForTesting(0x0409);
    InitLanguage();
}

TEST_F(FahViewTest, EveryUpdateFollowsTheClientAndTheLanguage)
{
    {
        TLock lock(Client().CritSection());
        Client().ProjectNumber = 2669;
        Client().Rate = 0.06;
        Client().WuSize = TFixed4::FromInt(900);
        Client().DownloadText = "09.03.15   10:20:30";
        Client().Status = fsRunning;
    }
    view_->Update();
    EXPECT_EQ(view_->PPHText, "115.20");
    EXPECT_EQ(view_->WuSizeText, "900.0 KB");
    EXPECT_EQ(view_->DownloadText, "15 Mar  10:20:30");
    EXPECT_EQ(view_->StatusText, "running");
    {
        TLock lock(Client().CritSection());
        Client().Rate = 0.03;
        Client().WuSize = TFixed4::FromInt(2048);
        Client().DownloadText = "09.04.01   00:00:05";
        Client().ProjectNumber = 777777;
    }
    view_->Update();
    EXPECT_EQ(view_->PPHText, "");
    {
        TLock lock(Client().CritSection());
        Client().ProjectNumber = 2669;
    }
    view_->Update();
    EXPECT_EQ(view_->PPHText, "57.60");
    EXPECT_EQ(view_->PPDText, "1382");
    EXPECT_EQ(view_->WuSizeText, "2.00 MB");
    EXPECT_EQ(view_->DownloadText, "1 Apr  00:00:05");
    EXPECT_EQ(view_->PrefDeadlineText, "4 Apr  00:00:05");

    // A language switch shows in the next update.
    SetUserLanguageIdForTesting(0x0419);
    InitLanguage();
    ASSERT_EQ(CurrentLanguage, 2);
    {
        TLock lock(Client().CritSection());
        Client().ProjectNumber = 777777;
    }
    view_->Update();
    EXPECT_EQ(view_->StatusText, StatusNames[fsRunning]);
    EXPECT_NE(view_->StatusText, "running");
    EXPECT_EQ(view_->WuSizeText, "2.00 " + sMB);
    EXPECT_EQ(view_->WUName, sNoData);
    EXPECT_NE(view_->WUName, "no data (maybe you should update the WU database)");
    SetUserLanguageIdForTesting(0x0409);
    InitLanguage();
    view_->Update();
    EXPECT_EQ(view_->WuSizeText, "2.00 MB");
}
