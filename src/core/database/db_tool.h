// The database producer's tool behind pellora-db: lock a plain-text database into the scrambled
// form the program reads (DataBase.ref), unlock one back to plain text, check the items of a
// database for mistakes the program would pass over in silence, and add content rules to it. Plain text is UTF-8; the
// scrambled file holds the ANSI code page's bytes, which is what the program unlocks. Files and
// the code page are reached through DbToolIo, so the tool runs the same natively and on Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

struct CodePage {
    std::function<std::string(std::string_view)> ansiToUtf8;
    std::function<std::string(std::string_view)> utf8ToAnsi;
};

struct DbToolIo {
    CodePage codePage;
    std::function<std::optional<std::string>(const std::string& path)> readFile;
    std::function<bool(const std::string& path, const std::string& bytes)> writeFile;
    // The rule files (IsRuleFileName) below the folder `path`, as paths relative to it with "/"
    // between names, in name order, never through a link; nothing when `path` is no folder.
    std::function<std::optional<std::vector<std::string>>(const std::string& path)> listRuleFiles;
    // ECDSA P-256 over SHA-256 with the raw private key X || Y || D; the raw signature r || s.
    std::function<std::optional<std::string>(std::string_view privateKey, std::string_view data)> signP256;
    std::string out;  // what the tool prints
    std::string err;  // its error messages
};

// Scrambles a UTF-8 plain-text database: one line per line (CR LF or LF ends a line), each
// followed by CR LF, with "@serial 0" as line 2 when the text has no reserved line, and the
// trailer line (core/database/database_format.h) at the end. Fails with a message naming the line and column of the first character
// that unlocking would not give back (outside the code page, or shifted out of the byte range
// or onto a line end).
[[nodiscard]] bool LockDatabaseText(std::string_view plainUtf8,
                                    const CodePage& codePage,
                                    std::string& locked,
                                    std::string& error);

// The plain text with "@serial N" as line 2 (in place of a serial line there, or inserted after
// the version line); lines end in LF.
std::string WithSerialLine(std::string_view plainUtf8, uint64_t serial);

// The plain UTF-8 text of a scrambled database, each line followed by LF.
std::string UnlockDatabaseText(std::string_view locked, const CodePage& codePage);

// Problems of the unlocked lines (entry 1 first), one message each, "line N: ...".
std::vector<std::string> CheckDatabaseLines(const std::vector<std::string>& lines);

// The plain-text database `plainUtf8` with the rules of `files` (name as stored in the items'
// source field, and text) as rule items of `set`, one per rule, at its end: the set's items from
// the same files are replaced, every other line is kept, and the trailer line goes (lock writes
// it anew). `added` and `replaced` count the items.
std::string WithRuleItems(std::string_view plainUtf8,
                          const std::string& set,
                          const std::vector<std::pair<std::string, std::string>>& files,
                          size_t& added,
                          size_t& replaced);

// The tool's command line without the program name. Returns the exit code: 0 done and no
// problems, 1 problems found or the command failed, 2 wrong usage.
int RunDbTool(const std::vector<std::string>& args, DbToolIo& io);

}  // namespace pellora
