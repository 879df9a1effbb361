#include "Frame/fvFr.h"

#include <algorithm>

#include "Classes/Fah.h"
#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "Frame/IniFr.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Text.h"
#include "platform/TextFit.h"

namespace {

bool SettingOn(const char* name)
{
    return GetFahSettings().FindValue(name).AsBoolean();
}

// A client's poll period for a list refresh interval: |ms / 3 - 2000| in
// integers (the client raises it to its floor).
DWORD PollPeriod(DWORD ms)
{
    const DWORD third = ms / 3;
    return third > 2000 ? third - 2000 : 2000 - third;
}

}  // namespace

TfvFrame::TfvFrame(TComponent* owner) : TVSTFrame(owner)
{
    SetName("fvFrame");
    CreateComponents();
    BindListEvents();
    listTimer_ = std::make_unique<TSimpleTimer>(kListInterval, [this](TObject*) { ListTimerTick(); });
    settleTimer_ = std::make_unique<TSimpleTimer>(kSettleInterval, [this](TObject*) { SettleTimerTick(); });
    firstPollTimer_ = std::make_unique<TSimpleTimer>(kFirstPollCheck, [this](TObject*) { FirstPollTimerTick(); });
    listTimer_->SetEnabled(true);
    Setup();
}

TfvFrame::~TfvFrame()
{
    StopTimers();
    // The rows (and with them the clients and their threads) go while the
    // frame is whole; then nothing the controls raise reaches this part of it.
    // Every client is told to stop first, then their polls are waited for
    // together.
    {
        TFahReleaseBatch batch;
        VSTree->ClearNodes();
    }
    UnbindEvents();
}

void TfvFrame::SetupTree()
{
    TVSTFrame::SetupTree();
    TStringTreeOptions& o = VSTree->TreeOptions();
    o.SetAutoOptions(o.AutoOptions() | toAutoSort);
    o.SetPaintOptions(o.PaintOptions() | toShowBackground | toShowHorzGridLines | toShowVertGridLines);
    // A right click selects its row first: the popup's commands act on the
    // row the user clicked.
    o.SetSelectionOptions(o.SelectionOptions() | toFullRowSelect | toRightClickSelect);
    VSTree->SetHintMode(hmTooltip);
    VSTree->SetShowHint(true);
    for (int i = 0; i < kfvColumnCount; ++i) {
        const TfvColumnDef& def = FvColumnDef(i);
        AddColumnDef(def.key, *def.caption, i != fvcProjNum, def.alignment, def.width);
    }
    SetupHeader();
    hotColumn_ = -1;
}

void TfvFrame::ApplyLanguage()
{
    // Built anew, the header has no columns for a moment, the horizontal
    // scroll bar goes and a list scrolled to its end comes back a row
    // higher: the list stays where the user left it.
    const int offsetY = VSTree->OffsetY();
    for (int i = 0; i < kfvColumnCount; ++i)
        SetColumnCaption(FvColumnDef(i).key, *FvColumnDef(i).caption);
    if (TFahViewSum* total = GetFahViewSum(TotalNode())) {
        total->SetName(sTotal);
        SetNodeText(TotalNode(), sTotal);
    }
    SetupHeader();
    // The rows' texts (their states among them) are made anew in the new
    // language now, not at the next poll.
    for (PVirtualNode n : ClientNodes())
        if (TFahView* v = GetFahView(n))
            v->Update();
    FitStateColumn();
    ApplyDetailLanguage();
    VSTree->SetOffsetY(offsetY);
    if (PVirtualNode focused = VSTree->FocusedNode(); focused && VSTree->HandleAllocated()) {
        const RECT row = VSTree->NodeDisplayRect(focused, NoColumn, false);
        if (row.top < 0 || row.bottom > VSTree->ClientRect().bottom)
            VSTree->ScrollIntoView(focused, false);
    }
    VSTree->Invalidate();
    // The status bar shows the hint of the row under the mouse in the new
    // language now, not after the next move.
    RefreshMouseHint();
}

// ----- clients

TFahView* TfvFrame::GetFahView(PVirtualNode node) const
{
    return NodeKind(node) == kfvClientRow ? NodeObjectOf<TFahView>(node) : nullptr;
}

TFahViewSum* TfvFrame::GetFahViewSum(PVirtualNode node) const
{
    int kind = NodeKind(node);
    return kind == kfvTotalRow || kind == kfvComputerRow ? NodeObjectOf<TFahViewSum>(node) : nullptr;
}

TFahView* TfvFrame::SelectedView() const
{
    return GetFahView(VSTree->FocusedNode());
}

