// The list control's node stream and sorting: a saved tree loads back the
// same (16-byte records through OnSaveNode/OnLoadNode, hidden and collapsed
// nodes, heights, check states), the old format's selected nodes, broken and
// hostile streams (truncated, flipped, nested too deep, lying counts) that
// leave a consistent tree and a clear error, and the stable merge sort.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Stream.h"
#include "support/TestSupport.h"

namespace {

// What the frames keep in a node: 16 bytes with an object pointer.
struct Record {
    uint32_t magic;
    uint32_t id;
    std::string* text;
    uint32_t spare;
};
static_assert(sizeof(Record) == 16, "the frames' record is 16 bytes");
constexpr uint32_t kMagic = 0xC0FFEE;

// A tree whose records are made in OnInitNode, freed in OnFreeNode and
// streamed as id, length and text.
struct RecordTree {
    TVirtualStringTree tree{nullptr};
    int made = 0, freed = 0;
    uint32_t nextId = 1;
    RecordTree()
    {
        tree.SetNodeDataSize(sizeof(Record));
        tree.OnInitNode = [this](TBaseVirtualTree* t, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
            *t->Data<Record>(n) = Record{kMagic, nextId, new std::string("node " + std::to_string(nextId)), 0};
            ++nextId;
            ++made;
        };
        tree.OnFreeNode = [this](TBaseVirtualTree* t, PVirtualNode n) {
            Record* r = t->Data<Record>(n);
            if (r->magic == kMagic) {
                delete r->text;
                ++freed;
            }
            r->magic = 0;
        };
        tree.OnSaveNode = [](TBaseVirtualTree* t, PVirtualNode n, TStream& s) {
            const Record* r = t->Data<Record>(n);
            s.WriteInt32(static_cast<int32_t>(r->id));
            s.WriteInt32(static_cast<int32_t>(r->text->size()));
            s.WriteBuffer(r->text->data(), r->text->size());
        };
        tree.OnLoadNode = [this](TBaseVirtualTree* t, PVirtualNode n, TStream& s) {
            const uint32_t id = static_cast<uint32_t>(s.ReadInt32());
            const int32_t length = s.ReadInt32();
            if (length < 0 || length > 1000)
                throw EStreamError("bad text length");
            std::string text(static_cast<size_t>(length), '\0');
            s.ReadBuffer(text.data(), text.size());
            Record* r = t->Data<Record>(n);
            if (r->magic == kMagic) {
                delete r->text;
                ++freed;
            }
            *r = Record{kMagic, id, new std::string(text), 0};
            ++made;
        };
    }
};

// Checks links, indexes, counts, heights, the visible count, hidden-children
// flags, work states and the selection against a recount; "" when all agree.
struct Recount {
    std::string fault;
    unsigned visible = 0, selected = 0;
    // The subtree's node count and height.
    std::pair<uint32_t, uint32_t> Walk(PVirtualNode n, bool open, bool isRoot)
    {
        uint32_t count = 1, height = n->NodeHeight, index = 0;
        bool anyVisible = false;
        PVirtualNode previous = nullptr;
        const bool childOpen = isRoot || (open && (n->States & vsVisible) && (n->States & vsExpanded));
        for (PVirtualNode c = n->FirstChild; c; previous = c, c = c->NextSibling, ++index) {
            if (c->Parent != n || c->PrevSibling != previous || c->Index != index)
                fault = "links or index";
            visible += childOpen && (c->States & vsVisible) ? 1 : 0;
            selected += (c->States & vsSelected) ? 1 : 0;
            anyVisible |= (c->States & vsVisible) != 0;
            const auto sub = Walk(c, childOpen, false);
            count += sub.first;
            height += (n->States & vsExpanded) && (c->States & vsVisible) ? sub.second : 0;
        }
        if (n->LastChild != previous || n->ChildCount != index || n->TotalCount != count || n->TotalHeight != height)
            fault = "child count or totals";
        if (!isRoot && n->ChildCount > 0 && ((n->States & vsAllChildrenHidden) != 0) == anyVisible)
            fault = "hidden-children flag";
        if (n->States & (vsClearing | vsToggling | vsDeleting | 0x8000))
            fault = "work states left";
        return {count, height};
    }
};
std::string Inconsistency(TBaseVirtualTree& tree)
{
    Recount r;
    r.Walk(tree.RootNode(), true, true);
    if (r.fault.empty() && (r.visible != tree.VisibleCount() || r.selected != tree.SelectedCount()))
        r.fault = "visible count or selection";
    return r.fault;
}

std::vector<uint8_t> Bytes(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}
std::vector<uint8_t> I32(int32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
// "⁅VT<version> ⁆" in UTF-16LE.
std::vector<uint8_t> Header(char version)
{
    return {0x45, 0x20, 'V', 0, 'T', 0, uint8_t(version), 0, ' ', 0, 0x46, 0x20};
}
// A node chunk with a version-2 base chunk and no children.
std::vector<uint8_t> Leaf(uint32_t height, uint16_t states, uint8_t checkState = 0, uint8_t checkType = 0)
{
    return Bytes({I32(1), I32(25), I32(2), I32(17), I32(0), I32(int32_t(height)),
                  {uint8_t(states), uint8_t(states >> 8), 50, checkState, checkType}, I32(0)});
}

// Loads the bytes; returns the help context of the error, 0 when it loaded.
int Load(TBaseVirtualTree& tree, const std::vector<uint8_t>& bytes)
{
    TMemoryStream stream(bytes);
    try {
        tree.LoadNodesFromStream(stream);
    } catch (const EVirtualTreeError& e) {
        return e.HelpContext();
    }
    return 0;
}

// A saved tree of records: three top-level nodes, the second with two
// children of which one is hidden, a node 40 pixels high with a check box.
std::vector<uint8_t> SavedSample(RecordTree& source)
{
    TBaseVirtualTree& t = source.tree;
    t.TreeOptions().SetMiscOptions(t.TreeOptions().MiscOptions() | toCheckSupport);
    t.SetRootNodeCount(3);
    PVirtualNode second = t.GetFirst()->NextSibling;
    t.SetChildCountOf(second, 2);
    t.ValidateNode(nullptr, true);
    t.SetExpanded(second, true);
    t.SetVisible(second->LastChild, false);
    t.SetNodeHeight(t.RootNode()->LastChild, 40);
    t.SetCheckType(t.RootNode()->LastChild, ctCheckBox);
    t.SetCheckStateOf(t.RootNode()->LastChild, csCheckedNormal);
    TMemoryStream stream;
    t.SaveNodesToStream(stream);
    return stream.Bytes();
}

TEST(VTStream, SavedTreeLoadsBackTheSame)
{
    RecordTree source, target;
    const std::vector<uint8_t> bytes = SavedSample(source);
    ASSERT_EQ(Load(target.tree, bytes), 0);
    TBaseVirtualTree& t = target.tree;
    EXPECT_EQ(Inconsistency(t), "");
    EXPECT_EQ(t.TotalCount(), 5u);
    EXPECT_EQ(t.VisibleCount(), 4u);   // the hidden child is not shown
    EXPECT_EQ(t.RangeY(), 18 + 18 + 18 + 40);
    auto texts = [](TBaseVirtualTree& tree) {
        std::vector<std::string> result;
        for (PVirtualNode n = tree.GetFirstNoInit(); n; n = tree.GetNextNoInit(n))
            result.push_back(*tree.Data<Record>(n)->text);
        return result;
    };
    EXPECT_EQ(texts(t), texts(source.tree));
    EXPECT_EQ(texts(t).size(), 5u);
    PVirtualNode last = t.RootNode()->LastChild;
    EXPECT_EQ(last->NodeHeight, 40);
    EXPECT_EQ(last->CheckType, ctCheckBox);
    EXPECT_EQ(last->CheckState, csCheckedNormal);
    EXPECT_FALSE(t.IsVisible(t.GetFirst()->NextSibling->LastChild));
    t.ClearNodes();
    EXPECT_EQ(target.made, target.freed);

    // Without OnSaveNode a node has no user chunk: header, count, node
    // chunk header, base chunk header and its 17 bytes (the base tree: a
    // string tree adds its caption).
    TBaseVirtualTree plain(nullptr);
    plain.SetRootNodeCount(1);
    TMemoryStream stream;
    plain.SaveNodesToStream(stream);
    EXPECT_EQ(stream.Bytes().size(), 12u + 4 + 8 + 8 + 17);
}

TEST(VTStream, OldFormatSelectionAndUntrustedFields)
{
    TVirtualStringTree tree(nullptr);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    // Version 1: no count; a 12-byte base chunk whose states are a byte,
    // bit 7 the selection.
    auto oldLeaf = [](uint8_t states) {
        return Bytes({I32(1), I32(20), I32(2), I32(12), I32(0), I32(20), {states, 50, 0, 0}});
    };
    ASSERT_EQ(Load(tree, Bytes({Header('1'), oldLeaf(0x81), oldLeaf(0x01)})), 0);
    EXPECT_EQ(Inconsistency(tree), "");
    EXPECT_EQ(tree.VisibleCount(), 2u);
    EXPECT_TRUE(tree.Selected(tree.GetFirst()));
    EXPECT_EQ(tree.SelectedCount(), 1u);
    EXPECT_EQ(tree.RangeY(), 40);

    // Heights 0 and 100000; clearing, toggling, deleting and bit 15 set;
    // check state and type out of range; selected without multi-selection.
    tree.TreeOptions().SetSelectionOptions(0);
    const uint16_t states = vsVisible | vsClearing | vsToggling | vsDeleting | 0x8000 | vsSelected;
    ASSERT_EQ(Load(tree, Bytes({Header('2'), I32(2), Leaf(0, states, 9, 7), Leaf(100000, vsVisible)})), 0);
    EXPECT_EQ(Inconsistency(tree), "");
    PVirtualNode first = tree.GetFirst();
    EXPECT_EQ(first->NodeHeight, 1);
    EXPECT_EQ(first->NextSibling->NodeHeight, 65535);
    EXPECT_EQ(first->CheckState, csUncheckedNormal);
    EXPECT_EQ(first->CheckType, ctNone);
    EXPECT_EQ(tree.SelectedCount(), 0u);
}

TEST(VTStream, BrokenStreamsGiveTheirErrors)
{
    TVirtualStringTree tree(nullptr);
    EXPECT_EQ(Load(tree, {0x45, 0x20, 'V'}), hcTFStreamTooSmall);
    EXPECT_EQ(Load(tree, Bytes({{0x45, 0x20, 'X', 0, 'T', 0, '2', 0, ' ', 0, 0x46, 0x20}, I32(0)})),
              hcTFWrongStreamFormat);
    EXPECT_EQ(Load(tree, Bytes({Header('3'), I32(0)})), hcTFWrongStreamVersion);
    // A count the bytes can't hold.
    EXPECT_EQ(Load(tree, Bytes({Header('2'), I32(-1), Leaf(18, vsVisible)})), hcTFStreamTooSmall);
    // The first chunk is a base chunk, not a node chunk.
    EXPECT_EQ(Load(tree, Bytes({Header('2'), I32(1), I32(2), I32(17), std::vector<uint8_t>(17)})),
              hcTFCorruptStream1);
    // A child count of four billion in a leaf.
    std::vector<uint8_t> liar = Leaf(18, vsVisible);
    std::fill(liar.begin() + 16, liar.begin() + 20, 0xFF);
    EXPECT_EQ(Load(tree, Bytes({Header('2'), I32(1), liar})), hcTFCorruptStream1);
    // An inner chunk that claims more than its node holds, and one of negative size.
    EXPECT_EQ(Load(tree, Bytes({Header('2'), I32(1), I32(1), I32(8), I32(2), I32(9)})), hcTFCorruptStream2);
    EXPECT_EQ(Load(tree, Bytes({Header('2'), I32(1), I32(1), I32(8), I32(4), I32(-8)})), hcTFCorruptStream2);
    EXPECT_EQ(Inconsistency(tree), "");
    // An unknown chunk inside a node is skipped.
    const std::vector<uint8_t> leaf = Leaf(18, vsVisible);
    EXPECT_EQ(Load(tree, Bytes({Header('2'), I32(1), I32(1), I32(37), I32(77), I32(4), I32(0),
                                std::vector<uint8_t>(leaf.begin() + 8, leaf.end())})),
              0);
    EXPECT_EQ(tree.TotalCount(), 1u);
}

TEST(VTStream, NestingIsCapped)
{
    TVirtualStringTree tree(nullptr);
    // 600 levels, each node the only child of the one before.
    std::vector<uint8_t> node;
    for (int level = 0; level < 600; ++level) {
        std::vector<uint8_t> base = Bytes({I32(level == 0 ? 0 : 1), I32(18), {uint8_t(vsVisible | vsExpanded), 0,
                                           50, 0, 0}, I32(0), node});
        node = Bytes({I32(1), I32(int32_t(base.size() + 8)), I32(2), I32(int32_t(base.size())), base});
    }
    EXPECT_EQ(Load(tree, Bytes({Header('2'), I32(1), node})), hcTFCorruptStream1);
    EXPECT_EQ(Inconsistency(tree), "");
    EXPECT_EQ(tree.TotalCount(), MaxStreamNodeDepth);
    tree.ClearNodes();
    EXPECT_EQ(tree.TotalCount(), 0u);
}

// Row heights are 16 bits and the rows' total is kept where positions and
// scroll bars can show it (below 2^31): a default height beyond 65535 is
// clamped like a node's; more than fits is refused, from a stream with its
// own error (what was read before stays), in code before anything changes.
TEST(VTStream, HeightsBeyondWhatCanBeShownAreRefused)
{
    TVirtualStringTree tree(nullptr);
    tree.SetDefaultNodeHeight(70000);
    EXPECT_EQ(tree.DefaultNodeHeight(), 65535u);
    tree.SetRootNodeCount(3);
    EXPECT_EQ(tree.GetFirst()->NodeHeight, 65535u);
    EXPECT_EQ(tree.RangeY(), 3 * 65535);

    constexpr int64_t kRow = 65535, kMost = INT_MAX / kRow - 1;   // the root's own row counts too
    std::vector<uint8_t> bytes = Bytes({Header('2'), I32(66000)});
    const std::vector<uint8_t> row = Leaf(65535, vsVisible);
    for (int i = 0; i < 66000; ++i)
        bytes.insert(bytes.end(), row.begin(), row.end());
    EXPECT_EQ(Load(tree, bytes), hcTFTooTall);
    EXPECT_EQ(Inconsistency(tree), "");
    EXPECT_EQ(tree.RootNodeCount(), kMost);
    EXPECT_EQ(tree.RangeY(), kMost * kRow);

    tree.ClearNodes();
    EXPECT_THROW(tree.SetRootNodeCount(66000), EVirtualTreeError);
    EXPECT_EQ(tree.RootNodeCount(), 0u);
    tree.SetRootNodeCount(static_cast<unsigned>(kMost) - 1);
    PVirtualNode parent = tree.GetFirst();
    tree.AddChildNode(parent);
    tree.AddChildNode(parent);
    EXPECT_THROW(tree.SetExpanded(parent, true), EVirtualTreeError);
    EXPECT_FALSE(tree.Expanded(parent));
    EXPECT_NE(tree.AddChildNode(nullptr), nullptr);
    EXPECT_THROW(tree.AddChildNode(nullptr), EVirtualTreeError);
    EXPECT_THROW(tree.InsertNodeAt(parent, amInsertAfter), EVirtualTreeError);
    tree.SetNodeHeight(parent, 1);
    tree.SetVisible(parent->FirstChild, false);
    tree.SetExpanded(parent, true);   // one child fits where two did not
    tree.SetNodeHeight(parent, 65535);   // as much as fits
    EXPECT_EQ(parent->NodeHeight, 32767u);
    EXPECT_EQ(tree.RangeY(), INT_MAX - kRow);
    EXPECT_EQ(Inconsistency(tree), "");
}

// Thousands of truncated, flipped and random streams: each loads or fails
// with the tree's error, the tree stays consistent and every record made is
// freed once.
TEST(VTStream, HostileStreamsNeverBreakTheTree)
{
    RecordTree source, target;
    const std::vector<uint8_t> good = SavedSample(source);
    std::mt19937 random(1234);
    target.tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    int loaded = 0, refused = 0;
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes = good;
        if (round < static_cast<int>(good.size())) {
            bytes.resize(static_cast<size_t>(round));
        } else if (round % 3 != 0) {
            for (int flips = 1 + round % 4; flips > 0; --flips)
                bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        } else {
            bytes.resize(12 + random() % 200);
            for (size_t i = 12; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(random() % 3 == 0 ? random() : random() % 5);
        }
        const int result = Load(target.tree, bytes);
        (result == 0 ? loaded : refused)++;
        ASSERT_EQ(Inconsistency(target.tree), "") << "round " << round;
    }
    target.tree.ClearNodes();
    EXPECT_EQ(target.made, target.freed);
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 1000);
}

// ---------------------------------------------------------------------------
// Sorting

struct KeyTree {
    TVirtualStringTree tree{nullptr};
    std::vector<int> keys;   // by the node's original index
    std::vector<TColumnIndex> columnsAsked;
    explicit KeyTree(std::vector<int> k) : keys(std::move(k))
    {
        tree.SetNodeDataSize(sizeof(int));
        tree.OnInitNode = [this](TBaseVirtualTree* t, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
            *t->Data<int>(n) = static_cast<int>(n->Index);
        };
        tree.OnCompareNodes = [this](TBaseVirtualTree* t, PVirtualNode a, PVirtualNode b, TColumnIndex c, int& r) {
            columnsAsked.push_back(c);
            r = keys[*t->Data<int>(a)] - keys[*t->Data<int>(b)];
        };
        tree.SetRootNodeCount(static_cast<unsigned>(keys.size()));
        tree.ValidateNode(nullptr, true);
    }
    std::vector<int> Order()
    {
        std::vector<int> order;
        for (PVirtualNode n = tree.GetFirstChild(nullptr); n; n = n->NextSibling)
            order.push_back(*tree.Data<int>(n));
        return order;
    }
};

TEST(VTSort, EqualNodesKeepTheirOrderInBothDirections)
{
    std::mt19937 random(7);
    std::vector<int> keys(300);
    for (int& k : keys)
        k = static_cast<int>(random() % 10);
    KeyTree k(keys);
    std::vector<int> expected(keys.size());
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = static_cast<int>(i);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) { return keys[a] < keys[b]; });
    k.tree.SortChildNodes(nullptr, 0, sdAscending);
    EXPECT_EQ(k.Order(), expected);
    EXPECT_EQ(Inconsistency(k.tree), "");
    EXPECT_EQ(k.tree.GetFirstChild(nullptr)->PrevSibling, nullptr);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) { return keys[a] > keys[b]; });
    k.tree.SortChildNodes(nullptr, 0, sdDescending);
    EXPECT_EQ(k.Order(), expected);
    EXPECT_EQ(Inconsistency(k.tree), "");
}

