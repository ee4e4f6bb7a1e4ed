// Task scheduler port: scheduled tasks by their full path ("\Folder\Name"), through the Task
// Scheduler's own interface. Definitions are task XML in UTF-8.
#pragma once

#include <optional>
#include <string>

#include "core/ports/presence.h"

namespace pellora {

class TaskSchedulerPort {
  public:
    virtual ~TaskSchedulerPort() = default;

    // Whether a task is registered at `path`; Unknown when the scheduler cannot say.
    virtual Presence ProbeTask(const std::string& path) = 0;
    // The registered task's definition; nothing when there is none or the scheduler gives none
    // (Wine's returns no definition for some tasks: the core then reads System32\Tasks).
    virtual std::optional<std::string> TaskDefinition(const std::string& path) = 0;
    // Deletes the task; false when the scheduler refused.
    virtual bool DeleteTask(const std::string& path) = 0;
    // Registers `definition` at `path` (creating its folders), replacing nothing: false when a
    // task is there already or the scheduler refused.
    virtual bool RegisterTask(const std::string& path, const std::string& definition) = 0;
};

}  // namespace pellora
