// References to found files, and the list parts they may be. Scanner::RecordStartReferences
// (the scan's step after the database walk) is here too: it enumerates the autostart places
// only when the scan found a file, and records each reference as a find of its own.
#include "core/scan/persistence_matches.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "core/database/persistence_kinds.h"
#include "core/scan/scanner.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

using IdKey = std::tuple<uint32_t, uint64_t, uint64_t>;

IdKey KeyOf(const FileIdentity& identity) {
    return {identity.volumeSerial, identity.fileIdHigh, identity.fileIdLow};
}

// The value whose command an entry is, as a "key,name" object.
std::optional<std::string> ValueObject(const autostart::AutostartEntry& entry) {
    namespace place = autostart::place;
    if (entry.place == place::kRun || entry.place == place::kRunOnce)
        return entry.location + "," + entry.name;
    if (entry.place == place::kIfeoDebugger)
        return entry.location + ",Debugger";
    if (entry.place == place::kActiveSetup)
        return entry.location + ",StubPath";
    return std::nullopt;
}

bool IsListPlace(const std::string& place) {
    return place == autostart::place::kWinlogonShell || place == autostart::place::kWinlogonUserinit ||
           place == autostart::place::kAppInit;
}

}  // namespace

std::vector<StartReference> MatchStartReferences(const std::vector<autostart::AutostartEntry>& entries,
                                                 const std::vector<ResultRow>& finds,
                                                 FileSystemPort& files) {
    std::map<IdKey, size_t> found;
    for (size_t i = 0; i < finds.size(); ++i) {
        const std::string type = ToLowerAscii(finds[i].type);
        if ((type == "path" || type == "file") && finds[i].foundAs)
            found.emplace(KeyOf(*finds[i].foundAs), i);
    }
    std::vector<StartReference> out;
    if (found.empty())
        return out;
    // A program whose size is none of the found files' is not one of them: its listing entry is
    // read, which is far cheaper than opening it for its identity. Where a found file's size
    // cannot be read, every program is opened.
    auto sizeOf = [&files](const std::string& path) -> std::optional<uint64_t> {
        std::vector<FindEntry> entry;
        if (path.find_first_of("*?") != std::string::npos || !files.FindEntries(path, entry) || entry.size() != 1)
            return std::nullopt;
        return entry[0].size;
    };
    std::unordered_set<uint64_t> foundSizes;
    bool bySize = true;
    for (const auto& [key, row] : found) {
        const std::optional<uint64_t> size = sizeOf(finds[row].foundAs->finalPath);
        bySize = bySize && size.has_value();
        if (size)
            foundSizes.insert(*size);
    }
    std::unordered_map<std::string, std::optional<IdKey>> opened;  // by folded program path
    std::unordered_map<std::string, bool> taken;                   // by type and object
    for (const autostart::AutostartEntry& entry : entries) {
        if (!entry.exists || entry.program.empty())
            continue;
        const std::string folded = FoldOrdinal(entry.program);
        auto known = opened.find(folded);
        if (known == opened.end()) {
            std::optional<uint64_t> size = bySize ? sizeOf(entry.program) : std::nullopt;
            if (size && !foundSizes.count(*size)) {
                opened.emplace(folded, std::nullopt);
                continue;
            }
            std::optional<FileIdentity> identity = files.Identify(entry.program);
            std::optional<IdKey> key;
            if (identity)
                key = KeyOf(*identity);
            known = opened.emplace(folded, key).first;
        }
        if (!known->second)
            continue;
        auto file = found.find(*known->second);
        if (file == found.end())
            continue;
        StartReference reference;
        reference.foundRow = file->second;
        if (std::optional<std::string> value = ValueObject(entry)) {
            reference.type = "RegVal";
            reference.object = *value;
            reference.image = kImageRegVal;
        } else if (entry.place == autostart::place::kStartup) {
            const std::string path = entry.location + "\\" + entry.name;
            // A file kept in the Startup folder itself is the find, not a reference to it.
            if (EqualsOrdinalIgnoreCase(path, entry.program))
                continue;
            reference.type = "Path";
            reference.object = path;
            reference.image = kImageFile;
        } else if (entry.place == autostart::place::kTask) {
            reference.type = "task";
            reference.object = entry.name;
        } else if (entry.place == autostart::place::kService && IsServiceName(entry.name)) {
            reference.type = "service";
            reference.object = entry.name;
        } else if (IsListPlace(entry.place)) {
            reference.type = kListPartType;
            reference.object = ListPartObject(ListPart{entry.location, entry.name, entry.command});
            reference.image = kImageRegVal;
            if (!ParseListPart(reference.object))
                continue;
        } else {
            continue;
        }
        if (!taken.emplace(reference.type + '\t' + FoldOrdinal(reference.object), true).second)
            continue;
        out.push_back(std::move(reference));
    }
    return out;
}

