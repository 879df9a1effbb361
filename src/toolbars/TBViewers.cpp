// Item viewers: what a viewer shows (queries), its size for the layout, its
// hint, and what the mouse does on it. Painting is in TBViewerPaint.cpp.
#include <algorithm>

#include "platform/Actions.h"
#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/ImageList.h"
#include "toolbars/TBClickQueue.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBAccess.h"
#include "toolbars/TBView.h"
#include "toolbars/TBViewerDraw.h"

TTBItemViewer::TTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
    : view_(view), item_(item), groupLevel_(groupLevel)
{
    TBClickQueue::AddUser();
}

TTBItemViewer::~TTBItemViewer()
{
    TBAccOwnerGone(this);
    RemoveFromClickQueue(this);
    TBClickQueue::RemoveUser();
}

// --- queries ---

bool TTBItemViewer::IsToolbarStyle()
{
    return view_->IsToolbar() || (item_->EffectiveOptions() & tboToolbarStyle);
}

bool TTBItemViewer::IsToolbarSize()
{
    return view_->IsToolbar() || (item_->EffectiveOptions() & tboToolbarSize);
}

bool TTBItemViewer::IsRotated()
{
    return view_->Orientation() == tbvoVertical &&
           !(item_->EffectiveOptions() & (tboNoRotation | tboImageAboveCaption));
}

std::string TTBItemViewer::GetCaptionText()
{
    const std::string& c = item_->Caption();
    return c.substr(0, c.find('\t'));
}

bool TTBItemViewer::CaptionShown()
{
    if (item_->EffectiveOptions() & tboImageAboveCaption)
        return true;
    if (GetCaptionText().empty())
        return false;
    TTBItemDisplayMode m = item_->DisplayMode();
    return !IsToolbarSize() || item_->ImageIndex() < 0 || m == nbdmTextOnly || m == nbdmImageAndText;
}

bool TTBItemViewer::ImageShown()
{
    if (item_->ImageIndex() < 0)
        return false;
    switch (item_->DisplayMode()) {
    case nbdmDefault:
    case nbdmImageAndText:
        return true;
    case nbdmTextOnlyInMenus:
        return IsToolbarStyle();
    case nbdmTextOnly:
        break;
    }
    return false;
}

TCustomImageList* TTBItemViewer::GetImageList()
{
    if (TCustomImageList* l = item_->Images())
        return l;
    for (TTBView* v = view_; v; v = v->ParentView()) {
        if (v->ParentItem())
            if (TCustomImageList* l = v->ParentItem()->SubMenuImages())
                return l;
        if (v->RootItem())
            if (TCustomImageList* l = v->RootItem()->SubMenuImages())
                return l;
    }
    return nullptr;
}

bool TTBItemViewer::UsesSameWidth()
{
    TTBItemOptions o = item_->EffectiveOptions();
    return (o & tboImageAboveCaption) && (o & tboSameWidth) && IsToolbarSize();
}

bool TTBItemViewer::IsPtInButtonPart(int x, int)
{
    if (!(item_->ItemStyle() & isSubmenu))
        return true;
    if (!(item_->ItemStyle() & isCombo))
        return false;
    int arrow = IsToolbarStyle() ? 11 : GetSystemMetrics(SM_CXMENUCHECK);
    return x < (BoundsRect.right - BoundsRect.left) - arrow;
}

int TTBItemViewer::GetAccRole()
{
    if (dynamic_cast<TTBControlItem*>(item_))
        return TB_ROLE_CLIENT;
    if (item_->ItemStyle() & isSeparator)
        return TB_ROLE_SEPARATOR;
    if (view_->IsPopup() || (view_->Style() & vsMenuBar))
        return TB_ROLE_MENUITEM;
    return (item_->ItemStyle() & isSubmenu) ? TB_ROLE_BUTTONMENU : TB_ROLE_PUSHBUTTON;
}

std::string TTBItemViewer::GetAccValue() { return std::string(); }

std::wstring TTBItemViewer::AccelChar() { return FindAccelChar(GetCaptionText()); }

