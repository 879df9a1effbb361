// Export of a string tree: the exact texts of the text, CSV, UTF-16, HTML
// and RTF renderings, the clipboard HTML header and the global blocks.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTExport.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Canvas.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

namespace {

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 500, 300);
        tree = new TVirtualStringTree(form);
        tree->SetBounds(5, 5, 400, 200);
        tree->SetParent(form);
        tree->SetDefaultNodeHeight(18);
        tree->Font().SetName("Arial");
        tree->Font().SetSize(10);
        tree->Font().SetColor(RGB(0, 0, 0));
        tree->SetColor(RGB(255, 255, 255));
        tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                                 std::string& text) {
            const auto& cells = texts[node];
            const size_t i = column < 0 ? 0 : static_cast<size_t>(column);
            text = i < cells.size() ? cells[i] : std::string();
        };
    }
    void TearDown() override { delete form; }

    PVirtualNode Add(PVirtualNode parent, std::vector<std::string> cells)
    {
        PVirtualNode n = tree->AddChildNode(parent);
        texts[n] = std::move(cells);
        return n;
    }
    TVirtualTreeColumn* AddColumn(const std::string& caption, int width,
                                  TAlignment alignment = TAlignment::taLeftJustify)
    {
        TVirtualTreeColumn* c = tree->Header().Columns().Add();
        c->SetText(caption);
        c->SetWidth(width);
        c->SetAlignment(alignment);
        return c;
    }

    TForm* form = nullptr;
    TVirtualStringTree* tree = nullptr;
    std::map<PVirtualNode, std::vector<std::string>> texts;
};

std::string BlockBytes(HGLOBAL block)
{
    const char* p = static_cast<const char*>(GlobalLock(block));
    std::string s(p);
    GlobalUnlock(block);
    GlobalFree(block);
    return s;
}

std::wstring BlockUnits(HGLOBAL block)
{
    const wchar_t* p = static_cast<const wchar_t*>(GlobalLock(block));
    std::wstring s(p);
    GlobalUnlock(block);
    GlobalFree(block);
    return s;
}

// What Python's HTML parser, run as a process of its own, finds in the html:
// one event a line, split at tabs (html_events.py). Wine starts the host's
// python3 but hands back no process to wait for: the last line, "done",
// says the parser has finished.
std::vector<std::vector<std::string>> HtmlEvents(const std::string& html)
{
    testing_support::TempDir dir("vthtml");
    testing_support::WriteFile(dir.File("in.html"), html);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = CreateFileW(Utf8ToWide(dir.File("in.html")).c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    si.hStdOutput = si.hStdError = CreateFileW(Utf8ToWide(dir.File("out.txt")).c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, nullptr);
    const char* source = std::getenv("BRENIX_SOURCE_DIR");
    std::wstring command = L"Z:\\usr\\bin\\python3 " + Utf8ToWide(std::string(source ? source : ".") +
                                                                 "/tests/Lib2/VirtualTree/html_events.py");
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
    for (HANDLE h : {si.hStdInput, si.hStdOutput, pi.hThread, pi.hProcess})
        if (h)
            CloseHandle(h);
    std::string text;
    EXPECT_TRUE(testing_support::PumpUntil(
        [&] {
            text = testing_support::ReadFile(dir.File("out.txt"));
            return text.size() >= 5 && text.substr(text.size() - 5) == "done\n";
        },
        20000))
        << text;
    std::vector<std::vector<std::string>> events;
    for (const std::string& line : SplitString(text, '\n'))
        if (!line.empty() && line != "done")
            events.push_back(SplitString(line, '\t'));
    return events;
}

}   // namespace

