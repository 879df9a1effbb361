// The string tree: cell texts asked of the application, measured, cached,
// shortened and painted; static texts; columns spanning empty neighbours;
// the caption chunk of the node stream; hints, incremental search and the
// default editor.
#include <algorithm>

#include "Lib2/VirtualTree/VTEditLink.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace {

constexpr int32_t kCaptionChunk = 3;

UINT AlignmentFormat(TAlignment alignment)
{
    switch (alignment) {
    case TAlignment::taRightJustify:
        return DT_RIGHT;
    case TAlignment::taCenter:
        return DT_CENTER;
    default:
        return DT_LEFT;
    }
}

// What decides a font's measures (its colour does not).
struct TFontShape {
    explicit TFontShape(const TFont& f) : name(f.Name()), height(f.Height()), style(f.Style()) {}
    bool operator==(const TFontShape&) const = default;
    std::string name;
    int height;
    unsigned style;
};

}  // namespace

TCustomVirtualStringTree::TCustomVirtualStringTree(TComponent* owner) : TBaseVirtualTree(owner)
{
    // The in-place editor is a child window of the tree.
    controlStyle_ |= csAcceptsControls;
    internalOffset_ = AllocateInternalDataArea(sizeof(uint32_t));
    MeasureFont();
}

TCustomVirtualStringTree::~TCustomVirtualStringTree()
{
    Destroying();
    if (IsEditing())
        CancelEditNode();
    // A pending copy leaves its texts on the clipboard while they can still be made.
    FlushClipboard();
}

// ---------------------------------------------------------------------------
// Texts

void TCustomVirtualStringTree::SetDefaultText(const std::string& value)
{
    if (value == defaultText_)
        return;
    defaultText_ = value;
    if (!IsLoading()) {
        ClearWidthCaches();
        Invalidate();
    }
}

std::string TCustomVirtualStringTree::Text(PVirtualNode node, TColumnIndex column)
{
    return GetText(node, column, ttNormal);
}

std::string TCustomVirtualStringTree::GetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType)
{
    BX_ASSERT(node != nullptr, "Node must not be nil.");
    if (node != RootNode() && !(node->States & vsInitialized))
        InitNode(node);
    // A static text is empty unless the application gives one.
    std::string text = textType == ttNormal ? defaultText_ : std::string();
    DoGetText(node, column, textType, text);
    return text;
}

void TCustomVirtualStringTree::SetText(PVirtualNode node, TColumnIndex column, const std::string& value)
{
    // OnNewText may delete the node.
    TNodeWatch watch(*this, node);
    DoNewText(node, column, value);
    if (watch.Alive())
        InvalidateNode(node);
}

void TCustomVirtualStringTree::DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType,
                                         std::string& text)
{
    if (OnGetText)
        OnGetText(this, node, column, textType, text);
}

void TCustomVirtualStringTree::DoNewText(PVirtualNode node, TColumnIndex column, const std::string& text)
{
    // Before the handler: it may free the node.
    if (uint32_t* cache = WidthCache(node))
        *cache = 0;
    if (OnNewText)
        OnNewText(this, node, column, text);
    if (UpdateCount() == 0 && HandleAllocated())
        UpdateHorizontalScrollBar(false);
}

void TCustomVirtualStringTree::DoPaintText(PVirtualNode node, TCanvas& canvas, TColumnIndex column,
                                           TVSTTextType textType)
{
    if (OnPaintText)
        OnPaintText(this, canvas, node, column, textType);
}

std::string TCustomVirtualStringTree::DoShortenString(TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                                      const std::string& s, int width, int ellipsisWidth)
{
    std::string result;
    bool done = false;
    if (OnShortenString)
        OnShortenString(this, canvas, node, column, s, width, result, done);
    if (done)
        return result;
    if (!canvas.Handle())
        return s;
    // The canvas font goes into the DC first: the shortening measures there.
    canvas.TextExtent(std::wstring_view(L"..."));
    return ShortenString(canvas.Handle(), s, width, ellipsisWidth);
}

