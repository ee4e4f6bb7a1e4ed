#include "quarantine_fixture.h"

#include "core/removal/external_commands.h"
#include "core/util/text.h"

namespace pellora::testing {
namespace {

constexpr const char* kName = "6-12-2026-9-5-7";

TEST_F(QuarantineTest, AFailedWriteBackKeepsRecordAndPayload) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Example";
    p.files.AddFile("C:\\Dir\\a.exe", "MZ");
    p.files.AddFile("C:\\Gone\\Bad\\x.txt", "x");
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\Software\\Bad");
    p.registry.AddString(key, "Value", "text");
    AddRow("file", "C:\\Dir\\a.exe");
    AddRow("folder", "C:\\Gone\\Bad");
    AddRow("regkey", "HKEY_LOCAL_MACHINE\\Software\\Bad");
    AddRow("regval", key + ",Value");
    quarantine.cmdQuarantineSelected();
    const std::vector<std::string> before = p.files.Tree(kPackage);

    ASSERT_TRUE(p.files.WriteFileAtomic("C:\\Dir\\a.exe", "MZ changed"));
    p.files.Lock("C:\\Dir\\a.exe");  // the copy back is refused, though replacing is agreed to
    // Folders come back first: the missing parent is not created, the file is to be replaced.
    p.ui.answers = {MsgAnswer::No, MsgAnswer::Yes};
    p.files.DeleteFile("C:\\Gone\\Bad\\x.txt");
    p.files.RemoveDirectory("C:\\Gone\\Bad");
    p.files.RemoveDirectory("C:\\Gone");  // the parent folder is gone
    p.registry.DeleteKey(RootKey::LocalMachine, "Software\\Bad");
    ignoreImports = true;       // the registry editor imports nothing
    p.registry.DenyWrite(key);  // the value cannot be written

    CheckPackage(kName);
    quarantine.cmdRestoreQuarantined();

    EXPECT_EQ(p.files.Tree(kPackage), before);
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "4");
    EXPECT_FALSE(p.files.Exists("C:\\Pellora\\Registry Exports\\Temp.reg"));
}

TEST_F(QuarantineTest, AnImportEndedAtItsBoundIsNoRestore) {
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\Software\\Bad");
    AddRow("regkey", "HKEY_LOCAL_MACHINE\\Software\\Bad");
    quarantine.cmdQuarantineSelected();
    const std::vector<std::string> before = p.files.Tree(kPackage);
    p.registry.DeleteKey(RootKey::LocalMachine, "Software\\Bad");
    // The key comes back, but the editor never says it is done: what it left is not trusted.
    p.processes.neverEnding = {"/c /s"};

    CheckPackage(kName);
    quarantine.cmdRestoreQuarantined();

    EXPECT_EQ(p.files.Tree(kPackage), before);
    EXPECT_EQ(p.processes.waitBounds.back(), kRegeditKeyWaitMs);
    EXPECT_FALSE(p.files.Exists("C:\\Pellora\\Registry Exports\\Temp.reg"));
}

TEST_F(QuarantineTest, OldLayoutFolderCopyListsViewsAndRestores) {
    const std::string package = "C:\\Pellora\\Quarantine\\1-3-2026-9-0-0";
    p.files.AddFile(package + "\\10000.qnf", "folder|Bad|C:\\Program Files\\Bad");
    p.files.AddFile(package + "\\Bad\\x.txt", "0123456789");
    p.files.AddFolder("C:\\Program Files");

    quarantine.LoadToQuarantineList();
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].sizeText, "41 bytes");  // record 31 + copy 10
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "1");
    state.highlightedPackage = 0;
    quarantine.cmdViewData();
    ASSERT_EQ(state.lstQuarantinedItems.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedItems[0].storedItem, "Bad");
    EXPECT_EQ(state.lstQuarantinedItems[0].image, kImageFolder);

    CheckPackage("1-3-2026-9-0-0");
    quarantine.cmdRestoreQuarantined();
    EXPECT_EQ(p.files.Content("C:\\Program Files\\Bad\\x.txt"), "0123456789");
    EXPECT_FALSE(p.files.Exists(package));
}

TEST_F(QuarantineTest, DamagedRecordsTouchNothingOutsideThePackage) {
    const std::string package = "C:\\Pellora\\Quarantine\\p";
    p.files.AddFile("C:\\Precious\\keep.doc", "mine");
    p.files.AddFile(package + "\\10000.qnf", "file|..\\..\\..\\Precious\\keep.doc|C:\\Restored\\keep.doc");
    p.files.AddFile(package + "\\10001.qnf", "folder|..\\..\\..\\Precious|C:\\Elsewhere\\Precious");
    p.files.AddFile(package + "\\10002.qnf", "unknown|10002.qit|C:\\Windows\\x.exe");
    p.files.AddFile(package + "\\10002.qit", "payload");
    p.files.AddFile(package + "\\10003.qnf", "regval|10003.qit|HKEY_CURRENT_USER\\Software\\Example,V");
    p.files.AddFile(package + "\\10003.qit", "Garbage|1");
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\Example");
    p.files.AddFolder("C:\\Elsewhere");

    CheckPackage("p");
    quarantine.cmdRestoreQuarantined();

    EXPECT_EQ(p.files.Content("C:\\Precious\\keep.doc"), "mine");
    EXPECT_FALSE(p.files.Exists("C:\\Elsewhere\\Precious"));
    EXPECT_FALSE(p.files.Exists("C:\\Windows\\x.exe"));
    EXPECT_FALSE(p.registry.Value("HKEY_CURRENT_USER\\Software\\Example", "V"));
    EXPECT_EQ(p.files.Tree(package).size(), 6u);
}

