// Restore: every record of every checked package is written back by its kind; only a record
// whose object is verifiably back with the stored content loses its payload and its record
// file. A package left empty is removed, and one that still holds something stays listed.
#include "core/quarantine/quarantine.h"

#include "core/quarantine/copy_folder.h"
#include "core/quarantine/reg_export.h"
#include "core/quarantine/tree_walk.h"
#include "core/removal/external_commands.h"
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
bool SourceFits(const std::string& kind, const std::string& source) {
    if (kind == "regkey")
        return IsKeyPathForm(source);
    if (kind == "regval") {
        size_t comma = source.find(',');
        return comma != std::string::npos && IsKeyPathForm(source.substr(0, comma));
    }
    return IsAbsolutePath(source);
}

bool IsRestorableKind(const std::string& kind) {
    return kind == "regkey" || kind == "regval" || kind == "folder" || kind == "path" || kind == "file" ||
           kind == "cookie";
}

std::string ParentFolder(const std::string& path) {
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash == 0)
        return std::string();
    std::string parent = path.substr(0, slash);
    // "C:" alone names the drive's current folder, not its root.
    if (parent.size() == 2 && parent[1] == ':')
        parent += '\\';
    return parent;
}

}  // namespace

void Quarantine::cmdRestoreQuarantined() {
    if (running_)
        return;
    RunningGuard guard(running_);
    for (const std::string& name : CheckedPackages())
        RestorePackage(name);
    LoadToQuarantineList();
    ports_.ui.Yield();
}

void Quarantine::RestorePackage(const std::string& packageName) {
    if (packageName.empty())
        return;
    std::string package = store_.PackageFolder(packageName);
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(package);
    if (!attributes || !(*attributes & file_attr::kDirectory) || IsLink(ports_.files, package))
        return;

    state_.lstQuarBuffer.clear();
    finder_.CollectFileNames(package, "*.qnf", state_.lstQuarBuffer, false);
    std::vector<std::string> recordNames = state_.lstQuarBuffer;
    for (const std::string& recordName : recordNames) {
        if (IsRecordName(recordName))
            (void)RestoreRecord(packageName, recordName);
        ports_.ui.Yield();
    }
    ports_.files.RemoveDirectory(package);
    ports_.ui.Changed(View::Log);
}

bool Quarantine::RestoreRecord(const std::string& packageName, const std::string& recordName) {
    std::string text;
    if (!store_.LoadLineFromFile(packageName + "\\" + recordName, text))
        return false;
    QuarantineRecord record = ParseRecord(std::move(text));
    std::string kind = ToLowerAscii(record.type);
    bool folderCopy = kind == "folder";
    std::optional<std::string> number = RecordNumber(recordName);
    // A damaged record is passed over with a line in the log: it must neither lead the
    // clean-up outside its package or to another record's payload, nor stop the restore.
    if (!number || !IsRestorableKind(kind) || !IsOwnPayload(record.storedItem, *number, folderCopy) ||
        !SourceFits(kind, record.source) || !PayloadInsidePackage(packageName, record.storedItem)) {
        Log(kDamagedRecordLog + packageName + "\\" + recordName);
        return false;
    }
    if (!PayloadUnchanged(packageName, *number, record, folderCopy))
        return false;

    std::string package = store_.PackageFolder(packageName);
    std::string payload = package + "\\" + record.storedItem;
    bool written = false;
    if (kind == "regkey") {
        written = WriteBackKey(payload, record.source);
    } else if (kind == "regval") {
        written = WriteBackValue(packageName, record);
    } else if (folderCopy) {
        written = WriteBackFolder(payload, record.source);
    } else {
        written = WriteBackFile(payload, record.source);
    }
    ports_.ui.Yield();
    if (!written)
        return false;

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
    Log(kChangedPayloadLog + record.source);
    ports_.ui.Message(std::string(kChangedPayloadMessage) + "\n\n" + record.source, kAppTitle, MsgButtons::Ok,
                      MsgIcon::Error);
    return false;
}

