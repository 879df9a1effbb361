#include "net/WSocketLib.h"

#include <cstring>
#include <map>

#include "net/WSocket.h"
#include "platform/Sync.h"
#include "platform/Text.h"

namespace {

struct TLibState {
    TCriticalSection lock;
    HMODULE wsock32 = nullptr;
    HMODULE ws2_32 = nullptr;
    bool started = false;
    WSADATA data{};
    BYTE reqVerLow = 1;
    BYTE reqVerHigh = 1;
    std::map<std::string, FARPROC> procs;    // wsock32 entry points
    std::map<std::string, FARPROC> procs2;   // ws2_32 entry points
    int socketCount = 0;
};

TLibState& Lib()
{
    static TLibState* state = new TLibState();   // lives for the whole process
    return *state;
}

using TWSAStartup = int(WINAPI*)(WORD, LPWSADATA);
using TWSACleanup = int(WINAPI*)();

// Keeps a loaded socket library in memory for the rest of the process. The
// system's own worker threads (name lookups, asynchronous selects) may still
// be running its code for a moment after the last socket is gone, so "unloading"
// only cleans up and drops our handles; the code itself stays.
void PinModule(const wchar_t* name)
{
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &pinned);
}

// Under the lock: loads and starts wsock32.dll.
void LoadWsock32Locked(TLibState& s)
{
    if (s.wsock32)
        return;
    HMODULE h = LoadLibraryA("wsock32.dll");
    if (!h)
        throw ESocketException("Unable to load wsock32.dll Error #" + std::to_string(GetLastError()));
    PinModule(L"wsock32.dll");
    PinModule(L"ws2_32.dll");   // wsock32 stands on it
    auto startup = reinterpret_cast<TWSAStartup>(reinterpret_cast<void*>(GetProcAddress(h, "WSAStartup")));
    if (!startup) {
        DWORD err = GetLastError();
        FreeLibrary(h);
        throw ESocketException("Procedure WSAStartup not found in wsock32.dll Error #" + std::to_string(err));
    }
    WSADATA data{};
    int rc = startup(MAKEWORD(s.reqVerLow, s.reqVerHigh), &data);
    if (rc != 0) {
        FreeLibrary(h);
        throw ESocketException(Format("%s: WSAStartup error #%d", "wsock32.dll", rc));
    }
    s.wsock32 = h;
    s.data = data;
    s.started = true;
}

FARPROC LookUp(HMODULE h, const char* libName, const std::string& name)
{
    FARPROC p = GetProcAddress(h, name.c_str());
    if (!p)
        throw ESocketException("Procedure " + name + " not found in " + libName + " Error #" +
                               std::to_string(GetLastError()));
    return p;
}

// Keeps the library loaded for the length of a process-wide call.
struct TCountGuard {
    TCountGuard() { WSocketCountAdd(); }
    ~TCountGuard() { WSocketCountRelease(); }
};

}  // namespace

FARPROC WSocketGetProc(const std::string& name)
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    LoadWsock32Locked(s);
    if (name.empty())
        return nullptr;
    auto it = s.procs.find(name);
    if (it != s.procs.end())
        return it->second;
    FARPROC p = LookUp(s.wsock32, "wsock32.dll", name);
    s.procs[name] = p;
    return p;
}

FARPROC WSocket2GetProc(const std::string& name)
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    LoadWsock32Locked(s);
    if (!s.ws2_32) {
        s.ws2_32 = LoadLibraryA("ws2_32.dll");
        if (!s.ws2_32)
            throw ESocketException("Unable to load ws2_32.dll Error #" + std::to_string(GetLastError()));
        PinModule(L"ws2_32.dll");
    }
    if (name.empty())
        return nullptr;
    auto it = s.procs2.find(name);
    if (it != s.procs2.end())
        return it->second;
    FARPROC p = LookUp(s.ws2_32, "ws2_32.dll", name);
    s.procs2[name] = p;
    return p;
}

void WSocketForceLoadWinsock() { WSocketGetProc(""); }

void WSocketUnloadWinsock()
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    if (s.wsock32 && s.started) {
        auto cleanup = reinterpret_cast<TWSACleanup>(reinterpret_cast<void*>(GetProcAddress(s.wsock32, "WSACleanup")));
        if (cleanup)
            cleanup();
    }
    s.started = false;
    if (s.ws2_32) {
        FreeLibrary(s.ws2_32);
        s.ws2_32 = nullptr;
    }
    if (s.wsock32) {
        FreeLibrary(s.wsock32);
        s.wsock32 = nullptr;
    }
    s.procs.clear();
    s.procs2.clear();
    s.data = WSADATA{};
}

bool WSocketWinsockLoaded()
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    return s.wsock32 != nullptr;
}

WSADATA WSocketWinsockInfo()
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    return s.data;
}

