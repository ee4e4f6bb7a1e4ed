// Reading the registry editor's export files far enough to tell whether a key is back: the
// file is cut into its key sections and, per section, its value lines (a value spread over
// several lines with "\" at their ends counts as one). Exports in UTF-16 (with its byte-order
// mark, as current editors write them) and in the single-byte form are both read.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace pellora {

// Key section (lower case, brackets kept) -> its value lines as written.
using ExportSections = std::map<std::string, std::set<std::string>>;

ExportSections ParseRegExport(std::string_view bytes);

// The first key section of an export that does not lie inside the key `keyPath` (compared in
// canonical form: letter case, the Classes views, the current user's SID `sid`), or nothing
// when every section does. Lines are cut wherever the registry editor may cut them (carriage
// return, line feed, NUL), blanks before the bracket and continued value lines count, and a
// section is taken both up to its first and up to its last "]"; a key deletion ("[-...]"), a
// "." or ".." name, a section that does not close and an export without any section are
// foreign too. Only an export that passes may be imported for the key.
std::optional<std::string> ForeignSection(std::string_view bytes, std::string_view keyPath, std::string_view sid);

// True when every key and every value line of `stored` is in `current` too. An export that
// holds no key at all holds nothing to compare and gives false.
bool ExportHolds(std::string_view stored, std::string_view current);

}  // namespace pellora
