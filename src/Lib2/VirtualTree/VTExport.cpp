// Export of a string tree's content as text, UTF-16 text, CSV, HTML and RTF,
// and the clipboard blocks made from them.
#include "Lib2/VirtualTree/VTExport.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "platform/Canvas.h"
#include "platform/Graphics.h"
#include "platform/Text.h"

namespace {

// ----- walking one text source

PVirtualNode FirstOf(TCustomVirtualStringTree& tree, TVSTTextSourceType source)
{
    switch (source) {
        case tstInitialized: return tree.FirstInitializedNode();
        case tstSelected: return tree.FirstSelected();
        case tstCutCopySet: return tree.FirstCutCopyNode();
        case tstVisible: return tree.FirstVisibleNode();
        case tstAll:
        default: return tree.FirstNode();
    }
}

PVirtualNode NextOf(TCustomVirtualStringTree& tree, TVSTTextSourceType source, PVirtualNode node)
{
    switch (source) {
        case tstInitialized: return tree.NextInitializedNode(node);
        case tstSelected: return tree.NextSelected(node);
        case tstCutCopySet: return tree.NextCutCopyNode(node);
        case tstVisible: return tree.NextVisibleNode(node);
        case tstAll:
        default: return tree.NextNode(node);
    }
}

std::vector<PVirtualNode> SourceNodes(TCustomVirtualStringTree& tree, TVSTTextSourceType source)
{
    std::vector<PVirtualNode> nodes;
    for (PVirtualNode n = FirstOf(tree, source); n; n = NextOf(tree, source, n))
        nodes.push_back(n);
    return nodes;
}

unsigned MaxLevelOf(TCustomVirtualStringTree& tree, const std::vector<PVirtualNode>& nodes)
{
    unsigned level = 0;
    for (PVirtualNode n : nodes)
        level = std::max(level, tree.NodeLevel(n));
    return level;
}

// The visible columns in display order; one entry NoColumn without columns.
std::vector<TColumnIndex> ExportColumns(TCustomVirtualStringTree& tree)
{
    if (!tree.Header().UseColumns())
        return {NoColumn};
    return tree.Header().Columns().GetVisibleColumns();
}

// OnPaintText through the tree's dispatcher when the tree has one.
template <class Tree>
void PaintTextOf(Tree& tree, PVirtualNode node, TCanvas& canvas, TColumnIndex column)
{
    if constexpr (requires { tree.DoPaintText(node, canvas, column, ttNormal); })
        tree.DoPaintText(node, canvas, column, ttNormal);
    else if (tree.OnPaintText)
        tree.OnPaintText(&tree, canvas, node, column, ttNormal);
}

// A canvas over a memory DC with the tree font, for OnPaintText.
class TExportCanvas {
public:
    TExportCanvas() : dc_(CreateCompatibleDC(nullptr)), canvas_(std::make_unique<TCanvas>(dc_)) {}
    ~TExportCanvas()
    {
        canvas_.reset();
        if (dc_)
            DeleteDC(dc_);
    }
    TExportCanvas(const TExportCanvas&) = delete;
    TExportCanvas& operator=(const TExportCanvas&) = delete;

