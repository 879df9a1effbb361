#include "Frame/VSTFr.h"

#include <algorithm>
#include <numeric>

#include "Lib2/VirtualTree/VTHeader.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace {

constexpr size_t kMaxColumnNameLength = 15;
// Columns shown when the registry says nothing about visibility.
constexpr int kColumnsShownByDefault = 13;
constexpr int kDefaultLoadedWidth = 150;

TAlignment AlignmentOf(uint8_t alignment)
{
    switch (alignment) {
    case 1: return TAlignment::taRightJustify;
    case 2: return TAlignment::taCenter;
    default: return TAlignment::taLeftJustify;
    }
}

// The ";"-terminated items of a stored list ("10;20;" -> "10", "20").
std::vector<std::string> Items(const std::string& text)
{
    std::vector<std::string> items = SplitString(text, ';');
    if (!items.empty() && items.back().empty())
        items.pop_back();
    return items;
}

// Pixel height of a text in a font.
int TextHeightIn(TFont& font, const std::wstring& text)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font.Handle());
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cy;
}

}  // namespace

TVSTFrame::TVSTFrame(TComponent* owner) : TBaseFrame(owner)
{
    VSTree = new TVirtualStringTree(this);
    VSTree->SetName("VSTree");
    VSTree->SetAlign(TAlign::alClient);
    VSTree->SetParent(this);
    TVTHeader& header = VSTree->Header();
    TFont headerFont;
    headerFont.SetName("MS Sans Serif");
    headerFont.SetHeight(-13);
    header.SetFont(headerFont);
    header.SetAutoSizeIndex(-1);
    header.SetMainColumn(-1);
    header.SetOptions(hoColumnResize | hoDrag);

    VSTree->OnInitNode = [this](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode node,
                                TVirtualNodeInitStates& states) { InitNode(parent, node, states); };
    VSTree->OnFreeNode = [this](TBaseVirtualTree*, PVirtualNode node) {
        for (PVirtualNode* held : heldRows_)
            if (*held == node)
                *held = nullptr;
        addedOrder_.erase(node);
        FreeNode(node);
    };
    VSTree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType textType,
                               std::string& text) { GetText(node, column, textType, text); };
    VSTree->OnChange = [this](TBaseVirtualTree*, PVirtualNode node) { NodeChanged(node); };
    VSTree->OnHeaderClick = [this](TVTHeader*, TColumnIndex column, TMouseButton button, TShiftState shift,
                                   int x, int y) { HeaderClick(column, button, shift, x, y); };
    VSTree->OnCompareNodes = [this](TBaseVirtualTree*, PVirtualNode node1, PVirtualNode node2,
                                    TColumnIndex column, int& result) {
        result = CompareNodes(node1, node2, column);
        if (result == 0 && column == NoColumn)
            result = CompareAddedOrder(node1, node2);
    };

    TVSTFrame::SetupTree();
    TVSTFrame::ApplyLanguage();
}

TVSTFrame::~TVSTFrame()
{
    // The nodes go now, while the frame that frees their records is whole;
    // then the tree (freed later with the frame's components) no longer
    // calls into the frame.
    OnNodeChange = nullptr;
    OnGetNodeText = nullptr;
    VSTree->ClearNodes();
    VSTree->OnInitNode = nullptr;
    VSTree->OnFreeNode = nullptr;
    VSTree->OnGetText = nullptr;
    VSTree->OnChange = nullptr;
    VSTree->OnHeaderClick = nullptr;
    VSTree->OnCompareNodes = nullptr;
}

void TVSTFrame::Setup()
{
    SetupTree();
    ApplyLanguage();
}

void TVSTFrame::SaveLayout(TRegistry&) {}
void TVSTFrame::LoadLayout(TRegistry&) {}

void TVSTFrame::SetupTree()
{
    columnDefs_.clear();
    if (VSTree->NodeDataSize() != kVTreeNodeDataSize)
        VSTree->SetNodeDataSize(kVTreeNodeDataSize);
}