int TCustomVirtualStringTree::DoTextMeasuring(TCanvas& canvas, PVirtualNode, TColumnIndex, const std::string& text)
{
    if (text.empty() || !canvas.Handle())
        return 0;
    return canvas.TextExtent(text).cx;
}

void TCustomVirtualStringTree::DoTextDrawing(TVTPaintInfo& paintInfo, const std::string& text, RECT r,
                                             UINT drawFormat)
{
    if (!paintInfo.Canvas || text.empty())
        return;
    std::wstring w = Utf8ToWide(text);
    paintInfo.Canvas->FormatText(r, w, drawFormat);
}

// ---------------------------------------------------------------------------
// Widths

uint32_t* TCustomVirtualStringTree::WidthCache(PVirtualNode node) const
{
    if (!node)
        return nullptr;
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(node) + internalOffset_);
}

int TCustomVirtualStringTree::CachedTextWidth(PVirtualNode node) const
{
    const uint32_t* cache = WidthCache(node);
    return cache ? static_cast<int>(*cache) : 0;
}

void TCustomVirtualStringTree::ClearWidthCaches()
{
    for (PVirtualNode run = RootNode()->FirstChild; run; run = GetNextNoInit(run))
        *WidthCache(run) = 0;
}

void TCustomVirtualStringTree::MeasureFont()
{
    TCanvas& canvas = Canvas();
    textHeight_ = canvas.TextExtent(std::wstring_view(L"Wy")).cy;
    ellipsisWidth_ = canvas.TextExtent(std::wstring_view(L"...")).cx;
}

int TCustomVirtualStringTree::CalculateTextWidth(TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                                 const std::string& text)
{
    int result = 2 * TextMargin();
    if (!text.empty()) {
        canvas.Font().Assign(Font());
        DoPaintText(node, canvas, column, ttNormal);
        result += DoTextMeasuring(canvas, node, column, text);
    }
    return result;
}

int TCustomVirtualStringTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas)
{
    if (!node || node == RootNode())
        return 0;
    TVirtualTreeColumns& columns = Header().Columns();
    if ((node->States & vsMultiline) && columns.IsValidColumn(column))
        return columns[column]->Width();
    TCanvas& c = canvas ? *canvas : Canvas();
    if (column == Header().MainColumn()) {
        uint32_t* cache = WidthCache(node);
        if (*cache == 0)
            *cache = static_cast<uint32_t>(std::max(0, CalculateTextWidth(c, node, column, Text(node, column))));
        return static_cast<int>(*cache);
    }
    return CalculateTextWidth(c, node, column, Text(node, column));
}

