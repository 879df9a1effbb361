// Toolbar items: the child list, option inheritance, notices, groups,
// actions and the click queue.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Actions.h"
#include "platform/ImageList.h"
#include "platform/StdCtrls.h"
#include "support/TestSupport.h"
#include "toolbars/TBItems.h"

namespace {

// Items owned by one component, freed with it.
struct ItemsOwner {
    std::unique_ptr<TComponent> owner = std::make_unique<TComponent>(nullptr);
    template <class T = TTBItem>
    T* Make(const std::string& caption = std::string())
    {
        T* i = new T(owner.get());
        i->SetCaption(caption);
        return i;
    }
};

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ETBItemError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(TBItems, IndexOutsideTheListRaises)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    root->Add(o.Make("a"));
    root->Add(o.Make("b"));
    EXPECT_EQ("b", root->Items(1)->Caption());
    EXPECT_EQ("Toolbar item index out of range", ErrorOf([&] { root->Items(root->Count()); }));
    EXPECT_EQ("Toolbar item index out of range", ErrorOf([&] { root->Items(-1); }));
    EXPECT_EQ("Toolbar item index out of range", ErrorOf([&] { root->Insert(3, o.Make("c")); }));
    // Insert at Count is allowed.
    auto* d = o.Make("d");
    root->Insert(root->Count(), d);
    EXPECT_EQ(2, root->IndexOf(d));
}

TEST(TBItems, SecondParentRaisesAndLeavesBothListsAlone)
{
    ItemsOwner o;
    auto* p1 = o.Make<TTBSubmenuItem>();
    auto* p2 = o.Make<TTBSubmenuItem>();
    auto* x = o.Make("x");
    p1->Add(x);
    EXPECT_EQ("Toolbar item already inserted", ErrorOf([&] { p2->Add(x); }));
    EXPECT_EQ(1, p1->Count());
    EXPECT_EQ(0, p2->Count());
    EXPECT_EQ(p1, x->Parent());
}

TEST(TBItems, ItemIntoItselfOrItsDescendantRaises)
{
    ItemsOwner o;
    auto* a = o.Make<TTBSubmenuItem>();
    auto* b = o.Make<TTBSubmenuItem>();
    auto* c = o.Make<TTBSubmenuItem>();
    a->Add(b);
    b->Add(c);
    EXPECT_NE("(no error)", ErrorOf([&] { a->Add(a); }));
    EXPECT_NE("(no error)", ErrorOf([&] { c->Add(a); }));
    EXPECT_EQ(0, c->Count());
    EXPECT_EQ(nullptr, a->Parent());
}

}  // namespace

namespace {

// Every notice an item sends, as text "kind:index:item-caption[:relayed]".
struct NoticeLog {
    std::vector<std::string> lines;
    std::vector<TTBCustomItem*> items;
    NoticeLog() = default;
    NoticeLog(const NoticeLog&) = delete;
    ~NoticeLog()
    {
        for (TTBCustomItem* i : items)
            i->UnregisterNotification(this);
    }
    void Attach(TTBCustomItem* item)
    {
        items.push_back(item);
        item->RegisterNotification(this, [this](TTBCustomItem*, bool relayed, TTBItemChangeKind kind, int index,
                                                TTBCustomItem* it) {
            std::string s = std::to_string(static_cast<int>(kind)) + ":" + std::to_string(index) + ":" +
                            (it ? it->Caption() : std::string("-"));
            if (relayed)
                s += ":relayed";
            lines.push_back(s);
        });
    }
};

TEST(TBItems, ToolbarSizeWithoutToolbarStyleIsDropped)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    auto* a = o.Make("a");
    root->Add(a);
    a->SetOptions(tboToolbarSize | tboShowHint);
    EXPECT_EQ(tboShowHint, a->Options());
    EXPECT_EQ(tboShowHint, a->EffectiveOptions());
    a->SetOptions(tboToolbarSize | tboToolbarStyle);
    EXPECT_EQ(tboToolbarSize | tboToolbarStyle, a->EffectiveOptions());
    // Inherited: masking the style away takes the size with it.
    auto* b = o.Make("b");
    a->Add(b);
    EXPECT_EQ(tboToolbarSize | tboToolbarStyle, b->EffectiveOptions());
    b->SetMaskOptions(tboToolbarStyle);
    EXPECT_EQ(0, b->EffectiveOptions());
    // tboDefault is never inherited.
    a->SetOptions(tboDefault);
    b->SetMaskOptions(0);
    EXPECT_EQ(tboDefault, a->EffectiveOptions());
    EXPECT_EQ(0, b->EffectiveOptions());
}

