#include "controls/ComboEdits.h"

#include <shellapi.h>

#include "controls/FileUtils.h"
#include "platform/Canvas.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace {

// The window at the edit's right edge that holds the button.
class TEditButtonContainer : public TWinControl {
public:
    explicit TEditButtonContainer(TComponent* owner) : TWinControl(owner) { controlStyle_ |= csAcceptsControls; }

protected:
    void CreateParams(TCreateParams& params) override
    {
        TWinControl::CreateParams(params);
        params.className = L"BrenixEditButtonContainer";
        params.cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    }
};

// A black picture on fuchsia: a drop-down arrow or an ellipsis.
void MakeKindGlyph(TBitmap& bitmap, TGlyphKind kind)
{
    const bool arrow = kind == TGlyphKind::gkDropDown;
    TBitmap b;
    b.SetSize(arrow ? 7 : 8, arrow ? 4 : 2);
    TCanvas& c = b.Canvas();
    c.SetBrushColor(clFuchsia);
    RECT all = {0, 0, b.Width(), b.Height()};
    c.FillRect(all);
    c.SetBrushColor(RGB(0, 0, 0));
    if (arrow) {
        for (int y = 0; y < 4; ++y) {
            RECT r = {y, y, 7 - y, y + 1};
            c.FillRect(r);
        }
    } else {
        for (int x = 0; x < 8; x += 3) {
            RECT r = {x, 0, x + 2, 2};
            c.FillRect(r);
        }
    }
    bitmap.Assign(b);
}

}  // namespace

// --- TEditButton ---

TEditButton::TEditButton(TComponent* owner, TCustomComboEdit* edit) : TRxSpeedButton(owner), edit_(edit) {}

std::string TEditButton::Hint() const
{
    return edit_ && !edit_->ButtonHint().empty() ? edit_->ButtonHint() : TRxSpeedButton::Hint();
}

void TEditButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    if (button == TMouseButton::mbLeft && edit_) {
        if (edit_->PopupVisible()) {
            edit_->PopupCloseUp(false);
            noClick_ = true;
        } else if (edit_->CanFocus() && !edit_->Focused()) {
            edit_->SetFocus();
        }
        if (alive.expired())
            return;
    }
    TRxSpeedButton::MouseDown(button, shift, x, y);
}

void TEditButton::Click()
{
    if (noClick_) {
        noClick_ = false;
        return;
    }
    TRxSpeedButton::Click();
}

void TEditButton::Paint(TCanvas& canvas)
{
    TRxSpeedButton::Paint(canvas);
    if (State() == TButtonState::bsDown || Down())
        return;
    HDC dc = canvas.Handle();
    HPEN face = CreatePen(PS_SOLID, 1, GetSysColor(NewStyle() ? COLOR_BTNFACE : COLOR_BTNSHADOW));
    HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HGDIOBJ old = SelectObject(dc, face);
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 0, Height());
    SelectObject(dc, light);
    MoveToEx(dc, 1, 0, nullptr);
    LineTo(dc, 1, Height());
    SelectObject(dc, old);
    DeleteObject(face);
    DeleteObject(light);
}

// --- TCustomComboEdit ---

TCustomComboEdit::TCustomComboEdit(TComponent* owner) : TEdit(owner)
{
    controlStyle_ |= csAcceptsControls;
    container_ = new TEditButtonContainer(this);
    container_->SetParent(this);
    button_ = new TEditButton(this, this);
    button_->SetAlign(TAlign::alClient);
    button_->SetParent(container_);
    button_->OnClick = [this](TObject*) { EditButtonClick(); };
    ApplyGlyphKind();
}

TCustomComboEdit::~TCustomComboEdit() = default;

void TCustomComboEdit::CreateParams(TCreateParams& params)
{
    TEdit::CreateParams(params);
    // A multi-line edit takes a formatting rectangle, which keeps the text
    // off the button; Enter and line feeds are never typed.
    params.style |= ES_MULTILINE | WS_CLIPCHILDREN;
    if (!CanType())
        params.style |= ES_READONLY;
}

void TCustomComboEdit::CreateHandleDone()
{
    TEdit::CreateHandleDone();
    UpdateLayout();
}

void TCustomComboEdit::SetDirectInput(bool value)
{
    directInput_ = value;
    UpdateReadOnly();
}

void TCustomComboEdit::SetReadOnly(bool value)
{
    readOnly_ = value;
    UpdateReadOnly();
}

void TCustomComboEdit::UpdateReadOnly() { TEdit::SetReadOnly(!CanType()); }

