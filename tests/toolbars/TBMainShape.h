// A test form shaped like the program's main form: top, left and right
// docks, and in the top dock the main toolbar's shape built with test
// actions: Refresh | Add folder, Edit folder, Delete folder | Service
// (Stop, Restart, Start type (Automatic, Manual, Disabled)) | Settings.
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "platform/Actions.h"
#include "platform/Canvas.h"
#include "platform/Form.h"
#include "platform/Graphics.h"
#include "platform/ImageList.h"
#include "support/TestSupport.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBToolbar.h"

class TMainShapeForm : public TForm {
public:
    explicit TMainShapeForm(int width = 640, int height = 300) : TForm(nullptr)
    {
        SetCaption("Main shape");
        SetBounds(120, 100, width, height);
        // Built as a form resource would be: components see Loaded() at the end.
        BeginLoading();
        actions = new TActionList(this);
        images = new TCustomImageList(this, 16, 16);
        for (COLORREF c : {RGB(255, 0, 0), RGB(0, 160, 0), RGB(0, 0, 255)}) {
            TBitmap b;
            b.SetSize(16, 16);
            b.Canvas().SetBrushColor(c);
            b.Canvas().FillRect(RECT{0, 0, 16, 16});
            images->Add(b);
        }
        top = Dock(dpTop);
        left = Dock(dpLeft);
        right = Dock(dpRight);
        toolbar = new TTBToolbar(this);
        toolbar->SetName("MainTBToolbar");
        toolbar->SetDockMode(dmCannotFloat);
        toolbar->SetCloseButton(false);
        toolbar->SetDockPos(-4);
        toolbar->SetImages(images);
        TTBRootItem* r = toolbar->Items();
        Item(r, "Refresh", "&Refresh", VK_F5, 0);
        Separator(r);
        Item(r, "AddFolder", "&Add folder", VK_INSERT, 1);
        Item(r, "EditFolder", "&Edit folder", 0, 2);
        Item(r, "DeleteFolder", "&Delete folder", VK_DELETE, 0);
        Separator(r);
        service = new TTBSubmenuItem(this);
        service->SetAction(Action("Service", "Ser&vice", 0, 1));
        r->Add(service);
        Item(service, "Stop", "&Stop", 0, -1);
        Item(service, "Restart", "Res&tart", 0, -1);
        startType = new TTBSubmenuItem(this);
        startType->SetCaption("Start &type");
        service->Add(startType);
        Item(startType, "Automatic", "&Automatic", 0, -1);
        Item(startType, "Manual", "&Manual", 0, -1);
        Item(startType, "Disabled", "&Disabled", 0, -1);
        Separator(r);
        Item(r, "Settings", "Se&ttings", 0, 2);
        toolbar->SetParent(top);
        EndLoading();
        top->ChangeDockList(true, toolbar);
        top->ArrangeToolbars();
    }

    TTBDock* Dock(TTBDockPosition p)
    {
        auto* d = new TTBDock(this);
        d->SetPosition(p);
        d->SetParent(this);
        return d;
    }
    TAction* Action(const std::string& name, const std::string& caption, WORD key, int image)
    {
        auto* a = new TAction(this);
        a->SetCaption(caption);
        a->SetImageIndex(image);
        if (key)
            a->SetShortCut(ShortCut(key, 0));
        a->SetOnExecute([this, name](TObject*) { ++runs[name]; });
        a->SetActionList(actions);
        actionsByName[name] = a;
        return a;
    }
    TTBItem* Item(TTBCustomItem* parent, const std::string& name, const std::string& caption, WORD key, int image)
    {
        auto* i = new TTBItem(this);
        i->SetAction(Action(name, caption, key, image));
        parent->Add(i);
        items[name] = i;
        return i;
    }
    void Separator(TTBCustomItem* parent) { parent->Add(new TTBSeparatorItem(this)); }

    // Shows the form in front, pumped until painted.
    void ShowNow()
    {
        Show();
        SetForegroundWindow(Handle());
        testing_support::Pump(80);
    }

    TActionList* actions;
    TCustomImageList* images;
    TTBDock *top, *left, *right;
    TTBToolbar* toolbar;
    TTBSubmenuItem* service;
    TTBSubmenuItem* startType;
    std::map<std::string, TTBItem*> items;
    std::map<std::string, TAction*> actionsByName;
    std::map<std::string, int> runs;
};