TEST(TBItems, OptionChangesNotifyOnlyWhenTheyShow)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    auto* a = o.Make("a");
    root->Add(a);
    a->SetOptions(tboImageAboveCaption);
    NoticeLog log;
    log.Attach(root);
    a->SetOptions(0);
    EXPECT_EQ(std::vector<std::string>{"6:-1:a"}, log.lines);   // ickInvalidateAndResize
    log.lines.clear();
    a->SetOptions(tboShowHint);
    a->SetOptions(0);
    EXPECT_TRUE(log.lines.empty());
    // Children that inherit follow a parent's change.
    auto* sub = o.Make<TTBSubmenuItem>("sub");
    auto* child = o.Make("child");
    root->Add(sub);
    sub->Add(child);
    log.lines.clear();
    sub->SetOptions(tboDropdownArrow);
    EXPECT_EQ(tboDropdownArrow, child->EffectiveOptions());
    EXPECT_EQ(std::vector<std::string>{"6:-1:sub"}, log.lines);
    child->SetInheritOptions(false);
    EXPECT_EQ(0, child->EffectiveOptions());
}

TEST(TBItems, ChildListNotices)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    NoticeLog log;
    log.Attach(root);
    auto* a = o.Make("a");
    auto* b = o.Make("b");
    root->Add(a);
    root->Add(b);
    root->Move(1, 0);
    EXPECT_EQ(b, root->Items(0));
    root->Remove(a);
    std::vector<std::string> want = {"3:-1:-", "0:0:a", "4:-1:-", "3:-1:-", "0:1:b", "4:-1:-",
                                     "3:-1:-", "1:1:b", "3:-1:-", "0:0:b",  "4:-1:-", "4:-1:-",
                                     "1:1:a"};
    EXPECT_EQ(want, log.lines);
    EXPECT_EQ(nullptr, a->Parent());
    EXPECT_EQ(1, root->Count());
    // Deleting a child frees nothing; freeing one takes it out of its parent.
    delete b;
    EXPECT_EQ(0, root->Count());
}

TEST(TBItems, NoticesRelayThroughInlineGroupsAndLinks)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>("root");
    auto* group = o.Make<TTBCustomItem>("group");
    group->SetItemStyle(group->ItemStyle() | isInlineGroup);
    root->Add(group);
    auto* linker = o.Make<TTBSubmenuItem>("linker");
    auto* shared = o.Make<TTBSubmenuItem>("shared");
    linker->SetLinkSubitems(shared);
    NoticeLog rootLog, linkerLog;
    rootLog.Attach(root);
    linkerLog.Attach(linker);
    group->Add(o.Make("g1"));
    EXPECT_EQ((std::vector<std::string>{"3:-1:-:relayed", "0:0:g1:relayed", "4:-1:-:relayed"}), rootLog.lines);
    shared->Add(o.Make("s1"));
    EXPECT_EQ((std::vector<std::string>{"3:-1:-:relayed", "0:0:s1:relayed", "4:-1:-:relayed"}),
              linkerLog.lines);
    // A link to itself is stored as none.
    shared->SetLinkSubitems(shared);
    EXPECT_EQ(nullptr, shared->LinkSubitems());
    // A freed target leaves no link behind.
    delete shared;
    EXPECT_EQ(nullptr, linker->LinkSubitems());
}

