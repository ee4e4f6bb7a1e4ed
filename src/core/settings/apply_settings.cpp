#include "core/settings/apply_settings.h"

#include "core/util/text.h"

namespace pellora {

std::string RunValueFor(const std::string& executablePath) {
    // Windows splits an unquoted command line at the first blank it can: "C:\Program
    // Files\Pellora\Pellora.exe" would start C:\Program.exe, if someone put one there.
    return "\"" + executablePath + "\"";
}

void SettingsApplier::SetStartWithWindows(bool checked) {
    if (checked == state_.startWithWindows)
        return;
    state_.startWithWindows = checked;
    if (checked) {
        registry_.SetStringValue(kRunKeyPath, kRunValueName, RunValueFor(system_.ExecutablePath()));
    } else {
        registry_.DeleteValue(kRunKeyPath, kRunValueName);
    }
    // The Run key does not start a program that needs elevation; the task does. A failure shows
    // in the box below.
    if (logonTask) {
        // A task with the highest rights must not start a program that others may replace.
        if (checked && !state_.unsafeFolderText.empty()) {
            state_.lstLog.push_back("Logon task not registered: " + state_.unsafeFolderText);
            ui_.Changed(View::Log);
        } else if (checked) {
            (void)logonTask->Register(system_.ExecutablePath());
        } else {
            logonTask->Remove();
        }
    }
    // The key is the machine's: without the rights to change it the click changes nothing, and
    // the box must show what is really there rather than what was asked for.
    state_.startWithWindows = StartsWithWindows();
    ui_.Changed(View::Settings);
}

bool SettingsApplier::StartsWithWindows() {
    const std::string run = registry_.GetStringValue(kRunKeyPath, kRunValueName);
    return !(run.empty() || run == kRegError) || (logonTask && logonTask->Exists());
}

void SettingsApplier::ResetCountdown() {
    if (resetAutoScanCountdown)
        resetAutoScanCountdown();
}

void SettingsApplier::ApplySettings() {
    const auto& settings = state_.lstSettingsFile;

    if (!state_.lstDBaseFile.empty())
        state_.status.dbaseVersion = state_.lstDBaseFile.front();
    if (StatusInfoDisplay)
        StatusInfoDisplay();
    state_.status.appVersion = system_.ProgramVersion();

    // The box starts unchecked, so the first call after start writes an existing Run value (and
    // task) again: a program folder that moved is thereby followed.
    SetStartWithWindows(StartsWithWindows());

    const bool homePageWas = state_.homePageTimerEnabled;
    const bool autoScanWas = state_.autoScanTimerEnabled;
    state_.homePageTimerEnabled = Line(settings, 2) == "1";

    int64_t mode = 0;
    if (ParseWholeNumber(Line(settings, 9), mode) && mode <= 2)
        state_.scanMode = static_cast<int>(mode);

    if (Line(settings, 4) == "1") {
        if (!state_.autoScanTimerEnabled)
            ResetCountdown();
        state_.autoScanTimerEnabled = true;
    } else {
        ResetCountdown();
        state_.autoScanTimerEnabled = false;
        state_.status.nextAutoScanIn = kAutoScanOffText;
    }

    // The first call sets what the settings file says; only later changes are switches.
    if (applied_) {
        ReportSwitch(homePageWas, state_.homePageTimerEnabled, "home page protection");
        ReportSwitch(autoScanWas, state_.autoScanTimerEnabled, "automatic scan");
    }
    applied_ = true;

    ui_.Changed(View::StatusFigures);
    ui_.Changed(View::Settings);
}

void SettingsApplier::ReportSwitch(bool was, bool is, const char* protection) {
    if (was != is)
        ReportEvent(events, is ? event_id::kProtectionOn : event_id::kProtectionOff,
                    is ? EventLevel::Information : EventLevel::Warning, {protection});
}

}  // namespace pellora
