#include "core/removal/protected_objects.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/database/folder_variables.h"
#include "core/removal/process_ender.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Programs without which Windows does not boot, log on or show a desktop, beyond the ones the
// process ender already refuses to end. A database line naming one of them (often because
// spyware borrows the name) must neither end the real process nor delete the real file.
constexpr std::string_view kCriticalExecutables[] = {
    "explorer.exe",  "userinit.exe", "logonui.exe", "lsm.exe",     "taskhost.exe",
    "taskhostw.exe", "sihost.exe",   "conhost.exe", "spoolsv.exe", "ntoskrnl.exe",
};

// Folders Windows keeps inside the Windows folder (relative, lower case); everything below
// them is the system's.
constexpr std::string_view kCriticalWindowsSubfolders[] = {
    "system32",
    "syswow64",
    "sysnative",
    "winsxs",
    "fonts",
    "assembly",
    "microsoft.net",
    "servicing",
    "boot",
    "inf",
    "installer",
    "systemapps",
    "systemresources",
    "policydefinitions",
    "globalization",
    "ime",
    "registration",
    "security",
    "schemas",
    "apppatch",
    "immersivecontrolpanel",
    "winstore",
    "l2schemas",
    "diagnostics",
    "shellexperiences",
    "csc",
    "panther",
    "resources",
};

// Files the system cannot start without, and the two programs quarantine and restore need,
// protected by name anywhere below the Windows folder: a copy there is the system's own.
constexpr std::string_view kCriticalSystemFiles[] = {
    "ntoskrnl.exe",   "ntkrnlpa.exe", "ntkrnlmp.exe", "ntkrpamp.exe",   "hal.dll",       "halmacpi.dll",
    "halacpi.dll",    "ntdll.dll",    "kernel32.dll", "kernelbase.dll", "user32.dll",    "gdi32.dll",
    "advapi32.dll",   "ci.dll",       "winload.exe",  "winload.efi",    "winresume.exe", "winresume.efi",
    "bootmgr",        "bootmgfw.efi", "bootmgr.efi",  "bootvid.dll",    "kdcom.dll",     "clfs.sys",
    "ntfs.sys",       "regedit.exe",  "regsvr32.exe", "shell32.dll",    "ole32.dll",     "rpcrt4.dll",
    "msvcrt.dll",     "sechost.dll",  "ucrtbase.dll", "combase.dll",    "win32k.sys",    "win32kbase.sys",
    "win32kfull.sys", "mountmgr.sys", "system",       "software",       "sam",           "security",
};

// Files a drive's root holds for booting and paging.
constexpr std::string_view kDriveRootFiles[] = {
    "bootmgr",      "bootnxt",  "pagefile.sys", "hiberfil.sys", "swapfile.sys", "ntldr",
    "ntdetect.com", "boot.ini", "io.sys",       "msdos.sys",    "config.sys",   "autoexec.bat",
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
    "software\\microsoft\\windows nt\\currentversion\\winlogon",
    "software\\classes\\directory\\shell\\open\\command",
    "software\\classes\\directory\\shellex\\contextmenuhandlers",
    "software\\classes\\directory\\background\\shellex\\contextmenuhandlers",
    "software\\classes\\folder\\shell\\open\\command",
    "software\\classes\\folder\\shellex\\contextmenuhandlers",
    "software\\classes\\*\\shellex\\contextmenuhandlers",
    "software\\classes\\*\\shellex\\propertysheethandlers",
    "software\\classes\\drive\\shellex\\contextmenuhandlers",
    "software\\classes\\mime\\database",
    "software\\microsoft\\windows\\currentversion\\explorer\\shelliconoverlayidentifiers",
    "system\\currentcontrolset\\services",
};

