// A client log shown one line per row, each row filled with the colour of
// the keyword group its line belongs to (error, information, success,
// other). Used for "FAHlog.txt" and "FAHlog-Prev.txt", and as the base of the
// "client.cfg" editor.
//
// The list follows a growing log: a text that begins with what is shown
// only gets its new lines appended (the last row is re-read when it was an
// unfinished line); any other text is loaded again from scratch.
//
// A client's snapshot of a long log holds only its newest lines (a window,
// TLogTailReader): the list shows that window under a first row that says
// how many earlier lines are not shown (or, for a file whose end alone was
// read, that its start is not shown). A newer snapshot of the same reading
// appends its new lines and drops the rows of lines that left the window,
// so the rows never outnumber the window's lines.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "Classes/LogLines.h"
#include "Frame/VSTFr.h"

// Keyword groups in the order of their colours.
enum TLogLineGroup { llgSuccess, llgInformation, llgError, llgOther };
constexpr int kLogLineGroupCount = 4;

// The group of a line: the first of error, information and success with a
// keyword the lower-cased line contains; other when none.
TLogLineGroup LogLineGroup(std::string_view line);
// Default colours (0x00BBGGRR) of the groups.
COLORREF DefaultLogColor(TLogLineGroup group);

class TLogFrame : public TVSTFrame {
public:
    // The kind of the note row above a window (log rows are kind 0).
    static constexpr int kNoteRowKind = 1;

    explicit TLogFrame(TComponent* owner);

    // Adds one row per line of text (clearing first when asked), then
    // selects and focuses the last row.
    void LoadText(std::string_view text, bool clear);
    // Shows the whole text of a log: appends what follows the text shown
    // when the new text begins with it, else loads it from scratch.
    void SetText(const std::string& text);
    // The same for a log snapshot (nullptr: an empty log): its window, under
    // a note row when lines lie above the window. Showing the snapshot that
    // is shown already costs nothing.
    void SetLines(const TLogLinesPtr& lines);
    // The note row above a window (nullptr when the whole log shows).
    PVirtualNode NoteRow() const { return noteRow_; }
    // The text the rows were made from ("" after LoadText without clearing
    // or once rows were changed by hand).
    std::string_view ShownText() const;
    // The last n rows joined by CR LF.
    std::string LastLines(int n) const;
    // Rows shown.
    int LineCount() const { return static_cast<int>(VSTree->RootNodeCount()); }

    bool Coloring() const { return coloring_; }
    void SetColoring(bool on);
    COLORREF GroupColor(TLogLineGroup group) const { return colors_[group]; }
    void SetGroupColor(TLogLineGroup group, COLORREF color);
    void SetSuccessColor(COLORREF c) { SetGroupColor(llgSuccess, c); }
    void SetInformationColor(COLORREF c) { SetGroupColor(llgInformation, c); }
    void SetErrorColor(COLORREF c) { SetGroupColor(llgError, c); }
    void SetOtherColor(COLORREF c) { SetGroupColor(llgOther, c); }

    // The selected rows joined by CR LF.
    void CopyToClipboard() override;
    // No columns (no header; long lines scroll sideways), no root or tree
    // lines, full-row and multiple selection, the background picture,
    // margin 0, the button face colour.
    void SetupTree() override;

protected:
    // The rows no longer match the shown text (an editor changed them).
    void ForgetShownText();

private:
    // Whether text begins with the whole text shown now.
    bool ContinuesShownText(std::string_view text) const;
    // text begins with the shown text: adds the rows of the rest.
    void AppendRest(std::string_view text);
    // Adds rows for the lines of text; replaceLast: the first line goes
    // into the last row (it continues a line that was unfinished).
    void AddLines(std::string_view text, bool replaceLast);
    // Rows for text (after clearing, or the first line into the last row),
    // then the last row selected and the end of the list shown.
    void UpdateRows(std::string_view text, bool clear, bool replaceLast);
    // The text shown now, as our own copy.
    void KeepText(std::string_view text);
    void BeforeItemErase(PVirtualNode node, COLORREF& color, TItemEraseAction& action);
    // Snapshots: every row made anew, or the rows of a newer snapshot of
    // the same reading brought up to it.
    void ShowWindow(const TLogLines& lines);
    void FollowWindow(const TLogLines& lines);
    // The note row for the lines above the window (none when there are none).
    void SetNote(const TLogLines& lines);
    // Runs change inside one update of the tree, then selects and focuses
    // the last row and shows the end of the list.
    template <class F>
    void ChangeRows(F change);
    // The last row's bottom is in the window.
    bool AtEnd() const;

    bool coloring_ = true;
    COLORREF colors_[kLogLineGroupCount];
    // What the rows show: a snapshot, or a text of our own.
    TLogLinesPtr shownLines_;
    std::string shownText_;
    bool shownKnown_ = true;
    PVirtualNode noteRow_ = nullptr;
    // The list was at its end after its last scroll: a resize keeps it there.
    bool showsEnd_ = true;
};
