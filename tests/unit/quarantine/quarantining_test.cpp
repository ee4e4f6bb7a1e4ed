#include "quarantine_fixture.h"

namespace pellora::testing {
namespace {

TEST_F(QuarantineTest, EveryKindIsStoredWithItsRecordLogLineAndCount) {
    p.files.AddFile("C:\\Bad\\a.exe", "MZ-a");
    p.files.AddFile("C:\\Cookies\\user@ads.txt", "cookie");
    p.files.AddFile("C:\\Program Files\\Bad\\sub\\b.dll", "MZ-b");
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\Software\\Bad");
    p.registry.AddString("HKEY_CURRENT_USER\\Software\\Example", "Run,Extra", "C:\\a|b");
    AddRow("path", "C:\\Bad\\a.exe");
    AddRow("Cookie", "user@ads.txt");
    AddRow("folder", "C:\\Program Files\\Bad");
    AddRow("RegKey", "HKEY_LOCAL_MACHINE\\Software\\Bad");
    AddRow("regval", "HKEY_CURRENT_USER\\Software\\Example,Run,Extra");
    AddRow("file", "C:\\Bad\\not-checked.exe", false);

    quarantine.cmdQuarantineSelected();

    // Files and folders keep the identity of the folder they were taken from.
    auto folderOf = [this](const std::string& path) { return "|" + FormatFolderIdentity(*p.files.Identify(path)); };
    EXPECT_EQ(p.files.Content(InPackage("10000.qnf")), "path|10000.qit|C:\\Bad\\a.exe" + folderOf("C:\\Bad"));
    EXPECT_EQ(p.files.Content(InPackage("10000.qit")), "MZ-a");
    EXPECT_EQ(p.files.Content(InPackage("10001.qnf")),
              "Cookie|10001.qit|C:\\Cookies\\user@ads.txt" + folderOf("C:\\Cookies"));
    EXPECT_EQ(p.files.Content(InPackage("10001.qit")), "cookie");
    EXPECT_EQ(p.files.Content(InPackage("10002.qnf")),
              "folder|10002\\Bad|C:\\Program Files\\Bad" + folderOf("C:\\Program Files"));
    EXPECT_EQ(p.files.Content(InPackage("10002\\Bad\\sub\\b.dll")), "MZ-b");
    EXPECT_EQ(p.files.Content(InPackage("10003.qnf")), "RegKey|10003.qit|HKEY_LOCAL_MACHINE\\Software\\Bad");
    EXPECT_EQ(p.files.Content(InPackage("10003.qit")), "[HKEY_LOCAL_MACHINE\\Software\\Bad]");
    EXPECT_FALSE(p.files.Exists("C:\\Pellora\\Registry Exports\\Temp.reg"));
    EXPECT_EQ(p.files.Content(InPackage("10004.qnf")),
              "regval|10004.qit|HKEY_CURRENT_USER\\Software\\Example,Run,Extra");
    EXPECT_EQ(p.files.Content(InPackage("10004.qit")), "String|C:\\a|b");
    EXPECT_FALSE(p.files.Exists(InPackage("10005.qnf")));
    EXPECT_EQ(
        p.processes.commands.at(0),
        "C:\\WINDOWS\\regedit.exe /e \"C:\\Pellora\\Registry Exports\\Temp.reg\" HKEY_LOCAL_MACHINE\\Software\\Bad");

    // Nothing was touched at the source.
    EXPECT_TRUE(p.files.Exists("C:\\Bad\\a.exe"));
    EXPECT_TRUE(p.registry.HasKey("HKEY_LOCAL_MACHINE\\Software\\Bad"));

    ASSERT_EQ(state.lstLog.size(), 7u);
    EXPECT_EQ(state.lstLog[0], "");
    EXPECT_EQ(state.lstLog[1], " Following items Quarantined:");
    EXPECT_EQ(state.lstLog[2], "     path:C:\\Bad\\a.exe   |Adware");
    EXPECT_EQ(state.lstLog[3], "     Cookie:user@ads.txt   |Adware");
    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_EQ(p.ui.messages[0].text, "5 items quarantined successfully.");
    EXPECT_EQ(p.ui.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(p.ui.messages[0].title, kAppTitle);
}

TEST_F(QuarantineTest, RowsThatCannotBeStoredAreNeitherRecordedNorCounted) {
    AddRow("proc", "bad.exe");                                       // not a stored kind
    AddRow("file", "C:\\gone.exe");                                  // copy fails
    AddRow("regkey", "HKEY_LOCAL_MACHINE\\Software\\Missing");       // no export written
    AddRow("regval", "HKEY_CURRENT_USER\\Software\\Missing,Value");  // unreadable value
    AddRow("folder", "C:\\Pellora");                                 // holds the package itself
    AddRow("regkey", "HKEY_LOCAL_MACHINE\\Software\\Hangs");         // half exported, editor ended
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\Software\\Hangs");
    p.processes.neverEnding = {"Software\\Hangs"};
    p.files.AddFile("C:\\Pellora\\Registry Exports\\Temp.reg", "stale export of another key");

    quarantine.cmdQuarantineSelected();

    EXPECT_TRUE(p.files.Tree(kPackage).empty());
    EXPECT_FALSE(p.files.Exists("C:\\Pellora\\Registry Exports\\Temp.reg"));
    EXPECT_EQ(state.lstLog.size(), 2u);
    EXPECT_EQ(p.ui.messages.at(0).text, "0 items quarantined successfully.");
}

TEST_F(QuarantineTest, NothingCheckedStillReportsZero) {
    AddRow("file", "C:\\x.exe", false);
    quarantine.cmdQuarantineSelected();
    EXPECT_EQ(state.lstLog, (std::vector<std::string>{"", " Following items Quarantined:"}));
    EXPECT_EQ(p.ui.messages.at(0).text, "0 items quarantined successfully.");

    state.lstScanResult.clear();
    quarantine.cmdQuarantineSelected();
    EXPECT_EQ(p.ui.messages.size(), 1u);

    // While the removal run holds the button disabled nothing happens.
    AddRow("file", "C:\\x.exe");
    state.buttons.cmdQuarantineSelected = false;
    quarantine.cmdQuarantineSelected();
    EXPECT_EQ(p.ui.messages.size(), 1u);
}

TEST_F(QuarantineTest, SameNamedFoldersKeepSeparateCopies) {
    p.files.AddFile("C:\\One\\Bad\\x.txt", "first");
    p.files.AddFile("C:\\Two\\Bad\\x.txt", "second");
    AddRow("folder", "C:\\One\\Bad");
    AddRow("folder", "C:\\Two\\Bad\\");
    quarantine.cmdQuarantineSelected();
    EXPECT_EQ(p.files.Content(InPackage("10000\\Bad\\x.txt")), "first");
    EXPECT_EQ(p.files.Content(InPackage("10001\\Bad\\x.txt")), "second");
    EXPECT_EQ(p.files.Content(InPackage("10001.qnf")),
              "folder|10001\\Bad|C:\\Two\\Bad|" + FormatFolderIdentity(*p.files.Identify("C:\\Two")));
}

}  // namespace
}  // namespace pellora::testing
