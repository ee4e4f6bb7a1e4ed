// Rights of the console program. pellora-cli runs with the rights of its command prompt
// (asInvoker), while an installed Pellora lives below Program Files, which only administrators
// may change, and removes machine-wide objects: when it lacks the rights for that it says so in
// one line, rather than leaving the user with a list of failures.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"

namespace pellora::cli {

inline constexpr const char* kElevatedPromptText = "run it from an elevated command prompt (Run as administrator)";

// The line to print when the application folder refuses writes.
std::string FolderRefusedText(const std::string& folder);
// True when creating a file in `folder` is refused for lack of rights (not for any other reason).
bool FolderRefusesWrites(const std::string& folder);
// True when this process runs with administrator rights (elevated, or no UAC).
bool ProcessIsElevated();

// True when the command changes the machine or Pellora's files beyond its log: removal,
// quarantine (a scan's too), restore and deletion of packages, the update, settings and folders.
// Refused while others may change the application folder; the other commands still run.
bool ChangesTheMachine(const Options& options);

// The line to print after a command ended with `exitCode`: removals, restores and deletions that
// left something behind in a process without administrator rights.
std::optional<std::string> ElevationHint(Command command, int exitCode, bool elevated);

}  // namespace pellora::cli