TEST(TBItems, HandlersMayUnregisterOthersOrFreeTheItem)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    int first = 0, second = 0, third = 0;
    int dummy1 = 0, dummy2 = 0, dummy3 = 0;
    root->RegisterNotification(&dummy1, [&](TTBCustomItem*, bool, TTBItemChangeKind, int, TTBCustomItem*) {
        ++first;
        root->UnregisterNotification(&dummy2);
    });
    root->RegisterNotification(&dummy2, [&](TTBCustomItem*, bool, TTBItemChangeKind, int, TTBCustomItem*) {
        ++second;
    });
    root->RegisterNotification(&dummy3, [&](TTBCustomItem*, bool, TTBItemChangeKind, int, TTBCustomItem*) {
        ++third;
    });
    root->Notify(ickInvalidate, -1, nullptr);
    EXPECT_EQ(1, first);
    EXPECT_EQ(0, second);
    EXPECT_EQ(1, third);
    // The same owner twice counts up: one unregistration leaves it in place.
    root->RegisterNotification(&dummy3, nullptr);
    root->UnregisterNotification(&dummy3);
    root->Notify(ickInvalidate, -1, nullptr);
    EXPECT_EQ(2, third);

    // A handler that frees the item: nothing after it runs, nothing crashes.
    auto* victim = o.Make<TTBSubmenuItem>("victim");
    auto* child = o.Make("child");
    victim->Add(child);
    int after = 0;
    victim->RegisterNotification(&dummy1, [&](TTBCustomItem*, bool, TTBItemChangeKind kind, int, TTBCustomItem*) {
        if (kind == ickInvalidate)
            delete victim;
    });
    victim->RegisterNotification(&dummy2, [&](TTBCustomItem*, bool, TTBItemChangeKind kind, int, TTBCustomItem*) {
        if (kind == ickInvalidate)
            ++after;
    });
    std::weak_ptr<void> alive = victim->AliveToken();
    std::weak_ptr<void> childAlive = child->AliveToken();
    child->SetChecked(true);   // ickInvalidate from the parent
    EXPECT_TRUE(alive.expired());
    EXPECT_TRUE(childAlive.expired());
    EXPECT_EQ(0, after);
}

TEST(TBItems, GroupKeepsOneChecked)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    auto* a = o.Make("a");
    auto* b = o.Make("b");
    auto* c = o.Make("c");
    auto* loose = o.Make("loose");
    for (auto* i : {a, b, c, loose})
        root->Add(i);
    a->SetGroupIndex(1);
    b->SetGroupIndex(1);
    c->SetGroupIndex(2);
    loose->SetChecked(true);
    a->SetChecked(true);
    c->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_TRUE(c->Checked());       // another group
    EXPECT_TRUE(loose->Checked());   // GroupIndex 0 never unchecks
    // Moving a checked item into the group turns the group's other one off.
    c->SetGroupIndex(1);
    EXPECT_FALSE(b->Checked());
    EXPECT_TRUE(c->Checked());
    // AutoCheck toggles on a click.
    a->SetAutoCheck(true);
    a->Click();
    EXPECT_TRUE(a->Checked());
    EXPECT_FALSE(c->Checked());
}