PVirtualNode TfvFrame::TotalNode() const
{
    PVirtualNode node = VSTree->GetFirstNoInit();
    return NodeKind(node) == kfvTotalRow ? node : nullptr;
}

PVirtualNode TfvFrame::FindComputerNode(const std::string& computer) const
{
    PVirtualNode total = TotalNode();
    if (!total)
        return nullptr;
    for (PVirtualNode n = total->FirstChild; n; n = n->NextSibling) {
        if (NodeKind(n) == kfvComputerRow && SameTextUnicode(NodeText(n), computer))
            return n;
    }
    return nullptr;
}

std::vector<PVirtualNode> TfvFrame::ClientNodes() const
{
    std::vector<PVirtualNode> nodes;
    for (PVirtualNode n = VSTree->GetFirstNoInit(); n; n = VSTree->GetNextNoInit(n)) {
        if (NodeKind(n) == kfvClientRow)
            nodes.push_back(n);
    }
    return nodes;
}

PVirtualNode TfvFrame::AddComputerNode(const std::string& computer)
{
    PVirtualNode node = AddNode(TotalNode(), NodeOwned(new TFahViewSum(computer)), false, computer, kfvComputerRow);
    VSTree->SetVisible(node, groupByComputer_);
    return node;
}

std::string TfvFrame::ComputerOf(TFahView& view) const
{
    std::string folder = view.Folder;
    if (folder.empty() && view.Fah()) {
        TLock lock(view.Fah()->CritSection());
        folder = view.Fah()->Folder;
    }
    return GetComputerOfPath(folder);
}

PVirtualNode TfvFrame::AddFah(const TAddFahParams& p)
{
    if (!TotalNode())
        AddNode(nullptr, NodeOwned(new TFahViewSum(sTotal)), true, sTotal, kfvTotalRow);
    PVirtualNode total = TotalNode();

    TFahParams fp;
    fp.Folder = p.folder;
    fp.Subscribers = p.notifyWindows;
    auto fah = std::make_unique<TFah>(fp);
    {
        TLock lock(fah->CritSection());
        fah->Alias = p.alias;
        fah->ShowInHint = p.showInHint;
        fah->ServiceName = p.serviceName;
    }
    fah->SetCompConfig(p.compConfig);
    fah->SetInterval(PollPeriod(refreshInterval_));

    auto* view = new TFahView(std::move(fah));
    view->OnChange = [this](TFahView& sender, const std::string& oldText, const std::string& newText) {
        OnWorkUnitChange(sender, oldText, newText);
    };
    std::string computer = GetComputerOfPath(p.folder);
    PVirtualNode group = FindComputerNode(computer);
    if (!group)
        group = AddComputerNode(computer);
    PVirtualNode node = AddNode(group, NodeOwned(view), false, std::string(), kfvClientRow);
    if (!node)
        return nullptr;   // the view went with the node that was not made
    if (p.updateNow) {
        // The selection's change handles messages: a row that went
        // meanwhile (the new one with its computer's and the overall row
        // above it) is not touched.
        THeldRow held(*this, node);
        SelectNode(node);
        if (!node)
            return nullptr;
        group = node->Parent;
        total = TotalNode();
    }
    if (!groupByComputer_) {
        VSTree->SetVisible(group, false);
        VSTree->MoveNode(node, total, amAddChildLast, false);
    }
    VSTree->SetExpanded(total, true);
    VSTree->SetExpanded(group, true);
    if (p.updateNow) {
        view->Update();
        ShowDetails(view);
        ShowClientCfg(view);
        Post(WM_UPDATETRAYHINT, reinterpret_cast<WPARAM>(view));
        if (view->Fah()->PollThread()) {
            awaitingFirstPoll_.push_back(view->Fah());
            firstPollTimer_->SetEnabled(true);
        }
    }
    return node;
}

PVirtualNode TfvFrame::DeleteClientNode(PVirtualNode node)
{
    if (!GetFahView(node))
        return nullptr;
    PVirtualNode selected = DeleteClientRow(node);
    // The rows below moved up under the mouse.
    RefreshMouseHint();
    return selected;
}

