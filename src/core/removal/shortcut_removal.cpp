// The removal of a "shortcut" row: the .lnk is acted on only while it is the file the scan read
// (same volume and file id, same final path), a plain file directly below its folder, and still
// holds the row's text. A browser's shortcut is repaired: the arguments that hold the text are
// taken out (every other byte of the link kept), its original bytes stored first whatever the
// settings, and the repaired link is written into the folder checked, never through a link put
// in its place. Any other shortcut that holds the text is deleted, stored first under automatic
// erase.
#include "core/autostart/shortcut_places.h"
#include "core/database/persistence_kinds.h"
#include "core/quarantine/copy_folder.h"
#include "core/removal/removal_run.h"
#include "core/util/text.h"

namespace pellora {

void RemovalRun::RemoveShortcut(const ResultRow& row) {
    using autostart::ShortcutRemoval;
    const std::string& path = row.object;
    auto notRemoved = [&](const std::string& reason) {
        Log("Shortcut not removed=" + path + (reason.empty() ? "" : " (" + reason + ")"));
    };
    const std::string parent = ParentFolderOf(path);
    if (!ShortcutTextRefusal(row.shortcutText).empty() || !EndsWith(ToLowerAscii(path), ".lnk") || parent.empty()) {
        notRemoved("the row names no shortcut and text");
        return;
    }
    std::optional<ResolvedObject> checked;
    if (auto reason = guard_.FileRefusal(path, &checked)) {
        Log("Protected object skipped=" + path + " (" + *reason + ")");
        return;
    }
    if (!checked) {
        Log("Shortcut not found=" + path);
        return;
    }
    if (auto reason = NotAsFound(row, checked, false)) {
        notRemoved(*reason);
        return;
    }
    ObjectIdentity& identity = guard_.identity();
    const std::optional<ResolvedObject> folder = identity.Resolve(parent);
    std::optional<autostart::ShortcutFile> file =
        folder ? autostart::ReadShortcutFile(identity, folder->finalPath, path) : std::nullopt;
    if (!file || !autostart::IsSameFile(file->identity, checked->Identity())) {
        notRemoved("not a file read without a link on the way");
        return;
    }
    const std::optional<autostart::Shortcut> link =
        autostart::ReadShortcut(file->bytes, [this](std::string_view ansi) { return ports_.system.AnsiToUtf8(ansi); });
    if (!link) {
        notRemoved("not a readable shortcut");
        return;
    }
    const ShortcutRemoval plan = autostart::PlanShortcutRemoval(*link, row.shortcutText);
    // Stored and changed only while the file still holds the bytes the plan was made from.
    auto unchanged = [&] {
        std::optional<autostart::ShortcutFile> now = autostart::ReadShortcutFile(identity, folder->finalPath, path);
        return now && now->bytes == file->bytes;
    };
    switch (plan.action) {
        case ShortcutRemoval::Action::NotHeld:
            Log("Shortcut not found=" + path + " (it no longer holds " + row.shortcutText + ")");
            return;
        case ShortcutRemoval::Action::Unrepairable:
            notRemoved("a browser's shortcut whose text no whole argument holds");
            return;
        case ShortcutRemoval::Action::Delete:
            if (!QuarantineFirst(row) || !unchanged()) {
                notRemoved("");
                return;
            }
            DeleteOneFile(path, path, "Shortcut", false, file->identity);
            return;
        case ShortcutRemoval::Action::Repair:
            break;
    }
    const std::optional<std::string> repaired = autostart::ReplaceArguments(
        file->bytes, plan.arguments, [this](std::string_view utf8) { return ports_.system.Utf8ToAnsi(utf8); });
    if (!repaired) {
        notRemoved("its arguments cannot be written");
        return;
    }
    if (!services_.quarantine.QuarantineResultRow(row)) {
        notRemoved("could not be quarantined");
        return;
    }
    if (!unchanged() || !WriteShortcutInto(*folder, path, *repaired)) {
        notRemoved("");
        return;
    }
    AddToRemoved(1);
    Log("Shortcut repaired=" + path + " (" + row.shortcutText + " taken out)");
    // The repaired link is a new file: rows of other texts in the same link follow it, so that
    // each takes its own text out in turn.
    const std::optional<FileIdentity> now = ports_.files.Identify(path);
    for (ResultRow& other : state_.lstScanResult) {
        if (now && other.foundAs && autostart::IsSameFile(*other.foundAs, file->identity) &&
            EqualsIgnoreCase(other.type, "shortcut"))
            other.foundAs = now;
    }
}

bool RemovalRun::WriteShortcutInto(const ResolvedObject& folder, const std::string& path, const std::string& bytes) {
    // The package folder is the program's own; the copy lives there only for the write.
    const std::string staged = services_.quarantine.store().CurrentPackageFolder() + "\\Repaired.lnk.tmp";
    FileSystemPort& files = ports_.files;
    files.DeleteFile(staged);
    const bool written =
        services_.quarantine.store().EnsureCurrentPackage() && files.WriteFileAtomic(staged, bytes) &&
        files.CopyIntoFolderIfSame(staged, ParentFolderOf(path), folder.Identity(), path.substr(path.rfind('\\') + 1),
                                   true) == FileSystemPort::CheckedWrite::Written;
    files.DeleteFile(staged);
    if (!written)
        return false;
    const std::optional<autostart::ShortcutFile> now =
        autostart::ReadShortcutFile(guard_.identity(), folder.finalPath, path);
    return now && now->bytes == bytes;
}

}  // namespace pellora
