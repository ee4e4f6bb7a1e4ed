#include "win32/task_scheduler_win.h"

#include <optional>

#include "win32/com_win.h"
#include "win32/encoding_win.h"

namespace pellora::win32 {

namespace {

bool IsNotFound(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// "\A\B\Name" as its folder ("\A\B", or "\" for the root) and its name.
std::pair<std::wstring, std::wstring> Split(const std::string& path) {
    const std::wstring wide = Widen(path);
    const size_t slash = wide.rfind(L'\\');
    if (slash == std::wstring::npos)
        return {L"\\", wide};
    return {slash == 0 ? std::wstring(L"\\") : wide.substr(0, slash), wide.substr(slash + 1)};
}

// The task's folder; `hr` receives the scheduler's answer.
bool OpenFolder(const std::wstring& folderPath,
                ComRef<ITaskService>& service,
                ComRef<ITaskFolder>& folder,
                HRESULT& hr) {
    ComRef<ITaskFolder> root;
    hr = E_FAIL;
    if (!RootFolder(service, root))
        return false;
    if (folderPath == L"\\") {
        hr = root->GetFolder(Bstr(L"\\"), folder.Out());
        return SUCCEEDED(hr);
    }
    hr = root->GetFolder(Bstr(folderPath), folder.Out());
    return SUCCEEDED(hr);
}

}  // namespace

Presence TaskSchedulerWin::ProbeTask(const std::string& path) {
    return ProbeTasks({path}).front();
}

std::vector<Presence> TaskSchedulerWin::ProbeTasks(const std::vector<std::string>& paths) {
    std::vector<Presence> out(paths.size(), Presence::Unknown);
    ComScope com;
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> root;
    if (!com.ok() || !RootFolder(service, root))
        return out;
    // One connection for all; each folder is opened once (paths of one folder usually follow
    // each other in a database).
    std::wstring openPath;
    std::optional<ComRef<ITaskFolder>> open;
    HRESULT folderResult = E_FAIL;
    for (size_t i = 0; i < paths.size(); ++i) {
        const auto [folderPath, name] = Split(paths[i]);
        if (!open || folderPath != openPath) {
            open.emplace();
            openPath = folderPath;
            folderResult = root->GetFolder(Bstr(folderPath), open->Out());
        }
        if (FAILED(folderResult)) {
            out[i] = IsNotFound(folderResult) ? Presence::Absent : Presence::Unknown;
            continue;
        }
        ComRef<IRegisteredTask> task;
        const HRESULT hr = (*open)->GetTask(Bstr(name), task.Out());
        out[i] = SUCCEEDED(hr) ? Presence::Present : IsNotFound(hr) ? Presence::Absent : Presence::Unknown;
    }
    return out;
}

std::optional<std::string> TaskSchedulerWin::TaskDefinition(const std::string& path) {
    ComScope com;
    if (!com.ok())
        return std::nullopt;
    const auto [folderPath, name] = Split(path);
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> folder;
    ComRef<IRegisteredTask> task;
    HRESULT hr = E_FAIL;
    BSTR xml = nullptr;
    if (!OpenFolder(folderPath, service, folder, hr) || FAILED(folder->GetTask(Bstr(name), task.Out())) ||
        FAILED(task->get_Xml(&xml)) || !xml)
        return std::nullopt;
    std::string text = Narrow(std::wstring_view(xml, SysStringLen(xml)));
    SysFreeString(xml);
    return text;
}

bool TaskSchedulerWin::DeleteTask(const std::string& path) {
    ComScope com;
    if (!com.ok())
        return false;
    const auto [folderPath, name] = Split(path);
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> folder;
    HRESULT hr = E_FAIL;
    if (!OpenFolder(folderPath, service, folder, hr))
        return IsNotFound(hr);
    hr = folder->DeleteTask(Bstr(name), 0);
    return SUCCEEDED(hr) || IsNotFound(hr);
}

bool TaskSchedulerWin::RegisterTask(const std::string& path, const std::string& definition) {
    ComScope com;
    if (!com.ok())
        return false;
    const auto [folderPath, name] = Split(path);
    ComRef<ITaskService> service;
    ComRef<ITaskFolder> root;
    if (!RootFolder(service, root))
        return false;
    // Each missing folder on the way is created, one level at a time.
    VARIANT empty;
    VariantInit(&empty);
    for (size_t pos = 1; folderPath != L"\\" && pos <= folderPath.size();) {
        size_t end = folderPath.find(L'\\', pos);
        if (end == std::wstring::npos)
            end = folderPath.size();
        const std::wstring step = folderPath.substr(0, end);
        ComRef<ITaskFolder> existing;
        if (FAILED(root->GetFolder(Bstr(step), existing.Out()))) {
            ComRef<ITaskFolder> created;
            if (FAILED(root->CreateFolder(Bstr(step), empty, created.Out())))
                return false;
        }
        pos = end + 1;
    }
    ComRef<ITaskFolder> folder;
    if (FAILED(root->GetFolder(Bstr(folderPath), folder.Out())))
        return false;
    // TASK_CREATE: a task that is there again is never replaced. The principal (user, group,
    // logon type) is the definition's own.
    ComRef<IRegisteredTask> registered;
    return SUCCEEDED(folder->RegisterTask(Bstr(name), Bstr(Widen(definition)), TASK_CREATE, empty, empty,
                                          TASK_LOGON_NONE, empty, registered.Out()));
}

}  // namespace pellora::win32
