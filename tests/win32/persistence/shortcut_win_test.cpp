// Shortcuts on the real platform: links saved by the shell's own IShellLinkW in the all-users
// desktop and the user's Startup folder (a browser's with a hijacker's address among its
// arguments, another program's holding it too) are found by a "shortcut" item; an unattended
// removal repairs the browser's (the shell reads back the same target and the other arguments)
// and deletes the other, both stored first; restore gives back the links byte for byte.
//
// The user's own Desktop is left out: Wine makes it a host link to the home folder, and restore
// never writes through a link on the way.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/app/app.h"
#include "core/settings/settings_files.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"
#include "win32/clock_win.h"
#include "win32/file_system_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"

// After the ports: windows.h defines Yield() as an empty macro.
#include <objidl.h>

#include "../external/external_test_support.h"
#include "persistence_win_support.h"

namespace pellora {
namespace {

using pellora::testing::FileExists;
using pellora::testing::ScratchFolder;

constexpr const char* kBrowserArguments =
    R"(--profile-directory="Profile 1" http://pellora-hijack.example/start --new-window)";

struct LinkView {
    std::string target;
    std::string arguments;
};

// The link as the shell reads it.
std::optional<LinkView> LoadLink(const std::string& path) {
    win32::ComScope com;
    win32::ComRef<IShellLinkW> link;
    win32::ComRef<IPersistFile> file;
    if (!com.ok() ||
        FAILED(CoCreateInstance(testing::kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, testing::kShellLinkW,
                                link.OutVoid())) ||
        FAILED(link->QueryInterface(testing::kPersistFile, file.OutVoid())) ||
        FAILED(file->Load(win32::Widen(path).c_str(), STGM_READ)))
        return std::nullopt;
    wchar_t target[MAX_PATH] = {};
    wchar_t arguments[1024] = {};
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) || FAILED(link->GetArguments(arguments, 1024)))
        return std::nullopt;
    return LinkView{win32::Narrow(target), win32::Narrow(arguments)};
}

class ShortcutWinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::PrepareCustomScan(app.state(), appFolder, system.WindowsDirectory(), system.SystemDirectory(),
                                   scratch / "cookies", {"0", "0", "0", "0", "1", "0", "0"});  // automatic erase
        CleanUp();
    }
    void TearDown() override { CleanUp(); }
    void CleanUp() {
        DeleteFileW(win32::Widen(browserLink).c_str());
        DeleteFileW(win32::Widen(toolLink).c_str());
    }
    std::string Log() { return files.ReadFile(appFolder + "\\DavEre.roz").value_or("(no log)"); }

    ScratchFolder scratch{"shortcuts"};
    std::string appFolder = scratch / "app";
    std::string browserLink = testing::ShellFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Pellora Test Browser.lnk";
    std::string toolLink = testing::ShellFolderPath(CSIDL_STARTUP) + "\\Pellora Test Tool.lnk";
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    win32::SystemWin system;
    fakes::FakeUi ui;
    Ports ports{registry, files, processes, shell, clock, system, ui, nullptr, nullptr, nullptr, nullptr, nullptr};
    App app{ports};
};

TEST_F(ShortcutWinTest, ABrowsersLinkIsRepairedAnotherDeletedAndBothComeBackByteForByte) {
    for (const char* folder : {"Google", "Google\\Chrome", "Google\\Chrome\\Application", "tool"})
        CreateDirectoryW(win32::Widen(scratch / folder).c_str(), nullptr);
    const std::string chrome = scratch / "Google\\Chrome\\Application\\chrome.exe";
    const std::string tool = scratch / "tool\\tool.exe";
    for (const std::string& program : {chrome, tool})
        ASSERT_TRUE(files.WriteFileAtomic(program, "MZ"));
    ASSERT_TRUE(testing::SaveShellLink(browserLink, chrome, kBrowserArguments)) << browserLink;
    ASSERT_TRUE(testing::SaveShellLink(toolLink, tool, "--home http://PELLORA-HIJACK.example")) << toolLink;
    const std::optional<std::string> browserBytes = files.ReadFile(browserLink);
    const std::optional<std::string> toolBytes = files.ReadFile(toolLink);
    ASSERT_TRUE(browserBytes && toolBytes);

    app.state().lstDBaseFile = {"1.0", "shortcut|pellora-hijack.example|Hijack.Shortcut|"};
    app.scanner().StartScan();
    std::vector<std::string> rows;
    for (const ResultRow& row : app.state().lstScanResult)
        rows.push_back(row.type + " " + row.object);
    EXPECT_EQ(rows, (std::vector<std::string>{"shortcut " + toolLink, "shortcut " + browserLink}));

    app.state().automaticScan = true;
    app.removalRun().cmdNextDelete_Click();
    SCOPED_TRACE(Log());
    const std::optional<LinkView> repaired = LoadLink(browserLink);
    ASSERT_TRUE(repaired.has_value());
    EXPECT_TRUE(EqualsIgnoreCase(repaired->target, chrome)) << repaired->target;
    EXPECT_EQ(repaired->arguments, R"(--profile-directory="Profile 1" --new-window)");
    EXPECT_FALSE(FileExists(toolLink));
    EXPECT_NE(Log().find("Shortcut repaired=" + browserLink + " (pellora-hijack.example taken out)"),
              std::string::npos);
    EXPECT_NE(Log().find("Shortcut deleted=" + toolLink), std::string::npos);

    app.quarantine().LoadToQuarantineList();
    ASSERT_EQ(app.state().lstQuarantinedList.size(), 1u);
    app.state().lstQuarantinedList[0].checked = true;
    app.quarantine().cmdRestoreQuarantined();
    EXPECT_EQ(files.ReadFile(browserLink), browserBytes);
    EXPECT_EQ(files.ReadFile(toolLink), toolBytes);
    EXPECT_TRUE(app.state().lstQuarantinedList.empty());
}

}  // namespace
}  // namespace pellora
