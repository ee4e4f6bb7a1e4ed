#include "core/browsers/browser_reader.h"

#include <algorithm>

#include "core/browsers/bounded_json.h"
#include "core/browsers/firefox_files.h"
#include "core/browsers/reader_support.h"
#include "core/identity/object_identity.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::browsers {

using namespace detail;

std::string Place::Describe() const {
    switch (kind) {
        case Kind::File:
        case Kind::Folder:
            return path;
        case Kind::JsonMember:
            return path + ": " + JoinMember(member);
        case Kind::Pref:
            return path + ": " + pref;
        case Kind::RegistryKey:
            return RootName(root) + "\\" + key;
        case Kind::RegistryValue: {
            std::string text = RootName(root) + "\\" + key + ": " + valueName;
            if (!member.empty())
                text += ": " + JoinMember(member);
            return text;
        }
    }
    return path;
}

const std::vector<BrowserInfo>& KnownBrowsers() {
    static const std::vector<BrowserInfo> kBrowsers = {
        {"Chrome", BrowserFamily::Chromium, "chrome.exe", "Google\\Chrome\\User Data", false, "Google\\Chrome",
         "Google\\Chrome", "Google\\Chrome\\Application"},
        {"Edge", BrowserFamily::Chromium, "msedge.exe", "Microsoft\\Edge\\User Data", false, "Microsoft\\Edge",
         "Microsoft\\Edge", "Microsoft\\Edge\\Application"},
        {"Brave", BrowserFamily::Chromium, "brave.exe", "BraveSoftware\\Brave-Browser\\User Data", false,
         "BraveSoftware\\Brave-Browser", "BraveSoftware\\Brave", "BraveSoftware\\Brave-Browser\\Application"},
        {"Vivaldi", BrowserFamily::Chromium, "vivaldi.exe", "Vivaldi\\User Data", false, "Vivaldi", "Vivaldi",
         "Vivaldi\\Application"},
        {"Opera", BrowserFamily::Chromium, "opera.exe", "Opera Software\\Opera Stable", true, "Opera Software",
         "Opera Software\\Opera Stable", ""},
        {"Chromium", BrowserFamily::Chromium, "chromium.exe", "Chromium\\User Data", false, "Chromium", "Chromium",
         "Chromium\\Application"},
        {"Firefox", BrowserFamily::Firefox, "firefox.exe", "Mozilla\\Firefox", true, "Mozilla\\Firefox",
         "Mozilla\\Firefox", "Mozilla Firefox"},
    };
    return kBrowsers;
}


BrowserReader::BrowserReader(FileSystemPort& files, RegistryPort& registry, SystemPort& system)
    : files_(files), registry_(registry), system_(system) {}

std::string BrowserReader::Expand(const std::string& text) {
    const std::string expanded = system_.ExpandEnvironment(text);
    // An unknown variable stays as written: no such folder.
    return expanded.find('%') == std::string::npos ? expanded : std::string();
}

std::optional<BrowserReader::Listing> BrowserReader::OpenFolder(const std::string& path) {
    Listing listing;
    listing.path = path;
    while (!listing.path.empty() && listing.path.back() == '\\')
        listing.path.pop_back();
    std::optional<std::string> finalPath;
    if (!files_.ListFolder(listing.path + "\\", listing.entries, finalPath))
        return std::nullopt;
    if (finalPath)
        listing.finalPath = SplitFoldedPath(*finalPath);
    return listing;
}

// The subfolder `name` of a listed folder, entered only when it is a folder without the
// reparse attribute whose own final path is directly below its parent's: a link that does not
// say it is one (a host's symbolic link under Wine) is never entered either.
std::optional<BrowserReader::Listing> BrowserReader::EnterSubfolder(const Listing& parent, const std::string& name) {
    const FindEntry* entry = parent.Find(name);
    return entry ? EnterEntry(parent, *entry) : std::nullopt;
}

std::optional<BrowserReader::Listing> BrowserReader::EnterEntry(const Listing& parent, const FindEntry& entry) {
    if (!(entry.attributes & file_attr::kDirectory) || (entry.attributes & file_attr::kReparsePoint))
        return std::nullopt;
    std::optional<Listing> child = OpenFolder(parent.path + "\\" + entry.name);
    if (!child || !parent.finalPath)
        return child;
    const FoldedPath listed = SplitFoldedPath(child->path);
    if (!child->finalPath || !listed)
        return std::nullopt;
    const std::vector<std::string>& parts = *child->finalPath;
    if (parts.size() == parent.finalPath->size() + 1 && IsStrictlyBelow(parts, *parent.finalPath) &&
        parts.back() == listed->back())
        return child;
    // Wine names a drive's root by the Unix folder behind it but its entries by the drive
    // letter: a folder that resolves to exactly the path it was listed under is no link.
    if (*listed == parts)
        return child;
    return std::nullopt;
}

