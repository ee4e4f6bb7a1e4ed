// Where restore may write: only into the folder an object was taken from, reached without a
// link on the way; a missing folder only where its parent checks out and outside the system's
// and other users' folders; a stored key only when its export stays inside that key. The fake
// file system resolves links as Windows does (a junction, or a Wine-style link that shows no
// reparse attribute) but writes at the name it is given, so a write "through" a link shows as
// an entry below the link's own path.
#include <algorithm>

#include "core/quarantine/copy_folder.h"
#include "core/quarantine/reg_export.h"
#include "core/util/text.h"
#include "quarantine_fixture.h"

namespace pellora::testing {
namespace {

class RestoreDestinationTest : public QuarantineTest {
  protected:
    RestoreDestinationTest() { state.folders.appData = "C:\\Users\\Me\\AppData\\Roaming"; }

    void Quarantine(const std::string& path, const std::string& bytes) {
        p.files.AddFile(path, bytes);
        state.lstScanResult.clear();
        AddRow("file", path);
        quarantine.cmdQuarantineSelected();
        ASSERT_TRUE(p.files.DeleteFile(path)) << path;
    }
    void RestoreAll() {
        p.ui.messages.clear();
        quarantine.LoadToQuarantineList();
        for (auto& row : state.lstQuarantinedList)
            row.checked = true;
        quarantine.cmdRestoreQuarantined();
    }
    // Replaces a folder by a link to `target`.
    void SwapForLink(const std::string& folder, const std::string& target, bool junction) {
        std::vector<std::string> inside = p.files.Tree(folder);
        for (auto it = inside.rbegin(); it != inside.rend(); ++it)
            ASSERT_TRUE(p.files.DeleteFile(*it) || p.files.RemoveDirectory(*it)) << *it;
        ASSERT_TRUE(p.files.RemoveDirectory(folder)) << folder;
        p.files.AddFolderLinkTo(folder, target, junction);
    }
    size_t Logged(const std::string& start) const {
        return std::count_if(state.lstLog.begin(), state.lstLog.end(),
                             [&](const std::string& line) { return StartsWith(line, start); });
    }
    size_t Imports() const {
        return std::count_if(p.processes.commands.begin(), p.processes.commands.end(), [](const std::string& line) {
            return line.find("regedit.exe /c /s") != std::string::npos;
        });
    }
};

TEST_F(RestoreDestinationTest, AFolderSwappedForALinkBeforeRestoreReceivesNothing) {
    p.files.AddFolder("C:\\WINDOWS\\system32");
    Quarantine("C:\\Data\\Junction\\a.dll", "first");
    Quarantine("C:\\Data\\Unmarked\\b.dll", "second");
    Quarantine("C:\\Data\\Deeper\\Sub\\c.dll", "third");
    // A folder whose copy would be merged into a folder there again that holds a link.
    p.files.AddFile("C:\\Data\\Tree\\Bad\\sub\\f.dll", "sixth");
    state.lstScanResult.clear();
    AddRow("folder", "C:\\Data\\Tree\\Bad");
    quarantine.cmdQuarantineSelected();
    SwapForLink("C:\\Data\\Tree\\Bad\\sub", "C:\\WINDOWS\\system32", true);
    SwapForLink("C:\\Data\\Junction", "C:\\WINDOWS\\system32", true);
    SwapForLink("C:\\Data\\Unmarked", "C:\\WINDOWS\\system32", false);  // a host link under Wine
    SwapForLink("C:\\Data\\Deeper", "C:\\WINDOWS", true);               // a link further up
    p.files.AddFolder("C:\\WINDOWS\\Sub");
    // A package from before folders were recorded, and one whose folder is another object now.
    p.files.AddFolderLinkTo("C:\\Old", "C:\\WINDOWS\\system32", true);
    p.files.AddFile(InPackage("10004.qnf"), "file|10004.qit|C:\\Old\\d.dll");
    p.files.AddFile(InPackage("10004.qit"), "fourth");
    p.files.AddFolder("C:\\Elsewhere");
    FileIdentity other = *p.files.Identify("C:\\Elsewhere");
    other.finalPath = "C:\\Data";
    p.files.AddFile(InPackage("10005.qnf"), "file|10005.qit|C:\\Data\\e.dll|" + FormatFolderIdentity(other));
    p.files.AddFile(InPackage("10005.qit"), "fifth");

    RestoreAll();

    for (const char* written :
         {"C:\\Data\\Junction\\a.dll", "C:\\Data\\Unmarked\\b.dll", "C:\\Data\\Deeper\\Sub\\c.dll", "C:\\Old\\d.dll",
          "C:\\Data\\e.dll", "C:\\WINDOWS\\system32\\a.dll", "C:\\WINDOWS\\Sub\\c.dll",
          "C:\\Data\\Tree\\Bad\\sub\\f.dll", "C:\\WINDOWS\\system32\\f.dll"}) {
        EXPECT_FALSE(p.files.Exists(written)) << written;
    }
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "6");
    EXPECT_EQ(Logged(kUnsafeDestinationLog), 6u);
    // One message names the six refusals, never a box for each.
    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_TRUE(StartsWith(p.ui.messages[0].text, kNotRestoredMessage));
    EXPECT_NE(p.ui.messages[0].text.find("C:\\Data\\Junction\\a.dll\nunsafe destination: "), std::string::npos);

