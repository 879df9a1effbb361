// The objects a tree owns besides its nodes: the option sets with their
// setter reactions, the colours, the scroll bar options and the clipboard
// format names; the process-wide list of clipboard formats trees render;
// and the small string and owner-draw tree classes.
#include <windows.h>

#include <algorithm>
#include <list>
#include <mutex>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/ThemeSrv.h"
#include "platform/Text.h"

// ---------------------------------------------------------------------------
// Option sets

TCustomVirtualTreeOptions::TCustomVirtualTreeOptions(TBaseVirtualTree* owner) : owner_(owner) {}

void TCustomVirtualTreeOptions::SetPaintOptions(TVTPaintOptions value)
{
    const TVTPaintOptions old = paint_;
    if (old == value)
        return;
    paint_ = value;
    if (owner_ && owner_->OptionsReact())
        owner_->PaintOptionsChanged(old, value);
}

void TCustomVirtualTreeOptions::SetAnimationOptions(TVTAnimationOptions value) { animation_ = value; }

void TCustomVirtualTreeOptions::SetAutoOptions(TVTAutoOptions value)
{
    const TVTAutoOptions old = auto_;
    auto_ = value;
    if (owner_ && owner_->OptionsReact() && ((old ^ value) & toAutoSpanColumns))
        owner_->Invalidate();
}

void TCustomVirtualTreeOptions::SetSelectionOptions(TVTSelectionOptions value)
{
    const TVTSelectionOptions old = selection_;
    if (old == value)
        return;
    selection_ = value;
    // These reactions run even while loading and without a window.
    if (owner_)
        owner_->SelectionOptionsChanged(old, value);
}

void TCustomVirtualTreeOptions::SetMiscOptions(TVTMiscOptions value)
{
    const TVTMiscOptions old = misc_;
    if (old == value)
        return;
    misc_ = value;
    if (owner_ && owner_->OptionsReact())
        owner_->MiscOptionsChanged(old, value);
}

void TCustomVirtualTreeOptions::Assign(const TCustomVirtualTreeOptions& source)
{
    SetAnimationOptions(source.animation_);
    SetAutoOptions(source.auto_);
    SetMiscOptions(source.misc_);
    SetPaintOptions(source.paint_);
    SetSelectionOptions(source.selection_);
}

void TCustomStringTreeOptions::SetStringOptions(TVTStringOptions value)
{
    const TVTStringOptions old = string_;
    string_ = value;
    if (owner_ && owner_->OptionsReact() && ((old ^ value) & toShowStaticText))
        owner_->Invalidate();
}

void TCustomStringTreeOptions::Assign(const TCustomVirtualTreeOptions& source)
{
    TCustomVirtualTreeOptions::Assign(source);
    if (auto* strings = dynamic_cast<const TCustomStringTreeOptions*>(&source))
        SetStringOptions(strings->string_);
}

void TBaseVirtualTree::PaintOptionsChanged(TVTPaintOptions oldValue, TVTPaintOptions newValue)
{
    if ((oldValue ^ newValue) & toThemeAware) {
        if ((newValue & toThemeAware) && GetThemeServices().ThemesEnabled())
            DoStateChange(tsUseThemes);
        else
            DoStateChange(0, tsUseThemes);
        PrepareBitmaps(true, false);
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_VALIDATE | RDW_FRAME | RDW_ERASE);
    } else {
        Invalidate();
    }
}

void TBaseVirtualTree::SelectionOptionsChanged(TVTSelectionOptions oldValue, TVTSelectionOptions newValue)
{
    const TVTSelectionOptions newlySet = newValue & ~oldValue;
    if (((oldValue ^ newValue) & toMultiSelect) ||
        (newlySet & (toLevelSelectConstraint | toSiblingSelectConstraint)))
        ClearSelection();
    const TColumnIndex main = header_->MainColumn();
    if ((oldValue & toExtendedFocus) && !(newValue & toExtendedFocus) && focusedColumn_ > 0 && HandleAllocated()) {
        focusedColumn_ = main;
        Invalidate();
    }
    if (!(newValue & toExtendedFocus))
        focusedColumn_ = main;
}

void TBaseVirtualTree::MiscOptionsChanged(TVTMiscOptions oldValue, TVTMiscOptions newValue)
{
    const TVTMiscOptions changed = oldValue ^ newValue;
    if (changed & toCheckSupport)
        Invalidate();
    if (changed & toFullRepaintOnResize)
        RecreateWnd();
    if (changed & toAcceptOLEDrop)
        SetDropTargetRegistered((newValue & toAcceptOLEDrop) != 0);
}

// ---------------------------------------------------------------------------
// Colours