    // The cell's font: the tree font, then whatever OnPaintText makes of it.
    TFont& CellFont(TCustomVirtualStringTree& tree, PVirtualNode node, TColumnIndex column)
    {
        canvas_->Font().Assign(tree.Font());
        PaintTextOf(tree, node, *canvas_, column);
        return canvas_->Font();
    }

private:
    HDC dc_;
    std::unique_ptr<TCanvas> canvas_;
};

bool SameFont(const TFont& a, const TFont& b)
{
    return a.Name() == b.Name() && a.Height() == b.Height() && a.Style() == b.Style() && a.Color() == b.Color();
}

// Point size of a font; the screen's pixels per inch are read once per
// export (TFont::Size asks the screen every time).
class TPointSizes {
public:
    int Of(const TFont& font)
    {
        if (font.Height() != lastHeight_ || !known_) {
            known_ = true;
            lastHeight_ = font.Height();
            lastSize_ = font.Size();
        }
        return lastSize_;
    }

private:
    bool known_ = false;
    int lastHeight_ = 0;
    int lastSize_ = 0;
};

// ----- text

template <class Char>
using TText = std::basic_string<Char>;
template <class Char>
using TTextView = std::basic_string_view<Char>;

// How a text export writes a field (a cell, a caption, a node text).
enum class TFieldRule {
    Plain,     // one line per row: a line break becomes a blank; quoted when
               // holding the separator or a double quote
    Unicode,   // the same, quoted only when holding the separator
    Csv,       // RFC 4180: quoted when holding the separator, a double quote,
               // CR or LF; the line breaks stay inside the quotes
};

template <class Char>
TText<Char> Repeat(TTextView<Char> piece, unsigned count)
{
    TText<Char> out;
    out.reserve(piece.size() * count);
    for (unsigned i = 0; i < count; ++i)
        out += piece;
    return out;
}

// Each line break (CR LF, CR or LF) becomes one blank.
template <class Char>
TText<Char> OneLine(TTextView<Char> text)
{
    TText<Char> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != Char('\r') && text[i] != Char('\n')) {
            out += text[i];
            continue;
        }
        if (text[i] == Char('\r') && i + 1 < text.size() && text[i + 1] == Char('\n'))
            ++i;
        out += Char(' ');
    }
    return out;
}

// In double quotes, inner double quotes doubled.
template <class Char>
TText<Char> Quoted(TTextView<Char> text)
{
    TText<Char> out(1, Char('"'));
    for (Char c : text) {
        if (c == Char('"'))
            out += c;
        out += c;
    }
    out += Char('"');
    return out;
}

template <class Char>
TText<Char> Field(TTextView<Char> text, TTextView<Char> separator, TFieldRule rule)
{
    const Char lineBreaks[] = {Char('\r'), Char('\n'), Char(0)};
    const bool breaks = text.find_first_of(lineBreaks) != TTextView<Char>::npos;
    const TText<Char> line = breaks && rule != TFieldRule::Csv ? OneLine(text) : TText<Char>(text);
    const bool holdsSeparator = !separator.empty() && line.find(separator) != TText<Char>::npos;
    const bool holdsQuote = line.find(Char('"')) != TText<Char>::npos;
    bool quote = holdsSeparator;
    if (rule != TFieldRule::Unicode)
        quote = quote || holdsQuote;
    if (rule == TFieldRule::Csv)
        quote = quote || breaks;
    return quote ? Quoted<Char>(line) : line;
}

template <class Char>
TText<Char> FromUtf8(const std::string& text)
{
    if constexpr (std::is_same_v<Char, char>)
        return text;
    else
        return Utf8ToWide(text);
}