int TCustomVirtualStringTree::ComputeNodeHeight(TCanvas& canvas, PVirtualNode node, TColumnIndex column)
{
    TVirtualTreeColumns& columns = Header().Columns();
    RECT r{0, 0, 0, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK | DT_EDITCONTROL;
    if (columns.IsValidColumn(column)) {
        r.right = columns[column]->Width();
        if (columns[column]->UseRightToLeftReading())
            format |= DT_RTLREADING;
    } else {
        r.right = ClientRect().right;
        if (UseRightToLeftReading())
            format |= DT_RTLREADING;
    }
    std::wstring text = Utf8ToWide(Text(node, column));
    if (text.empty() || !canvas.Handle())
        return 0;
    return canvas.FormatText(r, text, format);
}

bool TCustomVirtualStringTree::ColumnIsEmpty(PVirtualNode node, TColumnIndex column)
{
    return Text(node, column).empty() && TBaseVirtualTree::ColumnIsEmpty(node, column);
}

// ---------------------------------------------------------------------------
// Cached widths go with what they were measured from

void TCustomVirtualStringTree::InvalidateNode(PVirtualNode node)
{
    if (node && node != RootNode()) {
        *WidthCache(node) = 0;
        node->States &= ~vsHeightMeasured;
    }
    TBaseVirtualTree::InvalidateNode(node);
}

void TCustomVirtualStringTree::DoReset(PVirtualNode node)
{
    if (node && node != RootNode())
        *WidthCache(node) = 0;
    TBaseVirtualTree::DoReset(node);
}

void TCustomVirtualStringTree::MainColumnChanged()
{
    ClearWidthCaches();
    TBaseVirtualTree::MainColumnChanged();
}

void TCustomVirtualStringTree::FontChanged()
{
    TBaseVirtualTree::FontChanged();
    MeasureFont();
    ClearWidthCaches();
}

// ---------------------------------------------------------------------------
// Painting

void TCustomVirtualStringTree::InitializeTextProperties(TVTPaintInfo& paintInfo)
{
    TCanvas& canvas = *paintInfo.Canvas;
    canvas.Font().Assign(Font());
    const TVTPaintOptions paint = TreeOptions().PaintOptions();
    if ((paint & toHotTrack) && paintInfo.Node == HotNode()) {
        canvas.Font().SetStyle(canvas.Font().Style() | fsUnderline);
        canvas.Font().SetColor(Colors().HotColor());
    }
    if ((paintInfo.PaintOptions & prSelection) &&
        (paintInfo.Column == FocusedColumn() || (TreeOptions().SelectionOptions() & toFullRowSelect))) {
        if (paintInfo.Node == DropTargetNode() ||
            (Selected(paintInfo.Node) && (FocusedForPaint() || (paint & toPopupMode))))
            canvas.Font().SetColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
    }
    if ((paintInfo.Node->States & vsDisabled) || !Enabled())
        canvas.Font().SetColor(Colors().DisabledColor());
}

// Whether a text surely fits a width without measuring it: printable ASCII
// (no glyph from another font) whose character widths leave a pixel to
// spare. Most cells of a list pass this and cost no measuring.
static bool FitsPlainly(TCanvas& canvas, const std::string& text, int space)
{
    const int width = canvas.AsciiTextWidth(text);
    return width >= 0 && width + 1 <= space;
}

int TCustomVirtualStringTree::PaintNormalText(TVTPaintInfo& paintInfo, std::string text)
{
    TCanvas& canvas = *paintInfo.Canvas;
    InitializeTextProperties(paintInfo);
    const TFontShape before(canvas.Font());
    DoPaintText(paintInfo.Node, canvas, paintInfo.Column, ttNormal);
    const bool fontChanged = !(TFontShape(canvas.Font()) == before);

    RECT r = paintInfo.ContentRect;
    r.left += TextMargin();
    r.right -= TextMargin();
    UINT format = DT_NOPREFIX;
    int width = 0;
    if (paintInfo.Node->States & vsMultiline) {
        format |= DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS | AlignmentFormat(paintInfo.Alignment);
        width = r.right - r.left;
    } else {
        format |= DT_VCENTER | DT_SINGLELINE;
        // Without columns nothing is shortened: the width is measured only
        // when a static text follows (DoPaintNode).
        const int space = r.right - r.left;
        width = paintInfo.Column > NoColumn && !FitsPlainly(canvas, text, space)
                    ? DoTextMeasuring(canvas, paintInfo.Node, paintInfo.Column, text)
                    : -1;
        if (width > space) {
            // The ellipsis measured in the tree font no longer fits a font
            // the application changed.
            text = DoShortenString(canvas, paintInfo.Node, paintInfo.Column, text, space,
                                   fontChanged ? 0 : ellipsisWidth_);
            width = DoTextMeasuring(canvas, paintInfo.Node, paintInfo.Column, text);
            format |= paintInfo.Alignment == TAlignment::taRightJustify ? DT_RIGHT : DT_LEFT;
        } else {
            format |= AlignmentFormat(paintInfo.Alignment);
        }
    }
    if (paintInfo.BidiMode != bdLeftToRight)
        format |= DT_RTLREADING;
    DoTextDrawing(paintInfo, text, r, format);
    return width;
}

void TCustomVirtualStringTree::PaintStaticText(TVTPaintInfo& paintInfo, const std::string& text, int normalWidth)
{
    TCanvas& canvas = *paintInfo.Canvas;
    if (TreeOptions().SelectionOptions() & toFullRowSelect)
        InitializeTextProperties(paintInfo);
    else
        canvas.Font().Assign(Font());
    DoPaintText(paintInfo.Node, canvas, paintInfo.Column, ttStatic);

    RECT r = paintInfo.ContentRect;
    r.left += TextMargin();
    r.right -= TextMargin();
    UINT format = DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER;
    if (paintInfo.Alignment == TAlignment::taRightJustify) {
        r.right -= normalWidth + TextMargin();
        format |= DT_RIGHT;
    } else {
        r.left += normalWidth + TextMargin();
        format |= DT_LEFT;
    }
    if (paintInfo.BidiMode != bdLeftToRight)
        format |= DT_RTLREADING;
    if (r.right > r.left)
        DoTextDrawing(paintInfo, text, r, format);
}

void TCustomVirtualStringTree::DoPaintNode(TVTPaintInfo& paintInfo)
{
    if (!paintInfo.Canvas || !paintInfo.Node)
        return;
    const std::string text = GetText(paintInfo.Node, paintInfo.Column, ttNormal);
    int width = 0;
    if (!text.empty())
        width = PaintNormalText(paintInfo, text);
    if (paintInfo.Alignment != TAlignment::taCenter && !(paintInfo.Node->States & vsMultiline) &&
        (TreeOptions().StringOptions() & toShowStaticText)) {
        const std::string staticText = GetText(paintInfo.Node, paintInfo.Column, ttStatic);
        if (width < 0)
            width = DoTextMeasuring(*paintInfo.Canvas, paintInfo.Node, paintInfo.Column, text);
        if (!staticText.empty())
            PaintStaticText(paintInfo, staticText, width);
    }
}

void TCustomVirtualStringTree::AdjustPaintCellRect(TVTPaintInfo& paintInfo, TColumnIndex& nextNonEmpty)
{
    TBaseVirtualTree::AdjustPaintCellRect(paintInfo, nextNonEmpty);
    if (!(TreeOptions().AutoOptions() & toAutoSpanColumns) || !Header().UseColumns() ||
        paintInfo.BidiMode != bdLeftToRight)
        return;
    TVirtualTreeColumns& columns = Header().Columns();
    if (!columns.IsValidColumn(paintInfo.Column))
        return;
    int left = 0, right = 0;
    columns.GetColumnBounds(paintInfo.Column, left, right);
    int spanRight = right;
    TColumnIndex next = columns.GetNextVisibleColumn(paintInfo.Column);
    while (next >= 0 && columns[next]->BiDiMode() == bdLeftToRight && ColumnIsEmpty(paintInfo.Node, next)) {
        int nextLeft = 0, nextRight = 0;
        columns.GetColumnBounds(next, nextLeft, nextRight);
        spanRight = std::max(spanRight, nextRight);
        next = columns.GetNextVisibleColumn(next);
    }
    paintInfo.CellRect.right += spanRight - right;
    nextNonEmpty = next;
}

// ---------------------------------------------------------------------------
// Hints, search, editing

std::string TCustomVirtualStringTree::DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                                                    TVTTooltipLineBreakStyle& lineBreakStyle)
{
    if (!OnGetHint)
        return TBaseVirtualTree::DoGetNodeHint(node, column, lineBreakStyle);
    std::string hint;
    lineBreakStyle = hlbDefault;
    OnGetHint(this, node, column, lineBreakStyle, hint);
    return hint;
}

