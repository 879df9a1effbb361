// Downloads of the data module against the real peers on 127.0.0.1 (nginx
// with the real summary page, squid with Basic, the scripted server and
// NTLM proxy), started around the test by run-with-servers.sh.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <memory>
#include <thread>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/ProjectInfo.h"
#include "Classes/UploadSizes.h"
#include "MainDMTestSupport.h"
#include "net/HttpProt.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/LoopbackPeer.h"
#include "support/TestSupport.h"

using namespace testing_support;
using namespace maindm_test;

namespace {

const char kOldPage[] = "<html>the page we had</html>";
const char kOldSizes[] = "#1;1;1\r\n";
const char kSizes[] = "#2669;46.4;2\r\n#3064;4.5;1\r\n";

int Port(const char* peer)
{
    const char* v = std::getenv((std::string("BX_HTTP_") + peer).c_str());
    EXPECT_TRUE(v) << "the peers are started by run-with-servers.sh (run through ctest)";
    return v ? atoi(v) : 0;
}
std::string Url(const char* peer, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(Port(peer)) + path;
}
// A file of nginx's document root.
std::string Www(const std::string& name)
{
    const char* work = std::getenv("BX_HTTP_WORK");
    return StringReplaceAll(std::string("Z:") + (work ? work : "") + "/www/" + name, "/", "\\");
}
std::string RealPage() { return ReadFile(RealDataFile("psummary-2009-newformat-kfactor.html")); }

// A data module on a fresh program folder that holds old downloads.
struct Harness {
    TempDir dir{"dmnet"};
    std::vector<std::string> status;
    int refreshes = 0;
    std::unique_ptr<TMainDM> dm;

    Harness()
    {
        SetAppDir(dir.Path());
        InitProjectDatabase();
        TMainDMHost host;
        host.SetStatusPanel = [this](int, const std::string& text) { status.push_back(text); };
        host.RefreshAll = [this] { ++refreshes; };
        dm = std::make_unique<TMainDM>(nullptr, host);
        dm->SiteURL = Url("NGINX", "/");
        WriteFile(PSummaryFile(), kOldPage);
        WriteFile(UploadFile(), kOldSizes);
        SetSetting("upUseProxy", false);
        SetSetting("upURL", Url("NGINX", "/psummary.html"));
        WriteFile(Www("psummary.html"), RealPage());
        WriteFile(Www("stat/upload.txt"), kSizes);
        WriteFile(Www("empty.txt"), "");
        WriteFile(Www("portal.html"), "<html><body>Please sign in to use the network</body></html>\n");
        WriteFile(Www("soft/brenix_ver.txt"), "version=1.5.0.0\r\ndate=2009-02-01\r\nsize=1;2\r\n");
    }
    ~Harness()
    {
        dm.reset();
        SetAppDir(ExeFolder());
    }
    void UseProxy(const char* peer, const char* user, const char* password)
    {
        SetSetting("upUseProxy", true);
        SetSetting("upProxyName", std::string("127.0.0.1"));
        SetSetting("upProxyPort", Port(peer));
        SetSetting("upProxyUserName", std::string(user));
        SetSetting("upProxyUserPassword", std::string(password));
    }
    // Both actions usable and no temporary file left.
    bool Clean() const
    {
        return dm->UpdateFahBaseAction->Enabled() && dm->CheckForUpdateAction->Enabled() &&
               !FileExists(PSummaryTmpFile()) && !FileExists(UploadTmpFile()) && !FileExists(LastVerTmpFile());
    }
    std::string Check(bool showNoUpdate, int button) { return AnswerBox([&] { dm->CheckForUpdate(showNoUpdate); }, button); }
};

const char kBadGateway[] = "HTTP/1.0 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n";

TMainDM* g_doomed = nullptr;
void CALLBACK FreeDoomed(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    delete g_doomed;
    g_doomed = nullptr;
}

}  // namespace

