// The content phase of the smart and custom scans: files found by what they hold, through the
// content rules of the loaded database (AppState::contentRules.set, rules/rules.h).
//
// What is read: the image of every running process; every program an autostart entry starts and
// every script a script host of one runs (wscript x.vbs, powershell -File x.ps1, mshta x.hta);
// and in the places information stealers drop their files (each profile's AppData\Roaming,
// AppData\Local, AppData\LocalLow, Temp, Downloads, Desktop and Startup folder, the machine's
// Startup folder, ProgramData and the Public profile, each with up to three levels of
// subfolders) every file that starts with "MZ" or has a script extension. The custom scan (with
// "Scan file contents") adds such files of the hard-disk listing, the folder scan those of the
// chosen folders. Folders are walked without entering a link (FileFinder); a file is opened
// without following a link and only as a plain file of a local disk (FileSystemPort::
// OpenContent), read once through that handle, and never loaded or run. Files over the size
// limit (Settings.stg line kContentSizeLimitLine, in MiB) are left out and counted.
//
// A verdict is kept (Content.cache in the application folder) by the file's volume, file id,
// size, last write time and the rules' digest, for files no standard user may change only: a
// file below a profile, or one anyone but the system may change (WriteAccess), is read every time,
// since its owner can change it and put its write time back.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/autostart/autostart.h"
#include "core/ports/file_system.h"
#include "core/ports/registry.h"
#include "core/ports/system.h"
#include "core/settings/settings_editor.h"
#include "core/state/app_state.h"

namespace pellora {

// The size limit of the content phase is Settings.stg line kContentLimitLine in MiB (a missing
// or damaged line means 64); "Scan file contents" is CustomScan.stg line 7 ("0" off; anything
// else, a missing line too, on). See settings/settings_editor.h.
inline constexpr int64_t kDefaultContentSizeLimitMiB = 64;
inline constexpr size_t kContentScanLine = 7;
// Levels of subfolders walked below each drop place.
inline constexpr int kDropPlaceDepth = 3;
inline constexpr const char* kContentCacheFileName = "Content.cache";
inline constexpr uint64_t kMaxContentCacheLength = 16 * 1024 * 1024;

// The size limit the settings give, in bytes.
uint64_t ContentSizeLimit(const AppState& state);
// Whether "Scan file contents" is on in the custom scan settings.
bool ContentScanOn(const AppState& state);

// ".ps1 .vbs .vbe .js .jse .wsf .hta .bat .cmd", in any letter case.
bool HasScriptExtension(std::string_view name);
// The script files an autostart entry's program runs when that program is a script host
// (wscript, cscript, mshta, powershell, pwsh, cmd): each argument naming a file with a script
// extension, environment variables expanded, quotes taken off; only full paths.
std::vector<std::string> ScriptsRunBy(const autostart::AutostartEntry& entry, SystemPort& system);

struct DropPlace {
    std::string folder;
    int depth = kDropPlaceDepth;
};
// The profiles' folders (ProfileList's ProfileImagePath of each user, the system's own accounts
// left out) and the folder holding them ("" when unknown).
struct Profiles {
    std::vector<std::string> folders;
    std::string root;
};
Profiles ReadProfiles(RegistryPort& registry, SystemPort& system);
// The places stealers drop files, for `profiles` and the machine, each once.
std::vector<DropPlace> DropPlaces(const Profiles& profiles, RegistryPort& registry, SystemPort& system);
// True when `path` (a final path) lies below one of the profiles or their root folder.
bool BelowProfile(const Profiles& profiles, const std::string& path);

// The verdicts of earlier scans.
class ContentCache {
  public:
    struct Key {
        FileIdentity identity;
        uint64_t size = 0;
        uint64_t lastWriteTime = 0;
    };
    // Reads the file (a damaged or foreign one reads as empty).
    void Load(FileSystemPort& files, const std::string& path);
    // Writes the verdicts looked up or put since Load, crash-safe; the others (files gone or
    // changed, another rule set) are dropped.
    void Save(FileSystemPort& files, const std::string& path) const;
    // The names of the rules that matched the file under the rules of `digest`, when known.
    std::optional<std::vector<std::string>> Find(const Key& key, const std::string& digest);
    void Put(const Key& key, const std::string& digest, std::vector<std::string> ruleNames);

  private:
    static std::string KeyText(const Key& key, const std::string& digest);
    std::map<std::string, std::vector<std::string>> read_;  // by KeyText
    std::map<std::string, std::vector<std::string>> used_;
};

}  // namespace pellora
