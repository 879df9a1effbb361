// The common base of objects that raise events, and the event types shared
// by the components and controls. An event is a std::function member that
// the raiser tests before calling.
#pragma once
#include <windows.h>

#include <functional>

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : unsigned {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64,
};
using TShiftState = unsigned;

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
// A key pressed or released: the virtual key, which a handler may set to 0
// to keep it from the control.
using TKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState shift)>;
// A typed character (one UTF-16 unit); 0 keeps it from the control.
using TKeyPressEvent = std::function<void(TObject* sender, wchar_t& key)>;

// A window message as the hooks and controls see it.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// The shift keys held now (from the asynchronous key state).
TShiftState GetShiftKeys();
// The shift keys and buttons carried by a mouse message's wParam.
TShiftState ShiftFromMouseKeys(WPARAM keys);
// The Shift, Ctrl and Alt keys of a key message (Alt from its key data).
TShiftState ShiftFromKeyData(LPARAM keyData);
