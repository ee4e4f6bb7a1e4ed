// The hosts file's lines that map a host name, for the "hosts" item kind: found, taken out with
// every other byte of the file kept, and put back at the places they came from. A line maps a
// name when, before its comment, an address is followed by that name among its words (compared
// without regard to case). Lines end at LF; a line's bytes include its CR LF.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/registry.h"
#include "core/ports/system.h"

namespace pellora {

// The hosts file: below the folder Tcpip's DataBasePath names, else System32\drivers\etc.
std::string HostsFilePath(RegistryPort& registry, SystemPort& system);

struct HostsLine {
    size_t offset = 0;  // where the line began in the file
    std::string bytes;  // the line with its line end
};

// The lines of `text` that map `host`, in file order. "localhost" is never one of them: the
// system's own loopback names stay whatever a database says.
std::vector<HostsLine> LinesMapping(std::string_view text, std::string_view host);
// `text` without `lines` (as LinesMapping gave them for this text).
std::string WithoutLines(std::string_view text, const std::vector<HostsLine>& lines);
// `text` with `lines` put back at their offsets, in order; a line whose offset no longer falls on
// a line start goes at the end (after a line end of its own when the text lacks one).
std::string WithLinesBack(std::string_view text, const std::vector<HostsLine>& lines);

// The quarantine's form of lines: one "<offset> <hex bytes>" line each.
std::string EncodeHostsLines(const std::vector<HostsLine>& lines);
std::optional<std::vector<HostsLine>> DecodeHostsLines(std::string_view text);

// A host name as a database item may give it: not empty, no blank, "#" or control character.
bool IsHostName(std::string_view name);

}  // namespace pellora
