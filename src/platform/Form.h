// A top-level window built in code. Its window is owned by the application
// window, which carries the taskbar button. A derived form calls
// BeginLoading() before creating its controls and EndLoading() after, so each
// component sees Loaded() once the form's properties are set.
#pragma once
#include "platform/Control.h"

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
// Where the window is put when it is made: poScreenCenter and poDesktopCenter
// centre it; the others use its bounds (a form whose left was never set is
// centred as well).
enum class TPosition {
    poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly,
    poScreenCenter, poDesktopCenter, poMainFormCenter, poOwnerFormCenter
};
// What ShowModal returns: the button the user closed the form with.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrAbort = 3;
constexpr int mrRetry = 4;
constexpr int mrIgnore = 5;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = unsigned;

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle style);
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle style);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons icons);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition position) { position_ = position; }

    // Asks OnCloseQuery, then OnClose; the main form's close ends the program.
    // A modal form's close only sets ModalResult to mrCancel.
    void Close();

    // Shows the form and runs messages until ModalResult is set (a button
    // with a ModalResult, Close, the close box, the end of the program:
    // mrCancel), then hides it and returns the result. Meanwhile every other
    // window of this thread is disabled; the window active before gets the
    // activation back. Setting ModalResult closes only after OnCloseQuery
    // agreed and OnClose left the action other than caNone; a form freed
    // while it runs returns mrCancel.
    int ShowModal();
    bool Modal() const { return modal_; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    // The control the keyboard starts on when ShowModal shows the form
    // (nullptr, or one that cannot take it: the first in tab order).
    void SetFirstFocus(TWinControl* control);
    // Frees the form once no message of it (or nested message loop) is running.
    void Release();

    std::function<void(TObject* sender, bool& canClose)> OnCloseQuery;
    std::function<void(TObject* sender, TCloseAction& action)> OnClose;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    // Raised once when the form goes, before its components are freed. A
    // derived form whose handler uses the derived form's own members calls
    // DoDestroy() first in its destructor.
    TNotifyEvent OnDestroy;
    void DoDestroy();

    const TPropTable& Published() const override;

    void WndProc(TMessage& message) override;
    // Tab and Shift+Tab move the focus in tab order; Enter presses the
    // focused button, else the default button; Esc the cancel button.
    bool DialogKey(WORD key, TShiftState shift) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void VisibleChanged() override;

private:
    void ApplyBorder();
    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TPosition position_ = TPosition::poDesigned;
    // The modal loop's end: OnCloseQuery and OnClose; false keeps the form open.
    bool CloseModal();
    bool destroyDone_ = false;
    bool modal_ = false;
    int modalResult_ = mrNone;
    TWinControl* firstFocus_ = nullptr;
    std::weak_ptr<void> firstFocusAlive_;
    TWindowState windowState_ = TWindowState::wsNormal;
    TFormStyle formStyle_ = TFormStyle::fsNormal;
};
