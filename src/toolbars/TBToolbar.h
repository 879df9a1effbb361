// The toolbar: a dockable window that shows an item tree through a view.
// When its row is too short it wraps the items onto more lines or hides the
// ones that do not fit behind a chevron button whose drop-down lists them.
// It can act as a form's menu bar and answer the form's keyboard shortcuts
// (through a hook on the application window, which sees every key-down no
// action list used). TTBToolbar publishes the properties.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "toolbars/TBDockable.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBView.h"

class TCustomImageList;
class TTBCustomToolbar;

enum TTBChevronPriorityForNewItems { tbcpHighest, tbcpLowest };

// First chance at every shortcut the toolbar is offered: set handled to
// keep the items from seeing it.
using TTBShortCutEvent = std::function<void(TObject* sender, WORD key, TShiftState shift, bool& handled)>;

// The chevron's hint in every language.
inline constexpr const char* kTBChevronHint = "More Buttons|";

// The chevron: a submenu item whose drop-down shows the items the view hid.
class TTBChevronItem : public TTBCustomItem {
public:
    explicit TTBChevronItem(TTBCustomToolbar* toolbar);
    TTBCustomToolbar* Toolbar() const { return toolbar_; }
    TTBView* GetChevronParentView() override;
    TTBItemViewerClass GetItemViewerClass(TTBView* view) override;

private:
    TTBCustomToolbar* toolbar_;
};

// The chevron button: an edge while hot or pushed and a double-arrow glyph.
class TTBChevronItemViewer : public TTBItemViewer {
public:
    using TTBItemViewer::TTBItemViewer;
    void CalcSize(TCanvas& canvas, int& width, int& height) override;
    void Paint(TCanvas& canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
};

// The toolbar's view: reports the chevron and the font, and sizes the
// toolbar after a layout of its own.
class TTBToolbarView : public TTBView {
public:
    TTBToolbarView(TTBCustomToolbar* toolbar, TTBCustomItem* root, bool customizing);
    TTBCustomToolbar* Toolbar() const { return toolbar_; }
    void AutoSize(int width, int height) override;
    TTBCustomItem* GetChevronItem() override;
    TFont& GetFont() override;
    void InvalidatePositions() override;

private:
    TTBCustomToolbar* toolbar_;
};

class TTBCustomToolbar : public TTBCustomDockableWindow {
public:
    explicit TTBCustomToolbar(TComponent* owner);
    ~TTBCustomToolbar() override;

    TTBRootItem* Items() const { return items_; }
    TTBToolbarView* View() const { return view_; }
    TTBChevronItem* ChevronItem() const { return chevron_; }

    // --- properties ---
    const std::string& ChevronHint() const { return chevronHint_; }
    void SetChevronHint(const std::string& hint);
    bool ChevronMoveItems() const { return chevronMoveItems_; }
    void SetChevronMoveItems(bool v);
    TTBChevronPriorityForNewItems ChevronPriorityForNewItems() const { return chevronPriority_; }
    void SetChevronPriorityForNewItems(TTBChevronPriorityForNewItems v);
    int FloatingWidth() const { return floatingWidth_; }
    void SetFloatingWidth(int v);
    TCustomImageList* Images() const;
    void SetImages(TCustomImageList* v);
    TTBCustomItem* LinkSubitems() const;
    void SetLinkSubitems(TTBCustomItem* v);
    bool MenuBar() const { return menuBar_; }
    void SetMenuBar(bool v);
    TTBItemOptions Options() const;
    void SetOptions(TTBItemOptions v);
    bool ProcessShortCuts() const { return processShortCuts_; }
    void SetProcessShortCuts(bool v);
    TTBShrinkMode ShrinkMode() const { return shrinkMode_; }
    void SetShrinkMode(TTBShrinkMode v);
    bool SystemFont() const { return systemFont_; }
    void SetSystemFont(bool v);
    bool UpdateActions() const { return updateActions_; }
    void SetUpdateActions(bool v) { updateActions_ = v; }
    TTBShortCutEvent OnShortCut;

