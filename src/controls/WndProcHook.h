// A component that sees every message of one windowed control before and
// after the control's own window procedure. Any number of them may watch the
// same control: one control hook per control sits on its window and calls
// them all; a process-wide list keeps the control hooks and puts them back
// when the control's window is made again.
#pragma once
#include <functional>

#include "platform/Component.h"
#include "platform/Control.h"

class TControlHook;

using THookMessageEvent = std::function<void(TObject* sender, TMessage& message, bool& handled)>;

class TRxWindowHook : public TComponent {
public:
    explicit TRxWindowHook(TComponent* owner);
    ~TRxWindowHook() override;

    bool Active() const { return active_; }
    void SetActive(bool active);
    TWinControl* WinControl() const { return control_; }
    void SetWinControl(TWinControl* control);

    THookMessageEvent BeforeMessage;
    THookMessageEvent AfterMessage;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    virtual void DoBeforeMessage(TMessage& message, bool& handled);
    virtual void DoAfterMessage(TMessage& message, bool& handled);

private:
    friend class TControlHook;
    void Join();
    void Leave();

    bool active_ = true;
    TWinControl* control_ = nullptr;
    TControlHook* hook_ = nullptr;
};

// The number of control hooks the process-wide list holds (0 before first use).
int ControlHookCount();
