// The update panel on the real window during a download served by the in-memory HTTP port:
// the grouped byte count against the known size, the progress bar, Cancel while it runs, and
// the end states. Screenshots of the panel mid-download and after the install are written to
// screenshots/<dpi>/.
#include "gui_fixture.h"
// After the fixture: the fakes before <windows.h>.
#include "core/database/key_format.h"

namespace pellora::gui::testing {
namespace {

constexpr const char* kUrl = "http://db.example/members/DataBase.ref";

class UpdatePanelTest : public MainWindowTest {
  protected:
    UpdatePanelTest() {
        fake.files.AddFolder("C:\\Pellora\\Settings");
        fake.files.AddFile("C:\\Pellora\\Keys\\test-signing-key.pem", fakes::PublicKeyPem(std::string(64, 'k')));
        fake.files.AddFile("C:\\Pellora\\DataBase.ref", fakes::LockedDatabase(1000, "Old Database 1"));
        state.lstSettingsFile = {"0",  "0", "0", "1", "0", "0", "about:blank", "Microsoft Internet Explorer",
                                 "30", "0", "10"};
        fakes::FakeHttp::Response response;
        response.body = fakes::LockedDatabase(1000000, "New Database 2", 2);
        http.responses[kUrl] = response;
        fakes::FakeHttp::Response signature;
        signature.body = EcdsaSignatureToDer(fakes::FakeSign(std::string(64, 'k'), response.body));
        http.responses[std::string(kUrl) + ".sig"] = signature;
        app.navigation().ShowUpdate();
        Settle();
    }
    UpdateView& panel() { return *dynamic_cast<UpdateView*>(window.panel(Panel::Update)); }
};

TEST_F(UpdatePanelTest, ShowsTheDownloadAndCancelsIt) {
    ASSERT_TRUE(IsShown(Panel::Update));
    SetWindowTextW(panel().address(), W(kUrl).c_str());
    EXPECT_FALSE(IsWindowEnabled(panel().Control(kIdCmdCancelUpdate)));

    bool shot = false;
    http.onRead = [&](size_t offset) {
        if (offset >= 409600 && !shot) {
            shot = true;
            Settle();
            EXPECT_EQ(TextOf(panel().bytesRead()), L"Curently downloaded : 409,600 bytes of 1,000,000 bytes");
            EXPECT_EQ(SendMessageW(panel().progress(), PBM_GETPOS, 0, 0), 409600);
            EXPECT_EQ(SendMessageW(panel().progress(), PBM_GETRANGE, FALSE, 0), 1000000);
            EXPECT_TRUE(IsWindowEnabled(panel().Control(kIdCmdCancelUpdate)));
            Screenshot("update-downloading");
            // Another "Start Update" while this one runs does nothing.
            ClickInPanel(Panel::Update, kIdCmdUpdateNow);
            ClickInPanel(Panel::Update, kIdCmdCancelUpdate);
        }
    };
    ClickInPanel(Panel::Update, kIdCmdUpdateNow);
    EXPECT_TRUE(shot);
    EXPECT_EQ(app.databaseUpdate().LastOutcome(), UpdateOutcome::Cancelled);
    EXPECT_EQ(TextOf(panel().bytesRead()), L"Update cancelled.");
    EXPECT_EQ(SendMessageW(panel().progress(), PBM_GETPOS, 0, 0), 0);
    EXPECT_FALSE(IsWindowEnabled(panel().Control(kIdCmdCancelUpdate)));
    EXPECT_FALSE(state.busy);
    EXPECT_TRUE(messages.empty());
    // The address typed in the field was kept.
    EXPECT_EQ(fake.files.Content("C:\\Pellora\\Settings\\Update.stg"), std::string(kUrl) + "\r\n");
}

TEST_F(UpdatePanelTest, InstallsAndShowsTheNewVersion) {
    app.databaseUpdate().SaveAddress(kUrl);
    Settle();
    EXPECT_EQ(TextOf(panel().address()), W(kUrl));
    ClickInPanel(Panel::Update, kIdCmdUpdateNow);
    EXPECT_EQ(app.databaseUpdate().LastOutcome(), UpdateOutcome::Installed) << app.databaseUpdate().LastReason();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Download completed!");
    EXPECT_EQ(TextOf(panel().bytesRead()), L"Update installed successfully.");
    EXPECT_EQ(state.status.dbaseVersion, "New Database 2");
    Screenshot("update-installed");
}

TEST_F(UpdatePanelTest, WithoutAnAddressSaysSo) {
    ClickInPanel(Panel::Update, kIdCmdUpdateNow);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kNoAddressText);
    EXPECT_TRUE(http.openedUrls.empty());
}

}  // namespace
}  // namespace pellora::gui::testing
