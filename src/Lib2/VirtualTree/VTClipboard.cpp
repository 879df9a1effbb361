// Copy, cut and paste of nodes through the OLE clipboard, the insertion of
// node data from a data object (paste and drop), and taking over another
// tree's properties.
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <vector>

#include "Lib2/VirtualTree/VTDataObject.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Firewall.h"
#include "platform/Stream.h"

namespace {

bool OffersFormat(IDataObject* dataObject, CLIPFORMAT format)
{
    if (!dataObject || !format)
        return false;
    for (DWORD tymed : {TYMED_HGLOBAL, TYMED_ISTREAM}) {
        FORMATETC request{format, nullptr, DVASPECT_CONTENT, -1, tymed};
        if (dataObject->QueryGetData(&request) == S_OK)
            return true;
    }
    return false;
}

} // namespace

void TBaseVirtualTree::MarkCutCopyNodes()
{
    for (PVirtualNode node = FirstSelected(); node; node = NextSelected(node))
        if (!(node->States & vsDisabled))
            node->States |= vsCutOrCopy;
}

namespace {

// The marks of every node go (walking the tree: the pending state that the
// cut/copy walk needs may be gone already).
void ClearCutCopyMarks(TBaseVirtualTree& tree)
{
    for (PVirtualNode node = tree.GetFirstNoInit(); node; node = tree.GetNextNoInit(node))
        node->States &= ~vsCutOrCopy;
}

} // namespace

void TBaseVirtualTree::CopyNodesToClipboard()
{
    if (SelectedCount() == 0)
        return;
    IDataObject* dataObject = DoCreateDataObject();
    if (!dataObject)
        dataObject = new TVTDataObject(this, true);
    // Setting the clipboard lets go of what was there, our own pending copy too.
    const HRESULT result = OleSetClipboard(dataObject);
    if (SUCCEEDED(result)) {
        CancelPendingCutCopy();
        MarkCutCopyNodes();
        clipboardObject_ = dataObject;
        DoStateChange(tsCopyPending);
        Invalidate();
    }
    dataObject->Release();
}

void TBaseVirtualTree::CutNodesToClipboard()
{
    if (SelectedCount() == 0 || (options_->MiscOptions() & toReadOnly))
        return;
    IDataObject* dataObject = DoCreateDataObject();
    if (!dataObject)
        dataObject = new TVTDataObject(this, true);
    const HRESULT result = OleSetClipboard(dataObject);
    if (SUCCEEDED(result)) {
        CancelPendingCutCopy();
        MarkCutCopyNodes();
        clipboardObject_ = dataObject;
        DoStateChange(tsCutPending);
        Invalidate();
    }
    dataObject->Release();
}

void TBaseVirtualTree::CancelPendingCutCopy()
{
    if (!(states_ & (tsCutPending | tsCopyPending)))
        return;
    ClearCutCopyMarks(*this);
    clipboardObject_ = nullptr;
    DoStateChange(0, tsCutPending | tsCopyPending);
    Invalidate();
}

void TBaseVirtualTree::ClipboardObjectReleased(IDataObject* object)
{
    if (!(states_ & (tsCutPending | tsCopyPending)) || (states_ & tsClipboardFlushing))
        return;
    // An object the clipboard held earlier says nothing about the pending one.
    if (clipboardObject_ && object != clipboardObject_)
        return;
    CancelPendingCutCopy();
}

void TBaseVirtualTree::FinishPendingCutCopy()
{
    if (!(states_ & tsCutPending)) {
        return;
    }
    const TNodeArray nodes = SortedCutCopySet(true);
    IDataObject* object = clipboardObject_;
    clipboardObject_ = nullptr;
    DoStateChange(0, tsCutPending | tsCopyPending);
    // The clipboard would name nodes that are gone (or offer whatever is
    // selected then): what was cut is not pasted twice.
    if (object && OleIsCurrentClipboard(object) == S_OK)
        OleSetClipboard(nullptr);
    if (nodes.empty())
        return;
    BeginUpdate();
    TVTOnExit endUpdate{[this] { EndUpdate(); }};
    DeleteSortedNodes(nodes, &TBaseVirtualTree::SortedCutCopySet);
}