TEST(TBItems, OwnOnClickBeatsTheAction)
{
    ItemsOwner o;
    auto* action = new TAction(o.owner.get());
    action->SetCaption("&Refresh");
    action->SetShortCut(ShortCut(VK_F5, 0));
    action->SetHint("Refresh|Reads every folder again");
    int ran = 0, own = 0;
    action->SetOnExecute([&](TObject*) { ++ran; });
    auto* item = o.Make();
    item->SetAction(action);
    EXPECT_EQ("&Refresh", item->Caption());
    EXPECT_EQ(ShortCut(VK_F5, 0), item->ShortCut());
    EXPECT_EQ("F5", item->GetShortCutText());
    EXPECT_TRUE(item->OnClick.IsActionHandler());
    item->Click();
    EXPECT_EQ(1, ran);
    item->OnClick = [&](TObject* s) {
        EXPECT_EQ(item, s);
        ++own;
    };
    EXPECT_FALSE(item->OnClick.IsActionHandler());
    item->Click();
    EXPECT_EQ(1, ran);
    EXPECT_EQ(1, own);
    // The action's changes reach the item while the property is linked.
    action->SetEnabled(false);
    EXPECT_FALSE(item->Enabled());
    item->Click();   // disabled: nothing
    EXPECT_EQ(1, own);
    action->SetEnabled(true);
    item->SetCaption("Mine");
    action->SetCaption("&Again");
    EXPECT_EQ("&Again", item->Caption());   // any change of the action copies every property
    // ... but the item's own handler stays its own.
    EXPECT_FALSE(item->OnClick.IsActionHandler());
    item->Click();
    EXPECT_EQ(1, ran);
    EXPECT_EQ(2, own);
    // No action: the item's own handler.
    item->SetAction(nullptr);
    item->OnClick = [&](TObject*) { ++own; };
    item->Click();
    EXPECT_EQ(3, own);
    // A freed action leaves the item unlinked.
    item->SetAction(action);
    delete action;
    EXPECT_EQ(nullptr, item->Action());
}

TEST(TBItems, QueuedClickRunsFromTheLoopAndNotAfterTheItemIsFreed)
{
    ItemsOwner o;
    auto* kept = o.Make("kept");
    auto* freed = o.Make("freed");
    std::vector<std::string> clicks;
    kept->OnClick = [&](TObject*) { clicks.push_back("kept"); };
    freed->OnClick = [&](TObject*) { clicks.push_back("freed"); };
    QueueClick(freed, 0);
    QueueClick(kept, 0);
    EXPECT_TRUE(clicks.empty());   // nothing runs inside the call
    delete freed;
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !clicks.empty(); }, 20000))
        << "the queued click of the kept item did not run within 20 s";
    testing_support::Pump(50);
    EXPECT_EQ(std::vector<std::string>{"kept"}, clicks);
}

TEST(TBItems, ShortCutsClickThroughSubmenusAndStopOnLinkCycles)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    auto* file = o.Make<TTBSubmenuItem>("File");
    auto* more = o.Make<TTBSubmenuItem>("More");
    auto* deep = o.Make("Deep");
    root->Add(file);
    file->Add(more);
    more->Add(deep);
    deep->SetShortCut(ShortCut('D', ssCtrl));
    std::vector<std::string> events;
    file->OnPopup = [&](TTBCustomItem*, bool) { events.push_back("popup File"); };
    more->OnPopup = [&](TTBCustomItem*, bool) { events.push_back("popup More"); };
    deep->OnClick = [&](TObject*) { events.push_back("click Deep"); };
    TTBCustomItem* top = nullptr;
    EXPECT_EQ(deep, root->FindItemWithShortCut(ShortCut('D', ssCtrl), &top));
    EXPECT_EQ(file, top);
    EXPECT_TRUE(root->IsShortCut('D', ssCtrl));
    EXPECT_EQ((std::vector<std::string>{"popup File", "popup More", "click Deep"}), events);
    EXPECT_FALSE(root->IsShortCut('E', ssCtrl));
    // A disabled submenu on the way stops it.
    more->SetEnabled(false);
    events.clear();
    EXPECT_FALSE(root->IsShortCut('D', ssCtrl));
    EXPECT_EQ(std::vector<std::string>{"popup File"}, events);

    // Links that point round in a circle end the search.
    auto* x = o.Make<TTBSubmenuItem>("x");
    auto* y = o.Make<TTBSubmenuItem>("y");
    auto* yChild = o.Make<TTBSubmenuItem>("yChild");
    y->Add(yChild);
    x->SetLinkSubitems(y);
    yChild->SetLinkSubitems(x);
    EXPECT_EQ(nullptr, x->FindItemWithShortCut(ShortCut('Q', ssCtrl)));
    EXPECT_FALSE(x->IsShortCut('Q', ssCtrl));
    // A match through a link is found.
    auto* linked = o.Make("linked");
    linked->SetShortCut(ShortCut('L', ssCtrl));
    y->Add(linked);
    EXPECT_EQ(linked, x->FindItemWithShortCut(ShortCut('L', ssCtrl)));
}

}  // namespace

