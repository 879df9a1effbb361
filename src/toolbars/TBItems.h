// Toolbar items and item viewers. Every button, menu entry, separator and
// submenu of the toolbar library is an item: a component that owns an ordered
// list of child items, so a toolbar's content and every menu under it form
// one tree. Items hold the data; views (TBView.h) show an item's children
// through one item viewer per child and follow the item's change notices.
// Clicks are never run inside the input handling that made them: they go to
// a per-thread queue (message 0x500 on a hidden window) and run from the
// message loop.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/ShortCut.h"

class TBasicAction;
class TCanvas;
class TControl;
class TCustomImageList;
class TTBCustomItem;
class TTBCustomItemActionLink;
class TTBImageChangeLink;
class TTBItemViewer;
class TTBPopupWindow;
class TTBView;

// Raised by the child-list operations.
class ETBItemError : public Exception {
public:
    using Exception::Exception;
};

// Item options, one bit each; TTBItemOptions is the 16-bit set.
using TTBItemOptions = std::uint16_t;
enum TTBItemOption : TTBItemOptions {
    tboDefault = 0x0001,
    tboDropdownArrow = 0x0002,
    tboImageAboveCaption = 0x0004,
    tboLongHintInMenuOnly = 0x0008,
    tboNoAutoHint = 0x0010,
    tboNoRotation = 0x0020,
    tboSameWidth = 0x0040,
    tboShowHint = 0x0080,
    tboToolbarStyle = 0x0100,
    tboToolbarSize = 0x0200,
};

// Item-kind flags (ItemStyle), one bit each.
using TTBItemStyle = std::uint16_t;
enum TTBItemStyleFlag : TTBItemStyle {
    isSubmenu = 0x0001,           // opens a popup of its own
    isSelectable = 0x0002,
    isSeparator = 0x0004,
    isInlineGroup = 0x0008,       // children shown in the parent's view in its place
    isClickThrough = 0x0010,      // mouse clicks do not select it
    isCombo = 0x0020,             // split button (DropdownCombo)
    isNoAutoOpen = 0x0040,        // hovering does not open its popup
    isSubitemsEditable = 0x0080,
    isNoLineBreak = 0x0100,       // a separator with it is no wrap point
    isRightAlign = 0x0200,        // this and the following items of a row go right
    isNoSelectFirst = 0x0400,     // skipped when a popup selects its first item
    isRedrawOnSelect = 0x0800,
    isRedrawOnHover = 0x1000,
};

enum TTBItemDisplayMode { nbdmDefault, nbdmTextOnly, nbdmTextOnlyInMenus, nbdmImageAndText };

enum TTBItemChangeKind {
    ickInserted,               // 0
    ickDeleting,               // 1
    ickSubitemsChanged,        // 2: LinkSubitems changed
    ickBeginUpdate,            // 3
    ickEndUpdate,              // 4
    ickInvalidate,             // 5
    ickInvalidateAndResize,    // 6
    ickRecreateViewers,        // 7: the views build new viewers for the item
    ickNameChanged,            // 8
    ickSubMenuImagesChanged,   // 9
};

// A change notice: (Ancestor, Relayed, Kind, Index, Item). Relayed is true
// when the notice came up from an inline group or a linked item; Index is -1
// where no index applies.
using TTBItemChangedProc = std::function<void(TTBCustomItem* ancestor, bool relayed,
                                              TTBItemChangeKind kind, int index, TTBCustomItem* item)>;

// OnSelect: the item's viewer became selected (Selecting true) or stopped being so.
using TTBSelectEvent = std::function<void(TTBCustomItem* sender, TTBItemViewer* viewer, bool selecting)>;
// OnPopup: the item's popup opens; FromLink when it opens through a LinkSubitems link.
using TTBPopupEvent = std::function<void(TTBCustomItem* sender, bool fromLink)>;

// OnClick of an item. Plain assignment makes it the item's own handler; the
// action link copies the action's execute handler through CopyFromAction,
// which marks it as the action's, so the item can tell the two apart.
class TTBClickEvent {
public:
    TTBClickEvent& operator=(TNotifyEvent handler)
    {
        handler_ = std::move(handler);
        fromAction_ = false;
        return *this;
    }
    explicit operator bool() const { return static_cast<bool>(handler_); }
    void operator()(TObject* sender) const { handler_(sender); }
    const TNotifyEvent& Handler() const { return handler_; }
    // True while the handler is the one the action link copied.
    bool IsActionHandler() const { return fromAction_ && static_cast<bool>(handler_); }
    void CopyFromAction(TNotifyEvent handler)
    {
        handler_ = std::move(handler);
        fromAction_ = true;
    }

private:
    TNotifyEvent handler_;
    bool fromAction_ = false;
};