TEST(MainDMDownloads, TheRealDocumentsReplaceTheOldFilesAndFeedTheDatabase)
{
    Harness h;
    h.dm->UpdateFahBaseAction->Execute();
    EXPECT_EQ(ReadFile(PSummaryFile()), RealPage());
    EXPECT_EQ(ReadFile(UploadFile()), kSizes);
    // The page's rows are on top of the project list, its last row first.
    EXPECT_EQ(ProjectList()[0].rfind("#6326;171.64.65.60;p6326;", 0), 0u) << ProjectList()[0];
    EXPECT_EQ(GetResultSizeText(2669), "46.4 MB");
    EXPECT_EQ(h.refreshes, 1);
    EXPECT_EQ(Join(h.status), "Updating the WU database...|Received 64773 bytes");
    EXPECT_TRUE(h.Clean());

    // Through squid with the right credentials: the same version, so the
    // no-update message when the user asked, nothing for the timer's check.
    h.UseProxy("SQUID_BASIC", "puser", "ppass");
    EXPECT_EQ(h.Check(true, IDOK), "You have the latest version of the program.");
    EXPECT_EQ(h.Check(false, IDOK), "");
    EXPECT_TRUE(h.Clean());
    EXPECT_EQ(h.dm->HttpCli1().Reference, h.dm->SiteURL);
    EXPECT_THROW(h.dm->InitHttpCli(nullptr, "x"), EAssertionFailed);
}

TEST(MainDMDownloads, AnyAnswerButTheDocumentKeepsTheOldFilesAndFreesBothActions)
{
    Harness h;
    const std::string basic = "127.0.0.1:" + std::to_string(Port("SQUID_BASIC"));
    const std::string unknown = std::string(70, 'q') + ".invalid";
    struct {
        const char* what;
        std::string base;   // summary page and site root: every document gets the same answer
        const char *proxy, *user, *password;
        std::string status;
        std::string proxyAt = "";   // a proxy that is no peer: "host:port"
        std::string sizesStatus = "";   // when the second document's differs
    } cases[] = {
        {"401", Url("SCRIPTED", "/401?"), nullptr, "", "", "Update error: 401 Unauthorized"},
        {"real 407", Url("NGINX", "/psummary.html?"), "SQUID_BASIC", "puser", "wrong",
         "Update error: the proxy " + basic + " refused the user name or password (407)"},
        {"407 without credentials", Url("NGINX", "/psummary.html?"), "SQUID_BASIC", "", "",
         "Update error: the proxy " + basic + " asks for a user name and password (407)"},
        // Credentials sent would get a 400 or 403 from this proxy.
        {"407, password without user", Url("NGINX", "/psummary.html?"), "NTLMPROXY", "", "ppass",
         "Update error: the proxy 127.0.0.1:" + std::to_string(Port("NTLMPROXY")) + " asks for a user name"},
        {"unknown proxy", Url("NGINX", "/psummary.html?"), nullptr, "", "",
         "Update error: the name of the proxy " + unknown + ":3128 was not found", unknown + ":3128"},
        {"closed proxy port", Url("NGINX", "/psummary.html?"), nullptr, "", "",
         "Update error: no connection to the proxy 127.0.0.1:1 (10061)", "127.0.0.1:1"},
        {"empty 200", Url("NGINX", "/empty.txt?"), nullptr, "", "", "Update error: the server sent "},
        {"portal page", Url("NGINX", "/portal.html?"), nullptr, "", "",
         "Update error: the server sent a page of 60 bytes that is not the project summary", "",
         "Update error: the server sent 60 bytes that are not the document asked for"},
        {"404", Url("NGINX", "/gone?"), nullptr, "", "", "Update error: 404 Not Found"},
        {"cut body", Url("SCRIPTED", "/halfway?"), nullptr, "", "", "Update error: the answer broke off after 500 of 1000 bytes"},
        // Servers that never stop: cut at the program's size limits, or at
        // the time limit (shortened for the test).
        {"endless body", Url("SCRIPTED", "/endless?"), nullptr, "", "", "Update error: the document is larger than "},
        {"endless chunked body", Url("SCRIPTED", "/endless-chunked?"), nullptr, "", "",
         "Update error: the document is larger than "},
        {"a byte a second", Url("SCRIPTED", "/trickle?"), nullptr, "", "",
         "Update error: the download took longer than 2 s"},
    };
    TMainDM::SetDownloadTimeLimitForTesting(2000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetSetting("upUseProxy", false);
        if (c.proxy)
            h.UseProxy(c.proxy, c.user, c.password);
        if (!c.proxyAt.empty()) {
            h.UseProxy("NGINX", "", "");
            SetSetting("upProxyName", c.proxyAt.substr(0, c.proxyAt.find(':')));
            SetSetting("upProxyPort", atoi(c.proxyAt.c_str() + c.proxyAt.find(':') + 1));
        }
        SetSetting("upURL", c.base);
        h.dm->SiteURL = c.base;
        h.status.clear();
        h.dm->UpdateFahBaseAction->Execute();
        EXPECT_EQ(ReadFile(PSummaryFile()), kOldPage);
        EXPECT_EQ(ReadFile(UploadFile()), kOldSizes);
        ASSERT_EQ(h.status.size(), 3u);
        EXPECT_EQ(h.status[1].rfind(c.status, 0), 0u) << h.status[1];
        // The summary's error stays first; the sizes' own follows when it differs.
        EXPECT_EQ(h.status[2].rfind(c.status, 0), 0u) << h.status[2];
        if (!c.sizesStatus.empty()) {
            EXPECT_NE(h.status[2].find("; " + c.sizesStatus.substr(sizeof "Update error: " - 1)), std::string::npos)
                << h.status[2];
        }
        EXPECT_EQ(h.Check(true, IDOK), "");
        EXPECT_TRUE(h.Clean());
    }
    TMainDM::SetDownloadTimeLimitForTesting(0);

    // A date that does not exist is left out of the offer; the actions stay usable.
    SetSetting("upUseProxy", false);
    h.dm->SiteURL = Url("NGINX", "/");
    WriteFile(Www("soft/brenix_ver.txt"), "version=9.0\r\ndate=2009-13-45\r\nsize=5;1\r\n");
    EXPECT_EQ(h.Check(true, IDNO), "Version 9.0 (5 KB) is available. Open its download page?");
    EXPECT_TRUE(h.Clean());
    WriteFile(h.dir.File("file"), "x");   // the data folder cannot be made
    SetAppDir(h.dir.File("file") + "\\");
    std::string box = AnswerBox([&] { h.dm->UpdateFahBaseAction->Execute(); }, IDOK);
    EXPECT_NE(box.find(PSummaryTmpFile() + " was not saved: its folder cannot be reached or made"), std::string::npos) << box;
    EXPECT_TRUE(h.dm->UpdateFahBaseAction->Enabled());
    box = h.Check(true, IDOK);
    EXPECT_NE(box.find(LastVerTmpFile() + " was not saved: its folder cannot be reached or made"), std::string::npos) << box;
    EXPECT_TRUE(h.dm->CheckForUpdateAction->Enabled());

    // Freed while a request waits on a server that never answers.
    SetAppDir(h.dir.Path());
    SetSetting("upURL", Url("SCRIPTED", "/stall"));
    g_doomed = h.dm.release();
    SetTimer(nullptr, 0, 300, FreeDoomed);
    DWORD start = GetTickCount();
    g_doomed->UpdateFahBaseAction->Execute();
    EXPECT_EQ(g_doomed, nullptr);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(ReadFile(PSummaryFile()), kOldPage);
    EXPECT_FALSE(FileExists(PSummaryTmpFile()));
    EXPECT_TRUE(CaughtErrors().empty());
}

