// Errors caught on worker threads travel to the GUI thread by posted message.
// The texts stay here, each under a number that the message carries, so a
// message never points at memory: one that arrives late, twice, or after its
// poster was freed finds nothing or its own copy, never freed memory. A
// window that goes with texts still waiting drops them (Detach).
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class TPostedErrors {
public:
    // Texts waiting at most: past that the GUI thread is not reading them and
    // a worker failing in a loop must not eat the memory.
    static constexpr size_t kMaxPending = 64;

    // target: a window of the GUI thread whose procedure calls Take(wParam)
    // when it receives msg.
    void Attach(HWND target, UINT msg);
    // The window is going: texts still waiting are freed, later posts refused.
    void Detach();

    // Any thread. Keeps a copy of the text and posts its number. False (and
    // nothing kept) when there is no window, the queue is full or the post fails.
    bool Post(const std::string& message) noexcept;
    // The text posted under that number, taken out; nothing when it is no
    // longer here (already taken, dropped, or never posted).
    std::optional<std::string> Take(WPARAM number);
    size_t Pending() const;

private:
    mutable std::mutex lock_;
    HWND target_ = nullptr;
    UINT msg_ = 0;
    uint32_t next_ = 1;
    std::map<uint32_t, std::string> texts_;
};
