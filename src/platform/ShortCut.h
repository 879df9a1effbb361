// Keyboard shortcuts as one 16-bit number: the virtual key in the low byte,
// Shift, Ctrl and Alt in the high bits (Alt+Down is 0x8028 = 32808).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/Events.h"

using TShortCut = std::uint16_t;

constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
constexpr TShortCut scNone = 0;

// The shortcut of a key with the Shift, Ctrl and Alt flags of shift (mouse
// buttons and ssDouble are ignored). A key above 0xFF gives scNone.
constexpr TShortCut ShortCut(WORD key, TShiftState shift)
{
    if (key > 0xFF)
        return scNone;
    TShortCut s = static_cast<TShortCut>(key);
    if (shift & ssShift)
        s |= scShift;
    if (shift & ssCtrl)
        s |= scCtrl;
    if (shift & ssAlt)
        s |= scAlt;
    return s;
}

// The key and shift flags of a shortcut.
constexpr void ShortCutToKey(TShortCut shortCut, WORD& key, TShiftState& shift)
{
    key = static_cast<WORD>(shortCut & 0xFF);
    shift = 0;
    if (shortCut & scShift)
        shift |= ssShift;
    if (shortCut & scCtrl)
        shift |= ssCtrl;
    if (shortCut & scAlt)
        shift |= ssAlt;
}

static_assert(ShortCut(VK_DOWN, ssAlt) == 32808, "Alt+Down");

// The text a menu shows for a shortcut: "Shift+", "Ctrl+" and "Alt+" in that
// order before the key's name ("Ctrl+N", "Ctrl+Shift+F11" reads
// "Shift+Ctrl+F11", "Ctrl+Del", "F5"). Letters and digits are themselves,
// the editing and arrow keys have short names, other keys the keyboard's
// name for them. scNone and a key without a name give "".
std::string ShortCutToText(TShortCut shortCut);
