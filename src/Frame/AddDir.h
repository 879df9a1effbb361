// The dialog that adds or edits a monitored folder: the folder (typed, or
// chosen with the browse button), its alias, the computer's configuration
// text, the client's service name and whether the client shows in the tray
// hint. The data module fills it, shows it modally and reads it back.
#pragma once
#include <functional>
#include <string>

#include "Frame/Dialog.h"

class TDirectoryEdit;

class TAddDirForm : public TDialogForm {
public:
    explicit TAddDirForm(TComponent* owner);

    TDirectoryEdit* DirectoryEdit1;
    TEdit* AliasEdit;
    TEdit* ConfigEdit;
    TEdit* ServiceEdit;
    TCheckBox* HintCheckBox;
    TLabel* Label1;
    TLabel* Label2;
    TLabel* Label3;
    TLabel* Label4;
    TLabel* Label5;

    // Asked when OK would close the dialog: an empty answer lets it close;
    // a text is shown to the user over the dialog, which stays open with
    // what was typed.
    std::function<std::string()> OnAccept;

    // The folder always ends in a backslash, however it was typed or set;
    // outer blanks are not part of it (nor of the service name).
    std::string Folder() const;
    void SetFolder(const std::string& folder);
    // The folder a new Add starts with, as the dialog's first one does:
    // the program's own folder.
    void SetNewFolder();
    std::string Alias() const;
    void SetAlias(const std::string& alias);
    std::string ServiceName() const;
    void SetServiceName(const std::string& name);
    std::string ConfigText() const;
    // The language's "not defined" text shows as an empty box.
    void SetConfigText(const std::string& text);
    bool ShowInHint() const;
    void SetShowInHint(bool show);

    void ApplyLanguage() override;
};

// The program's one add-folder dialog, made on first use.
TAddDirForm& AddDirForm();
