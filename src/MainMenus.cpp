// The menu bar, the popup menus and the main toolbar, every item bound to
// an action of the data module; the list's header and double-click handlers.
#include "Main.h"

#include "Classes/Lang.h"
#include "Frame/fvFr.h"
#include "MainDM.h"
#include "platform/Actions.h"
#include "platform/Application.h"
#include "platform/Menus.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBToolbar.h"
#include "Lib2/VirtualTree/VTHeader.h"

namespace {

TMenuItem* AddAction(TMenuItem& parent, TBasicAction* action)
{
    auto* item = new TMenuItem(parent.Owner());
    item->SetAction(action);
    parent.Add(item);
    return item;
}

void AddSeparator(TMenuItem& parent)
{
    parent.Add("-");
}

// The service items: Stop, Restart and the start type with its three choices.
void AddServiceItems(TMenuItem& parent, TMainDM* dm)
{
    AddAction(parent, dm->StopFAHServiceAction);
    AddAction(parent, dm->RestartFAHServiceAction);
    TMenuItem* type = AddAction(parent, dm->StartupTypeAction);
    AddAction(*type, dm->StartupTypeAutomaticAction);
    AddAction(*type, dm->StartupTypeManualAction);
    AddAction(*type, dm->StartupTypeDisabledAction);
}

TTBCustomItem* AddTBItem(TTBCustomItem* parent, TComponent* owner, TBasicAction* action)
{
    auto* item = new TTBItem(owner);
    item->SetAction(action);
    parent->Add(item);
    return item;
}

TTBCustomItem* AddTBSubmenu(TTBCustomItem* parent, TComponent* owner, TBasicAction* action)
{
    auto* item = new TTBSubmenuItem(owner);
    item->SetAction(action);
    parent->Add(item);
    return item;
}

void AddTBSeparator(TTBCustomItem* parent, TComponent* owner)
{
    parent->Add(new TTBSeparatorItem(owner));
}

}  // namespace

void TMainForm::CreateMenus()
{
    TMainDM* dm = MainDM;
    MainMenu1 = new TMainMenu(this);
    MainMenu1->SetName("MainMenu1");
    TMenuItem& bar = MainMenu1->Items();

    TMenuItem* app = bar.Add(Application().Title());
    for (TBasicAction* a : {static_cast<TBasicAction*>(dm->AddFahAction), static_cast<TBasicAction*>(dm->EditFahAction),
                            static_cast<TBasicAction*>(dm->DelFahAction)})
        AddAction(*app, a);
    AddSeparator(*app);
    AddAction(*app, dm->RefreshAction);
    AddAction(*app, dm->AutoUpdateAction);
    AddAction(*app, dm->HideNotActiveFodersAction);
    AddSeparator(*app);
    AddAction(*app, dm->CopyToClipBrdAction);
    AddAction(*app, dm->FahColAction);
    AddAction(*app, dm->OptionsAction);
    AddAction(*app, dm->UpdateFahBaseAction);
    AddSeparator(*app);
    AddAction(*app, dm->ExitAction);

    TMenuItem* service = bar.Add("");
    AddServiceItems(*service, dm);

    TMenuItem* language = bar.Add("");
    AddAction(*language, dm->LngEnAction);
    AddAction(*language, dm->LngRuAction);
    AddAction(*language, dm->LngUaAction);

    TMenuItem* help = bar.Add("");
    for (TBasicAction* a : {dm->OperStatAction, dm->FullStatAction, dm->TeamStatAction, dm->KPXForumAction,
                            dm->CurProjAction, dm->UserCardAction, dm->ServerStatAction, dm->OfficialForumAction})
        AddAction(*help, a);
    AddSeparator(*help);
    AddAction(*help, dm->CheckForUpdateAction);
    AddAction(*help, dm->AboutAction);

    barItems_[0] = app;
    barItems_[1] = service;
    barItems_[2] = language;
    barItems_[3] = help;
    MenuBarCaptions();
    MainMenu1->Attach(Handle());

    // The list's popup.
    MainPopupMenu = new TPopupMenu(this);
    MainPopupMenu->SetName("MainPopupMenu");
    TMenuItem& mp = MainPopupMenu->Items();
    AddAction(mp, dm->RefreshAction);
    AddSeparator(mp);
    AddAction(mp, dm->AddFahAction);
    AddAction(mp, dm->EditFahAction);
    AddAction(mp, dm->DelFahAction);
    AddSeparator(mp);
    AddServiceItems(*AddAction(mp, dm->ServiceAction), dm);
    AddSeparator(mp);
    AddAction(mp, dm->CopyToClipBrdAction);
    AddAction(mp, dm->FahColAction);
    AddAction(mp, dm->HideNotActiveFodersAction);

    fvFrame1->VSTree->SetPopupMenu(MainPopupMenu);

    // The tray's popup.
    TrayPopupMenu = new TPopupMenu(this);
    TrayPopupMenu->SetName("TrayPopupMenu");
    TMenuItem& tp = TrayPopupMenu->Items();
    RestoreN = tp.Add(minimizedToTray_ ? sRestore : sMinimize, [this](TObject*) { RestoreNClick(); });
    RestoreN->SetName("RestoreN");
    RestoreN->Default = true;
    AddSeparator(tp);
    AddAction(tp, dm->RefreshAction);
    AddAction(tp, dm->AutoUpdateAction);
    AddAction(tp, dm->UpdateFahBaseAction);
    AddAction(tp, dm->OptionsAction);
    AddSeparator(tp);
    AddAction(tp, dm->ExitAction);

    // One ticked item per column, then the column dialog.
    ColVisiblePopupMenu = new TPopupMenu(this);
    ColVisiblePopupMenu->SetName("ColVisiblePopupMenu");
    ColVisiblePopupMenu->OnPopup = [this](TObject*) { FillColumnMenu(); };

    CpuUsagePopupMenu = new TPopupMenu(this);
    CpuUsagePopupMenu->SetName("CpuUsagePopupMenu");
    AppTitleN = CpuUsagePopupMenu->Items().Add(Application().Title());
    AppTitleN->SetName("AppTitleN");
    AppTitleN->Enabled = false;
    AddSeparator(CpuUsagePopupMenu->Items());
    HideSpuUsage = AddAction(CpuUsagePopupMenu->Items(), dm->HideCpuUsageAction);
    HideSpuUsage->SetName("HideSpuUsage");

    // The list's header and double-click.
    auto sort = fvFrame1->VSTree->OnHeaderClick;
    fvFrame1->VSTree->OnHeaderClick = [this, sort](TVTHeader* h, TColumnIndex column, TMouseButton button,
                                                   TShiftState shift, int x, int y) {
        if (sort)
            sort(h, column, button, shift, x, y);
        if (button == TMouseButton::mbRight) {
            POINT pt;
            GetCursorPos(&pt);
            ColVisiblePopupMenu->Popup(pt.x, pt.y);
        }
    };
    auto dbl = fvFrame1->VSTree->OnDblClick;
    fvFrame1->VSTree->OnDblClick = [this, dbl](TObject* sender) {
        if (GetKeyState(VK_CONTROL) < 0) {
            if (dbl)
                dbl(sender);
        } else if (MainDM->EditFahAction->Enabled()) {
            MainDM->EditFahAction->Execute();
        }
    };
}

