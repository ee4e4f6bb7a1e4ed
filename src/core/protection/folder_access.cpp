#include "core/protection/folder_access.h"

#include <map>

#include "core/util/text.h"

namespace pellora {

std::optional<std::string> BroadGroupThatMayChange(const std::vector<FileSystemPort::AccessEntry>& entries) {
    constexpr const char* kEveryone = "S-1-1-0";
    // The rights each group has been refused so far; the system stops at the first entry that
    // decides a right, so a deny after an allow takes nothing back.
    std::map<std::string, uint32_t> denied;
    for (const FileSystemPort::AccessEntry& entry : entries) {
        if (entry.inheritOnly)
            continue;
        for (const BroadGroup& group : kBroadGroups) {
            if (entry.sid != group.sid)
                continue;
            if (!entry.allow) {
                denied[group.sid] |= entry.rights;
                continue;
            }
            uint32_t refused = denied[group.sid] | denied[kEveryone];
            if (entry.rights & kChangingRights & ~refused)
                return std::string(group.name);
        }
    }
    return std::nullopt;
}

std::optional<UnsafeObject> FindUnsafeApplicationObject(FileSystemPort& files, const std::string& appFolder) {
    std::vector<std::string> objects = {appFolder,
                                        appFolder + "\\Pellora.exe",
                                        appFolder + "\\pellora-cli.exe",
                                        appFolder + "\\Keys",
                                        appFolder + "\\DataBase.ref",
                                        appFolder + "\\DataBase.bak",
                                        appFolder + "\\Quarantine"};
    // Each key file too: one that others may rewrite is a key they chose.
    std::vector<FindEntry> keys;
    if (files.FindEntries(appFolder + "\\Keys\\*", keys)) {
        for (const FindEntry& key : keys) {
            if (!(key.attributes & file_attr::kDirectory))
                objects.push_back(appFolder + "\\Keys\\" + key.name);
        }
    }
    for (const std::string& path : objects) {
        if (path != appFolder && files.Probe(path) == Presence::Absent)
            continue;
        std::optional<std::vector<FileSystemPort::AccessEntry>> entries = files.ReadAccessList(path);
        // A list that even an administrator may not read is one its owner shut them out of.
        if (!entries)
            return UnsafeObject{path, ""};
        if (std::optional<std::string> group = BroadGroupThatMayChange(*entries))
            return UnsafeObject{path, *group};
    }
    return std::nullopt;
}

std::string UnsafeFolderText(const UnsafeObject& object, const std::string& appFolder) {
    std::string what = object.group.empty() ? object.path + " has an access list that cannot be read"
                                            : object.group + " may change " + object.path;
    return what + ", so anyone could replace what Pellora runs with administrator rights; run the Pellora " +
           "installer again for " + appFolder + " (it lets only Administrators and SYSTEM write there)";
}

bool SecureApplicationFolder(FileSystemPort& files, const std::string& appFolder) {
    return files.SetAccessList(appFolder, kApplicationFolderAccess);
}

std::optional<std::string> RegistryExportsFolder(FileSystemPort& files, const std::string& appFolder) {
    std::string folder = appFolder + "\\" + kRegistryExportsFolder;
    std::optional<uint32_t> attributes = files.GetAttributes(folder);
    if (!attributes) {
        if (!files.CreateDirectory(folder))
            return std::nullopt;
        attributes = files.GetAttributes(folder);
    }
    // A link there would send the exports wherever it points.
    if (!attributes || !(*attributes & file_attr::kDirectory) || (*attributes & file_attr::kReparsePoint))
        return std::nullopt;
    if (!files.SetAccessList(folder, kAdministratorsOnlyAccess))
        return std::nullopt;
    return folder;
}

bool UsersMayChangeFile(FileSystemPort& files, const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    for (const std::string& object : {path, folder}) {
        if (object.empty())
            continue;
        const auto entries = files.ReadAccessList(object);
        if (entries && BroadGroupThatMayChange(*entries))
            return true;
    }
    return false;
}

}  // namespace pellora
