// Browser finds on the real platform with the full database the build makes: planted Chrome
// (two profiles), Edge, Brave and Firefox profiles and a policy value are found; while a stand-in
// "chrome.exe" runs, an unattended removal leaves Chrome's files as they were; once it has ended,
// the removal takes out only the finds (every other extension and setting stays, the files stay
// valid JSON) and a restore puts everything back.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "core/app/app.h"
#include "core/removal/object_presence.h"
#include "core/settings/settings_files.h"
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

using Json = nlohmann::json;
using pellora::testing::HelperPath;
using pellora::testing::MakeFolders;
using pellora::testing::ScratchFolder;

// Two ids of the extension list (the build's database names them) and one it does not.
const std::string kBad = "acmnokigkgihogfbeooklgemindnbine";
const std::string kBad2 = "apgohnlmnmkblgfplgnlmkjcpocgfomp";
const std::string kGood = "aapocclcgogkmnckokdopfmhonfmgoek";
constexpr const char* kPolicyKey = "Software\\Policies\\Google\\Chrome\\ExtensionInstallForcelist";

class BrowsersWinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The browsers' folders are found through these variables: the test's own profile.
        SetEnvironmentVariableW(L"LOCALAPPDATA", win32::Widen(local).c_str());
        SetEnvironmentVariableW(L"APPDATA", win32::Widen(roaming).c_str());
        SetEnvironmentVariableW(L"ProgramFiles", win32::Widen(scratch / "programs").c_str());
        SetEnvironmentVariableW(L"ProgramFiles(x86)", win32::Widen(scratch / "programs").c_str());
        AppState& state = app.state();
        state.appFolder = appFolder;
        MakeFolders(appFolder + "\\Settings");
        state.lstSettingsFile = DefaultSettingsLines("about:blank");
        state.lstSettingsFile[2] = "1";
        state.lstSettingsFile[9] = "0";  // smart scan
        state.lstScanInfoFile = DefaultScanInfoLines();
        state.lstCustomScanSettings = DefaultCustomScanLines();
        state.folders.windowsDir = system.WindowsDirectory();
        state.folders.systemDir = system.SystemDirectory();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Policies\\Google\\Chrome");

        // The real database: the starter items and the converted extension list, plus a hijack
        // text and a Firefox add-on id.
        std::string path = std::string("Z:") + PELLORA_FULL_DATABASE;
        std::replace(path.begin(), path.end(), '/', '\\');
        std::optional<std::string> text = files.ReadFile(path);
        ASSERT_TRUE(text) << path;
        for (size_t pos = 0; pos < text->size();) {
            size_t end = std::min(text->find('\n', pos), text->size());
            std::string line = text->substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            database.push_back(line);
            pos = end + 1;
        }
        ASSERT_NE(std::find(database.begin(), database.end(), "extension|" + kBad + "|Extension.Malicious|"),
                  database.end());
        database.push_back("hijack|pellora-evil-search|Hijack.Search: pellora-evil-search|");
        database.push_back("extension|spy@pellora-evil.example|Extension.Spyware: Spy|");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Policies\\Google\\Chrome");
        EndChrome();
    }

    void Plant(const std::string& path, const std::string& bytes) {
        MakeFolders(path.substr(0, path.rfind('\\')));
        ASSERT_TRUE(files.WriteFileAtomic(path, bytes)) << path;
        planted[path] = bytes;
    }
    std::string Read(const std::string& path) { return files.ReadFile(path).value_or(""); }

    void StartChrome() {
        const std::string program = scratch / "chrome.exe";
        ASSERT_TRUE(CopyFileW(win32::Widen(HelperPath()).c_str(), win32::Widen(program).c_str(), FALSE));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::wstring command = win32::Widen("\"" + program + "\" windowless");
        ASSERT_TRUE(
            CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        CloseHandle(info.hThread);
        chrome = info.hProcess;
        // Running once the system lists it.
        const ULONGLONG deadline = GetTickCount64() + 60000;
        auto listed = [&] {
            for (const ProcessEntry& entry : processes.Snapshot())
                if (entry.pid == info.dwProcessId)
                    return true;
            return false;
        };
        while (!listed()) {
            ASSERT_LT(GetTickCount64(), deadline) << "the stand-in browser was not listed within a minute";
            Sleep(20);
        }
    }
    void EndChrome() {
        if (!chrome)
            return;
        TerminateProcess(chrome, 1);
        EXPECT_EQ(WaitForSingleObject(chrome, 60000), WAIT_OBJECT_0) << "the stand-in browser did not end";
        CloseHandle(chrome);
        chrome = nullptr;
    }

    void Scan() {
        app.state().lstDBaseFile = database;
        app.scanner().StartScan();
    }
    void RemoveUnattended() {
        app.state().automaticScan = true;
        for (ResultRow& row : app.state().lstScanResult)
            row.checked = true;
        app.removalRun().cmdNextDelete_Click();
        app.state().automaticScan = false;
    }
    std::vector<std::string> Objects() {
        std::vector<std::string> objects;
        for (const ResultRow& row : app.state().lstScanResult)
            objects.push_back(row.type + " " + row.object);
        return objects;
    }
    bool Logged(const std::string& text) { return Read(appFolder + "\\DavEre.roz").find(text) != std::string::npos; }

    ScratchFolder scratch{"browsers"};
    std::string appFolder = scratch / "app";
    std::string local = scratch / "Local";
    std::string roaming = scratch / "Roaming";
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    win32::SystemWin system;
    fakes::FakeUi ui;
    Ports ports{registry, files, processes, shell, clock, system, ui};
    App app{ports};
    std::vector<std::string> database;
    std::map<std::string, std::string> planted;
    HANDLE chrome = nullptr;
};

