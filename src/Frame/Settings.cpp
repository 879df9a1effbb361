#include "Frame/Settings.h"

#include <algorithm>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "platform/Firewall.h"
#include "platform/MessageBox.h"
#include "platform/AccessKeys.h"
#include "platform/Actions.h"
#include "platform/PageControl.h"
#include "Frame/SetDfFr.h"
#include "Frame/SetEvFr.h"
#include "Frame/SetInAddFr.h"
#include "Frame/SetInFr.h"
#include "Frame/SetInLogFr.h"
#include "Frame/SetInMainFr.h"
#include "Frame/SetOsFr.h"
#include "Frame/SetUpFr.h"
#include "Frame/VSTFr.h"

namespace {

constexpr int kTreeWidth = 180;
constexpr int kPageWidth = 390;
constexpr int kPageHeight = 290;
// Room the tree keeps right of its longest title.
constexpr int kTreeTextRoom = 6;

struct TPageNode {
    int kind;
    int parentKind;   // -1: the root itself
};

// The tree in the order it shows.
constexpr TPageNode kPageNodes[] = {
    {spRoot, -1},        {spSystem, spRoot},     {spEvents, spRoot},      {spDatabase, spRoot},
    {spUserTeam, spRoot}, {spInterface, spRoot}, {spMainList, spInterface}, {spLogWindow, spInterface},
    {spAddInfo, spInterface},
};

// The slot of a page id in pages_ (-1: no page).
int PageSlot(int kind)
{
    switch (kind) {
    case spSystem: return 0;
    case spEvents: return 1;
    case spInterface: return 2;
    case spMainList: return 3;
    case spLogWindow: return 4;
    case spAddInfo: return 5;
    case spDatabase: return 6;
    case spUserTeam: return 7;
    default: return -1;
    }
}

std::string PageCaption(int kind)
{
    switch (kind) {
    case spRoot: return sSettings;
    case spSystem: return sSystemOptions;
    case spEvents: return sEventsAndAutomations;
    case spDatabase: return sWUDatabase;
    case spUserTeam: return sUserTeamA;
    case spInterface: return sInterface;
    case spMainList: return sMainData;
    case spLogWindow: return sLogWindow;
    case spAddInfo: return sAdditionData;
    default: return "Unknown node caption";
    }
}

TSettingsForm* g_settingsForm = nullptr;

}  // namespace

TSettingsForm::TSettingsForm(TComponent* owner) : TDialogForm(owner)
{
    SetName("SettingsForm");
    SetFormClientSize(*this, kTreeWidth + kPageWidth + 8, kPageHeight + 41);

    TreeFrame = new TVSTFrame(this);
    TreeFrame->SetName("TreeFrame");
    TreeFrame->SetBounds(0, 0, kTreeWidth, kPageHeight);
    TreeFrame->SetAlign(TAlign::alLeft);
    TreeFrame->SetParent(this);
    ClientPanel = new TPanel(this);
    ClientPanel->SetName("ClientPanel");
    ClientPanel->SetBevelOuter(TBevelCut::bvNone);
    ClientPanel->SetAlign(TAlign::alClient);
    ClientPanel->SetParent(this);

    std::vector<PVirtualNode> nodes;
    for (const TPageNode& p : kPageNodes) {
        PVirtualNode parent = nullptr;
        for (size_t i = 0; i < nodes.size(); ++i)
            if (kPageNodes[i].kind == p.parentKind)
                parent = nodes[i];
        nodes.push_back(TreeFrame->AddNode(parent, nullptr, false, PageCaption(p.kind), p.kind));
    }
    TreeFrame->VSTree->ExpandAll(nullptr);
    TreeFrame->OnNodeChange = [this](TObject*, const std::string&, int kind, TObject*) { PageSwitch(kind); };
    SelectPage(spSystem);
    OnCloseQuery = [this](TObject*, bool& canClose) {
        if (ModalResult() == mrOk)
            canClose = Accept();
    };
    languageHandler_ = AddLanguageHandler([this] { ApplyLanguage(); });
    ApplyLanguage();
    SetFirstFocus(TreeFrame->VSTree);
}

