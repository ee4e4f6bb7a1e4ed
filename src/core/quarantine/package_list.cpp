// The quarantine panel: the package list with sizes and item counts, the contents of one
// package, deleting packages, and the helpers the handlers share.
#include "core/quarantine/quarantine.h"

#include <algorithm>

#include "core/quarantine/copy_folder.h"
#include "core/quarantine/tree_walk.h"
#include "core/scan/scan_report.h"
#include "core/util/text.h"

namespace pellora {

void Quarantine::LoadToQuarantineList() {
    state_.lstQuarantinedList.clear();
    state_.lstQuarantinedFiles.clear();
    state_.highlightedPackage = -1;
    std::string root = store_.RootFolder();
    finder_.CollectFileNames(root, "*.*", state_.lstQuarantinedFiles, false);
    state_.status.noQuarantined = std::to_string(state_.lstQuarantinedFiles.size());

    // Built aside: the listings yield, and an event meanwhile must not see half a list.
    std::vector<std::string> names = state_.lstQuarantinedFiles;
    std::vector<QuarantinePackageRow> rows;
    std::vector<std::string> scratch;
    const std::string separator = ports_.system.DecimalSeparator();
    for (const std::string& name : names) {
        std::string package = root + "\\" + name;
        uint64_t size = 0;
        size_t items = 0;
        std::optional<uint32_t> attributes = ports_.files.GetAttributes(package);
        // A link is not followed: what it points to is not part of the store.
        if (attributes && (*attributes & file_attr::kDirectory) && !IsLink(ports_.files, package)) {
            std::vector<TreeEntry> entries;
            (void)ListTreeWithoutLinks(ports_.files, ports_.ui, package, entries, nullptr);
            // The listings leave "desktop.ini" out everywhere, sizes included.
            for (const TreeEntry& entry : entries) {
                if (!EndsWith(entry.path, "\\desktop.ini"))
                    size += entry.size;
            }
            scratch.clear();
            finder_.CollectFileNames(package, "*.qnf", scratch, false);
            items = static_cast<size_t>(std::count_if(scratch.begin(), scratch.end(), IsRecordName));
        }
        rows.push_back(QuarantinePackageRow{name, SizeText(size, separator), std::to_string(items), false});
    }
    state_.lstQuarantinedList = std::move(rows);
    ports_.ui.Changed(View::QuarantineList);
    ports_.ui.Changed(View::StatusFigures);
}

std::string Quarantine::PackageCaption(const std::string& packageName, size_t items) {
    std::string caption = "Package " + packageName;
    // A package is named by the end of its scan.
    if (std::optional<LocalTime> made = ParseScanStamp(packageName))
        caption += " (scan of " + LogDateTime(ports_.clock, *made) + ")";
    return caption + ": " + std::to_string(items) + (items == 1 ? " item" : " items");
}

void Quarantine::cmdViewData() {
    int row = state_.highlightedPackage;
    if (row < 0 || static_cast<size_t>(row) >= state_.lstQuarantinedList.size())
        return;
    std::string packageName = state_.lstQuarantinedList[row].name;
    if (packageName.empty())
        return;

    state_.lstQuarantinedItems.clear();
    state_.lstQuarBuffer.clear();
    finder_.CollectFileNames(store_.PackageFolder(packageName), "*.qnf", state_.lstQuarBuffer, false);
    std::vector<std::string> recordNames = state_.lstQuarBuffer;
    std::vector<QuarantinedItemRow> items;
    for (const std::string& recordName : recordNames) {
        std::string text;
        if (IsRecordName(recordName) && store_.LoadLineFromFile(packageName + "\\" + recordName, text)) {
            QuarantineRecord record = ParseRecord(std::move(text));
            ObjectImage image = ImageOfRecordType(record.type);
            if (image != kImageNone) {
                std::string place = OriginalPlace(record);
                items.push_back(
                    QuarantinedItemRow{record.type, image, record.storedItem, record.source, std::move(place)});
            }
        }
        ports_.ui.Yield();
    }
    state_.quarantineItemsCaption = PackageCaption(packageName, items.size());
    state_.lstQuarantinedItems = std::move(items);
    ports_.ui.Changed(View::QuarantineItems);
    if (hooks.showQItems) {
        hooks.showQItems();
    } else {
        state_.panel = Panel::QItems;
        ports_.ui.Changed(View::Panel);
    }
}

void Quarantine::cmdDeleteQuarantined() {
    if (running_)
        return;
    RunningGuard guard(running_);
    for (const std::string& name : CheckedPackages()) {
        // An empty name would make the quarantine root itself the package.
        if (name.empty())
            continue;
        std::string package = store_.PackageFolder(name);
        std::optional<uint32_t> attributes = ports_.files.GetAttributes(package);
        if (attributes && !(*attributes & file_attr::kDirectory)) {
            // A stray file in the quarantine root is listed as a package; deleting it means the file.
            RemoveStoreFile(package);
        } else if (attributes) {
            DeleteTreeInPasses(package);
            ports_.files.RemoveDirectory(package);
        }
        ports_.ui.Yield();
    }
    LoadToQuarantineList();
    ports_.ui.Yield();
}

std::vector<std::string> Quarantine::CheckedPackages() const {
    std::vector<std::string> names;
    for (const QuarantinePackageRow& row : state_.lstQuarantinedList) {
        if (row.checked)
            names.push_back(row.name);
    }
    return names;
}

void Quarantine::DeleteTreeInPasses(const std::string& folder) {
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(folder);
    if (!attributes || !(*attributes & file_attr::kDirectory) || IsLink(ports_.files, folder))
        return;

    // The listing runs only while the busy flag is set. The flag is given back as it was found,
    // so that a scan waiting for its removal run stays protected from an automatic scan.
    bool wasBusy = state_.busy;
    state_.busy = true;
    // A link in the store is taken away itself, never what it points to.
    auto removeLink = [this](const std::string& link) {
        std::optional<uint32_t> linkAttributes = ports_.files.GetAttributes(link);
        if (linkAttributes && (*linkAttributes & file_attr::kDirectory)) {
            ports_.files.RemoveDirectory(link);
        } else {
            ports_.files.DeleteFile(link);
        }
    };
    std::vector<TreeEntry> entries;
    for (int pass = 0; pass < kDeletePasses && state_.busy; ++pass) {
        state_.lstCustomDelete.Clear();
        entries.clear();
        (void)ListTreeWithoutLinks(ports_.files, ports_.ui, folder, entries, removeLink);
        for (const TreeEntry& entry : entries)
            state_.lstCustomDelete.Add(entry.path);
        if (state_.lstCustomDelete.Empty())
            break;
        (void)fileOps_.DeleteListedItems();
    }
    state_.lstCustomDelete.Clear();
    state_.busy = wasBusy;
}

void Quarantine::RemoveStoreFile(const std::string& path) {
    if (!IsFile(path))
        return;
    ports_.files.SetAttributes(path, file_attr::kNormal);
    ports_.files.DeleteFile(path);
}

bool Quarantine::IsFile(const std::string& path) {
    std::optional<uint32_t> attributes = ports_.files.GetAttributes(path);
    return attributes && !(*attributes & file_attr::kDirectory);
}

}  // namespace pellora
