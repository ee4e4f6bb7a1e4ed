// The test of each kind of signature item, and the recording of a find (Scanner's half that
// decides what is present; scanner.cpp holds the run's frame).
//
// Kinds looked up directly: "path" (a file, hidden and system ones too; not a folder), "fold"
// (a folder or a file, hidden and system ones too), "regv" (a value whose text is neither empty nor
// "Error"), "regk" (a subkey name, any letter case). Kinds looked up in a listing: "cook",
// "file", "regs", and "path"/"fold" in the file/folder scan; their finds come from the
// per-scan indexes, or row by row as the rules state them when an item was not indexed.
#include <vector>

#include "core/database/folder_variables.h"
#include "core/scan/listing_rows.h"
#include "core/scan/reference_matching.h"
#include "core/scan/scanner.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

void Scanner::ReadItem(ItemKind kind, const std::string& row, SignatureItem& item) const {
    SplitItem(row, item);
    if ((kind == ItemKind::Path || kind == ItemKind::Folder) && item.object().find('%') != std::string::npos) {
        ReplaceVariableFolders(item.fields[1], state_.folders);
    }
}

bool Scanner::PrepareMatches(const ScanPlan& plan) {
    auto matches = std::make_unique<ListingMatches>();
    bool any = false;
    SignatureItem item;
    for (size_t i = 1; i < state_.lstDBaseFile.size(); ++i) {
        const std::string& row = state_.lstDBaseFile[i];
        ItemKind kind = KindOfLine(row);
        std::optional<ListingTest> test = plan.ListingTestOf(kind);
        if (!test)
            continue;
        ReadItem(kind, row, item);
        matches->AddQuery(*test, item.object());
        any = true;
    }
    if (!any)
        return true;
    if (!matches->Build(state_, ui_))
        return false;
    matches_ = std::move(matches);
    return true;
}

void Scanner::TestItem(ItemKind kind, const std::string& row, const ScanPlan& plan) {
    ReadItem(kind, row, item_);
    SetCaption(kScanningItem + item_.object());
    const size_t firstRow = state_.lstScanResult.size();
    TestItemKind(kind, plan);
    MarkManualOnly(kind, firstRow);
}

void Scanner::MarkManualOnly(ItemKind kind, size_t firstRow) {
    std::vector<ResultRow>& rows = state_.lstScanResult;
    if (firstRow >= rows.size())
        return;
    const size_t found = rows.size() - firstRow;
    std::string reason;
    if (found > kWideMatchLimit) {
        reason = "one database item matched " + std::to_string(found) + " objects";
    } else if (kind == ItemKind::File && !HasLiteralBaseName(item_.object())) {
        reason = "file pattern without a name";
    } else if ((kind == ItemKind::RegSearch || kind == ItemKind::Cookie) &&
               item_.object().size() < kShortestTrustedText) {
        reason = "search text shorter than " + std::to_string(kShortestTrustedText) + " characters";
    } else {
        return;
    }
    for (size_t i = firstRow; i < rows.size(); ++i)
        state_.manualOnlyRows[ManualOnlyKey(rows[i])] = reason;
}

bool HasLiteralBaseName(std::string_view pattern) {
    size_t slash = pattern.find_last_of("\\/");
    std::string_view name = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    std::string_view base = name.substr(0, name.find('.'));
    return base.find_first_not_of("*?") != std::string_view::npos;
}

void Scanner::TestItemKind(ItemKind kind, const ScanPlan& plan) {
    if (std::optional<ListingTest> test = plan.ListingTestOf(kind)) {
        TestListing(*test, plan);
        return;
    }
    switch (kind) {
        case ItemKind::Path:
            TestPath(plan);
            break;
        case ItemKind::Folder:
            TestFolder();
            break;
        case ItemKind::RegVal:
            TestRegVal();
            break;
        case ItemKind::RegKey:
            TestRegKey();
            break;
        default:
            break;
    }
}

bool Scanner::PlainFileFound(const std::string& pattern) {
    std::vector<FindEntry> entries;
    if (!ports_.files.FindEntries(pattern, entries))
        return false;
    // Hidden and system files are found too: hiding a file is how much spyware stays out of
    // sight, and a look-up that skipped them would report it gone.
    for (const FindEntry& entry : entries) {
        if (!(entry.attributes & file_attr::kDirectory))
            return true;
    }
    return false;
}

bool Scanner::FileOrFolderFound(const std::string& pattern) {
    std::vector<FindEntry> entries;
    if (!ports_.files.FindEntries(pattern, entries))
        return false;
    return !entries.empty();
}

