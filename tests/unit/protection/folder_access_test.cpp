#include "core/protection/folder_access.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using Entry = FileSystemPort::AccessEntry;
constexpr uint32_t kFullControl = 0x1f01ff;
constexpr uint32_t kReadAndExecute = 0x1200a9;
constexpr uint32_t kModify = 0x1301bf;

TEST(BroadGroupThatMayChange, NamesTheFirstBroadGroupWithAnyChangingRightTheEntriesStillGive) {
    const std::vector<Entry> installed = {{true, "S-1-5-32-544", kFullControl, false},
                                          {true, "S-1-5-18", kFullControl, false},
                                          {true, "S-1-5-32-545", kReadAndExecute, false}};
    EXPECT_EQ(BroadGroupThatMayChange(installed), std::nullopt);

    struct Case {
        std::vector<Entry> entries;
        std::optional<std::string> group;
    };
    const Case cases[] = {
        // A folder below the drive root inherits "Authenticated Users: Modify".
        {{{true, "S-1-5-32-544", kFullControl, false}, {true, "S-1-5-11", kModify, false}}, "Authenticated Users"},
        // What Wine reports for mode 777.
        {{{true, "S-1-1-0", kFullControl, false}}, "Everyone"},
        {{{true, "S-1-5-4", 0x40000000, false}}, "Interactive"},  // generic write
        {{{true, "S-1-5-32-545", 0x0004, false}}, "Users"},       // may add a folder
        {{{true, "S-1-5-32-545", 0x00010000, false}}, "Users"},   // may delete
        {{{true, "S-1-5-32-545", 0x00040000, false}}, "Users"},   // may change the list
        // Only handed down to new objects: it gives nothing on this one.
        {{{true, "S-1-5-32-545", kFullControl, true}}, std::nullopt},
        // A deny before the allow takes the rights away, one for Everyone from every group;
        // a deny after an allow comes too late.
        {{{false, "S-1-5-32-545", kModify, false}, {true, "S-1-5-32-545", kModify, false}}, std::nullopt},
        {{{false, "S-1-1-0", kModify, false}, {true, "S-1-5-11", kModify, false}}, std::nullopt},
        {{{true, "S-1-5-11", kModify, false}, {false, "S-1-5-11", kModify, false}}, "Authenticated Users"},
        {{{false, "S-1-5-11", 0x0002, false}, {true, "S-1-5-11", 0x0006, false}}, "Authenticated Users"},
        // One named account is not a broad group.
        {{{true, "S-1-5-21-1-2-3-1001", kFullControl, false}}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BroadGroupThatMayChange(c.entries), c.group) << c.entries.front().sid;
}

class ApplicationFolderTest : public ::testing::Test {
  protected:
    ApplicationFolderTest() {
        platform.files.AddFile("C:\\Tools\\Pellora\\Pellora.exe", "MZ");
        platform.files.AddFile("C:\\Tools\\Pellora\\DataBase.ref", "db");
        platform.files.AddFolder("C:\\Tools\\Pellora\\Keys");
    }
    fakes::FakePlatform platform;
    const std::string folder = "C:\\Tools\\Pellora";
};

TEST_F(ApplicationFolderTest, TheFolderAndWhatPelloraTrustsInItAreCheckedAndTheFirstWritableOneIsNamed) {
    EXPECT_EQ(FindUnsafeApplicationObject(platform.files, folder), std::nullopt);

    platform.files.AddFile(folder + "\\Keys\\release.pem", "key");
    for (const char* name : {"", "\\Pellora.exe", "\\Keys", "\\Keys\\release.pem", "\\DataBase.ref"}) {
        const std::string path = folder + name;
        platform.files.accessEntries = {{path, {{true, "S-1-1-0", kFullControl, false}}}};
        std::optional<UnsafeObject> unsafe = FindUnsafeApplicationObject(platform.files, folder);
        ASSERT_TRUE(unsafe) << path;
        EXPECT_EQ(unsafe->path, path);
        EXPECT_EQ(unsafe->group, "Everyone");
    }
    EXPECT_EQ(UnsafeFolderText({folder + "\\Pellora.exe", "Everyone"}, folder),
              "Everyone may change C:\\Tools\\Pellora\\Pellora.exe, so anyone could replace what Pellora runs with "
              "administrator rights; run the Pellora installer again for C:\\Tools\\Pellora (it lets only "
              "Administrators and SYSTEM write there)");

    // A list nobody lets an administrator read is as bad as a writable one.
    platform.files.accessEntries.clear();
    platform.files.unreadableAccess = {folder + "\\Pellora.exe"};
    std::optional<UnsafeObject> unreadable = FindUnsafeApplicationObject(platform.files, folder);
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->group, "");
    EXPECT_EQ(UnsafeFolderText(*unreadable, folder)
                  .rfind("C:\\Tools\\Pellora\\Pellora.exe has an access list that "
                         "cannot be read, so anyone could replace",
                         0),
              0u);
}

TEST_F(ApplicationFolderTest, SecuringAsksForTheInstallersListOnTheChosenFolder) {
    ASSERT_TRUE(SecureApplicationFolder(platform.files, folder));
    ASSERT_EQ(platform.files.accessListsSet.size(), 1u);
    EXPECT_EQ(platform.files.accessListsSet[0].first, folder);
    EXPECT_EQ(platform.files.accessListsSet[0].second, "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
    platform.files.failSetAccess = true;
    EXPECT_FALSE(SecureApplicationFolder(platform.files, folder));
}

}  // namespace
}  // namespace pellora