std::optional<std::string> BrowserReader::ReadLimited(const std::string& browser,
                                                      const std::string& path,
                                                      uint64_t maxLength,
                                                      BrowserInventory& out) {
    std::optional<std::string> bytes = files_.ReadFileUpTo(path, maxLength);
    if (!bytes && files_.GetAttributes(path))
        out.problems.push_back(
            {browser, path, "cannot be read or is larger than " + std::to_string(maxLength) + " bytes"});
    return bytes;
}

BrowserInventory BrowserReader::ReadAll() {
    BrowserInventory out;
    try {
        for (const BrowserInfo& browser : KnownBrowsers()) {
            if (browser.family == BrowserFamily::Chromium)
                ReadChromium(browser, out);
            else
                ReadFirefox(browser, out);
        }
    } catch (const std::exception& error) {
        // Only memory running out can get here; what was read so far stays.
        out.problems.push_back({"", "", std::string("reading stopped: ") + error.what()});
    }
    return out;
}

// ---- Chromium family -----------------------------------------------------------------------

// The folder `relative` ("a\\b\\c") below `from`, each step a real folder directly inside the one
// before it (see EnterSubfolder); nothing when a step is missing, a link or no plain name.
std::optional<BrowserReader::Listing> BrowserReader::WalkDown(std::optional<Listing> from,
                                                              const std::string& relative) {
    size_t start = 0;
    while (from && start <= relative.size()) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string step = relative.substr(start, end - start);
        from = IsPlainName(step) ? EnterSubfolder(*from, step) : std::nullopt;
        start = end + 1;
    }
    return from;
}

// The browser's user-data folder, reached from the application-data folder without a link on
// the way: a planted link there would make every profile below it lead elsewhere.
std::optional<BrowserReader::Listing> BrowserReader::UserDataFolder(const BrowserInfo& browser, BrowserInventory& out) {
    const std::string base = Expand(browser.roaming ? "%APPDATA%" : "%LOCALAPPDATA%");
    if (base.empty())
        return std::nullopt;
    std::optional<Listing> folder = WalkDown(OpenFolder(base), browser.userData);
    if (!folder && files_.GetAttributes(base + "\\" + browser.userData))
        out.problems.push_back({browser.name, base + "\\" + browser.userData, "a link on the way, not followed"});
    return folder;
}

// Whether the folder is read for the first time in this browser: a profile listed twice (in
// other letter cases, or by relative and absolute path) is read once.
bool BrowserReader::FirstVisit(const Listing& folder) {
    const FoldedPath key = folder.finalPath ? folder.finalPath : SplitFoldedPath(folder.path);
    return !key || visited_.insert(*key).second;
}

void BrowserReader::ReadChromium(const BrowserInfo& browser, BrowserInventory& out) {
    visited_.clear();
    std::optional<Listing> userData = UserDataFolder(browser, out);
    if (userData) {
        std::vector<std::pair<std::string, std::string>> names;  // folder name, display name
        const std::string localState = userData->path + "\\Local State";
        if (std::optional<std::string> bytes = ReadLimited(browser.name, localState, kMaxProfileFileLength, out)) {
            JsonReadResult json = ReadJson(*bytes);
            if (!json.value)
                out.problems.push_back({browser.name, localState, json.problem});
            else if (const Json* cache = JsonAt(*json.value, {"profile", "info_cache"}); cache && cache->is_object()) {
                for (auto it = cache->begin(); it != cache->end() && names.size() < kMaxProfilesPerBrowser; ++it) {
                    if (!IsPlainName(it.key())) {
                        out.problems.push_back(
                            {browser.name, localState, "profile name not valid: " + Shown(it.key())});
                        continue;
                    }
                    names.emplace_back(it.key(), JsonText(JsonAt(it.value(), {"name"})).value_or(""));
                }
            }
        }
        if (names.empty())
            names.emplace_back("Default", "");
        for (const auto& [name, displayName] : names) {
            std::optional<Listing> profile = EnterSubfolder(*userData, name);
            bool inUserData = false;
            if (!profile) {
                if (const FindEntry* entry = userData->Find(name); entry && (entry->attributes & file_attr::kDirectory))
                    out.problems.push_back({browser.name, userData->path + "\\" + name, "a link, not followed"});
                // Opera keeps its only profile in the user-data folder itself.
                else if (name == "Default" && userData->Find("Preferences"))
                    profile = userData, inUserData = true;
                if (!profile)
                    continue;
            }
            if (!FirstVisit(*profile))
                continue;
            BrowserProfile entry{browser.name, browser.family,
                                 inUserData ? profile->path.substr(profile->path.rfind('\\') + 1) : name, profile->path,
                                 displayName};
            out.profiles.push_back(entry);
            ReadChromiumProfile(browser, *profile, out);
        }
        if (std::optional<Listing> external = EnterSubfolder(*userData, "External Extensions"))
            ReadExternalFiles(browser, external->path, false, out);
    }
    for (const std::string& programs : browser.installPath.empty() ? std::vector<std::string>() : ProgramFolders())
        ReadExternalFiles(browser, programs + "\\" + browser.installPath + "\\extensions", true, out);
    ReadExternalKeys(browser, out);
    ReadChromiumPolicies(browser, out);
}

