#include <gtest/gtest.h>

#include "core/app/status_panel.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using Failure = HostAddressResult::Failure;

HostAddressResult Failed(Failure failure, int major = 1, int minor = 1, int socketError = 0) {
    HostAddressResult result;
    result.failure = failure;
    result.versionMajor = major;
    result.versionMinor = minor;
    result.socketError = socketError;
    return result;
}

struct StatusPanelTest : ::testing::Test {
    fakes::FakePlatform platform;
    AppState state;
    FileFinder finder{state, platform.files, platform.ui};
    StatusPanel status{state, platform.system, platform.ui, finder};

    StatusPanelTest() {
        state.appFolder = "C:\\Pellora";
        platform.files.AddFolder("C:\\Pellora\\Quarantine");
    }
};

TEST_F(StatusPanelTest, FreshInstallationFigures) {
    state.lstScanInfoFile = {"{never}", "0", "0"};
    status.StatusInfoDisplay();
    EXPECT_EQ(state.status.currentIp, "10.0.0.5");
    EXPECT_EQ(state.status.lastScan, "{never}");
    EXPECT_EQ(state.status.noOfScans, " 0");
    EXPECT_EQ(state.status.totalItemsRemoved, " 0");
    EXPECT_EQ(state.status.noInIgnoreList, "0");
    EXPECT_EQ(state.status.noQuarantined, "0");
    EXPECT_TRUE(platform.ui.messages.empty());
    EXPECT_EQ(platform.ui.changes.back(), View::StatusFigures);
}

TEST_F(StatusPanelTest, ScanFiguresAreNumbersWithRoomForASign) {
    state.lstScanInfoFile = {"12-05-2026  10:00:00", "17", "3abc"};
    state.lstIgnoreListFile = {"path|a|b", "file|c|d"};
    status.StatusInfoDisplay();
    EXPECT_EQ(state.status.lastScan, "12-05-2026  10:00:00");
    EXPECT_EQ(state.status.noOfScans, " 17");
    EXPECT_EQ(state.status.totalItemsRemoved, " 3");
    EXPECT_EQ(state.status.noInIgnoreList, "2");

    EXPECT_EQ(FormatWithSignRoom(-4), "-4");
    EXPECT_EQ(FormatWithSignRoom(2.5), " 2.5");
    EXPECT_EQ(FormatWithSignRoom(0), " 0");

    // Damaged or missing lines read as 0, never as a crash.
    state.lstScanInfoFile.clear();
    status.StatusInfoDisplay();
    EXPECT_EQ(state.status.lastScan, "");
    EXPECT_EQ(state.status.noOfScans, " 0");
}

TEST_F(StatusPanelTest, QuarantineCountIsTheFolderListingWithoutDesktopIni) {
    platform.files.AddFile("C:\\Pellora\\Quarantine\\1-1-2026-1-2-3\\10000.qnf", "x");
    platform.files.AddFolder("C:\\Pellora\\Quarantine\\2-1-2026-1-2-3");
    platform.files.AddFolder("C:\\Pellora\\Quarantine\\3-1-2026-1-2-3");
    platform.files.AddFile("C:\\Pellora\\Quarantine\\stray.txt", "loose");
    platform.files.AddFile("C:\\Pellora\\Quarantine\\desktop.ini", "[.ShellClassInfo]");
    status.StatusInfoDisplay();
    EXPECT_EQ(state.status.noQuarantined, "4");
    EXPECT_EQ(state.lstQuarantinedFiles.size(), 4u);

    // Each refresh lists afresh rather than adding to the last listing.
    status.StatusInfoDisplay();
    EXPECT_EQ(state.lstQuarantinedFiles.size(), 4u);

    platform.files.AddFolder("C:\\Other");
    state.appFolder = "C:\\Other";
    status.StatusInfoDisplay();
    EXPECT_EQ(state.status.noQuarantined, "0");
}

TEST_F(StatusPanelTest, AddressFailuresShowTheirMessageAndAnEmptyAddress) {
    struct Case {
        HostAddressResult result;
        std::string message;
    };
    const Case cases[] = {
        {Failed(Failure::StartupFailed), "The 32-bit Windows Socket is not responding."},
        {Failed(Failure::NoSockets), "This application requires a minimum of 1 supported sockets."},
        {Failed(Failure::VersionTooLow, 1, 0), "Sockets version 1.0 is not supported by 32-bit Windows Sockets."},
        {Failed(Failure::HostNameFailed, 1, 1, 10093),
         "Windows Sockets error 10093 has occurred. Unable to successfully get Host Name."},
        {Failed(Failure::ResolveFailed), "Windows Sockets are not responding. Unable to successfully get Host Name."},
    };
    state.lstScanInfoFile = {"{never}", "4", "9"};
    for (const Case& c : cases) {
        platform.ui.messages.clear();
        platform.system.host = c.result;
        status.StatusInfoDisplay();
        EXPECT_EQ(state.status.currentIp, "");
        ASSERT_EQ(platform.ui.messages.size(), 1u) << c.message;
        EXPECT_EQ(platform.ui.messages[0].text, c.message);
        EXPECT_EQ(platform.ui.messages[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(platform.ui.messages[0].icon, MsgIcon::None);
        // The rest of the refresh goes on.
        EXPECT_EQ(state.status.noOfScans, " 4");
    }

    platform.ui.messages.clear();
    platform.system.host = {Failure::None, 1, 1, 0, {192, 168, 1, 20}, true};
    status.StatusInfoDisplay();
    EXPECT_EQ(state.status.currentIp, "192.168.1.20");
    ASSERT_EQ(platform.ui.messages.size(), 1u);
    EXPECT_EQ(platform.ui.messages[0].text, "Socket error occurred in Cleanup.");
}

}  // namespace
}  // namespace pellora
