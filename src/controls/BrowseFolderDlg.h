// The shell's folder browser as a component: folders (optionally below "My
// Computer" only) or network computers, an initial selection, an optional
// help button, centred on the screen.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

enum TBrowseKind { bfFolders, bfComputers };

class TBrowseFolderDlg {
public:
    TBrowseFolderDlg() = default;
    virtual ~TBrowseFolderDlg();
    TBrowseFolderDlg(const TBrowseFolderDlg&) = delete;
    TBrowseFolderDlg& operator=(const TBrowseFolderDlg&) = delete;

    // Rooted at the desktop; off: rooted at the computer's drives.
    bool DesktopRoot = true;
    TBrowseKind BrowseKind = bfFolders;
    // Centre the dialog on the screen when it opens.
    bool CenterOnScreen = true;
    // Text above the tree; none when empty.
    std::string PromptText;
    // In: the first selection. Out: the chosen folder (no trailing backslash)
    // or, when browsing computers, the chosen computer's name.
    std::string FolderName;
    // Display name of the chosen item (at most 260 characters).
    std::string DisplayName;
    // System image index of the chosen item.
    int ImageIndex = 0;
    // Not 0: the dialog gets a help button that opens help on this context.
    int HelpContext = 0;

    std::function<void(TBrowseFolderDlg& sender)> OnInitialized;
    std::function<void(TBrowseFolderDlg& sender)> OnSelChanged;

    // Shows the dialog modally; true when the user chose an item.
    bool Execute();
    // The dialog window while it is open.
    HWND Handle() const { return dialog_; }

    // The browser's callback (BFFM_INITIALIZED, BFFM_SELCHANGED), also
    // callable on any window that stands in for the dialog.
    int HandleCallback(HWND dialog, UINT msg, LPARAM param);

    // Identifier of the added help button.
    static constexpr int HelpButtonId = 0xFFFF;

protected:
    // Opens the program's help on HelpContext.
    virtual void ShowHelp();

private:
    static int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM param, LPARAM data);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Subclass(HWND dialog);
    void Unsubclass();
    void AddHelpButton(HWND dialog);

    HWND dialog_ = nullptr;
    HWND subclassed_ = nullptr;
    WNDPROC oldProc_ = nullptr;
};
