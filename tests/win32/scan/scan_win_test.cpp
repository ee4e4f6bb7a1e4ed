// The scan in each of its modes on the real platform: files (one hidden), folders, a cookie
// folder, registry keys and values planted by the test in a scratch folder and a private key
// below HKEY_CURRENT_USER\Software, found through the real file-system and registry adapters.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/scan/scanner.h"
#include "fakes/fake_platform.h"
#include "win32/clock_win.h"
#include "win32/file_system_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"

// After the ports: windows.h defines Yield() as an empty macro.
#include "../external/external_test_support.h"

namespace pellora {
namespace {

using pellora::testing::ScratchFolder;

void Plant(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE file = CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
}

void Folder(const std::string& path) {
    ASSERT_TRUE(CreateDirectoryW(win32::Widen(path).c_str(), nullptr)) << path;
}

class ScanWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, win32::Widen(subkey).c_str());
        state.folders.windowsDir = system.WindowsDirectory();
        state.folders.systemDir = system.SystemDirectory();
        state.folders.tempDir = scratch.path();
        state.folders.cookies = scratch / "Cookies";
        state.lstSettingsFile.assign(12, "0");

        Folder(scratch / "Bad");
        Plant(scratch / "Bad\\evil.exe");
        Plant(scratch / "Bad\\hidden.exe", FILE_ATTRIBUTE_HIDDEN);
        Plant(scratch / "Bad\\Setup.tmp");
        Folder(scratch / "Badger");
        Plant(scratch / "Badger\\x.dat");
        Folder(scratch / "Empty");
        Folder(scratch / "Cookies");
        Plant(scratch / "Cookies\\me@EVIL.example[1].txt");
        Plant(scratch / "Cookies\\me@good.example[1].txt");

        ASSERT_TRUE(registry.CreateKey(RootKey::CurrentUser, subkey + "\\Run\\Deep"));
        ASSERT_TRUE(registry.SetValue(RootKey::CurrentUser, subkey + "\\Run", "Loader", RegValue{kRegSz, "evil.exe"}));
        ASSERT_TRUE(registry.SetValue(RootKey::CurrentUser, subkey + "\\Run", "Blank", RegValue{kRegSz, ""}));
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, win32::Widen(subkey).c_str()); }

    // %TempDir% stands for the scratch folder, so items name planted objects by variable too.
    std::vector<std::string> Scan(std::vector<std::string> items) {
        items.insert(items.begin(), "Version");
        state.lstDBaseFile = std::move(items);
        scanner.StartScan();
        std::vector<std::string> found;
        for (const ResultRow& row : state.lstScanResult) found.push_back(row.object);
        return found;
    }

    ScratchFolder scratch{"scan"};
    std::string subkey = "Software\\PelloraScanTest" + std::to_string(GetCurrentProcessId());
    std::string key = "HKEY_CURRENT_USER\\" + subkey;
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    win32::SystemWin system;
    fakes::FakeUi ui;
    Ports ports{registry, files, processes, shell, clock, system, ui};
    AppState state;
    RegistryAccess access{registry, ui};
    FileFinder finder{state, files, ui};
    RegScan regScan{state, registry, ui};
    Scanner scanner{state, ports, access, finder, regScan};
};

TEST_F(ScanWinTest, SmartScanLooksEachKindUpOnTheSystem) {
    SetLine(state.lstSettingsFile, kScanModeLine, "0");
    std::vector<std::string> found = Scan({
        "path|%TempDir%\\Bad\\evil.exe|T|",
        "path|%TempDir%\\Bad\\hidden.exe|T|",
        "path|%TempDir%\\Bad\\*.tmp|T|",
        "path|%TempDir%\\Bad|T|",
        "folder|%TempDir%\\Empty|F|",
        "folder|%TempDir%\\Missing|F|",
        "regval|" + key + "\\Run,Loader|V|",
        "regval|" + key + "\\Run,Blank|V|",
        "regkey|" + key + "\\RUN|K|",
        "regkey|" + key + "\\Run\\|K|",
        "cookie|evil.EXAMPLE|C|",
    });
    // The hidden file is found as well.
    EXPECT_EQ(found, (std::vector<std::string>{scratch / "Bad\\evil.exe", scratch / "Bad\\hidden.exe",
                                               scratch / "Bad\\*.tmp", scratch / "Empty", key + "\\Run,Loader",
                                               key + "\\RUN", "me@EVIL.example[1].txt"}));
    EXPECT_EQ(ui.messages.size(), 0u);
    EXPECT_EQ(state.lstLog[3], "Scan mode: Smart Scan");
    EXPECT_EQ(state.currentOperation, "Finished.");
}

TEST_F(ScanWinTest, CustomScanWithEveryOptionSearchesTheDiskAndTheRegistry) {
    SetLine(state.lstSettingsFile, kScanModeLine, "1");
    state.lstCustomScanSettings = {"1", "1", "1", "0", "0", "1", "1"};
    std::string marker = "PelloraScanTest" + std::to_string(GetCurrentProcessId());
    std::vector<std::string> found = Scan({"file|Setup.tmp|F|", "regsearch|" + marker + "\\run|R|", "cookie|good|C|"});
    EXPECT_EQ(found, (std::vector<std::string>{scratch / "Bad\\Setup.tmp", key + "\\Run", key + "\\Run\\Deep",
                                               "me@good.example[1].txt"}));
    EXPECT_GT(state.lstHDDItems.Count(), 10u);
    EXPECT_EQ(state.lstScanResult[1].category, "RegKey");
}

TEST_F(ScanWinTest, FileFolderScanLooksEverythingUpInTheListing) {
    SetLine(state.lstSettingsFile, kScanModeLine, "2");
    state.lstSelectedFolders = {scratch.path()};
    std::vector<std::string> found = Scan({
        "path|%TempDir%\\Bad\\hidden.exe|T|",
        "path|%TempDir%\\bad\\evil.exe|T|",
        "folder|%TempDir%\\Bad|F|",
        "folder|%TempDir%\\Empty|F|",
        "folder|%TempDir%\\Badg|F|",
        "file|*.dat|F|",
    });
    EXPECT_EQ(found, (std::vector<std::string>{scratch / "Bad\\hidden.exe", scratch / "Bad", scratch / "Empty",
                                               scratch / "Badger\\x.dat"}));
}

}  // namespace
}  // namespace pellora
