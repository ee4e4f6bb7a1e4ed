// Start-up and shutdown on the real Windows (Wine) file system and registry, in a scratch
// application folder: what the first start creates, byte for byte; that existing files stay;
// pruning by age; the database as the build locks it; saving over a read-only settings file;
// and the close refused while busy.
#include <windows.h>
// winbase.h defines Yield() away and the A/W names of the file functions over the port's own
// names; the core's declarations must keep theirs.
#undef Yield
#undef DeleteFile
#undef RemoveDirectory
#undef CreateDirectory
#undef MoveFile

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/app/lifecycle.h"
#include "core/backup/backup_pruning.h"
#include "core/database/db_tool.h"
#include "fakes/fake_platform.h"
#include "win32/clock_win.h"
#include "win32/external/external_test_support.h"
#include "win32/file_system_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"

namespace pellora {
namespace {

using testing::FileExists;
using testing::ScratchFolder;

const char kMissing[] = "<missing>";

std::string ReadBytes(const std::string& path) {
    HANDLE file =
        CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kMissing;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE file = CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    SetFileAttributesW(win32::Widen(path).c_str(), attributes);
}

void MakeFolder(const std::string& path) {
    CreateDirectoryW(win32::Widen(path).c_str(), nullptr);
}

// Every entry below `folder`, relative and sorted; folders end in a backslash.
void ListTree(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(win32::Widen(folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = win32::Narrow(data.cFileName);
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(prefix + name + "\\");
            ListTree(folder + "\\" + name, prefix + name + "\\", out);
        } else {
            out.push_back(prefix + name);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out.begin(), out.end());
}

std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> out;
    ListTree(folder, "", out);
    return out;
}

class LifecycleWinTest : public ::testing::Test {
  protected:
    LifecycleWinTest() { state.appFolder = app.path(); }

    // The starter database, locked as the build locks it.
    void InstallStarterDatabase() {
        std::string source = __FILE__;
        std::replace(source.begin(), source.end(), '/', '\\');
        source = source.substr(0, source.rfind("tests\\win32\\foundation")) + "data\\database.txt";
        const std::string plain = ReadBytes(source);
        ASSERT_NE(plain, kMissing) << source;
        CodePage codePage{[this](std::string_view s) { return system.AnsiToUtf8(s); },
                          [this](std::string_view s) { return system.Utf8ToAnsi(s); }};
        std::string locked, error;
        ASSERT_TRUE(LockDatabaseText(plain, codePage, locked, error)) << error;
        WriteBytes(app / "DataBase.ref", locked);
    }

    ScratchFolder app{"lifecycle"};
    win32::RegistryWin registryPort;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    win32::SystemWin system;
    fakes::FakeUi ui;
    Ports ports{registryPort, files, processes, shell, clock, system, ui};
    AppState state;
    RegistryAccess registry{registryPort, ui};
    SettingsFiles settings{state, files, system, ui};
    Database database{state, files, system, ui};
    SettingsApplier applier{state, registry, system, ui};
    Lifecycle lifecycle{state, ports, registry, settings, database, applier};
};

TEST_F(LifecycleWinTest, FirstStartInAnEmptyFolderCreatesExactlyTheDefaultsThenAsksAboutTheDatabase) {
    ui.answers = {MsgAnswer::No};
    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::Exit);
    EXPECT_EQ(Tree(app.path()), (std::vector<std::string>{"DavEre.roz", "Quarantine\\", "Registry Backups\\",
                                                          "Settings\\", "Settings\\CustomScan.stg",
                                                          "Settings\\IgnoreList.stg", "Settings\\ScanInfo.stg",
                                                          "Settings\\SelectedFolders.stg", "Settings\\Settings.stg"}));
    EXPECT_EQ(ReadBytes(app / "Settings\\ScanInfo.stg"), "{never}\r\n0\r\n0");
    // The last line: scan file contents, on by default.
    EXPECT_EQ(ReadBytes(app / "Settings\\CustomScan.stg"), "0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n1");
    EXPECT_FALSE(state.homePageBuffer.empty());
    EXPECT_EQ(ReadBytes(app / "Settings\\Settings.stg"), "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n" +
                                                             system.Utf8ToAnsi(state.homePageBuffer) +
                                                             "\r\nMicrosoft Internet Explorer\r\n30\r\n0\r\n10");
    EXPECT_EQ(ReadBytes(app / "DavEre.roz"), "");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error");
}

TEST_F(LifecycleWinTest, ExistingFilesStayOldBackupsGoAndTheSettingsAreWrittenBackAtTheEnd) {
    MakeFolder(app / "Settings");
    MakeFolder(app / "Registry Backups");
    const std::string settingsBytes = "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nT\r\n30\r\n0\r\n2";
    WriteBytes(app / "Settings\\Settings.stg", settingsBytes, FILE_ATTRIBUTE_HIDDEN);
    WriteBytes(app / "Settings\\IgnoreList.stg", "cookie|x|y|", FILE_ATTRIBUTE_READONLY);
    // Keep 2: text order would delete the two December backups, age order the November one.
    WriteBytes(app / "Registry Backups\\9-11-2026-9-0-0.reg", "REGEDIT4", FILE_ATTRIBUTE_READONLY);
    WriteBytes(app / "Registry Backups\\1-12-2026-9-0-0.reg", "REGEDIT4");
    WriteBytes(app / "Registry Backups\\10-12-2026-9-0-0.reg", "REGEDIT4");
    WriteBytes(app / "Registry Backups\\notes.txt", "kept");
    InstallStarterDatabase();

    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::ShowMainWindow);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ReadBytes(app / "Settings\\Settings.stg"), settingsBytes);
    EXPECT_EQ(state.lstIgnoreListFile, std::vector<std::string>{"cookie|x|y|"});
    EXPECT_EQ(Tree(app / "Registry Backups"),
              (std::vector<std::string>{"1-12-2026-9-0-0.reg", "10-12-2026-9-0-0.reg", "notes.txt"}));
    EXPECT_EQ(state.status.dbaseVersion, "Starter Database 2026.12.1");
    EXPECT_GT(state.lstDBaseFile.size(), 50u);
    EXPECT_EQ(state.splashText, "Finished.");

    state.lstIgnoreListFile.push_back("cookie|z|y|");
    state.busy = true;
    EXPECT_FALSE(lifecycle.Form_Unload());
    EXPECT_EQ(ReadBytes(app / "Settings\\IgnoreList.stg"), "cookie|x|y|");

    // Written over the read-only file, and no temporary file is left beside the settings.
    state.busy = false;
    EXPECT_TRUE(lifecycle.Form_Unload());
    EXPECT_EQ(ReadBytes(app / "Settings\\IgnoreList.stg"), "cookie|x|y|\r\ncookie|z|y|");
    EXPECT_EQ(ReadBytes(app / "Settings\\Settings.stg"), settingsBytes);
    EXPECT_EQ(Tree(app / "Settings"), (std::vector<std::string>{"CustomScan.stg", "IgnoreList.stg", "ScanInfo.stg",
                                                                "SelectedFolders.stg", "Settings.stg"}));
}

