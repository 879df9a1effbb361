// A top-level window built in code. Its window is owned by the application
// window, which carries the taskbar button. A derived form calls
// BeginLoading() before creating its controls and EndLoading() after, so each
// component sees Loaded() once the form's properties are set.
#pragma once
#include "platform/Control.h"

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle style);

    // Asks OnCloseQuery, then OnClose; the main form's close ends the program.
    void Close();
    // Frees the form once no message of it (or nested message loop) is running.
    void Release();

    std::function<void(TObject* sender, bool& canClose)> OnCloseQuery;
    std::function<void(TObject* sender, TCloseAction& action)> OnClose;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

    void WndProc(TMessage& message) override;
    // Tab and Shift+Tab move the focus in tab order; Enter presses the
    // focused button, else the default button; Esc the cancel button.
    bool DialogKey(WORD key, TShiftState shift) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void VisibleChanged() override;

private:
    TWindowState windowState_ = TWindowState::wsNormal;
    TFormStyle formStyle_ = TFormStyle::fsNormal;
};
