#include "MainDMTestSupport.h"

#include <gtest/gtest.h>

#include "Classes/FahSettings.h"
#include "platform/Registry.h"
#include "platform/SystemPrograms.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"

namespace maindm_test {

void SetSetting(const char* name, const TAppVariant& value)
{
    TAppVal& v = GetFahSettings().FindValue(name);
    v.StoredValue = v.EditedValue = VarAsKind(value, v.Kind());
}

void SetRegString(HKEY root, const std::string& key, const std::string& value)
{
    HKEY k = nullptr;
    RegCreateKeyExW(root, Utf8ToWide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    std::wstring w = Utf8ToWide(value);
    RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                   static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
}

std::string BesideExe(const std::string& name)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string p = WideToUtf8(self);
    return p.substr(0, p.find_last_of('\\') + 1) + name;
}

namespace {
BOOL CALLBACK CollectStatic(HWND child, LPARAM param)
{
    wchar_t cls[16] = {};
    GetClassNameW(child, cls, 16);
    std::string text = testing_support::WindowText(child);
    if (lstrcmpiW(cls, L"Static") == 0 && !text.empty())
        *reinterpret_cast<std::string*>(param) += Trim(text);
    return TRUE;
}
}  // namespace

std::string AnswerBox(const std::function<void()>& f, int button)
{
    std::string text;
    testing_support::DialogDriver driver([&](HWND box) {
        EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
        testing_support::PressDialogButton(box, button);
    });
    f();
    return text;
}

std::string AnswerBoxButtons(const std::function<void()>& f, int button)
{
    std::string captions;
    testing_support::DialogDriver driver([&](HWND box) {
        for (int id : {IDYES, IDNO, IDCANCEL})
            captions += testing_support::WindowText(GetDlgItem(box, id)) + "|";
        testing_support::PressDialogButton(box, button);
    });
    f();
    return captions;
}

std::string Join(const std::vector<std::string>& lines, const char* sep)
{
    std::string out;
    for (const std::string& line : lines)
        out += (out.empty() ? "" : sep) + line;
    return out;
}

std::string LocalComputer()
{
    wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(buf, &size);
    return LowerCase(WideToUtf8(buf));
}

std::string ComputerOfPath(const std::string& path)
{
    return path.rfind("\\\\", 0) == 0 ? path.substr(2, path.find('\\', 2) - 2) : LocalComputer();
}

namespace {
// Every test reads and writes its settings under a test key, and finds the
// system's programs (the stand-in sc.exe) in system\ beside this executable.
const char kKey[] = "Software\\Zembrik\\BrenixTest\\MainDM\\";
class SettingsIsolation : public ::testing::Environment {
public:
    void SetUp() override
    {
        TRegistry().DeleteKey(kKey);
        SetFahSettingsPathForTesting(kKey);
        SetSystemProgramFolderForTesting(BesideExe("system\\"));
    }
    void TearDown() override
    {
        SetSystemProgramFolderForTesting("");
        SetFahSettingsPathForTesting("");
        TRegistry().DeleteKey(kKey);
    }
};
const auto* const g_isolation = ::testing::AddGlobalTestEnvironment(new SettingsIsolation);
}  // namespace

}  // namespace maindm_test
