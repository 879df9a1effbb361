// The header's layout as a stream record: a marker and version, the column
// records, the display order, then the header's own properties and font.
// Integers are 32-bit little-endian. Version 3 is written; versions 0 to 3
// and the unmarked oldest form are read. A stream is read completely before
// anything is applied, so a short or broken record leaves the header as it
// was; values out of range are clamped.
#include <algorithm>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHeaderInternal.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace {

constexpr int32_t kMarker = -1;

// What one column record holds.
struct ColumnRecord {
    std::wstring text, hint;
    int32_t width = 50, minWidth = 10, maxWidth = 10000;
    int32_t style = 0, imageIndex = -1, layout = 0, margin = 4, spacing = 4, bidiMode = 0;
    uint32_t options = kDefaultColumnOptions;
    int32_t tag = 0, alignment = 0;
    bool hasColor = false;
    COLORREF color = 0;
};

[[noreturn]] void Corrupt(const char* what) {
    ShowError(std::string("Unable to load the header: ") + what, hcTFStreamTooSmall);
}

int64_t Remaining(TStream& s) {
    return s.Size() - s.Position();
}

int32_t ReadInt(TStream& s) {
    if (Remaining(s) < 4)
        Corrupt("not enough data.");
    return s.ReadInt32();
}

std::wstring ReadWide(TStream& s) {
    const int32_t length = ReadInt(s);
    if (length < 0 || length > Remaining(s) / 2)
        Corrupt("a text length is out of range.");
    std::wstring text(static_cast<size_t>(length), L'\0');
    std::vector<uint8_t> bytes(static_cast<size_t>(length) * 2);
    if (length > 0)
        s.ReadBuffer(bytes.data(), bytes.size());
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

void WriteWide(TStream& s, const std::wstring& text) {
    s.WriteInt32(static_cast<int32_t>(text.size()));
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (wchar_t ch : text) {
        bytes.push_back(static_cast<uint8_t>(ch & 0xFF));
        bytes.push_back(static_cast<uint8_t>((ch >> 8) & 0xFF));
    }
    if (!bytes.empty())
        s.WriteBuffer(bytes.data(), bytes.size());
}

// Column options of older streams: versions below 2 had no parent-colour
// member (bits 4 to 6 move up by one, bit 15 to 16); version 2 kept
// nothing above bit 7.
uint32_t ConvertColumnOptions(uint32_t options, int version) {
    if (version < 2)
        return (options & 0x0F) | ((options & 0x70) << 1) | ((options & 0x8000) << 1);
    if (version == 2)
        return options & ~0xFF00u;
    return options;
}

ColumnRecord ReadColumnRecord(TStream& s, int version) {
    ColumnRecord r;
    r.text = ReadWide(s);
    r.hint = ReadWide(s);
    r.width = ReadInt(s);
    r.minWidth = ReadInt(s);
    r.maxWidth = ReadInt(s);
    r.style = ReadInt(s);
    r.imageIndex = ReadInt(s);
    r.layout = ReadInt(s);
    r.margin = ReadInt(s);
    r.spacing = ReadInt(s);
    r.bidiMode = ReadInt(s);
    r.options = ConvertColumnOptions(static_cast<uint32_t>(ReadInt(s)), version);
    if (version > 0) {
        r.tag = ReadInt(s);
        r.alignment = ReadInt(s);
    }
    if (version > 1) {
        r.hasColor = true;
        r.color = static_cast<COLORREF>(ReadInt(s));
    }
    return r;
}

template <class E>
E ClampEnum(int32_t value, E last, E fallback) {
    return (value < 0 || value > static_cast<int32_t>(last)) ? fallback : static_cast<E>(value);
}

}  // namespace

// --- column record ------------------------------------------------------------

void TVirtualTreeColumn::SaveToStream(TStream& s) const {
    WriteWide(s, Utf8ToWide(text_));
    WriteWide(s, Utf8ToWide(hint_));
    s.WriteInt32(width_);
    s.WriteInt32(minWidth_);
    s.WriteInt32(maxWidth_);
    s.WriteInt32(static_cast<int32_t>(style_));
    s.WriteInt32(imageIndex_);
    s.WriteInt32(static_cast<int32_t>(layout_));
    s.WriteInt32(margin_);
    s.WriteInt32(spacing_);
    s.WriteInt32(static_cast<int32_t>(bidiMode_));
    s.WriteInt32(static_cast<int32_t>(options_));
    s.WriteInt32(tag_);
    s.WriteInt32(static_cast<int32_t>(alignment_));
    s.WriteInt32(static_cast<int32_t>(color_));
}

