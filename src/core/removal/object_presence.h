// Whether the object of a result row is still on the machine: the one answer the window's removal
// run and the console program's report of what remains both rest on. An object counts as gone
// only when the platform confirms there is no such object; a refusal (no rights to look, a
// folder that cannot be read) leaves it Unknown, and callers treat Unknown as still there.
#pragma once

#include <string>

#include "core/ports/file_system.h"
#include "core/ports/registry.h"
#include "core/ports/services.h"
#include "core/ports/system.h"
#include "core/ports/task_scheduler.h"
#include "core/state/app_state.h"

namespace pellora {

// What the persistence kinds need beside the files and the registry; a kind whose port is
// missing is Unknown.
struct PersistencePorts {
    SystemPort* system = nullptr;
    TaskSchedulerPort* tasks = nullptr;
    ServicePort* services = nullptr;
};

// `cookiesFolder` is the folder the cookie rows' names are below ("" when not found).
Presence ObjectPresence(const ResultRow& row,
                        const std::string& cookiesFolder,
                        FileSystemPort& files,
                        RegistryPort& registry,
                        const PersistencePorts& persistence = {});

// The same for a key path ("HKEY_...\..."), and for a key path with a value name. A key path that
// is not well formed names nothing: Absent.
Presence KeyPresence(RegistryPort& registry, const std::string& keyPath);
Presence ValuePresence(RegistryPort& registry, const std::string& keyPath, const std::string& name);

}  // namespace pellora
