#include "support/PumpInside.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "support/Input.h"
#include "support/TestSupport.h"

namespace testing_support {

PumpInsideResult TypeThenPumpInside(std::initializer_list<WORD> keys, const std::function<void()>& stretch)
{
    PumpInsideResult result;
    bool inside = false;
    TSimpleTimer pumpsAll(1, [&](TObject*) {
        if (!inside || result.ran)
            return;
        result.ran = true;
        Application().ProcessMessages();
        result.keyWaited = (HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY) != 0;
    });
    std::vector<INPUT> typed = Chord(keys);
    std::thread typing([&] { SendInput(static_cast<UINT>(typed.size()), typed.data(), sizeof(INPUT)); });
    typing.join();
    if (!WaitQueued(QS_KEY, 20000)) {
        ADD_FAILURE() << "the typed key did not reach the queue";
        return result;
    }
    pumpsAll.SetEnabled(true);
    if (!WaitQueued(QS_TIMER, 20000)) {
        ADD_FAILURE() << "the timer did not fall due";
        return result;
    }
    inside = true;
    stretch();
    inside = false;
    pumpsAll.SetEnabled(false);
    return result;
}

}  // namespace testing_support
