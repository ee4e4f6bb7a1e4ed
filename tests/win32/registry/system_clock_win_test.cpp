// The system and clock adapters on the real Windows API, and folder discovery on top of them.
#include <windows.h>
// winbase.h defines Yield() away, which would break the UI port's declaration.
#undef Yield

#include <gtest/gtest.h>

#include "core/database/folder_variables.h"
#include "fakes/fake_platform.h"
#include "win32/clock_win.h"
#include "win32/registry_win.h"
#include "win32/system_win.h"

namespace pellora {
namespace {

TEST(SystemWin, FoldersAndIdentity) {
    win32::SystemWin system;
    EXPECT_FALSE(system.SystemDirectory().empty());
    EXPECT_FALSE(system.WindowsDirectory().empty());
    std::string temp = system.TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');

    std::string folder = system.ApplicationFolder();
    std::string exe = system.ExecutablePath();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_EQ(exe.substr(0, folder.size() + 1), folder + "\\");
    EXPECT_NE(exe.find("win32_registry"), std::string::npos);
    // This test program carries no version information.
    EXPECT_EQ(system.ProgramVersion(), win32::kUnknownVersion);
}

TEST(SystemWin, AnsiRoundTrip) {
    win32::SystemWin system;
    std::string ansi = system.Utf8ToAnsi("caf\xC3\xA9");
    if (GetACP() == 1252) {
        EXPECT_EQ(ansi, "caf\xE9");
    }
    EXPECT_EQ(system.AnsiToUtf8(ansi), "caf\xC3\xA9");
    EXPECT_EQ(system.AnsiToUtf8(""), "");
}

TEST(SystemWin, HostAddressGivesAddressOrResolveFailure) {
    win32::SystemWin system;
    HostAddressResult host = system.HostAddress();
    EXPECT_FALSE(host.cleanupFailed);
    EXPECT_EQ(host.versionMajor, 1);
    EXPECT_EQ(host.versionMinor, 1);
    if (host.failure == HostAddressResult::Failure::None) {
        EXPECT_EQ(host.address.size(), 4u);
    } else {
        // A sandbox without name resolution for its own host name is the one acceptable failure.
        EXPECT_EQ(host.failure, HostAddressResult::Failure::ResolveFailed);
    }
}

TEST(ClockWin, LocalTimeAndShortDate) {
    win32::ClockWin clock;
    LocalTime now = clock.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    std::string date = clock.ShortDate(LocalTime{2026, 12, 6, 9, 5, 7});
    EXPECT_FALSE(date.empty());
    EXPECT_NE(date.find("26"), std::string::npos);
    uint64_t first = clock.MonotonicMs();
    EXPECT_GE(clock.MonotonicMs(), first);
}

TEST(DiscoverSpecialFolders, OnThisSystem) {
    win32::SystemWin system;
    win32::RegistryWin registry;
    fakes::FakeUi ui;
    RegistryAccess access(registry, ui);
    SpecialFolders folders;
    DiscoverSpecialFolders(folders, system, access);
    EXPECT_EQ(folders.systemDir, system.SystemDirectory());
    EXPECT_EQ(folders.windowsDir, system.WindowsDirectory());
    ASSERT_FALSE(folders.tempDir.empty());
    EXPECT_NE(folders.tempDir.back(), '\\');
    EXPECT_EQ(folders.tempDir + "\\", system.TempPath());
    EXPECT_FALSE(folders.programsDir.empty());
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace pellora