void Scanner::TestPath(const ScanPlan& plan) {
    // The object goes to the look-up unchanged: "*" and "?" in it act as wildcards.
    if (!PlainFileFound(item_.object()))
        return;
    Record(
        Find{item_.object(), item_.category(), kImageProgram, &ScanCounters::filesIdentified, true, plan.processCheck});
}

void Scanner::TestFolder() {
    if (!FileOrFolderFound(item_.object()))
        return;
    Record(Find{item_.object(), item_.category(), kImageFolder, &ScanCounters::foldersIdentified});
}

void Scanner::TestRegVal() {
    const std::string& object = item_.object();
    size_t comma = object.find(',');
    if (comma == std::string::npos)
        return;
    // A failed read comes back as "Error", so a value that really holds that text is never found.
    std::string text = registry_.GetStringValue(object.substr(0, comma), object.substr(comma + 1));
    if (text.empty() || text == kRegError)
        return;
    Record(Find{item_.object(), item_.category(), kImageRegVal, &ScanCounters::regValuesIdentified});
}

void Scanner::TestRegKey() {
    const std::string& object = item_.object();
    size_t slash = object.rfind('\\');
    // Without a parent there is nothing to list; an empty key name would match the empty entry
    // that ends every subkey list and report the item present wherever its parent exists.
    if (slash == std::string::npos || slash + 1 == object.size())
        return;
    const std::string name = FoldOrdinal(std::string_view(object).substr(slash + 1));
    if (SubkeysOf(object.substr(0, slash)).count(name)) {
        Record(Find{item_.object(), item_.category(), kImageRegKey, &ScanCounters::regKeysIdentified, false});
    }
}

const Scanner::NameSet& Scanner::SubkeysOf(const std::string& parent) {
    // A malformed path is not kept: each item naming it shows the registry layer's message.
    bool wellFormed = StartsWith(parent, "HKEY_") && !EndsWith(parent, "\\");
    if (wellFormed) {
        if (const NameSet* known = FindIn(subkeys_, parent))
            return *known;
    }
    NameSet names;
    for (const std::string& subkey : registry_.EnumSubKeys(parent))
        names.insert(FoldOrdinal(subkey));
    if (!wellFormed) {
        uncachedSubkeys_ = std::move(names);
        return uncachedSubkeys_;
    }
    return subkeys_.emplace(parent, std::move(names)).first->second;
}

template <typename Listing, typename Matches, typename Caption, typename Found>
void Scanner::WalkListing(const Listing& listing,
                          ListingTest test,
                          bool firstOnly,
                          Matches&& matches,
                          Caption&& caption,
                          Found&& found) {
    // Rows are read by number and the size read again after every yield: the events that run
    // inside a yield may change the listing.
    const std::vector<uint32_t>* rows = matches_ ? matches_->Finds(test, item_.object()) : nullptr;
    if (!rows) {
        for (size_t r = 0; r < RowCount(listing); ++r) {
            std::string_view row = listing[r];
            caption(row);
            if (matches(row)) {
                found(row);
                if (firstOnly)
                    return;
            }
            ui_.Yield();
            if (!state_.busy)
                return;
        }
        return;
    }
    // Only the rows found are visited, each showing the caption the row-by-row walk shows when
    // it records that row.
    for (size_t i = 0; i < rows->size(); ++i) {
        uint32_t r = (*rows)[i];
        if (r >= RowCount(listing))
            return;
        std::string_view row = listing[r];
        caption(row);
        found(row);
        if (firstOnly || !state_.busy)
            return;
    }
    // The row-by-row walk ends showing its last row.
    if (RowCount(listing) > 0)
        caption(std::string_view(listing[RowCount(listing) - 1]));
}

