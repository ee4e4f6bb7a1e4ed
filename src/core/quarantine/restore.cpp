// Restore: every record of every checked package is written back by its kind; only a record
// whose object is verifiably back loses its payload and its record file. A package left empty
// is removed, and one that still holds something stays listed.
#include "core/quarantine/quarantine.h"

#include "core/quarantine/copy_folder.h"
#include "core/removal/external_commands.h"
#include "core/util/text.h"

namespace pellora {

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
    if (!attributes || !(*attributes & file_attr::kDirectory) || (*attributes & file_attr::kReparsePoint))
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
}

bool Quarantine::RestoreRecord(const std::string& packageName, const std::string& recordName) {
    std::string text;
    if (!store_.LoadLineFromFile(packageName + "\\" + recordName, text))
        return false;
    QuarantineRecord record = ParseRecord(std::move(text));
    std::string kind = ToLowerAscii(record.type);
    bool folderCopy = kind == "folder";
    // A damaged record must not lead the clean-up outside its package.
    if (!IsSafeStoredItem(record.storedItem, folderCopy))
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
    } else if (kind == "path" || kind == "file" || kind == "cookie") {
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
    RemoveStoreFile(package + "\\" + recordName);
    ports_.ui.Yield();
    return true;
}

bool Quarantine::WriteBackKey(const std::string& payload, const std::string& keyPath) {
    if (!IsFile(payload))
        return false;
    // Only a well-formed key path can be checked afterwards; the check is what tells a failed
    // import from a good one, since the registry editor reports nothing.
    if (!StartsWith(keyPath, "HKEY_") || EndsWith(keyPath, "\\"))
        return false;
    std::string temp = store_.TempExportFile();
    RemoveStoreFile(temp);
    if (ports_.files.GetAttributes(temp))
        return false;
    bool imported =
        fileOps_.ShellFileCopy(payload, temp) == 0 && IsFile(temp) &&
        ShellAndWait(ports_.processes, RegeditImportCommand(state_.folders.windowsDir, temp), kHiddenWindow);
    RemoveStoreFile(temp);
    if (!imported)
        return false;
    std::optional<RegistryAccess::KeyPath> key = registry_.SplitKeyPath(keyPath);
    return key && key->root != RootKey::None && ports_.registry.KeyOpens(key->root, key->subkey, RegAccess::Read);
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
    return registry_.WriteValue(record.source.substr(0, comma), record.source.substr(comma + 1), *value);
}

bool Quarantine::WriteBackFolder(const std::string& payload, const std::string& source) {
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(payload);
    if (!attributes || !(*attributes & file_attr::kDirectory) || (*attributes & file_attr::kReparsePoint))
        return false;
    size_t slash = source.rfind('\\');
    if (slash == std::string::npos || slash == 0)
        return false;
    std::string parent = source.substr(0, slash);
    // "C:" alone names the drive's current folder, not its root.
    if (parent.size() == 2 && parent[1] == ':')
        parent += '\\';
    if (!CopyFolderInto(ports_.shell, ports_.files, payload, parent))
        return false;
    // The shell places the copy under the copy folder's own name.
    std::string name = payload.substr(payload.rfind('\\') + 1);
    return IsFolder(ports_.files, (EndsWith(parent, "\\") ? parent : parent + "\\") + name);
}

bool Quarantine::WriteBackFile(const std::string& payload, const std::string& source) {
    if (!IsFile(payload) || source.empty())
        return false;
    ports_.files.SetAttributes(payload, file_attr::kNormal);
    return fileOps_.ShellFileCopy(payload, source) == 0 && IsFile(source);
}

}  // namespace pellora