// The settings dialog's try of a proxy the user has not saved is that try
// only: the module's own update afterwards goes the stored way.
TEST(MainDMDownloads, AfterTheDialogsTryTheOwnUpdateUsesTheStoredProxy)
{
    Harness h;   // stored: no proxy
    TFahSettings& s = GetFahSettings();
    s.FindValue("upUseProxy").SetEdited(true);
    s.FindValue("upProxyName").SetEdited(std::string("127.0.0.1"));
    s.FindValue("upProxyPort").SetEdited(1);   // nobody listens there
    EXPECT_NE(h.dm->UpdateFahBaseThroughEditedProxy(), "");
    EXPECT_EQ(ReadFile(PSummaryFile()), kOldPage);
    h.dm->UpdateFahBaseAction->Execute();
    s.RevertAll();
    EXPECT_TRUE(ReadFile(PSummaryFile()) == RealPage()) << "not the page the direct way brings: " << Join(h.status);
}

TEST(MainDMDownloads, APageTheLoaderWouldRefuseNeverReplacesAGoodOne)
{
    Harness h;
    WriteFile(PSummaryFile(), RealPage());
    InitProjectDatabase();
    TProjectInfo info;
    info.Project = 6326;
    ASSERT_TRUE(FindProjectInfo(info));
    // The real page with its rows repeated past 32 MB: a page of rows, but
    // more than the database reads.
    std::string page = RealPage();
    size_t first = page.find("<tr bgcolor"), end = page.find("</table>");
    ASSERT_TRUE(first != std::string::npos && end != std::string::npos);
    std::string rows = page.substr(first, end - first), big = page.substr(0, first);
    while (big.size() <= (32u << 20))
        big += rows;
    WriteFile(Www("big.html"), big + page.substr(end));
    SetSetting("upURL", Url("NGINX", "/big.html"));
    h.dm->UpdateFahBaseAction->Execute();
    EXPECT_EQ(h.status[1].rfind("Update error: ", 0), 0u) << h.status[1];
    EXPECT_EQ(ReadFile(PSummaryFile()), RealPage());
    InitProjectDatabase();   // as the next start does
    info = TProjectInfo();
    info.Project = 6326;
    EXPECT_TRUE(FindProjectInfo(info));
    EXPECT_TRUE(h.Clean());
}

