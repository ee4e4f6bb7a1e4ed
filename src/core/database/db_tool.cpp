#include "core/database/db_tool.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/database/database_format.h"
#include "core/database/database_rules.h"
#include "core/database/database_trust.h"
#include "core/database/item_parser.h"
#include "core/database/key_format.h"
#include "core/database/persistence_kinds.h"
#include "core/database/unlock.h"
#include "core/settings/registry_access.h"
#include "core/settings/settings_files.h"
#include "core/util/text.h"

namespace pellora {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

const char* const kFolderVariables[] = {"%AppData%", "%StartMenu%", "%ProgramsDir%", "%Desktop%",
                                        "%TempDir%", "%WinDir%",    "%SystemDir%"};

// Length of the UTF-8 sequence that starts at `text[i]`; a stray byte counts as one character.
size_t CharLength(std::string_view text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (i + length > text.size())
        return 1;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

std::string Refusal(size_t line, size_t column, std::string_view character, const char* why) {
    std::string shown;
    for (unsigned char c : character) {
        if (c < 0x20 || c == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xF];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": the character \"" + shown +
           "\" " + why;
}

// The ANSI bytes of one plain line, or the refusal of its first character outside the code page.
bool LineToAnsi(std::string_view line,
                size_t lineNumber,
                const CodePage& codePage,
                std::string& ansi,
                std::vector<size_t>& columns,
                std::string& error) {
    size_t column = 1;
    for (size_t i = 0; i < line.size(); ++column) {
        const size_t length = CharLength(line, i);
        const std::string_view character = line.substr(i, length);
        const std::string byte = codePage.utf8ToAnsi(character);
        if (byte.size() != 1 || codePage.ansiToUtf8(byte) != character) {
            error = Refusal(lineNumber, column, character, "is not in the system's code page");
            return false;
        }
        ansi += byte;
        columns.push_back(column);
        i += length;
    }
    return true;
}

bool IsKnownRoot(std::string_view keyPath) {
    size_t slash = keyPath.find('\\');
    return RootKeyFromName(std::string(keyPath.substr(0, slash))) != RootKey::None;
}

std::string RootName(std::string_view keyPath) {
    return std::string(keyPath.substr(0, keyPath.find('\\')));
}

// The type words removal and quarantine act on; "regs..." is any word of that start.
bool IsKnownTypeWord(ItemKind kind, const std::string& word) {
    switch (kind) {
        case ItemKind::Path:
            return word == "path";
        case ItemKind::Folder:
            return word == "folder";
        case ItemKind::RegVal:
            return word == "regval";
        case ItemKind::RegKey:
            return word == "regkey";
        case ItemKind::Cookie:
            return word == "cookie";
        case ItemKind::File:
            return word == "file";
        case ItemKind::RegSearch:
            return true;
        case ItemKind::Unknown:
            return word == "extension" || word == kRuleTypeWord || word == "hijack" ||
                   PersistenceKindOfLine(word) != PersistenceKind::None;
    }
    return false;
}

bool AllOf(std::string_view text, bool (*allowed)(char)) {
    return !text.empty() && std::all_of(text.begin(), text.end(), allowed);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAddonNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
           c == '_';
}

// A Chromium extension id (32 letters a-p) or a Firefox add-on id ("name@domain" or a GUID in
// braces).
bool IsExtensionId(std::string_view id) {
    if (id.size() == 32 && std::all_of(id.begin(), id.end(), [](char c) { return c >= 'a' && c <= 'p'; }))
        return true;
    if (id.size() == 38 && id.front() == '{' && id.back() == '}') {
        for (size_t i = 1; i + 1 < id.size(); ++i) {
            const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
            if (dash ? id[i] != '-' : !IsHexDigit(id[i]))
                return false;
        }
        return true;
    }
    const size_t at = id.find('@');
    return at != std::string_view::npos && (at == 0 || AllOf(id.substr(0, at), IsAddonNameChar)) &&
           AllOf(id.substr(at + 1), IsAddonNameChar);
}

void CheckFolderVariables(const std::string& object, std::vector<std::string>& problems, const std::string& at) {
    size_t pos = 0;
    while ((pos = object.find('%', pos)) != std::string::npos) {
        size_t end = object.find('%', pos + 1);
        if (end == std::string::npos) {
            problems.push_back(at + "unpaired \"%\" in the object");
            return;
        }
        std::string name = object.substr(pos, end - pos + 1);
        bool known = false;
        for (const char* variable : kFolderVariables)
            known = known || EqualsIgnoreCase(name, variable);
        if (!known)
            problems.push_back(at + "unknown folder variable " + name);
        pos = end + 1;
    }
}

void CheckObject(ItemKind kind,
                 const std::string& word,
                 const std::string& object,
                 std::vector<std::string>& problems,
                 const std::string& at) {
    if (word == "extension" && !IsExtensionId(object))
        problems.push_back(at + "\"" + object + "\" is not an extension id (32 letters a-p, name@domain or {GUID})");
    if (word == "task" && !IsTaskPath(object))
        problems.push_back(at + "\"" + object + "\" is not a task path (\\Folder\\Name)");
    else if (word == "task" && IsWindowsTask(object))
        problems.push_back(at + "\"" + object + "\" is a task of Windows, which is never removed");
    if (word == "service" && !IsServiceName(object))
        problems.push_back(at + "\"" + object + "\" is not a service name");
    else if (word == "service" && IsWindowsServiceName(object))
        problems.push_back(at + "\"" + object + "\" is a service of Windows, which is never removed");
    if (word == "hosts" && (object.find_first_of(" \t#") != std::string::npos || EqualsIgnoreCase(object, "localhost")))
        problems.push_back(at + "\"" + object + "\" is not a host name the hosts file's lines can be removed for");
    if (word == "shortcut") {
        const std::string refusal = ShortcutTextRefusal(object);
        const std::string problem = refusal.empty() ? LooseShortcutText(object) : refusal;
        if (!problem.empty())
            problems.push_back(at + "shortcut text: " + problem);
    }
    switch (kind) {
        case ItemKind::Path:
        case ItemKind::Folder:
            CheckFolderVariables(object, problems, at);
            break;
        case ItemKind::RegVal: {
            size_t comma = object.find(',');
            if (comma == std::string::npos) {
                problems.push_back(at + "regval object has no \",\" between key path and value name");
            } else if (!IsKnownRoot(object.substr(0, comma))) {
                problems.push_back(at + "unknown root key name \"" + RootName(object.substr(0, comma)) + "\"");
            }
            break;
        }
        case ItemKind::RegKey:
            if (!IsKnownRoot(object)) {
                problems.push_back(at + "unknown root key name \"" + RootName(object) + "\"");
            } else if (object.find('\\') == std::string::npos || object.back() == '\\') {
                problems.push_back(at + "regkey object names no subkey below its root");
            }
            break;
        default:
            break;
    }
}

}  // namespace

bool LockDatabaseText(std::string_view plainUtf8, const CodePage& codePage, std::string& locked, std::string& error) {
    if (plainUtf8.starts_with(kUtf8Bom))
        plainUtf8.remove_prefix(kUtf8Bom.size());
    std::string out;
    std::vector<std::string> lines = SplitTextLines(plainUtf8, false);
    // A reserved line near the top: a database cut short anywhere after it still shows that it
    // should end in a trailer, and is never taken for one of the older format.
    const bool reserved =
        std::any_of(lines.begin() + std::min<size_t>(lines.size(), 1), lines.end(),
                    [](const std::string& line) { return line.starts_with('@') && !IsTrailerLine(line); });
    const bool inserted = !lines.empty() && !reserved;
    if (inserted)
        lines.insert(lines.begin() + 1, std::string(kSerialKeyword) + " 0");
    // The trailer is the tool's own: one the text holds (an unlocked database's) is made anew.
    std::vector<std::string> ansiLines;
    if (lines.empty()) {
        locked.clear();
        return true;
    }
    for (size_t n = 0; n < lines.size(); ++n) {
        if (n > 0 && IsTrailerLine(lines[n]))
            continue;
        const size_t lineNumber = inserted && n > 0 ? n : n + 1;  // in the text given
        std::string ansi;
        std::vector<size_t> columns;
        if (!LineToAnsi(lines[n], lineNumber, codePage, ansi, columns, error))
            return false;
        size_t bad = 0;
        std::optional<std::string> scrambled = LockText(ansi, kDatabaseKey, &bad);
        if (!scrambled) {
            error = Refusal(lineNumber, columns[bad], codePage.ansiToUtf8(ansi.substr(bad, 1)),
                            "cannot be scrambled at this position");
            return false;
        }
        out += *scrambled;
        out += "\r\n";
        ansiLines.push_back(std::move(ansi));
    }
    // Digits, letters and blanks: always scrambled.
    out += *LockText(TrailerLine(ansiLines), kDatabaseKey);
    out += "\r\n";
    locked = std::move(out);
    return true;
}

std::string WithSerialLine(std::string_view plainUtf8, uint64_t serial) {
    if (plainUtf8.starts_with(kUtf8Bom))
        plainUtf8.remove_prefix(kUtf8Bom.size());
    std::vector<std::string> lines = SplitTextLines(plainUtf8, false);
    const std::string serialLine = std::string(kSerialKeyword) + " " + std::to_string(serial);
    if (lines.empty())
        lines.emplace_back();
    if (lines.size() > 1 && std::string_view(lines[1]).starts_with(kSerialKeyword))
        lines[1] = serialLine;
    else
        lines.insert(lines.begin() + 1, serialLine);
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

std::string UnlockDatabaseText(std::string_view locked, const CodePage& codePage) {
    std::string out;
    for (const std::string& line : SplitTextLines(locked, false)) {
        out += codePage.ansiToUtf8(UnlockText(line, kDatabaseKey));
        out += '\n';
    }
    return out;
}

std::vector<std::string> CheckDatabaseLines(const std::vector<std::string>& lines) {
    std::vector<std::string> problems;
    if (lines.empty() || TrimSpaces(lines[0]).empty())
        problems.push_back("line 1: no version line");
    std::map<std::string, size_t> seen;  // kind and lower-case object -> first line
    for (size_t n = 1; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::string at = "line " + std::to_string(n + 1) + ": ";
        if (IsTrailerLine(line) && n + 1 != lines.size())
            problems.push_back(at + "a trailer line (\"@end ...\") counts only as the last line");
        if (line.starts_with(kSerialKeyword)) {
            if (n != 1)
                problems.push_back(at + "a serial line counts only as line 2, right after the version line");
            else if (!SerialOfLine(line))
                problems.push_back(at + "the serial line holds no decimal number (\"@serial N\")");
        }
        if (ClassifyLine(n + 1, line) != LineKind::Signature)
            continue;
        if (line.empty()) {
            problems.push_back(at + "empty line (counted as an object that never matches)");
            continue;
        }
        SignatureItem item;
        SplitItem(line, item);
        const ItemKind kind = KindOfLine(line);
        const std::string word = ToLowerAscii(item.type());
        if (!IsKnownTypeWord(kind, word)) {
            problems.push_back(at + "unknown type \"" + item.type() + "\"");
            continue;
        }
        const size_t separators = std::count(line.begin(), line.end(), '|');
        if (separators < 3 || item.object().empty() || item.category().empty()) {
            problems.push_back(at + "missing fields (type|object|category|comment URL, the URL may be empty)");
            continue;
        }
        if (separators > 3 && word != kRuleTypeWord)
            problems.push_back(at + "more than four fields (a field cannot hold \"|\")");
        CheckObject(kind, word, item.object(), problems, at);
        const std::string identity = (kind == ItemKind::Unknown ? word : std::to_string(static_cast<int>(kind))) + "|" +
                                     ToLowerAscii(item.object());
        auto [it, added] = seen.emplace(identity, n + 1);
        if (!added)
            problems.push_back(at + "duplicate of line " + std::to_string(it->second));
    }
    // Every rule the program would refuse, by its set, file and line (a malformed item by its line).
    for (const rules::Refusal& refusal : CompileDatabaseRules(lines).refused) {
        if (refusal.source == kRuleItemsSource)
            problems.push_back("line " + std::to_string(refusal.line) + ": " + refusal.reason);
        else
            problems.push_back("rule refused: " + RefusalText(refusal));
    }
    return problems;
}

std::string WithRuleItems(std::string_view plainUtf8,
                          const std::string& set,
                          const std::vector<std::pair<std::string, std::string>>& files,
                          size_t& added,
                          size_t& replaced) {
    if (plainUtf8.starts_with(kUtf8Bom))
        plainUtf8.remove_prefix(kUtf8Bom.size());
    std::set<std::string> names;
    for (const auto& [name, text] : files)
        names.insert(name);
    added = replaced = 0;
    std::string out;
    const std::vector<std::string> lines = SplitTextLines(plainUtf8, false);
    for (size_t n = 0; n < lines.size(); ++n) {
        if (n > 0 && IsTrailerLine(lines[n]))
            continue;
        if (n > 0 && IsRuleItemLine(lines[n])) {
            std::optional<RuleItem> item = ParseRuleItem(lines[n]);
            if (item && item->set == set && names.contains(item->source.substr(0, item->source.rfind(':')))) {
                ++replaced;
                continue;
            }
        }
        out += lines[n] + "\n";
    }
    for (const auto& [name, text] : files) {
        std::string_view body = text;
        if (body.starts_with(kUtf8Bom))
            body.remove_prefix(kUtf8Bom.size());
        for (const rules::RuleText& rule : rules::RuleSet::SplitRules(body)) {
            out += RuleItemLine({rule.text, set, name + ":" + std::to_string(rule.line)}) + "\n";
            ++added;
        }
    }
    return out;
}

namespace {

const char kUsage[] =
    "Usage: pellora-db COMMAND ...\n"
    "\n"
    "Tool for the producer of Pellora's reference database.\n"
    "\n"
    "  lock IN OUT         Scramble the plain-text database IN (UTF-8, one item per line) into OUT,\n"
    "                      the form the program reads as DataBase.ref (ANSI code page, CR LF).\n"
    "                      Refuses, naming line and column, any character that unlocking would\n"
    "                      not give back; OUT is then not written.\n"
    "  lock --serial N IN OUT\n"
    "                      Lock with the serial N (decimal) as line 2, \"@serial N\", in place of a\n"
    "                      serial line IN has. Each edition needs a higher serial than the last:\n"
    "                      the program installs no update whose serial is not above its own.\n"
    "  unlock IN OUT       Unlock the scrambled database IN into plain UTF-8 text OUT.\n"
    "  check FILE          Check the plain-text database FILE.\n"
    "  check --locked FILE Check a scrambled database (such as DataBase.ref) as the program\n"
    "                      would unlock it.\n"
    "  sign KEY FILE [OUT] Sign FILE (such as DataBase.ref) with the P-256 private key in the PEM file\n"
    "                      KEY and write the signature to OUT (default FILE.sig), in the form\n"
    "                      \"openssl dgst -sha256 -sign KEY -out OUT FILE\" writes it. Publish it\n"
    "                      beside the database: the update fetches the database's address plus \".sig\".\n"
    "  add-rules DB SET PATH...\n"
    "                      Add the content rules of each PATH (a rule file, or a folder whose\n"
    "                      .yar and .yara files below it are read) to the plain-text database DB\n"
    "                      as items of the rule set SET, one item per rule: \"rule|<text>|SET|\n"
    "                      <file>:<line>\" with line breaks, \"|\", \"%\" and bytes outside\n"
    "                      printable ASCII written as %XX. The set's items from the same files are\n"
    "                      replaced. Rules the program would refuse are named (file, line, reason).\n"
    "  --help              Show this text.\n"
    "\n"
    "check reports a missing version line, a misplaced or malformed serial line, unknown types,\n"
    "missing fields, unknown root key names, unknown folder variables, extension items whose\n"
    "object is no extension id, shortcut items whose text is blank, too long, holds a control\n"
    "character or is in nearly every shortcut, duplicate items, rule items that are malformed, and\n"
    "every content rule the program would refuse (\"rule refused: SET/FILE:LINE: rule NAME: reason\"),\n"
    "one per line as \"line N: ...\". check --locked also proves the database whole by its trailer\n"
    "line (\"@end items=N sha256=HEX\", written by lock), or says that it has none.\n"
    "\n"
    "Exit codes: 0 done (check: no problems; add-rules: written, refused rules named), 1 problems\n"
    "found or a file could not be read or written, 2 wrong usage.\n";

int Usage(DbToolIo& io) {
    io.err += kUsage;
    return 2;
}

std::optional<std::string> Read(DbToolIo& io, const std::string& path) {
    std::optional<std::string> bytes = io.readFile(path);
    if (!bytes)
        io.err += "pellora-db: cannot read " + path + "\n";
    return bytes;
}

int Write(DbToolIo& io, const std::string& path, const std::string& bytes) {
    if (io.writeFile(path, bytes))
        return 0;
    io.err += "pellora-db: cannot write " + path + "\n";
    return 1;
}

// The files of one PATH argument: a folder's rule files by their paths below it, a file by its name.
bool ReadRuleFiles(DbToolIo& io, const std::string& path, std::vector<std::pair<std::string, std::string>>& files) {
    std::optional<std::vector<std::string>> below = io.listRuleFiles ? io.listRuleFiles(path) : std::nullopt;
    if (!below) {
        std::optional<std::string> text = Read(io, path);
        if (!text)
            return false;
        const size_t slash = path.find_last_of("\\/");
        files.emplace_back(slash == std::string::npos ? path : path.substr(slash + 1), std::move(*text));
        return true;
    }
    if (below->empty())
        io.err += "pellora-db: no .yar or .yara file below " + path + "\n";
    for (const std::string& name : *below) {
        std::string native = name;
        std::replace(native.begin(), native.end(), '/', '\\');
        std::optional<std::string> text = Read(io, path + "\\" + native);
        if (!text)
            return false;
        files.emplace_back(name, std::move(*text));
    }
    return true;
}

int AddRules(const std::vector<std::string>& args, DbToolIo& io) {
    const std::string& databasePath = args[1];
    const std::string& set = args[2];
    if (set.empty() || set.find_first_of("/\\|%") != std::string::npos) {
        io.err += "pellora-db: a rule set's name holds none of / \\ | %: " + set + "\n";
        return 2;
    }
    std::optional<std::string> database = Read(io, databasePath);
    if (!database)
        return 1;
    std::vector<std::pair<std::string, std::string>> files;
    for (size_t i = 3; i < args.size(); ++i) {
        if (!ReadRuleFiles(io, args[i], files))
            return 1;
    }
    size_t added = 0, replaced = 0;
    const std::string text = WithRuleItems(*database, set, files, added, replaced);
    if (int code = Write(io, databasePath, text); code != 0)
        return code;
    io.out += databasePath + ": " + std::to_string(added) + " rules of the set " + set + " from " +
              std::to_string(files.size()) + " files (" + std::to_string(replaced) + " items replaced)\n";
    const std::string prefix = set + "/";
    for (const rules::Refusal& refusal : CompileDatabaseRules(SplitTextLines(text, false)).refused) {
        if (refusal.source.starts_with(prefix))
            io.err += "pellora-db: rule refused: " + RefusalText(refusal) + "\n";
    }
    return 0;
}

}  // namespace

int RunDbTool(const std::vector<std::string>& args, DbToolIo& io) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?")) {
        io.out += kUsage;
        return 0;
    }
    if (args.empty())
        return Usage(io);
    const std::string& command = args[0];
    if (command == "lock" && args.size() == 5 && args[1] == "--serial") {
        std::optional<uint64_t> serial = SerialOfLine(std::string(kSerialKeyword) + " " + args[2]);
        if (!serial || args[2].empty() || args[2].find_first_not_of("0123456789") != std::string::npos) {
            io.err += "pellora-db: the serial must be a decimal number of at most 19 digits: " + args[2] + "\n";
            return 2;
        }
        std::optional<std::string> input = Read(io, args[3]);
        if (!input)
            return 1;
        std::string locked, error;
        if (!LockDatabaseText(WithSerialLine(*input, *serial), io.codePage, locked, error)) {
            io.err += args[3] + ": " + error + "\n";
            return 1;
        }
        return Write(io, args[4], locked);
    }
    if ((command == "lock" || command == "unlock") && args.size() == 3) {
        std::optional<std::string> input = Read(io, args[1]);
        if (!input)
            return 1;
        if (command == "unlock")
            return Write(io, args[2], UnlockDatabaseText(*input, io.codePage));
        std::string locked, error;
        if (!LockDatabaseText(*input, io.codePage, locked, error)) {
            io.err += args[1] + ": " + error + "\n";
            return 1;
        }
        return Write(io, args[2], locked);
    }
    if (command == "check" && (args.size() == 2 || (args.size() == 3 && args[1] == "--locked"))) {
        const bool locked = args.size() == 3;
        const std::string& path = args.back();
        std::optional<std::string> input = Read(io, path);
        if (!input)
            return 1;
        std::string text = locked ? UnlockDatabaseText(*input, io.codePage) : *input;
        if (std::string_view(text).starts_with(kUtf8Bom))
            text.erase(0, kUtf8Bom.size());
        std::vector<std::string> lines = SplitTextLines(text, false);
        std::vector<std::string> problems = CheckDatabaseLines(lines);
        if (locked) {
            const DatabaseIntegrity integrity = CheckLockedDatabaseIntegrity(*input);
            if (integrity.result == DatabaseIntegrity::Result::Damaged)
                problems.insert(problems.begin(), "the database is refused: " + integrity.detail);
            else if (integrity.result == DatabaseIntegrity::Result::Unchecked)
                io.out += path + ": note: " + integrity.detail + "\n";
        }
        for (const std::string& problem : problems)
            io.out += path + ": " + problem + "\n";
        if (problems.empty()) {
            io.out += path + ": " + std::to_string(lines.size()) + " lines, no problems\n";
            return 0;
        }
        return 1;
    }
    if (command == "add-rules" && args.size() >= 4)
        return AddRules(args, io);
    if (command == "sign" && (args.size() == 3 || args.size() == 4)) {
        std::optional<std::string> keyText = Read(io, args[1]);
        std::optional<std::string> data = keyText ? Read(io, args[2]) : std::nullopt;
        if (!data)
            return 1;
        std::optional<std::string> key = P256PrivateKeyFromPem(*keyText);
        if (!key) {
            io.err += args[1] + ": no unencrypted P-256 private key (\"EC PRIVATE KEY\" or \"PRIVATE KEY\")\n";
            return 1;
        }
        std::optional<std::string> signature = io.signP256 ? io.signP256(*key, *data) : std::nullopt;
        if (!signature) {
            io.err += "pellora-db: the signature could not be made\n";
            return 1;
        }
        const std::string out = args.size() == 4 ? args[3] : args[2] + ".sig";
        int code = Write(io, out, EcdsaSignatureToDer(*signature));
        if (code == 0)
            io.out += "Signed " + args[2] + " -> " + out + "\n";
        return code;
    }
    return Usage(io);
}

}  // namespace pellora
