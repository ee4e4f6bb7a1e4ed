// Where the content phase looks (content_scan.h): the script hosts' scripts, the profiles, the
// drop places; and the cache of verdicts.
#include <algorithm>
#include <set>

#include "core/autostart/command_line.h"
#include "core/scan/content_scan.h"
#include "core/util/cache_lines.h"
#include "core/util/case_fold.h"
#include "core/util/hex.h"
#include "core/util/text.h"

namespace pellora {

namespace {

constexpr const char* kProfileListKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kCacheHeader = "pellora-content-cache 1";

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

bool IsFullPath(std::string_view path) {
    return path.size() >= 3 && path[1] == ':' && path[2] == '\\';
}

std::optional<std::string> TextValue(RegistryPort& registry,
                                     RootKey root,
                                     const std::string& key,
                                     const std::string& name,
                                     SystemPort& system) {
    const std::optional<RegValue> value = registry.QueryValue(root, key, name);
    if (!value || (value->type != kRegSz && value->type != kRegExpandSz) || value->data.empty())
        return std::nullopt;
    std::string text = value->data;
    if (text.find('\0') != std::string::npos)
        text.resize(text.find('\0'));
    return WithoutTrailingBackslash(system.ExpandEnvironment(text));
}

// The split folded parts of a path, for "below" tests.
std::vector<std::string> FoldedParts(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    const std::string folded = FoldOrdinal(path);
    while (start <= folded.size()) {
        size_t end = folded.find('\\', start);
        if (end == std::string::npos)
            end = folded.size();
        if (end > start)
            parts.push_back(folded.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsBelowOrAt(const std::vector<std::string>& path, const std::vector<std::string>& folder) {
    return !folder.empty() && path.size() >= folder.size() && std::equal(folder.begin(), folder.end(), path.begin());
}

}  // namespace

uint64_t ContentSizeLimit(const AppState& state) {
    int64_t mib = kDefaultContentSizeLimitMiB;
    int64_t read = 0;
    if (ParseWholeNumber(Line(state.lstSettingsFile, kContentLimitLine), read) && read <= kContentLimitField.upperLimit)
        mib = read;
    return static_cast<uint64_t>(mib) * 1024 * 1024;
}

bool ContentScanOn(const AppState& state) {
    return TrimSpaces(Line(state.lstCustomScanSettings, kContentScanLine)) != "0";
}

bool HasScriptExtension(std::string_view name) {
    const std::string file = FileNameOf(name);
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos)
        return false;
    static const std::set<std::string> kScripts = {".ps1", ".vbs", ".vbe", ".js", ".jse",
                                                   ".wsf", ".hta", ".bat", ".cmd"};
    return kScripts.count(ToLowerAscii(file.substr(dot))) > 0;
}

std::vector<std::string> ScriptsRunBy(const autostart::AutostartEntry& entry, SystemPort& system) {
    static const std::set<std::string> kHosts = {"wscript.exe",    "cscript.exe", "mshta.exe",
                                                 "powershell.exe", "pwsh.exe",    "cmd.exe"};
    std::vector<std::string> scripts;
    if (!kHosts.count(ToLowerAscii(FileNameOf(entry.program))))
        return scripts;
    // The arguments as the host reads them; "-File x.ps1", "//B x.vbs" and "/c x.bat" alike give
    // the script as an argument of its own.
    for (const autostart::CommandArgument& argument : autostart::SplitArguments(entry.arguments)) {
        std::string path = system.ExpandEnvironment(argument.value);
        if (IsFullPath(path) && HasScriptExtension(path))
            scripts.push_back(std::move(path));
    }
    return scripts;
}

Profiles ReadProfiles(RegistryPort& registry, SystemPort& system) {
    Profiles profiles;
    if (std::optional<std::string> root =
            TextValue(registry, RootKey::LocalMachine, kProfileListKey, "ProfilesDirectory", system))
        profiles.root = *root;
    const std::optional<std::vector<std::string>> sids =
        registry.EnumSubKeys(RootKey::LocalMachine, kProfileListKey, RegAccess::Read);
    std::set<std::string> seen;
    for (const std::string& sid : sids.value_or(std::vector<std::string>{})) {
        // The system's own accounts (LocalSystem, LocalService, NetworkService) are no one's
        // profile a stealer runs in.
        if (!StartsWith(sid, "S-1-5-21-") && !StartsWith(sid, "S-1-12-1-"))
            continue;
        std::optional<std::string> folder = TextValue(
            registry, RootKey::LocalMachine, std::string(kProfileListKey) + "\\" + sid, "ProfileImagePath", system);
        if (folder && IsFullPath(*folder) && seen.insert(FoldOrdinal(*folder)).second)
            profiles.folders.push_back(*folder);
    }
    // The current user's own profile, when the list lacks it.
    std::string own = WithoutTrailingBackslash(system.ExpandEnvironment("%USERPROFILE%"));
    if (IsFullPath(own) && seen.insert(FoldOrdinal(own)).second)
        profiles.folders.push_back(own);
    return profiles;
}

std::vector<DropPlace> DropPlaces(const Profiles& profiles, RegistryPort& registry, SystemPort& system) {
    std::vector<DropPlace> places;
    std::set<std::string> seen;
    auto add = [&](const std::string& folder) {
        if (IsFullPath(folder) && seen.insert(FoldOrdinal(folder)).second)
            places.push_back(DropPlace{folder, kDropPlaceDepth});
    };
    for (const std::string& profile : profiles.folders) {
        for (const char* below :
             {"AppData\\Roaming", "AppData\\Local", "AppData\\LocalLow", "AppData\\Local\\Temp", "Downloads", "Desktop",
              "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"})
            add(profile + "\\" + below);
    }
    // The current user's folders where the shell keeps them elsewhere (a moved desktop).
    const std::string temp = WithoutTrailingBackslash(system.TempPath());
    add(temp);
    add(autostart::ShellFolderPath(registry, system, RootKey::CurrentUser, "Desktop", ""));
    add(autostart::ShellFolderPath(registry, system, RootKey::CurrentUser, "Startup", ""));
    add(autostart::ShellFolderPath(registry, system, RootKey::LocalMachine, "Common Startup", ""));
    const std::string programData = WithoutTrailingBackslash(system.ExpandEnvironment("%ProgramData%"));
    add(programData);
    add(programData + "\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
    add(WithoutTrailingBackslash(system.ExpandEnvironment("%PUBLIC%")));
    return places;
}

bool BelowProfile(const Profiles& profiles, const std::string& path) {
    const std::vector<std::string> parts = FoldedParts(path);
    if (!profiles.root.empty() && IsBelowOrAt(parts, FoldedParts(profiles.root)))
        return true;
    for (const std::string& folder : profiles.folders) {
        if (IsBelowOrAt(parts, FoldedParts(folder)))
            return true;
    }
    return false;
}

// ---- cache ---------------------------------------------------------------------------------

std::string ContentCache::KeyText(const Key& key, const std::string& digest) {
    const auto hex = NumberToHex;
    return hex(key.identity.volumeSerial) + ":" + hex(key.identity.fileIdHigh) + ":" + hex(key.identity.fileIdLow) +
           ":" + hex(key.size) + ":" + hex(key.lastWriteTime) + ":" + digest;
}

void ContentCache::Load(FileSystemPort& files, const std::string& path) {
    read_.clear();
    used_.clear();
    for (const std::string& line : CacheLines(files.ReadFileUpTo(path, kMaxContentCacheLength), kCacheHeader)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0)
            continue;
        std::vector<std::string> names;
        for (size_t at = tab + 1; at < line.size();) {
            size_t comma = line.find(',', at);
            if (comma == std::string::npos)
                comma = line.size();
            if (comma > at)
                names.push_back(line.substr(at, comma - at));
            at = comma + 1;
        }
        read_[line.substr(0, tab)] = std::move(names);
    }
}

void ContentCache::Save(FileSystemPort& files, const std::string& path) const {
    std::string text = std::string(kCacheHeader) + "\n";
    for (const auto& [key, names] : used_) {
        text += key + "\t";
        for (size_t i = 0; i < names.size(); ++i)
            text += (i ? "," : "") + names[i];
        text += "\n";
    }
    // A cache that cannot be written only makes the next scan slower.
    (void)files.WriteFileAtomic(path, text);
}

std::optional<std::vector<std::string>> ContentCache::Find(const Key& key, const std::string& digest) {
    const std::string text = KeyText(key, digest);
    auto found = read_.find(text);
    if (found == read_.end())
        return std::nullopt;
    used_[text] = found->second;
    return found->second;
}

void ContentCache::Put(const Key& key, const std::string& digest, std::vector<std::string> ruleNames) {
    // Names are the rules' identifiers: no tab, comma or line break can be in one, and a name
    // that holds one is not kept (the file is read again next time).
    for (const std::string& name : ruleNames) {
        if (name.empty() || name.find_first_of("\t,\r\n") != std::string::npos)
            return;
    }
    used_[KeyText(key, digest)] = std::move(ruleNames);
}

}  // namespace pellora
