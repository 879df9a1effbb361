// The settings dialog: a tree of pages on the left, the chosen page on the
// right. The pages edit the settings' edited values; OK saves them all
// (TAppSettings::SaveAll, which applies them first) and closes only when
// every box holds a number in its range and the settings were written;
// whoever shows the dialog reverts them when it closes otherwise. Every show reloads the page shown from
// the edited values; a language switch re-captions the open dialog.
#pragma once
#include <functional>
#include <string>

#include "Frame/Dialog.h"

class TCustomAction;
class TSetPageFrame;
class TVSTFrame;

// Page ids, the kinds of the tree's nodes.
enum TSettingsPage {
    spRoot = 0,
    spSystem = 10,
    spEvents = 20,
    spInterface = 30,
    spMainList = 35,
    spLogWindow = 40,
    spAddInfo = 45,
    spDatabase = 50,
    spUserTeam = 60,
};

class TSettingsForm : public TDialogForm {
public:
    explicit TSettingsForm(TComponent* owner);
    ~TSettingsForm() override;

    TVSTFrame* TreeFrame;
    TPanel* ClientPanel;

    // The actions the buttons of two pages run (the column dialog, the
    // database update); set by whoever owns them. An action freed later is
    // dropped.
    void SetActions(TCustomAction* fahColAction, TCustomAction* updateFahBaseAction);
    TCustomAction* FahColAction() const { return fahColAction_; }
    TCustomAction* UpdateFahBaseAction() const { return updateFahBaseAction_; }
    // The database page's update through the proxy it shows (see
    // TSetUpFrame::UpdateThroughShownProxy); set by whoever owns the
    // downloads.
    void SetUpdateThroughShownProxy(std::function<std::string()> update);

    // Shows that page (selecting its node), made on first use and loaded.
    void SelectPage(int kind);
    // The page of that id when it was made (nullptr otherwise).
    TSetPageFrame* Page(int kind) const;
    // The id of the page shown (0: none).
    int CurrentPage() const { return current_; }

    void ApplyLanguage() override;
    void WndProc(TMessage& message) override;
    // Ctrl+Tab and Ctrl+PgDn show the next page in the tree's order,
    // Ctrl+Shift+Tab and Ctrl+PgUp the previous one, round the ends, as in
    // the main window's pages.
    bool KeyFromInside(WORD key, TShiftState shift) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // OK: the pages' numbers checked, then everything saved; false (told
    // in a box) keeps the dialog open.
    bool Accept();
    // Hands the actions to the pages made so far.
    void PassActions();
    void PageSwitch(int kind);
    TSetPageFrame* MakePage(int kind);
    // Gives the pages' controls their missing access keys; sizes the tree
    // to its longest title and the dialog to the tree and the widest page
    // made so far.
    void FitToPages();
    TCustomAction* fahColAction_ = nullptr;
    TCustomAction* updateFahBaseAction_ = nullptr;
    std::function<std::string()> updateThroughShownProxy_;
    int current_ = 0;
    bool keepShown_ = false;   // the page switch shows the page without reloading it
    int languageHandler_ = 0;
    TSetPageFrame* pages_[8] = {};
};

// The program's one settings dialog, made on first use and kept until the
// message loop ends.
TSettingsForm& SettingsForm();
// Whether it was made.
bool SettingsFormExists();
