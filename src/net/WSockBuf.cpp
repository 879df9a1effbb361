#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int size) : data_(static_cast<size_t>(size > 0 ? size : DefaultSize)) {}

void TBuffer::SetSize(int size)
{
    if (size <= 0)
        size = DefaultSize;
    data_.resize(static_cast<size_t>(size));
    wrCount_ = std::min(wrCount_, size);
    rdCount_ = std::min(rdCount_, wrCount_);
}

int TBuffer::Write(const void* data, int len)
{
    if (len <= 0 || !data)
        return 0;
    int n = std::min(len, FreeCount());
    if (n > 0) {
        std::memcpy(data_.data() + wrCount_, data, static_cast<size_t>(n));
        wrCount_ += n;
    }
    return n;
}

const char* TBuffer::Peek(int& len) const
{
    len = DataCount();
    return len > 0 ? data_.data() + rdCount_ : nullptr;
}

void TBuffer::Remove(int len)
{
    if (len <= 0)
        return;
    rdCount_ += std::min(len, DataCount());
    if (rdCount_ >= wrCount_)
        rdCount_ = wrCount_ = 0;
}
