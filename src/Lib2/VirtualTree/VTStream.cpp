// Node streams: a node and its subtree as nested chunks {type, size, body}.
// A node chunk holds a base chunk (fixed fields followed by the children's
// node chunks), then a user chunk and whatever a subclass adds (the string
// tree's captions).
//
// A stream may come from anywhere (a file, another process through the
// clipboard), so nothing in it is trusted: every chunk must lie inside its
// parent, child counts must fit the bytes that are left, nesting is capped,
// heights, check states and check types are brought into range, and the
// node states that only make sense while the tree works on a node are
// dropped. Whatever goes wrong, the nodes read so far stay in the tree with
// their counts and heights right.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/FileUtil.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace {

// "⁅VT2 ⁆": six UTF-16 characters, the version digit at [3].
constexpr uint16_t kMagic[6] = {0x2045, u'V', u'T', 0, u' ', 0x2046};
constexpr int kHeaderBytes = 12;
constexpr int kChunkHeaderBytes = 8;
// Fixed fields of the base chunk by format version.
constexpr int kBaseFieldsV1 = 12;
constexpr int kBaseFieldsV2 = 17;
// The states a stream may carry. The others belong to work in progress
// (checking, cut or copy, deleting, clearing, toggling, the initial user
// data pointer, a measured height) or are recomputed (hidden children), and
// bit 15 is never used.
constexpr TVirtualNodeStates kLoadableStates =
    vsInitialized | vsDisabled | vsExpanded | vsHasChildren | vsVisible | vsSelected | vsMultiline;
// The states written (the others are cleared as the format has it).
constexpr TVirtualNodeStates kSavedStatesMask = 0xDDE9;

[[noreturn]] void Corrupt(int helpContext)
{
    switch (helpContext) {
    case hcTFCorruptStream1:
        ShowError("Stream data corrupt. A node's anchor chunk is missing.", hcTFCorruptStream1);
    case hcTFCorruptStream2:
        ShowError("Stream data corrupt. Unexpected data after node's end position.", hcTFCorruptStream2);
    case hcTFWrongStreamFormat:
        ShowError("Unable to load tree structure, the format is wrong.", hcTFWrongStreamFormat);
    case hcTFWrongStreamVersion:
        ShowError("Unable to load tree structure, the version is unknown.", hcTFWrongStreamVersion);
    default:
        ShowError("Unable to load tree structure, not enough data available.", hcTFStreamTooSmall);
    }
}

// A window on another stream that ends where a chunk ends: reads past the
// end come back short. Positions are those of the underlying stream.
class TChunkStream : public TStream {
public:
    TChunkStream(TStream& stream, int64_t end) : base_(&stream), end_(end)
    {
        if (auto* outer = dynamic_cast<TChunkStream*>(&stream)) {
            base_ = outer->base_;
            end_ = std::min(end_, outer->end_);
        }
    }
    size_t Read(void* buffer, size_t count) override
    {
        const int64_t left = end_ - base_->Position();
        if (left <= 0)
            return 0;
        if (static_cast<uint64_t>(left) < count)
            count = static_cast<size_t>(left);
        return base_->Read(buffer, count);
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        if (origin == TSeekOrigin::soEnd)
            return base_->Seek(end_ + offset, TSeekOrigin::soBeginning);
        return base_->Seek(offset, origin);
    }

private:
    TStream* base_;
    int64_t end_;
};

// The end of the data a stream (or chunk window) holds.
int64_t EndOf(TStream& stream) { return stream.Size(); }

template <class T>
T ReadValue(TStream& stream)
{
    uint8_t bytes[sizeof(T)];
    stream.ReadBuffer(bytes, sizeof bytes);
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        v |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return static_cast<T>(v);
}

template <class T>
void WriteValue(TStream& stream, T value)
{
    uint8_t bytes[sizeof(T)];
    const uint64_t v = static_cast<uint64_t>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<uint8_t>(v >> (8 * i));
    stream.WriteBuffer(bytes, sizeof bytes);
}

// Nesting depth of the node being read (the reader recurses per level).
struct DepthGuard {
    unsigned& depth;
    explicit DepthGuard(unsigned& d) : depth(d)
    {
        if (++depth > MaxStreamNodeDepth) {
            --depth;
            Corrupt(hcTFCorruptStream1);
        }
    }
    ~DepthGuard() { --depth; }
};

}   // namespace

// ---------------------------------------------------------------------------
// Writing

