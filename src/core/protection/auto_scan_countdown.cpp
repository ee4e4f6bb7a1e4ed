#include "core/protection/auto_scan_countdown.h"

#include "core/settings/apply_settings.h"
#include "core/util/text.h"

namespace pellora {

namespace {
constexpr uint64_t kSecondMs = 1000;
}  // namespace

int64_t AutoScanInterval(const std::vector<std::string>& settings) {
    int64_t interval = 0;
    // The line is edited as free text; a count compared with a garbled number would never reach
    // it and the protection would be on in name only.
    if (!ParseWholeNumber(Line(settings, kAutoScanIntervalLine), interval))
        return kDefaultAutoScanInterval;
    return interval;
}

std::string NextAutoScanText(int64_t interval, int64_t minutes, int64_t seconds) {
    return " Next Auto Scan in " + std::to_string(interval - minutes - 1) + " minutes and " +
           std::to_string(60 - seconds) + " seconds";
}

void AutoScanCountdown::Reset() {
    seconds_ = 0;
    minutes_ = 0;
    startMs_ = clock_.MonotonicMs();
    stepsDone_ = 0;
}

void AutoScanCountdown::tmrTimer_Timer() {
    // Members are read afresh on every round: a step may run a scan, and the ticks inside it
    // move the count on before this loop sees it again.
    while (state_.autoScanTimerEnabled) {
        const uint64_t now = clock_.MonotonicMs();
        if (now < startMs_)
            startMs_ = now;
        if ((now - startMs_) / kSecondMs <= stepsDone_)
            return;
        ++stepsDone_;
        if (!Step())
            return;
    }
}

bool AutoScanCountdown::Step() {
    auto& settings = state_.lstSettingsFile;
    const int64_t interval = AutoScanInterval(settings);
    if (interval == 0) {
        state_.autoScanTimerEnabled = false;
        SetLine(settings, kAutoScanOnLine, "0");
        ReportEvent(events, event_id::kProtectionOff, EventLevel::Warning, {"automatic scan"});
        // The panel must not go on announcing a scan that will not come.
        state_.status.nextAutoScanIn = kAutoScanOffText;
        if (hooks.saveSettings)
            hooks.saveSettings();
        ui_.Changed(View::Settings);
        ui_.Changed(View::StatusFigures);
        ui_.Yield();
        return false;
    }
    if (++seconds_ > 59) {
        ++minutes_;
        seconds_ = 0;
        // At or past the interval: an interval lowered below the elapsed minutes is reached at
        // once rather than never.
        if (minutes_ >= interval)
            IntervalReached();
    }
    state_.status.nextAutoScanIn = NextAutoScanText(interval, minutes_, seconds_);
    ui_.Changed(View::StatusFigures);
    return true;
}

void AutoScanCountdown::IntervalReached() {
    seconds_ = 0;
    minutes_ = 0;
    // The next period starts at the second this one ended, so periods do not drift. A tick far
    // behind (the event loop was held up for more than a second) starts it now instead: the
    // seconds it missed must not add up to a second scan at once.
    startMs_ += stepsDone_ * kSecondMs;
    stepsDone_ = 0;
    const uint64_t now = clock_.MonotonicMs();
    if (now < startMs_ || now - startMs_ >= kSecondMs)
        startMs_ = now;
    if (state_.busy || (hooks.runUnderWay && hooks.runUnderWay()))
        return;
    // It would run, and remove, with what others may have put in the application folder.
    if (!state_.unsafeFolderText.empty())
        return;
    if (hooks.showScanProc)
        hooks.showScanProc();
    state_.automaticScan = true;
    if (hooks.startScan)
        hooks.startScan();
}

}  // namespace pellora
