// What the console program reports of a scan: the result of StartScan taken out of the state
// before anything (the removal run's reset) can empty it, written as text lines (the scan
// panel's counters under their captions, the result rows in the log's row-line format) and as
// one JSON object (nlohmann-json, keys in a fixed order).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/state/app_state.h"

namespace pellora::cli {

// The version of the JSON report's layout: raised whenever a field changes its meaning or goes.
inline constexpr int kReportSchema = 3;

struct ScanSnapshot {
    std::string machine;  // the computer's name
    std::string stamp;
    std::string modeLine;  // Settings.stg line 9 the scan ran with
    ScanCounters counters;
    std::vector<ResultRow> results;
    std::vector<ResultRow> irremovable;
    std::vector<std::string> log;
};

ScanSnapshot TakeSnapshot(const AppState& state);

// One counter of the scan panel: its label without "lbl" (the JSON key) and its visible caption.
struct CounterField {
    const char* key;
    const char* caption;
    int64_t ScanCounters::*member;
};
extern const CounterField kCounterFields[10];

// "Objects scanned: 12", "Objects recognized: 3", ... in the panel's order.
std::vector<std::string> CounterLines(const ScanCounters& counters);
// The row lines of the results, then those of the irremovable objects.
std::vector<std::string> RowLines(const ScanSnapshot& scan);

// The report as UTF-8 JSON text: schema, machine, stamp, mode, counters, results, irremovable, log, and, when
// `remaining` is given (a removal), the results still on the system.
std::string ReportJson(const ScanSnapshot& scan, const std::vector<ResultRow>* remaining);

}  // namespace pellora::cli
