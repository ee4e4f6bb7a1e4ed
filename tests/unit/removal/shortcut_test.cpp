// The "shortcut" kind: the links of the desktops, Start menus, Quick Launch and Startup folders
// whose target or arguments hold a hijacker's text are found (never through a link, never a
// damaged or huge file), a browser's repaired with its other arguments kept, any other deleted,
// the original bytes stored and written back by restore; a file swapped since the scan is left.
#include <gtest/gtest.h>

#include "core/autostart/autostart.h"
#include "core/autostart/command_line.h"
#include "core/autostart/shortcut_places.h"
#include "core/database/persistence_kinds.h"
#include "core/removal/object_presence.h"
#include "unit/removal/persistence_fixture.h"

namespace pellora {
namespace {

using autostart::test_links::BuildLink;
using autostart::test_links::LinkSpec;

constexpr const char* kRoaming = R"(C:\Users\bob\AppData\Roaming)";  // the fixture's APPDATA
const std::string kDesktop = R"(C:\Users\bob\Desktop)";
const std::string kPrograms = std::string(kRoaming) + R"(\Microsoft\Windows\Start Menu\Programs)";
const std::string kTaskBar = std::string(kRoaming) + R"(\Microsoft\Internet Explorer\Quick Launch\User Pinned\TaskBar)";
const std::string kChrome = kDesktop + R"(\Chrome.lnk)";
const std::string kUpdater = kPrograms + R"(\Startup\Updater.lnk)";
const std::string kEdge = kTaskBar + R"(\Edge.lnk)";
const std::string kFirefox = R"(C:\Users\Public\Desktop\Firefox.lnk)";
constexpr const char* kChromeArguments =
    R"(--profile-directory="Profile 1" http://HIJACK.example/?src=lnk --new-window)";

std::string Link(const std::string& folder, const std::string& program, std::optional<std::string> arguments) {
    LinkSpec link;
    link.basePath = folder;
    link.suffix = program;
    link.arguments = std::move(arguments);
    return BuildLink(link);
}

// Beside the fixture's own Startup link (to its planted program, holding no address).
class ShortcutTest : public PersistenceTest {
  protected:
    void SetUp() override {
        PersistenceTest::SetUp();
        state.lstCustomScanSettings = {"0", "0", "0", "0", "1", "0", "0"};  // automatic erase
        state.lstDBaseFile = {"Version 1", "shortcut|hijack.example|Hijack.Shortcut|", "shortcut|  |Blank|",
                              "shortcut|nowhere.example|Hijack.Other|"};
        p.system.environment["USERPROFILE"] = R"(C:\Users\bob)";
        p.system.environment["PUBLIC"] = R"(C:\Users\Public)";
        p.system.environment["PROGRAMDATA"] = R"(C:\ProgramData)";
        const std::string chromeFolder = R"(C:\Program Files\Google\Chrome\Application\)";
        originals[kChrome] = Link(chromeFolder, "chrome.exe", kChromeArguments);
        originals[kUpdater] = Link(R"(C:\Users\bob\AppData\Local\Upd\)", "upd.exe", "--feed hijack.example");
        originals[kEdge] =
            Link(R"(C:\Program Files (x86)\Microsoft\Edge\Application\)", "msedge.exe", "https://hijack.example/");
        originals[kFirefox] = Link(R"(C:\Program Files\Mozilla Firefox\)", "firefox.exe", std::nullopt);
        for (const auto& [path, bytes] : originals)
            p.files.AddFile(path, bytes);

        // What is never read: through a junction, through a Wine-style link, a link in the
        // .lnk's own place, a file too large, damaged bytes.
        const std::string evil = Link(R"(C:\Evil\)", "evil.exe", "hijack.example");
        p.files.AddFile(R"(C:\Elsewhere\Bad.lnk)", evil);
        p.files.AddFolderLinkTo(kPrograms + R"(\Junction)", R"(C:\Elsewhere)", true);
        p.files.AddFolderLinkTo(kPrograms + R"(\WineLink)", R"(C:\Elsewhere)", false);
        p.files.AddFile(kPrograms + R"(\WineLink\Bad.lnk)", evil);
        p.files.AddFile(R"(C:\Secret\token.lnk)", evil);
        p.files.AddFile(kDesktop + R"(\Planted.lnk)", evil);
        p.files.AddAlias(kDesktop + R"(\Planted.lnk)", R"(C:\Secret\token.lnk)");
        p.files.AddFile(kDesktop + R"(\Huge.lnk)", evil + std::string(autostart::kMaxShortcutLength, '\0'));
        p.files.AddFile(kDesktop + R"(\Damaged.lnk)", "hijack.example");
    }