// Makes a viewer of an item for a view (an item kind's GetItemViewerClass).
using TTBItemViewerClass = TTBItemViewer* (*)(TTBView* view, TTBCustomItem* item, int groupLevel);
// Makes the popup window of an item's children (GetPopupWindowClass). The
// popup code defines the factories.
using TTBPopupWindowClass = TTBPopupWindow* (*)(TTBCustomItem* item, TTBView* parentView,
                                                TTBItemViewer* parentViewer, bool customizing);

// Alignment of a top-level popup at its point (CreatePopup).
enum TTBPopupAlignment { tbpaLeft = 0, tbpaRight = 1, tbpaCenter = 2 };

class TTBCustomItem : public TComponent {
public:
    explicit TTBCustomItem(TComponent* owner);
    ~TTBCustomItem() override;

    // --- child list ---
    int Count() const { return static_cast<int>(items_.size()); }
    // Index 0..Count-1; any other raises ETBItemError.
    TTBCustomItem* Items(int index) const;
    // Raises ETBItemError when the item has a parent, is this item or one of
    // its ancestors, or the index is outside 0..Count.
    void Insert(int index, TTBCustomItem* item);
    void Add(TTBCustomItem* item) { Insert(Count(), item); }
    // Takes the child out of the list; it is not freed.
    void Delete(int index);
    int IndexOf(const TTBCustomItem* item) const;
    void Remove(TTBCustomItem* item);
    void Move(int curIndex, int newIndex);
    // Frees every child.
    void Clear();
    TTBCustomItem* Parent() const { return parent_; }
    // The component that stands in for the parent (the form designer's), else the parent.
    TComponent* ParentComponent() const;
    void SetParentComponent(TComponent* value);
    // True when item is this item or lies below it.
    bool ContainsItem(const TTBCustomItem* item) const;

    // --- change notification ---
    // A handler is known by its owner: registering the same owner again
    // counts up, unregistering counts down and removes it at zero.
    void RegisterNotification(const void* owner, TTBItemChangedProc handler);
    void UnregisterNotification(const void* owner);
    void Notify(TTBItemChangeKind kind, int index, TTBCustomItem* item);
    // The parent tells its handlers that this item changed (ickInvalidate or
    // ickInvalidateAndResize).
    virtual void Changed(bool needResize);

    // --- properties ---
    TBasicAction* Action() const;
    void SetAction(TBasicAction* action);
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool v) { autoCheck_ = v; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v);
    bool Checked() const { return checked_; }
    void SetChecked(bool v);
    TTBItemDisplayMode DisplayMode() const { return displayMode_; }
    void SetDisplayMode(TTBItemDisplayMode v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int v);
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int v) { helpContext_ = v; }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& v) { hint_ = v; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int v);
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* v);
    bool InheritOptions() const { return inheritOptions_; }
    void SetInheritOptions(bool v);
    TTBItemOptions MaskOptions() const { return maskOptions_; }
    void SetMaskOptions(TTBItemOptions v);
    TTBItemOptions Options() const { return options_; }
    void SetOptions(TTBItemOptions v);
    TTBItemOptions EffectiveOptions() const { return effectiveOptions_; }
    bool RadioItem() const { return radioItem_; }
    void SetRadioItem(bool v);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut v) { shortCut_ = v; }
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    TTBItemStyle ItemStyle() const { return itemStyle_; }
    void SetItemStyle(TTBItemStyle v) { itemStyle_ = v; }
    // Submenu properties (published by TTBSubmenuItem).
    bool DropdownCombo() const { return (itemStyle_ & isCombo) != 0; }
    void SetDropdownCombo(bool v);
    TTBCustomItem* LinkSubitems() const { return linkSubitems_; }
    void SetLinkSubitems(TTBCustomItem* v);
    TCustomImageList* SubMenuImages() const { return subMenuImages_; }
    void SetSubMenuImages(TCustomImageList* v);
    // The items whose children a view shows for this item: the LinkSubitems
    // target when set, else the item itself.
    TTBCustomItem* GetItemsOwner();
    // Items whose LinkSubitems points here.
    const std::vector<TTBCustomItem*>& LinkParents() const { return linkParents_; }

    TTBClickEvent OnClick;
    TTBSelectEvent OnSelect;
    TTBPopupEvent OnPopup;

    // --- virtual operations ---
    // Makes, places and shows the popup window of this item's children
    // (defined with the popup windows). Alignment: TTBPopupAlignment.
    virtual TTBPopupWindow* CreatePopup(TTBView* parentView, TTBItemViewer* parentViewer,
                                        bool positionAsSubmenu, bool selectFirstItem, bool customizing,
                                        POINT popupPoint, int alignment);
    virtual void DoPopup(TTBCustomItem* sender, bool fromLink);
    virtual void EnabledChanged();
    virtual TTBView* GetChevronParentView();
    virtual TTBItemViewerClass GetItemViewerClass(TTBView* view);
    virtual TTBPopupWindowClass GetPopupWindowClass();
    virtual bool NeedToRecreateViewer(TTBItemViewer* viewer);
    virtual void Click();
    // Asks the action link to update the action (so it refreshes Enabled,
    // Visible...).
    virtual void InitiateAction();

    // --- shortcuts ---
    // A key message (WM_KEYDOWN / WM_SYSKEYDOWN) that matches an item's
    // ShortCut below this item clicks it (opening the popups on the way as if
    // they were shown). False when nothing matched or the item is disabled.
    bool IsShortCut(const MSG& keyMessage);
    bool IsShortCut(WORD key, TShiftState shift);
    // The item below this one with the shortcut; topLevel receives the child
    // of this item's items owner under which it was found.
    TTBCustomItem* FindItemWithShortCut(TShortCut shortCut, TTBCustomItem** topLevel = nullptr);
    // Text after a tab in the caption, else ShortCut as text, else empty.
    std::string GetShortCutText() const;

    // Unchecks the other children of the parent with the same GroupIndex.
    void TurnSiblingsOff();
    // Recomputes EffectiveOptions from the parent and the own option sets.
    void RefreshOptions();

    // The action link (nullptr when no action is set).
    TTBCustomItemActionLink* ActionLink() const { return actionLink_.get(); }
    // The action's properties copied onto the item; CheckDefaults copies
    // only onto values that are still at their default. The action's
    // execute handler takes the place of an OnClick of the item's own only
    // when the action is being linked, never when it merely changed.
    virtual void ActionChange(TBasicAction* sender, bool checkDefaults);

    // Renames the component; the parent tells its views (ickNameChanged).
    void SetName(const std::string& name);

