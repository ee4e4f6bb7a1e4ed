#include "core/removal/file_operations.h"

namespace pellora {

size_t FileOperations::DeleteListedItems() {
    size_t removed = 0;
    std::string path;
    // Events run inside Yield and may empty the list, so the bound is taken again every time.
    for (size_t i = 0; i < state_.lstCustomDelete.Count(); ++i) {
        path.assign(state_.lstCustomDelete[i]);
        std::optional<uint32_t> attributes = files_.GetAttributes(path);
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