void TBaseVirtualTree::FlushClipboard()
{
    if (!(states_ & (tsCutPending | tsCopyPending)))
        return;
    IDataObject* object = clipboardObject_;
    if (object && OleIsCurrentClipboard(object) == S_OK) {
        // Every format is rendered now, while the nodes still exist; the
        // reference to this tree is not (the clipboard outlives the tree).
        DoStateChange(tsClipboardFlushing);
        TVTOnExit leave{[this] { DoStateChange(0, tsClipboardFlushing); }};
        OleFlushClipboard();
    }
    CancelPendingCutCopy();
}

bool TBaseVirtualTree::PasteNodesFromClipboard()
{
    if (options_->MiscOptions() & toReadOnly)
        return false;
    IDataObject* dataObject = nullptr;
    if (FAILED(OleGetClipboard(&dataObject)) || !dataObject)
        ShowError("Clipboard operation failed.", hcTFClipboardFailed);
    TVTOnExit release{[dataObject] { dataObject->Release(); }};
    TBaseVirtualTree* source = GetTreeFromDataObject(dataObject);
    // Nodes cut in a tree of this process move; everything else is copied.
    const bool move = source && source->HasState(tsCutPending);
    const bool result = ProcessClipboardData(source, dataObject, focusedNode_, defaultPasteMode_, move);
    if (source == this) {
        if (move)
            CancelPendingCutCopy();
    } else if (source && VTIsLiveTree(source)) {
        source->FinishPendingCutCopy();
    }
    return result;
}

bool TBaseVirtualTree::ProcessClipboardData(TBaseVirtualTree* source, IDataObject* dataObject,
                                            PVirtualNode targetNode, TVTNodeAttachMode mode, bool optimized)
{
    const auto format = static_cast<CLIPFORMAT>(NativeClipboardFormat());
    if ((options_->MiscOptions() & toReadOnly) || mode == amNoWhere || !OffersFormat(dataObject, format))
        return false;
    if (source && !VTIsLiveTree(source))
        source = nullptr;
    PVirtualNode target = targetNode ? targetNode : root_;
    if (target == root_) {
        if (mode == amInsertBefore)
            mode = amAddChildFirst;
        else if (mode == amInsertAfter)
            mode = amAddChildLast;
    }

    BeginUpdate();
    TVTOnExit endUpdate{[this] { EndUpdate(); }};
    if (optimized && source) {
        // A drag moves what is dragged (the selection) even while a copy is pending there.
        const bool marked = !source->HasState(tsOLEDragging) && source->HasState(tsCutPending | tsCopyPending);
        const auto listed = marked ? &TBaseVirtualTree::SortedCutCopySet : &TBaseVirtualTree::SortedSelection;
        // The order stays: before a node and as last children they go in
        // order, after a node and as first children from the last one back.
        const bool forwards = mode == amInsertBefore || mode == amAddChildLast;
        auto inOrder = [forwards](TNodeArray nodes) {
            if (!forwards)
                std::reverse(nodes.begin(), nodes.end());
            return nodes;
        };
        TNodeArray nodes = inOrder((source->*listed)(true));
        // The handlers may delete any node, listed ones and the target too.
        TNodeWatch targetWatch(*this, target);
        bool any = false;
        for (size_t k = 0; k < nodes.size() && targetWatch.Alive(); ++k) {
            PVirtualNode node = nodes[k];
            // A node cannot go into its own subtree.
            if (source == this && (node == target || HasAncestor(target, node)))
                continue;
            TNodeWatch watch(*source, node);
            const uint64_t before = source->freedCount_;
            source->lastDeletedCount_ = 0;
            // The root itself as target (MoveNode takes nil as "first child").
            if (source->MoveNode(node, target, mode, false))
                any = true;
            else if (watch.Alive())
                // Refused: it stays where it is, also once the cut is finished.
                node->States &= ~vsCutOrCopy;
            // Whatever was freed beyond the node's own subtree (moved to
            // another tree) may have been listed: the rest is what the list
            // still holds of the nodes not yet moved.
            const uint64_t own = watch.Alive() ? 0 : source->lastDeletedCount_;
            if (source->freedCount_ - before != own) {
                const std::unordered_set<PVirtualNode> waiting(nodes.begin() + static_cast<ptrdiff_t>(k) + 1,
                                                               nodes.end());
                TNodeArray rest;
                for (PVirtualNode n : inOrder((source->*listed)(true)))
                    if (waiting.count(n))
                        rest.push_back(n);
                nodes = std::move(rest);
                k = static_cast<size_t>(-1);
            }
        }
        return any;
    }

    std::vector<uint8_t> bytes;
    if (!VTReadNativeData(dataObject, format, bytes))
        return false;
    TMemoryStream stream(std::move(bytes));
    PVirtualNode anchor = target;
    TVTNodeAttachMode how = mode;
    bool any = false;
    // The handlers may delete any node, the ones pasted and the target too:
    // a node is used after them only while it is still there.
    TNodeWatch targetWatch(*this, target);
    std::optional<TNodeWatch> anchorWatch;   // once the anchor is a pasted node
    while (stream.Position() < stream.Size()) {
        // What the rest would go at is gone: it is not pasted.
        if (!targetWatch.Alive() || (anchorWatch && !anchorWatch->Alive()))
            break;
        PVirtualNode node = NewConnectedNode(anchor, how);
        TNodeWatch watch(*this, node);
        AddFromStream(stream, VTTreeStreamVersion, node);
        if (!watch.Alive() || !targetWatch.Alive() || !DoNodeCopying(node, target == root_ ? nullptr : target)) {
            if (watch.Alive())
                DeleteNode(node, true);
            continue;
        }
        DoNodeCopied(node);
        any = true;
        if (!watch.Alive())
            continue;
        StructureChanged(node, crNodeCopied);
        // The next node follows this one.
        if (how == amInsertAfter || how == amAddChildFirst) {
            anchor = node;
            how = amInsertAfter;
            anchorWatch.emplace(*this, node);
        }
    }
    return any;
}

