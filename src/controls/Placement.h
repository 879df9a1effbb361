// Form placement storage. TFormPlacement sits on a form and saves the form's
// window placement (position, normal bounds, show state, active control) to
// the registry or an INI file and restores it; it also keeps the window to
// its track limits and can stop it from being resized. TFormStorage adds
// chosen properties of the form's components and a collection of named
// values.
#pragma once
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "controls/PropStorage.h"
#include "platform/Component.h"
#include "platform/PropTable.h"

class TForm;
class TRxWindowHook;
class TFormPlacement;
class TPlacementStore;

enum TPlacementOption : unsigned { fpState = 1, fpPosition = 2, fpActiveControl = 4 };
using TPlacementOptions = unsigned;

enum class TPlacementRegRoot { prCurrentUser, prLocalMachine, prCurrentConfig, prClassesRoot, prUsers, prDynData };

// Shape the default registry key ("Software\[company\]name"): the program
// leaves them at their defaults (no company, the executable's name).
extern std::string DefCompanyName;
extern bool RegUseAppTitle;

// Track limits of a form; a value of 0 leaves the system's own.
class TWinMinMaxInfo : public TPersistent {
public:
    int MaxPosLeft() const { return v_[0]; }
    int MaxPosTop() const { return v_[1]; }
    int MaxSizeHeight() const { return v_[2]; }
    int MaxSizeWidth() const { return v_[3]; }
    int MaxTrackHeight() const { return v_[4]; }
    int MaxTrackWidth() const { return v_[5]; }
    int MinTrackHeight() const { return v_[6]; }
    int MinTrackWidth() const { return v_[7]; }
    void SetMaxPosLeft(int v) { Set(0, v); }
    void SetMaxPosTop(int v) { Set(1, v); }
    void SetMaxSizeHeight(int v) { Set(2, v); }
    void SetMaxSizeWidth(int v) { Set(3, v); }
    void SetMaxTrackHeight(int v) { Set(4, v); }
    void SetMaxTrackWidth(int v) { Set(5, v); }
    void SetMinTrackHeight(int v) { Set(6, v); }
    void SetMinTrackWidth(int v) { Set(7, v); }
    // All values 0.
    bool DefaultMinMaxInfo() const;

    std::function<void()> OnChange;
    const TPropTable& Published() const override;

private:
    void Set(int index, int value);
    int v_[8] = {};
};

// Told when a placement saves (first) and restores (second).
class TPlacementLink {
public:
    TPlacementLink() = default;
    ~TPlacementLink();
    TPlacementLink(const TPlacementLink&) = delete;
    TPlacementLink& operator=(const TPlacementLink&) = delete;
    TFormPlacement* Storage() const { return storage_; }
    void SetStorage(TFormPlacement* storage);
    TNotifyEvent OnSave;
    TNotifyEvent OnLoad;

private:
    friend class TFormPlacement;
    TFormPlacement* storage_ = nullptr;
};

class TFormPlacement : public TComponent {
public:
    explicit TFormPlacement(TComponent* owner);
    ~TFormPlacement() override;

    // Restore at the first show, save when the form may close and when it goes.
    bool Active() const { return active_; }
    void SetActive(bool active) { active_ = active; }
    // Registry key path or INI file name; the default when none was set.
    std::string IniFileName() const;
    void SetIniFileName(const std::string& name) { iniFileName_ = name; }
    // Registry subkey or INI section; the default when none was set.
    std::string IniSection() const;
    void SetIniSection(const std::string& section) { iniSection_ = section; }
    TWinMinMaxInfo& MinMaxInfo() { return minMaxInfo_; }
    TPlacementOptions Options() const { return options_; }
    void SetOptions(TPlacementOptions options) { options_ = options; }
    bool PreventResize() const { return preventResize_; }
    void SetPreventResize(bool prevent);
    TPlacementRegRoot RegistryRoot() const { return registryRoot_; }
    void SetRegistryRoot(TPlacementRegRoot root) { registryRoot_ = root; }
    bool UseRegistry() const { return useRegistry_; }
    void SetUseRegistry(bool use) { useRegistry_ = use; }
    // Stored as "FormVersion"; data stored by an older version is ignored.
    int Version() const { return version_; }
    void SetVersion(int version) { version_ = version; }

    TNotifyEvent OnSavePlacement;
    TNotifyEvent OnRestorePlacement;

    // Saves everything (skipped while Active before anything was restored).
    void SaveFormPlacement();
    // Restores everything when the stored version is not older than Version.
    void RestoreFormPlacement();
    bool Restored() const { return restored_; }

    // The work of a save and a restore; each opens the storage itself when
    // called on its own.
    virtual void SavePlacement();
    virtual void RestorePlacement();
    // Values of the storage; only while it is open (within a save or restore).
    virtual std::string ReadString(const std::string& section, const std::string& ident, const std::string& def);
    virtual void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    // Absent: def; present but not a number: 0.
    int ReadInteger(const std::string& section, const std::string& ident, int def);
    void WriteInteger(const std::string& section, const std::string& ident, int value);
    bool ReadBool(const std::string& section, const std::string& ident, bool def);
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    void EraseSection(const std::string& section);

