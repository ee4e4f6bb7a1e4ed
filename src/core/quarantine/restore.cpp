// Restore: every record of every checked package is written back by its kind; only a record
// whose object is verifiably back with the stored content loses its payload and its record
// file. A package left empty is removed, and one that still holds something stays listed.
#include "core/quarantine/quarantine.h"

#include <algorithm>

#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/database/persistence_kinds.h"
#include "core/quarantine/copy_folder.h"
#include "core/quarantine/reg_export.h"
#include "core/quarantine/tree_walk.h"
#include "core/removal/external_commands.h"
#include "core/scan/scan_report.h"
#include "core/settings/log_file.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

bool IsKeyPathForm(const std::string& keyPath) {
    // The registry layer shows a message box for any other form; a damaged record must not.
    return StartsWith(keyPath, "HKEY_") && !EndsWith(keyPath, "\\");
}

bool IsAbsolutePath(const std::string& path) {
    return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || StartsWith(path, "\\\\");
}

// True when the source location is of the form its kind restores to.
bool SourceFits(const StorableKind& kind, const std::string& source) {
    switch (kind.form) {
        case StoredForm::Task:
            return IsTaskPath(source) && !IsWindowsTask(source);
        case StoredForm::Service:
            return IsServiceName(source) && !IsWindowsServiceName(source);
        case StoredForm::HostsLines:
            return IsHostName(source);
        case StoredForm::Shortcut:
            return IsAbsolutePath(source) && EndsWith(ToLowerAscii(source), ".lnk");
        case StoredForm::Key:
            return IsKeyPathForm(source);
        case StoredForm::Value: {
            size_t comma = source.find(',');
            return comma != std::string::npos && IsKeyPathForm(source.substr(0, comma));
        }
        default:
            return IsAbsolutePath(source);
    }
}

bool SameObject(const FileIdentity& stored, const ResolvedObject& now) {
    return (stored.fileIdHigh | stored.fileIdLow) != 0 && stored.volumeSerial == now.volumeSerial &&
           stored.fileIdHigh == now.fileIdHigh && stored.fileIdLow == now.fileIdLow;
}

// True unless the system reaches `path` as its own name directly below the folder whose final
// path is `parentFinal`: a junction or symbolic link, a host link under Wine (no reparse
// attribute, only another final path), a short name, "." and ".." and trailing dots all count,
// as does what cannot be opened. `object` receives what the path leads to.
bool StepIsLink(ObjectIdentity& identity,
                const std::string& parentFinal,
                const std::string& path,
                std::optional<ResolvedObject>& object) {
    object = identity.Resolve(path);
    if (!object || (object->attributes & file_attr::kReparsePoint))
        return true;
    if (std::optional<std::vector<std::string>> expected = SplitFoldedPath(parentFinal)) {
        expected->push_back(FoldOrdinal(path.substr(path.rfind('\\') + 1)));
        if (object->parts == *expected)
            return false;
    }
    // Wine names a drive's root folder by the Unix folder behind it but its entries by the
    // drive letter: an entry that resolves to exactly the path it was named by is no link.
    std::optional<std::vector<std::string>> named = SplitFoldedPath(path);
    return !(named && *named == object->parts);
}

std::string Joined(const std::string& folder, const std::string& name) {
    return EndsWith(folder, "\\") ? folder + name : folder + "\\" + name;
}

}  // namespace

void Quarantine::cmdRestoreQuarantined() {
    if (running_)
        return;
    RunningGuard guard(running_);
    // The protected folders as they are now: the special folders are found after start.
    guard_.Refresh();
    restores_.clear();
    recreated_.clear();
    for (const std::string& name : CheckedPackages())
        RestorePackage(name);
    ReportRestore();
    LoadToQuarantineList();
    ports_.ui.Yield();
}

