// The real peers the HTTP client tests talk to (started by run-with-servers.sh)
// and small helpers around a download.
#pragma once
#include <string>

#include "net/HttpProt.h"

namespace httptest {

// Port of a peer: "NGINX", "SCRIPTED", "NTLMPROXY", "SQUID_BASIC", "SQUID_NTLM".
// Records a test failure and returns 0 when the peers were not started.
int Port(const char* peer);
// "http://127.0.0.1:PORT" + path.
std::string Url(const char* peer, const std::string& path);
// "127.0.0.1" and the peer's port, for Proxy/ProxyPort.
void UseProxy(THttpCli& http, const char* peer);
// The peers' work folder (Windows path, trailing backslash): document root in "www\".
std::string WorkDir();
// The bytes of www/big.bin for a given length (the same pattern servers.sh writes).
std::string BigPattern(size_t size);

// What one Get gave: the body from a memory stream and the exception, if any.
struct TFetch {
    bool raised = false;
    unsigned code = 0;
    std::string message;
    std::string body;
};
TFetch Fetch(THttpCli& http, const std::string& url);

// The value of a received header line ("" when absent).
std::string HeaderValue(const THttpCli& http, const std::string& name);

}  // namespace httptest

namespace httptest {

// Fetch with a guard: should the request still run after ms milliseconds it is
// aborted from a timer, and guardFired tells so.
TFetch FetchGuarded(THttpCli& http, const std::string& url, DWORD ms, bool& guardFired);

}  // namespace httptest
