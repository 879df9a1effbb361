#pragma once
// A peer on 127.0.0.1 that gives every request the same answer: it notes the
// first line of each request before the answer goes, so a request that got
// its answer is always counted.

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class LoopbackPeer {
public:
    explicit LoopbackPeer(std::string answer);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    int Port() const { return port_; }
    // The first lines of the requests so far, in order.
    std::vector<std::string> Requests();
    int Count();

private:
    void Serve();
    std::string answer_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace testing_support