void TBaseVirtualTree::FinishChunkHeader(TStream& stream, int64_t startPos, int64_t endPos)
{
    stream.SetPosition(startPos + 4);
    WriteValue<int32_t>(stream, static_cast<int32_t>(endPos - startPos - kChunkHeaderBytes));
    stream.SetPosition(endPos);
}

void TBaseVirtualTree::WriteNode(TStream& stream, PVirtualNode node)
{
    BX_ASSERT(node && node != root_, "The root node cannot be saved as a node.");
    if (options_->MiscOptions() & toInitOnSave) {
        if (!(node->States & vsInitialized))
            InitNode(node);
        if ((node->States & vsHasChildren) && node->ChildCount == 0)
            InitChildren(node);
    }
    const int64_t start = stream.Position();
    WriteValue<int32_t>(stream, NodeChunk);
    WriteValue<int32_t>(stream, 0);
    WriteChunks(stream, node);
    FinishChunkHeader(stream, start, stream.Position());
}

void TBaseVirtualTree::WriteChunks(TStream& stream, PVirtualNode node)
{
    const int64_t start = stream.Position();
    WriteValue<int32_t>(stream, BaseChunk);
    WriteValue<int32_t>(stream, 0);
    // Children are written only for an initialized node; the count says
    // what follows, so a reader never waits for children that aren't there.
    const bool withChildren = (node->States & vsInitialized) != 0;
    WriteValue<uint32_t>(stream, withChildren ? node->ChildCount : 0);
    WriteValue<uint32_t>(stream, node->NodeHeight);
    WriteValue<uint16_t>(stream, static_cast<uint16_t>(node->States & kSavedStatesMask));
    WriteValue<uint8_t>(stream, node->Align);
    WriteValue<uint8_t>(stream, node->CheckState);
    WriteValue<uint8_t>(stream, node->CheckType);
    WriteValue<uint32_t>(stream, 0);
    if (withChildren)
        for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
            WriteNode(stream, child);
    FinishChunkHeader(stream, start, stream.Position());

    // The user chunk only when the handler wrote something.
    TMemoryStream user;
    DoSaveNode(node, user);
    const std::vector<uint8_t>& bytes = user.Bytes();
    if (!bytes.empty()) {
        WriteValue<int32_t>(stream, UserChunk);
        WriteValue<int32_t>(stream, static_cast<int32_t>(bytes.size()));
        stream.WriteBuffer(bytes.data(), bytes.size());
    }
}

void TBaseVirtualTree::SaveNodesToStream(TStream& stream, PVirtualNode node)
{
    if (node == root_)
        node = nullptr;
    for (int i = 0; i < 6; ++i)
        WriteValue<uint16_t>(stream, i == 3 ? static_cast<uint16_t>(u'0' + VTTreeStreamVersion) : kMagic[i]);
    WriteValue<uint32_t>(stream, node ? 1u : root_->ChildCount);
    if (node) {
        WriteNode(stream, node);
    } else {
        for (PVirtualNode run = root_->FirstChild; run; run = run->NextSibling)
            WriteNode(stream, run);
    }
}

