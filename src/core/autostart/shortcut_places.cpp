#include "core/autostart/shortcut_places.h"

#include <unordered_set>

#include "core/autostart/autostart.h"
#include "core/autostart/command_line.h"
#include "core/browsers/browser_reader.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::autostart {

namespace {

std::string Joined(const std::string& folder, std::string_view name) {
    return EndsWith(folder, "\\") ? folder + std::string(name) : folder + "\\" + std::string(name);
}

struct PendingFolder {
    std::string path;
    std::optional<std::string> expectedFinal;  // the parent's final path and the name; none for a walked folder
    int depth = 0;
};

}  // namespace

bool IsSameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.volumeSerial == b.volumeSerial && a.fileIdHigh == b.fileIdHigh && a.fileIdLow == b.fileIdLow;
}

std::vector<std::string> ShortcutFolders(RegistryPort& registry, SystemPort& system) {
    struct Named {
        RootKey root;
        const char* name;
        const char* fallback;
        const char* below;  // appended to the folder found
    };
    static constexpr Named kFolders[] = {
        {RootKey::CurrentUser, "Desktop", "%USERPROFILE%\\Desktop", ""},
        {RootKey::CurrentUser, "Start Menu", "%APPDATA%\\Microsoft\\Windows\\Start Menu", ""},
        {RootKey::CurrentUser, "Startup", "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", ""},
        {RootKey::CurrentUser, "AppData", "%APPDATA%", "\\Microsoft\\Internet Explorer\\Quick Launch"},
        {RootKey::LocalMachine, "Common Desktop", "%PUBLIC%\\Desktop", ""},
        {RootKey::LocalMachine, "Common Start Menu", "%ProgramData%\\Microsoft\\Windows\\Start Menu", ""},
        {RootKey::LocalMachine, "Common Startup", "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp",
         ""},
    };
    std::vector<std::string> folders;
    for (const Named& named : kFolders) {
        std::string folder = ShellFolderPath(registry, system, named.root, named.name, named.fallback);
        while (folder.size() > 3 && folder.back() == '\\')
            folder.pop_back();
        if (folder.empty())
            continue;
        folder += named.below;
        bool listed = false;
        for (const std::string& known : folders)
            listed = listed || EqualsOrdinalIgnoreCase(known, folder);
        if (!listed)
            folders.push_back(std::move(folder));
    }
    return folders;
}

std::optional<ShortcutFile> ReadShortcutFile(ObjectIdentity& identity,
                                             const std::string& folderFinal,
                                             const std::string& path) {
    FileSystemPort& files = identity.files();
    // One handle, opened without following a final link, gives the identity and the bytes; the
    // file read must be the entry itself (a link Wine follows anyway has another final path).
    std::optional<FileSystemPort::IdentifiedBytes> read = files.ReadFileIdentified(path, kMaxShortcutLength);
    const auto folderParts = SplitFoldedPath(folderFinal);
    const auto readParts = read ? SplitFoldedPath(read->identity.finalPath) : std::nullopt;
    if (!read || (read->identity.attributes & file_attr::kReparsePoint) || !folderParts || !readParts ||
        readParts->size() != folderParts->size() + 1 || !IsStrictlyBelow(*readParts, *folderParts))
        return std::nullopt;
    return ShortcutFile{std::move(read->bytes), std::move(read->identity)};
}

std::vector<PlacedShortcut> ReadPlacedShortcuts(ObjectIdentity& identity,
                                                const AnsiConverter& ansiToUtf8,
                                                const std::vector<std::string>& folders,
                                                const std::function<bool()>& keepGoing) {
    FileSystemPort& files = identity.files();
    std::vector<PlacedShortcut> out;
    std::unordered_set<std::string> walked;  // folded final paths
    std::vector<PendingFolder> pending;
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        pending.push_back(PendingFolder{*folder, std::nullopt, 0});
    std::vector<FindEntry> entries;
    std::vector<std::string> subfolders;
    while (!pending.empty() && out.size() < kMaxShortcutsRead) {
        if (keepGoing && !keepGoing())
            break;
        const PendingFolder folder = std::move(pending.back());
        pending.pop_back();
        entries.clear();
        std::optional<std::string> finalPath;
        // A folder whose final path cannot be told, or is not directly below its parent's, is
        // not entered; one reached before is not walked again.
        if (!files.ListFolder(folder.path, entries, finalPath) || !finalPath ||
            (folder.expectedFinal && !EqualsOrdinalIgnoreCase(*finalPath, *folder.expectedFinal)) ||
            !walked.insert(FoldOrdinal(*finalPath)).second)
            continue;
        subfolders.clear();
        for (const FindEntry& entry : entries) {
            if (entry.attributes & file_attr::kDirectory) {
                if (!(entry.attributes & file_attr::kReparsePoint) && folder.depth + 1 < kMaxShortcutFolderDepth)
                    subfolders.push_back(entry.name);
                continue;
            }
            if ((entry.attributes & file_attr::kReparsePoint) || entry.size > kMaxShortcutLength ||
                !EndsWith(ToLowerAscii(entry.name), ".lnk"))
                continue;
            const std::string path = Joined(folder.path, entry.name);
            std::optional<ShortcutFile> file = ReadShortcutFile(identity, *finalPath, path);
            std::optional<Shortcut> link = file ? ReadShortcut(file->bytes, ansiToUtf8) : std::nullopt;
            if (link)
                out.push_back(PlacedShortcut{path, std::move(file->identity), std::move(*link)});
            if (out.size() >= kMaxShortcutsRead)
                break;
        }
        for (auto name = subfolders.rbegin(); name != subfolders.rend(); ++name)
            pending.push_back(PendingFolder{Joined(folder.path, *name), Joined(*finalPath, *name), folder.depth + 1});
    }
    return out;
}

