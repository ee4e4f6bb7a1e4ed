// The auto-scan countdown with a clock the test moves: the label at every second, the scan at
// the interval, the switch-off at interval 0, a period skipped while busy, garbled intervals,
// and time kept against the monotonic clock whatever the wall clock and the timer events do.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/protection/auto_scan_countdown.h"
#include "core/settings/apply_settings.h"
#include "fakes/fake_platform.h"
#include "unit/protection/manual_clock.h"

namespace pellora {
namespace {

using Lines = std::vector<std::string>;
constexpr uint64_t kTimerMs = 987;

class CountdownTest : public ::testing::Test {
  protected:
    CountdownTest() {
        state.lstSettingsFile = {"0", "0", "0", "1", "1", "0", "about:blank", "Microsoft Internet Explorer",
                                 "1", "0", "10"};
        state.autoScanTimerEnabled = true;
        countdown.hooks.showScanProc = [this] { events.push_back("show scan panel"); };
        countdown.hooks.startScan = [this] {
            events.push_back(state.automaticScan ? "automatic scan" : "scan without the flag");
            scanStartsMs.push_back(clock.ms - startMs);
            if (onScan)
                onScan();
        };
        countdown.hooks.saveSettings = [this] { events.push_back("save settings"); };
        countdown.Reset();
        startMs = clock.ms;
    }
    void SetInterval(const std::string& interval) { state.lstSettingsFile[8] = interval; }
    // The window's timer: an event every 987 ms, the last one at or after `ms` from now.
    void RunTimer(uint64_t ms) { RunTimerUntil(clock.ms - startMs + ms); }
    // The same, until `ms` after the countdown started.
    void RunTimerUntil(uint64_t ms) {
        while (clock.ms - startMs < ms) {
            clock.ms += kTimerMs;
            countdown.tmrTimer_Timer();
        }
    }
    // One event per second, the label after each.
    Lines Seconds(int count) {
        Lines labels;
        for (int i = 0; i < count; ++i) {
            clock.ms += 1000;
            countdown.tmrTimer_Timer();
            labels.push_back(state.status.nextAutoScanIn);
        }
        return labels;
    }