TVTColors::TVTColors(TBaseVirtualTree* owner) : owner_(owner)
{
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    colors_[DisabledColorIndex] = shadow;
    colors_[DropMarkColorIndex] = highlight;
    colors_[DropTargetColorIndex] = highlight;
    colors_[FocusedSelectionColorIndex] = highlight;
    colors_[GridLineColorIndex] = face;
    colors_[TreeLineColorIndex] = shadow;
    colors_[UnfocusedSelectionColorIndex] = face;
    colors_[BorderColorIndex] = face;
    colors_[HotColorIndex] = GetSysColor(COLOR_WINDOWTEXT);
    colors_[FocusedSelectionBorderColorIndex] = highlight;
    colors_[UnfocusedSelectionBorderColorIndex] = face;
    colors_[DropTargetBorderColorIndex] = highlight;
    colors_[SelectionRectangleBlendColorIndex] = highlight;
    colors_[SelectionRectangleBorderColorIndex] = highlight;
    colors_[HeaderHotColorIndex] = shadow;
}

void TVTColors::SetColor(int index, COLORREF value)
{
    BX_ASSERT(index >= 0 && index < ColorCount, "Invalid colour index.");
    if (colors_[index] == value)
        return;
    colors_[index] = value;
    if (!owner_ || !owner_->OptionsReact())
        return;
    switch (index) {
    case TreeLineColorIndex:
        owner_->PrepareBitmaps(true, true);
        owner_->Invalidate();
        break;
    case BorderColorIndex:
        owner_->RedrawFrame();
        break;
    default:
        owner_->Invalidate();
    }
}

void TVTColors::Assign(const TVTColors& source)
{
    std::copy(source.colors_, source.colors_ + ColorCount, colors_);
    if (owner_ && owner_->UpdateCount() == 0)
        owner_->Invalidate();
}

// ---------------------------------------------------------------------------
// Scroll bar options

void TScrollBarOptions::SetAlwaysVisible(bool value)
{
    if (alwaysVisible_ == value)
        return;
    alwaysVisible_ = value;
    if (owner_ && owner_->OptionsReact())
        owner_->RecreateWnd();
}

void TScrollBarOptions::SetHorizontalIncrement(int value)
{
    horizontalIncrement_ = static_cast<TVTScrollIncrement>(std::clamp(value, 1, 10000));
}

void TScrollBarOptions::SetVerticalIncrement(int value)
{
    verticalIncrement_ = static_cast<TVTScrollIncrement>(std::clamp(value, 1, 10000));
}

void TScrollBarOptions::SetScrollBars(TScrollStyle value)
{
    if (scrollBars_ == value)
        return;
    scrollBars_ = value;
    if (owner_ && owner_->OptionsReact())
        owner_->RecreateWnd();
}

void TScrollBarOptions::SetScrollBarStyle(TScrollBarStyle value)
{
    BX_ASSERT(value == sbmRegular, "Flat scroll bars are disabled.");
    style_ = value;
}

void TScrollBarOptions::Assign(const TScrollBarOptions& source)
{
    SetAlwaysVisible(source.alwaysVisible_);
    horizontalIncrement_ = source.horizontalIncrement_;
    verticalIncrement_ = source.verticalIncrement_;
    SetScrollBars(source.scrollBars_);
    SetScrollBarStyle(source.style_);
}

// ---------------------------------------------------------------------------
// The process-wide clipboard format list

namespace {

struct TFormatList {
    std::mutex lock;
    // By ascending priority. A list: the entries handed out by address stay
    // where they are when others are registered.
    std::list<TClipboardFormatEntry> entries;
};

TFormatList& Formats()
{
    // Lives as long as the process: the shared resources' shut-down empties
    // it from a static destructor that may run after this one's would.
    static TFormatList* list = new TFormatList;
    return *list;
}

const char* StandardFormatName(CLIPFORMAT format)
{
    static const char* const names[] = {
        nullptr,           "Plain text",      "Windows bitmap",  "Windows metafile",
        "Symbolic link",   "Data interchange format",            "Tiff image",
        "OEM text",        "DIB image",       "Palette data",    "Pen data",
        "Riff audio data", "Wav audio data",  "Unicode text",    "Enhanced metafile image",
        "File name(s)",    "Locale descriptor"};
    return format < 17 ? names[format] : nullptr;
}

void Insert(TFormatList& list, TClipboardFormatEntry entry)
{
    auto it = std::upper_bound(list.entries.begin(), list.entries.end(), entry.Priority,
                               [](unsigned p, const TClipboardFormatEntry& e) { return p < e.Priority; });
    list.entries.insert(it, std::move(entry));
}

}   // namespace

