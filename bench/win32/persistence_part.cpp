#include "persistence_part.h"

#include <optional>

#include "core/autostart/autostart.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/database/persistence_kinds.h"
#include "core/scan/persistence_matches.h"
#include "core/state/app_state.h"
#include "win32/encoding_win.h"
#include "win32/file_system_win.h"
#include "win32/registry_win.h"
#include "win32/service_manager_win.h"
#include "win32/system_win.h"
#include "win32/task_scheduler_win.h"

namespace pellora::bench {

namespace {

constexpr const char* kProgramFolder = "C:\\PelloraBench\\Services";

std::string Program(size_t n) {
    return std::string(kProgramFolder) + "\\svc" + std::to_string(n) + ".exe";
}

std::string TaskXml(const std::string& program) {
    return "<?xml version=\"1.0\"?>\n<Task version=\"1.2\" "
           "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           "<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>"
           "<Actions Context=\"Author\"><Exec><Command>" +
           program + "</Command></Exec></Actions></Task>\n";
}

// The second word of an item line.
std::string ObjectOf(const std::string& line) {
    const size_t start = line.find('|') + 1;
    return line.substr(start, line.find('|', start) - start);
}

}  // namespace

PersistencePlant PlantPersistence(size_t tasks, size_t services, size_t shortcuts) {
    win32::FileSystemWin files;
    win32::TaskSchedulerWin scheduler;
    win32::ServiceManagerWin manager;
    PersistencePlant plant;
    files.CreateDirectory("C:\\PelloraBench");
    files.CreateDirectory(kProgramFolder);
    for (size_t n = 0; n < services; ++n) {
        if (files.Probe(Program(n)) != Presence::Present)
            (void)files.WriteFileAtomic(Program(n), "MZ bench");
    }
    plant.items.push_back("path|" + Program(0) + "|Bench.Service|");
    // Half the items name something planted, half something absent.
    for (size_t n = 0; n < tasks; ++n) {
        const std::string path = "\\PelloraBench\\Task" + std::to_string(n);
        if (scheduler.ProbeTask(path) != Presence::Present)
            (void)scheduler.RegisterTask(path, TaskXml(Program(n % services)));
        plant.items.push_back("task|\\PelloraBench\\Task" + std::to_string(n * 2) + "|Bench.Task|");
    }
    for (size_t n = 0; n < services; ++n) {
        ServiceConfig config;
        config.name = "PelloraBench" + std::to_string(n);
        config.imagePath = "\"" + Program(n) + "\" /service";
        if (manager.ProbeService(config.name) != Presence::Present)
            (void)manager.AddService(config);
        plant.items.push_back("service|PelloraBench" + std::to_string(n * 2) + "|Bench.Service|");
    }
    for (size_t n = 0; n < 20; ++n)
        plant.items.push_back("hosts|bench" + std::to_string(n) + ".example|Bench.Hosts|");
    plant.tasks = tasks;
    plant.services = services;
    plant.shortcuts = shortcuts;
    return plant;
}

PersistenceFigures PersistencePart(const std::vector<std::string>& items) {
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::SystemWin system;
    win32::TaskSchedulerWin scheduler;
    win32::ServiceManagerWin manager;
    PersistenceFigures figures;
    ScheduledTasks tasks(scheduler, files, system.SystemDirectory());
    std::optional<std::optional<std::string>> hosts;
    std::vector<ResultRow> finds;
    for (const std::string& line : items) {
        const std::string object = ObjectOf(line);
        const ULONGLONG start = GetTickCount64();
        double* seconds = &figures.otherSeconds;
        switch (PersistenceKindOfLine(line)) {
            case PersistenceKind::Task:
                figures.finds += tasks.TaskPresence(object) == Presence::Present;
                seconds = &figures.taskSeconds;
                break;
            case PersistenceKind::Service:
                figures.finds += IsServiceName(object) && manager.ProbeService(object) == Presence::Present;
                seconds = &figures.serviceSeconds;
                break;
            case PersistenceKind::Hosts:
                if (!hosts)
                    hosts = files.ReadFileUpTo(HostsFilePath(registry, system), autostart::kMaxHostsLength);
                figures.finds += *hosts && !LinesMapping(**hosts, object).empty();
                break;
            case PersistenceKind::None:
                if (line.rfind("path|", 0) == 0) {
                    ResultRow row;
                    row.type = "path";
                    row.object = object;
                    row.foundAs = files.Identify(object);
                    finds.push_back(std::move(row));
                }
                break;
        }
        *seconds += static_cast<double>(GetTickCount64() - start) / 1000.0;
    }
    const ULONGLONG start = GetTickCount64();
    autostart::AutostartEnumerator enumerator(registry, files, system);
    const std::vector<autostart::AutostartEntry> entries = enumerator.Enumerate();
    figures.entries = entries.size();
    figures.references = MatchStartReferences(entries, finds, files).size();
    figures.referenceSeconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    return figures;
}

}  // namespace pellora::bench
