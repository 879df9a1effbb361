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

std::string InFolder(UINT (WINAPI *folderOf)(LPWSTR, UINT), const std::string& name)
{
    if (!TestFolder().empty())
        return TestFolder() + name;
    wchar_t buf[MAX_PATH] = {};
    UINT n = folderOf(buf, MAX_PATH);
    std::string folder = n > 0 && n < MAX_PATH ? WideToUtf8(buf) : std::string("C:\\Windows");
    return IncludeTrailingPathDelimiter(folder) + name;
}

}  // namespace

std::string SystemProgramPath(const std::string& name) { return InFolder(GetSystemDirectoryW, name); }

std::string WindowsProgramPath(const std::string& name) { return InFolder(GetWindowsDirectoryW, name); }

void SetSystemProgramFolderForTesting(const std::string& folder)
{
    TestFolder() = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}
