#include "core/protection/write_access.h"

#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {
namespace {

constexpr const char* kTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr uint32_t kFullAccess = 0x001F01FFu;
constexpr uint32_t kGenericAll = 0x10000000u;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsBelow(const std::string& path, const std::string& folder) {
    if (folder.empty())
        return false;
    const std::string base = FoldOrdinal(folder.back() == '\\' ? folder : folder + "\\");
    return StartsWith(FoldOrdinal(path), base);
}

}  // namespace

std::string SidName(const std::string& sid) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"S-1-1-0", "Everyone"},        {"S-1-5-32-545", "Users"},  {"S-1-5-11", "Authenticated Users"},
        {"S-1-5-4", "Interactive"},     {"S-1-5-32-546", "Guests"}, {"S-1-5-32-547", "Power Users"},
        {"S-1-5-7", "Anonymous Logon"}, {"S-1-5-2", "Network"},
    };
    for (const auto& [known, name] : kNames)
        if (sid == known)
            return name;
    return sid;
}

bool IsSystemSid(const std::string& sid) {
    // SYSTEM, local service, network service, Administrators, and every service's own SID
    // (S-1-5-80-..., TrustedInstaller among them).
    return sid == "S-1-5-18" || sid == "S-1-5-19" || sid == "S-1-5-20" || sid == "S-1-5-32-544" ||
           sid == kTrustedInstaller || StartsWith(sid, "S-1-5-80-");
}

std::optional<std::string> OtherSidWith(const std::vector<FileSystemPort::AccessEntry>& entries,
                                        uint32_t rights,
                                        const std::string& alsoSystem) {
    for (const FileSystemPort::AccessEntry& entry : entries) {
        if (!entry.allow || entry.inheritOnly || !(entry.rights & rights))
            continue;
        // CREATOR OWNER and CREATOR GROUP are placeholders for what is created below; OWNER
        // RIGHTS stands for the owner, judged on its own.
        if (entry.sid == "S-1-3-0" || entry.sid == "S-1-3-1" || entry.sid == "S-1-3-4")
            continue;
        if (IsSystemSid(entry.sid) || (!alsoSystem.empty() && entry.sid == alsoSystem))
            continue;
        return entry.sid;
    }
    return std::nullopt;
}

WriteAccess::WriteAccess(FileSystemPort& files,
                         std::string systemDirectory,
                         std::string profilesFolder,
                         std::function<void(const std::string&)> log)
    : files_(files),
      systemDirectory_(std::move(systemDirectory)),
      profilesFolder_(std::move(profilesFolder)),
      log_(std::move(log)) {}

const std::string& WriteAccess::systemOwner() {
    if (systemOwner_)
        return *systemOwner_;
    systemOwner_ = std::string();
    if (systemDirectory_.empty())
        return *systemOwner_;
    const std::optional<std::string> owner = files_.ReadOwner(systemDirectory_);
    const auto entries = files_.ReadAccessList(systemDirectory_);
    if (!owner || !entries || IsSystemSid(*owner))
        return *systemOwner_;
    for (const FileSystemPort::AccessEntry& entry : *entries) {
        if (entry.allow && !entry.inheritOnly && entry.sid == *owner &&
            ((entry.rights & kFullAccess) == kFullAccess || (entry.rights & kGenericAll))) {
            systemOwner_ = *owner;
            if (log_)
                log_("The system folder " + systemDirectory_ + " belongs to " + *owner +
                     " with full access: that owner's files and grants are taken as the system's own");
            break;
        }
    }
    return *systemOwner_;
}

bool WriteAccess::IsSystems(const std::string& sid) {
    return IsSystemSid(sid) || (!systemOwner().empty() && sid == systemOwner());
}

std::optional<std::string> WriteAccess::WhoMayChangeObject(const std::string& path, uint32_t rights) {
    const std::optional<std::string> owner = files_.ReadOwner(path);
    const auto entries = files_.ReadAccessList(path);
    // A list or owner even an administrator may not read is one its owner shut them out of.
    if (!owner || !entries)
        return std::string();
    if (!IsSystems(*owner))
        return "its owner " + SidName(*owner);
    if (std::optional<std::string> sid = OtherSidWith(*entries, rights, systemOwner()))
        return SidName(*sid);
    return std::nullopt;
}

std::optional<std::string> WriteAccess::WhoMayChangeFile(const std::string& path) {
    if (IsBelow(path, profilesFolder_))
        return std::string("the user whose profile holds it");
    if (std::optional<std::string> who = WhoMayChangeObject(path, kFileChangingRights))
        return who;
    const std::string folder = FolderOf(path);
    if (folder.empty())
        return std::nullopt;
    return WhoMayChangeObject(folder, kFolderReplacingRights);
}

}  // namespace pellora

namespace pellora {

std::string ProfilesFolder(RegistryPort& registry, SystemPort& system) {
    const std::optional<RegValue> value = registry.QueryValue(
        RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "ProfilesDirectory");
    if (!value || (value->type != kRegSz && value->type != kRegExpandSz))
        return {};
    std::string folder = system.ExpandEnvironment(value->data.substr(0, value->data.find('\0')));
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    // Only a full path names a folder; a variable the system does not know leaves a "%".
    if (folder.size() < 3 || folder[1] != ':' || folder.find('%') != std::string::npos)
        return {};
    return folder;
}

}  // namespace pellora