    std::vector<std::string> Found() const {
        std::vector<std::string> found;
        for (const ResultRow& row : state.lstScanResult)
            found.push_back(row.type + " " + row.object + " " + row.shortcutText);
        return found;
    }
    std::vector<std::string> Package() const { return p.files.Tree("C:\\Pellora\\Quarantine\\" + state.scanStamp); }
    std::string ArgumentsOf(const std::string& path) const {
        auto link = autostart::ReadShortcut(p.files.Content(path));
        return link ? link->arguments : "(unreadable)";
    }

    std::map<std::string, std::string> originals;
};

TEST_F(ShortcutTest, LinksHoldingTheTextAreFoundOnceEachAndNothingIsReadThroughALink) {
    scanner.StartScan();
    EXPECT_EQ(Found(), (std::vector<std::string>{"shortcut " + kChrome + " hijack.example",
                                                 "shortcut " + kUpdater + " hijack.example",
                                                 "shortcut " + kEdge + " hijack.example"}));
    ASSERT_EQ(state.lstScanResult.size(), 3u);
    const ResultRow& chrome = state.lstScanResult[0];
    EXPECT_EQ(chrome.category, "Hijack.Shortcut");
    ASSERT_TRUE(chrome.foundAs.has_value());
    EXPECT_TRUE(EqualsIgnoreCase(chrome.foundAs->finalPath, kChrome));
    EXPECT_EQ(state.counters.scannedObjects, 3);
    EXPECT_EQ(state.counters.filesIdentified, 3);
}

TEST_F(ShortcutTest, ABrowsersLinkIsRepairedAnotherDeletedAndRestoreGivesBackEveryByte) {
    scanner.StartScan();
    const std::vector<ResultRow> rows = state.lstScanResult;
    for (const ResultRow& row : rows)
        EXPECT_EQ(ObjectPresence(row, "", p.files, p.registry), Presence::Present) << row.object;
    run.cmdNextDelete_Click();
    // Gone for the console's list of what remains: the repaired ones hold the text no more.
    for (const ResultRow& row : rows)
        EXPECT_EQ(ObjectPresence(row, "", p.files, p.registry), Presence::Absent) << row.object;

    // Only the arguments that held the text went; the others stay as written, every other
    // byte of the link too.
    EXPECT_EQ(p.files.Content(kChrome),
              autostart::ReplaceArguments(originals[kChrome], R"(--profile-directory="Profile 1" --new-window)"));
    EXPECT_EQ(ArgumentsOf(kEdge), "");
    EXPECT_FALSE(p.files.Exists(kUpdater));
    EXPECT_EQ(p.files.Content(kFirefox), originals[kFirefox]);
    EXPECT_TRUE(Logged("Shortcut repaired=" + kChrome + " (hijack.example taken out)"));
    EXPECT_TRUE(Logged("Shortcut repaired=" + kEdge + " (hijack.example taken out)"));
    EXPECT_TRUE(Logged("Shortcut deleted=" + kUpdater));
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "3");
    size_t records = 0;
    for (const std::string& path : Package()) {
        EXPECT_FALSE(EndsWith(path, ".tmp")) << path;
        if (EndsWith(path, ".qnf")) {
            ++records;
            EXPECT_TRUE(StartsWith(p.files.Content(path), "shortcut|")) << p.files.Content(path);
        }
    }
    EXPECT_EQ(records, 3u);

