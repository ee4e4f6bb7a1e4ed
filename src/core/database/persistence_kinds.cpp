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
    if (word == "shortcut")
        return PersistenceKind::Shortcut;
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

std::string ShortcutTextRefusal(std::string_view text) {
    if (TrimSpaces(text).empty())
        return "a blank text matches every shortcut";
    size_t characters = 0;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return "the text holds a control character";
        characters += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    if (characters > kMaxShortcutTextLength)
        return "the text is longer than " + std::to_string(kMaxShortcutTextLength) + " characters";
    return {};
}

std::string LooseShortcutText(std::string_view text) {
    const std::string trimmed = ToLowerAscii(TrimSpaces(text));
    if (trimmed.size() < 4)
        return "a text shorter than 4 characters matches too many shortcuts";
    for (const char* common : {".exe", "http", "https", "http:", "https:", "http://", "https://", "www.",
                               "program files", "c:\\", "c:\\windows", "c:\\program files", ".lnk", ".url"}) {
        if (trimmed == common)
            return "\"" + std::string(text) + "\" is part of nearly every shortcut";
    }
    return {};
}

bool IsWindowsTask(std::string_view path) {
    return StartsWithOrdinalIgnoreCase(path, "\\Microsoft\\");
}

}  // namespace pellora
