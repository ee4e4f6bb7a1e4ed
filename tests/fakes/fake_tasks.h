// An in-memory task scheduler: definitions by task path, compared without case. With
// `givesDefinitions` false it answers presence but no definition, as Wine's does for some tasks.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "core/ports/task_scheduler.h"
#include "core/util/case_fold.h"

namespace pellora::fakes {

class FakeTaskScheduler : public TaskSchedulerPort {
  public:
    Presence ProbeTask(const std::string& path) override {
        if (unknown)
            return Presence::Unknown;
        return tasks.count(FoldOrdinal(path)) ? Presence::Present : Presence::Absent;
    }
    std::optional<std::string> TaskDefinition(const std::string& path) override {
        auto task = tasks.find(FoldOrdinal(path));
        if (!givesDefinitions || task == tasks.end())
            return std::nullopt;
        return task->second;
    }
    bool DeleteTask(const std::string& path) override {
        if (refuseDelete)
            return false;
        tasks.erase(FoldOrdinal(path));
        return true;
    }
    bool RegisterTask(const std::string& path, const std::string& definition) override {
        return tasks.emplace(FoldOrdinal(path), definition).second;
    }

    std::map<std::string, std::string> tasks;  // by folded path
    bool givesDefinitions = true;
    bool unknown = false;  // the scheduler cannot say whether a task is there
    bool refuseDelete = false;
};

}  // namespace pellora::fakes
