#include "core/scan/scan_events.h"

#include "core/settings/line_text.h"

namespace pellora {

void ReportScanFinished(EventLogPort* log, const AppState& state) {
    if (!log)
        return;
    const std::string modeLine = Line(state.lstSettingsFile, 9);
    const char* mode = modeLine == "0" ? "smart" : modeLine == "1" ? "custom" : modeLine == "2" ? "folders" : "unknown";
    log->Report(event_id::kScanFinished, EventLevel::Information,
                {mode, std::to_string(state.counters.scannedObjects), std::to_string(state.lstScanResult.size())});
}

}  // namespace pellora
