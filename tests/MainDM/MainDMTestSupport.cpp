#include "MainDMTestSupport.h"

#include <gtest/gtest.h>

#include "Classes/FahSettings.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"

namespace maindm_test {

void SetSetting(const char* name, const TAppVariant& value)
{
    TAppVal& v = GetFahSettings().FindValue(name);
    v.StoredValue = VarAsKind(value, v.Kind());
    v.EditedValue = v.StoredValue;
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
    if (lstrcmpiW(cls, L"Static") == 0) {
        std::string text = testing_support::WindowText(child);
        auto& out = *reinterpret_cast<std::string*>(param);
        if (!text.empty())
            out += (out.empty() ? "" : "\n") + text;
    }
    return TRUE;
}
}  // namespace

std::string DialogText(HWND dialog)
{
    std::string text;
    EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&text));
    return text;
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
    if (path.rfind("\\\\", 0) == 0)
        return path.substr(2, path.find('\\', 2) - 2);
    return LocalComputer();
}

namespace {
// Every test reads and writes its settings under a test key.
const char kKey[] = "Software\\Zembrik\\BrenixTest\\MainDM\\";
class SettingsIsolation : public ::testing::Environment {
public:
    void SetUp() override
    {
        TRegistry().DeleteKey(kKey);
        SetFahSettingsPathForTesting(kKey);
    }
    void TearDown() override
    {
        SetFahSettingsPathForTesting("");
        TRegistry().DeleteKey(kKey);
    }
};
const auto* const g_isolation = ::testing::AddGlobalTestEnvironment(new SettingsIsolation);
}  // namespace

}  // namespace maindm_test
