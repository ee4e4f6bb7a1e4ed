// modFileOper: DeleteListedItems, which removal and quarantine housekeeping share. (Quarantine
// makes its own shell copies and moves, always without the shell's dialogs.) It works through
// lstCustomDelete, the list a caller fills with a folder tree (a folder before its contents):
// each path is tried as a file and as a folder, so one call removes every file and every folder
// that is empty by its turn, and callers repeat passes to take a tree down level by level.
#pragma once

#include <cstddef>
#include <string>

#include "core/app/app_state.h"
#include "core/ports/file_system.h"
#include "core/ports/ui.h"

namespace pellora {

class FileOperations {
  public:
    FileOperations(AppState& state, FileSystemPort& files, UiPort& ui) : state_(state), files_(files), ui_(ui) {}

    // Tries to delete every path of lstCustomDelete, yielding after each, and returns how many
    // paths were really removed. The statistics are the caller's business: the removal run counts
    // what it removed, quarantine housekeeping counts nothing.
    size_t DeleteListedItems();

  private:
    AppState& state_;
    FileSystemPort& files_;
    UiPort& ui_;
};

}  // namespace pellora