    // The same folder again, without the links: every object comes back.
    for (const char* link :
         {"C:\\Data\\Junction", "C:\\Data\\Unmarked", "C:\\Data\\Deeper", "C:\\Old", "C:\\Data\\Tree\\Bad\\sub"})
        ASSERT_TRUE(p.files.RemoveDirectory(link));
    for (const char* folder : {"C:\\Data\\Junction", "C:\\Data\\Unmarked", "C:\\Data\\Deeper\\Sub", "C:\\Old"})
        p.files.AddFolder(folder);
    RestoreAll();
    EXPECT_EQ(p.files.Content("C:\\Data\\Junction\\a.dll"), "first");
    EXPECT_EQ(p.files.Content("C:\\Data\\Unmarked\\b.dll"), "second");
    EXPECT_EQ(p.files.Content("C:\\Data\\Deeper\\Sub\\c.dll"), "third");
    EXPECT_EQ(p.files.Content("C:\\Old\\d.dll"), "fourth");
    EXPECT_EQ(p.files.Content("C:\\Data\\Tree\\Bad\\sub\\f.dll"), "sixth");
    EXPECT_FALSE(p.files.Exists("C:\\Data\\e.dll"));  // still another folder than the one recorded
    EXPECT_EQ(state.lstQuarantinedList.at(0).itemCount, "1");
}

TEST_F(RestoreDestinationTest, AFolderSwappedWhileTheReplaceQuestionIsOpenReceivesNothing) {
    p.files.AddFile("C:\\WINDOWS\\system32\\a.dll", "the system's file");
    p.files.AddFile("C:\\WINDOWS\\system32\\b.dll", "the system's other file");
    Quarantine("C:\\Data\\Unmarked\\a.dll", "stored");
    Quarantine("C:\\Data\\Junction\\b.dll", "stored too");
    p.files.AddFile("C:\\Data\\Unmarked\\a.dll", "the user's newer file");
    p.files.AddFile("C:\\Data\\Junction\\b.dll", "the user's other newer file");
    p.ui.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    p.ui.onMessage = [this](const fakes::FakeUi::Shown& shown) {
        if (shown.buttons != MsgButtons::YesNo)
            return;
        bool first = shown.text.find("Unmarked") != std::string::npos;
        SwapForLink(first ? "C:\\Data\\Unmarked" : "C:\\Data\\Junction", "C:\\WINDOWS\\system32", !first);
    };

    RestoreAll();

    ASSERT_EQ(p.ui.messages.size(), 3u);
    for (size_t i : {0u, 1u})
        EXPECT_TRUE(StartsWith(p.ui.messages[i].text, kRestoreReplaceQuestion)) << i;
    EXPECT_TRUE(StartsWith(p.ui.messages[2].text, kNotRestoredMessage));
    EXPECT_EQ(p.files.Content("C:\\WINDOWS\\system32\\a.dll"), "the system's file");
    EXPECT_EQ(p.files.Content("C:\\WINDOWS\\system32\\b.dll"), "the system's other file");
    for (const char* written : {"C:\\Data\\Unmarked\\a.dll", "C:\\Data\\Unmarked\\a.dll.restoring",
                                "C:\\Data\\Junction\\b.dll", "C:\\Data\\Junction\\b.dll.restoring"}) {
        EXPECT_FALSE(p.files.Exists(written)) << written;
    }
    EXPECT_EQ(Logged(kUnsafeDestinationLog), 2u);
    EXPECT_EQ(state.lstQuarantinedList.at(0).itemCount, "2");
}

TEST_F(RestoreDestinationTest, AMissingFolderIsCreatedOnlyWhereItsParentChecksOut) {
    p.files.AddFolder("C:\\Program Files (x86)");
    p.files.AddFolder("C:\\Users\\Other");
    p.files.AddFolder("C:\\Users\\Me");
    const char* refused[] = {"C:\\WINDOWS\\Gone\\a.dll", "C:\\Program Files\\Gone\\b.dll",
                             "C:\\Program Files (x86)\\Gone\\c.dll", "C:\\Users\\Other\\Gone\\d.dll",
                             "C:\\Linked\\Gone\\e.dll"};
    for (const char* path : refused)
        Quarantine(path, path);
    Quarantine("C:\\Users\\Me\\Gone\\Deeper\\f.dll", "mine");
    Quarantine("C:\\Plain\\Gone\\g.dll", "plain");
    for (const char* folder :
         {"C:\\WINDOWS\\Gone", "C:\\Program Files\\Gone", "C:\\Program Files (x86)\\Gone", "C:\\Users\\Other\\Gone",
          "C:\\Users\\Me\\Gone\\Deeper", "C:\\Users\\Me\\Gone", "C:\\Plain\\Gone", "C:\\Plain", "C:\\Linked\\Gone"}) {
        ASSERT_TRUE(p.files.RemoveDirectory(folder)) << folder;
    }
    SwapForLink("C:\\Linked", "C:\\WINDOWS", false);
    p.ui.answers = {MsgAnswer::Yes, MsgAnswer::Yes, MsgAnswer::Yes, MsgAnswer::Yes,
                    MsgAnswer::Yes, MsgAnswer::Yes, MsgAnswer::Yes};

    RestoreAll();

    for (const char* path : refused)
        EXPECT_FALSE(p.files.Exists(ParentFolderOf(path))) << path;
    EXPECT_FALSE(p.files.Exists("C:\\WINDOWS\\Gone"));
    EXPECT_EQ(p.files.Content("C:\\Users\\Me\\Gone\\Deeper\\f.dll"), "mine");
    EXPECT_EQ(p.files.Content("C:\\Plain\\Gone\\g.dll"), "plain");
    EXPECT_EQ(Logged(kUnsafeDestinationLog), 5u);
    // Only the two folders that may be created were asked about.
    size_t questions = std::count_if(p.ui.messages.begin(), p.ui.messages.end(), [](const auto& shown) {
        return StartsWith(shown.text, kRestoreCreateFolderQuestion);
    });
    EXPECT_EQ(questions, 2u);
    EXPECT_EQ(state.lstQuarantinedList.at(0).itemCount, "5");
}

TEST(ForeignSectionTest, AnExportMayOnlyNameItsOwnKeyAndWhatLiesBelowIt) {
    const std::string sid = "S-1-5-21-1-2-3-1001";
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{0A}";
    // The same key in other spellings: another letter case, the classes root, the user's SID.
    EXPECT_EQ(ForeignSection("REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\CLSID\\{0a}]\r\n@=\"x\"\r\n"
                             "[hkey_local_machine\\software\\classes\\clsid\\{0A}\\InprocServer32]\r\n",
                             key, sid),
              std::nullopt);
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\S-1-5-21-1-2-3-1001\\"
                              "Software\\Bad\\Sub]\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    EXPECT_EQ(ForeignSection(utf16, "HKEY_CURRENT_USER\\Software\\Bad", sid), std::nullopt);

    const std::string bad = "HKEY_CURRENT_USER\\Software\\Bad";
    const std::string own = "[" + bad + "]\r\n\"A\"=\"1\"\r\n";
    for (const std::string& text : {
             own + "[HKEY_LOCAL_MACHINE\\Software\\Bad]\r\n",                    // another hive
             std::string("[HKEY_CURRENT_USER\\Software\\BadBar]\r\n"),           // same letters, other key
             std::string("[HKEY_CURRENT_USER\\Software]\r\n"),                   // above it
             own + "[HKEY_CURRENT_USER\\Software\\Bad\\..\\..\\Microsoft]\r\n",  // ".." steps
             own + "[-HKEY_CURRENT_USER\\Software\\Bad\\Sub]\r\n",               // a deletion
             own + "\"B\"=\"2\"\r  \t[HKEY_LOCAL_MACHINE\\Software\\X]\r\n",     // a lone carriage return, blanks
             own + "\"C\"=hex:00,\\\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n",   // inside a continued value
             own + "[HKEY_CURRENT_USER\\Software\\Bad]\\..]\r\n",                // cut at the first "]"
             own + "[HKEY_USERS\\S-1-5-21-9-9-9-500\\Software\\Bad]\r\n",        // another user
             own + "[HKEY_CURRENT_USER\\Software\\Bad\r\n",                      // never closed
             std::string("\"A\"=\"1\"\r\n"),                                     // no section at all
         }) {
        EXPECT_TRUE(ForeignSection(text, bad, sid)) << text;
    }
}

TEST_F(RestoreDestinationTest, AStoredKeyReachingOutsideItsKeyOrThroughALinkIsNotImported) {
    const std::string bad = "HKEY_CURRENT_USER\\Software\\Bad";
    p.files.AddFile(InPackage("10000.qnf"), "regkey|10000.qit|" + bad);
    p.files.AddFile(InPackage("10000.qit"), "REGEDIT4\r\n\r\n[" + bad + "]\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n");
    p.registry.AddLink("HKEY_CURRENT_USER\\Software\\Linked", "\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft");
    p.files.AddFile(InPackage("10001.qnf"), "regkey|10001.qit|HKEY_CURRENT_USER\\Software\\Linked\\Run");
    p.files.AddFile(InPackage("10001.qit"), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Linked\\Run]\r\n");

    RestoreAll();

    EXPECT_EQ(Imports(), 0u);
    EXPECT_FALSE(p.registry.HasKey(bad));
    EXPECT_EQ(Logged(kForeignExportLog), 2u);
    ASSERT_EQ(p.ui.messages.size(), 1u);  // both named in the restore's one message
    EXPECT_NE(p.ui.messages[0].text.find("the stored export reaches outside its key"), std::string::npos);
    EXPECT_EQ(state.lstQuarantinedList.at(0).itemCount, "2");

    // The key's own export is imported as before.
    ASSERT_TRUE(p.files.WriteFileAtomic(InPackage("10000.qit"), "[" + bad + "]"));
    RestoreAll();
    EXPECT_EQ(Imports(), 1u);
    EXPECT_TRUE(p.registry.HasKey(bad));
}

}  // namespace
}  // namespace pellora::testing
