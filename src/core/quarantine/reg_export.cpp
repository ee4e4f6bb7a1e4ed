#include "core/quarantine/reg_export.h"

#include <algorithm>
#include <vector>

#include "core/identity/object_identity.h"
#include "core/util/text.h"

namespace pellora {

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The text of an export: UTF-16 little-endian behind its mark becomes UTF-8; anything else is
// compared as the bytes it is.
std::string ExportText(std::string_view bytes) {
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xFE) {
        return std::string(bytes);
    }
    std::string out;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, unit);
    }
    return out;
}

}  // namespace

ExportSections ParseRegExport(std::string_view bytes) {
    std::string text = ExportText(bytes);
    std::vector<std::string> lines;
    std::string pending;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!pending.empty())
            line = TrimSpaces(line);
        pending += line;
        // Only this line's own "\" continues the value: a joined value that ends in one from an
        // earlier line (after an empty line) is complete, as it would be at the end of the file.
        if (!line.empty() && line.back() == '\\' && pending.front() != '[') {
            pending.pop_back();
            continue;
        }
        lines.push_back(std::move(pending));
        pending.clear();
    }
    if (!pending.empty())
        lines.push_back(std::move(pending));

    ExportSections sections;
    std::set<std::string>* current = nullptr;
    for (const std::string& line : lines) {
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            current = &sections[ToLowerAscii(line)];
        } else if (current) {
            current->insert(line);
        }
    }
    return sections;
}

namespace {

// True when the key named `name` lies in `outer` or below it.
bool KeyInside(std::string_view name, const CanonicalKey& outer, std::string_view sid) {
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t end = std::min(name.find('\\', pos), name.size());
        std::string_view step = name.substr(pos, end - pos);
        // The registry takes "." and ".." as names, but a tool on the way may not.
        if (TrimSpaces(step) == "." || TrimSpaces(step) == "..")
            return false;
        pos = end + 1;
    }
    std::optional<CanonicalKey> key = ObjectIdentity::CanonicalKeyOf(name, sid);
    return key && !key->scope.empty() && key->scope == outer.scope && key->parts.size() >= outer.parts.size() &&
           std::equal(outer.parts.begin(), outer.parts.end(), key->parts.begin());
}

}  // namespace

std::optional<std::string> ForeignSection(std::string_view bytes, std::string_view keyPath, std::string_view sid) {
    std::optional<CanonicalKey> outer = ObjectIdentity::CanonicalKeyOf(keyPath, sid);
    if (!outer || outer->scope.empty() || outer->parts.empty())
        return std::string(keyPath);
    std::string text = ExportText(bytes);
    if (StartsWith(text, "\xEF\xBB\xBF"))
        text.erase(0, 3);
    bool anySection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = std::min(text.find_first_of(std::string_view("\r\n\0", 3), pos), text.size());
        std::string_view line = std::string_view(text).substr(pos, end - pos);
        pos = end + 1;
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] != '[')
            continue;
        anySection = true;
        std::string_view header = line.substr(first + 1);
        size_t firstClose = header.find(']');
        size_t lastClose = header.rfind(']');
        if (firstClose == std::string_view::npos || header.empty() || header[0] == '-' ||
            !KeyInside(header.substr(0, firstClose), *outer, sid) ||
            !KeyInside(header.substr(0, lastClose), *outer, sid)) {
            return std::string(line.substr(first));
        }
    }
    if (!anySection)
        return std::string("(no key section)");
    return std::nullopt;
}

bool ExportHolds(std::string_view stored, std::string_view current) {
    ExportSections before = ParseRegExport(stored);
    ExportSections now = ParseRegExport(current);
    if (before.empty())
        return false;
    for (const auto& [section, values] : before) {
        auto there = now.find(section);
        if (there == now.end())
            return false;
        for (const std::string& value : values) {
            if (!there->second.contains(value))
                return false;
        }
    }
    return true;
}

}  // namespace pellora
