#include <gtest/gtest.h>

#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/ProjectInfo.h"
#include "ProjDbFixture.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Resources.h"
#include "platform/StringList.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using projdb_test::DataFolderTest;

namespace {

TProjectInfo Lookup(int project, const std::string& name = std::string())
{
    TProjectInfo info;
    info.Project = project;
    info.WUName = name;
    FindProjectInfo(info);
    return info;
}

// A summary page in the old upper-case style, rows given as their cells.
std::string UpperCasePage(const std::vector<std::vector<std::string>>& rows)
{
    std::string page = "<HTML><BODY><TABLE BORDER=1>\r\n<TR><TH>Project Number</TH><TH>Server IP</TH></TR>\r\n";
    for (const auto& cells : rows) {
        page += "<TR>";
        for (const auto& c : cells)
            page += "<TD>" + c + "</TD>";
        page += "<TD><A HREF=\"http://example.invalid/p\">Description</A></TD><TD>someone</TD></TR>\r\n";
    }
    return page + "</TABLE></BODY></HTML>\r\n";
}

}  // namespace

TEST_F(DataFolderTest, PathsLieInTheDataFolderBesideTheProgram)
{
    EXPECT_EQ(AppDir(), appDir_->Path());
    EXPECT_EQ(DataDir(), appDir_->Path() + "Data\\");
    EXPECT_EQ(PSummaryFile(), DataDir() + "psummary.html");
    EXPECT_EQ(PSummaryTmpFile(), DataDir() + "psummary.tmp");
    EXPECT_EQ(UploadFile(), DataDir() + "upload.dat");
    EXPECT_EQ(UploadTmpFile(), DataDir() + "upload.tmp");
    EXPECT_EQ(UploadLocFile(), DataDir() + "upload_loc.dat");
    EXPECT_EQ(LastVerTmpFile(), DataDir() + "lastver.tmp");
}

TEST_F(DataFolderTest, DataFolderIsCreatedWithItsMissingParents)
{
    std::string deep = appDir_->Path() + "a\\b\\c";
    EXPECT_TRUE(SetAppDir(deep));
    EXPECT_EQ(AppDir(), deep + "\\");
    EXPECT_TRUE(DirectoryExists(deep + "\\Data"));
}

TEST_F(DataFolderTest, AFolderThatCannotBeMadeIsNotFatal)
{
    // A plain file where the program folder should be: nothing can be made below it.
    std::string blocker = appDir_->File("blocker");
    testing_support::WriteFile(blocker, "x");
    EXPECT_FALSE(SetAppDir(blocker + "\\prog"));
    EXPECT_FALSE(DirectoryExists(DataDir()));
    EXPECT_FALSE(EnsureDataDir());
    // The database still comes up from the built-in tables.
    EXPECT_NO_THROW(InitProjectDatabase());
    EXPECT_EQ(LoadPSummary(), 0);
    EXPECT_EQ(Lookup(2610).Credit, 1523);
    // Writing there fails with an error the caller can report.
    EXPECT_THROW(WriteFileAtomic(PSummaryTmpFile(), "page"), EFileError);
}

TEST_F(DataFolderTest, BuiltInTableHoldsTheRealPageProjects)
{
    const TDataLines& list = ProjectList();
    ASSERT_EQ(list.Count(), 203);
    EXPECT_EQ(list[0],
              "Project Number;Server IP;Work Unit Name;Number of Atoms;Preferred (days);"
              "Final deadline (days);Credit;Frames;Code");
    EXPECT_EQ(list[1], "#1741;134.139.127.31;p1741_BCHE_NAT_300_03-33;98813;14.00;28.00;2137.60;100;GROMACS33");
    EXPECT_EQ(list[202], "#6326;171.64.65.60;p6326;6397;10.00;20.00;104.00;100;GRO");
}

