#include "Frame/IniFr.h"

#include <windows.h>

#include <functional>

#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "controls/ActionImages.h"
#include "platform/Actions.h"
#include "platform/FileUtil.h"
#include "platform/ImageList.h"
#include "platform/InputBox.h"
#include "platform/MessageBox.h"
#include "platform/ShortCut.h"
#include "platform/Text.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBToolbar.h"

namespace {

// Attributes of a file, INVALID_FILE_ATTRIBUTES when it is not there.
DWORD AttributesOf(const std::string& path)
{
    return GetFileAttributesW(Utf8ToWide(path).c_str());
}

}  // namespace

std::string ClientCfgFileText(const std::vector<std::string>& lines)
{
    size_t count = lines.size();
    while (count > 0 && lines[count - 1].empty())
        --count;
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += lines[i];
        out += '\n';
    }
    return out;
}

TIniFrame::TIniFrame(TComponent* owner) : TLogFrame(owner)
{
    CreateToolbar();
    VSTree->OnNewText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const std::string& text) {
        if (NodeText(node) == text)
            return;
        SetNodeText(node, text);
        ForgetShownText();
        SetModified(true);
    };
    VSTree->OnFocusChanged = [this](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { UpdateActions(); };
    ShowFocusOnFirstRow();
    Setup();
}

void TIniFrame::CreateToolbar()
{
    IniActionList = new TActionList(this);
    IniActionList->SetName("IniActionList");
    auto makeAction = [this](const char* name, std::function<void()> run) {
        auto* a = new TAction(this);
        a->SetName(name);
        a->SetActionList(IniActionList);
        a->SetOnExecute([run](TObject*) { run(); });
        a->OnUpdate = [this](TObject*) { UpdateActions(); };
        return a;
    };
    IniAddLineAction = makeAction("IniAddLineAction", [this] { AddLine(); });
    IniDelLineAction = makeAction("IniDelLineAction", [this] { DeleteLine(); });
    IniSaveAction = makeAction("IniSaveAction", [this] { Save(); });
    IniSaveAction->SetShortCut(ShortCut('S', ssCtrl));
    IniChancelAction = makeAction("IniChancelAction", [this] { Cancel(); });
    // Pictures: the toolbar down the left side shows them instead of its
    // captions, so its buttons fit.
    IniImageList = new TImageList(this);
    IniImageList->SetName("IniImageList");
    IniActionList->SetImages(IniImageList);
    const int first = AddActionImages(*IniImageList);
    if (first >= 0) {
        IniAddLineAction->SetImageIndex(first + aiAddLine);
        IniDelLineAction->SetImageIndex(first + aiDeleteLine);
        IniSaveAction->SetImageIndex(first + aiSave);
        IniChancelAction->SetImageIndex(first + aiCancel);
    }

    IniTBDock = new TTBDock(this);
    IniTBDock->SetName("IniTBDock");
    IniTBDock->SetPosition(dpLeft);
    IniTBDock->SetParent(this);
    IniTBToolbar = new TTBToolbar(this);
    IniTBToolbar->SetName("IniTBToolbar");
    IniTBToolbar->SetDockMode(dmCannotFloatOrChangeDocks);   // it only slides within its own dock
    IniTBToolbar->SetCloseButton(false);
    IniTBToolbar->SetImages(IniImageList);
    TTBRootItem* root = IniTBToolbar->Items();
    auto addItem = [this, root](TAction* action) {
        auto* item = new TTBItem(this);
        item->SetAction(action);
        root->Add(item);
    };
    addItem(IniAddLineAction);
    addItem(IniDelLineAction);
    root->Add(new TTBSeparatorItem(this));
    addItem(IniSaveAction);
    addItem(IniChancelAction);
    IniTBToolbar->SetParent(IniTBDock);
    UpdateActions();
}

void TIniFrame::SetupTree()
{
    TLogFrame::SetupTree();
    TStringTreeOptions& o = VSTree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toEditable);
    VSTree->SetMargin(0);
    VSTree->SetColor(GetSysColor(COLOR_WINDOW));
    VSTree->SetEditDelay(100);
    SetColoring(false);
}

