#include "TBGuardedHeap.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kRange = 64u << 20;
constexpr size_t kPage = 4096;
constexpr size_t kHeader = 16;   // the block's length, keeping the object 16-aligned

char* range = nullptr;
std::atomic<size_t> used{0};
std::atomic<bool> guarding{false};

bool InRange(void* p) { return range && p >= range && p < range + kRange; }

void* GuardedNew(size_t n)
{
    size_t length = (n + kHeader + kPage - 1) / kPage * kPage;
    size_t at = used.fetch_add(length);
    if (at + length > kRange || !VirtualAlloc(range + at, length, MEM_COMMIT, PAGE_READWRITE))
        return nullptr;   // the range is used up: plain memory
    *reinterpret_cast<size_t*>(range + at) = length;
    return range + at + kHeader;
}

}  // namespace

void* operator new(size_t n)
{
    if (guarding)
        if (void* p = GuardedNew(n))
            return p;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    if (!InRange(p)) {
        std::free(p);
        return;
    }
    char* block = static_cast<char*>(p) - kHeader;
    VirtualFree(block, *reinterpret_cast<size_t*>(block), MEM_DECOMMIT);   // never handed out again
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace tb_test {

TGuardedHeap::TGuardedHeap()
{
    if (!range)
        range = static_cast<char*>(VirtualAlloc(nullptr, kRange, MEM_RESERVE, PAGE_NOACCESS));
    guarding = true;
}

TGuardedHeap::~TGuardedHeap() { guarding = false; }

}  // namespace tb_test
