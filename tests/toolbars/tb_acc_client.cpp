// An accessibility client in a process of its own, driven by lines on its
// standard input; every answer ends with a line "END".
//   names HWND      the name and default action of every child of the
//                   window's client object: "name|action"
//   hold HWND       keeps the window's client object and prints its child count
//   held            calls the kept object again and prints the HRESULT (hex)
//   quit
#include <windows.h>

#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

std::string Narrow(BSTR b)
{
    if (!b)
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, b, -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, b, -1, s.data(), n, nullptr, nullptr);
    return s;
}

HWND ParseWindow(const std::string& text) { return reinterpret_cast<HWND>(std::strtoul(text.c_str(), nullptr, 10)); }

}  // namespace

int main()
{
    CoInitialize(nullptr);
    IAccessible* kept = nullptr;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string cmd = line.substr(0, line.find(' '));
        std::string arg = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
        if (cmd == "quit")
            break;
        if (cmd == "names") {
            IAccessible* acc = nullptr;
            HRESULT hr = AccessibleObjectFromWindow(ParseWindow(arg), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                    reinterpret_cast<void**>(&acc));
            if (SUCCEEDED(hr) && acc) {
                long count = 0;
                acc->get_accChildCount(&count);
                for (long i = 1; i <= count; ++i) {
                    VARIANT v;
                    VariantInit(&v);
                    v.vt = VT_I4;
                    v.lVal = i;
                    IDispatch* d = nullptr;
                    if (acc->get_accChild(v, &d) != S_OK || !d)
                        continue;
                    IAccessible* child = nullptr;
                    d->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&child));
                    d->Release();
                    if (!child)
                        continue;
                    VARIANT self;
                    VariantInit(&self);
                    self.vt = VT_I4;
                    self.lVal = CHILDID_SELF;
                    BSTR name = nullptr, action = nullptr;
                    child->get_accName(self, &name);
                    child->get_accDefaultAction(self, &action);
                    std::printf("%s|%s\n", Narrow(name).c_str(), Narrow(action).c_str());
                    SysFreeString(name);
                    SysFreeString(action);
                    child->Release();
                }
                acc->Release();
            } else {
                std::printf("error %08lX\n", static_cast<unsigned long>(hr));
            }
        } else if (cmd == "hold") {
            if (kept)
                kept->Release();
            kept = nullptr;
            HRESULT hr = AccessibleObjectFromWindow(ParseWindow(arg), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                    reinterpret_cast<void**>(&kept));
            long count = -1;
            if (SUCCEEDED(hr) && kept)
                kept->get_accChildCount(&count);
            std::printf("count %ld\n", count);
        } else if (cmd == "held") {
            long count = 0;
            HRESULT hr = kept ? kept->get_accChildCount(&count) : E_POINTER;
            VARIANT self;
            VariantInit(&self);
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            BSTR name = nullptr;
            HRESULT hr2 = kept ? kept->get_accName(self, &name) : E_POINTER;
            SysFreeString(name);
            std::printf("%08lX %08lX\n", static_cast<unsigned long>(hr), static_cast<unsigned long>(hr2));
        }
        std::printf("END\n");
        std::fflush(stdout);
    }
    if (kept)
        kept->Release();
    CoUninitialize();
    return 0;
}
