// An INI file kept in memory, UTF-8 on disk, written whole through a
// temporary file. Every write saves at once unless inside BeginUpdate/EndUpdate.
#pragma once
#include <string>
#include <vector>

class TIniFile {
public:
    // Loads the file when it exists (a missing file is an empty one). Text that
    // is not UTF-8 is read in the system's ANSI code page.
    explicit TIniFile(std::string path);

    const std::string& FileName() const { return path_; }
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& ident, int def) const;
    bool ReadBool(const std::string& section, const std::string& ident, bool def) const;
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int value);
    void WriteBool(const std::string& section, const std::string& ident, bool value);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& ident) const;
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(const std::string& section) const;         // keys
    std::vector<std::string> ReadSectionValues(const std::string& section) const;   // key=value
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& ident);

    void BeginUpdate() { ++updating_; }
    void EndUpdate();          // saves when the outermost update ends with changes
    void UpdateFile();         // saves now; throws EFileError

private:
    struct Entry { std::string key, value; };
    struct Section { std::string name; std::vector<Entry> entries; };
    Section* Find(const std::string& name);
    const Section* Find(const std::string& name) const;
    void Changed();

    std::string path_;
    std::vector<Section> sections_;
    int updating_ = 0;
    bool dirty_ = false;
};
