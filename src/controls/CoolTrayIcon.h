// An icon in the notification area: mouse activity on it as events (a click
// waits for a possible double click), icon cycling through an image list,
// balloon tips, hiding the main form to the tray on minimise, and adding the
// icon again when the taskbar is re-created. All icons share one hidden
// window that receives the shell's callback messages.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Graphics.h"

class TChangeLink;
class TCustomImageList;
class TPopupMenu;
class TSimpleTimer;

// The callback message the shell sends for our icons.
const UINT WM_TRAYNOTIFY = WM_USER + 0x400;

using TCycleEvent = std::function<void(TObject* sender, int nextIndex)>;
using TStartupEvent = std::function<void(TObject* sender, bool& showMainForm)>;

class TCoolTrayIcon : public TComponent {
public:
    explicit TCoolTrayIcon(TComponent* owner);
    ~TCoolTrayIcon() override;

    bool DesignPreview() const { return designPreview_; }
    void SetDesignPreview(bool preview) { designPreview_ = preview; }
    TCustomImageList* IconList() const { return iconList_; }
    void SetIconList(TCustomImageList* list);
    bool CycleIcons() const { return cycleIcons_; }
    void SetCycleIcons(bool cycle);
    DWORD CycleInterval() const { return cycleInterval_; }
    void SetCycleInterval(DWORD interval);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);
    TIcon& Icon() { return icon_; }
    // Copies the picture (without a change notice in between), then updates the shown icon.
    void SetIcon(const TIcon& icon);
    bool IconVisible() const { return iconVisible_; }
    void SetIconVisible(bool visible);
    int IconIndex() const { return iconIndex_; }
    void SetIconIndex(int index);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* menu);
    bool LeftPopup() const { return leftPopup_; }
    void SetLeftPopup(bool left) { leftPopup_ = left; }
    bool WantEnterExitEvents() const { return wantEnterExit_; }
    void SetWantEnterExitEvents(bool want);
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetMinimizeToTray(bool minimize) { minimizeToTray_ = minimize; }
    int NotifyVersion() const { return notifyVersion_; }
    void SetNotifyVersion(int version);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TCycleEvent OnCycle;
    TNotifyEvent OnBalloonHintShow;
    TNotifyEvent OnBalloonHintHide;
    TNotifyEvent OnBalloonHintTimeout;
    TNotifyEvent OnBalloonHintClick;
    TNotifyEvent OnMinimizeToTray;
    TStartupEvent OnStartup;

    // Whether a design-time preview with an empty Icon shows the system's
    // application icon. Forms here are built in code and never designed
    // (nothing sets csDesigning), so the preview and this answer only keep
    // their place for descendants; at run time they change nothing.
    virtual bool LoadDefaultIcon() { return true; }
    virtual bool ShowIcon();
    virtual bool HideIcon();
    virtual bool ModifyIcon();

    // iconType: 0 none, 1 information, 2 warning, 3 error. The title is cut to
    // 63 characters, the text to 255. A balloon already shown is replaced.
    bool ShowBalloonHint(const std::string& title, const std::string& text, int iconType, BYTE timeoutSecs);
    bool HideBalloonHint();
    void ShowMainForm();
    void HideMainForm();

    // The window the shell sends our callbacks to (nullptr while no icon exists).
    static HWND HandlerWindow();
    // Sees every record handed to the shell, after the real call (tests read
    // the hint and balloon texts back through it).
    using TShellObserver = std::function<void(DWORD message, const NOTIFYICONDATAW& data, BOOL result)>;
    static void SetShellObserver(TShellObserver observer);

protected:
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

    virtual void Click();
    virtual void DblClick();
    virtual void CycleIcon(int nextIndex);
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseEnter();
    virtual void MouseExit();
    virtual void DoMinimizeToTray();

private:
    friend class TTrayIconHandler;
    bool InitIcon();
    bool Notify(DWORD message);
    void IconChanged();
    void HandleTrayMessage(LPARAM code);
    void PopupAtCursor();
    void CycleTimerTick();
    // The list's images as icons while cycling, made once and shown in turn
    // (a new icon at every step costs the shell a new picture each time).
    void MakeCycleImages();
    void FreeCycleImages();
    void ListChanged();
    // Puts image index of the list into Icon.
    void ShowImage(int index);
    void ClickTimerTick();
    void ExitTimerTick();
    bool AppWindowHook(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OwnerFormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    bool TryMinimizeToTray();
    void HideTaskbarIcon();
    bool OwnerIsWindowed() const;

    bool designPreview_ = false;
    TCustomImageList* iconList_ = nullptr;
    bool cycleIcons_ = false;
    DWORD cycleInterval_ = 0;
    bool enabled_ = true;
    std::string hint_;
    bool showHint_ = true;
    TIcon icon_;
    bool iconVisible_ = false;
    int iconIndex_ = 0;
    TPopupMenu* popupMenu_ = nullptr;
    bool leftPopup_ = false;
    bool wantEnterExit_ = false;
    bool minimizeToTray_ = false;

    UINT iconIdent_;
    bool leftDownPending_ = false;
    bool clickPending_ = false;
    bool doubleClicked_ = false;
    TSimpleTimer* cycleTimer_ = nullptr;
    std::vector<HICON> cycleImages_;
    std::unique_ptr<TChangeLink> listLink_;
    TSimpleTimer* clickTimer_ = nullptr;
    TSimpleTimer* exitTimer_ = nullptr;
    POINT lastMovePos_ = {0, 0};
    bool mouseAway_ = true;
    int notifyVersion_ = 0;
    bool previewChanging_ = false;
    bool startupCheckPending_ = true;
    bool inPopup_ = false;
    int appHookId_ = 0;
    HWND ownerWindow_ = nullptr;
    int ownerHookId_ = 0;
    NOTIFYICONDATAW record_;
};