int TCustomComboEdit::ButtonWidth() const { return button_->Visible() ? container_->Width() : 0; }

void TCustomComboEdit::SetButtonWidth(int width)
{
    if (widthFixed_)
        return;
    buttonWidth_ = width < 0 ? 0 : width;
    UpdateLayout();
}

void TCustomComboEdit::SetGlyph(const TBitmap& glyph)
{
    glyphKind_ = TGlyphKind::gkCustom;
    widthFixed_ = false;
    button_->SetGlyph(glyph);
    UpdateLayout();
}

void TCustomComboEdit::SetGlyphKind(TGlyphKind kind)
{
    if (kind == glyphKind_)
        return;
    glyphKind_ = kind;
    ApplyGlyphKind();
}

void TCustomComboEdit::ApplyGlyphKind()
{
    widthFixed_ = false;
    switch (glyphKind_) {
    case TGlyphKind::gkDefault: {
        const TBitmap* glyph = DefaultGlyph();
        if (glyph && !glyph->Empty()) {
            button_->SetNumGlyphs(1);
            button_->SetGlyph(*glyph);
            if (glyph->Width() + 6 > buttonWidth_)
                buttonWidth_ = glyph->Width() + 6;
        }
        break;
    }
    case TGlyphKind::gkDropDown: {
        TBitmap b;
        MakeKindGlyph(b, glyphKind_);
        button_->SetNumGlyphs(1);
        button_->SetGlyph(b);
        buttonWidth_ = GetSystemMetrics(SM_CXVSCROLL);
        widthFixed_ = true;
        break;
    }
    case TGlyphKind::gkEllipsis: {
        TBitmap b;
        MakeKindGlyph(b, glyphKind_);
        button_->SetNumGlyphs(1);
        button_->SetGlyph(b);
        break;
    }
    case TGlyphKind::gkCustom:
        break;
    }
    UpdateLayout();
}

int TCustomComboEdit::MinHeight()
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font().Handle());
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmHeight + 2 + 2 * GetSystemMetrics(SM_CYEDGE) + 2;
}

void TCustomComboEdit::UpdateLayout()
{
    if (!container_)
        return;
    RECT client = {0, 0, width_ - 4, height_ - 4};
    if (HandleAllocated())
        GetClientRect(Handle(), &client);
    int w = buttonWidth_;
    if (w > client.right)
        w = client.right;
    container_->SetBounds(client.right - w, 0, w, client.bottom);
    if (HandleAllocated()) {
        RECT text = {2, 1, client.right - w - 2, client.bottom};
        if (text.right < text.left)
            text.right = text.left;
        SendMessageW(Handle(), EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&text));
    }
}

void TCustomComboEdit::BoundsChanged()
{
    TEdit::BoundsChanged();
    int min = MinHeight();
    if (height_ < min && !IsLoading()) {
        SetBounds(left_, top_, width_, min);
        return;
    }
    UpdateLayout();
}

void TCustomComboEdit::FontChanged()
{
    TEdit::FontChanged();
    if (height_ < MinHeight())
        SetBounds(left_, top_, width_, MinHeight());
    UpdateLayout();
}

void TCustomComboEdit::CaptionChanged()
{
    TEdit::CaptionChanged();
    if (HandleAllocated() && OnChange)
        OnChange(this);
}

void TCustomComboEdit::EditButtonClick()
{
    if (!button_->Enabled())
        return;
    ButtonClick();
}

void TCustomComboEdit::ButtonClick()
{
    if (OnButtonClick)
        OnButtonClick(this);
}

void TCustomComboEdit::KeyDown(WORD& key, TShiftState shift)
{
    std::weak_ptr<void> alive = AliveToken();
    TEdit::KeyDown(key, shift);
    if (alive.expired() || key == 0)
        return;
    if (ShortCut(key, shift) == ClickKey && ButtonWidth() > 0) {
        key = 0;
        EditButtonClick();
    }
}

void TCustomComboEdit::KeyPress(wchar_t& key)
{
    TEdit::KeyPress(key);
    // Tab, Enter, line feed and Esc are keys for the form, never text.
    if (key == L'\t' || key == L'\r' || key == L'\n' || key == 0x1B)
        key = 0;
}

