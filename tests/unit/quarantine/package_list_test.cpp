#include "quarantine_fixture.h"

#include "core/scan/scan_report.h"

namespace pellora::testing {
namespace {

TEST_F(QuarantineTest, ListShowsSizesItemsAndStrayFiles) {
    quarantine.LoadToQuarantineList();
    EXPECT_TRUE(state.lstQuarantinedList.empty());
    EXPECT_EQ(state.status.noQuarantined, "0");

    const std::string root = "C:\\Pellora\\Quarantine\\";
    p.files.AddFile(root + "a\\10000.qnf", std::string(1000, 'r'));
    p.files.AddFile(root + "a\\10000.qit", std::string(24, 'p'));
    p.files.AddFile(root + "a\\10001\\Bad\\big.bin", std::string(512, 'b'));  // a copy: size, not an item
    p.files.AddFile(root + "a\\desktop.ini", "ignored by the listing");
    p.files.AddFile(root + "b\\10000.qnf", std::string(1023, 'r'));
    p.files.AddFile(root + "stray.txt", "loose");
    p.files.AddFile(root + "desktop.ini", "");
    p.files.AddFolderLink(root + "link");

    quarantine.LoadToQuarantineList();
    ASSERT_EQ(state.lstQuarantinedList.size(), 4u);
    EXPECT_EQ(state.status.noQuarantined, "4");
    const auto& a = state.lstQuarantinedList[0];
    EXPECT_EQ(a.name, "a");
    EXPECT_EQ(a.sizeText, "1.5 KB");
    EXPECT_EQ(a.itemCount, "1");
    EXPECT_EQ(state.lstQuarantinedList[1].sizeText, "1023 bytes");
    EXPECT_EQ(state.lstQuarantinedList[2].name, "link");
    EXPECT_EQ(state.lstQuarantinedList[3].name, "stray.txt");
    EXPECT_EQ(state.lstQuarantinedList[3].sizeText, "0 bytes");
    EXPECT_EQ(state.lstQuarantinedList[3].itemCount, "0");
}

TEST_F(QuarantineTest, ContentsShowKnownRecordsWithTheirIcons) {
    p.files.AddFile(InPackage("10000.qnf"), "Cookie|10000.qit|C:\\Cookies\\user@ads.txt");
    p.files.AddFile(InPackage("10001.qnf"), "regval|10001.qit|HKEY_CURRENT_USER\\Software\\Example,Run");
    p.files.AddFile(InPackage("10002.qnf"), "proc|10002.qit|bad.exe");
    quarantine.LoadToQuarantineList();

    state.panel = Panel::Quarantined;
    quarantine.cmdViewData();  // nothing highlighted
    EXPECT_EQ(state.panel, Panel::Quarantined);

    state.highlightedPackage = 0;
    quarantine.cmdViewData();
    ASSERT_EQ(state.lstQuarantinedItems.size(), 2u);
    EXPECT_EQ(state.lstQuarantinedItems[0].type, "Cookie");
    EXPECT_EQ(state.lstQuarantinedItems[0].image, kImageCookie);
    EXPECT_EQ(state.lstQuarantinedItems[0].storedItem, "10000.qit");
    EXPECT_EQ(state.lstQuarantinedItems[0].source, "C:\\Cookies\\user@ads.txt");
    EXPECT_EQ(state.lstQuarantinedItems[0].place, "C:\\Cookies\\user@ads.txt");
    EXPECT_EQ(state.lstQuarantinedItems[1].image, kImageRegVal);
    EXPECT_EQ(state.panel, Panel::QItems);
}

// The contents say which package is open, from when, and where each object was: a source that
// is only a name says what kind of place it names.
TEST_F(QuarantineTest, ContentsNameThePackageItsScanAndEachObjectsPlace) {
    p.files.AddFile(InPackage("10000.qnf"),
                    "path|10000.qit|C:\\Bad\\bad.exe|00000001:" + std::string(32, '0') + ":C:\\Bad");
    p.files.AddFile(InPackage("10001.qnf"), "service|10001.qit|BadService");
    p.files.AddFile(InPackage("10002.qnf"), "task|10002.qit|\\Bad Updater");
    p.files.AddFile(InPackage("10003.qnf"), "hosts|10003.qit|ads.example");
    p.files.AddFile("C:\\Pellora\\Quarantine\\readme.txt", "loose");
    p.files.AddFile("C:\\Pellora\\Quarantine\\6-12-2026-9-05-7\\10000.qnf", "path|10000.qit|C:\\x.exe");
    quarantine.LoadToQuarantineList();
    ASSERT_EQ(state.lstQuarantinedList.size(), 3u);
    auto view = [this](const std::string& name) {
        state.highlightedPackage = -1;
        for (size_t i = 0; i < state.lstQuarantinedList.size(); ++i) {
            if (state.lstQuarantinedList[i].name == name)
                state.highlightedPackage = static_cast<int>(i);
        }
        quarantine.cmdViewData();
    };

    view("6-12-2026-9-5-7");
    EXPECT_EQ(state.quarantineItemsCaption, "Package 6-12-2026-9-5-7 (scan of 06/12/2026  09:05:07): 4 items");
    std::vector<std::string> places;
    for (const QuarantinedItemRow& row : state.lstQuarantinedItems)
        places.push_back(row.place);
    EXPECT_EQ(places, (std::vector<std::string>{"C:\\Bad\\bad.exe", "service BadService",
                                                "scheduled task \\Bad Updater", "hosts file: ads.example"}));
    EXPECT_EQ(state.lstQuarantinedItems[1].storedItem, "10001.qit");

    // Names that are not a scan's stamp (a leading zero, a stray file) are shown without a date.
    view("6-12-2026-9-05-7");
    EXPECT_EQ(state.quarantineItemsCaption, "Package 6-12-2026-9-05-7: 1 item");
    view("readme.txt");
    EXPECT_EQ(state.quarantineItemsCaption, "Package readme.txt: 0 items");
    for (const char* stamp :
         {"", "6-12-2026-9-5", "6-12-2026-9-5-7-1", "6-13-2026-9-5-7", "0-12-2026-9-5-7", "6-12-2026-24-5-7",
          "6-12-2026-9-60-7", "6-12-26-9-5-7", "6-12-2026--5-7", "6-12-2026-9-5-7a", "6-12-20261-9-5-7"}) {
        EXPECT_FALSE(ParseScanStamp(stamp)) << stamp;
    }
    std::optional<LocalTime> made = ParseScanStamp("31-1-1999-23-59-0");
    ASSERT_TRUE(made);
    EXPECT_EQ(ScanStamp(*made), "31-1-1999-23-59-0");
}

TEST_F(QuarantineTest, DeletingCheckedPackagesRemovesThemWhole) {
    const std::string root = "C:\\Pellora\\Quarantine\\";
    p.files.AddFile(root + "a\\10000.qnf", "r");
    p.files.AddFile(root + "a\\10001\\Bad\\sub\\x.txt", "x", file_attr::kReadOnly | file_attr::kHidden);
    p.files.AddFile(root + "b\\10000.qit", "p");
    p.files.AddFile(root + "keep\\10000.qnf", "r");
    p.files.AddFile(root + "stray.txt", "loose");
    p.files.AddFile("C:\\Target\\precious.txt", "outside");
    p.files.AddFolderLink(root + "a\\link");
    state.lstScanInfoFile = {"1", "7"};
    quarantine.LoadToQuarantineList();
    for (auto& row : state.lstQuarantinedList)
        row.checked = row.name != "keep";

    state.busy = true;  // a scan waiting for its removal run keeps its flag
    quarantine.cmdDeleteQuarantined();

    EXPECT_FALSE(p.files.Exists(root + "a"));
    EXPECT_FALSE(p.files.Exists(root + "b"));
    EXPECT_FALSE(p.files.Exists(root + "stray.txt"));
    EXPECT_TRUE(p.files.Exists(root + "keep\\10000.qnf"));
    EXPECT_TRUE(p.files.Exists("C:\\Target\\precious.txt"));
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstScanInfoFile, (std::vector<std::string>{"1", "7"}));
    EXPECT_TRUE(state.busy);
}

TEST_F(QuarantineTest, DeleteListedItemsCountsWhatReallyWent) {
    p.files.AddFile("C:\\T\\f.txt", "x", file_attr::kReadOnly | file_attr::kHidden);
    p.files.AddFile("C:\\T\\locked.txt", "x");
    p.files.Lock("C:\\T\\locked.txt");
    p.files.AddFile("C:\\Elsewhere\\inside.txt", "x");
    p.files.AddFolderLink("C:\\T\\link");
    state.lstScanInfoFile = {"1", "7"};

    for (const char* path : {"C:\\T\\f.txt", "C:\\T\\locked.txt", "C:\\T\\link", "C:\\T\\missing", "C:\\T"}) {
        state.lstCustomDelete.Add(path);
    }
    EXPECT_EQ(fileOps.DeleteListedItems(), 2u);  // the file and the link; the folder still holds one
    EXPECT_FALSE(p.files.Exists("C:\\T\\f.txt"));
    EXPECT_TRUE(p.files.Exists("C:\\T\\locked.txt"));
    EXPECT_TRUE(p.files.Exists("C:\\Elsewhere\\inside.txt"));
    EXPECT_EQ(state.lstScanInfoFile, (std::vector<std::string>{"1", "7"}));
    EXPECT_EQ(state.lstCustomDelete.Count(), 5u);  // the caller's list is left as it was
    EXPECT_GE(p.ui.yields, 5u);

    // Lists beyond 32767 rows are worked through to the end.
    state.lstCustomDelete.Clear();
    for (int i = 0; i < 40000; ++i)
        state.lstCustomDelete.Add("C:\\Many\\f" + std::to_string(i));
    p.files.AddFile("C:\\Many\\f39999", "last");
    EXPECT_EQ(fileOps.DeleteListedItems(), 1u);
    EXPECT_FALSE(p.files.Exists("C:\\Many\\f39999"));
}

}  // namespace
}  // namespace pellora::testing
