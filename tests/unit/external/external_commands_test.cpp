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
}

TEST(RegistryEditorCommands, QuoteEachArgumentWithABlank) {
    EXPECT_EQ(RegeditExportCommand("C:\\WINDOWS", "C:\\Temp.reg", "HKEY_CURRENT_USER\\Software\\Bad Toolbar"),
              "C:\\WINDOWS\\regedit.exe /e C:\\Temp.reg \"HKEY_CURRENT_USER\\Software\\Bad Toolbar\"");
    EXPECT_EQ(RegeditImportCommand("C:\\My Windows", "C:\\Temp.reg"),
              "\"C:\\My Windows\\regedit.exe\" /c /s C:\\Temp.reg");
}

TEST(ShellAndWait, TellsAProgramThatEndedFromOneEndedAtTheBoundAndOneNeverStarted) {
    fakes::FakeProcesses processes;
    processes.neverEnding = {"hangs.exe"};
    EXPECT_EQ(ShellAndWait(processes, "C:\\ends.exe", kHiddenWindow, 1000), ShellRun::Finished);
    EXPECT_EQ(ShellAndWait(processes, "C:\\hangs.exe", kHiddenWindow, 2000), ShellRun::Ended);
    processes.onRun = [](const std::string&) { return false; };
    EXPECT_EQ(ShellAndWait(processes, "C:\\missing.exe", kHiddenWindow, 3000), ShellRun::NotStarted);
    EXPECT_EQ(processes.waitBounds, (std::vector<uint32_t>{1000, 2000, 3000}));
}

}  // namespace
}  // namespace pellora
