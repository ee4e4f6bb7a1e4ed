#include <gtest/gtest.h>

#include "core/scan/scan_wizard.h"
#include "scan_fixture.h"

namespace pellora {
namespace {

class Wizard : public ScanFixture {
  protected:
    ScanWizard wizard{state, scanner, p.ui};
};

TEST_F(Wizard, ModeOptionWritesSettingsLineNineAndAppliesIt) {
    int applied = 0;
    wizard.hooks.applySettings = [&] { ++applied; };
    wizard.optScanMode_Click(2);
    EXPECT_EQ(state.lstSettingsFile[9], "2");
    EXPECT_EQ(applied, 1);
}

TEST_F(Wizard, NextRunsAUsersScanAndAbortStopsItThenShowsResults) {
    Mode("0");
    p.files.AddFile("C:\\Bad\\a.exe");
    Items({"path|C:\\Bad\\a.exe|T|", "path|C:\\Bad\\a.exe|T|", "path|C:\\Bad\\a.exe|T|"});
    std::vector<Panel> shown;
    wizard.hooks.showScanProc = [&] { shown.push_back(Panel::ScanProc); };
    wizard.hooks.showScanResult = [&] { shown.push_back(Panel::ScanResult); };
    p.ui.onYield = [&] {
        if (state.lstScanResult.size() == 1 && state.abortNextCaption == "Abort")
            wizard.cmdAbortNextResults_Click();
    };
    state.automaticScan = true;
    wizard.cmdNextScan_Click();
    EXPECT_FALSE(state.automaticScan);
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.lstScanResult.size(), 1u);
    EXPECT_EQ(state.abortNextCaption, "Next");
    EXPECT_EQ(shown, std::vector<Panel>{Panel::ScanProc});

    p.ui.onYield = nullptr;
    wizard.cmdAbortNextResults_Click();
    EXPECT_EQ(shown.back(), Panel::ScanResult);
    EXPECT_EQ(state.abortNextCaption, "Abort");
}

TEST_F(Wizard, UnwiredPanelSwitchesSetThePanel) {
    state.abortNextCaption = "Next";
    wizard.cmdAbortNextResults_Click();
    EXPECT_EQ(state.panel, Panel::ScanResult);
}

TEST(ScrollBar, StepsWrapsAfterTheTrackEndAndParks) {
    fakes::FakeUi ui;
    int left = kScrollParkedLeft;
    ScrollBarStep(left, kScrollBlockWidth, kScrollTrackWidth, kScrollStep, ui);
    EXPECT_EQ(left, -1125);
    left = 3610;
    ScrollBarStep(left, kScrollBlockWidth, kScrollTrackWidth, kScrollStep, ui);
    EXPECT_EQ(left, 3735);  // at the end, not past it
    ScrollBarStep(left, kScrollBlockWidth, kScrollTrackWidth, kScrollStep, ui);
    EXPECT_EQ(left, -1325);
}

TEST_F(Wizard, TimerMovesTheBlockAndTheScanParksIt) {
    state.scrollBlockLeft = 0;
    wizard.tmrScrollingBar_Timer();
    EXPECT_EQ(state.scrollBlockLeft, 125);
    Mode("0");
    scanner.StartScan();
    EXPECT_EQ(state.scrollBlockLeft, kScrollParkedLeft);
    EXPECT_FALSE(state.scrollTimerEnabled);
}

}  // namespace
}  // namespace pellora
