#include "controls/FileUtils.h"

#include <windows.h>

#include <vector>

#include "platform/FileUtil.h"
#include "platform/Text.h"

static bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string EnsureTrailingBackslash(std::string_view dir)
{
    if (dir.empty())
        return {};
    if (dir.size() == 1 && IsDriveLetter(dir[0]))
        return std::string(dir) + ":\\";
    char last = dir.back();
    if (last == ':' || last == '\\')
        return std::string(dir);
    return std::string(dir) + "\\";
}

std::string RemoveTrailingBackslash(std::string_view dir)
{
    if (dir.size() > 1 && dir.back() == '\\') {
        bool driveRoot = dir.size() == 3 && IsDriveLetter(dir[0]) && dir[1] == ':';
        if (!driveRoot)
            dir.remove_suffix(1);
    }
    return std::string(dir);
}

bool IsExistingDirectory(const std::string& path)
{
    if (path.empty())
        return false;
    DWORD attrs = GetFileAttributesW(Utf8ToWide(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TDateTime FileModifiedTime(const std::string& file)
{
    if (file.empty())
        return 0;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Utf8ToWide(file).c_str(), GetFileExInfoStandard, &data))
        return 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    SYSTEMTIME utc{}, local{};
    if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc))
        return 0;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(local.wYear, local.wMonth, local.wDay, date) ||
        !TryEncodeTime(local.wHour, local.wMinute, local.wSecond, local.wMilliseconds, time))
        return 0;
    return date >= 0 ? date + time : date - time;
}