BYTE WSocketReqVerLow() { return Lib().reqVerLow; }
BYTE WSocketReqVerHigh() { return Lib().reqVerHigh; }

void WSocketSetReqVerLow(BYTE v)
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    if (s.started)
        throw ESocketException("SetReqVerLow: WinSock version can't be changed now");
    s.reqVerLow = v;
}

void WSocketSetReqVerHigh(BYTE v)
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    if (s.started)
        throw ESocketException("SetReqVerHigh: WinSock version can't be changed now");
    s.reqVerHigh = v;
}

void WSocketCountAdd()
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    ++s.socketCount;
}

void WSocketCountRelease()
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    if (--s.socketCount < 1) {
        s.socketCount = 0;
        WSocketUnloadWinsock();   // the lock is re-entrant
    }
}

int WSocketCount()
{
    TLibState& s = Lib();
    TLock lock(s.lock);
    return s.socketCount;
}

std::string WSocketErrorDesc(int code)
{
    switch (code) {
    case 0: return "No Error";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on non-socket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket type not supported";
    case 10045: return "Operation not supported on socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported by protocol family";
    case 10048: return "Address already in use";
    case 10049: return "Address not available";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Connection aborted";
    case 10054: return "Connection reset by peer";
    case 10055: return "No buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after socket shutdown";
    case 10059: return "Too many references: can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disc quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network sub-system is unusable";
    case 10092: return "WinSock DLL cannot support this application";
    case 10093: return "WinSock not initialized";
    case 11001: return "Host not found";
    case 11002: return "Non-authoritative host not found";
    case 11003: return "Non-recoverable error";
    case 11004: return "No Data";
    default: return "Not a WinSock error";
    }
}

// ---- Stubs: each entry point is fetched once, then called. ----

namespace {
// The slot of one function: cleared with the library.
template <class F>
F Proc(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(WSocketGetProc(name)));
}
}  // namespace

int WSocket_WSAStartup(WORD version, LPWSADATA data)
{
    return Proc<int(WINAPI*)(WORD, LPWSADATA)>("WSAStartup")(version, data);
}
int WSocket_WSACleanup() { return Proc<int(WINAPI*)()>("WSACleanup")(); }
void WSocket_WSASetLastError(int error) { Proc<void(WINAPI*)(int)>("WSASetLastError")(error); }
int WSocket_WSAGetLastError() { return Proc<int(WINAPI*)()>("WSAGetLastError")(); }
int WSocket_WSACancelAsyncRequest(HANDLE task)
{
    return Proc<int(WINAPI*)(HANDLE)>("WSACancelAsyncRequest")(task);
}
namespace {
std::function<HANDLE(HWND, u_int, const char*, char*, int)> g_testLookup;
}

void WSocketSetAsyncLookupForTesting(std::function<HANDLE(HWND, u_int, const char*, char*, int)> lookup)
{
    g_testLookup = std::move(lookup);
}