void TBaseVirtualTree::SaveNodesToFile(const std::string& fileName, PVirtualNode node)
{
    TMemoryStream stream;
    SaveNodesToStream(stream, node);
    const std::vector<uint8_t>& bytes = stream.Bytes();
    WriteFileAtomic(fileName, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// ---------------------------------------------------------------------------
// Reading

void TBaseVirtualTree::SkipNode(TStream& stream)
{
    const int64_t position = stream.Position();
    const int64_t end = EndOf(stream);
    if (end - position < kChunkHeaderBytes)
        Corrupt(hcTFCorruptStream1);
    const int32_t type = ReadValue<int32_t>(stream);
    const int32_t size = ReadValue<int32_t>(stream);
    if (type != NodeChunk || size < 0 || size > end - position - kChunkHeaderBytes)
        Corrupt(hcTFCorruptStream1);
    stream.SetPosition(position + kChunkHeaderBytes + size);
}

void TBaseVirtualTree::ReadNode(TStream& stream, int version, PVirtualNode node)
{
    const int64_t position = stream.Position();
    const int64_t end = EndOf(stream);
    if (end - position < kChunkHeaderBytes)
        Corrupt(hcTFCorruptStream1);
    const int32_t type = ReadValue<int32_t>(stream);
    const int32_t size = ReadValue<int32_t>(stream);
    if (type != NodeChunk || size < 0 || size > end - position - kChunkHeaderBytes)
        Corrupt(hcTFCorruptStream1);
    DepthGuard depth(streamDepth_);
    const int64_t nodeEnd = position + kChunkHeaderBytes + size;
    for (int64_t here = stream.Position(); here < nodeEnd; here = stream.Position()) {
        if (nodeEnd - here < kChunkHeaderBytes)
            Corrupt(hcTFCorruptStream2);
        const int32_t chunkType = ReadValue<int32_t>(stream);
        const int32_t chunkSize = ReadValue<int32_t>(stream);
        if (chunkSize < 0 || chunkSize > nodeEnd - here - kChunkHeaderBytes)
            Corrupt(hcTFCorruptStream2);
        const int64_t chunkEnd = here + kChunkHeaderBytes + chunkSize;
        TChunkStream chunk(stream, chunkEnd);
        ReadChunk(chunk, version, node, chunkType, chunkSize);
        // Whatever the chunk's reader took, the next chunk starts here.
        stream.SetPosition(chunkEnd);
    }
}

bool TBaseVirtualTree::ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType, int chunkSize)
{
    switch (chunkType) {
    case BaseChunk: {
        const int fixed = version < 2 ? kBaseFieldsV1 : kBaseFieldsV2;
        if (chunkSize < fixed)
            Corrupt(hcTFCorruptStream2);
        const uint32_t childCount = ReadValue<uint32_t>(stream);
        const uint32_t height = ReadValue<uint32_t>(stream);
        TVirtualNodeStates states;
        if (version < 2) {
            const uint8_t old = ReadValue<uint8_t>(stream);
            // Bit 7 of the old format is the selection; such nodes are visible.
            states = static_cast<TVirtualNodeStates>((old & 0x7F) | vsVisible | ((old & 0x80) ? vsSelected : 0));
        } else {
            states = ReadValue<uint16_t>(stream);
        }
        const uint8_t align = ReadValue<uint8_t>(stream);
        const uint8_t checkState = ReadValue<uint8_t>(stream);
        const uint8_t checkType = ReadValue<uint8_t>(stream);
        if (version >= 2)
            ReadValue<uint32_t>(stream);
        if (childCount > 0 && streamDepth_ >= MaxStreamNodeDepth)
            Corrupt(hcTFCorruptStream1);
        // Every child takes at least a node chunk header.
        const int64_t left = EndOf(stream) - stream.Position();
        if (static_cast<uint64_t>(childCount) * kChunkHeaderBytes > static_cast<uint64_t>(left))
            Corrupt(hcTFCorruptStream1);

        // The node keeps a selection it already had; the stream may add one.
        node->States = static_cast<TVirtualNodeStates>((states & kLoadableStates) | (node->States & vsSelected));
        node->NodeHeight = static_cast<uint16_t>(std::min<uint32_t>(std::max<uint32_t>(height, 1), 0xFFFF));
        node->TotalHeight = node->NodeHeight;
        node->Align = align;
        node->CheckState = checkState <= csMixedPressed ? checkState : uint8_t(csUncheckedNormal);
        node->CheckType = checkType <= ctButton ? checkType : uint8_t(ctNone);
        // Children are linked one by one as they are read, so the child
        // count always matches the chain; the totals are put right by
        // AddFromStream.
        for (uint32_t i = 0; i < childCount; ++i) {
            PVirtualNode child = MakeNewNode();
            child->Parent = node;
            child->PrevSibling = node->LastChild;
            child->Index = node->LastChild ? node->LastChild->Index + 1 : 0;
            if (node->LastChild)
                node->LastChild->NextSibling = child;
            else
                node->FirstChild = child;
            node->LastChild = child;
            ++node->ChildCount;
            node->States |= vsHasChildren;
            ReadNode(stream, version, child);
        }
        return true;
    }
    case UserChunk:
        if (chunkSize > 0) {
            const int64_t start = stream.Position();
            DoLoadNode(node, stream);
            return stream.Position() != start;
        }
        return true;
    default:
        return false;
    }
}

void TBaseVirtualTree::AddFromStream(TStream& stream, int version, PVirtualNode node)
{
    BX_ASSERT(node && node != root_, "The root node cannot be loaded from stream.");
    InterruptValidation();
    PVirtualNode parent = node->Parent;
    const uint32_t oldTotalCount = node->TotalCount;
    const uint32_t oldTotalHeight = node->TotalHeight;
    const bool wasVisible = (node->States & vsVisible) != 0;
    const bool wasFullyVisible = FullyVisible(node);
    const unsigned oldShown = wasFullyVisible ? 1 + CountVisibleChildren(node) : 0;

    bool tooTall = false;
    auto repair = [&] {
        RecountTotals(node);
        AdjustTotalCount(parent, static_cast<int64_t>(node->TotalCount) - oldTotalCount, true);
        const int64_t before = wasVisible ? oldTotalHeight : 0;
        tooTall = !RecalcTotalHeights(node) ||
                  ((parent->States & vsExpanded) && (node->States & vsVisible) &&
                   node->TotalHeight - before > HeightRoom(parent));
        if (tooTall) {
            // The node goes again (below): until then it stands as it was
            // linked, collapsed.
            node->States = (node->States & ~(vsVisible | vsExpanded | vsSelected)) | (wasVisible ? vsVisible : 0);
            node->TotalHeight = oldTotalHeight;
        } else if (parent->States & vsExpanded) {
            const int64_t after = (node->States & vsVisible) ? node->TotalHeight : 0;
            AdjustTotalHeight(parent, after - before, true);
        }
        const unsigned shown = FullyVisible(node) ? 1 + CountVisibleChildren(node) : 0;
        visibleCount_ = visibleCount_ - oldShown + shown;

        // Hidden-children flags and the selection of the loaded nodes.
        const bool multiSelect = (options_->SelectionOptions() & toMultiSelect) != 0;
        std::vector<PVirtualNode> selected;
        for (PVirtualNode run = node; run; run = NextInSubtree(run, node)) {
            UpdateHiddenChildrenFlag(run);
            if ((run->States & vsSelected) && FindNodeInSelection(run) < 0) {
                if (multiSelect)
                    selected.push_back(run);
                else
                    run->States &= ~vsSelected;
            }
        }
        if (parent != root_)
            UpdateHiddenChildrenFlag(parent);
        if (!selected.empty() && !tooTall)
            InternalAddToSelection(selected.data(), static_cast<int>(selected.size()), true);
        InvalidateCache();
        if (tooTall) {
            InternalDisconnectNode(node, true);
            MarkForDeletion(node);
            FreeDetached(node);
        }
    };
    try {
        ReadNode(stream, version, node);
    } catch (const EStreamError&) {
        // A reader of a chunk (OnLoadNode) wanted more than the chunk holds.
        repair();
        Corrupt(hcTFStreamTooSmall);
    } catch (...) {
        repair();
        throw;
    }
    repair();
    if (tooTall)
        ShowError("Unable to load tree structure, the rows are too tall to be shown.", hcTFTooTall);
}

void TBaseVirtualTree::LoadNodesFromStream(TStream& stream)
{
    if (options_->MiscOptions() & toReadOnly)
        return;
    ClearNodes();
    const int64_t start = stream.Position();
    const int64_t end = EndOf(stream);
    if (end - start < kHeaderBytes)
        Corrupt(hcTFStreamTooSmall);
    uint16_t header[6];
    for (uint16_t& c : header)
        c = ReadValue<uint16_t>(stream);
    for (int i = 0; i < 6; ++i)
        if (i != 3 && header[i] != kMagic[i])
            Corrupt(hcTFWrongStreamFormat);
    const int version = static_cast<int>(header[3]) - u'0';
    if (version < 1 || version > VTTreeStreamVersion)
        Corrupt(hcTFWrongStreamVersion);

    BeginUpdate();
    try {
        auto loadOne = [&] {
            AddFromStream(stream, version, NewConnectedNode(root_, amAddChildLast));
        };
        if (version >= 2) {
            if (end - stream.Position() < 4)
                Corrupt(hcTFStreamTooSmall);
            const uint32_t count = ReadValue<uint32_t>(stream);
            // Every node takes at least a chunk header: a count beyond that is a lie.
            if (static_cast<uint64_t>(count) * kChunkHeaderBytes > static_cast<uint64_t>(end - stream.Position()))
                Corrupt(hcTFStreamTooSmall);
            for (uint32_t i = 0; i < count; ++i)
                loadOne();
        } else {
            while (stream.Position() < end)
                loadOne();
        }
        DoNodeCopied(nullptr);
    } catch (...) {
        try {
            EndUpdate();
        } catch (...) {
        }
        throw;
    }
    EndUpdate();
}

void TBaseVirtualTree::LoadNodesFromFile(const std::string& fileName)
{
    // Others may read the file meanwhile, nobody may write it.
    HANDLE file = CreateFileW(Utf8ToWide(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw EFileError("Cannot open file \"" + fileName + "\".");
    std::vector<uint8_t> bytes;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1ll << 30);
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                               got == bytes.size());
    }
    CloseHandle(file);
    if (!ok)
        throw EFileError("Cannot read file \"" + fileName + "\".");
    TMemoryStream stream(std::move(bytes));
    LoadNodesFromStream(stream);
}
