// Scheduled tasks by their full path, for the "task" item kind: what a path may be, which tasks
// are Windows' own, whether a task is there and what its definition is. The scheduler's word
// comes first; where it gives no definition (Wine's cannot return every task's), the file the
// scheduler keeps below System32\Tasks is read, and only when it is that very file (its final
// path is the Tasks folder's and the task path: no link, short name or ".." on the way).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/database/persistence_kinds.h"
#include "core/ports/file_system.h"
#include "core/ports/task_scheduler.h"

namespace pellora {

class ScheduledTasks {
  public:
    ScheduledTasks(TaskSchedulerPort& scheduler, FileSystemPort& files, std::string systemDirectory)
        : scheduler_(scheduler), files_(files), systemDirectory_(std::move(systemDirectory)) {}

    // The scheduler's answer; when it cannot say, whether the definition file is there.
    Presence TaskPresence(const std::string& path);
    // The same for many paths, in their order, the scheduler asked about all at once.
    std::vector<Presence> Presences(const std::vector<std::string>& paths);
    // The definition as the scheduler gives it, else its file's bytes (at most
    // kMaxTaskDefinitionLength); nothing when neither gives one.
    std::optional<std::string> Definition(const std::string& path);

  private:
    std::optional<std::string> DefinitionFile(const std::string& path);

    TaskSchedulerPort& scheduler_;
    FileSystemPort& files_;
    std::string systemDirectory_;
};

}  // namespace pellora
