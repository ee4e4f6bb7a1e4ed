// How the protected set reads a path: its components as Windows resolves them (prefixes,
// "..", trailing dots and blanks, streams, 8.3 short names), compared without regard to case.
#include "core/removal/protected_paths.h"

#include <algorithm>
#include <cctype>

#include "core/removal/protected_objects.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

std::vector<std::string> SplitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t hit = text.find(separator, pos);
        if (hit == std::string_view::npos)
            hit = text.size();
        if (hit > pos)
            parts.emplace_back(text.substr(pos, hit - pos));
        pos = hit + 1;
    }
    return parts;
}

// Windows drops trailing dots and blanks of a name, and "name:stream" opens the file "name".
std::string CleanComponent(std::string_view component) {
    size_t colon = component.find(':');
    if (colon != std::string_view::npos)
        component = component.substr(0, colon);
    while (!component.empty() && (component.back() == '.' || component.back() == ' '))
        component.remove_suffix(1);
    // Letters beyond ASCII in the system's folded form, so "ÉMILE" and "émile" are one name.
    return ToLowerAscii(FoldOrdinal(component));
}

// A name in the 8.3 short form, "abcdef~1" or "abcdef~1.ext": its first part, else nothing.
std::optional<std::string> ShortNamePrefix(const std::string& name) {
    size_t tilde = name.find('~');
    if (tilde == std::string::npos || tilde == 0 || tilde > 6)
        return std::nullopt;
    size_t digits = tilde + 1;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits])))
        ++digits;
    if (digits == tilde + 1)
        return std::nullopt;
    if (digits != name.size() && name[digits] != '.')
        return std::nullopt;
    return name.substr(0, tilde);
}

// The long name as the 8.3 generator sees it: no blanks, no dots.
std::string Squeezed(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c != ' ' && c != '.')
            out += c;
    }
    return out;
}

// The folders above a final path, nearest first, without the drive or share itself.
std::vector<std::string> AncestorsOf(const std::string& finalPath) {
    std::vector<std::string> ancestors;
    size_t rootEnd = 2;
    if (StartsWith(finalPath, "\\\\")) {
        rootEnd = finalPath.find('\\', 2);
        if (rootEnd != std::string::npos)
            rootEnd = finalPath.find('\\', rootEnd + 1);
        if (rootEnd == std::string::npos)
            return ancestors;
    }
    size_t end = finalPath.rfind('\\');
    while (end != std::string::npos && end > rootEnd) {
        ancestors.push_back(finalPath.substr(0, end));
        end = finalPath.rfind('\\', end - 1);
    }
    return ancestors;
}

bool ComponentMatches(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (auto prefix = ShortNamePrefix(a); prefix && StartsWith(Squeezed(b), *prefix))
        return true;
    if (auto prefix = ShortNamePrefix(b); prefix && StartsWith(Squeezed(a), *prefix))
        return true;
    return false;
}

bool IsBelow(const std::vector<std::string>& candidate, const std::vector<std::string>& folder) {
    return candidate.size() > folder.size() &&
           std::equal(folder.begin(), folder.end(), candidate.begin(), ComponentMatches);
}

std::string JoinPath(const std::vector<std::string>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
        path += parts[i];
        path += '\\';
    }
    return path;
}

std::optional<std::vector<std::string>> NormalisePath(std::string_view input) {
    std::string path(input);
    std::replace(path.begin(), path.end(), '/', '\\');
    path = TrimSpaces(path);
    // Device and long-path prefixes name the same objects as the plain path.
    for (std::string_view prefix : {"\\\\?\\unc\\", "\\\\.\\unc\\"}) {
        if (StartsWith(ToLowerAscii(path.substr(0, prefix.size())), prefix)) {
            path = "\\\\" + path.substr(prefix.size());
        }
    }
    for (std::string_view prefix : {"\\\\?\\", "\\\\.\\", "\\??\\"}) {
        if (StartsWith(path, prefix))
            path = path.substr(prefix.size());
    }

    std::vector<std::string> parts;
    std::vector<std::string> below;
    if (StartsWith(path, "\\\\")) {
        below = SplitAt(std::string_view(path).substr(2), '\\');
        if (below.size() < 2)
            return std::nullopt;
        parts.push_back("\\\\" + CleanComponent(below[0]) + "\\" + CleanComponent(below[1]));
        below.erase(below.begin(), below.begin() + 2);
    } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        // "C:name" is relative to the drive's current folder: not a full path.
        if (path.size() > 2 && path[2] != '\\')
            return std::nullopt;
        parts.push_back(ToLowerAscii(path.substr(0, 2)));
        below = SplitAt(std::string_view(path).substr(2), '\\');
    } else {
        return std::nullopt;
    }

    for (const std::string& raw : below) {
        if (raw == "..") {
            if (parts.size() > 1)
                parts.pop_back();
            continue;
        }
        std::string component = CleanComponent(raw);
        if (component.empty())
            continue;  // ".", "...", blanks: the same folder
        parts.push_back(std::move(component));
    }
    return parts;
}

bool IsSameOrAbove(const std::vector<std::string>& candidate, const std::vector<std::string>& folder) {
    return !candidate.empty() && candidate.size() <= folder.size() &&
           std::equal(candidate.begin(), candidate.end(), folder.begin(), ComponentMatches);
}

}  // namespace pellora
