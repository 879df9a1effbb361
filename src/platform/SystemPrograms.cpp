#include "platform/SystemPrograms.h"

#include <windows.h>

#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace {

std::string& TestFolder()
{
    static std::string folder;
    return folder;
}

// The folder the function names, or the fallback when it names none.
std::string InFolder(UINT (WINAPI *folderOf)(LPWSTR, UINT), const char* fallback, const std::string& name)
{
    if (!TestFolder().empty())
        return TestFolder() + name;
    wchar_t buf[MAX_PATH] = {};
    UINT n = folderOf(buf, MAX_PATH);
    std::string folder = n > 0 && n < MAX_PATH ? WideToUtf8(buf) : std::string(fallback);
    return IncludeTrailingPathDelimiter(folder) + name;
}

}  // namespace

std::string SystemProgramPath(const std::string& name)
{
    return InFolder(GetSystemDirectoryW, "C:\\Windows\\System32", name);
}

// The system's Windows folder: on a terminal server GetWindowsDirectory
// names a folder of the user's own.
std::string WindowsProgramPath(const std::string& name)
{
    return InFolder(GetSystemWindowsDirectoryW, "C:\\Windows", name);
}

void SetSystemProgramFolderForTesting(const std::string& folder)
{
    TestFolder() = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}
