#include "core/removal/protected_objects.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/database/folder_variables.h"
#include "core/removal/process_ender.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Programs without which Windows does not boot, log on or show a desktop, beyond the ones the
// process ender already refuses to end. A database line naming one of them (often because
// spyware borrows the name) must neither end the real process nor delete the real file.
constexpr std::string_view kCriticalExecutables[] = {
    "explorer.exe", "userinit.exe", "logonui.exe", "lsm.exe",      "taskhost.exe", "taskhostw.exe",
    "sihost.exe",   "conhost.exe",  "spoolsv.exe", "ntoskrnl.exe",
};

// Folders below the Windows folder that hold the system itself (relative, lower case).
constexpr std::string_view kCriticalWindowsSubfolders[] = {
    "system32\\drivers", "system32\\config", "system32\\driverstore", "syswow64", "sysnative", "winsxs",
    "fonts",             "assembly",         "microsoft.net",         "servicing", "boot",     "inf",
};

// Keys (relative to HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or one user of HKEY_USERS, lower
// case) whose loss breaks the system or every program: start-up lists, shell, logon, classes,
// services. Keys above them are refused too.
constexpr std::string_view kCriticalKeys[] = {
    "software\\microsoft\\windows\\currentversion\\run",
    "software\\microsoft\\windows\\currentversion\\runonce",
    "software\\microsoft\\windows\\currentversion\\runonceex",
    "software\\microsoft\\windows\\currentversion\\runservices",
    "software\\microsoft\\windows\\currentversion\\runservicesonce",
    "software\\microsoft\\windows\\currentversion\\explorer\\browser helper objects",
    "software\\microsoft\\windows\\currentversion\\explorer\\shell folders",
    "software\\microsoft\\windows\\currentversion\\explorer\\user shell folders",
    "software\\microsoft\\windows\\currentversion\\shell extensions\\approved",
    "software\\microsoft\\windows\\currentversion\\shellserviceobjectdelayload",
    "software\\microsoft\\windows\\currentversion\\policies",
    "software\\microsoft\\windows\\currentversion\\uninstall",
    "software\\microsoft\\windows\\currentversion\\app paths",
    "software\\microsoft\\windows nt\\currentversion\\winlogon",
    "software\\microsoft\\windows nt\\currentversion\\windows",
    "software\\microsoft\\windows nt\\currentversion\\image file execution options",
    "software\\microsoft\\windows nt\\currentversion\\profilelist",
    "software\\microsoft\\internet explorer\\main",
    "software\\microsoft\\internet explorer\\toolbar",
    "software\\microsoft\\internet explorer\\extensions",
    "software\\microsoft\\active setup\\installed components",
    "software\\classes\\clsid",
    "software\\classes\\interface",
    "software\\classes\\typelib",
    "software\\classes\\appid",
    "software\\classes\\protocols\\handler",
    "software\\classes\\protocols\\filter",
    "software\\classes\\exefile\\shell\\open\\command",
    "software\\policies",
    "system\\setup",
};

// Control sets hold services, drivers and the boot configuration.
constexpr std::string_view kControlSetParts[] = {"services", "control", "enum", "hardware profiles"};

// Values whose loss stops Windows from logging on or booting, even though spyware often
// appends itself to them: the remedy is to repair them, not to delete them.
struct CriticalValue {
    std::string_view key;
    std::string_view name;
};
constexpr CriticalValue kCriticalValues[] = {
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "shell"},
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "userinit"},
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "system"},
    {"system\\currentcontrolset\\control\\session manager", "bootexecute"},
};

std::vector<std::string> SplitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t hit = text.find(separator, pos);
        if (hit == std::string_view::npos) hit = text.size();
        if (hit > pos) parts.emplace_back(text.substr(pos, hit - pos));
        pos = hit + 1;
    }
    return parts;
}

// Windows drops trailing dots and blanks of a name, and "name:stream" opens the file "name".
std::string CleanComponent(std::string_view component) {
    size_t colon = component.find(':');
    if (colon != std::string_view::npos) component = component.substr(0, colon);
    while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.remove_suffix(1);
    return ToLowerAscii(component);
}

