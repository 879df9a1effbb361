#include "controls/Placement.h"

#include <windows.h>

#include <algorithm>

#include "controls/StringUtils.h"
#include "controls/WndProcHook.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/Form.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/Text.h"

std::string DefCompanyName;
bool RegUseAppTitle = false;

namespace {

const char siFlags[] = "Flags";
const char siShowCmd[] = "ShowCmd";
const char siMinMaxPos[] = "MinMaxPos";
const char siNormPos[] = "NormPos";
const char siPixels[] = "PixelsPerInch";
const char siActiveCtrl[] = "ActiveControl";
const char siVisible[] = "Visible";
const char siVersion[] = "FormVersion";

std::string ExeBaseName()
{
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n < MAX_PATH ? n : 0);
    size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        path.erase(0, slash + 1);
    size_t dot = path.rfind(L'.');
    if (dot != std::wstring::npos)
        path.erase(dot);
    return WideToUtf8(path);
}

HKEY RootKey(TPlacementRegRoot root)
{
    switch (root) {
    case TPlacementRegRoot::prLocalMachine:
        return HKEY_LOCAL_MACHINE;
    case TPlacementRegRoot::prCurrentConfig:
        return HKEY_CURRENT_CONFIG;
    case TPlacementRegRoot::prClassesRoot:
        return HKEY_CLASSES_ROOT;
    case TPlacementRegRoot::prUsers:
        return HKEY_USERS;
    case TPlacementRegRoot::prDynData:
        return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000006UL));
    default:
        return HKEY_CURRENT_USER;
    }
}

int ScreenPixelsPerInch()
{
    HDC dc = GetDC(nullptr);
    int ppi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return ppi;
}

}  // namespace

// --- the open storage: a registry key seen as an INI file, or an INI file ---

class TPlacementStore {
public:
    virtual ~TPlacementStore() = default;
    // True when the value is there; numbers come back as decimal text, a
    // value of another type as an empty text.
    virtual bool Read(const std::string& section, const std::string& ident, std::string& out) = 0;
    virtual void WriteString(const std::string& section, const std::string& ident, const std::string& value) = 0;
    virtual void WriteInteger(const std::string& section, const std::string& ident, int value) = 0;
    virtual void EraseSection(const std::string& section) = 0;
    // Makes the writes lasting (may throw).
    virtual void Flush() {}
};

namespace {

class TRegPlacementStore : public TPlacementStore {
public:
    TRegPlacementStore(HKEY root, const std::string& path) : root_(root), ini_(path, root)
    {
        base_ = ini_.BasePath();
    }
    bool Read(const std::string& section, const std::string& ident, std::string& out) override
    {
        TRegistry r(root_, KEY_READ);
        std::string path = section.empty() ? base_ : (base_.empty() ? section : base_ + "\\" + section);
        if (!r.OpenKeyReadOnly(path))
            return false;
        if (r.TryReadString(ident, out))
            return true;
        int v;
        if (r.TryReadInteger(ident, v)) {
            out = std::to_string(v);
            return true;
        }
        if (r.ValueExists(ident)) {
            out.clear();
            return true;
        }
        return false;
    }
    void WriteString(const std::string& section, const std::string& ident, const std::string& value) override
    {
        ini_.WriteString(section, ident, value);
    }
    void WriteInteger(const std::string& section, const std::string& ident, int value) override
    {
        ini_.WriteInteger(section, ident, value);
    }
    void EraseSection(const std::string& section) override { ini_.EraseSection(section); }

private:
    HKEY root_;
    TRegIniFile ini_;
    std::string base_;
};

class TIniPlacementStore : public TPlacementStore {
public:
    explicit TIniPlacementStore(const std::string& path) : ini_(path) { ini_.BeginUpdate(); }
    bool Read(const std::string& section, const std::string& ident, std::string& out) override
    {
        if (!ini_.ValueExists(section, ident))
            return false;
        out = ini_.ReadString(section, ident, "");
        // One pair of double quotes around a value is not part of it.
        if (out.size() >= 2 && out.front() == '"' && out.back() == '"')
            out = out.substr(1, out.size() - 2);
        return true;
    }
    void WriteString(const std::string& section, const std::string& ident, const std::string& value) override
    {
        bool quoted = value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                                            (value.front() == '\'' && value.back() == '\''));
        ini_.WriteString(section, ident, quoted ? "\"" + value + "\"" : value);
    }
    void WriteInteger(const std::string& section, const std::string& ident, int value) override
    {
        ini_.WriteInteger(section, ident, value);
    }
    void EraseSection(const std::string& section) override { ini_.EraseSection(section); }
    void Flush() override { ini_.EndUpdate(); }

private:
    TIniFile ini_;
};

