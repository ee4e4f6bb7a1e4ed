#include "core/autostart/command_line.h"

#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::autostart {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// At most this many blanks of an unquoted path are tried as its end (each a file probe).
constexpr size_t kMaxBlankCandidates = 64;
// Hosts inside hosts ("cmd /c cmd /c rundll32 ...") are followed this deep.
constexpr int kMaxHostDepth = 4;

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

std::string_view FileNameOf(std::string_view path) {
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool HasExtension(std::string_view path) {
    return FileNameOf(path).find('.') != std::string_view::npos;
}

bool IsBareName(std::string_view path) {
    return path.find_first_of("\\/:") == std::string_view::npos;
}

bool Exists(const ResolveContext& context, const std::string& path) {
    return context.fileExists && !path.empty() && context.fileExists(path);
}

// The file a program name names, trying `defaultExtension` when it has none; bare names are
// looked up in System32, then in the Windows folder. Empty when nothing exists.
std::string FindProgram(const std::string& name, const ResolveContext& context, std::string_view defaultExtension) {
    std::vector<std::string> candidates;
    // A name without extension is only ever tried with the default one: CreateProcess and
    // LoadLibrary append it rather than try the bare name.
    auto add = [&](const std::string& path) {
        candidates.push_back(HasExtension(path) ? path : path + std::string(defaultExtension));
    };
    if (IsBareName(name)) {
        if (!context.systemDirectory.empty())
            add(context.systemDirectory + "\\" + name);
        if (!context.windowsDirectory.empty())
            add(context.windowsDirectory + "\\" + name);
    } else {
        add(name);
    }
    for (const std::string& candidate : candidates)
        if (Exists(context, candidate))
            return candidate;
    return {};
}

struct Split {
    std::string program;
    std::string_view rest;
    bool found = false;
};

// The program and the rest of a command line, as CreateProcess finds them.
Split SplitProgram(std::string_view line, const ResolveContext& context, std::string_view defaultExtension) {
    Split split;
    line = TrimBlanks(line);
    if (line.empty())
        return split;
    if (line.front() == '"') {
        const size_t close = line.find('"', 1);
        const std::string name(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        split.rest = close == std::string_view::npos ? std::string_view() : line.substr(close + 1);
        const std::string found = FindProgram(name, context, defaultExtension);
        split.found = !found.empty();
        split.program = split.found ? found : name;
        return split;
    }
    // Unquoted: each blank in turn ends the name, then the whole line; the first that names an
    // existing file wins ("C:\Program Files\a b\x.exe" tries "C:\Program" first, as Windows does:
    // the reason a planted "C:\Program.exe" runs).
    size_t tried = 0;
    size_t pos = 0;
    // When none exists: the first candidate that names a file with an extension is what the line
    // meant ("C:\Program Files\a b\x.exe", not "C:\Program"); without one, the first word.
    size_t meant = line.find_first_of(" \t");
    bool meantFound = false;
    while (tried < kMaxBlankCandidates) {
        const size_t blank = line.find_first_of(" \t", pos);
        const std::string_view name = line.substr(0, blank);
        if (!meantFound && HasExtension(name)) {
            meant = blank;
            meantFound = true;
        }
        ++tried;
        const std::string found = FindProgram(std::string(name), context, defaultExtension);
        if (!found.empty()) {
            split.program = found;
            split.rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank);
            split.found = true;
            return split;
        }
        if (blank == std::string_view::npos)
            break;
        pos = blank + 1;
    }
    split.program = std::string(line.substr(0, meant));
    split.rest = meant == std::string_view::npos ? std::string_view() : line.substr(meant);
    return split;
}

bool NameIs(std::string_view path, std::string_view base) {
    const std::string_view name = FileNameOf(path);
    return EqualsIgnoreCase(name, base) || EqualsIgnoreCase(name, std::string(base) + ".exe");
}

// rundll32's own argument: the library, up to the comma before the entry point.
std::string_view RundllLibrary(std::string_view rest, std::string_view& after) {
    rest = TrimBlanks(rest);
    if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.find('"', 1);
        after = close == std::string_view::npos ? std::string_view() : rest.substr(close + 1);
        return rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    }
    const size_t comma = rest.find(',');
    const size_t end = comma == std::string_view::npos ? rest.find_first_of(" \t") : comma;
    after = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    return rest.substr(0, end);
}