TEST_F(BrowsersWinTest, FindRemoveOnlyWhileClosedAndRestore) {
    const std::string chromeData = local + "\\Google\\Chrome\\User Data";
    const std::string edge = local + "\\Microsoft\\Edge\\User Data\\Default";
    const std::string firefox = roaming + "\\Mozilla\\Firefox";
    const std::string manifest = chromeData + "\\Default\\Extensions\\" + kBad + "\\3.1_0\\manifest.json";
    const std::string secure = chromeData + "\\Default\\Secure Preferences";
    const std::string preferences = chromeData + "\\Default\\Preferences";
    const std::string work = chromeData + "\\Profile 1\\Preferences";
    const std::string edgeSecure = edge + "\\Secure Preferences";
    const std::string bravePreferences = local + "\\BraveSoftware\\Brave-Browser\\User Data\\Default\\Preferences";
    const std::string addons = firefox + "\\Profiles\\a.default\\extensions.json";
    const std::string prefsJs = firefox + "\\Profiles\\a.default\\prefs.js";
    Plant(chromeData + "\\Local State", R"({"profile":{"info_cache":{"Default":{},"Profile 1":{}}}})");
    Plant(manifest, R"({"name":"Bad Helper","version":"3.1"})");
    Plant(chromeData + "\\Default\\Extensions\\" + kGood + "\\1.0_0\\manifest.json", R"({"name":"Slides"})");
    Plant(secure, R"({"extensions":{"settings":{")" + kBad + R"(":{"location":1},")" + kGood +
                      R"(":{"location":1}}},"protection":{"macs":{"extensions":{"settings":{")" + kBad + R"(":"A1",")" +
                      kGood + R"(":"B2"}}},"super_mac":"C3"}})");
    Plant(preferences, R"({"homepage":"http://www.pellora-evil-search.example/","session":{"restore_on_startup":1}})");
    Plant(work, R"({"extensions":{"settings":{")" + kBad2 + R"(":{"state":1}}},"homepage":"https://intranet/"})");
    Plant(edgeSecure, R"({"extensions":{"settings":{")" + kBad2 + R"(":{},")" + kGood + R"(":{}}}})");
    Plant(bravePreferences, R"({"homepage":"https://search.brave.com/","session":{"startup_urls":["https://)"
                            R"(news.example/","http://pellora-evil-search.example/start"]}})");
    Plant(firefox + "\\profiles.ini", "[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/a.default\r\n");
    Plant(addons, R"({"schemaVersion":36,"addons":[{"id":"keep@example.org"},{"id":"Spy@Pellora-Evil.Example"}]})");
    Plant(prefsJs,
          "user_pref(\"browser.startup.homepage\", \"https://pellora-evil-search.example/\");\n"
          "user_pref(\"browser.tabs.warnOnClose\", false);\n");
    ASSERT_TRUE(registry.CreateKey(RootKey::CurrentUser, kPolicyKey));
    ASSERT_TRUE(
        registry.SetValue(RootKey::CurrentUser, kPolicyKey, "1", RegValue{kRegSz, kBad + std::string(1, '\0')}));
    ASSERT_TRUE(
        registry.SetValue(RootKey::CurrentUser, kPolicyKey, "2", RegValue{kRegSz, kGood + std::string(1, '\0')}));

    StartChrome();
    Scan();
    const std::vector<std::string> found = Objects();
    ASSERT_EQ(found.size(), 9u) << ::testing::PrintToString(found);
    auto has = [&](const std::string& text) {
        return std::any_of(found.begin(), found.end(),
                           [&](const std::string& o) { return o.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has("extension Chrome, profile Default: extension \"Bad Helper\" (" + kBad + ") in " +
                    manifest.substr(0, manifest.rfind("\\3.1_0"))));
    EXPECT_TRUE(
        has("Chrome, profile Default: extension (" + kBad + ") in " + secure + ": extensions.settings." + kBad));
    EXPECT_TRUE(has("Chrome, profile Profile 1: extension (" + kBad2 + ") in " + work));
    EXPECT_TRUE(has("Edge, profile Default: extension (" + kBad2 + ") in " + edgeSecure));
    EXPECT_TRUE(has("hijack Brave, profile Default: startup page http://pellora-evil-search.example/start in " +
                    bravePreferences + ": session.startup_urls.1"));
    EXPECT_TRUE(has("Chrome, all profiles: extension (" + kBad + ") in HKEY_CURRENT_USER\\" + kPolicyKey + ": 1"));
    EXPECT_TRUE(has("Firefox, profile a.default: extension (Spy@Pellora-Evil.Example) in " + addons + ": addons.1"));
    EXPECT_TRUE(
        has("hijack Chrome, profile Default: home page http://www.pellora-evil-search.example/ in " + preferences));
    EXPECT_TRUE(has("hijack Firefox, profile a.default: home page https://pellora-evil-search.example/ in " + prefsJs));

    // While "chrome.exe" runs, an unattended run changes none of Chrome's files.
    RemoveUnattended();
    EXPECT_TRUE(Logged("(Chrome is running (chrome.exe); its files are changed only while it is closed)"));
    for (const std::string& path : {manifest, secure, preferences, work})
        EXPECT_EQ(Read(path), planted[path]) << path;
    EXPECT_NE(Read(edgeSecure), planted[edgeSecure]);
    EXPECT_FALSE(registry.QueryValue(RootKey::CurrentUser, kPolicyKey, "1"));

    EndChrome();
    Scan();
    EXPECT_EQ(Objects().size(), 4u) << ::testing::PrintToString(Objects());
    RemoveUnattended();
    EXPECT_FALSE(pellora::testing::FileExists(manifest));
    EXPECT_TRUE(
        pellora::testing::FileExists(chromeData + "\\Default\\Extensions\\" + kGood + "\\1.0_0\\manifest.json"));
    Json expected = Json::parse(planted[secure]);
    expected["extensions"]["settings"].erase(kBad);
    expected["protection"]["macs"]["extensions"]["settings"].erase(kBad);
    EXPECT_EQ(Json::parse(Read(secure)), expected);
    expected = Json::parse(planted[preferences]);
    expected.erase("homepage");
    EXPECT_EQ(Json::parse(Read(preferences)), expected);
    expected = Json::parse(planted[work]);
    expected["extensions"]["settings"].erase(kBad2);
    EXPECT_EQ(Json::parse(Read(work)), expected);
    expected = Json::parse(planted[edgeSecure]);
    expected["extensions"]["settings"].erase(kBad2);
    EXPECT_EQ(Json::parse(Read(edgeSecure)), expected);
    // A hijacked startup page takes its whole list back to the browser's default.
    expected = Json::parse(planted[bravePreferences]);
    expected["session"].erase("startup_urls");
    EXPECT_EQ(Json::parse(Read(bravePreferences)), expected);
    expected = Json::parse(planted[addons]);
    expected["addons"].erase(1);
    EXPECT_EQ(Json::parse(Read(addons)), expected);
    EXPECT_EQ(Read(prefsJs), "user_pref(\"browser.tabs.warnOnClose\", false);\n");
    EXPECT_TRUE(registry.QueryValue(RootKey::CurrentUser, kPolicyKey, "2"));
    Scan();
    EXPECT_TRUE(Objects().empty()) << ::testing::PrintToString(Objects());

    // Restore: files byte for byte, members into the same objects, the policy value.
    app.quarantine().LoadToQuarantineList();
    for (QuarantinePackageRow& row : app.state().lstQuarantinedList)
        row.checked = true;
    app.quarantine().cmdRestoreQuarantined();
    EXPECT_EQ(Read(manifest), planted[manifest]);
    for (const std::string& path : {secure, preferences, work, edgeSecure, bravePreferences, addons})
        EXPECT_EQ(Json::parse(Read(path)), Json::parse(planted[path])) << path;
    EXPECT_NE(Read(prefsJs).find("pellora-evil-search"), std::string::npos);
    std::optional<RegValue> policy = registry.QueryValue(RootKey::CurrentUser, kPolicyKey, "1");
    ASSERT_TRUE(policy);
    EXPECT_EQ(policy->data.substr(0, kBad.size()), kBad);
    Scan();
    EXPECT_EQ(Objects().size(), 9u) << ::testing::PrintToString(Objects());
}

}  // namespace
}  // namespace pellora