// A bare INI file name lives in the Windows folder, as with the system's
// profile functions.
std::string IniFilePath(const std::string& name)
{
    if (name.find_first_of("\\/:") != std::string::npos)
        return name;
    wchar_t buf[MAX_PATH];
    UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return name;
    return WideToUtf8(std::wstring(buf, n)) + "\\" + name;
}

}  // namespace

// --- TWinMinMaxInfo ---

bool TWinMinMaxInfo::DefaultMinMaxInfo() const
{
    return std::all_of(std::begin(v_), std::end(v_), [](int v) { return v == 0; });
}

void TWinMinMaxInfo::Set(int index, int value)
{
    if (v_[index] == value)
        return;
    v_[index] = value;
    if (OnChange)
        OnChange();
}

const TPropTable& TWinMinMaxInfo::Published() const
{
    static const TPropTable table = [this] {
        TPropTable t(&this->TPersistent::Published());
        using M = TWinMinMaxInfo;
        TPropTableOf<M>(t)
            .Int("MaxPosLeft", [](M& m) { return m.MaxPosLeft(); }, [](M& m, int v) { m.SetMaxPosLeft(v); })
            .Int("MaxPosTop", [](M& m) { return m.MaxPosTop(); }, [](M& m, int v) { m.SetMaxPosTop(v); })
            .Int("MaxSizeHeight", [](M& m) { return m.MaxSizeHeight(); }, [](M& m, int v) { m.SetMaxSizeHeight(v); })
            .Int("MaxSizeWidth", [](M& m) { return m.MaxSizeWidth(); }, [](M& m, int v) { m.SetMaxSizeWidth(v); })
            .Int("MaxTrackHeight", [](M& m) { return m.MaxTrackHeight(); },
                 [](M& m, int v) { m.SetMaxTrackHeight(v); })
            .Int("MaxTrackWidth", [](M& m) { return m.MaxTrackWidth(); }, [](M& m, int v) { m.SetMaxTrackWidth(v); })
            .Int("MinTrackHeight", [](M& m) { return m.MinTrackHeight(); },
                 [](M& m, int v) { m.SetMinTrackHeight(v); })
            .Int("MinTrackWidth", [](M& m) { return m.MinTrackWidth(); }, [](M& m, int v) { m.SetMinTrackWidth(v); });
        return t;
    }();
    return table;
}

// --- TPlacementLink ---

TPlacementLink::~TPlacementLink() { SetStorage(nullptr); }

void TPlacementLink::SetStorage(TFormPlacement* storage)
{
    if (storage == storage_)
        return;
    if (storage_)
        storage_->RemoveLink(this);
    if (storage)
        storage->AddLink(this);
}

// --- TFormPlacement ---

TFormPlacement::TFormPlacement(TComponent* owner) : TComponent(owner)
{
    form_ = dynamic_cast<TForm*>(owner);
    if (form_) {
        formAlive_ = form_->AliveToken();
        options_ = fpState | fpPosition;
    }
    minMaxInfo_.OnChange = [this] {
        CheckToggleHook();
        UpdatePlacement();
    };
    hook_ = new TRxWindowHook(this);
    hook_->SetActive(false);
    hook_->AfterMessage = [this](TObject*, TMessage& m, bool&) { AfterMessage(m); };
}

