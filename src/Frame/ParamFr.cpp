#include "Frame/ParamFr.h"

#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "controls/VersionInfo.h"
#include "platform/Application.h"
#include "platform/Clipboard.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"


namespace {

constexpr int kValueColumn = 1;

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

void TParamFrame::ApplyLanguage()
{
    SetColumnCaption("hParam", sParam);
    SetColumnCaption("hValue", sValue);
    SetupHeader();
    BuildRows();
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
