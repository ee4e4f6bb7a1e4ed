// The logon task on the Task Scheduler 2.0 interface (ITaskService): a task in the scheduler's
// root folder, started by the logon of any member of Users, with the highest privileges that
// user has, running the program's executable in its own folder.
#pragma once

#include <string>

#include "core/ports/logon_task.h"

namespace pellora::win32 {

inline constexpr const wchar_t* kLogonTaskName = L"Pellora";

// The task's definition in the scheduler's XML schema, starting `executable` in its folder.
std::wstring LogonTaskDefinition(const std::wstring& executable);

class LogonTaskWin : public LogonTaskPort {
  public:
    // `name`: the task's name in the root folder (tests use their own).
    explicit LogonTaskWin(std::wstring name = kLogonTaskName) : name_(std::move(name)) {}

    bool Exists() override;
    bool Register(const std::string& executablePath) override;
    bool Remove() override;
    // The registered task's XML definition as the scheduler keeps it; "" when there is none.
    std::string DefinitionXml();

  private:
    std::wstring name_;
};

}  // namespace pellora::win32