TEST(VTSort, ColumnsOneChildAndAFailingHandler)
{
    KeyTree k({3, 1, 2});
    k.tree.SortChildNodes(nullptr, InvalidColumn, sdAscending);
    EXPECT_TRUE(k.columnsAsked.empty());
    k.tree.SortChildNodes(nullptr, NoColumn, sdAscending);
    EXPECT_EQ(k.Order(), (std::vector<int>{1, 2, 0}));
    EXPECT_TRUE(std::all_of(k.columnsAsked.begin(), k.columnsAsked.end(), [](int c) { return c == NoColumn; }));
    k.columnsAsked.clear();
    k.tree.SetChildCountOf(k.tree.GetFirst(), 1);
    k.tree.SortChildNodes(k.tree.GetFirst(), 0, sdAscending);
    EXPECT_TRUE(k.columnsAsked.empty());
    // A handler that throws midway leaves the siblings as they were.
    k.tree.OnCompareNodes = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, int&) {
        throw std::runtime_error("compare failed");
    };
    EXPECT_THROW(k.tree.SortChildNodes(nullptr, 0, sdDescending), std::runtime_error);
    EXPECT_EQ(k.Order(), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(Inconsistency(k.tree), "");
}

TEST(VTSort, SortByColumnDescendsOnlyIntoInitializedNodesWithoutInit)
{
    // Keys by the index a node had when it was initialized: 2, 1, 0.
    KeyTree k({2, 1, 0});
    PVirtualNode a = k.tree.GetFirstChild(nullptr);
    k.tree.SetChildCountOf(a, 3);
    k.tree.ValidateChildNodes(a, false);
    PVirtualNode b = a->NextSibling;
    k.tree.SetChildCountOf(b, 1);
    PVirtualNode u = b->FirstChild;   // an uninitialized node with children
    k.tree.SetChildCountOf(u, 3);
    auto ids = [&](PVirtualNode n) {
        std::vector<int> result;
        for (PVirtualNode run = n->FirstChild; run; run = run->NextSibling)
            result.push_back(k.tree.IsInitialized(run) ? *k.tree.Data<int>(run) : 99);
        return result;
    };
    k.tree.SortByColumn(0, sdAscending, false);
    EXPECT_EQ(k.Order(), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(ids(a), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(ids(u), (std::vector<int>{99, 99, 99}));
    k.tree.SortByColumn(0, sdAscending, true);
    EXPECT_EQ(ids(u), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(Inconsistency(k.tree), "");
}

}   // namespace
