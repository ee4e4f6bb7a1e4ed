// ProcessesWin: the process port on kernel32 and user32. The snapshot is tool-help's; windows
// are found by walking the desktop's top-level windows; commands start with CreateProcessW and
// are waited for without pumping messages.
#pragma once

#include "core/ports/processes.h"

namespace pellora::win32 {

class ProcessesWin : public ProcessPort {
  public:
    std::vector<ProcessEntry> Snapshot() override;
    bool PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t wParam) override;
    bool IsRunning(uint32_t pid) override;
    bool Terminate(uint32_t pid, uint32_t exitCode) override;
    uint32_t CurrentProcessId() override;
    WindowsVersion Version() override;
    // Without handle inheritance; the first word, when a full path, is the program itself.
    BoundedRun RunAndWaitBounded(const std::string& commandLine, int showWindow, uint32_t timeoutMs) override;
    std::optional<ProcessEntry> Describe(uint32_t pid) override;
};

}  // namespace pellora::win32
