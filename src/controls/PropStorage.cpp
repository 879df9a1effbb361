#include "controls/PropStorage.h"

#include <algorithm>

#include "platform/Form.h"
#include "platform/Screen.h"
#include "platform/StringList.h"
#include "platform/Text.h"

namespace {

// A default no stored value is: a read that returns it found nothing (or,
// when a second read with another default returns it too, this very text).
const char kMissing[] = "\x01\x02<missing>\x02\x01";

bool StoredAsText(TTypeKind kind)
{
    switch (kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkFloat:
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkSet:
    case TTypeKind::tkVariant:
    case TTypeKind::tkInt64:
        return true;
    default:
        return false;
    }
}

}  // namespace

// --- the stored-property list ---

int TStoredPropList::IndexOf(const std::string& text) const
{
    for (size_t i = 0; i < lines_.size(); ++i)
        if (SameText(lines_[i].Text, text))
            return static_cast<int>(i);
    return -1;
}

bool ParseStoredProp(const std::string& line, std::string& component, std::string& property)
{
    size_t dot = line.find('.');
    if (dot == std::string::npos)
        return false;
    component = Trim(line.substr(0, dot));
    property = Trim(line.substr(dot + 1));
    return !component.empty() && !property.empty();
}

void ResolveStoredProps(TComponent* owner, TStoredPropList& list)
{
    for (int i = list.Count() - 1; i >= 0; --i) {
        std::string comp, prop;
        TComponent* c = nullptr;
        if (owner && ParseStoredProp(list.Strings(i), comp, prop))
            c = owner->FindComponent(comp);
        if (c)
            list.SetObject(i, c);
        else
            list.Delete(i);
    }
}

void UnresolveStoredProps(TStoredPropList& list)
{
    for (int i = 0; i < list.Count(); ++i) {
        std::string comp, prop;
        TComponent* c = list.Objects(i);
        if (c && !c->Name().empty() && ParseStoredProp(list.Strings(i), comp, prop))
            list.SetString(i, c->Name() + "." + prop);
    }
}

// --- TPropsStorage ---

std::string TPropsStorage::ReadString(const std::string& section, const std::string& item, const std::string& def)
{
    return OnReadString ? OnReadString(section, item, def) : std::string();
}

void TPropsStorage::WriteString(const std::string& section, const std::string& item, const std::string& value)
{
    if (OnWriteString)
        OnWriteString(section, item, value);
}

void TPropsStorage::EraseSection(const std::string& section)
{
    if (OnEraseSection)
        OnEraseSection(section);
}

std::string TPropsStorage::GetItemName(const std::string& propName) { return Prefix + propName; }

std::unique_ptr<TPropsStorage> TPropsStorage::CreateInfoStorage()
{
    auto s = std::make_unique<TPropsStorage>();
    s->AOwner = AOwner;
    s->OnReadString = OnReadString;
    s->OnWriteString = OnWriteString;
    s->OnEraseSection = OnEraseSection;
    s->StoreObject = StoreObject;
    return s;
}

bool TPropsStorage::ValueExists(const std::string& section, const std::string& item)
{
    if (ReadString(section, item, kMissing) != kMissing)
        return true;
    return ReadString(section, item, "") == kMissing;
}

void TPropsStorage::StoreObjectsProps(TComponent* owner, const TStoredPropList& list)
{
    AOwner = owner;
    for (int i = 0; i < list.Count(); ++i) {
        std::string comp, prop;
        if (!ParseStoredProp(list.Strings(i), comp, prop))
            continue;
        TComponent* c = list.Objects(i);
        if (!c && owner)
            c = owner->FindComponent(comp);
        if (!c)
            continue;
        TPropInfoList props(c, tkProperties);
        const TPropInfo* info = props.Find(prop);
        if (!info)
            continue;
        AObject = c;
        Prefix = (c->Name().empty() ? comp : c->Name()) + "_";
        StoreAnyProperty(*info);
    }
}

