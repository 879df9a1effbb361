// A small settings store on one registry key of the current user: a list of
// named values, each with a stored value (what the registry holds), an edited
// value (what a settings page shows and changes) and a default whose type
// decides how the value is read and written.
//
// Everyone else reads a setting's StoredValue; settings pages change
// EditedValue; SaveAll writes only what changed, RevertAll drops the edits.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Registry.h"

// The value of a setting. The alternative held by a default decides the kind:
// int -> integer (REG_DWORD), double -> floating point (stored as text),
// bool -> boolean (REG_DWORD 0/1), string or empty -> string (REG_SZ).
using TAppVariant = std::variant<std::monostate, int, double, bool, std::string>;

enum class TAppValKind { Integer, Float, Boolean, String };

TAppValKind KindOfVariant(const TAppVariant& v);
// Conversions of any variant to one kind. Texts that do not convert give def.
int VarToInt(const TAppVariant& v, int def = 0);
double VarToFloat(const TAppVariant& v, double def = 0);
bool VarToBool(const TAppVariant& v, bool def = false);
std::string VarToStr(const TAppVariant& v);
// v converted to the given kind.
TAppVariant VarAsKind(const TAppVariant& v, TAppValKind kind);

// The registry seen as an INI file (sections are subkeys of the root path,
// values are registry values), plus floating-point values kept as text.
class TRegIniFileEx : public TRegIniFile {
public:
    // Sections below regPath under HKEY_CURRENT_USER.
    explicit TRegIniFileEx(const std::string& regPath) : TRegIniFile(regPath, HKEY_CURRENT_USER) {}
    // A missing subkey or value, or a text that is not a number, gives def.
    double ReadFloat(const std::string& section, const std::string& name, double def) const;
    // Written as the shortest text that reads back to the same number, with the
    // locale's decimal separator.
    void WriteFloat(const std::string& section, const std::string& name, double value);
};

class TAppSettings;

// A value the registry refused to store: which one (its full key) and the
// system's reason; the caller words it in the user's language.
class ESettingNotSaved : public ERegistryError {
public:
    ESettingNotSaved(const std::string& setting, const std::string& reason, long code)
        : ERegistryError("Can't save the setting " + setting + ": " + reason, code), Setting(setting), Reason(reason)
    {
    }
    std::string Setting, Reason;
};

class TAppVal {
public:
    // key is "Section\Name" (or a bare name, read from the root path itself).
    // An empty default (std::monostate) makes a string value with "" as default.
    TAppVal(TAppSettings* settings, const std::string& key, const TAppVariant& def);

    TAppSettings* Settings;
    TAppVariant StoredValue;
    TAppVariant EditedValue;
    TAppVariant DefaultValue;
    std::string Name;      // after the last backslash
    std::string Section;   // up to and including the last backslash; may be empty
    std::string FullName;  // the key as given

    TAppValKind Kind() const { return KindOfVariant(DefaultValue); }
    // Brings what Load read into what the program accepts (the range a
    // settings page allows); unset: the value is taken as it is stored.
    std::function<TAppVariant(const TAppVariant& stored)> Bound;

    void Load();
    void Save();     // writes only when Changed()
    void Revert();   // EditedValue := StoredValue
    bool Changed() const;

    // The stored value as the program reads it.
    int AsInteger() const { return VarToInt(StoredValue, VarToInt(DefaultValue)); }
    double AsFloat() const { return VarToFloat(StoredValue, VarToFloat(DefaultValue)); }
    bool AsBoolean() const { return VarToBool(StoredValue, VarToBool(DefaultValue)); }
    std::string AsString() const { return VarToStr(StoredValue); }

    // The edited value, converted to this value's kind on the way in.
    void SetEdited(const TAppVariant& v) { EditedValue = VarAsKind(v, Kind()); }
    int EditedInteger() const { return VarToInt(EditedValue, VarToInt(DefaultValue)); }
    double EditedFloat() const { return VarToFloat(EditedValue, VarToFloat(DefaultValue)); }
    bool EditedBoolean() const { return VarToBool(EditedValue, VarToBool(DefaultValue)); }
    std::string EditedString() const { return VarToStr(EditedValue); }
};

class TAppSettings {
public:
    explicit TAppSettings(const std::string& regPath);
    virtual ~TAppSettings();
    TAppSettings(const TAppSettings&) = delete;
    TAppSettings& operator=(const TAppSettings&) = delete;

    // Pushes the edited values into the running program; SaveAll calls it first.
    virtual void Apply() = 0;

    // Takes ownership of the value.
    void Add(TAppVal* value);
    int Count() const { return static_cast<int>(values_.size()); }
    // nullptr when index is outside 0 .. Count()-1.
    TAppVal* GetValue(int index) const;
    // The first value whose Name (without section) matches, ignoring case.
    // A name that is not there is a programming error: EAssertionFailed.
    TAppVal& FindValue(const std::string& name) const;

    void LoadAll();
    // Why the last LoadAll could not read the key or one of its sections
    // (the system's words; the values read as their defaults then); empty
    // when it could, or when they are not there yet.
    const std::string& ReadError() const { return readError_; }
    // Apply, then save every changed value. An error in Apply or in one value
    // does not stop the others; the first error is rethrown at the end.
    void SaveAll();
    void RevertAll();

    TRegIniFileEx& RegFile() { return regFile_; }
    const TRegIniFileEx& RegFile() const { return regFile_; }
    const std::string& RegPath() const { return regPath_; }

private:
    TRegIniFileEx regFile_;
    std::string regPath_;
    std::vector<std::unique_ptr<TAppVal>> values_;
    std::string readError_;
};
