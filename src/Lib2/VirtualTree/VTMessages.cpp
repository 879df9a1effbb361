// Item queries (the tree-view messages screen readers send), the hint
// decision and its pause, and the remaining window messages: the theme
// manager's question, system colours (passed on by the form), enabling.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHintWindow.h"
#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/ControlMessages.h"
#include "platform/Hints.h"
#include "platform/Text.h"

namespace {

// The theme manager asks a control whether it may take over its window
// procedure; 1 says no.
constexpr UINT kThemeManagerQuery = 0xB7D0;
// RedrawWindow flags of a full repaint with the frame, without erasing.
constexpr UINT kRedrawAll = RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_FRAME;   // 0x461
// The state bits TVM_GETITEM fills (TVIS_*; the focus bit is missing from
// MinGW's headers).
constexpr UINT kItemStateMask = 0xFF2F;
constexpr UINT kItemFocused = 0x0001;

// The check images a change of the system colours draws again (they take
// the window and button colours).
const char* const kRecolouredImages[] = {"VT_CHECK_LIGHT", "VT_CHECK_DARK", "VT_TICK_LIGHT", "VT_TICK_DARK",
                                         "VT_FLAT"};

// The shared images take the system colours again; once per change, however
// many trees hear of it.
void ReloadRecolouredImages()
{
    static COLORREF loaded[3] = {CLR_INVALID, CLR_INVALID, CLR_INVALID};
    const COLORREF now[3] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW)};
    if (std::equal(now, now + 3, loaded))
        return;
    std::copy(now, now + 3, loaded);
    for (int kind = ckLightCheck; kind <= ckFlat; ++kind)
        if (TCustomImageList* images = CheckImages(kind))
            LoadBuiltInImages(*images, kRecolouredImages[kind], true);
    LoadBuiltInImages(UtilityImages(), "VT_UTILITIES", false);
}

bool HeaderShown(TVTHeader& header) { return (header.Options() & hoVisible) != 0; }

// Whether the range is committed memory this process may read (write).
bool IsAccessibleMemory(const void* p, size_t size, bool write)
{
    if (!p || size == 0)
        return false;
    auto at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t end = at + size;
    if (end < at)
        return false;
    while (at < end) {
        MEMORY_BASIC_INFORMATION info{};
        if (!VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) || info.State != MEM_COMMIT ||
            (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
            return false;
        const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        const DWORD readable = writable | PAGE_READONLY | PAGE_EXECUTE_READ;
        if (!(info.Protect & (write ? writable : readable)))
            return false;
        at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    }
    return true;
}

bool IsWritableMemory(const void* p, size_t size) { return IsAccessibleMemory(p, size, true); }

}  // namespace

bool TBaseVirtualTree::IsNodeOfTree(PVirtualNode node) const
{
    // Up the parents to this tree's root, each record checked before it is
    // read; a cycle or another tree's root ends the walk.
    for (int depth = 0; depth < 100000; ++depth) {
        if (node == root_)
            return true;
        if ((reinterpret_cast<uintptr_t>(node) & 3) || !IsAccessibleMemory(node, sizeof(TVirtualNode), false) ||
            node->NextSibling == node)
            return false;
        node = node->Parent;
    }
    return false;
}