TEST_F(ExportTest, CsvQuotesSeparatorsAndQuotesAndPadsTheMainColumnByLevel)
{
    AddColumn("Name", 100);
    AddColumn("Value", 60);
    PVirtualNode a = Add(nullptr, {"plain", "a,b"});
    Add(a, {"child", "v"});
    Add(nullptr, {"say \"hi\"", ""});
    EXPECT_EQ(ContentToText(*tree, tstAll, ","),
              "Name,,Value\r\n"
              "plain,,\"a,b\"\r\n"
              ",child,v\r\n"
              "\"say \"\"hi\"\"\",,\r\n");

    // Only the selected node, which sits at level 0: no padding at all.
    tree->SetSelected(a, true);
    EXPECT_EQ(ContentToText(*tree, tstSelected, ","), "Name,Value\r\nplain,\"a,b\"\r\n");

    // CF_TEXT: tab separated, NUL terminated.
    EXPECT_EQ(BlockBytes(ContentToClipboard(*tree, CF_TEXT, tstSelected)), "Name\tValue\r\nplain\ta,b\r\n");
}

TEST_F(ExportTest, UnicodeQuotesOnlyForTheSeparatorAndThenDoublesInnerQuotes)
{
    AddColumn("Имя", 100);
    AddColumn("B", 60);
    Add(nullptr, {"say \"hi\"", "q\"1,2"});
    Add(nullptr, {"Привет", "x"});
    EXPECT_EQ(ContentToUnicode(*tree, tstAll, L','),
              L"\u0418\u043C\u044F,B\r\n"
              L"say \"hi\",\"q\"\"1,2\"\r\n"
              L"\u041F\u0440\u0438\u0432\u0435\u0442,x\r\n");
    EXPECT_EQ(BlockUnits(ContentToClipboard(*tree, CF_UNICODETEXT, tstAll)),
              L"\u0418\u043C\u044F\tB\r\n"
              L"say \"hi\"\tq\"1,2\r\n"
              L"\u041F\u0440\u0438\u0432\u0435\u0442\tx\r\n");
}

TEST_F(ExportTest, WithoutColumnsLinesAreIndentedAndAnEmptySourceGivesNoBlock)
{
    EXPECT_EQ(ContentToClipboard(*tree, CF_TEXT, tstAll), nullptr);
    EXPECT_EQ(ContentToClipboard(*tree, CF_UNICODETEXT, tstAll), nullptr);
    PVirtualNode a = Add(nullptr, {"top"});
    Add(Add(a, {"mid"}), {"leaf"});
    EXPECT_EQ(ContentToText(*tree, tstAll, "\t"), "top\r\n\tmid\r\n\t\tleaf\r\n");
    EXPECT_EQ(ContentToUnicode(*tree, tstAll, L';'), L"top\r\n;mid\r\n;;leaf\r\n");
    // Collapsed: the visible source has only the top node.
    EXPECT_EQ(ContentToText(*tree, tstVisible, "\t"), "top\r\n");
}

TEST_F(ExportTest, ClipboardHtmlHeaderOfAnEmptyFragment)
{
    EXPECT_EQ(ClipboardHTMLWrap(""),
              "Version:1.0\r\n"
              "StartHTML:00000097\r\n"
              "EndHTML:00000301\r\n"
              "StartFragment:00000269\r\n"
              "EndFragment:00000269\r\n"
              "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">"
              "<html><head><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></head>"
              "<body><!--StartFragment--><!--EndFragment--></body></html>");
}

TEST_F(ExportTest, ClipboardHtmlOffsetsCountBytesOfRussianText)
{
    // Six Cyrillic letters are twelve bytes.
    const std::string wrapped = ClipboardHTMLWrap("Привет");
    EXPECT_NE(wrapped.find("EndHTML:00000313\r\n"), std::string::npos);
    EXPECT_NE(wrapped.find("EndFragment:00000281\r\n"), std::string::npos);
    EXPECT_EQ(wrapped.substr(269, 12), "Привет");
    EXPECT_EQ(wrapped.size(), 313u);

    // The whole block: the offsets in its header cut out exactly the table.
    AddColumn("Имя", 100);
    Add(nullptr, {"Привет, мир"});
    const std::string block = BlockBytes(ContentToClipboard(*tree, CF_HTMLFormat(), tstAll));
    auto offset = [&](const std::string& key) {
        const size_t p = block.find(key + ":");
        return p == std::string::npos ? 0 : std::stoul(block.substr(p + key.size() + 1, 8));
    };
    const size_t start = offset("StartFragment"), end = offset("EndFragment");
    ASSERT_EQ(start, 269u);
    ASSERT_LT(end, block.size());
    const std::string fragment = block.substr(start, end - start);
    EXPECT_EQ(fragment.rfind("<style type=\"text/css\">", 0), 0u);
    EXPECT_EQ(fragment.substr(fragment.size() - 8), "</table>");
    EXPECT_NE(fragment.find(">Привет, мир</td>"), std::string::npos);
    EXPECT_EQ(block.substr(end), "<!--EndFragment--></body></html>");
    EXPECT_EQ(offset("EndHTML"), block.size());
}