TEST_F(DataFolderTest, RealPageParsesIntoAllItsProjectsWithTheCore)
{
    std::vector<std::string> rows = ParsePSummary(RealPage());
    ASSERT_EQ(rows.size(), 202u);
    EXPECT_EQ(rows[0], "#1741;134.139.127.31;p1741_BCHE_NAT_300_03-33;98813;14.00;28.00;2137.60;100;GROMACS33");
    EXPECT_EQ(rows[5], "#2610;171.64.65.64;p2610_P2610;126010;4.00;4.00;1523.00;100;GRO-SMP");
    EXPECT_EQ(rows[201], "#6326;171.64.65.60;p6326;6397;10.00;20.00;104.00;100;GRO");
    // The program's parser and the table generator read the page the same way.
    TStringList table(LoadRCData("AddFahInfo"));
    ASSERT_EQ(table.Count(), 203);
    for (int i = 0; i < 202; ++i)
        EXPECT_EQ(rows[static_cast<size_t>(i)], table[i + 1]) << "row " << i;
}

TEST_F(DataFolderTest, LoadedPageGoesOnTopLastRowFirst)
{
    PutDataFile("psummary.html", RealPage());
    EXPECT_EQ(LoadPSummary(), 202);
    const TDataLines& list = ProjectList();
    ASSERT_EQ(list.Count(), 405);
    EXPECT_EQ(list[0], "#6326;171.64.65.60;p6326;6397;10.00;20.00;104.00;100;GRO");
    EXPECT_EQ(list[201], "#1741;134.139.127.31;p1741_BCHE_NAT_300_03-33;98813;14.00;28.00;2137.60;100;GROMACS33");
    EXPECT_EQ(list.IndexOfProject(6326), 0);
    EXPECT_EQ(list.IndexOfProject(1741), 201);
    // Every load adds the rows again above the older ones.
    EXPECT_EQ(LoadPSummary(), 202);
    EXPECT_EQ(list.Count(), 607);
    EXPECT_EQ(list.IndexOfProject(1741), 201);
    EXPECT_EQ(list.IndexOfProject(6326), 0);
}

TEST_F(DataFolderTest, RecordIsFilledFieldByField)
{
    TProjectInfo info = Lookup(4606);
    EXPECT_EQ(info.Project, 4606);
    EXPECT_EQ(info.ServerIP, "169.230.26.30");
    EXPECT_EQ(info.WUName, "p4606_T0_proG-8_minout");
    EXPECT_EQ(info.Atoms, 157);
    EXPECT_EQ(info.PreferredDays, 8);   // 8.50
    EXPECT_EQ(info.FinalDeadline, "12");   // 12.80
    EXPECT_EQ(info.Credit, 47);
    EXPECT_EQ(info.Frames, 100);
    EXPECT_EQ(info.Core, "AMBER");

    info = Lookup(1741);
    EXPECT_EQ(info.Credit, 2137);
    EXPECT_EQ(info.FinalDeadline, "28");
    EXPECT_EQ(info.Core, "GROMACS33");
}

TEST_F(DataFolderTest, PageValuesWinOverTheBuiltInRow)
{
    std::string page = RealPage();
    std::string before = "<td>1741</td><td>134.139.127.31</td><td>p1741_BCHE_NAT_300_03-33</td><td>98813</td>"
                         "<td>14.00</td><td>28.00</td><td>2137.60</td><td>100</td><td>GROMACS33</td>";
    std::string after = "<td>1741</td><td>10.0.0.7</td><td>p1741_BCHE_NAT_300_03-33</td><td>98813</td>"
                        "<td>9.00</td><td>--</td><td>4321.00</td><td>200</td><td>GROMACS99</td>";
    size_t at = page.find(before);
    ASSERT_NE(at, std::string::npos);
    page.replace(at, before.size(), after);
    PutDataFile("psummary.html", page);
    ASSERT_EQ(LoadPSummary(), 202);

    TProjectInfo info = Lookup(1741);
    EXPECT_EQ(info.ServerIP, "10.0.0.7");
    EXPECT_EQ(info.PreferredDays, 9);
    EXPECT_EQ(info.FinalDeadline, "without limitation");
    EXPECT_EQ(info.Credit, 4321);
    EXPECT_EQ(info.Frames, 200);
    EXPECT_EQ(info.Core, "GROMACS99");
}

