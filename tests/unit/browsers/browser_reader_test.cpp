#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/browsers/browser_reader.h"
#include "fakes/fake_platform.h"

namespace pellora::browsers {
namespace {

constexpr const char* kLocal = R"(C:\Users\ann\AppData\Local)";
constexpr const char* kRoaming = R"(C:\Users\ann\AppData\Roaming)";
constexpr const char* kChrome = R"(C:\Users\ann\AppData\Local\Google\Chrome\User Data)";
constexpr const char* kEdge = R"(C:\Users\ann\AppData\Local\Microsoft\Edge\User Data)";
constexpr const char* kBrave = R"(C:\Users\ann\AppData\Local\BraveSoftware\Brave-Browser\User Data)";
constexpr const char* kFirefox = R"(C:\Users\ann\AppData\Roaming\Mozilla\Firefox)";
constexpr const char* kHklm = R"(HKEY_LOCAL_MACHINE\Software\)";
constexpr const char* kHkcu = R"(HKEY_CURRENT_USER\Software\)";

constexpr const char* kIdA = "abcdefghijklmnopabcdefghijklmnop";
constexpr const char* kIdB = "ppppoooonnnnmmmmllllkkkkjjjjiiii";
constexpr const char* kIdC = "cccccccccccccccccccccccccccccccc";
constexpr const char* kIdD = "dddddddddddddddddddddddddddddddd";
constexpr const char* kIdE = "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee";

// Counts reads per file, so a test can tell every file was read once.
class CountingFiles : public fakes::FakeFileSystem {
  public:
    std::optional<std::string> ReadFile(const std::string& path) override {
        ++reads[path];
        return FakeFileSystem::ReadFile(path);
    }
    std::map<std::string, int> reads;
};

class BrowserReaderTest : public ::testing::Test {
  protected:
    BrowserReaderTest() {
        system_.environment["LOCALAPPDATA"] = kLocal;
        system_.environment["APPDATA"] = kRoaming;
        system_.environment["PROGRAMFILES"] = R"(C:\Program Files)";
        system_.environment["PROGRAMFILES(X86)"] = R"(C:\Program Files (x86))";
    }

    BrowserInventory Read() { return BrowserReader(files_, registry_, system_).ReadAll(); }

    void PlantExtension(const std::string& profile,
                        const std::string& id,
                        const std::string& version,
                        const std::string& manifest) {
        files_.AddFile(profile + "\\Extensions\\" + id + "\\" + version + "\\manifest.json", manifest);
    }

