// The theme manager: a non-visual component that makes the standard controls
// of the window layer paint with visual styles. It puts its own window
// procedure on every control of a class it knows, paints what those controls
// would paint classic (backgrounds from the parent, group-box frames, panel
// bevels, buttons and check boxes, status-bar backgrounds, client edges) and
// passes everything else to the control's own procedure.
//
// One manager per process is the main one and does all the work; any other
// only forwards to it and takes over (TM_HANDOVER) when the main one goes.
// Nothing is touched unless the visual-styles service reports ThemesEnabled;
// a control subclassed while themes were on passes every message straight on
// once they are off.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/Component.h"
#include "platform/Control.h"
#include "platform/Screen.h"
#include "platform/WindowSubclass.h"

class TForm;
class TThemeManager;

// Sent to the application window by a main manager that is going, so that
// another manager becomes the main one.
constexpr UINT TM_HANDOVER = 0xBCB2;
// Asked of a control before the manager takes it: a non-zero answer keeps
// the manager away (the list control answers 1).
constexpr UINT TM_DENYSUBCLASSING = 0xB7D0;

enum TThemeOption : unsigned {
    toAllowNonClientArea,
    toAllowControls,
    toAllowWebContent,
    toSubclassAnimate,
    toSubclassButtons,
    toSubclassCheckListbox,
    toSubclassDBLookup,
    toSubclassFrame,
    toSubclassGroupBox,
    toSubclassListView,
    toSubclassPanel,
    toSubclassTabSheet,
    toSubclassSpeedButtons,
    toSubclassSplitter,
    toSubclassStatusBar,
    toSubclassTrackBar,
    toSubclassWinControl,
    toResetMouseCapture,
    toSetTransparency,
    toAlternateTabSheetDraw,
};
// A set of options: bit n is option n.
using TThemeOptions = unsigned;
constexpr TThemeOptions ThemeOptionBit(TThemeOption option) { return 1u << option; }
// Every option but toSubclassAnimate and toAlternateTabSheetDraw.
constexpr TThemeOptions kDefaultThemeOptions = 0x7FFF7;

using TAllowSubclassingEvent = std::function<void(TObject* sender, TControl* control, bool& allow)>;
using TControlMessageEvent =
    std::function<void(TObject* sender, TControl* control, TMessage& message, bool& handled)>;

// The controls of one class that carry the manager's window procedure, with
// what each had before. Kept sorted by control address (sorted again lazily
// after an addition) and searched by bisection; the last control found is
// remembered.
class TWindowProcList {
public:
    using TClassTest = bool (*)(const TWinControl* control);
    // The manager's replacement procedure for the class.
    using TWindowProc = void (TThemeManager::*)(TWindowProcList& list, TWinControl* control, TMessage& message,
                                                const TSubclassNext& next);

    TWindowProcList(TThemeManager* owner, TClassTest serves, TWindowProc proc);
    // Every control gets its own procedure back.
    ~TWindowProcList();
    TWindowProcList(const TWindowProcList&) = delete;
    TWindowProcList& operator=(const TWindowProcList&) = delete;

    TThemeManager* Owner() const { return owner_; }
    // Whether the list serves controls of this one's class (false for the
    // rows of classes the window layer does not have).
    bool Serves(const TWinControl* control) const { return serves_ && serves_(control); }
    int Count() const { return static_cast<int>(entries_.size()); }
    bool Contains(const TComponent* control) { return Find(control) >= 0; }

    // Puts the list's procedure on the control's window (made first when the
    // control can have one). False when there is no window to put it on.
    bool Add(TWinControl* control);
    // Puts the procedure on the control's current window when the entry is
    // on an older one (after the window was made again).
    bool Rehook(TWinControl* control);
    // Gives the control its own procedure back and drops it. Only the
    // address is used: the control may be in its destructor already.
    void Remove(const TComponent* control);
    void Clear();

    // Hands a message to the control's own procedure, noting a re-creation
    // (CM_RECREATEWND) and dropping the control when its window is destroyed
    // other than for a re-creation.
    void DispatchMessage(TWinControl* control, TMessage& message, const TSubclassNext& next);

private:
    struct Entry {
        TWinControl* control;
        HWND window;
        int hookId;
    };
    int Find(const TComponent* control);
    void Hook(Entry& entry);
    static void Unhook(Entry& entry);
    void Forget();

    TThemeManager* owner_;
    TClassTest serves_;
    TWindowProc proc_;
    std::vector<Entry> entries_;
    bool sorted_ = true;
    const TComponent* lastControl_ = nullptr;
    int lastIndex_ = -1;
};

class TThemeManager : public TComponent {
public:
    explicit TThemeManager(TComponent* owner);
    ~TThemeManager() override;

