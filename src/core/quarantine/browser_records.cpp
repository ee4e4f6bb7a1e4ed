// Quarantine and restore of browser finds. A folder, an .xpi or external file, a key or a value
// is stored as a row of that kind (an ExtensionSettings value whole, with every entry it held).
// A member of a profile file (Preferences, Secure Preferences, extensions.json, policies.json) or
// a pref line of prefs.js / user.js is stored as a "BrowserEdit" record: type, payload `N.qit`
// (JSON: the file, the members with their paths and values, or the lines and where they stood),
// the file as source
// and, as the fourth field, the identity of the folder holding it. Readers that do not know the
// type list it and skip it as a record they cannot restore. Restore puts the members back into
// the same JSON objects (the lines where they stood, see WithPrefLinesBack) only while the file is still
// that profile's file: its folder reached without a link and still the recorded folder, the file
// a plain file directly in it; and only while the browser is closed.
#include "core/browsers/browser_rows.h"
#include "core/quarantine/copy_folder.h"
#include "core/quarantine/quarantine.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// A payload holds one preference or a few lines; a larger one is not a payload this module wrote.
constexpr uint64_t kMaxEditPayloadLength = 64 * 1024 * 1024;

}  // namespace

bool Quarantine::QuarantineBrowserRow(const ResultRow& row) {
    using browsers::Place;
    std::optional<browsers::RowPlace> place = browsers::DecodeRowPlace(row.browserPlace);
    if (!place)
        return false;
    const Place& where = place->where;
    ResultRow stored;
    stored.foundAs = row.foundAs;
    switch (where.kind) {
        case Place::Kind::Folder:
            stored.type = "folder";
            stored.object = where.path;
            return QuarantineResultRow(stored);
        case Place::Kind::File:
            stored.type = "path";
            stored.object = where.path;
            return QuarantineResultRow(stored);
        case Place::Kind::RegistryKey:
            stored.type = "RegKey";
            stored.object = browsers::RegistryPath(where);
            return QuarantineResultRow(stored);
        case Place::Kind::RegistryValue:
            stored.type = "RegVal";
            stored.object = browsers::RegistryPath(where) + "," + where.valueName;
            return QuarantineResultRow(stored);
        case Place::Kind::JsonMember:
        case Place::Kind::Pref:
            break;
    }
    std::optional<std::string> bytes = ports_.files.ReadFileUpTo(where.path, browsers::kMaxProfileFileLength);
    bool gone = false;
    std::string problem;
    std::optional<browsers::PlannedEdit> edit =
        bytes ? browsers::PlanEdit(*place, *bytes, gone, problem) : std::nullopt;
    return edit && QuarantineBrowserEdit(row, *edit);
}

bool Quarantine::QuarantineBrowserEdit(const ResultRow& row, const browsers::PlannedEdit& edit) {
    (void)row;
    std::optional<FileIdentity> parent = ports_.files.Identify(ParentFolderOf(edit.file));
    if (!parent)
        return false;
    return StoreWrittenPayload(QuarantineRecord{"BrowserEdit", {}, edit.file, FormatFolderIdentity(*parent)},
                               browsers::EncodeEditPayload(edit));
}

bool Quarantine::RestoreBrowserEdit(const std::string& packageName,
                                    const std::string& recordName,
                                    const QuarantineRecord& record) {
    const std::optional<std::string> number = RecordNumber(recordName);
    const std::string package = store_.PackageFolder(packageName);
    const std::string payload = package + "\\" + record.storedItem;
    std::optional<std::string> bytes;
    std::optional<browsers::PlannedEdit> edit;
    const bool plainSource = record.source.size() > 3 && record.source[1] == ':' && record.source[2] == '\\';
    if (number && plainSource && IsOwnPayload(record.storedItem, *number, false) &&
        PayloadInsidePackage(packageName, record.storedItem))
        bytes = ports_.files.ReadFileUpTo(payload, kMaxEditPayloadLength);
    if (bytes)
        edit = browsers::DecodeEditPayload(*bytes);
    if (!edit || !EqualsOrdinalIgnoreCase(edit->file, record.source)) {
        Log(kDamagedRecordLog + packageName + "\\" + recordName);
        return false;
    }
    if (!PayloadUnchanged(packageName, *number, record, false))
        return false;
    // A running browser writes its own copy of the file over the restored one when it closes,
    // and the quarantined copy would be gone: the record waits for the browser to be closed.
    if (const browsers::BrowserInfo* browser = browsers::FindBrowser(edit->browser)) {
        for (const ProcessEntry& process : ports_.processes.Snapshot()) {
            if (EqualsIgnoreCase(process.exeName, browser->imageName)) {
                RefuseDestination(record, browser->name + " is running; restore this once it is closed");
                return false;
            }
        }
    }

    // Only into the same profile file: its folder is the recorded one, reached without a link,
    // and the file is a plain file directly in it (a browser replaces its files whole, so the
    // file's own id changes with every save).
    const std::string folder = ParentFolderOf(record.source);
    if (!ports_.files.GetAttributes(folder)) {
        RefuseDestination(record, "the profile folder is gone");
        return false;
    }
    std::optional<ResolvedObject> destination = DestinationFolder(folder, record);
    if (!destination)
        return false;
    std::optional<ResolvedObject> file = guard_.identity().Resolve(record.source);
    std::optional<std::vector<std::string>> expected = SplitFoldedPath(destination->finalPath);
    if (expected)
        expected->push_back(FoldOrdinal(record.source.substr(record.source.rfind('\\') + 1)));
    if (!file || (file->attributes & (file_attr::kDirectory | file_attr::kReparsePoint)) || !expected ||
        file->parts != *expected) {
        RefuseDestination(record, "the profile file is missing or not a plain file in its folder");
        return false;
    }
    std::optional<std::string> now = ports_.files.ReadFileUpTo(record.source, browsers::kMaxProfileFileLength);
    bool moved = false;
    std::optional<std::string> restored = now ? browsers::UndoEdit(*edit, *now, &moved) : std::nullopt;
    if (!restored) {
        RefuseDestination(record, "the profile file cannot be read as it was");
        return false;
    }
    if (!ports_.files.WriteFileAtomic(record.source, *restored) ||
        ports_.files.ReadFileUpTo(record.source, browsers::kMaxProfileFileLength) != restored)
        return false;
    if (moved)
        movedLines_.push_back(kMovedPrefLog + record.source);
    RemoveStoreFile(payload);
    RemoveStoreFile(package + "\\" + DigestFileName(*number));
    RemoveStoreFile(package + "\\" + recordName);
    ports_.ui.Yield();
    return true;
}

}  // namespace pellora