    static std::vector<ExtensionFind> Extensions(const BrowserInventory& all,
                                                 const std::string& browser,
                                                 ExtensionSource source) {
        std::vector<ExtensionFind> found;
        for (const ExtensionFind& find : all.extensions) {
            if (find.browser == browser && find.source == source)
                found.push_back(find);
        }
        return found;
    }
    static std::vector<std::string> Ids(const std::vector<ExtensionFind>& finds) {
        std::vector<std::string> ids;
        for (const ExtensionFind& find : finds)
            ids.push_back(find.profile + "/" + find.id);
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    static std::vector<std::string> Settings(const BrowserInventory& all, const std::string& browser) {
        std::vector<std::string> found;
        for (const SettingFind& find : all.settings) {
            if (find.browser == browser)
                found.push_back(std::to_string(static_cast<int>(find.kind)) + " " + find.value + " @ " +
                                find.where.Describe());
        }
        std::sort(found.begin(), found.end());
        return found;
    }
    static bool HasProblem(const BrowserInventory& all, const std::string& place, const std::string& text) {
        return std::any_of(all.problems.begin(), all.problems.end(), [&](const ReadProblem& problem) {
            return problem.place.find(place) != std::string::npos && problem.text.find(text) != std::string::npos;
        });
    }

    CountingFiles files_;
    fakes::FakeRegistry registry_;
    fakes::FakeSystem system_;
};

// Chrome with two listed profiles (and a folder no one lists), Edge and Brave without Local
// State, Opera's profile in its user-data folder itself, Firefox with a relative and an
// absolute profile.
TEST_F(BrowserReaderTest, FindsTheProfilesEachBrowserLists) {
    files_.AddFile(std::string(kChrome) + "\\Local State",
                   R"({"profile":{"info_cache":{"Default":{"name":"Ann"},"Profile 1":{"name":"Work"},"default":{}}}})");
    files_.AddFile(std::string(kChrome) + "\\Default\\Preferences", "{}");
    files_.AddFile(std::string(kChrome) + "\\Profile 1\\Preferences", "{}");
    files_.AddFile(std::string(kChrome) + "\\Profile 7\\Preferences", "{}");
    files_.AddFile(std::string(kEdge) + "\\Default\\Preferences", "{}");
    files_.AddFile(std::string(kBrave) + "\\Default\\Preferences", "{}");
    files_.AddFile(std::string(kRoaming) + "\\Opera Software\\Opera Stable\\Preferences", "{}");
    files_.AddFile(std::string(kFirefox) + "\\profiles.ini",
                   "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\nName=default-release\r\n"
                   "IsRelative=1\r\nPath=Profiles/x1y2.default-release\r\n\r\n[Profile1]\r\nName=other\r\n"
                   "IsRelative=0\r\nPath=D:\\Elsewhere\\ff.other\r\n"
                   // The same two profiles again, in other spellings: each is read once.
                   "[Profile2]\r\nIsRelative=1\r\nPath=PROFILES\\X1Y2.default-release\r\n"
                   "[Profile3]\r\nIsRelative=0\r\nPath=d:\\elsewhere\\FF.OTHER\r\n");
    files_.AddFolder(std::string(kFirefox) + "\\Profiles\\x1y2.default-release");
    files_.AddFolder(R"(D:\Elsewhere\ff.other)");

    const BrowserInventory inventory = Read();
    std::vector<std::string> profiles;
    for (const BrowserProfile& profile : inventory.profiles)
        profiles.push_back(profile.browser + "|" + profile.name + "|" + profile.displayName + "|" + profile.folder);
    EXPECT_EQ(profiles, (std::vector<std::string>{
                            "Chrome|Default|Ann|" + std::string(kChrome) + "\\Default",
                            "Chrome|Profile 1|Work|" + std::string(kChrome) + "\\Profile 1",
                            "Edge|Default||" + std::string(kEdge) + "\\Default",
                            "Brave|Default||" + std::string(kBrave) + "\\Default",
                            "Opera|Opera Stable||" + std::string(kRoaming) + "\\Opera Software\\Opera Stable",
                            "Firefox|x1y2.default-release|default-release|" + std::string(kFirefox) +
                                "\\Profiles\\x1y2.default-release",
                            "Firefox|ff.other|other|D:\\Elsewhere\\ff.other",
                        }));
    EXPECT_TRUE(inventory.problems.empty());
}

TEST_F(BrowserReaderTest, ReadsInstalledExtensionsWithTheirNamesAndPlaces) {
    const std::string profile = std::string(kChrome) + "\\Default";
    // A localised name, its message key in another letter case than the catalog's.
    PlantExtension(profile, kIdA, "1.2_0",
                   R"({"name":"__MSG_appName__","version":"1.2","default_locale":"en","update_url":"https://u/x"})");
    files_.AddFile(profile + "\\Extensions\\" + kIdA + "\\1.2_0\\_locales\\en\\messages.json",
                   R"({"APPNAME":{"message":"Coupon Helper"}})");
    PlantExtension(profile, kIdB, "3.0_0", "\xEF\xBB\xBF{\"name\":\"With BOM\",\"version\":\"3.0\"}");
    files_.AddFolder(profile + "\\Extensions\\Temp");
    files_.AddFolder(profile + "\\Extensions\\not-an-id");
    files_.AddFile(profile + "\\Preferences",
                   R"({"extensions":{"settings":{
                        "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP":{"path":"abcdefghijklmnopabcdefghijklmnop\\1.2_0",
                            "location":1,"state":1,"manifest":{"name":"Coupon Helper","version":"1.2"}},
                        "..\\..\\Windows":{"path":"C:\\Windows","location":4}}}})");
    files_.AddFile(profile + "\\Secure Preferences",
                   R"({"extensions":{"settings":{"cccccccccccccccccccccccccccccccc":{
                        "path":"D:\\anywhere\\unpacked","location":4,"manifest":{"name":"Dev"}},
                        "dddddddddddddddddddddddddddddddd":{"path":"..\\..\\..\\Windows","location":1}}}})");
    const std::string ffProfile = std::string(kFirefox) + "\\Profiles\\p.default";
    files_.AddFile(std::string(kFirefox) + "\\profiles.ini", "[Profile0]\nIsRelative=1\nPath=Profiles/p.default\n");
    files_.AddFile(ffProfile + "\\extensions.json",
                   R"({"schemaVersion":36,"addons":[
                        {"id":"helper@example.com","version":"2","location":"app-profile",
                         "defaultLocale":{"name":"Helper"},"path":"C:\\x\\helper@example.com.xpi"},
                        {"id":"{12345678-abcd-ef01-2345-6789abcdef01}","name":"Guid"},
                        {"id":"../../evil"}]})");
    files_.AddFile(ffProfile + "\\extensions\\helper@example.com.xpi", "PK");
    files_.AddFile(ffProfile + "\\extensions\\..evil.xpi", "PK");

    const BrowserInventory inventory = Read();

    const auto installed = Extensions(inventory, "Chrome", ExtensionSource::InstalledFolder);
    ASSERT_EQ(installed.size(), 2u);
    const ExtensionFind& a = installed[0].id == kIdA ? installed[0] : installed[1];
    const ExtensionFind& b = installed[0].id == kIdA ? installed[1] : installed[0];
    EXPECT_EQ(a.name, "Coupon Helper");
    EXPECT_EQ(a.version, "1.2");
    EXPECT_EQ(a.updateUrl, "https://u/x");
    EXPECT_EQ(a.profile, "Default");
    EXPECT_EQ(a.where.kind, Place::Kind::Folder);
    EXPECT_EQ(a.where.path, profile + "\\Extensions\\" + kIdA);
    EXPECT_EQ(a.folder, profile + "\\Extensions\\" + kIdA + "\\1.2_0");
    EXPECT_EQ(b.name, "With BOM");
    EXPECT_TRUE(HasProblem(inventory, "not-an-id", "not an extension id"));

    // Listed ids in lower case; the member keeps the spelling it has in the file.
    const auto listed = Extensions(inventory, "Chrome", ExtensionSource::ProfileSettings);
    EXPECT_EQ(Ids(listed), (std::vector<std::string>{std::string("Default/") + kIdA, std::string("Default/") + kIdC,
                                                     std::string("Default/") + kIdD}));
    for (const ExtensionFind& find : listed) {
        if (find.id == kIdA) {
            EXPECT_EQ(find.where.Describe(),
                      profile + "\\Preferences: extensions.settings.ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP");
            EXPECT_EQ(find.folder, profile + "\\Extensions\\" + kIdA + "\\1.2_0");
            EXPECT_FALSE(find.unpacked);
            EXPECT_EQ(find.state, 1);
        } else if (find.id == kIdC) {
            EXPECT_TRUE(find.unpacked);
            EXPECT_EQ(find.folder, R"(D:\anywhere\unpacked)");
            EXPECT_EQ(find.location, 4);
            EXPECT_EQ(find.where.path, profile + "\\Secure Preferences");
        } else {
            EXPECT_EQ(find.folder, "") << "a relative path that climbs out gives no folder";
        }
    }
    EXPECT_TRUE(HasProblem(inventory, "Preferences", "extension id not valid: ..\\..\\Windows"));

    const auto addons = Extensions(inventory, "Firefox", ExtensionSource::FirefoxAddonList);
    EXPECT_EQ(Ids(addons), (std::vector<std::string>{"p.default/helper@example.com",
                                                     "p.default/{12345678-abcd-ef01-2345-6789abcdef01}"}));
    EXPECT_EQ(addons[0].name, "Helper");
    EXPECT_EQ(addons[0].version, "2");
    EXPECT_EQ(addons[0].locationName, "app-profile");
    EXPECT_EQ(addons[0].folder, R"(C:\x\helper@example.com.xpi)");
    EXPECT_EQ(addons[0].where.Describe(), ffProfile + "\\extensions.json: addons.0");
    EXPECT_EQ(addons[1].name, "Guid");
    EXPECT_TRUE(HasProblem(inventory, "extensions.json", "../../evil"));
    const auto xpis = Extensions(inventory, "Firefox", ExtensionSource::FirefoxXpi);
    ASSERT_EQ(xpis.size(), 1u);
    EXPECT_EQ(xpis[0].where.path, ffProfile + "\\extensions\\helper@example.com.xpi");
    EXPECT_TRUE(HasProblem(inventory, "..evil.xpi", "not named by an add-on id"));
}