TFormPlacement::~TFormPlacement()
{
    destroying_ = true;
    store_.reset();
    while (!links_.empty())
        links_.back()->SetStorage(nullptr);
    if (hook_)
        hook_->SetActive(false);
    UnhookEvents();
    minMaxInfo_.OnChange = nullptr;
}

TForm* TFormPlacement::Form() const { return formAlive_.expired() ? nullptr : form_; }

std::string TFormPlacement::IniFileName() const
{
    if (!iniFileName_.empty())
        return iniFileName_;
    if (useRegistry_) {
        std::string name = RegUseAppTitle && !Application().Title().empty() ? Application().Title() : ExeBaseName();
        if (!DefCompanyName.empty())
            name = DefCompanyName + "\\" + name;
        return "Software\\" + name;
    }
    return ExeBaseName() + ".INI";
}

std::string TFormPlacement::IniSection() const
{
    if (!iniSection_.empty())
        return iniSection_;
    TComponent* owner = Owner();
    if (!owner)
        return std::string();
    if (dynamic_cast<TForm*>(owner))
        return ClassNameOf(*owner);
    if (auto* control = dynamic_cast<TControl*>(owner)) {
        TWinControl* p = control->Parent();
        while (p && !dynamic_cast<TForm*>(p))
            p = p->Parent();
        if (p)
            return ClassNameOf(*p) + control->Name();
        return (control->Owner() ? control->Owner()->Name() : std::string()) + control->Name();
    }
    if (owner->Owner())
        return Format("%s.%s", ClassNameOf(*owner->Owner()).c_str(), owner->Name().c_str());
    return ClassNameOf(*owner);
}

void TFormPlacement::SetPreventResize(bool prevent)
{
    if (prevent == preventResize_)
        return;
    preventResize_ = prevent;
    UpdatePreventResize();
    CheckToggleHook();
}

void TFormPlacement::UpdatePreventResize()
{
    TForm* f = Form();
    if (!f || IsDesigning() || IsLoading())
        return;
    if (preventResize_) {
        maximizeIconRemoved_ = (f->BorderIcons() & biMaximize) != 0;
        f->SetBorderIcons(f->BorderIcons() & ~biMaximize);
    } else if (maximizeIconRemoved_) {
        maximizeIconRemoved_ = false;
        if (f->BorderStyle() != TFormBorderStyle::bsDialog)
            f->SetBorderIcons(f->BorderIcons() | biMaximize);
    }
}

void TFormPlacement::CheckToggleHook()
{
    if (!hook_ || destroying_ || IsLoading() || IsDesigning())
        return;
    TForm* f = Form();
    bool want = f && (preventResize_ || !minMaxInfo_.DefaultMinMaxInfo());
    if (want && hook_->WinControl() != f)
        hook_->SetWinControl(f);
    hook_->SetActive(want);
}

