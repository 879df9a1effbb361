// A list of lines with a check box in front of each, painted by us. A press
// on the box, or Space, ticks or unticks the selected line (OnClickCheck).
// With DragEnabled, pressing a line and moving the mouse past the system's
// drag distance drags it inside the list: OnDragOver tells for each place
// whether a drop there is welcome (the cursor and the marked target line
// show it), and releasing the button over such a place calls OnDragDrop.
// Esc, a lost capture or a refused place ends the drag without a drop.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/Control.h"

using TDragOverEvent = std::function<void(TObject* sender, TObject* source, int x, int y, bool& accept)>;
using TDragDropEvent = std::function<void(TObject* sender, TObject* source, int x, int y)>;

class TCheckListBox : public TWinControl {
public:
    explicit TCheckListBox(TComponent* owner);

    int Count() const { return static_cast<int>(items_.size()); }
    void Clear();
    // Appends a line holding object (not owned); returns its index.
    int AddItem(const std::string& text, TObject* object);
    void Delete(int index);
    // Takes the line at from out and puts it in at to, with its object and tick.
    void Move(int from, int to);
    const std::string& Item(int index) const { return At(index).text; }
    TObject* Object(int index) const { return At(index).object; }
    bool Checked(int index) const { return At(index).checked; }
    void SetChecked(int index, bool checked);

    // The selected line, -1 for none.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    int TopIndex() const { return topIndex_; }
    void SetTopIndex(int index);
    int ItemHeight() const;
    // The line's rectangle in client coordinates (it may lie outside the window).
    RECT ItemRect(int index) const;
    // Where the line's check box is drawn.
    RECT CheckBoxRect(int index) const;
    // The line at a client point. Below the last line: -1 when existing,
    // else Count().
    int ItemAtPos(POINT p, bool existing) const;

    bool DragEnabled = true;
    bool Dragging() const { return dragging_; }

    TNotifyEvent OnClickCheck;
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;

    void WndProc(TMessage& message) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void KeyDown(WORD& key, TShiftState shift) override;
    // Not raised for the release that ends a drag.
    void Click() override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void Paint(TCanvas& canvas) override;
    void BoundsChanged() override;
    // Esc ends a drag instead of reaching the form.
    UINT DialogCodes() const override { return DLGC_WANTARROWS | DLGC_WANTCHARS | (dragging_ ? DLGC_WANTALLKEYS : 0); }

private:
    struct TItem {
        std::string text;
        TObject* object = nullptr;
        bool checked = false;
    };
    const TItem& At(int index) const;
    int VisibleRows() const;
    void UpdateScrollBar();
    void MakeVisible(int index);
    void ToggleCheck(int index);
    void EndDrag(bool drop, POINT p);
    bool AcceptsDrop(POINT p);

    std::vector<TItem> items_;
    int itemIndex_ = -1;
    int topIndex_ = 0;
    // Pressed on a line (a drag may start), dragging, the line under a
    // welcome drop.
    bool pending_ = false;
    bool dragging_ = false;
    POINT pressAt_ = {0, 0};
    int dropTarget_ = -1;
    bool suppressClick_ = false;
};
