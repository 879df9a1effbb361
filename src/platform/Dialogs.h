// The system's open and save file dialogs as components, and a scope that
// sets the process error mode while a dialog runs (so an empty drive shows
// no system message box).
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/Component.h"

enum TOpenOption : unsigned {
    ofReadOnly = 1u << 0,
    ofOverwritePrompt = 1u << 1,
    ofHideReadOnly = 1u << 2,
    ofNoChangeDir = 1u << 3,
    ofShowHelp = 1u << 4,
    ofNoValidate = 1u << 5,
    ofAllowMultiSelect = 1u << 6,
    ofExtensionDifferent = 1u << 7,
    ofPathMustExist = 1u << 8,
    ofFileMustExist = 1u << 9,
    ofCreatePrompt = 1u << 10,
    ofShareAware = 1u << 11,
    ofNoReadOnlyReturn = 1u << 12,
    ofNoTestFileCreate = 1u << 13,
    ofNoNetworkButton = 1u << 14,
    ofNoLongNames = 1u << 15,
    ofOldStyleDialog = 1u << 16,
    ofNoDereferenceLinks = 1u << 17,
    ofEnableIncludeNotify = 1u << 18,
    ofEnableSizing = 1u << 19,
};
using TOpenOptions = unsigned;

// The open dialog (GetOpenFileNameW). Set the fields, call Execute.
class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* owner) : TComponent(owner) {}

    // Pairs of description and patterns separated by "|":
    // "Text files (*.txt)|*.txt|All files|*.*".
    std::string Filter;
    // 1-based index of the filter shown; the user's choice after Execute.
    int FilterIndex = 1;
    std::string InitialDir;
    // Appended (without a dot) to a typed name that has no extension.
    std::string DefaultExt;
    // The caption; the system's when empty.
    std::string Title;
    TOpenOptions Options = ofHideReadOnly | ofEnableSizing;
    int HelpContext = 0;
    // In: the name shown first. Out: the chosen file (the first one when
    // several were chosen).
    std::string FileName;
    // Every chosen file with its full path (one entry without multi-select).
    std::vector<std::string> Files;

    // Shows the dialog modally, owned by owner (nullptr: this thread's active
    // window, else the application window). True when the user chose. A
    // cancelled dialog changes nothing; a failing one raises Exception.
    bool Execute(HWND owner = nullptr);

    // The OFN_ flags for Options (OFN_EXPLORER unless ofOldStyleDialog).
    static DWORD OptionFlags(TOpenOptions options);
    // The filter text in the system's form: "|" become NULs, two NULs end it.
    static std::wstring SystemFilter(const std::string& filter);
    // Splits the dialog's answer: one full path, or (multi-select) the
    // folder followed by NUL-separated names.
    static std::vector<std::string> SplitFileList(const wchar_t* buffer, bool explorer);

protected:
    // Calls the system dialog; false when cancelled or failed.
    virtual BOOL RunDialog(OPENFILENAMEW& ofn);
};

// The save dialog (GetSaveFileNameW).
class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}

protected:
    BOOL RunDialog(OPENFILENAMEW& ofn) override;
};

// The picture dialogs: the plain dialogs with a filter of the picture kinds
// the program reads (bitmaps, JPEG pictures, icons).
class TOpenPictureDialog : public TOpenDialog {
public:
    explicit TOpenPictureDialog(TComponent* owner);
};

class TSavePictureDialog : public TSaveDialog {
public:
    explicit TSavePictureDialog(TComponent* owner);
};

// The default filter of the picture dialogs.
extern const char* const kPictureFilter;

// Sets the process error mode and puts the previous one back when it goes.
class TErrorModeScope {
public:
    explicit TErrorModeScope(UINT mode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)
        : saved_(SetErrorMode(mode)) {}
    ~TErrorModeScope() { SetErrorMode(saved_); }
    TErrorModeScope(const TErrorModeScope&) = delete;
    TErrorModeScope& operator=(const TErrorModeScope&) = delete;

private:
    UINT saved_;
};