// The layout every text export shares: with columns a line of the captions,
// then one line (one record) per node, the main column padded by level.
template <class Char>
TText<Char> TextContent(TCustomVirtualStringTree& tree, TVSTTextSourceType source, TTextView<Char> separator,
                        TFieldRule rule)
{
    const std::vector<PVirtualNode> nodes = SourceNodes(tree, source);
    const unsigned maxLevel = MaxLevelOf(tree, nodes);
    const TText<Char> lineEnd = {Char('\r'), Char('\n')};
    TText<Char> out;

    TVTHeader& header = tree.Header();
    if (!header.UseColumns()) {
        for (PVirtualNode node : nodes) {
            out += Repeat(separator, tree.NodeLevel(node));
            const TText<Char> text = FromUtf8<Char>(tree.GetText(node, NoColumn, ttNormal));
            // A node text stands unquoted in plain text.
            out += rule == TFieldRule::Csv ? Field<Char>(text, separator, rule) : OneLine<Char>(text);
            out += lineEnd;
        }
        return out;
    }
    const std::vector<TColumnIndex> columns = ExportColumns(tree);
    const TColumnIndex mainColumn = header.MainColumn();
    for (size_t i = 0; i < columns.size(); ++i) {
        out += Field<Char>(FromUtf8<Char>(header.Columns()[columns[i]]->Text()), separator, rule);
        if (columns[i] == mainColumn)
            out += Repeat(separator, maxLevel);
        if (i + 1 < columns.size())
            out += separator;
    }
    out += lineEnd;
    for (PVirtualNode node : nodes) {
        const unsigned level = tree.NodeLevel(node);
        for (size_t i = 0; i < columns.size(); ++i) {
            const bool isMain = columns[i] == mainColumn;
            if (isMain)
                out += Repeat(separator, level);
            out += Field<Char>(FromUtf8<Char>(tree.GetText(node, columns[i], ttNormal)), separator, rule);
            if (isMain)
                out += Repeat(separator, maxLevel - level);
            if (i + 1 < columns.size())
                out += separator;
        }
        out += lineEnd;
    }
    return out;
}

// Whether any exported cell has a text: rows that are all empty go nowhere.
bool HasAnyText(TCustomVirtualStringTree& tree, TVSTTextSourceType source)
{
    const std::vector<TColumnIndex> columns = ExportColumns(tree);
    for (PVirtualNode node = FirstOf(tree, source); node; node = NextOf(tree, source, node))
        for (TColumnIndex column : columns)
            if (!tree.GetText(node, column, ttNormal).empty())
                return true;
    return false;
}

// ----- HTML

// A text that is not valid UTF-8 made so (the HTML block says it is UTF-8).
std::string ValidUtf8(std::string_view raw)
{
    return IsValidUtf8(raw) ? std::string(raw) : WideToUtf8(Utf8ToWide(raw));
}

// Markup characters escaped.
std::string HtmlEscape(std::string_view raw)
{
    const std::string text = ValidUtf8(raw);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string HtmlColor(COLORREF color)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", GetRValue(color), GetGValue(color), GetBValue(color));
    return buf;
}

// A CSS string in double quotes. It stands in a style element, where markup
// is not undone, or in an attribute value, which is escaped as a whole.
std::string CssString(std::string_view raw)
{
    std::string out = "\"";
    for (char c : ValidUtf8(raw)) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '<')
            out += "\\3C ";
        else if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out + "\"";
}

// The declarations of a font: "font: italic bold 8pt "Tahoma";
// text-decoration:underline;color:#000000;". They make the body of a style
// rule and, escaped, a cell's style attribute. An underline is a text
// decoration in CSS, no font style, and an attribute value holds bare
// declarations: braces and unescaped quotes there would break the cell.
std::string FontDeclarations(const TFont& font, TPointSizes& sizes)
{
    std::string out = "font:";
    if (font.Style() & fsItalic)
        out += " italic";
    if (font.Style() & fsBold)
        out += " bold";
    out += Format(" %dpt %s;", sizes.Of(font), CssString(font.Name()).c_str());
    if (font.Style() & fsUnderline)
        out += "text-decoration:underline;";
    out += "color:" + HtmlColor(font.Color()) + ";";
    return out;
}

const char* HtmlAlignment(TAlignment alignment, bool rightToLeft)
{
    if (rightToLeft) {
        if (alignment == TAlignment::taLeftJustify)
            alignment = TAlignment::taRightJustify;
        else if (alignment == TAlignment::taRightJustify)
            alignment = TAlignment::taLeftJustify;
    }
    switch (alignment) {
        case TAlignment::taRightJustify: return " align=right";
        case TAlignment::taCenter: return " align=center";
        default: return " align=left";
    }
}

// ----- RTF

int ScreenPixelsPerInch()
{
    HDC dc = GetDC(nullptr);
    const int ppi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc)
        ReleaseDC(nullptr, dc);
    return ppi > 0 ? ppi : 96;
}

