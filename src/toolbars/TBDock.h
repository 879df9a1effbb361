// Docks: strips along a form edge that hold dockable windows (toolbars) in
// rows. A dock keeps the list of its windows, arranges them into rows and
// positions from their DockRow and DockPos, sizes itself to its rows
// (collapsing when empty), draws bound lines and an optional shared
// background, and passes system commands and dialog keys to its toolbars.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/Control.h"
#include "platform/Exceptions.h"
#include "toolbars/TBDockable.h"

class TPopupMenu;

enum TTBDockBoundLine : unsigned { blTop = 1, blBottom = 2, blLeft = 4, blRight = 8 };
using TTBDockBoundLines = unsigned;

// A background pattern shared by docks (and the toolbars on them). Draw
// paints the part `rect` of the pattern; rect is in pattern coordinates, and
// the dock aligns the pattern's origin with its parent's client origin.
class TTBBasicBackground : public TComponent {
public:
    explicit TTBBasicBackground(TComponent* owner) : TComponent(owner) {}
    ~TTBBasicBackground() override;

    virtual void Draw(HDC dc, const RECT& rect) = 0;
    virtual bool UsingBackground() = 0;
    // System colours changed: a pattern made of them is made again.
    virtual void SysColorChanged() {}
    // Change handlers, one per owner (registering again replaces it).
    void RegisterChanges(const void* owner, std::function<void()> handler);
    void UnregisterChanges(const void* owner);

protected:
    // Tells every registered handler that the pattern changed.
    void Changed();

private:
    struct Handler {
        const void* owner;
        std::function<void()> fn;
    };
    std::vector<Handler> handlers_;
};

using TTBInsertRemoveEvent = std::function<void(TObject* sender, bool inserting, TTBCustomDockableWindow* bar)>;
using TTBRequestDockEvent =
    std::function<void(TObject* sender, TTBCustomDockableWindow* bar, bool& accept)>;

class TTBDock : public TWinControl {
public:
    explicit TTBDock(TComponent* owner);
    ~TTBDock() override;

    bool AllowDrag() const { return allowDrag_; }
    void SetAllowDrag(bool value);
    TTBBasicBackground* Background() const { return background_; }
    void SetBackground(TTBBasicBackground* value);
    bool BackgroundOnToolbars() const { return backgroundOnToolbars_; }
    void SetBackgroundOnToolbars(bool value);
    TTBDockBoundLines BoundLines() const { return boundLines_; }
    void SetBoundLines(TTBDockBoundLines value);
    bool FixAlign() const { return fixAlign_; }
    void SetFixAlign(bool value);
    bool LimitToOneRow() const { return limitToOneRow_; }
    void SetLimitToOneRow(bool value);
    TTBDockPosition Position() const { return position_; }
    // Raises EInvalidOperation while the dock holds controls.
    void SetPosition(TTBDockPosition value);
    bool IsVertical() const { return position_ == dpLeft || position_ == dpRight; }
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);

    TTBInsertRemoveEvent OnInsertRemoveBar;
    // Asked by a drag before a window enters this dock; accept starts true.
    TTBRequestDockEvent OnRequestDock;
    std::function<void(TObject* sender, POINT mousePos, bool& handled)> OnContextPopup;

    void SetParent(TWinControl* parent) override;

    // Arrangement is held between BeginUpdate and EndUpdate; the last
    // EndUpdate arranges when one was asked for meanwhile.
    void BeginUpdate();
    void EndUpdate();
    void ArrangeToolbars();

    // A drag of bar begins and may bring it here: every other window of the
    // dock takes the row and position it shows at as its DockRow and
    // DockPos, so that the dragged one goes in among them where the mouse
    // puts it (a window placed automatically has no position to compare).
    void DragBegins(TTBCustomDockableWindow* bar);

    // A window joins (insert) or leaves the dock's list.
    void ChangeDockList(bool insert, TTBCustomDockableWindow* bar);
    // The window's visibility in the dock may have changed.
    void ToolbarVisibilityChanged(TTBCustomDockableWindow* bar, bool forceRemove);

    // Every window that belongs to the dock, and those shown in it.
    const std::vector<TTBCustomDockableWindow*>& DockList() const { return dockList_; }
    const std::vector<TTBCustomDockableWindow*>& DockVisibleList() const { return visibleList_; }
    bool HasVisibleToolbars() const { return !visibleList_.empty(); }
    // The thickness of a row (the thickest window in it); fullSize is set
    // when a full-size window sits in it (and left alone otherwise).
    int GetRowSize(int row, bool& fullSize) const;
    // The highest effective row of the visible windows (-1 when none).
    int GetHighestRow() const;
    // The row whose band holds an offset across the dock's client area;
    // beyond every row: the highest row + 1; before the first: 0.
    int GetRowOf(int offset) const;

    bool UsingBackground() const;
    // Paints the background into dc; rect is in this dock's client coordinates.
    void DrawBackground(HDC dc, const RECT& rect);
    void InvalidateBackgrounds();

    // Extra non-client sizes of the bound lines.
    int NonClientWidth() const { return ncWidth_; }
    int NonClientHeight() const { return ncHeight_; }

    void WndProc(TMessage& message) override;
    bool DialogKey(WORD key, TShiftState shift) override;
    bool DialogChar(wchar_t ch, TShiftState shift) override;

    // For tests: how many passes the last ArrangeToolbars made.
    int LastArrangePasses() const { return lastPasses_; }

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    void BoundsChanged() override;
    void Paint(TCanvas& canvas) override;

private:
    void ArrangePass();
    // Sets the thickness across the dock, keeping the edge on the form's side.
    void SetThickness(int thickness);
    void BackgroundChanged();
    void PaintNonClient(HDC dc);
    void EraseBackground(HDC dc);

    bool allowDrag_ = true;
    TTBBasicBackground* background_ = nullptr;
    bool backgroundOnToolbars_ = true;
    TTBDockBoundLines boundLines_ = 0;
    bool fixAlign_ = false;
    bool limitToOneRow_ = false;
    TTBDockPosition position_ = dpTop;
    TPopupMenu* popupMenu_ = nullptr;

    std::vector<TTBCustomDockableWindow*> dockList_;
    std::vector<TTBCustomDockableWindow*> visibleList_;
    int disableArrange_ = 0;
    bool arrangeNeeded_ = false;
    bool arranging_ = false;
    int lastPasses_ = 0;
    int ncWidth_ = 0, ncHeight_ = 0;
    bool settingSize_ = false;
    int lastLength_ = -1;
};