    TThemeOptions Options() const { return options_; }
    // Always applied to the main manager (a secondary one forwards it).
    void SetOptions(TThemeOptions options);
    bool HasOption(TThemeOption option) const { return (options_ & ThemeOptionBit(option)) != 0; }

    // Asked before a control is subclassed; leave allow true to let it happen.
    TAllowSubclassingEvent OnAllowSubclassing;
    // Sees every message of a subclassed control first; handled keeps it
    // from the control.
    TControlMessageEvent OnControlMessage;
    // After a theme change of the desktop was taken in.
    TNotifyEvent OnThemeChange;

    // Listeners see every control message after OnControlMessage, in the
    // order they came, until one handles it. The id removes one.
    int RegisterListener(TControlMessageEvent listener);
    void UnregisterListener(int id);

    bool IsMainManager() const;
    // The number of controls that carry the manager's window procedure.
    int SubclassedCount() const;
    // Whether the control carries the manager's window procedure now.
    bool IsSubclassed(const TControl* control) const;

    // Subclasses the control (and collects its children) or gives it its own
    // procedure back. True when the control is subclassed afterwards.
    virtual bool SubclassControl(TControl* control, bool subclass = true);
    // Subclasses every child of parent, down the whole tree (main manager
    // only).
    void CollectControls(TWinControl* parent);
    // This manager becomes the main one: the previous main one releases its
    // controls, this one collects every form.
    virtual void BecomeMainManager();

protected:
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

    virtual void AddRecreationWindow(TWinControl* control);
    virtual bool DoAllowSubclassing(TControl* control);
    // OnControlMessage, then the listeners; true when one handled it.
    virtual bool DoControlMessage(TControl* control, TMessage& message);
    virtual void DoOnThemeChangeManager();
    // Scrolling controls, grids and rich edits: they erase from their parent.
    // The window layer has none of them yet.
    virtual bool IsScrollingControl(const TWinControl* control) const;

private:
    friend class TWindowProcList;
    enum TRow : int;
    struct TRecreation {
        TWinControl* control;
        bool inProgress;
    };

    void CreateLists();
    TWindowProcList* ListFor(const TWinControl* control) const;
    TWindowProcList* ListHolding(const TComponent* control) const;
    TThemeOption RowOption(int row) const;
    void ReleaseAll();
    void HookApplication();
    void UnhookApplication();
    void AppHook(UINT msg);
    void ProcessPending();
    void FormNotice(TForm* form, TFormNotice notice);
    void QueueForm(TForm* form);
    void CollectForms();
    void FinishRecreation(TWinControl* control);
    bool InRecreation(const TComponent* control) const;
    void RemoveRecreation(const TComponent* control);
    // The control left its list: it is no longer anything of ours.
    void ControlGone(TWinControl* control);
    void ThemeRefresh();
    void SendThemeChanged(TWinControl* control);
    void TransparencyPass(TWinControl* parent);

    // The replacement procedures, one per row of classes.
    void ButtonWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void GroupBoxWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void PanelWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void StatusBarWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void FormWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void WinControlWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void TabSheetWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void CheckListBoxWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void ParentBackgroundWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    void PlainWindowProc(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    // The part every replacement procedure shares: the control-message
    // event, then (themes on) the class's painting, else the saved procedure.
    using TThemedPart = bool (TThemeManager::*)(TWindowProcList& list, TWinControl* c, TMessage& m,
                                                const TSubclassNext& next);
    void RunWindowProc(TThemedPart themed, TWindowProcList& list, TWinControl* c, TMessage& m,
                       const TSubclassNext& next);
    bool ThemedButton(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedGroupBox(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedPanel(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedStatusBar(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedForm(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedWinControl(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedTabSheet(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedCheckListBox(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    // Frames and splitters: the parent's background, then their windowless children.
    bool ThemedParentBackground(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    // Static-text colours and WM_PRINTCLIENT for the controls that hold others.
    bool ThemedContainer(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);
    bool ThemedBackground(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next,
                          const std::function<void(HDC)>& background);
    bool TrackHot(TWindowProcList& list, TWinControl* c, TMessage& m, const TSubclassNext& next);

    TThemeOptions options_ = kDefaultThemeOptions;
    bool secondary_ = true;
    bool appHooked_ = false;
    bool processing_ = false;
    int appHookId_ = 0;
    int formObserverId_ = 0;
    std::vector<std::unique_ptr<TWindowProcList>> lists_;
    struct Listener {
        int id;
        TControlMessageEvent fn;
    };
    std::vector<Listener> listeners_;
    int nextListenerId_ = 1;
    std::vector<TForm*> pendingForms_;
    std::vector<HWND> pendingWindows_;
    std::vector<TRecreation> recreation_;
    HWND hotWindow_ = nullptr;
};

// The manager that does the subclassing (nullptr when there is none).
TThemeManager* MainThemeManager();