// Font and colour tables and the formatting state while the body is written.
class TRtfWriter {
public:
    // A text in a font: style switches, font, colour and size when they
    // differ from the current ones, then every UTF-16 unit as \u.
    void Text(std::string_view utf8, const TFont& font)
    {
        if (utf8.empty())
            return;
        const unsigned style = font.Style();
        if (style & fsUnderline)
            body_ += "\\ul";
        if (style & fsItalic)
            body_ += "\\i";
        if (style & fsBold)
            body_ += "\\b";
        const int fontIndex = IndexOf(fonts_, font.Name());
        if (fontIndex != currentFont_) {
            currentFont_ = fontIndex;
            body_ += Format("\\f%d", fontIndex);
        }
        const int colorIndex = IndexOf(colors_, font.Color());
        if (colorIndex != currentColor_) {
            currentColor_ = colorIndex;
            body_ += Format("\\cf%d", colorIndex + 1);
        }
        const int size = sizes_.Of(font);
        if (size != currentSize_) {
            currentSize_ = size;
            body_ += Format("\\fs%d", 2 * currentSize_);
        }
        body_ += ' ';
        for (wchar_t unit : Utf8ToWide(utf8))
            AppendUnit(body_, unit, "\\'3f");
        if (style & fsUnderline)
            body_ += "\\ul0";
        if (style & fsItalic)
            body_ += "\\i0";
        if (style & fsBold)
            body_ += "\\b0";
    }

    std::string& Body() { return body_; }

    std::string Document() const
    {
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl";
        for (size_t i = 0; i < fonts_.size(); ++i)
            out += Format("{\\f%d %s;}", static_cast<int>(i), EscapeName(fonts_[i]).c_str());
        out += "}{\\colortbl;";
        for (COLORREF c : colors_)
            out += Format("\\red%d\\green%d\\blue%d;", GetRValue(c), GetGValue(c), GetBValue(c));
        out += "}";
        out += body_;
        out += "}";
        return out;
    }

private:
    template <class T>
    static int IndexOf(std::vector<T>& table, const T& value)
    {
        for (size_t i = 0; i < table.size(); ++i)
            if (table[i] == value)
                return static_cast<int>(i);
        table.push_back(value);
        return static_cast<int>(table.size() - 1);
    }

    // A UTF-16 unit as \u (a signed 16-bit number: units above 32767 go
    // negative) and the character a reader without Unicode shows instead.
    static void AppendUnit(std::string& out, wchar_t unit, const char* fallback)
    {
        int value = static_cast<unsigned short>(unit);
        if (value > 32767)
            value -= 65536;
        char buf[16];
        const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
        out += "\\u";
        out.append(buf, end);
        out += fallback;
    }

    // A font name may not break the table's groups; beyond ASCII it is
    // written in \u escapes (the document's code page is 1252).
    static std::string EscapeName(const std::string& name)
    {
        std::string out;
        for (wchar_t unit : Utf8ToWide(name)) {
            if (unit >= 0x80)
                AppendUnit(out, unit, "?");
            else if (unit >= 0x20 && unit != '\\' && unit != '{' && unit != '}' && unit != ';')
                out += static_cast<char>(unit);
        }
        return out;
    }

    std::vector<std::string> fonts_;
    std::vector<COLORREF> colors_;
    int currentFont_ = -1;
    int currentColor_ = -1;
    int currentSize_ = -1;
    TPointSizes sizes_;
    std::string body_;
};

const char* RtfAlignment(TAlignment alignment, bool rightToLeft)
{
    if (rightToLeft) {
        if (alignment == TAlignment::taLeftJustify)
            alignment = TAlignment::taRightJustify;
        else if (alignment == TAlignment::taRightJustify)
            alignment = TAlignment::taLeftJustify;
    }
    switch (alignment) {
        case TAlignment::taRightJustify: return "\\qr";
        case TAlignment::taCenter: return "\\qc";
        default: return "";
    }
}

