#include "controls/FileUtils.h"

#include <windows.h>

#include <vector>

#include "controls/BrowseFolderDlg.h"
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

bool HasAnyChar(std::string_view text, std::string_view chars)
{
    return !chars.empty() && text.find_first_of(chars) != std::string_view::npos;
}

bool IsValidFileName(std::string_view name)
{
    if (name.empty() || HasAnyChar(name, "<>\"[]|"))
        return false;
    return ExtractFileName(name).find('\\') == std::string::npos;
}

// Length of the part of a path that is not looked up: "c:" or "\\server\share".
static size_t RootLength(std::string_view path)
{
    if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0]))
        return 2;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t server = path.find('\\', 2);
        if (server == std::string_view::npos)
            return path.size();
        size_t share = path.find('\\', server + 1);
        return share == std::string_view::npos ? path.size() : share;
    }
    return 0;
}

// The long or short name of the last component of path; empty when not found.
// Wildcards are never expanded: a component holding one is not found.
static std::string LookUpComponent(const std::string& path, bool wantLong)
{
    size_t slash = path.rfind('\\');
    std::string_view last = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    if (last.empty() || HasAnyChar(last, "*?"))
        return {};
    if (last == "." || last == "..")
        return std::string(last);
    WIN32_FIND_DATAW fd{};
    HANDLE h = FindFirstFileW(Utf8ToWide(path).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    FindClose(h);
    std::string longName = WideToUtf8(fd.cFileName);
    std::string shortName = WideToUtf8(fd.cAlternateFileName);
    if (wantLong)
        return longName.empty() ? shortName : longName;
    return shortName.empty() ? longName : shortName;
}

static std::string ConvertPath(std::string_view path, bool wantLong)
{
    std::string head(path);
    const size_t root = RootLength(head);
    std::string tail;
    for (;;) {
        size_t slash = head.rfind('\\');
        if (slash == std::string::npos || slash < root)
            break;
        tail = "\\" + LookUpComponent(head, wantLong) + tail;
        head.resize(slash);
    }
    // A relative path's first component is a name like any other.
    if (root == 0 && !head.empty())
        head = LookUpComponent(head, wantLong);
    return head + tail;
}

std::string ShortToLongFileName(std::string_view path)
{
    return ConvertPath(path, true);
}

std::string LongToShortFileName(std::string_view path)
{
    return ConvertPath(path, false);
}

bool BrowseForDirectory(const std::string& caption, std::string& dir, int helpContext)
{
    TBrowseFolderDlg dlg;
    dlg.PromptText = caption;
    dlg.FolderName = dir;
    dlg.HelpContext = helpContext;
    if (!dlg.Execute())
        return false;
    dir = dlg.FolderName;
    return true;
}
