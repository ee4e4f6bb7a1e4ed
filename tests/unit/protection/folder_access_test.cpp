#include "core/protection/folder_access.h"
#include "core/protection/write_access.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using Entry = FileSystemPort::AccessEntry;
constexpr uint32_t kFullControl = 0x1f01ff;
constexpr uint32_t kReadAndExecute = 0x1200a9;
constexpr uint32_t kModify = 0x1301bf;

constexpr const char* kUser = "S-1-5-21-1000-2000-3000-1001";
constexpr const char* kWineUser = "S-1-5-21-0-0-0-1000";

TEST(OtherSidWith, NamesTheFirstAllowEntryWithARightForAnyoneButTheSystem) {
    const std::vector<Entry> installed = {
        {true, "S-1-5-32-544", kFullControl, false},
        {true, "S-1-5-18", kFullControl, false},
        {true, "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", kFullControl, false},
        {true, "S-1-5-80-1-2-3-4-5", kModify, false},  // a service's own SID
        {true, "S-1-3-0", kFullControl, false},        // CREATOR OWNER
        {true, "S-1-5-32-545", kReadAndExecute, false}};
    EXPECT_EQ(OtherSidWith(installed, kChangingRights, ""), std::nullopt);

    struct Case {
        std::vector<Entry> entries;
        std::optional<std::string> sid;
    };
    const Case cases[] = {
        // A folder below the drive root inherits "Authenticated Users: Modify".
        {{{true, "S-1-5-32-544", kFullControl, false}, {true, "S-1-5-11", kModify, false}}, "S-1-5-11"},
        {{{true, "S-1-1-0", kFullControl, false}}, "S-1-1-0"},          // what Wine reports for mode 777
        {{{true, "S-1-5-4", 0x40000000, false}}, "S-1-5-4"},            // generic write
        {{{true, "S-1-5-32-545", 0x0004, false}}, "S-1-5-32-545"},      // may add a folder
        {{{true, "S-1-5-32-545", 0x00080000, false}}, "S-1-5-32-545"},  // may take ownership
        // The user's own account counts: an administrator's unelevated programs hold it.
        {{{true, kUser, kFullControl, false}}, kUser},
        // Only handed down to new objects: it gives nothing on this one.
        {{{true, "S-1-5-32-545", kFullControl, true}}, std::nullopt},
        // Any allow entry counts, whatever deny entries there are.
        {{{false, "S-1-5-32-545", kModify, false}, {true, "S-1-5-32-545", kModify, false}}, "S-1-5-32-545"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OtherSidWith(c.entries, kChangingRights, ""), c.sid) << c.entries.front().sid;
    EXPECT_EQ(OtherSidWith({{true, kWineUser, kFullControl, false}}, kChangingRights, kWineUser), std::nullopt);
}

class WriteAccessTest : public ::testing::Test {
  protected:
    WriteAccessTest() {
        files.AddFolder("C:\\Windows\\System32");
        files.AddFile("C:\\Program Files\\Tool\\tool.exe", "MZ");
        files.AddFile("C:\\Users\\ann\\AppData\\Roaming\\copy.exe", "MZ");
    }
    std::optional<std::string> Who(const std::string& path) {
        return WriteAccess(files, "C:\\Windows\\System32", "C:\\Users", log).WhoMayChangeFile(path);
    }
    fakes::FakeFileSystem files;
    std::vector<std::string> logged;
    std::function<void(const std::string&)> log = [this](const std::string& line) { logged.push_back(line); };
    const std::string tool = "C:\\Program Files\\Tool\\tool.exe";
};

TEST_F(WriteAccessTest, OwnersProfilesAndTheFoldersReplacingRightsMakeAFileTheUsers) {
    EXPECT_EQ(Who(tool), std::nullopt);
    // A file below a profile is its user's, whatever its list says.
    EXPECT_EQ(Who("C:\\Users\\ann\\AppData\\Roaming\\copy.exe"), "the user whose profile holds it");
    // An owner that is not the system's may change the list, of the file or of its folder.
    files.owners = {{tool, kUser}};
    EXPECT_EQ(Who(tool), std::string("its owner ") + kUser);
    files.owners = {{"C:\\Program Files\\Tool", kUser}};
    EXPECT_EQ(Who(tool), std::string("its owner ") + kUser);
    files.owners.clear();
    // The user's own SID with write on the file.
    files.accessEntries = {{tool, {{true, "S-1-5-32-544", kFullControl, false}, {true, kUser, 0x0002, false}}}};
    EXPECT_EQ(Who(tool), kUser);
    // On the folder, write and append only add entries; delete-child replaces the file.
    const std::string folder = "C:\\Program Files\\Tool";
    files.accessEntries = {{folder, {{true, "S-1-5-32-545", 0x0002 | 0x0004 | 0x40000000, false}}}};
    EXPECT_EQ(Who(tool), std::nullopt);
    files.accessEntries = {{folder, {{true, "S-1-5-32-545", 0x0040, false}}}};
    EXPECT_EQ(Who(tool), "Users");
    // A list that cannot be read is no proof.
    files.accessEntries.clear();
    files.unreadableAccess = {tool};
    EXPECT_EQ(Who(tool), "");
    EXPECT_TRUE(logged.empty());
}

TEST_F(WriteAccessTest, TheOwnerOfTheSystemFolderWithFullAccessCountsAsTheSystemAndIsLoggedOnce) {
    // As under Wine: one user owns every file, System32 included, with full access.
    const std::vector<Entry> wine = {{true, kWineUser, kFullControl, false}};
    for (const std::string& path :
         {std::string("C:\\Windows\\System32"), tool, std::string("C:\\Program Files\\Tool")}) {
        files.owners[path] = kWineUser;
        files.accessEntries[path] = wine;
    }
    WriteAccess access(files, "C:\\Windows\\System32", "C:\\Users", log);
    EXPECT_EQ(access.WhoMayChangeFile(tool), std::nullopt);
    EXPECT_EQ(access.WhoMayChangeFile(tool), std::nullopt);
    EXPECT_EQ(access.systemOwner(), kWineUser);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find(kWineUser), std::string::npos);
    // Another account is still a user's.
    files.owners[tool] = kUser;
    EXPECT_EQ(access.WhoMayChangeFile(tool), std::string("its owner ") + kUser);

    // System32 owned by that SID without full access: nothing is learned.
    files.owners[tool] = kWineUser;
    files.accessEntries["C:\\Windows\\System32"] = {{true, kWineUser, kReadAndExecute, false}};
    WriteAccess strict(files, "C:\\Windows\\System32", "C:\\Users", log);
    EXPECT_EQ(strict.WhoMayChangeFile(tool), std::string("its owner ") + kWineUser);
    EXPECT_EQ(strict.systemOwner(), "");
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
    EXPECT_EQ(FindUnsafeApplicationObject(platform.files, folder, "C:\\Windows\\System32"), std::nullopt);

    platform.files.AddFile(folder + "\\Keys\\release.pem", "key");
    for (const char* name : {"", "\\Pellora.exe", "\\Keys", "\\Keys\\release.pem", "\\DataBase.ref"}) {
        const std::string path = folder + name;
        platform.files.accessEntries = {{path, {{true, "S-1-1-0", kFullControl, false}}}};
        std::optional<UnsafeObject> unsafe =
            FindUnsafeApplicationObject(platform.files, folder, "C:\\Windows\\System32");
        ASSERT_TRUE(unsafe) << path;
        EXPECT_EQ(unsafe->path, path);
        EXPECT_EQ(unsafe->group, "Everyone");
    }
    // The user's own account, or an owner that is not the system's, is as bad as a broad group.
    platform.files.accessEntries = {{folder + "\\Keys", {{true, kUser, 0x0002, false}}}};
    EXPECT_EQ(FindUnsafeApplicationObject(platform.files, folder, "C:\\Windows\\System32")->group, kUser);
    platform.files.accessEntries.clear();
    platform.files.owners = {{folder + "\\Keys\\release.pem", kUser}};
    std::optional<UnsafeObject> owned = FindUnsafeApplicationObject(platform.files, folder, "C:\\Windows\\System32");
    ASSERT_TRUE(owned);
    EXPECT_EQ(owned->path, folder + "\\Keys\\release.pem");
    EXPECT_EQ(owned->group, std::string("its owner ") + kUser);
    platform.files.owners.clear();
    EXPECT_EQ(UnsafeFolderText({folder + "\\Pellora.exe", "Everyone"}, folder),
              "Everyone may change C:\\Tools\\Pellora\\Pellora.exe, so anyone could replace what Pellora runs with "
              "administrator rights; run the Pellora installer again for C:\\Tools\\Pellora (it lets only "
              "Administrators and SYSTEM write there)");

    // A list nobody lets an administrator read is as bad as a writable one.
    platform.files.accessEntries.clear();
    platform.files.unreadableAccess = {folder + "\\Pellora.exe"};
    std::optional<UnsafeObject> unreadable =
        FindUnsafeApplicationObject(platform.files, folder, "C:\\Windows\\System32");
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->group, "");
    EXPECT_EQ(UnsafeFolderText(*unreadable, folder)
                  .rfind("C:\\Tools\\Pellora\\Pellora.exe has an owner or access list that "
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
