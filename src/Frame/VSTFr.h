// The base of the list frames: one list control (VSTree) filling the frame,
// the column definitions it is built from, the record every node carries,
// the column layout in the registry, sorting by header click, and the node
// operations the frames share.
//
// A frame class that overrides SetupTree or ApplyLanguage calls Setup() at
// the end of its constructor (virtual calls from a base constructor would
// not reach it). Setup may run more than once: SetupTree starts from no
// column definitions, so each run builds the same header.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "Frame/BaseFr.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

class TRegistry;

// One column definition.
struct TVTreeHeaderData {
    std::string name;      // the column's key ("fvcPath"), at most 15 characters
    std::string caption;   // the header text
    int32_t width = 0;     // pixels
    uint8_t alignment = 0; // 0 left, 1 right, 2 centre
    uint8_t visible = 1;   // 1 visible
};

// The user data of every node. The text and the object belong to the node
// and are freed with it.
struct TVTreeNodeData {
    std::string* text;   // the first column's text; nullptr: empty
    int32_t kind;        // the frame's own node kind
    int32_t level;       // the node's level, set when the node is initialised
    TObject* object;     // owned; nullptr: none
};
static_assert(sizeof(TVTreeNodeData) == 16, "a node's user data is 16 bytes");
constexpr int kVTreeNodeDataSize = 16;

// Lets a node own an object of a class that does not derive from TObject.
template <class T>
class TNodeObject : public TObject {
public:
    explicit TNodeObject(T* object) : object_(object) {}
    ~TNodeObject() override { delete object_; }
    TNodeObject(const TNodeObject&) = delete;
    TNodeObject& operator=(const TNodeObject&) = delete;
    T* Get() const { return object_; }

private:
    T* object_;
};

// The object as a node keeps it: a TObject as it is, anything else wrapped.
template <class T>
TObject* NodeOwned(T* object)
{
    if constexpr (std::is_base_of_v<TObject, T>)
        return object;
    else
        return object ? new TNodeObject<T>(object) : nullptr;
}

// The node object as T (nullptr when it is none or of another class).
template <class T>
T* NodeObjectAs(TObject* object)
{
    if constexpr (std::is_base_of_v<TObject, T>) {
        return dynamic_cast<T*>(object);
    } else {
        auto* held = dynamic_cast<TNodeObject<T>*>(object);
        return held ? held->Get() : nullptr;
    }
}

// A cell's text after the frame set it (column 0: the node's text, others
// empty); the handler may change it.
using TVSTGetNodeTextEvent = std::function<void(TObject* sender, TBaseVirtualTree* tree, PVirtualNode node,
                                                std::string& text, TVSTTextType textType, TColumnIndex column)>;
// The focused node changed (raised only with a node).
using TVSTNodeChangeEvent = std::function<void(TObject* sender, const std::string& text, int kind, TObject* object)>;

class TVSTFrame : public TBaseFrame {
public:
    explicit TVSTFrame(TComponent* owner);
    ~TVSTFrame() override;

    // The frame's own layout values, stored into / read from the open key
    // of SaveColumns / LoadColumns. Nothing here.
    virtual void SaveLayout(TRegistry& reg);
    virtual void LoadLayout(TRegistry& reg);
    // The tree's options and the column definitions. Here: 16-byte node
    // data and no column definitions.
    virtual void SetupTree();
    // Builds the header's columns from the column definitions.
    virtual void SetupHeader();

    // ----- column definitions
    void AddColumnDef(const std::string& name, const std::string& caption, bool visible, int alignment,
                      int width);
    // Sets the caption of the first definition with that name.
    void SetColumnCaption(const std::string& name, const std::string& caption);
    const std::vector<TVTreeHeaderData>& TVTreeHeader() const { return columnDefs_; }
    // All column captions joined with ";" (as of the last SetupHeader).
    const std::string& ColumnCaptions() const { return columnCaptions_; }