TEST_F(ExportTest, HtmlWithoutColumnsEscapesTextsAndIndentsChildren)
{
    tree->Header().SetParentFont(false);
    tree->Header().Font().SetName("Courier New");
    tree->Header().Font().SetSize(9);
    tree->Header().Font().SetStyle(fsBold);
    tree->Header().Font().SetColor(RGB(0x12, 0x34, 0xAB));
    PVirtualNode a = Add(nullptr, {"A & B <i>"});
    Add(a, {"say \"x\""});
    tree->OnPaintText = [&](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, TColumnIndex, TVSTTextType) {
        if (node != a)
            canvas.Font().SetStyle(fsItalic | fsUnderline);
    };
    EXPECT_EQ(ContentToHTML(*tree, tstAll, "Tab <1>"),
              "<style type=\"text/css\">\r\n"
              ".default{font: 10pt \"Arial\";color:#000000;}\r\n"
              ".header{font: bold 9pt \"Courier New\";color:#1234AB;}\r\n"
              ".noborder{border-style:none;padding-left:4px;padding-right:4px;}\r\n"
              ".normalborder {border-top:none; border-left:none; border-right:none;border-bottom:none;"
              "padding-left:4px;padding-right:4px;}</style>\r\n"
              "<table class=\"default\" bgcolor=#FFFFFF caption=\"Tab &lt;1&gt;\" border=\"1\" frame=box"
              " cellspacing=\"0\" cellpadding=4>\r\n"
              " <tr class=\"default\">\r\n"
              " <td class=\"normalborder\"  height=\"18px\" colspan=\"2\">A &amp; B &lt;i&gt;</td> </tr>\r\n"
              " <tr class=\"default\">\r\n"
              " <td height=\"18px\">&nbsp;</td>"
              " <td class=\"normalborder\"  style=\"font: italic 10pt &quot;Arial&quot;;"
              "text-decoration:underline;color:#000000;\""
              " height=\"18px\">say &quot;x&quot;</td> </tr>\r\n"
              "</table>");
}

TEST_F(ExportTest, HtmlWithColumnsGridLinesColumnColoursAndRightToLeft)
{
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowHorzGridLines |
                                        toShowVertGridLines);
    tree->SetLineStyle(lsSolid);
    tree->SetBorderStyle(bsNone);
    tree->Header().SetHeight(20);
    TVirtualTreeColumn* name = AddColumn("Name", 100);
    name->SetOptions(name->Options() & ~coParentColor);
    name->SetColor(RGB(0xFF, 0xEE, 0x00));
    TVirtualTreeColumn* value = AddColumn("Wert", 50, TAlignment::taRightJustify);
    value->SetBiDiMode(bdRightToLeft);
    PVirtualNode a = Add(nullptr, {"a", "1"});
    Add(a, {"b", "2"});
    const std::string html = ContentToHTML(*tree, tstAll);
    EXPECT_NE(html.find(".noborder{border-style:solid; border-bottom:1;border-left:0;border-right:0; border-top:0;"
                        "padding-left:4px;padding-right:4px;}\r\n"
                        ".normalborder {border-top:none; border-left:none; border-right:1 solid;border-bottom:1 solid;"
                        "padding-left:4px;padding-right:4px;}</style>\r\n"
                        "<table class=\"default\" bgcolor=#FFFFFF cellspacing=\"0\" cellpadding=4>\r\n"
                        "<tr class=\"header\" style=\"padding-left:4px;padding-right:4px;\">"
                        "<th height=\"20px\" align=left colspan=\"2\" bgcolor="),
              std::string::npos)
        << html;
    EXPECT_NE(html.find(" width=\"100px\">Name</th><th height=\"20px\" dir=\"rtl\" align=left bgcolor="),
              std::string::npos)
        << html;
    EXPECT_NE(html.find(" width=\"50px\">Wert</th></tr>\r\n"
                        " <tr class=\"default\">\r\n"
                        " <td class=\"normalborder\"  height=\"18px\" align=left colspan=\"2\" bgcolor=#FFEE00>a</td>"
                        " <td class=\"normalborder\"  height=\"18px\" dir=\"rtl\" align=left>1</td> </tr>\r\n"
                        " <tr class=\"default\">\r\n"
                        "<td class=\"noborder\" width=\"18\" height=\"18px\" bgcolor=#FFEE00>&nbsp;</td>"
                        " <td class=\"normalborder\"  height=\"18px\" align=left bgcolor=#FFEE00>b</td>"
                        " <td class=\"normalborder\"  height=\"18px\" dir=\"rtl\" align=left>2</td> </tr>\r\n"
                        "</table>"),
              std::string::npos)
        << html;
}

