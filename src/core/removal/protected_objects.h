// Objects the removal run must never touch, whatever the reference database says. The scan
// reports what the database names; a damaged or hostile database (or one mistyped line) could
// name a drive root, the Windows folder or HKEY_LOCAL_MACHINE\Software, and an unattended
// automatic scan would then remove it without asking anyone. Every row passes through here
// before anything is deleted, and a refused row is skipped with the reason in the log.
//
// Paths are compared in a normal form (letter case, "/" for "\", doubled and trailing
// separators, "." and "..", the trailing dots and blanks Windows drops, "\\?\" prefixes and
// stream suffixes), component by component; a component in the 8.3 short form ("PROGRA~1")
// is taken to match every long name it could stand for, so the check errs on the safe side.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/app_state.h"
#include "core/ports/file_system.h"
#include "core/settings/registry_access.h"

namespace pellora {

// A full path split into lower-case components; the first is the root ("c:" or
// "\\server\share"). Nothing for a path that is not a full path.
std::optional<std::vector<std::string>> NormalisePath(std::string_view path);

// True when `candidate` names `folder` itself or a folder above it.
bool IsSameOrAbove(const std::vector<std::string>& candidate, const std::vector<std::string>& folder);

class ProtectedObjects {
public:
    ProtectedObjects(const AppState& state, FileSystemPort& files, RegistryAccess& registry)
        : state_(state), files_(files), registry_(registry) {}

    // Reads the machine's protected folders afresh (the special folders are found at start-up,
    // after this object is made). The checks call it themselves the first time.
    void Refresh();

    // Each check gives the reason an object must be left alone, or nothing when it may go.
    // A folder to be emptied and removed.
    std::optional<std::string> FolderRefusal(const std::string& path);
    // A single file (path, file and cookie rows).
    std::optional<std::string> FileRefusal(const std::string& path);
    // A file found by a name pattern over the whole disk ("file" rows). Such a pattern is not an
    // exact name: one written too widely ("*.dll") would match the system's own files, so
    // pattern finds inside the Windows folder are never deleted; exact "path" items may name
    // spyware there.
    std::optional<std::string> PatternFindRefusal(const std::string& path);
    // A running program, by its executable name, that must not be asked to end.
    std::optional<std::string> ProcessRefusal(const std::string& exeName) const;
    // A registry key to be removed with every key below it.
    std::optional<std::string> KeyRefusal(const std::string& keyPath) const;
    // A registry value, as the "key path,value name" object of a regval row.
    std::optional<std::string> ValueRefusal(const std::string& object) const;

private:
    struct Folder {
        std::vector<std::string> parts;
        std::string what;
    };
    void AddFolder(const std::string& path, const std::string& what);
    // True when a folder on the way to `path` (not `path` itself) is a link, so the path
    // may lead anywhere and its text says nothing about where the object really is.
    bool PassesThroughLink(const std::vector<std::string>& parts);

    const AppState& state_;
    FileSystemPort& files_;
    RegistryAccess& registry_;
    bool loaded_ = false;
    std::vector<Folder> folders_;
    std::vector<std::string> windowsFolder_;
    std::vector<std::string> appFolder_;
};

}  // namespace pellora