TSettingsForm::~TSettingsForm()
{
    RemoveLanguageHandler(languageHandler_);
    TreeFrame->OnNodeChange = nullptr;
    if (g_settingsForm == this)
        g_settingsForm = nullptr;
}

TSetPageFrame* TSettingsForm::Page(int kind) const
{
    int slot = PageSlot(kind);
    return slot < 0 ? nullptr : pages_[slot];
}

void TSettingsForm::SelectPage(int kind)
{
    for (PVirtualNode n = TreeFrame->VSTree->GetFirst(); n; n = TreeFrame->VSTree->GetNext(n))
        if (TreeFrame->NodeKind(n) == kind) {
            if (TreeFrame->VSTree->FocusedNode() == n)
                PageSwitch(kind);   // already selected: shown again, reloaded
            else
                TreeFrame->SelectNode(n);
            return;
        }
}

TSetPageFrame* TSettingsForm::MakePage(int kind)
{
    switch (kind) {
    case spSystem: return new TSetOsFrame(this);
    case spEvents: return new TSetEvFrame(this);
    case spInterface: return new TSetInFrame(this);
    case spMainList: return new TSetInMainFrame(this);
    case spLogWindow: return new TSetInLogFrame(this);
    case spAddInfo: return new TSetInAddFrame(this);
    case spDatabase: return new TSetUpFrame(this);
    case spUserTeam: return new TSetDfFrame(this);
    default: return nullptr;
    }
}

void TSettingsForm::PageSwitch(int kind)
{
    for (TSetPageFrame* p : pages_)
        if (p)
            p->Hide();
    current_ = kind;
    int index = PageSlot(kind);
    if (index < 0)
        return;
    TSetPageFrame*& slot = pages_[index];
    if (!slot) {
        slot = MakePage(kind);
        PassActions();
        slot->Hide();
        slot->SetAlign(TAlign::alClient);
        slot->SetParent(ClientPanel);
        FitToPages();
    }
    if (!keepShown_)
        slot->LoadFromSettings();
    slot->Show();
}

bool TSettingsForm::KeyFromInside(WORD key, TShiftState shift)
{
    const int turn = PageTurnKey(key, shift);
    if (turn == 0)
        return false;
    std::vector<int> kinds;
    for (const TPageNode& p : kPageNodes)
        if (PageSlot(p.kind) >= 0)
            kinds.push_back(p.kind);
    const int n = static_cast<int>(kinds.size());
    const auto at = std::find(kinds.begin(), kinds.end(), current_);
    const int index = at == kinds.end() ? (turn > 0 ? n - 1 : 0) : static_cast<int>(at - kinds.begin());
    const int kind = kinds[static_cast<size_t>((index + turn + n) % n)];
    // The keyboard on the page goes to the new page; in the tree it stays.
    HWND focus = GetFocus();
    const bool onPage = focus && ClientPanel->HandleAllocated() && IsChild(ClientPanel->Handle(), focus);
    SelectPage(kind);
    if (TSetPageFrame* page = Page(kind); onPage && page) {
        if (TWinControl* first = page->FindNextControl(nullptr, true, true))
            first->SetFocus();
    }
    return true;
}

void TSettingsForm::SetActions(TCustomAction* fahColAction, TCustomAction* updateFahBaseAction)
{
    for (TCustomAction* old : {fahColAction_, updateFahBaseAction_})
        if (old && old != fahColAction && old != updateFahBaseAction)
            old->RemoveFreeNotification(this);
    fahColAction_ = fahColAction;
    updateFahBaseAction_ = updateFahBaseAction;
    for (TCustomAction* a : {fahColAction_, updateFahBaseAction_})
        if (a)
            a->FreeNotification(this);
    PassActions();
}

void TSettingsForm::SetUpdateThroughShownProxy(std::function<std::string()> update)
{
    updateThroughShownProxy_ = std::move(update);
    PassActions();
}

void TSettingsForm::PassActions()
{
    if (auto* page = dynamic_cast<TSetInMainFrame*>(Page(spMainList)))
        page->FahColAction = fahColAction_;
    if (auto* page = dynamic_cast<TSetUpFrame*>(Page(spDatabase))) {
        page->UpdateFahBaseAction = updateFahBaseAction_;
        page->UpdateThroughShownProxy = updateThroughShownProxy_;
        page->ApplyLanguage();
        FitToPages();
    }
}

