// Actions: one command (caption, hint, image, shortcut, enabled and checked
// state, handler) that menus, toolbar items and buttons link to. A change of
// an action's property reaches every linked client through its link; the
// clients take the values over while they are linked. Action lists refresh
// their actions (OnUpdate) when the thread's message queue goes idle, at
// most every 100 ms.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/ShortCut.h"

class TBasicAction;
class TCustomAction;
class TActionList;
class TCustomImageList;

// Connects one client (a menu item, a toolbar item, a control) to an action.
// The client owns the link; the action knows its links and tells them of
// every change. Freeing the link or setting the action to nullptr unlinks.
class TBasicActionLink : public TObject {
public:
    explicit TBasicActionLink(TObject* client) : client_(client) {}
    ~TBasicActionLink() override;
    TBasicActionLink(const TBasicActionLink&) = delete;
    TBasicActionLink& operator=(const TBasicActionLink&) = delete;

    TObject* Client() const { return client_; }
    TBasicAction* Action() const { return action_; }
    virtual void SetAction(TBasicAction* action);

    // Runs the action (with the client's component as ActionComponent);
    // false when there is no action or it ran nothing.
    virtual bool Execute(TComponent* component = nullptr);
    // Asks the action to refresh its state; true when something handled it.
    virtual bool Update();

    // Raised by the action after one of its properties changed (sender the action).
    TNotifyEvent OnChange;

protected:
    // The action changed (the default raises OnChange).
    virtual void Change();

private:
    friend class TBasicAction;
    TObject* client_;
    TBasicAction* action_ = nullptr;
};

// The base of every action: a handler and a state-update handler.
class TBasicAction : public TComponent {
public:
    explicit TBasicAction(TComponent* owner);
    ~TBasicAction() override;

    // Runs the action. The default calls OnExecute; true when it was assigned.
    virtual bool Execute();
    // Refreshes the action's state. The default calls OnUpdate; true when assigned.
    virtual bool Update();

    // The command. Assign it with SetOnExecute so that linked clients that
    // took the handler over follow; a direct assignment reaches Execute only.
    TNotifyEvent OnExecute;
    void SetOnExecute(TNotifyEvent handler);
    TNotifyEvent OnUpdate;

    // The component that ran the action last (set by the link before Execute).
    TComponent* ActionComponent() const { return actionComponent_; }
    void SetActionComponent(TComponent* component);

    int ClientCount() const { return static_cast<int>(clients_.size()); }
    TBasicActionLink* Clients(int index) const { return clients_.at(static_cast<size_t>(index)); }

protected:
    // Something about the action changed: every link's Change runs.
    virtual void Change();
    // The links, a copy taken before a walk (a client may unlink itself).
    std::vector<TBasicActionLink*> ClientSnapshot() const { return clients_; }
    bool IsClient(TBasicActionLink* link) const;
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TBasicActionLink;
    void RegisterChanges(TBasicActionLink* link);
    void UnRegisterChanges(TBasicActionLink* link);

    std::vector<TBasicActionLink*> clients_;
    TComponent* actionComponent_ = nullptr;
};

// An action with the properties a menu item or a button shows.
class TCustomAction : public TBasicAction {
public:
    explicit TCustomAction(TComponent* owner);
    ~TCustomAction() override;

    // Refreshes the state first; runs the handler (through the action list's
    // OnExecute first; without a handler the focused control's ExecuteAction)
    // only when the action is enabled afterwards.
    bool Execute() override;
    // The action list's OnUpdate, else the action's own OnUpdate, else the
    // focused control's UpdateAction; true when one of them handled it. An
    // action nobody updates keeps its state (one without a handler, such as
    // the parent of a submenu, stays enabled).
    bool Update() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int value);
    // Short and long parts separated by "|" (see GetShortHint, GetLongHint).
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);

    // Not shown anywhere: for the program's own use.
    std::string Category;
    int Tag = 0;

    TActionList* ActionList() const { return actionList_; }
    // Moves the action into the list (nullptr: out of its list).
    void SetActionList(TActionList* list);
    // The position in its action list, -1 when in none.
    int Index() const;

    // Asked before a hint of the action is shown: the handler may change the
    // text or say it is not to be shown.
    std::function<void(std::string& hintText, bool& canShow)> OnHint;
    // True when the hint may be shown (after OnHint).
    virtual bool DoHint(std::string& hintText);