    RestoreAll();
    for (const auto& [path, bytes] : originals)
        EXPECT_EQ(p.files.Content(path), bytes) << path;
    EXPECT_TRUE(state.lstQuarantinedList.empty());
}

TEST_F(ShortcutTest, TwoTextsInOneLinkAreEachTakenOut) {
    state.lstDBaseFile.push_back("shortcut|--NEW-WINDOW|Hijack.Other|");
    scanner.StartScan();
    ASSERT_EQ(state.lstScanResult.size(), 4u);
    run.cmdNextDelete_Click();
    EXPECT_EQ(ArgumentsOf(kChrome), R"(--profile-directory="Profile 1")");
    EXPECT_TRUE(Logged("Shortcut repaired=" + kChrome + " (--NEW-WINDOW taken out)"));
    RestoreAll();
    EXPECT_EQ(p.files.Content(kChrome), originals[kChrome]);
}

TEST_F(ShortcutTest, ByHandARepairIsStillStoredAndAFileSwappedOrChangedSinceTheScanStays) {
    state.lstCustomScanSettings[4] = "0";
    scanner.StartScan();
    ASSERT_EQ(state.lstScanResult.size(), 3u);
    for (ResultRow& row : state.lstScanResult)
        row.checked = true;
    // Since the scan: the Edge link is now another file, the updater's no longer holds the text.
    p.files.AddAlias(kEdge, R"(C:\Secret\token.lnk)");
    const std::string updaterNow = Link(R"(C:\Users\bob\AppData\Local\Upd\)", "upd.exe", "--feed good.example");
    ASSERT_TRUE(p.files.WriteFileAtomic(kUpdater, updaterNow));
    p.ui.answers.push_back(MsgAnswer::Yes);
    run.cmdNextDelete_Click();

    EXPECT_EQ(ArgumentsOf(kChrome), R"(--profile-directory="Profile 1" --new-window)");
    EXPECT_TRUE(Logged("Shortcut not removed=" + kEdge + " (not the object that was found)"));
    EXPECT_EQ(p.files.Content(kEdge), originals[kEdge]);
    EXPECT_TRUE(Logged("Shortcut not found=" + kUpdater + " (it no longer holds hijack.example)"));
    EXPECT_EQ(p.files.Content(kUpdater), updaterNow);
    size_t records = 0;
    for (const std::string& path : Package())
        records += EndsWith(path, ".qnf") ? 1 : 0;
    EXPECT_EQ(records, 1u);
}

TEST_F(ShortcutTest, ATextInNearlyEveryLinkFindsButRemovesNothingUnattended) {
    state.lstDBaseFile = {"Version 1", "shortcut|.EXE|Loose|"};
    scanner.StartScan();
    ASSERT_EQ(state.lstScanResult.size(), 5u);  // the fixture's Startup link too
    run.cmdNextDelete_Click();
    for (const auto& [path, bytes] : originals)
        EXPECT_EQ(p.files.Content(path), bytes) << path;
    EXPECT_TRUE(Logged("Not removed automatically=" + kChrome + " (\".EXE\" is part of nearly every shortcut)"));
}

TEST_F(ShortcutTest, TheFoldersAreTheShellFolderValuesOrElseTheFallbacks) {
    const std::string explorer = R"(Software\Microsoft\Windows\CurrentVersion\Explorer\)";
    p.registry.AddString("HKEY_CURRENT_USER\\" + explorer + "User Shell Folders", "Desktop",
                         R"(%USERPROFILE%\OneDrive\Desktop\)");
    p.registry.AddString("HKEY_LOCAL_MACHINE\\" + explorer + "Shell Folders", "Common Desktop", R"(D:\Shared)");
    p.registry.AddString("HKEY_LOCAL_MACHINE\\" + explorer + "User Shell Folders", "Common Startup",
                         std::string("C:\\Bad\0Startup", 14));
    const std::string commonMenu = R"(C:\ProgramData\Microsoft\Windows\Start Menu)";
    EXPECT_EQ(autostart::ShortcutFolders(p.registry, p.system),
              (std::vector<std::string>{
                  R"(C:\Users\bob\OneDrive\Desktop)", std::string(kRoaming) + R"(\Microsoft\Windows\Start Menu)",
                  kPrograms + "\\Startup", std::string(kRoaming) + R"(\Microsoft\Internet Explorer\Quick Launch)",
                  R"(D:\Shared)", commonMenu, commonMenu + R"(\Programs\StartUp)"}));
}

TEST(ShortcutArguments, OnlyTheArgumentsHoldingTheTextGoAndTheOthersStayAsWritten) {
    using autostart::ArgumentsWithout;
    EXPECT_EQ(ArgumentsWithout(R"(--a "http://EVIL.example/x y" --b)", "evil.example"), "--a --b");
    EXPECT_EQ(ArgumentsWithout("evil.example", "evil.example"), "");
    EXPECT_EQ(ArgumentsWithout("  evil.example\t--b ", "evil.example"), "  --b ");
    EXPECT_EQ(ArgumentsWithout(R"("a b"  c\"evil.example --d)", "evil.example"), R"("a b" --d)");
    EXPECT_EQ(ArgumentsWithout(R"(--x="a b" "--y=evil.example")", "evil.example"), R"(--x="a b")");
    EXPECT_EQ(ArgumentsWithout("--x", "evil.example"), std::nullopt);
    EXPECT_EQ(ArgumentsWithout(std::string(3 * autostart::kMaxCommandLength + 1, 'e'), "e"), std::nullopt);

    const std::vector<autostart::CommandArgument> split = autostart::SplitArguments(R"(a "b c"  d\"e)");
    ASSERT_EQ(split.size(), 3u);
    EXPECT_EQ(split[1].value, "b c");
    EXPECT_EQ(split[1].begin, 2u);
    EXPECT_EQ(split[1].end, 7u);
    EXPECT_EQ(split[2].value, "d\"e");
    EXPECT_EQ(split[2].end, 13u);
}

TEST(ShortcutArguments, ABrowsersLinkIsRepairedAnyOtherDeleted) {
    using Action = autostart::ShortcutRemoval::Action;
    auto plan = [](const std::string& target, const std::string& arguments, const char* text = "Evil.Example") {
        autostart::Shortcut link;
        link.target = target;
        link.arguments = arguments;
        return autostart::PlanShortcutRemoval(link, text);
    };
    EXPECT_EQ(plan(R"(C:\Chrome\CHROME.EXE)", "evil.example --x").action, Action::Repair);
    EXPECT_EQ(plan(R"(C:\Chrome\CHROME.EXE)", "evil.example --x").arguments, "--x");
    EXPECT_EQ(plan(R"(C:\Users\bob\Opera GX\launcher.exe)", "evil.example").action, Action::Repair);
    EXPECT_EQ(plan(R"(C:\Program Files\Internet Explorer\iexplore.exe)", "x evil.example").action, Action::Repair);
    // A browser's name on a program inside the hijacker's own folder, and other programs.
    EXPECT_EQ(plan(R"(C:\evil.example\chrome.exe)", "--x").action, Action::Delete);
    EXPECT_EQ(plan(R"(C:\Tools\launcher.exe)", "evil.example").action, Action::Delete);
    EXPECT_EQ(plan(R"(C:\Tools\chrome.exe.bat)", "evil.example").action, Action::Delete);
    EXPECT_EQ(plan(R"(C:\Chrome\chrome.exe)", "evil .example").action, Action::NotHeld);
    EXPECT_EQ(plan(R"(C:\Chrome\chrome.exe)", "--x \"evil.exa\"mple").arguments, "--x");
    EXPECT_EQ(plan(R"(C:\Chrome\chrome.exe)", "evil.example --x", "example --x").action, Action::Unrepairable);
    EXPECT_EQ(plan(R"(C:\Chrome\chrome.exe)", "--x").action, Action::NotHeld);

    EXPECT_NE(ShortcutTextRefusal(" \t"), "");
    EXPECT_NE(ShortcutTextRefusal(std::string(1025, 'x')), "");
    EXPECT_EQ(ShortcutTextRefusal(std::string(1024, 'x')), "");
    EXPECT_NE(LooseShortcutText("http"), "");
    EXPECT_EQ(LooseShortcutText("evil.example"), "");
}

}  // namespace
}  // namespace pellora