namespace {

TEST(TBItems, ImageListChangesReachTheViews)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    auto* item = o.Make("pic");
    root->Add(item);
    auto* images = new TCustomImageList(o.owner.get(), 16, 16);
    auto* other = new TCustomImageList(o.owner.get(), 16, 16);
    NoticeLog log;
    log.Attach(root);
    item->SetImages(images);   // from none: a resize
    EXPECT_EQ(std::vector<std::string>{"6:-1:pic"}, log.lines);
    log.lines.clear();
    item->SetImages(other);   // same size: a repaint
    EXPECT_EQ(std::vector<std::string>{"5:-1:pic"}, log.lines);
    log.lines.clear();
    TBitmap b;
    b.SetSize(16, 16);
    other->Add(b);
    EXPECT_EQ(std::vector<std::string>{"5:-1:pic"}, log.lines);
    log.lines.clear();
    other->SetSize(24, 24);
    EXPECT_EQ(std::vector<std::string>{"6:-1:pic"}, log.lines);
    log.lines.clear();
    images->Add(b);   // no longer followed
    EXPECT_TRUE(log.lines.empty());
    // A submenu's images: its own views hear of them.
    auto* sub = o.Make<TTBSubmenuItem>("sub");
    NoticeLog subLog;
    subLog.Attach(sub);
    sub->SetSubMenuImages(images);
    images->Add(b);
    EXPECT_EQ((std::vector<std::string>{"9:-1:-", "9:-1:-"}), subLog.lines);
    // A freed list is dropped.
    delete other;
    EXPECT_EQ(nullptr, item->Images());
    delete images;
    EXPECT_EQ(nullptr, sub->SubMenuImages());
}

TEST(TBItems, ControlItemOwnsItsControlUnlessTold)
{
    ItemsOwner o;
    auto* kept = new TButton(o.owner.get());
    auto* freedWithItem = new TButton(o.owner.get());
    auto* freedElsewhere = new TButton(o.owner.get());
    auto* i1 = o.Make<TTBControlItem>();
    auto* i2 = o.Make<TTBControlItem>();
    auto* i3 = o.Make<TTBControlItem>();
    EXPECT_FALSE(i1->ItemStyle() & isSelectable);
    EXPECT_TRUE(i1->ItemStyle() & isClickThrough);
    i1->SetControl(kept);
    i1->DontFreeControl = true;
    i2->SetControl(freedWithItem);
    i3->SetControl(freedElsewhere);
    std::weak_ptr<void> keptAlive = kept->AliveToken(), freedAlive = freedWithItem->AliveToken();
    delete freedElsewhere;
    EXPECT_EQ(nullptr, i3->Control());
    delete i1;
    delete i2;
    EXPECT_FALSE(keptAlive.expired());
    EXPECT_TRUE(freedAlive.expired());
}

TEST(TBItems, KindsStartWithTheirStyles)
{
    ItemsOwner o;
    EXPECT_EQ(0x1802, o.Make<TTBItem>()->ItemStyle());
    EXPECT_EQ(0x1802, o.Make<TTBRootItem>()->ItemStyle());
    EXPECT_EQ(0x1802 | isSubmenu | isSubitemsEditable, o.Make<TTBSubmenuItem>()->ItemStyle());
    EXPECT_EQ(isSeparator | isClickThrough, o.Make<TTBSeparatorItem>()->ItemStyle());
    auto* i = o.Make();
    EXPECT_TRUE(i->Enabled());
    EXPECT_TRUE(i->Visible());
    EXPECT_TRUE(i->InheritOptions());
    EXPECT_EQ(-1, i->ImageIndex());
}

}  // namespace