std::string TCustomVirtualStringTree::DoGetNodeTooltip(PVirtualNode node, TColumnIndex column,
                                                       TVTTooltipLineBreakStyle& lineBreakStyle)
{
    if (OnGetHint)
        return DoGetNodeHint(node, column, lineBreakStyle);
    lineBreakStyle = hlbDefault;
    return node ? Text(node, column) : std::string();
}

int TCustomVirtualStringTree::DoIncrementalSearch(PVirtualNode node, const std::string& text)
{
    if (OnIncrementalSearch)
        return TBaseVirtualTree::DoIncrementalSearch(node, text);
    const std::wstring cell = Utf8ToWide(Text(node, FocusedColumn()));
    const std::wstring search = Utf8ToWide(text);
    if (search.size() > cell.size())
        return 1;
    if (search.empty())
        return 0;
    const int n = static_cast<int>(search.size());
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, cell.data(), n, search.data(), n) == CSTR_EQUAL
               ? 0
               : 1;
}

TEditLinkPtr TCustomVirtualStringTree::DoCreateEditor(PVirtualNode node, TColumnIndex column)
{
    TEditLinkPtr link = TBaseVirtualTree::DoCreateEditor(node, column);
    if (!link)
        link = std::make_shared<TStringEditLink>();
    return link;
}

