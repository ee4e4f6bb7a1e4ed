// ApplySettings: brings the settings lists into effect on the model. It runs at start-up, after
// every reload of the database and after every settings change: database and program version,
// the status figures, the start-with-Windows box (from the Run value), the timers of the
// home-page protector and of automatic scanning, and the scan mode. The settings check boxes
// show the lines themselves, so they need only a redraw.
#pragma once

#include <functional>

#include "core/ports/event_log.h"
#include "core/ports/logon_task.h"
#include "core/ports/system.h"
#include "core/ports/ui.h"
#include "core/settings/registry_access.h"
#include "core/state/app_state.h"

namespace pellora {

inline constexpr const char* kRunKeyPath = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "Pellora";
inline constexpr const char* kAutoScanOffText = " Active Spyware Protection is OFF";

// The Run value's data for an executable: its path in double quotes.
std::string RunValueFor(const std::string& executablePath);

class SettingsApplier {
  public:
    SettingsApplier(AppState& state, RegistryAccess& registry, SystemPort& system, UiPort& ui)
        : state_(state), registry_(registry), system_(system), ui_(ui) {}

    // Refreshes the status panel's figures (wired by the composer).
    std::function<void()> StatusInfoDisplay;
    // Sets the auto-scan countdown to zero (wired by the composer).
    std::function<void()> resetAutoScanCountdown;
    // The logon task the start-with-Windows box keeps beside the Run value (set by the composer);
    // without one the box is the Run value alone.
    LogonTaskPort* logonTask = nullptr;
    // Where protection switched on or off is reported (set by the composer).
    EventLogPort* events = nullptr;

    void ApplySettings();
    // The start-with-Windows box set to `checked`; like a click when that changes its state:
    // checked writes the Run value with this executable's path (quoted), unchecked deletes it; the
    // logon task follows. The box then shows whether either is there.
    void SetStartWithWindows(bool checked);

  private:
    bool StartsWithWindows();

    void ResetCountdown();
    void ReportSwitch(bool was, bool is, const char* protection);

    AppState& state_;
    RegistryAccess& registry_;
    SystemPort& system_;
    UiPort& ui_;
    bool applied_ = false;
};

}  // namespace pellora
