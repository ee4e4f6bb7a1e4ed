// The removal of services and drivers ("service" rows: a database item, or a service whose image
// is a file the scan found). The checked services are stopped before any row is removed, so the
// file a service runs is no longer in use when its own row comes; each service is then deleted at
// its row, its whole configuration quarantined first under automatic erase. Windows' own
// services and any service whose program lies below the Windows folder are left alone.
#include "core/autostart/autostart.h"
#include "core/database/persistence_kinds.h"
#include "core/removal/removal_run.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// How long a service is given to stop: the manager's own limit for a stop request.
constexpr uint32_t kServiceStopTimeoutMs = 30000;

bool IsServiceRow(const ResultRow& row) {
    return ToLowerAscii(row.type) == "service";
}

}  // namespace

std::optional<std::string> RemovalRun::ServiceRefusal(const std::string& name) {
    const std::optional<ServiceConfig> config = ports_.services->Configuration(name);
    if (!config)
        return "its configuration cannot be read";
    const bool driver = (config->type & 0x3) != 0;
    const autostart::ResolvedCommand image = autostart::ResolveServiceImage(
        name, config->imagePath, driver, autostart::SystemResolveContext(ports_.files, ports_.system));
    return guard_.ServiceRefusal(name, image.program);
}

void RemovalRun::StopCheckedServices() {
    if (!ports_.services)
        return;
    for (size_t i = 0; i < state_.lstScanResult.size(); ++i) {
        const ResultRow row = state_.lstScanResult[i];
        if (!row.checked || !IsServiceRow(row) || !IsServiceName(row.object) ||
            ports_.services->ProbeService(row.object) != Presence::Present || ServiceRefusal(row.object))
            continue;
        if (!ports_.services->StopService(row.object, kServiceStopTimeoutMs))
            Log("Service did not stop=" + row.object);
        ports_.ui.Yield();
    }
}

void RemovalRun::RemoveService(const ResultRow& row) {
    const std::string& name = row.object;
    const std::string notRemoved = "Service not removed=" + name;
    if (!IsServiceName(name)) {
        Log("Service not found=" + name + " (not a service name)");
        return;
    }
    if (!ports_.services) {
        Log(notRemoved + " (no service manager)");
        return;
    }
    if (ports_.services->ProbeService(name) == Presence::Absent) {
        Log("Service not found=" + name);
        return;
    }
    if (auto reason = ServiceRefusal(name)) {
        Log("Protected object skipped=" + name + " (" + *reason + ")");
        return;
    }
    if (!QuarantineFirst(row)) {
        Log(notRemoved);
        return;
    }
    const bool stopped = ports_.services->StopService(name, kServiceStopTimeoutMs);
    if (!ports_.services->DeleteService(name)) {
        Log(notRemoved);
        return;
    }
    if (ports_.services->ProbeService(name) != Presence::Absent) {
        // Marked for deletion: the manager deletes it once it has stopped, at the latest at restart.
        Log("Service removed at restart=" + name + (stopped ? "" : " (it did not stop)"));
        return;
    }
    AddToRemoved(1);
    Log("Service deleted=" + name);
}

}  // namespace pellora
