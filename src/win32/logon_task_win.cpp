#include "win32/logon_task_win.h"

#include <taskschd.h>
#include <windows.h>

#include <utility>

#include "win32/com_win.h"
#include "win32/encoding_win.h"

namespace pellora::win32 {

namespace {

// Builtin\Users by its well-known SID, which does not depend on the system's language.
constexpr const wchar_t* kUsersGroup = L"S-1-5-32-545";

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring XmlText(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        switch (c) {
            case L'&':
                escaped += L"&amp;";
                break;
            case L'<':
                escaped += L"&lt;";
                break;
            case L'>':
                escaped += L"&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

// One text rather than the scheduler's property setters: the whole definition can be read and
// checked where it is made. No time limit: the default would end the program after three days;
// on battery it starts too. Group Users with the highest run level: like the machine's Run
// value it starts for whoever logs on, elevated for an administrator without a prompt.
std::wstring LogonTaskDefinition(const std::wstring& executable) {
    return std::wstring(
               LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo>
    <Author>Pellora</Author>
    <Description>Starts Pellora when a user logs on.</Description>
  </RegistrationInfo>
  <Triggers>
    <LogonTrigger>
      <Enabled>true</Enabled>
    </LogonTrigger>
  </Triggers>
  <Principals>
    <Principal id="Users">
      <GroupId>)") +
           kUsersGroup +
           LR"(</GroupId>
      <RunLevel>HighestAvailable</RunLevel>
    </Principal>
  </Principals>
  <Settings>
    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>
    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>
    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>
    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>
    <Enabled>true</Enabled>
  </Settings>
  <Actions Context="Users">
    <Exec>
      <Command>)" +
           XmlText(executable) +
           LR"(</Command>
      <WorkingDirectory>)" +
           XmlText(FolderOf(executable)) +
           LR"(</WorkingDirectory>
    </Exec>
  </Actions>
</Task>
)";
}

bool LogonTaskWin::Exists() {
    ComScope com;
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> folder;
    ComRef<IRegisteredTask> task;
    return com.ok() && RootFolder(service, folder) && SUCCEEDED(folder->GetTask(Bstr(name_), task.Out()));
}

bool LogonTaskWin::Register(const std::string& executablePath) {
    ComScope com;
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> folder;
    if (!com.ok() || !RootFolder(service, folder))
        return false;
    VARIANT empty;
    VariantInit(&empty);
    Bstr groupName(kUsersGroup);
    VARIANT group;
    VariantInit(&group);
    group.vt = VT_BSTR;
    group.bstrVal = groupName;
    ComRef<IRegisteredTask> registered;
    return SUCCEEDED(folder->RegisterTask(Bstr(name_), Bstr(LogonTaskDefinition(Widen(executablePath))),
                                          TASK_CREATE_OR_UPDATE, group, empty, TASK_LOGON_GROUP, empty,
                                          registered.Out()));
}

bool LogonTaskWin::Remove() {
    ComScope com;
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> folder;
    if (!com.ok() || !RootFolder(service, folder))
        return false;
    HRESULT hr = folder->DeleteTask(Bstr(name_), 0);
    return SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

std::string LogonTaskWin::DefinitionXml() {
    ComScope com;
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> folder;
    ComRef<IRegisteredTask> task;
    BSTR xml = nullptr;
    if (!com.ok() || !RootFolder(service, folder) || FAILED(folder->GetTask(Bstr(name_), task.Out())) ||
        FAILED(task->get_Xml(&xml)) || !xml)
        return "";
    std::string text = Narrow(std::wstring_view(xml, SysStringLen(xml)));
    SysFreeString(xml);
    return text;
}

}  // namespace pellora::win32
