// Freed memory that faults. While a TGuardedHeap lives, every operator new
// of the process gets pages of its own from one reserved range, and
// operator delete decommits them for good: a read through a pointer to an
// object made meanwhile and freed since is an access violation (the test
// program ends) instead of a quiet read of stale bytes.
#pragma once

namespace tb_test {

class TGuardedHeap {
public:
    TGuardedHeap();
    ~TGuardedHeap();
    TGuardedHeap(const TGuardedHeap&) = delete;
    TGuardedHeap& operator=(const TGuardedHeap&) = delete;
};

}  // namespace tb_test
