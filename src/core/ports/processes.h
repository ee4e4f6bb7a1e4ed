// Process port: the process snapshot, posting to a process's top-level windows, ending a
// process and running a command line hidden while waiting for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pellora {

struct ProcessEntry {
    std::string exeName;  // executable file name as the snapshot reports it
    uint32_t pid = 0;
    // Who the process is: its image's full path and its creation time (FILETIME), so a process
    // id the system has given to another program since is told apart. Empty and 0 when unknown.
    std::string imagePath;
    uint64_t creationTime = 0;
};

struct WindowsVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t platformId = 2;  // 1 = Windows 95/98/Me, 2 = NT family
};

class ProcessPort {
  public:
    virtual ~ProcessPort() = default;

    // Running processes in the order the system reports them; empty when the snapshot fails.
    virtual std::vector<ProcessEntry> Snapshot() = 0;
    // Posts `message` with `wParam` (lParam 0) to every top-level window without parent or owner
    // that belongs to `pid`. True when at least one window was found.
    virtual bool PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t wParam) = 0;
    virtual bool IsRunning(uint32_t pid) = 0;
    // Ends the process at once. True when the termination call succeeded.
    virtual bool Terminate(uint32_t pid, uint32_t exitCode) = 0;
    virtual uint32_t CurrentProcessId() = 0;
    virtual WindowsVersion Version() = 0;
    // The process that now has `pid`, with its image path and creation time; nothing when there
    // is none or it cannot be queried.
    virtual std::optional<ProcessEntry> Describe(uint32_t pid) {
        (void)pid;
        return std::nullopt;
    }
    // Starts `commandLine` (whose first word is the program's full path) without handing it any
    // of this program's handles, and waits at most `timeoutMs`, keeping the window painted;
    // past the bound the program is ended. Ran: it started; finished: it ended by itself.
    struct BoundedRun {
        bool ran = false;
        bool finished = false;
    };
    virtual BoundedRun RunAndWaitBounded(const std::string& commandLine, int showWindow, uint32_t timeoutMs) = 0;
};

}  // namespace pellora