TEST_F(DataFolderTest, NameLookupIgnoresCaseAndTakesTheTopmostLine)
{
    TProjectInfo info = Lookup(987654, "P1751_ache_NAT_300");
    EXPECT_EQ(info.Project, 1751);
    EXPECT_EQ(info.WUName, "p1751_ACHE_NAT_300_03-33");
    EXPECT_EQ(info.Credit, 2137);

    // "p2494" begins the names of 2494 only; "p249" those of 2494 and 2495: the upper line wins.
    EXPECT_EQ(Lookup(0, "p2495").Project, 2495);
    EXPECT_EQ(Lookup(0, "p249").Project, 2494);
    // Found by the number first, even when the name is another project's.
    EXPECT_EQ(Lookup(2610, "p1751").Project, 2610);
}

TEST_F(DataFolderTest, NameLookupLooksAtTheWorkUnitNameOnly)
{
    // A unit named after its core ("Gromacs") is not any GROMACS project,
    // nor does a server address or a number column name a unit.
    EXPECT_EQ(Lookup(0, "Gromacs").Project, 0);
    EXPECT_EQ(Lookup(0, "171.64.65.64").Project, 0);
    EXPECT_EQ(Lookup(0, "Work Unit Name").Project, 0);
}

TEST_F(DataFolderTest, UnknownProjectGivesNoData)
{
    TProjectInfo info;
    info.Project = 424242;
    info.WUName = "p424242_nowhere";
    info.Credit = 7;
    info.Core = "X";
    EXPECT_FALSE(FindProjectInfo(info));
    EXPECT_EQ(info.Project, 0);
    EXPECT_EQ(info.WUName, "no data (maybe you should update the WU database)");
    EXPECT_EQ(info.ServerIP, "");
    EXPECT_EQ(info.Atoms, 0);
    EXPECT_EQ(info.PreferredDays, 0);
    EXPECT_EQ(info.FinalDeadline, "");
    EXPECT_EQ(info.Credit, 0);
    EXPECT_EQ(info.Frames, 0);
    EXPECT_EQ(info.Core, "");

    TProjectInfo none;
    EXPECT_FALSE(FindProjectInfo(none));   // project 0, no name
    EXPECT_EQ(none.WUName, sNoData);
}

TEST_F(DataFolderTest, LongNamesAreCutToTheirCapacity)
{
    TProjectInfo info = Lookup(2681);
    EXPECT_EQ(info.WUName.size(), 64u);
    EXPECT_EQ(info.WUName, std::string("p2681_Generated by trjconv : SINGLE VESICLE in water t= 25000.00195").substr(0, 64));
    EXPECT_EQ(info.Core, "GROCVS");
    EXPECT_EQ(info.Credit, 25403);

    PutDataFile("psummary.html",
                UpperCasePage({{"77001", "123.123.123.123.123.123", std::string(70, 'n'), "5", "1.00", "2.00", "3.00",
                                "4", "CORE-NAME-LONGER-THAN-TWENTY"},
                               {"77002", "1.1.1.1",
                                // 70 two-byte letters: cut between letters, never inside one
                                [] {
                                    std::string s;
                                    for (int i = 0; i < 70; ++i)
                                        s += "\xD0\x96";
                                    return s;
                                }(),
                                "5", "1.00", "2.00", "3.00", "4", "C"}}));
    ASSERT_EQ(LoadPSummary(), 2);
    info = Lookup(77001);
    EXPECT_EQ(info.ServerIP, "123.123.123.123.123.");
    EXPECT_EQ(info.WUName, std::string(64, 'n'));
    EXPECT_EQ(info.Core, "CORE-NAME-LONGER-THA");
    info = Lookup(77002);
    EXPECT_EQ(info.WUName.size(), 128u);
    EXPECT_TRUE(IsValidUtf8(info.WUName));
}

TEST_F(DataFolderTest, UpperCasePagesParseAsBefore)
{
    std::string page = UpperCasePage({{"9001", "10.1.1.1", "p9001_upper", "1000", "3.00", "--", "1920.00", "100", "GRO-A4"},
                                      {"9002", "10.1.1.2", "p9002_upper", "2000", "5.50", "67.00", "600.00", "400", "AMBER"}});
    std::vector<std::string> rows = ParsePSummary(page);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "#9001;10.1.1.1;p9001_upper;1000;3.00;--;1920.00;100;GRO-A4");
    PutDataFile("psummary.html", page);
    ASSERT_EQ(LoadPSummary(), 2);
    TProjectInfo info = Lookup(9001);
    EXPECT_EQ(info.FinalDeadline, "without limitation");
    EXPECT_EQ(info.Core, "GRO-A4");
    EXPECT_EQ(Lookup(9002).FinalDeadline, "67");
    EXPECT_EQ(Lookup(9002).PreferredDays, 5);
}

