#include "platform/InputBox.h"

#include <windows.h>

#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/MessageBox.h"
#include "platform/StdCtrls.h"

namespace {

std::string& CancelCaption()
{
    static std::string caption = "Cancel";
    return caption;
}

class TInputForm : public TForm {
public:
    TInputForm(const std::string& caption, const std::string& prompt, const std::string& value)
        : TForm(nullptr)
    {
        SetCaption(caption);
        SetBorderStyle(TFormBorderStyle::bsDialog);
        SetBorderIcons(biSystemMenu);
        SetPosition(TPosition::poScreenCenter);
        RECT area{0, 0, 360, 112};
        AdjustWindowRectEx(&area, WS_CAPTION | WS_SYSMENU | WS_POPUP, FALSE, WS_EX_DLGMODALFRAME);
        SetBounds(0, 0, area.right - area.left, area.bottom - area.top);

        auto* label = new TLabel(this);
        label->SetCaption(prompt);
        label->SetShowAccelChar(false);
        label->SetBounds(12, 10, 336, 17);
        label->SetParent(this);

        Edit = new TEdit(this);
        Edit->SetName("Edit");
        Edit->SetText(value);
        Edit->SetBounds(12, 32, 336, 23);
        Edit->SetParent(this);

        auto* ok = new TButton(this);
        ok->SetName("OKButton");
        ok->SetCaption("OK");
        ok->SetDefault(true);
        ok->SetBounds(192, 72, 75, 25);
        ok->OnClick = [this](TObject*) { Finish(true); };
        ok->SetParent(this);

        auto* cancel = new TButton(this);
        cancel->SetName("CancelButton");
        cancel->SetCaption(CancelCaption());
        cancel->SetCancel(true);
        cancel->SetBounds(273, 72, 75, 25);
        cancel->OnClick = [this](TObject*) { Finish(false); };
        cancel->SetParent(this);

        // The close box and Alt+F4 cancel.
        OnClose = [this](TObject*, TCloseAction& action) {
            action = TCloseAction::caNone;
            Finish(false);
        };
    }

    // Runs the dialog until OK, Cancel or the end of the program.
    bool Execute()
    {
        HWND owner = ModalOwnerWindow();
        const bool disableOwner = owner && IsWindowEnabled(owner) && owner != Application().Handle();
        if (disableOwner)
            EnableWindow(owner, FALSE);
        Show();
        SetForegroundWindow(Handle());
        Edit->SetFocus();
        SendMessageW(Edit->Handle(), EM_SETSEL, 0, -1);
        Application().BeginNestedLoop();
        // Its own keys are what it waits for.
        const int hold = Application().LiftInputHold();
        while (!done_ && !Application().Terminated())
            Application().WaitAndProcessMessages(100);
        Application().RestoreInputHold(hold);
        Application().EndNestedLoop();
        // The owner is enabled before this window hides, so the activation
        // goes back to it.
        if (disableOwner)
            EnableWindow(owner, TRUE);
        Hide();
        if (disableOwner && IsWindow(owner))
            SetActiveWindow(owner);
        return accepted_;
    }

    // The edit's text when OK was pressed.
    const std::string& Text() const { return text_; }
    TEdit* Edit = nullptr;

private:
    void Finish(bool accepted)
    {
        if (done_)
            return;
        accepted_ = accepted;
        if (accepted)
            text_ = Edit->Text();
        done_ = true;
    }
    bool done_ = false;
    bool accepted_ = false;
    std::string text_;
};

}  // namespace

void SetInputBoxCancelCaption(const std::string& caption)
{
    if (!caption.empty())
        CancelCaption() = caption;
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value)
{
    TInputForm form(caption, prompt, value);
    if (!form.Execute())
        return false;
    value = form.Text();
    return true;
}

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue)
{
    std::string value = defaultValue;
    InputQuery(caption, prompt, value);
    return value;
}