// ---------------------------------------------------------------------------
// Properties of another tree

void TBaseVirtualTree::Assign(const TBaseVirtualTree& source)
{
    if (&source == this || (options_->MiscOptions() & toReadOnly))
        return;
    auto& from = const_cast<TBaseVirtualTree&>(source);
    SetAlign(source.Align());
    SetAutoScrollDelay(source.AutoScrollDelay());
    SetAutoScrollInterval(source.AutoScrollInterval());
    SetBiDiMode(source.BiDiMode());
    SetBackground(from.Background());
    SetBorderStyle(source.BorderStyle());
    SetChangeDelay(source.ChangeDelay());
    SetCheckImageKind(source.CheckImageKind());
    SetColor(source.Color());
    SetColors(source.Colors());
    SetDefaultNodeHeight(source.DefaultNodeHeight());
    SetDefaultPasteMode(source.DefaultPasteMode());
    SetDragImageKind(source.DragImageKind());
    SetEnabled(source.Enabled());
    Font().Assign(from.Font());
    SetHeader(source.Header());
    SetHintAnimation(source.HintAnimation());
    SetHintMode(source.HintMode());
    SetHotCursor(source.HotCursor());
    SetImages(source.Images());
    SetIndent(source.Indent());
    SetMargin(source.Margin());
    SetNodeAlignment(source.NodeAlignment());
    SetNodeDataSize(source.NodeDataSize());
    SetTreeOptions(source.TreeOptions());
    SetPopupMenu(source.PopupMenu());
    SetRootNodeCount(source.RootNodeCount());
    SetScrollBarOptions(source.ScrollBarOptions());
    // Setting ShowHint ends ParentShowHint: a tree that follows its parent
    // keeps doing so.
    if (source.ParentShowHint())
        SetParentShowHint(true);
    else
        SetShowHint(source.ShowHint());
    SetStateImages(source.StateImages());
    SetTabStop(source.TabStop());
    TControl::SetVisible(source.Visible());
    SetSelectionCurveRadius(source.SelectionCurveRadius());
    SetSelectionBlendFactor(source.SelectionBlendFactor());
}