HANDLE WSocket_WSAAsyncGetHostByName(HWND hwnd, u_int msg, const char* name, char* buf, int buflen)
{
    if (g_testLookup)
        return g_testLookup(hwnd, msg, name, buf, buflen);
    return Proc<HANDLE(WINAPI*)(HWND, u_int, const char*, char*, int)>("WSAAsyncGetHostByName")(
        hwnd, msg, name, buf, buflen);
}
HANDLE WSocket_WSAAsyncGetHostByAddr(HWND hwnd, u_int msg, const char* addr, int len, int type,
                                     char* buf, int buflen)
{
    return Proc<HANDLE(WINAPI*)(HWND, u_int, const char*, int, int, char*, int)>("WSAAsyncGetHostByAddr")(
        hwnd, msg, addr, len, type, buf, buflen);
}
int WSocket_WSAAsyncSelect(SOCKET s, HWND hwnd, u_int msg, long events)
{
    return Proc<int(WINAPI*)(SOCKET, HWND, u_int, long)>("WSAAsyncSelect")(s, hwnd, msg, events);
}
servent* WSocket_getservbyname(const char* name, const char* proto)
{
    return Proc<servent*(WINAPI*)(const char*, const char*)>("getservbyname")(name, proto);
}
protoent* WSocket_getprotobyname(const char* name)
{
    return Proc<protoent*(WINAPI*)(const char*)>("getprotobyname")(name);
}
hostent* WSocket_gethostbyname(const char* name)
{
    return Proc<hostent*(WINAPI*)(const char*)>("gethostbyname")(name);
}
int WSocket_gethostname(char* name, int len) { return Proc<int(WINAPI*)(char*, int)>("gethostname")(name, len); }
SOCKET WSocket_socket(int af, int type, int protocol)
{
    return Proc<SOCKET(WINAPI*)(int, int, int)>("socket")(af, type, protocol);
}
int WSocket_shutdown(SOCKET s, int how) { return Proc<int(WINAPI*)(SOCKET, int)>("shutdown")(s, how); }
int WSocket_setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen)
{
    return Proc<int(WINAPI*)(SOCKET, int, int, const char*, int)>("setsockopt")(s, level, optname, optval, optlen);
}
int WSocket_getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen)
{
    return Proc<int(WINAPI*)(SOCKET, int, int, char*, int*)>("getsockopt")(s, level, optname, optval, optlen);
}
int WSocket_sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen)
{
    return Proc<int(WINAPI*)(SOCKET, const char*, int, int, const sockaddr*, int)>("sendto")(
        s, buf, len, flags, to, tolen);
}
int WSocket_send(SOCKET s, const char* buf, int len, int flags)
{
    return Proc<int(WINAPI*)(SOCKET, const char*, int, int)>("send")(s, buf, len, flags);
}
u_short WSocket_ntohs(u_short v) { return Proc<u_short(WINAPI*)(u_short)>("ntohs")(v); }
u_short WSocket_htons(u_short v) { return Proc<u_short(WINAPI*)(u_short)>("htons")(v); }
int WSocket_listen(SOCKET s, int backlog) { return Proc<int(WINAPI*)(SOCKET, int)>("listen")(s, backlog); }
int WSocket_ioctlsocket(SOCKET s, long cmd, u_long* arg)
{
    return Proc<int(WINAPI*)(SOCKET, long, u_long*)>("ioctlsocket")(s, cmd, arg);
}
char* WSocket_inet_ntoa(in_addr in) { return Proc<char*(WINAPI*)(in_addr)>("inet_ntoa")(in); }
unsigned long WSocket_inet_addr(const char* cp)
{
    return Proc<unsigned long(WINAPI*)(const char*)>("inet_addr")(cp);
}
int WSocket_getsockname(SOCKET s, sockaddr* name, int* namelen)
{
    return Proc<int(WINAPI*)(SOCKET, sockaddr*, int*)>("getsockname")(s, name, namelen);
}
int WSocket_getpeername(SOCKET s, sockaddr* name, int* namelen)
{
    return Proc<int(WINAPI*)(SOCKET, sockaddr*, int*)>("getpeername")(s, name, namelen);
}
int WSocket_connect(SOCKET s, const sockaddr* name, int namelen)
{
    return Proc<int(WINAPI*)(SOCKET, const sockaddr*, int)>("connect")(s, name, namelen);
}
int WSocket_closesocket(SOCKET s) { return Proc<int(WINAPI*)(SOCKET)>("closesocket")(s); }
int WSocket_bind(SOCKET s, const sockaddr* name, int namelen)
{
    return Proc<int(WINAPI*)(SOCKET, const sockaddr*, int)>("bind")(s, name, namelen);
}
SOCKET WSocket_accept(SOCKET s, sockaddr* addr, int* addrlen)
{
    return Proc<SOCKET(WINAPI*)(SOCKET, sockaddr*, int*)>("accept")(s, addr, addrlen);
}
int WSocket_recv(SOCKET s, char* buf, int len, int flags)
{
    return Proc<int(WINAPI*)(SOCKET, char*, int, int)>("recv")(s, buf, len, flags);
}
int WSocket_recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen)
{
    return Proc<int(WINAPI*)(SOCKET, char*, int, int, sockaddr*, int*)>("recvfrom")(s, buf, len, flags, from,
                                                                                     fromlen);
}
int WSocket_WSAIoctl(SOCKET s, DWORD code, void* inBuf, DWORD inLen, void* outBuf, DWORD outLen,
                     DWORD* bytesReturned, void* overlapped, void* completion)
{
    using T = int(WINAPI*)(SOCKET, DWORD, void*, DWORD, void*, DWORD, DWORD*, void*, void*);
    auto fn = reinterpret_cast<T>(reinterpret_cast<void*>(WSocket2GetProc("WSAIoctl")));
    return fn(s, code, inBuf, inLen, outBuf, outLen, bytesReturned, overlapped, completion);
}

bool WSocketGetHostByName(const std::string& name, std::string& firstAddr)
{
    TCountGuard keep;
    firstAddr.clear();
    hostent* he = WSocket_gethostbyname(name.c_str());
    if (!he || he->h_addrtype != AF_INET || he->h_length != 4 || !he->h_addr_list || !he->h_addr_list[0])
        return false;
    in_addr a;
    std::memcpy(&a, he->h_addr_list[0], 4);
    const char* t = WSocket_inet_ntoa(a);
    firstAddr = t ? t : "";
    return !firstAddr.empty();
}

int WSocketGetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen)
{
    TCountGuard keep;
    return WSocket_getsockopt(s, level, optname, optval, optlen);
}

std::string WSocketInetNtoa(in_addr in)
{
    TCountGuard keep;
    const char* t = WSocket_inet_ntoa(in);
    return t ? t : "";
}
