// Writes published properties of components as text values into a section
// of an INI-like store and reads them back, converting each value by its
// kind. The storage has no store of its own: it calls its events to read,
// write and erase. Item names are the component's name, "_" and the
// property's name.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/PropTable.h"

using TReadStrEvent =
    std::function<std::string(const std::string& section, const std::string& item, const std::string& def)>;
using TWriteStrEvent =
    std::function<void(const std::string& section, const std::string& item, const std::string& value)>;
using TEraseSectEvent = std::function<void(const std::string& section)>;

// Lines of a component name, "." and a property name, each with the
// component it names once the list is resolved (nullptr before).
class TStoredPropList {
public:
    struct Line {
        std::string Text;
        TComponent* Object = nullptr;
    };
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& Strings(int index) const { return lines_.at(static_cast<size_t>(index)).Text; }
    TComponent* Objects(int index) const { return lines_.at(static_cast<size_t>(index)).Object; }
    void SetString(int index, std::string text) { lines_.at(static_cast<size_t>(index)).Text = std::move(text); }
    void SetObject(int index, TComponent* c) { lines_.at(static_cast<size_t>(index)).Object = c; }
    void Add(std::string text, TComponent* object = nullptr) { lines_.push_back({std::move(text), object}); }
    void Delete(int index) { lines_.erase(lines_.begin() + index); }
    void Clear() { lines_.clear(); }
    int IndexOf(const std::string& text) const;

private:
    std::vector<Line> lines_;
};

// Splits "Component.Property" at the first ".", both halves trimmed; false
// when either half is empty.
bool ParseStoredProp(const std::string& line, std::string& component, std::string& property);

// Lines of a form being loaded: each line's component is found by name on
// the owner and kept beside it; lines that do not split or whose component
// is missing are deleted.
void ResolveStoredProps(TComponent* owner, TStoredPropList& list);
// Before the list is written out: lines whose component is known are
// rewritten with the component's current name.
void UnresolveStoredProps(TStoredPropList& list);

class TPropsStorage : public TObject {
public:
    TPropsStorage() = default;
    ~TPropsStorage() override = default;

    // The object whose properties are handled, and the owner that names
    // component references.
    TObject* AObject = nullptr;
    TComponent* AOwner = nullptr;
    std::string Section;
    std::string Prefix;
    TReadStrEvent OnReadString;
    TWriteStrEvent OnWriteString;
    TEraseSectEvent OnEraseSection;
    // The store object these events belong to (set by whoever made us).
    TObject* StoreObject = nullptr;

    // Each line that names a component (its object, or found on owner) and
    // one of its published properties.
    void StoreObjectsProps(TComponent* owner, const TStoredPropList& list);
    void LoadObjectsProps(TComponent* owner, const TStoredPropList& list);
    // Every published property of AObject.
    void StoreProperties();
    void LoadProperties();
    // One property of AObject.
    void StoreAnyProperty(const TPropInfo& info);
    void LoadAnyProperty(const TPropInfo& info);

protected:
    virtual std::string ReadString(const std::string& section, const std::string& item, const std::string& def);
    virtual void WriteString(const std::string& section, const std::string& item, const std::string& value);
    virtual void EraseSection(const std::string& section);
    virtual std::string GetItemName(const std::string& propName);
    // A storage of the same kind sharing the events (for nested objects).
    virtual std::unique_ptr<TPropsStorage> CreateInfoStorage();

private:
    bool ValueExists(const std::string& section, const std::string& item);
    std::string ComponentText(TComponent* c) const;
    TComponent* FindReference(const std::string& text) const;
    void StoreStrings(const TPropInfo& info);
    void LoadStrings(const TPropInfo& info);
    void StoreNested(const TPropInfo& info);
    void LoadNested(const TPropInfo& info);
};