    // --- sizes ---
    // Every size the toolbar takes floating, one per distinct layout, from
    // the widest (no wrapping) down.
    void BuildPotentialSizesList(std::vector<SIZE>& list);
    // The wrap width while floating (FloatingWidth, or what sizing chose).
    int FloatingWrapWidth() const { return floatingWrapWidth_; }
    // Lays the view out for where the toolbar is now (dock orientation and
    // length, floating wrap width) and paints it.
    void ApplyLayout();

    // --- keys ---
    // A key offered as a shortcut: OnShortCut, then the items. True when used.
    bool KeyboardShortCut(WORD key, TShiftState shift);
    // Keyboard menu mode: the first item selected (or the one whose
    // accelerator is key) and the menu loop entered.
    void EnterMenuMode(wchar_t key);
    // InitiateAction of every item the view shows (the idle update).
    void InitiateActions();

    // --- dockable window ---
    SIZE CalcBaseSize(TTBDockType type) override;
    void GetMinMaxSize(SIZE& minSize, SIZE& maxSize) override;
    int GetMinShrinkSize() override;
    TTBShrinkMode GetShrinkMode() const override { return shrinkMode_; }
    void SizeChanging(TTBSizeHandle handle, SIZE& size) override;

    void WndProc(TMessage& message) override;
    bool DialogKey(WORD key, TShiftState shift) override;
    bool DialogChar(wchar_t ch, TShiftState shift) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseLeave() override;
    bool HintShow(THintInfo& info) override;
    void Paint(TCanvas& canvas) override;
    const TPropTable& Published() const override;
    // Without the controls of control items and their children: the view
    // decides their order.
    void GetTabOrderList(std::vector<TWinControl*>& list) const override;

protected:
    void Loaded() override;
    void BoundsChanged() override;
    void FontChanged() override;
    void SizeChangedExternally() override;
    void ControlChange(TControl* control, bool inserting) override;

private:
    friend class TTBToolbarView;
    TTBViewOrientation OrientationFor(TTBDockType type) const;
    void LengthsFor(TTBDockType type, int& wrap, int& chevron) const;
    void UpdateShortCutRegistration();
    void UpdateMenuBarHook();
    void AddControlItem(TControl* control);
    bool HasControlItem(const TControl* control) const;
    bool HandleSysCommand(TMessage& m);

    TTBRootItem* items_ = nullptr;
    TTBChevronItem* chevron_ = nullptr;
    TTBToolbarView* view_ = nullptr;
    std::string chevronHint_;
    bool chevronMoveItems_ = true;
    TTBChevronPriorityForNewItems chevronPriority_ = tbcpHighest;
    int floatingWidth_ = 0;
    int floatingWrapWidth_ = 0;
    bool menuBar_ = false;
    bool processShortCuts_ = false;
    TTBShrinkMode shrinkMode_ = tbsmChevron;
    bool systemFont_ = true;
    bool updateActions_ = true;
    bool applying_ = false;
    bool inShortCutList_ = false;
    bool menuBarHooked_ = false;
    std::vector<SIZE> sizingList_;
};

class TTBToolbar : public TTBCustomToolbar {
public:
    explicit TTBToolbar(TComponent* owner) : TTBCustomToolbar(owner) {}
};

// The caption placement of a toolbar's items (the main toolbar's setting):
// 0 the text below the image, 1 the text right of it, 2 the image alone on
// the toolbar while menus (the chevron's too) keep the text. Any other
// value counts as 0.
void SetToolbarCaptionPlacement(TTBCustomToolbar* toolbar, int placement);

// The toolbars that take part in shortcut processing now (ProcessShortCuts
// or MenuBar), in the order they joined.
const std::vector<TTBCustomToolbar*>& ShortCutToolbars();