UINT RegisteredFormat(UINT& slot, const wchar_t* name)
{
    if (!slot)
        slot = RegisterClipboardFormatW(name);
    return slot;
}

HGLOBAL GlobalBlock(const void* data, size_t bytes, size_t terminatorBytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, bytes + terminatorBytes);
    if (!block)
        return nullptr;
    if (void* p = GlobalLock(block)) {
        std::memcpy(p, data, bytes);   // the terminator is already zero
        GlobalUnlock(block);
        return block;
    }
    GlobalFree(block);
    return nullptr;
}

}   // namespace

// ---------------------------------------------------------------------------

std::string ContentToText(TCustomVirtualStringTree& tree, TVSTTextSourceType source, std::string_view separator)
{
    return TextContent<char>(tree, source, separator, TFieldRule::Plain);
}

std::string ContentToCSV(TCustomVirtualStringTree& tree, TVSTTextSourceType source, std::string_view separator)
{
    return TextContent<char>(tree, source, separator, TFieldRule::Csv);
}

std::wstring ContentToUnicode(TCustomVirtualStringTree& tree, TVSTTextSourceType source, wchar_t separator)
{
    return TextContent<wchar_t>(tree, source, std::wstring_view(&separator, 1), TFieldRule::Unicode);
}

std::string ContentToHTML(TCustomVirtualStringTree& tree, TVSTTextSourceType source, const std::string& caption)
{
    const std::vector<PVirtualNode> nodes = SourceNodes(tree, source);
    const unsigned maxLevel = MaxLevelOf(tree, nodes);
    TVTHeader& header = tree.Header();
    const bool useColumns = header.UseColumns();
    const std::vector<TColumnIndex> columns = ExportColumns(tree);
    const TColumnIndex mainColumn = header.MainColumn();
    const TVTPaintOptions paint = tree.TreeOptions().PaintOptions();
    const std::string padding = Format("padding-left:%dpx;padding-right:%dpx;", tree.Margin(), tree.Margin());
    const char* lineStyle = tree.LineStyle() == lsSolid ? "solid;" : "dotted;";

    TPointSizes sizes;
    std::string out = "<style type=\"text/css\">\r\n";
    out += ".default{" + FontDeclarations(tree.Font(), sizes) + "}\r\n";
    out += ".header{" + FontDeclarations(header.Font(), sizes) + "}\r\n";
    if (paint & toShowHorzGridLines)
        out += std::string(".noborder{border-style:") + lineStyle +
               " border-bottom:1;border-left:0;border-right:0; border-top:0;";
    else
        out += ".noborder{border-style:none;";
    out += padding + "}\r\n";
    out += ".normalborder {border-top:none; border-left:none; ";
    out += (paint & toShowVertGridLines) ? std::string("border-right:1 ") + lineStyle : "border-right:none;";
    out += (paint & toShowHorzGridLines) ? std::string("border-bottom:1 ") + lineStyle : "border-bottom:none;";
    out += padding + "}</style>\r\n";

    out += "<table class=\"default\" bgcolor=" + HtmlColor(tree.Color());
    if (!caption.empty())
        out += " caption=\"" + HtmlEscape(caption) + "\"";
    if (tree.BorderStyle() == bsSingle)
        out += " border=\"1\" frame=box";   // no border width of its own: 0 + 1
    out += Format(" cellspacing=\"0\" cellpadding=%d>\r\n", tree.Margin());

    if (useColumns) {
        out += "<tr class=\"header\" style=\"" + padding + "\">";
        for (TColumnIndex c : columns) {
            const TVirtualTreeColumn* column = header.Columns()[c];
            out += Format("<th height=\"%dpx\"", header.Height());
            const bool rtl = column->UseRightToLeftReading();
            if (rtl)
                out += " dir=\"rtl\"";
            out += HtmlAlignment(column->Alignment(), rtl);
            if (c == mainColumn && maxLevel > 0)
                out += Format(" colspan=\"%u\"", maxLevel + 1);
            out += " bgcolor=" + HtmlColor(GetSysColor(COLOR_BTNFACE));
            out += Format(" width=\"%dpx\">", column->Width());
            out += HtmlEscape(column->Text());
            out += "</th>";
        }
        out += "</tr>\r\n";
    }

    TExportCanvas canvas;
    for (PVirtualNode node : nodes) {
        const unsigned level = tree.NodeLevel(node);
        const unsigned height = tree.NodeHeight(node);
        out += " <tr class=\"default\">\r\n";
        for (TColumnIndex c : columns) {
            const TVirtualTreeColumn* column = useColumns ? header.Columns()[c] : nullptr;
            const bool parentColor = !column || (column->Options() & coParentColor);
            const TFont& font = canvas.CellFont(tree, node, c);
            const std::string text = tree.GetText(node, c, ttNormal);
            if (c == mainColumn) {
                for (unsigned i = 0; i < level; ++i) {
                    if (parentColor)
                        out += i == 0 ? Format(" <td height=\"%upx\">&nbsp;</td>", height) : " <td>&nbsp;</td>";
                    else
                        out += Format("<td class=\"noborder\" width=\"%u\" height=\"%upx\"", tree.Indent(), height) +
                               " bgcolor=" + HtmlColor(column->Color()) + ">&nbsp;</td>";
                }
            }
            if (!SameFont(font, tree.Font()))
                out += " <td class=\"normalborder\"  style=\"" + HtmlEscape(FontDeclarations(font, sizes)) +
                       "\" height=\"";
            else
                out += " <td class=\"normalborder\"  height=\"";
            out += Format("%upx\"", height);
            if (column) {
                const bool rtl = column->UseRightToLeftReading();
                if (rtl)
                    out += " dir=\"rtl\"";
                out += HtmlAlignment(column->Alignment(), rtl);
            }
            if (c == mainColumn && level < maxLevel)
                out += Format(" colspan=\"%u\"", maxLevel - level + 1);
            if (!parentColor)
                out += " bgcolor=" + HtmlColor(column->Color());
            out += ">" + HtmlEscape(text) + "</td>";
        }
        out += " </tr>\r\n";
    }
    out += "</table>";
    return out;
}

