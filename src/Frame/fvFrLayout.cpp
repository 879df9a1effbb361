// The detail frames under the list: the selected client's log, "client.cfg",
// previous log and parameters, their pages or side-by-side panels, the
// background pictures, the layout values in the registry, the previous-log
// reader and the copy of whatever part has the focus.
#include <algorithm>
#include <vector>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "Frame/IniFr.h"
#include "Frame/LogFr.h"
#include "Frame/ParamFr.h"
#include "Frame/fvFr.h"
#include "platform/Application.h"
#include "controls/ComboEdits.h"
#include "platform/BitmapFile.h"
#include "platform/MessageBox.h"
#include "platform/Clipboard.h"
#include "platform/PageControl.h"
#include "platform/Splitter.h"
#include "platform/Registry.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"

const char* const kParamFrameKey = "FAHView\\ParamFame";

namespace {

bool FileExists(const std::string& path)
{
    DWORD a = GetFileAttributesW(Utf8ToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The parameter frame's column key below the settings key.
std::string ParamColumnsKey()
{
    std::string path = GetFahSettings().RegPath();
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path + kParamFrameKey;
}

}  // namespace

namespace {

TPanel* MakePanel(TComponent* owner, TWinControl* parent, const char* name, TAlign align, int size)
{
    auto* p = new TPanel(owner);
    p->SetName(name);
    p->SetAlign(align);
    if (align == TAlign::alBottom || align == TAlign::alTop)
        p->SetHeight(size);
    else
        p->SetWidth(size);
    p->SetParent(parent);
    return p;
}

TSplitter* MakeSplitter(TComponent* owner, TWinControl* parent, const char* name, TAlign align)
{
    auto* s = new TSplitter(owner);
    s->SetName(name);
    s->SetAlign(align);
    if (align == TAlign::alBottom || align == TAlign::alTop)
        s->SetHeight(4);
    else
        s->SetWidth(4);
    s->SetParent(parent);
    return s;
}

TTabSheet* MakeSheet(TComponent* owner, TPageControl* pages, const char* name, const char* caption)
{
    auto* t = new TTabSheet(owner);
    t->SetName(name);
    t->SetCaption(caption);
    t->SetPageControl(pages);
    return t;
}

template <class F>
F* Place(F* frame, const char* name, TWinControl* parent)
{
    frame->SetName(name);
    frame->SetAlign(TAlign::alClient);
    frame->SetParent(parent);
    return frame;
}

}  // namespace

void TfvFrame::CreateComponents()
{
    // Each splitter comes right after the control it resizes.
    BottomPanel = MakePanel(this, this, "BottomPanel", TAlign::alBottom, 220);
    Splitter1 = MakeSplitter(this, this, "Splitter1", TAlign::alBottom);

    FAHParamFrame = Place(new TParamFrame(this), "FAHParamFrame", BottomPanel);
    FAHParamFrame->SetAlign(TAlign::alRight);
    FAHParamFrame->SetWidth(360);
    Splitter2 = MakeSplitter(this, BottomPanel, "Splitter2", TAlign::alRight);

    PageControl1 = new TPageControl(this);
    PageControl1->SetName("PageControl1");
    PageControl1->SetAlign(TAlign::alClient);
    PageControl1->SetParent(BottomPanel);
    TabSheet1 = MakeSheet(this, PageControl1, "TabSheet1", "FAHlog.txt");
    TabSheet2 = MakeSheet(this, PageControl1, "TabSheet2", "client.cfg");
    TabSheet3 = MakeSheet(this, PageControl1, "TabSheet3", "FAHlog-Prev.txt");

    // The first page: the log, and (side by side) "client.cfg" and the
    // previous log on its right.
    FL2Panel = MakePanel(this, TabSheet1, "FL2Panel", TAlign::alRight, 360);
    FL2Splitter = MakeSplitter(this, TabSheet1, "FL2Splitter", TAlign::alRight);
    FLPanel = MakePanel(this, TabSheet1, "FLPanel", TAlign::alRight, 200);
    FLSplitter = MakeSplitter(this, TabSheet1, "FLSplitter", TAlign::alRight);
    for (TControl* c : std::initializer_list<TControl*>{FL2Panel, FL2Splitter, FLPanel, FLSplitter})
        c->SetVisible(false);
    FAHLogFrame = Place(new TLogFrame(this), "FAHLogFrame", TabSheet1);
    FAHIniFrame = Place(new TIniFrame(this), "FAHIniFrame", TabSheet2);
    FAHPrevLogFrame = Place(new TLogFrame(this), "FAHPrevLogFrame", TabSheet3);

    // A context-menu request focuses the part it came from (copy follows the focus).
    for (TVSTFrame* f : std::initializer_list<TVSTFrame*>{FAHLogFrame, FAHPrevLogFrame, FAHParamFrame, FAHIniFrame}) {
        if (f->VSTree->OnMouseDown)
            continue;
        TVirtualStringTree* tree = f->VSTree;
        tree->OnMouseDown = [tree](TObject*, TMouseButton button, TShiftState, int, int) {
            if (button == TMouseButton::mbRight && tree->CanFocus())
                tree->SetFocus();
        };
    }

    TabSheet3->SetTabVisible(false);
    PageControl1->SetActivePage(TabSheet1);
    PageControl1->OnChange = [this](TObject*) { StartPrevLogReader(); };

    sidePanes_ = {{{FAHParamFrame}, {FLPanel}, {FL2Panel}}};
    BottomPanel->OnResize = [this](TObject*) { FitSidePanes(); };
    TabSheet1->OnResize = [this](TObject*) { FitSidePanes(); };
}

int TfvFrame::WantedWidth(const TSidePane& p)
{
    return p.wanted > 0 && p.pane->Width() == p.fitted ? p.wanted : p.pane->Width();
}

// The panes beside the log and beside the pages keep the widths the user
// gave them while they fit; in a smaller window they shrink together so
// that the log (or the pages) keeps a third of the row.
void TfvFrame::FitSidePanes()
{
    if (fitting_)
        return;
    fitting_ = true;
    struct Row {
        TWinControl* container;
        std::vector<TSidePane*> panes;
        std::vector<TControl*> splitters;
    };
    Row rows[] = {{BottomPanel, {&sidePanes_[0]}, {Splitter2}},
                  {TabSheet1, {&sidePanes_[1], &sidePanes_[2]}, {FLSplitter, FL2Splitter}}};
    for (Row& row : rows) {
        const int width = row.container->ClientRect().right;
        if (width <= 0)
            continue;
        int room = width - width / 3;
        for (TControl* s : row.splitters)
            if (s->Visible())
                room -= s->Width();
        std::vector<TSidePane*> shown;
        int total = 0;
        for (TSidePane* p : row.panes) {
            if (!p->pane->Visible())
                continue;
            p->wanted = WantedWidth(*p);
            total += p->wanted;
            shown.push_back(p);
        }
        for (TSidePane* p : shown) {
            int w = total <= room || total <= 0 ? p->wanted : std::max(20, p->wanted * std::max(room, 0) / total);
            p->pane->SetWidth(w);
            p->fitted = p->pane->Width();
        }
    }
    fitting_ = false;
}

void TfvFrame::ApplyDetailLanguage()
{
    FAHParamFrame->ApplyLanguage();
    FAHIniFrame->ApplyLanguage();
}

void TfvFrame::ShowDetails(TFahView* view)
{
    // While the user is asked about another client's unsaved "client.cfg"
    // edits, that client stays on show until the question is answered.
    const TIniFrame& ini = *FAHIniFrame;
    if (ini.Modified() && ini.View() && view != ini.View() && RowOfView(ini.View()))
        view = ini.View();
    TLogLinesPtr lines;
    if (view && view->Fah()) {
        TLock lock(view->Fah()->CritSection());
        lines = view->Fah()->LogLines;
    }
    FAHLogFrame->SetLines(lines);
    FAHParamFrame->ShowView(view);
}

void TfvFrame::ShowClientCfg(TFahView* view)
{
    TIniFrame& ini = *FAHIniFrame;
    if (ini.Modified() && (cfgQuestionPosted_ || view != ini.View())) {
        // The edited client's row went (its folder was deleted): its record
        // is gone, its file is not.
        if (ini.View() && !RowOfView(ini.View()))
            ini.ForgetView();
        if (!cfgQuestionPosted_ && HandleAllocated()) {
            cfgQuestionPosted_ = true;
            SetTimer(Handle(), kAskSaveClientCfgTimer, USER_TIMER_MINIMUM, nullptr);
        }
        return;
    }
    ini.ShowView(view);
}

PVirtualNode TfvFrame::RowOfView(const TFahView* view) const
{
    if (!view)
        return nullptr;
    for (PVirtualNode n : ClientNodes())
        if (GetFahView(n) == view)
            return n;
    return nullptr;
}

void TfvFrame::AskSaveClientCfg()
{
    // Asked once the selection has settled: while it changes, the focused
    // row is not yet the one the user went to. The same question asked at
    // the close is answered first; once the program closes, none is asked.
    if (inSelectionChange_ || askingClientCfg_)
        return;
    KillTimer(Handle(), kAskSaveClientCfgTimer);
    if (AppClosing.load())
        return;
    TIniFrame& ini = *FAHIniFrame;
    TFahView* selected = SelectedView();
    if (!ini.Modified() || (ini.View() && ini.View() == selected)) {
        cfgQuestionPosted_ = false;
        ShowClientCfg(selected);
        ShowDetails(selected);
        return;
    }
    // Without the edited client's row there is nothing to go back to.
    const bool canStay = RowOfView(ini.View()) != nullptr;
    std::weak_ptr<void> alive = AliveToken();
    int answer = AskSaveClientCfgChanges(canStay);
    if (alive.expired())
        return;
    cfgQuestionPosted_ = false;
    if (answer == IDNO)
        ini.Cancel();
    if (answer == IDCANCEL || answer == 0) {
        if (PVirtualNode back = RowOfView(ini.View()))
            SelectNode(back);
        if (ini.Modified())
            return;
    }
    ShowClientCfg(SelectedView());
    ShowDetails(SelectedView());
}

int TfvFrame::AskSaveClientCfgChanges(bool canCancel)
{
    TIniFrame& ini = *FAHIniFrame;
    std::weak_ptr<void> alive = AliveToken();
    askingClientCfg_ = true;
    int answer = 0;
    try {
        answer = AppMessageBox(sConfirm, FillIn(sSaveClientCfgChanges, {ini.FileName()}),
                               (canCancel ? MB_YESNOCANCEL : MB_YESNO) | MB_ICONQUESTION, LangBoxButtons());
    } catch (...) {
        if (!alive.expired())
            askingClientCfg_ = false;
        throw;
    }
    if (alive.expired())
        return IDCANCEL;
    askingClientCfg_ = false;
    if (answer == IDYES) {
        ini.Save();
        if (alive.expired())
            return IDCANCEL;
        if (ini.Modified())
            answer = IDCANCEL;   // not written (read-only kept, or an error told): the edits stay
    }
    return answer;
}

bool TfvFrame::ClientCfgMayClose()
{
    // The question about them is up already: it is answered first.
    if (askingClientCfg_)
        return false;
    if (!FAHIniFrame->Modified())
        return true;
    std::weak_ptr<void> alive = AliveToken();
    const int answer = AskSaveClientCfgChanges(true);
    return alive.expired() || answer == IDYES || answer == IDNO;
}

bool TfvFrame::PrevLogShowing() const
{
    if (PageControl1->ActivePage() == TabSheet3 && TabSheet3->TabVisible())
        return true;
    return FAHPrevLogFrame->Parent() == FL2Panel && FL2Panel->Visible();
}

void TfvFrame::StartPrevLogReader()
{
    if (!PrevLogShowing())
        return;
    prevLogReader_.SetTarget(Handle());
    prevLogReader_.Start(prevLogPath_);
}

void TfvFrame::PrevLogLoaded(WPARAM readNumber)
{
    std::string path;
    TLogLinesPtr lines;
    if (!prevLogReader_.Take(readNumber, path, lines))
        return;
    prevLogShown_ = path;
    FAHPrevLogFrame->SetLines(lines);
}

void TfvFrame::ArrangeDetails()
{
    const bool all = showAllLogWindows_;
    const bool prev = showPrevLog_;
    TabSheet1->SetTabVisible(!all);
    TabSheet2->SetTabVisible(!all);
    TabSheet3->SetTabVisible(!all && prev);
    if (all || !PageControl1->ActivePage() || !PageControl1->ActivePage()->TabVisible())
        PageControl1->SetActivePage(TabSheet1);
    FLPanel->SetVisible(all);
    FLSplitter->SetVisible(all);
    FL2Panel->SetVisible(all && prev);
    FL2Splitter->SetVisible(all && prev);
    FAHIniFrame->SetParent(all ? static_cast<TWinControl*>(FLPanel) : TabSheet2);
    FAHPrevLogFrame->SetParent(all ? static_cast<TWinControl*>(FL2Panel) : TabSheet3);
    FitSidePanes();
    StartPrevLogReader();
}

void TfvFrame::SetShowAllLogWindows(bool on)
{
    showAllLogWindows_ = on;
    ArrangeDetails();
}

void TfvFrame::SetShowPrevLog(bool on)
{
    showPrevLog_ = on;
    ArrangeDetails();
}

void TfvFrame::LoadBackground(TBaseVirtualTree& tree, const std::string& stored)
{
    // Earlier versions stored a path with a blank in double quotes.
    const std::string path = UnquoteFileName(stored);
    TBitmap picture;
    std::string why;
    // A missing file is no error (the defaults name files that are seldom
    // there); a picture that can't be shown is skipped with a note.
    if (!path.empty() && FileExists(path) && !LoadBitmapFromFile(picture, path, &why))
        Application().HandleException("The background picture \"" + path + "\" is not shown: " + why);
    tree.SetBackground(picture);
    tree.Invalidate();
}

void TfvFrame::SetListBackground(const std::string& path)
{
    listBackground_ = path;
    LoadBackground(*VSTree, path);
}

void TfvFrame::SetLogBackground(const std::string& path)
{
    logBackground_ = path;
    LoadBackground(*FAHLogFrame->VSTree, path);
    LoadBackground(*FAHPrevLogFrame->VSTree, path);
}

void TfvFrame::SetParamBackground(const std::string& path)
{
    paramBackground_ = path;
    LoadBackground(*FAHParamFrame->VSTree, path);
}

void TfvFrame::SaveLayout(TRegistry& reg)
{
    // The widths the user gave, not those a small window squeezed them to.
    reg.WriteInteger("BottomPanel_Height", BottomPanel->Height());
    reg.WriteInteger("ParamFrame_Width", WantedWidth(sidePanes_[0]));
    reg.WriteInteger("FLPanel_Width", WantedWidth(sidePanes_[1]));
    reg.WriteInteger("FL2Panel_Width", WantedWidth(sidePanes_[2]));
    FAHParamFrame->SaveColumns(ParamColumnsKey());
}

void TfvFrame::LoadLayout(TRegistry& reg)
{
    int v = 0;
    // A height of none (a damaged value, 0xFFFFFFFF) keeps the panel's own:
    // the log would be gone, and be saved gone.
    if (reg.TryReadInteger("BottomPanel_Height", v) && v > 0)
        BottomPanel->SetHeight(v);
    if (reg.TryReadInteger("ParamFrame_Width", v))
        FAHParamFrame->SetWidth(v);
    if (reg.TryReadInteger("FLPanel_Width", v))
        FLPanel->SetWidth(v);
    if (reg.TryReadInteger("FL2Panel_Width", v))
        FL2Panel->SetWidth(v);
    else
        FL2Panel->SetWidth(FLPanel->Width() + 160);
    for (TSidePane& p : sidePanes_)
        p.wanted = 0;
    FitSidePanes();
    FAHParamFrame->LoadColumns(ParamColumnsKey());
}

TVSTFrame* TfvFrame::FocusedDetailFrame() const
{
    HWND focus = GetFocus();
    for (TVSTFrame* f : std::initializer_list<TVSTFrame*>{FAHLogFrame, FAHPrevLogFrame, FAHParamFrame, FAHIniFrame}) {
        if (focus && f->VSTree->HandleAllocated() &&
            (focus == f->VSTree->Handle() || IsChild(f->VSTree->Handle(), focus)))
            return f;
    }
    return nullptr;
}

void TfvFrame::CopyToClipboard()
{
    if (TVSTFrame* detail = FocusedDetailFrame()) {
        detail->CopyToClipboard();
        return;
    }
    SetClipboardText(ListText());
}
