// What restore and quarantine must never do: delete a payload whose object is not verifiably
// back, restore a payload that changed, act on a record that names another record's payload or
// leads through a link, show a box for a damaged record, let the shell ask or show anything,
// or store what a link inside a folder points to.
#include <algorithm>

#include "core/quarantine/reg_export.h"
#include "core/quarantine/tree_walk.h"
#include "core/util/sha256.h"
#include "core/util/text.h"
#include "quarantine_fixture.h"

namespace pellora::testing {
namespace {

constexpr const char* kName = "6-12-2026-9-5-7";

// The shell as the fake does it, with the flags of every call kept, and optionally lying:
// reporting success after copying something else.
class RecordingShell : public ShellPort {
  public:
    explicit RecordingShell(fakes::FakeShell& inner, fakes::FakeFileSystem& files) : inner_(inner), files_(files) {}
    int FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t flags) override {
        flags_.push_back(flags);
        if (lie) {
            // An empty folder or a short file where the copy should be, and "success".
            if (files_.IsFolder(from)) {
                files_.AddFolder(to + "\\" + from.substr(from.rfind('\\') + 1));
            } else {
                files_.AddFile(to, "partial");
            }
            return 0;
        }
        return inner_.FileOperation(op, from, to, flags);
    }
    bool OpenDocument(const std::string& path, const std::string& folder) override {
        return inner_.OpenDocument(path, folder);
    }
    std::vector<uint32_t> flags_;
    bool lie = false;

  private:
    fakes::FakeShell& inner_;
    fakes::FakeFileSystem& files_;
};

class RestoreSafetyTest : public QuarantineTest {
  protected:
    RecordingShell shell{p.shell, p.files};
    Ports ports{p.registry, p.files, p.processes, shell, p.clock, p.system, p.ui};
    FileOperations ops{state, p.files, p.ui};
    Quarantine q{state, ports, registry, finder, ops};

    void CheckAll() {
        q.LoadToQuarantineList();
        for (auto& row : state.lstQuarantinedList)
            row.checked = true;
    }
    bool Logged(const std::string& start) const {
        return std::any_of(state.lstLog.begin(), state.lstLog.end(),
                           [&](const std::string& line) { return StartsWith(line, start); });
    }
};

TEST(Sha256Test, KnownDigests) {
    struct Case {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Sha256Hex(c.input), c.digest) << c.input.size();
    Sha256 pieces;  // fed in pieces that straddle the block boundary
    for (size_t i = 0; i < 1000000; i += 63)
        pieces.Update(std::string(std::min<size_t>(63, 1000000 - i), 'a'));
    EXPECT_EQ(pieces.FinishHex(), cases[3].digest);
}

TEST_F(RestoreSafetyTest, ShellNeverAsksNorShowsAnything) {
    p.files.AddFile("C:\\Dir\\a.exe", "MZ");
    p.files.AddFile("C:\\Dir\\Bad\\x.txt", "x");
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\Software\\Bad");
    AddRow("file", "C:\\Dir\\a.exe");
    AddRow("folder", "C:\\Dir\\Bad");
    AddRow("regkey", "HKEY_LOCAL_MACHINE\\Software\\Bad");
    q.cmdQuarantineSelected();
    p.files.DeleteFile("C:\\Dir\\a.exe");
    p.files.DeleteFile("C:\\Dir\\Bad\\x.txt");
    p.files.RemoveDirectory("C:\\Dir\\Bad");
    CheckAll();
    q.cmdRestoreQuarantined();

    EXPECT_EQ(p.files.Content("C:\\Dir\\a.exe"), "MZ");
    EXPECT_EQ(p.files.Content("C:\\Dir\\Bad\\x.txt"), "x");
    ASSERT_GE(shell.flags_.size(), 3u);  // file and key in, folder back
    for (uint32_t flags : shell.flags_)
        EXPECT_EQ(flags, shell_flags::kNoUi);
}

TEST_F(RestoreSafetyTest, PayloadStaysUnlessTheObjectIsBackWithItsContent) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Example";
    p.files.AddFile("C:\\Dir\\Bad\\x.txt", "x");
    AddRow("folder", "C:\\Dir\\Bad");
    q.cmdQuarantineSelected();
    p.files.DeleteFile("C:\\Dir\\Bad\\x.txt");
    p.files.RemoveDirectory("C:\\Dir\\Bad");
    // A key whose stored export holds a value the registry editor did not bring back (the key
    // itself is there).
    p.files.AddFile(InPackage("10001.qnf"), "regkey|10001.qit|" + key);
    p.files.AddFile(InPackage("10001.qit"), "REGEDIT4\r\n\r\n[" + key + "]\r\n\"V\"=\"1\"\r\n");
    p.registry.AddKey(key);
    ignoreImports = true;
    const std::vector<std::string> before = p.files.Tree(kPackage);

