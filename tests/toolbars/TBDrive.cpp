#include "TBDrive.h"

#include <atomic>
#include <thread>

#include "support/Input.h"
#include "support/TestSupport.h"

namespace tb_test {

void Drive(const std::function<void()>& script, DWORD pumpAfterMs)
{
    std::atomic<bool> done{false}, back{false};
    std::thread t([&] {
        script();
        done = true;
        // The GUI thread answers only from its own pump: while it sits in a
        // menu loop the script left open, Escape closes a level at a time.
        for (int i = 0; i < 10 && !WaitFor([&] { return back.load(); }, 500); ++i) {
            INPUT esc[] = {testing_support::KeyInput(VK_ESCAPE, false), testing_support::KeyInput(VK_ESCAPE, true)};
            SendInput(2, esc, sizeof(INPUT));
        }
    });
    testing_support::PumpUntil([&] { return back = done.load(); }, 40000);
    t.join();
    testing_support::Pump(pumpAfterMs);
}

bool WaitFor(const std::function<bool()>& pred, DWORD ms)
{
    for (DWORD waited = 0; waited < ms; waited += 20) {
        if (pred())
            return true;
        Sleep(20);
    }
    return pred();
}

} // namespace tb_test
