// The access lists of the application folder on the real (Wine) file system. Wine keeps no list
// of its own: it turns what is set into the Unix permission bits and reports them back, so a
// list letting Everyone change the folder comes back as Everyone: write (mode 777), and the
// installer's list comes back without any broad group that may write.
#include <gtest/gtest.h>

#include "core/protection/folder_access.h"
#include "core/protection/write_access.h"
// Brings <windows.h> and takes back the macros it puts over the ports' method names.
#include "win32/encoding_win.h"
#include "win32/external/external_test_support.h"
#include "win32/file_system_win.h"

namespace pellora {
namespace {

TEST(FolderAccessWinTest, AFolderEveryoneMayChangeIsFoundAndTheInstallersListPutsItRight) {
    testing::ScratchFolder app{"folder access"};
    win32::FileSystemWin files;
    // Wine reports every file as its one user's, System32 too: with System32 named, that user's
    // ownership and grants are the system's own and an application folder as installed passes.
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::string systemDirectory = win32::Narrow(system);
    std::vector<std::string> logged;
    auto log = [&logged](const std::string& line) { logged.push_back(line); };
    ASSERT_TRUE(files.WriteFileAtomic(app / "Pellora.exe", "MZ"));
    EXPECT_EQ(FindUnsafeApplicationObject(files, app.path(), systemDirectory, log), std::nullopt);

    ASSERT_TRUE(files.SetAccessList(app.path(), "D:P(A;OICI;FA;;;WD)"));
    std::optional<UnsafeObject> unsafe = FindUnsafeApplicationObject(files, app.path(), systemDirectory, log);
    ASSERT_TRUE(unsafe);
    EXPECT_EQ(unsafe->path, app.path());
    EXPECT_EQ(unsafe->group, "Everyone");

    ASSERT_TRUE(SecureApplicationFolder(files, app.path()));
    EXPECT_EQ(FindUnsafeApplicationObject(files, app.path(), systemDirectory, log), std::nullopt);
    // Each judgement says it once, and only where System32's owner is not one of the usual SIDs.
    const std::optional<std::string> owner = files.ReadOwner(systemDirectory);
    ASSERT_TRUE(owner);
    EXPECT_EQ(logged.size(), IsSystemSid(*owner) ? 0u : 3u);

    // An object that is not there has no list to read.
    EXPECT_EQ(files.ReadAccessList(app / "missing"), std::nullopt);
    EXPECT_FALSE(files.SetAccessList(app / "missing", kAdministratorsOnlyAccess));
    EXPECT_FALSE(files.SetAccessList(app.path(), "not a list"));
}

}  // namespace
}  // namespace pellora
