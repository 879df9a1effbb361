#include "platform/Dialogs.h"

#include <cderr.h>
#include <commdlg.h>

#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Text.h"

const char* const kPictureFilter =
    "All pictures (*.bmp;*.jpg;*.jpeg;*.ico)|*.bmp;*.jpg;*.jpeg;*.ico|Bitmaps (*.bmp)|*.bmp|"
    "JPEG pictures (*.jpg;*.jpeg)|*.jpg;*.jpeg|Icons (*.ico)|*.ico";

namespace {

// Large enough for a long multi-selection.
constexpr DWORD kFileBufferChars = 32 * 1024;

struct OptionFlag {
    TOpenOptions option;
    DWORD flag;
};

const OptionFlag kOptionFlags[] = {
    {ofReadOnly, OFN_READONLY},
    {ofOverwritePrompt, OFN_OVERWRITEPROMPT},
    {ofHideReadOnly, OFN_HIDEREADONLY},
    {ofNoChangeDir, OFN_NOCHANGEDIR},
    {ofShowHelp, OFN_SHOWHELP},
    {ofNoValidate, OFN_NOVALIDATE},
    {ofAllowMultiSelect, OFN_ALLOWMULTISELECT},
    {ofExtensionDifferent, OFN_EXTENSIONDIFFERENT},
    {ofPathMustExist, OFN_PATHMUSTEXIST},
    {ofFileMustExist, OFN_FILEMUSTEXIST},
    {ofCreatePrompt, OFN_CREATEPROMPT},
    {ofShareAware, OFN_SHAREAWARE},
    {ofNoReadOnlyReturn, OFN_NOREADONLYRETURN},
    {ofNoTestFileCreate, OFN_NOTESTFILECREATE},
    {ofNoNetworkButton, OFN_NONETWORKBUTTON},
    {ofNoLongNames, OFN_NOLONGNAMES},
    {ofNoDereferenceLinks, OFN_NODEREFERENCELINKS},
    {ofEnableIncludeNotify, OFN_ENABLEINCLUDENOTIFY},
    {ofEnableSizing, OFN_ENABLESIZING},
};

HWND DefaultOwner()
{
    HWND active = GetActiveWindow();
    if (active && GetWindowThreadProcessId(active, nullptr) == GetCurrentThreadId())
        return active;
    return Application().Handle();
}

}  // namespace

DWORD TOpenDialog::OptionFlags(TOpenOptions options)
{
    DWORD flags = (options & ofOldStyleDialog) ? 0 : OFN_EXPLORER;
    for (const OptionFlag& f : kOptionFlags)
        if (options & f.option)
            flags |= f.flag;
    return flags;
}

std::wstring TOpenDialog::SystemFilter(const std::string& filter)
{
    std::wstring w = Utf8ToWide(filter);
    for (wchar_t& c : w)
        if (c == L'|')
            c = L'\0';
    w.push_back(L'\0');
    w.push_back(L'\0');
    return w;
}

std::vector<std::string> TOpenDialog::SplitFileList(const wchar_t* buffer, bool explorer)
{
    std::vector<std::string> files;
    if (!buffer || !*buffer)
        return files;
    std::vector<std::wstring> parts;
    if (explorer) {
        for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1)
            parts.emplace_back(p);
    } else {
        // Old style: the folder and the names separated by blanks.
        std::wstring all = buffer;
        size_t start = 0;
        while (start <= all.size()) {
            size_t blank = all.find(L' ', start);
            std::wstring part = all.substr(start, blank == std::wstring::npos ? std::wstring::npos : blank - start);
            if (!part.empty())
                parts.push_back(part);
            if (blank == std::wstring::npos)
                break;
            start = blank + 1;
        }
    }
    if (parts.size() == 1) {
        files.push_back(WideToUtf8(parts[0]));
        return files;
    }
    std::wstring dir = parts[0];
    if (!dir.empty() && dir.back() != L'\\')
        dir.push_back(L'\\');
    for (size_t i = 1; i < parts.size(); ++i)
        files.push_back(WideToUtf8(dir + parts[i]));
    return files;
}

bool TOpenDialog::Execute(HWND owner)
{
    std::wstring filter = SystemFilter(Filter);
    std::wstring initialDir = Utf8ToWide(InitialDir);
    std::wstring defaultExt = Utf8ToWide(DefaultExt);
    std::wstring title = Utf8ToWide(Title);
    std::vector<wchar_t> buffer(kFileBufferChars, L'\0');
    std::wstring name = Utf8ToWide(FileName);
    if (name.size() < buffer.size())
        std::copy(name.begin(), name.end(), buffer.begin());

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner ? owner : DefaultOwner();
    ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(FilterIndex > 0 ? FilterIndex : 0);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    ofn.Flags = OptionFlags(Options);

    std::weak_ptr<void> alive = AliveToken();
    Application().BeginNestedLoop();
    BOOL ok = RunDialog(ofn);
    DWORD error = ok ? 0 : CommDlgExtendedError();
    if (!ok && error == FNERR_INVALIDFILENAME) {
        // The name given first was refused: open without it.
        buffer.assign(buffer.size(), L'\0');
        ok = RunDialog(ofn);
        error = ok ? 0 : CommDlgExtendedError();
    }
    Application().EndNestedLoop();
    if (alive.expired())
        return false;
    if (!ok) {
        if (error != 0)
            throw Exception("The file dialog failed (error " + IntToHex(error, 4) + ")");
        return false;
    }
    Files = SplitFileList(buffer.data(), (ofn.Flags & OFN_EXPLORER) != 0);
    FileName = Files.empty() ? std::string() : Files[0];
    FilterIndex = static_cast<int>(ofn.nFilterIndex);
    if (ofn.Flags & OFN_READONLY)
        Options |= ofReadOnly;
    else
        Options &= ~static_cast<TOpenOptions>(ofReadOnly);
    if (ofn.Flags & OFN_EXTENSIONDIFFERENT)
        Options |= ofExtensionDifferent;
    else
        Options &= ~static_cast<TOpenOptions>(ofExtensionDifferent);
    return true;
}

BOOL TOpenDialog::RunDialog(OPENFILENAMEW& ofn) { return GetOpenFileNameW(&ofn); }

BOOL TSaveDialog::RunDialog(OPENFILENAMEW& ofn) { return GetSaveFileNameW(&ofn); }

TOpenPictureDialog::TOpenPictureDialog(TComponent* owner) : TOpenDialog(owner) { Filter = kPictureFilter; }

TSavePictureDialog::TSavePictureDialog(TComponent* owner) : TSaveDialog(owner) { Filter = kPictureFilter; }
