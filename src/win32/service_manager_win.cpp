#include "win32/service_manager_win.h"

#include <windows.h>

#include <unordered_set>
#include <vector>

#include "core/util/case_fold.h"
#include "win32/encoding_win.h"

namespace pellora::win32 {

namespace {

class ServiceHandle {
  public:
    explicit ServiceHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    SC_HANDLE handle_;
};

ServiceHandle OpenManager(DWORD access) {
    return ServiceHandle(OpenSCManagerW(nullptr, nullptr, access));
}

ServiceHandle Open(const ServiceHandle& manager, const std::string& name, DWORD access) {
    if (!manager)
        return ServiceHandle();
    return ServiceHandle(OpenServiceW(manager.get(), Widen(name).c_str(), access));
}

// QueryServiceConfig2W's answer for one info level, or nothing.
std::vector<BYTE> Config2(SC_HANDLE service, DWORD level) {
    DWORD needed = 0;
    QueryServiceConfig2W(service, level, nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return {};
    std::vector<BYTE> buffer(needed);
    if (!QueryServiceConfig2W(service, level, buffer.data(), needed, &needed))
        return {};
    return buffer;
}

std::string Text(const wchar_t* text) {
    return text ? Narrow(text) : std::string();
}

std::optional<SERVICE_STATUS_PROCESS> Status(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
        return std::nullopt;
    return status;
}

}  // namespace

Presence ServiceManagerWin::ProbeService(const std::string& name) {
    return ProbeServices({name}).front();
}

std::vector<Presence> ServiceManagerWin::ProbeServices(const std::vector<std::string>& names) {
    std::vector<Presence> out(names.size(), Presence::Unknown);
    ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager)
        return out;
    // Many names: the manager lists every service and driver once, in a few calls, instead of
    // being asked name by name.
    if (names.size() > 8) {
        std::unordered_set<std::string> known;
        std::vector<BYTE> buffer(256 * 1024);
        DWORD resume = 0;
        for (;;) {
            DWORD needed = 0, count = 0;
            const BOOL done = EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_DRIVER | SERVICE_WIN32,
                                                    SERVICE_STATE_ALL, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                    &needed, &count, &resume, nullptr);
            if (!done && GetLastError() != ERROR_MORE_DATA)
                break;
            const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
            for (DWORD i = 0; i < count; ++i)
                known.insert(FoldOrdinal(Narrow(entries[i].lpServiceName)));
            if (done) {
                for (size_t i = 0; i < names.size(); ++i)
                    out[i] = known.count(FoldOrdinal(names[i])) ? Presence::Present : Presence::Absent;
                return out;
            }
            if (count == 0 && needed > buffer.size())
                buffer.resize(needed);
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        ServiceHandle service = Open(manager, names[i], SERVICE_QUERY_STATUS);
        const DWORD error = service ? ERROR_SUCCESS : GetLastError();
        if (service)
            out[i] = Presence::Present;
        else if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_INVALID_NAME)
            out[i] = Presence::Absent;
    }
    return out;
}

std::optional<ServiceConfig> ServiceManagerWin::Configuration(const std::string& name) {
    ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
    ServiceHandle service = Open(manager, name, SERVICE_QUERY_CONFIG);
    if (!service)
        return std::nullopt;
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return std::nullopt;
    std::vector<BYTE> buffer(needed);
    auto* query = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), query, needed, &needed))
        return std::nullopt;
    ServiceConfig config;
    config.name = name;
    // The key name as it was created (the manager opens any letter case): found again through
    // the display name, which is unique too.
    if (query->lpDisplayName && *query->lpDisplayName) {
        DWORD length = 257;
        std::wstring keyName(length, L'\0');
        if (GetServiceKeyNameW(manager.get(), query->lpDisplayName, keyName.data(), &length) &&
            EqualsOrdinalIgnoreCase(Narrow(keyName.c_str()), name))
            config.name = Narrow(keyName.c_str());
    }
    config.type = query->dwServiceType;
    config.startType = query->dwStartType;
    config.errorControl = query->dwErrorControl;
    config.imagePath = Text(query->lpBinaryPathName);
    config.loadOrderGroup = Text(query->lpLoadOrderGroup);
    config.account = Text(query->lpServiceStartName);
    config.displayName = Text(query->lpDisplayName);
    // Dependencies: NUL-separated names ended by an empty one.
    for (const wchar_t* dependency = query->lpDependencies; dependency && *dependency;
         dependency += wcslen(dependency) + 1)
        config.dependencies.push_back(Narrow(dependency));
    std::vector<BYTE> description = Config2(service.get(), SERVICE_CONFIG_DESCRIPTION);
    if (!description.empty())
        config.description = Text(reinterpret_cast<SERVICE_DESCRIPTIONW*>(description.data())->lpDescription);
    std::vector<BYTE> delayed = Config2(service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO);
    if (delayed.size() >= sizeof(SERVICE_DELAYED_AUTO_START_INFO))
        config.delayedAutoStart =
            reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(delayed.data())->fDelayedAutostart != FALSE;
    return config;
}

bool ServiceManagerWin::StopService(const std::string& name, uint32_t timeoutMs) {
    ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
    ServiceHandle service = Open(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service)
        return false;
    std::optional<SERVICE_STATUS_PROCESS> status = Status(service.get());
    if (!status)
        return false;
    if (status->dwCurrentState == SERVICE_STOPPED)
        return true;
    if (status->dwCurrentState != SERVICE_STOP_PENDING) {
        SERVICE_STATUS stopped{};
        if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &stopped) &&
            GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
            return false;
    }
    // The manager signals no event for a stop: its status is asked until it says stopped or the
    // time is up.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        status = Status(service.get());
        if (!status)
            return false;
        if (status->dwCurrentState == SERVICE_STOPPED)
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(100);
    }
}

bool ServiceManagerWin::DeleteService(const std::string& name) {
    ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
    ServiceHandle service = Open(manager, name, DELETE);
    if (!service)
        return false;
    return ::DeleteService(service.get()) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

bool ServiceManagerWin::AddService(const ServiceConfig& config) {
    ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    if (!manager)
        return false;
    std::wstring dependencies;
    for (const std::string& dependency : config.dependencies) {
        dependencies += Widen(dependency);
        dependencies += L'\0';
    }
    dependencies += L'\0';
    const std::wstring name = Widen(config.name);
    const std::wstring display = Widen(config.displayName.empty() ? config.name : config.displayName);
    const std::wstring image = Widen(config.imagePath);
    const std::wstring group = Widen(config.loadOrderGroup);
    const std::wstring account = Widen(config.account);
    ServiceHandle service(CreateServiceW(manager.get(), name.c_str(), display.c_str(), SERVICE_ALL_ACCESS, config.type,
                                         config.startType, config.errorControl, image.c_str(),
                                         group.empty() ? nullptr : group.c_str(), nullptr, dependencies.c_str(),
                                         account.empty() ? nullptr : account.c_str(), nullptr));
    if (!service)
        return false;
    if (!config.description.empty()) {
        std::wstring description = Widen(config.description);
        SERVICE_DESCRIPTIONW info{description.data()};
        ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &info);
    }
    if (config.delayedAutoStart) {
        SERVICE_DELAYED_AUTO_START_INFO info{TRUE};
        ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info);
    }
    return true;
}

}  // namespace pellora::win32
