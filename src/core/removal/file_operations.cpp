#include "core/removal/file_operations.h"

namespace pellora {

uint32_t FileOperations::ShellFlags() {
    // The shell's questions and error boxes would hold an unattended run until somebody came.
    return ui_.Unattended() ? shell_flags::kUnattended : 0;
}

int FileOperations::ShellFileCopy(const std::string& source, const std::string& destination) {
    return shell_.FileOperation(ShellOp::Copy, source, destination, ShellFlags());
}

int FileOperations::ShellFileMove(const std::string& source, const std::string& destination) {
    return shell_.FileOperation(ShellOp::Move, source, destination, ShellFlags());
}

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
