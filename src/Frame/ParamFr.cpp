#include "Frame/ParamFr.h"

#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "controls/VersionInfo.h"
#include "platform/Application.h"
#include "platform/Clipboard.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

#include <algorithm>


namespace {

constexpr int kValueColumn = 1;

// The height of one line of text in the DC's font.
int DrawTextHeight(HDC dc)
{
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    return tm.tmHeight;
}

// The language strings naming rows 0 to 11.
std::string* const kRowNames[kParamRowCount - 1] = {
    &sCompConfig, &sProjNum, &sWUName, &sProjSize, &sUploadProjSize, &sCredit,
    &sFrames, &sCore, &sServerIP, &sPPH, &sPPD, &sAvgTimeStep,
};

std::string Bold(const std::string& text)
{
    return "[b]" + text + "[/b]";
}

}  // namespace

std::string ParamRowName(int row)
{
    if (row >= 0 && row < kParamRowCount - 1)
        return *kRowNames[row];
    return row == kParamRowCount - 1 ? "Client.cfg" : std::string();
}

std::string ParamValueText(const TFahView& view, int row)
{
    switch (row) {
    case 0: return view.CompConfig;
    case 1: return view.ProjectRcgText;
    case 2: return view.WUName;
    case 3: return view.WuSizeText;
    case 4: return view.ResultSizeText.empty() ? std::string() : "~ " + view.ResultSizeText;
    case 5: return IntToStr(view.Credit);
    case 6: return IntToStr(view.Frames);
    case 7: return view.Core;
    case 8: return view.ServerIP;
    case 9: return view.PPHText;
    case 10: return view.PPDText;
    case 11: return view.StepText;
    case 12: return view.GetCfgSummary();
    default: return std::string();
    }
}

TParamFrame::TParamFrame(TComponent* owner) : TVSTFrame(owner)
{
    VersionText = TVersionInfo(ExeFileName()).GetVerValue("FILEVERSION");
    VSTree->OnPaintText = [this](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                 TVSTTextType) {
        if (column == kValueColumn && NodeKind(node) == kParamPPDRow)
            canvas.Font().SetStyle(canvas.Font().Style() | fsBold);
    };
    // Values may be selected and copied in place; what is typed is not kept.
    VSTree->OnEditing = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex column, bool& allowed) {
        allowed = column == kValueColumn;
    };
    ShowFocusOnFirstRow();
    VSTree->OnResize = [this](TObject*) { FitRows(); };
    VSTree->OnColumnResize = [this](TVTHeader*, TColumnIndex) { FitRows(); };
    Setup();
}

void TParamFrame::SetupTree()
{
    TVSTFrame::SetupTree();
    AddColumnDef("hParam", sParam, true, 0, 200);
    AddColumnDef("hValue", sValue, true, 0, 300);
    TStringTreeOptions& o = VSTree->TreeOptions();
    o.SetAutoOptions(o.AutoOptions() & ~toAutoSort);
    o.SetPaintOptions((o.PaintOptions() | toShowBackground | toHideSelection) & ~(toShowRoot | toShowTreeLines));
    o.SetSelectionOptions(o.SelectionOptions() | toExtendedFocus | toFullRowSelect);
    o.SetMiscOptions(o.MiscOptions() | toEditable);
    VSTree->SetShowHint(true);
    VSTree->SetHintMode(hmTooltip);
    VSTree->SetColor(GetSysColor(COLOR_BTNFACE));
    VSTree->SetMargin(2);
    SetupHeader();
}

void TParamFrame::SetupHeader()
{
    // No sizing while the columns are made anew (the first one alone would
    // take the whole width).
    TVTHeader& header = VSTree->Header();
    header.SetOptions(header.Options() & ~hoAutoResize);
    TVSTFrame::SetupHeader();
    if (header.Columns().Count() <= kValueColumn)
        return;
    header.SetAutoSizeIndex(kValueColumn);
    header.SetOptions(header.Options() | hoAutoResize);
}

