// Path helpers of the protected set, shared by its file and key halves.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

// `text` split at `separator`, empty parts left out.
std::vector<std::string> SplitAt(std::string_view text, char separator);
// One component as Windows opens it: trailing dots and blanks and any ":stream" dropped, folded.
std::string CleanComponent(std::string_view component);
// A name in the 8.3 short form, "abcdef~1" or "abcdef~1.ext": its first part, else nothing.
std::optional<std::string> ShortNamePrefix(const std::string& name);
// The long name as the 8.3 generator sees it: no blanks, no dots.
std::string Squeezed(const std::string& name);
// The folders above a final path, nearest first, without the drive or share itself.
std::vector<std::string> AncestorsOf(const std::string& finalPath);
// Two cleaned components name the same entry (equal, or one is the other's 8.3 short name).
bool ComponentMatches(const std::string& a, const std::string& b);
// `candidate` lies strictly below `folder` (component lists).
bool IsBelow(const std::vector<std::string>& candidate, const std::vector<std::string>& folder);
// The first `count` components joined, each followed by a backslash.
std::string JoinPath(const std::vector<std::string>& parts, size_t count);

}  // namespace pellora
