// Edit boxes with a button at their right edge: the base combo edit, the
// file-name edit (opens a file dialog) and the folder edit (opens the
// shell's folder browser).
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/SpeedButton.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/ShortCut.h"
#include "platform/StdCtrls.h"

class TCustomComboEdit;

// The error of the combo edits (an invalid file name).
class EComboEditError : public Exception {
    using Exception::Exception;
};

// What the button shows: the glyph set by the program, the edit class's
// own picture, a drop-down arrow or an ellipsis.
enum class TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };

// The button inside a combo edit. A left press first closes the edit's
// open popup (that press then clicks nothing) or focuses the edit; unless
// pressed it draws a separator line at its left edge.
class TEditButton : public TRxSpeedButton {
public:
    TEditButton(TComponent* owner, TCustomComboEdit* edit);
    std::string Hint() const override;
    void Paint(TCanvas& canvas) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void Click() override;

private:
    TCustomComboEdit* edit_;
    bool noClick_ = false;
};

class TCustomComboEdit : public TEdit {
public:
    explicit TCustomComboEdit(TComponent* owner);
    ~TCustomComboEdit() override;

    TEditButton* Button() const { return button_; }
    // The key that presses the button (Alt+Down).
    TShortCut ClickKey = ShortCut(VK_DOWN, ssAlt);
    int HelpContext = 0;

    // The text can be typed only while DirectInput is on and ReadOnly off.
    bool DirectInput() const { return directInput_; }
    void SetDirectInput(bool value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool CanType() const { return directInput_ && !readOnly_; }

    TGlyphKind GlyphKind() const { return glyphKind_; }
    void SetGlyphKind(TGlyphKind kind);
    int ButtonWidth() const;
    void SetButtonWidth(int width);
    std::string ButtonHint() const { return buttonHint_; }
    void SetButtonHint(const std::string& hint) { buttonHint_ = hint; }
    // A custom glyph (GlyphKind becomes gkCustom).
    TBitmap& Glyph() { return button_->Glyph(); }
    void SetGlyph(const TBitmap& glyph);
    int NumGlyphs() const { return button_->NumGlyphs(); }
    void SetNumGlyphs(int value) { button_->SetNumGlyphs(value); }

    // Raised first when the button is pressed (by mouse or ClickKey).
    TNotifyEvent OnButtonClick;

    // Presses the button: ButtonClick, unless the button is disabled.
    void EditButtonClick();
    // An optional drop-down popup of derived edits (the file and folder edits
    // have none). Closing it accepts or cancels what it shows.
    virtual bool PopupVisible() const { return false; }
    virtual void PopupCloseUp(bool accept) { (void)accept; }

    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyPress(wchar_t& key) override;
    void WndProc(TMessage& message) override;

protected:
    // What the button does; this base raises OnButtonClick.
    virtual void ButtonClick();
    // The picture the class shows for gkDefault (nullptr: none).
    virtual const TBitmap* DefaultGlyph() const { return nullptr; }
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void BoundsChanged() override;
    void FontChanged() override;
    // A multi-line edit reports no change for text set in code: we do.
    void CaptionChanged() override;
    bool OfferDialogKey(WORD key, TShiftState shift) override;
    // Lays out the button container and narrows the text area to its left.
    void UpdateLayout();
    // Applies GlyphKind to the button's picture and width.
    void ApplyGlyphKind();

private:
    void UpdateReadOnly();
    int MinHeight();

    TWinControl* container_ = nullptr;
    TEditButton* button_ = nullptr;
    bool directInput_ = true;
    bool readOnly_ = false;
    TGlyphKind glyphKind_ = TGlyphKind::gkDefault;
    int buttonWidth_ = 21;
    bool widthFixed_ = false;
    std::string buttonHint_;
};

// Sender, the name (may be changed), whether to go on (may be changed).
using TExecOpenDialogEvent = std::function<void(TObject* sender, std::string& name, bool& action)>;
using TDropFilesEvent = std::function<void(TObject* sender, const std::vector<std::string>& files)>;

class TFileDirEdit : public TCustomComboEdit {
public:
    explicit TFileDirEdit(TComponent* owner);
    ~TFileDirEdit() override;

    // Files dropped from the shell set the text (then OnDropFiles).
    bool AcceptFiles() const { return acceptFiles_; }
    void SetAcceptFiles(bool value);