void TSettingsForm::FitToPages()
{
    TVirtualStringTree* tree = TreeFrame->VSTree;
    int textRight = 0;
    for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNext(n))
        textRight = std::max(textRight, static_cast<int>(tree->NodeDisplayRect(n, -1, true, true).right));
    // What the frame and the tree's border take around the tree's client area.
    const int frame = TreeFrame->Width() - tree->Width() - 2 * tree->GetBorderDimensions().cx;
    const int treeWidth = std::max(kTreeWidth, textRight + kTreeTextRoom + frame);
    int pageWidth = kPageWidth;
    for (TSetPageFrame* p : pages_)
        if (p) {
            GiveAccessKeys(*p);
            pageWidth = std::max(pageWidth, p->NeededWidth());
        }
    TreeFrame->SetWidth(treeWidth);
    SetFormClientSize(*this, treeWidth + pageWidth + 8, kPageHeight + 41);
}

void TSettingsForm::Notification(TComponent* component, TOperation operation)
{
    TDialogForm::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    bool mine = false;
    if (component == fahColAction_) {
        fahColAction_ = nullptr;
        mine = true;
    }
    if (component == updateFahBaseAction_) {
        updateFahBaseAction_ = nullptr;
        mine = true;
    }
    if (mine)
        PassActions();
}

void TSettingsForm::ApplyLanguage()
{
    TDialogForm::ApplyLanguage();
    SetCaption(sProgramSettings);
    for (PVirtualNode n = TreeFrame->VSTree->GetFirst(); n; n = TreeFrame->VSTree->GetNext(n))
        TreeFrame->SetNodeText(n, PageCaption(TreeFrame->NodeKind(n)));
    for (TSetPageFrame* p : pages_)
        if (p)
            p->ApplyLanguage();
    FitToPages();
}

void TSettingsForm::WndProc(TMessage& m)
{
    // Every show starts from the edited values as they are now, on every
    // page made: a text a box of a cancelled show kept (no number, not
    // taken) must not be refused at this show's OK.
    if (m.Msg == WM_SHOWWINDOW && m.WParam && current_ != 0) {
        for (TSetPageFrame* p : pages_)
            if (p && p != Page(current_))
                p->LoadFromSettings();
        PageSwitch(current_);
    }
    TDialogForm::WndProc(m);
}

bool TSettingsForm::Accept()
{
    // A box holding no number in its range: its page comes up with the
    // keyboard on the box, and a box says what it takes.
    for (const TPageNode& p : kPageNodes) {
        TSetPageFrame* page = Page(p.kind);
        std::string text;
        TWinControl* box = page ? page->Refusal(text) : nullptr;
        if (!box)
            continue;
        // Shown as it is: a reload would put the last number taken back.
        if (current_ != p.kind) {
            keepShown_ = true;
            SelectPage(p.kind);
            keepShown_ = false;
        }
        std::weak_ptr<void> alive = box->AliveToken();
        AppMessageBox(sProgramSettings, text, MB_OK | MB_ICONWARNING);
        if (!alive.expired() && box->CanFocus())
            box->SetFocus();
        return false;
    }
    // Settings that could not be written are told; the dialog stays with
    // what the user set, to try again or to cancel.
    TFahSettings& settings = GetFahSettings();
    std::string failure;
    try {
        settings.SaveAll();
    } catch (...) {
        failure = SaveFailureText(std::current_exception());
        HandleCurrentException();
    }
    // A failure to apply them (logged) still closes once all are written.
    bool unsaved = false;
    for (int i = 0; i < settings.Count(); ++i)
        unsaved = unsaved || settings.GetValue(i)->Changed();
    if (failure.empty() || !unsaved)
        return true;
    AppMessageBox(sErrorL_Caption, sSettingsNotSaved + "\r\n\r\n" + failure, MB_OK | MB_ICONERROR);
    return false;
}

TSettingsForm& SettingsForm() { return DialogOnce(g_settingsForm); }

bool SettingsFormExists() { return g_settingsForm != nullptr; }
