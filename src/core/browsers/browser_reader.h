// What the browsers of this user and this machine hold that spyware installs or changes, read
// (never changed) through the file-system, registry and system ports:
//  - the profiles of each browser of the Chromium family (Chrome, Edge, Brave, Vivaldi, Opera,
//    Chromium: `Local State`'s profile.info_cache, else `Default`) and of Firefox
//    (`profiles.ini`, relative and absolute paths);
//  - the extensions installed in each profile (`Extensions\<id>\<version>\manifest.json`, the
//    `extensions.settings` of `Preferences` and `Secure Preferences`; Firefox `extensions.json`
//    and `extensions\<id>.xpi`);
//  - what installs extensions from outside the profile (external-extension keys and files,
//    the install policies of the registry and of Firefox's `policies.json`);
//  - the settings a hijacker changes (home page, startup pages, new-tab page, search provider)
//    in the profile files and as policies.
// Every find carries the place it was read from (a file and the JSON member or pref name in
// it, or a key and value), so a later change can find the same place again.
//
// Profile and extension folders are entered only when they are real folders directly inside
// their parent (no reparse attribute, final path directly below the parent's): a link planted
// in a profile never leads elsewhere. Ids are checked before any path is built from them.
// Files are read once each, with a size limit, and JSON behind a nesting limit; a file that is
// damaged gives a problem entry and the rest of the walk goes on. Nothing throws.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/browsers/extension_id.h"
#include "core/ports/file_system.h"
#include "core/ports/registry.h"
#include "core/ports/system.h"

namespace pellora::browsers {

// Largest files read: profile JSON (Preferences, extensions.json, ...), prefs.js, a manifest
// or message catalog, a small description file (Local State, profiles.ini, external files).
inline constexpr uint64_t kMaxProfileFileLength = 32 * 1024 * 1024;
inline constexpr uint64_t kMaxPrefsFileLength = 16 * 1024 * 1024;
inline constexpr uint64_t kMaxManifestLength = 1024 * 1024;
inline constexpr uint64_t kMaxSmallFileLength = 4 * 1024 * 1024;
// Most profiles taken from one browser's list, and most extensions from one folder or list.
inline constexpr size_t kMaxProfilesPerBrowser = 256;
inline constexpr size_t kMaxEntriesPerList = 10000;

// One browser this module knows.
struct BrowserInfo {
    std::string name;         // "Chrome"
    BrowserFamily family;     //
    std::string imageName;    // "chrome.exe": the process that holds its files
    std::string userData;     // below %LOCALAPPDATA% or %APPDATA% (`roaming`)
    bool roaming = false;     //
    std::string vendorKey;    // below Software\ (and Software\WOW6432Node\): "Google\Chrome"
    std::string policyKey;    // below Software\Policies\: "Google\Chrome"
    std::string installPath;  // below %ProgramFiles% and %ProgramFiles(x86)%
};

// The browsers read, in this order.
const std::vector<BrowserInfo>& KnownBrowsers();

// Where a find was read.
struct Place {
    enum class Kind {
        File,           // `path` is the file (an .xpi, an external-extension file)
        Folder,         // `path` is the folder (an installed extension's)
        JsonMember,     // member `member` of the JSON file `path`
        Pref,           // pref `pref` of the prefs file `path`
        RegistryKey,    // key `key` below `root`
        RegistryValue,  // value `valueName` of that key; with `member`, a member of its JSON text
    };
    Kind kind = Kind::File;
    std::string path;
    std::vector<std::string> member;  // object member names; array elements by decimal index
    std::string pref;
    RootKey root = RootKey::None;
    std::string key;
    std::string valueName;

