// Reading the registry editor's export files far enough to tell whether a key is back: the
// file is cut into its key sections and, per section, its value lines (a value spread over
// several lines with "\" at their ends counts as one). Exports in UTF-16 (with its byte-order
// mark, as current editors write them) and in the single-byte form are both read.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace pellora {

// Key section (lower case, brackets kept) -> its value lines as written.
using ExportSections = std::map<std::string, std::set<std::string>>;

ExportSections ParseRegExport(std::string_view bytes);

// True when every key and every value line of `stored` is in `current` too. An export that
// holds no key at all holds nothing to compare and gives false.
bool ExportHolds(std::string_view stored, std::string_view current);

}  // namespace pellora