private:
    friend class TActionList;
    template <class F>
    void ForEachLink(F f);

    std::string caption_;
    bool checked_ = false;
    bool enabled_ = true;
    int helpContext_ = 0;
    std::string hint_;
    int imageIndex_ = -1;
    TShortCut shortCut_ = 0;
    bool visible_ = true;
    TActionList* actionList_ = nullptr;
};

class TAction : public TCustomAction {
public:
    explicit TAction(TComponent* owner) : TCustomAction(owner) {}
};

// The standard commands of an Edit menu.
enum class TEditCommand { ecCut, ecCopy, ecPaste, ecSelectAll, ecDelete };

// An edit command for whatever control has the focus: without a handler of
// its own it is offered to the focused control (TControl::ExecuteAction and
// UpdateAction), which carries it out and says whether it is enabled; while
// the focused control does not take it on, it is disabled.
class TEditAction : public TAction {
public:
    TEditAction(TComponent* owner, TEditCommand command) : TAction(owner), command_(command) {}
    TEditCommand Command() const { return command_; }
    bool Update() override;

private:
    TEditCommand command_;
};

// The link of a client that shows an action's properties. Each Is...Linked
// tells whether the client takes that property from the action (the base
// says yes whenever the action is a TCustomAction; clients narrow it, for
// example to "the client's value still equals the action's"). The Set...
// operations are called by the action when that property changed; the base
// does nothing: clients override the ones they show and act only while the
// property is linked.
class TActionLink : public TBasicActionLink {
public:
    using TBasicActionLink::TBasicActionLink;

    // The linked action as a TCustomAction (nullptr for a basic action).
    TCustomAction* CustomAction() const;

    virtual bool IsCaptionLinked() const;
    virtual bool IsCheckedLinked() const;
    virtual bool IsEnabledLinked() const;
    virtual bool IsHelpContextLinked() const;
    virtual bool IsHintLinked() const;
    virtual bool IsImageIndexLinked() const;
    virtual bool IsShortCutLinked() const;
    virtual bool IsVisibleLinked() const;
    virtual bool IsOnExecuteLinked() const;

    virtual void SetCaption(const std::string&) {}
    virtual void SetChecked(bool) {}
    virtual void SetEnabled(bool) {}
    virtual void SetHelpContext(int) {}
    virtual void SetHint(const std::string&) {}
    virtual void SetImageIndex(int) {}
    virtual void SetShortCut(TShortCut) {}
    virtual void SetVisible(bool) {}
    virtual void SetOnExecute(const TNotifyEvent&) {}
};

// A list of actions (usually on a form or a data module). It does not own
// them: their owner does.
class TActionList : public TComponent {
public:
    explicit TActionList(TComponent* owner);
    ~TActionList() override;

    int ActionCount() const { return static_cast<int>(actions_.size()); }
    TCustomAction* Actions(int index) const { return actions_.at(static_cast<size_t>(index)); }
    int IndexOf(const TCustomAction* action) const;

    // The images the actions' ImageIndex refers to.
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* images);

    // Offered every action before it runs (or updates); setting handled
    // keeps the action's own handler from running.
    std::function<void(TBasicAction* action, bool& handled)> OnExecute;
    std::function<void(TBasicAction* action, bool& handled)> OnUpdate;
    // Raised when an action was added or removed.
    TNotifyEvent OnChange;

    // OnExecute / OnUpdate of the list for one action; true when handled.
    virtual bool ExecuteAction(TBasicAction* action);
    virtual bool UpdateAction(TBasicAction* action);
    // Refreshes every action of the list (Update of each, in order).
    void UpdateActions();
    // Runs the first action with this shortcut that is enabled after its
    // update; true when one ran.
    bool IsShortCut(TShortCut shortCut);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TCustomAction;
    void AddAction(TCustomAction* action);
    void RemoveAction(TCustomAction* action);

    std::vector<TCustomAction*> actions_;
    TCustomImageList* images_ = nullptr;
};

// A key pressed on a form, offered to the action lists of this thread that
// belong to it: those the form owns and those of no form (a data module's,
// or owned by nothing). True when an action ran.
bool FormActionListsShortCut(const TComponent* form, TShortCut shortCut);
// Runs UpdateActions on every action list of the calling thread now (the
// message loop does it by itself when the queue goes idle).
void UpdateThreadActionLists();
// How many times the idle updates of this thread ran (for tests).
unsigned ActionIdleUpdateCount();
// The least time between two idle updates, in milliseconds.
constexpr DWORD kActionUpdateInterval = 100;