TEST(MainDMDownloads, AFailedCheckLeavesItsErrorAndAFailedLookupSaysSo)
{
    Harness h;
    const struct {
        std::string site, status;
    } cases[] = {
        // A label over 63 characters: the resolver refuses it without asking anyone.
        {"http://" + std::string(70, 'q') + ".invalid/", "Update error: the server's name was not found"},
        // A server's own answer keeps its status.
        {Url("NGINX", "/gone/"), "Update error: 404 Not Found"},
        // A reason of thousands of characters is cut as the new-version box cuts its texts.
        {Url("SCRIPTED", "/long-reason?"), "Update error: 404 " + std::string(60, 'R') + "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        h.dm->SiteURL = c.site;
        h.status.clear();
        EXPECT_EQ(h.Check(true, IDOK), "");
        ASSERT_FALSE(h.status.empty());
        EXPECT_EQ(h.status.back(), c.status);
        EXPECT_TRUE(h.Clean());
    }
}

TEST(MainDMDownloads, ANewerVersionIsOfferedAndOnlyAWebAddressIsOpened)
{
    Harness h;
    std::string opened = h.dir.File("opened.txt"), ran = h.dir.File("ran.txt");
    SetRegString(HKEY_CLASSES_ROOT, "http\\shell\\open\\command",
                 "\"" + BesideExe("..\\controls_edit\\controls_link_recorder.exe") + "\" \"" + opened + "\" \"%1\"");
    WriteFile(Www("soft/brenix_ver.txt"),
              "name=Brenix\r\nversion=1.5.0.1\r\ndate=2009-02\r\nsize=1.2;2\r\nurl=http://dl.example.invalid/b.zip\r\n");
    EXPECT_EQ(h.Check(false, IDYES), "Version 1.5.0.1 dated 1 Feb 2009 (1.2 MB) is available. Open its download page?");
    // The recorder makes the file before it writes the line.
    EXPECT_TRUE(PumpUntil([&] { return FileExists(opened) && ReadFile(opened).find('\n') != std::string::npos; }, 10000));
    EXPECT_EQ(ReadFile(opened), "http://dl.example.invalid/b.zip\n");

    // An address with a double quote would add arguments to the browser's
    // command line (a recorder of the whole command line would note them):
    // it is not opened.
    DeleteFileUtf8(opened);
    SetRegString(HKEY_CLASSES_ROOT, "http\\shell\\open\\command",
                 "\"" + BesideExe("..\\Dialogs\\dialogs_cmdline_recorder.exe") + "\" \"" + opened + "\" \"%1\"");
    WriteFile(Www("soft/brenix_ver.txt"),
              "version=1.5.0.2\r\nurl=http://dl.example.invalid/c.zip\" \"" + h.dir.File("planted") + "\r\n");
    EXPECT_NE(h.Check(false, IDYES), "");
    Pump(1500);
    EXPECT_FALSE(FileExists(opened));

    // A program's path is not opened: the shell would run it (the stand-in
    // sc.exe would note its start).
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(ran).c_str());
    WriteFile(Www("soft/brenix_ver.txt"), "version=2.0\r\ndate=2010-03-04\r\nsize=800;1\r\nurl=" + BesideExe("system\\sc.exe") + "\r\n");
    EXPECT_EQ(h.Check(false, IDYES), "Version 2.0 dated 4 Mar 2010 (800 KB) is available. Open its download page?");
    Pump(1500);
    EXPECT_FALSE(FileExists(ran));
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command");

    // A version of 100,000 digits: the box shows a cut version and stays small.
    WriteFile(Www("soft/brenix_ver.txt"), "version=9." + std::string(100000, '7') + "\r\ndate=2010-03-04\r\nsize=" +
                                              std::string(100000, '8') + ";1\r\nurl=x\r\n");
    std::string text = h.Check(false, IDNO);
    EXPECT_EQ(text.rfind("Version 9.777", 0), 0u) << text.substr(0, 80);
    EXPECT_LT(text.size(), 200u);
    EXPECT_NE(text.find("dated 4 Mar 2010 (888"), std::string::npos) << text.substr(0, 300);

    // Older than this program (1.5.0.0): nothing to offer.
    WriteFile(Www("soft/brenix_ver.txt"), "version=1.5\r\n");
    EXPECT_EQ(h.Check(false, IDOK), "");
    EXPECT_TRUE(h.Clean());
}

