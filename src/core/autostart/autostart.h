// Every place Windows starts a program from by itself, read (never changed) through the
// registry, file-system and system ports: Run and RunOnce values, the Startup folders, the
// scheduled tasks below System32\Tasks, services and drivers, Winlogon, image-execution
// debuggers, AppInit DLLs, Active Setup, browser helper objects and other shell hooks, the boot
// programs, the known DLLs and the hosts file. Each autostart gives one entry with its command
// as stored and the program it resolves to (see command_line.h), so the scan can match found
// files against them by identity and the inventory can list them.
//
// Damaged data (a value of the wrong type, text with a NUL, a value or file too large to be
// real, a definition that does not parse) gives an entry that says so in `problem`; nothing is
// skipped silently and nothing throws. The walk is linear in the number of keys, values and
// files it reads, and never enters a folder link.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/autostart/command_line.h"
#include "core/ports/file_system.h"
#include "core/ports/registry.h"
#include "core/ports/services.h"
#include "core/ports/system.h"

namespace pellora::autostart {

// Stable place ids.
namespace place {
inline constexpr const char* kRun = "run";
inline constexpr const char* kRunOnce = "runonce";
inline constexpr const char* kStartup = "startup";
inline constexpr const char* kTask = "task";
inline constexpr const char* kService = "service";
inline constexpr const char* kWinlogonShell = "winlogon-shell";
inline constexpr const char* kWinlogonUserinit = "winlogon-userinit";
inline constexpr const char* kWinlogonNotify = "winlogon-notify";
inline constexpr const char* kIfeoDebugger = "ifeo-debugger";
inline constexpr const char* kAppInit = "appinit";
inline constexpr const char* kActiveSetup = "active-setup";
inline constexpr const char* kBho = "bho";
inline constexpr const char* kShellExecuteHook = "shell-execute-hook";
inline constexpr const char* kShellServiceObject = "shell-service-object";
inline constexpr const char* kBootExecute = "boot-execute";
inline constexpr const char* kKnownDll = "known-dll";
inline constexpr const char* kHosts = "hosts";
}  // namespace place

// Largest registry text taken as a command; longer values are reported as damaged.
inline constexpr size_t kMaxValueLength = 64 * 1024;
// Largest shortcut and hosts file read.
inline constexpr uint64_t kMaxShortcutLength = 1024 * 1024;
inline constexpr uint64_t kMaxHostsLength = 64 * 1024 * 1024;

struct AutostartEntry {
    std::string place;     // one of place::k...
    std::string location;  // the key ("HKEY_LOCAL_MACHINE\...") or the file or folder
    std::string name;      // value name, file name, task path ("\Folder\Name"), service or class
    std::string command;   // as stored (a host's line for the hosts file)
    std::string program;   // the file that runs, a full path when it was found ("" for none)
    std::string arguments;
    bool exists = false;  // whether `program` is an existing file
    bool enabled = true;  // false for a disabled task or service
    std::string problem;  // "" or what is wrong with the stored data
    // The script or proxy hosts on the way to `program`, outermost first (see ResolvedCommand),
    // and what the innermost one is given to run.
    std::vector<std::string> hosts;
    HostPayload payload = HostPayload::Program;
    std::string payloadText;
};

// Resolving as the running system does: its environment, its folders, its files.
ResolveContext SystemResolveContext(FileSystemPort& files, SystemPort& system);

// A shell folder of the user (`root` CurrentUser) or of all users (LocalMachine): Explorer's
// "User Shell Folders" value, else its "Shell Folders" one, else `fallback`, expanded; "" when
// none names a folder (a variable the fallback needs is unknown).
std::string ShellFolderPath(RegistryPort& registry,
                            SystemPort& system,
                            RootKey root,
                            const std::string& name,
                            const std::string& fallback);

class AutostartEnumerator {
  public:
    AutostartEnumerator(RegistryPort& registry, FileSystemPort& files, SystemPort& system);

    std::vector<AutostartEntry> Enumerate();

    // The places read one by one (Enumerate calls them all, in this order).
    void ReadRunKeys(std::vector<AutostartEntry>& out);
    void ReadStartupFolders(std::vector<AutostartEntry>& out);
    void ReadTasks(std::vector<AutostartEntry>& out);
    void ReadServices(std::vector<AutostartEntry>& out);
    void ReadWinlogon(std::vector<AutostartEntry>& out);
    void ReadImageDebuggers(std::vector<AutostartEntry>& out);
    void ReadAppInit(std::vector<AutostartEntry>& out);
    void ReadActiveSetup(std::vector<AutostartEntry>& out);
    void ReadShellHooks(std::vector<AutostartEntry>& out);
    void ReadSessionManager(std::vector<AutostartEntry>& out);
    void ReadHosts(std::vector<AutostartEntry>& out);

  private:
    struct Text {
        std::string value;
        std::string problem;
        bool present = false;
    };
    Text ReadText(RootKey root, const std::string& key, const std::string& name);
    static Text TextOf(const std::optional<RegValue>& value);
    AutostartEntry CommandEntry(const char* place,
                                const std::string& location,
                                const std::string& name,
                                const Text& text);
    AutostartEntry ModuleEntry(const char* place,
                               const std::string& location,
                               const std::string& name,
                               const std::string& path,
                               const std::string& problem);
    // The class's in-process server in the view of `wow` first, then the other one.
    std::string ClassServer(const std::string& clsid, bool wow);
    void AddClassEntry(std::vector<AutostartEntry>& out,
                       const char* place,
                       const std::string& location,
                       const std::string& name,
                       const std::string& clsid,
                       bool wow);
    void WalkTasks(const std::string& folder,
                   const std::string& taskPath,
                   const std::optional<std::string>& expectedFinal,
                   int depth,
                   std::vector<AutostartEntry>& out);
    void ReadTaskFile(const std::string& path,
                      const std::string& taskPath,
                      uint64_t size,
                      std::vector<AutostartEntry>& out);
    void ReadStartupFolder(const std::string& folder, std::vector<AutostartEntry>& out);

    RegistryPort& registry_;
    FileSystemPort& files_;
    SystemPort& system_;
    ResolveContext context_;
};

}  // namespace pellora::autostart
