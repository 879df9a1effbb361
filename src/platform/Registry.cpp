#include "platform/Registry.h"

#include "platform/Exceptions.h"
#include "platform/Text.h"

static std::string NormalizePath(const std::string& path)
{
    size_t i = 0;
    while (i < path.size() && path[i] == '\\')
        ++i;
    std::string p = path.substr(i);
    while (!p.empty() && p.back() == '\\')
        p.pop_back();
    return p;
}

TRegistry::TRegistry(HKEY root, REGSAM access) : root_(root), access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY root)
{
    CloseKey();
    root_ = root;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate)
{
    CloseKey();
    std::wstring w = Utf8ToWide(NormalizePath(path));
    HKEY k = nullptr;
    LONG rc;
    if (canCreate)
        rc = RegCreateKeyExW(root_, w.c_str(), 0, nullptr, 0, access_, nullptr, &k, nullptr);
    else
        rc = RegOpenKeyExW(root_, w.c_str(), 0, access_, &k);
    lastError_ = rc;
    if (rc != ERROR_SUCCESS)
        return false;
    key_ = k;
    path_ = NormalizePath(path);
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& path)
{
    CloseKey();
    HKEY k = nullptr;
    if (RegOpenKeyExW(root_, Utf8ToWide(NormalizePath(path)).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
        return false;
    key_ = k;
    path_ = NormalizePath(path);
    return true;
}

void TRegistry::CloseKey()
{
    if (key_) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
    path_.clear();
}

bool TRegistry::KeyExists(const std::string& path) const
{
    HKEY k = nullptr;
    if (RegOpenKeyExW(root_, Utf8ToWide(NormalizePath(path)).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

static bool DeleteTree(HKEY parent, const std::wstring& name)
{
    HKEY k = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
        for (;;) {
            wchar_t sub[256];
            DWORD len = 256;
            if (RegEnumKeyExW(k, 0, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (!DeleteTree(k, std::wstring(sub, len)))
                break;
        }
        RegCloseKey(k);
    }
    return RegDeleteKeyW(parent, name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteKey(const std::string& path)
{
    std::string p = NormalizePath(path);
    if (p.empty())
        return false;
    HKEY base = key_ && !path.empty() && path[0] != '\\' ? key_ : root_;
    return DeleteTree(base, Utf8ToWide(p));
}

bool TRegistry::Query(const std::string& name, DWORD& type, std::string& data) const
{
    if (!key_)
        return false;
    std::wstring w = Utf8ToWide(name);
    DWORD size = 0;
    if (RegQueryValueExW(key_, w.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        data.assign(size, '\0');
        DWORD got = size;
        LONG rc = RegQueryValueExW(key_, w.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_SUCCESS) {
            data.resize(got);
            return true;
        }
        if (rc != ERROR_MORE_DATA)
            return false;
        size = got;
    }
    return false;
}

bool TRegistry::ValueExists(const std::string& name) const
{
    DWORD type;
    return key_ && RegQueryValueExW(key_, Utf8ToWide(name).c_str(), nullptr, &type, nullptr,
                                    nullptr) == ERROR_SUCCESS;
}

TRegDataType TRegistry::GetDataType(const std::string& name) const
{
    DWORD type = 0;
    if (!key_ || RegQueryValueExW(key_, Utf8ToWide(name).c_str(), nullptr, &type, nullptr,
                                  nullptr) != ERROR_SUCCESS)
        return TRegDataType::Unknown;
    switch (type) {
    case REG_SZ: return TRegDataType::String;
    case REG_EXPAND_SZ: return TRegDataType::ExpandString;
    case REG_DWORD: return TRegDataType::Integer;
    case REG_BINARY: return TRegDataType::Binary;
    default: return TRegDataType::Unknown;
    }
}

bool TRegistry::DeleteValue(const std::string& name)
{
    return key_ && RegDeleteValueW(key_, Utf8ToWide(name).c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> TRegistry::GetValueNames() const
{
    std::vector<std::string> out;
    if (!key_)
        return out;
    for (DWORD i = 0;; ++i) {
        wchar_t buf[16384];
        DWORD len = 16384;
        if (RegEnumValueW(key_, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out.push_back(WideToUtf8(std::wstring_view(buf, len)));
    }
    return out;
}

std::vector<std::string> TRegistry::GetKeyNames() const
{
    std::vector<std::string> out;
    if (!key_)
        return out;
    for (DWORD i = 0;; ++i) {
        wchar_t buf[256];
        DWORD len = 256;
        if (RegEnumKeyExW(key_, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out.push_back(WideToUtf8(std::wstring_view(buf, len)));
    }
    return out;
}

bool TRegistry::TryReadString(const std::string& name, std::string& out) const
{
    DWORD type;
    std::string data;
    if (!Query(name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::wstring_view w(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
    while (!w.empty() && w.back() == L'\0')
        w.remove_suffix(1);
    out = WideToUtf8(w);
    return true;
}

bool TRegistry::TryReadInteger(const std::string& name, int& out) const
{
    DWORD type;
    std::string data;
    if (!Query(name, type, data) || type != REG_DWORD || data.size() != 4)
        return false;
    DWORD v;
    memcpy(&v, data.data(), 4);
    out = static_cast<int>(v);
    return true;
}

std::string TRegistry::ReadString(const std::string& name) const
{
    std::string out;
    if (!TryReadString(name, out))
        throw ERegistryError("Invalid data type for '" + name + "'");
    return out;
}

int TRegistry::ReadInteger(const std::string& name) const
{
    int out;
    if (!TryReadInteger(name, out))
        throw ERegistryError("Invalid data type for '" + name + "'");
    return out;
}

bool TRegistry::ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }

std::string TRegistry::ReadBinaryData(const std::string& name) const
{
    DWORD type;
    std::string data;
    if (!Query(name, type, data) || type != REG_BINARY)
        throw ERegistryError("Invalid data type for '" + name + "'");
    return data;
}

void TRegistry::Write(const std::string& name, DWORD type, const void* data, DWORD size)
{
    const LONG rc = key_ ? RegSetValueExW(key_, Utf8ToWide(name).c_str(), 0, type, static_cast<const BYTE*>(data), size)
                         : ERROR_INVALID_HANDLE;
    if (rc != ERROR_SUCCESS)
        throw ERegistryError("Failed to set data for '" + name + "'", rc);
}

void TRegistry::WriteString(const std::string& name, const std::string& value)
{
    std::wstring w = Utf8ToWide(value);
    Write(name, REG_SZ, w.c_str(), static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value)
{
    std::wstring w = Utf8ToWide(value);
    Write(name, REG_EXPAND_SZ, w.c_str(), static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

void TRegistry::WriteInteger(const std::string& name, int value)
{
    DWORD v = static_cast<DWORD>(value);
    Write(name, REG_DWORD, &v, sizeof v);
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::WriteBinaryData(const std::string& name, const std::string& bytes)
{
    Write(name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// ---------------------------------------------------------------------------

TRegIniFile::TRegIniFile(const std::string& basePath, HKEY root)
    : root_(root), base_(NormalizePath(basePath))
{
}

std::string TRegIniFile::KeyPath(const std::string& section) const
{
    std::string s = NormalizePath(section);
    if (s.empty())
        return base_;
    return base_.empty() ? s : base_ + "\\" + s;
}

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& def) const
{
    TRegistry r(root_, KEY_READ);
    std::string v;
    if (r.OpenKeyReadOnly(KeyPath(section)) && r.TryReadString(ident, v))
        return v;
    return def;
}

int TRegIniFile::ReadInteger(const std::string& section, const std::string& ident, int def) const
{
    TRegistry r(root_, KEY_READ);
    if (!r.OpenKeyReadOnly(KeyPath(section)))
        return def;
    int v;
    if (r.TryReadInteger(ident, v))
        return v;
    std::string s;
    if (r.TryReadString(ident, s))
        return StrToIntDef(s, def);
    return def;
}

bool TRegIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TRegIniFile::WriteString(const std::string& section, const std::string& ident,
                              const std::string& value)
{
    TRegistry r(root_);
    if (!r.OpenKey(KeyPath(section), true))
        throw ERegistryError("Failed to create key " + KeyPath(section), r.LastError());
    r.WriteString(ident, value);
}

void TRegIniFile::WriteInteger(const std::string& section, const std::string& ident, int value)
{
    TRegistry r(root_);
    if (!r.OpenKey(KeyPath(section), true))
        throw ERegistryError("Failed to create key " + KeyPath(section), r.LastError());
    r.WriteInteger(ident, value);
}

void TRegIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteInteger(section, ident, value ? 1 : 0);
}

bool TRegIniFile::ValueExists(const std::string& section, const std::string& ident) const
{
    TRegistry r(root_, KEY_READ);
    return r.OpenKeyReadOnly(KeyPath(section)) && r.ValueExists(ident);
}

std::vector<std::string> TRegIniFile::ReadSection(const std::string& section) const
{
    TRegistry r(root_, KEY_READ);
    if (!r.OpenKeyReadOnly(KeyPath(section)))
        return {};
    return r.GetValueNames();
}

std::vector<std::string> TRegIniFile::ReadSections() const
{
    TRegistry r(root_, KEY_READ);
    if (!r.OpenKeyReadOnly(base_))
        return {};
    return r.GetKeyNames();
}

void TRegIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    TRegistry r(root_);
    if (r.OpenKey(KeyPath(section), false))
        r.DeleteValue(ident);
}

void TRegIniFile::EraseSection(const std::string& section)
{
    TRegistry r(root_);
    r.DeleteKey(KeyPath(section));
}