// Keys whose every key and value below belongs to the system (relative, lower case).
constexpr std::string_view kCriticalKeyTrees[] = {
    "system\\currentcontrolset\\control",
    "system\\currentcontrolset\\enum",
    "system\\currentcontrolset\\hardware profiles",
    "system\\select",
    "system\\mounteddevices",
    "system\\setup",
    "system\\wpa",
    "system\\driverdatabase",
    "sam",
    "security",
    "hardware",
    "bcd00000000",
    "software\\classes\\.exe",
    "software\\classes\\exefile",
    "software\\classes\\.lnk",
    "software\\classes\\lnkfile",
    "software\\classes\\.com",
    "software\\classes\\comfile",
    "software\\classes\\.bat",
    "software\\classes\\batfile",
    "software\\classes\\.cmd",
    "software\\classes\\cmdfile",
    "software\\classes\\.dll",
    "software\\classes\\dllfile",
    "software\\classes\\.reg",
    "software\\classes\\regfile",
    "software\\microsoft\\windows nt\\currentversion\\winlogon\\gpextensions",
};

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
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "taskman"},
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "vmapplet"},
    {"system\\currentcontrolset\\control\\session manager", "bootexecute"},
};

std::vector<std::string> SplitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t hit = text.find(separator, pos);
        if (hit == std::string_view::npos)
            hit = text.size();
        if (hit > pos)
            parts.emplace_back(text.substr(pos, hit - pos));
        pos = hit + 1;
    }
    return parts;
}

// Windows drops trailing dots and blanks of a name, and "name:stream" opens the file "name".
std::string CleanComponent(std::string_view component) {
    size_t colon = component.find(':');
    if (colon != std::string_view::npos)
        component = component.substr(0, colon);
    while (!component.empty() && (component.back() == '.' || component.back() == ' '))
        component.remove_suffix(1);
    // Letters beyond ASCII in the system's folded form, so "ÉMILE" and "émile" are one name.
    return ToLowerAscii(FoldOrdinal(component));
}

// A name in the 8.3 short form, "abcdef~1" or "abcdef~1.ext": its first part, else nothing.
std::optional<std::string> ShortNamePrefix(const std::string& name) {
    size_t tilde = name.find('~');
    if (tilde == std::string::npos || tilde == 0 || tilde > 6)
        return std::nullopt;
    size_t digits = tilde + 1;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits])))
        ++digits;
    if (digits == tilde + 1)
        return std::nullopt;
    if (digits != name.size() && name[digits] != '.')
        return std::nullopt;
    return name.substr(0, tilde);
}

// The long name as the 8.3 generator sees it: no blanks, no dots.
std::string Squeezed(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c != ' ' && c != '.')
            out += c;
    }
    return out;
}

bool IsCriticalSystemFile(std::string_view lowerName) {
    return std::find(std::begin(kCriticalSystemFiles), std::end(kCriticalSystemFiles), lowerName) !=
           std::end(kCriticalSystemFiles);
}

bool IsDriveRootFile(std::string_view lowerName) {
    return std::find(std::begin(kDriveRootFiles), std::end(kDriveRootFiles), lowerName) != std::end(kDriveRootFiles);
}

// The folders above a final path, nearest first, without the drive or share itself.
std::vector<std::string> AncestorsOf(const std::string& finalPath) {
    std::vector<std::string> ancestors;
    size_t rootEnd = 2;
    if (StartsWith(finalPath, "\\\\")) {
        rootEnd = finalPath.find('\\', 2);
        if (rootEnd != std::string::npos)
            rootEnd = finalPath.find('\\', rootEnd + 1);
        if (rootEnd == std::string::npos)
            return ancestors;
    }
    size_t end = finalPath.rfind('\\');
    while (end != std::string::npos && end > rootEnd) {
        ancestors.push_back(finalPath.substr(0, end));
        end = finalPath.rfind('\\', end - 1);
    }
    return ancestors;
}

bool IsCriticalExecutable(std::string_view lowerName) {
    return IsSystemCriticalProcess(lowerName) ||
           std::find(std::begin(kCriticalExecutables), std::end(kCriticalExecutables), lowerName) !=
               std::end(kCriticalExecutables);
}

