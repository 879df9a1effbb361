#include "net/UrlSplit.h"

#include "platform/Text.h"

int Posn(std::string_view sub, std::string_view s, int n)
{
    if (n == 0 || sub.empty() || sub.size() > s.size())
        return 0;
    if (n > 0) {
        size_t from = 0;
        for (;;) {
            size_t p = s.find(sub, from);
            if (p == std::string_view::npos)
                return 0;
            if (--n == 0)
                return static_cast<int>(p) + 1;
            from = p + 1;
        }
    }
    size_t from = s.size() - sub.size();
    for (;;) {
        size_t p = s.rfind(sub, from);
        if (p == std::string_view::npos)
            return 0;
        if (++n == 0)
            return static_cast<int>(p) + 1;
        if (p == 0)
            return 0;
        from = p - 1;
    }
}

namespace {

bool IsSchemeText(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

// The base path cut after its last "/" ("/" when it has none).
std::string Directory(const std::string& base)
{
    size_t p = base.rfind('/');
    return p == std::string::npos ? std::string("/") : base.substr(0, p + 1);
}

}  // namespace

void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path)
{
    const std::string base = path;
    proto.clear();
    user.clear();
    pass.clear();
    host.clear();
    port.clear();
    path.clear();
    if (url.empty())
        return;

    if (url.rfind("./", 0) == 0) {
        path = Directory(base) + url.substr(2);
        return;
    }
    if (url.rfind("../", 0) == 0) {
        std::string dir = Directory(base);
        std::string rest = url;
        while (rest.rfind("../", 0) == 0) {
            rest.erase(0, 3);
            dir.pop_back();   // never empty: Directory always ends in "/"
            size_t p = dir.rfind('/');
            dir = p == std::string::npos ? std::string("/") : dir.substr(0, p + 1);
        }
        path = dir + rest;
        return;
    }

    std::string hostPart;
    size_t sep = url.find("://");
    if (sep != std::string::npos) {
        std::string scheme = AsciiLower(url.substr(0, sep));
        if (IsSchemeText(scheme)) {
            proto = scheme;
            hostPart = url.substr(sep + 3);
        } else {
            proto = "http";
            hostPart = url;
        }
    } else if (url[0] == '/') {
        proto = "http";
        if (url.size() < 2 || url[1] != '/') {
            path = url;
            return;
        }
        hostPart = url.substr(2);   // "//host/path"
    } else if (url.rfind("http:", 0) == 0) {
        proto = "http";
        if (url.size() > 6 && url[6] != '/') {
            path = url.substr(5);
            return;
        }
        hostPart = url.substr(5);
        while (!hostPart.empty() && hostPart[0] == '/')
            hostPart.erase(0, 1);
    } else if (url.rfind("mailto:", 0) == 0) {
        proto = "mailto";
        hostPart = url.substr(url.find(':') + 1);
    } else {
        hostPart = url;
    }

    // The path starts at the first "/" or at an earlier "?".
    size_t slash = hostPart.find('/');
    size_t query = hostPart.find('?');
    size_t pathStart = slash;
    if (query != std::string::npos && (slash == std::string::npos || query < slash))
        pathStart = query;
    if (pathStart != std::string::npos) {
        path = hostPart.substr(pathStart);
        hostPart.erase(pathStart);
    }

    size_t at = hostPart.rfind('@');
    size_t colon = hostPart.rfind(':');
    if (colon != std::string::npos && (at == std::string::npos || colon > at)) {
        size_t hostStart = at == std::string::npos ? 0 : at + 1;
        host = hostPart.substr(hostStart, colon - hostStart);
        port = hostPart.substr(colon + 1);
    } else if (at != std::string::npos) {
        host = hostPart.substr(at + 1);
    } else {
        host = hostPart;
    }
    if (at != std::string::npos) {
        std::string cred = hostPart.substr(0, at);
        size_t c = cred.find(':');
        if (c != std::string::npos) {
            user = cred.substr(0, c);
            pass = cred.substr(c + 1);
        } else {
            user = cred;
        }
    }
}