protected:
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TTBCustomItemActionLink;
    friend class TTBImageChangeLink;
    struct TNoticeRecord {
        const void* owner;
        TTBItemChangedProc proc;
        int refCount;
    };
    void NotifyLevel(TTBItemChangeKind kind, int index, TTBCustomItem* item, int level,
                     TTBCustomItem* ancestor);
    void ImageListChanged(TTBImageChangeLink* link);
    bool SetImageLink(std::unique_ptr<TTBImageChangeLink>& link, TCustomImageList*& field,
                      TCustomImageList* value);
    void DestroyActionLink();
    void ExecuteAction();
    TTBCustomItem* FindShortCutDepth(TShortCut shortCut, TTBCustomItem** topLevel, int depth);
    bool IsShortCutDepth(TShortCut shortCut);

    TTBCustomItem* parent_ = nullptr;
    TComponent* parentComponent_ = nullptr;
    std::vector<TTBCustomItem*> items_;
    std::vector<TTBCustomItem*> linkParents_;
    std::vector<std::shared_ptr<TNoticeRecord>> notices_;
    std::unique_ptr<TTBCustomItemActionLink> actionLink_;
    bool linkingAction_ = false;   // SetAction is copying the new action
    std::unique_ptr<TTBImageChangeLink> imagesLink_;
    std::unique_ptr<TTBImageChangeLink> subMenuImagesLink_;

    std::string caption_;
    std::string hint_;
    bool autoCheck_ = false;
    bool checked_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    bool inheritOptions_ = true;
    bool radioItem_ = false;
    TTBItemDisplayMode displayMode_ = nbdmDefault;
    int groupIndex_ = 0;
    int helpContext_ = 0;
    int imageIndex_ = -1;
    TCustomImageList* images_ = nullptr;
    TCustomImageList* subMenuImages_ = nullptr;
    TTBCustomItem* linkSubitems_ = nullptr;
    TTBItemOptions maskOptions_ = 0;
    TTBItemOptions options_ = 0;
    TTBItemOptions effectiveOptions_ = 0;
    TShortCut shortCut_ = 0;
    TTBItemStyle itemStyle_ = isSelectable | isRedrawOnSelect | isRedrawOnHover;
};

// The invisible root item of a toolbar or popup menu.
class TTBRootItem : public TTBCustomItem {
public:
    explicit TTBRootItem(TComponent* owner) : TTBCustomItem(owner) {}
};

// A plain clickable item.
class TTBItem : public TTBCustomItem {
public:
    explicit TTBItem(TComponent* owner) : TTBCustomItem(owner) {}
};

// An item with a drop-down submenu.
class TTBSubmenuItem : public TTBCustomItem {
public:
    explicit TTBSubmenuItem(TComponent* owner);
};

// A separator line; Blank draws nothing.
class TTBSeparatorItem : public TTBCustomItem {
public:
    explicit TTBSeparatorItem(TComponent* owner);
    bool Blank() const { return blank_; }
    void SetBlank(bool v);
    TTBItemViewerClass GetItemViewerClass(TTBView* view) override;

private:
    bool blank_ = false;
};

