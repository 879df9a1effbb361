// The in-place editor of the string tree and the tree's edit entry points.
#include "Lib2/VirtualTree/VTEditLink.h"

#include <algorithm>

#include "Lib2/VirtualTree/VTHeader.h"
#include "platform/Text.h"

namespace {

constexpr int kMinEditWidth = 30;

TAlignment Mirrored(TAlignment a)
{
    if (a == TAlignment::taLeftJustify)
        return TAlignment::taRightJustify;
    if (a == TAlignment::taRightJustify)
        return TAlignment::taLeftJustify;
    return a;
}

}  // namespace

// ---------------------------------------------------------------------------
// The tree's side

bool TBaseVirtualTree::StartNodeEdit(PVirtualNode node, TColumnIndex column)
{
    BX_ASSERT(node != nullptr, "Node must not be nil.");
    BX_ASSERT(column > InvalidColumn && column < header_->Columns().Count(),
              "Column must be a valid column index (-1 if no header is shown).");
    if (IsEditing() || (options_->MiscOptions() & toReadOnly) || node == root_)
        return false;
    if (!CanEdit(node, column))
        return false;
    SetFocusedColumn(column);
    SetFocusedNode(node);
    // The application may have refused the focus change.
    if (focusedNode_ != node)
        return false;
    if (!(node->States & vsInitialized))
        InitNode(node);
    editColumn_ = column;
    DoEdit();
    return IsEditing();
}

void TBaseVirtualTree::UpdateEditBounds()
{
    if (!IsEditing() || !editLink_ || !editNode_)
        return;
    const bool wholeCell =
        (editNode_->States & vsMultiline) || (options_->MiscOptions() & toGridExtensions);
    RECT r = NodeDisplayRect(editNode_, editColumn_, !wholeCell, !wholeCell);
    if (header_->UseColumns() && header_->Columns().IsValidColumn(editColumn_)) {
        // A text wider than its column is edited inside the column.
        const RECT cell = NodeDisplayRect(editNode_, editColumn_, false, true);
        r.left = std::max(r.left, cell.left);
        r.right = std::min(r.right, cell.right);
    }
    editLink_->SetBounds(r);
}

// ---------------------------------------------------------------------------
// The edit control

TVTEdit::TVTEdit(TStringEditLink* link) : TWinControl(nullptr), link_(link)
{
    SetVisible(false);
    SetColor(GetSysColor(COLOR_WINDOW));
}

TVTEdit::~TVTEdit()
{
    // Going with the tree: the link must not reach us any more.
    if (link_)
        link_->edit_ = nullptr;
    link_ = nullptr;
    std::shared_ptr<TStringEditLink> ref = std::move(refLink_);
}

void TVTEdit::CreateParams(TCreateParams& params)
{
    params.className = L"EDIT";
    params.systemClass = true;
    params.style &= ~WS_CLIPCHILDREN;
    // Always multi-line: only then does the edit take a formatting rectangle.
    params.style |= ES_MULTILINE;
    // Enter is a line break in a multiline node (the control would take
    // itself for part of a dialog and leave it out otherwise).
    if (multiLine_)
        params.style |= WS_VSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN;
    else
        // A right-aligned or centred edit does not scroll sideways: a
        // character that does not fit goes to a second line, and the edit
        // then widens to its text (AutoAdjustSize) instead of refusing it.
        params.style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    if (alignment_ == TAlignment::taRightJustify)
        params.style |= ES_RIGHT;
    else if (alignment_ == TAlignment::taCenter)
        params.style |= ES_CENTER;
    if (themed_)
        params.exStyle |= WS_EX_CLIENTEDGE;
    else
        params.style |= WS_BORDER;
    if (rightToLeft_)
        params.exStyle |= WS_EX_RTLREADING;
}

UINT TVTEdit::DialogCodes() const { return DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTARROWS; }

bool TVTEdit::LinkActive() const
{
    return link_ && link_->tree_ && link_->node_ && !link_->stopping_ && refLink_;
}

bool TVTEdit::MultiLineNode() const { return multiLine_; }

bool TVTEdit::Modified()
{
    return HandleAllocated() && SendMessageW(Handle(), EM_GETMODIFY, 0, 0) != 0;
}

