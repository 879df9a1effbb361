// Export of a string tree's content: tab- or separator-delimited text (8-bit
// and UTF-16), CSV, RTF and HTML, and the global memory blocks the clipboard
// and drag and drop hand out. Every export walks the nodes of one text
// source in tree order, one row per node and one cell per visible column in
// display order, the main column indented by the node's level; RTF and HTML
// take the fonts OnPaintText gives each cell.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "Lib2/VirtualTree/VirtualTrees.h"

// Which nodes an export walks.
enum TVSTTextSourceType { tstAll, tstInitialized, tstSelected, tstCutCopySet, tstVisible };

// Lines of cells divided by `separator` (UTF-8, usually one character), each
// line ending in CR LF; with columns a first line of the column captions.
// Plain text keeps one line per row: a line break inside a cell, caption or
// node text becomes a blank. A cell or caption holding the separator or a
// double quote is put in double quotes with inner quotes doubled. UTF-8.
std::string ContentToText(TCustomVirtualStringTree& tree, TVSTTextSourceType source, std::string_view separator);
// The same layout as CSV records (RFC 4180): a field holding the separator,
// a double quote, CR or LF is quoted, inner quotes doubled, line breaks kept.
std::string ContentToCSV(TCustomVirtualStringTree& tree, TVSTTextSourceType source, std::string_view separator);
// The plain text layout in UTF-16; only a cell holding the separator is
// quoted (inner quotes then doubled).
std::wstring ContentToUnicode(TCustomVirtualStringTree& tree, TVSTTextSourceType source, wchar_t separator);
// A table with a style block, in UTF-8; texts escaped for markup.
std::string ContentToHTML(TCustomVirtualStringTree& tree, TVSTTextSourceType source,
                          const std::string& caption = std::string());
// A table in RTF with font and colour tables; every text unit as \u.
std::string ContentToRTF(TCustomVirtualStringTree& tree, TVSTTextSourceType source);

// Wraps an HTML fragment (UTF-8) in the clipboard's "HTML Format" header;
// the offsets count bytes.
std::string ClipboardHTMLWrap(std::string_view fragment);
// The CSV separator: the user locale's list separator, a comma without one.
std::wstring CsvListSeparator();

// The clipboard formats the string tree renders (registered on first use).
UINT CF_HTMLFormat();
UINT CF_RTFFormat();
UINT CF_RTFNoObjsFormat();
UINT CF_CSVFormat();

// A movable, zero-initialized, shareable global memory block holding the
// content in the format (CF_TEXT and CSV in the ANSI code page, each text
// NUL-terminated), or nullptr when no exported cell has a text or for a
// format the string tree does not render.
HGLOBAL ContentToClipboard(TCustomVirtualStringTree& tree, UINT format, TVSTTextSourceType source);
