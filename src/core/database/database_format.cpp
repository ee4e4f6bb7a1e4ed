#include "core/database/database_format.h"

#include <algorithm>

#include "core/database/item_parser.h"
#include "core/database/unlock.h"
#include "core/settings/settings_files.h"
#include "core/util/hex.h"
#include "core/util/sha256.h"
#include "core/util/text.h"

namespace pellora {

namespace {

struct TrailerFigures {
    size_t items = 0;
    std::string digest;
};

TrailerFigures FiguresOf(std::span<const std::string> lines) {
    TrailerFigures figures;
    Sha256 hash;
    for (size_t n = 0; n < lines.size(); ++n) {
        hash.Update(lines[n]);
        hash.Update("\n");
        if (ClassifyLine(n + 1, lines[n]) == LineKind::Signature)
            ++figures.items;
    }
    figures.digest = hash.FinishHex();
    return figures;
}

// "@end items=N sha256=HEX" exactly: nothing when the line is not of that form.
std::optional<TrailerFigures> ParseTrailer(std::string_view line) {
    constexpr std::string_view kItems = "@end items=";
    constexpr std::string_view kDigest = " sha256=";
    if (!line.starts_with(kItems))
        return std::nullopt;
    line.remove_prefix(kItems.size());
    const size_t blank = line.find(' ');
    int64_t items = 0;
    if (blank == 0 || blank == std::string_view::npos || !ParseWholeNumber(line.substr(0, blank), items))
        return std::nullopt;
    TrailerFigures figures;
    figures.items = static_cast<size_t>(items);
    line.remove_prefix(blank);
    if (!line.starts_with(kDigest) || line.size() != kDigest.size() + 64)
        return std::nullopt;
    figures.digest = std::string(line.substr(kDigest.size()));
    for (char c : figures.digest) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return std::nullopt;
    }
    return figures;
}

}  // namespace

bool IsTrailerLine(std::string_view line) {
    return line.starts_with(kTrailerKeyword) &&
           (line.size() == kTrailerKeyword.size() || line[kTrailerKeyword.size()] == ' ');
}

std::string TrailerLine(std::span<const std::string> lines) {
    const TrailerFigures figures = FiguresOf(lines);
    return std::string(kTrailerKeyword) + " items=" + std::to_string(figures.items) + " sha256=" + figures.digest;
}

DatabaseIntegrity CheckDatabaseIntegrity(std::span<const std::string> lines) {
    DatabaseIntegrity integrity;
    size_t trailerAt = lines.size();
    bool reserved = false;
    for (size_t n = 1; n < lines.size(); ++n) {
        if (ClassifyLine(n + 1, lines[n]) != LineKind::Reserved)
            continue;
        reserved = true;
        if (IsTrailerLine(lines[n]) && trailerAt == lines.size())
            trailerAt = n;
    }
    if (!reserved) {
        integrity.result = DatabaseIntegrity::Result::Unchecked;
        integrity.detail = "it is of the older format, without a trailer line, so nothing proves it whole";
        return integrity;
    }
    if (trailerAt == lines.size()) {
        integrity.detail = "its trailer line is missing (the file was cut short or damaged)";
        return integrity;
    }
    if (trailerAt + 1 != lines.size()) {
        integrity.detail = std::to_string(lines.size() - trailerAt - 1) + " lines follow its trailer line (line " +
                           std::to_string(trailerAt + 1) + ")";
        return integrity;
    }
    const std::optional<TrailerFigures> claimed = ParseTrailer(lines[trailerAt]);
    if (!claimed) {
        integrity.detail = "its trailer line is not \"@end items=N sha256=HEX\" (damaged)";
        return integrity;
    }
    const TrailerFigures actual = FiguresOf(lines.first(trailerAt));
    if (actual.items != claimed->items) {
        integrity.detail = "it holds " + std::to_string(actual.items) + " items where its trailer line says " +
                           std::to_string(claimed->items) + " (damaged)";
        return integrity;
    }
    if (actual.digest != claimed->digest) {
        integrity.detail = "its content does not match the digest of its trailer line (damaged)";
        return integrity;
    }
    integrity.result = DatabaseIntegrity::Result::Whole;
    integrity.items = actual.items;
    return integrity;
}

DatabaseIntegrity CheckLockedDatabaseIntegrity(std::string_view lockedBytes) {
    // A lone CR is a character of the scrambled text, not a line end.
    std::vector<std::string> lines = SplitTextLines(lockedBytes, false);
    for (std::string& line : lines)
        line = UnlockText(line, kDatabaseKey);
    return CheckDatabaseIntegrity(lines);
}

std::string EscapeRuleField(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7E || c == '|' || c == '%') {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> UnescapeRuleField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = HexDigitValue(text[i + 1]);
        const int low = HexDigitValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

bool IsRuleItemLine(std::string_view line) {
    return EqualsIgnoreCase(line.substr(0, line.find('|')), kRuleTypeWord);
}

std::string RuleItemLine(const RuleItem& item) {
    return std::string(kRuleTypeWord) + "|" + EscapeRuleField(item.text) + "|" + EscapeRuleField(item.set) + "|" +
           EscapeRuleField(item.source);
}

std::optional<RuleItem> ParseRuleItem(std::string_view line) {
    if (!IsRuleItemLine(line))
        return std::nullopt;
    SignatureItem fields;
    SplitItem(line, fields);
    if (std::count(line.begin(), line.end(), '|') != 3)
        return std::nullopt;
    std::optional<std::string> text = UnescapeRuleField(fields.object());
    std::optional<std::string> set = UnescapeRuleField(fields.category());
    std::optional<std::string> source = UnescapeRuleField(fields.comment());
    if (!text || !set || !source || text->empty() || set->empty())
        return std::nullopt;
    return RuleItem{std::move(*text), std::move(*set), std::move(*source)};
}

}  // namespace pellora
