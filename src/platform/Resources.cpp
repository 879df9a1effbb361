#include "platform/Resources.h"

#include "platform/Exceptions.h"
#include "platform/Text.h"

bool TryLoadRCData(const std::string& name, std::string& out, HMODULE module)
{
    if (!module)
        module = GetModuleHandleW(nullptr);
    std::wstring w = Utf8ToWide(name);
    HRSRC res = FindResourceW(module, w.c_str(), reinterpret_cast<LPCWSTR>(RT_RCDATA));
    if (!res)
        return false;
    HGLOBAL h = LoadResource(module, res);
    DWORD size = SizeofResource(module, res);
    const void* p = h ? LockResource(h) : nullptr;
    if (!p)
        return false;
    out.assign(static_cast<const char*>(p), size);
    return true;
}

std::string LoadRCData(const std::string& name, HMODULE module)
{
    std::string out;
    if (!TryLoadRCData(name, out, module))
        throw Exception("Resource " + name + " not found");
    return out;
}
