#include "toolbars/TBAnim.h"

#include <atomic>

namespace {

TUpdateLayeredWindowFn LookUpUpdateLayeredWindow()
{
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<TUpdateLayeredWindowFn>(
                      reinterpret_cast<void*>(GetProcAddress(user, "UpdateLayeredWindow")))
                : nullptr;
}

TUpdateLayeredWindowFn gUpdateLayeredWindow = LookUpUpdateLayeredWindow();
int gDurationForTesting = 0;

// The animation of one GUI thread. The worker reads the fixed fields and
// writes step, finished and pending; the GUI thread joins it before it
// changes or frees anything the worker reads.
struct TPopupAnimation {
    int sequence = 0;
    HWND window = nullptr;
    DWORD duration = 0;
    bool fade = false;
    std::atomic<int> step{0};
    HDC windowDC = nullptr;
    HDC memDC = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    RECT clientRect{};   // screen coordinates
    int width = 0, height = 0;
    POINT lastCursor{};
    std::uint8_t direction = 0;
    std::atomic<int> stop{0};
    std::atomic<int> finished{0};
    std::atomic<int> pending{0};
    HANDLE thread = nullptr;
};

thread_local TPopupAnimation* tAnimation = nullptr;

TPopupAnimation& Record()
{
    if (!tAnimation)
        tAnimation = new TPopupAnimation;
    return *tAnimation;
}

void SendStep(TPopupAnimation& a)
{
    SendNotifyMessageW(a.window, WM_POPUPANIM_STEP, 0, static_cast<LPARAM>(a.sequence));
}

DWORD WINAPI AnimationWorker(LPVOID param)
{
    auto& a = *static_cast<TPopupAnimation*>(param);
    DWORD start = GetTickCount();
    const int firstStep = a.step.load();
    DWORD lastPass = start;
    while (a.stop.load() == 0) {
        DWORD now = GetTickCount();
        auto elapsed = static_cast<long long>(now) - static_cast<long long>(start);
        if (elapsed < 0 || elapsed >= static_cast<long long>(a.duration))
            break;
        long long step = elapsed * 255 / a.duration + firstStep;
        if (step < 0 || step >= 255)
            break;
        POINT p;
        if (GetCursorPos(&p) && (p.x != a.lastCursor.x || p.y != a.lastCursor.y)) {
            // The user reached for the menu: show it whole now.
            if (PtInRect(&a.clientRect, p))
                break;
            a.lastCursor = p;
        }
        if (step > a.step.load()) {
            a.step.store(static_cast<int>(step));
            // At most one step message on its way: the steps coalesce.
            if (a.pending.exchange(1) == 0)
                SendStep(a);
        }
        do {
            Sleep(5);
        } while (a.stop.load() == 0 && GetTickCount() - lastPass < 10);
        lastPass = GetTickCount();
    }
    a.finished.store(-1);
    SendStep(a);
    return 0;
}

// Releases the drawing surfaces of a record whose worker has ended.
void ReleaseSurfaces(TPopupAnimation& a)
{
    if (a.memDC) {
        if (a.oldBitmap)
            SelectObject(a.memDC, a.oldBitmap);
        DeleteDC(a.memDC);
    }
    if (a.bitmap)
        DeleteObject(a.bitmap);
    if (a.windowDC)
        ReleaseDC(a.window, a.windowDC);
    a.memDC = nullptr;
    a.bitmap = nullptr;
    a.oldBitmap = nullptr;
    a.windowDC = nullptr;
}

void SetConstantAlpha(TPopupAnimation& a, int alpha)
{
    if (!gUpdateLayeredWindow)
        return;
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(alpha), 0};
    gUpdateLayeredWindow(a.window, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &blend, ULW_ALPHA);
}

// The process's main thread finishes its animation when the program ends.
struct TUnitEnd {
    ~TUnitEnd()
    {
        if (tAnimation && tAnimation->thread)
            FinishPopupAnimation(nullptr);
    }
} gUnitEnd;

}  // namespace

