#include "platform/ShortCut.h"

#include "platform/Text.h"

namespace {

// The short names menus use for the keys that have one.
const char* SpecialKeyName(WORD key)
{
    switch (key) {
    case VK_BACK: return "BkSp";
    case VK_TAB: return "Tab";
    case VK_RETURN: return "Enter";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDn";
    case VK_END: return "End";
    case VK_HOME: return "Home";
    case VK_LEFT: return "Left";
    case VK_UP: return "Up";
    case VK_RIGHT: return "Right";
    case VK_DOWN: return "Down";
    case VK_INSERT: return "Ins";
    case VK_DELETE: return "Del";
    default: return nullptr;
    }
}

std::string KeyName(WORD key)
{
    if (const char* s = SpecialKeyName(key))
        return s;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'))
        return std::string(1, static_cast<char>(key));
    if (key >= VK_F1 && key <= VK_F24)
        return "F" + IntToStr(key - VK_F1 + 1);
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9)
        return "Num " + std::string(1, static_cast<char>('0' + key - VK_NUMPAD0));
    // Anything else as the keyboard layout calls it.
    UINT scan = MapVirtualKeyW(key, 0 /* MAPVK_VK_TO_VSC */);
    if (scan == 0)
        return "";
    wchar_t name[64] = {};
    int n = GetKeyNameTextW(static_cast<LONG>(scan << 16), name, 64);
    if (n <= 0)
        return "";
    return WideToUtf8(std::wstring_view(name, static_cast<size_t>(n)));
}

}  // namespace

std::string ShortCutToText(TShortCut shortCut)
{
    std::string name = KeyName(static_cast<WORD>(shortCut & 0xFF));
    if (name.empty())
        return "";
    std::string text;
    if (shortCut & scShift)
        text += "Shift+";
    if (shortCut & scCtrl)
        text += "Ctrl+";
    if (shortCut & scAlt)
        text += "Alt+";
    return text + name;
}
