// The tree's part in a program's Edit menu: the standard edit actions act on
// the focused tree.
#include <windows.h>

#include <string>

#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Actions.h"

namespace {

// The clipboard holds nodes a tree can paste.
bool ClipboardOffersNodes()
{
    const UINT native = NativeClipboardFormat();
    return native && IsClipboardFormatAvailable(native);
}

}  // namespace

bool TBaseVirtualTree::UpdateAction(TBasicAction* action)
{
    auto* edit = dynamic_cast<TEditAction*>(action);
    if (!edit || !Focused())
        return TWinControl::UpdateAction(action);
    const bool writable = !(options_->MiscOptions() & toReadOnly);
    const bool selection = SelectedCount() > 0;
    switch (edit->Command()) {
    case TEditCommand::ecSelectAll:
        edit->SetEnabled((options_->SelectionOptions() & toMultiSelect) && root_->FirstChild);
        break;
    case TEditCommand::ecCopy:
        edit->SetEnabled(selection);
        break;
    case TEditCommand::ecCut:
    case TEditCommand::ecDelete:
        edit->SetEnabled(selection && writable);
        break;
    case TEditCommand::ecPaste:
        edit->SetEnabled(writable && ClipboardOffersNodes());
        break;
    }
    return true;
}

bool TBaseVirtualTree::ExecuteAction(TBasicAction* action)
{
    auto* edit = dynamic_cast<TEditAction*>(action);
    if (!edit || !Focused())
        return TWinControl::ExecuteAction(action);
    const TEditCommand command = edit->Command();
    if (command == TEditCommand::ecSelectAll)
        SelectAllNodes(false);
    else if (command == TEditCommand::ecCopy)
        CopyNodesToClipboard();
    else if (options_->MiscOptions() & toReadOnly)
        return false;
    else if (command == TEditCommand::ecCut)
        CutNodesToClipboard();
    else if (command == TEditCommand::ecPaste)
        PasteNodesFromClipboard();
    else
        DeleteSelection();
    return true;
}
