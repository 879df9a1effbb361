#include "support/LoopbackPeer.h"

namespace testing_support {

LoopbackPeer::LoopbackPeer(std::string answer) : answer_(std::move(answer))
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen(listener_, 8);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackPeer::~LoopbackPeer()
{
    stop_ = true;
    thread_.join();
    closesocket(listener_);
    WSACleanup();
}

std::vector<std::string> LoopbackPeer::Requests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

int LoopbackPeer::Count()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(requests_.size());
}

void LoopbackPeer::Serve()
{
    while (!stop_) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(listener_, &set);
        timeval wait = {0, 50000};
        if (select(0, &set, nullptr, nullptr, &wait) != 1)
            continue;
        SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            continue;
        std::string head;
        char buf[1024];
        int n;
        while (head.find("\r\n\r\n") == std::string::npos && (n = recv(s, buf, sizeof buf, 0)) > 0)
            head.append(buf, static_cast<size_t>(n));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(head.substr(0, head.find("\r\n")));
        }
        send(s, answer_.data(), static_cast<int>(answer_.size()), 0);
        shutdown(s, SD_BOTH);
        closesocket(s);
    }
}

}  // namespace testing_support
