#include "core/database/persistence_kinds.h"

#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

constexpr size_t kMaxTaskPathLength = 260;

}  // namespace

PersistenceKind PersistenceKindOfLine(std::string_view line) {
    const std::string word = ToLowerAscii(line.substr(0, line.find('|')));
    if (word == "task")
        return PersistenceKind::Task;
    if (word == "hosts")
        return PersistenceKind::Hosts;
    return PersistenceKind::None;
}

bool IsTaskPath(std::string_view path) {
    if (path.size() < 2 || path.size() > kMaxTaskPathLength || path[0] != '\\')
        return false;
    size_t pos = 1;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view name = path.substr(pos, end - pos);
        if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
            return false;
        for (unsigned char c : name) {
            if (c < 0x20 || c == 0x7F ||
                std::string_view("/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
                return false;
        }
        pos = end + 1;
    }
    return true;
}

bool IsWindowsTask(std::string_view path) {
    return StartsWithOrdinalIgnoreCase(path, "\\Microsoft\\");
}

}  // namespace pellora
