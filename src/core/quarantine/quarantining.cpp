// Storing result rows in the current package. Each kind's payload is stored first and checked;
// the record is written only over a stored payload, so a record never names an empty place.
#include "core/quarantine/quarantine.h"

#include "core/quarantine/copy_folder.h"
#include "core/quarantine/storable_kinds.h"
#include "core/quarantine/tree_walk.h"
#include "core/removal/external_commands.h"
#include "core/scan/persistence_matches.h"
#include "core/util/text.h"

namespace pellora {

namespace {

std::string WithoutTrailingBackslashes(std::string path) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

}  // namespace

void Quarantine::cmdQuarantineSelected() {
    // The removal run disables the button while it works; a click queued before that is refused too.
    if (running_ || !state_.buttons.cmdQuarantineSelected || state_.lstScanResult.empty())
        return;
    RunningGuard guard(running_);

    (void)store_.EnsureCurrentPackage();
    int stored = 0;
    state_.lstLog.emplace_back();
    state_.lstLog.emplace_back(kQuarantineLogHeading);
    for (size_t i = 0; i < state_.lstScanResult.size(); ++i) {
        if (state_.lstScanResult[i].checked) {
            ResultRow row = state_.lstScanResult[i];
            if (QuarantineResultRow(row)) {
                state_.lstLog.push_back("     " + row.type + ":" + row.object + "   |" + row.category);
                ++stored;
            }
        }
        ports_.ui.Yield();
    }
    ports_.ui.Changed(View::Log);
    ports_.ui.Message(std::to_string(stored) + kQuarantinedMessageTail, kAppTitle, MsgButtons::Ok,
                      MsgIcon::Information);
}

bool Quarantine::QuarantineResultRow(ResultRow row) {
    const std::string type = row.type;
    const std::string object = row.object;
    if (!StoreResultRow(std::move(row)))
        return false;
    ReportEvent(ports_.events, event_id::kObjectQuarantined, EventLevel::Information, {type, object});
    return true;
}

bool Quarantine::CanStore(const ResultRow& row) {
    return StorableRowKind(row.type) != nullptr;
}

bool Quarantine::StoreResultRow(ResultRow row) {
    const StorableKind* kind = StorableRowKind(row.type);
    if (!kind)
        return false;
    switch (kind->form) {
        case StoredForm::BrowserPlace:
            return QuarantineBrowserRow(row);
        case StoredForm::Task:
            return QuarantineTask(row);
        case StoredForm::Service:
            return QuarantineService(row);
        case StoredForm::HostsLines:
            return QuarantineHostsLines(row);
        case StoredForm::Shortcut:
            return QuarantineShortcut(row);
        case StoredForm::ListPart: {
            // One element of a list value: the whole value is stored, and restore puts it back.
            std::optional<ListPart> part = ParseListPart(row.object);
            if (!part)
                return false;
            row.type = "RegVal";
            row.object = part->keyPath + "," + part->name;
            return StoreObject(row, StoredForm::Value);
        }
        case StoredForm::File:
        case StoredForm::Folder:
        case StoredForm::Key:
        case StoredForm::Value:
            return StoreObject(row, kind->form);
        case StoredForm::BrowserEdit:
            break;
    }
    return false;
}

bool Quarantine::StoreObject(const ResultRow& row, StoredForm form) {
    const bool folder = form == StoredForm::Folder;
    // A value is read before anything is written: one that cannot be read is not quarantined.
    std::optional<RegValue> value;
    if (form == StoredForm::Value) {
        size_t comma = row.object.find(',');
        if (comma == std::string::npos)
            return false;
        value = registry_.ReadValue(row.object.substr(0, comma), row.object.substr(comma + 1));
        if (!value)
            return false;
    }

    if (!store_.EnsureCurrentPackage())
        return false;
    std::optional<int16_t> number = store_.AllocateNumber();
    if (!number)
        return false;
    std::string n = std::to_string(*number);
    std::string package = store_.CurrentPackageFolder();
    QuarantineRecord record{row.type, n + ".qit", row.object, {}};
    std::string payload = package + "\\" + record.storedItem;

    bool stored = false;
    if (folder) {
        record.source = WithoutTrailingBackslashes(row.object);
        size_t slash = record.source.rfind('\\');
        std::string name = slash == std::string::npos ? std::string() : record.source.substr(slash + 1);
        record.storedItem = n + "\\" + name;
        payload = package + "\\" + record.storedItem;
        stored = !name.empty() && StoreFolder(record.source, package + "\\" + n);
    } else {
        // A payload left behind without its record would make the shell ask before replacing it.
        RemoveStoreFile(payload);
        if (form == StoredForm::File) {
            if (EqualsIgnoreCase(row.type, "cookie"))
                record.source = state_.folders.cookies + "\\" + row.object;
            stored = StoreFile(record.source, payload);
        } else if (form == StoredForm::Key) {
            stored = StoreKey(row.object, payload);
        } else {
            stored = store_.SaveLineToFile(record.storedItem, EncodeSavedValue(*value));
        }
    }

    // The folder the object is taken from, so that restore writes it back into that folder only.
    if (stored && form != StoredForm::Key && form != StoredForm::Value) {
        std::optional<FileIdentity> parent = ports_.files.Identify(ParentFolderOf(record.source));
        if (parent)
            record.parentIdentity = FormatFolderIdentity(*parent);
    }
    if (stored && StoreDigest(n, payload, folder) && store_.SaveLineToFile(n + ".qnf", FormatRecord(record))) {
        ports_.ui.Yield();
        return true;
    }
    if (folder) {
        std::string holder = package + "\\" + n;
        if (IsFolder(ports_.files, holder)) {
            DeleteTreeInPasses(holder);
            ports_.files.RemoveDirectory(holder);
        }
    } else {
        RemoveStoreFile(payload);
    }
    RemoveStoreFile(package + "\\" + DigestFileName(n));
    return false;
}

std::optional<std::string> Quarantine::PayloadDigest(const std::string& payload, bool folderCopy) {
    return folderCopy ? TreeDigest(ports_.files, ports_.ui, payload) : ports_.files.FileSha256(payload);
}

bool Quarantine::StoreDigest(const std::string& number, const std::string& payload, bool folderCopy) {
    std::optional<std::string> digest = PayloadDigest(payload, folderCopy);
    return digest && store_.SaveLineToFile(DigestFileName(number), *digest);
}

bool Quarantine::StoreFile(const std::string& source, const std::string& payload) {
    if (!IsFile(source))
        return false;
    return QuietCopy(source, payload) == 0 && IsFile(payload);
}

bool Quarantine::StoreKey(const std::string& keyPath, const std::string& payload) {
    std::string temp = store_.TempExportFile();
    if (temp.empty())
        return false;
    // An export left from an earlier run would otherwise pass for this key's export.
    RemoveStoreFile(temp);
    if (ports_.files.GetAttributes(temp))
        return false;
    if (ShellAndWait(ports_.processes, RegeditExportCommand(state_.folders.windowsDir, temp, keyPath), kHiddenWindow,
                     kRegeditKeyWaitMs) != ShellRun::Finished) {
        // An editor ended at the bound may have written half an export.
        RemoveStoreFile(temp);
        return false;
    }
    if (!IsFile(temp))
        return false;
    if (QuietMove(temp, payload) == 0 && IsFile(payload))
        return true;
    RemoveStoreFile(temp);
    return false;
}

bool Quarantine::StoreFolder(const std::string& source, const std::string& holder) {
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(source);
    if (!attributes || !(*attributes & file_attr::kDirectory))
        return false;
    // A link is stored as nothing: what it points to is not the folder the scan found.
    if (IsLink(ports_.files, source)) {
        Log(kLinkLeftOutLog + source);
        return false;
    }
    // A folder that holds the package itself would be copied into its own copy without end. The
    // comparison is made on the paths as the system reaches them, so that a link on the way to
    // either side cannot hide that one holds the other.
    std::optional<std::string> sourceFinal = ports_.files.FinalPath(source);
    std::optional<std::string> packageFinal = ports_.files.FinalPath(store_.CurrentPackageFolder());
    if (!sourceFinal || !packageFinal)
        return false;
    for (const auto& [outer, inner] :
         {std::pair{source, store_.CurrentPackageFolder()}, std::pair{*sourceFinal, *packageFinal}}) {
        if (StartsWith(ToLowerAscii(inner + "\\"), ToLowerAscii(outer + "\\")))
            return false;
    }
    if (!ports_.files.CreateDirectory(holder))
        return false;
    std::string name = source.substr(source.rfind('\\') + 1);
    // Links inside are left out rather than followed: a junction back to the application folder
    // would otherwise copy the store into itself, and one to elsewhere would store what the
    // folder does not hold.
    bool copied = CopyTreeWithoutLinks(ports_.files, ports_.ui, source, holder + "\\" + name,
                                       [this](const std::string& link) { Log(kLinkLeftOutLog + link); });
    return copied && IsFolder(ports_.files, holder + "\\" + name);
}

}  // namespace pellora