    // ----- column layout under HKEY_CURRENT_USER\keyPath: "ColSizes",
    // "ColVisible", "ColPos" (";"-terminated items per column), "SortDir",
    // "SortColumn"; then SaveLayout / LoadLayout with the open key.
    // SaveColumns throws ERegistryError when the key cannot be written;
    // LoadColumns leaves everything as it is when the key is missing, and
    // shows the first column of a layout stored with none shown.
    void SaveColumns(const std::string& keyPath);
    void LoadColumns(const std::string& keyPath);

    // ----- nodes
    // A new last child of parent (nullptr: top level) owning text and
    // object, initialised, and selected when asked. nullptr (the object
    // freed) when the tree takes no nodes.
    PVirtualNode AddNode(PVirtualNode parent, TObject* object, bool select, const std::string& text, int kind);
    // A new node right after `node`, initialised and selected.
    PVirtualNode InsertNode(PVirtualNode node, TObject* object, const std::string& text, int kind);
    // Deletes the node and selects its next sibling, or the node before it
    // in tree order when it was the last (when that row went meanwhile, the
    // tree's choice stays); returns the node now selected.
    PVirtualNode DeleteNode(PVirtualNode node);
    // The first node in tree order whose text equals text, ignoring case.
    PVirtualNode FindNodeByText(const std::string& text) const;
    // Clears the selection, selects the node and focuses it.
    void SelectNode(PVirtualNode node);
    // The node's record (nullptr for nullptr and the hidden root).
    TVTreeNodeData* NodeData(PVirtualNode node) const;
    TObject* NodeObject(PVirtualNode node) const;
    template <class T>
    T* NodeObjectOf(PVirtualNode node) const { return NodeObjectAs<T>(NodeObject(node)); }
    std::string NodeText(PVirtualNode node) const;
    int NodeKind(PVirtualNode node) const;
    // Sets the node's text and repaints its row.
    void SetNodeText(PVirtualNode node, const std::string& text);
    PVirtualNode FocusedNode() const { return VSTree->FocusedNode(); }
    // Repaints the tree; with sort, sorts it by the header's sort column and
    // direction first.
    void RefreshTree(bool sort);

    // A row held across a call that may handle messages (a selection
    // change, a deletion): the pointer is set to nullptr when its row is
    // freed meanwhile. Made and ended on the GUI thread, innermost first.
    class THeldRow {
    public:
        THeldRow(TVSTFrame& frame, PVirtualNode& row);
        ~THeldRow();
        THeldRow(const THeldRow&) = delete;
        THeldRow& operator=(const THeldRow&) = delete;

    private:
        TVSTFrame& frame_;
        PVirtualNode& row_;
    };

    TVirtualStringTree* VSTree = nullptr;
    TVSTGetNodeTextEvent OnGetNodeText;
    TVSTNodeChangeEvent OnNodeChange;

protected:
    // SetupTree, then ApplyLanguage (see the note at the top).
    void Setup();
    // While the list has the keyboard and no row is focused, its first row
    // shows the focus rectangle, so a user who tabbed into it sees where
    // the focus is (the arrows then start there). [VSTFrFocus.cpp]
    void ShowFocusOnFirstRow();

    // The tree's events, bound to these at construction.
    virtual void InitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& states);
    virtual void FreeNode(PVirtualNode node);
    virtual void GetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::string& text);
    virtual void NodeChanged(PVirtualNode node);
    // Left button: the sort column's ascending becomes descending,
    // descending becomes unsorted; another column becomes the sort column
    // with the direction kept.
    virtual void HeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
    // No order of its own (0); the frames compare. Nodes a frame finds
    // equal while unsorted (column NoColumn) keep the order they were
    // added in.
    virtual int CompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column);

private:
    // Sets the record of a new node and initialises it.
    void FillNode(PVirtualNode node, TObject* object, const std::string& text, int kind);
    // Unsorted: by the order the nodes were added in (a sorting tree's only).
    int CompareAddedOrder(PVirtualNode node1, PVirtualNode node2) const;

    std::unordered_map<PVirtualNode, uint64_t> addedOrder_;
    uint64_t nextAdded_ = 0;

    std::vector<TVTreeHeaderData> columnDefs_;
    std::string columnCaptions_;
    std::vector<PVirtualNode*> heldRows_;
};
