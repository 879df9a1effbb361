// The tray icons of the main window, minimising to the tray and back with
// the system's minimise animation, and the CPU-usage indicator.
#include "Main.h"

#include <shellapi.h>

#include "Classes/CpuUsageThread.h"
#include "Classes/Lang.h"
#include "controls/CoolTrayIcon.h"
#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/Graphics.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"

void TMainForm::CreateTrayIcons()
{
    TIcon appIcon;
    appIcon.LoadFromResourceName("MAINICON", 32);

    TrayImageList = new TCustomImageList(this, 32, 32);
    TrayImageList->SetName("TrayImageList");
    // The flashing cycles between an empty picture and the program's icon.
    {
        TBitmap blank;
        blank.SetSize(32, 32);
        TrayImageList->AddMasked(blank, blank.Pixel(0, 0));
    }
    if (!appIcon.Empty())
        TrayImageList->AddIcon(appIcon);

    CoolTrayIcon1 = new TCoolTrayIcon(this);
    CoolTrayIcon1->SetName("CoolTrayIcon1");
    CoolTrayIcon1->SetIconList(TrayImageList);
    CoolTrayIcon1->SetCycleInterval(400);
    CoolTrayIcon1->SetPopupMenu(TrayPopupMenu);
    CoolTrayIcon1->SetMinimizeToTray(true);
    CoolTrayIcon1->OnMinimizeToTray = [this](TObject*) { CoolTrayIcon1MinimizeToTray(); };
    CoolTrayIcon1->OnClick = [this](TObject*) { CoolTrayIcon1Click(); };
    CoolTrayIcon1->OnDblClick = [](TObject*) {};
    CoolTrayIcon1->OnMouseMove = [this](TObject*, TShiftState, int x, int y) { trayMouse_ = POINT{x, y}; };
    CoolTrayIcon1->OnBalloonHintTimeout = [this](TObject*) { CoolTrayIcon1Click(); };
    CoolTrayIcon1->OnBalloonHintClick = [this](TObject*) { CoolTrayIcon1BalloonHintClick(); };
    if (!appIcon.Empty())
        CoolTrayIcon1->SetIcon(appIcon);
    CoolTrayIcon1->SetHint(Application().Title());
    CoolTrayIcon1->SetIconVisible(true);

    CpuUsageImageList = new TCustomImageList(this, 16, 16);
    CpuUsageImageList->SetName("CpuUsageImageList");
    {
        // Image 0: a dark frame the bars are drawn into.
        TBitmap frame;
        frame.SetSize(16, 16);
        TCanvas& c = frame.Canvas();
        c.SetBrushColor(0xFF00FF);
        c.FillRect(RECT{0, 0, 16, 16});
        c.SetBrushColor(0x202020);
        c.FillRect(RECT{2, 1, 15, 15});
        c.SetBrushColor(0x404040);
        c.FillRect(RECT{3, 2, 14, 14});
        CpuUsageImageList->AddMasked(frame, 0xFF00FF);
        CpuUsageImageList->AddMasked(frame, 0xFF00FF);
    }
    CpuUsageCoolTrayIcon = new TCoolTrayIcon(this);
    CpuUsageCoolTrayIcon->SetName("CpuUsageCoolTrayIcon");
    CpuUsageCoolTrayIcon->SetIconList(CpuUsageImageList);
    CpuUsageCoolTrayIcon->SetPopupMenu(CpuUsagePopupMenu);
    CpuUsageCoolTrayIcon->SetIconIndex(0);
}

void TMainForm::ResetTrayIcon()
{
    if (!CoolTrayIcon1)
        return;
    CoolTrayIcon1->SetCycleIcons(false);
    TIcon appIcon;
    if (appIcon.LoadFromResourceName("MAINICON", 32))
        CoolTrayIcon1->SetIcon(appIcon);
}

void TMainForm::CoolTrayIcon1Click()
{
    ResetTrayIcon();
}

void TMainForm::CoolTrayIcon1BalloonHintClick()
{
    ResetTrayIcon();
    if (minimizedToTray_)
        RestoreNClick();
}

