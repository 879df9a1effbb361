// Published properties. C++ keeps no run-time list of an object's
// properties, so every class whose properties can be stored lists its own in
// a table: name, kind, and how to read and write the value as text. A
// property whose value is an object (a component reference, a string list,
// a nested persistent object or a collection) gives access to that object
// instead. A class's table chains to its base class's table.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Events.h"

class TComponent;
class TStringList;
class TPropTable;
class TCollection;

// The kinds a property value can have.
enum class TTypeKind {
    tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
    tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64
};
using TTypeKinds = unsigned;
constexpr TTypeKinds KindBit(TTypeKind k) { return 1u << static_cast<unsigned>(k); }
constexpr TTypeKinds tkAnyKind = (1u << (static_cast<unsigned>(TTypeKind::tkInt64) + 1)) - 1;
// Every kind that holds a value: all but undefined and method.
constexpr TTypeKinds tkProperties = tkAnyKind & ~(KindBit(TTypeKind::tkUnknown) | KindBit(TTypeKind::tkMethod));

// What a class-kind property holds.
enum class TPropClass { pcNone, pcComponent, pcStrings, pcPersistent, pcCollection };

// An object with published properties.
class TPersistent : public TObject {
public:
    // The table of this object's class (the base class's entries included).
    virtual const TPropTable& Published() const;
};

// A list of persistent items (the items' own properties are stored).
class TCollection : public TPersistent {
public:
    virtual int Count() const = 0;
    virtual TPersistent* Item(int index) = 0;
};

// One published property. The accessors receive the object the table
// belongs to (or a derived one).
struct TPropInfo {
    std::string Name;
    TTypeKind Kind = TTypeKind::tkUnknown;
    TPropClass ClassKind = TPropClass::pcNone;
    // Value kinds: the value as text and back (a text that does not read
    // gives the kind's fallback, see TPropTableOf).
    std::function<std::string(TObject&)> GetText;
    std::function<void(TObject&, const std::string&)> SetText;
    // Component references.
    std::function<TComponent*(TObject&)> GetComponent;
    std::function<void(TObject&, TComponent*)> SetComponent;
    // String lists.
    std::function<TStringList*(TObject&)> GetStrings;
    // Nested persistent objects and collections.
    std::function<TPersistent*(TObject&)> GetPersistent;
};

class TPropTable {
public:
    explicit TPropTable(const TPropTable* base = nullptr) : base_(base) {}
    const TPropTable* Base() const { return base_; }
    void Add(TPropInfo info) { own_.push_back(std::move(info)); }
    // Every property, the base class's first; a derived entry of the same
    // name (case-insensitive) takes the place of the base one.
    std::vector<const TPropInfo*> All() const;

private:
    const TPropTable* base_;
    std::vector<TPropInfo> own_;
};

// Text forms shared by the builders below.
namespace PropText {
// Decimal; 0 when the text does not read.
int ToInt(std::string_view text);
long long ToInt64(std::string_view text);
// "." is the decimal separator both ways, whatever the user's locale.
// Single-precision values are written with the digits a float keeps,
// currency with at most four decimals.
enum class TFloatType { ftSingle, ftDouble, ftExtended, ftCurr };
std::string FromFloat(double value, TFloatType type);
// 0 when the text does not read.
double ToFloat(std::string_view text);
// Enumeration: the value's name; reading matches a name without case
// (false when none matches).
std::string FromEnum(int value, const std::vector<std::string>& names);
bool ToEnum(std::string_view text, const std::vector<std::string>& names, int& value);
// Set (bit i for names[i]): "[a,b]"; reading takes the names between the
// brackets split at commas and blanks and skips names that match nothing.
std::string FromSet(unsigned value, const std::vector<std::string>& names);
unsigned ToSet(std::string_view text, const std::vector<std::string>& names);
}  // namespace PropText

// Fills a class's table with typed accessors.
template <class C>
class TPropTableOf {
public:
    explicit TPropTableOf(TPropTable& table) : t_(table) {}