TEST_F(DataFolderTest, EntitiesAndSemicolonsDoNotShiftFields)
{
    std::string page = UpperCasePage({{"9100", "10.0.0.1", "p9100&nbsp;a;b &amp; c&#59;d", "12", "1.00", "2.00",
                                       "333.00", "100", "GRO&nbsp;SMP"},
                                      {"9101", "10.0.0.2", "line\r\nbreak\tinside", "12", "1.00", "2.00", "444.00",
                                       "100", "AMBER"}});
    std::vector<std::string> rows = ParsePSummary(page);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "#9100;10.0.0.1;p9100 a,b & c,d;12;1.00;2.00;333.00;100;GRO SMP");
    EXPECT_EQ(rows[1], "#9101;10.0.0.2;line  break inside;12;1.00;2.00;444.00;100;AMBER");
    PutDataFile("psummary.html", page);
    ASSERT_EQ(LoadPSummary(), 2);
    EXPECT_EQ(ProjectList().Count(), 205);   // one line each
    TProjectInfo info = Lookup(9100);
    EXPECT_EQ(info.Credit, 333);
    EXPECT_EQ(info.Frames, 100);
    EXPECT_EQ(info.Core, "GRO SMP");
    EXPECT_EQ(Lookup(9101).Credit, 444);
}

TEST_F(DataFolderTest, RowsWithoutNumberOrLinkYieldNothing)
{
    std::string page =
        "<table>\n<tr><th>Project Number</th></tr>\n"
        "<tr><td>abc</td><td>x</td><td><a href=\"d\">Description</a></td></tr>\n"
        "<tr><td>0</td><td>x</td><td><a href=\"d\">Description</a></td></tr>\n"
        "<tr><td>9200</td><td>no link cell</td><td>y</td></tr>\n"
        "<TR BGCOLOR=\"#ffffff\">\n <TD ALIGN=right> 9201 </TD>\n <td>10.0.0.9</td>\n <td>p9201</td>\n"
        " <td><a href=\"d\">Description</a></td></tr>\n"
        "<tr><td>9202</td><td>ip</td><td>p9202_no_closing_tr</td><td><a href=x>d</a></td>\n"
        "<tr><td>9203</td><td>ip</td><td>p9203</td><td><a href=x>d</a></td></tr>\n"
        // Tags whose names only begin like a row's or a cell's are text.
        "<tr><td>9204</td><td>ip<track/></td><td>p9204<tdx>y</tdx></td><td><a href=x>d</a></td></tr>\n"
        "</table>";
    std::vector<std::string> rows = ParsePSummary(page);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "#9201;10.0.0.9;p9201");
    EXPECT_EQ(rows[1], "#9202;ip;p9202_no_closing_tr");
    EXPECT_EQ(rows[2], "#9203;ip;p9203");
    EXPECT_EQ(rows[3], "#9204;ip<track/>;p9204<tdx>y</tdx>");
}

TEST_F(DataFolderTest, HostilePagesAddNothingAndDoNotCrash)
{
    EXPECT_TRUE(ParsePSummary("").empty());
    EXPECT_TRUE(ParsePSummary("<tr><td>1</td><td><a>x</a></td></tr>").empty());   // no table
    EXPECT_TRUE(ParsePSummary("<table><tr").empty());
    EXPECT_TRUE(ParsePSummary("<table><tr><th>h</th></tr><tr><td>5").empty());
    EXPECT_TRUE(ParsePSummary("<table><tr><th>h</th></tr><tr bgcolor=\"x\"").empty());

    std::string binary;
    unsigned seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        binary += static_cast<char>(seed >> 16);
    }
    binary.insert(1000, "<table><tr><td>");
    EXPECT_NO_THROW(ParsePSummary(binary));
    PutDataFile("psummary.html", binary);
    EXPECT_NO_THROW(LoadPSummary());
    EXPECT_EQ(Lookup(2610).Credit, 1523);

    // A missing page: nothing happens.
    DeleteFileUtf8(PSummaryFile());
    int before = ProjectList().Count();
    EXPECT_EQ(LoadPSummary(), 0);
    EXPECT_EQ(ProjectList().Count(), before);
}