PVirtualNode TfvFrame::DeleteClientRow(PVirtualNode node)
{
    TFahView* view = GetFahView(node);
    const std::string computer = ComputerOf(*view);
    // The selection moves on from a deleted selected row; a selection
    // elsewhere stays where the user put it.
    if (node == VSTree->FocusedNode())
        DeleteNode(node);
    else
        VSTree->DeleteNode(node);
    // The deletion handled messages (the selection's change): the rows are
    // looked up again, none kept from before it.
    PVirtualNode group = FindComputerNode(computer);
    if (!group)
        return VSTree->FocusedNode();
    // With grouping off the clients hang under the overall row: the
    // computer's row is empty then whether or not clients remain.
    for (PVirtualNode n : ClientNodes()) {
        if (TFahView* v = GetFahView(n); v && SameTextUnicode(ComputerOf(*v), computer))
            return VSTree->FocusedNode();
    }
    if (VSTree->FocusedNode() == group)
        return DeleteNode(group);
    VSTree->DeleteNode(group);
    return VSTree->FocusedNode();
}

// ----- refreshing

void TfvFrame::SetAutoUpdateInterval(DWORD ms)
{
    if (ms == refreshInterval_)
        return;
    refreshInterval_ = ms;
    const DWORD poll = PollPeriod(ms);
    for (PVirtualNode n : ClientNodes()) {
        if (TFahView* v = GetFahView(n); v && v->Fah())
            v->Fah()->SetInterval(poll);
    }
    listTimer_->SetInterval(ms);
}

void TfvFrame::ListTimerTick()
{
    // Clients deleted while a poll of theirs still ran are freed once it ended.
    FreeReleasedFahs();
    if (autoUpdate_)
        ApplyFilters();
}

void TfvFrame::RefreshAll()
{
    settleTimer_->SetEnabled(false);
    for (PVirtualNode n : ClientNodes()) {
        if (TFahView* v = GetFahView(n); v && v->Fah())
            v->Fah()->RefreshNow(true);
    }
    TFahView* view = SelectedView();
    ShowClientCfg(view);
    settleTimer_->SetEnabled(true);
}

void TfvFrame::SettleLater()
{
    settleTimer_->SetEnabled(false);
    settleTimer_->SetEnabled(true);
}

void TfvFrame::SettleTimerTick()
{
    settleTimer_->SetEnabled(false);
    ApplyFilters();
    if (OnSettled)
        OnSettled(this);
}

void TfvFrame::FirstPollTimerTick()
{
    bool polled = false;
    std::vector<TFah*> alive;
    for (PVirtualNode n : ClientNodes())
        if (TFahView* v = GetFahView(n); v && v->Fah())
            alive.push_back(v->Fah());
    auto done = [&](TFah* fah) {
        if (std::find(alive.begin(), alive.end(), fah) == alive.end())
            return true;   // its row went
        const TFAHThread* t = fah->PollThread();
        if (t && (t->PollCount() < 1 || t->Polling()))
            return false;
        polled = true;
        return true;
    };
    awaitingFirstPoll_.erase(std::remove_if(awaitingFirstPoll_.begin(), awaitingFirstPoll_.end(), done),
                             awaitingFirstPoll_.end());
    if (awaitingFirstPoll_.empty())
        firstPollTimer_->SetEnabled(false);
    if (polled)
        ApplyFilters();
}

void TfvFrame::StopTimers()
{
    if (listTimer_)
        listTimer_->SetEnabled(false);
    if (settleTimer_)
        settleTimer_->SetEnabled(false);
    if (firstPollTimer_)
        firstPollTimer_->SetEnabled(false);
}

void TfvFrame::Post(UINT msg, WPARAM wParam)
{
    if (targetWindow_)
        PostMessageW(targetWindow_, msg, wParam, 0);
}

void TfvFrame::ApplyFilters()
{
    if (AppClosing.load())
        return;
    const bool hideSome = SettingOn("inHideShutdownFolders");
    const bool hideStopped = hideSome && SettingOn("inHideStatusShutdown");
    const bool hideNoAccess = hideSome && SettingOn("inHideStatusNotAccess");
    const bool hideNotFound = hideSome && SettingOn("inHideStatusNotFound");
    bool projectMissing = false;
    std::vector<std::pair<PVirtualNode, bool>> changes;
    for (PVirtualNode n : ClientNodes()) {
        TFahView* v = GetFahView(n);
        if (!v)
            continue;
        v->Update();
        if ((v->Status == fsRunning || v->Status == fsReadyForSend) && v->Project == 0)
            projectMissing = true;
        const bool hide = (v->Status == fsShutdown && hideStopped) || (v->Status == fsNotAccess && hideNoAccess) ||
                          (v->Status == fsLogNotFound && hideNotFound);
        if (VSTree->IsVisible(n) == hide)
            changes.emplace_back(n, !hide);
    }
    if (!changes.empty()) {
        VSTree->BeginUpdate();
        try {
            for (auto& [node, visible] : changes)
                VSTree->SetVisible(node, visible);
        } catch (...) {
            VSTree->EndUpdate();
            throw;
        }
        VSTree->EndUpdate();
    }
    UpdateSums();
    TFahView* selected = SelectedView();
    ShowDetails(selected);
    // A client.cfg read since it was shown (a new folder's first poll, a
    // forced refresh) shows now; unsaved edits of it stay.
    if (selected && (FAHIniFrame->View() != selected || FAHIniFrame->RecordText() != selected->ClientCfgText ||
                     FAHIniFrame->FileName() != selected->ClientCfgFileName))
        ShowClientCfg(selected);
    Post(WM_UPDATETRAYHINT, reinterpret_cast<WPARAM>(selected));
    if (projectMissing)
        Post(WM_UPDATEBASEWHENNEED, 0);
    // Rows hidden, shown or sorted anew under a resting mouse.
    RefreshMouseHint();
}

