// Task scheduler port: scheduled tasks by their full path ("\Folder\Name"), through the Task
// Scheduler's own interface. Definitions are task XML in UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/ports/presence.h"

namespace pellora {

class TaskSchedulerPort {
  public:
    virtual ~TaskSchedulerPort() = default;

    // Whether a task is registered at `path`; Unknown when the scheduler cannot say.
    virtual Presence ProbeTask(const std::string& path) = 0;
    // The same for many tasks at once, in their order (a scan asks for every task item of the
    // database): a platform may answer them over one connection.
    virtual std::vector<Presence> ProbeTasks(const std::vector<std::string>& paths) {
        std::vector<Presence> out;
        out.reserve(paths.size());
        for (const std::string& path : paths)
            out.push_back(ProbeTask(path));
        return out;
    }
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