TEST_F(ExportTest, RtfReusesFontsAndColoursAndWritesCyrillicUnits)
{
    HDC screen = GetDC(nullptr);
    const int ppi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(ppi, 96) << "the expected twips assume 96 pixels per inch";

    tree->Header().SetParentFont(false);
    tree->Header().Font().SetName("Courier New");
    tree->Header().Font().SetSize(9);
    tree->Header().Font().SetStyle(fsBold);
    tree->Header().Font().SetColor(RGB(0, 0, 0));
    AddColumn("Name", 96);
    AddColumn("N", 48, TAlignment::taRightJustify);
    PVirtualNode a = Add(nullptr, {"Да", "5"});
    Add(a, {"x", ""});
    tree->OnPaintText = [](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode, TColumnIndex column, TVSTTextType) {
        if (column == 1)
            canvas.Font().SetColor(RGB(255, 0, 0));
    };
    EXPECT_EQ(ContentToRTF(*tree, tstAll),
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043"
              "{\\fonttbl{\\f0 Courier New;}{\\f1 Arial;}}"
              "{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}"
              "\\uc1\\trowd\\trgaph70\\cellx1440\\cellx2160"
              "\\pard\\intbl\\b\\f0\\cf1\\fs18 \\u78\\'3f\\u97\\'3f\\u109\\'3f\\u101\\'3f\\b0\\cell"
              "\\pard\\intbl\\qr\\b \\u78\\'3f\\b0\\cell\\row"
              "\\pard\\intbl\\f1\\fs20 \\u1044\\'3f\\u1072\\'3f\\cell"
              "\\pard\\intbl\\qr\\cf2 \\u53\\'3f\\cell\\row"
              "\\pard\\intbl\\tab\\cf1 \\u120\\'3f\\cell"
              "\\pard\\intbl\\qr\\cell\\row"
              "\\pard\\par}");
}

TEST_F(ExportTest, RtfWritesUnitsAbove32767AsNegativeNumbers)
{
    AddColumn("C", 96);
    Add(nullptr, {"\xEF\xBC\x81\xF0\x9F\x98\x80"});   // U+FF01, U+1F600 (D83D DE00)
    const std::string rtf = ContentToRTF(*tree, tstAll);
    EXPECT_NE(rtf.find(" \\u-255\\'3f\\u-10179\\'3f\\u-8704\\'3f\\cell\\row"), std::string::npos) << rtf;
    EXPECT_EQ(BlockBytes(ContentToClipboard(*tree, CF_RTFFormat(), tstAll)), rtf);
    EXPECT_EQ(BlockBytes(ContentToClipboard(*tree, CF_RTFNoObjsFormat(), tstAll)), rtf);
}

