#include "Frame/AddDir.h"

#include "Classes/Lang.h"
#include "controls/ComboEdits.h"
#include "controls/FileUtils.h"
#include "platform/AccessKeys.h"
#include "platform/FileUtil.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

constexpr int kClientWidth = 400;
constexpr int kMargin = 8;

TLabel* MakeLabel(TForm* form, const char* name, int top)
{
    auto* label = new TLabel(form);
    label->SetName(name);
    label->SetBounds(kMargin, top, 120, 13);
    label->SetParent(form);
    return label;
}

TEdit* MakeEdit(TForm* form, const char* name, int top)
{
    auto* edit = new TEdit(form);
    edit->SetName(name);
    edit->SetBounds(kMargin, top, kClientWidth - 2 * kMargin, 21);
    edit->SetParent(form);
    return edit;
}

// The folder box: its text is selected whenever it takes the focus from
// the keyboard or the dialog, so what is typed replaces it (a click still
// puts the caret where it clicks).
class TFolderEdit : public TDirectoryEdit {
public:
    using TDirectoryEdit::TDirectoryEdit;
    void WndProc(TMessage& m) override
    {
        TDirectoryEdit::WndProc(m);
        if (m.Msg == WM_SETFOCUS && HandleAllocated() && !(GetKeyState(VK_LBUTTON) & 0x8000))
            SendMessageW(Handle(), EM_SETSEL, 0, -1);
    }
};

}  // namespace

TAddDirForm::TAddDirForm(TComponent* owner) : TDialogForm(owner)
{
    SetName("AddDirForm");
    SetFormClientSize(*this, kClientWidth, 252);

    Label1 = MakeLabel(this, "Label1", 8);
    DirectoryEdit1 = new TFolderEdit(this);
    DirectoryEdit1->SetName("DirectoryEdit1");
    DirectoryEdit1->SetBounds(kMargin, 24, kClientWidth - 2 * kMargin, 21);
    DirectoryEdit1->SetParent(this);
    std::string exeDir = ExtractFilePath(ExeFileName());
    DirectoryEdit1->InitialDir = exeDir;
    DirectoryEdit1->SetText(exeDir);

    Label2 = MakeLabel(this, "Label2", 52);
    AliasEdit = MakeEdit(this, "AliasEdit", 68);
    Label5 = MakeLabel(this, "Label5", 96);
    ServiceEdit = MakeEdit(this, "ServiceEdit", 112);

    HintCheckBox = new TCheckBox(this);
    HintCheckBox->SetName("HintCheckBox");
    HintCheckBox->SetBounds(kMargin, 142, kClientWidth - 2 * kMargin, 17);
    HintCheckBox->SetParent(this);

    Label3 = MakeLabel(this, "Label3", 166);
    Label4 = MakeLabel(this, "Label4", 166);
    ConfigEdit = MakeEdit(this, "ConfigEdit", 182);

    Label1->SetFocusControl(DirectoryEdit1);
    Label2->SetFocusControl(AliasEdit);
    Label5->SetFocusControl(ServiceEdit);
    Label3->SetFocusControl(ConfigEdit);
    SetFirstFocus(DirectoryEdit1);
    OnCloseQuery = [this](TObject*, bool& canClose) {
        if (ModalResult() != mrOk || !OnAccept)
            return;
        std::string why = OnAccept();
        if (why.empty())
            return;
        canClose = false;
        std::weak_ptr<void> alive = AliveToken();
        AppMessageBox(Caption(), why, MB_OK | MB_ICONWARNING);
        if (!alive.expired() && DirectoryEdit1->CanFocus())
            DirectoryEdit1->SetFocus();
    };
    ApplyLanguage();
}

std::string TAddDirForm::Folder() const { return EnsureTrailingBackslash(Trim(DirectoryEdit1->Text())); }

void TAddDirForm::SetFolder(const std::string& folder) { DirectoryEdit1->SetText(EnsureTrailingBackslash(folder)); }

void TAddDirForm::SetNewFolder() { DirectoryEdit1->SetText(ExtractFilePath(ExeFileName())); }

std::string TAddDirForm::Alias() const { return AliasEdit->Text(); }

void TAddDirForm::SetAlias(const std::string& alias) { AliasEdit->SetText(alias); }

std::string TAddDirForm::ServiceName() const { return Trim(ServiceEdit->Text()); }

void TAddDirForm::SetServiceName(const std::string& name) { ServiceEdit->SetText(name); }

std::string TAddDirForm::ConfigText() const { return ConfigEdit->Text(); }

void TAddDirForm::SetConfigText(const std::string& text)
{
    ConfigEdit->SetText(text == sConfigNotDefined ? std::string() : text);
}

bool TAddDirForm::ShowInHint() const { return HintCheckBox->Checked(); }

void TAddDirForm::SetShowInHint(bool show) { HintCheckBox->SetChecked(show); }

void TAddDirForm::ApplyLanguage()
{
    TDialogForm::ApplyLanguage();
    Label1->SetCaption(sFolder + ":");
    Label2->SetCaption(sAlias + ":");
    AliasEdit->SetHint(sAliasHint);
    Label5->SetCaption(sServiceName + ":");
    ServiceEdit->SetHint(sServiceNameHint);
    HintCheckBox->SetCaption(sShowInHint);
    HintCheckBox->SetHint(sShowInHintHint);
    Label3->SetCaption(sCompConfig + ":");
    Label4->SetCaption("(" + sCompConfigHint + ")");
    Label4->SetLeft(Label3->Left() + Label3->Width() + 4);
    DirectoryEdit1->DialogText = sSelectFolder;
    GiveAccessKeys(*this);
}

TAddDirForm& AddDirForm()
{
    static TAddDirForm* form = nullptr;
    return DialogOnce(form);
}
