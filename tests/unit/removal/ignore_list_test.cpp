#include <gtest/gtest.h>

#include "core/ignore/ignore_list.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

class IgnoreListTest : public ::testing::Test {
protected:
    static ResultRow Row(std::string type, std::string object, std::string category, std::string comment,
                         bool checked) {
        return ResultRow{std::move(type), kImageFile, std::move(category), std::move(object), std::move(comment),
                         checked};
    }
    std::vector<bool> Checks(const std::vector<ResultRow>& rows) {
        std::vector<bool> out;
        for (const ResultRow& row : rows) out.push_back(row.checked);
        return out;
    }

    fakes::FakeUi ui;
    AppState state;
    int saves = 0;
    IgnoreList ignore{state, ui, [this] {
                          ++saves;
                          // Saving runs with the button still disabled.
                          EXPECT_FALSE(state.buttons.cmdIgnoreSelected && state.buttons.cmdDeleteSelected &&
                                       state.buttons.cmdIgnoreIremovable);
                      }};
};

TEST_F(IgnoreListTest, CheckedResultRowsBecomeEntriesAndLogLines) {
    state.lstIgnoreListFile = {"path|C:\\Old.exe|Spy"};
    state.lstScanResult = {Row("path", "C:\\A\\x.exe", "Adware", "", true),
                           Row("folder", "C:\\Skip", "Adware", "", false),
                           Row("RegVal", "HKEY_CURRENT_USER\\Software\\X,Run", "Hijacker", "", true)};
    ignore.cmdIgnoreSelected();
    ignore.cmdIgnoreSelected();  // twice: stored twice

    EXPECT_EQ(state.lstIgnoreListFile,
              (std::vector<std::string>{"path|C:\\Old.exe|Spy", "path|C:\\A\\x.exe|Adware",
                                        "RegVal|HKEY_CURRENT_USER\\Software\\X,Run|Hijacker",
                                        "path|C:\\A\\x.exe|Adware",
                                        "RegVal|HKEY_CURRENT_USER\\Software\\X,Run|Hijacker"}));
    ASSERT_EQ(state.lstLog.size(), 8u);
    EXPECT_EQ(state.lstLog[0], "");
    EXPECT_EQ(state.lstLog[1], " Following items added to Ignore List:");
    EXPECT_EQ(state.lstLog[2], "     path:C:\\A\\x.exe   |Adware");
    EXPECT_EQ(state.lstLog[3], "     RegVal:HKEY_CURRENT_USER\\Software\\X,Run   |Hijacker");
    EXPECT_EQ(saves, 2);
    EXPECT_TRUE(state.buttons.cmdIgnoreSelected);
    EXPECT_TRUE(state.lstScanResult[0].checked);  // rows keep their check marks
}

TEST_F(IgnoreListTest, IrremovableRowsKeepTheirUrlWithoutLogLines) {
    state.lstIremovable = {Row("path", "C:\\B\\y.exe", "Trojan", "http://info/y", true)};
    ignore.cmdIgnoreIremovable();
    EXPECT_EQ(state.lstIgnoreListFile, std::vector<std::string>{"path|C:\\B\\y.exe|Trojan|http://info/y"});
    EXPECT_TRUE(state.lstLog.empty());

    ignore.LoadIgnoredToList();
    ASSERT_EQ(state.lstIgnoreList.size(), 1u);
    const ResultRow& row = state.lstIgnoreList[0];
    EXPECT_EQ(row.type, "path");
    EXPECT_EQ(row.category, "Trojan");
    EXPECT_EQ(row.object, "C:\\B\\y.exe");
    EXPECT_EQ(row.comment, "http://info/y");
    EXPECT_FALSE(row.checked);
    EXPECT_EQ(row.image, kImageNone);
}

