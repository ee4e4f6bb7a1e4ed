#include "core/quarantine/copy_folder.h"

namespace pellora {

std::string ParentFolderOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash == 0)
        return std::string();
    std::string parent = path.substr(0, slash);
    // "C:" alone names the drive's current folder, not its root.
    if (parent.size() == 2 && parent[1] == ':')
        parent += '\\';
    return parent;
}

bool IsFolder(FileSystemPort& files, const std::string& path) {
    if (path.empty())
        return false;
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    return attributes && (*attributes & file_attr::kDirectory);
}

bool CopyFolderInto(ShellPort& shell, FileSystemPort& files, std::string source, const std::string& destination) {
    if (!source.empty() && source.back() == '\\')
        source.pop_back();
    if (!IsFolder(files, destination))
        return false;
    return shell.FileOperation(ShellOp::Copy, source, destination, shell_flags::kNoUi) == 0;
}

}  // namespace pellora