namespace {

void ApplyColumnRecord(TVirtualTreeColumn& c, const ColumnRecord& r) {
    // Limits first (the minimum out of the way of the maximum), then the width.
    c.SetMinWidth(0);
    c.SetMaxWidth(r.maxWidth);
    c.SetMinWidth(r.minWidth);
    c.SetWidth(r.width);
    c.SetText(WideToUtf8(r.text));
    c.SetHint(WideToUtf8(r.hint));
    c.SetStyle(ClampEnum(r.style, vsOwnerDraw, vsText));
    c.SetImageIndex(r.imageIndex);
    c.SetLayout(ClampEnum(r.layout, blGlyphBottom, blGlyphLeft));
    c.SetMargin(r.margin);
    c.SetSpacing(r.spacing);
    c.SetTag(r.tag);
    c.SetAlignment(ClampEnum(r.alignment, TAlignment::taCenter, TAlignment::taLeftJustify));
    // Colour and reading direction as stored, unless the options say they
    // follow the tree (the options' setter then copies the tree's).
    const TVTColumnOptions follow = coParentColor | coParentBidiMode;
    c.SetOptions(r.options & ~follow);
    if (r.hasColor)
        c.SetColor(r.color);
    c.SetBiDiMode(ClampEnum(r.bidiMode, bdRightToLeftReadingOnly, bdLeftToRight));
    c.SetOptions(r.options);
}

}  // namespace

void TVirtualTreeColumn::LoadFromStream(TStream& stream, int version) {
    ColumnRecord r = ReadColumnRecord(stream, version);
    ApplyColumnRecord(*this, r);
}

// --- collection -----------------------------------------------------------------

void TVirtualTreeColumns::SaveToStream(TStream& s) const {
    s.WriteInt32(Count());
    for (const TVirtualTreeColumn* c : items_)
        c->SaveToStream(s);
    if (!items_.empty())
        for (TColumnIndex index : positionToIndex_)
            s.WriteInt32(index);
}

void TVirtualTreeColumns::LoadFromStream(TStream& s, int version) {
    const int32_t count = ReadInt(s);
    if (count < 0 || count > Remaining(s) / 48)
        Corrupt("the column count is out of range.");
    std::vector<ColumnRecord> records;
    records.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        records.push_back(ReadColumnRecord(s, version));
    std::vector<TColumnIndex> order;
    for (int32_t i = 0; i < count; ++i)
        order.push_back(ReadInt(s));

    BeginUpdate();
    Clear();
    for (const ColumnRecord& r : records)
        ApplyColumnRecord(*Add(), r);
    // A display order that is not a permutation of the indices falls back to
    // the index order.
    std::vector<TColumnIndex> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    bool valid = true;
    for (int32_t i = 0; i < count; ++i)
        valid = valid && sorted[static_cast<size_t>(i)] == i;
    if (!valid)
        for (int32_t i = 0; i < count; ++i)
            order[static_cast<size_t>(i)] = i;
    positionToIndex_ = order;
    needPositionsFix_ = false;
    EndUpdate();
    UpdatePositions();
}

// --- header ---------------------------------------------------------------------

void TVTHeader::SaveToStream(TStream& s) const {
    s.WriteInt32(kMarker);
    s.WriteInt32(kStreamVersion);
    columns_->SaveToStream(s);
    s.WriteInt32(autoSizeIndex_);
    s.WriteInt32(static_cast<int32_t>(background_));
    s.WriteInt32(height_);
    s.WriteInt32(static_cast<int32_t>(options_ & 0xFFFF));
    s.WriteInt32(static_cast<int32_t>(style_));
    TFont& font = const_cast<TFont&>(font_);
    s.WriteInt32(static_cast<int32_t>(font.Color()));
    s.WriteInt32(font.Height());
    const std::string name = Utf8ToCodePage(font.Name(), CP_ACP);
    s.WriteInt32(static_cast<int32_t>(name.size()));
    if (!name.empty())
        s.WriteBuffer(name.data(), name.size());
    s.WriteInt32(0);   // pitch: the default
    s.WriteInt32(static_cast<int32_t>(font.Style() & 0xFF));
    s.WriteInt32(mainColumn_);
    s.WriteInt32(sortColumn_);
    s.WriteInt32(static_cast<int32_t>(sortDirection_));
}