void TPropsStorage::LoadObjectsProps(TComponent* owner, const TStoredPropList& list)
{
    AOwner = owner;
    for (int i = 0; i < list.Count(); ++i) {
        std::string comp, prop;
        if (!ParseStoredProp(list.Strings(i), comp, prop))
            continue;
        TComponent* c = list.Objects(i);
        if (!c && owner)
            c = owner->FindComponent(comp);
        if (!c)
            continue;
        TPropInfoList props(c, tkProperties);
        const TPropInfo* info = props.Find(prop);
        if (!info)
            continue;
        AObject = c;
        Prefix = (c->Name().empty() ? comp : c->Name()) + "_";
        LoadAnyProperty(*info);
    }
}

void TPropsStorage::StoreProperties()
{
    TPropInfoList props(AObject, tkProperties);
    for (int i = 0; i < props.Count(); ++i)
        StoreAnyProperty(props.Items(i));
}

void TPropsStorage::LoadProperties()
{
    TPropInfoList props(AObject, tkProperties);
    for (int i = 0; i < props.Count(); ++i)
        LoadAnyProperty(props.Items(i));
}

std::string TPropsStorage::ComponentText(TComponent* c) const
{
    if (!c)
        return "(null)";
    if (c->Owner() && c->Owner() != AOwner) {
        if (c->Owner()->Name().empty() || c->Name().empty())
            return "";
        return Format("%s.%s", c->Owner()->Name().c_str(), c->Name().c_str());
    }
    return c->Name();
}

TComponent* TPropsStorage::FindReference(const std::string& text) const
{
    size_t dot = text.find('.');
    if (dot == std::string::npos)
        return AOwner ? AOwner->FindComponent(text) : nullptr;
    std::string ownerName = Trim(text.substr(0, dot));
    std::string name = Trim(text.substr(dot + 1));
    for (int i = 0; i < Screen().FormCount(); ++i) {
        TForm* f = Screen().Forms(i);
        if (!ownerName.empty() && SameText(f->Name(), ownerName))
            return f->FindComponent(name);
    }
    return nullptr;
}

void TPropsStorage::StoreAnyProperty(const TPropInfo& info)
{
    if (!AObject)
        return;
    if (StoredAsText(info.Kind)) {
        if (!info.GetText)
            return;
        std::string text = info.GetText(*AObject);
        bool always = info.Kind == TTypeKind::tkString || info.Kind == TTypeKind::tkLString ||
                      info.Kind == TTypeKind::tkSet;
        if (!text.empty() || always)
            WriteString(Section, GetItemName(info.Name), Trim(text));
        return;
    }
    if (info.Kind != TTypeKind::tkClass)
        return;   // methods, wide strings, arrays, records, interfaces
    switch (info.ClassKind) {
    case TPropClass::pcStrings:
        StoreStrings(info);
        break;
    case TPropClass::pcComponent: {
        if (!info.GetComponent)
            return;
        std::string text = ComponentText(info.GetComponent(*AObject));
        if (!text.empty())
            WriteString(Section, GetItemName(info.Name), Trim(text));
        break;
    }
    case TPropClass::pcPersistent:
    case TPropClass::pcCollection:
        StoreNested(info);
        break;
    default:
        break;
    }
}

void TPropsStorage::LoadAnyProperty(const TPropInfo& info)
{
    if (!AObject)
        return;
    if (StoredAsText(info.Kind)) {
        if (!info.GetText || !info.SetText)
            return;
        std::string def = Trim(info.GetText(*AObject));
        info.SetText(*AObject, ReadString(Section, GetItemName(info.Name), def));
        return;
    }
    if (info.Kind != TTypeKind::tkClass)
        return;
    switch (info.ClassKind) {
    case TPropClass::pcStrings:
        LoadStrings(info);
        break;
    case TPropClass::pcComponent: {
        if (!info.GetComponent || !info.SetComponent)
            return;
        std::string def = ComponentText(info.GetComponent(*AObject));
        std::string text = Trim(ReadString(Section, GetItemName(info.Name), def));
        if (text.empty() || text == def)
            return;
        if (SameText(text, "(null)")) {
            info.SetComponent(*AObject, nullptr);
            return;
        }
        // A reference that no longer resolves leaves the property alone.
        if (TComponent* c = FindReference(text))
            info.SetComponent(*AObject, c);
        break;
    }
    case TPropClass::pcPersistent:
    case TPropClass::pcCollection:
        LoadNested(info);
        break;
    default:
        break;
    }
}

