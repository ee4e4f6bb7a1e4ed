// Who may change a file: the one judgement behind the inventory's `user-writable` flag and its
// cache of verdicts, the start-up check of the application folder, and the content scan's cache
// ("no standard user can change this file").
//
// A standard user may change a file when any allow entry of the file's access list grants write,
// append, delete, change-permissions or take-ownership (or generic write or all) to a SID that is
// not the system's (SYSTEM, Administrators, TrustedInstaller, service SIDs): the logged-on
// user's own SID included, since an administrator's unelevated programs hold it. The folder
// holding it counts as well, but write or append there only lets a user add entries; replacing
// an existing file needs delete-child (or change-permissions, take-ownership, all) on the folder.
// An owner that is not the system's may change the list, so it counts too; inherit-only entries
// apply to nothing yet and are skipped. A file below the users' profiles folder is the user's.
//
// The system's own identity is learned from the system folder: when System32 reports an owner
// that is not one of the SIDs above and grants that same SID full access, that SID's owners and
// grants are the system's as well. On Windows System32 belongs to TrustedInstaller, already one
// of them; under Wine every file belongs to the one user that runs it, with full access.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/registry.h"
#include "core/ports/system.h"

namespace pellora {

// "Everyone", "Users", ... for the well-known groups; the SID itself otherwise.
std::string SidName(const std::string& sid);

// The folder holding the users' profiles (ProfileList's ProfilesDirectory, expanded), or "".
std::string ProfilesFolder(RegistryPort& registry, SystemPort& system);

// Whether `sid` is one of the system's own: SYSTEM, Administrators, TrustedInstaller, the local
// and network service accounts and the per-service SIDs.
bool IsSystemSid(const std::string& sid);

// Whether the entries let a SID other than the system's (or `alsoSystem`) do what `rights`
// names. The first such SID, or nothing.
std::optional<std::string> OtherSidWith(const std::vector<FileSystemPort::AccessEntry>& entries,
                                        uint32_t rights,
                                        const std::string& alsoSystem);

// Rights on a file that let its holder change it (write or append data, delete, write the list,
// take ownership, generic write, generic all).
inline constexpr uint32_t kFileChangingRights =
    0x0002u | 0x0004u | 0x00010000u | 0x00040000u | 0x00080000u | 0x10000000u | 0x40000000u;
// Rights on a folder that let its holder replace what it holds (delete a child, write the list,
// take ownership, generic all). Write and append only add entries.
inline constexpr uint32_t kFolderReplacingRights = 0x0040u | 0x00040000u | 0x00080000u | 0x10000000u;

class WriteAccess {
  public:
    // `systemDirectory` is System32, `profilesFolder` the folder holding the users' profiles
    // ("C:\Users"; "" when unknown). `log` hears, once, that a SID is taken as the system's.
    WriteAccess(FileSystemPort& files,
                std::string systemDirectory,
                std::string profilesFolder,
                std::function<void(const std::string&)> log = {});

    // Who other than the system may change the file ("Users", a SID, "its owner S-...", "the
    // user whose profile holds it"; "" when an owner or access list cannot be read), or nothing
    // when no standard user can.
    std::optional<std::string> WhoMayChangeFile(const std::string& path);
    // The same for one object on its own: an owner, or an allow entry for another SID with a
    // right of `rights`.
    std::optional<std::string> WhoMayChangeObject(const std::string& path, uint32_t rights);
    bool NoUserMayChange(const std::string& path) { return !WhoMayChangeFile(path); }

    // The SID taken as the system's besides the usual ones ("" when none).
    const std::string& systemOwner();

  private:
    bool IsSystems(const std::string& sid);
    FileSystemPort& files_;
    std::string systemDirectory_;
    std::string profilesFolder_;
    std::function<void(const std::string&)> log_;
    std::optional<std::string> systemOwner_;  // learned at the first question
};

}  // namespace pellora