// Places a control of the window layer into a toolbar. The control is freed
// with the item unless DontFreeControl is set; when it is freed elsewhere,
// Control becomes nullptr.
class TTBControlItem : public TTBCustomItem {
public:
    explicit TTBControlItem(TComponent* owner);
    ~TTBControlItem() override;
    TControl* Control() const { return control_; }
    void SetControl(TControl* control);
    bool DontFreeControl = false;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TControl* control_ = nullptr;
};

// --- per-thread click queue ---
// Queues a click of an item (its Click runs) or of a viewer (its PostedClick
// runs with flag) for this thread's message loop.
void QueueClick(TObject* object, int flag);
// A queued click of the object that has not run yet does nothing.
void RemoveFromClickQueue(TObject* object);
// The message the queue's hidden window receives.
constexpr UINT WM_TB_CLICKQUEUE = WM_USER + 256;

// --- item viewers ---

// The presentation of one item in one view. A viewer is owned by its view.
class TTBItemViewer : public TObject {
public:
    TTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel);
    ~TTBItemViewer() override;
    TTBItemViewer(const TTBItemViewer&) = delete;
    TTBItemViewer& operator=(const TTBItemViewer&) = delete;

    // Bounds in the view's client coordinates.
    RECT BoundsRect{};
    bool Clipped = false;          // cut off at the view's edge
    bool OffEdge = false;          // beyond the edge, not drawn
    bool Show = false;             // takes part in layout and painting
    bool NeedsInvalidate = false;  // a repaint was asked for
    bool LineBreak = false;        // the layout broke the row here
    int GroupLevel() const { return groupLevel_; }
    TTBCustomItem* Item() const { return item_; }
    TTBView* View() const { return view_; }

    // --- virtual operations ---
    // Size for the layout; width and height come in as 0 and go out as the size.
    virtual void CalcSize(TCanvas& canvas, int& width, int& height);
    // Records the item as the root view's done action (ending the loop).
    virtual bool DoExecute();
    virtual void DrawItemCaption(TCanvas& canvas, RECT rect, const std::string& caption, bool embossed,
                                 UINT format);
    virtual void Entering();
    virtual int GetAccRole();
    virtual std::string GetAccValue();
    // Caption up to the first tab.
    virtual std::string GetCaptionText();
    virtual void GetCursor(POINT pt, HCURSOR& cursor);
    virtual bool IsPtInButtonPart(int x, int y);
    virtual void KeyDown(WORD& key, TShiftState shift);
    virtual void Leaving();
    virtual void LosingCapture();
    virtual void MouseDown(TShiftState shift, int x, int y, bool& mouseDownOnMenu);
    virtual void MouseMove(int x, int y);
    virtual void MouseUp(int x, int y, bool mouseWasDownOnMenu);
    virtual void MouseWheel(int delta, int x, int y);
    // The canvas comes with the view's font (and colour); BrushColor is the
    // selection fill, CLR_NONE for none.
    virtual void Paint(TCanvas& canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
                       bool useDisabledShadow);
    virtual bool UsesSameWidth();
    virtual bool CaptionShown();
    // A click queued with this viewer as its object.
    virtual void PostedClick(int flag);

    // --- queries ---
    bool IsToolbarStyle();
    bool IsToolbarSize();
    bool IsRotated();
    bool ImageShown();
    TCustomImageList* GetImageList();
    bool IsShownOrClipped() const { return Show || OffEdge || Clipped; }
    // The text a hint shows for the item (short hint, else the caption).
    std::string GetHintText();
    // The long hint ("|" splits short from long).
    std::string GetLongHintText();
    // Runs DoExecute; with givePriority the view keeps the item longest
    // before the chevron.
    void Execute(bool givePriority);
    // The accelerator of the caption (the whole character after "&", empty
    // when none) and its first character; compare them with SameAccelChar
    // (TBCommon.h): UTF-16, without case.
    std::wstring AccelChar();
    std::wstring FirstChar();

protected:
    TTBView* view_;
    TTBCustomItem* item_;
    int groupLevel_;
};

class TTBSeparatorItemViewer : public TTBItemViewer {
public:
    using TTBItemViewer::TTBItemViewer;
    void CalcSize(TCanvas& canvas, int& width, int& height) override;
    void Paint(TCanvas& canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;
    bool UsesSameWidth() override { return false; }
};

// Viewer factories for GetItemViewerClass.
TTBItemViewer* NewTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel);
TTBItemViewer* NewTBSeparatorItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel);

// Accessibility roles (GetAccRole).
constexpr int TB_ROLE_CLIENT = 10;
constexpr int TB_ROLE_MENUITEM = 12;
constexpr int TB_ROLE_SEPARATOR = 21;
constexpr int TB_ROLE_PUSHBUTTON = 43;
constexpr int TB_ROLE_BUTTONMENU = 57;