void TVSTFrame::SetupHeader()
{
    TVTHeader& header = VSTree->Header();
    TVirtualTreeColumns& columns = header.Columns();
    header.SetFont(VSTree->Font());
    header.SetHeight(TextHeightIn(VSTree->Font(), L"\x0414\x0443\x0426\x0419") + 6);

    // What the user changed in the present columns survives the rebuild
    // (a language switch builds the header again): widths and visibility go
    // back into the definitions; the order and the sort are put back when
    // the column set is the same.
    const int oldCount = columns.Count();
    std::vector<TColumnPosition> oldPositions;
    for (int i = 0; i < oldCount && i < static_cast<int>(columnDefs_.size()); ++i) {
        TVirtualTreeColumn* c = columns[i];
        columnDefs_[static_cast<size_t>(i)].width = c->Width();
        columnDefs_[static_cast<size_t>(i)].visible = c->Visible() ? 1 : 0;
    }
    for (int i = 0; i < oldCount; ++i)
        oldPositions.push_back(columns[i]->Position());
    const TColumnIndex oldSortColumn = header.SortColumn();
    const TSortDirection oldSortDirection = header.SortDirection();

    columns.BeginUpdate();
    columns.Clear();
    columnCaptions_.clear();
    for (size_t i = 0; i < columnDefs_.size(); ++i) {
        const TVTreeHeaderData& def = columnDefs_[i];
        TVirtualTreeColumn* c = columns.Add();
        c->SetTag(static_cast<int>(i));
        c->SetText(def.caption);
        c->SetWidth(def.width);
        c->SetAlignment(AlignmentOf(def.alignment));
        c->SetOptions(def.visible ? (c->Options() | coVisible) : (c->Options() & ~coVisible));
        if (i > 0)
            columnCaptions_ += ";";
        columnCaptions_ += def.caption;
    }
    columns.EndUpdate();

    // Clearing the columns dropped the auto-size index: it is set on the new ones.
    if (columnDefs_.size() > 1) {
        header.SetOptions((header.Options() | hoShowSortGlyphs | hoVisible) & ~hoAutoResize);
    } else {
        header.SetOptions(header.Options() & ~hoVisible);
        header.SetAutoSizeIndex(0);
        header.SetOptions(header.Options() | hoAutoResize);
    }

    if (oldCount > 1 && oldCount == columns.Count()) {
        std::vector<TColumnPosition> positions(oldPositions);
        std::vector<TColumnIndex> order(positions.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](TColumnIndex a, TColumnIndex b) { return positions[a] < positions[b]; });
        for (size_t p = 0; p < order.size(); ++p)
            columns[order[p]]->SetPosition(static_cast<TColumnPosition>(p));
        header.SetSortColumn(oldSortColumn);
        header.SetSortDirection(oldSortDirection);
    }
}

void TVSTFrame::AddColumnDef(const std::string& name, const std::string& caption, bool visible, int alignment,
                             int width)
{
    TVTreeHeaderData def;
    def.name = name.substr(0, kMaxColumnNameLength);
    def.caption = caption;
    def.width = width;
    def.alignment = static_cast<uint8_t>(alignment >= 0 && alignment <= 2 ? alignment : 0);
    def.visible = visible ? 1 : 0;
    columnDefs_.push_back(std::move(def));
}

void TVSTFrame::SetColumnCaption(const std::string& name, const std::string& caption)
{
    for (TVTreeHeaderData& def : columnDefs_) {
        if (def.name == name) {
            def.caption = caption;
            return;
        }
    }
}

void TVSTFrame::SaveColumns(const std::string& keyPath)
{
    TVTHeader& header = VSTree->Header();
    TVirtualTreeColumns& columns = header.Columns();
    std::string sizes, visible, positions;
    for (int i = 0; i < columns.Count(); ++i) {
        sizes += IntToStr(columns[i]->Width()) + ";";
        visible += columns[i]->Visible() ? "1;" : "0;";
        positions += IntToStr(columns[i]->Position()) + ";";
    }
    TRegistry reg;
    if (!reg.OpenKey(keyPath, true))
        throw ERegistryError("Cannot open the registry key \"" + keyPath + "\"");
    reg.WriteString("ColSizes", sizes);
    reg.WriteString("ColVisible", visible);
    reg.WriteString("ColPos", positions);
    reg.WriteInteger("SortDir", static_cast<int>(header.SortDirection()));
    reg.WriteInteger("SortColumn", header.SortColumn());
    SaveLayout(reg);
    reg.CloseKey();
}

