// The editor of a client's "client.cfg": one row per line, edited in place,
// with a toolbar on the left to add and delete lines, save and cancel.
//
// Saving writes a temporary file beside "client.cfg" and puts it in place,
// so a failure never leaves the client a half-written file; the file keeps
// its attributes (read-only too, after the user agreed to write it); a
// missing file is never created (the user is told so). Unsaved edits
// survive a refresh that shows the same client again.
#pragma once
#include <string>
#include <vector>

#include "Frame/LogFr.h"

class TFahView;
class TAction;
class TActionList;
class TCustomImageList;
class TTBDock;
class TTBToolbar;

// The editor's lines as the file is written: each line followed by LF,
// empty lines at the end dropped.
std::string ClientCfgFileText(const std::vector<std::string>& lines);

class TIniFrame : public TLogFrame {
public:
    explicit TIniFrame(TComponent* owner);

    // Shows the "client.cfg" of a display record (nullptr: none). The same
    // record while its edits are unsaved (or a line is being edited) is
    // left as it is.
    void ShowView(TFahView* view);
    TFahView* View() const { return view_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& RecordText() const { return text_; }   // what the rows were loaded from
    bool Modified() const { return modified_; }

    // The four actions. Save writes the file the edits came from (also when
    // the record's folder changed meanwhile), asks before writing a
    // read-only file, and tells the user when the file cannot be written or
    // is no longer there (the edits stay, still to be saved).
    void Save();
    // The text of the record again; edits are dropped.
    void Cancel();
    // The record went with its row (its folder left the list): the edits
    // stay, to be saved to their file or dropped, and no record gets them.
    void ForgetView() { view_ = nullptr; }
    // Asks for a line and inserts it after the focused one.
    void AddLine();
    void InsertLine(const std::string& text);
    void DeleteLine();

    // The rows as lines.
    std::vector<std::string> Lines() const;

    void ApplyLanguage() override;
    // As the log, plus in-place editing, window colour, no colouring.
    void SetupTree() override;

    TActionList* IniActionList = nullptr;
    // The four actions' pictures.
    TCustomImageList* IniImageList = nullptr;
    TAction* IniAddLineAction = nullptr;
    TAction* IniDelLineAction = nullptr;
    TAction* IniSaveAction = nullptr;
    TAction* IniChancelAction = nullptr;
    TTBDock* IniTBDock = nullptr;
    TTBToolbar* IniTBToolbar = nullptr;

private:
    void CreateToolbar();
    void SetModified(bool modified);
    void UpdateActions();

    TFahView* view_ = nullptr;
    std::string fileName_;
    std::string text_;   // the text the rows were loaded from
    bool loaded_ = false;
    bool modified_ = false;
};