TEST_F(BrowserReaderTest, ReadsWhatInstallsExtensionsFromOutsideTheProfile) {
    registry_.AddString(std::string(kHklm) + "Google\\Chrome\\Extensions\\" + kIdA, "update_url", "https://evil/u");
    registry_.AddString(std::string(kHklm) + "WOW6432Node\\Google\\Chrome\\Extensions\\" + kIdB, "path", "C:\\x.crx");
    registry_.AddKey(std::string(kHkcu) + "Microsoft\\Edge\\Extensions\\" + kIdC);
    registry_.AddKey(std::string(kHkcu) + "Microsoft\\Edge\\Extensions\\..\\..");
    files_.AddFile(std::string(kChrome) + "\\External Extensions\\" + kIdD + ".json",
                   R"({"external_update_url":"https://evil/d"})");
    files_.AddFile(R"(C:\Program Files\Google\Chrome\Application\extensions\)" + std::string(kIdE) + ".json",
                   R"({"external_crx":"C:\\e.crx","external_version":"1"})");
    const std::string policies = std::string(kHklm) + "Policies\\Google\\Chrome";
    registry_.AddString(policies + "\\ExtensionInstallForcelist", "1", std::string(kIdA) + ";https://evil/force");
    registry_.AddString(policies + "\\ExtensionInstallForcelist", "2", kIdB);
    registry_.AddString(policies + "\\ExtensionInstallForcelist", "3", "C:\\Windows;x");
    registry_.AddString(policies, "ExtensionSettings",
                        std::string(R"({"*":{"installation_mode":"blocked"},")") + kIdC +
                            R"(":{"installation_mode":"force_installed","update_url":"https://evil/c"},")" + kIdD +
                            R"(":{"installation_mode":"blocked"},")" + kIdE +
                            R"(":{"installation_mode":"normal_installed"},")" + kIdA + ", " + kIdB +
                            R"(":{"installation_mode":"force_installed"}})");
    registry_.AddString(std::string(kHkcu) + "Policies\\BraveSoftware\\Brave", "ExtensionSettings", "{not json");
    const std::string ffPolicies = std::string(kHkcu) + "Policies\\Mozilla\\Firefox";
    registry_.AddString(
        ffPolicies, "ExtensionSettings",
        R"({"Bad@Example.com":{"installation_mode":"force_installed","install_url":"https://evil/x.xpi"}})");
    registry_.AddString(ffPolicies + "\\Extensions\\Install", "1", "https://evil/y.xpi");
    files_.AddFile(R"(C:\Program Files\Mozilla Firefox\distribution\policies.json)",
                   R"({"policies":{"ExtensionSettings":{"{12345678-abcd-ef01-2345-6789abcdef01}":
                        {"installation_mode":"force_installed"}},"Extensions":{"Install":["C:\\z.xpi"]}}})");

    const BrowserInventory inventory = Read();

    const auto keys = Extensions(inventory, "Chrome", ExtensionSource::ExternalKey);
    EXPECT_EQ(Ids(keys), (std::vector<std::string>{std::string("/") + kIdA, std::string("/") + kIdB}));
    for (const ExtensionFind& find : keys) {
        EXPECT_TRUE(find.machineWide);
        EXPECT_EQ(find.where.kind, Place::Kind::RegistryKey);
    }
    EXPECT_EQ(keys[0].id == kIdA ? keys[0].updateUrl : keys[1].updateUrl, "https://evil/u");
    const auto edgeKeys = Extensions(inventory, "Edge", ExtensionSource::ExternalKey);
    ASSERT_EQ(edgeKeys.size(), 1u);
    EXPECT_FALSE(edgeKeys[0].machineWide);
    EXPECT_EQ(edgeKeys[0].where.Describe(), std::string(kHkcu) + "Microsoft\\Edge\\Extensions\\" + kIdC);

    const auto externalFiles = Extensions(inventory, "Chrome", ExtensionSource::ExternalFile);
    EXPECT_EQ(Ids(externalFiles), (std::vector<std::string>{std::string("/") + kIdD, std::string("/") + kIdE}));

    const auto forced = Extensions(inventory, "Chrome", ExtensionSource::ForceInstallPolicy);
    EXPECT_EQ(Ids(forced), (std::vector<std::string>{std::string("/") + kIdA, std::string("/") + kIdB}));
    EXPECT_EQ(forced[0].id == kIdA ? forced[0].updateUrl : forced[1].updateUrl, "https://evil/force");
    EXPECT_TRUE(HasProblem(inventory, "ExtensionInstallForcelist: 3", "C:\\Windows"));

    const auto settings = Extensions(inventory, "Chrome", ExtensionSource::ExtensionSettingsPolicy);
    EXPECT_EQ(Ids(settings), (std::vector<std::string>{std::string("/") + kIdA, std::string("/") + kIdC,
                                                       std::string("/") + kIdE, std::string("/") + kIdB}));
    for (const ExtensionFind& find : settings) {
        if (find.id == kIdC) {
            EXPECT_EQ(find.installMode, "force_installed");
            EXPECT_EQ(find.where.Describe(), policies + ": ExtensionSettings: " + kIdC);
        } else if (find.id == kIdB) {
            EXPECT_EQ(find.where.member.back(), std::string(kIdA) + ", " + kIdB) << "the entry as it is named";
        }
    }
    EXPECT_TRUE(HasProblem(inventory, "Brave: ExtensionSettings", "not valid JSON"));

    const auto ffSettings = Extensions(inventory, "Firefox", ExtensionSource::ExtensionSettingsPolicy);
    EXPECT_EQ(Ids(ffSettings),
              (std::vector<std::string>{"/Bad@Example.com", "/{12345678-abcd-ef01-2345-6789abcdef01}"}));
    const auto ffInstall = Extensions(inventory, "Firefox", ExtensionSource::FirefoxInstallPolicy);
    ASSERT_EQ(ffInstall.size(), 2u);
    EXPECT_EQ(ffInstall[0].updateUrl, "https://evil/y.xpi");
    EXPECT_EQ(ffInstall[1].where.Describe(),
              R"(C:\Program Files\Mozilla Firefox\distribution\policies.json: policies.Extensions.Install.0)");
}

