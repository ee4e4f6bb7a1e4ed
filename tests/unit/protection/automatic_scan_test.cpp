// The whole program (App) on fakes: the countdown reaches its interval, the automatic scan runs
// over a database with malformed items and removes what it found without showing anything,
// and the protection that switches itself off is saved.
#include <gtest/gtest.h>

#include "core/app/app.h"
#include "fakes/fake_platform.h"
#include "unit/protection/manual_clock.h"

namespace pellora {
namespace {

using Lines = std::vector<std::string>;
const std::string kApp = "C:\\Pellora";

class AutomaticScanTest : public ::testing::Test {
  protected:
    AutomaticScanTest() {
        fake.files.AddFolder(kApp + "\\Settings");
        fake.files.AddFolder(kApp + "\\Quarantine");
        fake.files.AddFile("C:\\Bad\\evil.dat", "MZ");
        AppState& state = app.state();
        //                      0    1    2    3    4    5    6              7        8    9    10
        state.lstSettingsFile = {"0", "0", "1", "1", "1", "0", "about:blank", "Title", "1", "0", "10"};
        state.lstCustomScanSettings = {"0", "1", "1", "0", "0", "0", "1"};
        state.lstScanInfoFile = {"{never}", "0", "0"};
        state.lstDBaseFile = {
            "Test database 1",
            "path|C:\\Bad\\evil.dat|Adware.Evil|",
            "regval|HKCU_BROKEN\\Software\\Run,Evil|Adware.Evil|",
            "regkey|Software\\NoRoot\\Evil|Adware.Evil|",
            "regval|HKEY_CURRENT_USER\\Software\\Trailing\\,Evil|Adware.Evil|",
        };
    }
    void RunTimer(uint64_t ms) {
        for (uint64_t end = clock.ms + ms; clock.ms < end;) {
            clock.ms += 987;
            app.autoScanCountdown().tmrTimer_Timer();
        }
    }
    Lines LogFile() {
        Lines lines;
        std::string content = fake.files.Content(kApp + "\\DavEre.roz");
        for (size_t start = 0, end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(content.substr(start, end - start));
        return lines;
    }
    bool Logged(const std::string& line) {
        Lines lines = LogFile();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    fakes::FakePlatform fake;
    fakes::ManualClock clock;
    Ports ports{fake.registry, fake.files, fake.processes, fake.shell, clock,
                fake.system,   fake.ui,    nullptr,        nullptr,    &fake.events};
    App app{ports};
};

TEST_F(AutomaticScanTest, RemovesWhatItFindsAndLogsWhatWouldHaveStoppedIt) {
    // Nothing reaches the screen, the removal run's home-page question (protector off) neither:
    // it is logged and answered No.
    for (const char* protector : {"1", "0"}) {
        SCOPED_TRACE(protector);
        fake.ui.messages.clear();
        fake.files.AddFile("C:\\Bad\\evil.dat", "MZ");
        fake.files.AddFile(kApp + "\\DavEre.roz", "");
        app.state().lstSettingsFile[2] = protector;
        app.state().autoScanTimerEnabled = false;
        app.settingsApplier().ApplySettings();
        ASSERT_TRUE(app.state().autoScanTimerEnabled);

        RunTimer(59000);
        EXPECT_FALSE(Logged("File deleted=C:\\Bad\\evil.dat"));
        RunTimer(1000);

        EXPECT_FALSE(fake.files.Exists("C:\\Bad\\evil.dat"));
        EXPECT_TRUE(Logged("File deleted=C:\\Bad\\evil.dat"));
        EXPECT_TRUE(Logged("Automatic scan, message not shown: Incorrect Format: HKCU_BROKEN\\Software\\Run"));
        EXPECT_TRUE(Logged("Automatic scan, message not shown: Incorrect Format: Software\\NoRoot"));
        EXPECT_TRUE(
            Logged("Automatic scan, message not shown: Incorrect Format: HKEY_CURRENT_USER\\Software\\Trailing\\"));
        Lines titles;
        for (const auto& shown : fake.ui.messages)
            titles.push_back(shown.title);
        EXPECT_EQ(titles, Lines{});
        EXPECT_EQ(Logged("Automatic scan, message not shown: Do you want to reset your browser homepage settings in "
                         "case it was changed by a spyware?"),
                  std::string(protector) == "0");
        EXPECT_FALSE(app.state().busy);
        EXPECT_EQ(app.state().panel, Panel::Status);
        EXPECT_FALSE(app.unattendedUi().unattended());
    }

    // A click served inside the automatic scan's yields is the user's: its message is shown.
    fake.files.AddFile("C:\\Bad\\evil.dat", "MZ");
    app.state().lstSettingsFile[2] = "1";
    fake.ui.messages.clear();
    fake.ui.onYield = [this] {
        if (app.state().busy && fake.ui.messages.empty())
            app.navigation().lblCmdHelp_Click();
    };
    RunTimer(60000);
    fake.ui.onYield = nullptr;
    EXPECT_FALSE(fake.files.Exists("C:\\Bad\\evil.dat"));
    ASSERT_EQ(fake.ui.messages.size(), 1u);
    EXPECT_EQ(fake.ui.messages[0].text, kHelpMissingText);

    // The user's own scan over the same database still shows the messages.
    fake.ui.messages.clear();
    app.state().automaticScan = false;
    app.scanner().StartScan();
    EXPECT_EQ(fake.ui.messages.size(), 3u);
}

TEST_F(AutomaticScanTest, AutomaticEraseQuarantinesThroughTheShellWithoutItsDialogs) {
    AppState& state = app.state();
    state.lstSettingsFile[9] = "1";        // custom scan
    state.lstCustomScanSettings[4] = "1";  // automatically erase, quarantine first
    state.lstCustomScanSettings[1] = "1";  // active processes: "path" items are tested
    app.settingsApplier().ApplySettings();
    RunTimer(60000);
    EXPECT_FALSE(fake.files.Exists("C:\\Bad\\evil.dat"));
    ASSERT_FALSE(fake.shell.flags.empty());
    for (uint32_t flags : fake.shell.flags)
        EXPECT_EQ(flags & shell_flags::kUnattended, shell_flags::kUnattended);

    // The user's own quarantine never lets the shell ask either: its questions are the program's.
    fake.shell.flags.clear();
    fake.files.AddFile("C:\\Bad\\evil.dat", "MZ");
    state.automaticScan = false;
    app.scanner().StartScan();
    app.ignoreList().mnuResultListAll_Click();
    fake.ui.answers.clear();
    app.quarantine().cmdQuarantineSelected();
    ASSERT_FALSE(fake.shell.flags.empty());
    EXPECT_EQ(fake.shell.flags.front() & shell_flags::kNoUi, shell_flags::kNoUi);
}

TEST_F(AutomaticScanTest, ReportsTheScanItsRemovalAndEachSwitchToTheEventLog) {
    using Event = fakes::FakeEventLog::Event;
    auto inserts = [this](uint32_t id) {
        std::vector<std::vector<std::string>> all;
        for (const Event& event : fake.events.Of(id))
            all.push_back(event.inserts);
        return all;
    };
    AppState& state = app.state();
    state.lstSettingsFile[9] = "1";        // custom scan
    state.lstCustomScanSettings[4] = "1";  // automatically erase, quarantine first
    state.lstCustomScanSettings[1] = "1";  // active processes: "path" items are tested
    state.lstDBaseFile.push_back("path|C:\\Bad\\locked.dat|Adware.Evil|");
    fake.files.AddFile("C:\\Bad\\locked.dat", "MZ");
    fake.files.Lock("C:\\Bad\\locked.dat");
    app.settingsApplier().ApplySettings();  // what the settings file says at start: no switch
    RunTimer(60000);
    ASSERT_FALSE(fake.files.Exists("C:\\Bad\\evil.dat"));

    using Lines2 = std::vector<Lines>;
    EXPECT_EQ(inserts(event_id::kScanFinished), (Lines2{{"custom", "5", "2"}}));
    EXPECT_EQ(inserts(event_id::kObjectQuarantined),
              (Lines2{{"path", "C:\\Bad\\evil.dat"}, {"path", "C:\\Bad\\locked.dat"}}));
    EXPECT_EQ(inserts(event_id::kObjectRemoved), (Lines2{{"File", "C:\\Bad\\evil.dat"}}));
    ASSERT_EQ(fake.events.Of(event_id::kObjectNotRemoved).size(), 1u);
    // A file in use is scheduled for deletion at the next start: not removed yet.
    EXPECT_EQ(fake.events.Of(event_id::kObjectNotRemoved)[0].inserts.at(1), "C:\\Bad\\locked.dat (removed at restart)");
    EXPECT_EQ(fake.events.Of(event_id::kObjectNotRemoved)[0].level, EventLevel::Warning);
    EXPECT_TRUE(inserts(event_id::kProtectionOn).empty());
    EXPECT_TRUE(inserts(event_id::kProtectionOff).empty());

    // Each protection switched in the settings is one event; applying unchanged settings is none.
    state.lstSettingsFile[2] = "0";
    app.settingsApplier().ApplySettings();
    state.lstSettingsFile[4] = "0";
    app.settingsApplier().ApplySettings();
    app.settingsApplier().ApplySettings();
    state.lstSettingsFile[2] = "1";
    app.settingsApplier().ApplySettings();
    EXPECT_EQ(inserts(event_id::kProtectionOff), (Lines2{{"home page protection"}, {"automatic scan"}}));
    EXPECT_EQ(inserts(event_id::kProtectionOn), (Lines2{{"home page protection"}}));
    EXPECT_EQ(fake.events.Of(event_id::kProtectionOff)[0].level, EventLevel::Warning);
}

TEST_F(AutomaticScanTest, IntervalZeroSwitchesOffAndSavesTheSettingsFile) {
    app.state().lstSettingsFile[8] = "0";
    app.settingsApplier().ApplySettings();
    RunTimer(1000);
    EXPECT_FALSE(app.state().autoScanTimerEnabled);
    // Switched off by itself: the event log says so as for a switch in the settings.
    ASSERT_EQ(fake.events.Of(event_id::kProtectionOff).size(), 1u);
    EXPECT_EQ(fake.events.Of(event_id::kProtectionOff)[0].inserts, std::vector<std::string>{"automatic scan"});
    EXPECT_EQ(fake.files.Content(kApp + "\\Settings\\Settings.stg"),
              "0\r\n0\r\n1\r\n1\r\n0\r\n0\r\nabout:blank\r\nTitle\r\n0\r\n0\r\n10");
    EXPECT_TRUE(fake.ui.messages.empty());
}

}  // namespace
}  // namespace pellora
