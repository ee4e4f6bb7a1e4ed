// The status panel's figures (lblCurrentIP, lblLastScan, lblNoOfScans, lblTotalItemsRemoved,
// lblNoInIgnoreList, lblNoQuarantined). StatusInfoDisplay refreshes them from the settings lists,
// the Quarantine folder and the computer's address; the database and program versions and the
// auto-scan line are set elsewhere (settings and protection).
#pragma once

#include <string>

#include "core/state/app_state.h"
#include "core/ports/system.h"
#include "core/ports/ui.h"
#include "core/scan/file_finder.h"

namespace pellora {

// A number as the status panel shows figures read from ScanInfo.stg: decimal text with a
// leading blank that a minus sign takes for negative numbers (" 0", " 12", "-3", " 2.5").
std::string FormatWithSignRoom(double number);

// The address bytes joined by "." ("10.0.0.5").
std::string FormatAddress(const std::vector<uint8_t>& bytes);

class StatusPanel {
public:
    StatusPanel(AppState& state, SystemPort& system, UiPort& ui, FileFinder& finder)
        : state_(state), system_(system), ui_(ui), finder_(finder) {}

    // Refreshes the six figures in their order: address, last scan, scans, removed items,
    // ignore-list count, quarantine count.
    void StatusInfoDisplay();

    // The computer's first address, or "" after showing the failure's message.
    std::string CurrentAddress();
    // Refills lstQuarantinedFiles with the entries directly in the Quarantine folder and
    // returns their number.
    size_t CountQuarantined();

private:
    void Tell(const std::string& text);

    AppState& state_;
    SystemPort& system_;
    UiPort& ui_;
    FileFinder& finder_;
};

}  // namespace pellora
