// pellora-cli inventory: the startup inventory printed as the plain-text report, and written as
// that report and as JSON when asked. Entries signed by the system's publisher and not flagged
// are left out unless --all is given; the exit code says whether some entry is flagged.
#include <algorithm>

#include "cli/cli_runner.h"
#include "core/inventory/inventory.h"

namespace pellora::cli {

int CliRunner::Inventory(const Options& options) {
    if (!ports_.trust) {
        Fail("program signatures cannot be checked here");
        return kExitError;
    }
    if (!StartUp(false))
        return kExitError;
    const AppState& state = app_.state();

    inventory::InventoryBuilder builder(ports_.registry, ports_.files, ports_.system, *ports_.trust, ui_);
    builder.onProgress = [this](size_t done, size_t total) {
        inventoryProgress_ = "Checked " + std::to_string(done) + " of " + std::to_string(total) + " entries";
    };
    std::vector<inventory::InventoryEntry> entries = builder.Build(state);
    inventoryProgress_.clear();
    ui_.ClearProgress();

    inventory::ReportHeader header;
    header.windows = ports_.system.WindowsVersionText();
    header.pellora = ports_.system.ProgramVersion();
    header.database = state.lstDBaseFile.empty() ? "not loaded" : state.lstDBaseFile.front();
    const LocalTime now = ports_.clock.Now();
    header.date = inventory::DateText(now.year, now.month, now.day, now.hour, now.minute, now.second);
    header.machine = ports_.system.ComputerName();
    if (!options.inventoryAll) {
        const size_t before = entries.size();
        std::erase_if(entries, [](const inventory::InventoryEntry& entry) { return inventory::MayBeHidden(entry); });
        header.hidden = before - entries.size();
    }
    inventory::SortFlaggedFirst(entries);

    const std::string report = inventory::ReportText(header, entries);
    out_.Write(report);
    err_.Write("pellora-cli: " + std::to_string(builder.verifiedCount) + " signatures checked, " +
               std::to_string(builder.cachedCount) + " taken from the cache\n");
    int code = std::any_of(entries.begin(), entries.end(), inventory::IsFlagged) ? kExitFound : kExitClean;
    if (!options.reportPath.empty() && !WriteJson(options.reportPath, report))
        code = kExitError;
    if (!options.jsonPath.empty() && !WriteJson(options.jsonPath, inventory::ReportJson(header, entries)))
        code = kExitError;
    return code;
}

}  // namespace pellora::cli
