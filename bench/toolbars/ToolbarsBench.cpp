// Toolbar and menu timings:
//   popup_open_vs_trackpopupmenu  opening a 20-item drop-down of a toolbar (shortcut texts, a
//                                 submenu arrow, no animation) until it is painted and the queue
//                                 is idle, over TrackPopupMenu with the same items until its first
//                                 WM_ENTERIDLE; medians of 25 opens each, taken in turns
//   layout_200_vs_measure         laying out a 200-item toolbar view that hides about 90 % of its
//                                 items behind the chevron, over measuring the 200 captions once
//                                 on the same kind of DC with the same font; medians of rounds
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBPopup.h"
#include "toolbars/TBView.h"
#include "support/BenchSupport.h"

namespace {

const int kOpens = 25;
const int kMenuItems = 20;
const int kLayoutItems = 200;
const int kLayoutRounds = 41;

// Handles what is queued; true when something was.
bool PumpOnce()
{
    bool any = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return any;
}

void PumpIdle()
{
    while (PumpOnce()) {
    }
}

std::string MenuCaption(int i) { return Format("Command number %d\tCtrl+Shift+%c", i + 1, 'A' + i); }

// --- a toolbar of our own ---

class ChevronView : public TTBView {
public:
    ChevronView(TComponent* owner, TTBCustomItem* root, TWinControl* window, TTBCustomItem* chevron)
        : TTBView(owner, nullptr, root, window, true, false, false), chevron_(chevron)
    {
        RecreateAllViewers();
    }
    TTBCustomItem* GetChevronItem() override { return chevron_; }
    TFont& GetFont() override { return ToolbarSystemFont(); }

private:
    TTBCustomItem* chevron_;
};

// A toolbar window that paints its view.
class BarWindow : public TWinControl {
public:
    explicit BarWindow(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 300, 24); }
    TTBView* view = nullptr;
    void WndProc(TMessage& m) override
    {
        if (view && m.Msg == WM_ERASEBKGND) {
            RECT r;
            GetClientRect(Handle(), &r);
            FillRect(reinterpret_cast<HDC>(m.WParam), &r, GetSysColorBrush(COLOR_BTNFACE));
            m.Result = 1;
            return;
        }
        if (view && m.Msg == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = m.WParam ? reinterpret_cast<HDC>(m.WParam) : BeginPaint(Handle(), &ps);
            {
                TCanvas canvas(dc);
                view->DrawSubitems(canvas);
            }
            if (!m.WParam)
                EndPaint(Handle(), &ps);
            m.Result = 0;
            return;
        }
        TWinControl::WndProc(m);
    }
};

// --- TrackPopupMenu ---

double g_idleAt = 0;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_ENTERIDLE && g_idleAt == 0) {
        g_idleAt = Seconds();
        EndMenu();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HMENU MakeSystemMenu()
{
    HMENU menu = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenuW(sub, MF_STRING, 500, L"Inside");
    for (int i = 0; i < kMenuItems; ++i) {
        std::wstring text = Utf8ToWide(MenuCaption(i));
        if (i == kMenuItems / 2)
            AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text.c_str());
        else
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(100 + i), text.c_str());
    }
    return menu;
}

double TimeTrackPopupMenu(HWND owner, HMENU menu, POINT at)
{
    g_idleAt = 0;
    double t0 = Seconds();
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NOANIMATION, at.x, at.y, 0, owner,
                   nullptr);
    double t = g_idleAt > 0 ? g_idleAt - t0 : -1;
    PumpIdle();
    return t;
}

double TimeDropDown(TTBView* bar, TTBItemViewer* button)
{
    double t0 = Seconds();
    bar->Select(button, false);
    bar->OpenPopup(false);
    TTBPopupWindow* w = bar->OpenViewerWindow();
    if (!w)
        return -1;
    UpdateWindow(w->Handle());
    PumpIdle();
    double t = Seconds() - t0;
    bar->CloseChildPopups();
    bar->Select(nullptr, false);
    PumpIdle();
    return t;
}

}  // namespace

