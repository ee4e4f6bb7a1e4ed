// The scan's browser part: the "extension" and "hijack" items of the database against what the
// browsers hold. The browsers are read once per scan (BrowserReader), only when the database has
// such items; each place that holds a find is one result row, recorded like every other find
// (ignore list, counters, the identity of what was found), with the place in the row
// (ResultRow::browserPlace) for the removal, quarantine and restore.
#include "core/browsers/browser_reader.h"
#include "core/browsers/browser_rows.h"
#include "core/scan/scanner.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Problems of damaged or planted profile files logged per scan at most: a profile full of bad
// entries must not flood the log.
constexpr size_t kMaxProblemLines = 50;
// The captions of the browser part: a phase of its own, apart from the database walk's items.
constexpr const char* kReadingBrowsersCaption = "Reading browser profiles...";
constexpr const char* kBrowserFindCaption = "Browser find: ";

int64_t ScanCounters::*CounterOf(int image) {
    switch (image) {
        case kImageFolder:
            return &ScanCounters::foldersIdentified;
        case kImageRegKey:
            return &ScanCounters::regKeysIdentified;
        case kImageRegVal:
            return &ScanCounters::regValuesIdentified;
        default:
            return &ScanCounters::filesIdentified;
    }
}

}  // namespace

void Scanner::ScanBrowsers() {
    if (!state_.busy)
        return;
    std::vector<std::string> rows;
    std::vector<browsers::BrowserItem> items;
    SignatureItem item;
    for (size_t i = 1; i < state_.lstDBaseFile.size(); ++i) {
        const std::string& row = state_.lstDBaseFile[i];
        const bool extension = StartsWithOrdinalIgnoreCase(row, "extension|");
        if (!extension && !StartsWithOrdinalIgnoreCase(row, "hijack|"))
            continue;
        SplitItem(row, item);
        items.push_back({extension, item.object()});
        rows.push_back(row);
    }
    if (items.empty())
        return;

    SetCaption(kReadingBrowsersCaption, true);
    ui_.Yield();
    browsers::BrowserInventory inventory =
        browsers::BrowserReader(ports_.files, ports_.registry, ports_.system).ReadAll();
    for (size_t i = 0; i < inventory.problems.size() && i < kMaxProblemLines; ++i) {
        const browsers::ReadProblem& problem = inventory.problems[i];
        state_.lstLog.push_back("Browser data not read=" + problem.place + " (" + problem.text + ")");
    }
    const std::vector<browsers::BrowserMatch> matches = browsers::MatchBrowserItems(inventory, items);
    inventory = {};

    size_t current = items.size();
    size_t firstRow = 0;
    auto endItem = [&] {
        if (current == items.size())
            return;
        MarkManualOnly(ItemKind::Unknown, firstRow);
        if (!items[current].extension && items[current].object.size() < kShortestTrustedText) {
            for (size_t r = firstRow; r < state_.lstScanResult.size(); ++r)
                state_.manualOnlyRows[ManualOnlyKey(state_.lstScanResult[r])] =
                    "search text shorter than " + std::to_string(kShortestTrustedText) + " characters";
        }
    };
    for (const browsers::BrowserMatch& match : matches) {
        if (!state_.busy)
            break;
        if (match.item != current) {
            endItem();
            current = match.item;
            firstRow = state_.lstScanResult.size();
            ReadItem(ItemKind::Unknown, rows[current], item_);
        }
        SetCaption(kBrowserFindCaption + match.object);
        Record(Find{match.object, item_.category(), match.image, CounterOf(match.image), true, false, "",
                    browsers::EncodeRowPlace(match.place)});
    }
    endItem();
}

void Scanner::TakeBrowserIdentity(ResultRow& row) {
    if (std::optional<browsers::RowPlace> place = browsers::DecodeRowPlace(row.browserPlace))
        browsers::TakePlaceIdentity(*place, row, ports_.files, identity_);
}

}  // namespace pellora
