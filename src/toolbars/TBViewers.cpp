// Item viewers: sizes, painting and mouse handling of one item in one view.
#include "platform/Canvas.h"
#include "toolbars/TBClickQueue.h"
#include "toolbars/TBItems.h"

TTBItemViewer::TTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
    : view_(view), item_(item), groupLevel_(groupLevel)
{
    TBClickQueue::AddUser();
}

TTBItemViewer::~TTBItemViewer()
{
    RemoveFromClickQueue(this);
    TBClickQueue::RemoveUser();
}

void TTBItemViewer::CalcSize(TCanvas&, int&, int&) {}
bool TTBItemViewer::DoExecute() { return false; }
void TTBItemViewer::DrawItemCaption(TCanvas&, RECT, const std::string&, bool, UINT) {}
void TTBItemViewer::Entering()
{
    if (item_->OnSelect)
        item_->OnSelect(item_, this, true);
}
void TTBItemViewer::Leaving()
{
    if (item_->OnSelect)
        item_->OnSelect(item_, this, false);
}
int TTBItemViewer::GetAccRole() { return TB_ROLE_PUSHBUTTON; }
std::string TTBItemViewer::GetAccValue() { return std::string(); }
std::string TTBItemViewer::GetCaptionText()
{
    const std::string& c = item_->Caption();
    return c.substr(0, c.find('\t'));
}
void TTBItemViewer::GetCursor(POINT, HCURSOR&) {}
bool TTBItemViewer::IsPtInButtonPart(int, int) { return true; }
void TTBItemViewer::KeyDown(WORD&, TShiftState) {}
void TTBItemViewer::LosingCapture() {}
void TTBItemViewer::MouseDown(TShiftState, int, int, bool&) {}
void TTBItemViewer::MouseMove(int, int) {}
void TTBItemViewer::MouseUp(int, int, bool) {}
void TTBItemViewer::MouseWheel(int, int, int) {}
void TTBItemViewer::Paint(TCanvas&, const RECT&, bool, bool, bool) {}
bool TTBItemViewer::UsesSameWidth() { return false; }
bool TTBItemViewer::CaptionShown() { return !GetCaptionText().empty(); }
void TTBItemViewer::PostedClick(int) {}
bool TTBItemViewer::IsToolbarStyle() { return false; }
bool TTBItemViewer::IsToolbarSize() { return false; }
bool TTBItemViewer::IsRotated() { return false; }
bool TTBItemViewer::ImageShown() { return false; }
TCustomImageList* TTBItemViewer::GetImageList() { return item_->Images(); }
std::string TTBItemViewer::GetHintText() { return item_->Hint(); }
std::string TTBItemViewer::GetLongHintText() { return item_->Hint(); }
void TTBItemViewer::Execute(bool) { DoExecute(); }
std::wstring TTBItemViewer::AccelChar() { return TBCaptionAccelChar(GetCaptionText()); }
std::wstring TTBItemViewer::FirstChar() { return TBCaptionFirstChar(GetCaptionText()); }

void TTBSeparatorItemViewer::CalcSize(TCanvas&, int&, int&) {}
void TTBSeparatorItemViewer::Paint(TCanvas&, const RECT&, bool, bool, bool) {}

TTBItemViewer* NewTBItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
{
    return new TTBItemViewer(view, item, groupLevel);
}

TTBItemViewer* NewTBSeparatorItemViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
{
    return new TTBSeparatorItemViewer(view, item, groupLevel);
}

std::wstring TBCaptionAccelChar(const std::string&) { return std::wstring(); }
std::wstring TBCaptionFirstChar(const std::string&) { return std::wstring(); }
bool TBSameCharNoCase(std::wstring_view a, std::wstring_view b) { return a == b; }
std::string TBStripAccelChars(const std::string& caption) { return caption; }