TEST_F(ExportTest, ColumnsGoInDisplayOrderAndHiddenOnesAreLeftOut)
{
    AddColumn("Name", 100);
    AddColumn("Value", 60);
    TVirtualTreeColumn* hidden = AddColumn("Hidden", 60);
    hidden->SetOptions(hidden->Options() & ~coVisible);
    tree->Header().Columns()[1]->SetPosition(0);
    PVirtualNode a = Add(nullptr, {"a", "1", "h"});
    Add(a, {"b", "2", "h"});
    EXPECT_EQ(ContentToText(*tree, tstAll, ";"), "Value;Name;\r\n1;a;\r\n2;;b\r\n");
}

TEST_F(ExportTest, CsvBlockUsesTheListSeparatorOfTheUserLocale)
{
    wchar_t list[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SLIST, list, 8);
    ASSERT_EQ(std::wstring(list), L",") << "the expected text assumes an English user locale";
    AddColumn("Name", 100);
    AddColumn("Size", 60);
    Add(nullptr, {"x, y", "1"});
    EXPECT_EQ(BlockBytes(ContentToClipboard(*tree, CF_CSVFormat(), tstAll)), "Name,Size\r\n\"x, y\",1\r\n");
}

TEST_F(ExportTest, RtfWithoutColumnsIsOneCellOverTheClientWidth)
{
    tree->SetBorderStyle(bsNone);
    tree->HandleNeeded();
    RECT client{};
    GetClientRect(tree->Handle(), &client);
    ASSERT_EQ(client.right, 400) << "a tree of 400 pixels without border or scroll bar";
    PVirtualNode a = Add(nullptr, {"A"});
    Add(a, {"B"});
    EXPECT_EQ(ContentToRTF(*tree, tstAll),
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl{\\f0 Arial;}}"
              "{\\colortbl;\\red0\\green0\\blue0;}"
              "\\uc1\\trowd\\trgaph70\\cellx6000"
              "\\pard\\intbl\\f0\\cf1\\fs20 \\u65\\'3f\\cell\\row"
              "\\pard\\intbl\\tab \\u66\\'3f\\cell\\row"
              "\\pard\\par}");
}

TEST_F(ExportTest, HtmlMakesBrokenUtf8Valid)
{
    Add(nullptr, {"a\xFF<"});
    const std::string html = ContentToHTML(*tree, tstAll);
    EXPECT_NE(html.find(">a\xEF\xBF\xBD&lt;</td>"), std::string::npos) << html;
}

// A line break in a cell, a caption or a tree without columns: CSV quotes
// the field (one record per row), plain text turns it into a blank (one
// line per row).
TEST_F(ExportTest, LineBreaksKeepOneRecordAndOneLinePerRow)
{
    AddColumn("Two\r\nlines", 100);
    AddColumn("Value", 60);
    Add(nullptr, {"a\nb", "c\r\nd"});
    Add(nullptr, {"say \"x\"", "cr\ronly"});
    EXPECT_EQ(ContentToCSV(*tree, tstAll, ","),
              "\"Two\r\nlines\",Value\r\n"
              "\"a\nb\",\"c\r\nd\"\r\n"
              "\"say \"\"x\"\"\",\"cr\ronly\"\r\n");
    EXPECT_EQ(BlockBytes(ContentToClipboard(*tree, CF_TEXT, tstAll)),
              "Two lines\tValue\r\n"
              "a b\tc d\r\n"
              "\"say \"\"x\"\"\"\tcr only\r\n");
    EXPECT_EQ(BlockUnits(ContentToClipboard(*tree, CF_UNICODETEXT, tstAll)),
              L"Two lines\tValue\r\n"
              L"a b\tc d\r\n"
              L"say \"x\"\tcr only\r\n");

    tree->Header().Columns().Clear();
    texts.clear();
    tree->ClearNodes();
    Add(Add(nullptr, {"top\r\nline"}), {"a,b"});
    EXPECT_EQ(ContentToCSV(*tree, tstAll, ","), "\"top\r\nline\"\r\n,\"a,b\"\r\n");
    EXPECT_EQ(ContentToText(*tree, tstAll, "\t"), "top line\r\n\ta,b\r\n");
    EXPECT_EQ(ContentToUnicode(*tree, tstAll, L'\t'), L"top line\r\n\ta,b\r\n");
}