    shell.lie = true;  // the shell reports success for a copy that is not the payload
    CheckAll();
    q.cmdRestoreQuarantined();

    EXPECT_EQ(p.files.Tree(kPackage), before);
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "2");
}

TEST_F(RestoreSafetyTest, AChangedPayloadIsRefusedWithAMessage) {
    p.files.AddFile("C:\\Dir\\a.exe", "MZ payload");
    p.files.AddFile("C:\\Dir\\Bad\\x.txt", "x");
    p.registry.AddString("HKEY_CURRENT_USER\\Software\\Example", "V", "text");
    AddRow("file", "C:\\Dir\\a.exe");
    AddRow("folder", "C:\\Dir\\Bad");
    AddRow("regval", "HKEY_CURRENT_USER\\Software\\Example,V");
    q.cmdQuarantineSelected();
    EXPECT_EQ(p.files.Content(InPackage("10000.sha256")), Sha256Hex("MZ payload"));
    p.files.DeleteFile("C:\\Dir\\a.exe");
    p.files.DeleteFile("C:\\Dir\\Bad\\x.txt");
    p.files.RemoveDirectory("C:\\Dir\\Bad");
    p.registry.DeleteValue(RootKey::CurrentUser, "Software\\Example", "V");
    ASSERT_TRUE(p.files.WriteFileAtomic(InPackage("10000.qit"), "MZ evil"));
    p.files.AddFile(InPackage("10001\\Bad\\added.dll"), "new");
    ASSERT_TRUE(p.files.WriteFileAtomic(InPackage("10002.qit"), "String|changed"));
    p.ui.messages.clear();

    CheckAll();
    q.cmdRestoreQuarantined();

    EXPECT_FALSE(p.files.Exists("C:\\Dir\\a.exe"));
    EXPECT_FALSE(p.files.Exists("C:\\Dir\\Bad"));
    EXPECT_FALSE(p.registry.Value("HKEY_CURRENT_USER\\Software\\Example", "V"));
    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_NE(p.ui.messages[0].text.find("C:\\Dir\\a.exe\nthe quarantined copy has changed since it was stored"),
              std::string::npos);
    EXPECT_EQ(state.lstQuarantinedList.at(0).itemCount, "3");
    EXPECT_TRUE(Logged(kChangedPayloadLog));
}

TEST_F(RestoreSafetyTest, DamagedRecordsAreLoggedAndSkippedWithoutTouchingOtherPayloads) {
    p.files.AddFile("C:\\Dir\\a.exe", "first");
    p.files.AddFile("C:\\Dir\\b.exe", "second");
    AddRow("file", "C:\\Dir\\a.exe");
    AddRow("file", "C:\\Dir\\b.exe");
    q.cmdQuarantineSelected();
    p.files.DeleteFile("C:\\Dir\\a.exe");
    p.files.DeleteFile("C:\\Dir\\b.exe");
    // 10000 now names the payload of 10001.
    ASSERT_TRUE(p.files.WriteFileAtomic(InPackage("10000.qnf"), "file|10001.qit|C:\\Dir\\a.exe"));
    // Short and slash-ended key paths, which the registry layer would answer with a box.
    p.files.AddFile(InPackage("10002.qnf"), "regval|10002.qit|HKCU\\Software\\Example,V");
    p.files.AddFile(InPackage("10002.qit"), "String|x");
    p.files.AddFile(InPackage("10003.qnf"), "regkey|10003.qit|HKEY_CURRENT_USER\\Software\\Example\\");
    p.files.AddFile(InPackage("10003.qit"), "[HKEY_CURRENT_USER\\Software\\Example]");
    // A folder copy reached through a link in the package.
    p.files.AddFolderLink(InPackage("10004"));
    p.files.AddFile(InPackage("10004.qnf"), "folder|10004\\Bad|C:\\Dir\\Bad");
    // A folder copy whose holder resolves elsewhere without a reparse attribute (Wine's links).
    p.files.AddFile(InPackage("10005\\Bad\\x.txt"), "x");
    p.files.AddFile(InPackage("10005.qnf"), "folder|10005\\Bad|C:\\Dir\\Bad2");
    p.files.finalPath = [](const std::string& path) -> std::optional<std::string> {
        std::string key = ToLowerAscii(path);
        std::string holder = ToLowerAscii(std::string(kPackage) + "\\10005");
        if (StartsWith(key, holder))
            return "C:\\Elsewhere" + path.substr(holder.size());
        return path;
    };
    p.ui.messages.clear();

    CheckAll();
    q.cmdRestoreQuarantined();

    // No box for each damaged record: one at the end names every record that stayed, and why.
    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_TRUE(StartsWith(p.ui.messages[0].text, kNotRestoredMessage));
    EXPECT_NE(p.ui.messages[0].text.find("its record is damaged"), std::string::npos);
    EXPECT_TRUE(Logged(kRestoredLog + std::string("C:\\Dir\\b.exe")));
    EXPECT_FALSE(p.files.Exists("C:\\Dir\\a.exe"));
    EXPECT_EQ(p.files.Content("C:\\Dir\\b.exe"), "second");  // 10001 restores by itself
    EXPECT_FALSE(p.files.Exists("C:\\Dir\\Bad2"));
    EXPECT_TRUE(p.files.Exists(InPackage("10000.qit")));
    EXPECT_TRUE(p.files.Exists(InPackage("10005\\Bad\\x.txt")));
    for (const char* record : {"10000", "10002", "10003", "10004", "10005"}) {
        EXPECT_TRUE(p.files.Exists(InPackage(std::string(record) + ".qnf"))) << record;
        EXPECT_TRUE(Logged(kDamagedRecordLog + std::string(kName) + "\\" + record + ".qnf")) << record;
    }
    EXPECT_FALSE(p.files.Exists(InPackage("10001.qnf")));
}

