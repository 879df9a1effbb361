#include "FolderList.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

namespace {

const char kDirSection[] = "FAHDir";

std::string WithBackslash(const std::string& folder)
{
    return folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

// The alias is written as typed unless a read would change it; then it goes
// in plain quotes (a read removes exactly that pair again).
std::string AliasValue(const std::string& alias)
{
    if (ProfileValue(Trim(alias)) == alias)
        return alias;
    return "\"" + alias + "\"";
}

// The folder of a "FAHDir" key: its value without quotes or outer blanks
// (a folder typed with blanks by an older version keeps its section, whose
// name lost them).
std::string ListedFolder(const TIniFile& ini, const std::string& key)
{
    return Trim(UnquotedValue(ini.ReadString(kDirSection, key, "")));
}

}  // namespace

std::string DefaultFolderListFile()
{
    return ChangeFileExt(ExeFileName(), ".ini");
}

std::string ProfileValue(const std::string& raw)
{
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        return raw.substr(1, raw.size() - 2);
    return raw;
}

std::string QuotedValue(const std::string& value)
{
    return "\"" + StringReplaceAll(value, "\"", "\"\"") + "\"";
}

std::string UnquotedValue(const std::string& raw)
{
    return StringReplaceAll(ProfileValue(raw), "\"\"", "\"");
}

std::vector<TFolderEntry> ReadFolderList(const std::string& iniFile, std::vector<std::string>* noHeaderLines)
{
    TIniFile ini(iniFile);
    if (!ini.LoadError().empty())
        throw EFileError(ini.LoadError());
    if (noHeaderLines)
        *noHeaderLines = ini.NoHeaderLines();
    std::vector<TFolderEntry> out;
    for (const std::string& key : ini.ReadSection(kDirSection)) {
        std::string folder = ListedFolder(ini, key);
        if (folder.empty())
            continue;
        TFolderEntry e;
        e.Folder = WithBackslash(folder);
        // The section may have been written under the name without the backslash.
        const std::string& section = ini.SectionExists(e.Folder) ? e.Folder : folder;
        e.ShowInHint = ini.ReadInteger(section, "ShowInHint", 0) == 1;
        e.CompConfig = UnquotedValue(ini.ReadString(section, "Comp_Config", ""));
        e.ServiceName = Trim(UnquotedValue(ini.ReadString(section, "ServiceName", "")));
        e.Alias = ProfileValue(ini.ReadString(section, "Alias", ""));
        out.push_back(std::move(e));
    }
    std::stable_sort(out.begin(), out.end(), [](const TFolderEntry& a, const TFolderEntry& b) {
        return LowerCase(a.Folder) < LowerCase(b.Folder);
    });
    return out;
}

namespace {

void WriteEntry(TIniFile& ini, const std::string& folder, const TFolderEntry& entry)
{
    std::vector<std::string> folders;
    bool listed = false;
    for (const std::string& key : ini.ReadSection(kDirSection)) {
        std::string value = ListedFolder(ini, key);
        ini.DeleteKey(kDirSection, key);
        if (value.empty())
            continue;
        if (SameTextUnicode(WithBackslash(value), folder))
            listed = true;
        folders.push_back(std::move(value));
    }
    if (!listed)
        folders.push_back(folder);
    for (size_t i = 0; i < folders.size(); ++i)
        ini.WriteString(kDirSection, Format("line%03u", static_cast<unsigned>(i)), QuotedValue(folders[i]));
    ini.WriteString(folder, "Alias", AliasValue(entry.Alias));
    ini.WriteString(folder, "Comp_Config", QuotedValue(entry.CompConfig));
    ini.WriteString(folder, "ServiceName", QuotedValue(entry.ServiceName));
    ini.WriteInteger(folder, "ShowInHint", entry.ShowInHint ? 1 : 0);
}

bool RemoveEntry(TIniFile& ini, const std::string& folder)
{
    const std::string wanted = WithBackslash(folder);
    bool removed = false;
    for (const std::string& key : ini.ReadSection(kDirSection)) {
        std::string value = ListedFolder(ini, key);
        if (WithBackslash(value) != wanted)
            continue;
        ini.DeleteKey(kDirSection, key);
        ini.EraseSection(wanted);
        ini.EraseSection(value);   // an entry written without the backslash
        removed = true;
    }
    return removed;
}

}  // namespace

void WriteFolderEntry(const std::string& iniFile, const TFolderEntry& entry)
{
    const std::string folder = WithBackslash(entry.Folder);
    if (folder.empty())
        return;
    TIniFile ini(iniFile);
    ini.BeginUpdate();
    WriteEntry(ini, folder, entry);
    ini.EndUpdate();
}

bool RemoveFolderEntry(const std::string& iniFile, const std::string& folder)
{
    TIniFile ini(iniFile);
    ini.BeginUpdate();
    bool removed = RemoveEntry(ini, folder);
    ini.EndUpdate();
    return removed;
}

void ReplaceFolderEntry(const std::string& iniFile, const std::string& oldFolder, const TFolderEntry& entry)
{
    const std::string folder = WithBackslash(entry.Folder);
    if (folder.empty())
        return;
    TIniFile ini(iniFile);
    ini.BeginUpdate();
    RemoveEntry(ini, oldFolder);
    WriteEntry(ini, folder, entry);
    ini.EndUpdate();
}
