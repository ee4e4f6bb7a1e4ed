#include "core/removal/file_operations.h"

namespace pellora {

size_t FileOperations::DeleteListedItems(CheckedRows* checked) {
    size_t removed = 0;
    std::string path;
    // Events run inside Yield and may empty the list, so the bound is taken again every time.
    // (Were the rows to shift, a file would be given another row's identity and stay: the
    // identity only ever holds a deletion back.)
    for (size_t i = 0; i < state_.lstCustomDelete.Count(); ++i) {
        path.assign(state_.lstCustomDelete[i]);
        std::optional<uint32_t> attributes = files_.GetAttributes(path);
        if (checked && attributes && !(*attributes & file_attr::kDirectory)) {
            const std::optional<FileIdentity> none;
            const std::optional<FileIdentity>& identity = i < checked->byRow.size() ? checked->byRow[i] : none;
            auto outcome =
                identity ? files_.DeleteFileIfSame(path, *identity) : FileSystemPort::CheckedDelete::NotTheChecked;
            if (outcome == FileSystemPort::CheckedDelete::Deleted)
                ++removed;
            else if (outcome == FileSystemPort::CheckedDelete::NotTheChecked)
                checked->notDeleted.push_back(path);
            ui_.Yield();
            continue;
        }
        if (attributes) {
            // A link is removed as itself; its attributes are left alone so that nothing is
            // changed on whatever it points to.
            if (!(*attributes & file_attr::kReparsePoint))
                files_.SetAttributes(path, file_attr::kNormal);
            if (files_.DeleteFile(path) || files_.RemoveDirectory(path))
                ++removed;
        }
        ui_.Yield();
    }
    return removed;
}

}  // namespace pellora
