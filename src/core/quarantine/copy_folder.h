// modCopyFolder: copies a folder with its whole tree into an existing folder through the shell,
// which places the copy under the source's own name and replaces files of the same name there
// without asking; it shows nothing, not even an error. Quarantine uses it to store a folder and restore uses it to put
// one back.
#pragma once

#include <string>

#include "core/ports/file_system.h"
#include "core/ports/shell.h"

namespace pellora {

// The folder part of a full path ("C:\" for "C:\x.exe"); empty when there is none.
std::string ParentFolderOf(const std::string& path);

// True when `path` names an existing folder (a link to a folder counts).
bool IsFolder(FileSystemPort& files, const std::string& path);

// False without copying when `destination` is not an existing folder; otherwise the shell's
// verdict. A trailing backslash on `source` is ignored.
[[nodiscard]] bool CopyFolderInto(ShellPort& shell,
                                  FileSystemPort& files,
                                  std::string source,
                                  const std::string& destination);

}  // namespace pellora
