// Objects that are not files kept as their definition: a scheduled task as its XML, a service
// as its configuration and its keys' values (service_record.h), the hosts file's lines for a
// host with their offsets. The payload is those bytes with their digest; restore registers the
// task again with exactly that definition and creates the service again (each only where none
// of its name is now, and never one of Windows' own), and puts the lines back where they were.
#include <algorithm>

#include "core/autostart/autostart.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/autostart/task_definition.h"
#include "core/quarantine/quarantine.h"
#include "core/quarantine/service_record.h"
#include "core/util/case_fold.h"

namespace pellora {

bool Quarantine::QuarantineTask(const ResultRow& row) {
    if (!ports_.tasks || !IsTaskPath(row.object) || IsWindowsTask(row.object))
        return false;
    ScheduledTasks tasks(*ports_.tasks, ports_.files, ports_.system.SystemDirectory());
    const std::optional<std::string> definition = tasks.Definition(row.object);
    return definition && !definition->empty() && StoreDefinition(row, *definition);
}

bool Quarantine::StoreDefinition(const ResultRow& row, const std::string& bytes) {
    return StoreWrittenPayload(QuarantineRecord{row.type, {}, row.object, {}}, bytes);
}

bool Quarantine::StoreWrittenPayload(QuarantineRecord record, const std::string& bytes) {
    if (!store_.EnsureCurrentPackage())
        return false;
    const std::optional<int16_t> number = store_.AllocateNumber();
    if (!number)
        return false;
    const std::string n = std::to_string(*number);
    const std::string package = store_.CurrentPackageFolder();
    record.storedItem = n + ".qit";
    const std::string payload = package + "\\" + record.storedItem;
    RemoveStoreFile(payload);
    if (ports_.files.WriteFileAtomic(payload, bytes) && StoreDigest(n, payload, false) &&
        store_.SaveLineToFile(n + ".qnf", FormatRecord(record))) {
        ports_.ui.Yield();
        return true;
    }
    RemoveStoreFile(payload);
    RemoveStoreFile(package + "\\" + DigestFileName(n));
    return false;
}

bool Quarantine::WriteBackTask(const std::string& payload, const std::string& path) {
    if (!ports_.tasks)
        return false;
    const std::optional<std::string> definition =
        ports_.files.ReadFileUpTo(payload, autostart::kMaxTaskDefinitionLength);
    if (!definition)
        return false;
    ScheduledTasks tasks(*ports_.tasks, ports_.files, ports_.system.SystemDirectory());
    if (tasks.TaskPresence(path) != Presence::Absent) {
        // The same definition registered there already: the task is back.
        if (tasks.Definition(path) == definition)
            return true;
        Log("     Not restored, a task is there: " + path);
        return NotRestored("another task of that name is there");
    }
    return ports_.tasks->RegisterTask(path, *definition) && tasks.TaskPresence(path) == Presence::Present;
}

bool Quarantine::QuarantineService(const ResultRow& row) {
    if (!ports_.services || !IsServiceName(row.object) || IsWindowsServiceName(row.object))
        return false;
    std::optional<ServiceConfig> config = ports_.services->Configuration(row.object);
    std::optional<std::vector<ServiceValue>> values = ReadServiceValues(ports_.registry, row.object);
    if (!config || !values)
        return false;
    const std::string payload = EncodeServiceRecord(ServiceRecord{std::move(*config), std::move(*values)});
    // Stored only when restore will take it back: a key name it would refuse keeps the service.
    return DecodeServiceRecord(payload).has_value() && StoreDefinition(row, payload);
}

bool Quarantine::WriteBackService(const std::string& payload, const std::string& name) {
    if (!ports_.services)
        return false;
    const std::optional<std::string> stored = ports_.files.ReadFileUpTo(payload, kMaxServiceRecordLength);
    const std::optional<ServiceRecord> record = stored ? DecodeServiceRecord(*stored) : std::nullopt;
    if (!record || !EqualsOrdinalIgnoreCase(record->config.name, name))
        return false;
    if (ports_.services->ProbeService(name) != Presence::Absent) {
        // The same configuration there already: the service is back.
        if (ports_.services->Configuration(name) == record->config)
            return true;
        Log("     Not restored, a service is there: " + name);
        return NotRestored("another service of that name is there");
    }
    if (!ports_.services->AddService(record->config))
        return false;
    if (!WriteServiceValues(ports_.registry, name, record->values)) {
        // Half a service would start with what the manager alone keeps: it goes again, and the
        // record stays for another try.
        (void)ports_.services->DeleteService(name);
        return false;
    }
    return ports_.services->ProbeService(name) == Presence::Present;
}

bool Quarantine::QuarantineHostsLines(const ResultRow& row) {
    const std::optional<std::string> text =
        ports_.files.ReadFileUpTo(HostsFilePath(ports_.registry, ports_.system), autostart::kMaxHostsLength);
    if (!text)
        return false;
    const std::vector<HostsLine> lines = LinesMapping(*text, row.object);
    return !lines.empty() && StoreDefinition(row, EncodeHostsLines(lines));
}

bool Quarantine::WriteBackHostsLines(const std::string& payload) {
    const std::optional<std::string> stored = ports_.files.ReadFileUpTo(payload, autostart::kMaxHostsLength);
    const std::optional<std::vector<HostsLine>> lines = stored ? DecodeHostsLines(*stored) : std::nullopt;
    if (!lines)
        return false;
    const std::string path = HostsFilePath(ports_.registry, ports_.system);
    const std::optional<std::string> text = ports_.files.ReadFileUpTo(path, autostart::kMaxHostsLength);
    if (!text)
        return false;
    // Every line at its place already (they were never taken out): nothing to write.
    if (std::all_of(lines->begin(), lines->end(), [&text](const HostsLine& line) {
            return line.offset <= text->size() && text->compare(line.offset, line.bytes.size(), line.bytes) == 0;
        }))
        return true;
    const std::string restored = WithLinesBack(*text, *lines);
    return ports_.files.WriteFileAtomic(path, restored) &&
           ports_.files.ReadFileUpTo(path, autostart::kMaxHostsLength) == restored;
}

}  // namespace pellora
