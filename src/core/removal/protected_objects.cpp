#include "core/removal/protected_objects.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/database/folder_variables.h"
#include "core/database/persistence_kinds.h"
#include "core/removal/process_ender.h"
#include "core/removal/protected_paths.h"
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

bool IsCriticalSystemFile(std::string_view lowerName) {
    return std::find(std::begin(kCriticalSystemFiles), std::end(kCriticalSystemFiles), lowerName) !=
           std::end(kCriticalSystemFiles);
}

bool IsDriveRootFile(std::string_view lowerName) {
    return std::find(std::begin(kDriveRootFiles), std::end(kDriveRootFiles), lowerName) != std::end(kDriveRootFiles);
}

bool IsCriticalExecutable(std::string_view lowerName) {
    return IsSystemCriticalProcess(lowerName) ||
           std::find(std::begin(kCriticalExecutables), std::end(kCriticalExecutables), lowerName) !=
               std::end(kCriticalExecutables);
}

}  // namespace

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

std::optional<std::string> ProtectedObjects::ServiceRefusal(const std::string& name, const std::string& program) {
    if (!loaded_)
        Refresh();
    if (IsWindowsServiceName(name))
        return "a service of Windows";
    // A driver without an image loads system32\drivers\<name>.sys.
    const std::optional<std::vector<std::string>> parts = NormalisePath(program);
    if (!parts)
        return "its program is part of Windows";
    std::optional<ResolvedObject> object = identity_.Resolve(program);
    if (windowsFolder_.empty() || IsBelow(*parts, windowsFolder_) ||
        (object && !resolvedWindows_.empty() && IsStrictlyBelow(object->parts, resolvedWindows_)))
        return "its program is part of Windows";
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::ProcessRefusal(const std::string& exeName) const {
    if (IsCriticalExecutable(ToLowerAscii(TrimSpaces(exeName))))
        return "critical system process";
    return std::nullopt;
}

}  // namespace pellora