void TPropsStorage::StoreStrings(const TPropInfo& info)
{
    TStringList* list = info.GetStrings ? info.GetStrings(*AObject) : nullptr;
    if (!list)
        return;
    std::string section = Format("%s.%s", Section.c_str(), GetItemName(info.Name).c_str());
    EraseSection(section);
    WriteString(section, "Count", std::to_string(list->Count()));
    for (int i = 0; i < list->Count(); ++i)
        WriteString(section, Format("Item%d", i), (*list)[i]);
}

void TPropsStorage::LoadStrings(const TPropInfo& info)
{
    TStringList* list = info.GetStrings ? info.GetStrings(*AObject) : nullptr;
    if (!list)
        return;
    std::string section = Format("%s.%s", Section.c_str(), GetItemName(info.Name).c_str());
    // Nothing stored: the list stays as it is.
    if (!ValueExists(section, "Count"))
        return;
    // The count is only an upper bound: the list ends at the first missing
    // item, so a count that lies costs nothing.
    int count = PropText::ToInt(ReadString(section, "Count", ""));
    TStringList loaded;
    for (int i = 0; i < count; ++i) {
        std::string item = Format("Item%d", i);
        std::string value = ReadString(section, item, kMissing);
        if (value == kMissing && ReadString(section, item, "") != kMissing)
            break;
        loaded.Add(std::move(value));
    }
    *list = std::move(loaded);
}

void TPropsStorage::StoreNested(const TPropInfo& info)
{
    TPersistent* obj = info.GetPersistent ? info.GetPersistent(*AObject) : nullptr;
    if (!obj)
        return;
    std::string section = Format("%s.%s", Section.c_str(), GetItemName(info.Name).c_str());
    if (info.ClassKind == TPropClass::pcCollection) {
        auto* coll = static_cast<TCollection*>(obj);
        EraseSection(section);
        WriteString(section, "Count", std::to_string(coll->Count()));
        for (int i = 0; i < coll->Count(); ++i) {
            std::unique_ptr<TPropsStorage> s = CreateInfoStorage();
            s->AObject = coll->Item(i);
            s->Section = section;
            s->Prefix = Format("Item%d_", i);
            s->StoreProperties();
        }
        return;
    }
    std::unique_ptr<TPropsStorage> s = CreateInfoStorage();
    s->AObject = obj;
    s->Section = section;
    s->StoreProperties();
}

void TPropsStorage::LoadNested(const TPropInfo& info)
{
    TPersistent* obj = info.GetPersistent ? info.GetPersistent(*AObject) : nullptr;
    if (!obj)
        return;
    std::string section = Format("%s.%s", Section.c_str(), GetItemName(info.Name).c_str());
    if (info.ClassKind == TPropClass::pcCollection) {
        // Items are loaded into the items the collection has.
        auto* coll = static_cast<TCollection*>(obj);
        int count = std::min(PropText::ToInt(ReadString(section, "Count", "0")), coll->Count());
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<TPropsStorage> s = CreateInfoStorage();
            s->AObject = coll->Item(i);
            s->Section = section;
            s->Prefix = Format("Item%d_", i);
            s->LoadProperties();
        }
        return;
    }
    std::unique_ptr<TPropsStorage> s = CreateInfoStorage();
    s->AObject = obj;
    s->Section = section;
    s->LoadProperties();
}
