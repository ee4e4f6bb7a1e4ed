#include "core/autostart/scheduled_task.h"

#include "core/autostart/task_definition.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

Presence ScheduledTasks::TaskPresence(const std::string& path) {
    if (!IsTaskPath(path))
        return Presence::Absent;
    const Presence answer = scheduler_.ProbeTask(path);
    if (answer != Presence::Unknown)
        return answer;
    return DefinitionFile(path) ? Presence::Present : Presence::Unknown;
}

std::optional<std::string> ScheduledTasks::Definition(const std::string& path) {
    if (!IsTaskPath(path))
        return std::nullopt;
    // A definition without its actions or their commands (Wine's scheduler gives them so) would
    // register an empty task at restore: the file the scheduler keeps is taken instead.
    std::optional<std::string> definition = scheduler_.TaskDefinition(path);
    if (definition && !definition->empty()) {
        const autostart::TaskReadResult read = autostart::ReadTaskDefinition(*definition);
        bool complete = read.definition && !read.definition->actions.empty();
        for (size_t i = 0; complete && i < read.definition->actions.size(); ++i)
            complete = !read.definition->actions[i].command.empty();
        if (complete)
            return definition;
    }
    if (std::optional<std::string> file = DefinitionFile(path))
        return file;
    if (definition && !definition->empty())
        return definition;
    return std::nullopt;
}

std::optional<std::string> ScheduledTasks::DefinitionFile(const std::string& path) {
    if (systemDirectory_.empty())
        return std::nullopt;
    const std::string folder = systemDirectory_ + "\\Tasks";
    const std::string file = folder + path;
    const std::optional<std::string> folderFinal = files_.FinalPath(folder);
    const std::optional<FileIdentity> identity = files_.Identify(file);
    if (!folderFinal || !identity || (identity->attributes & (file_attr::kDirectory | file_attr::kReparsePoint)) ||
        FoldOrdinal(identity->finalPath) != FoldOrdinal(*folderFinal + path))
        return std::nullopt;
    return files_.ReadFileUpTo(file, autostart::kMaxTaskDefinitionLength);
}

}  // namespace pellora
