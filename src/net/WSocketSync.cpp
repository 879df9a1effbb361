// Waiting for a flag while the messages keep flowing.
#include <algorithm>
#include "net/WSocket.h"
#include "platform/Application.h"

int TCustomSyncWSocket::WaitUntilReady(const bool& flag)
{
    const DWORD start = GetTickCount();
    deadline_ = start + timeout_;
    while (!flag) {
        if (timeout_ > 0 && GetTickCount() - start >= timeout_)
            return WaitTimedOut;
        if (Application().Terminated() || Terminated())
            return WaitTimedOut;
        MessagePump();
        if (flag)
            break;
        if (Application().Terminated() || Terminated())
            return WaitTimedOut;
        // Sleeps until a message arrives rather than spinning.
        DWORD wait = 50;
        if (timeout_ > 0) {
            DWORD spent = GetTickCount() - start;
            wait = spent >= timeout_ ? 0 : std::min<DWORD>(wait, timeout_ - spent);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
    return 0;
}
