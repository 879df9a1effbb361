// Plays a running client for the tests: keeps a log open for writing (other
// processes may read it, as a client allows) until told to stop, and appends
// text to it on request.
//
//   core_loghold <log file> <event prefix> [exclusive]
// With "exclusive" the file (or a folder) is held for reading, shared with
// nobody, as a program that locks it does; nothing is appended then.
// Events (created by the test): <prefix>_ready (set once the file is held),
// <prefix>_append (auto-reset: append the content of "<log file>.add"),
// <prefix>_appended (set after appending), <prefix>_stop.
#include <windows.h>

#include <string>

static HANDLE Event(const std::string& name, bool manual)
{
    return CreateEventA(nullptr, manual ? TRUE : FALSE, FALSE, name.c_str());
}

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::string path = argv[1], prefix = argv[2];
    const bool exclusive = argc > 3 && std::string(argv[3]) == "exclusive";
    HANDLE file = exclusive ? CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                            : CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    SetFilePointer(file, 0, nullptr, FILE_END);
    HANDLE ready = Event(prefix + "_ready", true);
    HANDLE append = Event(prefix + "_append", false);
    HANDLE appended = Event(prefix + "_appended", false);
    HANDLE stop = Event(prefix + "_stop", true);
    SetEvent(ready);
    HANDLE waits[2] = {stop, append};
    for (;;) {
        DWORD r = WaitForMultipleObjects(2, waits, FALSE, 60000);
        if (r != WAIT_OBJECT_0 + 1)
            break;   // stopped, or nobody talked to us for a minute
        std::string add = path + ".add";
        HANDLE in = CreateFileA(add.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
        if (in != INVALID_HANDLE_VALUE) {
            char buf[65536];
            DWORD got = 0;
            while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) {
                DWORD written = 0;
                WriteFile(file, buf, got, &written, nullptr);
            }
            CloseHandle(in);
            DeleteFileA(add.c_str());
        }
        FlushFileBuffers(file);
        SetEvent(appended);
    }
    CloseHandle(file);
    return 0;
}
