#include "persistence_part.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "core/autostart/autostart.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/autostart/shortcut_places.h"
#include "core/database/persistence_kinds.h"
#include "core/scan/persistence_matches.h"
#include "core/state/app_state.h"
#include "win32/encoding_win.h"
#include "win32/file_system_win.h"
#include "win32/registry_win.h"
#include "win32/service_manager_win.h"
#include "win32/system_win.h"
#include "win32/task_scheduler_win.h"

// After the adapters: the shell's headers bring in windows.h and its macros.
#include <shlobj.h>
#include <shobjidl.h>

#include "win32/com_win.h"

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

// A link to `target` in the all-users Programs folder's PelloraBench folder, made by the shell.
void PlantShortcut(IShellLinkW* link, const std::string& folder, size_t n, const std::string& target) {
    const std::string path = folder + "\\Bench " + std::to_string(n) + ".lnk";
    if (GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return;
    link->SetPath(win32::Widen(target).c_str());
    // One in fifty carries a hijacker's address, as a browser link would.
    link->SetArguments(n % 50 == 0 ? L"--new-window http://hijack-bench.example/" : L"--from-bench");
    win32::ComRef<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.OutVoid())))
        file->Save(win32::Widen(path).c_str(), TRUE);
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
        // Programs differ in size, as real ones do.
        const std::string bytes = "MZ" + std::string(64 + n * 37, 'b');
        if (files.ReadFileUpTo(Program(n), bytes.size()) != bytes)
            (void)files.WriteFileAtomic(Program(n), bytes);
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
    wchar_t programs[MAX_PATH] = {};
    win32::ComScope com;
    win32::ComRef<IShellLinkW> link;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS | CSIDL_FLAG_CREATE, nullptr, 0, programs)) &&
        com.ok() &&
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.OutVoid()))) {
        const std::string folder = win32::Narrow(programs) + "\\PelloraBench";
        files.CreateDirectory(folder);
        for (size_t n = 0; n < shortcuts; ++n)
            PlantShortcut(link.get(), folder, n, Program(n % services));
    }
    for (const char* text : {"hijack-bench.example", "search-bench.example", "evil-start.example"})
        plant.items.push_back(std::string("shortcut|") + text + "|Bench.Shortcut|");
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
    std::optional<std::vector<autostart::PlacedShortcut>> shortcuts;
    std::vector<std::string> taskPaths, serviceNames;
    std::vector<ResultRow> finds;
    ULONGLONG start = GetTickCount64();
    auto took = [&start](double& seconds) {
        const ULONGLONG now = GetTickCount64();
        seconds += static_cast<double>(now - start) / 1000.0;
        start = now;
    };
    // As the scan does: the tasks and the services all asked at once, the hosts file and the
    // shortcuts read once, each text then matched.
    for (const std::string& line : items) {
        const std::string object = ObjectOf(line);
        switch (PersistenceKindOfLine(line)) {
            case PersistenceKind::Task:
                taskPaths.push_back(object);
                break;
            case PersistenceKind::Service:
                serviceNames.push_back(IsServiceName(object) ? object : std::string());
                break;
            case PersistenceKind::Hosts:
                if (!hosts)
                    hosts = files.ReadFileUpTo(HostsFilePath(registry, system), autostart::kMaxHostsLength);
                figures.finds += *hosts && !LinesMapping(**hosts, object).empty();
                break;
            case PersistenceKind::Shortcut:
                if (!shortcuts) {
                    ObjectIdentity identity(files, registry);
                    shortcuts = autostart::ReadPlacedShortcuts(
                        identity, [&system](std::string_view ansi) { return system.AnsiToUtf8(ansi); },
                        autostart::ShortcutFolders(registry, system), [] { return true; });
                }
                for (const autostart::PlacedShortcut& placed : *shortcuts)
                    figures.finds += autostart::ShortcutHolds(placed.link, object);
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
    }
    took(figures.otherSeconds);
    for (Presence presence : tasks.Presences(taskPaths))
        figures.finds += presence == Presence::Present;
    took(figures.taskSeconds);
    for (Presence presence : manager.ProbeServices(serviceNames))
        figures.finds += presence == Presence::Present;
    took(figures.serviceSeconds);
    autostart::AutostartEnumerator enumerator(registry, files, system);
    std::vector<autostart::AutostartEntry> entries;
    if (std::getenv("PELLORA_BENCH_PLACES")) {
        // Each place timed alone, in Enumerate's order.
        using Read = void (autostart::AutostartEnumerator::*)(std::vector<autostart::AutostartEntry>&);
        const std::pair<const char*, Read> places[] = {
            {"run", &autostart::AutostartEnumerator::ReadRunKeys},
            {"startup", &autostart::AutostartEnumerator::ReadStartupFolders},
            {"tasks", &autostart::AutostartEnumerator::ReadTasks},
            {"services", &autostart::AutostartEnumerator::ReadServices},
            {"winlogon", &autostart::AutostartEnumerator::ReadWinlogon},
            {"debuggers", &autostart::AutostartEnumerator::ReadImageDebuggers},
            {"appinit", &autostart::AutostartEnumerator::ReadAppInit},
            {"active setup", &autostart::AutostartEnumerator::ReadActiveSetup},
            {"shell hooks", &autostart::AutostartEnumerator::ReadShellHooks},
            {"session manager", &autostart::AutostartEnumerator::ReadSessionManager},
            {"hosts", &autostart::AutostartEnumerator::ReadHosts}};
        for (const auto& [name, read] : places) {
            const ULONGLONG begin = GetTickCount64();
            (enumerator.*read)(entries);
            std::printf("  place %-16s %.3f s\n", name, static_cast<double>(GetTickCount64() - begin) / 1000.0);
        }
    } else {
        entries = enumerator.Enumerate();
    }
    figures.entries = entries.size();
    figures.references = MatchStartReferences(entries, finds, files).size();
    took(figures.referenceSeconds);
    return figures;
}

}  // namespace pellora::bench
