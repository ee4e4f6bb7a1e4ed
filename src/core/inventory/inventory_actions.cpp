#include "core/inventory/inventory_actions.h"

#include "core/autostart/autostart.h"
#include "core/database/item_parser.h"
#include "core/util/case_fold.h"

namespace pellora::inventory {
namespace {

std::string FolderOfPath(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

bool AddToIgnoreList(AppState& state, const InventoryEntry& entry) {
    const std::string object = IgnoreObjectOf(entry);
    SignatureItem item;
    for (const std::string& line : state.lstIgnoreListFile) {
        SplitItem(line, item);
        if (item.type() == kIgnoreKind && EqualsOrdinalIgnoreCase(item.object(), object))
            return false;
    }
    state.lstIgnoreListFile.push_back(IgnoreEntryOf(entry));
    return true;
}

std::string FolderToOpen(const InventoryEntry& entry) {
    // A folder on another machine is never opened, not even to look at it.
    if (entry.flags & flag::kNetwork)
        return {};
    if (!entry.program.empty())
        return FolderOfPath(entry.program);
    if (entry.place == autostart::place::kStartup)
        return entry.location;
    if (entry.place == autostart::place::kHosts)
        return FolderOfPath(entry.location);
    return {};
}

std::optional<ResultRow> RemovalRowOf(const InventoryEntry& entry, std::string& reason) {
    ResultRow row;
    row.category = kRowCategory;
    row.checked = true;
    if (entry.place == autostart::place::kRun || entry.place == autostart::place::kRunOnce) {
        // A regval object is split at its first comma: a key path with one cannot be named.
        if (entry.location.find(',') != std::string::npos || entry.location.find('\n') != std::string::npos) {
            reason = "the key's name cannot be written as a row";
            return std::nullopt;
        }
        row.type = "regval";
        row.image = kImageRegVal;
        row.object = entry.location + "," + entry.name;
        return row;
    }
    if (entry.place == autostart::place::kStartup) {
        row.type = "path";
        row.image = kImageProgram;
        row.object = entry.location + "\\" + entry.name;
        return row;
    }
    reason = "entries of \"" + entry.place + "\" are not removed from the inventory";
    return std::nullopt;
}

bool StageForRemoval(AppState& state,
                     ObjectIdentity& identity,
                     FileSystemPort& files,
                     const std::vector<InventoryEntry>& entries,
                     std::vector<std::string>& refused,
                     std::string& reason) {
    if (!state.lstScanResult.empty()) {
        reason = "the results of the last scan are still waiting: remove or ignore them first";
        return false;
    }
    std::vector<ResultRow> rows;
    for (const InventoryEntry& entry : entries) {
        std::string why;
        if (std::optional<ResultRow> row = RemovalRowOf(entry, why)) {
            if (row->image == kImageRegVal)
                row->foundKey = identity.KeyIdentity(entry.location).value_or("");
            else
                row->foundAs = files.Identify(row->object);
            rows.push_back(std::move(*row));
        } else
            refused.push_back(entry.name + ": " + why);
    }
    state.lstScanResult = std::move(rows);
    return true;
}

}  // namespace pellora::inventory