CLIPFORMAT TClipboardFormatList::Add(const std::string& description, TTreeClassCheck treeClass, unsigned priority,
                                     DWORD medium, DVTARGETDEVICE* targetDevice, DWORD aspect, LONG lindex)
{
    const CLIPFORMAT format = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(Utf8ToWide(description).c_str()));
    TFormatList& list = Formats();
    std::lock_guard<std::mutex> guard(list.lock);
    for (const TClipboardFormatEntry& e : list.entries)
        if (e.FormatEtc.cfFormat == format && e.TreeClass == treeClass)
            return format;
    TClipboardFormatEntry entry;
    entry.Description = description;
    entry.TreeClass = treeClass;
    entry.Priority = priority;
    entry.FormatEtc.cfFormat = format;
    entry.FormatEtc.ptd = targetDevice;
    entry.FormatEtc.dwAspect = aspect;
    entry.FormatEtc.lindex = lindex;
    entry.FormatEtc.tymed = medium;
    Insert(list, std::move(entry));
    return format;
}

void TClipboardFormatList::AddFormat(CLIPFORMAT format, TTreeClassCheck treeClass, unsigned priority)
{
    std::string description;
    if (format < 17) {
        const char* name = StandardFormatName(format);
        if (!name)
            return;
        description = name;
    } else {
        wchar_t buffer[256];
        const int length = GetClipboardFormatNameW(format, buffer, 256);
        if (length <= 0)
            return;
        description = WideToUtf8(std::wstring_view(buffer, static_cast<size_t>(length)));
    }
    TFormatList& list = Formats();
    std::lock_guard<std::mutex> guard(list.lock);
    for (const TClipboardFormatEntry& e : list.entries)
        if (e.FormatEtc.cfFormat == format && e.TreeClass == treeClass)
            return;
    TClipboardFormatEntry entry;
    entry.Description = description;
    entry.TreeClass = treeClass;
    entry.Priority = priority;
    entry.FormatEtc.cfFormat = format;
    entry.FormatEtc.dwAspect = DVASPECT_CONTENT;
    entry.FormatEtc.lindex = -1;
    entry.FormatEtc.tymed = TYMED_HGLOBAL;
    Insert(list, std::move(entry));
}

const TClipboardFormatEntry* TClipboardFormatList::FindFormat(const std::string& description)
{
    TFormatList& list = Formats();
    std::lock_guard<std::mutex> guard(list.lock);
    // From the last entry back: a later registration of a name wins.
    for (auto it = list.entries.rbegin(); it != list.entries.rend(); ++it)
        if (SameText(it->Description, description))
            return &*it;
    return nullptr;
}

const TClipboardFormatEntry* TClipboardFormatList::FindFormat(CLIPFORMAT format)
{
    TFormatList& list = Formats();
    std::lock_guard<std::mutex> guard(list.lock);
    for (const TClipboardFormatEntry& e : list.entries)
        if (e.FormatEtc.cfFormat == format)
            return &e;
    return nullptr;
}

std::vector<const TClipboardFormatEntry*> TClipboardFormatList::EnumerateFormats(const TBaseVirtualTree* tree,
                                                                                const TStringList* allowed)
{
    std::vector<const TClipboardFormatEntry*> result;
    TFormatList& list = Formats();
    std::lock_guard<std::mutex> guard(list.lock);
    for (const TClipboardFormatEntry& e : list.entries) {
        if (!e.TreeClass || !e.TreeClass(tree))
            continue;
        if (allowed && allowed->IndexOf(e.Description) < 0)
            continue;
        result.push_back(&e);
    }
    return result;
}

int TClipboardFormatList::Count()
{
    TFormatList& list = Formats();
    std::lock_guard<std::mutex> guard(list.lock);
    return static_cast<int>(list.entries.size());
}

void TClipboardFormatList::Clear()
{
    TFormatList& list = Formats();
    std::lock_guard<std::mutex> guard(list.lock);
    list.entries.clear();
}

// ---------------------------------------------------------------------------
// A tree's clipboard format names

int TClipboardFormats::IndexOf(const std::string& name) const { return list_.IndexOf(name); }

int TClipboardFormats::Add(const std::string& name)
{
    // Only formats this tree's class (or an ancestor) can render.
    bool renderable = false;
    for (const TClipboardFormatEntry* e : TClipboardFormatList::EnumerateFormats(owner_))
        if (SameText(e->Description, name))
            renderable = true;
    if (!renderable)
        return -1;
    const int existing = list_.IndexOf(name);
    if (existing >= 0)
        return existing;
    auto& items = list_.Items();
    auto it = std::lower_bound(items.begin(), items.end(), name,
                               [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    const int index = static_cast<int>(it - items.begin());
    items.insert(it, name);
    return index;
}

int TClipboardFormats::Insert(int, const std::string& name)
{
    // The list stays sorted: the position follows from the name.
    return Add(name);
}

void TClipboardFormats::Delete(int index)
{
    if (index >= 0 && index < list_.Count())
        list_.Delete(index);
}

void TClipboardFormats::Assign(const TClipboardFormats& source)
{
    list_.Clear();
    for (const std::string& name : source.list_)
        Add(name);
}