std::string ClipboardHTMLWrap(std::string_view fragment)
{
    static const char kPrefix[] = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">"
                                  "<html><head><META http-equiv=Content-Type content=\"text/html; "
                                  "charset=utf-8\"></head><body><!--StartFragment-->";
    static const char kSuffix[] = "<!--EndFragment--></body></html>";
    constexpr size_t kHeaderLength = 97;   // "Version:1.0" and the four offset lines
    const size_t startFragment = kHeaderLength + (sizeof kPrefix - 1);
    const size_t endFragment = startFragment + fragment.size();   // bytes, not characters
    const size_t endHtml = endFragment + (sizeof kSuffix - 1);
    std::string out = Format("Version:1.0\r\nStartHTML:%.8d\r\nEndHTML:%.8d\r\nStartFragment:%.8d\r\n"
                             "EndFragment:%.8d\r\n",
                             static_cast<int>(kHeaderLength), static_cast<int>(endHtml),
                             static_cast<int>(startFragment), static_cast<int>(endFragment));
    out += kPrefix;
    out += fragment;
    out += kSuffix;
    return out;
}

std::string ContentToRTF(TCustomVirtualStringTree& tree, TVSTTextSourceType source)
{
    const std::vector<PVirtualNode> nodes = SourceNodes(tree, source);
    TVTHeader& header = tree.Header();
    const bool useColumns = header.UseColumns();
    const std::vector<TColumnIndex> columns = ExportColumns(tree);
    const TColumnIndex mainColumn = header.MainColumn();
    const int ppi = ScreenPixelsPerInch();

    TRtfWriter rtf;
    std::string& body = rtf.Body();
    body += "\\uc1\\trowd\\trgaph70";
    if (useColumns) {
        long long right = 0;
        for (TColumnIndex c : columns) {
            right += header.Columns()[c]->Width();
            body += Format("\\cellx%lld", (right * 1440 + ppi / 2) / ppi);
        }
        for (TColumnIndex c : columns) {
            const TVirtualTreeColumn* column = header.Columns()[c];
            body += "\\pard\\intbl";
            body += RtfAlignment(column->Alignment(), column->UseRightToLeftReading());
            rtf.Text(column->Text(), header.Font());
            body += "\\cell";
        }
        body += "\\row";
    } else {
        RECT client{};
        if (tree.HandleAllocated())
            GetClientRect(tree.Handle(), &client);
        body += Format("\\cellx%lld", (static_cast<long long>(client.right - client.left) * 1440 + ppi / 2) / ppi);
    }

    TExportCanvas canvas;
    for (PVirtualNode node : nodes) {
        const unsigned level = tree.NodeLevel(node);
        for (TColumnIndex c : columns) {
            body += "\\pard\\intbl";
            if (useColumns) {
                const TVirtualTreeColumn* column = header.Columns()[c];
                body += RtfAlignment(column->Alignment(), column->UseRightToLeftReading());
            }
            const TFont& font = canvas.CellFont(tree, node, c);
            if (c == mainColumn && level > 0)
                // (The text's own blank ends the last control word.)
                body += Repeat<char>("\\tab", level);
            rtf.Text(tree.GetText(node, c, ttNormal), font);
            body += "\\cell";
        }
        body += "\\row";
    }
    body += "\\pard\\par";
    return rtf.Document();
}