int main()
{
    Application().Initialize();

    // --- popup_open_vs_trackpopupmenu ---
    BOOL animation = FALSE;
    SystemParametersInfoW(SPI_GETMENUANIMATION, 0, &animation, 0);
    if (animation)
        std::fprintf(stderr, "toolbars: menu animation is on; the drop-down is opened without it\n");
    auto form = std::make_unique<TForm>(nullptr);
    form->SetBounds(100, 100, 400, 300);
    auto* barWindow = new BarWindow(form.get());
    barWindow->SetParent(form.get());
    auto* root = new TTBRootItem(form.get());
    auto* menuItem = new TTBSubmenuItem(form.get());
    menuItem->SetCaption("&Commands");
    root->Add(menuItem);
    for (int i = 0; i < kMenuItems; ++i) {
        TTBCustomItem* it = i == kMenuItems / 2 ? static_cast<TTBCustomItem*>(new TTBSubmenuItem(form.get()))
                                                : static_cast<TTBCustomItem*>(new TTBItem(form.get()));
        it->SetCaption(MenuCaption(i));
        if (i == kMenuItems / 2) {
            auto* inside = new TTBItem(form.get());
            inside->SetCaption("Inside");
            it->Add(inside);
        }
        menuItem->Add(it);
    }
    auto* bar = new TTBView(form.get(), nullptr, root, barWindow, true, false, false);
    barWindow->view = bar;
    bar->Include(vsNoAnimation);
    form->Show();
    bar->UpdatePositions();
    PumpIdle();
    TTBItemViewer* button = bar->Find(menuItem);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BrenixBenchMenuOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    HMENU systemMenu = MakeSystemMenu();
    RECT br = button->BoundsRect;
    MapWindowPoints(barWindow->Handle(), nullptr, reinterpret_cast<POINT*>(&br), 2);
    POINT at{br.left, br.bottom};

    TimeDropDown(bar, button);   // warm up
    TimeTrackPopupMenu(owner, systemMenu, at);
    std::vector<double> ours, theirs;
    for (int i = 0; i < kOpens; ++i) {
        double a = TimeDropDown(bar, button);
        double b = TimeTrackPopupMenu(owner, systemMenu, at);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "toolbars: a menu did not open (ours %g, system %g)\n", a, b);
            return 1;
        }
        ours.push_back(a);
        theirs.push_back(b);
    }
    double mo = Median(ours), mt = Median(theirs);
    std::printf("popup_open_ms %.3f ms\n", mo * 1000);
    std::printf("trackpopupmenu_open_ms %.3f ms\n", mt * 1000);
    std::printf("popup_open_vs_trackpopupmenu %.3f ratio\n", mo / mt);
    DestroyMenu(systemMenu);
    DestroyWindow(owner);

    // --- layout_200_vs_measure ---
    auto owner2 = std::make_unique<TComponent>(nullptr);
    auto* root2 = new TTBRootItem(owner2.get());
    auto* chevron = new TTBCustomItem(owner2.get());
    chevron->SetItemStyle(chevron->ItemStyle() | isSubmenu | isNoAutoOpen);
    chevron->SetCaption(">>");
    std::vector<std::string> captions;
    for (int i = 0; i < kLayoutItems; ++i) {
        captions.push_back(Format("Item %d", i + 1));
        auto* it = new TTBItem(owner2.get());
        it->SetCaption(captions.back());
        root2->Add(it);
    }
    auto* view = new ChevronView(owner2.get(), root2, nullptr, chevron);
    SIZE full = view->MeasureSize(tbvoHorizontal, 0, 0);
    view->SetChevronWidth(full.cx / 10);
    view->UpdatePositions();
    int hidden = 0;
    for (int i = 0; i < view->ViewerCount(); ++i)
        if (view->Viewers(i)->OffEdge)
            ++hidden;

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldFont = SelectObject(dc, ToolbarSystemFont().Handle());
    auto measureAll = [&] {
        double t0 = Seconds();
        int sum = 0;
        for (const std::string& c : captions) {
            std::wstring w = Utf8ToWide(c);
            SIZE s;
            GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &s);
            sum += s.cx;
        }
        double t = Seconds() - t0;
        return sum > 0 ? t : -1;
    };
    auto relayout = [&] {
        double t0 = Seconds();
        view->InvalidatePositions();
        view->UpdatePositions();
        return Seconds() - t0;
    };
    measureAll();
    relayout();
    std::vector<double> layouts, measures;
    for (int i = 0; i < kLayoutRounds; ++i) {
        layouts.push_back(relayout());
        measures.push_back(measureAll());
    }
    SelectObject(dc, oldFont);
    DeleteDC(dc);
    double ml = Median(layouts), mm = Median(measures);
    std::printf("layout_200_hidden %d items\n", hidden);
    std::printf("layout_200_ms %.3f ms\n", ml * 1000);
    std::printf("measure_200_ms %.3f ms\n", mm * 1000);
    std::printf("layout_200_vs_measure %.3f ratio\n", ml / mm);
    owner2.reset();
    form.reset();
    return 0;
}