    fakes::FakeUi ui;
    fakes::ManualClock clock;
    AppState state;
    AutoScanCountdown countdown{state, clock, ui};
    Lines events;
    std::vector<uint64_t> scanStartsMs;
    std::function<void()> onScan;
    uint64_t startMs = 0;
};

TEST_F(CountdownTest, LabelCountsDownAndShowsSixtySecondsOnceAtEachMinute) {
    SetInterval("3");
    Lines labels = Seconds(181);
    EXPECT_EQ(labels[0], " Next Auto Scan in 2 minutes and 59 seconds");
    EXPECT_EQ(labels[58], " Next Auto Scan in 2 minutes and 1 seconds");
    EXPECT_EQ(labels[59], " Next Auto Scan in 1 minutes and 60 seconds");
    EXPECT_EQ(labels[60], " Next Auto Scan in 1 minutes and 59 seconds");
    EXPECT_EQ(labels[119], " Next Auto Scan in 0 minutes and 60 seconds");
    EXPECT_EQ(labels[178], " Next Auto Scan in 0 minutes and 1 seconds");
    // The interval is reached: the count starts again from zero.
    EXPECT_EQ(labels[179], " Next Auto Scan in 2 minutes and 60 seconds");
    EXPECT_EQ(labels[180], " Next Auto Scan in 2 minutes and 59 seconds");
    EXPECT_EQ(
        std::count_if(labels.begin(), labels.end(), [](const std::string& l) { return l.ends_with(" 60 seconds"); }),
        3);
    EXPECT_EQ(events, (Lines{"show scan panel", "automatic scan"}));
}

TEST_F(CountdownTest, IntervalOneStartsTheAutomaticScanAtTheSixtiethSecond) {
    Lines labels = Seconds(59);
    EXPECT_EQ(labels.front(), " Next Auto Scan in 0 minutes and 59 seconds");
    EXPECT_TRUE(events.empty());
    Seconds(1);
    EXPECT_EQ(events, (Lines{"show scan panel", "automatic scan"}));
    EXPECT_TRUE(state.automaticScan);
    EXPECT_EQ(countdown.minutes(), 0);
    EXPECT_EQ(countdown.seconds(), 0);
}

TEST_F(CountdownTest, NoAutomaticScanWhileOthersMayChangeTheApplicationFolder) {
    state.unsafeFolderText = "Everyone may change C:\\Pellora, ...";
    RunTimer(180000);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(state.automaticScan);
    state.unsafeFolderText.clear();
    RunTimer(60000);
    EXPECT_EQ(events, (Lines{"show scan panel", "automatic scan"}));
}

TEST_F(CountdownTest, IntervalZeroSwitchesTheProtectionOffAtTheNextSecondAndSavesIt) {
    SetInterval("0");
    RunTimer(900);
    EXPECT_TRUE(events.empty());
    RunTimer(1000);
    EXPECT_FALSE(state.autoScanTimerEnabled);
    EXPECT_EQ(state.lstSettingsFile[4], "0");
    EXPECT_EQ(events, (Lines{"save settings"}));
    EXPECT_EQ(state.status.nextAutoScanIn, kAutoScanOffText);
    // The timer is off: later events do nothing.
    RunTimer(120000);
    EXPECT_EQ(events, (Lines{"save settings"}));
}

TEST_F(CountdownTest, BusyFlagOrARunUnderWaySkipsThePeriodAndTheCountStartsAgain) {
    bool runUnderWay = false;
    countdown.hooks.runUnderWay = [&] { return runUnderWay; };
    state.busy = true;
    RunTimer(60000);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(countdown.minutes(), 0);
    // An aborted scan still writing its report: the flag is clear, the run is not over.
    state.busy = false;
    runUnderWay = true;
    RunTimer(60000);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(state.automaticScan);
    runUnderWay = false;
    RunTimer(59000);
    EXPECT_TRUE(events.empty());
    RunTimer(1000);
    ASSERT_EQ(scanStartsMs.size(), 1u);
    EXPECT_GE(scanStartsMs[0], 180000u);
    EXPECT_LT(scanStartsMs[0], 180000u + kTimerMs);
}

TEST_F(CountdownTest, AnIntervalThatIsNoWholeNumberCountsAsThirtyMinutes) {
    const std::pair<const char*, int64_t> cases[] = {
        {"abc", 30}, {"", 30}, {"1.5", 30}, {"-1", 30}, {"7x", 30}, {"99999999999999999999", 30},
        {" 2 ", 2},  {"0", 0}, {"45", 45},
    };
    for (const auto& [text, minutes] : cases) {
        SetInterval(text);
        EXPECT_EQ(AutoScanInterval(state.lstSettingsFile), minutes) << text;
    }
    SetInterval("every hour");
    Lines labels = Seconds(60);
    EXPECT_EQ(labels.front(), " Next Auto Scan in 29 minutes and 59 seconds");
    EXPECT_EQ(labels.back(), " Next Auto Scan in 28 minutes and 60 seconds");
    EXPECT_TRUE(state.autoScanTimerEnabled);
}

TEST_F(CountdownTest, AnIntervalLoweredBelowTheElapsedMinutesIsReachedAtTheNextMinute) {
    SetInterval("30");
    RunTimer(5 * 60000);
    SetInterval("2");
    RunTimer(60000);
    EXPECT_EQ(events, (Lines{"show scan panel", "automatic scan"}));
}

TEST_F(CountdownTest, KeepsTimeWithTheMonotonicClockOverAnHourWhateverTheWallClockDoes) {
    // Each scan takes 20 s, with the timer going on inside it as the window's does.
    onScan = [this] {
        state.busy = true;
        RunTimer(20000);
        state.busy = false;
    };
    for (int minute = 0; minute < 60; ++minute) {
        // Daylight saving and manual changes move the wall clock back and forth.
        clock.wall.hour = minute % 2 ? 3 : 2;
        clock.wall.minute = (minute * 37) % 60;
        RunTimerUntil((minute + 1) * 60000);
    }
    ASSERT_EQ(scanStartsMs.size(), 60u);
    for (size_t i = 0; i < scanStartsMs.size(); ++i) {
        // Each start comes at the first timer event after its whole minute.
        EXPECT_GE(scanStartsMs[i], (i + 1) * 60000) << i;
        EXPECT_LT(scanStartsMs[i], (i + 1) * 60000 + kTimerMs) << i;
    }
}

TEST_F(CountdownTest, LateTimerEventsCatchUpWithoutABurstOfScans) {
    // Ten minutes without an event (the loop held up): one scan, not ten.
    clock.ms += 10 * 60000;
    countdown.tmrTimer_Timer();
    EXPECT_EQ(scanStartsMs.size(), 1u);
    // The next period counts from that scan.
    const uint64_t first = scanStartsMs[0];
    RunTimer(60000 + kTimerMs);
    ASSERT_EQ(scanStartsMs.size(), 2u);
    EXPECT_GE(scanStartsMs[1] - first, 60000u);
    EXPECT_LT(scanStartsMs[1] - first, 60000u + kTimerMs);
    // A few seconds late: the seconds missed are made up at once.
    const int64_t seconds = countdown.seconds();
    clock.ms += 4000;
    countdown.tmrTimer_Timer();
    EXPECT_EQ(countdown.seconds(), seconds + 4);
}

}  // namespace
}  // namespace pellora