void TCustomVirtualStringTree::TextInfo(PVirtualNode node, TColumnIndex column, TFont& font, RECT& r,
                                        std::string& text)
{
    TCanvas& canvas = Canvas();
    DoPaintText(node, canvas, column, ttNormal);
    font.Assign(canvas.Font());
    text = Text(node, column);
    const bool multiline = (node->States & vsMultiline) != 0;
    r = NodeDisplayRect(node, column, !multiline, true);
    if (TreeOptions().PaintOptions() & toShowHorzGridLines)
        --r.bottom;
    if (!multiline) {
        // The rectangle of the text line, centred in the row.
        const int height = canvas.TextExtent(std::wstring_view(L"Wy")).cy;
        const int top = r.top + (r.bottom - r.top - height) / 2;
        r.top = top;
        r.bottom = top + height;
    }
}

// ---------------------------------------------------------------------------
// Node stream: the main column's text as a chunk of its own

void TCustomVirtualStringTree::WriteChunks(TStream& stream, PVirtualNode node)
{
    TBaseVirtualTree::WriteChunks(stream, node);
    if (!(TreeOptions().StringOptions() & toSaveCaptions) || !node || node == RootNode() ||
        !(node->States & vsInitialized))
        return;
    const std::wstring caption = Utf8ToWide(Text(node, Header().MainColumn()));
    if (caption.empty())
        return;
    stream.WriteInt32(kCaptionChunk);
    stream.WriteInt32(static_cast<int32_t>(caption.size() * sizeof(wchar_t)));
    stream.WriteBuffer(caption.data(), caption.size() * sizeof(wchar_t));
}

bool TCustomVirtualStringTree::ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType,
                                         int chunkSize)
{
    if (chunkType != kCaptionChunk)
        return TBaseVirtualTree::ReadChunk(stream, version, node, chunkType, chunkSize);
    if (chunkSize <= 0)
        return true;
    // Never read past the data: a chunk claiming more is cut to what is there.
    const int64_t left = stream.Size() - stream.Position();
    const int64_t size = std::min<int64_t>(chunkSize, std::max<int64_t>(left, 0));
    std::wstring caption(static_cast<size_t>(size / 2), L'\0');
    if (!caption.empty())
        stream.ReadBuffer(caption.data(), caption.size() * sizeof(wchar_t));
    if (size % 2)
        stream.Seek(1, TSeekOrigin::soCurrent);
    if (node && node != RootNode())
        DoNewText(node, Header().MainColumn(), WideToUtf8(caption));
    return true;
}
