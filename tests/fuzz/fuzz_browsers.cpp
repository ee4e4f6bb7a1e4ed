// The browser profile readers over any bytes: the input is planted as every file a profile
// holds (Local State, Preferences, a manifest and its messages, extensions.json, prefs.js,
// profiles.ini, policies.json, an external-extension file) and as the ExtensionSettings policy.
// Nothing crashes, every id found is a valid id of its browser, no profile is read twice, and
// every file or folder a find names lies below the folder it was read from.
#include <cstdint>
#include <string>

#include "core/browsers/bounded_json.h"
#include "core/browsers/browser_reader.h"
#include "core/browsers/browser_rows.h"
#include "core/browsers/firefox_files.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;
using namespace pellora::browsers;

namespace {
constexpr const char* kChrome = R"(C:\Users\u\AppData\Local\Google\Chrome\User Data)";
constexpr const char* kFirefox = R"(C:\Users\u\AppData\Roaming\Mozilla\Firefox)";
constexpr const char* kId = "abcdefghijklmnopabcdefghijklmnop";

bool Below(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '\\';
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const JsonReadResult json = ReadJson(bytes);
    FUZZ_CHECK(json.value.has_value() == json.problem.empty());
    if (json.value)
        FUZZ_CHECK(JsonNestingDepth(bytes, kMaxJsonDepth) <= kMaxJsonDepth);
    for (const UserPref& pref : ParseUserPrefs(bytes))
        FUZZ_CHECK(pref.name.size() < bytes.size());
    for (const IniProfile& profile : ParseProfilesIni(bytes))
        FUZZ_CHECK(!profile.path.empty());

    fakes::FakeFileSystem files;
    fakes::FakeRegistry registry;
    fakes::FakeSystem system;
    system.environment["LOCALAPPDATA"] = R"(C:\Users\u\AppData\Local)";
    system.environment["APPDATA"] = R"(C:\Users\u\AppData\Roaming)";
    system.environment["PROGRAMFILES"] = R"(C:\Program Files)";
    const std::string chrome = kChrome;
    const std::string version = chrome + "\\Default\\Extensions\\" + kId + "\\1.0";
    files.AddFile(chrome + "\\Local State", bytes);
    files.AddFile(chrome + "\\Default\\Preferences", bytes);
    files.AddFile(chrome + "\\Default\\Secure Preferences", bytes);
    files.AddFile(version + "\\manifest.json", bytes);
    files.AddFile(version + "\\_locales\\en\\messages.json", bytes);
    files.AddFile(chrome + "\\External Extensions\\" + kId + ".json", bytes);
    const std::string firefox = kFirefox;
    files.AddFile(firefox + "\\profiles.ini", bytes);
    files.AddFile(firefox + "\\Profiles\\p\\prefs.js", bytes);
    files.AddFile(firefox + "\\Profiles\\p\\extensions.json", bytes);
    files.AddFile(R"(C:\Program Files\Mozilla Firefox\distribution\policies.json)", bytes);
    registry.AddString(R"(HKEY_LOCAL_MACHINE\Software\Policies\Google\Chrome)", "ExtensionSettings", bytes);
    registry.AddString(R"(HKEY_CURRENT_USER\Software\Policies\Mozilla\Firefox)", "ExtensionSettings", bytes);

    const BrowserInventory inventory = BrowserReader(files, registry, system).ReadAll();
    // Chromium profiles lie in the user data; Firefox's absolute ones may be any existing folder
    // but a drive's root. No profile is read twice.
    std::vector<std::string> folders;
    for (const BrowserProfile& profile : inventory.profiles) {
        if (profile.family == BrowserFamily::Chromium)
            FUZZ_CHECK(Below(profile.folder, chrome));
        else
            FUZZ_CHECK(files.IsFolder(profile.folder) && profile.folder.size() > 3);
        for (const std::string& seen : folders)
            FUZZ_CHECK(ToLowerAscii(seen) != ToLowerAscii(profile.folder));
        folders.push_back(profile.folder);
    }
    for (const ExtensionFind& find : inventory.extensions) {
        if (find.family == BrowserFamily::Chromium)
            FUZZ_CHECK(IsChromiumExtensionId(find.id));
        else
            FUZZ_CHECK(IsFirefoxAddonId(find.id) ||
                       (find.id.empty() && find.source == ExtensionSource::FirefoxInstallPolicy));
        if (find.where.kind == Place::Kind::Folder || find.where.kind == Place::Kind::File)
            FUZZ_CHECK(Below(find.where.path, R"(C:\Users\u\AppData)") ||
                       Below(find.where.path, R"(C:\Program Files)"));
    }
    // Every find is a row place that reads back as written; an edit planned on a profile file
    // stores and reads back, and its undo gives back the tree it was planned from (a prefs file
    // byte for byte, the pref set again).
    auto checkEdit = [&](const RowPlace& place) {
        const std::optional<RowPlace> decoded = DecodeRowPlace(EncodeRowPlace(place));
        FUZZ_CHECK(decoded && decoded->where.Describe() == place.where.Describe());
        if (place.where.kind != Place::Kind::JsonMember && place.where.kind != Place::Kind::Pref)
            return;
        bool gone = false;
        std::string problem;
        const std::optional<PlannedEdit> edit = PlanEdit(place, bytes, gone, problem);
        if (!edit)
            return;
        const std::optional<PlannedEdit> stored = DecodeEditPayload(EncodeEditPayload(*edit));
        FUZZ_CHECK(stored && stored->members.size() == edit->members.size() && stored->lines == edit->lines);
        const std::optional<std::string> undone = UndoEdit(*edit, edit->after);
        FUZZ_CHECK(undone.has_value());
        if (edit->prefs) {
            // Into the file it was planned from, every line goes back where it stood.
            FUZZ_CHECK(*undone == bytes);
            bool back = false;
            for (const UserPref& pref : ParseUserPrefs(*undone))
                back = back || (pref.name == place.where.pref && pref.value == place.value);
            FUZZ_CHECK(back);
        } else {
            const OrderedRead before = ReadOrderedJson(bytes);
            const OrderedRead after = ReadOrderedJson(*undone);
            FUZZ_CHECK(before.value && after.value);
            FUZZ_CHECK(Json(*before.value) == Json(*after.value));
        }
    };
    for (const ExtensionFind& find : inventory.extensions) {
        if (!find.id.empty())
            checkEdit(RowPlace{find.browser, find.profile, true, find.id, "", find.where});
    }
    for (const SettingFind& find : inventory.settings)
        checkEdit(RowPlace{find.browser, find.profile, false, "", find.value, find.where});
    return 0;
}
