#include "Frame/LogFr.h"

#include <cstring>
#include <vector>

#include "Classes/Lang.h"
#include "platform/Clipboard.h"
#include "platform/DateTime.h"
#include "platform/Text.h"

namespace {

// Keywords by group, lower case, in the order the groups are tested.
const char* const kErrorWords[] = {
    "error", "failed", "couldn't", "could not", "cannot", "conflict", "termination of core was improper",
    "program will now exit", "is currently running", "early_unit_end",
    "working with standard loops on this execution", "previous termination of core was improper",
};
const char* const kInformationWords[] = {
    "client shutdown", "warning", "core required", "opening log file", "benchmarking ...",
    "trying to send all finished", "verifying checksum", "connecting to", "ask before connecting:", "proxy:",
    "user name:", "user id:", "machine id:", "use ie connection settings:", "launch directory:", "executable:",
    "arguments:", "assembly optimizations", "going to use standard loops",
};
const char* const kSuccessWords[] = {
    "finished", "successful", "completed", "project:", "protein:", "project=", "core found", "working", " ok",
    "benchmark result is", "(writeworkresults)", " done",
};

template <size_t N>
bool HoldsAny(std::string_view lower, const char* const (&words)[N])
{
    for (const char* w : words)
        if (lower.find(w) != std::string_view::npos)
            return true;
    return false;
}

bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

// Calls f(line) for each line of text: CR, LF and CR LF each end a line, a
// final line break adds no empty line.
template <class F>
void ForEachLine(std::string_view text, F f)
{
    size_t start = 0;
    const size_t n = text.size();
    while (start < n) {
        size_t end = start;
        while (end < n && !IsLineBreak(text[end]))
            ++end;
        f(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

}  // namespace

TLogLineGroup LogLineGroup(std::string_view line)
{
    std::string lower(line);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (HoldsAny(lower, kErrorWords))
        return llgError;
    if (HoldsAny(lower, kInformationWords))
        return llgInformation;
    if (HoldsAny(lower, kSuccessWords))
        return llgSuccess;
    return llgOther;
}

COLORREF DefaultLogColor(TLogLineGroup group)
{
    switch (group) {
    case llgSuccess: return 0xD5FFD5;
    case llgInformation: return 0xFFE9D5;
    case llgError: return 0xD5D5FF;
    default: return 0xE9E9E9;
    }
}

TLogFrame::TLogFrame(TComponent* owner) : TVSTFrame(owner)
{
    for (int g = 0; g < kLogLineGroupCount; ++g)
        colors_[g] = DefaultLogColor(static_cast<TLogLineGroup>(g));
    VSTree->OnBeforeItemErase = [this](TBaseVirtualTree*, TCanvas&, PVirtualNode node, const RECT&,
                                       COLORREF& color, TItemEraseAction& action) {
        BeforeItemErase(node, color, action);
    };
    // The tree keeps its top row when its window changes size; a log shown
    // to its end keeps its end in view instead. The horizontal scroll bar
    // that comes back when a maximised window is restored would otherwise
    // cover the last line.
    VSTree->OnScroll = [this](TBaseVirtualTree*, int, int) { showsEnd_ = AtEnd(); };
    VSTree->OnResize = [this](TObject*) {
        if (showsEnd_ && !AtEnd())
            VSTree->SetOffsetY(-VSTree->RangeY());
    };
    Setup();
}

bool TLogFrame::AtEnd() const
{
    return !VSTree->HandleAllocated() || VSTree->ClientRect().bottom - VSTree->OffsetY() >= VSTree->RangeY();
}

void TLogFrame::SetupTree()
{
    TVSTFrame::SetupTree();
    TStringTreeOptions& o = VSTree->TreeOptions();
    o.SetPaintOptions((o.PaintOptions() | toShowBackground) & ~(toShowRoot | toShowTreeLines));
    o.SetSelectionOptions(o.SelectionOptions() | toFullRowSelect | toMultiSelect);
    o.SetMiscOptions(o.MiscOptions() & ~toAcceptOLEDrop);
    VSTree->SetMargin(0);
    VSTree->SetColor(GetSysColor(COLOR_BTNFACE));
    SetupHeader();
}

void TLogFrame::SetColoring(bool on)
{
    if (coloring_ == on)
        return;
    coloring_ = on;
    VSTree->Invalidate();
}

void TLogFrame::SetGroupColor(TLogLineGroup group, COLORREF color)
{
    if (group < 0 || group >= kLogLineGroupCount || colors_[group] == color)
        return;
    colors_[group] = color;
    if (coloring_)
        VSTree->Invalidate();
}

void TLogFrame::BeforeItemErase(PVirtualNode node, COLORREF& color, TItemEraseAction& action)
{
    if (!coloring_)
        return;
    const TVTreeNodeData* data = NodeData(node);
    if (!data)
        return;
    color = colors_[data->text ? LogLineGroup(*data->text) : llgOther];
    action = eaFillColor;
}

// ----- text

std::string_view TLogFrame::ShownText() const
{
    if (!shownKnown_)
        return {};
    return shownLines_ ? std::string_view(shownLines_->Text()) : std::string_view(shownText_);
}

void TLogFrame::ForgetShownText()
{
    shownKnown_ = false;
    noteRow_ = nullptr;
    shownLines_.reset();
    shownText_.clear();
}

void TLogFrame::AddLines(std::string_view text, bool replaceLast)
{
    ForEachLine(text, [&](std::string_view line) {
        if (replaceLast) {
            replaceLast = false;
            if (PVirtualNode last = VSTree->GetLastChild(nullptr)) {
                SetNodeText(last, std::string(line));
                return;
            }
        }
        AddNode(nullptr, nullptr, false, std::string(line), 0);
    });
}

void TLogFrame::UpdateRows(std::string_view text, bool clear, bool replaceLast)
{
    ChangeRows([&] {
        if (clear) {
            VSTree->ClearNodes();
            noteRow_ = nullptr;
        }
        AddLines(text, replaceLast);
    });
}

template <class F>
void TLogFrame::ChangeRows(F change)
{
    // The last row is selected and the list moved to its end inside the
    // update, where the tree neither scrolls nor repaints row by row: the
    // update's end paints the window once, so moving its picture first would
    // be wasted. Should a scroll bar come or go at the end of the update, the
    // end is found again then.
    VSTree->BeginUpdate();
    try {
        change();
        if (PVirtualNode last = VSTree->GetLastChild(nullptr))
            SelectNode(last);
        VSTree->SetOffsetY(-VSTree->RangeY());
    } catch (...) {
        VSTree->EndUpdate();
        ForgetShownText();
        throw;
    }
    VSTree->EndUpdate();
    VSTree->SetOffsetY(-VSTree->RangeY());
    showsEnd_ = true;
}

void TLogFrame::SetNote(const TLogLines& lines)
{
    if (!lines.HasLinesAbove()) {
        if (noteRow_)
            VSTree->DeleteNode(noteRow_);
        noteRow_ = nullptr;
        return;
    }
    const std::string text =
        lines.LinesAboveCounted()
            ? FillIn(sLogLinesNotShown, {FormatFloat("#,##0", static_cast<double>(lines.FirstLineNumber()))})
            : sLogStartNotShown;
    if (noteRow_) {
        if (NodeText(noteRow_) != text)
            SetNodeText(noteRow_, text);
        return;
    }
    // A note is made only with a fresh list, as its first row.
    if (VSTree->RootNodeCount() == 0)
        noteRow_ = AddNode(nullptr, nullptr, false, text, kNoteRowKind);
}

void TLogFrame::ShowWindow(const TLogLines& lines)
{
    ChangeRows([&] {
        VSTree->ClearNodes();
        noteRow_ = nullptr;
        SetNote(lines);
        for (int i = lines.WindowStart(); i < lines.Count(); ++i)
            AddNode(nullptr, nullptr, false, std::string(lines[i]), 0);
    });
}

void TLogFrame::FollowWindow(const TLogLines& lines)
{
    const TLogLines& shown = *shownLines_;
    const int64_t first = lines.FirstLineNumber(), end = lines.EndLineNumber();
    const int64_t shownFirst = shown.FirstLineNumber(), shownEnd = shown.EndLineNumber();
    const int64_t rows = shownEnd - shownFirst;
    // Lines of the new window the rows hold already; with few of them the
    // list is made anew, which is quicker than trimming it.
    if (shownEnd <= first || (first - shownFirst) * 2 > rows || (lines.HasLinesAbove() && !noteRow_)) {
        ShowWindow(lines);
        return;
    }
    auto lineAt = [&](int64_t n) { return lines[static_cast<int>(n - first) + lines.WindowStart()]; };
    ChangeRows([&] {
        // Rows of lines that left the window go from the top. They go from
        // the lowest up and only the last (topmost) one renumbers the rows
        // below it: its own index was never made stale.
        PVirtualNode top = noteRow_ ? noteRow_->NextSibling : VSTree->GetFirstChild(nullptr);
        std::vector<PVirtualNode> gone;
        for (int64_t n = shownFirst; n < first && top; ++n, top = top->NextSibling)
            gone.push_back(top);
        for (size_t k = gone.size(); k-- > 0;)
            VSTree->DeleteNode(gone[k], k == 0);
        SetNote(lines);
        // The last row may have been a line still being written.
        if (PVirtualNode last = VSTree->GetLastChild(nullptr); last && last != noteRow_ && shownEnd > first) {
            std::string_view now = lineAt(shownEnd - 1);
            if (NodeText(last) != now)
                SetNodeText(last, std::string(now));
        }
        for (int64_t n = shownEnd; n < end; ++n)
            AddNode(nullptr, nullptr, false, std::string(lineAt(n)), 0);
    });
}

void TLogFrame::LoadText(std::string_view text, bool clear)
{
    UpdateRows(text, clear, false);
    if (clear) {
        shownKnown_ = true;
        shownLines_.reset();
        KeepText(text);
    } else {
        ForgetShownText();
    }
}

void TLogFrame::KeepText(std::string_view text)
{
    // Room to grow: a log that gets a few lines is not copied again. Built
    // aside first, so a text that is a view of the kept one stays whole.
    std::string kept;
    kept.reserve(text.size() + text.size() / 8 + 4096);
    kept.assign(text);
    shownText_ = std::move(kept);
}

void TLogFrame::AppendRest(std::string_view text)
{
    const std::string_view shown = ShownText();
    size_t from = shown.size();
    bool replaceLast = false;
    if (!shown.empty()) {
        const char lastChar = shown.back();
        if (!IsLineBreak(lastChar)) {
            // The last row was a line still being written: read it again.
            size_t start = shown.find_last_of("\r\n");
            from = start == std::string_view::npos ? 0 : start + 1;
            replaceLast = true;
        } else if (lastChar == '\r' && from < text.size() && text[from] == '\n') {
            ++from;   // the LF of a CR LF that was cut in two
        }
    }
    UpdateRows(text.substr(from), false, replaceLast);
}

bool TLogFrame::ContinuesShownText(std::string_view text) const
{
    // A window's rows do not begin at its text's start.
    if (shownLines_ && (shownLines_->HasLinesAbove() || shownLines_->WindowStart() > 0))
        return false;
    const std::string_view shown = ShownText();
    return shownKnown_ && !shown.empty() && text.size() >= shown.size() &&
           std::memcmp(text.data(), shown.data(), shown.size()) == 0;
}

void TLogFrame::SetText(const std::string& text)
{
    if (!ContinuesShownText(text)) {
        LoadText(text, true);
        return;
    }
    const size_t shownSize = ShownText().size();
    if (text.size() == shownSize)
        return;
    AppendRest(text);
    if (shownLines_) {
        KeepText(text);
        shownLines_.reset();
    } else {
        shownText_.append(text, shownSize, std::string::npos);
    }
}

void TLogFrame::SetLines(const TLogLinesPtr& lines)
{
    if (!lines || lines->Empty()) {
        if (shownKnown_ && ShownText().empty() && VSTree->RootNodeCount() == 0)
            return;
        LoadText({}, true);
        return;
    }
    if (shownKnown_ && lines == shownLines_)
        return;
    const TLogLinesPtr shown = shownKnown_ ? shownLines_ : nullptr;
    if (shown && lines->Stream() != 0 && lines->Stream() == shown->Stream() &&
        lines->FirstLineNumber() >= shown->FirstLineNumber() && lines->EndLineNumber() >= shown->EndLineNumber()) {
        FollowWindow(*lines);
    } else if (lines->HasLinesAbove() || lines->WindowStart() > 0) {
        ShowWindow(*lines);
    } else if (const std::string& text = lines->Text(); ContinuesShownText(text)) {
        if (text.size() > ShownText().size())
            AppendRest(text);
    } else {
        UpdateRows(text, true, false);
    }
    shownKnown_ = true;
    shownLines_ = lines;
    shownText_.clear();
}

std::string TLogFrame::LastLines(int n) const
{
    std::vector<PVirtualNode> nodes;
    for (PVirtualNode node = VSTree->GetLastChild(nullptr); node && n > 0; node = node->PrevSibling, --n)
        nodes.push_back(node);
    std::string out;
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        if (it != nodes.rbegin())
            out += "\r\n";
        out += NodeText(*it);
    }
    return out;
}

void TLogFrame::CopyToClipboard()
{
    std::string out;
    bool first = true;
    for (PVirtualNode node : VSTree->SortedSelection(false)) {
        if (!first)
            out += "\r\n";
        first = false;
        out += NodeText(node);
    }
    SetClipboardText(out);
}
