// The list's painting (fonts, row colours, the progress bar) and its mouse
// and keyboard: the link under the mouse, Ctrl+Click, double-click and
// Ctrl+arrows.
#include <algorithm>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "Frame/fvFr.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "controls/DrawUtils.h"
#include "controls/RxLabel.h"
#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/PageControl.h"
#include "platform/SystemPrograms.h"
#include "platform/Text.h"

namespace {

bool RunDetached(const std::string& commandLine)
{
    std::wstring cmd = Utf8ToWide(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace

void TfvFrame::BindListEvents()
{
    RunCommand = RunDetached;
    OpenLink = OpenAddress;
    // The settings the cells are painted by, read once per paint.
    VSTree->OnBeforePaint = [this](TBaseVirtualTree*, TCanvas&) {
        TFahSettings& settings = GetFahSettings();
        paintTeamID_ = settings.FindValue("dfTeamID").AsInteger();
        paintUserName_ = settings.FindValue("dfUserName").AsString();
        paintErrorColor_ = static_cast<COLORREF>(settings.FindValue("inColorError").AsInteger());
        progressTextWidth_ = -1;
        // Asking for the focus is a round trip to the window server: once
        // per paint, not once per cell.
        paintListFocused_ = VSTree->Focused();
    };
    VSTree->OnPaintText = [this](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                 TVSTTextType) { PaintText(canvas, node, column); };
    VSTree->OnBeforeItemErase = [this](TBaseVirtualTree*, TCanvas&, PVirtualNode node, const RECT&, COLORREF& color,
                                       TItemEraseAction& action) { BeforeItemErase(node, color, action); };
    VSTree->OnAfterCellPaint = [this](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                      const RECT& cellRect) { AfterCellPaint(canvas, node, column, cellRect); };
    VSTree->OnMouseMove = [this](TObject*, TShiftState, int x, int y) { ListMouseMove(x, y); };
    // The row under the mouse is the tree's hot node: the tree moves it
    // with a scroll under a resting mouse and forgets it with any row it
    // frees, so the frame never holds a row of its own that may be gone.
    // Both rows are painted again when it moves (the tree repaints them
    // itself only while hot tracking is on).
    VSTree->OnHotChange = [this](TBaseVirtualTree*, PVirtualNode oldNode, PVirtualNode newNode) {
        if (oldNode)
            VSTree->InvalidateNode(oldNode);
        if (newNode)
            VSTree->InvalidateNode(newNode);
    };
    VSTree->OnHeaderMouseMove = [this](TVTHeader*, TShiftState, int, int) {
        if (hotColumn_ != -1 || VSTree->HotNode()) {
            hotColumn_ = -1;
            VSTree->SetHotNode(nullptr);
            VSTree->Invalidate();
        }
        TStringTreeOptions& o = VSTree->TreeOptions();
        o.SetPaintOptions(o.PaintOptions() & ~toHotTrack);
    };
    // The tree forgets its hot node as the mouse leaves (and repaints it).
    VSTree->OnMouseLeave = [this](TObject*) { hotColumn_ = -1; };
    // Rows that move under a resting mouse (wheel, keys, a row selected
    // out of view) bring their own hint and link.
    VSTree->OnScroll = [this](TBaseVirtualTree*, int, int) { RefreshMouseHint(); };
    VSTree->OnColumnClick = [this](TBaseVirtualTree*, TColumnIndex column, TShiftState shift) {
        ListColumnClick(column, shift);
    };
    VSTree->OnDblClick = [this](TObject*) { ListDblClick(); };
    VSTree->OnKeyDown = [this](TObject*, WORD& key, TShiftState shift) { ListKeyDown(key, shift); };
    VSTree->OnMouseDown = [this](TObject*, TMouseButton button, TShiftState, int x, int y) {
        lastMouse_ = POINT{x, y};
        // A context-menu request focuses the control it came from.
        if (button == TMouseButton::mbRight && VSTree->CanFocus())
            VSTree->SetFocus();
    };
}

void TfvFrame::UnbindEvents()
{
    VSTree->OnBeforePaint = nullptr;
    VSTree->OnPaintText = nullptr;
    VSTree->OnBeforeItemErase = nullptr;
    VSTree->OnAfterCellPaint = nullptr;
    VSTree->OnMouseMove = nullptr;
    VSTree->OnHotChange = nullptr;
    VSTree->OnHeaderMouseMove = nullptr;
    VSTree->OnMouseLeave = nullptr;
    VSTree->OnScroll = nullptr;
    VSTree->OnColumnClick = nullptr;
    VSTree->OnDblClick = nullptr;
    VSTree->OnKeyDown = nullptr;
    VSTree->OnMouseDown = nullptr;
    PageControl1->OnChange = nullptr;
}

void TfvFrame::PaintText(TCanvas& canvas, PVirtualNode node, TColumnIndex column)
{
    TfvCellState st;
    st.kind = NodeKind(node);
    st.focused = node == VSTree->FocusedNode();
    st.listFocused = VSTree->HasState(tsPainting) ? paintListFocused_ : VSTree->Focused();
    st.hotRow = node && node == VSTree->HotNode();
    TFahView* view = GetFahView(node);
    st.hotLink = st.hotRow && column == hotColumn_ && view && !FvCellLink(*view, column).empty();
    st.teamID = paintTeamID_;
    st.userName = &paintUserName_;
    TfvCellFont f = FvCellFont(view, column, st, TfvCellFont{canvas.Font().Color(), canvas.Font().Style()});
    if (f.color != canvas.Font().Color())
        canvas.Font().SetColor(f.color);
    if (f.style != canvas.Font().Style())
        canvas.Font().SetStyle(f.style);
}

void TfvFrame::BeforeItemErase(PVirtualNode node, COLORREF& color, TItemEraseAction& action)
{
    switch (NodeKind(node)) {
    case kfvTotalRow:
        color = kfvGrey;
        action = eaFillColor;
        break;
    case kfvComputerRow:
        color = kfvGroupBack;
        action = eaFillColor;
        break;
    case kfvClientRow:
        if (TFahView* v = GetFahView(node); highlightErrors_ && v && v->NewMessages) {
            color = paintErrorColor_;
            action = eaFillColor;
        }
        break;
    default: break;
    }
}

void TfvFrame::AfterCellPaint(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const RECT& cellRect)
{
    if (column != fvcPercent)
        return;
    TFahView* v = GetFahView(node);
    if (!v)
        return;
    if (progressTextWidth_ < 0)
        progressTextWidth_ = canvas.TextWidth("0000 ");
    RECT bar = FvProgressRect(cellRect, progressTextWidth_);
    if (bar.right <= bar.left || bar.bottom <= bar.top)
        return;
    const COLORREF oldBrush = canvas.BrushColor();
    const COLORREF oldPen = canvas.PenColor();
    const TBrushStyle oldStyle = canvas.BrushStyle();
    canvas.SetBrushStyle(bsSolid);
    canvas.SetPenColor(RGB(0, 0, 0));
    canvas.SetBrushColor(FvProgressColor(*v));
    canvas.Rectangle(bar);
    const int percent = std::clamp(v->Percent, 0, 100);
    if (percent < 100) {
        RECT rest = bar;
        rest.left = bar.left + (bar.right - bar.left) * percent / 100;
        canvas.SetBrushColor(GetSysColor(COLOR_INFOBK));
        canvas.Rectangle(rest);
    }
    if (node == VSTree->FocusedNode()) {
        RECT focus = bar;
        InflateRect(&focus, 1, 1);
        canvas.DrawFocusRect(focus);
    }
    canvas.SetBrushColor(oldBrush);
    canvas.SetPenColor(oldPen);
    canvas.SetBrushStyle(oldStyle);
}

void TfvFrame::ListMouseMove(int x, int y)
{
    lastMouse_ = POINT{x, y};
    THitInfo hit;
    VSTree->HitTestAt(x, y, hit, true);
    PVirtualNode node = (hit.HitPositions & hpOnItem) ? hit.HitNode : nullptr;
    TFahView* view = GetFahView(node);
    int column = node && hit.HitColumn >= 0 ? hit.HitColumn : -1;
    std::string link = view && column >= 0 ? FvCellLink(*view, column) : std::string();

    std::string hint = view ? view->Folder : std::string();
    TStringTreeOptions& o = VSTree->TreeOptions();
    if (!link.empty()) {
        o.SetPaintOptions(o.PaintOptions() | toHotTrack);
        VSTree->SetCursor(ScreenCursor(crHand));
        hint = Format("Ctrl+Click %s %s", sForJumpTo.c_str(), link.c_str());
    } else {
        o.SetPaintOptions(o.PaintOptions() & ~toHotTrack);
        VSTree->SetCursor(nullptr);
    }
    const bool hintChanged = hint != VSTree->Hint();
    VSTree->SetHint(hint);
    // The application took the list's hint for the status bar before this
    // move reached the list: it hears of the new one now, not at the next move.
    if (hintChanged)
        Application().HintMouseMessage(VSTree, POINT{x, y});

    // The tree made the row under the mouse its hot node before this move
    // came here, and repainted both rows; a new hot column repaints it.
    const int newHot = link.empty() ? -1 : column;
    if (newHot != hotColumn_) {
        hotColumn_ = newHot;
        if (PVirtualNode hot = VSTree->HotNode())
            VSTree->InvalidateNode(hot);
    }
}

void TfvFrame::RefreshMouseHint()
{
    // The mouse is in the list from its first move there until it leaves.
    if (!VSTree->HandleAllocated() || !VSTree->Visible() || !VSTree->MouseInside())
        return;
    POINT screen;
    if (!GetCursorPos(&screen) || WindowFromPoint(screen) != VSTree->Handle())
        return;
    const POINT client = VSTree->ScreenToClient(screen);
    const RECT r = VSTree->ClientRect();
    if (!PtInRect(&r, client))
        return;
    // The tree forgets a hot row that goes without looking for the one now
    // under the mouse: the row there is hot, as after a move.
    THitInfo hit;
    VSTree->HitTestAt(client.x, client.y, hit, true);
    VSTree->SetHotNode((hit.HitPositions & hpOnItem) ? hit.HitNode : nullptr);
    ListMouseMove(client.x, client.y);
}

PVirtualNode TfvFrame::NodeUnderMouse(TColumnIndex* column)
{
    THitInfo hit;
    VSTree->HitTestAt(lastMouse_.x, lastMouse_.y, hit, true);
    if (column)
        *column = hit.HitColumn;
    return (hit.HitPositions & hpOnItem) ? hit.HitNode : nullptr;
}

void TfvFrame::ListColumnClick(TColumnIndex column, TShiftState shift)
{
    if (!(shift & ssCtrl) || !FvColumnHasLink(column))
        return;
    TFahView* view = GetFahView(NodeUnderMouse());
    if (!view)
        return;
    // Opened once the click is over: the shell may start a program or show
    // a window, which should not happen while the list holds the mouse.
    pendingLink_ = FvCellLink(*view, column);
    if (!pendingLink_.empty())
        PostMessageW(Handle(), WM_OPENPENDINGLINK, 0, 0);
}

void TfvFrame::ListDblClick()
{
    TFahView* view = GetFahView(NodeUnderMouse());
    if (view && RunCommand)
        RunCommand("\"" + WindowsProgramPath("explorer.exe") + "\" \"" + view->Folder + "\"");
}

void TfvFrame::ListKeyDown(WORD& key, TShiftState shift)
{
    if (!(shift & ssCtrl))
        return;
    switch (key) {
    case VK_LEFT:
    case VK_UP:
        VSTree->CollapseAll(nullptr);
        key = 0;
        break;
    case VK_RIGHT:
    case VK_DOWN:
        VSTree->ExpandAll(nullptr);
        key = 0;
        break;
    default: break;
    }
}
