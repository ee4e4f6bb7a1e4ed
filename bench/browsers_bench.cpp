// The browser profile readers over the in-memory fakes: Chrome with four profiles of 100
// extensions each (localised names, listed in Preferences too), Edge with 100 more and a
// Firefox profile with 100 add-ons, plus a few policies. The figure is the whole ReadAll()
// call: listing every profile and extension folder, reading and parsing every manifest,
// message catalog and profile file. It is meant to stay in milliseconds.
//
//   BM_BrowsersReadAll    counters: extensions (finds returned), per_extension
#include <benchmark/benchmark.h>

#include <string>

#include "core/browsers/browser_reader.h"
#include "fakes/fake_platform.h"

namespace pellora::browsers {
namespace {

constexpr int kChromeProfiles = 4;
constexpr int kPerProfile = 100;

std::string Id(int profile, int extension) {
    std::string id(32, 'a');
    id[0] = static_cast<char>('a' + profile);
    id[30] = static_cast<char>('a' + extension / 16);
    id[31] = static_cast<char>('a' + extension % 16);
    return id;
}

struct Machine {
    fakes::FakeRegistry registry;
    fakes::FakeFileSystem files;
    fakes::FakeSystem system;

    void PlantChromiumProfile(const std::string& folder, int profile) {
        std::string settings = R"({"homepage":"http://home.example/","extensions":{"settings":{)";
        for (int e = 0; e < kPerProfile; ++e) {
            const std::string id = Id(profile, e);
            const std::string version = folder + "\\Extensions\\" + id + "\\1.0." + std::to_string(e) + "_0";
            files.AddFile(version + "\\manifest.json",
                          R"({"manifest_version":3,"name":"__MSG_extName__","version":"1.0","default_locale":"en",)"
                          R"("permissions":["tabs","storage"],"background":{"service_worker":"bg.js"}})");
            files.AddFile(version + "\\_locales\\en\\messages.json",
                          R"({"extName":{"message":"Extension )" + std::to_string(e) + R"("}})");
            settings += (e ? "," : "") + std::string("\"") + id + R"(":{"location":1,"state":1,"path":")" + id +
                        R"(\\1.0_0","manifest":{"name":"Extension"}})";
        }
        files.AddFile(folder + "\\Preferences", settings + "}}}");
        files.AddFile(folder + "\\Secure Preferences", R"({"protection":{"macs":{}}})");
    }

    Machine() {
        system.environment["LOCALAPPDATA"] = R"(C:\Users\ann\AppData\Local)";
        system.environment["APPDATA"] = R"(C:\Users\ann\AppData\Roaming)";
        system.environment["PROGRAMFILES"] = R"(C:\Program Files)";
        const std::string chrome = R"(C:\Users\ann\AppData\Local\Google\Chrome\User Data)";
        std::string cache = R"({"profile":{"info_cache":{)";
        for (int p = 0; p < kChromeProfiles; ++p) {
            const std::string name = "Profile " + std::to_string(p);
            cache += (p ? "," : "") + std::string("\"") + name + R"(":{"name":"P"})";
            PlantChromiumProfile(chrome + "\\" + name, p);
        }
        files.AddFile(chrome + "\\Local State", cache + "}}}");
        PlantChromiumProfile(R"(C:\Users\ann\AppData\Local\Microsoft\Edge\User Data\Default)", kChromeProfiles);
        const std::string firefox = R"(C:\Users\ann\AppData\Roaming\Mozilla\Firefox)";
        files.AddFile(firefox + "\\profiles.ini", "[Profile0]\nIsRelative=1\nPath=Profiles/p.default\n");
        std::string addons = R"({"schemaVersion":36,"addons":[)";
        for (int e = 0; e < kPerProfile; ++e)
            addons += (e ? "," : "") + std::string(R"({"id":"addon)") + std::to_string(e) +
                      R"(@example.com","defaultLocale":{"name":"Add-on"},"location":"app-profile"})";
        files.AddFile(firefox + "\\Profiles\\p.default\\extensions.json", addons + "]}");
        files.AddFile(firefox + "\\Profiles\\p.default\\prefs.js",
                      "user_pref(\"browser.startup.homepage\", \"http://ff.example/\");\n");
        registry.AddString(R"(HKEY_LOCAL_MACHINE\Software\Policies\Google\Chrome\ExtensionInstallForcelist)", "1",
                           Id(9, 0) + ";https://clients2.google.com/service/update2/crx");
    }
};

void BM_BrowsersReadAll(benchmark::State& state) {
    Machine machine;
    size_t extensions = 0;
    for (auto _ : state) {
        const BrowserInventory inventory = BrowserReader(machine.files, machine.registry, machine.system).ReadAll();
        extensions = inventory.extensions.size();
        benchmark::DoNotOptimize(extensions);
    }
    state.counters["extensions"] = static_cast<double>(extensions);
    state.counters["per_extension"] = benchmark::Counter(static_cast<double>(extensions) * state.iterations(),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BrowsersReadAll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pellora::browsers