bool ShortcutHolds(const Shortcut& link, std::string_view text) {
    if (text.empty())
        return false;
    if (ContainsOrdinalIgnoreCase(link.target, text) || ContainsOrdinalIgnoreCase(link.arguments, text))
        return true;
    // Quotes inside an argument ("evil.exa"mple) hide the text from the written form only.
    if (link.arguments.find('"') == std::string::npos)
        return false;
    for (const CommandArgument& argument : SplitArguments(link.arguments)) {
        if (ContainsOrdinalIgnoreCase(argument.value, text))
            return true;
    }
    return false;
}

bool IsBrowserProgram(std::string_view path) {
    const size_t cut = path.find_last_of("\\/");
    const std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    if (EqualsIgnoreCase(name, "iexplore.exe"))
        return true;
    for (const browsers::BrowserInfo& browser : browsers::KnownBrowsers()) {
        if (EqualsIgnoreCase(name, browser.imageName))
            return true;
    }
    if (!EqualsIgnoreCase(name, "launcher.exe") || cut == std::string_view::npos)
        return false;
    // Opera starts through its launcher, kept in a folder "Opera", "Opera GX" and the like.
    const std::string_view folder = path.substr(0, cut);
    const size_t parent = folder.find_last_of("\\/");
    return StartsWith(ToLowerAscii(parent == std::string_view::npos ? folder : folder.substr(parent + 1)), "opera");
}

std::optional<std::string> ArgumentsWithout(std::string_view arguments, std::string_view text) {
    // Longer lists are split only in part; what follows would be lost.
    if (text.empty() || arguments.size() > kMaxCommandLength * 3)
        return std::nullopt;
    const std::vector<CommandArgument> split = SplitArguments(arguments);
    std::string out;
    bool removed = false;
    bool kept = false;
    size_t previousEnd = 0;
    for (const CommandArgument& argument : split) {
        if (ContainsOrdinalIgnoreCase(argument.value, text)) {
            removed = true;
        } else {
            // Before the first one kept go the blanks that led the list; before any other, those
            // that followed the argument before it, kept or not.
            const size_t from = kept ? previousEnd : 0;
            const size_t to = kept ? argument.begin : split.front().begin;
            out.append(arguments.substr(from, to - from));
            out.append(arguments.substr(argument.begin, argument.end - argument.begin));
            kept = true;
        }
        previousEnd = argument.end;
    }
    if (!removed)
        return std::nullopt;
    if (kept)
        out.append(arguments.substr(split.back().end));
    return out;
}

Presence ShortcutTextPresence(ObjectIdentity& identity, const std::string& path, std::string_view text) {
    const Presence there = identity.files().Probe(path);
    const size_t slash = path.rfind('\\');
    if (there != Presence::Present || slash == std::string::npos)
        return there;
    const std::optional<ResolvedObject> folder = identity.Resolve(path.substr(0, slash == 2 ? 3 : slash));
    const std::optional<ShortcutFile> file =
        folder ? ReadShortcutFile(identity, folder->finalPath, path) : std::nullopt;
    const std::optional<Shortcut> link = file ? ReadShortcut(file->bytes) : std::nullopt;
    if (!link)
        return Presence::Unknown;
    return ShortcutHolds(*link, text) ? Presence::Present : Presence::Absent;
}

ShortcutRemoval PlanShortcutRemoval(const Shortcut& link, std::string_view text) {
    ShortcutRemoval plan;
    if (!ShortcutHolds(link, text))
        return plan;
    if (!IsBrowserProgram(link.target) || ContainsOrdinalIgnoreCase(link.target, text)) {
        plan.action = ShortcutRemoval::Action::Delete;
        return plan;
    }
    std::optional<std::string> arguments = ArgumentsWithout(link.arguments, text);
    if (!arguments || ContainsOrdinalIgnoreCase(*arguments, text)) {
        plan.action = ShortcutRemoval::Action::Unrepairable;
        return plan;
    }
    plan.action = ShortcutRemoval::Action::Repair;
    plan.arguments = std::move(*arguments);
    return plan;
}

}  // namespace pellora::autostart
