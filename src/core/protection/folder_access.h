// Who may change the application folder. Pellora runs elevated and trusts what lies in its own
// folder: its programs (the logon task starts Pellora.exe with the highest rights), the signing
// keys in Keys, the database, the quarantine packages. A folder that standard users may write
// hands them all of that, so the installer gives the folder an access list of its own, and every
// start checks that the folder and those objects still let no one but the system write them.
// The lists are kept here in the system's security descriptor string form and applied through
// FileSystemPort::SetAccessList; the check reads them back through ReadAccessList.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/file_system.h"

namespace pellora {

// Administrators and SYSTEM full control, Users read and execute, nothing inherited from the
// parent; each entry is handed down to every folder and file below.
inline constexpr const char* kApplicationFolderAccess = "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
// Administrators and SYSTEM only: the folder where registry exports are written before they are
// moved to their place (they hold the whole machine's settings).
inline constexpr const char* kAdministratorsOnlyAccess = "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
// Below the application folder.
inline constexpr const char* kRegistryExportsFolder = "Registry Exports";

// Rights that let a trustee change an object or what it holds: write or append data (for a
// folder: add a file or a folder), delete it or what it holds, change its access list or owner,
// and the generic write and all rights.
inline constexpr uint32_t kChangingRights =
    0x0002u | 0x0004u | 0x0040u | 0x00010000u | 0x00040000u | 0x00080000u | 0x10000000u | 0x40000000u;

// An object of the application folder that others may change.
struct UnsafeObject {
    std::string path;
    // Who may write it ("Users", a SID, "its owner S-..."); "" when its owner or access list
    // could not be read.
    std::string group;
};

// Checks the folder itself, Pellora.exe, pellora-cli.exe, Keys and each file in it, DataBase.ref,
// DataBase.bak and Quarantine (the ones that are there) and answers the first that anyone but
// the system may change (WriteAccess: an owner or an allow entry with kChangingRights for a SID
// that is not the system's), or whose owner or list cannot be read. Nothing when all are safe.
// `systemDirectory` (System32) tells whose grants are the system's own.
std::optional<UnsafeObject> FindUnsafeApplicationObject(FileSystemPort& files,
                                                        const std::string& appFolder,
                                                        const std::string& systemDirectory,
                                                        std::function<void(const std::string&)> log = {});

// One line saying what is wrong and how to put it right.
std::string UnsafeFolderText(const UnsafeObject& object, const std::string& appFolder);

// Gives the application folder (and what is below it) kApplicationFolderAccess.
[[nodiscard]] bool SecureApplicationFolder(FileSystemPort& files, const std::string& appFolder);

// The folder for registry exports below the application folder, created when missing and given
// kAdministratorsOnlyAccess every time (a folder someone else made first must not keep theirs).
// Nothing when it cannot be made so.
std::optional<std::string> RegistryExportsFolder(FileSystemPort& files, const std::string& appFolder);

}  // namespace pellora