void BrowserReader::ReadChromiumProfile(const BrowserInfo& browser, const Listing& profile, BrowserInventory& out) {
    const std::string profileName = out.profiles.back().name;
    ReadInstalledFolders(browser, profile, profileName, out);
    for (const char* file : {"Preferences", "Secure Preferences"}) {
        if (profile.Find(file))
            ReadPreferencesFile(browser, profileName, profile.path + "\\" + file, out);
    }
}

namespace {

// The message `key` of a messages.json, its key compared without regard to case as the
// browsers do.
std::optional<std::string> FindMessage(const Json& messages, std::string_view key) {
    if (!messages.is_object())
        return std::nullopt;
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (EqualsIgnoreCase(it.key(), key))
            return JsonText(JsonAt(it.value(), {"message"}));
    }
    return std::nullopt;
}

}  // namespace

void BrowserReader::ReadInstalledFolders(const BrowserInfo& browser,
                                         const Listing& profile,
                                         const std::string& profileName,
                                         BrowserInventory& out) {
    std::optional<Listing> extensions = EnterSubfolder(profile, "Extensions");
    if (!extensions)
        return;
    size_t taken = 0;
    for (const FindEntry& idEntry : extensions->entries) {
        if (!(idEntry.attributes & file_attr::kDirectory) || EqualsIgnoreCase(idEntry.name, "Temp"))
            continue;
        if (++taken > kMaxEntriesPerList)
            break;
        const std::string idPath = extensions->path + "\\" + idEntry.name;
        const std::optional<std::string> id = NormalizeExtensionId(browser.family, idEntry.name);
        if (!id) {
            out.problems.push_back({browser.name, idPath, "not an extension id"});
            continue;
        }
        std::optional<Listing> idFolder = EnterEntry(*extensions, idEntry);
        if (!idFolder) {
            out.problems.push_back({browser.name, idPath, "a link, not followed"});
            continue;
        }
        for (const FindEntry& versionEntry : idFolder->entries) {
            if (!(versionEntry.attributes & file_attr::kDirectory))
                continue;
            // Versions count towards the same bound: a planted id with thousands of version
            // folders costs no more than as many ids.
            if (++taken > kMaxEntriesPerList)
                break;
            std::optional<Listing> version = EnterEntry(*idFolder, versionEntry);
            if (!version) {
                out.problems.push_back(
                    {browser.name, idFolder->path + "\\" + versionEntry.name, "a link, not followed"});
                continue;
            }
            ExtensionFind find = NewExtension(browser, ExtensionSource::InstalledFolder, profileName, *id);
            find.version = versionEntry.name;
            find.folder = version->path;
            find.where.kind = Place::Kind::Folder;
            find.where.path = idFolder->path;
            const std::string manifestPath = version->path + "\\manifest.json";
            if (std::optional<std::string> bytes = ReadLimited(browser.name, manifestPath, kMaxManifestLength, out)) {
                JsonReadResult manifest = ReadJson(*bytes);
                if (!manifest.value) {
                    out.problems.push_back({browser.name, manifestPath, manifest.problem});
                } else {
                    find.name = JsonText(JsonAt(*manifest.value, {"name"})).value_or("");
                    if (std::optional<std::string> v = JsonText(JsonAt(*manifest.value, {"version"})))
                        find.version = *v;
                    find.updateUrl = JsonText(JsonAt(*manifest.value, {"update_url"})).value_or("");
                    const std::optional<std::string> locale = JsonText(JsonAt(*manifest.value, {"default_locale"}));
                    if (StartsWith(find.name, "__MSG_") && EndsWith(find.name, "__") && find.name.size() > 8 &&
                        locale && IsLocaleName(*locale)) {
                        const std::string key = find.name.substr(6, find.name.size() - 8);
                        std::optional<Listing> locales = EnterSubfolder(*version, "_locales");
                        std::optional<Listing> chosen = locales ? EnterSubfolder(*locales, *locale) : std::nullopt;
                        const std::string messagesPath = chosen ? chosen->path + "\\messages.json" : "";
                        std::optional<std::string> messages =
                            chosen ? ReadLimited(browser.name, messagesPath, kMaxManifestLength, out) : std::nullopt;
                        if (messages) {
                            JsonReadResult catalog = ReadJson(*messages);
                            if (!catalog.value)
                                out.problems.push_back({browser.name, messagesPath, catalog.problem});
                            else if (std::optional<std::string> text = FindMessage(*catalog.value, key))
                                find.name = *text;
                        }
                    }
                }
            }
            out.extensions.push_back(std::move(find));
        }
    }
}

