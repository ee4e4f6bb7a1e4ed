// The content phase of the smart scan over the in-memory fakes, first and second scan of an
// unchanged machine: 400 programs of 256 KiB below C:\Program Files started by Run values (files
// no standard user may change, whose verdicts the cache keeps) and, in the second benchmark, 100
// more programs below the profile's AppData\Roaming (read every time). 300 rules of three text
// strings each.
//
//   BM_ContentSecondScan/0   counters: first_ms, second_ms (the whole scan, each the mean over
//   BM_ContentSecondScan/1   the iterations), ratio (second / first), cached (verdicts taken from
//                            the cache in the second scan), mb (read in the first)
//
// /0 is the machine with the Program Files programs only; /1 adds the profile's files.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "core/rules/rules.h"
#include "core/scan/content_scan.h"
#include "core/scan/scanner.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

constexpr int kPrograms = 400;
constexpr int kProfilePrograms = 100;
constexpr size_t kProgramLength = 256 * 1024;

std::string Bytes(uint32_t seed, size_t length) {
    std::string bytes = "MZ";
    bytes.reserve(length);
    uint32_t x = seed * 2654435761u + 1;
    while (bytes.size() < length) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes.push_back(static_cast<char>('a' + x % 26));
    }
    return bytes;
}

std::shared_ptr<const rules::RuleSet> Rules() {
    std::string text;
    for (int r = 0; r < 300; ++r) {
        const std::string id = std::to_string(r);
        text += "rule R" + id + " { strings: $a = \"marker-a-" + id + "\" $b = \"marker-b-" + id +
                "\" $c = { 4D 5A 90 00 " + (r % 2 ? "03" : "04") + " 00 } condition: 2 of them }\n";
    }
    std::vector<rules::Refusal> refusals;
    rules::Source source{"bench.yar", text};
    return rules::RuleSet::Compile(std::span<const rules::Source>(&source, 1), refusals);
}

struct Machine {
    fakes::FakePlatform p;
    AppState state;
    RegistryAccess registry{p.registry, p.ui};
    FileFinder finder{state, p.files, p.ui};
    RegScan regScan{state, p.registry, p.ui};
    Scanner scanner{state, p.ports, registry, finder, regScan};

    explicit Machine(bool profileFiles) {
        state.appFolder = "C:\\Pellora";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.folders.systemDir = "C:\\WINDOWS\\system32";
        state.lstSettingsFile.assign(12, "0");
        state.lstSettingsFile[kContentLimitLine] = "64";
        state.lstDBaseFile = {"Version 1"};
        state.contentRules.set = Rules();
        p.files.AddFolder("C:\\Pellora");
        const std::string list = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
        p.registry.AddString(list + "\\S-1-5-21-1-2-3-1001", "ProfileImagePath", "C:\\Users\\me");
        p.system.environment = {{"USERPROFILE", "C:\\Users\\me"}};
        const std::string run = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
        for (int i = 0; i < kPrograms; ++i) {
            const std::string path = "C:\\Program Files\\Vendor " + std::to_string(i) + "\\app.exe";
            p.files.AddFile(path, Bytes(i, kProgramLength));
            p.files.SetWriteTime(path, 133000000000000000 + i);
            p.registry.AddString(run, "app" + std::to_string(i), "\"" + path + "\"");
        }
        for (int i = 0; profileFiles && i < kProfilePrograms; ++i) {
            const std::string path = "C:\\Users\\me\\AppData\\Roaming\\Tool" + std::to_string(i) + "\\t.exe";
            p.files.AddFile(path, Bytes(1000 + i, kProgramLength));
            p.files.SetWriteTime(path, 133000000000000000 + i);
        }
    }

    double ScanSeconds() {
        const auto start = std::chrono::steady_clock::now();
        scanner.StartScan();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

void BM_ContentSecondScan(benchmark::State& run) {
    Machine machine(run.range(0) != 0);
    double first = 0;
    double second = 0;
    int64_t cached = 0;
    int64_t read = 0;
    for (auto _ : run) {
        machine.p.files.DeleteFile("C:\\Pellora\\Content.cache");
        first += machine.ScanSeconds();
        read = machine.state.counters.contentBytes;
        second += machine.ScanSeconds();
        cached = machine.state.counters.contentCached;
    }
    const double n = static_cast<double>(run.iterations());
    run.counters["first_ms"] = first / n * 1000;
    run.counters["second_ms"] = second / n * 1000;
    run.counters["ratio"] = first > 0 ? second / first : 0;
    run.counters["cached"] = static_cast<double>(cached);
    run.counters["mb"] = static_cast<double>(read) / (1024 * 1024);
}
BENCHMARK(BM_ContentSecondScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace pellora