void TIniFrame::ApplyLanguage()
{
    TLogFrame::ApplyLanguage();
    if (!IniSaveAction)
        return;   // the first set-up runs before the toolbar is made
    IniSaveAction->SetCaption(sIniSaveAction_Caption);
    IniSaveAction->SetHint(sIniSaveAction_Hint);
    IniChancelAction->SetCaption(sIniChancelAction_Caption);
    IniChancelAction->SetHint(sIniChancelAction_Hint);
    IniAddLineAction->SetCaption(sIniAddLineAction_Caption);
    IniAddLineAction->SetHint(sIniAddLineAction_Hint);
    IniDelLineAction->SetCaption(sIniDelLineAction_Caption);
    IniDelLineAction->SetHint(sIniDelLineAction_Hint);
}

void TIniFrame::SetModified(bool modified)
{
    modified_ = modified;
    UpdateActions();
}

void TIniFrame::UpdateActions()
{
    if (!IniSaveAction)
        return;
    const bool editable = loaded_ && VSTree->FocusedNode() != nullptr;
    IniAddLineAction->SetEnabled(editable);
    IniDelLineAction->SetEnabled(editable);
    IniSaveAction->SetEnabled(modified_);
    IniChancelAction->SetEnabled(modified_);
}

std::vector<std::string> TIniFrame::Lines() const
{
    std::vector<std::string> lines;
    for (PVirtualNode node = VSTree->GetFirstChild(nullptr); node; node = node->NextSibling)
        lines.push_back(NodeText(node));
    return lines;
}

void TIniFrame::ShowView(TFahView* view)
{
    // Unsaved edits of this client stay (a refresh shows the same record).
    if (view && view == view_ && (modified_ || VSTree->IsEditing()))
        return;
    view_ = view;
    if (view) {
        fileName_ = view->ClientCfgFileName;
        text_ = view->ClientCfgText;
    } else {
        fileName_.clear();
        text_.clear();
    }
    loaded_ = view != nullptr;
    Cancel();
}

void TIniFrame::Cancel()
{
    VSTree->CancelEditNode();
    LoadText(text_, true);
    ForgetShownText();
    PVirtualNode first = VSTree->GetFirstChild(nullptr);
    if (first)
        SelectNode(first);
    if (VSTree->HandleAllocated() && first)
        VSTree->ScrollIntoView(first, false);
    SetModified(false);
}

void TIniFrame::AddLine()
{
    std::string line;
    if (!InputQuery(sInputString, sInputString, line))
        return;
    InsertLine(line);
}

void TIniFrame::InsertLine(const std::string& text)
{
    PVirtualNode focused = VSTree->FocusedNode();
    if (!focused)
        return;
    InsertNode(focused, nullptr, text, 0);
    ForgetShownText();
    SetModified(true);
}

void TIniFrame::DeleteLine()
{
    PVirtualNode focused = VSTree->FocusedNode();
    if (!focused)
        return;
    VSTree->CancelEditNode();
    DeleteNode(focused);
    ForgetShownText();
    SetModified(true);
}

void TIniFrame::Save()
{
    VSTree->EndEditNode();
    const std::string text = ClientCfgFileText(Lines());
    const DWORD attributes = fileName_.empty() ? INVALID_FILE_ATTRIBUTES : AttributesOf(fileName_);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // A missing file is not created (its folder may be gone, or moved on
        // purpose): the user hears so, and the edits stay.
        AppMessageBox(sErrorL_Caption, FillIn(sClientCfgGone, {fileName_}), MB_OK | MB_ICONWARNING);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        int answer = AppMessageBox(sConfirm, FillIn(sFileIsReadOnly, {fileName_}), MB_YESNOCANCEL | MB_ICONQUESTION,
                                   LangBoxButtons());
        if (answer != IDYES)
            return;
    }
    // A temporary file beside it, then put in its place: the client never
    // meets a half-written file, and the file keeps its attributes. When it
    // can't be written the user hears why, and the edits stay to be saved.
    try {
        WriteFileAtomic(fileName_, text, true);
    } catch (const std::exception& e) {
        AppMessageBox(sErrorL_Caption, FillIn(sClientCfgNotSaved, {fileName_}) + "\r\n\r\n" + e.what(),
                      MB_OK | MB_ICONERROR);
        return;
    }
    text_ = text;
    SetModified(false);
    // The record takes the text only while it still shows that file (its
    // folder may have been changed since the edits began).
    if (view_ && view_->ClientCfgFileName == fileName_)
        view_->SetClientCfgText(text);
    else if (view_)
        ShowView(view_);
}
