// modFileOper: DeleteListedItems, which removal and quarantine housekeeping share. (Quarantine
// makes its own shell copies and moves, always without the shell's dialogs.) It works through
// lstCustomDelete, the list a caller fills with a folder tree (a folder before its contents):
// each path is tried as a file and as a folder, so one call removes every file and every folder
// that is empty by its turn, and callers repeat passes to take a tree down level by level.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/state/app_state.h"
#include "core/ports/file_system.h"
#include "core/ports/ui.h"

namespace pellora {

class FileOperations {
  public:
    FileOperations(AppState& state, FileSystemPort& files, UiPort& ui) : state_(state), files_(files), ui_(ui) {}

    // What the caller checked the listed paths as, row by row: a file is deleted only while
    // it is still the object its row was checked as, and a file whose row has no identity is
    // not deleted at all (folders are removed only when empty, so they need none). The paths
    // of files left for that reason are collected in `notDeleted`.
    struct CheckedRows {
        std::vector<std::optional<FileIdentity>> byRow;
        std::vector<std::string> notDeleted;
    };

    // Tries to delete every path of lstCustomDelete, yielding after each, and returns how many
    // paths were really removed. The statistics are the caller's business: the removal run counts
    // what it removed, quarantine housekeeping counts nothing.
    size_t DeleteListedItems(CheckedRows* checked = nullptr);

  private:
    AppState& state_;
    FileSystemPort& files_;
    UiPort& ui_;
};

}  // namespace pellora
