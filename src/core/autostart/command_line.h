// Command lines as Windows reads them. SplitCommandLine follows CommandLineToArgvW: the program
// name ends at the next quote (when it opens with one) or blank, with no escapes; the other
// arguments use the backslash rules (2n backslashes before a quote give n and the quote opens or
// closes quoting, 2n+1 give n and a literal quote; a doubled quote inside quotes is a literal
// quote). ResolveCommand finds the file a command starts the way the system would start it:
// environment variables expanded, the unquoted "C:\Program Files\x y.exe" form tried blank by
// blank as CreateProcess does, bare names looked up in System32 and the Windows folder, and the
// script and proxy hosts (PowerShell, mshta, wscript, cmd, rundll32, regsvr32, msiexec, ...)
// followed to the script or program they run, or to the inline script, address or encoded
// command they are given. Everything is pure and bounded:
// the file system is only asked whether candidates exist, hostile input never throws.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pellora::autostart {

// Longest command line the system accepts (in UTF-16 units); longer text is refused.
inline constexpr size_t kMaxCommandLength = 32767;

std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// One argument of an argument list: its value, and where its text lies in the list.
struct CommandArgument {
    std::string value;
    size_t begin = 0;
    size_t end = 0;
};
// The arguments of a list that follows a program name (a shortcut's arguments, say), each by
// the backslash rules above, with the span of its text (quotes and escapes included).
std::vector<CommandArgument> SplitArguments(std::string_view arguments);

// What resolving needs from the machine.
struct ResolveContext {
    // %NAME% expansion; when empty the text is used as written.
    std::function<std::string(const std::string&)> expand;
    // Whether a file (not a folder) is at the path; when empty nothing exists.
    std::function<bool(const std::string&)> fileExists;
    // Whether a path leads to another machine (never opened there); when empty none does.
    std::function<bool(const std::string&)> isNetwork;
    std::string systemDirectory;   // "C:\Windows\System32"
    std::string windowsDirectory;  // "C:\Windows"
};

// What a script or proxy host is given to run.
enum class HostPayload {
    Program,  // a file: a script, a library, a package, a program (ResolvedCommand::program)
    Inline,   // script text on the command line, or nothing (an interactive shell)
    Url,      // an address on another machine
    Encoded,  // PowerShell's -EncodedCommand (base64 of UTF-16LE)
};

struct ResolvedCommand {
    std::string expanded;   // the command after environment expansion
    std::string program;    // the file that runs: a full path when it was found, else as written
    std::string arguments;  // what follows the program (the inner program's, for a host form)
    // The program that starts `program` when the command is a rundll32 or "cmd /c" form ("" else).
    std::string host;
    bool exists = false;  // whether `program` is an existing file
    std::string problem;  // why nothing could be resolved ("" when something was)
    // Every script or proxy host on the way, outermost first ("cmd /c powershell ..." gives both).
    std::vector<std::string> hosts;
    // What the innermost host runs. For Inline, Url and Encoded, `program` is that host itself and
    // `payloadText` the script text, the address or the decoded command.
    HostPayload payload = HostPayload::Program;
    std::string payloadText;
};

// Whether the program is one of the script and proxy hosts (by its file name: PowerShell and
// pwsh, mshta, wscript, cscript, cmd, rundll32, regsvr32, msiexec, conhost, bitsadmin, certutil,
// forfiles, schtasks).
bool IsScriptHost(std::string_view program);

// The script or program a resolved command runs: its program, or a script host's script or
// library; "" when it runs no file (inline script, an address, an encoded command).
std::string ScriptOrProgram(const ResolvedCommand& resolved);

ResolvedCommand ResolveCommand(std::string_view command, const ResolveContext& context);

// A library path as the loader takes it (an AppInit or known DLL, a class's server, a service
// DLL): expanded, quotes taken off, ".dll" tried when it has no extension, a bare name looked up
// in System32 and the Windows folder. No arguments are split off: blanks belong to the path.
ResolvedCommand ResolveModule(std::string_view path, const ResolveContext& context);

// The path of a service or driver image as the service manager and kernel write it:
// "\SystemRoot\x", "%SystemRoot%\x", "\??\C:\x", "\\?\C:\x" and "system32\drivers\x.sys"
// (relative to the Windows folder) become ordinary paths; anything else is returned as is.
std::string NormalizeImagePath(std::string_view imagePath, const std::string& windowsDirectory);

// The file a service or driver runs: its image path normalised and resolved as a command; a
// driver without an image path loads system32\drivers\<name>.sys.
ResolvedCommand ResolveServiceImage(std::string_view name,
                                    std::string_view imagePath,
                                    bool driver,
                                    const ResolveContext& context);

}  // namespace pellora::autostart