// The browser's home page is copied into Settings.stg at the first start. A value holding a line
// break must not push the later lines down: line 10 would then read "0" and every registry
// backup would go at the next start.
TEST_F(LifecycleWinTest, AStartPageWithALineBreakKeepsTheSettingsLayoutAndTheBackups) {
    const std::wstring mainKey = L"Software\\Microsoft\\Internet Explorer\\Main";
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, mainKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    std::vector<BYTE> old(4096);
    DWORD oldType = 0, oldSize = static_cast<DWORD>(old.size());
    const bool hadOld = RegQueryValueExW(key, L"Start Page", nullptr, &oldType, old.data(), &oldSize) == ERROR_SUCCESS;
    const std::wstring hijacked = L"http://a.example/\r\nhttp://b.example/";
    ASSERT_EQ(RegSetValueExW(key, L"Start Page", 0, REG_SZ, reinterpret_cast<const BYTE*>(hijacked.c_str()),
                             static_cast<DWORD>((hijacked.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    MakeFolder(app / "Registry Backups");
    WriteBytes(app / "Registry Backups\\1-12-2026-9-0-0.reg", "REGEDIT4");
    InstallStarterDatabase();
    const StartupResult first = lifecycle.Form_Load();
    EXPECT_TRUE(lifecycle.Form_Unload());
    state = AppState{};
    state.appFolder = app.path();
    const StartupResult second = lifecycle.Form_Load();

    if (hadOld)
        RegSetValueExW(key, L"Start Page", 0, oldType, old.data(), oldSize);
    else
        RegDeleteValueW(key, L"Start Page");
    RegCloseKey(key);

    EXPECT_EQ(first, StartupResult::ShowMainWindow);
    EXPECT_EQ(second, StartupResult::ShowMainWindow);
    EXPECT_EQ(Tree(app / "Registry Backups"), std::vector<std::string>{"1-12-2026-9-0-0.reg"});
    EXPECT_EQ(Line(state.lstSettingsFile, 10), "10");
    ASSERT_EQ(state.lstSettingsFile.size(), 11u);
    EXPECT_EQ(state.lstSettingsFile[6], "about:blank");
}

TEST_F(LifecycleWinTest, BackupsWithoutAStampAreDatedByTheirFileTime) {
    MakeFolder(app / "Registry Backups");
    WriteBytes(app / "Registry Backups\\older.reg", "REGEDIT4");
    WriteBytes(app / "Registry Backups\\newer.reg", "REGEDIT4");
    // Years apart, so the order does not rest on how fast the two files were written.
    SYSTEMTIME year2000{2000, 1, 6, 1, 0, 0, 0, 0};
    FILETIME old{};
    SystemTimeToFileTime(&year2000, &old);
    HANDLE file = CreateFileW(win32::Widen(app / "Registry Backups\\older.reg").c_str(), FILE_WRITE_ATTRIBUTES, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
    state.lstSettingsFile.assign(11, "0");
    state.lstSettingsFile[10] = "1";
    PruneRegistryBackups(state, files);
    EXPECT_EQ(Tree(app / "Registry Backups"), std::vector<std::string>{"newer.reg"});
}

}  // namespace
}  // namespace pellora