    TPropTableOf& Int(const char* name, std::function<int(C&)> get, std::function<void(C&, int)> set)
    {
        return Value(name, TTypeKind::tkInteger, [get](C& c) { return std::to_string(get(c)); },
                     [set](C& c, const std::string& s) { set(c, PropText::ToInt(s)); });
    }
    TPropTableOf& Int64(const char* name, std::function<long long(C&)> get, std::function<void(C&, long long)> set)
    {
        return Value(name, TTypeKind::tkInt64, [get](C& c) { return std::to_string(get(c)); },
                     [set](C& c, const std::string& s) { set(c, PropText::ToInt64(s)); });
    }
    // The first character; an empty text leaves the value.
    TPropTableOf& Char(const char* name, std::function<char(C&)> get, std::function<void(C&, char)> set)
    {
        return Value(name, TTypeKind::tkChar, [get](C& c) { return std::string(1, get(c)); },
                     [set](C& c, const std::string& s) {
                         if (!s.empty())
                             set(c, s[0]);
                     });
    }
    TPropTableOf& Float(const char* name, std::function<double(C&)> get, std::function<void(C&, double)> set,
                        PropText::TFloatType type = PropText::TFloatType::ftDouble)
    {
        return Value(name, TTypeKind::tkFloat, [get, type](C& c) { return PropText::FromFloat(get(c), type); },
                     [set](C& c, const std::string& s) { set(c, PropText::ToFloat(s)); });
    }
    TPropTableOf& String(const char* name, std::function<std::string(C&)> get,
                         std::function<void(C&, const std::string&)> set)
    {
        return Value(name, TTypeKind::tkLString, [get](C& c) { return get(c); },
                     [set](C& c, const std::string& s) { set(c, s); });
    }
    TPropTableOf& Enum(const char* name, std::vector<std::string> names, std::function<int(C&)> get,
                       std::function<void(C&, int)> set)
    {
        return Value(name, TTypeKind::tkEnumeration,
                     [get, names](C& c) { return PropText::FromEnum(get(c), names); },
                     [set, names](C& c, const std::string& s) {
                         int v;
                         if (PropText::ToEnum(s, names, v))
                             set(c, v);
                     });
    }
    // A Boolean is the enumeration False, True.
    TPropTableOf& Bool(const char* name, std::function<bool(C&)> get, std::function<void(C&, bool)> set)
    {
        return Enum(name, {"False", "True"}, [get](C& c) { return get(c) ? 1 : 0; },
                    [set](C& c, int v) { set(c, v != 0); });
    }
    TPropTableOf& Set(const char* name, std::vector<std::string> names, std::function<unsigned(C&)> get,
                      std::function<void(C&, unsigned)> set)
    {
        return Value(name, TTypeKind::tkSet, [get, names](C& c) { return PropText::FromSet(get(c), names); },
                     [set, names](C& c, const std::string& s) { set(c, PropText::ToSet(s, names)); });
    }
    TPropTableOf& Component(const char* name, std::function<TComponent*(C&)> get,
                            std::function<void(C&, TComponent*)> set)
    {
        TPropInfo p = Base(name, TPropClass::pcComponent);
        p.GetComponent = [get](TObject& o) { return get(static_cast<C&>(o)); };
        p.SetComponent = [set](TObject& o, TComponent* v) { set(static_cast<C&>(o), v); };
        t_.Add(std::move(p));
        return *this;
    }
    TPropTableOf& Strings(const char* name, std::function<TStringList*(C&)> get)
    {
        TPropInfo p = Base(name, TPropClass::pcStrings);
        p.GetStrings = [get](TObject& o) { return get(static_cast<C&>(o)); };
        t_.Add(std::move(p));
        return *this;
    }
    // A nested persistent object or a collection.
    TPropTableOf& Object(const char* name, std::function<TPersistent*(C&)> get)
    {
        TPropInfo p = Base(name, TPropClass::pcPersistent);
        p.GetPersistent = [get](TObject& o) { return get(static_cast<C&>(o)); };
        t_.Add(std::move(p));
        return *this;
    }
    TPropTableOf& Collection(const char* name, std::function<TCollection*(C&)> get)
    {
        TPropInfo p = Base(name, TPropClass::pcCollection);
        p.GetPersistent = [get](TObject& o) -> TPersistent* { return get(static_cast<C&>(o)); };
        t_.Add(std::move(p));
        return *this;
    }

private:
    TPropTableOf& Value(const char* name, TTypeKind kind, std::function<std::string(C&)> get,
                        std::function<void(C&, const std::string&)> set)
    {
        TPropInfo p;
        p.Name = name;
        p.Kind = kind;
        p.GetText = [get](TObject& o) { return get(static_cast<C&>(o)); };
        p.SetText = [set](TObject& o, const std::string& s) { set(static_cast<C&>(o), s); };
        t_.Add(std::move(p));
        return *this;
    }
    static TPropInfo Base(const char* name, TPropClass cls)
    {
        TPropInfo p;
        p.Name = name;
        p.Kind = TTypeKind::tkClass;
        p.ClassKind = cls;
        return p;
    }
    TPropTable& t_;
};

// The properties of one object whose kinds are in a set, found by name
// without regard to case.
class TPropInfoList {
public:
    TPropInfoList(TObject* object, TTypeKinds kinds);
    int Count() const { return static_cast<int>(list_.size()); }
    const TPropInfo& Items(int index) const { return *list_.at(static_cast<size_t>(index)); }
    const TPropInfo* Find(std::string_view name) const;
    bool Contains(const TPropInfo* info) const;
    void Delete(int index);

private:
    std::vector<const TPropInfo*> list_;
};

// The class name of an object as its source spells it ("TMainForm").
std::string ClassNameOf(const TObject& object);