bool TCustomComboEdit::OfferDialogKey(WORD key, TShiftState shift)
{
    TWinControl* form = ParentForm();
    const bool ctrl = (shift & ssCtrl) != 0;
    if ((key == VK_TAB || key == VK_RETURN) && ctrl) {
        if (form && form != this)
            form->DialogKey(key, shift);
        return true;
    }
    if (key == VK_TAB)
        return form && form != this && form->DialogKey(key, shift);
    if (key == VK_RETURN || key == VK_ESCAPE) {
        if (PopupVisible()) {
            PopupCloseUp(key == VK_RETURN);
            return true;
        }
        return form && form != this && form->DialogKey(key, shift);
    }
    return false;
}

void TCustomComboEdit::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_CUT:
        if (!CanType()) {
            m.Result = 0;
            return;
        }
        break;
    case WM_PASTE: {
        if (!CanType()) {
            m.Result = 0;
            return;
        }
        // Only the first line of what is pasted: the edit holds one line.
        std::wstring text;
        if (OpenClipboard(Handle())) {
            if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
                if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
                    text = p;
                    GlobalUnlock(h);
                }
            }
            CloseClipboard();
        }
        size_t end = text.find_first_of(L"\r\n");
        if (end != std::wstring::npos)
            text.resize(end);
        SendMessageW(Handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
        m.Result = 0;
        return;
    }
    case WM_SIZE:
        TEdit::WndProc(m);
        UpdateLayout();
        return;
    case WM_NCPAINT: {
        // A themed edit draws its frame over the whole window, the button's
        // corner included (it does so whenever the focus comes or goes):
        // the button is drawn again on top.
        std::weak_ptr<void> alive = AliveToken();
        TEdit::WndProc(m);
        if (!alive.expired() && container_ && container_->HandleAllocated())
            RedrawWindow(container_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return;
    }
    default:
        break;
    }
    TEdit::WndProc(m);
}

// --- TFileDirEdit ---

const TBitmap& DefaultFileGlyph()
{
    static TBitmap glyph;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        glyph.LoadFromResourceName("FEDITBMP");
    }
    return glyph;
}

TFileDirEdit::TFileDirEdit(TComponent* owner) : TCustomComboEdit(owner) { ApplyGlyphKind(); }

TFileDirEdit::~TFileDirEdit() = default;

const TBitmap* TFileDirEdit::DefaultGlyph() const { return &DefaultFileGlyph(); }

void TFileDirEdit::SetAcceptFiles(bool value)
{
    acceptFiles_ = value;
    if (HandleAllocated())
        DragAcceptFiles(Handle(), value ? TRUE : FALSE);
}

void TFileDirEdit::CreateHandleDone()
{
    TCustomComboEdit::CreateHandleDone();
    if (acceptFiles_)
        DragAcceptFiles(Handle(), TRUE);
}

void TFileDirEdit::ReceptFileDir(const std::vector<std::string>& files)
{
    if (!files.empty())
        SetText(files[0]);
}

void TFileDirEdit::FocusAfterDialog()
{
    if (CanFocus() && HandleAllocated())
        SetFocus();
}

void TFileDirEdit::WndProc(TMessage& m)
{
    if (m.Msg == WM_DROPFILES) {
        auto drop = reinterpret_cast<HDROP>(m.WParam);
        std::vector<std::string> files;
        UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
            UINT len = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring w(len + 1, L'\0');
            DragQueryFileW(drop, i, w.data(), len + 1);
            w.resize(len);
            files.push_back(WideToUtf8(w));
        }
        DragFinish(drop);
        m.Result = 0;
        if (!acceptFiles_)
            return;
        std::weak_ptr<void> alive = AliveToken();
        ReceptFileDir(files);
        if (!alive.expired() && OnDropFiles)
            OnDropFiles(this, files);
        return;
    }
    TCustomComboEdit::WndProc(m);
}

// --- file names ---

std::string QuoteFileName(const std::string& name)
{
    if (name.find(' ') != std::string::npos && (name.empty() || name[0] != '"'))
        return "\"" + name + "\"";
    return name;
}

std::string UnquoteFileName(const std::string& name)
{
    if (FileExists(name))
        return name;
    std::string s = name;
    if (!s.empty() && s.front() == '"')
        s.erase(0, 1);
    if (!s.empty() && s.back() == '"')
        s.pop_back();
    return s;
}

// --- TFilenameEdit ---

TFilenameEdit::TFilenameEdit(TComponent* owner) : TFileDirEdit(owner)
{
    dialog_ = CreateEditDialog(dialogKind_);
    dialog_->Options = ofHideReadOnly;
}

TFilenameEdit::~TFilenameEdit() = default;