bool Quarantine::Ask(const std::string& question, const std::string& path, const std::string& tail) {
    return ports_.ui.Message(question + "\n\n" + path + "\n\n" + tail, kAppTitle, MsgButtons::YesNo,
                             MsgIcon::Question) == MsgAnswer::Yes;
}

void Quarantine::Log(const std::string& line) {
    state_.lstLog.push_back(line);
}

bool Quarantine::FolderReady(const std::string& folder) {
    if (folder.empty())
        return false;
    if (IsFolder(ports_.files, folder))
        return true;
    if (ports_.files.GetAttributes(folder) ||
        !Ask(kRestoreCreateFolderQuestion, folder, kRestoreCreateFolderQuestionTail))
        return false;
    // The missing folders from the outermost inwards.
    std::vector<std::string> missing;
    for (std::string step = folder; !step.empty() && !ports_.files.GetAttributes(step); step = ParentFolder(step)) {
        if (EndsWith(step, "\\"))
            break;
        missing.push_back(step);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        ports_.files.CreateDirectory(*it);
    return IsFolder(ports_.files, folder);
}

int Quarantine::QuietCopy(const std::string& from, const std::string& to) {
    return ports_.shell.FileOperation(ShellOp::Copy, from, to, shell_flags::kNoUi);
}

int Quarantine::QuietMove(const std::string& from, const std::string& to) {
    return ports_.shell.FileOperation(ShellOp::Move, from, to, shell_flags::kNoUi);
}

bool Quarantine::WriteBackKey(const std::string& payload, const std::string& keyPath) {
    if (!IsFile(payload))
        return false;
    std::string temp = store_.TempExportFile();
    if (temp.empty())
        return false;
    RemoveStoreFile(temp);
    if (ports_.files.GetAttributes(temp))
        return false;
    bool imported = QuietCopy(payload, temp) == 0 && IsFile(temp) &&
                    ShellAndWait(ports_.processes, RegeditImportCommand(state_.folders.windowsDir, temp), kHiddenWindow,
                                 kRegeditKeyWaitMs) == ShellRun::Finished;
    RemoveStoreFile(temp);
    if (!imported)
        return false;
    // The registry editor reports nothing: the key counts as back only when a fresh export of
    // it holds every key and value of the stored one.
    std::optional<std::string> stored = ports_.files.ReadFile(payload);
    bool back = stored && ShellAndWait(ports_.processes, RegeditExportCommand(state_.folders.windowsDir, temp, keyPath),
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
    if (!store_.LoadLineFromFile(packageName + "\\" + record.storedItem, saved) || saved.empty())
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

bool Quarantine::WriteBackFolder(const std::string& payload, const std::string& source) {
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(payload);
    if (!attributes || !(*attributes & file_attr::kDirectory) || (*attributes & file_attr::kReparsePoint))
        return false;
    std::string parent = ParentFolder(source);
    if (!FolderReady(parent))
        return false;
    if (!CopyFolderInto(ports_.shell, ports_.files, payload, parent))
        return false;
    // The shell places the copy under the copy folder's own name.
    std::string name = payload.substr(payload.rfind('\\') + 1);
    return TreeHoldsCopy(ports_.files, ports_.ui, payload, (EndsWith(parent, "\\") ? parent : parent + "\\") + name);
}

bool Quarantine::WriteBackFile(const std::string& payload, const std::string& source) {
    if (!IsFile(payload) || source.empty())
        return false;
    std::optional<uint32_t> there = ports_.files.GetAttributes(source);
    if (there && (*there & file_attr::kDirectory))
        return false;
    if (there) {
        // The same bytes already there: the object is back, and nothing is overwritten.
        if (SameFileContent(ports_.files, payload, source))
            return true;
        if (!Ask(kRestoreReplaceQuestion, source, kRestoreReplaceQuestionTail))
            return false;
    }
    if (!FolderReady(ParentFolder(source)))
        return false;
    ports_.files.SetAttributes(payload, file_attr::kNormal);
    return QuietCopy(payload, source) == 0 && SameFileContent(ports_.files, payload, source);
}

}  // namespace pellora
