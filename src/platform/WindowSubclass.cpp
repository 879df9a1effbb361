#include "platform/WindowSubclass.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Firewall.h"

namespace {

struct Entry {
    int id;
    TSubclassProc proc;
    bool removed = false;
};

}  // namespace

struct TSubclassChain {
    HWND hwnd = nullptr;
    WNDPROC original = nullptr;
    std::vector<std::shared_ptr<Entry>> entries;
    int depth = 0;       // messages of this window being dispatched right now
    bool dead = false;   // the window is gone; freed when the last message returns
};

namespace {

std::mutex g_lock;
std::map<HWND, TSubclassChain*> g_chains;
int g_nextId = 1;

LRESULT CALLBACK ChainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

TSubclassChain* FindChain(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_chains.find(hwnd);
    return it == g_chains.end() ? nullptr : it->second;
}

void Forget(TSubclassChain* c)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_chains.find(c->hwnd);
    if (it != g_chains.end() && it->second == c)
        g_chains.erase(it);
}

// Called when no message of the window is being dispatched: drops removed
// hooks and, when none is left and nobody hooked the window after us, gives
// the window its original procedure back.
void Tidy(TSubclassChain* c)
{
    if (c->depth > 0)
        return;
    if (c->dead) {
        delete c;
        return;
    }
    std::erase_if(c->entries, [](const std::shared_ptr<Entry>& e) { return e->removed; });
    if (!c->entries.empty())
        return;
    if (!IsWindow(c->hwnd)) {
        Forget(c);
        delete c;
        return;
    }
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(c->hwnd, GWLP_WNDPROC)) == &ChainProc) {
        SetWindowLongPtrW(c->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(c->original));
        Forget(c);
        delete c;
    }
    // Otherwise someone hooked the window after us and still calls ChainProc:
    // the empty chain stays and passes everything on until the window goes.
}

}  // namespace

struct TSubclassDispatch {
    static LRESULT Call(TSubclassChain* c, HWND hwnd, size_t below, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        while (below > 0) {
            --below;
            if (below >= c->entries.size())
                continue;
            std::shared_ptr<Entry> e = c->entries[below];
            if (e->removed || !e->proc)
                continue;
            TSubclassNext next(c, hwnd, below);
            return e->proc(hwnd, msg, wParam, lParam, next);
        }
        if (c->original)
            return CallWindowProcW(c->original, hwnd, msg, wParam, lParam);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

LRESULT TSubclassNext::operator()(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    return TSubclassDispatch::Call(chain_, hwnd_, below_, msg, wParam, lParam);
}

namespace {

LRESULT CALLBACK ChainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TSubclassChain* c = FindChain(hwnd);
    if (!c)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    ++c->depth;
    LRESULT result = 0;
    try {
        result = TSubclassDispatch::Call(c, hwnd, c->entries.size(), msg, wParam, lParam);
    } catch (...) {
        HandleCurrentException();
    }
    --c->depth;
    if (msg == WM_NCDESTROY && !c->dead) {
        // The window is gone: its hooks end with it.
        if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == &ChainProc)
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(c->original));
        Forget(c);
        c->dead = true;
    }
    Tidy(c);
    return result;
}

}  // namespace

int HookWindowProc(HWND hwnd, TSubclassProc proc)
{
    if (!hwnd || !IsWindow(hwnd) || !proc)
        return 0;
    TSubclassChain* c = FindChain(hwnd);
    if (!c) {
        c = new TSubclassChain;
        c->hwnd = hwnd;
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_chains[hwnd] = c;
        }
        c->original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChainProc)));
    }
    int id;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        id = g_nextId++;
    }
    c->entries.push_back(std::make_shared<Entry>(Entry{id, std::move(proc)}));
    return id;
}

bool UnhookWindowProc(HWND hwnd, int id)
{
    if (!hwnd || id == 0)
        return false;
    TSubclassChain* c = FindChain(hwnd);
    if (!c)
        return false;
    for (auto& e : c->entries)
        if (e->id == id && !e->removed) {
            e->removed = true;
            Tidy(c);
            return true;
        }
    return false;
}

int SubclassCount(HWND hwnd)
{
    TSubclassChain* c = FindChain(hwnd);
    if (!c)
        return 0;
    int n = 0;
    for (const auto& e : c->entries)
        if (!e->removed)
            ++n;
    return n;
}

WNDPROC SubclassOriginalProc(HWND hwnd)
{
    TSubclassChain* c = FindChain(hwnd);
    return c ? c->original : nullptr;
}
