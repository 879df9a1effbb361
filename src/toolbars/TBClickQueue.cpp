// Clicks queued per thread: a list of slots and a hidden window that gets
// message 0x500 with the slot index, so the click runs from the message loop
// after the menus are gone. A slot of an object freed meanwhile holds a
// cancelled marker and runs nothing.
#include "toolbars/TBClickQueue.h"

#include <memory>
#include <vector>

#include "platform/Firewall.h"
#include "platform/HiddenWindow.h"
#include "toolbars/TBItems.h"

namespace {

TObject* const kCancelled = reinterpret_cast<TObject*>(1);

class TClickWindow : public THiddenWindow {
protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

struct TThreadQueue {
    int users = 0;
    std::vector<TObject*> slots;
    std::unique_ptr<TClickWindow> window;
};

thread_local TThreadQueue tq;

LRESULT TClickWindow::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_TB_CLICKQUEUE)
        return THiddenWindow::WndProc(msg, wParam, lParam);
    TObject* obj = nullptr;
    size_t index = static_cast<size_t>(lParam);
    if (lParam >= 0 && index < tq.slots.size()) {
        obj = tq.slots[index];
        tq.slots[index] = nullptr;
    }
    if (obj == kCancelled)
        obj = nullptr;
    while (!tq.slots.empty() && tq.slots.back() == nullptr)
        tq.slots.pop_back();
    // The click may free the last item and with it this window: nothing of
    // ours is touched afterwards, and its errors are handled here.
    try {
        if (auto* item = dynamic_cast<TTBCustomItem*>(obj))
            item->Click();
        else if (auto* viewer = dynamic_cast<TTBItemViewer*>(obj))
            viewer->PostedClick(static_cast<int>(wParam));
    } catch (...) {
        HandleCurrentException();
    }
    return 0;
}

}  // namespace

void TBClickQueue::AddUser() { ++tq.users; }

void TBClickQueue::RemoveUser()
{
    if (--tq.users <= 0) {
        tq.users = 0;
        tq.window.reset();
        tq.slots.clear();
        tq.slots.shrink_to_fit();
    }
}

int TBClickQueue::PendingSlots()
{
    int n = 0;
    for (TObject* o : tq.slots)
        if (o)
            ++n;
    return n;
}

void QueueClick(TObject* object, int flag)
{
    if (!object)
        return;
    size_t i = 0;
    while (i < tq.slots.size() && tq.slots[i] != nullptr)
        ++i;
    if (i == tq.slots.size())
        tq.slots.push_back(object);
    else
        tq.slots[i] = object;
    if (!tq.window)
        tq.window = std::make_unique<TClickWindow>();
    PostMessageW(tq.window->Handle(), WM_TB_CLICKQUEUE, static_cast<WPARAM>(flag), static_cast<LPARAM>(i));
}

void RemoveFromClickQueue(TObject* object)
{
    if (!object)
        return;
    for (TObject*& o : tq.slots)
        if (o == object)
            o = kCancelled;
}