TEST(MainDMDownloads, VersionsDatesAndSizesOfTheVersionFile)
{
    struct { const char *a, *b; int result; } versions[] = {
        {"1.5.0.1", "1.5.0.0", 1}, {"1.5", "1.5.0.0", -1}, {"1.5.0.0", "1.5.0", 1}, {"1.5.0.0", "1.5.0.0", 0},
        {"1.10", "1.9", 1}, {"", "1.5.0.0", -1}, {"x.6", "0.5", 1}, {"2", "10", -1},
    };
    for (const auto& v : versions)
        EXPECT_EQ(CompareVersions(v.a, v.b), v.result) << v.a << " against " << v.b;
    struct { const char *in, *out; } dates[] = {
        {"2009-02", "1 Feb 2009"}, {"2008-12-24", "24 Dec 2008"},
        // A date it cannot read whole is none: no "1 Jan 2000", no "1 Jan 2009" for "2009-x".
        {"", ""}, {"abc-5", ""}, {"2009-x", ""}, {"2009-02-x", ""}, {"2009-02-30", ""}, {"2009-13-45", ""},
    }, sizes[] = {
        {"1.2;2", "1.2 MB"}, {"512;0", "512 bytes"}, {"300;1", "300 KB"}, {"300", "300 KB"},
        {"7;x", "7 KB"}, {"7;9", "7 unknown SizeType"},
    };
    for (const auto& d : dates)
        EXPECT_EQ(VersionDateText(d.in), d.out) << d.in;
    for (const auto& s : sizes)
        EXPECT_EQ(VersionSizeText(s.in), s.out) << s.in;
    for (const char* url : {"http://a.b/c", "HTTPS://a.b/", "http://10.0.0.1:8080/x?y=%22z%22#top", "http://a-b.c"})
        EXPECT_TRUE(IsWebAddress(url)) << url;
    // Nothing that could reach the browser's command line as more than one
    // address: no quote, blank or control character anywhere.
    for (const char* url : {"C:\\Windows\\notepad.exe", "file:///C:/x.exe", "http://", "\\\\box\\share\\x.exe",
                            "http://a.b/\" --new-window", "http://a.b/x y", " https://a.b/", "http://a.b/\t",
                            "http://a.b/\x7F", "http:///x", "http://a\"b/", "http://a.b:/", "http://a.b:8x/",
                            "http://user@a.b/", "http://-a.b/"})
        EXPECT_FALSE(IsWebAddress(url)) << url;
}

// A backslash before the browser command's closing quote escapes it: the
// quote becomes part of the address and the rest of the line goes with it.
TEST(MainDMDownloads, AnAddressWithABackslashIsNoWebAddress)
{
    EXPECT_TRUE(IsWebAddress("http://host/a/"));
    for (const char* url : {"http://host/a\\", "http://host/a\\b", "https://host/?q=\\", "http://host#\\"})
        EXPECT_FALSE(IsWebAddress(url)) << url;
}

