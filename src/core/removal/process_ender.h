// modEndProcess: ending another program by its process id. On the NT family the process is
// first asked to close (WM_CLOSE to its top-level windows); if it is still running after a short
// wait it is ended with TerminateProcess, so a windowless process cannot block its own removal.
// On Windows 9x the classic order stays: WM_ENDSESSION to its windows, then termination.
// The program's own process and the processes the operating system needs are never ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/ports/clock.h"
#include "core/ports/processes.h"
#include "core/ports/ui.h"

namespace pellora {

inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmEndSession = 0x0016;

// How long a process may take to close after WM_CLOSE before it is terminated, and to vanish
// after termination.
inline constexpr uint64_t kCloseWaitMs = 4000;
inline constexpr uint64_t kTerminateWaitMs = 2000;

// True for the executable names of processes Windows cannot run without (session manager,
// client/server runtime, logon, services, security authority, service host, ...), whatever
// their letter case.
bool IsSystemCriticalProcess(std::string_view exeName);

class ProcessEnder {
  public:
    ProcessEnder(ProcessPort& processes, ClockPort& clock, UiPort& ui)
        : processes_(processes), clock_(clock), ui_(ui) {}

    // True only when the process has ended (or was not running). Refuses, with false, the
    // program's own process and system-critical ones. May yield while it waits.
    [[nodiscard]] bool EndProcess(uint32_t pid, uint32_t exitCode);
    // Posts `message` to every top-level window without parent or owner of the process. True
    // when at least one window was found.
    bool PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t wParam);
    // Reads the version once and sets the family flags.
    void DetectWindowsFamily();

    bool versionRead() const { return versionRead_; }
    bool win9x() const { return win9x_; }

  private:
    // The executable name of `pid` in a snapshot taken now; nothing when it is not listed.
    std::optional<std::string> ExeNameOf(uint32_t pid);
    // Yields until the process is gone or `limitMs` have passed; true when it is gone.
    bool WaitForEnd(uint32_t pid, uint64_t limitMs);

    ProcessPort& processes_;
    ClockPort& clock_;
    UiPort& ui_;
    bool versionRead_ = false;
    bool win9x_ = false;
};

}  // namespace pellora
