// The console program's word on missing rights: the folder probe tells a refusal for lack of
// rights from other failures and leaves nothing behind, and the hint after a command is given
// only for changes that were left undone in a process without administrator rights.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "cli/elevation.h"

namespace pellora::cli {
namespace {

std::string TempFolder() {
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    std::filesystem::path folder =
        std::filesystem::path(path) / ("pellora-elevation-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    return folder.string();
}

TEST(ElevationTest, FolderProbeTellsMissingRightsFromOtherFailures) {
    std::string writable = TempFolder();
    EXPECT_FALSE(FolderRefusesWrites(writable));
    EXPECT_TRUE(std::filesystem::is_empty(writable)) << "the probe left a file behind";
    std::filesystem::remove_all(writable);
    EXPECT_FALSE(FolderRefusesWrites(writable + "\\missing")) << "a missing folder is not a question of rights";
    // Under Wine Z: is the Unix root, whose /sys refuses new files even to root: the same
    // ERROR_ACCESS_DENIED a standard user meets below Program Files.
    if (GetFileAttributesW(L"Z:\\sys\\kernel") != INVALID_FILE_ATTRIBUTES) {
        EXPECT_TRUE(FolderRefusesWrites("Z:\\sys"));
    }
}

TEST(ElevationTest, HintOnlyForChangesLeftUndoneWithoutAdministratorRights) {
    struct Case {
        Command command;
        int exitCode;
        bool elevated;
        bool hint;
    };
    const Case cases[] = {
        {Command::Remove, kExitFound, false, true},           {Command::QuarantineRestore, kExitFound, false, true},
        {Command::QuarantineDelete, kExitError, false, true}, {Command::Remove, kExitFound, true, false},
        {Command::Remove, kExitClean, false, false},          {Command::Scan, kExitFound, false, false},
        {Command::QuarantineList, kExitError, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.command));
        auto hint = ElevationHint(c.command, c.exitCode, c.elevated);
        EXPECT_EQ(hint.has_value(), c.hint);
        if (hint) {
            EXPECT_EQ(hint->find('\n'), std::string::npos);
            EXPECT_NE(hint->find(kElevatedPromptText), std::string::npos);
        }
    }
    EXPECT_EQ(FolderRefusedText("C:\\Program Files\\Pellora"),
              "pellora-cli: no rights to write Pellora's files in C:\\Program Files\\Pellora; run it from an elevated "
              "command prompt (Run as administrator)");
}

}  // namespace
}  // namespace pellora::cli
