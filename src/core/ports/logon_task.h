// Logon task port: the scheduled task that starts the program when a user logs on, with the
// highest privileges that user has. Windows does not start a program that asks for elevation
// from the Run key, so the start-with-Windows box keeps such a task beside the Run value.
#pragma once

#include <string>

namespace pellora {

class LogonTaskPort {
  public:
    virtual ~LogonTaskPort() = default;

    // Whether the task is registered.
    [[nodiscard]] virtual bool Exists() = 0;
    // Registers the task, or replaces it, to start `executablePath` at logon; false when the task
    // scheduler refused (no rights, no service).
    [[nodiscard]] virtual bool Register(const std::string& executablePath) = 0;
    // Removes the task; true when none is left.
    virtual bool Remove() = 0;
};

}  // namespace pellora
