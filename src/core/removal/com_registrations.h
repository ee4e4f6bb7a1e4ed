// What makes Windows load a found file's code: the COM classes whose server is that file, and
// the entries that name those classes (browser helper objects, shell extensions, URL search
// hooks, toolbars and the like). The removal run removes these instead of asking the file to
// unregister itself, which would load it and run its code with this program's rights.
//
// The class servers (InprocServer32 and LocalServer32 of every class of the machine and the
// user, both registry views) are read once per run into an index by the server's file name;
// a found file is then compared with the few servers of its name (and those spelled with a short
// name) by identity: the server's path, environment variables expanded and quotes and arguments
// taken off, is opened and its volume and file id compared with the found file's. Only the
// registry is read: no server is ever loaded or started.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/identity/object_identity.h"
#include "core/ports/registry.h"
#include "core/ports/system.h"
#include "core/ports/ui.h"

namespace pellora {

// One entry that registers a found file: a key (removed with everything below it) or a value.
struct ComRegistration {
    bool isKey = true;
    // "HKEY_...\path" for a key; "HKEY_...\path,name" for a value (the form of a regval row).
    std::string object;
};

// The file a server value names: environment variables expanded, surrounding quotes and the
// arguments after the program taken off. "" when the text names no path.
std::string ServerFilePath(const std::string& text, SystemPort* system);

class ComRegistrations {
  public:
    ComRegistrations(RegistryPort& registry, ObjectIdentity& identity, SystemPort* system, UiPort& ui)
        : registry_(registry), identity_(identity), system_(system), ui_(ui) {}

    // Forgets the index: the next lookup reads the registry again (each removal run starts so).
    void Forget();
    // The entries that register the file found at `path` (`found`: the object the protection
    // check opened there, when it could be opened), the entries naming its classes first and
    // the classes themselves last.
    std::vector<ComRegistration> Of(const std::string& path, const std::optional<ResolvedObject>& found);

  private:
    struct Server {
        RootKey root = RootKey::None;
        std::string classesKey;  // the CLSID key holding the class, below the root
        std::string clsid;       // the class key's name as spelled
        std::string path;        // the server's file, expanded
    };
    void Index();
    void IndexClasses(RootKey root, const std::string& classesKey);
    bool IsServerOf(const Server& server,
                    const std::optional<std::vector<std::string>>& foundParts,
                    const std::optional<ResolvedObject>& found);
    // Adds the entries below `root` that name one of `clsids` (folded).
    void AddNamingEntries(RootKey root, const std::vector<std::string>& clsids, std::vector<ComRegistration>& out);

    RegistryPort& registry_;
    ObjectIdentity& identity_;
    SystemPort* system_;
    UiPort& ui_;
    bool indexed_ = false;
    std::vector<Server> servers_;
    std::unordered_multimap<std::string, size_t> byName_;  // folded file name -> servers_
    std::vector<size_t> shortNamed_;                       // servers spelled with a "~" name
};

}  // namespace pellora