void TVTEdit::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_VTEDIT_RELEASE:
        // Posted by the link's destructor: nothing of this object may be
        // touched after this line.
        delete this;
        return;
    case WM_KILLFOCUS:
    case WM_DESTROY:
        if (LinkActive()) {
            // Losing the focus, or the window, ends the edit: accepted with
            // toAutoAcceptEditChange, else cancelled.
            std::weak_ptr<void> alive = AliveToken();
            TWinControl::WndProc(message);
            if (alive.expired() || !LinkActive())
                return;
            TCustomVirtualStringTree* tree = link_->tree_;
            if (tree->TreeOptions().StringOptions() & toAutoAcceptEditChange)
                tree->EndEditNode();
            else
                tree->CancelEditNode();
            return;
        }
        break;
    default:
        break;
    }
    TWinControl::WndProc(message);
}

void TVTEdit::KeyDown(WORD& key, TShiftState shift)
{
    std::weak_ptr<void> alive = AliveToken();
    TWinControl::KeyDown(key, shift);
    if (alive.expired() || key == 0)
        return;
    switch (key) {
    case VK_RETURN:
    case VK_ESCAPE: {
        if (!LinkActive())
            return;
        // Enter in a multiline node is a line break; Ctrl+Enter ends there.
        if (key == VK_RETURN && multiLine_ && !(shift & ssCtrl))
            return;
        TCustomVirtualStringTree* tree = link_->tree_;
        PVirtualNode node = link_->node_;
        std::weak_ptr<void> treeAlive = tree->AliveToken();
        const WORD pressed = key;
        key = 0;
        if (pressed == VK_RETURN) {
            tree->InvalidateNode(node);
            tree->EndEditNode();
        } else {
            tree->CancelEditNode();
        }
        if (!treeAlive.expired() && tree->HandleAllocated() && tree->CanFocus())
            tree->SetFocus();
        return;
    }
    case VK_UP:
        if (!multiLine_)
            key = VK_LEFT;
        return;
    case VK_DOWN:
        if (!multiLine_)
            key = VK_RIGHT;
        return;
    default:
        return;
    }
}

void TVTEdit::KeyPress(wchar_t& key)
{
    std::weak_ptr<void> alive = AliveToken();
    TWinControl::KeyPress(key);
    if (alive.expired())
        return;
    // The characters of keys that ended the edit or that the edit swallows.
    if (key == L'\t' || key == 0x1B)
        key = 0;
    else if ((key == L'\r' || key == L'\n') && (!multiLine_ || key == L'\n' || !LinkActive()))
        key = 0;
}

bool TVTEdit::CommandNotify(WORD code)
{
    if (code == EN_CHANGE) {
        AutoAdjustSize();
        return true;
    }
    return false;
}

void TVTEdit::AutoAdjustSize()
{
    if (!LinkActive() || multiLine_ || !HandleAllocated())
        return;
    TCustomVirtualStringTree* tree = link_->tree_;
    if (tree->TreeOptions().MiscOptions() & toGridExtensions)
        return;
    const std::wstring text = Utf8ToWide(Text());
    SIZE size{0, 0};
    if (HDC dc = GetDC(Handle())) {
        HGDIOBJ old = SelectObject(dc, Font().Handle());
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(Handle(), dc);
    }
    const int wanted = size.cx + 2 * tree->TextMargin();
    const RECT bounds = BoundsRect();
    if (wanted <= bounds.right - bounds.left)
        return;
    const RECT limit = tree->NodeDisplayRect(link_->node_, link_->column_, false, false);
    RECT r = bounds;
    if (link_->alignment_ == TAlignment::taRightJustify)
        r.left = std::max<LONG>(limit.left, r.right - wanted);
    else
        r.right = std::min<LONG>(limit.right, r.left + wanted);
    if (EqualRect(&r, &bounds))
        return;
    SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
    link_->SetBounds(r);
    SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Handle(), nullptr, TRUE);
}

// ---------------------------------------------------------------------------
// The link

TStringEditLink::TStringEditLink() : edit_(new TVTEdit(this)) {}

TStringEditLink::~TStringEditLink()
{
    TVTEdit* edit = edit_;
    edit_ = nullptr;
    if (!edit)
        return;
    edit->link_ = nullptr;
    // We may be inside the control's own message handling: it frees itself
    // on the posted message. Without a window nothing can call it.
    if (edit->HandleAllocated())
        PostMessageW(edit->Handle(), WM_VTEDIT_RELEASE, 0, 0);
    else
        delete edit;
}

