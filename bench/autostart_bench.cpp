// The autostart enumerator over the in-memory fakes: 3,000 scheduled tasks (UTF-16 definitions
// in 30 folders) and 1,000 services, each naming a program that exists, plus a few Run values.
// The figure is the whole Enumerate() call: walking the task folders, reading and parsing every
// definition, reading every service key and resolving every command. It is meant to stay in
// milliseconds (linear in the number of entries).
//
//   BM_AutostartEnumerate    counters: entries (entries returned), per_entry (time per entry)
//   BM_StartReferences       the scan's step after a file was found: the enumeration and the
//                            match of every entry's program with the find by identity
//                            (counters: references found, per_entry)
#include <benchmark/benchmark.h>

#include <string>

#include "core/autostart/autostart.h"
#include "core/scan/persistence_matches.h"
#include "core/util/utf16.h"
#include "fakes/fake_platform.h"

namespace pellora::autostart {
namespace {

constexpr int kTaskFolders = 30;
constexpr int kTasksPerFolder = 100;
constexpr int kServices = 1000;

struct Machine {
    fakes::FakeRegistry registry;
    fakes::FakeFileSystem files;
    fakes::FakeSystem system;

    Machine() {
        system.environment["PROGRAMFILES"] = R"(C:\Program Files)";
        system.environment["SYSTEMROOT"] = R"(C:\WINDOWS)";
        const std::string tasks = system.systemDir + R"(\Tasks)";
        for (int f = 0; f < kTaskFolders; ++f) {
            for (int t = 0; t < kTasksPerFolder; ++t) {
                const std::string id = std::to_string(f) + "_" + std::to_string(t);
                const std::string program = R"(C:\Program Files\Vendor )" + id + R"(\task.exe)";
                files.AddFile(program);
                const std::string xml = R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.4" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Author>Vendor</Author><URI>\Vendor)" +
                                        std::to_string(f) + "\\Task" + id +
                                        R"(</URI></RegistrationInfo>
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Settings><Enabled>true</Enabled><Hidden>false</Hidden></Settings>
  <Actions Context="Author"><Exec><Command>"%ProgramFiles%\Vendor )" +
                                        id + R"(\task.exe"</Command><Arguments>/run /id )" + id +
                                        "</Arguments></Exec></Actions>\n</Task>\n";
                files.AddFile(tasks + R"(\Vendor)" + std::to_string(f) + R"(\Task)" + id,
                              "\xFF\xFE" + Utf8ToUtf16Le(xml));
            }
        }
        const std::string services = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\)";
        for (int s = 0; s < kServices; ++s) {
            const std::string name = "Service" + std::to_string(s);
            const std::string program = R"(C:\Program Files\Svc )" + std::to_string(s) + R"(\svc.exe)";
            files.AddFile(program);
            registry.AddString(services + name, "ImagePath", "\"" + program + "\" -service");
            registry.AddDword(services + name, "Type", 16);
            registry.AddDword(services + name, "Start", 2);
        }
        registry.AddString(R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run)", "Tray",
                           R"(C:\Program Files\Svc 1\svc.exe /tray)");
    }
};

void BM_AutostartEnumerate(benchmark::State& state) {
    Machine machine;
    AutostartEnumerator enumerator(machine.registry, machine.files, machine.system);
    size_t entries = 0;
    for (auto _ : state) {
        std::vector<AutostartEntry> all = enumerator.Enumerate();
        entries = all.size();
        benchmark::DoNotOptimize(all.data());
    }
    state.counters["entries"] = static_cast<double>(entries);
    // Seconds per entry, shown by the reporter with its unit prefix (us, ns).
    state.counters["per_entry"] = benchmark::Counter(static_cast<double>(entries) * state.iterations(),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AutostartEnumerate)->Unit(benchmark::kMillisecond);

void BM_StartReferences(benchmark::State& state) {
    Machine machine;
    AutostartEnumerator enumerator(machine.registry, machine.files, machine.system);
    ResultRow find;
    find.type = "path";
    find.object = R"(C:\Program Files\Svc 1\svc.exe)";
    find.foundAs = machine.files.Identify(find.object);
    const std::vector<ResultRow> finds{find};
    size_t entries = 0;
    size_t references = 0;
    for (auto _ : state) {
        std::vector<AutostartEntry> all = enumerator.Enumerate();
        entries = all.size();
        references = MatchStartReferences(all, finds, machine.files).size();
    }
    state.counters["references"] = static_cast<double>(references);
    state.counters["per_entry"] = benchmark::Counter(static_cast<double>(entries) * state.iterations(),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StartReferences)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pellora::autostart