// A download that reaches no server says so in the user's language, not in
// the socket library's English.
// The offer of a newer version has the chosen language's buttons.
TEST(MainDMDownloads, TheNewVersionOfferHasTheLanguagesButtons)
{
    Harness h;
    WriteFile(Www("soft/brenix_ver.txt"), "version=1.5.0.1\r\nurl=http://dl.example.invalid/b.zip\r\n");
    const std::pair<int, const char*> cases[] = {{2, "&Да|&Нет|Отмена|"}, {3, "&Так|&Ні|Скасувати|"}, {1, "&Yes|&No|Cancel|"}};
    for (const auto& [language, buttons] : cases) {
        SetLanguage(language);
        EXPECT_EQ(AnswerBoxButtons([&] { h.dm->CheckForUpdate(false); }, IDNO), buttons) << language;
    }
    EXPECT_TRUE(h.Clean());
}

TEST(MainDMDownloads, NoServerIsToldInTheUsersLanguage)
{
    Harness h;
    for (int lang : {2, 3, 1}) {
        SetLanguage(lang);
        SCOPED_TRACE(lang);
        SetSetting("upURL", std::string("http://127.0.0.1:1/psummary.html"));   // nobody listens there
        h.status.clear();
        h.dm->UpdateFahBaseAction->Execute();
        ASSERT_GE(h.status.size(), 2u);
        EXPECT_EQ(h.status[1].rfind(sUpdateError + ": ", 0), 0u) << h.status[1];
        EXPECT_NE(h.status[1].find(sNoConnection), std::string::npos) << h.status[1];
        EXPECT_EQ(ReadFile(PSummaryFile()), kOldPage);
    }
}

// A document that arrived but could not be stored is never told as received:
// the status bar names the file and why (in the user's language), a box tells
// the user who asked, the old file stays whole and the result sizes are
// still fetched.
TEST(MainDMDownloads, ADocumentThatCannotBeStoredIsToldAsNotSaved)
{
    Harness h;
    const char* work = std::getenv("BX_HTTP_WORK");
    const std::string fullDisk = StringReplaceAll(std::string("Z:") + (work ? work : "") + "/fulldisk/", "/", "\\");
    enum { heldOpen, folderAsPage, folderAsTemp, diskFull };
    struct {
        int how;
        int language;
        bool byUser;
        const char* file;        // of the data folder
        const std::string* reason;
    } cases[] = {
        {heldOpen, 1, true, "psummary.html", &sFileInUse},
        {heldOpen, 2, true, "psummary.html", &sFileInUse},
        {heldOpen, 1, false, "psummary.html", &sFileInUse},
        {folderAsPage, 1, true, "psummary.html", &sFolderInTheWay},
        {folderAsTemp, 3, true, "psummary.tmp", &sFolderInTheWay},
        {diskFull, 1, true, "psummary.tmp", &sDiskFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.how) + " in language " + std::to_string(c.language));
        SetLanguage(c.language);
        SetAppDir(c.how == diskFull ? fullDisk : h.dir.Path());
        EnsureDataDir();
        RemoveDirectoryW(Utf8ToWide(PSummaryFile()).c_str());
        RemoveDirectoryW(Utf8ToWide(PSummaryTmpFile()).c_str());
        WriteFile(PSummaryFile(), kOldPage);
        WriteFile(UploadFile(), kOldSizes);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.how == heldOpen)   // as a viewer or a virus scanner holds it
            held = CreateFileW(Utf8ToWide(PSummaryFile()).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (c.how == folderAsPage) {
            DeleteFileUtf8(PSummaryFile());
            CreateDirectoryW(Utf8ToWide(PSummaryFile()).c_str(), nullptr);
        }
        if (c.how == folderAsTemp)
            CreateDirectoryW(Utf8ToWide(PSummaryTmpFile()).c_str(), nullptr);
        h.status.clear();
        const int refreshes = h.refreshes;
        std::string box = AnswerBox([&] { h.dm->UpdateFahBase(c.byUser); }, IDOK);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);

        const std::string file = DataDir() + c.file;
        // Nothing told as received; on the full disk the sizes fail as well.
        ASSERT_EQ(h.status.size(), c.how == diskFull ? 3u : 2u) << Join(h.status);
        EXPECT_EQ(h.status[1], sUpdateError + ": " + FillIn(sNotSaved, {c.file, *c.reason}));
        const std::string told = sUpdateError + ":\r\n" + FillIn(sNotSaved, {file, *c.reason});
        EXPECT_EQ(box.substr(0, told.size()), c.byUser ? told : "");
        if (c.how != folderAsPage) {
            EXPECT_EQ(ReadFile(PSummaryFile()), kOldPage);
        }
        EXPECT_EQ(ReadFile(UploadFile()), c.how == diskFull ? kOldSizes : kSizes);
        EXPECT_EQ(h.refreshes, refreshes + 1);
        EXPECT_FALSE(FileExists(PSummaryTmpFile()));
        EXPECT_TRUE(h.dm->UpdateFahBaseAction->Enabled());
    }
    SetLanguage(1);
    EXPECT_TRUE(CaughtErrors().empty());
}