std::wstring CsvListSeparator()
{
    wchar_t buf[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SLIST, buf, 8) > 1 && buf[0])
        return std::wstring(1, buf[0]);
    return L",";
}

UINT CF_HTMLFormat()
{
    static UINT format = 0;
    return RegisteredFormat(format, L"HTML Format");
}

UINT CF_RTFFormat()
{
    static UINT format = 0;
    return RegisteredFormat(format, L"Rich Text Format");
}

UINT CF_RTFNoObjsFormat()
{
    static UINT format = 0;
    return RegisteredFormat(format, L"Rich Text Format Without Objects");
}

UINT CF_CSVFormat()
{
    static UINT format = 0;
    return RegisteredFormat(format, L"CSV");
}

HGLOBAL ContentToClipboard(TCustomVirtualStringTree& tree, UINT format, TVSTTextSourceType source)
{
    // Rows whose texts are all empty leave nothing to paste: no captions,
    // no empty lines or table.
    if (!HasAnyText(tree, source))
        return nullptr;
    if (format == CF_UNICODETEXT) {
        const std::wstring text = ContentToUnicode(tree, source, L'\t');
        if (text.empty())
            return nullptr;
        return GlobalBlock(text.data(), text.size() * sizeof(wchar_t), sizeof(wchar_t));
    }
    std::string text;
    if (format == CF_TEXT)
        text = Utf8ToCodePage(ContentToText(tree, source, "\t"), CP_ACP);
    else if (format == CF_CSVFormat())
        text = Utf8ToCodePage(ContentToCSV(tree, source, WideToUtf8(CsvListSeparator())), CP_ACP);
    else if (format == CF_RTFFormat() || format == CF_RTFNoObjsFormat())
        text = ContentToRTF(tree, source);
    else if (format == CF_HTMLFormat())
        text = ClipboardHTMLWrap(ContentToHTML(tree, source));
    else
        return nullptr;
    if (text.empty())
        return nullptr;
    return GlobalBlock(text.data(), text.size(), 1);
}