    // "C:\...\Preferences: extensions.settings.<id>", "HKEY_LOCAL_MACHINE\...\Extensions\<id>", ...
    std::string Describe() const;
};

struct BrowserProfile {
    std::string browser;  // BrowserInfo::name
    BrowserFamily family = BrowserFamily::Chromium;
    std::string name;         // the folder's name ("Default", "Profile 1", "abcd.default-release", "Opera Stable")
    std::string folder;       // full path
    std::string displayName;  // the name the browser shows, when it keeps one
};

enum class ExtensionSource {
    InstalledFolder,          // Extensions\<id>\<version> of a profile
    ProfileSettings,          // extensions.settings of Preferences / Secure Preferences
    FirefoxAddonList,         // addons[] of extensions.json
    FirefoxXpi,               // extensions\<id>.xpi of a profile
    ExternalKey,              // Software\...\<browser>\Extensions\<id>
    ExternalFile,             // <id>.json in an External Extensions folder
    ForceInstallPolicy,       // ExtensionInstallForcelist
    ExtensionSettingsPolicy,  // ExtensionSettings (registry value or policies.json)
    FirefoxInstallPolicy,     // Extensions\Install of Firefox's policies (addresses, no ids)
};

struct ExtensionFind {
    std::string browser;
    BrowserFamily family = BrowserFamily::Chromium;
    std::string profile;  // the profile's folder name; "" for what applies to every profile
    ExtensionSource source = ExtensionSource::InstalledFolder;
    std::string id;    // normalised (see extension_id.h); "" only for FirefoxInstallPolicy
    std::string name;  // from the manifest (localised name resolved) or the list; may be ""
    std::string version;
    std::string folder;        // where its files are, when known
    std::string updateUrl;     // or the address a policy installs from
    int64_t location = -1;     // Chromium's install location number, when listed
    int64_t state = -1;        // Chromium's enabled state, when listed
    bool unpacked = false;     // loaded from a folder of the user's choice (any folder)
    std::string installMode;   // ExtensionSettings' installation_mode
    std::string locationName;  // Firefox's install location ("app-profile", "app-system-defaults", ...)
    bool machineWide = false;  // from HKLM or the installation folder
    Place where;
};

enum class SettingKind { HomePage, StartupPage, RestoreOnStartup, NewTabPage, SearchUrl, SearchProvider };

struct SettingFind {
    std::string browser;
    BrowserFamily family = BrowserFamily::Chromium;
    std::string profile;  // "" for a policy
    SettingKind kind = SettingKind::HomePage;
    std::string value;  // the text (an address, or a number as written)
    bool policy = false;
    bool machineWide = false;
    Place where;
};

struct ReadProblem {
    std::string browser;
    std::string place;  // file, folder or key
    std::string text;   // what is wrong
};

struct BrowserInventory {
    std::vector<BrowserProfile> profiles;
    std::vector<ExtensionFind> extensions;
    std::vector<SettingFind> settings;
    std::vector<ReadProblem> problems;
};

class BrowserReader {
  public:
    BrowserReader(FileSystemPort& files, RegistryPort& registry, SystemPort& system);

    // Everything of every known browser. Never throws.
    BrowserInventory ReadAll();

  private:
    struct Listing;
    void ReadChromium(const BrowserInfo& browser, BrowserInventory& out);
    void ReadFirefox(const BrowserInfo& browser, BrowserInventory& out);
    void ReadChromiumProfile(const BrowserInfo& browser, const Listing& profile, BrowserInventory& out);
    void ReadInstalledFolders(const BrowserInfo& browser,
                              const Listing& profile,
                              const std::string& profileName,
                              BrowserInventory& out);
    void ReadPreferencesFile(const BrowserInfo& browser,
                             const std::string& profileName,
                             const std::string& path,
                             BrowserInventory& out);
    void ReadFirefoxProfile(const BrowserInfo& browser, const Listing& profile, BrowserInventory& out);
    void ReadExternalKeys(const BrowserInfo& browser, BrowserInventory& out);
    void ReadExternalFiles(const BrowserInfo& browser,
                           const std::string& folder,
                           bool machineWide,
                           BrowserInventory& out);
    void ReadChromiumPolicies(const BrowserInfo& browser, BrowserInventory& out);
    void ReadFirefoxPolicies(const BrowserInfo& browser, BrowserInventory& out);
    void ReadFirefoxPolicyJson(const BrowserInfo& browser, const std::string& path, BrowserInventory& out);

    void AddPolicySetting(const BrowserInfo& browser,
                          SettingKind kind,
                          RootKey root,
                          const std::string& key,
                          const std::string& name,
                          BrowserInventory& out);
    void ReadExtensionSettingsValue(const BrowserInfo& browser,
                                    RootKey root,
                                    const std::string& key,
                                    BrowserInventory& out);
    std::vector<std::string> ProgramFolders();
    bool FirstVisit(const Listing& folder);
    std::optional<Listing> WalkDown(std::optional<Listing> from, const std::string& relative);
    std::optional<Listing> UserDataFolder(const BrowserInfo& browser, BrowserInventory& out);
    std::optional<Listing> OpenFolder(const std::string& path);
    std::optional<Listing> EnterSubfolder(const Listing& parent, const std::string& name);
    std::optional<Listing> EnterEntry(const Listing& parent, const FindEntry& entry);
    std::optional<std::string> ReadLimited(const std::string& browser,
                                           const std::string& path,
                                           uint64_t maxLength,
                                           BrowserInventory& out);
    std::string Expand(const std::string& text);

    FileSystemPort& files_;
    RegistryPort& registry_;
    SystemPort& system_;
    std::set<std::vector<std::string>> visited_;  // folded final paths of the browser's profiles read
};

}  // namespace pellora::browsers
