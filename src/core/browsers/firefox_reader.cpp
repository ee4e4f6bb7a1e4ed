#include "core/browsers/browser_reader.h"

#include <algorithm>

#include "core/browsers/bounded_json.h"
#include "core/browsers/firefox_files.h"
#include "core/browsers/reader_support.h"
#include "core/identity/network_path.h"
#include "core/identity/object_identity.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::browsers {

using namespace detail;

// ---- Firefox -------------------------------------------------------------------------------

void BrowserReader::ReadFirefox(const BrowserInfo& browser, BrowserInventory& out) {
    visited_.clear();
    std::optional<Listing> root = UserDataFolder(browser, out);
    const std::string iniPath = root ? root->path + "\\profiles.ini" : "";
    std::optional<std::string> ini = root ? ReadLimited(browser.name, iniPath, kMaxSmallFileLength, out) : std::nullopt;
    std::vector<IniProfile> listed = ini ? ParseProfilesIni(*ini) : std::vector<IniProfile>();
    if (listed.size() > kMaxProfilesPerBrowser)
        listed.resize(kMaxProfilesPerBrowser);
    for (IniProfile& profile : listed) {
        std::replace(profile.path.begin(), profile.path.end(), '/', '\\');
        std::optional<Listing> folder;
        if (profile.isRelative) {
            folder = WalkDown(root, profile.path);
        } else if (IsPlainAbsolutePath(profile.path) && SplitFoldedPath(profile.path)->size() > 1 &&
                   !NetworkPaths(files_).IsNetwork(profile.path)) {
            // Anyone who can write profiles.ini can name any folder; what matters is that the
            // folder named is the one read: not a link, and reached without one on the way.
            const std::optional<uint32_t> attributes = files_.GetAttributes(profile.path);
            if (attributes && (*attributes & file_attr::kDirectory) && !(*attributes & file_attr::kReparsePoint)) {
                folder = OpenFolder(profile.path);
                const FoldedPath written = SplitFoldedPath(folder ? folder->path : "");
                if (folder && (!folder->finalPath || !written || *written != *folder->finalPath))
                    folder.reset();
            }
        }
        if (!folder) {
            out.problems.push_back({browser.name, iniPath,
                                    "profile " + Shown(profile.section) +
                                        " not read (missing, a link or not a plain path): " + Shown(profile.path)});
            continue;
        }
        if (!FirstVisit(*folder))
            continue;
        const std::string name = folder->path.substr(folder->path.rfind('\\') + 1);
        out.profiles.push_back({browser.name, browser.family, name, folder->path, profile.name});
        ReadFirefoxProfile(browser, *folder, out);
    }
    ReadFirefoxPolicies(browser, out);
}

void BrowserReader::ReadFirefoxProfile(const BrowserInfo& browser, const Listing& profile, BrowserInventory& out) {
    const std::string profileName = out.profiles.back().name;
    struct Interesting {
        const char* pref;
        SettingKind kind;
    };
    static const Interesting kPrefs[] = {
        {"browser.startup.homepage", SettingKind::HomePage},
        {"browser.startup.page", SettingKind::RestoreOnStartup},
        {"browser.newtab.url", SettingKind::NewTabPage},
        {"browser.search.defaulturl", SettingKind::SearchUrl},
        {"keyword.URL", SettingKind::SearchUrl},
        {"browser.search.defaultenginename", SettingKind::SearchProvider},
        {"browser.search.selectedEngine", SettingKind::SearchProvider},
        {"browser.search.order.1", SettingKind::SearchProvider},
    };
    for (const char* file : {"prefs.js", "user.js"}) {
        if (!profile.Find(file))
            continue;
        const std::string path = profile.path + "\\" + file;
        std::optional<std::string> bytes = ReadLimited(browser.name, path, kMaxPrefsFileLength, out);
        if (!bytes)
            continue;
        for (UserPref& pref : ParseUserPrefs(*bytes)) {
            for (const Interesting& interesting : kPrefs) {
                if (pref.name != interesting.pref || pref.value.empty())
                    continue;
                Place where;
                where.kind = Place::Kind::Pref;
                where.path = path;
                where.pref = pref.name;
                out.settings.push_back(
                    NewSetting(browser, interesting.kind, std::move(pref.value), profileName, where));
                break;
            }
        }
    }

    const std::string listPath = profile.path + "\\extensions.json";
    if (profile.Find("extensions.json")) {
        if (std::optional<std::string> bytes = ReadLimited(browser.name, listPath, kMaxProfileFileLength, out)) {
            JsonReadResult json = ReadJson(*bytes);
            bytes.reset();
            const Json* addons = json.value ? JsonAt(*json.value, {"addons"}) : nullptr;
            if (!json.value)
                out.problems.push_back({browser.name, listPath, json.problem});
            for (size_t i = 0; addons && addons->is_array() && i < addons->size() && i < kMaxEntriesPerList; ++i) {
                const Json& addon = (*addons)[i];
                const std::string idText = JsonText(JsonAt(addon, {"id"})).value_or("");
                const std::optional<std::string> id = NormalizeExtensionId(browser.family, idText);
                if (!id) {
                    out.problems.push_back({browser.name, listPath, "add-on id not valid: " + Shown(idText)});
                    continue;
                }
                ExtensionFind find = NewExtension(browser, ExtensionSource::FirefoxAddonList, profileName, *id);
                find.name = JsonText(JsonAt(addon, {"defaultLocale", "name"}))
                                .value_or(JsonText(JsonAt(addon, {"name"})).value_or(""));
                find.version = JsonText(JsonAt(addon, {"version"})).value_or("");
                find.folder = JsonText(JsonAt(addon, {"path"})).value_or("");
                find.locationName = JsonText(JsonAt(addon, {"location"})).value_or("");
                find.where = JsonPlace(listPath, {"addons", std::to_string(i)});
                out.extensions.push_back(std::move(find));
            }
        }
    }

    std::optional<Listing> extensions = EnterSubfolder(profile, "extensions");
    size_t taken = 0;
    for (size_t i = 0; extensions && i < extensions->entries.size() && taken < kMaxEntriesPerList; ++i) {
        const FindEntry& entry = extensions->entries[i];
        const bool folder = entry.attributes & file_attr::kDirectory;
        if (!folder && !EndsWith(ToLowerAscii(entry.name), ".xpi"))
            continue;
        ++taken;
        const std::string path = extensions->path + "\\" + entry.name;
        const std::string idText = folder ? entry.name : entry.name.substr(0, entry.name.size() - 4);
        const std::optional<std::string> id = NormalizeExtensionId(browser.family, idText);
        if (!id) {
            out.problems.push_back({browser.name, path, "not named by an add-on id"});
            continue;
        }
        if (folder && !EnterEntry(*extensions, entry)) {
            out.problems.push_back({browser.name, path, "a link, not followed"});
            continue;
        }
        ExtensionFind find = NewExtension(browser, ExtensionSource::FirefoxXpi, profileName, *id);
        find.folder = path;
        find.where.kind = folder ? Place::Kind::Folder : Place::Kind::File;
        find.where.path = path;
        out.extensions.push_back(std::move(find));
    }
}

}  // namespace pellora::browsers
