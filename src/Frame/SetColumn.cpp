#include "Frame/SetColumn.h"

#include "Classes/Lang.h"
#include "Lib2/VirtualTree/VTHeader.h"

namespace {

constexpr int kClientWidth = 260;
constexpr int kMargin = 8;

}  // namespace

TSetColumnForm::TSetColumnForm(TComponent* owner) : TDialogForm(owner)
{
    SetName("SetColumnForm");
    SetFormClientSize(*this, kClientWidth, 360);

    Label1 = new TLabel(this);
    Label1->SetName("Label1");
    Label1->SetWordWrap(true);
    Label1->SetBounds(kMargin, kMargin, kClientWidth - 2 * kMargin, 13);
    Label1->SetParent(this);

    clbColumns = new TCheckListBox(this);
    clbColumns->SetName("clbColumns");
    clbColumns->SetParent(this);
    clbColumns->OnDragOver = [this](TObject* sender, TObject* source, int x, int y, bool& accept) {
        clbColumnsDragOver(sender, source, x, y, accept);
    };
    clbColumns->OnDragDrop = [this](TObject* sender, TObject* source, int x, int y) {
        clbColumnsDragDrop(sender, source, x, y);
    };
    // A list without a column shows nothing and has no header to click:
    // the last ticked line stays ticked.
    clbColumns->OnClickCheck = [this](TObject*) {
        const int line = clbColumns->ItemIndex();
        if (line >= 0 && !clbColumns->Checked(line) && TickedCount() == 0) {
            clbColumns->SetChecked(line, true);
            MessageBeep(MB_OK);
        }
    };
    Label1->SetFocusControl(clbColumns);
    SetFirstFocus(clbColumns);
    ApplyLanguage();
}

void TSetColumnForm::ApplyLanguage()
{
    TDialogForm::ApplyLanguage();
    SetCaption(sColumnSettings);
    // Measured again for the new text, with room below it.
    Label1->SetWidth(FormClientWidth(*this) - 2 * kMargin);
    Label1->SetCaption(sColumnSettingsHint);
    Label1->SetAutoSize(false);
    Label1->SetAutoSize(true);
    Label1->SetHeight(Label1->Height() + 8);
    int top = Label1->Top() + Label1->Height();
    clbColumns->SetBounds(kMargin, top, FormClientWidth(*this) - 2 * kMargin,
                          FormClientHeight(*this) - Panel1->Height() - top);
}

void TSetColumnForm::LoadColumns(TVirtualTreeColumns& columns)
{
    clbColumns->Clear();
    for (TColumnIndex index : columns.PositionToIndex()) {
        TVirtualTreeColumn* column = columns[index];
        if (!column)
            continue;
        int line = clbColumns->AddItem(column->Text(), column);
        clbColumns->SetChecked(line, column->Visible());
    }
    // A layout saved with every column hidden gets its first one back.
    if (clbColumns->Count() > 0 && TickedCount() == 0)
        clbColumns->SetChecked(0, true);
}

int TSetColumnForm::TickedCount() const
{
    int n = 0;
    for (int i = 0; i < clbColumns->Count(); ++i)
        n += clbColumns->Checked(i) ? 1 : 0;
    return n;
}

void TSetColumnForm::SaveColumns()
{
    for (int i = 0; i < clbColumns->Count(); ++i) {
        auto* column = dynamic_cast<TVirtualTreeColumn*>(clbColumns->Object(i));
        if (!column)
            continue;
        column->SetPosition(static_cast<TColumnPosition>(i));
        TVTColumnOptions options = column->Options();
        column->SetOptions(clbColumns->Checked(i) ? options | coVisible : options & ~coVisible);
    }
}

bool TSetColumnForm::Execute(TVirtualTreeColumns& columns)
{
    LoadColumns(columns);
    if (ShowModal() != mrOk)
        return false;
    SaveColumns();
    return true;
}

void TSetColumnForm::clbColumnsDragOver(TObject*, TObject* source, int x, int y, bool& accept)
{
    int target = clbColumns->ItemAtPos(POINT{x, y}, true);
    accept = source == clbColumns && target >= 0 && target != clbColumns->ItemIndex();
}

void TSetColumnForm::clbColumnsDragDrop(TObject*, TObject*, int x, int y)
{
    int target = clbColumns->ItemAtPos(POINT{x, y}, true);
    int dragged = clbColumns->ItemIndex();
    if (target >= 0 && dragged >= 0 && target != dragged)
        clbColumns->Move(dragged, target);
}

TSetColumnForm& SetColumnForm()
{
    static TSetColumnForm* form = nullptr;
    return DialogOnce(form);
}