// A registry name may hold "|" or a line break; as an entry it would read back as other fields
// or lines and name something else. Such rows are refused with a log line, the others go in.
TEST_F(IgnoreListTest, RowsWhoseTextWouldShiftFieldsOrLinesAreRefusedWithALogLine) {
    const std::vector<ResultRow> unfit = {
        Row("RegVal", "HKEY_CURRENT_USER\\X,a|b", "Spy", "", true),
        Row("RegKey", "HKEY_CURRENT_USER\\X\r\nY", "Spy", "", true),
        Row("RegKey", "HKEY_CURRENT_USER\\X\nY", "Spy", "", true),
        Row("path", "C:\\z.exe", "Spy", "http://x/\ry", true),
    };
    for (bool irremovable : {false, true}) {
        state.lstLog.clear();
        state.lstIgnoreListFile.clear();
        std::vector<ResultRow> rows = unfit;
        rows.push_back(Row("path", "C:\\ok.exe", "Spy", "", true));
        (irremovable ? state.lstIremovable : state.lstScanResult) = rows;
        irremovable ? ignore.cmdIgnoreIremovable() : ignore.cmdIgnoreSelected();

        EXPECT_EQ(state.lstIgnoreListFile, std::vector<std::string>{"path|C:\\ok.exe|Spy"});
        size_t refusals = 0;
        for (const std::string& line : state.lstLog) {
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
            refusals += line.starts_with(" Not added to Ignore List") ? 1 : 0;
        }
        EXPECT_EQ(refusals, unfit.size());
    }
}

TEST_F(IgnoreListTest, DeletingCheckedEntriesRewritesTheRest) {
    state.lstIgnoreListFile = {"path|C:\\1|A", "file|C:\\2|B|http://u", "regkey|HKEY_CURRENT_USER\\Software\\3|C",
                               "a|b|c|d|e"};
    ignore.LoadIgnoredToList();
    EXPECT_EQ(state.lstIgnoreList[3].comment, "d");  // a fifth field has no column
    std::vector<std::string> before = state.lstIgnoreListFile;
    ignore.cmdDeleteSelected();  // nothing checked: every line stays as written
    EXPECT_EQ(state.lstIgnoreListFile, before);

    state.lstIgnoreList[0].checked = true;
    state.lstIgnoreList[2].checked = true;
    ignore.cmdDeleteSelected();
    EXPECT_EQ(state.lstIgnoreListFile, (std::vector<std::string>{"file|C:\\2|B|http://u", "a|b|c|d|e"}));
    EXPECT_EQ(state.lstIgnoreList.size(), 2u);
    EXPECT_TRUE(state.buttons.cmdDeleteSelected);

    ignore.mnuIgnoreListAll_Click();
    ignore.cmdDeleteSelected();
    EXPECT_TRUE(state.lstIgnoreListFile.empty());
}

TEST_F(IgnoreListTest, SelectionCommandsActOnTheirOwnListOnly) {
    state.lstScanResult = {Row("path", "1", "", "", true), Row("path", "2", "", "", false),
                           Row("path", "3", "", "", true), Row("path", "4", "", "", false)};
    state.lstIgnoreList = state.lstScanResult;
    state.lstQuarantinedList.resize(2);

    ignore.mnuResultListInverse_Click();
    EXPECT_EQ(Checks(state.lstScanResult), (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(Checks(state.lstIgnoreList), (std::vector<bool>{true, false, true, false}));
    ignore.mnuIgnoreListNone_Click();
    EXPECT_EQ(Checks(state.lstIgnoreList), (std::vector<bool>{false, false, false, false}));
    ignore.mnuResultListAll_Click();
    EXPECT_EQ(Checks(state.lstScanResult), (std::vector<bool>{true, true, true, true}));
    ignore.mnuQuarantineListAll_Click();
    EXPECT_TRUE(state.lstQuarantinedList[0].checked && state.lstQuarantinedList[1].checked);
    ignore.mnuQuarantineListInverse_Click();
    EXPECT_FALSE(state.lstQuarantinedList[0].checked || state.lstQuarantinedList[1].checked);

    // A list that empties while the command yields ends the command, not the program.
    ui.onYield = [this] { state.lstScanResult.clear(); };
    ignore.mnuResultListNone_Click();
    EXPECT_TRUE(state.lstScanResult.empty());
}

}  // namespace
}  // namespace pellora