bool ComponentMatches(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (auto prefix = ShortNamePrefix(a); prefix && StartsWith(Squeezed(b), *prefix))
        return true;
    if (auto prefix = ShortNamePrefix(b); prefix && StartsWith(Squeezed(a), *prefix))
        return true;
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
        if (StartsWith(path, prefix))
            path = path.substr(prefix.size());
    }

    std::vector<std::string> parts;
    std::vector<std::string> below;
    if (StartsWith(path, "\\\\")) {
        below = SplitAt(std::string_view(path).substr(2), '\\');
        if (below.size() < 2)
            return std::nullopt;
        parts.push_back("\\\\" + CleanComponent(below[0]) + "\\" + CleanComponent(below[1]));
        below.erase(below.begin(), below.begin() + 2);
    } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        // "C:name" is relative to the drive's current folder: not a full path.
        if (path.size() > 2 && path[2] != '\\')
            return std::nullopt;
        parts.push_back(ToLowerAscii(path.substr(0, 2)));
        below = SplitAt(std::string_view(path).substr(2), '\\');
    } else {
        return std::nullopt;
    }

    for (const std::string& raw : below) {
        if (raw == "..") {
            if (parts.size() > 1)
                parts.pop_back();
            continue;
        }
        std::string component = CleanComponent(raw);
        if (component.empty())
            continue;  // ".", "...", blanks: the same folder
        parts.push_back(std::move(component));
    }
    return parts;
}

bool IsSameOrAbove(const std::vector<std::string>& candidate, const std::vector<std::string>& folder) {
    return !candidate.empty() && candidate.size() <= folder.size() &&
           std::equal(candidate.begin(), candidate.end(), folder.begin(), ComponentMatches);
}

void ProtectedObjects::AddFolder(const std::string& path, const std::string& what, bool tree) {
    if (path.empty() || path == kRegError)
        return;
    if (auto parts = NormalisePath(path); parts && parts->size() > 1)
        folders_.push_back(Folder{*parts, what, tree});
    if (auto object = identity_.Resolve(path); object && object->parts.size() > 1) {
        resolved_.push_back(ResolvedFolder{std::move(*object), what, tree});
    }
}

void ProtectedObjects::Refresh() {
    loaded_ = true;
    folders_.clear();
    resolved_.clear();
    const SpecialFolders& f = state_.folders;
    AddFolder(f.windowsDir, "Windows folder");
    AddFolder(f.systemDir, "Windows system folder", true);
    AddFolder(f.tempDir, "temporary folder");
    AddFolder(f.programsDir, "program files folder");
    for (const char* name :
         {"ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir", "CommonFilesDir", "CommonFilesDir (x86)"}) {
        AddFolder(registry_.GetStringValue(kCurrentVersionKey, name), "program files folder");
    }
    AddFolder(f.appData, "user folder");
    AddFolder(f.startMenu, "user folder");
    AddFolder(f.desktop, "user folder");
    AddFolder(f.cookies, "user folder");
    AddFolder(state_.appFolder, "application folder", true);

    // The user's and the machine's known folders, as the shell and the Shell Folders keys name
    // them (either may be missing or changed, so both are taken).
    if (system_) {
        for (const std::string& known : system_->KnownFolders())
            AddFolder(known, "known folder");
    }
    static constexpr const char* kUserShellFolders[] = {
        "Personal",      "My Pictures", "My Music", "My Video", "Desktop",   "AppData",
        "Local AppData", "Start Menu",  "Startup",  "Programs", "Favorites", "Cookies",
        "History",       "Templates",   "SendTo",   "Recent",   "Cache",     "{374DE290-123F-4565-9164-39C4925E467B}"};
    for (const char* name : kUserShellFolders) {
        AddFolder(registry_.GetStringValue(kShellFoldersKey, name), "known folder");
    }
    static constexpr const char* kCommonShellFolders[] = {"Common AppData",    "Common Desktop", "Common Documents",
                                                          "Common Start Menu", "Common Startup", "Common Programs"};
    const std::string machineShellFolders =
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    for (const char* name : kCommonShellFolders) {
        AddFolder(registry_.GetStringValue(machineShellFolders, name), "known folder");
    }
    std::string programData = registry_.GetStringValue(machineShellFolders, "Common AppData");
    if (!programData.empty() && programData != kRegError) {
        AddFolder(programData + "\\Microsoft", "Windows data folder", true);
    }

    userProfile_.clear();
    // The profile that holds the user's application data: "...\<name>\AppData\Roaming" or
    // "...\<name>\Application Data"; its AppData and AppData\Local are known folders too.
    if (auto appData = NormalisePath(f.appData)) {
        for (size_t i = 2; i < appData->size(); ++i) {
            if ((*appData)[i] == "appdata" || (*appData)[i] == "application data") {
                std::string profile = JoinPath(*appData, i);
                profile.pop_back();
                AddFolder(profile, "user profile folder");
                userProfile_.assign(appData->begin(), appData->begin() + static_cast<std::ptrdiff_t>(i));
                if ((*appData)[i] == "appdata") {
                    AddFolder(profile + "\\AppData", "known folder");
                    AddFolder(profile + "\\AppData\\Local", "known folder");
                    AddFolder(profile + "\\AppData\\LocalLow", "known folder");
                }
                break;
            }
        }
    }

    windowsFolder_.clear();
    resolvedWindows_.clear();
    if (auto windows = NormalisePath(f.windowsDir); windows && windows->size() > 1)
        windowsFolder_ = *windows;
    if (auto windows = identity_.Resolve(f.windowsDir); windows && windows->parts.size() > 1) {
        resolvedWindows_ = windows->parts;
    }
    if (!f.windowsDir.empty()) {
        for (std::string_view sub : kCriticalWindowsSubfolders) {
            AddFolder(f.windowsDir + "\\" + std::string(sub), "Windows system folder", true);
        }
        AddFolder(f.systemDir + "\\drivers", "Windows system folder", true);
    }
    appFolder_.clear();
    if (auto app = NormalisePath(state_.appFolder); app && app->size() > 1)
        appFolder_ = *app;
}

