// The string tree's in-place editor: an edit control over the cell and the
// link object through which the tree drives it.
//
// Lifetime: the tree holds the link (shared_ptr) while it edits, and so does
// the edit control between PrepareEdit and the end or cancel of the edit.
// The link owns its edit control: when the link goes it posts the control a
// release message and the control frees itself on it (the link may go inside
// the control's own key or focus handling). A control that is a child of the
// tree goes with the tree if it is still there; it then tells its link.
#pragma once
#include <memory>

#include "Lib2/VirtualTree/VirtualTrees.h"

class TStringEditLink;

// Posted to the edit control by its link's destructor.
constexpr UINT WM_VTEDIT_RELEASE = WM_APP + 0x2E1;

class TVTEdit : public TWinControl {
public:
    explicit TVTEdit(TStringEditLink* link);
    ~TVTEdit() override;
    TVTEdit(const TVTEdit&) = delete;
    TVTEdit& operator=(const TVTEdit&) = delete;

    TStringEditLink* Link() const { return link_; }
    std::string Text() const { return Caption(); }
    // The user changed the text since it was set.
    bool Modified();
    // Widens the control to its text (single-line nodes, not with toGridExtensions).
    void AutoAdjustSize();

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    UINT DialogCodes() const override;
    bool CommandNotify(WORD code) override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyPress(wchar_t& key) override;

private:
    friend class TStringEditLink;
    // The tree, the node and whether the edit still runs, through the link.
    bool LinkActive() const;
    bool MultiLineNode() const;

    TStringEditLink* link_;
    // Keeps the link alive while the edit runs.
    std::shared_ptr<TStringEditLink> refLink_;
    bool multiLine_ = false;
    bool themed_ = false;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool rightToLeft_ = false;
};

class TStringEditLink : public IVTEditLink, public std::enable_shared_from_this<TStringEditLink> {
public:
    TStringEditLink();
    ~TStringEditLink() override;
    TStringEditLink(const TStringEditLink&) = delete;
    TStringEditLink& operator=(const TStringEditLink&) = delete;

    bool BeginEdit() override;
    bool CancelEdit() override;
    bool EndEdit() override;
    bool PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column) override;
    RECT GetBounds() override;
    void ProcessMessage(TMessage& message) override;
    void SetBounds(RECT r) override;

    // nullptr once the control went (with its tree).
    TVTEdit* Edit() const { return edit_; }
    TCustomVirtualStringTree* Tree() const { return tree_; }
    PVirtualNode Node() const { return node_; }
    TColumnIndex Column() const { return column_; }
    TAlignment Alignment() const { return alignment_; }
    // The cell text's rectangle in tree client coordinates.
    const RECT& TextBounds() const { return textBounds_; }
    bool Stopping() const { return stopping_; }

private:
    friend class TVTEdit;
    // Drops the control's reference (the link may go with it).
    void BreakLink();
    // Takes the focus back to the tree when the control had it.
    void ReturnFocus();

    TVTEdit* edit_;
    TCustomVirtualStringTree* tree_ = nullptr;
    PVirtualNode node_ = nullptr;
    TColumnIndex column_ = NoColumn;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    RECT textBounds_{};
    bool stopping_ = false;
};