void TVSTFrame::LoadColumns(const std::string& keyPath)
{
    TRegistry reg;
    if (!reg.OpenKey(keyPath, false))
        return;
    TVTHeader& header = VSTree->Header();
    TVirtualTreeColumns& columns = header.Columns();
    std::string sizesText, visibleText, positionsText;
    reg.TryReadString("ColSizes", sizesText);
    reg.TryReadString("ColVisible", visibleText);
    reg.TryReadString("ColPos", positionsText);
    int value = 0;
    if (reg.TryReadInteger("SortColumn", value))
        header.SetSortColumn(value >= 0 && value < columns.Count() ? value : NoColumn);
    if (reg.TryReadInteger("SortDir", value))
        header.SetSortDirection(value == 1 ? sdDescending : sdAscending);

    const std::vector<std::string> sizes = Items(sizesText);
    const std::vector<std::string> visible = Items(visibleText);
    const std::vector<std::string> positions = Items(positionsText);
    const int count = columns.Count();
    std::vector<int> wanted(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const size_t k = static_cast<size_t>(i);
        TVirtualTreeColumn* c = columns[i];
        int width = kDefaultLoadedWidth;
        if (k < sizes.size() && !TryStrToInt(Trim(sizes[k]), width))
            width = kDefaultLoadedWidth;
        c->SetWidth(width);
        int position = i;
        if (k < positions.size() && !TryStrToInt(Trim(positions[k]), position))
            position = i;
        wanted[k] = position;
        bool show = i < kColumnsShownByDefault;
        if (k < visible.size() && !visible[k].empty())
            show = visible[k] != "0";
        c->SetOptions(show ? (c->Options() | coVisible) : (c->Options() & ~coVisible));
    }
    // Positions are given in rising order so each column lands where it was
    // stored; a broken list (a position twice, out of range) still gives
    // every column a place.
    std::vector<TColumnIndex> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](TColumnIndex a, TColumnIndex b) {
        return wanted[static_cast<size_t>(a)] < wanted[static_cast<size_t>(b)];
    });
    for (size_t p = 0; p < order.size(); ++p)
        columns[order[p]]->SetPosition(static_cast<TColumnPosition>(p));
    // A list without a shown column has no rows to read and no header to
    // click for its menu: a layout stored with every column hidden gets
    // its first one back.
    if (count > 0 && columns.GetFirstVisibleColumn() == InvalidColumn) {
        TVirtualTreeColumn* first = columns[columns.ColumnFromPosition(0)];
        first->SetOptions(first->Options() | coVisible);
    }

    LoadLayout(reg);
    reg.CloseKey();
}

// ----- nodes

void TVSTFrame::FillNode(PVirtualNode node, TObject* object, const std::string& text, int kind)
{
    TVTreeNodeData* data = NodeData(node);
    data->text = text.empty() ? nullptr : new std::string(text);
    data->kind = kind;
    data->level = 0;
    data->object = object;
    if (VSTree->TreeOptions().AutoOptions() & toAutoSort)
        addedOrder_[node] = ++nextAdded_;
    VSTree->ValidateNode(node, false);
}

PVirtualNode TVSTFrame::AddNode(PVirtualNode parent, TObject* object, bool select, const std::string& text,
                                int kind)
{
    PVirtualNode node = VSTree->AddChildNode(parent);
    if (!node) {
        delete object;
        return nullptr;
    }
    FillNode(node, object, text, kind);
    if (select)
        SelectNode(node);
    return node;
}

PVirtualNode TVSTFrame::InsertNode(PVirtualNode node, TObject* object, const std::string& text, int kind)
{
    PVirtualNode added = VSTree->InsertNodeAt(node, amInsertAfter);
    if (!added) {
        delete object;
        return nullptr;
    }
    FillNode(added, object, text, kind);
    SelectNode(added);
    return added;
}

PVirtualNode TVSTFrame::DeleteNode(PVirtualNode node)
{
    if (!node || node == VSTree->RootNode())
        return nullptr;
    PVirtualNode next = node->NextSibling;
    if (!next)
        next = VSTree->GetPrevious(node);
    // The deletion tells the selection's change, whose handlers may handle
    // messages: the row to select is looked at again afterwards.
    THeldRow held(*this, next);
    VSTree->DeleteNode(node);
    if (next)
        SelectNode(next);
    return VSTree->FocusedNode();
}

