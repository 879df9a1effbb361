// Downloads of the data module: the project summary page and the result
// sizes that feed the project database, and the version file of the
// update check.
//
// A document replaces the one the program has only when the server's final
// answer is 200-299 and the body is that document: a proxy's or server's
// error page, a captive portal's page or an empty body never overwrite good
// data. Whatever goes wrong, the temporary file goes and the action is
// enabled again.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/ProjectInfo.h"
#include "Classes/UploadSizes.h"
#include "MainDM.h"
#include "controls/VersionInfo.h"
#include "net/HttpProt.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/FileUtil.h"
#include "platform/MessageBox.h"
#include "platform/StringList.h"
#include "platform/Text.h"

namespace {

// Runs when the scope ends, however it ends.
template <class F>
class TOnExit {
public:
    explicit TOnExit(F f) : f_(std::move(f)) {}
    ~TOnExit() { Guarded([&] { f_(); }); }
    TOnExit(const TOnExit&) = delete;
    TOnExit& operator=(const TOnExit&) = delete;

private:
    F f_;
};

// Handles waiting messages; false when the module went meanwhile.
bool PumpAlive(const std::weak_ptr<void>& alive)
{
    Application().ProcessMessages();
    return !alive.expired();
}

bool IsSizeLine(const std::string& line)
{
    int project = 0;
    if (!LineProjectNumber(line, project))
        return false;
    std::vector<std::string> f = SplitString(line, ';');
    double size = 0;
    int type = 0;
    return f.size() >= 3 && TryStrToFloat(Trim(f[1]), size) && TryStrToInt(Trim(f[2]), type);
}

// What one download may take. The summary page runs to a few hundred KB,
// the result sizes and the version file to a few: a server that sends more
// than this, or for longer, is stopped there, the temporary file goes and
// the error shows like any other. No limit is above what the loader of that
// document reads, so a page the loader would refuse never replaces a good one.
struct TDownloadLimits {
    int64_t bytes;
    DWORD ms;
};
constexpr TDownloadLimits kSummaryLimits{8 << 20, 300000};
constexpr TDownloadLimits kSizesLimits{4 << 20, 120000};
constexpr TDownloadLimits kVersionLimits{1 << 20, 60000};
static_assert(kSummaryLimits.bytes <= static_cast<int64_t>(kMaxPSummaryBytes));
static_assert(kSizesLimits.bytes <= static_cast<int64_t>(kMaxUploadListBytes));

DWORD g_testTimeLimit = 0;
std::function<DWORD()> g_testTick;

DWORD TickCount() { return g_testTick ? g_testTick() : GetTickCount(); }

TDownloadLimits LimitsOf(int kind)
{
    TDownloadLimits l = kind == 0 ? kSummaryLimits : kind == 1 ? kSizesLimits : kVersionLimits;
    if (g_testTimeLimit)
        l.ms = std::min(l.ms, g_testTimeLimit);
    return l;
}

// The most the loader of a downloaded document reads.
uint64_t LoaderLimit(int kind)
{
    return kind == 0 ? kMaxPSummaryBytes : kind == 1 ? kMaxUploadListBytes : kVersionLimits.bytes;
}

// Whether a downloaded body is the document asked for.
bool LooksLike(int kind, const std::string& body)
{
    switch (kind) {
    case 0:   // summary page: at least one project row
        return !ParsePSummary(body).empty();
    case 1:   // result sizes: at least one "#project;size;type" line
        for (const std::string& line : SplitLines(body))
            if (IsSizeLine(Trim(line)))
                return true;
        return false;
    default:  // version file: a "version" line
        return TStringList(body).IndexOfName("version") >= 0;
    }
}

// A text of the version file as the new-version box shows it: a few dozen
// characters at most (a 100,000-digit version once made a box wider than
// any screen, its buttons out of reach).
std::string Shown(const std::string& text, int chars)
{
    std::string cut = CutChars(text, chars);
    return cut.size() < text.size() ? cut + "..." : cut;
}
constexpr int kShownVersionChars = 40;
constexpr int kShownSizeChars = 20;
// A server's reason phrase may run to kilobytes: the status bar shows its start.
constexpr int kShownReasonChars = 60;
std::string ShownReason(const THttpCli& cli) { return Shown(cli.ReasonPhrase(), kShownReasonChars); }

std::string ProgramVersion()
{
    return TVersionInfo(ExeFileName()).GetVerValue("FILEVERSION");
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += (out.empty() ? "" : "\r\n") + line;
    return out;
}

// Why a file could not be made or replaced.
enum TStoreReason { srInUse, srFolderInTheWay, srAccessDenied, srDiskFull, srNoFolder, srOther };

// Whether another program holds the file open: it can't be opened to be deleted.
bool HeldOpen(const std::string& file)
{
    HANDLE h = CreateFileW(Utf8ToWide(file).c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

// Found out when it happens: the file may be free again by the time the text is made anew.
TStoreReason StoreReasonOf(const std::string& file, DWORD error)
{
    if (DirectoryExists(file))
        return srFolderInTheWay;
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return srInUse;
    case ERROR_ACCESS_DENIED:
        // Replacing a file another program has open is refused as access denied.
        return HeldOpen(file) ? srInUse : srAccessDenied;
    case ERROR_WRITE_PROTECT:
        return srAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return srDiskFull;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_DIRECTORY:
        return srNoFolder;
    default:
        return srOther;
    }
}

// The reason in the user's language.
std::string StoreReasonText(TStoreReason reason, DWORD error)
{
    switch (reason) {
    case srInUse: return sFileInUse;
    case srFolderInTheWay: return sFolderInTheWay;
    case srAccessDenied: return sAccessDenied;
    case srDiskFull: return sDiskFull;
    case srNoFolder: return sFolderNotFound;
    default: return FillIn(sWindowsError, {IntToStr(static_cast<int>(error))});
    }
}

// What a failed request left to tell, kept to word it again in another language.
struct TFailure {
    THttpCli::TLimitPassed limit;
    int64_t maxBody;
    DWORD maxTime;
    int error;
    std::string reason;   // the server's own words
    bool bodyCut;
    int64_t received, length;
    std::string proxy;    // "host:port", empty without a proxy
};

// A proxy name of any length leaves room for the reason on the status bar.
constexpr int kShownProxyChars = 80;

std::string ProxyOf(const THttpCli& cli)
{
    return cli.Proxy.empty() ? std::string() : Shown(cli.Proxy, kShownProxyChars) + ":" + cli.ProxyPort;
}

TFailure FailureOf(const THttpCli& cli)
{
    return {cli.LimitPassed(),  cli.MaxBodySize,     cli.MaxTime,         cli.RequestDoneError(), ShownReason(cli),
            cli.BodyCutShort(), cli.RcvdCount(),     cli.ContentLength(), ProxyOf(cli)};
}

// Why a request failed: when no server answered, the answer broke off or a
// limit ended it, in the user's language (the socket library words it in
// English); otherwise the server's own words. With a proxy every failure to
// reach a server is the proxy's.
std::string FailureReason(const TFailure& f)
{
    if (f.limit == THttpCli::lpSize)
        return FillIn(sDownloadTooLarge, {IntToStr(f.maxBody)});
    if (f.limit == THttpCli::lpTime)
        return FillIn(sDownloadTooLong, {IntToStr((f.maxTime + 999) / 1000)});
    if (f.bodyCut)
        return f.length >= 0 ? FillIn(sAnswerBrokeOff, {IntToStr(f.received), IntToStr(f.length)})
                             : FillIn(sAnswerBrokeOffAt, {IntToStr(f.received)});
    const int error = f.error;
    const bool proxy = !f.proxy.empty();
    switch (error) {
    case 0:
        return f.reason;
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA:
        return proxy ? FillIn(sProxyNotFound, {f.proxy}) : sHostNotFound;
    case WSAETIMEDOUT:
        return proxy ? FillIn(sProxyNoAnswer, {f.proxy}) : sServerNoAnswer;
    default:
        if (error < WSABASEERR)
            return f.reason;
        return (proxy ? FillIn(sNoProxyConnection, {f.proxy}) : sNoConnection) + " (" + IntToStr(error) + ")";
    }
}

// A server's answer that is not the document: what it was, in the user's language.
std::string AnswerReason(int code, const std::string& reason, int kind, int64_t received, const std::string& proxy,
                         bool withLogin)
{
    if (code == 407 && !proxy.empty())
        return FillIn(withLogin ? sProxyRefusedLogin : sProxyWantsLogin, {proxy}) + " (407)";
    // A proxy's 502 is its own failure to reach the server, not the server's answer.
    if (code == 502 && !proxy.empty())
        return FillIn(sProxyBadGateway, {proxy}) + " (" + IntToStr(code) + " " + reason + ")";
    if (code >= 200 && code <= 299)
        return FillIn(kind == 0 ? sNotTheSummary : sNotTheDocument, {IntToStr(received)});
    return IntToStr(code) + " " + reason;
}

}  // namespace

// ---- Version file texts ----

int CompareVersions(const std::string& a, const std::string& b)
{
    std::vector<std::string> x = a.empty() ? std::vector<std::string>() : SplitString(a, '.');
    std::vector<std::string> y = b.empty() ? std::vector<std::string>() : SplitString(b, '.');
    size_t i = 0;
    for (; i < x.size() && i < y.size(); ++i) {
        int p = StrToIntDef(Trim(x[i]), 0), q = StrToIntDef(Trim(y[i]), 0);
        if (p > q)
            return 1;
        if (p < q)
            return -1;
    }
    if (i < x.size())
        return 1;
    if (i < y.size())
        return -1;
    return 0;
}

std::string VersionDateText(const std::string& date)
{
    std::vector<std::string> f = SplitString(Trim(date), '-');
    int year = 0;
    if (f.empty() || !TryStrToInt(Trim(f[0]), year))
        return std::string();
    // A missing month or day is the first; one that is there but can't be
    // read leaves the whole date out rather than show a made-up one.
    int month = 1, day = 1;
    if ((f.size() > 1 && !TryStrToInt(Trim(f[1]), month)) || (f.size() > 2 && !TryStrToInt(Trim(f[2]), day)))
        return std::string();
    TDateTime d;
    if (!TryEncodeDate(year, month, day, d))
        return std::string();
    return FormatDateTime("d mmm yyyy", d);
}

std::string VersionSizeText(const std::string& size)
{
    size_t semi = size.find(';');
    std::string number = Shown(Trim(size.substr(0, semi)), kShownSizeChars);
    int unit = semi == std::string::npos ? 1 : StrToIntDef(Trim(size.substr(semi + 1)), 1);
    switch (unit) {
    case 0: return number + " " + sByte;
    case 1: return number + " " + sKB;
    case 2: return number + " " + sMB;
    default: return number + " unknown SizeType";
    }
}

bool IsWebAddress(const std::string& url)
{
    size_t host = StartsText("http://", url) ? 7 : StartsText("https://", url) ? 8 : 0;
    if (host == 0)
        return false;
    // The host: a name or an address, then an optional port.
    size_t rest = std::min(url.find_first_of("/?#", host), url.size());
    size_t colon = std::min(url.find(':', host), rest);
    if (colon == host || url[host] == '.' || url[host] == '-')
        return false;
    for (size_t i = host; i < colon; ++i)
        if (!std::isalnum(static_cast<unsigned char>(url[i])) && url[i] != '.' && url[i] != '-')
            return false;
    if (colon < rest && (rest - colon < 2 || rest - colon > 6))
        return false;
    for (size_t i = colon + 1; i < rest; ++i)
        if (!std::isdigit(static_cast<unsigned char>(url[i])))
            return false;
    // The path, query and fragment: printable ASCII without a double quote,
    // which would end the address on the browser's command line, and without
    // a backslash, which before the closing quote would make that quote part
    // of the address.
    for (size_t i = rest; i < url.size(); ++i) {
        auto c = static_cast<unsigned char>(url[i]);
        if (c <= ' ' || c >= 0x7F || c == '"' || c == '\\')
            return false;
    }
    return true;
}

// ---- Downloads ----

void TMainDM::SetDownloadTimeLimitForTesting(DWORD ms) { g_testTimeLimit = ms; }

void TMainDM::SetTickCountForTesting(std::function<DWORD()> tick) { g_testTick = std::move(tick); }

void TMainDM::InitHttpCli(THttpCli* httpCli, const std::string& url)
{
    BX_ASSERT(httpCli, "TMainDM.InitHttpCli: aHttpCli is nil");
    httpCli->Proxy.clear();
    httpCli->ProxyPort.clear();
    httpCli->ProxyUsername.clear();
    httpCli->ProxyPassword.clear();
    httpCli->URL = url;
    httpCli->RcvdStream = nullptr;
    httpCli->Reference = SiteURL;
    TFahSettings& s = GetFahSettings();
    auto value = [this, &s](const char* name) -> const TAppVariant& {
        TAppVal& v = s.FindValue(name);
        return proxyFromEdited_ ? v.EditedValue : v.StoredValue;
    };
    if (VarToBool(value("upUseProxy"))) {
        httpCli->Proxy = Trim(VarToStr(value("upProxyName")));
        httpCli->ProxyPort = IntToStr(VarToInt(value("upProxyPort"), VarToInt(s.FindValue("upProxyPort").DefaultValue)));
        // Without a user name there is nobody to log in as: no credentials
        // at all, whatever password was left in the settings.
        std::string user = VarToStr(value("upProxyUserName"));
        if (!Trim(user).empty()) {
            httpCli->ProxyUsername = user;
            httpCli->ProxyPassword = VarToStr(value("upProxyUserPassword"));
        }
    }
}

void TMainDM::StoreFailed(const std::string& file, DWORD error)
{
    const TStoreReason reason = StoreReasonOf(file, error);
    AddStatusError([file, reason, error] {
        return FillIn(sNotSaved, {ExtractFileName(file), StoreReasonText(reason, error)});
    });
    const std::string told = FillIn(sNotSaved, {file, StoreReasonText(reason, error)});
    failures_.push_back(told);
    storeFailures_.push_back(told);
}

void TMainDM::DownloadFailed(std::function<std::string()> reason)
{
    failures_.push_back(sUpdateError + ": " + reason());
    AddStatusError(std::move(reason));
}

void TMainDM::AddStatusError(std::function<std::string()> reason)
{
    // Any other status text since has cleared the reasons shown.
    std::vector<std::function<std::string()>> reasons = shownReasons_;
    reasons.push_back(std::move(reason));
    StatusError([reasons] {
        std::vector<std::string> texts;
        for (const auto& r : reasons)
            if (std::string t = r(); std::find(texts.begin(), texts.end(), t) == texts.end())
                texts.push_back(t);
        std::string text = sUpdateError + ":";
        for (size_t i = 0; i < texts.size(); ++i)
            text += (i ? "; " : " ") + texts[i];
        return text;
    });
    shownReasons_ = std::move(reasons);
}

bool TMainDM::Store(const std::string& tmpFile, const std::string& file)
{
    if (RenameFileUtf8(tmpFile, file))
        return true;
    const DWORD error = GetLastError();
    DeleteFileUtf8(tmpFile);
    StoreFailed(file, error);
    return false;
}

void TMainDM::TellFailures(bool byUser)
{
    std::vector<std::string> all = std::move(failures_), stored = std::move(storeFailures_);
    failures_.clear();
    storeFailures_.clear();
    if (!byUser || all.empty())
        return;
    // In the tray nobody sees the status bar: a balloon tells what went wrong.
    if (Host.TellInTray && Host.TellInTray(JoinLines(all)))
        return;
    if (!stored.empty())
        AppMessageBox(sErrorL_Caption, sUpdateError + ":\r\n" + JoinLines(stored), MB_OK | MB_ICONERROR);
}

bool TMainDM::Download(const std::string& tmpFile, TDocKind kind, const std::weak_ptr<void>& alive)
{
    // Everything used after the wait is held here: the module may be gone by then.
    std::shared_ptr<THttpCli> cli = httpCli_;
    bool keep = false;
    TOnExit dropTemp([&] {
        if (!keep)
            DeleteFileUtf8(tmpFile);
    });
    EnsureDataDir();
    std::optional<THttpFileStream> stream;
    try {
        stream.emplace(tmpFile, THttpFileStream::fmCreate);
    } catch (const EHttpStreamError& e) {
        StoreFailed(tmpFile, e.SystemError);
        return false;
    }
    cli->RcvdStream = &*stream;
    const TDownloadLimits limits = LimitsOf(kind);
    cli->MaxBodySize = limits.bytes;
    cli->MaxTime = limits.ms;
    TOnExit unhook([&] {
        cli->RcvdStream = nullptr;
        cli->MaxBodySize = 0;
        cli->MaxTime = 0;
    });

    bool httpError = false;
    try {
        cli->Get();
    } catch (const EHttpException&) {
        httpError = true;
    }
    // A write the file refused (a full disk) ended the request: that is the reason to tell.
    DWORD storeError = stream->FirstError();
    if (!storeError) {
        try {
            stream->Flush();
        } catch (const EHttpStreamError& e) {
            storeError = e.SystemError;
        }
    }
    stream.reset();
    if (alive.expired())
        return false;
    if (storeError) {
        StoreFailed(tmpFile, storeError);
        PumpAlive(alive);
        return false;
    }

    int code = cli->StatusCode();
    // A request the application's end broke off is no document, whatever its status.
    bool ok = !httpError && code >= 200 && code <= 299 && !Application().Terminated();
    if (ok) {
        std::string body;
        ok = TryReadFileText(tmpFile, body, LoaderLimit(kind)) && LooksLike(kind, body);
    }
    if (!ok) {
        // A request that got no answer from a server (name lookup,
        // connection, a limit passed, an answer broken off) has no status of
        // its own: its reason says what went wrong.
        if (cli->Failed() || cli->RequestDoneError() != 0) {
            TFailure f = FailureOf(*cli);
            DownloadFailed([f] { return FailureReason(f); });
        } else {
            std::string reason = ShownReason(*cli), proxy = ProxyOf(*cli);
            const int64_t received = cli->RcvdCount();
            const bool withLogin = !cli->ProxyUsername.empty();
            DownloadFailed([=] { return AnswerReason(code, reason, kind, received, proxy, withLogin); });
        }
        PumpAlive(alive);
        return false;
    }
    keep = true;
    return true;
}

void TMainDM::UpdateFahBaseActionExecute(TObject*)
{
    UpdateFahBase(!byItself_);
}

void TMainDM::UpdateFahBaseByItself()
{
    // The error of the failed update stays shown meanwhile.
    if (lastUpdateFailed_ && TickCount() - lastUpdateFailedAt_ < kAutoUpdatePauseMs)
        return;
    std::weak_ptr<void> alive = AliveToken();
    byItself_ = true;
    TOnExit reset([&] {
        if (!alive.expired())
            byItself_ = false;
    });
    UpdateFahBaseAction->Execute();
}

void TMainDM::UpdateFahBase(bool byUser)
{
    if (!UpdateFahBaseAction->Enabled() || !CheckForUpdateAction->Enabled())
        return;
    std::weak_ptr<void> alive = AliveToken();
    TAction* action = UpdateFahBaseAction;
    action->SetEnabled(false);
    downloading_ = true;
    failures_.clear();
    storeFailures_.clear();
    TOnExit enableAgain([&] {
        if (alive.expired())
            return;
        downloading_ = false;
        action->SetEnabled(true);
    });
    if (!PumpAlive(alive))
        return;

    InitHttpCli(httpCli_.get(), GetFahSettings().FindValue("upURL").AsString());
    Status(400, sUpdatingWUdatabase + "...");
    if (!PumpAlive(alive))
        return;

    // Each document is told received once it is in place.
    if (Download(PSummaryTmpFile(), dkSummary, alive) && Store(PSummaryTmpFile(), PSummaryFile())) {
        Status(400, sReceived + " " + IntToStr(httpCli_->RcvdCount()) + " " + sByte);
        LoadPSummary();
    }
    if (alive.expired())
        return;

    httpCli_->URL = SiteURL + "stat/upload.txt";
    if (Download(UploadTmpFile(), dkSizes, alive) && Store(UploadTmpFile(), UploadFile()))
        LoadUploadSizes();
    if (alive.expired())
        return;

    // Done: the refresh's settling takes the progress text away. The
    // refresh asks for an update again when a project is still missing.
    lastUpdateFailed_ = !failures_.empty();
    lastUpdateFailedAt_ = TickCount();
    downloading_ = false;
    if (Host.RefreshAll)
        Host.RefreshAll();
    action->SetEnabled(true);
    TellFailures(byUser);
    PumpAlive(alive);
}

void TMainDM::CheckForUpdateActionExecute(TObject*)
{
    CheckForUpdate(true);
}

bool TMainDM::CheckForUpdate(bool showNoUpdateMessage)
{
    if (!UpdateFahBaseAction->Enabled() || !CheckForUpdateAction->Enabled())
        return false;
    std::weak_ptr<void> alive = AliveToken();
    TAction* action = CheckForUpdateAction;
    action->SetEnabled(false);
    downloading_ = true;
    failures_.clear();
    storeFailures_.clear();
    bool failed = false;
    TOnExit finish([&] {
        DeleteFileUtf8(LastVerTmpFile());
        if (alive.expired())
            return;
        // A failed check leaves its error shown.
        if (!failed)
            Status(0, std::string());
        downloading_ = false;
        action->SetEnabled(true);
    });
    Status(-1, std::string());
    if (!PumpAlive(alive))
        return false;

    InitHttpCli(httpCli_.get(), SiteURL + "soft/brenix_ver.txt");
    if (!Download(LastVerTmpFile(), dkVersion, alive)) {
        failed = true;
        if (!alive.expired())
            TellFailures(showNoUpdateMessage);
        return false;
    }
    Status(400, sReceived + " " + IntToStr(httpCli_->RcvdCount()) + " " + sByte);

    TStringList file;
    file.LoadFromFile(LastVerTmpFile());
    std::string version = Trim(file.Values("version"));
    if (CompareVersions(version, ProgramVersion()) >= 1) {
        // A date the file gives in no readable form is left out.
        const std::string shown = Shown(version, kShownVersionChars), date = VersionDateText(file.Values("date")),
                          size = VersionSizeText(file.Values("size"));
        std::string text = date.empty() ? FillIn(sFindNewVersionNoDate, {shown, size})
                                        : FillIn(sFindNewVersion, {shown, date, size});
        std::string url = Trim(file.Values("url"));
        // Only a web address is opened: a program's path would be run by the shell.
        if (AppMessageBox(sInformation, text, MB_YESNOCANCEL | MB_ICONINFORMATION, LangBoxButtons()) == IDYES)
            OpenWebAddress(url);
    } else if (showNoUpdateMessage) {
        AppInfoBox(sNewVersionNotFound, MB_OK);
    }
    PumpAlive(alive);
    return true;
}
