// modFileOper: the three file operations that removal, quarantine and the registry backup share.
// Copies and moves of single files go through the shell's file operation with no option flags,
// so the shell shows its own progress, questions and errors, except in an unattended run, where
// it shows none of them. DeleteListedItems works through
// lstCustomDelete, the list a caller fills with a folder tree (a folder before its contents):
// each path is tried as a file and as a folder, so one call removes every file and every folder
// that is empty by its turn, and callers repeat passes to take a tree down level by level.
#pragma once

#include <cstddef>
#include <string>

#include "core/app/app_state.h"
#include "core/ports/file_system.h"
#include "core/ports/shell.h"
#include "core/ports/ui.h"

namespace pellora {

class FileOperations {
  public:
    FileOperations(AppState& state, FileSystemPort& files, ShellPort& shell, UiPort& ui)
        : state_(state), files_(files), shell_(shell), ui_(ui) {}

    // The shell's result: 0 on success.
    int ShellFileCopy(const std::string& source, const std::string& destination);
    int ShellFileMove(const std::string& source, const std::string& destination);

    // Tries to delete every path of lstCustomDelete, yielding after each, and returns how many
    // paths were really removed. The statistics are the caller's business: the removal run counts
    // what it removed, quarantine housekeeping counts nothing.
    size_t DeleteListedItems();

  private:
    // No shell dialogs while the run is unattended.
    uint32_t ShellFlags();

    AppState& state_;
    FileSystemPort& files_;
    ShellPort& shell_;
    UiPort& ui_;
};

}  // namespace pellora
