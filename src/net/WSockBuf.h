// One block of a socket's send queue: bytes written at the end, read from the front.
#pragma once
#include <cstddef>
#include <vector>

class TBuffer {
public:
    // A size of 0 or less gives the default block size.
    explicit TBuffer(int size = 0);

    int Size() const { return static_cast<int>(data_.size()); }
    // Reallocates; bytes already written are kept (as far as they fit).
    void SetSize(int size);

    // Copies min(free room, len) bytes and returns that count.
    int Write(const void* data, int len);
    // The unread bytes: pointer and count (nullptr / 0 when none).
    const char* Peek(int& len) const;
    // Advances the read position by at most the unread count; when everything
    // has been read both positions go back to 0.
    void Remove(int len);

    int DataCount() const { return wrCount_ - rdCount_; }
    int FreeCount() const { return Size() - wrCount_; }

    static constexpr int DefaultSize = 1514;

private:
    std::vector<char> data_;
    int wrCount_ = 0;
    int rdCount_ = 0;
};
