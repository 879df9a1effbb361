// The Windows Sockets library, loaded by name on first use: "wsock32.dll" for
// every function, "ws2_32.dll" for WSAIoctl only. Each entry point is looked
// up once. The library stays loaded while socket components live (or a
// process-wide wrapper runs) and is unloaded when the last one goes.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>

// Entry point of a function of wsock32.dll; loads and starts the library first.
// An empty name only loads and starts it. Failures raise ESocketException.
FARPROC WSocketGetProc(const std::string& name);
// Entry point of a function of ws2_32.dll (WSAIoctl).
FARPROC WSocket2GetProc(const std::string& name);

// Loads and starts the library now.
void WSocketForceLoadWinsock();
// WSACleanup, frees both libraries and forgets every entry point.
void WSocketUnloadWinsock();
bool WSocketWinsockLoaded();
// The record WSAStartup filled in (zeroes before the first start).
WSADATA WSocketWinsockInfo();

// The Windows Sockets version asked for at start-up; default 1.1. Changing it
// once the library is started raises ESocketException.
BYTE WSocketReqVerLow();
BYTE WSocketReqVerHigh();
void WSocketSetReqVerLow(BYTE v);
void WSocketSetReqVerHigh(BYTE v);

// Count of living socket components. Falling below 1 unloads the library.
void WSocketCountAdd();
void WSocketCountRelease();
int WSocketCount();

// Text of a Windows Sockets error code.
std::string WSocketErrorDesc(int code);

// Calls through the loaded library. Each fetches its entry point once.
int WSocket_WSAStartup(WORD version, LPWSADATA data);
int WSocket_WSACleanup();
void WSocket_WSASetLastError(int error);
int WSocket_WSAGetLastError();
int WSocket_WSACancelAsyncRequest(HANDLE task);
HANDLE WSocket_WSAAsyncGetHostByName(HWND hwnd, u_int msg, const char* name, char* buf, int buflen);
// Tests: the asynchronous name lookups go here instead of to the system, so
// a test can answer them as late as it likes (an empty function puts the
// system back). Called on the thread that starts the lookup.
void WSocketSetAsyncLookupForTesting(
    std::function<HANDLE(HWND hwnd, u_int msg, const char* name, char* buf, int buflen)> lookup);
HANDLE WSocket_WSAAsyncGetHostByAddr(HWND hwnd, u_int msg, const char* addr, int len, int type,
                                     char* buf, int buflen);
int WSocket_WSAAsyncSelect(SOCKET s, HWND hwnd, u_int msg, long events);
servent* WSocket_getservbyname(const char* name, const char* proto);
protoent* WSocket_getprotobyname(const char* name);
hostent* WSocket_gethostbyname(const char* name);
int WSocket_gethostname(char* name, int len);
SOCKET WSocket_socket(int af, int type, int protocol);
int WSocket_shutdown(SOCKET s, int how);
int WSocket_setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int WSocket_getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int WSocket_sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int WSocket_send(SOCKET s, const char* buf, int len, int flags);
u_short WSocket_ntohs(u_short v);
u_short WSocket_htons(u_short v);
int WSocket_listen(SOCKET s, int backlog);
int WSocket_ioctlsocket(SOCKET s, long cmd, u_long* arg);
char* WSocket_inet_ntoa(in_addr in);
unsigned long WSocket_inet_addr(const char* cp);
int WSocket_getsockname(SOCKET s, sockaddr* name, int* namelen);
int WSocket_getpeername(SOCKET s, sockaddr* name, int* namelen);
int WSocket_connect(SOCKET s, const sockaddr* name, int namelen);
int WSocket_closesocket(SOCKET s);
int WSocket_bind(SOCKET s, const sockaddr* name, int namelen);
SOCKET WSocket_accept(SOCKET s, sockaddr* addr, int* addrlen);
int WSocket_recv(SOCKET s, char* buf, int len, int flags);
int WSocket_recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int WSocket_WSAIoctl(SOCKET s, DWORD code, void* inBuf, DWORD inLen, void* outBuf, DWORD outLen,
                     DWORD* bytesReturned, void* overlapped, void* completion);

// Process-wide wrappers usable without a socket component: they keep the
// library loaded for the length of the call.
// The first IPv4 address of a host as dotted text; false (and an empty text)
// when it cannot be resolved.
bool WSocketGetHostByName(const std::string& name, std::string& firstAddr);
int WSocketGetSockOpt(SOCKET s, int level, int optname, char* optval, int* optlen);
std::string WSocketInetNtoa(in_addr in);
