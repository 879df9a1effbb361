// The column dialog of a list: one line per column, in the order the header
// shows them, ticked when the column is visible. The user ticks lines and
// drags a line onto another to move it there; the last ticked line can't be
// unticked. OK gives each column the position of its line and shows exactly
// the ticked ones. Cancel changes nothing.
#pragma once
#include "Frame/Dialog.h"
#include "platform/CheckListBox.h"

class TVirtualTreeColumns;

class TSetColumnForm : public TDialogForm {
public:
    explicit TSetColumnForm(TComponent* owner);

    TCheckListBox* clbColumns;
    TLabel* Label1;

    // Fills the list: every column's text with the column, in display
    // order (so OK without a move keeps the order), ticked when visible;
    // the first ticked when none is (one column always shows).
    void LoadColumns(TVirtualTreeColumns& columns);
    // Each line's column takes the line's index as its position and is
    // visible exactly when the line is ticked.
    void SaveColumns();
    // LoadColumns, ShowModal, and SaveColumns on OK. True on OK.
    bool Execute(TVirtualTreeColumns& columns);

    void ApplyLanguage() override;

    // A drag from the list itself onto another existing line is welcome.
    void clbColumnsDragOver(TObject* sender, TObject* source, int x, int y, bool& accept);
    // Moves the dragged (selected) line to the place of the line dropped on.
    void clbColumnsDragDrop(TObject* sender, TObject* source, int x, int y);

private:
    int TickedCount() const;
};

// The program's one column dialog, made on first use.
TSetColumnForm& SetColumnForm();