void TVTHeader::LoadFromStream(TStream& s) {
    // Everything is read first.
    int32_t version = -1;
    int32_t count = ReadInt(s);
    if (count == kMarker) {
        version = ReadInt(s);
        if (version < 0 || version > kStreamVersion)
            ShowError("Unable to load the header, the version is unknown.", hcTFWrongStreamVersion);
        count = ReadInt(s);
    }
    if (count < 0 || count > Remaining(s) / 48)
        Corrupt("the column count is out of range.");
    std::vector<ColumnRecord> records;
    records.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        records.push_back(ReadColumnRecord(s, version));
    std::vector<TColumnIndex> order;
    for (int32_t i = 0; i < count; ++i)
        order.push_back(ReadInt(s));
    const int32_t autoSizeIndex = ReadInt(s);
    const COLORREF background = static_cast<COLORREF>(ReadInt(s));
    const int32_t height = ReadInt(s);
    const TVTHeaderOptions options = static_cast<uint32_t>(ReadInt(s)) & 0xFFFF;
    const int32_t style = ReadInt(s) & 0xFF;
    const COLORREF fontColor = static_cast<COLORREF>(ReadInt(s));
    const int32_t fontHeight = ReadInt(s);
    const int32_t nameLength = ReadInt(s);
    if (nameLength < 0 || nameLength > Remaining(s))
        Corrupt("the font name length is out of range.");
    std::string name(static_cast<size_t>(nameLength), '\0');
    if (nameLength > 0)
        s.ReadBuffer(name.data(), name.size());
    ReadInt(s);   // pitch (the font keeps its own)
    const unsigned fontStyle = static_cast<unsigned>(ReadInt(s)) & 0xFF;
    int32_t mainColumn = mainColumn_, sortColumn = sortColumn_, sortDirection = sortDirection_;
    if (version > 0) {
        mainColumn = ReadInt(s);
        sortColumn = ReadInt(s);
        sortDirection = ReadInt(s);
    }

    // Then applied, with the header's options off meanwhile.
    states_ |= hsLoading;
    options_ = 0;
    columns_->Clear();
    for (const ColumnRecord& r : records)
        ApplyColumnRecord(*columns_->Add(), r);
    std::vector<TColumnIndex> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    bool valid = true;
    for (int32_t i = 0; i < count; ++i)
        valid = valid && sorted[static_cast<size_t>(i)] == i;
    if (!valid)
        for (int32_t i = 0; i < count; ++i)
            order[static_cast<size_t>(i)] = i;
    columns_->positionToIndex_ = order;
    columns_->needPositionsFix_ = false;

    autoSizeIndex_ = autoSizeIndex;
    background_ = background;
    height_ = std::max<int32_t>(height, 0);
    style_ = ClampEnum(style, hsXPStyle, hsThickButtons);
    font_.SetColor(fontColor);
    font_.SetHeight(fontHeight);
    if (!name.empty())
        font_.SetName(CodePageToUtf8(name, CP_ACP));
    font_.SetStyle(fontStyle & (fsBold | fsItalic | fsUnderline | fsStrikeOut));
    parentFont_ = false;
    mainColumn_ = mainColumn;
    sortColumn_ = std::clamp<int32_t>(sortColumn, NoColumn, count - 1);
    sortDirection_ = ClampEnum(sortDirection, sdDescending, sdAscending);
    options_ = options;
    states_ &= ~hsLoading;

    columns_->UpdatePositions();
    if (mainColumn_ >= count)
        mainColumn_ = count - 1;
    if (mainColumn_ < 0 && count > 0)
        mainColumn_ = 0;
    if (count == 0)
        mainColumn_ = NoColumn;
    RecalculateHeader();
    if ((options_ & hoAutoResize) && count > 0)
        columns_->AdjustAutoSize(InvalidColumn, true);
    for (int32_t i = 0; i < count; ++i)
        vthdr::ColumnResized(tree_, i);
    vthdr::UpdateHorizontalScrollBar(tree_);
    Invalidate(nullptr);
    vthdr::RepaintTree(tree_);
}