void BeginPopupAnimation(HWND window, bool fade, std::uint8_t direction)
{
    FinishPopupAnimation(nullptr);
    if (!window || !IsWindow(window))
        return;
    TPopupAnimation& a = Record();
    ++a.sequence;
    a.window = window;
    a.fade = fade && gUpdateLayeredWindow != nullptr;
    a.direction = direction;
    a.stop = 0;
    a.finished = 0;
    a.pending = 0;
    GetCursorPos(&a.lastCursor);
    RECT cr;
    GetClientRect(window, &cr);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&cr), 2);
    a.clientRect = cr;
    RECT wr;
    GetWindowRect(window, &wr);
    a.width = wr.right - wr.left;
    a.height = wr.bottom - wr.top;
    a.windowDC = GetDCEx(window, nullptr, DCX_WINDOW | DCX_CACHE);
    a.memDC = CreateCompatibleDC(a.windowDC);
    a.bitmap = CreateCompatibleBitmap(a.windowDC, a.width > 0 ? a.width : 1, a.height > 0 ? a.height : 1);
    a.oldBitmap = SelectObject(a.memDC, a.bitmap);

    // The snapshot every step draws from.
    SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(a.memDC),
                 PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    if (a.fade) {
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
        a.duration = 175;
        a.step = 40;
        SIZE size = {a.width, a.height};
        POINT origin = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 40, 0};
        gUpdateLayeredWindow(window, nullptr, nullptr, &size, a.memDC, &origin, 0, &blend, ULW_ALPHA);
    } else {
        a.duration = 150;
        a.step = 0;
        SetWindowRgn(window, CreateRectRgn(0, 0, 0, 0), FALSE);
    }
    if (gDurationForTesting > 0)
        a.duration = static_cast<DWORD>(gDurationForTesting);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_SHOWWINDOW |
                     SWP_NOOWNERZORDER | SWP_ASYNCWINDOWPOS);
    DWORD id = 0;
    a.thread = CreateThread(nullptr, 0, &AnimationWorker, &a, CREATE_SUSPENDED, &id);
    if (!a.thread) {
        // Without a worker there are no steps: show it whole now.
        a.finished = -1;
        FinishPopupAnimation(window);
        return;
    }
    ResumeThread(a.thread);
}

void StepPopupAnimation(LPARAM sequence)
{
    TPopupAnimation* p = tAnimation;
    if (!p || !p->window || static_cast<int>(sequence) != p->sequence)
        return;
    TPopupAnimation& a = *p;
    if (a.finished.load() != 0) {
        FinishPopupAnimation(a.window);
        return;
    }
    int step = a.step.load();
    if (a.fade) {
        SetConstantAlpha(a, step);
    } else {
        int x = 0, y = 0;
        if (a.direction & tbpaFromAbove)
            y = MulDiv(a.height, step, 255) - a.height;
        if (a.direction & tbpaFromBelow)
            y = a.height - MulDiv(a.height, step, 255);
        if (a.direction & tbpaFromLeft)
            x = MulDiv(a.width, step, 255) - a.width;
        if (a.direction & tbpaFromRight)
            x = a.width - MulDiv(a.width, step, 255);
        SetWindowRgn(a.window, CreateRectRgn(x, y, x + a.width, y + a.height), FALSE);
        BitBlt(a.windowDC, x, y, a.width, a.height, a.memDC, 0, 0, SRCCOPY);
    }
    a.pending.store(0);
}

void FinishPopupAnimation(HWND window)
{
    TPopupAnimation* p = tAnimation;
    if (!p || !p->window)
        return;
    TPopupAnimation& a = *p;
    if (window && window != a.window)
        return;
    if (a.thread) {
        a.stop = -1;
        WaitForSingleObject(a.thread, INFINITE);
        CloseHandle(a.thread);
        a.thread = nullptr;
    }
    HWND w = a.window;
    if (IsWindow(w)) {
        if (a.fade)
            SetWindowLongW(w, GWL_EXSTYLE, GetWindowLongW(w, GWL_EXSTYLE) & ~WS_EX_LAYERED);
        else
            SetWindowRgn(w, nullptr, FALSE);
        if (a.windowDC && a.memDC)
            BitBlt(a.windowDC, 0, 0, a.width, a.height, a.memDC, 0, 0, SRCCOPY);
    }
    ReleaseSurfaces(a);
    a.window = nullptr;
    if (IsWindow(w))
        SendMessageW(w, WM_POPUPANIM_ENDED, 0, 0);
}

bool IsPopupAnimationRunning(HWND window)
{
    TPopupAnimation* p = tAnimation;
    return p && p->window && (!window || window == p->window);
}

int PopupAnimationSequence()
{
    return tAnimation ? tAnimation->sequence : 0;
}

void SetUpdateLayeredWindowForTesting(TUpdateLayeredWindowFn fn)
{
    gUpdateLayeredWindow = fn;
}

void ResetUpdateLayeredWindowForTesting()
{
    gUpdateLayeredWindow = LookUpUpdateLayeredWindow();
}

TUpdateLayeredWindowFn SystemUpdateLayeredWindow()
{
    return LookUpUpdateLayeredWindow();
}

void SetPopupAnimationDurationForTesting(int ms)
{
    gDurationForTesting = ms;
}