TVSTFrame::THeldRow::THeldRow(TVSTFrame& frame, PVirtualNode& row) : frame_(frame), row_(row)
{
    frame_.heldRows_.push_back(&row_);
}

TVSTFrame::THeldRow::~THeldRow()
{
    auto& held = frame_.heldRows_;
    if (auto it = std::find(held.begin(), held.end(), &row_); it != held.end())
        held.erase(it);
}

PVirtualNode TVSTFrame::FindNodeByText(const std::string& text) const
{
    for (PVirtualNode node = VSTree->GetFirstNoInit(); node; node = VSTree->GetNextNoInit(node)) {
        if (SameTextUnicode(NodeText(node), text))
            return node;
    }
    return nullptr;
}

void TVSTFrame::SelectNode(PVirtualNode node)
{
    VSTree->ClearSelection();
    if (!node)
        return;
    VSTree->SetSelected(node, true);
    VSTree->SetFocusedNode(node);
}

TVTreeNodeData* TVSTFrame::NodeData(PVirtualNode node) const
{
    return static_cast<TVTreeNodeData*>(VSTree->NodeData(node));
}

TObject* TVSTFrame::NodeObject(PVirtualNode node) const
{
    TVTreeNodeData* data = NodeData(node);
    return data ? data->object : nullptr;
}

std::string TVSTFrame::NodeText(PVirtualNode node) const
{
    TVTreeNodeData* data = NodeData(node);
    return data && data->text ? *data->text : std::string();
}

int TVSTFrame::NodeKind(PVirtualNode node) const
{
    TVTreeNodeData* data = NodeData(node);
    return data ? data->kind : -1;
}

void TVSTFrame::SetNodeText(PVirtualNode node, const std::string& text)
{
    TVTreeNodeData* data = NodeData(node);
    if (!data)
        return;
    if (!data->text)
        data->text = new std::string(text);
    else
        *data->text = text;
    VSTree->InvalidateNode(node);
}

void TVSTFrame::RefreshTree(bool sort)
{
    if (sort) {
        const TVTHeader& header = VSTree->Header();
        VSTree->SortTree(header.SortColumn(), header.SortDirection(), true);
    }
    VSTree->Invalidate();
}

// ----- tree events

void TVSTFrame::InitNode(PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&)
{
    if (TVTreeNodeData* data = NodeData(node))
        data->level = static_cast<int32_t>(VSTree->NodeLevel(node));
}

void TVSTFrame::FreeNode(PVirtualNode node)
{
    TVTreeNodeData* data = NodeData(node);
    if (!data)
        return;
    delete data->text;
    data->text = nullptr;
    TObject* object = data->object;
    data->object = nullptr;
    delete object;
}

void TVSTFrame::GetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::string& text)
{
    text = column <= 0 ? NodeText(node) : std::string();
    if (OnGetNodeText)
        OnGetNodeText(this, VSTree, node, text, textType, column);
}

void TVSTFrame::NodeChanged(PVirtualNode node)
{
    if (!node || !OnNodeChange)
        return;
    TVTreeNodeData* data = NodeData(node);
    if (!data)
        return;
    OnNodeChange(this, data->text ? *data->text : std::string(), data->kind, data->object);
}

void TVSTFrame::HeaderClick(TColumnIndex column, TMouseButton button, TShiftState, int, int)
{
    if (button != TMouseButton::mbLeft)
        return;
    TVTHeader& header = VSTree->Header();
    if (column == header.SortColumn()) {
        if (header.SortDirection() == sdAscending) {
            header.SetSortDirection(sdDescending);
        } else {
            header.SetSortColumn(NoColumn);
            header.SetSortDirection(sdAscending);
        }
    } else {
        header.SetSortColumn(column);
    }
}

int TVSTFrame::CompareNodes(PVirtualNode, PVirtualNode, TColumnIndex)
{
    return 0;
}

int TVSTFrame::CompareAddedOrder(PVirtualNode node1, PVirtualNode node2) const
{
    auto added = [this](PVirtualNode node) {
        auto it = addedOrder_.find(node);
        return it == addedOrder_.end() ? uint64_t(0) : it->second;
    };
    const uint64_t a = added(node1), b = added(node2);
    return a < b ? -1 : a > b ? 1 : 0;
}
