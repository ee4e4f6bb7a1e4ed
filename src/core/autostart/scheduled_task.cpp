#include "core/autostart/scheduled_task.h"

#include "core/autostart/task_definition.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

Presence ScheduledTasks::TaskPresence(const std::string& path) {
    return Presences({path}).front();
}

std::vector<Presence> ScheduledTasks::Presences(const std::vector<std::string>& paths) {
    std::vector<std::string> asked;
    for (const std::string& path : paths) {
        if (IsTaskPath(path))
            asked.push_back(path);
    }
    const std::vector<Presence> answers = asked.empty() ? std::vector<Presence>{} : scheduler_.ProbeTasks(asked);
    std::vector<Presence> out;
    out.reserve(paths.size());
    size_t next = 0;
    for (const std::string& path : paths) {
        if (!IsTaskPath(path)) {
            out.push_back(Presence::Absent);
            continue;
        }
        const Presence answer = next < answers.size() ? answers[next] : Presence::Unknown;
        ++next;
        // Where the scheduler cannot say, the file it keeps does.
        out.push_back(answer != Presence::Unknown ? answer
                      : DefinitionFile(path)      ? Presence::Present
                                                  : Presence::Unknown);
    }
    return out;
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
