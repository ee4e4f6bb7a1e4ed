// "Restore Selected" in the window: a damaged record is passed over with a log line, not a box
// of its own; a file that is there again is asked about in the program's own message; at the end
// one message names what stayed in quarantine and why.
#include <algorithm>

#include "gui_fixture.h"

#include "core/app/navigation.h"

namespace pellora::gui::testing {
namespace {

TEST_F(MainWindowTest, RestoreInTheWindowAsksOnlyItsOwnQuestionAndSkipsDamagedRecords) {
    state.appFolder = "C:\\Pellora";
    const std::string package = "C:\\Pellora\\Quarantine\\1-12-2026-9-0-0";
    fake.files.AddFile(package + "\\10000.qnf", "file|10000.qit|C:\\Dir\\a.exe");
    fake.files.AddFile(package + "\\10000.qit", "stored");
    fake.files.AddFile(package + "\\10001.qnf", "regval|10001.qit|HKLM\\Software\\Example,V");
    fake.files.AddFile(package + "\\10001.qit", "String|x");
    fake.files.AddFile("C:\\Dir\\a.exe", "the user's newer file");

    app.quarantine().LoadToQuarantineList();
    app.navigation().ShowQuarantined();
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    state.lstQuarantinedList[0].checked = true;
    ui.Changed(View::QuarantineList);
    Settle();
    ClickInPanel(Panel::Quarantined, kIdCmdRestoreQuarantined);
    Settle();

    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text,
              std::string(kRestoreReplaceQuestion) + "\n\nC:\\Dir\\a.exe\n\n" + kRestoreReplaceQuestionTail);
    // Then one message names what stayed in quarantine, and why.
    EXPECT_EQ(messages[1].text, std::string(kNotRestoredMessage) +
                                    "\n\nC:\\Dir\\a.exe\na different file is there now, and it was kept"
                                    "\n\nHKLM\\Software\\Example,V\nits record is damaged or names a copy outside "
                                    "its package");
    EXPECT_EQ(messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(fake.files.Content("C:\\Dir\\a.exe"), "the user's newer file");
    EXPECT_NE(std::find(state.lstLog.begin(), state.lstLog.end(),
                        std::string(kDamagedRecordLog) + "1-12-2026-9-0-0\\10001.qnf"),
              state.lstLog.end());
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "2");
    Screenshot("quarantine_restore_kept");
}

}  // namespace
}  // namespace pellora::gui::testing
