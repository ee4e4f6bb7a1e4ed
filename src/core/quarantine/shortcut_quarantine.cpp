// A "shortcut" row stored as the .lnk's bytes (record type "shortcut", source the .lnk's path,
// the folder's identity kept): read only as a plain file directly below its folder and only
// while it is the file the scan found. Restore writes the bytes back into that folder as a file
// is restored (no link on the way, the same folder), over the repaired link that stands there
// now or where the deleted one was.
#include "core/autostart/autostart.h"
#include "core/autostart/shortcut_places.h"
#include "core/quarantine/copy_folder.h"
#include "core/quarantine/quarantine.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

bool Quarantine::QuarantineShortcut(const ResultRow& row) {
    const std::string parent = ParentFolderOf(row.object);
    ObjectIdentity& identity = guard_.identity();
    const std::optional<ResolvedObject> folder = parent.empty() ? std::nullopt : identity.Resolve(parent);
    if (!folder || !(folder->attributes & file_attr::kDirectory))
        return false;
    const std::optional<autostart::ShortcutFile> file =
        autostart::ReadShortcutFile(identity, folder->finalPath, row.object);
    if (!file || !autostart::ReadShortcut(file->bytes))
        return false;
    if (row.foundAs && !autostart::IsSameFile(*row.foundAs, file->identity))
        return false;
    // A link repaired for one text and then for another is stored once, as it was at first:
    // restore gives back the original, not what the first repair left.
    std::vector<FindEntry> records;
    if (ports_.files.FindEntries(store_.CurrentPackageFolder() + "\\*.qnf", records)) {
        for (const FindEntry& entry : records) {
            std::string text;
            if (!store_.LoadLineFromFile(state_.scanStamp + "\\" + entry.name, text))
                continue;
            const QuarantineRecord stored = ParseRecord(std::move(text));
            if (EqualsIgnoreCase(stored.type, "shortcut") && EqualsOrdinalIgnoreCase(stored.source, row.object))
                return true;
        }
    }
    return StoreWrittenPayload(QuarantineRecord{row.type, {}, row.object, FormatFolderIdentity(folder->Identity())},
                               file->bytes);
}

bool Quarantine::WriteBackShortcut(const std::string& payload, const QuarantineRecord& record) {
    // Only a link goes back where a link was.
    const std::optional<std::string> bytes = ports_.files.ReadFileUpTo(payload, autostart::kMaxShortcutLength);
    if (!bytes || !autostart::ReadShortcut(*bytes))
        return NotRestored("the stored copy is not a shortcut");
    return WriteBackFile(payload, record, true);
}

}  // namespace pellora
