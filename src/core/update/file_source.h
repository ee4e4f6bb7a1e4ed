// The file source of the database update: a database offered as a file on a local disk or a
// share (for machines without internet access), with its detached signature beside it as
// PATH.sig. It only reads, with the same size limits as the downloader; the judging and the
// installation are DatabaseUpdate's, the same as for a download.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/ports/file_system.h"

namespace pellora {

struct OfferedFile {
    std::optional<std::string> bytes;  // set when read
    bool tooLarge = false;             // longer than the limit: nothing of it was kept
    std::string detail;                // why it could not be read
};

// Why `path` cannot be offered at all (none, or a folder): "" when it is a file.
std::string OfferedFileProblem(FileSystemPort& files, const std::string& path);
// Reads `path` when it is a file of at most `limit` bytes.
OfferedFile ReadOfferedFile(FileSystemPort& files, const std::string& path, uint64_t limit);

}  // namespace pellora
