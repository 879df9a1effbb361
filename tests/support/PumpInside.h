// Typed input and a pump that comes inside an input-free stretch.
#pragma once
#include <windows.h>

#include <functional>
#include <initializer_list>

namespace testing_support {

struct PumpInsideResult {
    bool ran = false;         // the pumping timer ran inside the stretch
    bool keyWaited = false;   // after its pump the typed key was still queued
};

// Types keys (from another thread, so they arrive as real input) and waits
// until they are queued; then runs `stretch` with a timer due that, once
// inside it, pumps every message the way ProcessMessages does. A key that
// must wait for the stretch's end is still queued after that pump. Failing
// to get the key or the timer queued is reported to the running test.
PumpInsideResult TypeThenPumpInside(std::initializer_list<WORD> keys, const std::function<void()>& stretch);

}  // namespace testing_support