bool TStringEditLink::PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column)
{
    auto* strings = dynamic_cast<TCustomVirtualStringTree*>(tree);
    if (!strings || !node || !edit_)
        return false;
    // Not active until everything is in place (the re-creation below must
    // not look like the end of an edit).
    stopping_ = true;
    tree_ = nullptr;

    TFont font;
    std::string text;
    strings->TextInfo(node, column, font, textBounds_, text);

    TBiDiMode bidi = strings->BiDiMode();
    alignment_ = strings->Alignment();
    TVirtualTreeColumns& columns = strings->Header().Columns();
    if (columns.IsValidColumn(column)) {
        bidi = columns[column]->BiDiMode();
        alignment_ = columns[column]->Alignment();
    }
    if (bidi != bdLeftToRight)
        alignment_ = Mirrored(alignment_);

    TVTEdit* edit = edit_;
    edit->Font().Assign(font);
    edit->Font().SetColor(GetSysColor(COLOR_WINDOWTEXT));
    edit->alignment_ = alignment_;
    edit->rightToLeft_ = bidi != bdLeftToRight;
    edit->multiLine_ = (node->States & vsMultiline) != 0;
    edit->themed_ = strings->HasState(tsUseThemes);
    edit->SetVisible(false);
    if (edit->Parent() != strings)
        edit->SetParent(strings);
    else
        edit->RecreateWnd();
    edit->SetCaption(text);
    if (edit->HandleAllocated())
        SendMessageW(edit->Handle(), EM_SETMODIFY, FALSE, 0);

    tree_ = strings;
    node_ = node;
    column_ = column;
    edit->refLink_ = weak_from_this().lock();
    stopping_ = false;
    return true;
}

bool TStringEditLink::BeginEdit()
{
    if (stopping_ || !edit_)
        return false;
    edit_->Show();
    if (edit_->HandleAllocated()) {
        SendMessageW(edit_->Handle(), EM_SETSEL, 0, -1);
        edit_->SetFocus();
    }
    return true;
}

bool TStringEditLink::EndEdit()
{
    if (stopping_)
        return false;
    std::shared_ptr<TStringEditLink> self = weak_from_this().lock();
    stopping_ = true;
    if (edit_ && tree_ && node_ && edit_->Modified()) {
        std::weak_ptr<void> treeAlive = tree_->AliveToken();
        tree_->DoNewText(node_, column_, edit_->Text());
        // OnNewText may have freed the tree (and the control with it) or
        // the node (the tree then forgot it as its edited node).
        if (treeAlive.expired())
            tree_ = nullptr;
        else if (tree_->EditNode() == node_)
            tree_->InvalidateNode(node_);
    }
    if (edit_) {
        ReturnFocus();
        if (edit_)
            edit_->Hide();
    }
    BreakLink();
    return true;
}

bool TStringEditLink::CancelEdit()
{
    if (stopping_)
        return false;
    std::shared_ptr<TStringEditLink> self = weak_from_this().lock();
    stopping_ = true;
    if (edit_) {
        ReturnFocus();
        if (edit_)
            edit_->Hide();
    }
    BreakLink();
    return true;
}

void TStringEditLink::ReturnFocus()
{
    if (!edit_ || !tree_ || !edit_->Focused())
        return;
    if (!tree_->IsDestroying() && tree_->HandleAllocated() && tree_->CanFocus())
        tree_->SetFocus();
}

void TStringEditLink::BreakLink()
{
    if (!edit_)
        return;
    // Released when this function returns; callers hold their own reference.
    std::shared_ptr<TStringEditLink> ref = std::move(edit_->refLink_);
}

RECT TStringEditLink::GetBounds() { return edit_ ? edit_->BoundsRect() : RECT{}; }

void TStringEditLink::ProcessMessage(TMessage& message)
{
    if (edit_)
        message.Result = edit_->Perform(message.Msg, message.WParam, message.LParam);
}

void TStringEditLink::SetBounds(RECT r)
{
    if (stopping_ || !edit_ || !tree_)
        return;
    r.left = std::max<LONG>(r.left, 0);
    if (r.right - r.left < kMinEditWidth) {
        if (alignment_ == TAlignment::taRightJustify)
            r.left = r.right - kMinEditWidth;
        else
            r.right = r.left + kMinEditWidth;
    }
    const RECT client = tree_->ClientRect();
    r.right = std::min(r.right, client.right);
    edit_->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (!edit_->HandleAllocated())
        return;
    // The text inside the control lands where the cell showed it.
    RECT format;
    GetClientRect(edit_->Handle(), &format);
    const int grow = tree_->HasState(tsUseThemes) ? 3 : 2;
    InflateRect(&format, grow - tree_->TextMargin(), grow);
    if (!(node_->States & vsMultiline))
        OffsetRect(&format, 0, textBounds_.top - r.top);
    // The edit's own margins would come off the rectangle as well and cut
    // the text short of the width measured for it.
    SendMessageW(edit_->Handle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    SendMessageW(edit_->Handle(), EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&format));
}
