#include "Classes/SingleInstance.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include "platform/Text.h"

const char kSingleInstanceName[] = "FileForBrenix_ver150Handle";

namespace {

// The ending copy's event that says it only waits for a box.
HANDLE g_answerAwaited = nullptr;

std::wstring AnswerEventName(const std::string& name, DWORD pid)
{
    return Utf8ToWide(name + ".answer." + std::to_string(pid));
}

struct TFoundBox {
    DWORD Pid;
    HWND Box;
};

BOOL CALLBACK FindBoxOf(HWND w, LPARAM lp)
{
    auto* f = reinterpret_cast<TFoundBox*>(lp);
    DWORD pid = 0;
    wchar_t cls[16] = {};
    GetWindowThreadProcessId(w, &pid);
    if (pid != f->Pid || !IsWindowVisible(w) || !GetClassNameW(w, cls, 16) || wcscmp(cls, L"#32770") != 0)
        return TRUE;
    f->Box = w;
    return FALSE;
}

// The box comes a moment after the copy says it waits for it; a copy that
// ends meanwhile has no box to show.
void BringBoxForward(DWORD pid, HANDLE process)
{
    const DWORD start = GetTickCount();
    for (;;) {
        TFoundBox found{pid, nullptr};
        EnumWindows(FindBoxOf, reinterpret_cast<LPARAM>(&found));
        if (found.Box) {
            SetForegroundWindow(found.Box);
            return;
        }
        if (GetTickCount() - start >= 10000)
            return;
        if (!process)
            Sleep(20);
        else if (WaitForSingleObject(process, 20) != WAIT_TIMEOUT)
            return;
    }
}

}  // namespace

// 32-bit values, the same layout in every copy of the program (a block
// made by an older copy, without the last one, is read as not ending).
struct TSingleInstanceGuard::TBlock {
    uint32_t Window;
    uint32_t Message;
    uint32_t EndingProcess;   // the first copy's process id once it is ending
};

TSingleInstanceGuard::TSingleInstanceGuard(const std::string& name) : name_(name)
{
    std::wstring wname = Utf8ToWide(name);
    message_ = RegisterWindowMessageW(wname.c_str());
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TBlock),
                                  wname.c_str());
    DWORD err = GetLastError();
    if (!mapping_)
        return;   // name taken by something else, or no access: run anyway
    first_ = err != ERROR_ALREADY_EXISTS;
    view_ = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (view_) {
        // A block made by someone else may be smaller than ours.
        MEMORY_BASIC_INFORMATION mbi = {};
        if (!VirtualQuery(view_, &mbi, sizeof mbi) || mbi.RegionSize < sizeof(TBlock)) {
            UnmapViewOfFile(view_);
            view_ = nullptr;
        }
    }
}

TSingleInstanceGuard::~TSingleInstanceGuard()
{
    if (answerAwaited_) {
        if (g_answerAwaited == answerAwaited_)
            g_answerAwaited = nullptr;
        CloseHandle(answerAwaited_);
    }
    if (view_)
        UnmapViewOfFile(view_);
    if (mapping_)
        CloseHandle(mapping_);
}

TSingleInstanceGuard::TBlock* TSingleInstanceGuard::Block() const
{
    return static_cast<TBlock*>(view_);
}

HWND TSingleInstanceGuard::StoredWindow() const
{
    return Block() ? reinterpret_cast<HWND>(static_cast<uintptr_t>(Block()->Window)) : nullptr;
}

UINT TSingleInstanceGuard::StoredMessage() const { return Block() ? Block()->Message : 0; }

void TSingleInstanceGuard::Publish(HWND appWindow)
{
    if (!Block() || !first_)
        return;
    Block()->Window = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(appWindow));
    Block()->Message = message_;
}

void TSingleInstanceGuard::MarkEnding()
{
    if (!Block() || !first_)
        return;
    // Made before the block names the process, so a start that reads the
    // block finds it.
    if (!answerAwaited_) {
        answerAwaited_ = CreateEventW(nullptr, TRUE, FALSE, AnswerEventName(name_, GetCurrentProcessId()).c_str());
        g_answerAwaited = answerAwaited_;
    }
    Block()->EndingProcess = GetCurrentProcessId();
}

void MarkOnlyAnswerAwaited()
{
    if (g_answerAwaited)
        SetEvent(g_answerAwaited);
}

DWORD TSingleInstanceGuard::EndingProcessId() const
{
    if (!Block() || first_)
        return 0;
    const DWORD pid = Block()->EndingProcess;
    // Trust the block only as far as the window it names: it must be that process's.
    HWND w = StoredWindow();
    DWORD owner = 0;
    if (!pid || !w || !IsWindow(w) || !GetWindowThreadProcessId(w, &owner) || owner != pid)
        return 0;
    return pid;
}

TEndingWait AwaitEndingFirstInstance(std::unique_ptr<TSingleInstanceGuard>& guard, DWORD ms)
{
    if (!guard || guard->IsFirstInstance())
        return TEndingWait::Gone;
    const DWORD pid = guard->EndingProcessId();
    if (!pid)
        return TEndingWait::Gone;
    const std::string name = guard->Name();
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    HANDLE answer = OpenEventW(SYNCHRONIZE, FALSE, AnswerEventName(name, pid).c_str());
    // Not held while waiting: the block goes with the first copy, so the
    // next guard is a first one (of several starts waiting, one is).
    guard.reset();
    HANDLE handles[2];
    DWORD count = 0;
    if (process)
        handles[count++] = process;
    const DWORD answerAt = count;
    if (answer)
        handles[count++] = answer;
    // The copy's end comes first when both are there.
    const DWORD waited = count ? WaitForMultipleObjects(count, handles, FALSE, ms) : WAIT_OBJECT_0;
    TEndingWait result = TEndingWait::Gone;
    if (answer && waited == WAIT_OBJECT_0 + answerAt) {
        BringBoxForward(pid, process);
        result = TEndingWait::AnswerAwaited;
    } else if (waited != WAIT_OBJECT_0) {
        result = TEndingWait::StillEnding;
    }
    if (answer)
        CloseHandle(answer);
    if (process)
        CloseHandle(process);
    if (result == TEndingWait::Gone)
        guard = std::make_unique<TSingleInstanceGuard>(name);
    return result;
}

UINT TSingleInstanceGuard::ActivateFirstInstance()
{
    HWND w = StoredWindow();
    // The stored values come from another process: trust nothing of them.
    UINT msg = StoredMessage();
    if (msg < 0xC000 || msg > 0xFFFF)
        msg = message_;
    if (w && IsWindow(w)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        // We are the program the user just started, so we may hand the
        // foreground on; the first copy then brings its own window forward.
        if (pid)
            AllowSetForegroundWindow(pid);
        // ShowWindow waits for the window's own thread: a first copy that
        // hangs would keep this one from ever ending. Another thread's window
        // is told asynchronously.
        if (IsIconic(w)) {
            if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId())
                ShowWindow(w, SW_RESTORE);
            else
                ShowWindowAsync(w, SW_RESTORE);
        }
        HWND front = GetLastActivePopup(w);
        SetForegroundWindow(front && IsWindowVisible(front) ? front : w);
    }
    if (msg) {
        DWORD recipients = BSM_APPLICATIONS;
        BroadcastSystemMessageW(BSF_IGNORECURRENTTASK | BSF_POSTMESSAGE, &recipients, msg, 0, 0);
    }
    return msg;
}

UINT SingleInstanceMessage()
{
    // The same number in every process that registers the name.
    static const UINT message = RegisterWindowMessageW(Utf8ToWide(kSingleInstanceName).c_str());
    return message;
}