TEST_F(DataFolderTest, ACellOfAmpersandsWithoutEntitiesIsReadInOnePass)
{
    // 4 MB of "&" and no ";" anywhere near: each "&" may only look a few
    // characters ahead for the end of an entity, or the page never finishes.
    std::string page = UpperCasePage({{"9400", "ip", "p9400_" + std::string(4u << 20, '&') + "x", "1", "1.00", "2.00",
                                       "3.00", "4", "GRO"},
                                      {"9401", "ip", "p9401&amp;b", "1", "1.00", "2.00", "5.00", "4", "AMBER"}});
    PutDataFile("psummary.html", page);
    ASSERT_EQ(LoadPSummary(), 2);
    TProjectInfo info = Lookup(9400);
    EXPECT_EQ(info.WUName, "p9400_" + std::string(58, '&'));
    EXPECT_EQ(info.Credit, 3);
    EXPECT_EQ(info.Core, "GRO");
    EXPECT_EQ(Lookup(9401).WUName, "p9401&b");
}

TEST_F(DataFolderTest, PageInAnAnsiCodePageReadsAsText)
{
    // "caf\xE9" is not UTF-8: the page is read as Windows-1252.
    PutDataFile("psummary.html", UpperCasePage({{"9300", "ip", "p9300_caf\xE9", "1", "1.00", "2.00", "3.00", "4", "C"}}));
    ASSERT_EQ(LoadPSummary(), 1);
    EXPECT_EQ(Lookup(9300).WUName, "p9300_caf\xC3\xA9");
}

TEST(ProjectLines, ProjectNumberOnlyInItsPlainForm)
{
    int p = -1;
    EXPECT_TRUE(LineProjectNumber("#123;x", p));
    EXPECT_EQ(p, 123);
    EXPECT_TRUE(LineProjectNumber("#-4;x", p));
    EXPECT_EQ(p, -4);
    EXPECT_FALSE(LineProjectNumber("#0123;x", p));
    EXPECT_FALSE(LineProjectNumber("#+12;x", p));
    EXPECT_FALSE(LineProjectNumber("#12", p));
    EXPECT_FALSE(LineProjectNumber("12;x", p));
    EXPECT_FALSE(LineProjectNumber("#1 2;x", p));
    EXPECT_FALSE(LineProjectNumber("#99999999999;x", p));
    EXPECT_FALSE(LineProjectNumber("#;x", p));
}

TEST(ProjectLines, IndexFollowsEveryChange)
{
    TDataLines lines;
    lines.SetText("header;x;zeta\r\n#5;ip;alpha_one;1\r\n#6;ip;beta;2\r\n#5;ip;alpha_two;3");
    EXPECT_EQ(lines.IndexOfProject(5), 1);
    EXPECT_EQ(lines.IndexOfProject(6), 2);
    EXPECT_EQ(lines.IndexOfProject(7), -1);
    EXPECT_EQ(lines.IndexOfWUName("ALPHA"), 1);
    EXPECT_EQ(lines.IndexOfWUName("alpha_two"), 3);
    EXPECT_EQ(lines.IndexOfWUName("a"), 1);
    EXPECT_EQ(lines.IndexOfWUName("zeta"), -1);   // the header is no project line
    EXPECT_EQ(lines.IndexOfWUName(""), -1);
    // A name may run on into the next field.
    EXPECT_EQ(lines.IndexOfWUName("beta;2"), 2);

    lines.InsertAtTop({"#7;ip;gamma;4", "#5;ip;alpha_zero;5"});
    EXPECT_EQ(lines.IndexOfProject(7), 0);
    EXPECT_EQ(lines.IndexOfProject(5), 1);
    EXPECT_EQ(lines.IndexOfProject(6), 4);
    EXPECT_EQ(lines.IndexOfWUName("alpha"), 1);
    EXPECT_EQ(lines.IndexOfWUName("alpha_t"), 5);

    lines.Clear();
    EXPECT_EQ(lines.IndexOfProject(5), -1);
    EXPECT_EQ(lines.IndexOfWUName("alpha"), -1);
}