std::unique_ptr<TOpenDialog> TFilenameEdit::CreateEditDialog(TFileDialogKind kind)
{
    switch (kind) {
    case TFileDialogKind::dkSave:
        return std::make_unique<TSaveDialog>(nullptr);
    case TFileDialogKind::dkOpenPicture:
        return std::make_unique<TOpenPictureDialog>(nullptr);
    case TFileDialogKind::dkSavePicture:
        return std::make_unique<TSavePictureDialog>(nullptr);
    case TFileDialogKind::dkOpen:
    default:
        return std::make_unique<TOpenDialog>(nullptr);
    }
}

void TFilenameEdit::SetDialogKind(TFileDialogKind kind)
{
    if (kind == dialogKind_)
        return;
    std::unique_ptr<TOpenDialog> next = CreateEditDialog(kind);
    // The settings go over; a picture dialog keeps its own filter when none was set.
    if (!dialog_->Filter.empty())
        next->Filter = dialog_->Filter;
    next->FilterIndex = dialog_->FilterIndex;
    next->InitialDir = dialog_->InitialDir;
    next->DefaultExt = dialog_->DefaultExt;
    next->Title = dialog_->Title;
    next->Options = dialog_->Options;
    next->HelpContext = dialog_->HelpContext;
    next->FileName = dialog_->FileName;
    next->Files = dialog_->Files;
    dialog_ = std::move(next);
    dialogKind_ = kind;
}

std::string TFilenameEdit::FileName() const { return UnquoteFileName(Text()); }

void TFilenameEdit::SetFileName(const std::string& name)
{
    if (name.empty()) {
        SetText("");
        return;
    }
    std::string plain = UnquoteFileName(name);
    if (!IsValidFileName(plain))
        throw EComboEditError("Invalid file name - " + name);
    SetText(QuoteFileName(plain));
    dialog_->Files.clear();
}

bool TFilenameEdit::ExecuteDialog() { return dialog_->Execute(HandleAllocated() ? GetAncestor(Handle(), GA_ROOT) : nullptr); }

void TFilenameEdit::ButtonClick()
{
    std::weak_ptr<void> alive = AliveToken();
    TFileDirEdit::ButtonClick();
    if (alive.expired())
        return;
    std::string name = FileName();
    bool action = true;
    if (OnBeforeDialog)
        OnBeforeDialog(this, name, action);
    if (alive.expired() || !action)
        return;
    if (IsValidFileName(name)) {
        std::string dir = ExtractFilePath(name);
        if (!dir.empty() && DirectoryExists(dir))
            dialog_->InitialDir = dir;
        std::string file = ExtractFileName(name);
        if (file.empty() || !IsValidFileName(file))
            name.clear();
        dialog_->FileName = name;
    }
    dialog_->HelpContext = HelpContext;
    {
        TErrorModeScope errorMode;
        action = ExecuteDialog();
    }
    if (alive.expired())
        return;
    if (action)
        name = dialog_->FileName;
    FocusAfterDialog();
    if (OnAfterDialog)
        OnAfterDialog(this, name, action);
    if (alive.expired() || !action)
        return;
    SetText(QuoteFileName(name));
    std::string dir = ExtractFilePath(dialog_->FileName);
    if (!dir.empty())
        dialog_->InitialDir = dir;
}

// --- TDirectoryEdit ---

bool TDirectoryEdit::ExecuteDialog(std::string& folder) { return BrowseForDirectory(DialogText, folder, HelpContext); }

void TDirectoryEdit::ButtonClick()
{
    std::weak_ptr<void> alive = AliveToken();
    TFileDirEdit::ButtonClick();
    if (alive.expired())
        return;
    std::string name = Text();
    bool action = true;
    if (OnBeforeDialog)
        OnBeforeDialog(this, name, action);
    if (alive.expired() || !action)
        return;
    name = Trim(name);
    if (name.empty())
        name = InitialDir.empty() ? std::string("\\") : InitialDir;
    // A folder not made yet: the browser opens at the nearest one above it.
    while (!DirectoryExists(name)) {
        std::string up = ExtractFilePath(RemoveTrailingBackslash(name));
        if (up.empty() || up.size() >= name.size()) {
            name.assign(1, '\\');
            break;
        }
        name = up;
    }
    {
        TErrorModeScope errorMode;
        action = ExecuteDialog(name);
    }
    if (alive.expired())
        return;
    FocusAfterDialog();
    if (OnAfterDialog)
        OnAfterDialog(this, name, action);
    if (alive.expired() || !action)
        return;
    std::string text = Text();
    SetText(MultipleDirs && !text.empty() ? text + ";" + name : name);
    if (DirectoryExists(name))
        InitialDir = name;
}
