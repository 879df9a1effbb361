#include "Common/AppSettings.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

// ---------------------------------------------------------------------------
// Variants

TAppValKind KindOfVariant(const TAppVariant& v)
{
    if (std::holds_alternative<int>(v))
        return TAppValKind::Integer;
    if (std::holds_alternative<double>(v))
        return TAppValKind::Float;
    if (std::holds_alternative<bool>(v))
        return TAppValKind::Boolean;
    return TAppValKind::String;
}

int VarToInt(const TAppVariant& v, int def)
{
    if (auto p = std::get_if<int>(&v))
        return *p;
    if (auto p = std::get_if<bool>(&v))
        return *p ? 1 : 0;
    if (auto p = std::get_if<double>(&v)) {
        double r = std::nearbyint(*p);
        if (std::isfinite(r) && r >= -2147483648.0 && r <= 2147483647.0)
            return static_cast<int>(r);
        return def;
    }
    if (auto p = std::get_if<std::string>(&v))
        return StrToIntDef(*p, def);
    return def;
}

double VarToFloat(const TAppVariant& v, double def)
{
    if (auto p = std::get_if<double>(&v))
        return *p;
    if (auto p = std::get_if<int>(&v))
        return *p;
    if (auto p = std::get_if<bool>(&v))
        return *p ? 1 : 0;
    if (auto p = std::get_if<std::string>(&v))
        return StrToFloatDef(*p, def);
    return def;
}

bool VarToBool(const TAppVariant& v, bool def)
{
    if (auto p = std::get_if<bool>(&v))
        return *p;
    if (auto p = std::get_if<int>(&v))
        return *p != 0;
    if (auto p = std::get_if<double>(&v))
        return *p != 0;
    if (auto p = std::get_if<std::string>(&v)) {
        if (SameText(Trim(*p), "true"))
            return true;
        if (SameText(Trim(*p), "false"))
            return false;
        int n;
        return TryStrToInt(*p, n) ? n != 0 : def;
    }
    return def;
}

std::string VarToStr(const TAppVariant& v)
{
    if (auto p = std::get_if<std::string>(&v))
        return *p;
    if (auto p = std::get_if<int>(&v))
        return IntToStr(*p);
    if (auto p = std::get_if<double>(&v))
        return FloatToStr(*p);
    if (auto p = std::get_if<bool>(&v))
        return *p ? "True" : "False";
    return std::string();
}

TAppVariant VarAsKind(const TAppVariant& v, TAppValKind kind)
{
    switch (kind) {
    case TAppValKind::Integer: return VarToInt(v);
    case TAppValKind::Float: return VarToFloat(v);
    case TAppValKind::Boolean: return VarToBool(v);
    case TAppValKind::String: break;
    }
    return VarToStr(v);
}

// ---------------------------------------------------------------------------
// TRegIniFileEx

static std::string SubkeyPath(const std::string& base, const std::string& section)
{
    std::string s = section;
    while (!s.empty() && s.front() == '\\')
        s.erase(0, 1);
    while (!s.empty() && s.back() == '\\')
        s.pop_back();
    if (s.empty())
        return base;
    return base.empty() ? s : base + "\\" + s;
}

double TRegIniFileEx::ReadFloat(const std::string& section, const std::string& name,
                                double def) const
{
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    std::string text;
    if (!r.OpenKeyReadOnly(SubkeyPath(BasePath(), section)) || !r.TryReadString(name, text))
        return def;
    double v;
    return TryStrToFloat(text, v) ? v : def;
}

void TRegIniFileEx::WriteFloat(const std::string& section, const std::string& name, double value)
{
    std::string text = FloatToStr(value);
    char sep = FormatSettings().decimalSeparator;
    if (sep != '.' && sep != 0) {
        for (char& c : text)
            if (c == '.')
                c = sep;
    }
    WriteString(section, name, text);
}

// ---------------------------------------------------------------------------
// TAppVal

TAppVal::TAppVal(TAppSettings* settings, const std::string& key, const TAppVariant& def)
    : Settings(settings)
{
    BX_ASSERT(Settings != nullptr, "AppSettings is nil!");
    if (std::holds_alternative<std::monostate>(def)) {
        StoredValue = EditedValue = DefaultValue = std::string();
    } else {
        StoredValue = EditedValue = DefaultValue = def;
    }
    std::string rest = key;
    if (!rest.empty() && rest.back() == '\\')
        rest.pop_back();
    size_t cut = rest.rfind('\\');
    if (cut == std::string::npos) {
        Name = rest;
    } else {
        Section = rest.substr(0, cut + 1);
        Name = rest.substr(cut + 1);
    }
    BX_ASSERT(!Name.empty(), "RegPath \xD0\xBF\xD1\x83\xD1\x81\xD1\x82\xD0\xBE\xD0\xB9!");
    FullName = key;
}