    void AddLink(TPlacementLink* link);
    void RemoveLink(TPlacementLink* link);

protected:
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    // The form this placement sits on (nullptr for another owner or once it is gone).
    TForm* Form() const;
    void SetRestored() { restored_ = true; }

    // Opens the storage for the lifetime of the scope unless it is open.
    class TStoreScope {
    public:
        TStoreScope(TFormPlacement& p, bool readOnly);
        ~TStoreScope();
        TStoreScope(const TStoreScope&) = delete;
        TStoreScope& operator=(const TStoreScope&) = delete;

    private:
        TFormPlacement& p_;
        bool opened_ = false;
    };

private:
    void HookEvents();
    void UnhookEvents();
    void CheckToggleHook();
    void UpdatePlacement();
    void UpdatePreventResize();
    void AfterMessage(TMessage& m);
    void FormShow(TObject* sender);
    void FormCloseQuery(TObject* sender, bool& canClose);
    void FormDestroy(TObject* sender);
    std::string ScreenSuffixed(const std::string& name) const;

    bool active_ = true;
    std::string iniFileName_;
    std::string iniSection_;
    TWinMinMaxInfo minMaxInfo_;
    TPlacementOptions options_ = 0;
    bool preventResize_ = false;
    TPlacementRegRoot registryRoot_ = TPlacementRegRoot::prCurrentUser;
    bool useRegistry_ = false;
    int version_ = 0;

    TForm* form_ = nullptr;
    std::weak_ptr<void> formAlive_;
    TRxWindowHook* hook_ = nullptr;
    std::unique_ptr<TPlacementStore> store_;
    bool eventsHooked_ = false;
    TNotifyEvent savedShow_;
    std::function<void(TObject*, bool&)> savedCloseQuery_;
    TNotifyEvent savedDestroy_;
    bool restored_ = false;
    bool saved_ = false;
    bool shown_ = false;
    bool destroying_ = false;
    bool maximizeIconRemoved_ = false;
    HMENU sysMenuOpening_ = nullptr;
    std::vector<TPlacementLink*> links_;
};

// A value kept beside the placement: empty, Boolean, integer, number or text.
using TStoredVariant = std::variant<std::monostate, bool, int, double, std::string>;
// "True"/"False", decimal, "." numbers, the text itself; "" when empty.
std::string StoredVariantText(const TStoredVariant& value);

class TStoredValues;

class TStoredValue : public TPersistent {
public:
    using TValueEvent = std::function<void(TStoredValue* sender, TStoredVariant& value)>;

    const std::string& Name() const { return name_; }
    // Throws when another value of the collection has this name (any case).
    void SetName(const std::string& name);
    const TStoredVariant& Value() const { return value_; }
    void SetValue(TStoredVariant value) { value_ = std::move(value); }
    std::string AsString() const { return StoredVariantText(value_); }
    // True for true, a non-zero number or the text "True" (any case) or a non-zero number.
    bool AsBoolean() const;
    // When set, the stored text is encoded with this key.
    std::string KeyString;
    TValueEvent OnSave;
    TValueEvent OnRestore;

    void Save();
    void Restore();

    const TPropTable& Published() const override;

private:
    friend class TStoredValues;
    explicit TStoredValue(TStoredValues* owner) : owner_(owner) {}
    TStoredValues* owner_;
    std::string name_;
    TStoredVariant value_;
};

class TStoredValues : public TCollection {
public:
    explicit TStoredValues(TFormPlacement* storage) : storage_(storage) {}
    TFormPlacement* Storage() const { return storage_; }

    // A new value; throws when the name is taken.
    TStoredValue& Add(const std::string& name = std::string());
    int Count() const override { return static_cast<int>(items_.size()); }
    TStoredValue* Item(int index) override { return items_.at(static_cast<size_t>(index)).get(); }
    int IndexOf(const std::string& name) const;
    TStoredValue* Find(const std::string& name) const;
    void Delete(int index);
    void Clear() { items_.clear(); }

    void SaveValues();
    void RestoreValues();

private:
    TFormPlacement* storage_;
    std::vector<std::unique_ptr<TStoredValue>> items_;
};

class TFormStorage : public TFormPlacement {
public:
    explicit TFormStorage(TComponent* owner);

    // Lines "Component.Property" of the owner's components to keep.
    TStoredPropList& StoredProps() { return storedProps_; }
    TStoredValues& StoredValues() { return storedValues_; }

    void SavePlacement() override;
    void RestorePlacement() override;
    virtual void SaveProperties();
    virtual void RestoreProperties();

protected:
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void WalkProperties(bool save);
    TStoredPropList storedProps_;
    TStoredValues storedValues_;
};
