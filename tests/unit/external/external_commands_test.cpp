#include "core/removal/external_commands.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace pellora {
namespace {

TEST(QuoteArgument, LeavesArgumentsWithoutBlanksExactlyAsTheyAre) {
    EXPECT_EQ(QuoteArgument("C:\\Temp.reg"), "C:\\Temp.reg");
    EXPECT_EQ(QuoteArgument("HKEY_LOCAL_MACHINE"), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(QuoteArgument("odd\"name\\"), "odd\"name\\");
    EXPECT_EQ(QuoteArgument(""), "");
}

TEST(QuoteArgument, QuotesBlanksSoTheParserReadsBackTheSameText) {
    EXPECT_EQ(QuoteArgument("C:\\My Files\\a.dll"), "\"C:\\My Files\\a.dll\"");
    EXPECT_EQ(QuoteArgument("a\tb"), "\"a\tb\"");
    // A trailing backslash would otherwise escape the closing quote.
    EXPECT_EQ(QuoteArgument("C:\\My Folder\\"), "\"C:\\My Folder\\\\\"");
    // Quotes inside are escaped, with the backslashes before them doubled.
    EXPECT_EQ(QuoteArgument("HKEY_CURRENT_USER\\Say \"hi\""), "\"HKEY_CURRENT_USER\\Say \\\"hi\\\"\"");
    EXPECT_EQ(QuoteArgument("a b\\\"c"), "\"a b\\\\\\\"c\"");
}

TEST(RegistryEditorCommands, KeepTheClassicLinesWhenNothingHasBlanks) {
    EXPECT_EQ(RegeditExportCommand("C:\\WINDOWS", "C:\\Temp.reg", "HKEY_LOCAL_MACHINE\\Software\\Example"),
              "C:\\WINDOWS\\regedit.exe /e C:\\Temp.reg HKEY_LOCAL_MACHINE\\Software\\Example");
    EXPECT_EQ(RegeditImportCommand("C:\\WINDOWS", "C:\\Temp.reg"), "C:\\WINDOWS\\regedit.exe /c /s C:\\Temp.reg");
    EXPECT_EQ(UnregisterLibraryCommand("C:\\X\\lib.dll"), "regsvr32.exe /s /u C:\\X\\lib.dll");
    EXPECT_EQ(SystemDriveRoot("D:\\WINNT"), "D:\\");
    EXPECT_EQ(SystemDriveRoot("C:"), "C:");
}

TEST(RegistryEditorCommands, QuoteEachArgumentWithABlank) {
    EXPECT_EQ(RegeditExportCommand("C:\\WINDOWS", "C:\\Temp.reg", "HKEY_CURRENT_USER\\Software\\Bad Toolbar"),
              "C:\\WINDOWS\\regedit.exe /e C:\\Temp.reg \"HKEY_CURRENT_USER\\Software\\Bad Toolbar\"");
    EXPECT_EQ(RegeditImportCommand("C:\\My Windows", "C:\\Temp.reg"),
              "\"C:\\My Windows\\regedit.exe\" /c /s C:\\Temp.reg");
    EXPECT_EQ(UnregisterLibraryCommand("C:\\Program Files\\Bad\\hook.dll"),
              "regsvr32.exe /s /u \"C:\\Program Files\\Bad\\hook.dll\"");
}

TEST(ShellAndWait, ReportsWhetherTheProgramStarted) {
    fakes::FakeProcesses processes;
    EXPECT_TRUE(ShellAndWait(processes, "regsvr32.exe /s /u C:\\a.dll", kHiddenWindow));
    processes.onRun = [](const std::string&) { return false; };
    EXPECT_FALSE(ShellAndWait(processes, "missing.exe", kHiddenWindow));
    EXPECT_EQ(processes.commands, (std::vector<std::string>{"regsvr32.exe /s /u C:\\a.dll", "missing.exe"}));
}

}  // namespace
}  // namespace pellora