TEST_F(QuarantineTest, TreesDeeperThanThePassLimitKeepTheirDeepestLevels) {
    std::string deep = InPackage("10000\\Bad");
    for (int level = 0; level < 31; ++level)
        deep += "\\d";
    p.files.AddFile(deep + "\\x.txt", "x");
    p.files.AddFile(InPackage("10000.qnf"), "folder|10000\\Bad|C:\\Program Files\\Bad");
    p.files.AddFolder("C:\\Program Files");

    CheckPackage(kName);
    quarantine.cmdRestoreQuarantined();

    EXPECT_TRUE(p.files.Exists(std::string("C:\\Program Files\\Bad\\d\\d\\d")));
    EXPECT_FALSE(p.files.Exists(InPackage("10000.qnf")));
    EXPECT_FALSE(p.files.Exists(deep + "\\x.txt"));
    EXPECT_TRUE(p.files.Exists(InPackage("10000\\Bad")));
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "0");
}

}  // namespace
}  // namespace pellora::testing

namespace pellora::testing {
namespace {

// A folder and a file inside it, stored by one package: the folder comes back first (whatever
// the records' order), and the file follows the folder the restore re-created instead of being
// refused as "not the folder it was taken from". A file already back byte for byte in another
// folder than the recorded one counts as restored, so a package left by an older restore is not
// stuck for ever; one with other bytes is refused without anything written.
TEST_F(QuarantineTest, AFileInsideAFolderTheRestorePutsBackFollowsItAndOneAlreadyBackCounts) {
    const std::string gator = "C:\\Program Files\\Gator";
    const std::string name = "6-12-2026-9-5-7";
    p.files.AddFile(gator + "\\gator.exe", "MZ gator");
    AddRow("path", gator + "\\gator.exe");
    AddRow("folder", gator);
    quarantine.cmdQuarantineSelected();
    auto removeGator = [&] {
        p.files.DeleteFile(gator + "\\gator.exe");
        p.files.RemoveDirectory(gator);
    };
    removeGator();
    p.ui.messages.clear();

    CheckPackage(name);
    quarantine.cmdRestoreQuarantined();
    EXPECT_EQ(p.files.Content(gator + "\\gator.exe"), "MZ gator");
    ASSERT_EQ(quarantine.LastRestore().size(), 1u);
    EXPECT_TRUE(quarantine.LastRestore()[0].Whole())
        << ::testing::PrintToString(quarantine.LastRestore()[0].notRestored);
    EXPECT_TRUE(state.lstQuarantinedList.empty());
    EXPECT_TRUE(p.ui.messages.empty());

    // The state an older restore left: the folder back under a new identity (the record names
    // another folder at that path), the file's record still in the package.
    state.lstScanResult.clear();
    AddRow("path", gator + "\\gator.exe");
    quarantine.cmdQuarantineSelected();
    p.files.AddFolder("C:\\Elsewhere");
    FileIdentity old = *p.files.Identify("C:\\Elsewhere");
    old.finalPath = gator;
    for (const std::string& path : p.files.Tree(kPackage)) {
        if (EndsWith(path, ".qnf")) {
            QuarantineRecord record = ParseRecord(p.files.Content(path));
            record.parentIdentity = FormatFolderIdentity(old);
            ASSERT_TRUE(p.files.WriteFileAtomic(path, FormatRecord(record)));
        }
    }
    ASSERT_TRUE(p.files.WriteFileAtomic(gator + "\\gator.exe", "another gator"));
    p.ui.messages.clear();
    CheckPackage(name);
    quarantine.cmdRestoreQuarantined();
    EXPECT_EQ(p.files.Content(gator + "\\gator.exe"), "another gator");
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    ASSERT_EQ(p.ui.messages.size(), 1u);  // one message, no box of its own for the refusal
    EXPECT_NE(p.ui.messages[0].text.find("not the folder the object was taken from"), std::string::npos);

    ASSERT_TRUE(p.files.WriteFileAtomic(gator + "\\gator.exe", "MZ gator"));
    CheckPackage(name);
    quarantine.cmdRestoreQuarantined();
    EXPECT_TRUE(quarantine.LastRestore()[0].Whole());
    EXPECT_TRUE(state.lstQuarantinedList.empty());
}

}  // namespace
}  // namespace pellora::testing
