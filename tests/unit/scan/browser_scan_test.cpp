// The scan's browser part: extension and hijack items against planted profiles and policies,
// one row per place, with the place and the identity of what was found in the row.
#include <gtest/gtest.h>

#include "core/browsers/browser_rows.h"
#include "scan_fixture.h"

namespace pellora {
namespace {

constexpr const char* kChrome = R"(C:\Users\ann\AppData\Local\Google\Chrome\User Data)";
constexpr const char* kFirefox = R"(C:\Users\ann\AppData\Roaming\Mozilla\Firefox)";
constexpr const char* kBad = "nnpnnpemnckcfdebeekibpiijlicmpom";
constexpr const char* kGood = "aapocclcgogkmnckokdopfmhonfmgoek";

class BrowserScan : public ScanFixture {
  protected:
    BrowserScan() {
        p.system.environment["LOCALAPPDATA"] = R"(C:\Users\ann\AppData\Local)";
        p.system.environment["APPDATA"] = R"(C:\Users\ann\AppData\Roaming)";
        p.system.environment["PROGRAMFILES"] = R"(C:\Program Files)";
        const std::string chrome = kChrome;
        p.files.AddFile(chrome + "\\Local State",
                        R"({"profile":{"info_cache":{"Default":{"name":"Ann"},"Profile 1":{"name":"Work"}}}})");
        // The bad extension installed in Default (folder and settings) and in Profile 1 (settings
        // only, in upper case as a planted file may spell it); a good one beside it.
        p.files.AddFile(chrome + "\\Default\\Extensions\\" + kBad + "\\1.0_0\\manifest.json",
                        R"({"name":"Evil Helper","version":"1.0"})");
        p.files.AddFile(chrome + "\\Default\\Extensions\\" + kGood + "\\2.0_0\\manifest.json",
                        R"({"name":"Good","version":"2.0"})");
        p.files.AddFile(chrome + "\\Default\\Secure Preferences", std::string(R"({"extensions":{"settings":{")") +
                                                                      kBad + R"(":{"location":1},")" + kGood +
                                                                      R"(":{"location":1}}}})");
        p.files.AddFile(
            chrome + "\\Default\\Preferences",
            R"({"homepage":"http://www.Evil-Search.example/?q=","session":{"startup_urls":["https://news.example/","http://evil-search.example/start"]}})");
        p.files.AddFile(
            chrome + "\\Profile 1\\Preferences",
            R"({"homepage":"https://intranet.example/","extensions":{"settings":{"NNPNNPEMNCKCFDEBEEKIBPIIJLICMPOM":{}}}})");
        p.registry.AddString(R"(HKEY_LOCAL_MACHINE\Software\Policies\Google\Chrome\ExtensionInstallForcelist)", "1",
                             std::string(kBad) + ";https://clients2.google.com/service/update2/crx");
        p.files.AddFile(std::string(kFirefox) + "\\profiles.ini",
                        "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/a.default\r\n");
        p.files.AddFile(
            std::string(kFirefox) + "\\Profiles\\a.default\\extensions.json",
            R"({"addons":[{"id":"keep@example.org"},{"id":"Spy@Evil.Example","defaultLocale":{"name":"Spy"}}]})");
        p.files.AddFile(std::string(kFirefox) + "\\Profiles\\a.default\\prefs.js",
                        "user_pref(\"browser.startup.homepage\", \"https://EVIL-search.example/ff\");\n");
        Items({std::string("extension|") + kBad + "|Extension.DataTheft: Evil Helper|",
               "extension|spy@evil.example|Extension.Spyware: Spy|", "hijack|evil-search|Hijack.Search: evil-search|",
               "path|C:\\Data\\Evil.exe|Trojan|"});
    }

    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const ResultRow& row : state.lstScanResult)
            rows.push_back(row.type + " " + row.object);
        return rows;
    }
};

