// Stands in for a client core in the tests: started under a core's name, it
// holds a given amount of touched memory (its working set) and lives until the
// process that started it ends or it is told to stop.
//   CoreHelper.exe <parent pid> <megabytes> [<ready event name>]
// The ready event is set once the memory is held.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    DWORD parentPid = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
    SIZE_T megabytes = std::wcstoul(argv[2], nullptr, 10);
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentPid);
    if (!parent)
        return 3;

    if (megabytes > 0) {
        SIZE_T size = megabytes << 20;
        auto* p = static_cast<volatile char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!p)
            return 4;
        for (SIZE_T i = 0; i < size; i += 4096)
            p[i] = static_cast<char>(i >> 12);
    }
    if (argc >= 4) {
        HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
        if (ready) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    WaitForSingleObject(parent, INFINITE);
    return 0;
}
