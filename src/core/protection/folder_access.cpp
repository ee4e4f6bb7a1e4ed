#include "core/protection/folder_access.h"

#include "core/protection/write_access.h"
#include "core/util/text.h"

namespace pellora {

std::optional<UnsafeObject> FindUnsafeApplicationObject(FileSystemPort& files,
                                                        const std::string& appFolder,
                                                        const std::string& systemDirectory,
                                                        std::function<void(const std::string&)> log) {
    WriteAccess access(files, systemDirectory, "", std::move(log));
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
        if (std::optional<std::string> who = access.WhoMayChangeObject(path, kChangingRights))
            return UnsafeObject{path, *who};
    }
    return std::nullopt;
}

std::string UnsafeFolderText(const UnsafeObject& object, const std::string& appFolder) {
    std::string what = object.group.empty() ? object.path + " has an owner or access list that cannot be read"
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

}  // namespace pellora
