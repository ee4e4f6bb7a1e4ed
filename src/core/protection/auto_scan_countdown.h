// The auto-scan countdown (tmrTimer): while "Active Spyware Protection" is on, one step per
// second counts the elapsed seconds and minutes, shows the time left in lblNextAutoScanIn and,
// when the elapsed minutes reach the interval of Settings line 8, starts an unattended scan,
// or skips this period when another operation holds the busy flag. An interval of 0 switches
// the protection off and saves the settings.
//
// Seconds are counted from the monotonic clock, not from timer events or the wall clock: a tick
// that comes late (a busy event loop, a modal dialog) makes up the seconds it missed, so the
// countdown keeps time with the clock, and a change of the wall clock (daylight saving, a
// manual change) neither starts a burst of scans nor stops the countdown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ports/clock.h"
#include "core/ports/event_log.h"
#include "core/ports/ui.h"
#include "core/state/app_state.h"

namespace pellora {

// Settings.stg lines of the protection.
inline constexpr size_t kAutoScanOnLine = 4;
inline constexpr size_t kAutoScanIntervalLine = 8;
inline constexpr int64_t kDefaultAutoScanInterval = 30;

// Minutes between automatic scans: line 8 as a whole number; any other text counts as the
// default 30.
int64_t AutoScanInterval(const std::vector<std::string>& settings);
// " Next Auto Scan in N minutes and M seconds" for the elapsed minutes and seconds.
std::string NextAutoScanText(int64_t interval, int64_t minutes, int64_t seconds);

class AutoScanCountdown {
  public:
    struct Hooks {
        // ShowScanProc: the scan panel, shown before an automatic scan.
        std::function<void()> showScanProc;
        // StartScan for the automatic scan (the automatic-scan flag is already set).
        std::function<void()> startScan;
        // Writes Settings.stg after the protection switched itself off.
        std::function<void()> saveSettings;
        // True while a scan or removal run is under way further out (this event came in one of
        // its yields). Such a run may have cleared the busy flag already (an aborted scan
        // finishing its report, a removal run finishing up); an automatic scan started there
        // would be refused or would leave that run's rows to be removed without a question.
        std::function<bool()> runUnderWay;
    };

    AutoScanCountdown(AppState& state, ClockPort& clock, UiPort& ui) : state_(state), clock_(clock), ui_(ui) {}

    Hooks hooks;
    // Where the countdown switching itself off is reported (set by the composer).
    EventLogPort* events = nullptr;

    // Elapsed time to zero, counting from now (the protection was switched on).
    void Reset();
    // The timer's event (every 987 ms while state.autoScanTimerEnabled): one step for every
    // clock second since the last one. It may run again inside the scan it starts (the
    // window's timer keeps firing in the scan's yields), and the countdown goes on there.
    void tmrTimer_Timer();

    int64_t seconds() const { return seconds_; }  // txtSeconds
    int64_t minutes() const { return minutes_; }  // txtMinutes

  private:
    // One clock second: false when the protection switched itself off.
    bool Step();
    // The elapsed minutes reached the interval.
    void IntervalReached();

    AppState& state_;
    ClockPort& clock_;
    UiPort& ui_;
    int64_t seconds_ = 0;
    int64_t minutes_ = 0;
    uint64_t startMs_ = 0;    // monotonic time the current count started
    uint64_t stepsDone_ = 0;  // seconds counted since startMs_
};

}  // namespace pellora
