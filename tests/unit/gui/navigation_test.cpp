#include <gtest/gtest.h>

#include "core/app/navigation.h"
#include "core/app/status_panel.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

struct NavigationTest : ::testing::Test {
    fakes::FakePlatform platform;
    AppState state;
    FileFinder finder{state, platform.files, platform.ui};
    StatusPanel status{state, platform.system, platform.ui, finder};
    Navigation navigation{state, platform.ports, status};

    NavigationTest() { state.appFolder = "C:\\Pellora"; }
};

TEST_F(NavigationTest, EveryShowSelectsItsPanelAndReportsIt) {
    const std::pair<void (Navigation::*)(), Panel> shows[] = {
        {&Navigation::ShowStatus, Panel::Status},         {&Navigation::ShowSettings, Panel::Settings},
        {&Navigation::ShowScanPrep, Panel::ScanPrep},     {&Navigation::ShowScanProc, Panel::ScanProc},
        {&Navigation::ShowScanResult, Panel::ScanResult}, {&Navigation::ShowIremovable, Panel::Iremovable},
        {&Navigation::ShowIgnored, Panel::Ignored},       {&Navigation::ShowQuarantined, Panel::Quarantined},
        {&Navigation::ShowQItems, Panel::QItems},         {&Navigation::ShowUpdate, Panel::Update},
    };
    for (const auto& [show, panel] : shows) {
        platform.ui.changes.clear();
        (navigation.*show)();
        EXPECT_EQ(state.panel, panel);
        EXPECT_EQ(platform.ui.changes, std::vector<View>{View::Panel});
    }
    EXPECT_STREQ(PanelTitle(Panel::QItems), PanelTitle(Panel::Quarantined));
    EXPECT_STREQ(PanelTitle(Panel::Iremovable), "Pellora - Iremovable Objects");
    EXPECT_STREQ(PanelTitle(Panel::Update), "Pellora - DBase Update");
}

TEST_F(NavigationTest, BusyFlagBlocksStatusScanAndSettingsButNotUpdate) {
    state.panel = Panel::ScanProc;
    state.busy = true;
    navigation.lblCmdStatus_Click();
    navigation.lblCmdScan_Click();
    navigation.lblCmdSettings_Click();
    EXPECT_EQ(state.panel, Panel::ScanProc);
    EXPECT_TRUE(platform.ui.changes.empty());
    EXPECT_EQ(state.status.currentIp, "0");  // no refresh either

    navigation.lblCmdDBaseUpdate_Click();
    EXPECT_EQ(state.panel, Panel::Update);

    state.busy = false;
    navigation.lblCmdScan_Click();
    EXPECT_EQ(state.panel, Panel::ScanPrep);
    navigation.lblCmdSettings_Click();
    EXPECT_EQ(state.panel, Panel::Settings);
    navigation.lblCmdStatus_Click();
    EXPECT_EQ(state.panel, Panel::Status);
    EXPECT_EQ(state.status.currentIp, "10.0.0.5");
}

TEST_F(NavigationTest, BackAndFinishEmptyTheirLists) {
    state.lstQuarantinedItems.push_back({"file", kImageFile, "10000.qit", "C:\\x.exe"});
    state.panel = Panel::QItems;
    navigation.cmdBack_Click();
    EXPECT_EQ(state.panel, Panel::Quarantined);
    EXPECT_TRUE(state.lstQuarantinedItems.empty());

    state.lstIremovable.push_back({"path", kImageProgram, "Adware", "C:\\x.exe", "http://x", true});
    state.panel = Panel::Iremovable;
    navigation.cmdFinish_Click();
    EXPECT_EQ(state.panel, Panel::Status);
    EXPECT_TRUE(state.lstIremovable.empty());
}

TEST_F(NavigationTest, OpenListCommandsLoadBeforeShowing) {
    std::vector<Panel> panelWhenLoaded;
    navigation.hooks.loadIgnoredToList = [&] { panelWhenLoaded.push_back(state.panel); };
    navigation.hooks.loadToQuarantineList = [&] { panelWhenLoaded.push_back(state.panel); };
    state.panel = Panel::Status;
    navigation.lblCmdOpenIgnoreList_Click();
    EXPECT_EQ(state.panel, Panel::Ignored);
    navigation.lblCmdOpenQuarList_Click();
    EXPECT_EQ(state.panel, Panel::Quarantined);
    EXPECT_EQ(panelWhenLoaded, (std::vector<Panel>{Panel::Status, Panel::Ignored}));
}

TEST_F(NavigationTest, HelpOpensThePageOrShowsOnlyTheMessage) {
    navigation.lblCmdHelp_Click();
    ASSERT_EQ(platform.ui.messages.size(), 1u);
    EXPECT_EQ(platform.ui.messages[0].text, "Help file help.htm could not be found.");
    EXPECT_EQ(platform.ui.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(platform.ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(platform.shell.opened.empty());
    EXPECT_TRUE(platform.ui.changes.empty());

    // A folder of that name is not the page.
    platform.files.AddFolder("C:\\Pellora\\Help\\help.htm");
    navigation.lblCmdHelp_Click();
    EXPECT_EQ(platform.ui.messages.size(), 2u);
    EXPECT_TRUE(platform.shell.opened.empty());

    platform.files.RemoveDirectory("C:\\Pellora\\Help\\help.htm");
    platform.files.AddFile("C:\\Pellora\\Help\\help.htm", "<html></html>");
    navigation.lblCmdHelp_Click();
    EXPECT_EQ(platform.ui.messages.size(), 2u);
    ASSERT_EQ(platform.shell.opened.size(), 1u);
    EXPECT_EQ(platform.shell.opened[0], "C:\\Pellora\\Help\\help.htm");
    EXPECT_EQ(platform.shell.openedIn[0], "C:\\Pellora");
}

}  // namespace
}  // namespace pellora