// A name in the 8.3 short form, "abcdef~1" or "abcdef~1.ext": its first part, else nothing.
std::optional<std::string> ShortNamePrefix(const std::string& name) {
    size_t tilde = name.find('~');
    if (tilde == std::string::npos || tilde == 0 || tilde > 6) return std::nullopt;
    size_t digits = tilde + 1;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits]))) ++digits;
    if (digits == tilde + 1) return std::nullopt;
    if (digits != name.size() && name[digits] != '.') return std::nullopt;
    return name.substr(0, tilde);
}

// The long name as the 8.3 generator sees it: no blanks, no dots.
std::string Squeezed(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c != ' ' && c != '.') out += c;
    }
    return out;
}

bool IsCriticalExecutable(std::string_view lowerName) {
    return IsSystemCriticalProcess(lowerName) ||
           std::find(std::begin(kCriticalExecutables), std::end(kCriticalExecutables), lowerName) !=
               std::end(kCriticalExecutables);
}

bool ComponentMatches(const std::string& a, const std::string& b) {
    if (a == b) return true;
    if (auto prefix = ShortNamePrefix(a); prefix && StartsWith(Squeezed(b), *prefix)) return true;
    if (auto prefix = ShortNamePrefix(b); prefix && StartsWith(Squeezed(a), *prefix)) return true;
    return false;
}

bool IsBelow(const std::vector<std::string>& candidate, const std::vector<std::string>& folder) {
    return candidate.size() > folder.size() &&
           std::equal(folder.begin(), folder.end(), candidate.begin(), ComponentMatches);
}

std::string JoinPath(const std::vector<std::string>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
        path += parts[i];
        path += '\\';
    }
    return path;
}

bool IsRootName(const std::string& lowerName) {
    static constexpr std::array<std::string_view, 13> kRoots = {
        "hkey_classes_root", "hkey_current_user", "hkey_local_machine", "hkey_users", "hkey_performance_data",
        "hkey_current_config", "hkey_dyn_data", "hkcr", "hkcu", "hklm", "hku", "hkcc", "hkpd"};
    return std::find(kRoots.begin(), kRoots.end(), lowerName) != kRoots.end();
}