// The cells' inline styles are valid attributes: a real HTML parser reads
// the table back with every text and attribute as it was meant.
TEST_F(ExportTest, HtmlReadsBackThroughARealParser)
{
    AddColumn("Name & <b>", 100);
    AddColumn("Value", 60);
    PVirtualNode a = Add(nullptr, {"A & B <i>", "1"});
    Add(a, {"say \"x\"", "2 > 1"});
    tree->OnPaintText = [&](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, TColumnIndex column, TVSTTextType) {
        if (node != a && column == 1) {
            canvas.Font().SetName("Courier New");
            canvas.Font().SetStyle(fsBold | fsItalic | fsUnderline);
        }
    };
    // Every start tag with its styles, caption and valueless (stray) attributes; every text.
    std::vector<std::string> tags, texts;
    for (const auto& event : HtmlEvents(ContentToHTML(*tree, tstAll, "Caption \"q\""))) {
        if (event[0] == "data")
            texts.push_back(event[1]);
        if (event[0] != "start")
            continue;
        tags.push_back(event[1]);
        for (size_t i = 2; i < event.size(); ++i)
            if (event[i].rfind("style=", 0) == 0 || event[i].rfind("caption=", 0) == 0 || event[i].back() == '=')
                tags.back() += " " + event[i];
    }
    EXPECT_EQ(tags, (std::vector<std::string>{
                        "style", "table caption=Caption \"q\"", "tr style=padding-left:4px;padding-right:4px;", "th",
                        "th", "tr", "td", "td", "tr", "td", "td",
                        "td style=font: italic bold 10pt \"Courier New\";text-decoration:underline;color:#000000;"}));
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_NE(texts[0].find(".default{font: 10pt \"Arial\";color:#000000;}"), std::string::npos) << texts[0];
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end()),
              (std::vector<std::string>{"Name & <b>", "Value", "A & B <i>", "1", "say \"x\"", "2 > 1"}));
}

TEST_F(ExportTest, RtfFontNamesBeyondAsciiAreUnicodeEscapes)
{
    AddColumn("N", 96);
    tree->Header().SetParentFont(false);
    tree->Header().Font().SetName("\xD0\xA8\xD1\x80\xD0\xB8\xD1\x84\xD1\x82");   // "Шрифт"
    tree->Font().SetName("Caf\xC3\xA9");
    Add(nullptr, {"x"});
    const std::string rtf = ContentToRTF(*tree, tstAll);
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0 \\u1064?\\u1088?\\u1080?\\u1092?\\u1090?;}{\\f1 Caf\\u233?;}}"),
              std::string::npos)
        << rtf;
    for (unsigned char c : rtf)
        ASSERT_LT(c, 0x80u) << rtf;
}

// Copying rows whose texts are all empty puts no text of any kind on the
// clipboard, neither captions nor empty lines; one text is enough for all.
TEST_F(ExportTest, EmptyTextsGiveNoBlockInAnyFormat)
{
    const UINT formats[] = {CF_TEXT, CF_UNICODETEXT, CF_CSVFormat(), CF_RTFFormat(), CF_RTFNoObjsFormat(),
                            CF_HTMLFormat()};
    PVirtualNode empty = Add(nullptr, {""});
    PVirtualNode full = Add(nullptr, {"", "1"});
    tree->SetSelected(empty, true);
    for (UINT format : formats)
        EXPECT_EQ(ContentToClipboard(*tree, format, tstSelected), nullptr) << format;
    AddColumn("Name", 100);
    AddColumn("Value", 60);
    for (UINT format : formats)
        EXPECT_EQ(ContentToClipboard(*tree, format, tstSelected), nullptr) << format;
    tree->SetSelected(full, true);
    for (UINT format : formats) {
        HGLOBAL block = ContentToClipboard(*tree, format, tstSelected);
        EXPECT_NE(block, nullptr) << format;
        GlobalFree(block);
    }
}