void TMainForm::MenuBarCaptions()
{
    if (!barItems_[0])
        return;
    // The program's name and the language's take their first letter as
    // access key; the service title has a letter other than the toolbar's
    // service button, so each can be reached by its own.
    barItems_[0]->Caption = "&" + EscapeAmpersands(Application().Title());
    barItems_[1]->Caption = CurrentLanguage == 1 ? "F@H " + sService : sService + " F@H";
    int lang = CurrentLanguage >= 1 && CurrentLanguage <= kLanguageCount ? CurrentLanguage : 1;
    barItems_[2]->Caption = "&" + (Languages[lang].Name.empty() ? Languages[lang].Code : Languages[lang].Name);
    barItems_[3]->Caption = sHelp;
}

void TMainForm::FillColumnMenu()
{
    TMenuItem& items = ColVisiblePopupMenu->Items();
    while (items.Count() > 0)
        delete items.Items(items.Count() - 1);
    TVirtualTreeColumns& columns = fvFrame1->VSTree->Header().Columns();
    // The list always shows a column: the last one shown can't be hidden
    // (its item stays ticked and greyed).
    auto lastShown = [](TVirtualTreeColumns& cols, TVirtualTreeColumn* c) {
        return c->Visible() && cols.GetFirstVisibleColumn() == cols.GetLastVisibleColumn();
    };
    for (int i = 0; i < columns.Count(); ++i) {
        TVirtualTreeColumn* column = columns.Items(i);
        TMenuItem* item = items.Add(column->Text(), [this, i, lastShown](TObject*) {
            TVirtualTreeColumns& cols = fvFrame1->VSTree->Header().Columns();
            if (i < cols.Count()) {
                TVirtualTreeColumn* c = cols.Items(i);
                if (!lastShown(cols, c))
                    c->SetOptions(c->Options() ^ coVisible);
            }
        });
        item->Checked = column->Visible();
        item->Enabled = !lastShown(columns, column);
    }
    AddSeparator(items);
    AddAction(items, MainDM->FahColAction);
}

void TMainForm::CreateToolbar()
{
    TMainDM* dm = MainDM;
    MainTBToolbar = new TTBToolbar(this);
    MainTBToolbar->SetName("MainTBToolbar");
    MainTBToolbar->SetDockMode(dmCannotFloat);
    MainTBToolbar->SetImages(dm->MainImageList);
    TTBCustomItem* root = MainTBToolbar->Items();
    AddTBItem(root, this, dm->RefreshAction);
    AddTBSeparator(root, this);
    AddTBItem(root, this, dm->AddFahAction);
    AddTBItem(root, this, dm->EditFahAction);
    AddTBItem(root, this, dm->DelFahAction);
    AddTBSeparator(root, this);
    TTBCustomItem* service = AddTBSubmenu(root, this, dm->ServiceAction);
    AddTBItem(service, this, dm->StopFAHServiceAction);
    AddTBItem(service, this, dm->RestartFAHServiceAction);
    TTBCustomItem* type = AddTBSubmenu(service, this, dm->StartupTypeAction);
    AddTBItem(type, this, dm->StartupTypeAutomaticAction);
    AddTBItem(type, this, dm->StartupTypeManualAction);
    AddTBItem(type, this, dm->StartupTypeDisabledAction);
    AddTBSeparator(root, this);
    AddTBItem(root, this, dm->OptionsAction);
    MainTBToolbar->SetParent(TopTBDock);
}
