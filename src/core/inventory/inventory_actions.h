// What a person may do with inventory entries: put one on the ignore list, open the folder of
// its program, and hand selected ones to the removal run as result rows, so that they are
// quarantined first and removed with every protection a scan's find has (the protected-object
// checks, the identity the row carries, restore from the package).
//
// Only what can be taken away without breaking Windows becomes a row: a Run or RunOnce value
// (a "regval" row) and a file of a Startup folder (a "path" row). Winlogon, debugger, AppInit,
// Active Setup and shell-hook entries are settings of system keys that must be changed, not
// deleted; tasks, services, hosts lines, network settings and browser entries have removals of
// their own. Those are refused with the reason.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/identity/object_identity.h"
#include "core/inventory/inventory.h"
#include "core/state/app_state.h"

namespace pellora::inventory {

// The category the rows and ignore entries carry.
inline constexpr const char* kRowCategory = "Startup inventory";

// Adds the entry's ignore line unless an equal one is there; false when it was there already.
bool AddToIgnoreList(AppState& state, const InventoryEntry& entry);

// The folder to open for the entry: its program's folder, else the folder its file lies in
// (a Startup folder, the hosts file's); "" when it names no file.
std::string FolderToOpen(const InventoryEntry& entry);

// The result row that removes the entry, or nothing with `reason` set.
std::optional<ResultRow> RemovalRowOf(const InventoryEntry& entry, std::string& reason);

// Makes the entries' rows the checked rows of lstScanResult for the removal run, each with the
// identity of its object now (a file's volume and file id, a key's canonical form), as a scan's
// find carries it, so the removal acts on that object only. Refuses (false, `reason`) while
// lstScanResult holds rows of a scan; entries without a row are listed in `refused` as
// "<name>: <reason>" and the others still go.
bool StageForRemoval(AppState& state,
                     ObjectIdentity& identity,
                     FileSystemPort& files,
                     const std::vector<InventoryEntry>& entries,
                     std::vector<std::string>& refused,
                     std::string& reason);

}  // namespace pellora::inventory