void BrowserReader::ReadPreferencesFile(const BrowserInfo& browser,
                                        const std::string& profileName,
                                        const std::string& path,
                                        BrowserInventory& out) {
    std::optional<std::string> bytes = ReadLimited(browser.name, path, kMaxProfileFileLength, out);
    if (!bytes)
        return;
    JsonReadResult json = ReadJson(*bytes);
    bytes.reset();
    if (!json.value) {
        out.problems.push_back({browser.name, path, json.problem});
        return;
    }
    const Json& root = *json.value;
    const std::string profileFolder = path.substr(0, path.rfind('\\'));

    if (const Json* settings = JsonAt(root, {"extensions", "settings"}); settings && settings->is_object()) {
        size_t taken = 0;
        for (auto it = settings->begin(); it != settings->end() && taken < kMaxEntriesPerList; ++it, ++taken) {
            const std::optional<std::string> id = NormalizeExtensionId(browser.family, it.key());
            if (!id) {
                out.problems.push_back({browser.name, path, "extension id not valid: " + Shown(it.key())});
                continue;
            }
            const Json& entry = it.value();
            ExtensionFind find = NewExtension(browser, ExtensionSource::ProfileSettings, profileName, *id);
            find.name = JsonText(JsonAt(entry, {"manifest", "name"})).value_or("");
            find.version = JsonText(JsonAt(entry, {"manifest", "version"})).value_or("");
            find.location = JsonInteger(JsonAt(entry, {"location"})).value_or(-1);
            find.state = JsonInteger(JsonAt(entry, {"state"})).value_or(-1);
            const std::string folder = JsonText(JsonAt(entry, {"path"})).value_or("");
            // Location 4 is an unpacked extension, 8 one loaded from the command line: both
            // run from a folder of anyone's choice, named by an absolute path.
            find.unpacked = find.location == 4 || find.location == 8 || IsAbsolutePath(folder);
            if (IsAbsolutePath(folder)) {
                find.folder = folder;
            } else if (!folder.empty()) {
                bool plain = true;
                size_t start = 0;
                while (plain && start <= folder.size()) {
                    size_t end = folder.find_first_of("\\/", start);
                    if (end == std::string::npos)
                        end = folder.size();
                    plain = IsPlainName(std::string_view(folder).substr(start, end - start));
                    start = end + 1;
                }
                if (plain)
                    find.folder = profileFolder + "\\Extensions\\" + folder;
            }
            find.where = JsonPlace(path, {"extensions", "settings", it.key()});
            out.extensions.push_back(std::move(find));
        }
    }

    auto setting = [&](SettingKind kind, std::string value, std::vector<std::string> member) {
        if (value.empty())
            return;
        out.settings.push_back(
            NewSetting(browser, kind, std::move(value), profileName, JsonPlace(path, std::move(member))));
    };
    setting(SettingKind::HomePage, JsonText(JsonAt(root, {"homepage"})).value_or(""), {"homepage"});
    if (const Json* urls = JsonAt(root, {"session", "startup_urls"}); urls && urls->is_array()) {
        for (size_t i = 0; i < urls->size() && i < kMaxEntriesPerList; ++i)
            setting(SettingKind::StartupPage, JsonText(&(*urls)[i]).value_or(""),
                    {"session", "startup_urls", std::to_string(i)});
    }
    if (std::optional<int64_t> restore = JsonInteger(JsonAt(root, {"session", "restore_on_startup"})))
        setting(SettingKind::RestoreOnStartup, std::to_string(*restore), {"session", "restore_on_startup"});
    setting(SettingKind::NewTabPage, JsonText(JsonAt(root, {"newtab_page_location"})).value_or(""),
            {"newtab_page_location"});
    setting(SettingKind::SearchUrl,
            JsonText(JsonAt(root, {"default_search_provider_data", "template_url_data", "url"})).value_or(""),
            {"default_search_provider_data", "template_url_data", "url"});
}

