// Process port: the process snapshot, posting to a process's top-level windows, ending a
// process and running a command line hidden while waiting for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellora {

struct ProcessEntry {
    std::string exeName;  // executable file name as the snapshot reports it
    uint32_t pid = 0;
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
    // Starts `commandLine` with the given show-window value, normal priority, inherited handles,
    // and waits for it without a time limit. False when the program could not be started.
    virtual bool RunAndWait(const std::string& commandLine, int showWindow) = 0;
};

}  // namespace pellora