std::vector<std::string> Quarantine::RestoreOrder(const std::string& packageName,
                                                  const std::vector<std::string>& recordNames) {
    // Folders first, outer before inner: an object stored from inside a folder that is stored
    // too comes back into the folder this restore puts back, never before it.
    std::vector<std::pair<size_t, std::string>> folders;
    std::vector<std::string> others;
    for (const std::string& recordName : recordNames) {
        if (!IsRecordName(recordName))
            continue;
        std::string text;
        const QuarantineRecord record = store_.LoadLineFromFile(packageName + "\\" + recordName, text)
                                            ? ParseRecord(std::move(text))
                                            : QuarantineRecord{};
        const StorableKind* kind = RestorableRecordKind(record.type);
        if (kind && kind->form == StoredForm::Folder)
            folders.emplace_back(std::count(record.source.begin(), record.source.end(), '\\'), recordName);
        else
            others.push_back(recordName);
    }
    std::stable_sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> order;
    for (auto& [depth, name] : folders)
        order.push_back(std::move(name));
    order.insert(order.end(), others.begin(), others.end());
    return order;
}

void Quarantine::RestorePackage(const std::string& packageName) {
    if (packageName.empty())
        return;
    restores_.push_back(PackageRestore{packageName, 0, {}, {}});
    std::string package = store_.PackageFolder(packageName);
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(package);
    if (!attributes || !(*attributes & file_attr::kDirectory) || IsLink(ports_.files, package)) {
        restores_.back().notRestored.emplace_back(packageName, "the package is not a folder of the store");
        return;
    }

    state_.lstQuarBuffer.clear();
    finder_.CollectFileNames(package, "*.qnf", state_.lstQuarBuffer, false);
    const std::vector<std::string> recordNames = RestoreOrder(packageName, state_.lstQuarBuffer);
    restores_.back().records = recordNames.size();
    for (const std::string& recordName : recordNames) {
        std::string object = packageName + "\\" + recordName;
        whyNot_.clear();
        if (RestoreRecord(packageName, recordName, object)) {
            restores_.back().restored.push_back(object);
        } else {
            restores_.back().notRestored.emplace_back(object, whyNot_.empty() ? "it could not be put back" : whyNot_);
        }
        ports_.ui.Yield();
    }
    ports_.files.RemoveDirectory(package);
    ports_.ui.Changed(View::Log);
}

bool Quarantine::NotRestored(std::string why) {
    if (whyNot_.empty())
        whyNot_ = std::move(why);
    return false;
}