TEST_F(BrowserReaderTest, ReadsTheSettingsAHijackerChanges) {
    const std::string profile = std::string(kChrome) + "\\Default";
    files_.AddFile(profile + "\\Preferences",
                   R"({"homepage":"http://hijack.example/home","homepage_is_newtabpage":false,
                       "session":{"restore_on_startup":4,"startup_urls":["http://a.example/","",7,"http://b.example/"]},
                       "newtab_page_location":"http://ntp.example/",
                       "default_search_provider_data":{"template_url_data":{"url":"http://search.example/?q={searchTerms}"}}})");
    const std::string policies = std::string(kHkcu) + "Policies\\Microsoft\\Edge";
    registry_.AddString(policies, "HomepageLocation", "http://policy.example/");
    registry_.AddDword(policies, "RestoreOnStartup", 4);
    registry_.AddString(policies, "DefaultSearchProviderSearchURL", "http://dsp.example/?q={searchTerms}");
    registry_.AddString(policies, "DefaultSearchProviderName", "Evil");
    registry_.AddString(policies, "UnrelatedPolicy", "http://not-a-setting.example/");
    registry_.AddString(policies + "\\RestoreOnStartupURLs", "1", "http://start.example/");
    registry_.AddString(policies + "\\Recommended", "NewTabPageLocation", "http://rec.example/");
    const std::string ffProfile = std::string(kFirefox) + "\\Profiles\\p.default";
    files_.AddFile(std::string(kFirefox) + "\\profiles.ini", "[Profile0]\nIsRelative=1\nPath=Profiles/p.default\n");
    files_.AddFile(ffProfile + "\\prefs.js",
                   "// Mozilla User Preferences\n"
                   "user_pref(\"browser.startup.homepage\", \"http://ff.example/|http://two.example/\");\n"
                   "user_pref(\"browser.startup.page\", 1);\n"
                   "this line is damaged(\n"
                   "user_pref(\"browser.newtab.url\", \"http://q\\\"uoted.example/\");\n");
    files_.AddFile(ffProfile + "\\user.js", "user_pref('keyword.URL', 'http://kw.example/?q=');\n");
    const std::string ffPolicies = std::string(kHklm) + "Policies\\Mozilla\\Firefox";
    registry_.AddString(ffPolicies + "\\Homepage", "URL", "http://ffpolicy.example/");
    registry_.AddString(ffPolicies + "\\SearchEngines\\Add\\1", "URLTemplate",
                        "http://ffsearch.example/?q={searchTerms}");

    const BrowserInventory inventory = Read();

    const std::string prefs = profile + "\\Preferences: ";
    EXPECT_EQ(Settings(inventory, "Chrome"), (std::vector<std::string>{
                                                 "0 http://hijack.example/home @ " + prefs + "homepage",
                                                 "1 http://a.example/ @ " + prefs + "session.startup_urls.0",
                                                 "1 http://b.example/ @ " + prefs + "session.startup_urls.3",
                                                 "2 4 @ " + prefs + "session.restore_on_startup",
                                                 "3 http://ntp.example/ @ " + prefs + "newtab_page_location",
                                                 "4 http://search.example/?q={searchTerms} @ " + prefs +
                                                     "default_search_provider_data.template_url_data.url",
                                             }));
    const std::string key = R"(HKEY_CURRENT_USER\Software\Policies\Microsoft\Edge)";
    EXPECT_EQ(Settings(inventory, "Edge"),
              (std::vector<std::string>{
                  "0 http://policy.example/ @ " + key + ": HomepageLocation",
                  "1 http://start.example/ @ " + key + "\\RestoreOnStartupURLs: 1",
                  "2 4 @ " + key + ": RestoreOnStartup",
                  "3 http://rec.example/ @ " + key + "\\Recommended: NewTabPageLocation",
                  "4 http://dsp.example/?q={searchTerms} @ " + key + ": DefaultSearchProviderSearchURL",
                  "5 Evil @ " + key + ": DefaultSearchProviderName",
              }));
    const std::string ffKey = R"(HKEY_LOCAL_MACHINE\Software\Policies\Mozilla\Firefox)";
    EXPECT_EQ(Settings(inventory, "Firefox"),
              (std::vector<std::string>{
                  "0 http://ff.example/|http://two.example/ @ " + ffProfile + "\\prefs.js: browser.startup.homepage",
                  "0 http://ffpolicy.example/ @ " + ffKey + "\\Homepage: URL",
                  "2 1 @ " + ffProfile + "\\prefs.js: browser.startup.page",
                  "3 http://q\"uoted.example/ @ " + ffProfile + "\\prefs.js: browser.newtab.url",
                  "4 http://ffsearch.example/?q={searchTerms} @ " + ffKey + "\\SearchEngines\\Add\\1: URLTemplate",
                  "4 http://kw.example/?q= @ " + ffProfile + "\\user.js: keyword.URL",
              }));
    for (const SettingFind& find : inventory.settings)
        EXPECT_EQ(find.policy, find.profile.empty()) << find.value;
}