void TMainForm::SetMinimizedToTray(bool on)
{
    minimizedToTray_ = on;
    if (RestoreN)
        RestoreN->Caption = on ? sRestore : sMinimize;
}

void TMainForm::CoolTrayIcon1MinimizeToTray()
{
    CoolTrayIcon1->HideMainForm();
    Application().ProcessMessages();
    AnimateToTray(true);
    SetMinimizedToTray(true);
}

void TMainForm::RestoreNClick()
{
    if (!minimizedToTray_) {
        CoolTrayIcon1MinimizeToTray();
        return;
    }
    AnimateToTray(false);
    CoolTrayIcon1->ShowMainForm();
    // A form that is not the application's main form is shown directly.
    if (Application().MainForm() != this)
        Show();
    SetMinimizedToTray(false);
    // Shown from the tray the window may not hear of its activation: the keys
    // work at once, where they were or in the list.
    if (HandleAllocated() && IsWindowVisible(Handle())) {
        HWND focus = GetFocus();
        if (!focus || focus == Handle() || !IsChild(Handle(), focus))
            RestoreFocus();
    }
}

void TMainForm::AnimateToTray(bool toTray)
{
    if (!HandleAllocated())
        return;
    ANIMATIONINFO ai{};
    ai.cbSize = sizeof ai;
    SystemParametersInfoW(SPI_GETANIMATION, sizeof ai, &ai, 0);
    bool switched = false;
    if (!ai.iMinAnimate) {
        ai.iMinAnimate = 1;
        switched = SystemParametersInfoW(SPI_SETANIMATION, sizeof ai, &ai, SPIF_SENDCHANGE) != 0;
    }
    RECT window{}, tray{};
    GetWindowRect(Handle(), &window);
    bool haveTray = false;
    if (HWND shell = FindWindowW(L"Shell_TrayWnd", nullptr))
        if (HWND notify = FindWindowExW(shell, nullptr, L"TrayNotifyWnd", nullptr))
            haveTray = GetWindowRect(notify, &tray) != 0;
    if (!haveTray) {
        APPBARDATA abd{};
        abd.cbSize = sizeof abd;
        if (SHAppBarMessage(ABM_GETTASKBARPOS, &abd)) {
            int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
            RECT& t = abd.rc;
            if (t.left > 0 || t.top > 0)
                tray = RECT{cx - 32, cy - 32, cx, cy};   // bottom or right
            else if (t.bottom - t.top >= cy && t.right - t.left < cx)
                tray = RECT{0, cy - 32, 32, cy};         // left
            else
                tray = RECT{cx - 32, 0, cx, 32};         // top
            haveTray = true;
        }
    }
    if (haveTray) {
        if (PtInRect(&tray, trayMouse_))
            tray = RECT{trayMouse_.x, trayMouse_.y, trayMouse_.x, trayMouse_.y};
        if (toTray)
            DrawAnimatedRects(Handle(), IDANI_CAPTION, &window, &tray);
        else
            DrawAnimatedRects(Handle(), IDANI_CAPTION, &tray, &window);
    }
    if (switched) {
        ai.iMinAnimate = 0;
        SystemParametersInfoW(SPI_SETANIMATION, sizeof ai, &ai, SPIF_SENDCHANGE);
    }
}

void TMainForm::SetCpuUsageIndicator(bool on)
{
    if (on == cpuIndicatorOn_)
        return;
    if (on) {
        try {
            cpuThread_ = std::make_unique<TCpuUsageThread>(Handle());
        } catch (const std::exception& e) {
            // Reported; the indicator stays off and whoever switched it on goes on.
            AppException(sErrorL_Caption + " " + sCpuUsageCB_Caption + "\r\n" + e.what());
            return;
        }
        cpuIndicatorOn_ = true;
        CpuUsageCoolTrayIcon->SetIconVisible(true);
    } else {
        cpuIndicatorOn_ = false;
        CpuUsageCoolTrayIcon->SetIconVisible(false);
        if (cpuThread_) {
            cpuThread_->SetWaitStep(20);
            cpuThread_->Terminate();
            cpuThread_.reset();
        }
    }
}
