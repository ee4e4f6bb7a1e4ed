// Shortcuts where a person starts programs from (the desktops, the Start menus, Quick Launch with
// the pinned taskbar below it, the Startup folders; the user's and all users'), and what a
// hijacker's text in one of them means. The folders come from Explorer's shell folder values
// with the usual fallbacks; the walk lists each folder through one handle (ListFolder), enters a
// subfolder only when its final path lies directly below its parent's (never a junction, a
// symbolic link or a Wine host link), goes at most kMaxShortcutFolderDepth levels down and
// walks a folder reached twice (Startup below the Start menu, one folder named by two values)
// once. A .lnk is read only when it is a plain file directly below the folder it was listed in,
// at most kMaxShortcutLength bytes, and the same file before and after the read: what is read
// is the file whose identity is kept, never a link's target.
//
// A browser's shortcut with a hijacker's address among its arguments is repaired (the
// arguments that hold the text are taken out, the others kept as they were written); any other
// shortcut whose target or arguments hold the text is deleted.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/autostart/shortcut.h"
#include "core/identity/object_identity.h"
#include "core/ports/file_system.h"
#include "core/ports/presence.h"
#include "core/ports/registry.h"
#include "core/ports/system.h"

namespace pellora::autostart {

// Subfolders deeper than this below a walked folder are not entered.
inline constexpr int kMaxShortcutFolderDepth = 8;
// A walk stops after this many shortcuts: no real profile holds as many.
inline constexpr size_t kMaxShortcutsRead = 20000;

// The walked folders, the user's first: Desktop, Start Menu, Startup, Quick Launch (below
// AppData), then Common Desktop, Common Start Menu, Common Startup. Unnamed ones are left out.
std::vector<std::string> ShortcutFolders(RegistryPort& registry, SystemPort& system);

// A .lnk file's bytes and the file they were read from.
struct ShortcutFile {
    std::string bytes;
    FileIdentity identity;
};

// True when both identities are of one file (volume and file id).
bool IsSameFile(const FileIdentity& a, const FileIdentity& b);

// The .lnk at `path`, read through one handle opened without following a final link, taken only
// when the file read lies directly below the folder whose final path is `folderFinal` (not
// itself a link, not reached through one) and holds at most kMaxShortcutLength bytes. Nothing
// otherwise.
std::optional<ShortcutFile> ReadShortcutFile(ObjectIdentity& identity,
                                             const std::string& folderFinal,
                                             const std::string& path);

struct PlacedShortcut {
    std::string path;       // as walked: the folder as named, then the names below it
    FileIdentity identity;  // the file that was read
    Shortcut link;
};

// Every .lnk of `folders` and their subfolders that reads as a shortcut, each read once, in
// walk order. `keepGoing` is asked before each folder; false ends the walk there.
std::vector<PlacedShortcut> ReadPlacedShortcuts(ObjectIdentity& identity,
                                                const AnsiConverter& ansiToUtf8,
                                                const std::vector<std::string>& folders,
                                                const std::function<bool()>& keepGoing);

// True when the link's target or arguments (as written, or one argument as the program reads
// it) hold `text`, letter case aside ("" is held by none).
bool ShortcutHolds(const Shortcut& link, std::string_view text);
// True when the program at `path` is a browser this program knows, by its file name
// (launcher.exe only inside an Opera folder).
bool IsBrowserProgram(std::string_view path);
// The arguments without each argument (split as CommandLineToArgvW splits them) whose value
// holds `text`; the others stay as they were written, with the blanks before them. Nothing when
// no argument holds it, or when the list is too long to split whole.
std::optional<std::string> ArgumentsWithout(std::string_view arguments, std::string_view text);

// Whether the link at `path` still holds `text`: Absent when it is gone or holds it no more,
// Unknown when it cannot be read without a link on the way.
Presence ShortcutTextPresence(ObjectIdentity& identity, const std::string& path, std::string_view text);

struct ShortcutRemoval {
    enum class Action {
        NotHeld,       // neither target nor arguments hold the text (any more)
        Repair,        // a browser's link: `arguments` replace its arguments
        Delete,        // any other link, or a browser's whose target holds the text
        Unrepairable,  // a browser's link whose text no whole argument holds
    };
    Action action = Action::NotHeld;
    std::string arguments;
};
ShortcutRemoval PlanShortcutRemoval(const Shortcut& link, std::string_view text);

}  // namespace pellora::autostart
