#include "support/Input.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "support/TestSupport.h"

namespace testing_support {

namespace {

bool IsExtendedKey(WORD vk)
{
    switch (vk) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
    case VK_INSERT: case VK_DELETE:
        return true;
    default:
        return false;
    }
}

INPUT MouseInput(POINT screen, DWORD flags)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((screen.x * 65536 + cx / 2) / cx);
    in.mi.dy = static_cast<LONG>((screen.y * 65536 + cy / 2) / cy);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

}  // namespace

std::vector<INPUT> AltChar(wchar_t ch)
{
    WORD vk = static_cast<WORD>(VkKeyScanW(ch) & 0xFF);
    return {KeyInput(VK_MENU, false), KeyInput(vk, false), KeyInput(vk, true), KeyInput(VK_MENU, true)};
}

INPUT KeyInput(WORD vk, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return in;
}

std::vector<INPUT> Chord(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> v;
    for (WORD k : keys)
        v.push_back(KeyInput(k, false));
    for (auto it = keys.end(); it != keys.begin();) {
        --it;
        v.push_back(KeyInput(*it, true));
    }
    return v;
}

std::vector<INPUT> TypedText(const std::wstring& text)
{
    std::vector<INPUT> v;
    for (wchar_t c : text) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wScan = c;
        in.ki.dwFlags = KEYEVENTF_UNICODE;
        v.push_back(in);
        in.ki.dwFlags |= KEYEVENTF_KEYUP;
        v.push_back(in);
    }
    return v;
}

std::vector<INPUT> MouseMoveTo(POINT screen) { return {MouseInput(screen, 0)}; }

std::vector<INPUT> MouseClickAt(POINT screen)
{
    return {MouseInput(screen, 0), MouseInput(screen, MOUSEEVENTF_LEFTDOWN), MouseInput(screen, MOUSEEVENTF_LEFTUP)};
}

std::vector<INPUT> MouseDrag(std::initializer_list<POINT> path)
{
    std::vector<INPUT> v;
    POINT at = *path.begin();
    v.push_back(MouseInput(at, 0));
    v.push_back(MouseInput(at, MOUSEEVENTF_LEFTDOWN));
    for (POINT to : path) {
        int steps = std::max<int>(1, std::max(std::abs(to.x - at.x), std::abs(to.y - at.y)) / 10);
        for (int i = 1; i <= steps; ++i)
            v.push_back(MouseInput(POINT{at.x + (to.x - at.x) * i / steps, at.y + (to.y - at.y) * i / steps}, 0));
        at = to;
    }
    v.push_back(MouseInput(at, MOUSEEVENTF_LEFTUP));
    return v;
}

bool SendInputPumping(const std::vector<INPUT>& inputs, DWORD pumpAfterMs)
{
    std::atomic<bool> done{false};
    std::atomic<UINT> sent{0};
    std::thread t([&] {
        std::vector<INPUT> copy = inputs;
        UINT n = 0;
        // One event at a time, so the receiving thread sees them in order.
        for (INPUT& in : copy) {
            n += SendInput(1, &in, sizeof(INPUT));
            Sleep(5);
        }
        sent = n;
        done = true;
    });
    PumpUntil([&] { return done.load(); }, 10000);
    t.join();
    // The events are queued once SendInput returns; on a loaded machine this
    // thread may take longer than the pause below to get to them all.
    PumpUntil([] { return HIWORD(GetQueueStatus(QS_INPUT)) == 0; }, 2000);
    Pump(pumpAfterMs);
    return sent.load() == inputs.size();
}

std::thread SendInputLater(std::vector<INPUT> inputs, DWORD delayMs)
{
    return std::thread([inputs = std::move(inputs), delayMs]() mutable {
        Sleep(delayMs);
        for (INPUT& in : inputs) {
            SendInput(1, &in, sizeof(INPUT));
            Sleep(5);
        }
    });
}

bool TakesTheKeyboard(HWND window)
{
    auto focusInside = [window] {
        if (!IsWindowVisible(window) || GetForegroundWindow() != window)
            return false;
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) && gui.hwndFocus &&
               (gui.hwndFocus == window || IsChild(window, gui.hwndFocus));
    };
    // A window just shown may still move the focus to its first control:
    // its thread answers a message only once back in its message loop.
    DWORD_PTR answer = 0;
    return focusInside() && SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer) && focusInside();
}

bool ModifiersSettled(HWND window)
{
    Sleep(250);
    return WaitUntil([window] { return TakesTheKeyboard(window); }, 20000);
}

}  // namespace testing_support