// The command "cmd /c" (or /k, /r) runs, or nothing when it has none.
bool CmdInner(std::string_view rest, std::string_view& inner) {
    size_t pos = 0;
    while (pos < rest.size()) {
        while (pos < rest.size() && IsBlank(rest[pos]))
            ++pos;
        if (pos + 1 >= rest.size() || rest[pos] != '/')
            return false;
        const char option = static_cast<char>(rest[pos + 1] | 0x20);
        if (option == 'c' || option == 'k' || option == 'r') {
            inner = rest.substr(pos + 2);
            return true;
        }
        const size_t next = rest.find_first_of(" \t", pos);
        if (next == std::string_view::npos)
            return false;
        pos = next;
    }
    return false;
}

// What cmd's built-in "start ["title"] [options] command" runs: the command after the window
// title (the first word when quoted and more follows) and the options ("/d folder" takes one).
std::string_view AfterStart(std::string_view inner) {
    if (!StartsWithOrdinalIgnoreCase(inner, "start") || inner.size() == 5 || !IsBlank(inner[5]))
        return inner;
    std::string_view rest = TrimBlanks(inner.substr(5));
    auto skipWord = [&rest]() {
        const size_t blank = rest.find_first_of(" \t");
        rest = blank == std::string_view::npos ? std::string_view() : TrimBlanks(rest.substr(blank));
    };
    bool titleTaken = false;
    for (int step = 0; step < 32 && !rest.empty(); ++step) {
        if (rest.front() == '/') {
            const bool folder = rest.size() >= 2 && (rest[1] | 0x20) == 'd' && (rest.size() == 2 || IsBlank(rest[2]));
            skipWord();
            if (folder)
                skipWord();
            continue;
        }
        if (rest.front() == '"' && !titleTaken) {
            titleTaken = true;
            const size_t close = rest.find('"', 1);
            if (close != std::string_view::npos) {
                const std::string_view after = TrimBlanks(rest.substr(close + 1));
                if (!after.empty()) {
                    rest = after;
                    continue;
                }
            }
        }
        break;
    }
    return rest;
}

void Resolve(std::string_view line, const ResolveContext& context, ResolvedCommand& out, int depth) {
    Split split = SplitProgram(line, context, ".exe");
    if (split.program.empty()) {
        out.problem = "no program";
        return;
    }
    if (depth < kMaxHostDepth && NameIs(split.program, "rundll32")) {
        std::string_view after;
        const std::string library(TrimBlanks(RundllLibrary(split.rest, after)));
        if (!library.empty()) {
            out.host = split.program;
            const std::string found = FindProgram(library, context, ".dll");
            out.program = found.empty() ? library : found;
            out.exists = !found.empty();
            out.arguments = std::string(TrimBlanks(after));
            return;
        }
    }
    std::string_view inner;
    if (depth < kMaxHostDepth && NameIs(split.program, "cmd") && CmdInner(split.rest, inner)) {
        inner = TrimBlanks(inner);
        // cmd takes the quotes off a line that opens with one and ends with one.
        if (inner.size() >= 2 && inner.front() == '"' && inner.back() == '"' && inner.find('"', 1) != inner.size() - 1)
            inner = inner.substr(1, inner.size() - 2);
        inner = AfterStart(inner);
        if (!inner.empty()) {
            const std::string host = split.program;
            const std::string innerLine(inner);
            Resolve(innerLine, context, out, depth + 1);
            if (out.host.empty())
                out.host = host;
            return;
        }
    }
    out.program = split.program;
    out.exists = split.found;
    out.arguments = std::string(TrimBlanks(split.rest));
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view s) {
    std::vector<std::string> args;
    if (s.size() > kMaxCommandLength * 3)
        s = s.substr(0, kMaxCommandLength * 3);
    size_t i = 0;
    // The program name: up to the next quote, or the next blank; no escapes.
    std::string first;
    if (i < s.size() && s[i] == '"') {
        ++i;
        while (i < s.size() && s[i] != '"')
            first += s[i++];
        if (i < s.size())
            ++i;
    } else {
        while (i < s.size() && !IsBlank(s[i]))
            first += s[i++];
    }
    args.push_back(std::move(first));
    for (CommandArgument& argument : SplitArguments(s.substr(i)))
        args.push_back(std::move(argument.value));
    return args;
}

