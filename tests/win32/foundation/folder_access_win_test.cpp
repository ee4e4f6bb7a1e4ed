// The access lists of the application folder on the real (Wine) file system. Wine keeps no list
// of its own: it turns what is set into the Unix permission bits and reports them back, so a
// list letting Everyone change the folder comes back as Everyone: write (mode 777), and the
// installer's list comes back without any broad group that may write.
#include <gtest/gtest.h>

#include "core/protection/folder_access.h"
// Brings <windows.h> and takes back the macros it puts over the ports' method names.
#include "win32/external/external_test_support.h"
#include "win32/file_system_win.h"

namespace pellora {
namespace {

TEST(FolderAccessWinTest, AFolderEveryoneMayChangeIsFoundAndTheInstallersListPutsItRight) {
    testing::ScratchFolder app{"folder access"};
    win32::FileSystemWin files;
    ASSERT_TRUE(files.WriteFileAtomic(app / "Pellora.exe", "MZ"));
    EXPECT_EQ(FindUnsafeApplicationObject(files, app.path()), std::nullopt);

    ASSERT_TRUE(files.SetAccessList(app.path(), "D:P(A;OICI;FA;;;WD)"));
    std::optional<UnsafeObject> unsafe = FindUnsafeApplicationObject(files, app.path());
    ASSERT_TRUE(unsafe);
    EXPECT_EQ(unsafe->path, app.path());
    EXPECT_EQ(unsafe->group, "Everyone");

    ASSERT_TRUE(SecureApplicationFolder(files, app.path()));
    EXPECT_EQ(FindUnsafeApplicationObject(files, app.path()), std::nullopt);

    // An object that is not there has no list to read.
    EXPECT_EQ(files.ReadAccessList(app / "missing"), std::nullopt);
    EXPECT_FALSE(files.SetAccessList(app / "missing", kAdministratorsOnlyAccess));
    EXPECT_FALSE(files.SetAccessList(app.path(), "not a list"));
}

}  // namespace
}  // namespace pellora