// The list asks for an update at every refresh while a project is missing
// from the database. After an update failed (a proxy answering junk), those
// rounds ask nobody until the pause is over and the error stays shown; the
// user's own command goes at once.
TEST(MainDMDownloads, AFailedUpdateIsNotTriedAgainByItselfForAWhile)
{
    Harness h;
    testing_support::LoopbackPeer proxy(kBadGateway);
    SetSetting("upUseProxy", true);
    SetSetting("upProxyName", std::string("127.0.0.1"));
    SetSetting("upProxyPort", proxy.Port());
    DWORD now = 5000;
    TMainDM::SetTickCountForTesting([&] { return now; });
    h.dm->UpdateFahBaseByItself();
    EXPECT_EQ(proxy.Count(), 2) << "the summary page and the result sizes";
    const size_t shown = h.status.size();
    for (int round = 0; round < 30; ++round) {   // a minute of refreshes every 2 s
        now += 2000;
        h.dm->UpdateFahBaseByItself();
    }
    EXPECT_EQ(proxy.Count(), 2);
    EXPECT_EQ(h.status.size(), shown) << Join(h.status);
    now = 5000 + TMainDM::kAutoUpdatePauseMs - 1;
    h.dm->UpdateFahBaseByItself();
    EXPECT_EQ(proxy.Count(), 2);
    now = 5000 + TMainDM::kAutoUpdatePauseMs;
    h.dm->UpdateFahBaseByItself();
    EXPECT_EQ(proxy.Count(), 4);
    h.dm->UpdateFahBaseAction->Execute();   // F6
    EXPECT_EQ(proxy.Count(), 6);
    EXPECT_TRUE(h.Clean());
    TMainDM::SetTickCountForTesting({});
}

// What the status bar keeps of a failed update: the summary page's error
// first, a reason told once, a proxy's 502 as the proxy's failure, and a
// proxy name of any length cut so that the reason still shows.
TEST(MainDMDownloads, TheStatusBarTellsTheSummarysErrorFirstAndWhoFailed)
{
    Harness h;
    testing_support::LoopbackPeer proxy(kBadGateway);
    const std::string hugeName(300000, 'q');
    const struct {
        const char* what;
        std::string summary, site, proxyName;
        int proxyPort;
        std::string status;
    } cases[] = {
        {"two errors", Url("SCRIPTED", "/halfway"), Url("NGINX", "/gone/"), "", 0,
         "Update error: the answer broke off after 500 of 1000 bytes; 404 Not Found"},
        {"one reason twice", Url("NGINX", "/gone"), Url("NGINX", "/gone/"), "", 0, "Update error: 404 Not Found"},
        {"502 of a proxy", Url("NGINX", "/psummary.html"), Url("NGINX", "/"), "127.0.0.1", proxy.Port(),
         "Update error: the proxy 127.0.0.1:" + std::to_string(proxy.Port()) +
             " could not reach the server (502 Bad Gateway)"},
        {"long proxy name", Url("NGINX", "/psummary.html"), Url("NGINX", "/"), hugeName + ".invalid", 3128,
         "Update error: the name of the proxy " + std::string(80, 'q') + "...:3128 was not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetSetting("upUseProxy", !c.proxyName.empty());
        SetSetting("upProxyName", c.proxyName);
        SetSetting("upProxyPort", c.proxyPort);
        SetSetting("upURL", c.summary);
        h.dm->SiteURL = c.site;
        h.status.clear();
        h.dm->UpdateFahBaseAction->Execute();
        ASSERT_FALSE(h.status.empty());
        EXPECT_EQ(h.status.back(), c.status);
    }
}