// A junction and a link that does not say it is one (a host's symbolic link under Wine) lead
// elsewhere: neither a profile nor an extension folder is entered through them.
TEST_F(BrowserReaderTest, NeverEntersProfileOrExtensionFoldersThatAreLinks) {
    files_.AddFile(std::string(kChrome) + "\\Local State",
                   R"({"profile":{"info_cache":{"Default":{},"Profile 1":{},"Profile 2":{}}}})");
    const std::string profile = std::string(kChrome) + "\\Default";
    files_.AddFile(profile + "\\Preferences", "{}");
    files_.AddFolderLinkTo(std::string(kChrome) + "\\Profile 1", R"(C:\Windows)", true);
    files_.AddFolderLinkTo(std::string(kChrome) + "\\Profile 2", R"(C:\Windows\System32)", false);
    // What a reader that followed the links would find (the fake lists a link's own entries).
    files_.AddFile(std::string(kChrome) + "\\Profile 1\\Preferences", R"({"homepage":"http://one/"})");
    files_.AddFile(std::string(kChrome) + "\\Profile 2\\Preferences", R"({"homepage":"http://two/"})");
    files_.AddFolder(R"(C:\Windows\System32)");
    PlantExtension(profile, kIdA, "1.0", R"({"name":"Real"})");
    files_.AddFolderLinkTo(profile + "\\Extensions\\" + kIdB, R"(C:\Windows)", false);
    PlantExtension(profile, kIdB, "1.0", R"({"name":"Through a link"})");
    files_.AddFolderLinkTo(profile + "\\Extensions\\" + kIdA + "\\2.0", R"(C:\Windows)", true);
    files_.AddFile(profile + "\\Extensions\\" + kIdA + "\\2.0\\manifest.json", R"({"name":"Junction"})");
    const std::string ffRoot = kFirefox;
    files_.AddFile(ffRoot + "\\profiles.ini",
                   "[Profile0]\nIsRelative=1\nPath=Profiles/linked\n[Profile1]\nIsRelative=0\nPath=D:\\ff\\abs\n"
                   "[Profile2]\nIsRelative=1\nPath=../../../../Windows\n[Profile3]\nIsRelative=0\nPath=C:\\\n");
    files_.AddFolder(R"(D:\real\abs)");
    files_.AddFolderLinkTo(ffRoot + "\\Profiles\\linked", R"(D:\real)", false);
    files_.AddFolderLinkTo(R"(D:\ff)", R"(D:\real)", false);
    files_.AddFile(R"(D:\ff\abs\prefs.js)", "user_pref(\"browser.startup.homepage\", \"http://abs/\");");

    // A whole user-data folder that leads elsewhere.
    files_.AddFolderLinkTo(std::string(kLocal) + "\\Microsoft\\Edge", R"(D:\real)", false);
    files_.AddFile(std::string(kEdge) + "\\Default\\Preferences", R"({"homepage":"http://edge/"})");

    const BrowserInventory inventory = Read();

    ASSERT_EQ(inventory.profiles.size(), 1u);
    EXPECT_EQ(inventory.profiles[0].folder, profile);
    EXPECT_TRUE(inventory.settings.empty());
    const auto installed = Extensions(inventory, "Chrome", ExtensionSource::InstalledFolder);
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_EQ(installed[0].name, "Real");
    EXPECT_TRUE(HasProblem(inventory, "Profile 1", "a link"));
    EXPECT_TRUE(HasProblem(inventory, "Profile 2", "a link"));
    EXPECT_TRUE(HasProblem(inventory, kIdB, "a link"));
    EXPECT_TRUE(HasProblem(inventory, std::string(kIdA) + "\\2.0", "a link"));
    EXPECT_TRUE(HasProblem(inventory, "profiles.ini", "Profiles\\linked"));
    EXPECT_TRUE(HasProblem(inventory, "profiles.ini", "D:\\ff\\abs"));
    EXPECT_TRUE(HasProblem(inventory, "profiles.ini", "Windows"));
    EXPECT_TRUE(HasProblem(inventory, "profiles.ini", "Profile3"));
    EXPECT_TRUE(HasProblem(inventory, "Edge\\User Data", "a link on the way"));
}

// Damaged and hostile profile files: each gives a problem naming the file, the rest of the
// walk goes on, nothing crashes or hangs.
TEST_F(BrowserReaderTest, DamagedFilesGiveProblemsAndTheWalkGoesOn) {
    files_.AddFile(std::string(kChrome) + "\\Local State",
                   R"({"profile":{"info_cache":{"Default":{},"P1":{},"P2":{},"P3":{},"P4":{},"P5":{},"..\\x":{}}}})");
    const std::string chrome = kChrome;
    files_.AddFile(chrome + "\\Default\\Preferences", R"({"homepage":"http://trunc)");
    files_.AddFile(chrome + "\\P1\\Preferences", std::string(100000, '[') + std::string(100000, ']'));
    files_.AddFile(chrome + "\\P2\\Preferences", "{\"homepage\":\"http://latin\xE9.example/\"}");
    files_.AddFile(chrome + "\\P3\\Preferences", "\xFF\xFE{\0\"\0}\0");
    files_.AddFile(chrome + "\\P4\\Preferences", std::string(kMaxProfileFileLength + 1, ' '));
    files_.AddFile(chrome + "\\P5\\Preferences", "\xEF\xBB\xBF{\"homepage\":\"http://bom.example/\"}");
    PlantExtension(chrome + "\\P5", kIdA, "1", "{\"name\":");
    PlantExtension(chrome + "\\P5", kIdB, "1", std::string(kMaxManifestLength + 1, ' '));
    files_.AddFile(std::string(kEdge) + "\\Default\\Preferences", R"({"homepage":"http://edge.example/"})");

    const BrowserInventory inventory = Read();

    EXPECT_TRUE(HasProblem(inventory, "\\Default\\Preferences", "not valid JSON"));
    EXPECT_TRUE(HasProblem(inventory, "\\P1\\Preferences", "nested deeper than 128 levels"));
    EXPECT_TRUE(HasProblem(inventory, "\\P2\\Preferences", "not valid JSON"));
    EXPECT_TRUE(HasProblem(inventory, "\\P3\\Preferences", "not UTF-8"));
    EXPECT_TRUE(HasProblem(inventory, "\\P4\\Preferences", "larger than"));
    EXPECT_TRUE(HasProblem(inventory, "Local State", "profile name not valid: ..\\x"));
    EXPECT_TRUE(HasProblem(inventory, std::string(kIdA) + "\\1\\manifest.json", "not valid JSON"));
    EXPECT_TRUE(HasProblem(inventory, std::string(kIdB) + "\\1\\manifest.json", "larger than"));
    EXPECT_EQ(Settings(inventory, "Chrome"),
              (std::vector<std::string>{"0 http://bom.example/ @ " + chrome + "\\P5\\Preferences: homepage"}));
    EXPECT_EQ(Settings(inventory, "Edge").size(), 1u);
    // The damaged manifests still leave their folders found, without a name.
    EXPECT_EQ(Extensions(inventory, "Chrome", ExtensionSource::InstalledFolder).size(), 2u);
}

// A planted id folder with more version folders than one Extensions folder may hold is read up
// to the bound, not to the end.
TEST_F(BrowserReaderTest, BoundsWhatOneExtensionsFolderGives) {
    const std::string id = std::string(kChrome) + "\\Default\\Extensions\\" + kIdA;
    for (size_t v = 0; v < kMaxEntriesPerList + 5; ++v)
        files_.AddFolder(id + "\\" + std::to_string(v));

    const BrowserInventory inventory = Read();

    const size_t found = Extensions(inventory, "Chrome", ExtensionSource::InstalledFolder).size();
    EXPECT_GT(found, kMaxEntriesPerList - 10);
    EXPECT_LE(found, kMaxEntriesPerList);
}

// Hundreds of extensions across profiles: every file is read once.
TEST_F(BrowserReaderTest, ReadsEachFileOnce) {
    std::string cache = R"({"profile":{"info_cache":{)";
    for (int p = 0; p < 4; ++p) {
        const std::string name = "Profile " + std::to_string(p);
        cache += (p ? "," : "") + std::string("\"") + name + "\":{}";
        std::string settings = R"({"extensions":{"settings":{)";
        for (int e = 0; e < 100; ++e) {
            std::string id(32, 'a');
            id[0] = static_cast<char>('a' + p);
            id[30] = static_cast<char>('a' + e / 16);
            id[31] = static_cast<char>('a' + e % 16);
            PlantExtension(std::string(kChrome) + "\\" + name, id, "1.0",
                           R"({"name":"__MSG_n__","default_locale":"en"})");
            files_.AddFile(
                std::string(kChrome) + "\\" + name + "\\Extensions\\" + id + "\\1.0\\_locales\\en\\messages.json",
                R"({"n":{"message":"Ext"}})");
            settings += (e ? "," : "") + std::string("\"") + id + "\":{\"location\":1}";
        }
        files_.AddFile(std::string(kChrome) + "\\" + name + "\\Preferences", settings + "}}}");
        files_.AddFile(std::string(kChrome) + "\\" + name + "\\Secure Preferences", "{}");
    }
    files_.AddFile(std::string(kChrome) + "\\Local State", cache + "}}}");

    const BrowserInventory inventory = Read();

    EXPECT_EQ(Extensions(inventory, "Chrome", ExtensionSource::InstalledFolder).size(), 400u);
    EXPECT_EQ(Extensions(inventory, "Chrome", ExtensionSource::ProfileSettings).size(), 400u);
    EXPECT_EQ(Extensions(inventory, "Chrome", ExtensionSource::InstalledFolder)[0].name, "Ext");
    size_t chromeFiles = 0;
    for (const auto& [path, count] : files_.reads) {
        EXPECT_EQ(count, 1) << path;
        chromeFiles += path.rfind(kChrome, 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(chromeFiles, 1u + 4u * 2u + 400u * 2u);
}

}  // namespace
}  // namespace pellora::browsers
