// A scheduled task's definition as the Task Scheduler keeps it in the file below System32\Tasks:
// an XML document in UTF-16 LE with a byte-order mark (UTF-8, and UTF-16 without a mark, also
// occur). Only what says what a task starts is read: each Exec action's Command, Arguments and
// WorkingDirectory, each COM handler's class id, and Settings/Enabled.
//
// The reader is a small XML scanner of its own rather than a library: the XML libraries Debian
// packages (tinyxml2, pugixml) ship no sources the mingw build could compile. It takes
// elements, attributes, comments, processing instructions, CDATA, the predefined and numeric
// character references, and refuses document type declarations (no entity of a hostile file is
// ever expanded). It never recurses, limits the nesting depth and refuses definitions over
// kMaxTaskDefinitionLength without looking at them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellora::autostart {

inline constexpr size_t kMaxTaskDefinitionLength = 4 * 1024 * 1024;

struct TaskAction {
    enum class Kind { Exec, ComHandler };
    Kind kind = Kind::Exec;
    std::string command;  // Exec: Command; ComHandler: ClassId
    std::string arguments;
    std::string workingDirectory;
};

struct TaskDefinition {
    bool enabled = true;  // Settings/Enabled; a task without it is enabled
    std::vector<TaskAction> actions;
};

struct TaskReadResult {
    std::optional<TaskDefinition> definition;
    std::string problem;  // why there is no definition
};

TaskReadResult ReadTaskDefinition(std::string_view bytes);

}  // namespace pellora::autostart