void TFormPlacement::UpdatePlacement()
{
    TForm* f = Form();
    if (!f || !f->HandleAllocated() || IsLoading() || IsDesigning())
        return;
    // Has the window ask for its track limits again.
    SetWindowPos(f->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TFormPlacement::AfterMessage(TMessage& m)
{
    TForm* f = Form();
    if (!f)
        return;
    if (preventResize_) {
        switch (m.Msg) {
        case WM_GETMINMAXINFO:
            if (f->HandleAllocated() && IsWindowVisible(f->Handle())) {
                auto* mmi = reinterpret_cast<MINMAXINFO*>(m.LParam);
                mmi->ptMinTrackSize = POINT{f->Width(), f->Height()};
                mmi->ptMaxTrackSize = POINT{f->Width(), f->Height()};
            }
            break;
        case WM_NCHITTEST:
            if (m.Result >= HTLEFT && m.Result <= HTBOTTOMRIGHT)
                m.Result = HTNOWHERE;
            break;
        case WM_INITMENUPOPUP:
            if (HIWORD(m.LParam)) {
                HMENU menu = reinterpret_cast<HMENU>(m.WParam);
                EnableMenuItem(menu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
                EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
                sysMenuOpening_ = menu;
            }
            break;
        case WM_ENTERIDLE:
            // Wine sets the system menu's items once more after
            // WM_INITMENUPOPUP: grey them again when the open menu first
            // waits for input.
            if (m.WParam == MSGF_MENU && sysMenuOpening_) {
                EnableMenuItem(sysMenuOpening_, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
                EnableMenuItem(sysMenuOpening_, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
                sysMenuOpening_ = nullptr;
                if (m.LParam)
                    InvalidateRect(reinterpret_cast<HWND>(m.LParam), nullptr, TRUE);
            }
            break;
        default:
            break;
        }
    }
    if (m.Msg == WM_GETMINMAXINFO && !minMaxInfo_.DefaultMinMaxInfo()) {
        auto* mmi = reinterpret_cast<MINMAXINFO*>(m.LParam);
        const TWinMinMaxInfo& i = minMaxInfo_;
        if (i.MinTrackWidth())
            mmi->ptMinTrackSize.x = i.MinTrackWidth();
        if (i.MinTrackHeight())
            mmi->ptMinTrackSize.y = i.MinTrackHeight();
        if (i.MaxTrackWidth())
            mmi->ptMaxTrackSize.x = i.MaxTrackWidth();
        if (i.MaxTrackHeight())
            mmi->ptMaxTrackSize.y = i.MaxTrackHeight();
        if (i.MaxSizeWidth())
            mmi->ptMaxSize.x = i.MaxSizeWidth();
        if (i.MaxSizeHeight())
            mmi->ptMaxSize.y = i.MaxSizeHeight();
        if (i.MaxPosLeft())
            mmi->ptMaxPosition.x = i.MaxPosLeft();
        if (i.MaxPosTop())
            mmi->ptMaxPosition.y = i.MaxPosTop();
    }
}

void TFormPlacement::Loaded()
{
    bool wasLoading = IsLoading();
    TComponent::Loaded();
    if (wasLoading && !IsDesigning()) {
        HookEvents();
        UpdatePreventResize();
        CheckToggleHook();
    }
}

void TFormPlacement::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == form_) {
        form_ = nullptr;
        eventsHooked_ = false;
    }
}

void TFormPlacement::HookEvents()
{
    TForm* f = Form();
    if (!f || eventsHooked_)
        return;
    savedShow_ = f->OnShow;
    savedCloseQuery_ = f->OnCloseQuery;
    savedDestroy_ = f->OnDestroy;
    f->OnShow = [this](TObject* sender) { FormShow(sender); };
    f->OnCloseQuery = [this](TObject* sender, bool& canClose) { FormCloseQuery(sender, canClose); };
    f->OnDestroy = [this](TObject* sender) { FormDestroy(sender); };
    eventsHooked_ = true;
}

void TFormPlacement::UnhookEvents()
{
    TForm* f = Form();
    if (!eventsHooked_ || !f)
        return;
    f->OnShow = savedShow_;
    f->OnCloseQuery = savedCloseQuery_;
    f->OnDestroy = savedDestroy_;
    eventsHooked_ = false;
}

void TFormPlacement::FormShow(TObject* sender)
{
    // Once: showing the form again later (from the tray) keeps it where the
    // user left it.
    if (active_ && !shown_) {
        shown_ = true;
        Guarded([this] { RestoreFormPlacement(); });
    }
    if (savedShow_)
        savedShow_(sender);
}

void TFormPlacement::FormCloseQuery(TObject* sender, bool& canClose)
{
    if (savedCloseQuery_)
        savedCloseQuery_(sender, canClose);
    TForm* f = Form();
    if (canClose && active_ && f && f->HandleAllocated())
        Guarded([this] { SaveFormPlacement(); });
}

void TFormPlacement::FormDestroy(TObject* sender)
{
    if (active_ && !saved_) {
        destroying_ = true;
        Guarded([this] { SaveFormPlacement(); });
        destroying_ = false;
    }
    if (savedDestroy_)
        savedDestroy_(sender);
}

TFormPlacement::TStoreScope::TStoreScope(TFormPlacement& p, bool readOnly) : p_(p)
{
    (void)readOnly;   // reads only ever ask for read access
    if (p_.store_)
        return;
    if (p_.useRegistry_)
        p_.store_ = std::make_unique<TRegPlacementStore>(RootKey(p_.registryRoot_), p_.IniFileName());
    else
        p_.store_ = std::make_unique<TIniPlacementStore>(IniFilePath(p_.IniFileName()));
    opened_ = true;
}

TFormPlacement::TStoreScope::~TStoreScope()
{
    if (!opened_)
        return;
    TPlacementStore* s = p_.store_.get();
    bool failing = std::uncaught_exceptions() > 0;
    if (!failing) {
        try {
            s->Flush();
        } catch (...) {
            HandleCurrentException();
        }
    }
    p_.store_.reset();
}

std::string TFormPlacement::ReadString(const std::string& section, const std::string& ident, const std::string& def)
{
    std::string v;
    if (store_ && store_->Read(section, ident, v))
        return v;
    return def;
}

void TFormPlacement::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    if (store_)
        store_->WriteString(section, ident, value);
}

int TFormPlacement::ReadInteger(const std::string& section, const std::string& ident, int def)
{
    std::string v;
    if (!store_ || !store_->Read(section, ident, v))
        return def;
    return StrToIntDef(v, 0);
}

void TFormPlacement::WriteInteger(const std::string& section, const std::string& ident, int value)
{
    if (store_)
        store_->WriteInteger(section, ident, value);
}

bool TFormPlacement::ReadBool(const std::string& section, const std::string& ident, bool def)
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TFormPlacement::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteInteger(section, ident, value ? 1 : 0);
}

void TFormPlacement::EraseSection(const std::string& section)
{
    if (store_)
        store_->EraseSection(section);
}

void TFormPlacement::AddLink(TPlacementLink* link)
{
    if (!link)
        return;
    if (std::find(links_.begin(), links_.end(), link) == links_.end())
        links_.push_back(link);
    link->storage_ = this;
}

void TFormPlacement::RemoveLink(TPlacementLink* link)
{
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    if (link && link->storage_ == this)
        link->storage_ = nullptr;
}

std::string TFormPlacement::ScreenSuffixed(const std::string& name) const
{
    return Format("%s(%dx%d)", name.c_str(), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

void TFormPlacement::SaveFormPlacement()
{
    if (active_ && !restored_)
        return;
    TStoreScope scope(*this, false);
    WriteInteger(IniSection(), siVersion, version_);
    SavePlacement();
    if (OnSavePlacement)
        OnSavePlacement(this);
    saved_ = true;
}

void TFormPlacement::RestoreFormPlacement()
{
    {
        TStoreScope scope(*this, true);
        // Data older than Version is ignored; the form still counts as
        // restored so that the next save writes the current version.
        bool current = ReadInteger(IniSection(), siVersion, 0) >= version_;
        if (current)
            RestorePlacement();
        restored_ = true;
        if (current) {
            if (OnRestorePlacement)
                OnRestorePlacement(this);
            TForm* f = Form();
            if ((options_ & fpActiveControl) && f) {
                std::string name = ReadString(IniSection(), siActiveCtrl, "");
                auto* c = dynamic_cast<TWinControl*>(name.empty() ? nullptr : f->FindComponent(name));
                if (c && c->CanFocus())
                    c->SetFocus();
            }
        }
    }
    UpdatePlacement();
}

void TFormPlacement::SavePlacement()
{
    TStoreScope scope(*this, false);
    TForm* f = Form();
    if (f && (options_ & (fpState | fpPosition)) && (f->HandleAllocated() || !destroying_)) {
        const std::string section = IniSection();
        HWND h = f->Handle();
        WINDOWPLACEMENT wp = {};
        wp.length = sizeof wp;
        GetWindowPlacement(h, &wp);
        if (f->FormStyle() == TFormStyle::fsMDIChild && IsIconic(h))
            wp.flags |= WPF_SETMINPOSITION;
        if (Application().MainForm() == f && Application().Handle() && IsIconic(Application().Handle()))
            wp.showCmd = SW_SHOWMINIMIZED;
        WriteInteger(section, siFlags, static_cast<int>(wp.flags));
        WriteInteger(section, siShowCmd, static_cast<int>(wp.showCmd));
        WriteInteger(section, siPixels, ScreenPixelsPerInch());
        std::string minMax = Format("%d,%d,%d,%d", static_cast<int>(wp.ptMinPosition.x),
                                    static_cast<int>(wp.ptMinPosition.y), static_cast<int>(wp.ptMaxPosition.x),
                                    static_cast<int>(wp.ptMaxPosition.y));
        std::string norm = Format("%d,%d,%d,%d", static_cast<int>(wp.rcNormalPosition.left),
                                  static_cast<int>(wp.rcNormalPosition.top),
                                  static_cast<int>(wp.rcNormalPosition.right),
                                  static_cast<int>(wp.rcNormalPosition.bottom));
        WriteString(section, ScreenSuffixed(siMinMaxPos), minMax);
        WriteString(section, siMinMaxPos, minMax);
        WriteString(section, ScreenSuffixed(siNormPos), norm);
        WriteString(section, siNormPos, norm);
        WriteBool(section, siVisible, destroying_);
    }
    if (f && (options_ & fpActiveControl)) {
        if (TWinControl* c = f->ActiveControl(); c && c != f)
            WriteString(IniSection(), siActiveCtrl, c->Name());
    }
    std::vector<TPlacementLink*> links = links_;
    for (TPlacementLink* l : links)
        if (l->OnSave)
            l->OnSave(this);
}

void TFormPlacement::RestorePlacement()
{
    TStoreScope scope(*this, true);
    TForm* f = Form();
    if (!f) {
        std::vector<TPlacementLink*> links = links_;
        for (TPlacementLink* l : links)
            if (l->OnLoad)
                l->OnLoad(this);
        return;
    }
    const std::string section = IniSection();
    HWND h = f->Handle();
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    GetWindowPlacement(h, &wp);
    if (!IsWindowVisible(h))
        wp.showCmd = SW_HIDE;

    if (options_ & fpPosition) {
        bool found = false;
        // Only the flags a placement can be given back (never the asynchronous one).
        wp.flags = static_cast<UINT>(ReadInteger(section, siFlags, static_cast<int>(wp.flags))) &
                   (WPF_SETMINPOSITION | WPF_RESTORETOMAXIMIZED);
        const TCharSet delims = MakeCharSet(" ,");
        auto readPos = [&](const char* name) {
            std::string s = ReadString(section, ScreenSuffixed(name), "");
            return s.empty() ? ReadString(section, name, "") : s;
        };
        std::string s = readPos(siMinMaxPos);
        if (!s.empty()) {
            wp.ptMinPosition.x = StrToIntDef(ExtractWord(1, s, delims), 0);
            wp.ptMinPosition.y = StrToIntDef(ExtractWord(2, s, delims), 0);
            wp.ptMaxPosition.x = StrToIntDef(ExtractWord(3, s, delims), 0);
            wp.ptMaxPosition.y = StrToIntDef(ExtractWord(4, s, delims), 0);
            found = true;
        }
        s = readPos(siNormPos);
        if (!s.empty()) {
            wp.rcNormalPosition.left = StrToIntDef(ExtractWord(1, s, delims), f->Left());
            wp.rcNormalPosition.top = StrToIntDef(ExtractWord(2, s, delims), f->Top());
            wp.rcNormalPosition.right = StrToIntDef(ExtractWord(3, s, delims), f->Left() + f->Width());
            wp.rcNormalPosition.bottom = StrToIntDef(ExtractWord(4, s, delims), f->Top() + f->Height());
            found = true;
        }
        // Bounds from a screen of another density would be wrong here.
        int ppi = ScreenPixelsPerInch();
        if (ReadInteger(section, siPixels, ppi) != ppi)
            found = false;
        if (found) {
            TFormBorderStyle b = f->BorderStyle();
            if (b != TFormBorderStyle::bsSizeable && b != TFormBorderStyle::bsSizeToolWin) {
                wp.rcNormalPosition.right = wp.rcNormalPosition.left + f->Width();
                wp.rcNormalPosition.bottom = wp.rcNormalPosition.top + f->Height();
            }
            if (wp.rcNormalPosition.right > wp.rcNormalPosition.left) {
                if ((f->Position() == TPosition::poScreenCenter || f->Position() == TPosition::poDesktopCenter) &&
                    !IsDesigning())
                    f->SetPosition(TPosition::poDesigned);
                SetWindowPlacement(h, &wp);
            }
        }
    }

    if (options_ & fpState) {
        TForm* main = Application().MainForm();
        TWindowState state = TWindowState::wsNormal;
        if ((main == f || !main) &&
            (f->FormStyle() == TFormStyle::fsMDIForm ||
             (f->FormStyle() == TFormStyle::fsNormal && f->Position() == TPosition::poDefault)))
            state = TWindowState::wsMaximized;
        switch (ReadInteger(section, siShowCmd, SW_HIDE)) {
        case SW_SHOWNORMAL:
        case SW_RESTORE:
        case SW_SHOW:
            state = TWindowState::wsNormal;
            break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            state = TWindowState::wsMinimized;
            break;
        case SW_MAXIMIZE:
            state = TWindowState::wsMaximized;
            break;
        default:
            break;
        }
        if (state == TWindowState::wsMinimized && main == f) {
            // The main form minimises with the application window.
            f->SetWindowState(TWindowState::wsNormal);
            PostMessageW(Application().Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return;
        }
        f->SetWindowState(state);
    }
    if (f->HandleAllocated())
        UpdateWindow(f->Handle());
    std::vector<TPlacementLink*> links = links_;
    for (TPlacementLink* l : links)
        if (l->OnLoad)
            l->OnLoad(this);
}

// --- stored values ---

std::string StoredVariantText(const TStoredVariant& value)
{
    switch (value.index()) {
    case 1:
        return std::get<bool>(value) ? "True" : "False";
    case 2:
        return std::to_string(std::get<int>(value));
    case 3:
        return PropText::FromFloat(std::get<double>(value), PropText::TFloatType::ftDouble);
    case 4:
        return std::get<std::string>(value);
    default:
        return std::string();
    }
}

bool TStoredValue::AsBoolean() const
{
    switch (value_.index()) {
    case 1:
        return std::get<bool>(value_);
    case 2:
        return std::get<int>(value_) != 0;
    case 3:
        return std::get<double>(value_) != 0;
    case 4: {
        const std::string& s = std::get<std::string>(value_);
        if (SameText(Trim(s), "True"))
            return true;
        int n = 0;
        return TryStrToInt(s, n) && n != 0;
    }
    default:
        return false;
    }
}

void TStoredValue::SetName(const std::string& name)
{
    if (!name.empty() && owner_) {
        int other = owner_->IndexOf(name);
        if (other >= 0 && owner_->Item(other) != this)
            throw Exception("A stored value named \"" + name + "\" already exists");
    }
    name_ = name;
}

void TStoredValue::Save()
{
    TFormPlacement* storage = owner_ ? owner_->Storage() : nullptr;
    if (!storage || name_.empty())
        return;
    TStoredVariant v = value_;
    if (OnSave)
        OnSave(this, v);
    std::string text = StoredVariantText(v);
    if (!KeyString.empty())
        text = XorEncodeHex(KeyString, text);
    storage->WriteString(storage->IniSection(), name_, text);
}

void TStoredValue::Restore()
{
    TFormPlacement* storage = owner_ ? owner_->Storage() : nullptr;
    if (!storage || name_.empty())
        return;
    std::string def = StoredVariantText(value_);
    if (!KeyString.empty())
        def = XorEncodeHex(KeyString, def);
    std::string text = storage->ReadString(storage->IniSection(), name_, def);
    if (!KeyString.empty())
        text = XorDecodeHex(KeyString, text);
    TStoredVariant v = text;
    if (OnRestore)
        OnRestore(this, v);
    value_ = std::move(v);
}

const TPropTable& TStoredValue::Published() const
{
    static const TPropTable table = [this] {
        TPropTable t(&this->TPersistent::Published());
        using V = TStoredValue;
        TPropTableOf<V>(t)
            .String("Name", [](V& v) { return v.Name(); }, [](V& v, const std::string& s) { v.SetName(s); })
            .String("Value", [](V& v) { return v.AsString(); },
                    [](V& v, const std::string& s) { v.SetValue(s); })
            .String("KeyString", [](V& v) { return v.KeyString; }, [](V& v, const std::string& s) { v.KeyString = s; });
        return t;
    }();
    return table;
}

TStoredValue& TStoredValues::Add(const std::string& name)
{
    if (!name.empty() && IndexOf(name) >= 0)
        throw Exception("A stored value named \"" + name + "\" already exists");
    items_.push_back(std::unique_ptr<TStoredValue>(new TStoredValue(this)));
    items_.back()->name_ = name;
    return *items_.back();
}

int TStoredValues::IndexOf(const std::string& name) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameText(items_[i]->Name(), name))
            return static_cast<int>(i);
    return -1;
}

TStoredValue* TStoredValues::Find(const std::string& name) const
{
    int i = IndexOf(name);
    return i < 0 ? nullptr : items_[static_cast<size_t>(i)].get();
}

void TStoredValues::Delete(int index)
{
    if (index >= 0 && static_cast<size_t>(index) < items_.size())
        items_.erase(items_.begin() + index);
}

void TStoredValues::SaveValues()
{
    for (auto& v : items_)
        v->Save();
}

void TStoredValues::RestoreValues()
{
    for (auto& v : items_)
        v->Restore();
}

// --- TFormStorage ---

TFormStorage::TFormStorage(TComponent* owner) : TFormPlacement(owner), storedValues_(this) {}

void TFormStorage::SavePlacement()
{
    TStoreScope scope(*this, false);
    TFormPlacement::SavePlacement();
    SaveProperties();
    storedValues_.SaveValues();
}

void TFormStorage::RestorePlacement()
{
    TStoreScope scope(*this, true);
    TFormPlacement::RestorePlacement();
    SetRestored();
    RestoreProperties();
    storedValues_.RestoreValues();
}

void TFormStorage::WalkProperties(bool save)
{
    TStoreScope scope(*this, !save);
    TPropsStorage storage;
    storage.Section = IniSection();
    storage.StoreObject = this;
    storage.OnReadString = [this](const std::string& s, const std::string& i, const std::string& d) {
        return ReadString(s, i, d);
    };
    storage.OnWriteString = [this](const std::string& s, const std::string& i, const std::string& v) {
        WriteString(s, i, v);
    };
    storage.OnEraseSection = [this](const std::string& s) { EraseSection(s); };
    if (save)
        storage.StoreObjectsProps(Owner(), storedProps_);
    else
        storage.LoadObjectsProps(Owner(), storedProps_);
}

void TFormStorage::SaveProperties() { WalkProperties(true); }

void TFormStorage::RestoreProperties() { WalkProperties(false); }

void TFormStorage::Loaded()
{
    bool wasLoading = IsLoading();
    TFormPlacement::Loaded();
    if (wasLoading)
        ResolveStoredProps(Owner(), storedProps_);
}

void TFormStorage::Notification(TComponent* component, TOperation operation)
{
    TFormPlacement::Notification(component, operation);
    if (operation == TOperation::opRemove && component)
        for (int i = storedProps_.Count() - 1; i >= 0; --i)
            if (storedProps_.Objects(i) == component)
                storedProps_.Delete(i);
}
