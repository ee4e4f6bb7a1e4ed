// Scheduled tasks through the Task Scheduler 2.0 interface (ITaskService): a task is reached
// through its folder and name, deleted with ITaskFolder::DeleteTask and registered from its XML
// with ITaskFolder::RegisterTask (missing folders created first).
#pragma once

#include "core/ports/task_scheduler.h"

namespace pellora::win32 {

class TaskSchedulerWin : public TaskSchedulerPort {
  public:
    Presence ProbeTask(const std::string& path) override;
    std::vector<Presence> ProbeTasks(const std::vector<std::string>& paths) override;
    std::optional<std::string> TaskDefinition(const std::string& path) override;
    bool DeleteTask(const std::string& path) override;
    bool RegisterTask(const std::string& path, const std::string& definition) override;
};

}  // namespace pellora::win32
