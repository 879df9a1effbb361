// The dockable window: properties, parent changes, arrangement. The drag
// and sizing loops are in TBDockableDrag.cpp, the docked frame in
// TBDockableFrame.cpp.
#include "toolbars/TBDockable.h"

TTBCustomDockableWindow::TTBCustomDockableWindow(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
}

TTBCustomDockableWindow::~TTBCustomDockableWindow() = default;

TForm* TTBCustomDockableWindow::GetParentForm()
{
    if (floatParentForm_)
        return floatParentForm_;
    return dynamic_cast<TForm*>(ParentForm());
}

void TTBCustomDockableWindow::SetCurrentDock(TTBDock* dock) { currentDock_ = dock; }
void TTBCustomDockableWindow::SetDefaultDock(TTBDock* dock) { defaultDock_ = dock; }
void TTBCustomDockableWindow::SetLastDock(TTBDock* dock) { lastDock_ = dock; }
void TTBCustomDockableWindow::SetUseLastDock(bool v) { useLastDock_ = v; }
void TTBCustomDockableWindow::SetDockPos(int v) { dockPos_ = v; }
void TTBCustomDockableWindow::SetDockRow(int v) { dockRow_ = v; }
void TTBCustomDockableWindow::SetFloating(bool value) { floating_ = value; }
void TTBCustomDockableWindow::SetFloatingPosition(POINT p) { floatingPosition_ = p; }
void TTBCustomDockableWindow::SetAutoResize(bool v) { autoResize_ = v; }
void TTBCustomDockableWindow::SetBorderStyle(TTBBorderStyle v) { borderStyle_ = v; }
void TTBCustomDockableWindow::SetCloseButton(bool v) { closeButton_ = v; }
void TTBCustomDockableWindow::SetCloseButtonWhenDocked(bool v) { closeButtonWhenDocked_ = v; }
void TTBCustomDockableWindow::SetDragHandleStyle(TTBDragHandleStyle v) { dragHandleStyle_ = v; }
void TTBCustomDockableWindow::SetFloatingMode(TTBFloatingMode v) { floatingMode_ = v; }
void TTBCustomDockableWindow::SetFullSize(bool v) { fullSize_ = v; }
void TTBCustomDockableWindow::SetHideWhenInactive(bool v) { hideWhenInactive_ = v; }
void TTBCustomDockableWindow::SetResizable(bool v) { resizable_ = v; }
void TTBCustomDockableWindow::SetShowCaption(bool v) { showCaption_ = v; }
void TTBCustomDockableWindow::SetStretch(bool v) { stretch_ = v; }

void TTBCustomDockableWindow::SetArrangedPlace(int row, int pos, bool commit)
{
    effectiveDockRow_ = row;
    effectiveDockPos_ = pos;
    if (commit) {
        dockRow_ = row;
        dockPos_ = pos;
    }
}

SIZE TTBCustomDockableWindow::CalcBaseSize(TTBDockType) { return SIZE{Width(), Height()}; }
void TTBCustomDockableWindow::GetMinMaxSize(SIZE& minSize, SIZE& maxSize)
{
    minSize = SIZE{0, 0};
    maxSize = SIZE{0, 0};
}
int TTBCustomDockableWindow::GetMinShrinkSize() { return 0; }
RECT TTBCustomDockableWindow::GetDockedCloseButtonRect(bool) { return RECT{}; }
TTBFloatingWindowParent* TTBCustomDockableWindow::NewFloatingWindowParent() { return nullptr; }
void TTBCustomDockableWindow::SizeChanging(TTBSizeHandle, SIZE&) {}
void TTBCustomDockableWindow::Arrange() {}

RECT TTBCustomDockableWindow::DockedFrame(TTBDockType) const { return RECT{2, 2, 2, 2}; }
RECT TTBCustomDockableWindow::FloatingFrame() const { return RECT{}; }
int TTBCustomDockableWindow::DragHandleSize() const { return 0; }

void TTBCustomDockableWindow::BeginMoving(int, int) {}
void TTBCustomDockableWindow::BeginSizing(TTBSizeHandle) {}
void TTBCustomDockableWindow::CloseWindow() {}
bool TTBCustomDockableWindow::CanDrag() const { return floating_; }
void TTBCustomDockableWindow::DoubleClick() {}
void TTBCustomDockableWindow::MoveOnScreen(bool) {}
void TTBCustomDockableWindow::UpdateFloatingVisibility() {}
void TTBCustomDockableWindow::UpdateFloatingOwner() {}
void TTBCustomDockableWindow::EndUpdate()
{
    if (disableArrange_ > 0)
        --disableArrange_;
}

void TTBCustomDockableWindow::SetParent(TWinControl* parent) { TWinControl::SetParent(parent); }
void TTBCustomDockableWindow::SetBounds(int left, int top, int width, int height)
{
    TWinControl::SetBounds(left, top, width, height);
}
void TTBCustomDockableWindow::WndProc(TMessage& message) { TWinControl::WndProc(message); }
void TTBCustomDockableWindow::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TWinControl::MouseDown(button, shift, x, y);
}
const TPropTable& TTBCustomDockableWindow::Published() const { return TWinControl::Published(); }

void TTBCustomDockableWindow::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"TBDockableWindow";
}
void TTBCustomDockableWindow::Loaded() { TWinControl::Loaded(); }
void TTBCustomDockableWindow::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
}
void TTBCustomDockableWindow::VisibleChanged() { TWinControl::VisibleChanged(); }
void TTBCustomDockableWindow::CaptionChanged() { TWinControl::CaptionChanged(); }
void TTBCustomDockableWindow::RecalcNCArea() {}
void TTBCustomDockableWindow::DrawNCArea(HDC, bool, int) {}