void TAppVal::Load()
{
    const TRegIniFileEx& reg = Settings->RegFile();
    switch (Kind()) {
    case TAppValKind::Integer:
        StoredValue = reg.ReadInteger(Section, Name, VarToInt(DefaultValue));
        break;
    case TAppValKind::Float:
        StoredValue = reg.ReadFloat(Section, Name, VarToFloat(DefaultValue));
        break;
    case TAppValKind::Boolean:
        StoredValue = reg.ReadBool(Section, Name, VarToBool(DefaultValue));
        break;
    case TAppValKind::String:
        StoredValue = reg.ReadString(Section, Name, VarToStr(DefaultValue));
        break;
    }
    if (Bound)
        StoredValue = VarAsKind(Bound(StoredValue), Kind());
    Revert();
}

void TAppVal::Revert() { EditedValue = StoredValue; }

bool TAppVal::Changed() const
{
    TAppValKind k = Kind();
    return VarAsKind(StoredValue, k) != VarAsKind(EditedValue, k);
}

void TAppVal::Save()
{
    if (!Changed())
        return;
    TRegIniFileEx& reg = Settings->RegFile();
    TAppVariant v = VarAsKind(EditedValue, Kind());
    try {
        switch (Kind()) {
        case TAppValKind::Integer: reg.WriteInteger(Section, Name, std::get<int>(v)); break;
        case TAppValKind::Float: reg.WriteFloat(Section, Name, std::get<double>(v)); break;
        case TAppValKind::Boolean: reg.WriteBool(Section, Name, std::get<bool>(v)); break;
        case TAppValKind::String: reg.WriteString(Section, Name, std::get<std::string>(v)); break;
        }
    } catch (const ERegistryError& e) {
        throw ESettingNotSaved(FullName, e.Code() ? SystemErrorText(static_cast<unsigned long>(e.Code())) : e.what(),
                               e.Code());
    } catch (const std::exception& e) {
        throw ESettingNotSaved(FullName, e.what(), 0);
    }
    StoredValue = v;
    EditedValue = v;
}

// ---------------------------------------------------------------------------
// TAppSettings

TAppSettings::TAppSettings(const std::string& regPath) : regFile_(regPath), regPath_(regPath) {}

TAppSettings::~TAppSettings() = default;

void TAppSettings::Add(TAppVal* value)
{
    std::unique_ptr<TAppVal> owned(value);
    if (owned)
        values_.push_back(std::move(owned));
}

TAppVal* TAppSettings::GetValue(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return values_[static_cast<size_t>(index)].get();
}

TAppVal& TAppSettings::FindValue(const std::string& name) const
{
    for (const auto& v : values_)
        if (SameTextUnicode(v->Name, name))
            return *v;
    // "Setting not found: "
    AssertFailed("\xD0\x9D\xD0\xB5 \xD0\xBD\xD0\xB0\xD1\x88\xD0\xBB\xD0\xB8 "
                 "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD1\x80 " + name,
                 __FILE__, __LINE__);
}

namespace {

// Why a key can't be opened for reading; empty when it can or is not there.
std::string KeyReadError(std::string path)
{
    while (!path.empty() && path.front() == '\\')
        path.erase(0, 1);
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    HKEY key = nullptr;
    const LONG code = RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path).c_str(), 0, KEY_READ, &key);
    if (code == ERROR_SUCCESS) {
        RegCloseKey(key);
        return std::string();
    }
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return std::string();
    return SystemErrorText(static_cast<unsigned long>(code));
}

}  // namespace

void TAppSettings::LoadAll()
{
    // A key that can't be read reads as the defaults; the caller can tell
    // the user so. Each section is looked at once.
    readError_ = KeyReadError(regPath_);
    std::vector<std::string> sections;
    for (auto& v : values_) {
        if (readError_.empty() && std::find(sections.begin(), sections.end(), v->Section) == sections.end()) {
            sections.push_back(v->Section);
            std::string base = regPath_;
            if (!base.empty() && base.back() != '\\')
                base += '\\';
            readError_ = KeyReadError(base + v->Section);
        }
        v->Load();
    }
}

void TAppSettings::SaveAll()
{
    std::exception_ptr first;
    try {
        Apply();
    } catch (...) {
        first = std::current_exception();
    }
    for (auto& v : values_) {
        try {
            v->Save();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

void TAppSettings::RevertAll()
{
    for (auto& v : values_)
        v->Revert();
}