std::string ListPartObject(const ListPart& part) {
    return part.keyPath + "," + part.name + "," + part.part;
}

std::optional<ListPart> ParseListPart(std::string_view object) {
    const size_t first = object.find(',');
    if (first == std::string_view::npos)
        return std::nullopt;
    const size_t second = object.find(',', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    ListPart part{std::string(object.substr(0, first)), std::string(object.substr(first + 1, second - first - 1)),
                  std::string(object.substr(second + 1))};
    const bool winlogon =
        EndsWith(FoldOrdinal(part.keyPath), "\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON") &&
        (EqualsOrdinalIgnoreCase(part.name, "Shell") || EqualsOrdinalIgnoreCase(part.name, "Userinit"));
    const bool appInit = EndsWith(FoldOrdinal(part.keyPath), "\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINDOWS") &&
                         EqualsOrdinalIgnoreCase(part.name, "AppInit_DLLs");
    if (!(winlogon || appInit) || TrimSpaces(part.part).empty() || part.part.find(',') != std::string::npos)
        return std::nullopt;
    return part;
}

std::string_view ListSeparators(std::string_view valueName) {
    return EqualsOrdinalIgnoreCase(valueName, "AppInit_DLLs") ? std::string_view(", \t") : std::string_view(",");
}

std::optional<std::string> WithoutListPart(std::string_view text, std::string_view part, std::string_view separators) {
    const std::string wanted = TrimSpaces(std::string(part));
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t cut = text.find_first_of(separators, pos);
        const size_t end = cut == std::string_view::npos ? text.size() : cut;
        size_t from = pos;
        size_t to = end;
        while (from < to && isBlank(text[from]))
            ++from;
        while (to > from && isBlank(text[to - 1]))
            --to;
        if (to > from && EqualsOrdinalIgnoreCase(text.substr(from, to - from), wanted)) {
            std::string rest(text);
            if (pos > 0) {
                // The separator before it goes with it: "a,b" becomes "a", "a,b," keeps its end.
                rest.erase(pos - 1, end - (pos - 1));
            } else {
                // The first element takes the separator after it and the blanks that follow.
                size_t next = end;
                if (next < text.size())
                    ++next;
                while (next < text.size() && isBlank(text[next]) &&
                       separators.find(text[next]) == std::string_view::npos)
                    ++next;
                rest.erase(0, next);
            }
            return rest;
        }
        if (cut == std::string_view::npos)
            break;
        pos = cut + 1;
    }
    return std::nullopt;
}

void Scanner::RecordStartReferences() {
    bool anyFile = false;
    for (const ResultRow& row : state_.lstScanResult) {
        const std::string type = ToLowerAscii(row.type);
        anyFile = anyFile || ((type == "path" || type == "file") && row.foundAs);
    }
    if (!anyFile)
        return;
    SetCaption("Looking for what starts the files found...", true);
    autostart::AutostartEnumerator enumerator(ports_.registry, ports_.files, ports_.system);
    const std::vector<autostart::AutostartEntry> entries = enumerator.Enumerate();
    const std::vector<ResultRow> finds = state_.lstScanResult;
    const std::vector<StartReference> references = MatchStartReferences(entries, finds, ports_.files);
    for (const StartReference& reference : references) {
        if (!state_.busy)
            return;
        // An entry the database found itself is one object: one row, counted once.
        auto same = [&reference](const ResultRow& row) {
            return EqualsIgnoreCase(row.type, reference.type) && EqualsOrdinalIgnoreCase(row.object, reference.object);
        };
        if (std::any_of(state_.lstScanResult.begin(), state_.lstScanResult.end(), same) ||
            std::any_of(state_.lstIremovable.begin(), state_.lstIremovable.end(), same))
            continue;
        const ResultRow& file = finds[reference.foundRow];
        const std::string category = file.category + " (starts " + file.object + ")";
        item_.fields = {reference.type, reference.object, category, ""};
        int64_t ScanCounters::*counter = nullptr;
        if (reference.image == kImageFile)
            counter = &ScanCounters::filesIdentified;
        else if (reference.image == kImageRegVal)
            counter = &ScanCounters::regValuesIdentified;
        Find find;
        find.object = reference.object;
        find.category = category;
        find.image = reference.image;
        find.typeCounter = counter;
        find.startsFile = file.object;
        // What may not be removed unattended does not take its way of starting with it either.
        auto reason = state_.manualOnlyRows.find(ManualOnlyKey(file));
        if (reason != state_.manualOnlyRows.end())
            state_.manualOnlyRows[reference.type + '\t' + reference.object] = reason->second;
        Record(std::move(find));
    }
}

}  // namespace pellora
