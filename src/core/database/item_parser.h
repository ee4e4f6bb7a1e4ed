// Database lines and their splitting. An unlocked database line is the version line (entry 1),
// a comment ("#"), a reserved line ("@") or a signature item of four "|"-separated fields:
// type word, object, category and comment URL. ParseItem and ParseFile are the two splitting
// operations that the scan, removal, ignore list and quarantine share.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace pellora {

// Splits `text` at every `separator` (exact, letter case significant), left to right, into
// result[0], result[1], ... The text is consumed (empty on return). A text ending in a separator
// gives no empty last piece, one beginning with it an empty first piece, an empty text none; an
// empty separator leaves the text whole as one piece. Returns false when a piece has no room in
// `result`; the pieces before it are stored. Entries beyond the last piece are left as they
// were. It does not yield: callers yield once per line they handle.
[[nodiscard]] bool ParseItem(std::string& text, std::span<std::string> result, std::string_view separator);

// Splits `text` once at the last `separator`: result[0] = the part after it, result[1] = the
// part before it. Without a separator result[0] is the whole text, result[1] is left as it was
// and false is returned.
[[nodiscard]] bool ParseFile(std::string_view text, std::span<std::string, 2> result, std::string_view separator);

enum class LineKind { Version, Comment, Reserved, Signature };

// Kind of database entry `entryNumber` (1-based) holding `text`.
LineKind ClassifyLine(size_t entryNumber, std::string_view text);

// Item kinds, selected by the first four letters of the line in any letter case.
enum class ItemKind { Path, Folder, RegVal, RegKey, Cookie, File, RegSearch, Unknown };

ItemKind KindOfLine(std::string_view line);

// The item record: type word, object, category, comment URL.
struct SignatureItem {
    std::array<std::string, 4> fields;

    const std::string& type() const { return fields[0]; }
    const std::string& object() const { return fields[1]; }
    const std::string& category() const { return fields[2]; }
    const std::string& comment() const { return fields[3]; }
};

// Empties the record and splits `line` into it; fields beyond the fourth are dropped.
void SplitItem(std::string_view line, SignatureItem& item);

}  // namespace pellora