bool ProtectedObjects::PassesThroughLink(const std::vector<std::string>& parts) {
    for (size_t depth = 2; depth < parts.size(); ++depth) {
        std::string folder = JoinPath(parts, depth);
        folder.pop_back();
        auto attributes = files_.GetAttributes(folder);
        if (attributes && (*attributes & file_attr::kReparsePoint))
            return true;
    }
    return false;
}

std::optional<std::string> ProtectedObjects::SpellingFolderRefusal(const std::string& path) {
    auto parts = NormalisePath(path);
    if (!parts)
        return "not a full path";
    if (parts->size() == 1)
        return "drive root";
    for (const Folder& folder : folders_) {
        if (IsSameOrAbove(*parts, folder.parts))
            return folder.what;
        if (folder.tree && IsBelow(*parts, folder.parts))
            return folder.what;
    }
    // Every drive's system folders and profiles, not only this Windows installation's.
    const std::string& top = (*parts)[1];
    static constexpr std::array<std::string_view, 6> kTopFolders = {
        "windows", "program files", "program files (x86)", "programdata", "users", "documents and settings"};
    for (std::string_view name : kTopFolders) {
        if (ComponentMatches(top, std::string(name))) {
            if (parts->size() == 2)
                return "system folder of a drive";
            if ((name == "users" || name == "documents and settings") && parts->size() == 3) {
                return "user profile folder";
            }
        }
    }
    if (!appFolder_.empty() && IsBelow(*parts, appFolder_))
        return "application folder";
    if (PassesThroughLink(*parts))
        return "path passes through a link";
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::SpellingFileRefusal(const std::string& path) {
    auto parts = NormalisePath(path);
    if (!parts)
        return "not a full path";
    if (parts->size() == 1)
        return "drive root";
    for (const Folder& folder : folders_) {
        if (folder.tree && IsBelow(*parts, folder.parts))
            return folder.what;
    }
    // The program's own database, settings and quarantine packages are not spyware.
    if (!appFolder_.empty() && IsBelow(*parts, appFolder_))
        return "application folder";
    const std::string& name = parts->back();
    bool inWindows =
        windowsFolder_.empty() || IsBelow(*parts, windowsFolder_) || ComponentMatches((*parts)[1], "windows");
    if (IsCriticalExecutable(name) || IsCriticalSystemFile(name)) {
        // A copy outside the Windows folders is an impostor and may go; the real one may not,
        // nor a copy whose path could lead anywhere through a link.
        if (inWindows || PassesThroughLink(*parts))
            return "critical system file";
    }
    if (parts->size() == 2 && IsDriveRootFile(name))
        return "boot or paging file of a drive";
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::IdentityRefusal(const std::string& path,
                                                             const ResolvedObject& object,
                                                             bool folder) {
    const std::vector<std::string>& parts = object.parts;
    if (parts.size() <= 1)
        return "drive root";
    for (const ResolvedFolder& guarded : resolved_) {
        if (object.SameObject(guarded.object))
            return guarded.what;
        if (folder && IsSameOrAboveParts(parts, guarded.object.parts))
            return guarded.what;
        if (guarded.tree && IsStrictlyBelow(parts, guarded.object.parts))
            return guarded.what;
    }
    // The folders on the way, by volume and file id: the same folder under another name (a
    // network share of the drive, a SUBST letter) has another final path but the same id.
    for (const std::string& ancestor : AncestorsOf(object.finalPath)) {
        auto resolvedAncestor = identity_.Resolve(ancestor);
        if (!resolvedAncestor)
            continue;
        for (const ResolvedFolder& guarded : resolved_) {
            if (guarded.tree && resolvedAncestor->SameObject(guarded.object))
                return guarded.what;
        }
    }
    if (!folder) {
        if (files_.IsSystemProtectedFile(object.finalPath) || files_.IsSystemProtectedFile(path)) {
            return "file guarded by Windows Resource Protection";
        }
        std::string name = ToLowerAscii(parts.back());
        bool inWindows = resolvedWindows_.empty() || IsStrictlyBelow(parts, resolvedWindows_);
        if (inWindows && (IsCriticalExecutable(name) || IsCriticalSystemFile(name)))
            return "critical system file";
        if (parts.size() == 2 && IsDriveRootFile(name))
            return "boot or paging file of a drive";
    }
    // The final path spelled out is checked like a row's text, for what the tables above
    // name by text only (every drive's system folders, profiles).
    return folder ? SpellingFolderRefusal(object.finalPath) : SpellingFileRefusal(object.finalPath);
}

std::optional<std::string> ProtectedObjects::FolderRefusal(const std::string& path) {
    if (!loaded_)
        Refresh();
    if (auto reason = SpellingFolderRefusal(path))
        return reason;
    auto object = identity_.Resolve(path);
    if (!object) {
        // What cannot be opened cannot be identified; only the plain spelling the database
        // means is taken at its word.
        if (!IsPlainAbsolutePath(path))
            return "unusual spelling of an object that cannot be opened";
        return std::nullopt;
    }
    return IdentityRefusal(path, *object, true);
}

std::optional<std::string> ProtectedObjects::FileRefusal(const std::string& path,
                                                         std::optional<ResolvedObject>* checked) {
    if (!loaded_)
        Refresh();
    if (auto reason = SpellingFileRefusal(path))
        return reason;
    auto object = identity_.Resolve(path);
    if (!object) {
        if (!IsPlainAbsolutePath(path))
            return "unusual spelling of an object that cannot be opened";
        if (files_.IsSystemProtectedFile(path))
            return "file guarded by Windows Resource Protection";
        return std::nullopt;
    }
    auto reason = IdentityRefusal(path, *object, false);
    if (!reason && checked)
        *checked = std::move(object);
    return reason;
}

std::optional<std::string> ProtectedObjects::ListedEntryRefusal(const std::string& path,
                                                                std::optional<ResolvedObject>* checked) {
    if (!loaded_)
        Refresh();
    // One open per entry: a listed tree may be large, so the folders on the way are not looked
    // at one by one here (the row's own folder was).
    auto object = identity_.Resolve(path);
    if (!object)
        return std::nullopt;
    if (checked)
        *checked = object;
    const bool isFolder = object->attributes & file_attr::kDirectory;
    for (const ResolvedFolder& guarded : resolved_) {
        if (object->SameObject(guarded.object))
            return guarded.what;
        if (isFolder && IsSameOrAboveParts(object->parts, guarded.object.parts))
            return guarded.what;
        if (guarded.tree && IsStrictlyBelow(object->parts, guarded.object.parts))
            return guarded.what;
    }
    if (!isFolder) {
        if (files_.IsSystemProtectedFile(object->finalPath))
            return "file guarded by Windows Resource Protection";
        std::string name = ToLowerAscii(object->parts.back());
        bool inWindows = !resolvedWindows_.empty() && IsStrictlyBelow(object->parts, resolvedWindows_);
        if (inWindows && (IsCriticalExecutable(name) || IsCriticalSystemFile(name)))
            return "critical system file";
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::CreationRefusal(const std::string& path) {
    if (!loaded_)
        Refresh();
    auto parts = NormalisePath(path);
    auto folded = SplitFoldedPath(path);
    if (!parts || !folded || parts->size() < 2)
        return "not a full path";
    auto guardsCreation = [](const std::string& what) {
        return what == "Windows folder" || what == "Windows system folder" || what == "program files folder" ||
               what == "application folder";
    };
    for (const Folder& folder : folders_) {
        if (guardsCreation(folder.what) && IsSameOrAbove(folder.parts, *parts))
            return folder.what;
    }
    for (const ResolvedFolder& guarded : resolved_) {
        if (guardsCreation(guarded.what) && IsSameOrAboveParts(guarded.object.parts, *folded))
            return guarded.what;
    }
    // Every drive's system folders and profiles, not only this installation's.
    const std::string& top = (*parts)[1];
    for (std::string_view name : {"windows", "program files", "program files (x86)"}) {
        if (ComponentMatches(top, std::string(name)))
            return "system folder of a drive";
    }
    if (ComponentMatches(top, "users") || ComponentMatches(top, "documents and settings")) {
        bool ownProfile = userProfile_.size() == 3 && parts->size() > 3 &&
                          std::equal(userProfile_.begin(), userProfile_.end(), parts->begin(), ComponentMatches);
        if (!ownProfile)
            return "another user's profile";
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::PatternFindRefusal(const std::string& path,
                                                                std::optional<ResolvedObject>* checked) {
    std::optional<ResolvedObject> object;
    if (auto reason = FileRefusal(path, &object))
        return reason;
    auto parts = NormalisePath(path);
    if (!parts)
        return "not a full path";
    if (windowsFolder_.empty() || IsBelow(*parts, windowsFolder_))
        return "pattern find inside the Windows folder";
    if (object && !resolvedWindows_.empty() && IsStrictlyBelow(object->parts, resolvedWindows_))
        return "pattern find inside the Windows folder";
    if (checked)
        *checked = std::move(object);
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::ProcessRefusal(const std::string& exeName) const {
    if (IsCriticalExecutable(ToLowerAscii(TrimSpaces(exeName))))
        return "critical system process";
    return std::nullopt;
}

bool ProtectedObjects::IsProtectedService(const std::string& name) {
    RegistryPort& port = registry_.port();
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (!port.KeyOpens(RootKey::LocalMachine, key, RegAccess::Read))
        return false;
    auto type = port.QueryValue(RootKey::LocalMachine, key, "Type");
    if (type && type->type == kRegDword && type->data.size() >= 4) {
        uint32_t value = static_cast<uint8_t>(type->data[0]) | (static_cast<uint8_t>(type->data[1]) << 8);
        // Kernel, file-system and recogniser drivers and adapters.
        if (value & 0xF)
            return true;
    }
    auto image = port.QueryValue(RootKey::LocalMachine, key, "ImagePath");
    if (!image || image->data.empty())
        return true;
    std::string text = FoldOrdinal(image->data);
    if (!text.empty() && text.front() == '"')
        text.erase(0, 1);
    for (std::string_view prefix : {"%SYSTEMROOT%", "%WINDIR%", "\\SYSTEMROOT", "SYSTEM32\\", "\\??\\"}) {
        if (StartsWith(text, prefix)) {
            if (prefix == "\\??\\") {
                text.erase(0, prefix.size());
                break;
            }
            return true;
        }
    }
    auto parts = SplitFoldedPath(text);
    if (!parts)
        return true;
    std::vector<std::string> windows;
    if (auto w = SplitFoldedPath(state_.folders.windowsDir))
        windows = *w;
    return !windows.empty() && IsStrictlyBelow(*parts, windows);
}

std::optional<std::string> ProtectedObjects::KeyRefusalOf(const CanonicalKey& key) {
    if (key.scope.empty())
        return "registry root key";
    if (key.scope == "HKU")
        return "registry root key";
    if (key.parts.empty())
        return key.scope == "CLASSES" ? "registry root key" : "registry root key";
    if (key.parts.size() == 1 && key.scope != "CLASSES")
        return "key directly below a registry root";
    const std::string rel = key.Relative();
    for (std::string_view tree : kCriticalKeyTrees) {
        std::string guarded = FoldOrdinal(tree);
        if (rel == guarded || StartsWith(rel, guarded + "\\") || StartsWith(guarded, rel + "\\")) {
            return "critical system key";
        }
    }
    for (std::string_view critical : kCriticalKeys) {
        std::string guarded = FoldOrdinal(critical);
        if (rel == guarded || StartsWith(guarded, rel + "\\"))
            return "critical system key";
    }
    if (key.scope == "CLASSES" && key.parts.size() == 1) {
        static constexpr std::string_view kAssociationRoots[] = {
            "*",    "DIRECTORY",           "FOLDER", "DRIVE", "CLSID", "INTERFACE", "TYPELIB", "APPID", "PROTOCOLS",
            "MIME", "ALLFILESYSTEMOBJECTS"};
        for (std::string_view root : kAssociationRoots) {
            if (key.parts[0] == root)
                return "file association root";
        }
    }
    if (key.scope != "CLASSES" && key.parts.size() >= 4 && key.parts[0] == "SYSTEM" &&
        key.parts[1] == "CURRENTCONTROLSET" && key.parts[2] == "SERVICES" && IsProtectedService(key.parts[3])) {
        return "service of a driver or of the system";
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::KeyRefusal(const std::string& keyPath) {
    auto spelled = identity_.CanonicalKeyOf(keyPath);
    if (!spelled)
        return std::nullopt;  // an unknown root opens nothing
    if (auto reason = KeyRefusalOf(*spelled))
        return reason;
    // The key a link on the way leads to is the key the row names.
    auto through = identity_.KeyPathThroughLinks(keyPath);
    if (!through)
        return "registry link to an unknown place";
    if (*through != keyPath) {
        auto target = identity_.CanonicalKeyOf(*through);
        if (!target)
            return "registry link to an unknown place";
        if (auto reason = KeyRefusalOf(*target))
            return reason;
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::ValueRefusal(const std::string& object) {
    size_t comma = object.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const std::string keyPath = object.substr(0, comma);
    const std::string name = FoldOrdinal(object.substr(comma + 1));
    std::vector<std::string> paths = {keyPath};
    auto through = identity_.KeyPathThroughLinks(keyPath);
    if (!through)
        return "registry link to an unknown place";
    if (*through != keyPath)
        paths.push_back(*through);
    for (const std::string& path : paths) {
        auto key = identity_.CanonicalKeyOf(path);
        if (!key)
            continue;
        if (key->scope.empty())
            return "registry root key";
        const std::string rel = key->Relative();
        for (std::string_view tree : kCriticalKeyTrees) {
            std::string guarded = FoldOrdinal(tree);
            if (rel == guarded || StartsWith(rel, guarded + "\\"))
                return "value of a critical system key";
        }
        for (const CriticalValue& value : kCriticalValues) {
            if (FoldOrdinal(value.key) == rel && FoldOrdinal(value.name) == name)
                return "critical system value";
        }
        if (key->scope != "CLASSES" && key->parts.size() >= 4 && key->parts[0] == "SYSTEM" &&
            key->parts[1] == "CURRENTCONTROLSET" && key->parts[2] == "SERVICES" && IsProtectedService(key->parts[3])) {
            return "service of a driver or of the system";
        }
    }
    return std::nullopt;
}

}  // namespace pellora