void Scanner::TestListing(ListingTest test, const ScanPlan& plan) {
    const std::string object = item_.object();
    const std::string category = item_.category();
    auto showRow = [&](std::string_view row) { SetCaption(kScanningItem + std::string(row)); };
    auto showNothing = [](std::string_view) {};
    switch (test) {
        case ListingTest::Cookie:
            WalkListing(
                state_.lstCache, test, false, [&](std::string_view row) { return ContainsPiece(row, object); }, showRow,
                [&](std::string_view row) {
                    Record(Find{std::string(row), category, kImageCookie, &ScanCounters::filesIdentified});
                });
            break;
        case ListingTest::File:
            WalkListing(
                state_.lstHDDItems, test, false,
                [&](std::string_view row) { return FilePatternMatchesPath(object, row); }, showRow,
                [&](std::string_view row) {
                    Record(Find{std::string(row), category, kImageFile, &ScanCounters::filesIdentified});
                });
            break;
        case ListingTest::RegSearch:
            WalkListing(
                state_.lstRegScan, test, false, [&](std::string_view row) { return ContainsPiece(row, object); },
                showNothing,
                [&](std::string_view row) {
                    // A row with "=" would be a value ("key=value"); the registry listing holds
                    // key paths only, so in practice every find is a key.
                    size_t equals = row.find('=');
                    if (equals != std::string_view::npos) {
                        Record(Find{std::string(row.substr(0, equals)), "RegVal", kImageRegVal,
                                    &ScanCounters::regValuesIdentified, true, false, "RegVal"});
                    } else {
                        Record(Find{std::string(row), "RegKey", kImageRegKey, &ScanCounters::regKeysIdentified, true,
                                    false, "RegKey"});
                    }
                });
            break;
        case ListingTest::ExactPath:
            WalkListing(
                state_.lstHDDItems, test, true, [&](std::string_view row) { return row == object; }, showNothing,
                [&](std::string_view) {
                    Record(
                        Find{object, category, kImageProgram, &ScanCounters::filesIdentified, true, plan.processCheck});
                });
            break;
        case ListingTest::FolderPrefix:
            WalkListing(
                state_.lstHDDItems, test, true, [&](std::string_view row) { return IsFolderOrBelow(row, object); },
                [&](std::string_view row) { SetCaption(kScanningItem + std::string(row.substr(0, object.size()))); },
                [&](std::string_view) {
                    Record(Find{object, category, kImageFolder, &ScanCounters::foldersIdentified});
                });
            break;
    }
}

void Scanner::Record(Find find) {
    ScanCounters& counters = state_.counters;
    if (find.countsRecognized)
        ++counters.objectsRecognized;
    if (IsIgnored(find.object)) {
        ++counters.objectsIgnored;
        ShowProgress(false);
        return;
    }
    if (find.processCheck)
        CheckRunningProcess(item_.object());
    ++counters.newObjects;
    if (find.typeCounter)
        ++(counters.*find.typeCounter);
    ResultRow row;
    row.type = find.type.empty() ? item_.type() : std::move(find.type);
    row.image = find.image;
    row.category = std::move(find.category);
    row.object = std::move(find.object);
    row.comment = item_.comment();
    row.browserPlace = std::move(find.browserPlace);
    row.startsFile = std::move(find.startsFile);
    row.shortcutText = std::move(find.shortcutText);
    row.contentRules = std::move(find.contentRules);
    row.foundAs = std::move(find.foundAs);
    if (!row.foundAs)
        TakeIdentity(row);
    (item_.comment().empty() ? state_.lstScanResult : state_.lstIremovable).push_back(std::move(row));
    ShowProgress(false);
    ui_.Yield();
}

void Scanner::TakeIdentity(ResultRow& row) {
    // Only the finds are opened (a few), never every listed entry. A pattern names no one
    // object; an object that cannot be opened keeps the removal's own checks.
    if (!row.browserPlace.empty()) {
        TakeBrowserIdentity(row);
        return;
    }
    switch (row.image) {
        case kImageCookie:
        case kImageFile:
        case kImageProgram:
        case kImageFolder: {
            std::string path = row.image == kImageCookie ? state_.folders.cookies + "\\" + row.object : row.object;
            if (path.find_first_of("*?") == std::string::npos)
                row.foundAs = ports_.files.Identify(path);
            break;
        }
        case kImageRegKey:
        case kImageRegVal: {
            std::string keyPath = row.image == kImageRegVal ? row.object.substr(0, row.object.find(',')) : row.object;
            if (StartsWith(keyPath, "HKEY_") && !EndsWith(keyPath, "\\"))
                row.foundKey = identity_.KeyIdentity(keyPath).value_or("");
            break;
        }
        default:
            break;
    }
}

bool Scanner::IsIgnored(const std::string& object) {
    // The ignore list is read into the index once per walk: nothing changes it while a scan runs.
    if (indexed_ && !ignoreIndex_ && IgnoreIndex::Indexable(state_.lstIgnoreListFile))
        ignoreIndex_.emplace(state_.lstIgnoreListFile);
    if (ignoreIndex_)
        return ignoreIndex_->Contains(object);
    for (size_t i = 0; i < state_.lstIgnoreListFile.size(); ++i) {
        if (state_.lstIgnoreListFile[i].find(object) != std::string::npos)
            return true;
        ui_.Yield();
    }
    return false;
}

void Scanner::CheckRunningProcess(const std::string& objectField) {
    size_t slash = objectField.rfind('\\');
    std::string_view name = std::string_view(objectField).substr(slash == std::string::npos ? 0 : slash + 1);
    for (const ProcessRow& process : state_.lstProcesses) {
        if (process.name == name) {
            ++state_.counters.processesIdentified;
            return;
        }
    }
}

}  // namespace pellora
