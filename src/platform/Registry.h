// The registry with UTF-8 key and value names. Paths are relative to the root
// and never start with a backslash (a leading one is dropped).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

enum class TRegDataType { Unknown, String, ExpandString, Integer, Binary };

class TRegistry {
public:
    explicit TRegistry(HKEY root = HKEY_CURRENT_USER, REGSAM access = KEY_ALL_ACCESS);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return root_; }
    void SetRootKey(HKEY root);
    HKEY CurrentKey() const { return key_; }
    // The system's error code of the last OpenKey (ERROR_SUCCESS when it opened).
    LONG LastError() const { return lastError_; }
    const std::string& CurrentPath() const { return path_; }

    bool OpenKey(const std::string& path, bool canCreate);
    bool OpenKeyReadOnly(const std::string& path);
    void CloseKey();
    bool KeyExists(const std::string& path) const;
    bool DeleteKey(const std::string& path);   // with its subkeys

    bool ValueExists(const std::string& name) const;
    TRegDataType GetDataType(const std::string& name) const;
    bool DeleteValue(const std::string& name);
    std::vector<std::string> GetValueNames() const;
    std::vector<std::string> GetKeyNames() const;

    // Readers throw ERegistryError when the value is absent or of another type.
    std::string ReadString(const std::string& name) const;
    int ReadInteger(const std::string& name) const;
    bool ReadBool(const std::string& name) const;
    std::string ReadBinaryData(const std::string& name) const;
    // Non-throwing readers: false when absent or of another type.
    bool TryReadString(const std::string& name, std::string& out) const;
    bool TryReadInteger(const std::string& name, int& out) const;

    // Writers throw ERegistryError when the value can't be written.
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int value);
    void WriteBool(const std::string& name, bool value);
    void WriteBinaryData(const std::string& name, const std::string& bytes);

private:
    bool Query(const std::string& name, DWORD& type, std::string& data) const;
    void Write(const std::string& name, DWORD type, const void* data, DWORD size);
    HKEY root_;
    REGSAM access_;
    HKEY key_ = nullptr;
    LONG lastError_ = ERROR_SUCCESS;
    std::string path_;
};

// Sections as subkeys of a base key: the registry seen as an INI file.
class TRegIniFile {
public:
    explicit TRegIniFile(const std::string& basePath, HKEY root = HKEY_CURRENT_USER);

    const std::string& BasePath() const { return base_; }
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& ident, int def) const;
    bool ReadBool(const std::string& section, const std::string& ident, bool def) const;
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int value);
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    bool ValueExists(const std::string& section, const std::string& ident) const;
    std::vector<std::string> ReadSection(const std::string& section) const;   // value names
    std::vector<std::string> ReadSections() const;                            // subkey names
    void DeleteKey(const std::string& section, const std::string& ident);
    void EraseSection(const std::string& section);

private:
    std::string KeyPath(const std::string& section) const;
    HKEY root_;
    std::string base_;
};
