#include "platform/PropTable.h"

#include <cxxabi.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <typeinfo>

#include "platform/Text.h"

const TPropTable& TPersistent::Published() const
{
    static const TPropTable empty;
    return empty;
}

std::vector<const TPropInfo*> TPropTable::All() const
{
    std::vector<const TPropInfo*> out;
    if (base_)
        out = base_->All();
    for (const TPropInfo& p : own_) {
        bool replaced = false;
        for (auto& q : out)
            if (SameText(q->Name, p.Name)) {
                q = &p;
                replaced = true;
            }
        if (!replaced)
            out.push_back(&p);
    }
    return out;
}

// --- text forms ---

namespace PropText {

int ToInt(std::string_view text) { return StrToIntDef(text, 0); }

long long ToInt64(std::string_view text) { return StrToInt64Def(text, 0); }

std::string FromFloat(double value, TFloatType type)
{
    char buf[64];
    std::to_chars_result r{};
    switch (type) {
    case TFloatType::ftSingle:
        r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value));
        break;
    case TFloatType::ftCurr: {
        // Four decimals, trailing zeros dropped.
        double v = std::round(value * 10000.0) / 10000.0;
        r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
        std::string s(buf, r.ptr);
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.')
            s.pop_back();
        return s == "-0" ? "0" : s;
    }
    default:
        r = std::to_chars(buf, buf + sizeof buf, value);
        break;
    }
    return std::string(buf, r.ptr);
}

double ToFloat(std::string_view text)
{
    std::string t = Trim(text);
    if (t.empty())
        return 0;
    const char* b = t.c_str();
    const char* e = b + t.size();
    if (*b == '+')
        ++b;
    double v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
        return 0;
    return v;
}

std::string FromEnum(int value, const std::vector<std::string>& names)
{
    if (value >= 0 && static_cast<size_t>(value) < names.size())
        return names[static_cast<size_t>(value)];
    return std::to_string(value);
}

bool ToEnum(std::string_view text, const std::vector<std::string>& names, int& value)
{
    std::string t = Trim(text);
    for (size_t i = 0; i < names.size(); ++i)
        if (SameText(names[i], t)) {
            value = static_cast<int>(i);
            return true;
        }
    return false;
}

std::string FromSet(unsigned value, const std::vector<std::string>& names)
{
    std::string s = "[";
    bool first = true;
    for (size_t i = 0; i < names.size() && i < 32; ++i)
        if (value & (1u << i)) {
            if (!first)
                s += ',';
            s += names[i];
            first = false;
        }
    return s + "]";
}

unsigned ToSet(std::string_view text, const std::vector<std::string>& names)
{
    std::string t = Trim(text);
    if (!t.empty() && t.front() == '[')
        t.erase(0, 1);
    if (!t.empty() && t.back() == ']')
        t.pop_back();
    unsigned value = 0;
    size_t i = 0;
    while (i < t.size()) {
        while (i < t.size() && (t[i] == ',' || t[i] == ' ' || t[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < t.size() && t[i] != ',' && t[i] != ' ' && t[i] != '\t')
            ++i;
        std::string_view word(t.data() + start, i - start);
        if (word.empty())
            continue;
        for (size_t k = 0; k < names.size() && k < 32; ++k)
            if (SameText(names[k], word))
                value |= 1u << k;
    }
    return value;
}

}  // namespace PropText

// --- TPropInfoList ---

TPropInfoList::TPropInfoList(TObject* object, TTypeKinds kinds)
{
    auto* p = dynamic_cast<TPersistent*>(object);
    if (!p)
        return;
    for (const TPropInfo* info : p->Published().All())
        if (kinds & KindBit(info->Kind))
            list_.push_back(info);
}

const TPropInfo* TPropInfoList::Find(std::string_view name) const
{
    for (const TPropInfo* p : list_)
        if (SameText(p->Name, name))
            return p;
    return nullptr;
}

bool TPropInfoList::Contains(const TPropInfo* info) const
{
    for (const TPropInfo* p : list_)
        if (p == info)
            return true;
    return false;
}

void TPropInfoList::Delete(int index)
{
    if (index >= 0 && static_cast<size_t>(index) < list_.size())
        list_.erase(list_.begin() + index);
}

std::string ClassNameOf(const TObject& object)
{
    const char* mangled = typeid(object).name();
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && plain ? plain : mangled;
    std::free(plain);
    // Only the class's own name, without namespaces.
    size_t colon = name.rfind("::");
    if (colon != std::string::npos)
        name.erase(0, colon + 2);
    return name;
}