TEST_F(RestoreSafetyTest, QuestionsAreTheProgramsOwnAndNoKeepsTheObjectInQuarantine) {
    p.files.AddFile("C:\\Dir\\a.exe", "stored");
    p.files.AddFile("C:\\Gone\\b.exe", "stored too");
    AddRow("file", "C:\\Dir\\a.exe");
    AddRow("file", "C:\\Gone\\b.exe");
    q.cmdQuarantineSelected();
    ASSERT_TRUE(p.files.WriteFileAtomic("C:\\Dir\\a.exe", "a newer file of the user"));
    p.files.DeleteFile("C:\\Gone\\b.exe");
    p.files.RemoveDirectory("C:\\Gone");
    p.ui.messages.clear();
    SetLine(state.lstSettingsFile, 3, "1");  // logging on: the restore's lines go to the log file too

    CheckAll();
    q.cmdRestoreQuarantined();  // both questions answered No
    const std::string logFile = p.files.Content("C:\\Pellora\\DavEre.roz");
    EXPECT_NE(logFile.find("\r\n     Not restored: C:\\Gone\\b.exe (its folder no longer exists"), std::string::npos)
        << logFile;
    ASSERT_EQ(p.ui.messages.size(), 3u);
    EXPECT_EQ(p.ui.messages[2].text, std::string(kNotRestoredMessage) +
                                         "\n\nC:\\Dir\\a.exe\na different file is there now, and it was kept"
                                         "\n\nC:\\Gone\\b.exe\nits folder no longer exists, and it was not created: "
                                         "C:\\Gone");
    EXPECT_EQ(p.ui.messages[0].text,
              std::string(kRestoreReplaceQuestion) + "\n\nC:\\Dir\\a.exe\n\n" + kRestoreReplaceQuestionTail);
    EXPECT_EQ(p.ui.messages[1].text,
              std::string(kRestoreCreateFolderQuestion) + "\n\nC:\\Gone\n\n" + kRestoreCreateFolderQuestionTail);
    EXPECT_EQ(p.ui.messages[1].buttons, MsgButtons::YesNo);
    EXPECT_EQ(p.files.Content("C:\\Dir\\a.exe"), "a newer file of the user");
    EXPECT_FALSE(p.files.Exists("C:\\Gone"));
    EXPECT_EQ(state.lstQuarantinedList.at(0).itemCount, "2");

    p.ui.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    CheckAll();
    q.cmdRestoreQuarantined();
    EXPECT_EQ(p.files.Content("C:\\Dir\\a.exe"), "stored");
    EXPECT_EQ(p.files.Content("C:\\Gone\\b.exe"), "stored too");
    EXPECT_TRUE(state.lstQuarantinedList.empty());
}

TEST_F(RestoreSafetyTest, AFolderIsStoredWithoutWhatItsLinksPointTo) {
    p.files.AddFile("C:\\Stuff\\Bad\\x.txt", "x");
    p.files.AddFolderLink("C:\\Stuff\\Bad\\junction");
    // A link back to the application folder that carries no reparse attribute (Wine).
    p.files.AddFile("C:\\Stuff\\Bad\\app\\Quarantine\\loop.txt", "seen through the link");
    p.files.AddFolder("C:\\Stuff\\Alias");
    p.files.finalPath = [](const std::string& path) -> std::optional<std::string> {
        for (std::string link : {"C:\\Stuff\\Bad\\app", "C:\\Stuff\\Alias"}) {
            if (StartsWith(ToLowerAscii(path), ToLowerAscii(link)))
                return "C:\\Pellora" + path.substr(link.size());
        }
        return path;
    };
    AddRow("folder", "C:\\Stuff\\Bad");
    AddRow("folder", "C:\\Stuff\\Alias");  // itself a link to the application folder
    q.cmdQuarantineSelected();

    EXPECT_EQ(p.ui.messages.at(0).text, std::string("1 items quarantined successfully."));
    EXPECT_EQ(p.files.Content(InPackage("10000\\Bad\\x.txt")), "x");
    EXPECT_FALSE(p.files.Exists(InPackage("10000\\Bad\\junction")));
    EXPECT_FALSE(p.files.Exists(InPackage("10000\\Bad\\app")));
    EXPECT_FALSE(p.files.Exists(InPackage("10001")));
    for (const char* link : {"C:\\Stuff\\Bad\\junction", "C:\\Stuff\\Bad\\app", "C:\\Stuff\\Alias"})
        EXPECT_TRUE(Logged(kLinkLeftOutLog + std::string(link))) << link;
}

