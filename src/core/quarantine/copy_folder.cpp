#include "core/quarantine/copy_folder.h"

namespace pellora {

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
