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

// Moves a downloaded file over the one the program uses.
void ReplaceWith(const std::string& tmpFile, const std::string& file)
{
    if (!RenameFileUtf8(tmpFile, file)) {
        DeleteFileUtf8(tmpFile);
        throw EFileError("Cannot replace " + file);
    }
}

// What a failed request left to tell, kept to word it again in another language.
struct TFailure {
    THttpCli::TLimitPassed limit;
    int64_t maxBody;
    DWORD maxTime;
    int error;
    std::string reason;   // the server's own words
};

TFailure FailureOf(const THttpCli& cli)
{
    return {cli.LimitPassed(), cli.MaxBodySize, cli.MaxTime, cli.RequestDoneError(), ShownReason(cli)};
}

// Why a request failed: when no server answered or a limit ended it, in the
// user's language (the socket library words it in English); otherwise the
// server's own words.
std::string FailureReason(const TFailure& f)
{
    if (f.limit == THttpCli::lpSize)
        return FillIn(sDownloadTooLarge, {IntToStr(f.maxBody)});
    if (f.limit == THttpCli::lpTime)
        return FillIn(sDownloadTooLong, {IntToStr((f.maxTime + 999) / 1000)});
    const int error = f.error;
    switch (error) {
    case 0:
        return f.reason;
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA:
        return sHostNotFound;
    case WSAETIMEDOUT:
        return sServerNoAnswer;
    default:
        return error >= WSABASEERR ? sNoConnection + " (" + IntToStr(error) + ")" : f.reason;
    }
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
    auto item = [&](size_t i, int def) { return i < f.size() ? StrToIntDef(Trim(f[i]), def) : def; };
    int year = item(0, 2000), month = item(1, 1), day = item(2, 1);
    TDateTime d;
    if (!TryEncodeDate(year, month, day, d))
        throw EConvertError("The version file's date \"" + date + "\" is not a date");
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

bool TMainDM::Download(const std::string& tmpFile, TDocKind kind, bool showReceived,
                       const std::weak_ptr<void>& alive)
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
    stream.emplace(tmpFile, THttpFileStream::fmCreate);
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
    stream->Flush();
    stream.reset();
    if (alive.expired())
        return false;

    int code = cli->StatusCode();
    // A request the application's end broke off is no document, whatever its status.
    bool ok = !httpError && code >= 200 && code <= 299 && !Application().Terminated();
    if (ok) {
        std::string body;
        ok = TryReadFileText(tmpFile, body, LoaderLimit(kind)) && LooksLike(kind, body);
    }
    if (!ok) {
        // A request that got no answer from a server (name lookup,
        // connection, a limit passed) has no status of its own: its reason
        // says what went wrong.
        if (cli->Failed() || cli->RequestDoneError() != 0) {
            TFailure f = FailureOf(*cli);
            StatusError([f] { return sUpdateError + ": " + FailureReason(f); });
        } else {
            std::string reason = ShownReason(*cli);
            StatusError([code, reason] { return sUpdateError + ": " + IntToStr(code) + " " + reason; });
        }
        PumpAlive(alive);
        return false;
    }
    if (showReceived)
        Status(400, sReceived + " " + IntToStr(cli->RcvdCount()) + " " + sByte);
    keep = true;
    return true;
}

void TMainDM::UpdateFahBaseActionExecute(TObject*)
{
    if (!UpdateFahBaseAction->Enabled() || !CheckForUpdateAction->Enabled())
        return;
    std::weak_ptr<void> alive = AliveToken();
    TAction* action = UpdateFahBaseAction;
    action->SetEnabled(false);
    TOnExit enableAgain([&] {
        if (!alive.expired())
            action->SetEnabled(true);
    });
    if (!PumpAlive(alive))
        return;

    InitHttpCli(httpCli_.get(), GetFahSettings().FindValue("upURL").AsString());
    Status(400, sUpdatingWUdatabase + "...");
    if (!PumpAlive(alive))
        return;

    bool gotPage = Download(PSummaryTmpFile(), dkSummary, true, alive);
    if (alive.expired())
        return;
    if (gotPage) {
        ReplaceWith(PSummaryTmpFile(), PSummaryFile());
        LoadPSummary();
    }

    httpCli_->URL = SiteURL + "stat/upload.txt";
    bool gotSizes = Download(UploadTmpFile(), dkSizes, false, alive);
    if (alive.expired())
        return;
    if (gotSizes) {
        ReplaceWith(UploadTmpFile(), UploadFile());
        LoadUploadSizes();
    }

    if (Host.RefreshAll)
        Host.RefreshAll();
    action->SetEnabled(true);
    PumpAlive(alive);
}

void TMainDM::CheckForUpdateActionExecute(TObject*)
{
    CheckForUpdate(true);
}

void TMainDM::CheckForUpdate(bool showNoUpdateMessage)
{
    if (!UpdateFahBaseAction->Enabled() || !CheckForUpdateAction->Enabled())
        return;
    std::weak_ptr<void> alive = AliveToken();
    TAction* action = CheckForUpdateAction;
    action->SetEnabled(false);
    bool failed = false;
    TOnExit finish([&] {
        DeleteFileUtf8(LastVerTmpFile());
        if (alive.expired())
            return;
        // A failed check leaves its error shown.
        if (!failed)
            Status(0, std::string());
        action->SetEnabled(true);
    });
    Status(-1, std::string());
    if (!PumpAlive(alive))
        return;

    InitHttpCli(httpCli_.get(), SiteURL + "soft/brenix_ver.txt");
    if (!Download(LastVerTmpFile(), dkVersion, true, alive)) {
        failed = true;
        return;
    }

    TStringList file;
    file.LoadFromFile(LastVerTmpFile());
    std::string version = Trim(file.Values("version"));
    if (CompareVersions(version, ProgramVersion()) >= 1) {
        std::string text = FillIn(sFindNewVersion, {Shown(version, kShownVersionChars), VersionDateText(file.Values("date")),
                                                    VersionSizeText(file.Values("size"))});
        std::string url = Trim(file.Values("url"));
        // Only a web address is opened: a program's path would be run by the shell.
        if (AppInfoBox(text, MB_YESNOCANCEL) == IDYES)
            OpenWebAddress(url);
    } else if (showNoUpdateMessage) {
        AppInfoBox(sNewVersionNotFound, MB_OK);
    }
    PumpAlive(alive);
}
