// Every test of this executable reads and writes its settings under a test
// key, so a language choice stored by the program (or another test run) in
// the same Wine prefix can't change what these tests see.
#include <gtest/gtest.h>

#include "Classes/FahSettings.h"
#include "platform/Registry.h"

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\ProjDb\\";

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
