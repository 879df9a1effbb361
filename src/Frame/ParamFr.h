// The work unit of the selected client as thirteen named values (name on
// the left, value on the right), read from its display record whenever a
// row is painted. Copy gives them as forum markup.
#pragma once
#include <string>

#include "Common/SiteAddresses.h"
#include "Frame/VSTFr.h"

class TFahView;

constexpr int kParamRowCount = 13;
// The row whose value is the points per day (shown bold).
constexpr int kParamPPDRow = 10;

// The name of a row in the current language (row 12 is "Client.cfg").
std::string ParamRowName(int row);
// The value of a row for a display record.
std::string ParamValueText(const TFahView& view, int row);

class TParamFrame : public TVSTFrame {
public:
    explicit TParamFrame(TComponent* owner);

    // The record whose values are shown (nullptr: none); repaints.
    void ShowView(TFahView* view);
    TFahView* View() const { return view_; }

    // The list as forum markup: "[quote]", "name: value" lines (the first
    // value and a non-blank points-per-day value in bold), the percent
    // done, a link to the program's site, "[/quote]".
    std::string MarkupText() const;
    void CopyToClipboard() override;
    // Row names and column captions again; the rows are built anew.
    void ApplyLanguage() override;
    void SetupTree() override;
    // The value column takes the room the names leave, so no value runs
    // out of sight (the frame is narrower than both columns' widths).
    void SetupHeader() override;

    // The site and version named in the markup's foot. The version is the
    // program file's own until set.
    std::string SiteRoot = kBrenixSiteRoot;
    std::string VersionText;

protected:
    // The header does not sort this list.
    void HeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) override;
    // Column 1: the row's value of the shown record.
    void GetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::string& text) override;

private:
    void BuildRows();
    // A value wider than its column is wrapped onto as many lines as it
    // needs (the placeholder of a folder without a configuration, a long
    // work-unit name), so it shows whole.
    void FitRows();
    bool fittingRows_ = false;

    TFahView* view_ = nullptr;
};
