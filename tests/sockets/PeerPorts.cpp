#include "sockets/PeerPorts.h"

#include <windows.h>

std::string PeerPort(const std::string& name)
{
    std::string var = "BX_" + name + "_PORT";
    char buf[32] = {};
    DWORD n = GetEnvironmentVariableA(var.c_str(), buf, sizeof buf);
    if (n == 0 || n >= sizeof buf)
        return {};
    return buf;
}
