#include "core/database/item_parser.h"

#include "core/util/text.h"

namespace pellora {

bool ParseItem(std::string& text, std::span<std::string> result, std::string_view separator) {
    size_t k = 0;
    bool ok = true;
    while (!text.empty()) {
        size_t hit = separator.empty() ? std::string::npos : text.find(separator);
        std::string piece = hit == std::string::npos ? text : text.substr(0, hit);
        if (k >= result.size()) {
            ok = false;
            text.clear();
            break;
        }
        result[k++] = std::move(piece);
        if (hit == std::string::npos) {
            text.clear();
        } else {
            text.erase(0, hit + separator.size());
        }
    }
    return ok;
}

bool ParseFile(std::string_view text, std::span<std::string, 2> result, std::string_view separator) {
    size_t hit = separator.empty() ? std::string_view::npos : text.rfind(separator);
    if (hit == std::string_view::npos) {
        result[0] = std::string(text);
        return false;
    }
    result[0] = std::string(text.substr(hit + separator.size()));
    result[1] = std::string(text.substr(0, hit));
    return true;
}

LineKind ClassifyLine(size_t entryNumber, std::string_view text) {
    if (entryNumber <= 1) return LineKind::Version;
    if (!text.empty() && text[0] == '#') return LineKind::Comment;
    if (!text.empty() && text[0] == '@') return LineKind::Reserved;
    return LineKind::Signature;
}

ItemKind KindOfLine(std::string_view line) {
    std::string kind = ToLowerAscii(line.substr(0, 4));
    if (kind == "path") return ItemKind::Path;
    if (kind == "fold") return ItemKind::Folder;
    if (kind == "regv") return ItemKind::RegVal;
    if (kind == "regk") return ItemKind::RegKey;
    if (kind == "cook") return ItemKind::Cookie;
    if (kind == "file") return ItemKind::File;
    if (kind == "regs") return ItemKind::RegSearch;
    return ItemKind::Unknown;
}

void SplitItem(std::string_view line, SignatureItem& item) {
    for (auto& field : item.fields) field.clear();
    std::string text(line);
    // A fifth field has no room: the first four stay, the rest is dropped.
    (void)ParseItem(text, item.fields, "|");
}

}  // namespace pellora
