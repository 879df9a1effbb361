// Writes one event-log record through the program's logger and ends:
//   EventLogHelper.exe <application title> <text> <type> <id> <category>
// The tests run it with Wine's event-log trace on, which shows what reached
// ReportEvent.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "Classes/EventLogger.h"
#include "platform/Application.h"
#include "platform/Text.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 6)
        return 2;
    Application().SetTitle(WideToUtf8(argv[1]));
    bool ok = GetEventLogger().LogMessage(WideToUtf8(argv[2]), static_cast<WORD>(std::wcstoul(argv[3], nullptr, 10)),
                                          std::wcstoul(argv[4], nullptr, 10),
                                          static_cast<WORD>(std::wcstoul(argv[5], nullptr, 10)));
    return ok ? 0 : 1;
}