// The key's components below a root that has the software/system layout (local machine,
// current user, one user below HKEY_USERS, and the classes root as Software\Classes), with
// the 32-bit view folded onto the native one; nothing for other roots.
std::optional<std::vector<std::string>> BelowUserOrMachine(const std::vector<std::string>& parts) {
    if (parts.empty()) return std::nullopt;
    const std::string& root = parts[0];
    std::vector<std::string> rel;
    if (root == "hkey_local_machine" || root == "hklm" || root == "hkey_current_user" || root == "hkcu") {
        rel.assign(parts.begin() + 1, parts.end());
    } else if ((root == "hkey_users" || root == "hku") && parts.size() > 1) {
        rel.assign(parts.begin() + 2, parts.end());
    } else if (root == "hkey_classes_root" || root == "hkcr") {
        // The merged view of the machine's and the user's Software\Classes.
        rel = {"software", "classes"};
        rel.insert(rel.end(), parts.begin() + 1, parts.end());
    } else {
        return std::nullopt;
    }
    for (size_t i = 0; i + 1 < rel.size(); ++i) {
        if (rel[i] == "software" && rel[i + 1] == "wow6432node") {
            rel.erase(rel.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            break;
        }
    }
    return rel;
}

bool IsControlSetName(const std::string& name) {
    if (name == "currentcontrolset") return true;
    if (!StartsWith(name, "controlset") || name.size() == 10) return false;
    return std::all_of(name.begin() + 10, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::vector<std::string> KeyParts(std::string_view keyPath) {
    std::vector<std::string> parts = SplitAt(keyPath, '\\');
    for (std::string& part : parts) part = ToLowerAscii(part);
    return parts;
}

}  // namespace

std::optional<std::vector<std::string>> NormalisePath(std::string_view input) {
    std::string path(input);
    std::replace(path.begin(), path.end(), '/', '\\');
    path = TrimSpaces(path);
    // Device and long-path prefixes name the same objects as the plain path.
    for (std::string_view prefix : {"\\\\?\\unc\\", "\\\\.\\unc\\"}) {
        if (StartsWith(ToLowerAscii(path.substr(0, prefix.size())), prefix)) {
            path = "\\\\" + path.substr(prefix.size());
        }
    }
    for (std::string_view prefix : {"\\\\?\\", "\\\\.\\", "\\??\\"}) {
        if (StartsWith(path, prefix)) path = path.substr(prefix.size());
    }

    std::vector<std::string> parts;
    std::vector<std::string> below;
    if (StartsWith(path, "\\\\")) {
        below = SplitAt(std::string_view(path).substr(2), '\\');
        if (below.size() < 2) return std::nullopt;
        parts.push_back("\\\\" + CleanComponent(below[0]) + "\\" + CleanComponent(below[1]));
        below.erase(below.begin(), below.begin() + 2);
    } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        // "C:name" is relative to the drive's current folder: not a full path.
        if (path.size() > 2 && path[2] != '\\') return std::nullopt;
        parts.push_back(ToLowerAscii(path.substr(0, 2)));
        below = SplitAt(std::string_view(path).substr(2), '\\');
    } else {
        return std::nullopt;
    }

    for (const std::string& raw : below) {
        if (raw == "..") {
            if (parts.size() > 1) parts.pop_back();
            continue;
        }
        std::string component = CleanComponent(raw);
        if (component.empty()) continue;  // ".", "...", blanks: the same folder
        parts.push_back(std::move(component));
    }
    return parts;
}

bool IsSameOrAbove(const std::vector<std::string>& candidate, const std::vector<std::string>& folder) {
    return !candidate.empty() && candidate.size() <= folder.size() &&
           std::equal(candidate.begin(), candidate.end(), folder.begin(), ComponentMatches);
}

void ProtectedObjects::AddFolder(const std::string& path, const std::string& what) {
    if (path.empty() || path == kRegError) return;
    if (auto parts = NormalisePath(path); parts && parts->size() > 1) folders_.push_back(Folder{*parts, what});
}

void ProtectedObjects::Refresh() {
    loaded_ = true;
    folders_.clear();
    const SpecialFolders& f = state_.folders;
    AddFolder(f.windowsDir, "Windows folder");
    AddFolder(f.systemDir, "system folder");
    AddFolder(f.tempDir, "temporary folder");
    AddFolder(f.programsDir, "program files folder");
    for (const char* name : {"ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir", "CommonFilesDir",
                             "CommonFilesDir (x86)"}) {
        AddFolder(registry_.GetStringValue(kCurrentVersionKey, name), "program files folder");
    }
    AddFolder(f.appData, "user folder");
    AddFolder(f.startMenu, "user folder");
    AddFolder(f.desktop, "user folder");
    AddFolder(f.cookies, "user folder");
    AddFolder(state_.appFolder, "application folder");

    // The profile that holds the user's application data: "...\<name>\AppData\Roaming" or
    // "...\<name>\Application Data".
    if (auto appData = NormalisePath(f.appData)) {
        for (size_t i = 2; i < appData->size(); ++i) {
            if ((*appData)[i] == "appdata" || (*appData)[i] == "application data") {
                folders_.push_back(Folder{std::vector<std::string>(appData->begin(), appData->begin() + i),
                                          "user profile folder"});
                break;
            }
        }
    }

    windowsFolder_.clear();
    if (auto windows = NormalisePath(f.windowsDir); windows && windows->size() > 1) windowsFolder_ = *windows;
    if (!windowsFolder_.empty()) {
        for (std::string_view sub : kCriticalWindowsSubfolders) {
            std::vector<std::string> parts = windowsFolder_;
            for (std::string& part : SplitAt(sub, '\\')) parts.push_back(part);
            folders_.push_back(Folder{parts, "Windows system folder"});
        }
    }
    appFolder_.clear();
    if (auto app = NormalisePath(state_.appFolder); app && app->size() > 1) appFolder_ = *app;
}

bool ProtectedObjects::PassesThroughLink(const std::vector<std::string>& parts) {
    for (size_t depth = 2; depth < parts.size(); ++depth) {
        std::string folder = JoinPath(parts, depth);
        folder.pop_back();
        auto attributes = files_.GetAttributes(folder);
        if (attributes && (*attributes & file_attr::kReparsePoint)) return true;
    }
    return false;
}

std::optional<std::string> ProtectedObjects::FolderRefusal(const std::string& path) {
    if (!loaded_) Refresh();
    auto parts = NormalisePath(path);
    if (!parts) return "not a full path";
    if (parts->size() == 1) return "drive root";
    for (const Folder& folder : folders_) {
        if (IsSameOrAbove(*parts, folder.parts)) return folder.what;
    }
    // Every drive's system folders and profiles, not only this Windows installation's.
    const std::string& top = (*parts)[1];
    static constexpr std::array<std::string_view, 6> kTopFolders = {
        "windows", "program files", "program files (x86)", "programdata", "users", "documents and settings"};
    for (std::string_view name : kTopFolders) {
        if (ComponentMatches(top, std::string(name))) {
            if (parts->size() == 2) return "system folder of a drive";
            if ((name == "users" || name == "documents and settings") && parts->size() == 3) {
                return "user profile folder";
            }
        }
    }
    if (!appFolder_.empty() && IsBelow(*parts, appFolder_)) return "application folder";
    if (PassesThroughLink(*parts)) return "path passes through a link";
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::FileRefusal(const std::string& path) {
    if (!loaded_) Refresh();
    auto parts = NormalisePath(path);
    if (!parts) return "not a full path";
    if (parts->size() == 1) return "drive root";
    // The program's own database, settings and quarantine packages are not spyware.
    if (!appFolder_.empty() && IsBelow(*parts, appFolder_)) return "application folder";
    if (IsCriticalExecutable(parts->back())) {
        // A copy outside the Windows folders is an impostor and may go; the real one may not,
        // nor a copy whose path could lead anywhere through a link.
        bool inWindows = windowsFolder_.empty() || IsBelow(*parts, windowsFolder_) ||
                         ComponentMatches((*parts)[1], "windows");
        if (inWindows || PassesThroughLink(*parts)) return "critical system file";
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::PatternFindRefusal(const std::string& path) {
    if (auto reason = FileRefusal(path)) return reason;
    if (!loaded_) Refresh();
    auto parts = NormalisePath(path);
    if (!parts) return "not a full path";
    if (windowsFolder_.empty() || IsBelow(*parts, windowsFolder_)) return "pattern find inside the Windows folder";
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::ProcessRefusal(const std::string& exeName) const {
    if (IsCriticalExecutable(ToLowerAscii(TrimSpaces(exeName)))) return "critical system process";
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::KeyRefusal(const std::string& keyPath) const {
    std::vector<std::string> parts = KeyParts(keyPath);
    if (parts.empty()) return "registry root key";
    if (parts.size() == 1) return "registry root key";
    if (parts.size() == 2 && IsRootName(parts[0])) return "key directly below a registry root";
    if ((parts[0] == "hkey_users" || parts[0] == "hku") && parts.size() == 3) return "key directly below a user's key";
    if (auto rel = BelowUserOrMachine(parts)) {
        std::string joined = JoinPath(*rel, rel->size());
        if (!joined.empty()) joined.pop_back();
        for (std::string_view critical : kCriticalKeys) {
            if (critical == joined || StartsWith(critical, joined + "\\")) return "critical system key";
        }
        if (rel->size() >= 2 && (*rel)[0] == "system" && IsControlSetName((*rel)[1])) {
            if (rel->size() == 2) return "critical system key";
            if (rel->size() == 3 &&
                std::find(std::begin(kControlSetParts), std::end(kControlSetParts), (*rel)[2]) !=
                    std::end(kControlSetParts)) {
                return "critical system key";
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::ValueRefusal(const std::string& object) const {
    size_t comma = object.find(',');
    if (comma == std::string::npos) return std::nullopt;
    std::vector<std::string> parts = KeyParts(std::string_view(object).substr(0, comma));
    std::string name = ToLowerAscii(object.substr(comma + 1));
    auto rel = BelowUserOrMachine(parts);
    if (!rel) return std::nullopt;
    std::string joined = JoinPath(*rel, rel->size());
    if (!joined.empty()) joined.pop_back();
    // Control set names differ from machine to machine; compare as the current one.
    if (rel->size() >= 2 && (*rel)[0] == "system" && IsControlSetName((*rel)[1])) {
        joined = "system\\currentcontrolset" + joined.substr(std::string("system\\").size() + (*rel)[1].size());
    }
    for (const CriticalValue& value : kCriticalValues) {
        if (value.key == joined && value.name == name) return "critical system value";
    }
    return std::nullopt;
}

}  // namespace pellora