    TExecOpenDialogEvent OnBeforeDialog;
    TExecOpenDialogEvent OnAfterDialog;
    TDropFilesEvent OnDropFiles;

    void WndProc(TMessage& message) override;

protected:
    const TBitmap* DefaultGlyph() const override;
    void CreateHandleDone() override;
    // Called with the dropped files; the first becomes the text.
    virtual void ReceptFileDir(const std::vector<std::string>& files);
    // The edit takes the focus back after a dialog, when it can.
    void FocusAfterDialog();

private:
    bool acceptFiles_ = false;
};

// The picture of the file and folder edits' button: the "FEDITBMP" bitmap
// of the program's resources, loaded once (empty when it is missing).
const TBitmap& DefaultFileGlyph();

enum class TFileDialogKind { dkOpen, dkSave, dkOpenPicture, dkSavePicture };
enum class TFileEditStyle { fsEdit, fsComboBox };

// A name with a blank, not already starting with a double quote, in double quotes.
std::string QuoteFileName(const std::string& name);
// A text naming an existing file unchanged; otherwise without surrounding double quotes.
std::string UnquoteFileName(const std::string& name);

class TFilenameEdit : public TFileDirEdit {
public:
    explicit TFilenameEdit(TComponent* owner);
    ~TFilenameEdit() override;

    TFileDialogKind DialogKind() const { return dialogKind_; }
    // Makes a dialog of the new kind, carrying the settings over.
    void SetDialogKind(TFileDialogKind kind);
    TFileEditStyle FileEditStyle = TFileEditStyle::fsEdit;
    std::vector<std::string> HistoryList;

    // The text without quotes.
    std::string FileName() const;
    // Quoted when it holds a blank; EComboEditError for an invalid name (the
    // text stays); empty clears the text.
    void SetFileName(const std::string& name);

    std::string DefaultExt() const { return dialog_->DefaultExt; }
    void SetDefaultExt(const std::string& ext) { dialog_->DefaultExt = ext; }
    std::string Filter() const { return dialog_->Filter; }
    void SetFilter(const std::string& filter) { dialog_->Filter = filter; }
    int FilterIndex() const { return dialog_->FilterIndex; }
    void SetFilterIndex(int index) { dialog_->FilterIndex = index; }
    std::string InitialDir() const { return dialog_->InitialDir; }
    void SetInitialDir(const std::string& dir) { dialog_->InitialDir = dir; }
    TOpenOptions DialogOptions() const { return dialog_->Options; }
    void SetDialogOptions(TOpenOptions options) { dialog_->Options = options; }
    std::string DialogTitle() const { return dialog_->Title; }
    void SetDialogTitle(const std::string& title) { dialog_->Title = title; }
    // The component's own dialog.
    TOpenDialog& Dialog() { return *dialog_; }

protected:
    void ButtonClick() override;
    // Shows the dialog; tests may stand in for it.
    virtual bool ExecuteDialog();
    std::unique_ptr<TOpenDialog> CreateEditDialog(TFileDialogKind kind);

private:
    TFileDialogKind dialogKind_ = TFileDialogKind::dkOpen;
    std::unique_ptr<TOpenDialog> dialog_;
};

enum class TDirDialogKind { dkVCL, dkWin32 };
enum TSelectDirOpt : unsigned { sdAllowCreate = 1, sdPerformCreate = 2, sdPrompt = 4 };
using TSelectDirOpts = unsigned;

class TDirectoryEdit : public TFileDirEdit {
public:
    explicit TDirectoryEdit(TComponent* owner) : TFileDirEdit(owner) {}

    // dkWin32 opens the shell's folder browser. This program has no
    // folder dialog of its own, so dkVCL opens the same browser.
    TDirDialogKind DialogKind = TDirDialogKind::dkVCL;
    // The prompt shown above the folder tree.
    std::string DialogText;
    TSelectDirOpts DialogOptions = 0;
    std::string InitialDir;
    // A chosen folder is added to the text with ";" instead of replacing it.
    bool MultipleDirs = false;

protected:
    void ButtonClick() override;
    // Shows the folder browser at folder; true and the choice in folder
    // when the user chose. Tests may stand in for it.
    virtual bool ExecuteDialog(std::string& folder);
};
