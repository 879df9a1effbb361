#include "HttpTestPeers.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Text.h"

namespace httptest {

int Port(const char* peer)
{
    std::string var = std::string("BX_HTTP_") + peer;
    const char* v = std::getenv(var.c_str());
    int port = 0;
    if (!v || !TryStrToInt(v, port) || port <= 0) {
        ADD_FAILURE() << var << " is not set: the peers are started by run-with-servers.sh (run through ctest)";
        return 0;
    }
    return port;
}

std::string Url(const char* peer, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(Port(peer)) + path;
}

void UseProxy(THttpCli& http, const char* peer)
{
    http.Proxy = "127.0.0.1";
    http.ProxyPort = std::to_string(Port(peer));
}

std::string WorkDir()
{
    const char* v = std::getenv("BX_HTTP_WORK");
    if (!v) {
        ADD_FAILURE() << "BX_HTTP_WORK is not set";
        return "";
    }
    std::string p = std::string("Z:") + v + "\\";
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string BigPattern(size_t size)
{
    std::string block(65536, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 7 + (i >> 8)) % 251);
    std::string out;
    out.reserve(size);
    while (out.size() < size)
        out.append(block, 0, std::min(block.size(), size - out.size()));
    return out;
}

TFetch Fetch(THttpCli& http, const std::string& url)
{
    TFetch f;
    THttpMemoryStream stream;
    http.URL = url;
    http.RcvdStream = &stream;
    try {
        http.Get();
    } catch (const EHttpException& e) {
        f.raised = true;
        f.code = e.ErrorCode();
        f.message = e.what();
    }
    http.RcvdStream = nullptr;
    f.body = stream.Data();
    return f;
}

std::string HeaderValue(const THttpCli& http, const std::string& name)
{
    for (const std::string& line : http.RcvdHeader()) {
        if (line.size() > name.size() && SameText(line.substr(0, name.size()), name) && line[name.size()] == ':')
            return Trim(line.substr(name.size() + 1));
    }
    return "";
}

}  // namespace httptest

namespace httptest {

namespace {

THttpCli* g_guarded = nullptr;
bool* g_guardFired = nullptr;

VOID CALLBACK GuardTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (g_guarded && g_guarded->State() != httpReady) {
        *g_guardFired = true;
        g_guarded->Abort();
    }
}

}  // namespace

TFetch FetchGuarded(THttpCli& http, const std::string& url, DWORD ms, bool& guardFired)
{
    guardFired = false;
    g_guarded = &http;
    g_guardFired = &guardFired;
    UINT_PTR timer = SetTimer(nullptr, 0, ms, GuardTimerProc);
    TFetch f = Fetch(http, url);
    KillTimer(nullptr, timer);
    g_guarded = nullptr;
    g_guardFired = nullptr;
    return f;
}

}  // namespace httptest
