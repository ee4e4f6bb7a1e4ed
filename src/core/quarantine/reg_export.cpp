#include "core/quarantine/reg_export.h"

#include <vector>

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
