// SaveData under failure: every platform call of the five crash-safe replacements is made to
// fail in turn, once as an error the program sees and once as a crash that ends it there. After
// each, every settings file must hold exactly its old or its new bytes.
#include <gtest/gtest.h>

#include "core/settings/settings_files.h"
#include "core/util/crash_safe_replace.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

struct Crash {};

enum class Fault { None, Error, Crash };

// The in-memory disk, with WriteFileAtomic made of the real replacement's steps. Writes go one
// byte per call, so there is a step between any two bytes of a file.
class FaultyDisk : public fakes::FakeFileSystem, private ReplaceSteps {
  public:
    bool WriteFileAtomic(const std::string& path, const std::string& bytes) override {
        return ReplaceFileCrashSafe(*this, path, bytes,
                                    [&path](unsigned attempt) { return path + ".~" + std::to_string(attempt); });
    }

    size_t steps = 0;
    size_t failAt = SIZE_MAX;
    Fault fault = Fault::None;

  private:
    // True when this step is to fail as an error; throws for a crash.
    bool Fails() {
        if (steps++ != failAt)
            return false;
        if (fault == Fault::Crash)
            throw Crash{};
        return fault == Fault::Error;
    }
    std::optional<uint32_t> Attributes(const std::string& path) override {
        return Fails() ? std::nullopt : GetAttributes(path);
    }
    bool SetAttributes(const std::string& path, uint32_t attributes) override {
        return !Fails() && FakeFileSystem::SetAttributes(path, attributes);
    }
    bool CreateNew(const std::string& path) override {
        if (Fails() || Exists(path))
            return false;
        AddFile(path, "");
        open_ = path;
        return true;
    }
    bool Write(std::string_view bytes, size_t& written) override {
        written = 0;
        if (Fails())
            return false;
        AddFile(open_, Content(open_) + bytes[0]);
        written = 1;
        return true;
    }
    bool Flush() override { return !Fails(); }
    void Close() override { (void)Fails(); }
    bool RenameOver(const std::string& from, const std::string& to) override { return !Fails() && MoveFile(from, to); }
    bool Delete(const std::string& path) override { return !Fails() && DeleteFile(path); }

    std::string open_;
};

using Lines = std::vector<std::string>;

struct SettingsFile {
    const char* name;
    Lines AppState::*list;
    std::string oldBytes;
    Lines newLines;
    std::string newBytes;
};

std::vector<SettingsFile> Files() {
    Lines ignore;
    for (int i = 0; i < 30; ++i)
        ignore.push_back("path|C:\\Spy\\tool" + std::to_string(i) + ".exe|Adware");
    std::string ignoreBytes;
    for (const std::string& line : ignore)
        ignoreBytes += (ignoreBytes.empty() ? "" : "\r\n") + line;
    return {
        {kSettingsFileName, &AppState::lstSettingsFile,
         "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nIE\r\n30\r\n0\r\n10",
         DefaultSettingsLines("http://home.example/"),
         "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nhttp://home.example/\r\nMicrosoft Internet Explorer\r\n30\r\n0\r\n10"},
        {kScanInfoFileName,
         &AppState::lstScanInfoFile,
         "{never}\r\n0\r\n0",
         {"12-06-2026  09:05:07", "5", "11"},
         "12-06-2026  09:05:07\r\n5\r\n11"},
        {kIgnoreListFileName, &AppState::lstIgnoreListFile, "cookie|old|Track", ignore, ignoreBytes},
        {kSelectedFoldersFileName, &AppState::lstSelectedFolders, "C:\\Old", {"C:\\Data", "D:\\"}, "C:\\Data\r\nD:\\"},
        {kCustomScanFileName,
         &AppState::lstCustomScanSettings,
         "0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1",
         {"1", "1", "1", "1", "0", "1", "1"},
         "1\r\n1\r\n1\r\n1\r\n0\r\n1\r\n1"},
    };
}

// One SaveData over the old files with the given fault; returns the number of steps it took.
size_t SaveWithFault(size_t failAt, Fault fault, std::string* problem) {
    FaultyDisk disk;
    fakes::FakeSystem system;
    fakes::FakeUi ui;
    AppState state;
    state.appFolder = "C:\\Pellora";
    const std::vector<SettingsFile> files = Files();
    for (const SettingsFile& file : files) {
        disk.AddFile("C:\\Pellora\\Settings\\" + std::string(file.name), file.oldBytes,
                     file.list == &AppState::lstIgnoreListFile ? file_attr::kReadOnly : file_attr::kArchive);
        state.*file.list = file.newLines;
    }
    SettingsFiles settings(state, disk, system, ui);
    disk.failAt = failAt;
    disk.fault = fault;
    try {
        settings.SaveData();
    } catch (const Crash&) {
    }
    for (const SettingsFile& file : files) {
        const std::string path = "C:\\Pellora\\Settings\\" + std::string(file.name);
        const std::string content = disk.Exists(path) ? disk.Content(path) : "<missing>";
        if (content != file.oldBytes && content != file.newBytes)
            *problem += std::string(file.name) + " holds \"" + content + "\"; ";
        if (fault == Fault::None && content != file.newBytes)
            *problem += std::string(file.name) + " was not saved; ";
    }
    return disk.steps;
}

TEST(SaveDataCrashSafety, EveryFileIsItsOldOrItsNewContentWhicheverStepFails) {
    std::string problem;
    const size_t steps = SaveWithFault(SIZE_MAX, Fault::None, &problem);
    ASSERT_EQ(problem, "");
    ASSERT_GE(steps, 1000u);
    for (size_t step = 0; step < steps; ++step) {
        for (Fault fault : {Fault::Error, Fault::Crash}) {
            SaveWithFault(step, fault, &problem);
            ASSERT_EQ(problem, "") << "step " << step << (fault == Fault::Crash ? " (crash)" : " (error)");
        }
    }
}

}  // namespace
}  // namespace pellora