std::wstring TTBItemViewer::FirstChar() { return FirstCaptionChar(GetCaptionText()); }

// --- hints ---

namespace {

std::string ShortHintOf(const std::string& hint)
{
    size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(0, bar);
}

std::string LongHintOf(const std::string& hint)
{
    size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

}  // namespace

std::string TTBItemViewer::GetHintText()
{
    std::string hint = ShortHintOf(item_->Hint());
    if (hint.empty() && !(item_->EffectiveOptions() & tboNoAutoHint)) {
        TTBItemStyle s = item_->ItemStyle();
        bool plainSubmenu = (s & isSubmenu) && !(s & isCombo);
        if (!plainSubmenu || !CaptionShown())
            hint = StripAccelChars(GetCaptionText());
    }
    if (auto* a = dynamic_cast<TCustomAction*>(item_->Action()))
        if (!a->DoHint(hint))
            hint.clear();
    if (Application().HintShortCuts && item_->ShortCut() != 0 && !hint.empty())
        hint = hint + " (" + ShortCutToText(item_->ShortCut()) + ")";
    return hint;
}

std::string TTBItemViewer::GetLongHintText() { return LongHintOf(item_->Hint()); }

// --- selection and running ---

// The handler is called through a copy: it may free the item.
void TTBItemViewer::Entering()
{
    if (TTBSelectEvent h = item_->OnSelect)
        h(item_, this, true);
}

void TTBItemViewer::Leaving()
{
    if (TTBSelectEvent h = item_->OnSelect)
        h(item_, this, false);
}

bool TTBItemViewer::DoExecute()
{
    view_->EndModalWithClick(this);
    return true;
}

void TTBItemViewer::Execute(bool givePriority)
{
    TTBView* view = view_;
    if (DoExecute() && givePriority)
        view->GivePriority(this);
}

void TTBItemViewer::PostedClick(int)
{
    // What an accessibility client's default action asks for, run from the
    // click queue: open or close a submenu, else run the item.
    if (!IsShownOrClipped() || !item_->Visible() || !(item_->ItemStyle() & isSelectable) || !item_->Enabled())
        return;
    TTBView* view = view_;
    if (view->IsModal()) {
        if (view->OpenViewer() == this) {
            view->CancelChildPopups();
            return;
        }
        view->Select(this, false);
        view->ExecuteSelected(false);
        return;
    }
    view->Select(this, false);
    view->EnterModalLoop(tbetExecuteSelected | tbetNoGivePriority);
}

// --- input ---

void TTBItemViewer::GetCursor(POINT, HCURSOR&) {}

void TTBItemViewer::KeyDown(WORD&, TShiftState) {}

void TTBItemViewer::LosingCapture() { view_->Invalidate(this); }

void TTBItemViewer::MouseDown(TShiftState shift, int x, int y, bool& mouseDownOnMenu)
{
    bool rootToolbar = view_->IsToolbar() && !view_->ParentView();
    if (!item_->Enabled()) {
        if (rootToolbar)
            view_->EndModal();
        return;
    }
    if (IsPtInButtonPart(x, y)) {
        if (IsToolbarStyle()) {
            view_->CancelChildPopups();
            view_->SetMouseDownOnButtonPart(true);
            view_->MouseDownOnArrowPart = false;
            view_->Invalidate(this);
        }
        return;
    }
    bool wasOpen = view_->OpenViewer() == this;
    view_->MouseDownOnArrowPart = true;
    TTBView* view = view_;
    if (!view->OpenPopup(false))
        return;
    if (wasOpen && rootToolbar)
        mouseDownOnMenu = true;
    if ((shift & ssDouble) && !(item_->ItemStyle() & isCombo)) {
        // A double click runs the default item of the submenu just opened.
        TTBView* sub = view->OpenViewerView();
        if (!sub)
            return;
        for (int i = 0; i < sub->ViewerCount(); ++i) {
            TTBItemViewer* v = sub->Viewers(i);
            TTBCustomItem* it = v->Item();
            if (v->Show && (it->ItemStyle() & isSelectable) && it->Enabled() && it->Visible() &&
                (it->EffectiveOptions() & tboDefault)) {
                sub->Select(v, false);
                v->Execute(false);
                return;
            }
        }
    }
}

void TTBItemViewer::MouseMove(int, int) {}

void TTBItemViewer::MouseUp(int x, int y, bool mouseWasDownOnMenu)
{
    bool rootToolbar = view_->IsToolbar() && !view_->ParentView();
    if (view_->Selected() == this && view_->MouseOverSelected() && item_->Enabled() &&
        !(item_->ItemStyle() & isClickThrough)) {
        if ((item_->ItemStyle() & isSubmenu) && !IsPtInButtonPart(x, y)) {
            if (rootToolbar && mouseWasDownOnMenu)
                view_->EndModal();
            return;
        }
        if (IsToolbarStyle() && !view_->MouseDownOnButtonPart())
            return;
        Execute(true);
        return;
    }
    if (rootToolbar)
        view_->EndModal();
}

void TTBItemViewer::MouseWheel(int, int, int) {}

// --- size ---

void TTBItemViewer::CalcSize(TCanvas& canvas, int& width, int& height)
{
    HDC dc = canvas.Handle();
    bool toolbarStyle = IsToolbarStyle();
    int w = toolbarStyle ? 6 : 0, h = w;
    TCustomImageList* images = GetImageList();
    TTBItemOptions o = item_->EffectiveOptions();
    TEXTMETRICW tm = TBCanvasTextMetrics(canvas);
    if (!toolbarStyle || CaptionShown()) {
        std::string text = GetCaptionText();
        if (IsRotated()) {
            HFONT rotated = CreateRotatedFont(dc);
            HGDIOBJ old = SelectObject(dc, rotated);
            TEXTMETRICW rtm{};
            GetTextMetricsW(dc, &rtm);
            w += rtm.tmHeight;
            h += GetTextWidth(dc, text, true);
            SelectObject(dc, old);
            DeleteObject(rotated);
            if (toolbarStyle)
                h += 6;
        } else {
            h += tm.tmHeight;
            w += GetTextWidth(dc, text, true);
            if (toolbarStyle)
                w += 6;
        }
    }
    if (toolbarStyle) {
        if (ImageShown() && images) {
            if (!IsRotated() && !(o & tboImageAboveCaption)) {
                w += images->Width() + 1;
                h = std::max(h, images->Height() + 6);
            } else {
                h += images->Height();
                w = std::max(w, images->Width() + 7);
            }
        }
        if (item_->ItemStyle() & isSubmenu) {
            if (item_->ItemStyle() & isCombo)
                w += 11;
            else if (o & tboDropdownArrow) {
                if (view_->Orientation() == tbvoVertical)
                    h += 8;
                else
                    w += 8;
            }
        }
    } else {
        h += tm.tmExternalLeading + 4;
        int columnWidth;
        if (images) {
            int columnHeight = images->Height() + 3;
            if (h < columnHeight)
                h = columnHeight;
            columnWidth = MulDiv(images->Width() + 3, h, columnHeight);
        } else {
            columnWidth = h;
        }
        w += columnWidth + 6;
        std::string shortCut = item_->GetShortCutText();
        if (!shortCut.empty())
            w += GetTextWidth(dc, shortCut, false) + h - 6;
        w += h;
    }
    width = w;
    height = h;
}

void TTBSeparatorItemViewer::CalcSize(TCanvas& canvas, int& width, int& height)
{
    if (IsToolbarStyle()) {
        width = 6;
        height = 6;
        return;
    }
    TEXTMETRICW tm = TBCanvasTextMetrics(canvas);
    height += DivRoundUp(tm.tmHeight * 2, 3);
}

// --- factories ---

TTBItemViewer* NewTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
{
    return new TTBItemViewer(view, item, groupLevel);
}

TTBItemViewer* NewTBSeparatorItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
{
    return new TTBSeparatorItemViewer(view, item, groupLevel);
}