bool TBaseVirtualTree::OtherMessage(TMessage& m)
{
    switch (m.Msg) {
    case kThemeManagerQuery:
        m.Result = 1;
        return true;
    case TVM_GETITEMRECT:
        m.Result = GetItemRectMessage(m.WParam, m.LParam);
        return true;
    case TVM_GETNEXTITEM:
        m.Result = GetNextItemMessage(m.WParam, m.LParam);
        return true;
    case TVM_GETITEMA:
        m.Result = GetItemMessage(m.LParam);
        return true;
    case WM_GETOBJECT:
        m.Result = GetObjectMessage(m.WParam, m.LParam);
        return true;
    case CM_SYSCOLORCHANGE: {
        // The form passes the system's notice on; the window gets it too.
        m.Msg = WM_SYSCOLORCHANGE;
        DefaultHandler(m);
        ReloadRecolouredImages();
        RedrawFrame();   // the frame too, and kept through an update in progress
        return true;
    }
    case WM_ENABLE:
        TWinControl::WndProc(m);
        if (HandleAllocated())
            RedrawWindow(Handle(), nullptr, nullptr, kRedrawAll);
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Tree-view item queries. Node handles come from other code: each is checked
// before anything is read through it.

LRESULT TBaseVirtualTree::GetItemRectMessage(WPARAM wParam, LPARAM lParam)
{
    auto* rect = reinterpret_cast<RECT*>(lParam);
    if (!IsWritableMemory(rect, sizeof(RECT)))
        return 0;
    PVirtualNode node = *reinterpret_cast<PVirtualNode*>(rect);
    if (!IsNodeOfTree(node) || node == root_ || !FullyVisible(node))
        return 0;
    *rect = NodeDisplayRect(node, NoColumn, wParam != 0);
    return 1;
}

LRESULT TBaseVirtualTree::GetNextItemMessage(WPARAM wParam, LPARAM lParam)
{
    auto node = reinterpret_cast<PVirtualNode>(lParam);
    auto given = [&]() -> bool { return IsNodeOfTree(node) && node != root_; };
    PVirtualNode result = nullptr;
    switch (wParam) {
    case TVGN_ROOT:
        result = GetFirst();
        break;
    case TVGN_NEXT:
        result = given() ? node->NextSibling : nullptr;
        break;
    case TVGN_PREVIOUS:
        result = given() ? node->PrevSibling : nullptr;
        break;
    case TVGN_PARENT:
        result = given() && node->Parent != root_ ? node->Parent : nullptr;
        break;
    case TVGN_CHILD:
        result = given() ? GetFirstChild(node) : nullptr;
        break;
    case TVGN_FIRSTVISIBLE:
        result = GetFirstVisible();
        break;
    case TVGN_NEXTVISIBLE:
        result = given() ? GetNextVisible(node) : nullptr;
        break;
    case TVGN_PREVIOUSVISIBLE:
        result = given() ? GetPreviousVisible(node) : nullptr;
        break;
    case TVGN_DROPHILITE:
        result = DropTargetNode();
        break;
    case TVGN_CARET:
        result = FocusedNode();
        break;
    case TVGN_LASTVISIBLE:
        result = GetLastVisible();
        break;
    default:
        break;
    }
    return reinterpret_cast<LRESULT>(result);
}

LRESULT TBaseVirtualTree::GetItemMessage(LPARAM lParam)
{
    auto* item = reinterpret_cast<TVITEMA*>(lParam);
    if (!IsWritableMemory(item, sizeof(TVITEMA)) || !(item->mask & TVIF_HANDLE))
        return 0;
    auto node = reinterpret_cast<PVirtualNode>(item->hItem);
    if (!IsNodeOfTree(node) || node == root_)
        return 0;
    const TColumnIndex column = header_->MainColumn();
    auto imageIndex = [&](TVTImageKind kind) {
        bool ghosted = false;
        int index = -1;
        DoGetImageIndex(node, kind, column, ghosted, index);
        return index < -1 ? -1 : index;
    };
    if (item->mask & TVIF_CHILDREN)
        item->cChildren = static_cast<int>(node->ChildCount);
    if (item->mask & TVIF_IMAGE)
        item->iImage = imageIndex(ikNormal);
    if (item->mask & TVIF_SELECTEDIMAGE)
        item->iSelectedImage = imageIndex(ikSelected);
    if (item->mask & TVIF_STATE) {
        UINT state = 0;
        if (node == focusedNode_)
            state |= kItemFocused;
        if (node->States & vsSelected)
            state |= TVIS_SELECTED;
        if (node->States & vsCutOrCopy)
            state |= TVIS_CUT;
        if (node == dropTargetNode_)
            state |= TVIS_DROPHILITED;
        if (node->States & vsExpanded)
            state |= TVIS_EXPANDED;
        state |= static_cast<UINT>((imageIndex(ikOverlay) + 1) & 0xF) << 8;
        state |= static_cast<UINT>((imageIndex(ikState) + 1) & 0xF) << 12;
        item->stateMask = kItemStateMask;
        item->state = state;
    }
    // Only into a buffer that is there and has room for the terminator.
    if ((item->mask & TVIF_TEXT) && item->pszText && item->cchTextMax >= 1 &&
        IsWritableMemory(item->pszText, static_cast<size_t>(item->cchTextMax))) {
        const std::wstring wide = Utf8ToWide(AccessibleText(node));
        std::string ansi(wide.size() * 2 + 1, '\0');
        int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(),
                                         static_cast<int>(ansi.size()), nullptr, nullptr);
        length = std::min(std::max(length, 0), item->cchTextMax - 1);
        // A double-byte character is never cut in half.
        int end = 0;
        for (int i = 0; i < length;) {
            const int step = IsDBCSLeadByte(static_cast<BYTE>(ansi[static_cast<size_t>(i)])) ? 2 : 1;
            if (i + step > length)
                break;
            i += step;
            end = i;
        }
        std::copy(ansi.begin(), ansi.begin() + end, item->pszText);
        item->pszText[end] = '\0';
    }
    return 1;
}

std::string TBaseVirtualTree::AccessibleText(PVirtualNode node)
{
    if (!node || node == root_)
        return {};
    TFont font;
    RECT r{};
    std::string text;
    TextInfo(node, header_->MainColumn(), font, r, text);
    return text;
}

// ---------------------------------------------------------------------------
// The hint decision

bool TBaseVirtualTree::HintShow(THintInfo& info)
{
    info.HintStr.clear();
    pendingHint_ = TPendingHint{};
    lastHintRect_ = RECT{};
    if (!HandleAllocated() || !ShowHint())
        return false;
    const RECT client = ClientRect();
    const POINT p = info.CursorPos;
    // Without a hint now the tree is asked again at the next move.
    info.CursorRect = RECT{p.x, p.y, p.x + 1, p.y + 1};
    TVTHeader& header = *header_;
    if (GetCapture() == Handle() ||
        (states_ & (tsOLEDragging | tsOLEDragPending | tsVCLDragging | tsDrawSelecting | tsDrawSelPending |
                    tsWheelPanning | tsWheelScrolling | tsPanning | tsScrolling | tsThumbTracking)) ||
        (header.States() & (hsDragging | hsTracking)))
        return false;

    // Over the header: the hint of the column there.
    if (HeaderShown(header) && p.y < 0 && p.y >= -header.Height()) {
        if (!(header.Options() & hoShowHint))
            return false;
        const RECT headerRect{client.left, -header.Height(), client.right, 0};
        const POINT hp{p.x, p.y + header.Height()};
        const TColumnIndex column = header.Columns().ColumnFromPoint(hp);
        const bool buttonDown = (GetKeyState(VK_LBUTTON) | GetKeyState(VK_RBUTTON) | GetKeyState(VK_MBUTTON)) < 0;
        if (column < 0 || buttonDown || header.Columns()[column]->Hint().empty())
            return false;
        info.CursorRect = headerRect;
        info.HintStr = header.Columns()[column]->Hint();
        pendingHint_.active = true;
        pendingHint_.column = column;
        pendingHint_.text = info.HintStr;
        lastHintRect_ = headerRect;
        return true;
    }

    THitInfo hit;
    HitTestAt(p.x, p.y, hit, true);
    if (IsEditing() && hit.HitNode == editNode_)
        return false;
    if (hintMode_ == hmDefault) {
        info.CursorRect = client;
        info.HintStr = GetShortHint(Hint());
        return !info.HintStr.empty();
    }
    if (!hit.HitNode || hit.HitColumn <= InvalidColumn) {
        // No cell: the space right of the columns or below the rows, where
        // only hmHintAndDefault shows the control's hint.
        RECT empty = client;
        if (hit.HitNode) {
            empty = NodeDisplayRect(hit.HitNode, NoColumn, false);
            int left = 0, right = 0;
            const TColumnIndex last = header.Columns().GetLastVisibleColumn();
            if (header.Columns().IsValidColumn(last)) {
                header.Columns().GetColumnBounds(last, left, right);
                empty.left = right;
            }
        } else {
            empty.top = std::clamp(RangeY() + offsetY_, 0, static_cast<int>(client.bottom));
        }
        if (PtInRect(&empty, p))
            info.CursorRect = empty;
        if (hintMode_ != hmHintAndDefault)
            return false;
        info.HintStr = GetShortHint(Hint());
        return !info.HintStr.empty();
    }

    // A cell: its rectangle, spanning the empty cells after it when the
    // tree lets texts run on.
    PVirtualNode node = hit.HitNode;
    const TColumnIndex column = hit.HitColumn;
    RECT cell = NodeDisplayRect(node, column, false);
    TVirtualTreeColumns& columns = header.Columns();
    if ((options_->AutoOptions() & toAutoSpanColumns) && columns.IsValidColumn(column))
        for (TColumnIndex next = columns.GetNextVisibleColumn(column); next >= 0 && ColumnIsEmpty(node, next);
             next = columns.GetNextVisibleColumn(next))
            cell.right += static_cast<LONG>(columns[next]->Width());
    RECT cursorRect;
    IntersectRect(&cursorRect, &cell, &client);
    info.CursorRect = cursorRect;
    lastHintRect_ = cursorRect;
    pendingHint_.active = true;
    pendingHint_.node = node;
    pendingHint_.column = column;

    TVTTooltipLineBreakStyle lineBreak = hlbDefault;
    if (auto* drawTree = dynamic_cast<TCustomVirtualDrawTree*>(this)) {
        // An owner-drawn tree sizes and draws its node hints itself; there
        // is one when it gives it a size.
        RECT size = cell;
        drawTree->DoGetHintSize(node, column, size);
        if (IsRectEmpty(&size))
            return false;
        info.HintStr = DoGetNodeHint(node, column, lineBreak);
        if (info.HintStr.empty())
            info.HintStr.assign(1, ' ');
        pendingHint_.textRect = size;
        pendingHint_.text = info.HintStr;
        return true;
    }
    if (hintMode_ != hmTooltip) {
        info.HintStr = DoGetNodeHint(node, column, lineBreak);
        pendingHint_.text = info.HintStr;
        pendingHint_.lineBreak = lineBreak;
        return !info.HintStr.empty();
    }

    // A tooltip shows the whole text of a cell that cuts it off.
    const bool cellCut = cell.left < client.left || cell.right > client.right || cell.top < client.top ||
                         cell.bottom > client.bottom;
    TFont font;
    RECT text{};
    std::string cellText;
    TextInfo(node, column, font, text, cellText);
    bool show = cellCut;
    if (!(node->States & vsMultiline))
        show = show || text.right > cell.right || text.left < cell.left;
    if (!show)
        return false;
    info.HintStr = DoGetNodeTooltip(node, column, lineBreak);
    if (info.HintStr.empty())
        return false;
    pendingHint_.textRect = text;
    pendingHint_.text = info.HintStr;
    pendingHint_.lineBreak = lineBreak;
    info.HintPos = ClientToScreen(POINT{text.left, text.top});
    return true;
}

void TBaseVirtualTree::HintShowPause(bool, int& pause)
{
    if (hintMode_ == hmTooltip) {
        pause = 0;
        return;
    }
    if (HandleAllocated() && HeaderShown(*header_)) {
        POINT p;
        GetCursorPos(&p);
        p = ScreenToClient(p);
        const RECT client = ClientRect();
        if (p.y < 0 && p.y >= -header_->Height() && p.x >= client.left && p.x < client.right)
            pause = 0;
    }
}

bool TBaseVirtualTree::ShowOwnHint(const THintInfo& info)
{
    if (!pendingHint_.active)
        return false;   // the control's own hint: the application shows it
    if (!hintWindow_)
        hintWindow_ = new TVirtualTreeHintWindow(this);
    TVTHintData data;
    data.Tree = this;
    data.Node = pendingHint_.node;
    data.Column = pendingHint_.column;
    data.HintRect = pendingHint_.textRect;
    data.HintText = pendingHint_.text;
    data.LineBreakStyle = pendingHint_.lineBreak;
    RECT r = hintWindow_->CalcHintRect(info.HintMaxWidth, info.HintStr, data);
    if (IsRectEmpty(&r))
        return true;   // measured away (a multi-line text that fits after all)
    // A tooltip lies over its cell, other hints below the mouse. An
    // owner-drawn hint comes at the place its tree gave it; a drawn tooltip
    // (one pixel out of the cell on every side) at the cell's text.
    const bool tooltip = data.Node && hintMode_ == hmTooltip;
    const bool drawn = data.Node && dynamic_cast<TCustomVirtualDrawTree*>(this);
    POINT at = info.HintPos;
    if (tooltip)
        at = ClientToScreen(drawn ? POINT{r.left, r.top} : POINT{data.HintRect.left, data.HintRect.top});
    if (drawn || !tooltip)
        OffsetRect(&r, -r.left, -r.top);
    OffsetRect(&r, at.x, at.y);
    if (data.Node)
        DoStateChange(tsHint);
    hintWindow_->ActivateHint(r, info.HintStr);
    return true;
}

void TBaseVirtualTree::HideOwnHint()
{
    if (hintWindow_)
        hintWindow_->CancelHint();
    if (states_ & tsHint)
        DoStateChange(0, tsHint);
    lastHintRect_ = RECT{};
}