void Quarantine::ReportRestore() {
    std::vector<std::string> lines;
    std::string message = kNotRestoredMessage;
    bool left = false;
    for (const PackageRestore& restore : restores_) {
        for (const std::string& object : restore.restored)
            lines.push_back(kRestoredLog + object);
        for (const auto& [object, why] : restore.notRestored) {
            lines.push_back(kNotRestoredLog + object + " (" + why + ")");
            message += "\n\n" + object + "\n" + why;
            left = true;
        }
    }
    lines.insert(lines.begin(), movedLines_.begin(), movedLines_.end());
    movedLines_.clear();
    if (lines.empty())
        return;
    lines.insert(lines.begin(), kRestoreLogHeading + LogDateTime(ports_.clock, ports_.clock.Now()));
    state_.lstLog.insert(state_.lstLog.end(), lines.begin(), lines.end());
    ports_.ui.Changed(View::Log);
    if (LoggingEnabled(state_))
        AppendLogEntry(ports_.files, ports_.system, ports_.ui, state_.appFolder, lines);
    // One message for the whole restore, never one box per object. A restore is never part of
    // an automatic scan; the console prints an OK message to standard error without waiting,
    // which is where its user reads why.
    if (left)
        ports_.ui.Message(message, kAppTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

bool Quarantine::RestoreRecord(const std::string& packageName, const std::string& recordName, std::string& object) {
    std::string text;
    if (!store_.LoadLineFromFile(packageName + "\\" + recordName, text))
        return NotRestored("its record cannot be read");
    QuarantineRecord record = ParseRecord(std::move(text));
    if (!record.source.empty())
        object = record.source;
    const StorableKind* kind = RestorableRecordKind(record.type);
    if (kind && kind->form == StoredForm::BrowserEdit)
        return RestoreBrowserEdit(packageName, recordName, record);
    bool folderCopy = kind && kind->form == StoredForm::Folder;
    std::optional<std::string> number = RecordNumber(recordName);
    // A damaged record is passed over with a line in the log: it must neither lead the
    // clean-up outside its package or to another record's payload, nor stop the restore.
    if (!number || !kind || !IsOwnPayload(record.storedItem, *number, folderCopy) ||
        !SourceFits(*kind, record.source) || !PayloadInsidePackage(packageName, record.storedItem)) {
        Log(kDamagedRecordLog + packageName + "\\" + recordName);
        return NotRestored(kind ? "its record is damaged or names a copy outside its package"
                                : "no restore knows its kind (" + record.type + ")");
    }
    if (!PayloadUnchanged(packageName, *number, record, folderCopy))
        return NotRestored("the quarantined copy has changed since it was stored");

    std::string package = store_.PackageFolder(packageName);
    std::string payload = package + "\\" + record.storedItem;
    bool written = false;
    switch (kind->form) {
        case StoredForm::Key:
            written = WriteBackKey(payload, record.source);
            break;
        case StoredForm::Value:
            written = WriteBackValue(packageName, record);
            break;
        case StoredForm::Task:
            written = WriteBackTask(payload, record.source);
            break;
        case StoredForm::Service:
            written = WriteBackService(payload, record.source);
            break;
        case StoredForm::HostsLines:
            written = WriteBackHostsLines(payload);
            break;
        case StoredForm::Shortcut:
            written = WriteBackShortcut(payload, record);
            break;
        case StoredForm::Folder:
            written = WriteBackFolder(payload, record);
            break;
        default:
            written = WriteBackFile(payload, record);
            break;
    }
    ports_.ui.Yield();
    if (!written) {
        if (kind->form == StoredForm::Key)
            return NotRestored("the registry editor did not import it, or the key read back differs from the copy");
        if (kind->form == StoredForm::Value)
            return NotRestored("the value could not be written, or reads back differently");
        return NotRestored("it could not be written back, or the written copy differs from the stored one");
    }

    if (folderCopy) {
        DeleteTreeInPasses(payload);
        ports_.files.RemoveDirectory(payload);
        // The numbered folder that held the copy; a copy stored directly under its name has none.
        size_t slash = record.storedItem.find('\\');
        if (slash != std::string::npos)
            ports_.files.RemoveDirectory(package + "\\" + record.storedItem.substr(0, slash));
    } else {
        RemoveStoreFile(payload);
    }
    RemoveStoreFile(package + "\\" + DigestFileName(*number));
    RemoveStoreFile(package + "\\" + recordName);
    ports_.ui.Yield();
    return true;
}

bool Quarantine::PayloadInsidePackage(const std::string& packageName, const std::string& storedItem) {
    std::optional<std::string> rootFinal = ports_.files.FinalPath(store_.RootFolder());
    std::optional<std::string> packageFinal = ports_.files.FinalPath(store_.PackageFolder(packageName));
    if (!rootFinal || !packageFinal || !SamePath(*packageFinal, *rootFinal + "\\" + packageName))
        return false;
    std::string current = store_.PackageFolder(packageName);
    std::string currentFinal = *packageFinal;
    size_t pos = 0;
    while (pos <= storedItem.size()) {
        size_t end = storedItem.find('\\', pos);
        if (end == std::string::npos)
            end = storedItem.size();
        std::string step = storedItem.substr(pos, end - pos);
        current += "\\" + step;
        std::optional<uint32_t> attributes = ports_.files.GetAttributes(current);
        // A missing payload restores nothing; the record stays where it is.
        if (!attributes || IsLinkEntry(ports_.files, currentFinal, current, *attributes))
            return false;
        currentFinal += "\\" + step;
        pos = end + 1;
    }
    return true;
}

bool Quarantine::PayloadUnchanged(const std::string& packageName,
                                  const std::string& number,
                                  const QuarantineRecord& record,
                                  bool folderCopy) {
    std::string digestFile = store_.PackageFolder(packageName) + "\\" + DigestFileName(number);
    // Packages stored before digests were kept have none; their payloads are still compared
    // with what comes back.
    if (!ports_.files.GetAttributes(digestFile))
        return true;
    std::optional<std::string> stored = ports_.files.ReadFile(digestFile);
    std::optional<std::string> now =
        PayloadDigest(store_.PackageFolder(packageName) + "\\" + record.storedItem, folderCopy);
    if (stored && now && TrimSpaces(*stored) == *now)
        return true;
    // Named, with the others left, in the restore's one message.
    Log(kChangedPayloadLog + record.source);
    return false;
}

bool Quarantine::Ask(const std::string& question, const std::string& path, const std::string& tail) {
    return ports_.ui.Message(question + "\n\n" + path + "\n\n" + tail, kAppTitle, MsgButtons::YesNo,
                             MsgIcon::Question) == MsgAnswer::Yes;
}

void Quarantine::Log(const std::string& line) {
    state_.lstLog.push_back(line);
}

void Quarantine::RefuseDestination(const QuarantineRecord& record, const std::string& reason) {
    // Named, with the reason, in the restore's one message.
    (void)NotRestored("unsafe destination: " + reason);
    Log(kUnsafeDestinationLog + record.source + " (" + reason + ")");
}

bool Quarantine::InsideRecreatedFolder(const ResolvedObject& folder) {
    const std::string path = FoldOrdinal(folder.finalPath);
    for (const FileIdentity& recreated : recreated_) {
        const std::string root = FoldOrdinal(recreated.finalPath);
        if (path != root && !StartsWith(path, root + "\\"))
            continue;
        // Still that folder: not replaced since it was put back.
        std::optional<ResolvedObject> now = guard_.identity().Resolve(recreated.finalPath);
        if (now && SameObject(recreated, *now) && SamePath(now->finalPath, recreated.finalPath))
            return true;
    }
    return false;
}

std::optional<ResolvedObject> Quarantine::DestinationFolder(const std::string& folder,
                                                            const QuarantineRecord& record,
                                                            bool* otherFolder) {
    ObjectIdentity& identity = guard_.identity();
    // The drive or share, then each name below it, checked one step at a time: a step counts
    // only when the system reaches it directly below the step before (no junction, symbolic
    // link, or host link under Wine, and no short name or ".." that leads elsewhere).
    std::string root;
    if (StartsWith(folder, "\\\\")) {
        size_t server = folder.find('\\', 2);
        size_t share = server == std::string::npos ? server : folder.find('\\', server + 1);
        root = share == std::string::npos ? folder : folder.substr(0, share);
    } else if (folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\') {
        root = folder.substr(0, 3);
    } else {
        RefuseDestination(record, "not a full path");
        return std::nullopt;
    }
    std::optional<ResolvedObject> current = identity.Resolve(root);
    if (!current) {
        RefuseDestination(record, "the drive cannot be opened");
        return std::nullopt;
    }
    std::string path = root;
    std::vector<std::string> missing;
    size_t pos = root.size();
    while (pos < folder.size()) {
        size_t end = std::min(folder.find('\\', pos), folder.size());
        std::string name = folder.substr(pos, end - pos);
        pos = end + 1;
        if (name.empty())
            continue;
        if (!missing.empty()) {
            missing.push_back(name);
            continue;
        }
        std::string step = Joined(path, name);
        Presence there = ports_.files.Probe(step);
        if (there == Presence::Absent) {
            missing.push_back(name);
            continue;
        }
        std::optional<ResolvedObject> next;
        if (there == Presence::Unknown || StepIsLink(identity, current->finalPath, step, next)) {
            RefuseDestination(record, "a link or an unreadable folder on the way: " + step);
            return std::nullopt;
        }
        current = std::move(next);
        if (!(current->attributes & file_attr::kDirectory)) {
            RefuseDestination(record, "not a folder: " + step);
            return std::nullopt;
        }
        path = step;
    }

    if (missing.empty()) {
        if (record.parentIdentity.empty())
            return current;
        std::optional<FileIdentity> stored = ParseFolderIdentity(record.parentIdentity);
        if (stored && SameObject(*stored, *current) && SamePath(stored->finalPath, current->finalPath))
            return current;
        // The folder a folder record of this restore brought back in its old place: what was
        // stored from inside it goes back into it.
        if (stored && SamePath(stored->finalPath, current->finalPath) && InsideRecreatedFolder(*current))
            return current;
        if (otherFolder) {
            *otherFolder = true;
            return current;
        }
        RefuseDestination(record, "not the folder the object was taken from: " + folder);
        return std::nullopt;
    }

    std::string wanted = path;
    for (const std::string& name : missing)
        wanted = Joined(wanted, name);
    if (auto reason = guard_.CreationRefusal(wanted)) {
        RefuseDestination(record, "a missing folder is not created there (" + *reason + "): " + wanted);
        return std::nullopt;
    }
    if (!Ask(kRestoreCreateFolderQuestion, folder, kRestoreCreateFolderQuestionTail)) {
        (void)NotRestored("its folder no longer exists, and it was not created: " + folder);
        return std::nullopt;
    }
    // Each folder is created in the one checked before it and checked in turn, so a link put
    // in place meanwhile is not followed further.
    for (const std::string& name : missing) {
        std::string step = Joined(path, name);
        if (!ports_.files.CreateDirectory(step)) {
            (void)NotRestored("its folder could not be created: " + step);
            return std::nullopt;
        }
        std::optional<ResolvedObject> next;
        if (StepIsLink(identity, current->finalPath, step, next)) {
            RefuseDestination(record, "a link on the way: " + step);
            return std::nullopt;
        }
        current = std::move(next);
        path = step;
    }
    return current;
}

int Quarantine::QuietCopy(const std::string& from, const std::string& to) {
    return ports_.shell.FileOperation(ShellOp::Copy, from, to, shell_flags::kNoUi);
}

int Quarantine::QuietMove(const std::string& from, const std::string& to) {
    return ports_.shell.FileOperation(ShellOp::Move, from, to, shell_flags::kNoUi);
}

bool Quarantine::WriteBackKey(const std::string& payload, const std::string& keyPath) {
    std::optional<std::string> stored = IsFile(payload) ? ports_.files.ReadFile(payload) : std::nullopt;
    if (!stored)
        return false;
    // An import writes wherever its sections say: every one must lie inside the record's key,
    // and the key must not lead elsewhere through a registry link.
    ObjectIdentity& identity = guard_.identity();
    std::optional<std::string> foreign = ForeignSection(*stored, keyPath, registry_.port().CurrentUserSid());
    if (!foreign && (identity.IsKeyLink(keyPath) || identity.KeyPathThroughLinks(keyPath) != keyPath))
        foreign = "a registry link on the way to " + keyPath;
    if (foreign) {
        (void)NotRestored("the stored export reaches outside its key: " + *foreign);
        Log(kForeignExportLog + keyPath + " (" + *foreign + ")");
        return false;
    }
    std::string temp = store_.TempExportFile();
    if (temp.empty())
        return false;
    RemoveStoreFile(temp);
    if (ports_.files.GetAttributes(temp))
        return false;
    // The bytes checked are the bytes imported.
    bool imported = ports_.files.WriteFileAtomic(temp, *stored) &&
                    ShellAndWait(ports_.processes, RegeditImportCommand(state_.folders.windowsDir, temp), kHiddenWindow,
                                 kRegeditKeyWaitMs) == ShellRun::Finished;
    RemoveStoreFile(temp);
    if (!imported)
        return false;
    // The registry editor reports nothing: the key counts as back only when a fresh export of
    // it holds every key and value of the stored one.
    bool back = ShellAndWait(ports_.processes, RegeditExportCommand(state_.folders.windowsDir, temp, keyPath),
                             kHiddenWindow, kRegeditKeyWaitMs) == ShellRun::Finished;
    std::optional<std::string> current = back ? ports_.files.ReadFile(temp) : std::nullopt;
    RemoveStoreFile(temp);
    return current && ExportHolds(*stored, *current);
}

bool Quarantine::WriteBackValue(const std::string& packageName, const QuarantineRecord& record) {
    size_t comma = record.source.find(',');
    if (comma == std::string::npos)
        return false;
    std::string saved;
    if (!store_.LoadLineFromFile(packageName + "\\" + record.storedItem, saved, kMaxStoredValueLength) || saved.empty())
        return false;
    std::optional<RegValue> value = DecodeSavedValue(saved);
    if (!value)
        return false;
    std::string keyPath = record.source.substr(0, comma);
    std::string name = record.source.substr(comma + 1);
    if (!registry_.WriteValue(keyPath, name, *value))
        return false;
    std::optional<RegValue> back = registry_.ReadValue(keyPath, name);
    return back && back->type == value->type && back->data == value->data;
}

bool Quarantine::WriteBackFolder(const std::string& payload, const QuarantineRecord& record) {
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(payload);
    if (!attributes || !(*attributes & file_attr::kDirectory) || (*attributes & file_attr::kReparsePoint))
        return false;
    std::string parent = ParentFolderOf(record.source);
    std::optional<ResolvedObject> folder = parent.empty() ? std::nullopt : DestinationFolder(parent, record);
    if (!folder)
        return false;
    // The shell places the copy under the copy folder's own name, merging with a folder of that
    // name already there: that folder must hold no link the copy would be written through.
    std::string name = payload.substr(payload.rfind('\\') + 1);
    std::string destination = Joined(parent, name);
    Presence there = ports_.files.Probe(destination);
    if (there == Presence::Unknown) {
        RefuseDestination(record, "cannot be looked at: " + destination);
        return false;
    }
    if (there == Presence::Present) {
        std::optional<ResolvedObject> existing;
        bool holdsLink = StepIsLink(guard_.identity(), folder->finalPath, destination, existing);
        if (!holdsLink) {
            std::vector<TreeEntry> entries;
            bool linkInside = false;
            bool complete = ListTreeWithoutLinks(ports_.files, ports_.ui, destination, entries,
                                                 [&linkInside](const std::string&) { linkInside = true; });
            holdsLink = linkInside || !complete;
        }
        if (holdsLink) {
            RefuseDestination(record, "a link in the folder already there: " + destination);
            return false;
        }
    }
    if (!CopyFolderInto(ports_.shell, ports_.files, payload, parent))
        return false;
    std::optional<ResolvedObject> copied;
    if (StepIsLink(guard_.identity(), folder->finalPath, destination, copied) ||
        !TreeHoldsCopy(ports_.files, ports_.ui, payload, destination))
        return false;
    if (there == Presence::Absent)
        recreated_.push_back(copied->Identity());
    return true;
}

bool Quarantine::WriteBackFile(const std::string& payload, const QuarantineRecord& record, bool replaceWithoutAsking) {
    const std::string& source = record.source;
    std::string parent = ParentFolderOf(source);
    if (!IsFile(payload) || parent.empty())
        return false;
    bool otherFolder = false;
    std::optional<ResolvedObject> folder = DestinationFolder(parent, record, &otherFolder);
    if (!folder)
        return false;
    ObjectIdentity& identity = guard_.identity();
    Presence there = ports_.files.Probe(source);
    if (there == Presence::Unknown)
        return false;
    if (otherFolder) {
        // Not the folder it was taken from: nothing is written there. The object counts as back
        // only when that file, reached without a link, holds the stored bytes already.
        std::optional<ResolvedObject> file;
        if (there == Presence::Present && !StepIsLink(identity, folder->finalPath, source, file) &&
            !(file->attributes & file_attr::kDirectory) && SameFileContent(ports_.files, payload, source))
            return true;
        RefuseDestination(record, "not the folder the object was taken from: " + parent);
        return false;
    }
    if (there == Presence::Present) {
        std::optional<ResolvedObject> file;
        if (StepIsLink(identity, folder->finalPath, source, file)) {
            RefuseDestination(record, "a link in place of the file");
            return false;
        }
        if (IsFolder(ports_.files, source))
            return NotRestored("a folder is now where the file was");
        // The same bytes already there: the object is back, and nothing is overwritten.
        if (SameFileContent(ports_.files, payload, source))
            return true;
        if (!replaceWithoutAsking && !Ask(kRestoreReplaceQuestion, source, kRestoreReplaceQuestionTail))
            return NotRestored("a different file is there now, and it was kept");
        // A read-only file refuses to be replaced; its attribute is cleared only while the
        // name still leads to a file of the checked folder.
        std::optional<ResolvedObject> now = identity.Resolve(parent);
        if (now && now->SameObject(*folder) && !StepIsLink(identity, folder->finalPath, source, file) &&
            (file->attributes & file_attr::kReadOnly)) {
            ports_.files.SetAttributes(source, file->attributes & ~file_attr::kReadOnly);
        }
    }
    // Written as a new file into the folder checked above, and only while it is that folder: a
    // folder swapped for a link since (while the question was open, say) receives nothing.
    FileSystemPort::CheckedWrite write = ports_.files.CopyIntoFolderIfSame(
        payload, parent, folder->Identity(), source.substr(source.rfind('\\') + 1), there == Presence::Present);
    if (write == FileSystemPort::CheckedWrite::NotTheChecked) {
        RefuseDestination(record, "the folder was replaced before the file was written: " + parent);
        return false;
    }
    if (write != FileSystemPort::CheckedWrite::Written)
        return false;
    std::optional<ResolvedObject> written;
    return !StepIsLink(identity, folder->finalPath, source, written) && SameFileContent(ports_.files, payload, source);
}

}  // namespace pellora
