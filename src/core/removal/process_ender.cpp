#include "core/removal/process_ender.h"

#include <array>
#include <optional>
#include <string>

#include "core/util/text.h"

namespace pellora {

namespace {
// Names as the process snapshot reports them. Ending any of these stops or crashes Windows.
constexpr std::array<std::string_view, 16> kSystemCritical = {
    "[system process]", "system",    "system idle process", "registry",    "memory compression",
    "secure system",    "smss.exe",  "csrss.exe",           "wininit.exe", "winlogon.exe",
    "services.exe",     "lsass.exe", "lsaiso.exe",          "svchost.exe", "dwm.exe",
    "fontdrvhost.exe",
};
}  // namespace

bool IsSystemCriticalProcess(std::string_view exeName) {
    size_t slash = exeName.find_last_of("\\/");
    if (slash != std::string_view::npos)
        exeName.remove_prefix(slash + 1);
    for (std::string_view name : kSystemCritical) {
        if (EqualsIgnoreCase(exeName, name))
            return true;
    }
    return false;
}

void ProcessEnder::DetectWindowsFamily() {
    WindowsVersion v = processes_.Version();
    win9x_ = (((v.major == 4 && v.minor == 0) || v.major > 4) && v.platformId == 1) || (v.major == 4 && v.minor > 0);
    versionRead_ = true;
}

bool ProcessEnder::PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t wParam) {
    return processes_.PostToProcessWindows(pid, message, wParam);
}

std::optional<std::string> ProcessEnder::ExeNameOf(uint32_t pid) {
    for (const ProcessEntry& entry : processes_.Snapshot()) {
        if (entry.pid == pid)
            return entry.exeName;
    }
    return std::nullopt;
}

bool ProcessEnder::WaitForEnd(uint32_t pid, uint64_t limitMs) {
    uint64_t start = clock_.MonotonicMs();
    while (processes_.IsRunning(pid)) {
        if (clock_.MonotonicMs() - start >= limitMs)
            return false;
        ui_.Yield();
    }
    return true;
}

bool ProcessEnder::EndProcess(uint32_t pid, uint32_t exitCode) {
    if (!versionRead_)
        DetectWindowsFamily();
    if (pid == processes_.CurrentProcessId())
        return false;
    // The name decides whether the process may be ended, so one that cannot be named (the
    // snapshot failed, or it started just now) is left alone.
    std::optional<std::string> exeName = ExeNameOf(pid);
    if (!exeName)
        return !processes_.IsRunning(pid);
    if (IsSystemCriticalProcess(*exeName))
        return false;

    if (win9x_) {
        // WM_ENDSESSION with wParam TRUE (every bit set, as the classic call passed it).
        if (!PostToProcessWindows(pid, kWmEndSession, ~uintptr_t{0}))
            return false;
        return processes_.Terminate(pid, exitCode);
    }

    // Asking first lets a well-behaved program save and close; a process that ignores the
    // request, or has no window to receive it, is terminated after the wait.
    if (PostToProcessWindows(pid, kWmClose, 0) && WaitForEnd(pid, kCloseWaitMs))
        return true;
    if (!processes_.Terminate(pid, exitCode))
        return !processes_.IsRunning(pid);
    return WaitForEnd(pid, kTerminateWaitMs);
}

}  // namespace pellora
