// Shell links (.lnk files) read from their bytes, after the published shell link format: a
// 76-byte header whose flags say which parts follow, an optional item-id list, an optional
// link-info structure (the target's local base path and common path suffix, in the ANSI code
// page and, in newer links, in UTF-16), the counted strings (name, relative path, working
// folder, arguments, icon location) and the extra data blocks (among them the
// environment-variables block, whose target wins when the link says so). Every size and offset
// is checked against the bytes at hand: a hostile file of any length is read or refused, never
// read past its end.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pellora::autostart {

// Converts text in the system's ANSI code page; when empty, bytes are read as Latin-1.
using AnsiConverter = std::function<std::string(std::string_view)>;

struct Shortcut {
    std::string target;             // the file the link starts (see below), "" when it names none
    std::string linkInfoPath;       // local base path (or share name) + common path suffix of the link info
    std::string environmentTarget;  // the environment-variables block's target, unexpanded
    std::string relativePath;
    std::string arguments;
    std::string workingDirectory;
    std::string iconLocation;
    std::string name;  // the description
    bool unicode = false;
};

// The link, or nothing when the bytes are not a shell link or a part overruns them. `target`
// is the environment-variables target when the link is marked to use it, else the link-info
// path, else the environment target.
std::optional<Shortcut> ReadShortcut(std::string_view bytes, const AnsiConverter& ansiToUtf8 = {});

// The same link with only its arguments replaced (added when it had none): every other byte
// stays as it was. Nothing when the bytes are not a readable link or the arguments do not fit
// (more than 65535 characters). `utf8ToAnsi` encodes them for a link that is not Unicode.
std::optional<std::string> ReplaceArguments(std::string_view bytes,
                                            std::string_view newArguments,
                                            const AnsiConverter& utf8ToAnsi = {});

}  // namespace pellora::autostart