void TParamFrame::ApplyLanguage()
{
    SetColumnCaption("hParam", sParam);
    SetColumnCaption("hValue", sValue);
    SetupHeader();
    BuildRows();
    FitRows();
}

void TParamFrame::FitRows()
{
    if (fittingRows_ || !VSTree->HandleAllocated() || VSTree->Header().Columns().Count() <= kValueColumn)
        return;
    fittingRows_ = true;
    // The value column first takes the room the list has now.
    VSTree->Header().Columns().AdjustAutoSize(InvalidColumn, true);
    const int room = VSTree->Header().Columns()[kValueColumn]->Width() - VSTree->Margin() -
                     2 * VSTree->TextMargin() - 1;
    const unsigned single = VSTree->DefaultNodeHeight();
    HDC dc = GetDC(VSTree->Handle());
    HGDIOBJ oldFont = SelectObject(dc, VSTree->Font().Handle());
    for (PVirtualNode node = VSTree->GetFirstNoInit(); node; node = VSTree->GetNextNoInit(node)) {
        std::string text;
        GetText(node, kValueColumn, ttNormal, text);
        const std::wstring w = Utf8ToWide(text);
        RECT r{0, 0, std::max(room, 1), 0};
        DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        const bool wrap = !w.empty() && room > 0 && (r.bottom > DrawTextHeight(dc) || r.right > room);
        const unsigned height = wrap ? std::max<unsigned>(single, static_cast<unsigned>(r.bottom) + 4) : single;
        if (VSTree->MultiLine(node) != wrap)
            VSTree->SetMultiLine(node, wrap);
        if (VSTree->NodeHeight(node) != height)
            VSTree->SetNodeHeight(node, height);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(VSTree->Handle(), dc);
    fittingRows_ = false;
}

void TParamFrame::BuildRows()
{
    const int focused = VSTree->FocusedNode() ? NodeKind(VSTree->FocusedNode()) : -1;
    VSTree->BeginUpdate();
    VSTree->ClearNodes();
    PVirtualNode refocus = nullptr;
    for (int row = 0; row < kParamRowCount; ++row) {
        PVirtualNode node = AddNode(nullptr, nullptr, false, ParamRowName(row), row);
        if (row == focused)
            refocus = node;
    }
    VSTree->EndUpdate();
    if (refocus)
        SelectNode(refocus);
}

void TParamFrame::ShowView(TFahView* view)
{
    view_ = view;
    FitRows();
    VSTree->Invalidate();
}

void TParamFrame::GetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::string& text)
{
    if (column == kValueColumn) {
        // Asked of the record at every paint, so it is always current.
        text = view_ ? ParamValueText(*view_, NodeKind(node)) : std::string();
        if (OnGetNodeText)
            OnGetNodeText(this, VSTree, node, text, textType, column);
        return;
    }
    TVSTFrame::GetText(node, column, textType, text);
}

void TParamFrame::HeaderClick(TColumnIndex, TMouseButton, TShiftState, int, int) {}

std::string TParamFrame::MarkupText() const
{
    std::string out = "[quote]";
    for (int row = 0; row < kParamRowCount; ++row) {
        std::string value = view_ ? ParamValueText(*view_, row) : std::string();
        if (row == 0 || (row == kParamPPDRow && !Trim(value).empty()))
            value = Bold(value);
        out += ParamRowName(row) + ": " + value + "\r\n";
    }
    if (view_)
        out += sCompleted + ": " + IntToStr(view_->Percent) + "%\r\n";
    out += "[url=" + SiteRoot + "][color=silver]" + Application().Title() + " " + VersionText +
           "[/color][/url]";
    out += "[/quote]\r\n";
    return out;
}

void TParamFrame::CopyToClipboard()
{
    SetClipboardText(MarkupText());
}