void TfvFrame::UpdateSums()
{
    PVirtualNode total = TotalNode();
    for (PVirtualNode n = VSTree->GetFirstNoInit(); n; n = VSTree->GetNextNoInit(n)) {
        if (TFahViewSum* s = GetFahViewSum(n))
            s->Clear();
    }
    for (PVirtualNode n : ClientNodes()) {
        TFahView* v = GetFahView(n);
        if (!v)
            continue;
        if (!total)
            AssertFailed("В расчете суммы рута не оказалось!", "fvFr", 586);
        AddViewToSum(*GetFahViewSum(total), *v);
        PVirtualNode group = NodeKind(n->Parent) == kfvComputerRow ? n->Parent : FindComputerNode(ComputerOf(*v));
        if (TFahViewSum* g = GetFahViewSum(group))
            AddViewToSum(*g, *v);
    }
    FitStateColumn();
    RefreshTree(true);
}

void TfvFrame::FitStateColumn()
{
    TFont& font = VSTree->Font();
    const std::string fontKey = font.Name() + "/" + std::to_string(font.Height()) + "/" + std::to_string(font.Style());
    if (fontKey != summaryFont_) {
        summaryWidths_.clear();
        summaryFont_ = fontKey;
    }
    TTextMeasure measure(font);   // takes a DC only when a summary changed
    int need = 0;
    size_t number = 0;
    for (PVirtualNode n = VSTree->GetFirstNoInit(); n; n = VSTree->GetNextNoInit(n)) {
        TFahViewSum* s = GetFahViewSum(n);
        if (!s)
            continue;
        s->RowNumber = static_cast<int>(number);
        if (number == summaryWidths_.size())
            summaryWidths_.emplace_back(std::string(), 0);
        auto& [text, width] = summaryWidths_[number++];
        std::string summary = s->GetStatusSummary();
        if (summary != text) {
            // As the glyphs are drawn: a summary in Cyrillic with its
            // digits draws wider than the font measures it.
            width = measure.DrawnWidth(summary);
            text = std::move(summary);
        }
        need = std::max(need, width);
    }
    summaryWidths_.resize(number);
    TVirtualTreeColumn* state = VSTree->Header().Columns()[fvcState];
    // The cell the paint has: the margin, the text margin on both sides and
    // the vertical grid line at its right edge.
    need += VSTree->Margin() + 2 * VSTree->TextMargin() + 1;
    if (state && need > state->Width())
        state->SetWidth(need);
}

// ----- grouping

void TfvFrame::SetGroupByComputer(bool on)
{
    if (on == groupByComputer_)
        return;
    groupByComputer_ = on;
    PVirtualNode total = TotalNode();
    if (!total)
        return;
    VSTree->BeginUpdate();
    try {
        for (PVirtualNode n = total->FirstChild; n; n = n->NextSibling) {
            if (NodeKind(n) == kfvComputerRow)
                VSTree->SetVisible(n, on);
        }
        for (PVirtualNode n : ClientNodes()) {
            PVirtualNode target = total;
            if (on) {
                TFahView* v = GetFahView(n);
                std::string computer = v ? ComputerOf(*v) : std::string();
                target = FindComputerNode(computer);
                if (!target)
                    target = AddComputerNode(computer);
            }
            VSTree->MoveNode(n, target, amAddChildLast, false);
        }
    } catch (...) {
        VSTree->EndUpdate();
        throw;
    }
    VSTree->EndUpdate();
    VSTree->CollapseAll(total);
    VSTree->ExpandAll(total);
    RefreshTree(true);
}