TEST_F(BrowserScan, SmartScanFindsEachPlaceOnceWithItsPlaceAndIdentity) {
    Mode("0");
    scanner.StartScan();
    const std::string chrome = kChrome;
    const std::string bad = kBad;
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{
                  "extension Chrome, profile Default: extension \"Evil Helper\" (" + bad + ") in " + chrome +
                      "\\Default\\Extensions\\" + bad,
                  "extension Chrome, profile Default: extension (" + bad + ") in " + chrome +
                      "\\Default\\Secure Preferences: extensions.settings." + bad,
                  "extension Chrome, profile Profile 1: extension (" + bad + ") in " + chrome +
                      "\\Profile 1\\Preferences: extensions.settings.NNPNNPEMNCKCFDEBEEKIBPIIJLICMPOM",
                  "extension Chrome, all profiles: extension (" + bad +
                      ") in HKEY_LOCAL_MACHINE\\Software\\Policies\\Google\\Chrome\\ExtensionInstallForcelist: 1",
                  "extension Firefox, profile a.default: extension \"Spy\" (Spy@Evil.Example) in " +
                      std::string(kFirefox) + "\\Profiles\\a.default\\extensions.json: addons.1",
                  "hijack Chrome, profile Default: home page http://www.Evil-Search.example/?q= in " + chrome +
                      "\\Default\\Preferences: homepage",
                  "hijack Chrome, profile Default: startup page http://evil-search.example/start in " + chrome +
                      "\\Default\\Preferences: session.startup_urls.1",
                  "hijack Firefox, profile a.default: home page https://EVIL-search.example/ff in " +
                      std::string(kFirefox) + "\\Profiles\\a.default\\prefs.js: browser.startup.homepage",
              }));
    ASSERT_EQ(state.lstScanResult.size(), 8u);
    for (const ResultRow& row : state.lstScanResult) {
        std::optional<browsers::RowPlace> place = browsers::DecodeRowPlace(row.browserPlace);
        ASSERT_TRUE(place) << row.object;
        EXPECT_EQ(row.category, row.type == "hijack"          ? "Hijack.Search: evil-search"
                                : place->browser == "Firefox" ? "Extension.Spyware: Spy"
                                                              : "Extension.DataTheft: Evil Helper");
        if (place->where.kind == browsers::Place::Kind::RegistryValue)
            EXPECT_FALSE(row.foundKey.empty());
        else
            ASSERT_TRUE(row.foundAs) << row.object;
    }
    // The folder row carries the extension folder's identity; a JSON row its profile folder's.
    EXPECT_EQ(state.lstScanResult[0].foundAs->finalPath, chrome + "\\Default\\Extensions\\" + bad);
    EXPECT_EQ(state.lstScanResult[1].foundAs->finalPath, chrome + "\\Default");
    EXPECT_EQ(state.counters.newObjects, 8);
    EXPECT_EQ(state.counters.foldersIdentified, 1);
    EXPECT_EQ(state.counters.regValuesIdentified, 1);
}

TEST_F(BrowserScan, CustomScanFindsThemAndTheIgnoreListAndFileFolderScanLeaveThemOut) {
    Custom(false, false, false, false, false);
    state.lstIgnoreListFile = {
        "Hijack.Search: evil-search|hijack|Chrome, profile Default: home page "
        "http://www.Evil-Search.example/?q= in " +
        std::string(kChrome) + "\\Default\\Preferences: homepage"};
    scanner.StartScan();
    EXPECT_EQ(state.lstScanResult.size(), 7u);
    EXPECT_EQ(state.counters.objectsIgnored, 1);

    Mode("2");
    scanner.StartScan();
    EXPECT_TRUE(state.lstScanResult.empty());
}

TEST_F(BrowserScan, ShortHijackTextsAndWideItemsAreNotRemovedUnattended) {
    Items({"hijack|htt|Hijack.Any|"});
    Mode("0");
    scanner.StartScan();
    size_t manual = 0;
    for (const ResultRow& row : state.lstScanResult) {
        if (state.manualOnlyRows.count(ManualOnlyKey(row)))
            ++manual;
    }
    // "htt" is inside the intranet home page of Profile 1 and the news startup page only: the
    // other addresses went to the earlier item.
    EXPECT_EQ(manual, 2u);
    EXPECT_EQ(state.lstScanResult.size(), 10u);
}

}  // namespace
}  // namespace pellora