void BrowserReader::ReadExternalKeys(const BrowserInfo& browser, BrowserInventory& out) {
    const std::pair<RootKey, const char*> views[] = {{RootKey::LocalMachine, "Software\\"},
                                                     {RootKey::LocalMachine, "Software\\WOW6432Node\\"},
                                                     {RootKey::CurrentUser, "Software\\"}};
    for (const auto& view : views) {
        // A plain variable, not a structured binding: lambdas below capture it.
        const RootKey root = view.first;
        const std::string key = view.second + browser.vendorKey + "\\Extensions";
        const auto ids = registry_.EnumSubKeys(root, key, RegAccess::Read);
        if (!ids)
            continue;
        for (size_t i = 0; i < ids->size() && i < kMaxEntriesPerList; ++i) {
            const std::string& name = (*ids)[i];
            const std::optional<std::string> id = NormalizeExtensionId(browser.family, name);
            if (!id) {
                out.problems.push_back(
                    {browser.name, RootName(root) + "\\" + key + "\\" + name, "not an extension id"});
                continue;
            }
            ExtensionFind find = NewExtension(browser, ExtensionSource::ExternalKey, "", *id);
            find.machineWide = root == RootKey::LocalMachine;
            find.where.kind = Place::Kind::RegistryKey;
            find.where.root = root;
            find.where.key = key + "\\" + name;
            auto text = [&](const char* valueName) {
                std::optional<RegValue> value = registry_.QueryValue(root, find.where.key, valueName);
                if (!value || (value->type != kRegSz && value->type != kRegExpandSz) ||
                    value->data.size() > kMaxRegistryText)
                    return std::string();
                return value->data.substr(0, value->data.find('\0'));
            };
            find.updateUrl = text("update_url");
            find.folder = text("path");
            find.version = text("version");
            out.extensions.push_back(std::move(find));
        }
    }
}

void BrowserReader::ReadExternalFiles(const BrowserInfo& browser,
                                      const std::string& folder,
                                      bool machineWide,
                                      BrowserInventory& out) {
    std::optional<Listing> listing = OpenFolder(folder);
    if (!listing)
        return;
    size_t taken = 0;
    for (const FindEntry& entry : listing->entries) {
        if ((entry.attributes & file_attr::kDirectory) || !EndsWith(ToLowerAscii(entry.name), ".json"))
            continue;
        if (++taken > kMaxEntriesPerList)
            break;
        const std::string path = listing->path + "\\" + entry.name;
        const std::optional<std::string> id =
            NormalizeExtensionId(browser.family, std::string_view(entry.name).substr(0, entry.name.size() - 5));
        if (!id) {
            out.problems.push_back({browser.name, path, "not named by an extension id"});
            continue;
        }
        ExtensionFind find = NewExtension(browser, ExtensionSource::ExternalFile, "", *id);
        find.machineWide = machineWide;
        find.where.kind = Place::Kind::File;
        find.where.path = path;
        if (std::optional<std::string> bytes = ReadLimited(browser.name, path, kMaxSmallFileLength, out)) {
            JsonReadResult json = ReadJson(*bytes);
            if (!json.value) {
                out.problems.push_back({browser.name, path, json.problem});
            } else {
                find.updateUrl = JsonText(JsonAt(*json.value, {"external_update_url"})).value_or("");
                find.folder = JsonText(JsonAt(*json.value, {"external_crx"})).value_or("");
                find.version = JsonText(JsonAt(*json.value, {"external_version"})).value_or("");
            }
        }
        out.extensions.push_back(std::move(find));
    }
}

}  // namespace pellora::browsers