void TfvFrame::SetHighlightErrors(bool on)
{
    highlightErrors_ = on;
    VSTree->Invalidate();
}

// ----- work units shown twice

void TfvFrame::OnWorkUnitChange(TFahView&, const std::string& oldText, const std::string& newText)
{
    std::vector<TFahView*> withOld, withNew;
    for (PVirtualNode n : ClientNodes()) {
        TFahView* v = GetFahView(n);
        if (!v)
            continue;
        if (v->ProjectRcgText == oldText)
            withOld.push_back(v);
        if (v->ProjectRcgText == newText)
            withNew.push_back(v);
    }
    for (TFahView* v : withOld)
        v->UniqueUnit = withOld.size() < 2;
    for (TFahView* v : withNew)
        v->UniqueUnit = withNew.size() < 2;
    RefreshTree(false);
}

// ----- tree events

void TfvFrame::GetText(PVirtualNode node, TColumnIndex column, TVSTTextType, std::string& text)
{
    if (TFahView* v = GetFahView(node))
        text = FahCellText(*v, column);
    else if (TFahViewSum* s = GetFahViewSum(node))
        text = SumCellText(*s, column);
    else
        text.clear();
}

int TfvFrame::CompareNodes(PVirtualNode a, PVirtualNode b, TColumnIndex column)
{
    // A hidden row keeps its place among the others: shown again (F9 twice)
    // it is where it was, not above every row that stayed.
    const int ka = NodeKind(a), kb = NodeKind(b);
    if (ka == kfvClientRow && kb == kfvClientRow) {
        TFahView* x = GetFahView(a);
        TFahView* y = GetFahView(b);
        return x && y ? CompareFahViews(*x, *y, column) : 0;
    }
    if (ka == kfvTotalRow)
        return kb == kfvTotalRow ? 0 : 1;
    if (kb == kfvTotalRow)
        return -1;
    return 0;
}

void TfvFrame::NodeChanged(PVirtualNode node)
{
    TVSTFrame::NodeChanged(node);
    SelectionChanged(node);
}

void TfvFrame::SelectionChanged(PVirtualNode node)
{
    // Pending messages are handled below; a selection that changes meanwhile
    // is shown when this one is done.
    if (inSelectionChange_) {
        selectionPending_ = true;
        return;
    }
    inSelectionChange_ = true;
    try {
        do {
            selectionPending_ = false;
            prevLogPath_.clear();
            if (node) {
                TFahView* view = GetFahView(node);
                if (view) {
                    view->Update();
                    view->SetNewMessages(false);
                    prevLogPath_ = view->Folder + "FAHlog-Prev.txt";
                }
                ShowDetails(view);
                ShowClientCfg(view);
            }
            // Paints, timers and posted messages are handled here; input
            // waits in the queue. The selection changes in the middle of
            // whatever moved it (a click still being handled, a row being
            // deleted, another being added): a key typed ahead (a second
            // Ctrl+Del) or the release of a press would run inside that and
            // free rows it still holds.
            Application().ProcessMessagesButInput();
            Post(WM_UPDATETRAYHINT, reinterpret_cast<WPARAM>(SelectedView()));
            Application().ProcessMessagesButInput();
            StartPrevLogReader();
            node = VSTree->FocusedNode();
        } while (selectionPending_);
    } catch (...) {
        inSelectionChange_ = false;
        throw;
    }
    inSelectionChange_ = false;
}

void TfvFrame::WndProc(TMessage& message)
{
    if (message.Msg == WM_PREVLOGLOADED) {
        PrevLogLoaded(message.WParam);
        message.Result = 0;
        return;
    }
    if (message.Msg == WM_TIMER && message.WParam == kAskSaveClientCfgTimer) {
        AskSaveClientCfg();
        message.Result = 0;
        return;
    }
    if (message.Msg == WM_OPENPENDINGLINK) {
        std::string link = std::move(pendingLink_);
        pendingLink_.clear();
        if (!link.empty() && OpenLink)
            OpenLink(link);
        message.Result = 0;
        return;
    }
    TVSTFrame::WndProc(message);
}

// ----- clipboard

std::string TfvFrame::ListText()
{
    std::string text = ColumnCaptions();
    for (PVirtualNode n = VSTree->GetFirstVisible(); n; n = VSTree->GetNextVisible(n)) {
        text += "\r\n";
        for (int c = 0; c < kfvColumnCount; ++c) {
            std::string cell;
            GetText(n, c, ttNormal, cell);
            text += cell;
            text += ';';
        }
    }
    text += ' ';
    return text;
}
