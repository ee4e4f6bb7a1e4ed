// Objects the removal run must never touch, whatever the reference database says. The scan
// reports what the database names; a damaged or hostile database (or one mistyped line) could
// name a drive root, the Windows folder or HKEY_LOCAL_MACHINE\Software, and an unattended
// automatic scan would then remove it without asking anyone. Every row passes through here
// before anything is deleted, and a refused row is skipped with the reason in the log.
//
// Protection is decided on what an object is (ObjectIdentity): a file or folder is opened and
// its final path and volume and file id are compared with the protected folders, resolved the
// same way once per run; a key is put into its canonical form (Classes views, the user's SID,
// the 32-bit view, control sets, registry links on the way). A row whose object cannot be
// opened is refused unless it is spelled in the plain absolute form. The spelling is checked as
// well, in a normal form (letter case, "/" for "\", doubled and trailing separators, "." and
// "..", trailing dots and blanks, "\\?\" prefixes and stream suffixes), where a component in
// the 8.3 short form ("PROGRA~1") is taken to match every long name it could stand for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/state/app_state.h"
#include "core/identity/object_identity.h"
#include "core/ports/file_system.h"
#include "core/ports/system.h"
#include "core/settings/registry_access.h"

namespace pellora {

// A full path split into lower-case components; the first is the root ("c:" or
// "\\server\share"). Nothing for a path that is not a full path.
std::optional<std::vector<std::string>> NormalisePath(std::string_view path);

// True when `candidate` names `folder` itself or a folder above it.
bool IsSameOrAbove(const std::vector<std::string>& candidate, const std::vector<std::string>& folder);

class ProtectedObjects {
  public:
    ProtectedObjects(const AppState& state,
                     FileSystemPort& files,
                     RegistryAccess& registry,
                     SystemPort* system = nullptr)
        : state_(state), files_(files), registry_(registry), system_(system), identity_(files, registry.port()) {}

    // Reads the machine's protected folders afresh (the special folders are found at start-up,
    // after this object is made). The checks call it themselves the first time.
    void Refresh();

    // Each check gives the reason an object must be left alone, or nothing when it may go.
    // A folder to be emptied and removed.
    std::optional<std::string> FolderRefusal(const std::string& path);
    // A single file (path, file and cookie rows). When it may go and could be opened, `checked`
    // (if given) receives the object that was checked, for the deletion to delete that object
    // and no other.
    std::optional<std::string> FileRefusal(const std::string& path, std::optional<ResolvedObject>* checked = nullptr);
    // A file found by a name pattern over the whole disk ("file" rows). Such a pattern is not an
    // exact name: one written too widely ("*.dll") would match the system's own files, so
    // pattern finds inside the Windows folder are never deleted; exact "path" items may name
    // spyware there.
    std::optional<std::string> PatternFindRefusal(const std::string& path,
                                                  std::optional<ResolvedObject>* checked = nullptr);
    // An entry listed inside a folder row's tree (a file or a folder): refused when it is
    // protected, and the folder row with it.
    std::optional<std::string> ListedEntryRefusal(const std::string& path,
                                                  std::optional<ResolvedObject>* checked = nullptr);
    // A running program, by its executable name, that must not be asked to end.
    std::optional<std::string> ProcessRefusal(const std::string& exeName) const;
    // A registry key to be removed with every key below it.
    std::optional<std::string> KeyRefusal(const std::string& keyPath);
    // A registry value, as the "key path,value name" object of a regval row.
    std::optional<std::string> ValueRefusal(const std::string& object);

    // A service or driver to be stopped and deleted: refused for the services Windows installs
    // and for one whose program (`program`, its image path resolved to a file; "" when it names
    // none) lies below the Windows folder by its spelling or by what it leads to.
    std::optional<std::string> ServiceRefusal(const std::string& name, const std::string& program);

    ObjectIdentity& identity() { return identity_; }

    // A missing folder that restore would create, spelled as its nearest existing folder's final
    // path and the missing names: refused below the Windows folder, the program files folders
    // (of every drive), the application folder and every user profile but the current user's.
    std::optional<std::string> CreationRefusal(const std::string& path);

  private:
    struct Folder {
        std::vector<std::string> parts;
        std::string what;
        bool tree = false;
    };
    // A protected folder as the system resolves it; `tree`: everything below it is protected
    // too, otherwise the folder itself and the folders above it.
    struct ResolvedFolder {
        ResolvedObject object;
        std::string what;
        bool tree = false;
    };
    void AddFolder(const std::string& path, const std::string& what, bool tree = false);
    std::optional<std::string> SpellingFolderRefusal(const std::string& path);
    std::optional<std::string> SpellingFileRefusal(const std::string& path);
    // The checks on the object the path leads to; `folder`: the row removes a whole folder.
    std::optional<std::string> IdentityRefusal(const std::string& path, const ResolvedObject& object, bool folder);
    std::optional<std::string> KeyRefusalOf(const CanonicalKey& key);
    bool IsProtectedService(const std::string& name);
    // True when a folder on the way to `path` (not `path` itself) is a link, so the path
    // may lead anywhere and its text says nothing about where the object really is.
    bool PassesThroughLink(const std::vector<std::string>& parts);

    const AppState& state_;
    FileSystemPort& files_;
    RegistryAccess& registry_;
    SystemPort* system_;
    ObjectIdentity identity_;
    bool loaded_ = false;
    std::vector<Folder> folders_;
    std::vector<ResolvedFolder> resolved_;
    std::vector<std::string> resolvedWindows_;
    std::vector<std::string> windowsFolder_;
    std::vector<std::string> appFolder_;
    std::vector<std::string> userProfile_;
};

}  // namespace pellora
