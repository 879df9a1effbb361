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
