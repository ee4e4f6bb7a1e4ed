#include "core/database/item_parser.h"

#include <utility>

#include "core/util/text.h"

namespace pellora {

bool ParseItem(std::string& text, std::span<std::string> result, std::string_view separator) {
    // Taken out first: the text is consumed whatever happens, and it may be one of the result
    // entries itself (a field split in place), which the stores below would overwrite.
    std::string rest = std::move(text);
    text.clear();
    // An empty separator would match everywhere and never shorten the text: one piece.
    size_t step = separator.empty() ? 0 : separator.size();
    size_t k = 0;
    size_t pos = 0;
    while (pos < rest.size()) {
        size_t hit = step == 0 ? std::string::npos : rest.find(separator, pos);
        size_t end = hit == std::string::npos ? rest.size() : hit;
        if (k >= result.size())
            return false;
        result[k++] = rest.substr(pos, end - pos);
        pos = hit == std::string::npos ? rest.size() : hit + step;
    }
    return true;
}

bool ParseFile(std::string_view text, std::span<std::string, 2> result, std::string_view separator) {
    size_t hit = separator.empty() ? std::string_view::npos : text.rfind(separator);
    if (hit == std::string_view::npos) {
        result[0] = std::string(text);
        return false;
    }
    // Both pieces are built before either entry is stored: `text` may view one of them.
    std::string after(text.substr(hit + separator.size()));
    std::string before(text.substr(0, hit));
    result[0] = std::move(after);
    result[1] = std::move(before);
    return true;
}

LineKind ClassifyLine(size_t entryNumber, std::string_view text) {
    if (entryNumber <= 1)
        return LineKind::Version;
    if (!text.empty() && text[0] == '#')
        return LineKind::Comment;
    if (!text.empty() && text[0] == '@')
        return LineKind::Reserved;
    return LineKind::Signature;
}

ItemKind KindOfLine(std::string_view line) {
    std::string kind = ToLowerAscii(line.substr(0, 4));
    if (kind == "path")
        return ItemKind::Path;
    if (kind == "fold")
        return ItemKind::Folder;
    if (kind == "regv")
        return ItemKind::RegVal;
    if (kind == "regk")
        return ItemKind::RegKey;
    if (kind == "cook")
        return ItemKind::Cookie;
    if (kind == "file")
        return ItemKind::File;
    if (kind == "regs")
        return ItemKind::RegSearch;
    return ItemKind::Unknown;
}

void SplitItem(std::string_view line, SignatureItem& item) {
    for (auto& field : item.fields)
        field.clear();
    std::string text(line);
    // A fifth field has no room: the first four stay, the rest is dropped.
    (void)ParseItem(text, item.fields, "|");
}

}  // namespace pellora
