#include "cli/scan_output.h"

#include <nlohmann/json.hpp>

#include "cli/cli_options.h"
#include "core/scan/scan_report.h"

namespace pellora::cli {

namespace {

using Json = nlohmann::ordered_json;

Json RowsJson(const std::vector<ResultRow>& rows) {
    Json array = Json::array();
    for (const ResultRow& row : rows) {
        Json item{{"type", row.type}, {"category", row.category}, {"object", row.object}, {"comment", row.comment}};
        // A shortcut row's object is the link; the text it holds says why it was found.
        if (!row.shortcutText.empty())
            item["text"] = row.shortcutText;
        // A file found by its contents: the rules that matched it.
        if (!row.contentRules.empty())
            item["rule"] = row.contentRules;
        array.push_back(std::move(item));
    }
    return array;
}

}  // namespace

const CounterField kCounterFields[10] = {
    {"ScannedObjects", "Objects scanned: ", &ScanCounters::scannedObjects},
    {"ObjectsRecognized", "Objects recognized", &ScanCounters::objectsRecognized},
    {"ObjectsIgnored", "Objects ignored", &ScanCounters::objectsIgnored},
    {"NewObjects", "New objects", &ScanCounters::newObjects},
    {"ProcessesIdentified", "Processes identified", &ScanCounters::processesIdentified},
    {"FilesIdentified", "Files identified", &ScanCounters::filesIdentified},
    {"FoldersIdentified", "Folders identified", &ScanCounters::foldersIdentified},
    {"RegKeysIdentified", "Registry Keys identified", &ScanCounters::regKeysIdentified},
    {"RegValuesIdentified", "Registry Values identified", &ScanCounters::regValuesIdentified},
    {"RunningProcesses", "Running processes", &ScanCounters::runningProcesses},
};

ScanSnapshot TakeSnapshot(const AppState& state) {
    ScanSnapshot scan;
    scan.stamp = state.scanStamp;
    scan.modeLine = Line(state.lstSettingsFile, 9);
    scan.counters = state.counters;
    scan.results = state.lstScanResult;
    scan.irremovable = state.lstIremovable;
    scan.log = state.lstLog;
    return scan;
}

std::vector<std::string> CounterLines(const ScanCounters& counters) {
    std::vector<std::string> lines;
    for (const CounterField& field : kCounterFields) {
        std::string caption = field.caption;
        while (!caption.empty() && caption.back() == ' ')
            caption.pop_back();
        if (caption.empty() || caption.back() != ':')
            caption += ':';
        lines.push_back(caption + " " + std::to_string(counters.*field.member));
    }
    return lines;
}

std::vector<std::string> RowLines(const ScanSnapshot& scan) {
    std::vector<std::string> lines;
    for (const ResultRow& row : scan.results)
        lines.push_back(ReportLine(row, false));
    for (const ResultRow& row : scan.irremovable)
        lines.push_back(ReportLine(row, true));
    return lines;
}

std::string ReportJson(const ScanSnapshot& scan, const std::vector<ResultRow>* remaining) {
    Json counters = Json::object();
    for (const CounterField& field : kCounterFields)
        counters[field.key] = scan.counters.*field.member;
    std::string mode = ModeWord(scan.modeLine);

    Json report = Json::object();
    report["schema"] = kReportSchema;
    report["machine"] = scan.machine;
    report["stamp"] = scan.stamp;
    report["mode"] = mode.empty() ? Json(nullptr) : Json(mode);
    report["counters"] = std::move(counters);
    report["content"] = Json{{"Files", scan.counters.contentFiles},
                             {"Bytes", scan.counters.contentBytes},
                             {"Cached", scan.counters.contentCached},
                             {"TooLarge", scan.counters.contentTooLarge}};
    report["results"] = RowsJson(scan.results);
    report["irremovable"] = RowsJson(scan.irremovable);
    report["log"] = scan.log;
    if (remaining)
        report["remaining"] = RowsJson(*remaining);
    // Registry data may hold bytes that are no UTF-8; they must not cost the whole report.
    return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace pellora::cli
