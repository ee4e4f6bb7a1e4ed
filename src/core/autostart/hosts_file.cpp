#include "core/autostart/hosts_file.h"

#include <cctype>

#include "core/util/case_fold.h"
#include "core/util/hex.h"
#include "core/util/text.h"

namespace pellora {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool MapsHost(std::string_view line, std::string_view host) {
    const size_t hash = line.find('#');
    if (hash != std::string_view::npos)
        line = line.substr(0, hash);
    size_t pos = 0;
    bool address = true;
    while (pos < line.size()) {
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        size_t end = pos;
        while (end < line.size() && !IsBlank(line[end]))
            ++end;
        if (end > pos) {
            if (!address && EqualsOrdinalIgnoreCase(line.substr(pos, end - pos), host))
                return true;
            address = false;
        }
        pos = end;
    }
    return false;
}

}  // namespace

std::string HostsFilePath(RegistryPort& registry, SystemPort& system) {
    std::string folder = system.SystemDirectory() + "\\drivers\\etc";
    const std::optional<RegValue> database = registry.QueryValue(
        RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", "DataBasePath");
    if (database && (database->type == kRegSz || database->type == kRegExpandSz) && !database->data.empty() &&
        database->data.find('\0') == std::string::npos)
        folder = system.ExpandEnvironment(database->data);
    return folder + "\\hosts";
}

bool IsHostName(std::string_view name) {
    if (name.empty() || name.size() > 255)
        return false;
    for (unsigned char c : name) {
        if (c <= 0x20 || c == 0x7F || c == '#')
            return false;
    }
    return true;
}

std::vector<HostsLine> LinesMapping(std::string_view text, std::string_view host) {
    std::vector<HostsLine> lines;
    if (!IsHostName(host) || EqualsOrdinalIgnoreCase(host, "localhost"))
        return lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(pos, end - pos);
        if (MapsHost(line, host))
            lines.push_back(HostsLine{pos, std::string(line)});
        pos = end;
    }
    return lines;
}

std::string WithoutLines(std::string_view text, const std::vector<HostsLine>& lines) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (const HostsLine& line : lines) {
        if (line.offset < pos || line.offset + line.bytes.size() > text.size() ||
            text.substr(line.offset, line.bytes.size()) != line.bytes)
            continue;
        out.append(text.substr(pos, line.offset - pos));
        pos = line.offset + line.bytes.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string WithLinesBack(std::string_view text, const std::vector<HostsLine>& lines) {
    std::string out(text);
    std::string tail;
    for (const HostsLine& line : lines) {
        const bool lineStart = line.offset == 0 || (line.offset <= out.size() && out[line.offset - 1] == '\n');
        if (lineStart && line.offset <= out.size()) {
            out.insert(line.offset, line.bytes);
        } else {
            tail += line.bytes;
            if (!EndsWith(line.bytes, "\n"))
                tail += "\r\n";
        }
    }
    if (!tail.empty()) {
        if (!out.empty() && out.back() != '\n')
            out += "\r\n";
        out += tail;
    }
    return out;
}

std::string EncodeHostsLines(const std::vector<HostsLine>& lines) {
    std::string out;
    for (const HostsLine& line : lines)
        out += std::to_string(line.offset) + " " + ToHex(line.bytes) + "\n";
    return out;
}

std::optional<std::vector<HostsLine>> DecodeHostsLines(std::string_view text) {
    std::vector<HostsLine> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view entry = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t blank = entry.find(' ');
        if (blank == std::string_view::npos || blank == 0 || blank > 19 || (entry.size() - blank - 1) % 2 != 0)
            return std::nullopt;
        HostsLine line;
        for (char c : entry.substr(0, blank)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            line.offset = line.offset * 10 + static_cast<size_t>(c - '0');
        }
        std::optional<std::string> bytes = FromHex(entry.substr(blank + 1));
        if (!bytes || bytes->empty())
            return std::nullopt;
        line.bytes = std::move(*bytes);
        lines.push_back(std::move(line));
    }
    if (lines.empty())
        return std::nullopt;
    return lines;
}

}  // namespace pellora