// A tree reported level by level, 5,000 folders deep, with one file at the bottom.
class DeepTree : public fakes::FakeFileSystem {
  public:
    static constexpr size_t kDepth = 5000;
    static size_t Depth(const std::string& path) { return std::count(path.begin(), path.end(), '\\'); }
    bool FindEntries(const std::string& pattern, std::vector<FindEntry>& out) override {
        if (!StartsWith(pattern, "C:\\Deep"))
            return FakeFileSystem::FindEntries(pattern, out);
        // C:\Deep is level 1; the folders "d" are levels 2 to kDepth + 1, the last holds the file.
        if (Depth(pattern) - 1 <= kDepth)
            out.push_back(FindEntry{"d", file_attr::kDirectory, 0, 0});
        else
            out.push_back(FindEntry{"x.txt", file_attr::kArchive, 1, 0});
        return true;
    }
    std::optional<std::string> FileSha256(const std::string& path) override {
        return StartsWith(path, "C:\\Deep") ? std::optional<std::string>(Sha256Hex("x"))
                                            : FakeFileSystem::FileSha256(path);
    }
    bool CreateDirectory(const std::string& path) override {
        ++created;
        return path.size() < 64 ? FakeFileSystem::CreateDirectory(path) : true;
    }
    bool CopyOneFile(const std::string&, const std::string&) override { return ++copied, true; }
    size_t created = 0;
    size_t copied = 0;
};

TEST(TreeWalkTest, AFiveThousandLevelTreeIsWalkedWithoutRecursion) {
    DeepTree files;
    fakes::FakeUi ui;
    std::vector<TreeEntry> entries;
    ASSERT_TRUE(ListTreeWithoutLinks(files, ui, "C:\\Deep", entries, nullptr));
    ASSERT_EQ(entries.size(), DeepTree::kDepth + 1);
    EXPECT_EQ(DeepTree::Depth(entries.back().path), DeepTree::kDepth + 2);
    EXPECT_TRUE(CopyTreeWithoutLinks(files, ui, "C:\\Deep", "C:\\Copy", nullptr));
    EXPECT_EQ(files.created, DeepTree::kDepth + 1);
    EXPECT_EQ(files.copied, 1u);
    EXPECT_TRUE(TreeDigest(files, ui, "C:\\Deep"));
}

TEST(RegExportTest, AKeyIsBackOnlyWithEveryStoredValue) {
    const std::string stored =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"A\"=\"1\"\r\n"
        "\"Blob\"=hex:00,01,\\\r\n  02\r\n\r\n[HKEY_CURRENT_USER\\Software\\Bad\\Sub]\r\n@=\"x\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : stored + "\"More\"=dword:00000001\r\n") {
        utf16 += c;
        utf16 += '\0';
    }
    EXPECT_TRUE(ExportHolds(stored, utf16));
    EXPECT_TRUE(ExportHolds(stored,
                            "[hkey_current_user\\software\\bad]\n\"A\"=\"1\"\n\"Blob\"=hex:00,01,02\n"
                            "[HKEY_CURRENT_USER\\Software\\Bad\\Sub]\n@=\"x\"\n"));
    std::string missingValue = stored;
    missingValue.erase(missingValue.find("@=\"x\""), 5);
    EXPECT_FALSE(ExportHolds(stored, missingValue));
    EXPECT_FALSE(ExportHolds(stored, "[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"A\"=\"1\"\r\n"));
    EXPECT_FALSE(ExportHolds("", stored));
}

TEST_F(RestoreSafetyTest, PackageSizesUseTheUsersDecimalSeparator) {
    p.system.decimalSeparator = ",";
    p.files.AddFile("C:\\Pellora\\Quarantine\\p\\10000.qit", std::string(1536, 'x'));
    q.LoadToQuarantineList();
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].sizeText, "1,5 KB");
}

}  // namespace
}  // namespace pellora::testing
