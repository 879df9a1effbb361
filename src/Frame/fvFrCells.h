// What the main list shows in its cells: the 14 columns, the texts of client
// and totals rows, the sort keys, the totals, the fonts and colours of a
// cell, the progress bar's colour and the link behind a cell.
//
// These are plain functions of a display record so the list frame, its
// clipboard copy and its tests all read the same rules.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "Classes/FahView.h"
#include "Common/SiteAddresses.h"

// Node kinds of the main list.
constexpr int kfvTotalRow = 0;     // the overall totals row (the one top-level node)
constexpr int kfvComputerRow = 1;  // a computer's totals row
constexpr int kfvClientRow = 2;    // one client folder

constexpr int kfvColumnCount = 14;
enum TfvColumn {
    fvcPath, fvcState, fvcPercent, fvcDownload, fvcEnd, fvcDue, fvcRCG, fvcCredit, fvcPPH, fvcPPD,
    fvcPrefDays, fvcCore, fvcUserTeam, fvcProjNum
};

struct TfvColumnDef {
    const char* key;        // registry and definition name
    std::string* caption;   // the language string holding the header text
    int width;
    int alignment;          // 0 left, 1 right, 2 centre
};
// Definition of column i (0 .. kfvColumnCount - 1).
const TfvColumnDef& FvColumnDef(int column);

// Colours used by the list (0x00BBGGRR).
constexpr COLORREF kfvGrey = 0x808080;
constexpr COLORREF kfvGreen = 0x008000;
constexpr COLORREF kfvRed = 0x0000FF;
constexpr COLORREF kfvBlue = 0xFF0000;
constexpr COLORREF kfvMaroon = 0x000080;
constexpr COLORREF kfvOrange = 0x0080FF;
constexpr COLORREF kfvWhite = 0xFFFFFF;
constexpr COLORREF kfvGroupBack = 0xD4D4D4;

// Cell texts. A column outside 0 .. 13 shows "unknown column".
std::string FahCellText(const TFahView& view, int column);
std::string SumCellText(const TFahViewSum& sum, int column);

// Order of two client rows by a column's sort key (< 0, 0, > 0).
int CompareFahViews(const TFahView& a, const TFahView& b, int column);

// Whether a client has a work unit (its dates and percent count in totals).
bool HasWorkUnit(const TFahView& view);
// One client row added to a totals row: every row counts as a client;
// states 3, 4 and 5 add to the running, ready and stopped counts; credit,
// points and the estimate only for states 3 and 4; due time, preferred
// deadline and percent for every client with a work unit.
void AddViewToSum(TFahViewSum& sum, const TFahView& view);

// The font of one cell as the list paints it.
struct TfvCellFont {
    COLORREF color;
    unsigned style;   // TFontStyle bits
};
struct TfvCellState {
    int kind = kfvClientRow;
    bool focused = false;     // the focused row
    bool listFocused = true;  // the list has the keyboard
    bool hotRow = false;      // the row under the mouse
    bool hotLink = false;     // this cell is the hot column and has a link
    int teamID = 0;           // the user's own team and name (dfTeamID, dfUserName)
    const std::string* userName = nullptr;
};
// Starts from the tree's font (colour and style) and applies the list's rules.
TfvCellFont FvCellFont(const TFahView* view, int column, const TfvCellState& state, TfvCellFont base);

// The progress bar's colour: a green by percent for a running client, else
// the button face.
COLORREF FvProgressColor(const TFahView& view);
// The bar inside a progress cell: the cell less 2 pixels at left, top and
// bottom, and less 2 pixels plus textWidth at the right.
RECT FvProgressRect(const RECT& cell, int textWidth);

// The address behind a cell of a client row, empty when the column has none
// (column 11 without a core name has none). Query values are
// percent-encoded in UTF-8.
std::string FvCellLink(const TFahView& view, int column);
// Whether the column carries links at all.
bool FvColumnHasLink(int column);
// The address parts (tests check the encoding through these).
std::string PercentEncode(std::string_view utf8);
std::string ProjectPageUrl(int project);
std::string UserStatsUrl(int team, const std::string& userName);

// The computer a folder lives on: the host of a "\\host\..." path as
// written, else the local computer's name lower-cased ("я любимый" when the
// system does not tell it).
std::string GetComputerOfPath(const std::string& path);
// For tests: the function asked for the local name (nullptr: GetComputerNameW).
using TGetComputerNameFn = BOOL(WINAPI*)(LPWSTR buffer, LPDWORD size);
void SetGetComputerNameForTesting(TGetComputerNameFn fn);
