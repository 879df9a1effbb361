#include "platform/PostedErrors.h"

void TPostedErrors::Attach(HWND target, UINT msg)
{
    std::lock_guard<std::mutex> g(lock_);
    target_ = target;
    msg_ = msg;
    texts_.clear();
}

void TPostedErrors::Detach()
{
    std::lock_guard<std::mutex> g(lock_);
    target_ = nullptr;
    texts_.clear();
}

bool TPostedErrors::Post(const std::string& message) noexcept
{
    try {
        std::lock_guard<std::mutex> g(lock_);
        if (!target_ || texts_.size() >= kMaxPending)
            return false;
        uint32_t number = next_++;
        if (next_ == 0)
            next_ = 1;   // 0 is never a number, so a stray message with 0 finds nothing
        texts_.emplace(number, message);
        if (!PostMessageW(target_, msg_, static_cast<WPARAM>(number), 0)) {
            texts_.erase(number);
            return false;
        }
        return true;
    } catch (...) {
        return false;   // out of memory: the error is lost, the worker goes on
    }
}

std::optional<std::string> TPostedErrors::Take(WPARAM number)
{
    std::lock_guard<std::mutex> g(lock_);
    auto it = texts_.find(static_cast<uint32_t>(number));
    if (it == texts_.end())
        return std::nullopt;
    std::string text = std::move(it->second);
    texts_.erase(it);
    return text;
}

size_t TPostedErrors::Pending() const
{
    std::lock_guard<std::mutex> g(lock_);
    return texts_.size();
}
