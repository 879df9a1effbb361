#include "Classes/SingleInstance.h"

#include <cstdint>

#include "platform/Text.h"

const char kSingleInstanceName[] = "FileForBrenix_ver150Handle";

// Two 32-bit values, the same layout in every copy of the program.
struct TSingleInstanceGuard::TBlock {
    uint32_t Window;
    uint32_t Message;
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
