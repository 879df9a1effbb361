// The program's settings table: 58 values under HKCU "Software\Zembrik\Brenix\",
// all in "Settings\" except the main window's size and state in "Main\".
//
// Read a setting with GetFahSettings().FindValue("evAutoUpdate").AsBoolean().
#pragma once
#include <exception>
#include <functional>
#include <string>

#include "Common/AppSettings.h"
#include "Common/SiteAddresses.h"

// The registry path of the program's settings.
extern const char* const kFahSettingsPath;
// The team whose ranking pages the links show when the user set none.
constexpr int kDefaultTeamID = 50477;
// The autorun value written under HKCU "Software\Microsoft\Windows\CurrentVersion\Run".
extern const char* const kAutoRunKey;
extern const char* const kAutoRunValueName;

class TFahSettings : public TAppSettings {
public:
    explicit TFahSettings(const std::string& regPath);

    // Writes or removes the autorun value by osAutoRun, then hands the edited
    // values to OnApply (the main window pushes them into the interface there).
    void Apply() override;

    // Set by the main window; called by Apply after the autorun value.
    std::function<void(TFahSettings&)> OnApply;

private:
    void SetBounds();
};

// The one settings object, made on the first call (not loaded: the main window
// calls LoadAll when it is created).
TFahSettings& GetFahSettings();
// Frees the settings object (at program end); the next GetFahSettings makes a new one.
void FreeFahSettings();

// What a failed TAppSettings::SaveAll tells the user: a setting the registry
// refused in the current language with the system's reason; any other
// error as its message.
std::string SaveFailureText(const std::exception_ptr& e);

// The executable's path in double quotes, as written into the autorun value.
std::string AutoRunCommand();

// For tests only: the next settings object is made on this registry path
// (relative to HKCU). An empty path restores the program's own. Frees the
// current object.
void SetFahSettingsPathForTesting(const std::string& path);