std::vector<CommandArgument> SplitArguments(std::string_view s) {
    std::vector<CommandArgument> args;
    if (s.size() > kMaxCommandLength * 3)
        s = s.substr(0, kMaxCommandLength * 3);
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    if (i >= s.size())
        return args;
    CommandArgument current;
    current.begin = i;
    size_t backslashes = 0;
    int quotes = 0;  // 1 inside quotes; counts doubled quotes as the system does
    while (i < s.size()) {
        const char c = s[i];
        if (IsBlank(c) && quotes == 0) {
            current.end = i;
            args.push_back(std::move(current));
            current = CommandArgument{};
            backslashes = 0;
            while (i < s.size() && IsBlank(s[i]))
                ++i;
            if (i >= s.size())
                return args;
            current.begin = i;
            continue;
        }
        if (c == '\\') {
            current.value += c;
            ++backslashes;
            ++i;
            continue;
        }
        if (c == '"') {
            if (backslashes % 2 == 0) {
                current.value.resize(current.value.size() - backslashes / 2);
                ++quotes;
            } else {
                current.value.resize(current.value.size() - backslashes / 2 - 1);
                current.value += '"';
            }
            ++i;
            backslashes = 0;
            while (i < s.size() && s[i] == '"') {
                if (++quotes == 3) {
                    current.value += '"';
                    quotes = 0;
                }
                ++i;
            }
            if (quotes == 2)
                quotes = 0;
            continue;
        }
        current.value += c;
        backslashes = 0;
        ++i;
    }
    current.end = i;
    args.push_back(std::move(current));
    return args;
}

std::string NormalizeImagePath(std::string_view path, const std::string& windowsDirectory) {
    path = TrimBlanks(path);
    auto withWindows = [&](std::string_view rest) { return windowsDirectory + "\\" + std::string(rest); };
    if (StartsWithOrdinalIgnoreCase(path, "\\SystemRoot\\"))
        return withWindows(path.substr(12));
    if (StartsWithOrdinalIgnoreCase(path, "%SystemRoot%\\"))
        return withWindows(path.substr(13));
    if (StartsWith(path, "\\??\\") || StartsWith(path, "\\\\?\\"))
        return std::string(path.substr(4));
    if (StartsWithOrdinalIgnoreCase(path, "system32\\") || StartsWithOrdinalIgnoreCase(path, "SysWOW64\\"))
        return withWindows(path);
    return std::string(path);
}

ResolvedCommand ResolveCommand(std::string_view command, const ResolveContext& context) {
    ResolvedCommand out;
    if (command.size() > kMaxCommandLength * 3) {
        out.problem = "command too long";
        return out;
    }
    out.expanded = context.expand ? context.expand(std::string(command)) : std::string(command);
    if (out.expanded.size() > kMaxCommandLength * 3) {
        out.problem = "command too long";
        out.expanded.clear();
        return out;
    }
    if (out.expanded.find('\0') != std::string::npos) {
        out.problem = "command holds a NUL";
        out.expanded.resize(out.expanded.find('\0'));
    }
    Resolve(out.expanded, context, out, 0);
    return out;
}

ResolvedCommand ResolveModule(std::string_view path, const ResolveContext& context) {
    ResolvedCommand out;
    if (path.size() > kMaxCommandLength * 3) {
        out.problem = "path too long";
        return out;
    }
    out.expanded = context.expand ? context.expand(std::string(path)) : std::string(path);
    std::string_view name = TrimBlanks(out.expanded);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    if (name.empty() || name.size() > kMaxCommandLength * 3 || name.find('\0') != std::string_view::npos) {
        out.problem = name.empty() ? "no program" : "damaged path";
        return out;
    }
    const std::string found = FindProgram(std::string(name), context, ".dll");
    out.exists = !found.empty();
    out.program = out.exists ? found : std::string(name);
    return out;
}

ResolvedCommand ResolveServiceImage(std::string_view name,
                                    std::string_view imagePath,
                                    bool driver,
                                    const ResolveContext& context) {
    if (TrimBlanks(imagePath).empty()) {
        if (driver)
            return ResolveModule(context.systemDirectory + "\\drivers\\" + std::string(name) + ".sys", context);
        ResolvedCommand none;
        none.problem = "no program";
        return none;
    }
    return ResolveCommand(NormalizeImagePath(imagePath, context.windowsDirectory), context);
}

}  // namespace pellora::autostart
